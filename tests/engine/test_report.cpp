// SPDX-License-Identifier: MIT
#include "report.h"

#include <gtest/gtest.h>

using namespace trackfold;

TEST(Report, ElapsedTimeShowsMinutesWithinTheHour)
{
    EXPECT_EQ(FormatElapsed(0), "00:00");
    EXPECT_EQ(FormatElapsed(59), "00:59");
    EXPECT_EQ(FormatElapsed(61), "01:01");
    EXPECT_EQ(FormatElapsed(3599), "59:59");
    EXPECT_EQ(FormatElapsed(3725), "02:05"); // hours are not shown
    EXPECT_EQ(FormatElapsed(-5), "00:00");
    EXPECT_EQ(elapsedSeconds(10.0, 12.6), 3);
    EXPECT_EQ(elapsedSeconds(10.0, 9.0), 0);
}

TEST(Report, FileNamesAndProposedOutputs)
{
    EXPECT_EQ(FileNameOf("C:\\a\\b.mid"), "b.mid");
    EXPECT_EQ(FileNameOf("\\b.mid"), "b.mid");
    EXPECT_EQ(FileNameOf("/home/u/b.mid"), "b.mid");
    EXPECT_EQ(FileNameOf("b.mid"), "b.mid");
    EXPECT_EQ(FileNameOf("C:\\a\\"), "");
    EXPECT_EQ(proposedOutputName("/x/song.mid"), "/x/song_.mid");
    EXPECT_EQ(proposedOutputName("/x/song.MID"), "/x/song_.mid");
    EXPECT_EQ(proposedOutputName("abc"), "_.mid");
    // Characters, not bytes: "è" takes two bytes and "♪" three in UTF-8.
    EXPECT_EQ(proposedOutputName("canzone\u00E8\u266A"), "canzo_.mid");
    EXPECT_EQ(proposedOutputName("/m/\u00E8.mid"), "/m/\u00E8_.mid");
}

TEST(Report, AMidiExtensionGivesWayWhateverItsLength)
{
    const std::pair<const char *, const char *> names[] = {
        { "song.midi", "song_.mid" }, { "/a/song.MiDi", "/a/song_.mid" },
        { "song.rmi", "song_.mid" }, { "song.RMI", "song_.mid" }, { "song.kar", "song_.kar" },
        { "/a.b/song.KAR", "/a.b/song_.kar" },
        { "song.txt", "song_.mid" }, // another extension: the last four characters go
        { "song.mp", "son_.mid" },
        { "/a.midi/song", "/a.midi/_.mid" }, // no extension: a dot in a folder does not count
    };
    for (const auto &[input, proposed] : names)
        EXPECT_EQ(proposedOutputName(input), proposed) << input;
}

TEST(Report, StatusLineReport)
{
    EXPECT_EQ(conversionReport(1523, 4, "/m/song_.mid", 10234),
        "Righe: 1523      Tempo di elab.: 00:04      song_.mid      10234 bytes");
}
