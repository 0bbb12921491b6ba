// SPDX-License-Identifier: MIT
#include "eventgrid.h"

#include <gtest/gtest.h>

using namespace trackfold;

namespace {

// A grid with the usual heading and header rows and the given event rows as text.
EventGrid gridWithRows(std::initializer_list<std::pair<const char *, const char *>> events)
{
    EventGrid grid;
    grid.setRows(1);
    grid.addItem("00\t00\t4D546864");
    for (const auto &[time, data] : events)
        grid.addItem(std::string(time) + "\t\t" + data);
    return grid;
}

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
}

TEST(EventGrid, AddItemSplitsTabsAndClearKeepsCounts)
{
    EventGrid grid;
    grid.setRows(1);
    grid.addItem("a\tb\tc");
    grid.addItem("only");
    EXPECT_EQ(grid.rows(), 3u);
    EXPECT_EQ(grid.textMatrix(1, 1), "b");
    EXPECT_EQ(grid.textMatrix(2, 0), "only");
    EXPECT_EQ(grid.textMatrix(2, 2), "");
    grid.clear();
    EXPECT_EQ(grid.rows(), 3u);
    EXPECT_EQ(grid.textMatrix(1, 1), "");
    grid.setRows(1);
    EXPECT_EQ(grid.rows(), 1u);
    EXPECT_EQ(grid.textMatrix(5, 0), "");
    EXPECT_EQ(grid.textMatrix(0, 7), "");
}

TEST(EventGrid, EventRowsShowTimeDeltaAndBytes)
{
    EventGrid grid;
    grid.setRows(1);
    grid.addItem("00\t00\tHEADER");
    // Image: an explicit note-on at 0, a running-status note (data only) at 3.
    grid.adoptImage(std::string("\x90\x3C\x40\x3E\x40", 5));
    grid.appendEvent(480, 0, 0x90, false);
    grid.appendEvent(100000000, 3, 0x90, true);
    EXPECT_EQ(grid.textMatrix(2, 0), "00000480");
    EXPECT_EQ(grid.textMatrix(3, 0), "100000000"); // wider, never cut
    EXPECT_EQ(grid.textMatrix(2, 1), "");
    EXPECT_EQ(grid.textMatrix(2, 2), "903C40");
    EXPECT_EQ(grid.textMatrix(3, 2), "903E40");

    auto rows = grid.rowData();
    rows[2].flags |= EventGrid::Row::DeltaShown | EventGrid::Row::StatusDropped;
    rows[3].flags |= EventGrid::Row::DeltaShown | EventGrid::Row::StatusDropped;
    EXPECT_EQ(grid.textMatrix(2, 1), "8360");
    EXPECT_EQ(grid.textMatrix(2, 2), "3C40");
    EXPECT_EQ(grid.textMatrix(3, 2), "3E40");
    EXPECT_EQ(grid.eventLength(rows[3]), 3u);
}

TEST(EventGrid, SettingAnEventCellKeepsTheOthers)
{
    EventGrid grid;
    grid.setRows(1);
    grid.addItem("00\t00\tH");
    grid.adoptImage(std::string("\xC0\x05", 2));
    grid.appendEvent(7, 0, 0xC0, false);
    grid.setTextMatrix(2, 1, "07");
    EXPECT_EQ(grid.textMatrix(2, 0), "00000007");
    EXPECT_EQ(grid.textMatrix(2, 1), "07");
    EXPECT_EQ(grid.textMatrix(2, 2), "C005");
    EXPECT_EQ(grid.timeOf(2), 7u);
    EXPECT_EQ(grid.timeOf(1), 0u);
}

TEST(EventGridSort, NoteOffBeforeNoteOnAtOneTick)
{
    EventGrid grid = gridWithRows({ { "00000480", "903C40" }, { "00000480", "803C40" } });
    grid.sort();
    EXPECT_EQ(grid.textMatrix(2, 2), "803C40");
    EXPECT_EQ(grid.textMatrix(3, 2), "903C40");
}

TEST(EventGridSort, ChannelBeforeSysExBeforeMetaAndPrefixFirst)
{
    EventGrid grid = gridWithRows({ { "00000000", "FF510307A120" },
        { "00000000", "F0057E7F0901F7" }, { "00000000", "903C40" }, { "00000000", "903C" } });
    grid.sort();
    EXPECT_EQ(column(grid, 2),
        (std::vector<std::string> {
            "", "4D546864", "903C", "903C40", "F0057E7F0901F7", "FF510307A120" }));
}

TEST(EventGridSort, TimesOrderByNumberHeaderStaysFirst)
{
    // The heading row is not fixed here and empty, so it sorts first too.
    EventGrid grid = gridWithRows({ { "100000000", "90" }, { "00000002", "90" },
        { "99999999", "90" }, { "00000000", "FF" } });
    grid.setFixedRows(0);
    grid.sort();
    EXPECT_EQ(column(grid, 0),
        (std::vector<std::string> { "", "00", "00000000", "00000002", "99999999", "100000000" }));
}

TEST(EventGridSort, OnlyHeaderRowSortsToItself)
{
    EventGrid grid = gridWithRows({});
    grid.sort();
    EXPECT_EQ(grid.rows(), 2u);
    EXPECT_EQ(grid.textMatrix(1, 2), "4D546864");
}

TEST(EventGridSort, EventRowsMixWithTextRows)
{
    EventGrid grid = gridWithRows({ { "00000010", "B00700" } });
    grid.adoptImage(std::string("\x80\x3C\x00\xB0\x07\x10", 6));
    grid.appendEvent(10, 0, 0x80, false);
    grid.appendEvent(5, 3, 0xB0, false);
    grid.sort();
    EXPECT_EQ(column(grid, 2),
        (std::vector<std::string> { "", "4D546864", "B00710", "803C00", "B00700" }));
}
