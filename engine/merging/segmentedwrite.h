// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_SEGMENTEDWRITE_H
#define TRACKFOLD_SEGMENTEDWRITE_H

#include "format0writer.h"
#include "format1writer.h"
#include "merge.h"
#include "trackreader.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

// Merging a long file on several threads: the time range is cut into
// segments at ticks, each segment is merged and written apart from the others
// by whichever thread is free, and the writer joins the segments in time order.
// A tick never spans two segments, so ties come out as in one merge; the seam
// between two segments is written when they are joined, with the delta time
// and running status the whole track gives it.
namespace trackfold {

// Below this many events a file is merged in one stream: finding where each
// segment starts and starting threads would cost more than they save.
inline constexpr std::size_t SegmentedMinEvents = std::size_t { 1 } << 17;

// The ticks where segments start: the first at 0, the others about
// segmentEvents events apart, judged from the scan's checkpoints. Empty when a
// segment would hold more than four times that many events (ticks that hold
// many events cannot be cut), which would take too much memory.
std::vector<std::uint64_t> segmentStarts(const TrackScan &scan, std::size_t segmentEvents);

// The ticks where a long file's segments start, as the fold and the split cut
// it; empty where the file goes in one stream (too short, too scattered over
// its tracks, or its events crowd on too few ticks).
std::vector<std::uint64_t> plannedSegments(const TrackScan &scan);

// A cursor on the track's first event at start or later (at its end when it
// has none), read from its last checkpoint before start.
TrackCursor cursorAt(
    std::string_view image, const TrackScan &scan, const TrackSpan &track, std::uint64_t start);

// Cursors in track order on each track's first event at start or later, for
// every track with events.
std::vector<TrackCursor> cursorsAt(
    std::string_view image, const TrackScan &scan, std::uint64_t start);

// A thread's room for the events of the segment it merges, kept from one
// segment to the next.
struct SegmentScratch
{
    std::vector<EventRef> events;
    std::vector<EventRef> sorted;
    // Whether the next segment is sorted: its thread's last segment held
    // fewer than two events a tick (the first one is sorted).
    bool sortNext = true;
};

// Merges the events in [start, end) and writes them into a run. Where the
// thread's last segment held fewer than two events a tick, as in a recorded
// performance, the segment's events are gathered track after track, each
// track's in file order, and sorted by time with a stable radix sort (ties
// stay in track order); where ticks hold more, the tracks are merged tick by
// tick. With keepRows the run keeps the events it wrote, in order; with
// tracks instead, only their input tracks.
void encodeSegment(std::string_view image, const TrackScan &scan, TieOrder order,
    std::uint64_t start, std::uint64_t end, EncodedRun &run, SegmentScratch &scratch,
    bool keepRows = false, const TrackFinder *tracks = nullptr);

// The events of [start, end) merged as the segments of a fold merge them
// (ties in track order, or by their bytes), in the scratch's room.
const std::vector<EventRef> &segmentEvents(std::string_view image, const TrackScan &scan,
    TieOrder order, std::uint64_t start, std::uint64_t end, SegmentScratch &scratch);

enum class SegmentedWrite : std::uint8_t {
    NotUsed, // the file is too small, or too scattered over its tracks, or its
             // events crowd on too few ticks: nothing was written
    Written, // every event went to the writer
    Broken, // a delta time did not fit: the writer stopped at that event
};

// Told on the calling thread after each segment is joined: the events written
// so far, and the segment's own when the rows were asked for (else empty), or
// only their input tracks. False stops the writing, which then ends as Broken.
using SegmentJoined = std::function<bool(
    std::uint64_t written, std::span<const EventRef> rows, std::span<const std::uint16_t> tracks)>;

// What a fold in segments keeps of the events it writes.
enum class KeptRows : std::uint8_t { None, Events, Tracks };

// Merges the scanned image in segments on up to `threads` threads (one: the
// calling thread alone) and writes every event through writer, which has
// written its header and nothing else. joined hears each segment's events,
// or their tracks, as kept says.
SegmentedWrite writeInSegments(std::string_view image, const TrackScan &scan, TieOrder order,
    unsigned threads, Format0Writer &writer, const SegmentJoined &joined = {},
    KeptRows kept = KeptRows::None);

// Splits the scanned image in segments on up to `threads` threads: each
// segment's events are merged and written into the runs of their tracks, and
// the writer joins them in time order. NotUsed as for writeInSegments.
SegmentedWrite splitInSegments(std::string_view image, const TrackScan &scan, unsigned threads,
    Format1Writer &writer, const SegmentJoined &joined = {});

} // namespace trackfold

#endif
