// SPDX-License-Identifier: MIT
#include "segmentedwrite.h"

#include "threads.h"

#include <algorithm>
#include <bit>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <new>
#include <optional>

namespace trackfold {

namespace {

// Segments of this many events at most: a segment waits in memory, written,
// until its turn to be joined comes (every thread has two waiting), and a
// thread sorts one in twice the room of its events.
constexpr std::size_t MaxSegmentEvents = std::size_t { 1 } << 16;
constexpr std::size_t MinSegmentEvents = std::size_t { 1 } << 14;

// Hands out the segments in time order to the threads and joins them, on the
// calling thread, in the same order. What a segment leaves (a run of a fold,
// the runs of a split) waits in one of a ring of slots until it is joined; a
// thread takes a segment only while a slot is free.
template <typename Slot> class SegmentedWriter
{
public:
    // Makes a segment's slot from the events in [start, end).
    using Producer = std::function<void(std::uint64_t, std::uint64_t, Slot &, SegmentScratch &)>;
    // Joins a slot on the calling thread; false stops the joining.
    using Joiner = std::function<bool(const Slot &)>;

    SegmentedWriter(std::vector<std::uint64_t> starts, unsigned threads, Producer produce)
        : m_starts(std::move(starts))
        , m_threads(threads)
        , m_produce(std::move(produce))
        , m_slots(2 * std::size_t { threads })
        , m_state(m_starts.size(), State::Waiting)
    { }

    SegmentedWrite run(const Joiner &join);

private:
    enum class State : std::uint8_t {
        Waiting, // nobody has taken it yet
        Taken, // a thread is merging it
        Ready, // its run waits in its slot
        Dropped, // a thread gave it up (out of memory): the calling thread does it
    };

    Slot &slotOf(std::size_t segment) { return m_slots[segment % m_slots.size()]; }
    // Takes the next segment when a slot is free for it; the lock is held.
    bool take(std::size_t &segment);
    void encode(std::size_t segment, SegmentScratch &scratch);
    void work();

    std::vector<std::uint64_t> m_starts;
    unsigned m_threads;
    Producer m_produce;
    std::vector<Slot> m_slots;
    std::vector<State> m_state;
    std::size_t m_next = 0; // the first segment nobody has taken
    std::size_t m_joined = 0; // segments joined so far
    bool m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

template <typename Slot> bool SegmentedWriter<Slot>::take(std::size_t &segment)
{
    if (m_next >= m_starts.size() || m_next >= m_joined + m_slots.size())
        return false;
    segment = m_next++;
    m_state[segment] = State::Taken;
    return true;
}

template <typename Slot>
void SegmentedWriter<Slot>::encode(std::size_t segment, SegmentScratch &scratch)
{
    const std::uint64_t end = segment + 1 < m_starts.size() ? m_starts[segment + 1] : UINT64_MAX;
    m_produce(m_starts[segment], end, slotOf(segment), scratch);
}

// A helper thread: merges segments while there are any to take.
template <typename Slot> void SegmentedWriter<Slot>::work()
{
    SegmentScratch scratch;
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        std::size_t segment = 0;
        if (!take(segment)) {
            m_changed.wait(lock);
            continue;
        }
        lock.unlock();
        bool encoded = true;
        try {
            encode(segment, scratch);
        } catch (const std::bad_alloc &) {
            encoded = false;
        }
        lock.lock();
        m_state[segment] = encoded ? State::Ready : State::Dropped;
        m_changed.notify_all();
        if (!encoded)
            return;
    }
}

template <typename Slot> SegmentedWrite SegmentedWriter<Slot>::run(const Joiner &join)
{
    // As many helpers as could be started merge beside the calling thread.
    HelperThreads helpers;
    helpers.start(m_threads - 1, [this] { work(); });
    // However the joining ends, the helpers are stopped and waited for.
    struct Stopper
    {
        SegmentedWriter &self;
        HelperThreads &helpers;
        ~Stopper()
        {
            {
                const std::lock_guard guard(self.m_mutex);
                self.m_stop = true;
            }
            self.m_changed.notify_all();
            helpers.join();
        }
    } stopper { *this, helpers };

    SegmentScratch scratch;
    std::unique_lock lock(m_mutex);
    while (m_joined < m_starts.size()) {
        const std::size_t due = m_joined;
        if (m_state[due] == State::Ready) {
            lock.unlock();
            const bool joined = join(slotOf(due));
            lock.lock();
            if (!joined)
                return SegmentedWrite::Broken;
            ++m_joined;
            m_changed.notify_all();
            continue;
        }
        // The calling thread merges too, the segment due first if a helper
        // gave it up, else the next one.
        std::size_t segment = due;
        if (m_state[due] == State::Dropped)
            m_state[due] = State::Taken;
        else if (!take(segment)) {
            m_changed.wait(lock);
            continue;
        }
        lock.unlock();
        encode(segment, scratch);
        lock.lock();
        m_state[segment] = State::Ready;
    }
    return SegmentedWrite::Written;
}

} // namespace

std::vector<std::uint64_t> segmentStarts(const TrackScan &scan, std::size_t segmentEvents)
{
    // The checkpoints' times, in order, are a sample of the merged events'
    // times, one for every CheckpointEvents events.
    std::vector<std::uint64_t> times;
    times.reserve(scan.checkpoints.size());
    for (const Checkpoint &checkpoint : scan.checkpoints)
        times.push_back(checkpoint.time);
    std::sort(times.begin(), times.end());
    std::vector<std::uint64_t> starts { 0 };
    const std::size_t step = std::max<std::size_t>(1, segmentEvents / CheckpointEvents);
    for (std::size_t i = step; i < times.size(); i += step) {
        if (times[i] > starts.back())
            starts.push_back(times[i]);
    }
    // The number of checkpoints in each segment tells its events.
    std::size_t from = 0;
    for (std::size_t k = 1; k <= starts.size(); ++k) {
        std::size_t to = times.size();
        if (k < starts.size())
            to = static_cast<std::size_t>(
                std::lower_bound(times.begin(), times.end(), starts[k]) - times.begin());
        if (to - from > 4 * step)
            return {};
        from = to;
    }
    return starts;
}

TrackCursor cursorAt(
    std::string_view image, const TrackScan &scan, const TrackSpan &track, std::uint64_t start)
{
    const auto first
        = scan.checkpoints.begin() + static_cast<std::ptrdiff_t>(track.firstCheckpoint);
    const auto last = first + static_cast<std::ptrdiff_t>(track.checkpoints);
    // Every event after a checkpoint is at its time or later.
    const auto after = std::partition_point(
        first, last, [start](const Checkpoint &checkpoint) { return checkpoint.time < start; });
    TrackCursor cursor
        = after == first ? TrackCursor(image, track) : TrackCursor(image, track, *(after - 1));
    while (!cursor.atEnd() && cursor.time() < start)
        cursor.advance();
    return cursor;
}

std::vector<TrackCursor> cursorsAt(
    std::string_view image, const TrackScan &scan, std::uint64_t start)
{
    std::vector<TrackCursor> cursors;
    cursors.reserve(scan.tracks.size());
    for (const TrackSpan &track : scan.tracks) {
        if (track.events != 0)
            cursors.push_back(cursorAt(image, scan, track, start));
    }
    return cursors;
}

namespace {

// Sorts events by their time, counted from start, stably: a least
// significant digit first radix sort, 11 bits a pass, as many passes as the
// latest time needs. spare takes as many events; the sorted events end up in
// one of the two, which is returned.
std::vector<EventRef> &sortByTime(std::vector<EventRef> &events, std::vector<EventRef> &spare,
    std::uint64_t start, std::uint64_t latest)
{
    constexpr unsigned DigitBits = 11;
    constexpr std::size_t Buckets = std::size_t { 1 } << DigitBits;
    spare.resize(events.size());
    std::vector<EventRef> *from = &events;
    std::vector<EventRef> *to = &spare;
    std::vector<std::uint32_t> counts(Buckets);
    const auto bits = static_cast<unsigned>(std::bit_width(latest - start));
    for (unsigned shift = 0; shift < bits; shift += DigitBits) {
        auto digit = [start, shift](const EventRef &event) {
            return static_cast<std::size_t>(((event.time() - start) >> shift) & (Buckets - 1));
        };
        std::fill(counts.begin(), counts.end(), 0);
        for (const EventRef &event : *from)
            ++counts[digit(event)];
        std::uint32_t sum = 0;
        for (std::uint32_t &count : counts) {
            const std::uint32_t here = count;
            count = sum;
            sum += here;
        }
        for (const EventRef &event : *from)
            (*to)[counts[digit(event)]++] = event;
        std::swap(from, to);
    }
    return *from;
}

// The cursors' events before end, gathered track after track, each track's in
// file order, and sorted by time stably: ties stay in track order.
std::vector<EventRef> &gatheredByTime(std::vector<TrackCursor> &cursors, std::uint64_t start,
    std::uint64_t end, SegmentScratch &scratch)
{
    std::vector<EventRef> &events = scratch.events;
    events.clear();
    std::uint64_t latest = start;
    for (TrackCursor &cursor : cursors) {
        const std::size_t before = events.size();
        while (!cursor.atEnd() && cursor.time() < end) {
            events.push_back(cursor.event());
            cursor.advance();
        }
        if (events.size() > before)
            latest = std::max(latest, events.back().time());
    }
    return sortByTime(events, scratch.sorted, start, latest);
}

} // namespace

void encodeSegment(std::string_view image, const TrackScan &scan, TieOrder order,
    std::uint64_t start, std::uint64_t end, EncodedRun &run, SegmentScratch &scratch, bool keepRows,
    const TrackFinder *tracks)
{
    RunEncoder writer(image, run);
    run.rows.clear();
    run.tracks.clear();
    std::vector<TrackCursor> cursors = cursorsAt(image, scan, start);
    if (!scratch.sortNext) {
        mergeCursors(image, cursors, order, [&](const EventRef &event) {
            if (event.time() >= end || !writer.add(event))
                return false;
            if (keepRows)
                run.rows.push_back(event);
            else if (tracks)
                run.tracks.push_back(static_cast<std::uint16_t>(tracks->trackAt(event.ref)));
            return true;
        });
    } else {
        std::vector<EventRef> &sorted = gatheredByTime(cursors, start, end, scratch);
        if (order == TieOrder::Bytes)
            orderTicksByBytes(image, sorted.data(), sorted.data() + sorted.size());
        std::size_t written = 0;
        for (const EventRef &event : sorted) {
            if (!writer.add(event))
                break;
            ++written;
        }
        if (keepRows) {
            run.rows.assign(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(written));
        } else if (tracks) {
            run.tracks.resize(written);
            for (std::size_t i = 0; i < written; ++i)
                run.tracks[i] = static_cast<std::uint16_t>(tracks->trackAt(sorted[i].ref));
        }
    }
    const std::size_t ticks = writer.finish();
    scratch.sortNext = !ticksHoldSeveral(run.events, ticks);
}

namespace {

// Merges the events of [start, end) as encodeSegment does, in track order at
// a tick, and splits them into run as they come.
void splitSegment(std::string_view image, const TrackScan &scan, std::uint64_t start,
    std::uint64_t end, SplitRun &run, SegmentScratch &scratch)
{
    SplitEncoder encoder(image, scan, run);
    std::vector<TrackCursor> cursors = cursorsAt(image, scan, start);
    if (!scratch.sortNext) {
        mergeCursors(image, cursors, TieOrder::Track, [&encoder, end](const EventRef &event) {
            return event.time() < end && encoder.add(event);
        });
    } else {
        for (const EventRef &event : gatheredByTime(cursors, start, end, scratch)) {
            if (!encoder.add(event))
                break;
        }
    }
    const std::size_t ticks = encoder.finish();
    scratch.sortNext = !ticksHoldSeveral(encoder.events(), ticks);
}

} // namespace

const std::vector<EventRef> &segmentEvents(std::string_view image, const TrackScan &scan,
    TieOrder order, std::uint64_t start, std::uint64_t end, SegmentScratch &scratch)
{
    std::vector<TrackCursor> cursors = cursorsAt(image, scan, start);
    std::vector<EventRef> *merged = &scratch.events;
    if (!scratch.sortNext) {
        merged->clear();
        mergeCursors(image, cursors, order, [merged, end](const EventRef &event) {
            if (event.time() >= end)
                return false;
            merged->push_back(event);
            return true;
        });
    } else {
        merged = &gatheredByTime(cursors, start, end, scratch);
        if (order == TieOrder::Bytes)
            orderTicksByBytes(image, merged->data(), merged->data() + merged->size());
    }
    std::size_t ticks = 0;
    for (std::size_t i = 0; i < merged->size(); ++i)
        ticks += i == 0 || (*merged)[i].time() != (*merged)[i - 1].time() ? 1 : 0;
    scratch.sortNext = !ticksHoldSeveral(merged->size(), ticks);
    return *merged;
}

std::vector<std::uint64_t> plannedSegments(const TrackScan &scan)
{
    if (scan.events < SegmentedMinEvents)
        return {};
    // A segment reads each track from a checkpoint, on average half the
    // checkpoints' distance before its start. With many tracks segments grow
    // so that this reading stays within an eighth of their events; past the
    // largest segment it would outweigh what the threads gain.
    std::size_t lead = 0;
    for (const TrackSpan &track : scan.tracks)
        lead += std::min(track.events, CheckpointEvents);
    if (lead * 4 > MaxSegmentEvents)
        return {};
    const std::size_t segmentEvents
        = std::clamp(std::max(scan.events / 32, lead * 4), MinSegmentEvents, MaxSegmentEvents);
    std::vector<std::uint64_t> starts = segmentStarts(scan, segmentEvents);
    if (starts.size() < 2)
        return {};
    return starts;
}

SegmentedWrite writeInSegments(std::string_view image, const TrackScan &scan, TieOrder order,
    unsigned threads, Format0Writer &writer, const SegmentJoined &joined, KeptRows kept)
{
    std::vector<std::uint64_t> starts = plannedSegments(scan);
    if (starts.empty())
        return SegmentedWrite::NotUsed;
    std::optional<TrackFinder> finder;
    if (kept == KeptRows::Tracks)
        finder.emplace(scan, image.size());
    SegmentedWriter<EncodedRun> segmented(std::move(starts), std::max(threads, 1u),
        [&](std::uint64_t start, std::uint64_t end, EncodedRun &run, SegmentScratch &scratch) {
            encodeSegment(image, scan, order, start, end, run, scratch, kept == KeptRows::Events,
                finder ? &*finder : nullptr);
        });
    return segmented.run([&](const EncodedRun &run) {
        // A broken run's rows end before its broken event, as the writer does.
        return writer.join(run) && (!joined || joined(writer.events(), run.rows, run.tracks))
            && !run.broken;
    });
}

SegmentedWrite splitInSegments(std::string_view image, const TrackScan &scan, unsigned threads,
    Format1Writer &writer, const SegmentJoined &joined)
{
    std::vector<std::uint64_t> starts = plannedSegments(scan);
    if (starts.empty())
        return SegmentedWrite::NotUsed;
    SegmentedWriter<SplitRun> segmented(std::move(starts), std::max(threads, 1u),
        [&](std::uint64_t start, std::uint64_t end, SplitRun &run, SegmentScratch &scratch) {
            splitSegment(image, scan, start, end, run, scratch);
        });
    return segmented.run([&](const SplitRun &run) {
        return writer.join(run) && (!joined || joined(writer.events(), {}, {}));
    });
}

} // namespace trackfold
