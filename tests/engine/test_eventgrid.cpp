// SPDX-License-Identifier: MIT
#include "eventgrid.h"
#include "recordinghost.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

using namespace trackfold;
using smf::Track;
using test::RecordingHost;

namespace {

std::vector<std::string> column(const EventGrid &grid, int col)
{
    std::vector<std::string> out;
    for (std::size_t r = 0; r < grid.rows(); ++r)
        out.push_back(grid.textMatrix(r, col));
    return out;
}

} // namespace

TEST(EventGrid, StartsLikeTheEmptyControl)
{
    EventGrid grid;
    EXPECT_EQ(grid.rows(), 2u);
    EXPECT_EQ(grid.cols(), 3);
    EXPECT_EQ(grid.fixedRows(), 1);
    EXPECT_EQ(grid.textMatrix(1, 2), "");
    EXPECT_EQ(grid.textMatrix(0, 7), "");
}

TEST(EventGrid, CellsComeFromTheRowAndTheRowAbove)
{
    // Two tracks: the delta of each row is its distance to the row above (the
    // header row counts as time 0), and a channel message shows no status
    // byte when the row above has the same one, whichever track it came from.
    RecordingHost host;
    const std::string file = smf::file(1,
        { Track().event(0, { 0x90, 0x3C, 0x40 }).event(200, { 0x3E, 0x40 }).endOfTrack(),
            Track()
                .event(100, { 0x90, 0x40, 0x40 })
                .event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 })
                .event(0, { 0x90, 0x41, 0x40 })
                .endOfTrack() });
    ASSERT_FALSE(SalvaMidi0(file, host).empty());
    const EventGrid &grid = host.grid();
    EXPECT_EQ(column(grid, 0),
        (std::vector<std::string> {
            "DT assoluto", "00", "00000000", "00000100", "00000100", "00000100", "00000200" }));
    EXPECT_EQ(column(grid, 1),
        (std::vector<std::string> { "DT relativo", "00", "00", "64", "00", "00", "64" }));
    EXPECT_EQ(column(grid, 2).back(), "3E40");
    EXPECT_EQ(grid.textMatrix(3, 2), "4040");
    EXPECT_EQ(grid.textMatrix(4, 2), "FF510307A120");
    EXPECT_EQ(grid.textMatrix(5, 2), "904140");
    EXPECT_EQ(grid.textMatrix(1, 2).substr(0, 28), "4D546864000000060000000101E0");
    // Where each row came from, counting track chunks from 1.
    EXPECT_EQ(grid.trackOf(2), 1u);
    EXPECT_EQ(grid.trackOf(3), 2u);
    EXPECT_EQ(grid.trackOf(6), 1u);
    EXPECT_EQ(grid.trackOf(1), 0u);
}

TEST(EventGrid, ClearEmptiesCellsAndSetRowsCuts)
{
    RecordingHost host;
    ASSERT_FALSE(
        SalvaMidi0(smf::file(1, { Track().event(0, { 0xC0, 0x05 }).endOfTrack() }), host).empty());
    EventGrid &grid = host.grid();
    ASSERT_EQ(grid.rows(), 3u);
    grid.clear();
    EXPECT_EQ(grid.rows(), 3u);
    EXPECT_EQ(column(grid, 2), (std::vector<std::string> { "", "", "" }));
    EXPECT_EQ(grid.trackOf(2), 0u);
    grid.setRows(1);
    EXPECT_EQ(grid.rows(), 1u);
    EXPECT_EQ(grid.textMatrix(2, 0), "");
}
