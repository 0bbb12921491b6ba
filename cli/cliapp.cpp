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

// An input as the run will handle it: a file to convert, or an outcome known
// before any conversion (a skipped file, a folder that fails, a remark).
struct Entry
{
    Job job;
    bool convert = false;
    FileOutcome outcome;
};

Entry noted(Result result, std::vector<std::string> lines)
{
    Entry entry;
    entry.outcome.result = result;
    entry.outcome.lines = std::move(lines);
    return entry;
}

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

// Turns the inputs into the run's entries, in input order; a folder's files
// are sorted by path so runs are repeatable.
class Planner
{
public:
    explicit Planner(const Options &options)
        : m_options(options)
    { }

    std::vector<Entry> plan();

private:
    void addFile(const std::string &input, const std::string &output);
    void addFolder(const std::string &folder);
    std::string outputFor(const std::string &input, const fs::path &relative) const;

    const Options &m_options;
    std::vector<Entry> m_entries;
    // Output paths taken so far, with the input that takes them.
    std::unordered_map<std::string, std::string> m_outputs;
};

std::vector<Entry> Planner::plan()
{
    for (const std::string &input : m_options.inputs) {
        if (input == Standard)
            addFile(input, m_options.output.value_or(Standard));
        else if (isDirectory(input))
            addFolder(input);
        else
            addFile(input, m_options.output ? *m_options.output : outputFor(input, {}));
    }
    return std::move(m_entries);
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

void Planner::addFile(const std::string &input, const std::string &output)
{
    Entry entry;
    entry.job = { input, output };
    entry.convert = true;
    // Two inputs that would land on one output: the later one fails rather
    // than replace the first one's result (-d gathers files of many folders).
    if (output != Standard) {
        const auto [taken, added]
            = m_outputs.emplace(fs::path(output).lexically_normal().string(), input);
        if (!added && taken->second != input) {
            entry.convert = false;
            entry.outcome.lines.push_back(
                errorLine(input, output + tr(" è già il file di uscita di ") + taken->second));
        }
    }
    m_entries.push_back(std::move(entry));
}

void Planner::addFolder(const std::string &folder)
{
    struct Found
    {
        std::string path;
        fs::path relative;
        bool earlierOutput;
    };
    std::vector<Found> found;
    std::size_t inSubfolders = 0;
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
        found.push_back(
            { it->path().string(), it->path().lexically_relative(folder), earlierOutput });
    }
    if (ec) {
        m_entries.push_back(noted(Result::Failed, { errorLine(folder, systemReason(ec.value())) }));
        return;
    }
    std::sort(
        found.begin(), found.end(), [](const Found &a, const Found &b) { return a.path < b.path; });

    const std::string hint
        = std::to_string(inSubfolders) + tr(" file nelle sottocartelle: usare -r");
    const bool anyToConvert
        = std::any_of(found.begin(), found.end(), [](const Found &f) { return !f.earlierOutput; });
    if (!anyToConvert) {
        std::vector<std::string> lines { errorLine(folder, tr("nessun midifile da convertire")) };
        if (inSubfolders > 0)
            lines.push_back(errorLine(folder, hint));
        m_entries.push_back(noted(Result::Failed, std::move(lines)));
    } else if (inSubfolders > 0 && !m_options.quiet) {
        m_entries.push_back(noted(Result::Note, { folder + ": " + hint }));
    }

    for (const Found &file : found) {
        if (file.earlierOutput) {
            std::vector<std::string> lines;
            if (m_options.verbose && !m_options.quiet)
                lines.push_back(file.path + tr(": saltato, il nome finisce in \"_.mid\""));
            m_entries.push_back(noted(Result::Skipped, std::move(lines)));
        } else {
            addFile(file.path, outputFor(file.path, file.relative));
        }
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

// One file after another in the calling thread; the data streams go straight
// to the console.
void runInOrder(std::vector<Entry> &entries, const JobSettings &settings, const Console &console,
    Printer &printer, Clock &clock)
{
    ConsoleHost host(clock);
    std::size_t done = 0;
    for (Entry &entry : entries) {
        if (entry.convert) {
            entry.outcome = convertOne(entry.job, settings, host, &console.in, &console.out);
            if (settings.table)
                printer.wroteTable();
        }
        done += entry.outcome.result == Result::Note ? 0 : 1;
        printer.print(entry.outcome);
        printer.progress(done);
    }
}

// Workers convert the files, each with its own host. The calling thread
// prints, in input order, whatever outcomes are ready every PrintInterval, and
// at once when the last file is done; the workers share nothing but the
// counters of files taken, and the last one wakes the printing thread.
constexpr std::chrono::milliseconds PrintInterval(50);

void runInParallel(std::vector<Entry> &entries, unsigned workers, const JobSettings &settings,
    Printer &printer, Clock &clock)
{
    std::vector<std::size_t> toConvert;
    std::size_t doneBefore = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].convert)
            toConvert.push_back(i);
        else if (entries[i].outcome.result != Result::Note)
            ++doneBefore;
    }
    const auto ready = std::make_unique<std::atomic<bool>[]>(entries.size());
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
        lane[l].next = toConvert.size() * l / lanes;
        lane[l].end = toConvert.size() * (l + 1) / lanes;
    }
    std::atomic<std::size_t> started { 0 };
    std::atomic<std::size_t> finished { 0 };
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool allFinished = false; // under wakeMutex

    auto work = [&] {
        ConsoleHost host(clock);
        const std::size_t first = started.fetch_add(1, std::memory_order_relaxed) % lanes;
        for (std::size_t l = first, visited = 0; visited < lanes; l = (l + 1) % lanes, ++visited) {
            std::size_t next = 0;
            while ((next = lane[l].next.fetch_add(1, std::memory_order_relaxed)) < lane[l].end) {
                const std::size_t index = toConvert[next];
                entries[index].outcome
                    = convertOne(entries[index].job, settings, host, nullptr, nullptr);
                ready[index].store(true, std::memory_order_release);
                if (finished.fetch_add(1, std::memory_order_relaxed) + 1 == toConvert.size()) {
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
    for (;;) {
        while (printed < entries.size()
            && (!entries[printed].convert || ready[printed].load(std::memory_order_acquire)))
            printer.print(entries[printed++].outcome);
        printer.progress(doneBefore + finished.load(std::memory_order_relaxed));
        if (printed == entries.size())
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

    std::vector<Entry> entries = Planner(options).plan();
    const std::size_t files = static_cast<std::size_t>(std::count_if(entries.begin(), entries.end(),
        [](const Entry &e) { return e.outcome.result != Result::Note; }));
    const std::size_t conversions = static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [](const Entry &e) { return e.convert; }));
    const bool batch = files > 1;

    JobSettings settings;
    settings.batch = batch;
    settings.createFolders = options.outputDir.has_value();
    settings.noClobber = options.noClobber;
    settings.table = options.table;
    settings.verify = options.verify;
    settings.quiet = options.quiet;
    settings.verbose = options.verbose;
    settings.conversion.byteOrder = options.byteOrder;

    SteadyClock steady;
    Clock &clock = console.clock ? *console.clock : steady;
    Printer printer(console, console.progress && batch && !options.quiet, files);
    const unsigned workers = static_cast<unsigned>(
        std::min<std::size_t>(options.jobs ? options.jobs : defaultJobs(), conversions));
    // Standard input and output belong to a single file, which needs no thread.
    if (workers > 1)
        runInParallel(entries, workers, settings, printer, clock);
    else
        runInOrder(entries, settings, console, printer, clock);
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
