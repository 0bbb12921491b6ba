// SPDX-License-Identifier: MIT
#include "i18n.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_map>

#include <libintl.h>

namespace trackfold {

namespace {

constexpr const char *Domain = "trackfold";

// The folder holding <language>/LC_MESSAGES/trackfold.mo: share/locale beside
// the installed program, or the build folder's when run from there.
std::string localeFolder()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        // TRACKFOLD_RELATIVE_LOCALEDIR leads from the installed bin folder to
        // share/locale; the build folder has the same layout for its programs.
        const fs::path installed
            = (program.parent_path() / TRACKFOLD_RELATIVE_LOCALEDIR).lexically_normal();
        if (fs::is_directory(installed, ec))
            return installed.string();
    }
    return TRACKFOLD_BUILD_LOCALEDIR;
}

void bindCatalogue()
{
    static std::once_flag bound;
    std::call_once(bound, [] {
        const std::string folder = localeFolder();
        bindtextdomain(Domain, folder.c_str());
        // The texts go to Qt and to the terminal as UTF-8, as the Italian ones are.
        bind_textdomain_codeset(Domain, "UTF-8");
    });
}

// The language TRACKFOLD_LANGUAGE names ("en", "it"), which comes before the
// locale: the C library ignores LANGUAGE under the C locale (glibc 2.41 under
// C.UTF-8 too), and a bare system has no other locale to choose English by.
// Its catalogue is read here, without gettext.
class ChosenLanguage
{
public:
    explicit ChosenLanguage(const char *name)
    {
        if (!name || !*name)
            return;
        m_chosen = true;
        const std::string_view language(name);
        // Letters only, since the name becomes part of a path.
        if (!std::all_of(
                language.begin(), language.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
            return;
        read(localeFolder() + "/" + std::string(language) + "/LC_MESSAGES/" + Domain + ".mo");
    }

    // Whether TRACKFOLD_LANGUAGE chose the language; else gettext chooses by the locale.
    bool chosen() const { return m_chosen; }

    // The translation of msgid, or msgid itself when there is none (always
    // for "it", the source texts' language, and a language with no catalogue).
    const char *translate(const char *msgid) const
    {
        const auto found = m_texts.find(msgid);
        return found == m_texts.end() ? msgid : found->second;
    }

private:
    // A catalogue compiled by msgfmt: a magic number that tells the byte order;
    // at 8, 12 and 16 the number of texts and the offsets of two tables of
    // (length, offset) pairs, for the source texts and their translations, in
    // the same order; every text is followed by a NUL.
    void read(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        m_file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (m_file.size() < 20)
            return;
        if (word(0) == 0xDE120495)
            m_bigEndian = true;
        else if (word(0) != 0x950412DE)
            return;
        const std::uint64_t count = word(8);
        const std::uint64_t sources = word(12);
        const std::uint64_t translations = word(16);
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::optional<std::string_view> source = text(sources, i);
            const std::optional<std::string_view> translation = text(translations, i);
            if (!source || !translation) {
                m_texts.clear(); // a damaged catalogue translates nothing
                return;
            }
            m_texts.emplace(*source, translation->data());
        }
    }

    std::uint64_t word(std::uint64_t at) const
    {
        std::uint64_t value = 0;
        for (int k = 0; k < 4; ++k) {
            const auto byte = static_cast<unsigned char>(m_file[at + (m_bigEndian ? k : 3 - k)]);
            value = value << 8 | byte;
        }
        return value;
    }

    // The i-th text of the table at offset table, or none where the file ends early.
    std::optional<std::string_view> text(std::uint64_t table, std::uint64_t i) const
    {
        const std::uint64_t entry = table + 8 * i;
        if (entry + 8 > m_file.size())
            return std::nullopt;
        const std::uint64_t length = word(entry);
        const std::uint64_t offset = word(entry + 4);
        if (offset + length >= m_file.size() || m_file[offset + length] != '\0')
            return std::nullopt;
        return std::string_view(m_file.data() + offset, length);
    }

    bool m_chosen = false;
    bool m_bigEndian = false;
    std::string m_file; // m_texts points into it
    std::unordered_map<std::string_view, const char *> m_texts;
};

const ChosenLanguage &chosenLanguage()
{
    static const ChosenLanguage language(std::getenv("TRACKFOLD_LANGUAGE"));
    return language;
}

// The entry with the empty msgid: the catalogue's header, with its language.
std::string catalogueHeader()
{
    const ChosenLanguage &chosen = chosenLanguage();
    if (chosen.chosen())
        return chosen.translate("");
    bindCatalogue();
    // Under C, or with no catalogue, "" itself.
    return dgettext(Domain, "");
}

} // namespace

const char *tr(const char *msgid)
{
    // gettext would answer the catalogue's header for "".
    if (!msgid || !*msgid)
        return msgid;
    const ChosenLanguage &chosen = chosenLanguage();
    if (chosen.chosen())
        return chosen.translate(msgid);
    bindCatalogue();
    return dgettext(Domain, msgid);
}

std::string messagesLanguage()
{
    // The header of the catalogue the texts come from.
    const std::string header = catalogueHeader();
    const std::string key = "Language: ";
    const std::size_t at = header.find(key);
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + key.size();
    return header.substr(begin, header.find('\n', begin) - begin);
}

} // namespace trackfold
