// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MERGE_H
#define TRACKFOLD_MERGE_H

#include "trackreader.h"

#include <algorithm>
#include <bit>
#include <string_view>
#include <vector>

// The merge: the events of all scanned tracks become one stream in time order.
namespace trackfold {

// How events that share one tick are ordered.
enum class TieOrder : std::uint8_t {
    Track, // track order, then file order: as a player plays the input
    Bytes, // by the events' bytes, status first, a shorter event before a longer one it begins
};

// Orders two events of one image by their bytes; <0, 0 or >0.
int compareEventBytes(std::string_view image, const EventRef &a, const EventRef &b);

namespace detail {

// With few tracks the merge goes tick by tick: every event at the smallest
// time, track after track, each track's in file order. Music puts many events
// on one tick, so this does less work per event than a heap. The next time of
// each track sits in a small array: finding the tick and the tracks due at it
// are short loops without branches, and the due tracks, a bit each, are taken
// lowest first, which is track order.
template <typename Emit> bool mergeByTicks(std::vector<TrackCursor> &cursors, Emit &emit)
{
    constexpr std::uint64_t Finished = UINT64_MAX;
    const std::size_t n = cursors.size();
    std::uint64_t times[32];
    for (std::size_t i = 0; i < n; ++i)
        times[i] = cursors[i].atEnd() ? Finished : cursors[i].time();
    // One pass finds the smallest time and the tracks due at it.
    auto next = [&times, n](std::uint32_t &due) {
        std::uint64_t least = Finished;
        due = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint64_t t = times[i];
            const std::uint32_t bit = std::uint32_t { 1 } << i;
            due = t < least ? bit : (t == least ? due | bit : due);
            least = t < least ? t : least;
        }
        return least;
    };
    std::uint32_t due = 0;
    for (std::uint64_t tick = next(due); tick != Finished; tick = next(due)) {
        while (due != 0) {
            const auto i = static_cast<std::size_t>(std::countr_zero(due));
            due &= due - 1;
            TrackCursor &c = cursors[i];
            do {
                if (!emit(c.event()))
                    return false;
                c.advance();
            } while (!c.atEnd() && c.time() == tick);
            times[i] = c.atEnd() ? Finished : c.time();
        }
    }
    return true;
}

// With many tracks a min-heap keyed by time and track number finds the next
// event; the track number keeps ties in track order.
template <typename Emit> bool mergeByHeap(std::vector<TrackCursor> &cursors, Emit &emit)
{
    struct Entry
    {
        std::uint64_t time;
        std::size_t track;
    };
    auto later = [](const Entry &a, const Entry &b) {
        return a.time != b.time ? a.time > b.time : a.track > b.track;
    };
    std::vector<Entry> heap;
    heap.reserve(cursors.size());
    for (std::size_t t = 0; t < cursors.size(); ++t) {
        if (!cursors[t].atEnd())
            heap.push_back({ cursors[t].time(), t });
    }
    std::make_heap(heap.begin(), heap.end(), later);
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        TrackCursor &c = cursors[heap.back().track];
        if (!emit(c.event()))
            return false;
        c.advance();
        if (c.atEnd()) {
            heap.pop_back();
        } else {
            heap.back().time = c.time();
            std::push_heap(heap.begin(), heap.end(), later);
        }
    }
    return true;
}

} // namespace detail

// Above this many tracks the merge uses a heap.
inline constexpr std::size_t TickMergeTracks = 32;

// Hands every collected event of the scanned image to emit, in time order,
// ties as order says. emit(const EventRef &) returns false to stop the merge;
// mergeTracks then returns false.
template <typename Emit>
bool mergeTracks(std::string_view image, const TrackScan &scan, TieOrder order, Emit &&emit)
{
    std::vector<TrackCursor> cursors;
    cursors.reserve(scan.tracks.size());
    for (const TrackSpan &track : scan.tracks) {
        if (track.events > 0)
            cursors.emplace_back(image, track);
    }
    auto merge = [&cursors](auto &sink) {
        return cursors.size() <= TickMergeTracks ? detail::mergeByTicks(cursors, sink)
                                                 : detail::mergeByHeap(cursors, sink);
    };
    if (order == TieOrder::Track)
        return merge(emit);

    // Byte order: each tick's events are gathered, sorted and then handed on.
    std::vector<EventRef> tick;
    auto flush = [&] {
        std::stable_sort(tick.begin(), tick.end(), [image](const EventRef &a, const EventRef &b) {
            return compareEventBytes(image, a, b) < 0;
        });
        for (const EventRef &event : tick) {
            if (!emit(event))
                return false;
        }
        tick.clear();
        return true;
    };
    auto gather = [&](const EventRef &event) {
        if (!tick.empty() && tick.front().time() != event.time() && !flush())
            return false;
        tick.push_back(event);
        return true;
    };
    return merge(gather) && flush();
}

} // namespace trackfold

#endif
