// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "recordinghost.h"
#include "smfbuilder.h"
#include "trackreader.h"
#include "verify.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

using namespace trackfold;
using smf::Track;
using test::RecordingHost;

namespace {

const std::string Song = smf::file(1,
    { Track().event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 }).meta(0, 0x03, "Tempo").endOfTrack(),
        Track()
            .event(0, { 0x90, 0x3C, 0x40 })
            .event(10, { 0x3E, 0x40 })
            .event(10, { 0xF0, 0x02, 0x01, 0xF7 })
            .event(10, { 0x3C, 0x00 })
            .endOfTrack(),
        Track().event(5, { 0x91, 0x30, 0x40 }).event(5, { 0x30, 0x00 }).endOfTrack() });

} // namespace

TEST(Verify, TheConvertedFileHoldsEveryEvent)
{
    RecordingHost host;
    const std::string out = SalvaMidi0(Song, host);
    std::string difference;
    EXPECT_TRUE(verifyConversion(Song, out, {}, difference)) << difference;
}

TEST(Verify, FindsAChangedMissingOrExtraEvent)
{
    RecordingHost host;
    const std::string out = SalvaMidi0(Song, host);
    std::string difference;

    // The last note-off of the output (90 3C 00 at tick 30) becomes 90 3D 00.
    std::string changed = out;
    const std::size_t at = changed.rfind(std::string("\x3C\x00", 2));
    ASSERT_NE(at, std::string::npos);
    changed[at] = 0x3D;
    EXPECT_FALSE(verifyConversion(Song, changed, {}, difference));
    EXPECT_EQ(difference, "Evento mancante nel file scritto: tempo 30, dati 903C00");

    // The file cut before its last event and End of Track.
    std::string cut = out.substr(0, at - 2); // before its delta time and status
    EXPECT_FALSE(verifyConversion(Song, cut, {}, difference));
    EXPECT_EQ(difference, "Evento mancante nel file scritto: tempo 30, dati 903C00");

    // An event the input never had.
    std::string extra
        = out.substr(0, out.size() - 4) + smf::bytes({ 0x05, 0xF8, 0x00, 0xFF, 0x2F, 0x00 });
    EXPECT_FALSE(verifyConversion(Song, extra, {}, difference));
    EXPECT_EQ(difference, "Evento in più nel file scritto: tempo 35, dati F8");

    EXPECT_FALSE(verifyConversion(Song, "not a midi file at all, sorry", {}, difference));
    EXPECT_EQ(difference, "Intestazione del midifile non valida");
}

TEST(Verify, FindsTiesOutOfOrderAndAMovedEndOfTrack)
{
    RecordingHost host;
    const std::string out = SalvaMidi0(Song, host);
    std::string difference;

    // At tick 0 the tempo of track 1 comes before the note of track 2; the
    // byte order written by --byte-order swaps them.
    RecordingHost bytes;
    const std::string swapped = SalvaMidi0(Song, bytes, { .byteOrder = true });
    ASSERT_NE(swapped, out);
    EXPECT_FALSE(verifyConversion(Song, swapped, {}, difference));
    EXPECT_EQ(difference, "Evento in più nel file scritto: tempo 0, dati 903C40");
    EXPECT_TRUE(verifyConversion(Song, swapped, { .byteOrder = true }, difference)) << difference;

    // End of Track one tick later than the input's tracks end.
    std::string late = out;
    ASSERT_EQ(late[late.size() - 4], 0x00);
    late[late.size() - 4] = 0x01;
    EXPECT_FALSE(verifyConversion(Song, late, {}, difference));
    EXPECT_EQ(difference, "Fine della traccia nel file scritto al tempo 31 invece di 30");
}

TEST(Verify, ALongFileComparedInStretchesNamesItsFirstDifference)
{
    // Two tracks of 80,000 notes, one a tick. Written, the events alternate
    // between the tracks; but for the second (its status left out), each is
    // four bytes: delta time, status, pitch, velocity.
    Track first;
    Track second;
    for (int i = 0; i < 80000; ++i) {
        first.event(i == 0 ? 0 : 1, { 0x90, i % 100, 0x40 });
        second.event(1, { 0x91, i % 100, 0x40 });
    }
    const std::string song = smf::file(1, { first.endOfTrack(), second.endOfTrack() });
    RecordingHost host;
    host.grid().setKeepRows(true);
    const std::string out = SalvaMidi0(song, host, { .threads = 2 });
    std::string difference;
    ASSERT_TRUE(verifyConversion(song, out, { .threads = 2 }, difference)) << difference;

    // The velocities of events 150,001 and 100,001 (ticks 75,001 and 50,001,
    // the first track's) change: whichever thread finds which, the earlier is
    // named. Compared with the rows the conversion kept, as the window does,
    // instead of a new merge, the findings are the same.
    const std::string_view image = host.grid().image();
    const std::span<const EventRef> rows = host.grid().events();
    ASSERT_EQ(rows.size(), 160000u);
    ASSERT_TRUE(verifyConversion(image, out, { .threads = 2 }, difference, nullptr, rows));
    const std::size_t events = out.find("Titolo del Brano Midi") + 21;
    std::string changed = out;
    changed[events + 4 * 150001 + 2] = 0x41;
    changed[events + 4 * 100001 + 2] = 0x41;
    for (const unsigned threads : { 1u, 2u }) {
        EXPECT_FALSE(verifyConversion(song, changed, { .threads = threads }, difference));
        EXPECT_EQ(difference, "Evento mancante nel file scritto: tempo 50001, dati 900140");
        EXPECT_FALSE(
            verifyConversion(image, changed, { .threads = threads }, difference, nullptr, rows));
        EXPECT_EQ(difference, "Evento mancante nel file scritto: tempo 50001, dati 900140");
    }
    // An event more at the end of the track.
    changed = out;
    changed.insert(out.size() - 4, std::string("\x00\x91\x10\x40", 4));
    changed[21] = static_cast<char>(changed[21] + 4);
    EXPECT_FALSE(verifyConversion(song, changed, { .threads = 2 }, difference));
    EXPECT_EQ(difference, "Evento in più nel file scritto: tempo 80000, dati 911040");
    EXPECT_FALSE(verifyConversion(image, changed, { .threads = 2 }, difference, nullptr, rows));
    EXPECT_EQ(difference, "Evento in più nel file scritto: tempo 80000, dati 911040");
}

TEST(Verify, AFoldReadBackMatchesTheInputOnlyInItsMergedOrder)
{
    // Four tracks on channels 0-3 with an event on every tick: written, each
    // event takes four bytes (delta time, status, two data bytes), the four of
    // a tick in track order.
    std::vector<Track> tracks(4);
    for (int i = 0; i < 40000; ++i) {
        for (int t = 0; t < 4; ++t)
            tracks[t].event(i == 0 ? 0 : 1, { 0x90 | t, (i + t) % 100, i % 2 == 0 ? 0x40 : 0 });
    }
    for (Track &track : tracks)
        track.endOfTrack();
    const std::string song = smf::file(1, tracks);
    RecordingHost host;
    const std::string out = SalvaMidi0(song, host, { .threads = 2, .verify = true });
    ASSERT_FALSE(out.empty());
    const EventGrid &grid = host.grid();
    ASSERT_TRUE(grid.readsOutput());
    ASSERT_GT(grid.stretches().size(), 2u);

    TrackScan scan;
    ASSERT_TRUE(scanTracks(song, scan));
    const std::vector<std::uint8_t> labels(
        grid.rowTrackBytes().begin(), grid.rowTrackBytes().end());
    const auto readBack = [&](const std::string &written, const std::vector<std::uint8_t> &rows) {
        const FoldInput input { song, scan, rows, grid.trackWidth() };
        std::vector<Checkpoint> marks;
        const FoldReadBack read = readFoldBack(
            written, grid.stretches(), grid.eventCount(), OutputRows::Stride, marks, 2, &input);
        // The marks find the events where reading from the start finds them.
        for (std::size_t m = 0; read.marked && m < marks.size(); m += 97)
            EXPECT_EQ(marks[m].pos, grid.event(m * OutputRows::Stride).ref - 1) << m;
        return std::make_pair(read.marked, read.matches);
    };
    EXPECT_EQ(readBack(out, labels), std::make_pair(true, true));

    // Tracks 2 and 3 swap their events at tick 30,000: noted as the writer
    // noted them, or with their tracks swapped too, they are out of order.
    const std::size_t events = out.find("Titolo del Brano Midi") + 21;
    const std::size_t first = 4 * 30000 + 1;
    std::string swapped = out;
    for (int b = 1; b < 4; ++b)
        std::swap(swapped[events + 4 * first + b], swapped[events + 4 * (first + 1) + b]);
    std::vector<std::uint8_t> relabelled = labels;
    std::swap(relabelled[first], relabelled[first + 1]);
    EXPECT_EQ(readBack(swapped, labels), std::make_pair(true, false));
    EXPECT_EQ(readBack(swapped, relabelled), std::make_pair(true, false));
    std::string difference;
    EXPECT_FALSE(verifyConversion(song, swapped, {}, difference));

    // A changed velocity; a delta time that moves an event a tick on, which
    // the stretch after it no longer starts with.
    std::string changed = out;
    changed[events + 4 * 100001 + 3] = 0x41;
    EXPECT_EQ(readBack(changed, labels), std::make_pair(true, false));
    changed = out;
    changed[events + 4 * 100001] = 0x01;
    EXPECT_EQ(readBack(changed, labels).second, false);
}
