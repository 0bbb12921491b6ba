// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "merge.h"
#include "pianoroll.h"
#include "randomfile.h"
#include "recordinghost.h"
#include "segmentedwrite.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

using namespace trackfold;
using smf::Track;
using test::RecordingHost;
using namespace std::string_literals;
using namespace trackfold::test;

// --- Merging in segments on several threads --------------------------------

namespace {

// The bytes of a conversion without a grid, as the command line makes them;
// "" with the warning when it fails.
std::string convertWithoutGrid(
    const std::string &file, const ConversionJob &options, std::string &warning)
{
    RecordingHost host;
    std::string out;
    const bool ok
        = convert(Source::bytes(file), Target::memory(out), options, host, host).converted();
    warning = host.messages.empty() ? std::string() : host.messages.front().text;
    return ok ? out : std::string();
}

// The file merged in segments that start at the given ticks, each written
// apart and joined in order; "" with the row where a delta time did not fit.
std::string joinedSegments(const std::string &file, const std::vector<std::uint64_t> &starts,
    TieOrder order, std::uint64_t &brokenRow)
{
    TrackScan scan;
    EXPECT_TRUE(scanTracks(file, scan));
    std::string out;
    StringSink sink(out);
    Format0Writer writer(sink, file, makeOutputHeader(file, scan.firstTrackLength));
    brokenRow = 0;
    SegmentScratch scratch;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        EncodedRun run;
        const std::uint64_t end = i + 1 < starts.size() ? starts[i + 1] : UINT64_MAX;
        encodeSegment(file, scan, order, starts[i], end, run, scratch);
        if (!writer.join(run) || run.broken) {
            brokenRow = writer.nextRow();
            return {};
        }
    }
    if (!writer.finish(scan.endTime)) {
        brokenRow = writer.nextRow();
        return {};
    }
    return out;
}

// A track of notes on one channel, two at a tick, with a gap of more than a
// four-byte quantity after the note given.
Track notesWithGap(int notes, int gapAfter)
{
    Track track;
    for (int i = 0; i < notes; ++i) {
        track.event(static_cast<std::uint32_t>(i % 2), { 0x90, 60 + i % 12, i % 2 ? 0 : 100 });
        if (i == gapAfter)
            track.meta(0x0FFFFFFF, 0x03, "gap").event(5, { 0xC0, 1 });
    }
    return track.endOfTrack();
}

} // namespace

TEST(Segments, SegmentsMergedApartJoinIntoTheBytesOfOneMerge)
{
    // Cut at random ticks, on events and between them: at every seam the
    // delta time and running status must come out as in one merge.
    std::mt19937 rng(20261209);
    for (int round = 0; round < 200; ++round) {
        Expected expected;
        const Shape shape = round % 2 ? Shape { 2, 12, 300, true } : Shape {};
        const std::string file = randomFile(rng, expected, shape);
        std::vector<std::uint64_t> starts { 0 };
        for (int cut = 0; cut < 6 && !expected.byTrack.empty(); ++cut) {
            const auto &event = expected.byTrack[rng() % expected.byTrack.size()];
            starts.push_back(event.second.first + rng() % 2);
        }
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (const bool byteOrder : { false, true }) {
            std::string warning;
            const std::string whole = convertWithoutGrid(file, { .byteOrder = byteOrder }, warning);
            ASSERT_FALSE(whole.empty()) << warning;
            std::uint64_t brokenRow = 0;
            const TieOrder order = byteOrder ? TieOrder::Bytes : TieOrder::Track;
            // Compared as a truth value: the files are too long to print.
            EXPECT_TRUE(joinedSegments(file, starts, order, brokenRow) == whole)
                << "round " << round << (byteOrder ? " byte order" : "");
        }
    }

    // A delta time too large stops the track at the same row wherever the
    // seam falls: before the gap, on it or after it.
    const std::string gap = smf::file(1, { notesWithGap(40, 20), notesWithGap(10, 100) });
    std::string warning;
    ASSERT_TRUE(convertWithoutGrid(gap, {}, warning).empty());
    // 21 notes of the first track and the second's 10 come before the gap.
    ASSERT_EQ(warning, deltaTooLargeWarning(2 + 21 + 10));
    for (const std::uint64_t seam : { 5ull, 10ull, 11ull, 0x1000000Eull, 0x1000000Full }) {
        std::uint64_t brokenRow = 0;
        EXPECT_TRUE(joinedSegments(gap, { 0, seam }, TieOrder::Track, brokenRow).empty());
        EXPECT_EQ(deltaTooLargeWarning(brokenRow), warning) << "seam at " << seam;
    }
}

TEST(Segments, LongFilesMergedOnTwoThreadsGiveTheSameBytes)
{
    std::mt19937 rng(20261210);
    Expected expected;
    const std::string file = randomFile(rng, expected, { 6, 6, 30000, true, 25000, true });
    ASSERT_GE(expected.byTrack.size(), SegmentedMinEvents);
    for (const bool byteOrder : { false, true }) {
        std::string warning;
        const std::string whole = convertWithoutGrid(file, { .byteOrder = byteOrder }, warning);
        EXPECT_TRUE(
            convertWithoutGrid(file, { .byteOrder = byteOrder, .threads = 2 }, warning) == whole);
    }
    // The window's grid, filled segment by segment as they are joined, holds
    // every event in output order: written again, its rows give the same bytes.
    for (const unsigned threads : { 1u, 2u }) {
        RecordingHost host;
        EventGrid grid;
        grid.setKeepRows(true);
        ConversionResult result;
        const std::string out
            = SalvaMidi0(file, grid, host, host, result, { .threads = threads, .keepTitle = true });
        std::string warning;
        ASSERT_EQ(out, convertWithoutGrid(file, { .keepTitle = true }, warning));
        std::string again;
        StringSink sink(again);
        TrackScan scan;
        ASSERT_TRUE(scanTracks(grid.image(), scan));
        Format0Writer writer(sink, grid.image(), grid.header(),
            trackNameAt(grid.image(), scan.tracks[0].begin, scan.tracks[0].end));
        for (const EventRef &event : grid.events())
            ASSERT_TRUE(writer.add(event));
        ASSERT_TRUE(writer.finish(grid.endTime()));
        EXPECT_TRUE(again == out) << threads;
        EXPECT_EQ(result.RIGHE, static_cast<std::int64_t>(grid.rows()) - 1);
    }

    // Many events on one tick cannot be cut into segments: such a file is
    // merged in one stream, with no segment held whole in memory.
    Track crowded;
    for (int i = 0; i < 300000; ++i)
        crowded.event(i < 150000 ? 0 : 1, { 0x90, 60, 100 });
    const std::string crowd = smf::file(1, { crowded.endOfTrack() });
    TrackScan scan;
    ASSERT_TRUE(scanTracks(crowd, scan));
    EXPECT_TRUE(segmentStarts(scan, std::size_t { 1 } << 15).empty());
    std::string warning;
    EXPECT_TRUE(convertWithoutGrid(crowd, { .threads = 2 }, warning)
        == convertWithoutGrid(crowd, {}, warning));

    // Failing the same way.
    const std::string gap = smf::file(1, { notesWithGap(150000, 90000) });
    std::string one;
    std::string two;
    EXPECT_TRUE(convertWithoutGrid(gap, {}, one).empty());
    EXPECT_TRUE(convertWithoutGrid(gap, { .threads = 2 }, two).empty());
    EXPECT_EQ(two, one);
    EXPECT_EQ(one, deltaTooLargeWarning(2 + 90001));
}

TEST(Segments, TracksReadInTwoHalvesAsInOneReading)
{
    // Running status may carry over into the second half; damaged bytes
    // anywhere must fail at the same place with the same warning.
    auto same = [](const TrackScan &a, const TrackScan &b) {
        auto span = [](const TrackSpan &t) {
            return std::tuple(t.begin, t.end, t.entryStatus, t.events, t.endTime, t.firstCheckpoint,
                t.checkpoints);
        };
        auto point = [](const Checkpoint &c) { return std::tuple(c.time, c.pos, c.status); };
        if (a.tracks.size() != b.tracks.size() || a.checkpoints.size() != b.checkpoints.size())
            return false;
        for (std::size_t i = 0; i < a.tracks.size(); ++i) {
            if (span(a.tracks[i]) != span(b.tracks[i]))
                return false;
        }
        for (std::size_t i = 0; i < a.checkpoints.size(); ++i) {
            if (point(a.checkpoints[i]) != point(b.checkpoints[i]))
                return false;
        }
        return std::tuple(a.events, a.firstTrackLength, a.endTime, a.warning)
            == std::tuple(b.events, b.firstTrackLength, b.endTime, b.warning);
    };
    // A second half whose first events carry no channel status: its first
    // checkpoint keeps the first half's.
    Track clocks;
    for (std::size_t i = 0; i < CheckpointEvents; ++i)
        clocks.event(1, { 0xF8 });
    const std::string carried = smf::file(1,
        { Track().event(0, { 0x91, 60, 100 }).endOfTrack(),
            clocks.event(0, { 0x91, 64, 0 }).endOfTrack() });
    TrackScan whole;
    TrackScan halves;
    ASSERT_TRUE(scanTracks(carried, whole));
    ASSERT_TRUE(scanTracksInTwo(carried, halves));
    EXPECT_TRUE(same(whole, halves));

    std::mt19937 rng(20261211);
    for (int round = 0; round < 150; ++round) {
        Expected expected;
        std::string file = randomFile(rng, expected, { 2, 8, 700, round % 2 == 0, 100 });
        for (int damage = round % 3; damage > 0; --damage)
            file[22 + rng() % (file.size() - 22)] = static_cast<char>(rng());
        TrackScan one;
        TrackScan two;
        const bool read = scanTracks(file, one);
        EXPECT_EQ(scanTracksInTwo(file, two), read) << "round " << round;
        EXPECT_TRUE(same(one, two)) << "round " << round << ": " << one.warning;
    }
}
