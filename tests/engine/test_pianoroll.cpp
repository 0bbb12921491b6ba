// SPDX-License-Identifier: MIT
#include "pianoroll.h"

#include "eventgrid.h"
#include "recordinghost.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace trackfold;
using smf::Track;
using test::RecordingHost;

namespace {

// start, end, pitch, channel, track
using Note = std::tuple<std::uint64_t, std::uint64_t, int, int, std::size_t>;

std::vector<Note> notesOf(const std::vector<Track> &tracks, PianoRoll &roll, RecordingHost &host)
{
    EXPECT_FALSE(test::SalvaMidi0(smf::file(1, tracks), host).empty());
    roll.build(host.grid());
    std::vector<Note> out;
    for (const RollNote &note : roll.notes())
        out.emplace_back(roll.start(note), roll.end(note), roll.pitch(note), roll.channel(note),
            roll.track(note));
    return out;
}

} // namespace

TEST(PianoRoll, RunningStatusAndVelocityZeroEndNotes)
{
    RecordingHost host;
    PianoRoll roll;
    const auto notes = notesOf({ Track()
                                       .event(0, { 0x90, 60, 64 })
                                       .event(10, { 62, 64 })
                                       .event(10, { 60, 0 })
                                       .event(10, { 0x80, 62, 64 })
                                       .endOfTrack() },
        roll, host);
    EXPECT_EQ(notes, (std::vector<Note> { { 0, 20, 60, 0, 1 }, { 10, 30, 62, 0, 1 } }));
}

TEST(PianoRoll, OverlappingNotesOfOnePitchEndFirstOnFirstOff)
{
    RecordingHost host;
    PianoRoll roll;
    const auto notes = notesOf({ Track()
                                       .event(0, { 0x90, 60, 64 })
                                       .event(10, { 0x90, 60, 64 })
                                       .event(10, { 0x80, 60, 0 })
                                       .event(10, { 0x80, 60, 0 })
                                       .endOfTrack() },
        roll, host);
    EXPECT_EQ(notes, (std::vector<Note> { { 0, 20, 60, 0, 1 }, { 10, 30, 60, 0, 1 } }));
    // Each Note Off row leads back to the note it ended.
    EXPECT_EQ(roll.noteOfEvent(2), 0u);
    EXPECT_EQ(roll.noteOfEvent(3), 1u);
}

TEST(PianoRoll, SamePitchOnTwoChannelsPairsApart)
{
    RecordingHost host;
    PianoRoll roll;
    const auto notes = notesOf({ Track()
                                       .event(0, { 0x90, 60, 64 })
                                       .event(0, { 0x91, 60, 64 })
                                       .event(10, { 0x81, 60, 0 })
                                       .event(10, { 0x80, 60, 0 })
                                       .endOfTrack() },
        roll, host);
    EXPECT_EQ(notes, (std::vector<Note> { { 0, 20, 60, 0, 1 }, { 0, 10, 60, 1, 1 } }));
}

TEST(PianoRoll, NoteNeverReleasedEndsAtEndOfTrack)
{
    RecordingHost host;
    PianoRoll roll;
    const auto notes = notesOf(
        { Track().event(5, { 0x90, 60, 64 }).endOfTrack(10), Track().endOfTrack(100) }, roll, host);
    EXPECT_EQ(notes, (std::vector<Note> { { 5, 100, 60, 0, 1 } }));
    EXPECT_EQ(roll.noteOfEvent(0), 0u);
}

TEST(PianoRoll, NoteOffManyRowsLaterIsFound)
{
    // 70,000 controller rows between a Note On and its Note Off: more rows
    // than a note keeps in itself.
    RecordingHost host;
    PianoRoll roll;
    Track track;
    track.event(0, { 0x90, 60, 64 }).event(0, { 0xB0, 7, 0 });
    for (int i = 0; i < 70'000; ++i)
        track.event(1, { 7, i % 128 });
    track.event(1, { 0x80, 60, 0 }).endOfTrack();
    const auto notes = notesOf({ track }, roll, host);
    EXPECT_EQ(notes, (std::vector<Note> { { 0, 70'001, 60, 0, 1 } }));
    EXPECT_EQ(roll.offEvent(roll.notes()[0]), 70'002u);
    EXPECT_EQ(roll.noteOfEvent(70'002), 0u);
}

TEST(PianoRoll, NotesAcrossTrackChunksKeepTheirTrackAndName)
{
    // The Note Off of track 2's note is in track 3: in the merged list they
    // are one channel's events. Track names stay with the tracks that play.
    RecordingHost host;
    PianoRoll roll;
    const auto notes = notesOf({ Track().meta(0, 0x03, "Tempo").endOfTrack(),
                                   Track()
                                       .meta(0, 0x03, "Basso")
                                       .event(0, { 0x92, 40, 64 })
                                       .event(20, { 0x92, 41, 64 })
                                       .endOfTrack(),
                                   Track().event(10, { 0x82, 40, 0 }).endOfTrack(40) },
        roll, host);
    EXPECT_EQ(notes, (std::vector<Note> { { 0, 10, 40, 2, 2 }, { 20, 50, 41, 2, 2 } }));
    ASSERT_EQ(roll.tracks().size(), 1u);
    EXPECT_EQ(roll.tracks()[0].number, 2u);
    EXPECT_EQ(roll.tracks()[0].name, "Basso");
    EXPECT_EQ(roll.tracks()[0].notes, 2u);
    EXPECT_EQ(roll.lowestPitch(), 40);
    EXPECT_EQ(roll.highestPitch(), 41);
}

TEST(PianoRoll, ClearingGivesBackTheMemory)
{
    Track track;
    for (int i = 0; i < 1000; ++i) {
        track.event(10, { 0x90, 60, 64 });
        track.event(10, { 0x80, 60, 0 });
    }
    track.endOfTrack();
    PianoRoll roll;
    RecordingHost host;
    ASSERT_EQ(notesOf({ track }, roll, host).size(), 1000u);
    EXPECT_GT(roll.memoryBytes(), 1000 * sizeof(RollNote));
    roll.clear();
    EXPECT_TRUE(roll.notes().empty());
    EXPECT_EQ(roll.memoryBytes(), 0u);
}

TEST(PianoRoll, FileWithoutNotesGivesAnEmptyRoll)
{
    RecordingHost host;
    PianoRoll roll;
    const auto notes = notesOf({ Track()
                                       .event(0, { 0xB0, 7, 100 })
                                       .event(10, { 0x80, 60, 0 })
                                       .meta(0, 0x51, smf::bytes({ 7, 0xA1, 0x20 }))
                                       .endOfTrack() },
        roll, host);
    EXPECT_TRUE(notes.empty());
    EXPECT_TRUE(roll.tracks().empty());
    EXPECT_EQ(roll.lowestPitch(), -1);
    EXPECT_EQ(roll.noteOfEvent(0), PianoRoll::NoNote);
}

TEST(PianoRoll, BinsShowWhatSoundsInEach)
{
    // 50,000 ticks make bins of 8 ticks: a note from 0 to 700 fills bins 0
    // to 87 of its pitch (added as a long note), one from 0 to 10 bins 0 and 1.
    RecordingHost host;
    PianoRoll roll;
    notesOf({ Track().endOfTrack(50'000),
                Track()
                    .event(0, { 0x90, 60, 64 })
                    .event(0, { 0x90, 62, 64 })
                    .event(10, { 0x80, 62, 0 })
                    .event(690, { 0x80, 60, 0 })
                    .endOfTrack() },
        roll, host);
    ASSERT_EQ(roll.binWidth(), 8u);
    EXPECT_EQ(roll.cell(60, 0), 2);
    EXPECT_EQ(roll.cell(60, 87), 2);
    EXPECT_EQ(roll.cell(60, 88), 0);
    EXPECT_EQ(roll.cell(61, 0), 0);
    EXPECT_EQ(roll.cell(62, 1), 2);
    EXPECT_EQ(roll.cell(62, 2), 0);
    // Only the note that sounds in a range is visited.
    std::vector<std::size_t> visited;
    roll.forEachNoteIn(700, 800, [&](std::size_t i) { visited.push_back(i); });
    EXPECT_EQ(visited, std::vector<std::size_t> { 0 });
    visited.clear();
    roll.forEachNoteIn(10, 10, [&](std::size_t i) { visited.push_back(i); });
    EXPECT_EQ(visited, (std::vector<std::size_t> { 0, 1 }));
    visited.clear();
    roll.forEachNoteIn(701, 800, [&](std::size_t i) { visited.push_back(i); });
    EXPECT_TRUE(visited.empty());
}

TEST(PianoRoll, ASplitFileIsDrawnInTimeOrderByOutputTrack)
{
    // One input track playing two channels: split, channel 2's track comes
    // after channel 1's in the grid, but its notes interleave in time.
    RecordingHost host;
    ConversionJob job;
    job.format = 1;
    ASSERT_FALSE(test::SalvaMidi0(smf::file(1,
                                      { Track()
                                              .meta(0, 0x03, "Duo")
                                              .event(0, { 0x91, 62, 64 })
                                              .event(5, { 0x90, 60, 64 })
                                              .event(5, { 0x81, 62, 0 })
                                              .event(5, { 0x80, 60, 0 })
                                              .endOfTrack() }),
        host, job)
                     .empty());
    PianoRoll roll;
    roll.build(host.grid());
    ASSERT_EQ(roll.notes().size(), 2u);
    const RollNote &first = roll.notes()[0];
    const RollNote &second = roll.notes()[1];
    EXPECT_EQ(std::tuple(roll.start(first), roll.end(first), roll.pitch(first), roll.track(first)),
        std::tuple(std::uint64_t { 0 }, std::uint64_t { 10 }, 62, std::size_t { 3 }));
    EXPECT_EQ(
        std::tuple(roll.start(second), roll.end(second), roll.pitch(second), roll.track(second)),
        std::tuple(std::uint64_t { 5 }, std::uint64_t { 15 }, 60, std::size_t { 2 }));
    // Rows: header, track 0 (empty), track 1's chunk row, its two events, track 2's chunk row...
    const EventGrid &grid = host.grid();
    EXPECT_EQ(grid.textMatrix(EventGrid::rowOfEvent(roll.eventOf(second)), 2), "903C40");
    EXPECT_EQ(grid.textMatrix(EventGrid::rowOfEvent(roll.eventOf(first)), 2), "913E40");
    EXPECT_EQ(roll.noteOfEvent(roll.eventOf(first)), 0u);
    ASSERT_EQ(roll.tracks().size(), 2u);
    EXPECT_EQ(roll.tracks()[0].name, "Duo");
    EXPECT_EQ(roll.tracks()[1].name, "Duo");
}
