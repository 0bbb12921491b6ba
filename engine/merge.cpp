// SPDX-License-Identifier: MIT
#include "merge.h"

#include "codecs.h"
#include "eventgrid.h"
#include "midievent.h"
#include "texts.h"

#include <algorithm>
#include <cstring>

namespace trackfold {

namespace {

using Row = EventGrid::Row;

// Events at one tick are ordered by their bytes, whatever track they came from.
class TickSorter
{
public:
    explicit TickSorter(const EventGrid &grid)
        : m_grid(grid)
        , m_image(reinterpret_cast<const std::uint8_t *>(grid.image().data()))
    { }

    void sort(Row *begin, Row *end)
    {
        const auto n = static_cast<std::size_t>(end - begin);
        if (n < 2)
            return;
        // The first three bytes of an event make a key that orders like the
        // bytes: whole for channel messages, a prefix for the others, which
        // then need the rest compared when two keys are equal.
        m_keys.clear();
        bool sorted = true;
        bool longTies = false;
        std::uint32_t previous = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t key = keyOf(begin[i]);
            if (i > 0 && key <= previous) {
                const bool longTie = key == previous && !isChannelStatus(begin[i].status);
                longTies = longTies || longTie;
                sorted = sorted && key == previous && !longTie;
            }
            previous = key;
            m_keys.push_back(std::uint64_t { key } << 32 | i);
        }
        if (sorted)
            return;
        if (longTies || n > 64 || hasLongTies()) {
            std::sort(begin, end,
                [this](const Row &a, const Row &b) { return m_grid.compareEvents(a, b) < 0; });
            return;
        }
        if (n <= 32) {
            // Ticks hold a handful of events: insertion sort beats the general one.
            for (std::size_t i = 1; i < n; ++i) {
                const std::uint64_t key = m_keys[i];
                std::size_t j = i;
                for (; j > 0 && m_keys[j - 1] > key; --j)
                    m_keys[j] = m_keys[j - 1];
                m_keys[j] = key;
            }
        } else {
            std::sort(m_keys.begin(), m_keys.end());
        }
        m_rows.assign(begin, end);
        for (std::size_t j = 0; j < n; ++j)
            begin[j] = m_rows[m_keys[j] & 0xFFFFFFFFu];
    }

private:
    std::uint32_t keyOf(const Row &row) const
    {
        std::uint32_t key = std::uint32_t { row.status } << 16;
        const std::uint8_t *data = m_image + row.ref + (row.has(Row::ImpliedStatus) ? 0 : 1);
        if (const int channel = channelMessageLength(row.status)) {
            key |= std::uint32_t { data[0] } << 8;
            if (channel == 3)
                key |= data[1];
            return key;
        }
        // SysEx and meta events have at least one more byte; the others may have none.
        const std::size_t length = m_grid.eventLength(row);
        if (length > 1)
            key |= std::uint32_t { data[0] } << 8;
        if (length > 2)
            key |= data[1];
        return key;
    }

    // Two events of one key that is not a whole channel message.
    bool hasLongTies() const
    {
        for (std::size_t i = 0; i < m_keys.size(); ++i) {
            const auto status = static_cast<std::uint8_t>(m_keys[i] >> 48);
            if (isChannelStatus(status))
                continue;
            for (std::size_t j = i + 1; j < m_keys.size(); ++j) {
                if ((m_keys[i] >> 32) == (m_keys[j] >> 32))
                    return true;
            }
        }
        return false;
    }

    const EventGrid &m_grid;
    const std::uint8_t *m_image;
    std::vector<std::uint64_t> m_keys;
    std::vector<Row> m_rows;
};

// With few tracks the merge goes tick by tick: the smallest next time of all
// tracks, then every event at that tick from each track, then the tick's
// events sorted. Music puts many events on one tick, so this does far less
// work per event than a heap.
Row *mergeByTicks(
    std::vector<TrackCursor> &cursors, Row *out, Row *const outEnd, TickSorter &sorter)
{
    std::vector<std::uint64_t> times;
    std::vector<TrackCursor *> active;
    for (TrackCursor &c : cursors) {
        times.push_back(c.time());
        active.push_back(&c);
    }
    std::uint64_t tick = times.empty() ? 0 : *std::min_element(times.begin(), times.end());
    while (!active.empty()) {
        Row *const group = out;
        std::uint64_t next = UINT64_MAX; // the smallest time left after this tick
        for (std::size_t k = 0; k < active.size();) {
            if (times[k] != tick) {
                next = std::min(next, times[k]);
                ++k;
                continue;
            }
            TrackCursor &c = *active[k];
            do {
                if (out == outEnd) // the scan counted every event; never past it
                    return out;
                *out++ = c.row();
                c.advance();
            } while (!c.atEnd() && c.time() == tick);
            if (c.atEnd()) {
                times[k] = times.back();
                times.pop_back();
                active[k] = active.back();
                active.pop_back();
            } else {
                times[k] = c.time();
                next = std::min(next, times[k]);
                ++k;
            }
        }
        sorter.sort(group, out);
        tick = next;
    }
    return out;
}

// With many tracks a binary min-heap of the cursors finds the next event;
// each tick's events are sorted afterwards.
Row *mergeByHeap(std::vector<TrackCursor> &cursors, Row *out, Row *const outEnd, TickSorter &sorter)
{
    struct Entry
    {
        std::uint64_t time;
        TrackCursor *cursor;
    };
    std::vector<Entry> heap;
    heap.reserve(cursors.size());
    for (TrackCursor &c : cursors)
        heap.push_back({ c.time(), &c });
    auto later = [](const Entry &a, const Entry &b) { return a.time > b.time; };
    std::make_heap(heap.begin(), heap.end(), later);

    Row *const first = out;
    while (!heap.empty() && out != outEnd) {
        TrackCursor *top = heap.front().cursor;
        *out++ = top->row();
        top->advance();
        if (top->atEnd()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            heap.pop_back();
            continue;
        }
        // Sift the advanced cursor down to its place.
        const Entry moved { top->time(), top };
        std::size_t i = 0;
        const std::size_t n = heap.size();
        while (true) {
            std::size_t child = 2 * i + 1;
            if (child >= n)
                break;
            if (child + 1 < n && heap[child + 1].time < heap[child].time)
                ++child;
            if (heap[child].time >= moved.time)
                break;
            heap[i] = heap[child];
            i = child;
        }
        heap[i] = moved;
    }

    for (Row *group = first; group != out;) {
        Row *next = group + 1;
        while (next != out && next->time() == group->time())
            ++next;
        sorter.sort(group, next);
        group = next;
    }
    return out;
}

} // namespace

void mergeTracks(const TrackScan &scan, EventGrid &grid)
{
    const std::string_view image = grid.image();
    std::vector<TrackCursor> cursors;
    cursors.reserve(scan.tracks.size());
    for (const TrackSpan &track : scan.tracks) {
        if (track.events > 0)
            cursors.emplace_back(image, track);
    }

    const std::size_t first = grid.rows();
    Row *const begin = grid.appendRows(scan.events);
    TickSorter sorter(grid);
    Row *const end = cursors.size() <= 32
        ? mergeByTicks(cursors, begin, begin + scan.events, sorter)
        : mergeByHeap(cursors, begin, begin + scan.events, sorter);
    grid.setRows(first + static_cast<std::size_t>(end - begin));
}

bool fillDeltaTimes(EventGrid &grid, std::string &warning)
{
    const std::span<Row> rows = grid.rowData();
    std::uint64_t previous = grid.timeOf(1);
    for (std::size_t v = 2; v < rows.size(); ++v) {
        const std::uint64_t current = rows[v].isEvent() ? rows[v].time() : grid.timeOf(v);
        // A delta must fit a four-byte quantity.
        if (current < previous || current - previous > MaxVlq) {
            warning = "Riga " + std::to_string(v) + texts::Crlf + texts::DeltaTooLarge;
            return false;
        }
        if (rows[v].isEvent())
            rows[v].flags |= Row::DeltaShown;
        else
            grid.setTextMatrix(v, 1, LongToVlqHex(static_cast<std::int32_t>(current - previous)));
        previous = current;
    }
    return true;
}

void restoreRunningStatus(EventGrid &grid)
{
    const std::span<Row> rows = grid.rowData();
    if (rows.size() < 3)
        return;
    // The status of a row as its text begins, before any is dropped.
    auto statusText = [&grid, &rows](std::size_t r) {
        if (rows[r].isEvent())
            return ByteToHex2(rows[r].status);
        return grid.textMatrix(r, 2).substr(0, 2);
    };
    auto isChannelText = [](const std::string &s) {
        return !s.empty() && s[0] >= '8' && s[0] <= 'E' && (s[0] <= '9' || s[0] >= 'A');
    };

    // A channel event loses its status byte when the row above has the same one.
    std::string textAbove = statusText(2); // the last text row's status before any drop
    for (std::size_t g = 3; g < rows.size(); ++g) {
        if (rows[g].isEvent() && rows[g - 1].isEvent()) {
            if (rows[g].status == rows[g - 1].status && isChannelStatus(rows[g].status))
                rows[g].flags |= Row::StatusDropped;
            continue;
        }
        // Rows of free text compare the first two characters of their data.
        const std::string current = statusText(g);
        const std::string above = rows[g - 1].isEvent() ? statusText(g - 1) : textAbove;
        if (current == above && isChannelText(current)) {
            if (rows[g].isEvent())
                rows[g].flags |= Row::StatusDropped;
            else
                grid.setTextMatrix(g, 2, grid.textMatrix(g, 2).substr(2));
        }
        if (!rows[g].isEvent())
            textAbove = current;
    }
}

std::string buildOutputImage(const EventGrid &grid, std::string_view header)
{
    const std::span<const Row> rows = grid.rowData();
    static constexpr std::string_view Title = texts::Title;
    static constexpr char EndOfTrack[] = { 0x00, static_cast<char>(0xFF), 0x2F, 0x00 };

    // Merged, an event never takes more bytes than in the input, but for a
    // restored status byte: the input's size and one byte per row bound the
    // output, so it is written in one allocation. Rows of free text add theirs.
    const std::string_view image = grid.image();
    std::size_t size
        = header.size() + 4 + Title.size() + sizeof EndOfTrack + image.size() + rows.size();
    for (std::size_t r = 2; r < rows.size(); ++r) {
        if (!rows[r].isEvent())
            size += (grid.textMatrix(r, 1).size() + grid.textMatrix(r, 2).size()) / 2;
    }

    std::string output;
    output.resize(size);
    char *out = output.data();
    // Rows set by hand may break the bound: every row checks its room first.
    auto ensure = [&output, &out](std::size_t room) {
        const auto used = static_cast<std::size_t>(out - output.data());
        if (output.size() - used < room) {
            output.resize(std::max(output.size() * 2, used + room));
            out = output.data() + used;
        }
    };
    auto put = [&out](std::string_view bytes) {
        std::memcpy(out, bytes.data(), bytes.size());
        out += bytes.size();
    };
    put(header);
    put(std::string_view("\x00\xFF\x03", 3));
    *out++ = static_cast<char>(Title.size());
    put(Title);

    std::string bytes;
    std::uint64_t previous = grid.timeOf(1);
    for (std::size_t r = 2; r < rows.size(); ++r) {
        const Row &row = rows[r];
        if (!row.isEvent()) {
            for (int col = 1; col <= 2; ++col) {
                if (hexToBytes(grid.textMatrix(r, col), bytes)) {
                    ensure(bytes.size() + sizeof EndOfTrack);
                    put(bytes);
                }
            }
            previous = grid.timeOf(r);
            continue;
        }
        const int channel = channelMessageLength(row.status);
        ensure(4 + (channel ? 3 : grid.eventLength(row)) + sizeof EndOfTrack);
        if (row.has(Row::DeltaShown))
            out += writeVlq(static_cast<std::uint32_t>(row.time() - previous) & MaxVlq, out);
        previous = row.time();
        if (channel) {
            // Channel messages: the status byte, unless dropped, and the data bytes.
            const char *data = image.data() + row.ref + (row.has(Row::ImpliedStatus) ? 0 : 1);
            if (!row.has(Row::StatusDropped))
                *out++ = static_cast<char>(row.status);
            *out++ = data[0];
            if (channel == 3)
                *out++ = data[1];
            continue;
        }
        std::string_view stored = grid.storedBytes(row);
        if (row.has(Row::ImpliedStatus)) {
            if (!row.has(Row::StatusDropped))
                *out++ = static_cast<char>(row.status);
        } else if (row.has(Row::StatusDropped)) {
            stored.remove_prefix(1);
        }
        put(stored);
    }
    put(std::string_view(EndOfTrack, sizeof EndOfTrack));
    output.resize(static_cast<std::size_t>(out - output.data()));

    // The track length counts everything after the 22 header bytes.
    const std::uint64_t length = output.size() - std::min(output.size(), header.size());
    for (int i = 0; i < 4; ++i)
        output[18 + static_cast<std::size_t>(i)]
            = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
    return output;
}

} // namespace trackfold
