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

// Walks the collected events of one scanned track, in file order.
class TrackCursor
{
public:
    TrackCursor(std::string_view image, const TrackSpan &track)
        : m_image(image)
        , m_pos(track.begin)
        , m_end(track.end)
        , m_status(track.entryStatus)
    {
        advance();
    }

    bool atEnd() const { return m_atEnd; }
    std::uint64_t time() const { return m_time; }
    const ParsedEvent &event() const { return m_event; }

    void advance()
    {
        std::size_t errorPos = 0;
        while (m_pos < m_end) {
            // The scan has read these bytes already, so they read cleanly again.
            readEvent(m_image, m_pos, m_status, m_event, errorPos);
            m_time += m_event.delta;
            m_pos = m_event.end;
            if (!m_event.running && isChannelStatus(m_event.status))
                m_status = m_event.status;
            if (!(m_event.status == 0xFF && isDroppedMeta(m_event.metaType)))
                return;
        }
        m_atEnd = true;
    }

private:
    std::string_view m_image;
    std::size_t m_pos;
    std::size_t m_end;
    std::uint8_t m_status;
    std::uint64_t m_time = 0;
    ParsedEvent m_event;
    bool m_atEnd = false;
};

void appendCurrent(EventGrid &grid, const TrackCursor &cursor)
{
    const ParsedEvent &e = cursor.event();
    grid.appendEvent(cursor.time(), e.statusPos, e.status, e.running);
}

// Events at one tick are ordered by their bytes, whatever track they came from.
class TickSorter
{
public:
    explicit TickSorter(EventGrid &grid)
        : m_grid(grid)
    {
    }

    void sort(std::size_t begin, std::size_t end)
    {
        if (end - begin < 2)
            return;
        const std::span<Row> rows = m_grid.rowData().subspan(begin, end - begin);
        // A channel message's bytes fit a 24-bit key that orders like them;
        // other messages share a key per status and need their bytes compared.
        m_keys.clear();
        bool sorted = true;
        bool longTies = false;
        std::uint64_t previous = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::uint64_t key = keyOf(rows[i]);
            if (key <= previous && i > 0) {
                sorted = sorted && key == previous && isChannelStatus(rows[i].status);
                longTies = longTies || (key == previous && !isChannelStatus(rows[i].status));
            }
            previous = key;
            m_keys.push_back(key << 32 | i);
        }
        if (longTies || (!sorted && hasLongTies())) {
            auto less = [this](const Row &a, const Row &b) { return m_grid.compareEvents(a, b) < 0; };
            std::sort(rows.begin(), rows.end(), less);
            return;
        }
        if (sorted)
            return;
        std::sort(m_keys.begin(), m_keys.end());
        m_rows.assign(rows.begin(), rows.end());
        for (std::size_t j = 0; j < rows.size(); ++j)
            rows[j] = m_rows[m_keys[j] & 0xFFFFFFFFu];
    }

private:
    std::uint64_t keyOf(const Row &row) const
    {
        std::uint64_t key = std::uint64_t { row.status } << 16;
        if (const int channel = channelMessageLength(row.status)) {
            const auto *data = reinterpret_cast<const std::uint8_t *>(m_grid.image().data()) + row.ref
                + (row.has(Row::ImpliedStatus) ? 0 : 1);
            key |= std::uint64_t { data[0] } << 8;
            if (channel == 3)
                key |= data[1];
        }
        return key;
    }

    // Two messages of one non-channel status in the group.
    bool hasLongTies()
    {
        std::uint8_t seen[256] = {};
        for (const std::uint64_t k : m_keys) {
            const auto status = static_cast<std::uint8_t>(k >> 48);
            if (!isChannelStatus(status) && seen[status]++)
                return true;
        }
        return false;
    }

    EventGrid &m_grid;
    std::vector<std::uint64_t> m_keys;
    std::vector<Row> m_rows;
};

void sortEqualTimes(EventGrid &grid, std::size_t first)
{
    const std::span<Row> rows = grid.rowData();
    TickSorter sorter(grid);
    std::size_t i = first;
    while (i < rows.size()) {
        std::size_t j = i + 1;
        while (j < rows.size() && rows[j].time() == rows[i].time())
            ++j;
        sorter.sort(i, j);
        i = j;
    }
}

// With few tracks the merge goes tick by tick: the smallest next time of all
// tracks, then every event at that tick from each track, then the tick's
// events sorted. Music puts many events on one tick, so this does far less
// work per event than a heap.
void mergeByTicks(std::vector<TrackCursor> &cursors, EventGrid &grid)
{
    TickSorter sorter(grid);
    std::vector<std::uint64_t> times;
    std::vector<TrackCursor *> active;
    for (TrackCursor &c : cursors) {
        times.push_back(c.time());
        active.push_back(&c);
    }
    while (!active.empty()) {
        const std::uint64_t tick = *std::min_element(times.begin(), times.end());
        const std::size_t groupStart = grid.rows();
        for (std::size_t k = 0; k < active.size();) {
            if (times[k] != tick) {
                ++k;
                continue;
            }
            TrackCursor &c = *active[k];
            do {
                appendCurrent(grid, c);
                c.advance();
            } while (!c.atEnd() && c.time() == tick);
            if (c.atEnd()) {
                times[k] = times.back();
                times.pop_back();
                active[k] = active.back();
                active.pop_back();
            } else {
                times[k] = c.time();
                ++k;
            }
        }
        sorter.sort(groupStart, grid.rows());
    }
}

} // namespace

void mergeTracks(const TrackScan &scan, EventGrid &grid)
{
    const std::string_view image = grid.image();
    const std::size_t first = grid.rows();
    grid.reserveRows(first + scan.events);

    std::vector<TrackCursor> cursors;
    cursors.reserve(scan.tracks.size());
    for (const TrackSpan &track : scan.tracks) {
        if (track.events > 0)
            cursors.emplace_back(image, track);
    }
    if (cursors.size() <= 32) {
        mergeByTicks(cursors, grid);
        return;
    }

    // A binary min-heap of the cursors by the time of their next event; each
    // track is in time order already, so this is a k-way merge.
    struct Entry
    {
        std::uint64_t time;
        TrackCursor *cursor;
    };
    std::vector<Entry> heap;
    heap.reserve(cursors.size());
    for (TrackCursor &c : cursors) {
        if (!c.atEnd())
            heap.push_back({ c.time(), &c });
    }
    auto later = [](const Entry &a, const Entry &b) { return a.time > b.time; };
    std::make_heap(heap.begin(), heap.end(), later);

    while (!heap.empty()) {
        TrackCursor *top = heap.front().cursor;
        // The smallest time among the other tracks: the top's own events up to
        // it need no heap work.
        std::uint64_t limit = UINT64_MAX;
        if (heap.size() > 1)
            limit = heap[1].time;
        if (heap.size() > 2 && heap[2].time < limit)
            limit = heap[2].time;
        do {
            appendCurrent(grid, *top);
            top->advance();
        } while (!top->atEnd() && top->time() <= limit);

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

    sortEqualTimes(grid, first);
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
    std::size_t size = header.size() + 4 + Title.size() + sizeof EndOfTrack + image.size() + rows.size();
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
            for (int i = 0; i < channel - 1; ++i)
                *out++ = data[i];
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
        output[18 + static_cast<std::size_t>(i)] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
    return output;
}

} // namespace trackfold
