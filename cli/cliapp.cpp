// SPDX-License-Identifier: MIT
#include "cliapp.h"

#include "conversion.h"

#include "convertone.h"
#include "fileio.h"
#include "options.h"
#include "report.h"
#include "texts.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace trackfold::cli {

namespace fs = std::filesystem;

namespace {

// The run's inputs, in input order. A batch of a million files keeps their
// names, each ended by a NUL byte, in blocks of 1 MiB, and 16 bytes a file
// besides; nothing of it is copied as it grows. Outputs, jobs and reports are
// made when a file's turn comes and dropped once printed.
enum class ItemKind : std::uint8_t {
    Convert,
    Skipped, // an earlier output ("_.mid")
    Noted, // an outcome known before any conversion: a folder that fails, a remark
};

struct Item
{
    std::uint64_t name = 0; // where its path is: block << 32 | offset in the block
    std::uint32_t root = 0; // the index of the input it comes from
    ItemKind kind = ItemKind::Convert;
    bool inFolder = false; // found in the folder inputs[root]
};

struct Plan
{
    static constexpr std::size_t NameBlockSize = std::size_t { 1 } << 20;

    std::vector<std::unique_ptr<char[]>> nameBlocks;
    std::size_t blockUsed = NameBlockSize; // bytes taken in the last block
    std::deque<Item> items;
    // The outcomes of the Noted items, by item index, in order.
    std::vector<std::pair<std::size_t, FileOutcome>> notes;

    std::string_view name(const Item &item) const
    {
        // A path holds no NUL byte.
        return nameBlocks[item.name >> 32].get() + (item.name & 0xFFFFFFFFu);
    }
    void add(std::string_view path, std::uint32_t root, ItemKind kind, bool inFolder)
    {
        items.push_back({ store(path), root, kind, inFolder });
    }
    void note(std::uint32_t root, Result result, std::vector<std::string> lines)
    {
        notes.emplace_back(items.size(), FileOutcome { result, std::move(lines), {} });
        add({}, root, ItemKind::Noted, false);
    }
    // Copies path and its NUL into the blocks; a path longer than a block
    // gets a block of its own.
    std::uint64_t store(std::string_view path)
    {
        const std::size_t size = path.size() + 1;
        if (NameBlockSize - blockUsed < size) {
            nameBlocks.emplace_back(new char[std::max(size, NameBlockSize)]);
            blockUsed = size > NameBlockSize ? NameBlockSize : 0;
            if (size > NameBlockSize) {
                std::copy(path.begin(), path.end(), nameBlocks.back().get());
                nameBlocks.back()[path.size()] = '\0';
                return std::uint64_t { nameBlocks.size() - 1 } << 32;
            }
        }
        char *at = nameBlocks.back().get() + blockUsed;
        std::copy(path.begin(), path.end(), at); // a remark's empty name has no data
        at[path.size()] = '\0';
        const std::uint64_t where = (std::uint64_t { nameBlocks.size() - 1 } << 32) | blockUsed;
        blockUsed += size;
        return where;
    }
};

bool isMidiName(const fs::path &path)
{
    std::string ext = path.extension().string();
    std::transform(
        ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".mid" || ext == ".midi";
}

bool isEarlierOutput(const fs::path &path)
{
    const std::string name = path.filename().string();
    return name.size() >= 5 && name.compare(name.size() - 5, 5, "_.mid") == 0;
}

bool isDirectory(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Turns the inputs into the run's items, in input order; a folder's files
// are sorted by path so runs are repeatable.
class Planner
{
public:
    explicit Planner(const Options &options)
        : m_options(options)
    { }

    Plan plan();
    // The job of a file to convert.
    Job jobOf(const Plan &plan, const Item &item) const;

private:
    void addFolder(const std::string &folder, std::uint32_t root);
    void refuseSharedOutputs();
    std::string outputFor(const std::string &input, const fs::path &relative) const;

    const Options &m_options;
    Plan m_plan;
};

Plan Planner::plan()
{
    for (std::uint32_t root = 0; root < m_options.inputs.size(); ++root) {
        const std::string &input = m_options.inputs[root];
        if (input != Standard && isDirectory(input))
            addFolder(input, root);
        else
            m_plan.add(input, root, ItemKind::Convert, false);
    }
    refuseSharedOutputs();
    return std::move(m_plan);
}

Job Planner::jobOf(const Plan &plan, const Item &item) const
{
    std::string input(plan.name(item));
    if (input == Standard && !item.inFolder)
        return { input, m_options.output.value_or(Standard) };
    if (item.inFolder)
        return { input,
            outputFor(input, fs::path(input).lexically_relative(m_options.inputs[item.root])) };
    std::string output = m_options.output ? *m_options.output : outputFor(input, {});
    return { std::move(input), std::move(output) };
}

// The proposed name, in -d's folder when there is one: a file found in a
// folder keeps its place below it, a file given by itself goes straight in.
std::string Planner::outputFor(const std::string &input, const fs::path &relative) const
{
    if (!m_options.outputDir)
        return proposedOutputName(input);
    if (relative.empty())
        return (fs::path(*m_options.outputDir) / FileNameOf(proposedOutputName(input))).string();
    return (fs::path(*m_options.outputDir) / proposedOutputName(relative.string())).string();
}

// Two inputs that would land on one output: the later one fails rather than
// replace the first one's result (-d gathers files of many folders). The
// outputs are compared by a hash first, 16 bytes a file for the moment it
// takes, and by their paths only when the hashes are equal.
void Planner::refuseSharedOutputs()
{
    auto normalOutput = [this](const Item &item) {
        const Job job = jobOf(m_plan, item);
        return job.output == Standard ? std::string()
                                      : fs::path(job.output).lexically_normal().string();
    };
    std::vector<std::pair<std::uint64_t, std::size_t>> hashes; // hash, item index
    hashes.reserve(static_cast<std::size_t>(std::count_if(m_plan.items.begin(), m_plan.items.end(),
        [](const Item &item) { return item.kind == ItemKind::Convert; })));
    for (std::size_t i = 0; i < m_plan.items.size(); ++i) {
        if (m_plan.items[i].kind != ItemKind::Convert)
            continue;
        const std::string output = normalOutput(m_plan.items[i]);
        if (!output.empty())
            hashes.emplace_back(std::hash<std::string> {}(output), i);
    }
    std::sort(hashes.begin(), hashes.end());
    bool refused = false;
    for (std::size_t first = 0; first < hashes.size();) {
        std::size_t last = first + 1;
        while (last < hashes.size() && hashes[last].first == hashes[first].first)
            ++last;
        // Within one hash, in input order: each output goes to the first input that takes it.
        std::vector<std::pair<std::string, std::size_t>> taken; // output, item index
        for (std::size_t k = first; k < last && last - first > 1; ++k) {
            const std::size_t index = hashes[k].second;
            Item &item = m_plan.items[index];
            const std::string output = normalOutput(item);
            const auto owner = std::find_if(
                taken.begin(), taken.end(), [&output](const auto &t) { return t.first == output; });
            if (owner == taken.end()) {
                taken.emplace_back(output, index);
                continue;
            }
            const std::string input(m_plan.name(item));
            const std::string ownerInput(m_plan.name(m_plan.items[owner->second]));
            if (input == ownerInput)
                continue;
            const Job job = jobOf(m_plan, item);
            item.kind = ItemKind::Noted;
            m_plan.notes.emplace_back(index,
                FileOutcome { Result::Failed,
                    { errorLine(
                        input, job.output + tr(" è già il file di uscita di ") + ownerInput) },
                    {} });
            refused = true;
        }
        first = last;
    }
    if (refused) {
        std::sort(m_plan.notes.begin(), m_plan.notes.end(),
            [](const auto &a, const auto &b) { return a.first < b.first; });
    }
}

void Planner::addFolder(const std::string &folder, std::uint32_t root)
{
    // The files go straight into the plan, then are sorted by path; a
    // folder's remark comes before them.
    const std::size_t firstFound = m_plan.items.size();
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
        m_plan.add(
            it->path().native(), root, earlierOutput ? ItemKind::Skipped : ItemKind::Convert, true);
    }
    if (ec) {
        m_plan.items.resize(firstFound);
        m_plan.note(root, Result::Failed, { errorLine(folder, systemReason(ec.value())) });
        return;
    }
    const auto found = m_plan.items.begin() + static_cast<std::ptrdiff_t>(firstFound);
    std::sort(found, m_plan.items.end(),
        [this](const Item &a, const Item &b) { return m_plan.name(a) < m_plan.name(b); });

    const std::string hint
        = std::to_string(inSubfolders) + tr(" file nelle sottocartelle: usare -r");
    std::vector<std::string> lines;
    Result result = Result::Note;
    if (!anyToConvert) {
        result = Result::Failed;
        lines.push_back(errorLine(folder, tr("nessun midifile da convertire")));
        if (inSubfolders > 0)
            lines.push_back(errorLine(folder, hint));
    } else if (inSubfolders > 0 && !m_options.quiet) {
        lines.push_back(folder + ": " + hint);
    }
    if (!lines.empty()) {
        // The remark goes first: the found files move one place on.
        m_plan.items.insert(m_plan.items.begin() + static_cast<std::ptrdiff_t>(firstFound),
            Item { m_plan.store({}), root, ItemKind::Noted, false });
        m_plan.notes.emplace_back(firstFound, FileOutcome { result, std::move(lines), {} });
    }
}

// "mm:ss", or "h:mm:ss" from the first hour on.
std::string formatDuration(std::chrono::steady_clock::duration elapsed)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    if (seconds < 3600)
        return FormatElapsed(seconds);
    return std::to_string(seconds / 3600) + ":" + FormatElapsed(seconds % 3600);
}

// Prints outcomes in the order it is given them, counts them, and keeps the
// progress of a long batch on a terminal.
class Printer
{
public:
    Printer(const Console &console, bool showProgress, std::size_t files)
        : m_console(console)
        , m_showProgress(showProgress)
        , m_files(files)
    { }

    void print(FileOutcome &outcome)
    {
        if (outcome.result != Result::Note)
            ++m_counts[static_cast<std::size_t>(outcome.result)];
        if (outcome.table.empty() && outcome.lines.empty())
            return;
        eraseProgress();
        if (!outcome.table.empty()) {
            m_console.out << outcome.table;
            m_wroteTable = true;
        }
        std::string text;
        for (const std::string &line : outcome.lines)
            text.append(line).append(1, '\n');
        if (!text.empty()) {
            // The table before the lines that follow it, also on one terminal.
            if (m_wroteTable)
                m_console.out.flush();
            m_console.err << text;
        }
        outcome = { outcome.result, {}, {} };
    }

    // done: files finished, in any order.
    void progress(std::size_t done)
    {
        if (!m_showProgress || std::chrono::steady_clock::now() - m_start < m_console.progressAfter)
            return;
        std::string text(1, '\r');
        text.append(std::to_string(done)).append(1, '/').append(std::to_string(m_files));
        if (text.size() - 1 == m_progressWidth && done == m_progressDone)
            return;
        m_console.err << text << std::flush;
        m_progressWidth = text.size() - 1;
        m_progressDone = done;
    }

    void finish(bool summary)
    {
        eraseProgress();
        if (summary) {
            m_console.err << tr("Convertiti: ") << count(Result::Converted)
                          << tr(", non riusciti: ") << count(Result::Failed) << tr(", saltati: ")
                          << count(Result::Skipped) << tr(", tempo: ")
                          << formatDuration(std::chrono::steady_clock::now() - m_start) << '\n';
        }
    }

    std::size_t count(Result result) const { return m_counts[static_cast<std::size_t>(result)]; }
    void wroteTable() { m_wroteTable = true; }
    bool hasWrittenTable() const { return m_wroteTable; }

private:
    void eraseProgress()
    {
        if (m_progressWidth == 0)
            return;
        m_console.err << '\r' << std::string(m_progressWidth, ' ') << '\r' << std::flush;
        m_progressWidth = 0;
        m_progressDone = 0;
    }

    const Console &m_console;
    const bool m_showProgress;
    const std::size_t m_files;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::size_t m_counts[3] = {};
    std::size_t m_progressWidth = 0;
    std::size_t m_progressDone = 0;
    bool m_wroteTable = false;
};

// The outcome of an item that is not converted. Noted items take their
// outcomes from the plan in order, as the printing goes.
FileOutcome plannedOutcome(
    Plan &plan, std::size_t index, std::size_t &nextNote, const JobSettings &settings)
{
    const Item &item = plan.items[index];
    if (item.kind == ItemKind::Noted) {
        while (nextNote < plan.notes.size() && plan.notes[nextNote].first < index)
            ++nextNote;
        if (nextNote < plan.notes.size() && plan.notes[nextNote].first == index)
            return std::move(plan.notes[nextNote++].second);
        return { Result::Note, {}, {} };
    }
    FileOutcome outcome { Result::Skipped, {}, {} };
    if (settings.verbose && !settings.quiet)
        outcome.lines.push_back(
            std::string(plan.name(item)) + tr(": saltato, il nome finisce in \"_.mid\""));
    return outcome;
}

// One file after another in the calling thread; the data streams go straight
// to the console.
void runInOrder(Plan &plan, const Planner &planner, const JobSettings &settings,
    const Console &console, Printer &printer, Clock &clock)
{
    ConsoleHost host(clock);
    std::size_t done = 0;
    std::size_t nextNote = 0;
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        FileOutcome outcome;
        if (plan.items[i].kind == ItemKind::Convert) {
            outcome = convertOne(
                planner.jobOf(plan, plan.items[i]), settings, host, &console.in, &console.out);
            if (settings.table)
                printer.wroteTable();
        } else {
            outcome = plannedOutcome(plan, i, nextNote, settings);
        }
        done += outcome.result == Result::Note ? 0 : 1;
        printer.print(outcome);
        printer.progress(done);
    }
}

// Workers convert the files, each with its own host. The calling thread
// prints, in input order, whatever outcomes are ready every PrintInterval, and
// at once when the last file is done; the workers share nothing but the
// counters of files taken, and the last one wakes the printing thread. A file
// whose outcome has nothing to print leaves only its result, a byte; the
// others wait in a map until their turn.
constexpr std::chrono::milliseconds PrintInterval(50);

void runInParallel(Plan &plan, const Planner &planner, unsigned workers,
    const JobSettings &settings, Printer &printer, Clock &clock)
{
    const std::size_t count = plan.items.size();
    std::size_t conversions = 0;
    std::size_t doneBefore = 0;
    {
        std::size_t nextNote = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const Item &item = plan.items[i];
            if (item.kind == ItemKind::Convert)
                ++conversions;
            else if (item.kind == ItemKind::Skipped)
                ++doneBefore;
            else {
                while (nextNote < plan.notes.size() && plan.notes[nextNote].first < i)
                    ++nextNote;
                if (nextNote < plan.notes.size() && plan.notes[nextNote].first == i
                    && plan.notes[nextNote].second.result != Result::Note)
                    ++doneBefore;
            }
        }
    }
    // 0 while a file waits; then Kept, or 1 + its result.
    constexpr std::uint8_t Kept = 0x80;
    const auto state = std::make_unique<std::atomic<std::uint8_t>[]>(count);
    std::mutex keptMutex;
    std::unordered_map<std::size_t, FileOutcome> kept; // under keptMutex
    // Each worker starts on its own stretch of the list, so that workers are
    // seldom in the same folder at once (creating and renaming files there
    // takes the folder's lock), and goes on with the others' when it is done.
    // Tables wait in memory until their turn, so with --table there is one
    // stretch for all.
    const std::size_t lanes = settings.table ? 1 : workers;
    struct alignas(64) Lane
    {
        std::atomic<std::size_t> next { 0 };
        std::size_t end = 0;
    };
    const std::unique_ptr<Lane[]> lane(new Lane[lanes]);
    for (std::size_t l = 0; l < lanes; ++l) {
        lane[l].next = count * l / lanes;
        lane[l].end = count * (l + 1) / lanes;
    }
    std::atomic<std::size_t> started { 0 };
    std::atomic<std::size_t> finished { 0 };
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool allFinished = conversions == 0; // under wakeMutex

    auto work = [&] {
        ConsoleHost host(clock);
        const std::size_t first = started.fetch_add(1, std::memory_order_relaxed) % lanes;
        for (std::size_t l = first, visited = 0; visited < lanes; l = (l + 1) % lanes, ++visited) {
            std::size_t index = 0;
            while ((index = lane[l].next.fetch_add(1, std::memory_order_relaxed)) < lane[l].end) {
                if (plan.items[index].kind != ItemKind::Convert)
                    continue;
                FileOutcome outcome = convertOne(
                    planner.jobOf(plan, plan.items[index]), settings, host, nullptr, nullptr);
                auto done = static_cast<std::uint8_t>(1 + static_cast<int>(outcome.result));
                if (!outcome.lines.empty() || !outcome.table.empty()) {
                    const std::lock_guard<std::mutex> lock(keptMutex);
                    kept.emplace(index, std::move(outcome));
                    done = Kept;
                }
                state[index].store(done, std::memory_order_release);
                if (finished.fetch_add(1, std::memory_order_relaxed) + 1 == conversions) {
                    const std::lock_guard<std::mutex> lock(wakeMutex);
                    allFinished = true;
                    wake.notify_one();
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 0; w < workers; ++w) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error &) {
            break; // fewer threads than asked for still convert everything
        }
    }
    if (threads.empty())
        work();

    std::size_t printed = 0;
    std::size_t nextNote = 0;
    for (;;) {
        for (; printed < count; ++printed) {
            FileOutcome outcome;
            if (plan.items[printed].kind == ItemKind::Convert) {
                const std::uint8_t done = state[printed].load(std::memory_order_acquire);
                if (done == 0)
                    break;
                if (done == Kept) {
                    const std::lock_guard<std::mutex> lock(keptMutex);
                    auto node = kept.extract(printed);
                    outcome = std::move(node.mapped());
                } else {
                    outcome.result = static_cast<Result>(done - 1);
                }
            } else {
                outcome = plannedOutcome(plan, printed, nextNote, settings);
            }
            printer.print(outcome);
        }
        printer.progress(doneBefore + finished.load(std::memory_order_relaxed));
        if (printed == count)
            break;
        std::unique_lock<std::mutex> lock(wakeMutex);
        wake.wait_for(lock, PrintInterval, [&] { return allFinished; });
    }
    for (std::thread &thread : threads)
        thread.join();
}

extern "C" void onInterrupt(int signal)
{
    removeLiveTemporaryFiles();
    ::_exit(128 + signal);
}

} // namespace

int run(const std::vector<std::string> &args, const Console &console)
{
    Options options;
    std::string problem;
    if (!parseOptions(args, options, problem)) {
        console.err << Program << ": " << problem << '\n'
                    << tr(Usage) << '\n'
                    << tr("Per l'aiuto: trackfold-cli --help\n");
        return WrongUsage;
    }
    if (options.help) {
        console.out << tr(Usage) << "\n\n" << tr(Help) << std::flush;
        return AllConverted;
    }
    if (options.version) {
        console.out << Program << ' ' << texts::Version << '\n' << std::flush;
        return AllConverted;
    }

    Planner planner(options);
    Plan plan = planner.plan();
    std::size_t files = 0;
    std::size_t conversions = 0;
    for (const Item &item : plan.items) {
        files += item.kind == ItemKind::Noted ? 0 : 1;
        conversions += item.kind == ItemKind::Convert ? 1 : 0;
    }
    for (const auto &note : plan.notes)
        files += note.second.result == Result::Note ? 0 : 1;
    const bool batch = files > 1;

    JobSettings settings;
    settings.batch = batch;
    settings.createFolders = options.outputDir.has_value();
    settings.conversion.keepExisting = options.noClobber;
    settings.table = options.table;
    settings.conversion.verify = options.verify;
    settings.quiet = options.quiet;
    settings.verbose = options.verbose;
    settings.conversion.byteOrder = options.byteOrder;
    settings.conversion.format = options.format;
    // A single file may use every core it is given; a batch converts a file
    // on each.
    if (conversions <= 1)
        settings.conversion.threads = options.jobs ? options.jobs : defaultJobs();

    SteadyClock steady;
    Clock &clock = console.clock ? *console.clock : steady;
    Printer printer(console, console.progress && batch && !options.quiet, files);
    const unsigned workers = static_cast<unsigned>(
        std::min<std::size_t>(options.jobs ? options.jobs : defaultJobs(), conversions));
    // Standard input and output belong to a single file, which needs no thread.
    if (workers > 1)
        runInParallel(plan, planner, workers, settings, printer, clock);
    else
        runInOrder(plan, planner, settings, console, printer, clock);
    printer.finish(batch && !options.quiet);

    bool allConverted = printer.count(Result::Failed) == 0;
    // A table that did not reach standard output is a failure too; -o - checks its own data.
    if (printer.hasWrittenTable() && !console.out.flush()) {
        console.err << errorLine(Standard,
            std::string(tr("Impossibile scrivere la tabella: "))
                .append(systemReason(errno ? errno : EIO)))
                    << '\n';
        allConverted = false;
    }
    return allConverted ? AllConverted : SomeFailed;
}

int run(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    return run(args, Console { std::cin, out, err });
}

void installInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // One handler at a time: the second signal waits for the _exit().
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    for (const int signal : { SIGINT, SIGTERM }) {
        struct sigaction previous = {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue; // a background job started with the signal ignored keeps it so
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace trackfold::cli
