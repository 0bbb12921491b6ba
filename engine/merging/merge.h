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

// True when events fell on ticks of two events or more on average, as in a
// quantised sequence: then the merge goes tick by tick; with fewer, as in a
// recorded performance, finding the next event costs more than sorting the
// events by their times.
inline bool ticksHoldSeveral(std::uint64_t events, std::uint64_t ticks)
{
    return events >= 2 * ticks;
}

namespace detail {

// How a block of the merge ended.
enum class Merged : std::uint8_t {
    Done, // every event handed over
    Stopped, // emit returned false
    Paused, // the block's events handed over; the cursors stand where the merge goes on
};

// What a block of the merge handed over: events, and the distinct ticks they
// lie on.
struct BlockCount
{
    std::size_t events = 0;
    std::size_t ticks = 0;
};

// Hands over the events of one track at tick, in file order, and leaves the
// cursor on the track's next tick. False when emit stopped the merge.
template <typename Emit>
inline bool emitTrackTick(TrackCursor &c, std::uint64_t tick, Emit &emit, BlockCount &count)
{
    do {
        if (!emit(c.event()))
            return false;
        ++count.events;
        c.advance();
    } while (!c.atEnd() && c.time() == tick);
    return true;
}

// Up to 32 tracks the merge can go tick by tick: every event at the smallest
// time, track after track, each track's in file order. When ticks hold many
// events, as in a quantised sequence, this does the least work an event. The
// next time of each track sits in a small array: finding the tick and the
// tracks due at it are short loops without branches, and the due tracks, a
// bit each, are taken lowest first, which is track order.
template <typename Emit>
Merged mergeByTicks(
    std::vector<TrackCursor> &cursors, Emit &emit, std::size_t budget, BlockCount &count)
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
        if (count.events >= budget)
            return Merged::Paused;
        ++count.ticks;
        while (due != 0) {
            const auto i = static_cast<std::size_t>(std::countr_zero(due));
            due &= due - 1;
            TrackCursor &c = cursors[i];
            if (!emitTrackTick(c, tick, emit, count))
                return Merged::Stopped;
            times[i] = c.atEnd() ? Finished : c.time();
        }
    }
    return Merged::Done;
}

// When nearly every event has a tick of its own, as in a recorded
// performance, the merge plays a knock-out tournament between the tracks (a
// tree of losers). Each track's next event has a key, its time above the
// track number, so that ties go in track order and no two keys are equal;
// every inner node of the tree keeps the key that lost the match played
// there, and the winner is the smallest key. After the winner's track has
// handed over its events at that tick, only the matches on the way from its
// leaf to the top are played again: log2(tracks) comparisons an event.
template <typename Emit>
Merged mergeByTree(std::vector<TrackCursor> &cursors, unsigned trackBits, Emit &emit,
    std::size_t budget, BlockCount &count)
{
    constexpr std::uint64_t Finished = UINT64_MAX;
    const std::size_t n = cursors.size();
    const std::size_t leaves = std::bit_ceil(std::max<std::size_t>(n, 1));
    const std::uint64_t trackMask = (std::uint64_t { 1 } << trackBits) - 1;
    auto keyOf = [trackBits](const TrackCursor &c, std::size_t track) {
        return c.atEnd() ? Finished : (c.time() << trackBits | track);
    };
    // losers[1..leaves-1]: the inner nodes, the top one at 1 and the children
    // of node p at 2p and 2p+1; the leaves, at leaves + track, are not kept.
    std::vector<std::uint64_t> losers(leaves);
    std::vector<std::uint64_t> winners(2 * leaves, Finished);
    for (std::size_t t = 0; t < n; ++t)
        winners[leaves + t] = keyOf(cursors[t], t);
    for (std::size_t p = leaves - 1; p >= 1; --p) {
        losers[p] = std::max(winners[2 * p], winners[2 * p + 1]);
        winners[p] = std::min(winners[2 * p], winners[2 * p + 1]);
    }
    std::uint64_t winner = winners[1];
    winners = {};

    std::uint64_t lastTick = Finished;
    while (winner != Finished) {
        if (count.events >= budget)
            return Merged::Paused;
        const auto track = static_cast<std::size_t>(winner & trackMask);
        const std::uint64_t tick = winner >> trackBits;
        count.ticks += tick != lastTick ? 1 : 0;
        lastTick = tick;
        TrackCursor &c = cursors[track];
        if (!emitTrackTick(c, tick, emit, count))
            return Merged::Stopped;
        std::uint64_t key = keyOf(c, track);
        for (std::size_t p = (leaves + track) >> 1; p != 0; p >>= 1) {
            const std::uint64_t other = losers[p];
            losers[p] = std::max(other, key);
            key = std::min(other, key);
        }
        winner = key;
    }
    return Merged::Done;
}

// The merge goes in blocks of this many events; after each it takes the way
// that suits the block before: tick by tick where a tick held two events or
// more on average, the tournament otherwise. Both go on from the cursors.
inline constexpr std::size_t MergeBlockEvents = 4096;
// Tick by tick goes up to this many tracks: the tracks due at a tick are bits of 32.
inline constexpr std::size_t TickMergeTracks = 32;

template <typename Emit> bool mergeAdaptively(std::vector<TrackCursor> &cursors, Emit &emit)
{
    if (cursors.empty())
        return true;
    const auto trackBits = static_cast<unsigned>(std::bit_width(cursors.size() - 1));
    bool byTicks = false;
    for (;;) {
        BlockCount count;
        const Merged merged = byTicks
            ? mergeByTicks(cursors, emit, MergeBlockEvents, count)
            : mergeByTree(cursors, trackBits, emit, MergeBlockEvents, count);
        if (merged != Merged::Paused)
            return merged == Merged::Done;
        byTicks = cursors.size() <= TickMergeTracks && ticksHoldSeveral(count.events, count.ticks);
    }
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

// Up to this many events of one tick are sorted by insertion, which needs no
// buffer; more by std::stable_sort.
inline constexpr std::size_t InsertionSortEvents = 16;

namespace detail {

// Sorts the events of one tick by their bytes, stably.
inline void orderByBytes(std::string_view image, EventRef *first, EventRef *last)
{
    auto before = [image](const EventRef &a, const EventRef &b) {
        return compareEventBytes(image, a, b) < 0;
    };
    if (static_cast<std::size_t>(last - first) > InsertionSortEvents) {
        std::stable_sort(first, last, before);
        return;
    }
    for (EventRef *i = first; i != last; ++i) {
        const EventRef event = *i;
        EventRef *j = i;
        for (; j != first && before(event, *(j - 1)); --j)
            *j = *(j - 1);
        *j = event;
    }
}

} // namespace detail

// Sorts the events of each tick of [first, last), which are in time order, by
// their bytes, stably. A tick of one event, most ticks of a recorded
// performance, stays as it is.
inline void orderTicksByBytes(std::string_view image, EventRef *first, EventRef *last)
{
    while (first != last) {
        const std::uint64_t time = first->time();
        EventRef *next = first + 1;
        while (next != last && next->time() == time)
            ++next;
        if (next - first > 1)
            detail::orderByBytes(image, first, next);
        first = next;
    }
}

// Up to this many tracks the merge plays a tournament, whose keys hold a
// time (48 bits) and a track number; past it a heap finds the next event.
inline constexpr std::size_t TreeMergeTracks = std::size_t { 1 } << 15;

// Hands the events of the cursors, from where they stand, to emit in time
// order, ties as order says; the cursors are in track order. emit(const
// EventRef &) returns false to stop the merge; mergeCursors then returns false.
template <typename Emit>
bool mergeCursors(
    std::string_view image, std::vector<TrackCursor> &cursors, TieOrder order, Emit &&emit)
{
    auto merge = [&cursors](auto &sink) {
        if (cursors.size() > TreeMergeTracks)
            return detail::mergeByHeap(cursors, sink);
        return detail::mergeAdaptively(cursors, sink);
    };
    if (order == TieOrder::Track)
        return merge(emit);

    // Byte order: the events of a tick are gathered and sorted before they are
    // handed on.
    std::vector<EventRef> tick;
    auto flush = [&] {
        orderTicksByBytes(image, tick.data(), tick.data() + tick.size());
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
    return mergeCursors(image, cursors, order, emit);
}

} // namespace trackfold

#endif
