// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "merge.h"
#include "recordinghost.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

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

TEST(Merge, TwoTracksInterleaveByTimeThenBytes)
{
    const std::string file = smf::file(1,
        { Track().event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 }).endOfTrack(),
            Track()
                .event(0, { 0x90, 0x3C, 0x40 })
                .event(0x1E0, { 0x80, 0x3C, 0x40 })
                .endOfTrack() });
    const std::string expected = format0(480,
        smf::bytes({ 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x83, 0x60,
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
        { "00000000", "00", "903C40" },
        { "00000000", "00", "FF510307A120" },
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

TEST(Merge, EqualTimesOfOneTrackOrderByBytes)
{
    const std::string file = smf::file(1,
        { Track()
                .event(5, { 0xFF, 0x06, 0x01, 'm' })
                .event(0, { 0x90, 0x40, 0x40 })
                .event(0, { 0x3C, 0x40 })
                .event(0, { 0x80, 0x30, 0x00 })
                .endOfTrack() });
    RecordingHost host;
    const std::string out = convert(file, host);
    const EventGrid &grid = host.grid();
    ASSERT_EQ(grid.rows(), 6u);
    EXPECT_EQ(grid.textMatrix(2, 2), "803000");
    EXPECT_EQ(grid.textMatrix(3, 2), "903C40");
    EXPECT_EQ(grid.textMatrix(4, 2), "4040"); // same status as the row above
    EXPECT_EQ(grid.textMatrix(5, 2), "FF06016D");
    // The first delta is the first event's absolute time (the header row counts as 0).
    EXPECT_EQ(grid.textMatrix(2, 1), "05");
    EXPECT_EQ(grid.textMatrix(3, 1), "00");
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
    // Rows set by hand can hold a gap no four-byte quantity expresses.
    EventGrid grid;
    grid.setRows(1);
    grid.addItem("00\t00\tH");
    grid.addItem("00000010\t\t90");
    grid.addItem("300000000\t\t90");
    std::string warning;
    EXPECT_FALSE(fillDeltaTimes(grid, warning));
    EXPECT_EQ(warning, "Riga 3\r\nDelta time troppo grande - Valore non rappresentabile");

    grid.setTextMatrix(3, 0, "268435465"); // exactly 0x0FFFFFFF after row 2
    EXPECT_TRUE(fillDeltaTimes(grid, warning));
    EXPECT_EQ(grid.textMatrix(3, 1), "FFFFFF7F");
    EXPECT_EQ(grid.textMatrix(2, 1), "0A");
}

TEST(Merge, TextRowsTakePartInRunningStatusAndOutput)
{
    EventGrid grid;
    grid.setRows(1);
    grid.addItem("00\t00\t" + std::string(44, '0'));
    grid.adoptImage(std::string("\x90\x3C\x40", 3));
    grid.appendEvent(0, 0, 0x90, false);
    grid.addItem("00000001\t\t903E40");
    std::string warning;
    ASSERT_TRUE(fillDeltaTimes(grid, warning));
    restoreRunningStatus(grid);
    EXPECT_EQ(grid.textMatrix(3, 2), "3E40");
    const std::string out = buildOutputImage(grid, std::string(22, '\0'));
    EXPECT_EQ(out.substr(22 + TitleEvent.size()),
        smf::bytes({ 0x00, 0x90, 0x3C, 0x40, 0x01, 0x3E, 0x40 }) + EndOfTrack);
}
