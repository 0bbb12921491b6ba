// SPDX-License-Identifier: MIT
// Sweeps the data fixtures (tests/data, made by tests/data/make_invalid.cpp):
// every file in valid/ converts with its number of rows; every file in
// invalid/<defect>/ fails with exactly the warning in that folder's
// expected.txt, and the command line writes nothing for it.
#include "cliapp.h"
#include "conversion.h"
#include "eventgrid.h"
#include "pianoroll.h"
#include "randomfile.h"
#include "recordinghost.h"
#include "verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#ifndef TRACKFOLD_TEST_DATA
#error "TRACKFOLD_TEST_DATA must name the tests/data folder"
#endif

namespace fs = std::filesystem;
using trackfold::Checkpoint;
using trackfold::EventGrid;
using trackfold::FoldInput;
using trackfold::FoldReadBack;
using trackfold::MessageIcon;
using trackfold::OutputRows;
using trackfold::PianoRoll;
using trackfold::RollNote;
using trackfold::TrackScan;
using trackfold::test::RecordingHost;

namespace {

const fs::path DataDir = TRACKFOLD_TEST_DATA;

std::string readBytes(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << "cannot read " << path;
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// expected.txt holds one line; the warning's CRLF is written as the four
// characters \r\n.
std::string expectedWarning(const fs::path &defect)
{
    std::string line = readBytes(defect / "expected.txt");
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    std::string text;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 4, "\\r\\n") == 0) {
            text += "\r\n";
            i += 3;
        } else {
            text += line[i];
        }
    }
    return text;
}

struct Defect
{
    std::string name;
    std::string expected;
    std::vector<fs::path> files;
};

std::vector<Defect> defects()
{
    std::vector<Defect> out;
    for (const auto &entry : fs::directory_iterator(DataDir / "invalid")) {
        if (!entry.is_directory())
            continue;
        Defect d { entry.path().filename().string(), expectedWarning(entry.path()), {} };
        for (const auto &file : fs::directory_iterator(entry.path()))
            if (file.is_regular_file() && file.path().filename() != "expected.txt")
                d.files.push_back(file.path());
        std::sort(d.files.begin(), d.files.end());
        out.push_back(d);
    }
    std::sort(
        out.begin(), out.end(), [](const Defect &a, const Defect &b) { return a.name < b.name; });
    return out;
}

// valid/expected.txt: "file-name rows" per line.
std::map<std::string, std::int64_t> validFiles()
{
    std::map<std::string, std::int64_t> out;
    std::istringstream lines(readBytes(DataDir / "valid" / "expected.txt"));
    std::string name;
    std::int64_t rows = 0;
    while (lines >> name >> rows)
        out[name] = rows;
    return out;
}

// The command line prints a warning on one line, its CRLF as a space.
std::string oneLine(const std::string &text)
{
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\r\n") == 0) {
            line += ' ';
            ++i;
        } else {
            line += text[i];
        }
    }
    return line;
}

class TempDir
{
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "trackfold-corpus-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

std::vector<std::string> entries(const fs::path &dir)
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(DataCorpus, EveryDefectFolderHasFilesAndAWarning)
{
    const auto all = defects();
    // The generator makes 31 defect folders; far fewer means a lost data folder.
    ASSERT_GE(all.size(), 30u) << "data folder: " << DataDir;
    for (const Defect &d : all) {
        EXPECT_FALSE(d.files.empty()) << d.name;
        EXPECT_FALSE(d.expected.empty()) << d.name;
    }
}

TEST(DataCorpus, InvalidFilesFailWithTheirWarning)
{
    for (const Defect &d : defects()) {
        for (const fs::path &file : d.files) {
            SCOPED_TRACE(file.string());
            RecordingHost host;
            const std::string out = trackfold::test::SalvaMidi0(readBytes(file), host);
            EXPECT_TRUE(out.empty());
            ASSERT_EQ(host.messages.size(), 1u);
            EXPECT_EQ(host.messages[0].icon, MessageIcon::Warning);
            EXPECT_EQ(host.messages[0].text, d.expected);
            EXPECT_FALSE(host.busyChanges.empty() || host.busyChanges.back())
                << "busy pointer left on";
        }
    }
}

TEST(DataCorpus, ValidFilesConvert)
{
    const auto expected = validFiles();
    ASSERT_GE(expected.size(), 5u);
    std::size_t seen = 0;
    for (const auto &entry : fs::directory_iterator(DataDir / "valid")) {
        const std::string name = entry.path().filename().string();
        if (name == "expected.txt")
            continue;
        SCOPED_TRACE(name);
        ++seen;
        const auto rows = expected.find(name);
        ASSERT_NE(rows, expected.end()) << "not listed in valid/expected.txt";
        RecordingHost host;
        const std::string out = trackfold::test::SalvaMidi0(readBytes(entry.path()), host);
        EXPECT_FALSE(out.empty());
        EXPECT_TRUE(host.messages.empty()) << host.messages.front().text;
        EXPECT_EQ(host.RIGHE, rows->second);
    }
    EXPECT_EQ(seen, expected.size()) << "a file listed in valid/expected.txt is missing";
}

// What the window shows of a fold whose rows are read back from the output
// (cells, tracks, the roll) is what the rows kept from the merge give.
void expectSameViewFromOutput(const std::string &file, unsigned threads)
{
    RecordingHost kept;
    RecordingHost read;
    kept.grid().setKeepRows(true);
    const std::string out = trackfold::test::SalvaMidi0(file, kept, { .threads = threads });
    ASSERT_EQ(trackfold::test::SalvaMidi0(file, read, { .threads = threads }), out);
    const EventGrid &rows = kept.grid();
    const EventGrid &grid = read.grid();
    ASSERT_EQ(grid.readsOutput(), rows.eventCount() > 0);
    if (grid.readsOutput()) {
        // The check reads the rows back in the same pass, and finds them right.
        TrackScan scan;
        ASSERT_TRUE(trackfold::scanTracks(file, scan));
        const FoldInput input { file, scan, grid.rowTrackBytes(), grid.trackWidth() };
        std::vector<Checkpoint> marks;
        const FoldReadBack back = trackfold::readFoldBack(
            out, grid.stretches(), grid.eventCount(), OutputRows::Stride, marks, threads, &input);
        EXPECT_TRUE(back.marked && back.matches);
    }
    ASSERT_EQ(grid.rows(), rows.rows());
    for (std::size_t row = 0; row < rows.rows(); ++row) {
        for (int col = 0; col < EventGrid::Cols; ++col)
            ASSERT_EQ(grid.textMatrix(row, col), rows.textMatrix(row, col)) << row << " " << col;
        ASSERT_EQ(grid.trackOf(row), rows.trackOf(row)) << row;
    }
    PianoRoll fromRows;
    PianoRoll fromOutput;
    fromRows.build(rows);
    fromOutput.build(grid);
    ASSERT_EQ(fromOutput.notes().size(), fromRows.notes().size());
    for (std::size_t i = 0; i < fromRows.notes().size(); ++i) {
        const RollNote &a = fromRows.notes()[i];
        const RollNote &b = fromOutput.notes()[i];
        ASSERT_EQ(std::make_tuple(fromOutput.start(b), fromOutput.end(b), fromOutput.pitch(b),
                      fromOutput.channel(b), fromOutput.track(b), fromOutput.offEvent(b)),
            std::make_tuple(fromRows.start(a), fromRows.end(a), fromRows.pitch(a),
                fromRows.channel(a), fromRows.track(a), fromRows.offEvent(a)))
            << i;
        ASSERT_EQ(fromOutput.noteOfEvent(fromOutput.offEvent(b)),
            fromRows.noteOfEvent(fromRows.offEvent(a)));
    }
    ASSERT_EQ(fromOutput.tracks().size(), fromRows.tracks().size());
    for (std::size_t t = 0; t < fromRows.tracks().size(); ++t) {
        EXPECT_EQ(fromOutput.tracks()[t].name, fromRows.tracks()[t].name);
        EXPECT_EQ(fromOutput.tracks()[t].notes, fromRows.tracks()[t].notes);
    }
    ASSERT_EQ(fromOutput.bins(), fromRows.bins());
    for (std::size_t bin = 0; bin < fromRows.bins(); ++bin) {
        for (int pitch = 0; pitch < PianoRoll::Pitches; ++pitch)
            ASSERT_EQ(fromOutput.cell(pitch, bin), fromRows.cell(pitch, bin));
    }
}

TEST(DataCorpus, FoldViewsReadFromTheOutputMatchTheMergedRows)
{
    for (const auto &entry : fs::directory_iterator(DataDir / "valid")) {
        if (entry.path().extension() != ".mid")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        expectSameViewFromOutput(readBytes(entry.path()), 1);
    }
    // Long enough for segments on two threads; 300 tracks take two bytes a
    // row for their numbers.
    std::mt19937 rng(7);
    trackfold::test::Expected expected;
    for (const int tracks : { 12, 300 }) {
        SCOPED_TRACE(tracks);
        const std::string file = trackfold::test::randomFile(rng, expected,
            { .minTracks = tracks,
                .maxTracks = tracks,
                .maxEvents = 400'000 / tracks,
                .humanised = true,
                .minEvents = 300'000 / tracks });
        expectSameViewFromOutput(file, 2);
    }
}

TEST(DataCorpus, CommandLineWritesNothingForInvalidFiles)
{
    for (const Defect &d : defects()) {
        for (const fs::path &file : d.files) {
            SCOPED_TRACE(file.string());
            TempDir dir;
            const fs::path input = dir.path() / file.filename();
            fs::copy_file(file, input);

            // Beside the input, under the name the converter proposes.
            std::ostringstream out, err;
            EXPECT_EQ(trackfold::cli::run({ "-q", input.string() }, out, err),
                trackfold::cli::SomeFailed);
            EXPECT_NE(err.str().find(oneLine(d.expected)), std::string::npos) << err.str();
            EXPECT_EQ(entries(dir.path()), std::vector<std::string> { input.filename().string() });

            // An existing output keeps its bytes.
            const fs::path output = dir.path() / "out.mid";
            {
                std::ofstream(output, std::ios::binary) << "previous output";
            }
            std::ostringstream out2, err2;
            EXPECT_EQ(
                trackfold::cli::run({ "-q", "-o", output.string(), input.string() }, out2, err2),
                trackfold::cli::SomeFailed);
            EXPECT_EQ(readBytes(output), "previous output");
            std::vector<std::string> both { input.filename().string(), "out.mid" };
            std::sort(both.begin(), both.end());
            EXPECT_EQ(entries(dir.path()), both);
        }
    }
}

TEST(DataCorpus, CommandLineWritesTheConversionOfValidFiles)
{
    for (const auto &[name, rows] : validFiles()) {
        SCOPED_TRACE(name);
        TempDir dir;
        const fs::path output = dir.path() / "out.mid";
        std::ostringstream out, err;
        ASSERT_EQ(
            trackfold::cli::run(
                { "-q", "-o", output.string(), (DataDir / "valid" / name).string() }, out, err),
            trackfold::cli::AllConverted)
            << err.str();
        RecordingHost host;
        EXPECT_EQ(readBytes(output),
            trackfold::test::SalvaMidi0(readBytes(DataDir / "valid" / name), host));
        EXPECT_EQ(entries(dir.path()), std::vector<std::string> { "out.mid" });
    }
}
