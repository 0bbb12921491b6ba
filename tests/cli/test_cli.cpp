// SPDX-License-Identifier: MIT
#include "cliapp.h"
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <tuple>

using namespace trackfold;
using smf::Track;
namespace fs = std::filesystem;

extern char **environ;

namespace {

class Cli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path()
            / (std::string("trackfold-cli-")
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(m_dir / "locked", fs::perms::owner_all, ec);
        fs::remove_all(m_dir);
    }

    std::string path(const std::string &name) const { return (m_dir / name).string(); }
    void write(const std::string &name, const std::string &data) const
    {
        fs::create_directories((m_dir / name).parent_path());
        std::ofstream(path(name), std::ios::binary) << data;
    }
    std::string read(const std::string &name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        return { std::istreambuf_iterator<char>(in), {} };
    }
    int run(std::vector<std::string> args)
    {
        out.str({});
        err.str({});
        return cli::run(args, out, err);
    }
    // Hidden temporary files left in the test's folder tree.
    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> found;
        for (const auto &entry : fs::recursive_directory_iterator(m_dir)) {
            const std::string name = entry.path().filename().string();
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0)
                found.push_back(name);
        }
        return found;
    }

    fs::path m_dir;
    std::ostringstream out;
    std::ostringstream err;
};

const std::string Song = smf::file(1,
    { Track().event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 }).endOfTrack(),
        Track().event(0, { 0x90, 0x3C, 0x40 }).event(480, { 0x3C, 0x00 }).endOfTrack() });
const std::string Broken
    = smf::file(1, { Track().event(0, { 0x90, 0x3C, 0x40 }).event(0, { 0xF7 }) });

// A file of n notes in each of two tracks, to make a conversion take a while.
std::string manyNotes(int n)
{
    Track a, b;
    for (int i = 0; i < n; ++i) {
        a.event(10, { 0x90, 0x30 + i % 40, 0x40 });
        b.event(10, { 0x91, 0x30 + i % 40, 0x40 });
    }
    return smf::file(1, { a.endOfTrack(), b.endOfTrack() });
}

// The engine's own conversion of an image, for comparing with what the
// command line wrote; table gets the grid as tab-separated lines.
std::string converted(
    const std::string &image, bool byteOrder = false, std::string *table = nullptr)
{
    class Host : public ConversionObserver, public Clock
    {
    public:
        void showStatus(const std::string &) override { }
        void showMessage(const Message &) override { }
        void setBusy(bool) override { }
        double seconds() override { return 0; }
    } host;
    EventGrid grid;
    ConversionResult conversion;
    std::string result
        = SalvaMidi0(image, grid, host, host, conversion, ConversionJob { byteOrder });
    for (std::size_t r = 0; table && r < grid.rows(); ++r) {
        for (int c = 0; c < grid.cols(); ++c)
            table->append(c ? "\t" : "").append(grid.textMatrix(r, c));
        table->append("\n");
    }
    return result;
}

// Report texts with their real times taken out.
std::string withoutTimes(const std::string &text)
{
    static const std::regex time("(Tempo di elab\\.|tempo): [0-9:]+");
    return std::regex_replace(text, time, "$1: T");
}

} // namespace

TEST_F(Cli, ConvertsToTheProposedNameAndReportsOnStandardError)
{
    write("song.mid", Song);
    EXPECT_EQ(run({ path("song.mid") }), 0);
    const std::string written = read("song_.mid");
    EXPECT_EQ(written, converted(Song));
    // The time is real; a loaded machine may take a second.
    EXPECT_EQ(withoutTimes(err.str()),
        "Righe: 4      Tempo di elab.: T      song_.mid      " + std::to_string(written.size())
            + " bytes\n");
    EXPECT_EQ(out.str(), "");

    EXPECT_EQ(run({ "--verify", path("song.mid") }), 0);
    EXPECT_NE(err.str().find(" bytes\nVerifica: OK\n"), std::string::npos) << err.str();
    EXPECT_EQ(run({ "--verify", "-q", path("song.mid") }), 0);
    EXPECT_EQ(err.str() + out.str(), "");
}

TEST_F(Cli, TheTableGoesToStandardOutputEvenWhenQuiet)
{
    write("song.mid", Song);
    for (const char *quiet : { "-v", "-q" }) {
        EXPECT_EQ(run({ quiet, "--table", "-o", path("out.mid"), path("song.mid") }), 0);
        std::string table;
        converted(Song, false, &table);
        EXPECT_EQ(out.str(), table);
        EXPECT_EQ(out.str().rfind("DT assoluto\tDT relativo\tDati Midi\n00\t00\t4D546864", 0), 0u);
        EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 5);
    }
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(run({ "--table", "-o", path("out.mid"), path("song.mid") }), 0);
    EXPECT_EQ(err.str().substr(0, 7), "Righe: ");
}

TEST_F(Cli, BatchReportsNameTheirInputAndEndWithASummary)
{
    write("a.mid", Broken);
    write("b.mid", Song);
    EXPECT_EQ(run({ path("a.mid"), path("b.mid"), path("missing.mid") }), 1);
    EXPECT_FALSE(fs::exists(path("a_.mid")));
    EXPECT_TRUE(fs::exists(path("b_.mid")));
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(withoutTimes(err.str()),
        "trackfold-cli: " + path("a.mid") + ": Pos.6 Status 247 - Valore sconosciuto\n"
            + "trackfold-cli: " + path("a.mid") + ": Impossibile leggere il file\n" + path("b.mid")
            + ": Righe: 4      Tempo di elab.: T      b_.mid      "
            + std::to_string(read("b_.mid").size()) + " bytes\n"
            + "trackfold-cli: " + path("missing.mid")
            + ": Impossibile aprire il midifile: No such file or directory\n"
              "Convertiti: 1, non riusciti: 2, saltati: 0, tempo: T\n");

    // Quiet: the errors only.
    EXPECT_EQ(run({ "-q", path("a.mid"), path("b.mid") }), 1);
    EXPECT_EQ(err.str().find("Righe"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("Convertiti"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("Impossibile leggere il file"), std::string::npos) << err.str();
}

TEST_F(Cli, FoldersConvertTheirMidiFilesAndSkipEarlierOutputs)
{
    write("set/one.mid", Song);
    write("set/two.MIDI", Song);
    write("set/five.KAR", Song);
    write("set/six.rmi", Song);
    write("set/old_.mid", Song);
    write("set/notes.txt", "not midi");
    write("set/sub/three.mid", Song);
    write("set/sub/deeper/four.mid", Song);
    write("set/sub/deeper/four_.mid", Song);

    EXPECT_EQ(run({ path("set") }), 0);
    EXPECT_TRUE(fs::exists(path("set/one_.mid")));
    EXPECT_TRUE(fs::exists(path("set/two_.mid")));
    EXPECT_TRUE(fs::exists(path("set/five_.kar")));
    EXPECT_TRUE(fs::exists(path("set/six_.mid")));
    EXPECT_FALSE(fs::exists(path("set/old__.mid")));
    EXPECT_FALSE(fs::exists(path("set/sub/three_.mid")));
    // Earlier outputs are not files to convert with -r either.
    EXPECT_EQ(err.str().rfind(path("set") + ": 2 file nelle sottocartelle: usare -r\n", 0), 0u)
        << err.str();
    EXPECT_NE(err.str().find("saltati: 1,"), std::string::npos) << err.str();
    EXPECT_EQ(err.str().find("old_.mid"), std::string::npos) << err.str();

    EXPECT_EQ(run({ "-v", path("set") }), 0);
    EXPECT_NE(err.str().find(path("set/old_.mid") + ": saltato"), std::string::npos) << err.str();

    EXPECT_EQ(run({ "-qr", path("set") }), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_TRUE(fs::exists(path("set/sub/three_.mid")));
    EXPECT_TRUE(fs::exists(path("set/sub/deeper/four_.mid")));
    EXPECT_FALSE(fs::exists(path("set/one__.mid")));
}

TEST_F(Cli, AFolderWithNothingToConvertFails)
{
    fs::create_directories(path("empty"));
    EXPECT_EQ(run({ "-q", path("empty") }), 1);
    EXPECT_EQ(err.str(), "trackfold-cli: " + path("empty") + ": nessun midifile da convertire\n");

    write("nested/sub/song.mid", Song);
    EXPECT_EQ(run({ "-q", path("nested") }), 1);
    EXPECT_NE(err.str().find(path("nested") + ": 1 file nelle sottocartelle: usare -r\n"),
        std::string::npos)
        << err.str();
}

TEST_F(Cli, OutputDirKeepsTheFoldersOfARecursiveRun)
{
    write("set/one.mid", Song);
    write("set/sub/two.mid", Song);
    write("single.mid", Song);
    EXPECT_EQ(run({ "-q", "-r", "-d", path("out/new"), path("set"), path("single.mid") }), 0)
        << err.str();
    EXPECT_EQ(read("out/new/one_.mid"), converted(Song));
    EXPECT_EQ(read("out/new/sub/two_.mid"), converted(Song));
    EXPECT_EQ(read("out/new/single_.mid"), converted(Song));
    EXPECT_FALSE(fs::exists(path("set/one_.mid")));

    // Two inputs for one output: the second does not replace the first's result.
    write("a/x.mid", Song);
    write("b/x.mid", Broken);
    EXPECT_EQ(run({ "-q", "--output-dir=" + path("flat"), path("a/x.mid"), path("b/x.mid") }), 1);
    EXPECT_EQ(read("flat/x_.mid"), converted(Song));
    EXPECT_NE(err.str().find(path("b/x.mid") + ": " + path("flat")
                  + "/x_.mid è già il file di "
                    "uscita di "
                  + path("a/x.mid")),
        std::string::npos)
        << err.str();
}

TEST_F(Cli, AFolderGivenTwiceInTwoSpellingsConvertsOnce)
{
    write("set/one.mid", Song);
    write("set/two.mid", Song);
    // The outputs are compared in their normal form; a file given again by
    // the same name is converted again.
    for (const char *jobs : { "-j1", "-j2" }) {
        EXPECT_EQ(run({ jobs, "-q", "-d", path("out"), path("set"), path("./set/"),
                      path("set/one.mid"), path("set/one.mid") }),
            1);
        const std::string shared = " è già il file di uscita di ";
        EXPECT_EQ(err.str(),
            "trackfold-cli: " + path("./set/one.mid") + ": " + path("out/one_.mid") + shared
                + path("set/one.mid") + "\ntrackfold-cli: " + path("./set/two.mid") + ": "
                + path("out/two_.mid") + shared + path("set/two.mid") + "\n");
        EXPECT_EQ(read("out/two_.mid"), converted(Song));
    }
}

TEST_F(Cli, NoClobberSkipsExistingOutputs)
{
    write("a.mid", Song);
    write("b.mid", Song);
    write("a_.mid", "mine");
    EXPECT_EQ(run({ "-n", path("a.mid"), path("b.mid") }), 0);
    EXPECT_EQ(read("a_.mid"), "mine");
    EXPECT_EQ(read("b_.mid"), converted(Song));
    EXPECT_NE(err.str().find("Convertiti: 1, non riusciti: 0, saltati: 1"), std::string::npos)
        << err.str();
    EXPECT_EQ(err.str().find("saltato"), std::string::npos) << err.str();

    EXPECT_EQ(run({ "--no-clobber", "--verbose", "-o", path("a_.mid"), path("b.mid") }), 0);
    EXPECT_EQ(err.str(), path("b.mid") + ": saltato, " + path("a_.mid") + " esiste già\n");
    EXPECT_EQ(read("a_.mid"), "mine");
}

TEST_F(Cli, OutputMayBeTheInputAndReplacesLongerFiles)
{
    write("song.mid", Song);
    write("big.mid", std::string(100000, 'x'));
    EXPECT_EQ(run({ "-o", path("big.mid"), path("song.mid") }), 0);
    EXPECT_EQ(run({ "-o", path("song.mid"), path("song.mid") }), 0);
    EXPECT_EQ(read("big.mid"), read("song.mid"));
}

TEST_F(Cli, OutputIntoAMissingFolderFails)
{
    write("song.mid", Song);
    EXPECT_EQ(run({ "-o", path("nowhere/out.mid"), path("song.mid") }), 1);
    EXPECT_NE(
        err.str().find("nowhere/out.mid: Impossibile salvare il file: No such file or directory"),
        std::string::npos)
        << err.str();
    EXPECT_EQ(run({ "-o", path("song.mid/out.mid"), path("song.mid") }), 1);
    EXPECT_NE(err.str().find("Impossibile salvare il file: Not a directory"), std::string::npos)
        << err.str();
}

TEST_F(Cli, OptionsInEveryGetoptForm)
{
    write("song.mid", Song);
    write("-q.mid", Song); // an input named like an option, after "--"
    const std::string expected = converted(Song);
    const std::vector<std::vector<std::string>> forms = {
        { "-q", "-o", path("o1.mid"), path("song.mid") },
        { "-qo" + path("o2.mid"), path("song.mid") },
        { path("song.mid"), "--output=" + path("o3.mid"), "--quiet" },
        { "--output", path("o4.mid"), "-qj1", path("song.mid") },
        { "--jobs=2", "--quiet", "--", path("song.mid") },
    };
    for (const auto &args : forms) {
        EXPECT_EQ(run(args), 0) << args[0] << err.str();
        EXPECT_EQ(err.str(), "") << args[0];
    }
    for (const char *name : { "o1.mid", "o2.mid", "o3.mid", "o4.mid", "song_.mid" })
        EXPECT_EQ(read(name), expected) << name;

    const fs::path here = fs::current_path();
    fs::current_path(m_dir);
    EXPECT_EQ(run({ "--", "-q.mid" }), 0);
    fs::current_path(here);
    EXPECT_EQ(read("-q_.mid"), expected);
    EXPECT_NE(err.str().find("Righe:"), std::string::npos) << "-q.mid after -- is not an option";
}

TEST_F(Cli, WrongUsageSaysWhatAndHow)
{
    write("song.mid", Song);
    write("d/x.mid", Song);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        { {}, "nessun INPUT" },
        { { "--bogus", "x.mid" }, "opzione sconosciuta o ambigua: --bogus" },
        { { "--ver", "x.mid" }, "opzione sconosciuta o ambigua: --ver" },
        { { "-qz", "x.mid" }, "opzione sconosciuta: -z" },
        { { "--table=yes", "x.mid" }, "--table non vuole argomenti" },
        { { "x.mid", "-o" }, "-o/--output vuole un argomento" },
        { { "-o", "a.mid", "--output=b.mid", "x.mid" }, "-o/--output indicato più volte" },
        { { "-d", "a", "-d", "b", "x.mid" }, "-d/--output-dir indicato più volte" },
        { { "-o", "out.mid", "a.mid", "b.mid" }, "-o vale per un solo INPUT" },
        { { "-o", "out.mid", path("d") }, "-o non vale per una cartella: " + path("d") },
        { { "-o", "out.mid", "-d", "dir", "a.mid" }, "-o e -d non vanno insieme" },
        { { "-" }, "lo standard input (-) vuole -o FILE oppure -o -" },
        { { "-o", "-", "--table", "a.mid" }, "--table e -o -" },
        { { "-j", "0", "a.mid" }, "-j/--jobs vuole un numero da 1 a 256: 0" },
        { { "-j2x", "a.mid" }, "-j/--jobs vuole un numero da 1 a 256: 2x" },
        { { "--jobs=-1", "a.mid" }, "-j/--jobs vuole un numero da 1 a 256: -1" },
        { { "--jobs=257", "a.mid" }, "-j/--jobs vuole un numero da 1 a 256: 257" },
    };
    for (const auto &[args, problem] : cases) {
        EXPECT_EQ(run(args), 2) << problem;
        EXPECT_EQ(err.str().find("trackfold-cli: " + problem), 0u) << err.str();
        EXPECT_NE(err.str().find("\nUso: trackfold-cli [opzioni] INPUT...\n"), std::string::npos);
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_FALSE(fs::exists(path("song_.mid")));

    EXPECT_EQ(run({ "--help" }), 0);
    for (const char *option : { "--output", "--output-dir", "--no-clobber", "--recursive", "--jobs",
             "--table", "--verify", "--byte-order", "--quiet", "--verbose", "--help", "--version" })
        EXPECT_NE(out.str().find(option), std::string::npos) << option;
    EXPECT_EQ(run({ "-V" }), 0);
    EXPECT_EQ(out.str(), "trackfold-cli 1.00\n");
}

TEST_F(Cli, ByteOrderReachesTheEngine)
{
    // Two tracks with events at the same tick: the orders may differ.
    const std::string song = smf::file(1,
        { Track().event(0, { 0xC0, 0x05 }).event(0, { 0x90, 0x3C, 0x40 }).endOfTrack(),
            Track().event(0, { 0x80, 0x40, 0x00 }).event(0, { 0xB0, 0x07, 0x64 }).endOfTrack() });
    write("song.mid", song);
    EXPECT_EQ(run({ "-q", "--byte-order", "-o", path("bytes.mid"), path("song.mid") }), 0);
    EXPECT_EQ(run({ "-q", "-o", path("tracks.mid"), path("song.mid") }), 0);
    EXPECT_EQ(read("bytes.mid"), converted(song, true));
    EXPECT_EQ(read("tracks.mid"), converted(song, false));
}

TEST_F(Cli, ParallelBatchesReportInInputOrder)
{
    // A slow first file, failures between the others: later files finish
    // first and still wait for their turn.
    std::vector<std::string> args { "-v", "--verify" };
    write("set/00.mid", manyNotes(200000));
    for (int i = 1; i < 24; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "set/%02d.mid", i);
        write(name, i % 5 == 0 ? Broken : Song);
    }
    write("set/25_.mid", Song);
    args.push_back(path("set"));
    args.push_back(path("missing.mid"));

    args.insert(args.begin(), { "-j1", "-d", path("one") });
    EXPECT_EQ(run(args), 1);
    const std::string inOrder = withoutTimes(err.str());
    args[0] = "-j4";
    args[2] = path("four");
    EXPECT_EQ(run(args), 1);
    EXPECT_EQ(withoutTimes(err.str()), inOrder);
    EXPECT_EQ(read("four/00_.mid"), read("one/00_.mid"));
    EXPECT_EQ(read("four/00_.mid"), converted(manyNotes(200000)));
    EXPECT_NE(inOrder.find("Convertiti: 20, non riusciti: 5, saltati: 1"), std::string::npos)
        << inOrder;
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Cli, ProgressShowsOnlyWhereAsked)
{
    write("set/a.mid", Song);
    write("set/b.mid", Song);
    write("set/c.mid", Song);
    for (const char *jobs : { "-j1", "-j2" }) {
        err.str({});
        cli::Console console { std::cin, out, err, true, std::chrono::milliseconds(0) };
        EXPECT_EQ(cli::run({ jobs, "-q", "-d", path("out"), path("set") }, console), 0);
        EXPECT_EQ(err.str(), "") << "quiet has no progress";
        EXPECT_EQ(cli::run({ jobs, "-d", path("out"), path("set") }, console), 0);
        const std::string shown = err.str();
        EXPECT_NE(shown.find("3/3"), std::string::npos) << shown;
        // Erased before the summary, which starts a clean line.
        EXPECT_NE(shown.find("\r   \rConvertiti: 3,"), std::string::npos) << shown;
    }
    EXPECT_EQ(run({ "-d", path("out"), path("set") }), 0);
    EXPECT_EQ(err.str().find('\r'), std::string::npos);
}

// The real program, as a shell runs it.
class Program : public Cli
{
protected:
    struct Ran
    {
        int status = -1;
        std::string out;
        std::string err;
    };
    static std::string quoted(const std::string &text) { return "'" + text + "'"; }
    Ran shell(const std::string &command)
    {
        const std::string line = "cd " + quoted(m_dir.string()) + " && (" + command + ") > "
            + quoted(path(".stdout")) + " 2> " + quoted(path(".stderr"));
        const int status = std::system(line.c_str());
        Ran ran { WIFEXITED(status) ? WEXITSTATUS(status) : -1, read(".stdout"), read(".stderr") };
        fs::remove(path(".stdout"));
        fs::remove(path(".stderr"));
        return ran;
    }
    static std::string cli() { return quoted(TRACKFOLD_CLI); }

    // The program and its arguments as exec wants them.
    struct Argv
    {
        explicit Argv(const std::vector<std::string> &args)
            : words { TRACKFOLD_CLI }
        {
            words.insert(words.end(), args.begin(), args.end());
            for (std::string &word : words)
                pointers.push_back(word.data());
            pointers.push_back(nullptr);
        }
        Argv(const Argv &) = delete;
        Argv &operator=(const Argv &) = delete;
        char *const *data() const { return pointers.data(); }

        std::vector<std::string> words;
        std::vector<char *> pointers;
    };

    // Starts the program with standard input from a pipe that stays open.
    pid_t start(const std::vector<std::string> &args, int &input, const char *const *env = environ)
    {
        int pipeFds[2];
        EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
        Argv argv(args);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, TRACKFOLD_CLI, &actions, nullptr, argv.data(),
                      const_cast<char *const *>(env)),
            0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeFds[0]);
        input = pipeFds[1];
        return pid;
    }
    // The signal mask of a process from /proc (SigCgt: caught, SigIgn: ignored).
    static unsigned long long signalMask(pid_t pid, const std::string &field)
    {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(field + ":", 0) == 0)
                return std::stoull(line.substr(field.size() + 1), nullptr, 16);
        }
        return 0;
    }
    static bool waitForMask(pid_t pid, const std::string &field, int signal)
    {
        for (int i = 0; i < 500; ++i) {
            if (signalMask(pid, field) & (1ull << (signal - 1)))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    static int exitStatus(pid_t pid)
    {
        int status = 0;
        EXPECT_EQ(::waitpid(pid, &status, 0), pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    // Runs the program with a terminal as its standard error (and output);
    // returns what the terminal received.
    std::string onTerminal(const std::vector<std::string> &args, int &status)
    {
        Argv argv(args);
        int terminal = -1;
        const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
        if (pid == 0) {
            ::execv(TRACKFOLD_CLI, argv.data());
            ::_exit(127);
        }
        EXPECT_GT(pid, 0);
        std::string screen;
        char chunk[4096];
        for (ssize_t got; (got = ::read(terminal, chunk, sizeof chunk)) > 0;)
            screen.append(chunk, static_cast<std::size_t>(got));
        ::close(terminal);
        status = exitStatus(pid);
        return screen;
    }
};

TEST_F(Program, PipesThroughStandardInputAndOutput)
{
    write("a.mid", Song);
    Ran ran = shell("cat a.mid | " + cli() + " -o - - > b.mid");
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(read("b.mid"), converted(Song));
    EXPECT_EQ(withoutTimes(ran.err),
        "Righe: 4      Tempo di elab.: T      -      " + std::to_string(converted(Song).size())
            + " bytes\n");

    // A file to standard output, checked as sent; a file from standard input.
    ran = shell(cli() + " --verify -o - a.mid | cmp - b.mid");
    EXPECT_EQ(ran.status, 0) << ran.out << ran.err;
    EXPECT_NE(ran.err.find("\nVerifica: OK\n"), std::string::npos) << ran.err;
    ran = shell(cli() + " -q -o c.mid - < a.mid");
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(read("c.mid"), converted(Song));

    ran = shell(cli() + " -o - a.mid > /dev/full");
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, "trackfold-cli: -: Impossibile salvare il file: No space left on device\n");
    ran = shell(cli() + " --table -o x.mid a.mid > /dev/full");
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(
        ran.err.find("Impossibile scrivere la tabella: No space left on device"), std::string::npos)
        << ran.err;
    ran = shell("echo not midi | " + cli() + " -o - -");
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.out, "");
    EXPECT_EQ(ran.err,
        "trackfold-cli: -: Intestazione del midifile non valida\n"
        "trackfold-cli: -: Impossibile leggere il file\n");
    ran = shell(cli() + " - < a.mid");
    EXPECT_EQ(ran.status, 2);
}

TEST_F(Program, ProgressOnATerminalOnly)
{
    // A FIFO given as an input holds the batch for over a second.
    write("b.mid", Song);
    ASSERT_EQ(::mkfifo(path("a.mid").c_str(), 0600), 0);
    auto feedLate = [this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        std::ofstream(path("a.mid"), std::ios::binary) << Song;
    };

    std::thread feeder(feedLate);
    int status = -1;
    const std::string screen = onTerminal({ "-j1", path("a.mid"), path("b.mid") }, status);
    feeder.join();
    EXPECT_EQ(status, 0) << screen;
    EXPECT_NE(screen.find("\r1/2"), std::string::npos) << screen;
    EXPECT_NE(screen.find("\r   \rConvertiti: 2,"), std::string::npos) << screen;

    std::thread feeder2(feedLate);
    const Ran ran = shell(cli() + " -j1 a.mid b.mid");
    feeder2.join();
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.err.find('\r'), std::string::npos) << ran.err;
    EXPECT_NE(ran.err.find("Convertiti: 2,"), std::string::npos) << ran.err;
}

TEST_F(Program, SignalsEndTheRunWith128PlusTheirNumber)
{
    for (const int signal : { SIGINT, SIGTERM }) {
        int input = -1;
        const pid_t pid = start({ "-o", path("out.mid"), "-" }, input);
        ASSERT_TRUE(waitForMask(pid, "SigCgt", signal)) << "no handler for signal " << signal;
        ::kill(pid, signal);
        EXPECT_EQ(exitStatus(pid), 128 + signal);
        ::close(input);
    }

    // A signal ignored by whoever started the program stays ignored.
    struct sigaction ignore = {}, previous = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGINT, &ignore, &previous);
    int input = -1;
    const pid_t pid = start({ "-o", path("out.mid"), "-" }, input);
    ::sigaction(SIGINT, &previous, nullptr);
    ASSERT_TRUE(waitForMask(pid, "SigCgt", SIGTERM));
    EXPECT_TRUE(signalMask(pid, "SigIgn") & (1ull << (SIGINT - 1)));
    ::kill(pid, SIGINT);
    ::kill(pid, SIGTERM);
    EXPECT_EQ(exitStatus(pid), 143);
    ::close(input);
    EXPECT_FALSE(fs::exists(path("out.mid")));
}

TEST_F(Program, AnInterruptedWriteLeavesNoTemporaryFile)
{
    write("out.mid", "old");
    for (const int signal : { SIGINT, SIGTERM }) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            // The handlers of trackfold-cli, and a write that stops once its
            // temporary file holds the data.
            cli::installInterruptHandlers();
            WriteFaults stop;
            stop.beforeRename = [&](const std::string &) {
                (void)!::write(ready[1], "x", 1);
                for (;;)
                    ::pause();
            };
            std::string error;
            writeFileAtomically(path("out.mid"), std::string(1 << 20, 'x'), error, stop);
            ::_exit(0);
        }
        ASSERT_GT(pid, 0);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        EXPECT_EQ(leftovers().size(), 1u);
        ::kill(pid, signal);
        EXPECT_EQ(exitStatus(pid), 128 + signal);
        EXPECT_EQ(leftovers(), std::vector<std::string>());
        EXPECT_EQ(read("out.mid"), "old");
        ::close(ready[0]);
        ::close(ready[1]);
    }
}

TEST_F(Program, UnreadableInputAndUnwritableOutput)
{
    std::string program = "env LC_ALL=C " + cli();
    if (::geteuid() == 0) {
        // Permissions do not bind root, so root runs the program as "nobody",
        // from a copy in the test's folder: root's build folder may be closed
        // to other users.
        fs::permissions(m_dir,
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                | fs::perms::others_read | fs::perms::others_exec);
        fs::copy_file(TRACKFOLD_CLI, path("trackfold-cli"));
        program = "env LC_ALL=C setpriv --reuid=65534 --regid=65534 --clear-groups "
            + quoted(path("trackfold-cli"));
    }
    write("song.mid", Song);
    write("secret.mid", Song);
    fs::permissions(
        path("song.mid"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(path("secret.mid"), fs::perms::none);
    Ran ran = shell(program + " secret.mid");
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("secret.mid: Impossibile aprire il midifile: Permission denied"),
        std::string::npos)
        << ran.err;

    fs::create_directories(path("locked"));
    write("locked/old.mid", "old");
    fs::permissions(path("locked"),
        fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read
            | fs::perms::others_exec);
    ran = shell(program + " -o locked/old.mid song.mid");
    EXPECT_EQ(ran.status, 1);
    EXPECT_NE(ran.err.find("Impossibile salvare il file: Permission denied"), std::string::npos)
        << ran.err;
    EXPECT_EQ(read("locked/old.mid"), "old");
}

TEST_F(Program, SystemReasonsFollowTheLocale)
{
    // it_IT.UTF-8 comes from the build folder (the "locales" fixture), the
    // Italian system messages from the C library's translations (libc-l10n).
    const std::string env
        = "env -u LC_ALL -u LANGUAGE -u LC_MESSAGES -u TRACKFOLD_LANGUAGE LOCPATH="
        + quoted(TRACKFOLD_TEST_LOCPATH) + " ";
    Ran ran = shell(env + "LANG=it_IT.UTF-8 " + cli() + " missing.mid");
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err,
        "trackfold-cli: missing.mid: Impossibile aprire il midifile: File o directory non "
        "esistente\n");
    ran = shell(env + "LANG=C " + cli() + " missing.mid");
    EXPECT_EQ(ran.err,
        "trackfold-cli: missing.mid: Impossibile aprire il midifile: No such file or directory\n");
}

// The texts follow TRACKFOLD_LANGUAGE, else the messages locale as gettext reads
// it (LANGUAGE, LC_ALL, LC_MESSAGES, LANG); the locales come from the build folder.
class Language : public Program
{
protected:
    Ran under(const std::string &lang, const std::string &args, const std::string &language = {},
        const std::string &trackfoldLanguage = {})
    {
        std::string env = "env -u LC_ALL -u LC_MESSAGES -u LANGUAGE -u TRACKFOLD_LANGUAGE LOCPATH="
            + quoted(TRACKFOLD_TEST_LOCPATH) + " LANG=" + lang + " ";
        if (!language.empty())
            env += "LANGUAGE=" + language + " ";
        if (!trackfoldLanguage.empty())
            env += "TRACKFOLD_LANGUAGE=" + quoted(trackfoldLanguage) + " ";
        return shell(env + cli() + " " + args);
    }
    // A folder of one good file, one broken file and an earlier output.
    void makeBatch()
    {
        fs::create_directories(path("set"));
        fs::copy_file(TRACKFOLD_EXAMPLE, path("set/good.mid"));
        fs::copy_file(
            std::string(TRACKFOLD_TEST_DATA) + "/invalid/truncated_after_status/status_only.mid",
            path("set/bad.mid"));
        write("set/old_.mid", "");
    }
    static bool has(const std::string &text, const std::string &part)
    {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(Language, EnglishUnderAnEnglishLocale)
{
    makeBatch();
    Ran ran = under("en_US.UTF-8", "-v -j1 -d out set");
    EXPECT_EQ(ran.status, 1);
    EXPECT_TRUE(has(ran.err,
        "trackfold-cli: set/bad.mid: Pos.6 Incomplete event - unexpected end of file\n"
        "trackfold-cli: set/bad.mid: Cannot read the file\n"
        "set/good.mid: Rows: "))
        << ran.err;
    EXPECT_TRUE(has(ran.err, "      Processing time: 00:0")) << ran.err;
    EXPECT_TRUE(has(ran.err, "set/old_.mid: skipped, the name ends in \"_.mid\"\n")) << ran.err;
    EXPECT_TRUE(has(ran.err, "Converted: 1, failed: 1, skipped: 1, time: 00:0")) << ran.err;

    ran = under("en_US.UTF-8", "--verify -o - set/good.mid > /dev/null");
    EXPECT_TRUE(has(ran.err, "Verify: OK\n")) << ran.err;
    ran = under("en_US.UTF-8", "--help");
    EXPECT_EQ(
        ran.out.rfind("Usage: trackfold-cli [options] INPUT...\n\nConverts multi-track", 0), 0u)
        << ran.out;
    ran = under("en_US.UTF-8", "-o");
    EXPECT_EQ(ran.err,
        "trackfold-cli: -o/--output needs an argument\nUsage: trackfold-cli [options] INPUT...\n"
        "For help: trackfold-cli --help\n");
    // LANGUAGE comes first, unless the locale is C.
    ran = under("it_IT.UTF-8", "-d out set", "en");
    EXPECT_TRUE(has(ran.err, "Converted: 1, failed: 1, skipped: 1")) << ran.err;
}

TEST_F(Language, ItalianUnderItalianAndC)
{
    makeBatch();
    for (const auto &[lang, language] : std::vector<std::pair<std::string, std::string>> {
             { "it_IT.UTF-8", "" }, { "C", "" }, { "POSIX", "" }, { "C", "en" } }) {
        const Ran ran = under(lang, "-j1 -d out set", language);
        EXPECT_TRUE(has(ran.err,
            "trackfold-cli: set/bad.mid: Pos.6 Evento incompleto - fine del file inattesa\n"
            "trackfold-cli: set/bad.mid: Impossibile leggere il file\n"
            "set/good.mid: Righe: "))
            << lang << ' ' << language << '\n'
            << ran.err;
        EXPECT_TRUE(has(ran.err, "Convertiti: 1, non riusciti: 1, saltati: 1, tempo: 00:0"))
            << ran.err;
    }
    EXPECT_EQ(under("C", "--help", "en").out.rfind("Uso: trackfold-cli [opzioni] INPUT...", 0), 0u);
}

TEST_F(Language, TrackfoldLanguageComesBeforeTheLocale)
{
    // English under C.UTF-8, which glibc 2.41 takes for C and so ignores LANGUAGE
    // under; Italian over an English locale; a language with no catalogue and a
    // name that is no language get the Italian source texts.
    for (const auto &[lang, chosen, usage] :
        std::vector<std::tuple<std::string, std::string, std::string>> {
            { "C.UTF-8", "en", "Usage: trackfold-cli [options] INPUT..." },
            { "C", "en", "Usage: trackfold-cli [options] INPUT..." },
            { "en_US.UTF-8", "it", "Uso: trackfold-cli [opzioni] INPUT..." },
            { "en_US.UTF-8", "de", "Uso: trackfold-cli [opzioni] INPUT..." },
            { "en_US.UTF-8", "../en", "Uso: trackfold-cli [opzioni] INPUT..." } }) {
        const Ran ran = under(lang, "--help", "en", chosen);
        EXPECT_EQ(ran.out.rfind(usage + "\n", 0), 0u) << lang << ' ' << chosen << '\n' << ran.out;
    }
}

TEST_F(Language, DataIsTheSameInEveryLanguage)
{
    const std::string valid = std::string(TRACKFOLD_TEST_DATA) + "/valid/";
    for (const std::string &input : { std::string(TRACKFOLD_EXAMPLE), valid + "two_tracks.mid",
             valid + "running_status_expansion.mid", valid + "meta_and_sysex_only.mid" }) {
        const Ran english = under("en_US.UTF-8", "--table -o en.mid " + quoted(input));
        const Ran italian = under("it_IT.UTF-8", "--table -o it.mid " + quoted(input));
        ASSERT_EQ(english.status, 0) << english.err;
        EXPECT_NE(english.err, italian.err); // the report is translated
        EXPECT_EQ(english.out.rfind("DT assoluto\tDT relativo\tDati Midi\n", 0), 0u) << input;
        EXPECT_EQ(english.out, italian.out) << input;
        EXPECT_EQ(read("en.mid"), read("it.mid")) << input;
        EXPECT_NE(read("en.mid").find("Titolo del Brano Midi"), std::string::npos);
    }
}
