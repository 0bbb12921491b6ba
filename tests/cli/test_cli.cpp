// SPDX-License-Identifier: MIT
#include "cliapp.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace trackfold;
using smf::Track;
namespace fs = std::filesystem;

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

    fs::path m_dir;
    std::ostringstream out;
    std::ostringstream err;
};

const std::string Song = smf::file(1,
    { Track().event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 }).endOfTrack(),
        Track().event(0, { 0x90, 0x3C, 0x40 }).event(480, { 0x3C, 0x00 }).endOfTrack() });
const std::string Broken
    = smf::file(1, { Track().event(0, { 0x90, 0x3C, 0x40 }).event(0, { 0xF7 }) });

} // namespace

TEST_F(Cli, ConvertsToTheProposedNameAndReports)
{
    write("song.mid", Song);
    EXPECT_EQ(run({ path("song.mid") }), 0);
    const std::string converted = read("song_.mid");
    ASSERT_GT(converted.size(), 22u);
    EXPECT_EQ(converted.substr(8, 4), smf::bytes({ 0, 0, 0, 1 }));
    // The time is real; a loaded machine may take a second.
    const std::string report = out.str();
    ASSERT_EQ(report.size(), 63 + std::to_string(converted.size()).size());
    EXPECT_EQ(report.substr(0, 30), "Righe: 4      Tempo di elab.: ");
    EXPECT_EQ(report.substr(30, 4), "00:0");
    EXPECT_EQ(
        report.substr(35), "      song_.mid      " + std::to_string(converted.size()) + " bytes\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(Cli, VerifyReadsTheWrittenFileBack)
{
    write("song.mid", Song);
    EXPECT_EQ(run({ "--verify", path("song.mid") }), 0);
    EXPECT_NE(out.str().find(" bytes\nVerifica: OK\n"), std::string::npos) << out.str();
    EXPECT_EQ(run({ "--verify", "-q", path("song.mid") }), 0);
    EXPECT_EQ(out.str(), "");
}

TEST_F(Cli, TablePrintsTheFinalGrid)
{
    write("song.mid", Song);
    EXPECT_EQ(run({ "--table", "-o", path("out.mid"), path("song.mid") }), 0);
    std::istringstream lines(out.str());
    std::vector<std::string> rows;
    for (std::string line; std::getline(lines, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], "DT assoluto\tDT relativo\tDati Midi");
    EXPECT_EQ(rows[1].substr(0, 14), "00\t00\t4D546864");
    EXPECT_EQ(rows[2], "00000000\t00\t903C40");
    EXPECT_EQ(rows[3], "00000000\t00\tFF510307A120");
    EXPECT_EQ(rows[4], "00000480\t8360\t903C00");
    EXPECT_EQ(rows[5].substr(0, 7), "Righe: ");
}

TEST_F(Cli, FailedFileIsReportedAndTheRunGoesOn)
{
    write("a.mid", Broken);
    write("b.mid", Song);
    EXPECT_EQ(run({ "--quiet", path("a.mid"), path("b.mid"), path("missing.mid") }), 1);
    EXPECT_FALSE(fs::exists(path("a_.mid")));
    EXPECT_TRUE(fs::exists(path("b_.mid")));
    EXPECT_EQ(out.str(), "");
    const std::string e = err.str();
    EXPECT_NE(e.find("a.mid: Pos.6 Status 247 - Valore sconosciuto\n"), std::string::npos) << e;
    EXPECT_NE(e.find("a.mid: Impossibile leggere il file\n"), std::string::npos) << e;
    EXPECT_NE(e.find("missing.mid: Il midifile non esiste\n"), std::string::npos) << e;
}

TEST_F(Cli, FoldersConvertTheirMidiFilesAndSkipEarlierOutputs)
{
    write("set/one.mid", Song);
    write("set/two.MIDI", Song);
    write("set/old_.mid", Song);
    write("set/notes.txt", "not midi");
    write("set/sub/three.mid", Song);
    EXPECT_EQ(run({ "-q", path("set") }), 0);
    EXPECT_TRUE(fs::exists(path("set/one_.mid")));
    EXPECT_TRUE(fs::exists(path("set/two._.mid")));
    EXPECT_FALSE(fs::exists(path("set/old__.mid")));
    EXPECT_FALSE(fs::exists(path("set/sub/three_.mid")));
    EXPECT_EQ(run({ "-q", "-r", path("set") }), 0);
    EXPECT_TRUE(fs::exists(path("set/sub/three_.mid")));
    EXPECT_FALSE(fs::exists(path("set/one__.mid")));
}

TEST_F(Cli, OutputMayBeTheInputAndReplacesLongerFiles)
{
    write("song.mid", Song);
    write("big.mid", std::string(100000, 'x'));
    EXPECT_EQ(run({ "-o", path("big.mid"), path("song.mid") }), 0);
    EXPECT_EQ(run({ "-o", path("song.mid"), path("song.mid") }), 0);
    EXPECT_EQ(read("big.mid"), read("song.mid"));
}

TEST_F(Cli, UnreadableInputAndUnwritableOutput)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root";
    write("song.mid", Song);
    write("secret.mid", Song);
    fs::permissions(path("secret.mid"), fs::perms::none);
    EXPECT_EQ(run({ path("secret.mid") }), 1);
    EXPECT_NE(
        err.str().find("Impossibile aprire il midifile: Permission denied"), std::string::npos)
        << err.str();

    fs::create_directories(path("locked"));
    write("locked/old.mid", "old");
    fs::permissions(path("locked"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_EQ(run({ "-o", path("locked/old.mid"), path("song.mid") }), 1);
    EXPECT_NE(err.str().find("Impossibile salvare il file: Permission denied"), std::string::npos)
        << err.str();
    EXPECT_EQ(read("locked/old.mid"), "old");
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

TEST_F(Cli, UsageErrorsHelpAndVersion)
{
    EXPECT_EQ(run({}), 2);
    EXPECT_NE(err.str().find("Uso: trackfold-cli"), std::string::npos);
    EXPECT_EQ(run({ "--bogus", "x.mid" }), 2);
    EXPECT_EQ(run({ "-o", "out.mid", "a.mid", "b.mid" }), 2);
    EXPECT_EQ(run({ "a.mid", "-o" }), 2);
    write("d/x.mid", Song);
    EXPECT_EQ(run({ "-o", path("out.mid"), path("d") }), 2);
    EXPECT_EQ(run({ "--help" }), 0);
    EXPECT_NE(out.str().find("--table"), std::string::npos);
    EXPECT_EQ(run({ "--version" }), 0);
    EXPECT_EQ(out.str(), "trackfold-cli 1.00\n");
}

TEST_F(Cli, EmptyFolderIsAFailure)
{
    fs::create_directories(path("empty"));
    EXPECT_EQ(run({ path("empty") }), 1);
    EXPECT_NE(err.str().find("nessun midifile"), std::string::npos);
}
