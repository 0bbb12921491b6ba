// SPDX-License-Identifier: MIT
#include "plan.h"

#include "clitexts.h"
#include "fileio.h"
#include "report.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory_resource>
#include <unordered_set>

namespace trackfold::cli {

namespace fs = std::filesystem;

const char *NameBlocks::store(std::string_view name)
{
    const std::size_t size = name.size() + 1;
    char *at = nullptr;
    if (size > BlockSize - m_used) {
        // A long name's block is its own and stays full; a new block serves
        // the names that follow.
        const bool own = size > BlockSize;
        at = m_blocks.emplace_back(new char[own ? size : BlockSize]).get();
        m_used = own ? BlockSize : size;
    } else {
        at = m_blocks.back().get() + m_used;
        m_used += size;
    }
    std::copy(name.begin(), name.end(), at);
    at[name.size()] = '\0';
    return at;
}

namespace {

bool isMidiName(const fs::path &path)
{
    std::string ext = path.extension().string();
    std::transform(
        ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".mid" || ext == ".midi" || ext == ".kar" || ext == ".rmi";
}

bool isEarlierOutput(const fs::path &path)
{
    const std::string name = path.filename().string();
    return name.size() >= 5
        && (name.compare(name.size() - 5, 5, "_.mid") == 0
            || name.compare(name.size() - 5, 5, "_.kar") == 0);
}

// The proposed name, in -d's folder when there is one: a file found in a
// folder keeps its place below it (relative), a file given by itself goes
// straight in.
std::string outputFor(const Options &options, const std::string &input, const fs::path &relative)
{
    if (!options.outputDir)
        return proposedOutputName(input);
    if (relative.empty())
        return (fs::path(*options.outputDir) / FileNameOf(proposedOutputName(input))).string();
    return (fs::path(*options.outputDir) / proposedOutputName(relative.string())).string();
}

} // namespace

Plan::Plan(const Options &options)
    : m_options(options)
{
    for (std::uint32_t root = 0; root < options.inputs.size(); ++root) {
        const std::string &input = options.inputs[root];
        if (input != Standard && isDirectory(input))
            addFolder(input, root);
        else
            add(input, root, ItemKind::Convert, false);
    }
    refuseSharedOutputs();
    count();
}

void Plan::add(std::string_view path, std::uint32_t root, ItemKind kind, bool inFolder)
{
    m_items.push_back({ m_names.store(path), root, kind, inFolder });
}

Job Plan::jobOf(const Item &item) const
{
    std::string input(item.name);
    if (input == Standard && !item.inFolder)
        return { input, m_options.output.value_or(Standard) };
    if (item.inFolder)
        return { input,
            outputFor(m_options, input,
                fs::path(input).lexically_relative(m_options.inputs[item.root])) };
    std::string output = m_options.output ? *m_options.output : outputFor(m_options, input, {});
    return { std::move(input), std::move(output) };
}

void Plan::addFolder(const std::string &folder, std::uint32_t root)
{
    // The files go straight into the plan, then are sorted by path; a
    // folder's remark comes before them.
    const std::size_t firstFound = m_items.size();
    std::size_t inSubfolders = 0;
    bool anyToConvert = false;
    std::error_code ec;
    const fs::recursive_directory_iterator end;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored) || !isMidiName(it->path()))
            continue;
        const bool earlierOutput = isEarlierOutput(it->path());
        if (it.depth() > 0 && !m_options.recursive) {
            inSubfolders += earlierOutput ? 0 : 1;
            continue;
        }
        anyToConvert = anyToConvert || !earlierOutput;
        add(it->path().native(), root, earlierOutput ? ItemKind::Skipped : ItemKind::Convert, true);
    }
    if (ec) {
        m_items.resize(firstFound);
        m_notes.emplace_back(m_items.size(),
            FileOutcome { Result::Failed, { errorLine(folder, systemReason(ec.value())) }, {} });
        m_items.push_back({ "", root, ItemKind::Noted, false });
        return;
    }
    std::sort(m_items.begin() + static_cast<std::ptrdiff_t>(firstFound), m_items.end(),
        [](const Item &a, const Item &b) { return std::strcmp(a.name, b.name) < 0; });

    const std::string hint = std::to_string(inSubfolders) + tr(clitexts::InSubfolders);
    std::vector<std::string> lines;
    Result result = Result::Note;
    if (!anyToConvert) {
        result = Result::Failed;
        lines.push_back(errorLine(folder, tr(clitexts::NothingToConvert)));
        if (inSubfolders > 0)
            lines.push_back(errorLine(folder, hint));
    } else if (inSubfolders > 0 && !m_options.quiet) {
        lines.push_back(folder + ": " + hint);
    }
    if (!lines.empty()) {
        // The remark goes first: the found files move one place on.
        m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(firstFound),
            Item { "", root, ItemKind::Noted, false });
        m_notes.emplace_back(firstFound, FileOutcome { result, std::move(lines), {} });
    }
}

// Two inputs that would land on one output: the later one fails rather than
// replace the first one's result (-d gathers files of many folders). Each
// output goes to the first input, in input order, that takes it. The set of
// those inputs holds their item indices, 26 bytes a file for the moment it
// takes: an index stands for its output, which is made again only to tell
// two outputs of one hash apart.
void Plan::refuseSharedOutputs()
{
    // The outputs of the items, the one being added made once.
    struct Outputs
    {
        const Plan &plan;
        std::size_t adding = SIZE_MAX;
        std::string added;

        std::string of(std::size_t item) const
        {
            return item == adding ? added : plan.normalOutput(item);
        }
    } outputs { *this, SIZE_MAX, {} };
    struct Hash
    {
        const Outputs &outputs;
        std::size_t operator()(std::size_t item) const
        {
            if (item == outputs.adding)
                return std::hash<std::string> {}(outputs.added);
            return std::hash<std::string> {}(outputs.of(item));
        }
    };
    struct Equal
    {
        const Outputs &outputs;
        bool operator()(std::size_t a, std::size_t b) const
        {
            return outputs.of(a) == outputs.of(b);
        }
    };
    const auto conversions = static_cast<std::size_t>(std::count_if(m_items.begin(), m_items.end(),
        [](const Item &item) { return item.kind == ItemKind::Convert; }));
    // The set's room in one piece, given back at once: a node (the next one,
    // the index, its hash) a file and a bucket for every four, since the nodes
    // keep their hashes and a longer bucket costs no output made again.
    constexpr std::size_t NodeBytes = 3 * sizeof(void *);
    std::pmr::monotonic_buffer_resource room(
        conversions * (4 * NodeBytes + sizeof(void *)) / 4 + 4096);
    std::pmr::unordered_set<std::size_t, Hash, Equal> owners(
        0, Hash { outputs }, Equal { outputs }, &room);
    owners.max_load_factor(4);
    owners.reserve(conversions);

    bool refused = false;
    for (std::size_t index = 0; index < m_items.size(); ++index) {
        Item &item = m_items[index];
        if (item.kind != ItemKind::Convert)
            continue;
        outputs.adding = index;
        outputs.added = normalOutput(index);
        if (outputs.added.empty())
            continue;
        const auto [owner, first] = owners.insert(index);
        const char *ownerInput = m_items[*owner].name;
        if (first || std::strcmp(item.name, ownerInput) == 0)
            continue; // an input given twice is converted twice
        const Job job = jobOf(item);
        item.kind = ItemKind::Noted;
        m_notes.emplace_back(index,
            FileOutcome { Result::Failed,
                { errorLine(job.input, job.output + tr(clitexts::SharedOutput) + ownerInput) },
                {} });
        refused = true;
    }
    if (refused) {
        std::sort(m_notes.begin(), m_notes.end(),
            [](const auto &a, const auto &b) { return a.first < b.first; });
    }
}

// The output of a file to convert in its normal form, to compare; "" for
// standard output.
std::string Plan::normalOutput(std::size_t index) const
{
    const Job job = jobOf(m_items[index]);
    return job.output == Standard ? std::string()
                                  : fs::path(job.output).lexically_normal().string();
}

void Plan::count()
{
    for (const Item &item : m_items) {
        m_conversions += item.kind == ItemKind::Convert ? 1 : 0;
        m_settled += item.kind == ItemKind::Skipped ? 1 : 0;
    }
    for (const auto &note : m_notes)
        m_settled += note.second.result == Result::Note ? 0 : 1;
}

FileOutcome Plan::takeOutcome(std::size_t index, const JobSettings &settings)
{
    const Item &item = m_items[index];
    if (item.kind == ItemKind::Noted) {
        while (m_nextNote < m_notes.size() && m_notes[m_nextNote].first < index)
            ++m_nextNote;
        if (m_nextNote < m_notes.size() && m_notes[m_nextNote].first == index)
            return std::move(m_notes[m_nextNote++].second);
        return { Result::Note, {}, {} };
    }
    FileOutcome outcome { Result::Skipped, {}, {} };
    if (settings.verbose && !settings.quiet)
        outcome.lines.push_back(item.name + std::string(tr(clitexts::SkippedEarlierOutput)));
    return outcome;
}

} // namespace trackfold::cli
