// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "merge.h"
#include "recordinghost.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace trackfold;
using smf::Track;
using test::RecordingHost;

namespace {

const std::string TitleEvent = smf::bytes({ 0x00, 0xFF, 0x03, 0x15 }) + "Titolo del Brano Midi";
const std::string EndOfTrack = smf::bytes({ 0x00, 0xFF, 0x2F, 0x00 });

// The expected output: Format 0 header, one MTrk with the title, events, End of Track.
std::string format0(std::uint16_t division, const std::string &events)
{
    const std::string body = TitleEvent + events + EndOfTrack;
    return smf::header(0, 1, division) + smf::chunk("MTrk", body);
}

std::string convert(const std::string &file, RecordingHost &host)
{
    return SalvaMidi0(file, host);
}

} // namespace

TEST(Merge, TwoTracksInterleaveByTimeTiesInTrackOrder)
{
    const std::string file = smf::file(1,
        { Track().event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 }).endOfTrack(),
            Track()
                .event(0, { 0x90, 0x3C, 0x40 })
                .event(0x1E0, { 0x80, 0x3C, 0x40 })
                .endOfTrack() });
    // The tempo of track 1 comes before the note of track 2 at the same tick.
    const std::string expected = format0(480,
        smf::bytes({ 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0x90, 0x3C, 0x40, 0x83, 0x60,
            0x80, 0x3C, 0x40 }));
    RecordingHost host;
    EXPECT_EQ(convert(file, host), expected);
    EXPECT_EQ(host.RIGHE, 4);
    const EventGrid &grid = host.grid();
    EXPECT_EQ(grid.textMatrix(0, 0), "DT assoluto");
    EXPECT_EQ(grid.textMatrix(0, 1), "DT relativo");
    EXPECT_EQ(grid.textMatrix(0, 2), "Dati Midi");
    EXPECT_EQ(grid.textMatrix(1, 0), "00");
    EXPECT_EQ(grid.textMatrix(1, 1), "00");
    // Header row: format 0, one track, the first track's own length still in place.
    EXPECT_EQ(grid.textMatrix(1, 2), "4D546864000000060000000101E04D54726B0000000B");
    const std::vector<std::array<std::string, 3>> rows = {
        { "00000000", "00", "FF510307A120" },
        { "00000000", "00", "903C40" },
        { "00000480", "8360", "803C40" },
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(grid.textMatrix(i + 2, c), rows[i][static_cast<std::size_t>(c)])
                << i << ',' << c;
    }
}

TEST(Merge, RunningStatusOnlyBetweenEqualChannelStatuses)
{
    const std::string file = smf::file(1,
        { Track()
                .event(0, { 0x90, 0x3C, 0x40 })
                .event(10, { 0x90, 0x3E, 0x40 })
                .event(10, { 0xFF, 0x01, 0x01, 'x' })
                .event(10, { 0x90, 0x40, 0x40 })
                .event(10, { 0xF0, 0x01, 0xF7 })
                .event(10, { 0xF0, 0x01, 0xF7 })
                .event(10, { 0x91, 0x40, 0x40 })
                .endOfTrack() });
    const std::string expected = format0(480,
        smf::bytes({ 0x00, 0x90, 0x3C, 0x40, //
            0x0A, 0x3E, 0x40, // status dropped
            0x0A, 0xFF, 0x01, 0x01, 'x', //
            0x0A, 0x90, 0x40, 0x40, // kept after the meta
            0x0A, 0xF0, 0x01, 0xF7, //
            0x0A, 0xF0, 0x01, 0xF7, // SysEx keeps its status
            0x0A, 0x91, 0x40, 0x40 }));
    RecordingHost host;
    EXPECT_EQ(convert(file, host), expected);
    EXPECT_EQ(host.grid().textMatrix(3, 2), "3E40");
    EXPECT_EQ(host.grid().textMatrix(7, 2), "F001F7");
}

TEST(Merge, RunningStatusNeverHidesADataByteWithItsTopBitSet)
{
    // A broken file's data byte 0xD7: without the status before it, a reader
    // would take it for a status byte, so both events keep theirs. 0x80 is the
    // lowest such byte; 0x7F the highest that may follow a dropped status.
    const std::string file = smf::file(1,
        { Track()
                .event(0, { 0xD7, 0xD7 })
                .event(1, { 0xD7, 0xD7 })
                .event(1, { 0xD7, 0x80 })
                .event(1, { 0xD7, 0x7F })
                .endOfTrack() });
    RecordingHost host;
    EXPECT_EQ(convert(file, host),
        format0(
            480, smf::bytes({ 0x00, 0xD7, 0xD7, 0x01, 0xD7, 0xD7, 0x01, 0xD7, 0x80, 0x01, 0x7F })));
    EXPECT_EQ(host.grid().textMatrix(3, 2), "D7D7");
    EXPECT_EQ(host.grid().textMatrix(4, 2), "D780");
    EXPECT_EQ(host.grid().textMatrix(5, 2), "7F");
}

TEST(Merge, EqualTimesKeepFileOrderOrByteOrderOnRequest)
{
    const std::string file = smf::file(1,
        { Track()
                .event(5, { 0xFF, 0x06, 0x01, 'm' })
                .event(0, { 0x90, 0x40, 0x40 })
                .event(0, { 0x3C, 0x40 })
                .event(0, { 0x80, 0x30, 0x00 })
                .endOfTrack() });
    RecordingHost host;
    ASSERT_FALSE(convert(file, host).empty());
    const EventGrid &grid = host.grid();
    ASSERT_EQ(grid.rows(), 6u);
    EXPECT_EQ(grid.textMatrix(2, 2), "FF06016D");
    EXPECT_EQ(grid.textMatrix(3, 2), "904040");
    EXPECT_EQ(grid.textMatrix(4, 2), "3C40"); // same status as the row above
    EXPECT_EQ(grid.textMatrix(5, 2), "803000");
    // The first delta is the first event's absolute time (the header row counts as 0).
    EXPECT_EQ(grid.textMatrix(2, 1), "05");
    EXPECT_EQ(grid.textMatrix(3, 1), "00");

    // The old order: at one tick by the events' bytes.
    RecordingHost bytes;
    ASSERT_FALSE(SalvaMidi0(file, bytes, { .byteOrder = true }).empty());
    EXPECT_EQ(bytes.grid().textMatrix(2, 2), "803000");
    EXPECT_EQ(bytes.grid().textMatrix(3, 2), "903C40");
    EXPECT_EQ(bytes.grid().textMatrix(4, 2), "4040");
    EXPECT_EQ(bytes.grid().textMatrix(5, 2), "FF06016D");
}

TEST(Merge, SetupBeforeNotesSurvivesTheMerge)
{
    // A reset SysEx in track 1, then in track 2 bank select, program change,
    // volume, RPN 0 (pitch-bend range) and the first note, all at tick 0: the
    // output plays them in that order.
    const std::string file = smf::file(1,
        { Track().sysex(0, smf::bytes({ 0x7E, 0x7F, 0x09, 0x01, 0xF7 })).endOfTrack(),
            Track()
                .event(0, { 0xB0, 0x00, 0x00 })
                .event(0, { 0xC0, 0x30 })
                .event(0, { 0xB0, 0x07, 0x64 })
                .event(0, { 0xB0, 0x65, 0x00 })
                .event(0, { 0x64, 0x00 })
                .event(0, { 0x06, 0x0C })
                .event(0, { 0x90, 0x3C, 0x40 })
                .endOfTrack() });
    RecordingHost host;
    ASSERT_FALSE(convert(file, host).empty());
    std::vector<std::string> rows;
    for (std::size_t r = 2; r < host.grid().rows(); ++r)
        rows.push_back(host.grid().textMatrix(r, 2));
    EXPECT_EQ(rows,
        (std::vector<std::string> {
            "F0057E7F0901F7", "B00000", "C030", "B00764", "6500", "6400", "060C", "903C40" }));
}

TEST(Merge, ManyTracksKeepTrackOrderAtOneTick)
{
    // Forty tracks, some events of each on one tick: ties keep track order,
    // and byte order sorts them.
    std::vector<Track> tracks(40);
    for (std::size_t t = 0; t < tracks.size(); ++t) {
        const int note = 0x50 - static_cast<int>(t);
        tracks[t].event(static_cast<std::uint32_t>(t % 3), { 0x90, note, 0x40 });
        tracks[t].event(10, { 0x80, note, 0x00 }).endOfTrack();
    }
    const std::string file = smf::file(1, tracks);
    std::vector<std::pair<std::uint64_t, std::size_t>> seen; // time, track
    TrackScan scan;
    ASSERT_TRUE(scanTracks(file, scan));
    ASSERT_EQ(scan.tracks.size(), 40u);
    mergeTracks(file, scan, TieOrder::Track, [&](const EventRef &event) {
        std::size_t track = 0;
        while (track + 1 < scan.tracks.size() && scan.tracks[track + 1].begin <= event.ref)
            ++track;
        seen.emplace_back(event.time(), track);
        return true;
    });
    ASSERT_EQ(seen.size(), 80u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << "ties out of track order";

    std::vector<std::uint8_t> notesAtZero;
    mergeTracks(file, scan, TieOrder::Bytes, [&](const EventRef &event) {
        if (event.time() == 0)
            notesAtZero.push_back(static_cast<std::uint8_t>(dataBytes(file, event)[0]));
        return true;
    });
    EXPECT_EQ(notesAtZero.size(), 14u);
    EXPECT_TRUE(std::is_sorted(notesAtZero.begin(), notesAtZero.end()));
}

TEST(Merge, EndOfTrackStaysWhereTheInputEnds)
{
    // Track 2 ends two beats after the last event of any track.
    const std::string file = smf::file(1,
        { Track().event(0, { 0x90, 0x3C, 0x40 }).event(480, { 0x80, 0x3C, 0x00 }).endOfTrack(),
            Track().event(0, { 0xC0, 0x05 }).endOfTrack(1440) });
    RecordingHost host;
    const std::string out = convert(file, host);
    EXPECT_EQ(out.substr(out.size() - 5), smf::bytes({ 0x87, 0x40, 0xFF, 0x2F, 0x00 }));
    EXPECT_EQ(host.RIGHE, 4);

    // A track without End of Track ends with its last event.
    const std::string open = smf::file(1, { Track().event(0, { 0xC0, 0x05 }).event(96, { 0xF8 }) });
    const std::string openOut = convert(open, host);
    EXPECT_EQ(openOut.substr(openOut.size() - 4), EndOfTrack);
}

TEST(Merge, OutputMayGrowFarBeyondTheInput)
{
    // Two tracks of running-status notes interleave: every restored status byte
    // makes the output half as large again.
    Track a, b;
    a.event(0, { 0x90, 0x10, 0x40 });
    b.event(0, { 0x91, 0x10, 0x40 });
    for (int i = 0; i < 5000; ++i) {
        a.event(1, { 0x11, 0x40 });
        b.event(1, { 0x11, 0x40 });
    }
    const std::string file = smf::file(1, { a.endOfTrack(), b.endOfTrack() });
    RecordingHost host;
    const std::string out = convert(file, host);
    ASSERT_FALSE(out.empty());
    EXPECT_GT(out.size(), file.size() * 13 / 10);
    const std::uint32_t length = (std::uint32_t(std::uint8_t(out[18])) << 24)
        | (std::uint32_t(std::uint8_t(out[19])) << 16) | (std::uint32_t(std::uint8_t(out[20])) << 8)
        | std::uint8_t(out[21]);
    EXPECT_EQ(length, out.size() - 22);
    EXPECT_EQ(out.substr(out.size() - 4), EndOfTrack);
    EXPECT_EQ(host.RIGHE, 1 + 2 * 5001);
}

TEST(Merge, NoCollectableEventGivesTitleAndEndOfTrack)
{
    RecordingHost host;
    const std::string file
        = smf::file(1, { Track().meta(0, 0x03, "name").endOfTrack(), Track().endOfTrack() }, 96);
    EXPECT_EQ(convert(file, host), format0(96, ""));
    EXPECT_EQ(host.RIGHE, 1);
    EXPECT_EQ(host.grid().rows(), 2u);
    EXPECT_TRUE(host.messages.empty());
}

TEST(Merge, DeltaTooLargeForAQuantityIsRefused)
{
    // Dropped meta events carry time, so two kept events can stand further
    // apart than a four-byte quantity reaches.
    auto gapFile = [](std::uint32_t second) {
        return smf::file(1,
            { Track()
                    .event(10, { 0xF8 })
                    .meta(0x0FFFFFFF, 0x03, "gap")
                    .event(second, { 0xF8 })
                    .endOfTrack() });
    };
    RecordingHost host;
    EXPECT_TRUE(convert(gapFile(1), host).empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(
        host.messages[0].text, "Riga 3\r\nDelta time troppo grande - Valore non rappresentabile");

    RecordingHost fits;
    EXPECT_FALSE(convert(gapFile(0), fits).empty());
    EXPECT_EQ(fits.grid().textMatrix(3, 1), "FFFFFF7F");

    // The same for the End of Track, whose row follows the last.
    RecordingHost late;
    const std::string lateEnd = smf::file(1,
        { Track().event(0, { 0xF8 }).endOfTrack(),
            Track().meta(0x0FFFFFFF, 0x03, "x").endOfTrack(0x0FFFFFFF) });
    EXPECT_TRUE(convert(lateEnd, late).empty());
    ASSERT_EQ(late.messages.size(), 1u);
    EXPECT_EQ(
        late.messages[0].text, "Riga 3\r\nDelta time troppo grande - Valore non rappresentabile");
}
