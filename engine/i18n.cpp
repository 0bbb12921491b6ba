// SPDX-License-Identifier: MIT
#include "i18n.h"

#include <filesystem>
#include <mutex>

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

} // namespace

const char *tr(const char *msgid)
{
    // gettext would answer the catalogue's header for "".
    if (!msgid || !*msgid)
        return msgid;
    bindCatalogue();
    return dgettext(Domain, msgid);
}

std::string messagesLanguage()
{
    bindCatalogue();
    // The header of the catalogue gettext picked for this locale, which is its
    // entry with the empty msgid; under C, or with no catalogue, "" itself.
    const std::string header = dgettext(Domain, "");
    const std::string key = "Language: ";
    const std::size_t at = header.find(key);
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + key.size();
    return header.substr(begin, header.find('\n', begin) - begin);
}

} // namespace trackfold
