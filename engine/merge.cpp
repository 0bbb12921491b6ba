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
void sortEqualTimes(EventGrid &grid, std::size_t first)
{
    const std::span<Row> rows = grid.rowData();
    auto less = [&grid](const Row &a, const Row &b) { return grid.compareEvents(a, b) < 0; };
    std::size_t i = first;
    while (i < rows.size()) {
        std::size_t j = i + 1;
        while (j < rows.size() && rows[j].time() == rows[i].time())
            ++j;
        if (j - i > 1) {
            auto begin = rows.begin() + static_cast<std::ptrdiff_t>(i);
            auto end = rows.begin() + static_cast<std::ptrdiff_t>(j);
            if (!std::is_sorted(begin, end, less))
                std::sort(begin, end, less);
        }
        i = j;
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

    // A binary min-heap of cursors by the time of their next event; each track
    // is in time order already, so this is a k-way merge.
    std::vector<TrackCursor *> heap;
    heap.reserve(cursors.size());
    for (TrackCursor &c : cursors) {
        if (!c.atEnd())
            heap.push_back(&c);
    }
    auto later = [](const TrackCursor *a, const TrackCursor *b) { return a->time() > b->time(); };
    std::make_heap(heap.begin(), heap.end(), later);

    while (!heap.empty()) {
        TrackCursor *top = heap.front();
        appendCurrent(grid, *top);
        top->advance();
        if (top->atEnd()) {
            std::pop_heap(heap.begin(), heap.end(), later);
            heap.pop_back();
            continue;
        }
        // Sift the advanced cursor down to its place.
        std::size_t i = 0;
        const std::size_t n = heap.size();
        while (true) {
            std::size_t child = 2 * i + 1;
            if (child >= n)
                break;
            if (child + 1 < n && heap[child + 1]->time() < heap[child]->time())
                ++child;
            if (heap[child]->time() >= top->time())
                break;
            heap[i] = heap[child];
            i = child;
        }
        heap[i] = top;
    }

    sortEqualTimes(grid, first);
}

bool fillDeltaTimes(EventGrid &grid, std::string &warning)
{
    const std::span<Row> rows = grid.rowData();
    for (std::size_t v = 2; v < rows.size(); ++v) {
        const std::uint64_t previous = grid.timeOf(v - 1);
        const std::uint64_t current = grid.timeOf(v);
        // A delta must fit a four-byte quantity.
        if (current < previous || current - previous > MaxVlq) {
            warning = "Riga " + std::to_string(v) + texts::Crlf + texts::DeltaTooLarge;
            return false;
        }
        if (rows[v].isEvent())
            rows[v].flags |= Row::DeltaShown;
        else
            grid.setTextMatrix(v, 1, LongToVlqHex(static_cast<std::int32_t>(current - previous)));
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

    std::string last = statusText(2);
    for (std::size_t g = 3; g < rows.size(); ++g) {
        // Fast path: two event rows compare their status bytes.
        if (rows[g].isEvent() && rows[g - 1].isEvent() && last.size() == 2) {
            if (rows[g].status == rows[g - 1].status) {
                if (isChannelStatus(rows[g].status))
                    rows[g].flags |= Row::StatusDropped;
            } else {
                last = ByteToHex2(rows[g].status);
            }
            continue;
        }
        const std::string current = statusText(g);
        if (current == last) {
            if (isChannelText(last)) {
                if (rows[g].isEvent())
                    rows[g].flags |= Row::StatusDropped;
                else
                    grid.setTextMatrix(g, 2, grid.textMatrix(g, 2).substr(2));
            }
        } else {
            last = current;
        }
    }
}

std::string buildOutputImage(const EventGrid &grid, std::string_view header)
{
    const std::span<const Row> rows = grid.rowData();
    static constexpr std::string_view Title = texts::Title;
    static constexpr char EndOfTrack[] = { 0x00, static_cast<char>(0xFF), 0x2F, 0x00 };

    // Size the image exactly first, so it is written in one allocation.
    std::size_t size = header.size() + 4 + Title.size() + sizeof EndOfTrack;
    for (std::size_t r = 2; r < rows.size(); ++r) {
        const Row &row = rows[r];
        if (row.isEvent()) {
            if (row.has(Row::DeltaShown))
                size += static_cast<std::size_t>(vlqSize(static_cast<std::uint32_t>(
                    row.time() - grid.timeOf(r - 1))));
            size += grid.eventLength(row) - (row.has(Row::StatusDropped) ? 1 : 0);
        } else {
            size += (grid.textMatrix(r, 1).size() + grid.textMatrix(r, 2).size()) / 2;
        }
    }

    std::string image;
    image.resize(size);
    char *out = image.data();
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
                if (hexToBytes(grid.textMatrix(r, col), bytes))
                    put(bytes);
            }
            previous = grid.timeOf(r);
            continue;
        }
        if (row.has(Row::DeltaShown))
            out += writeVlq(static_cast<std::uint32_t>(row.time() - previous), out);
        previous = row.time();
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
    image.resize(static_cast<std::size_t>(out - image.data()));

    // The track length counts everything after the 22 header bytes.
    const std::uint64_t length = image.size() - std::min(image.size(), header.size());
    for (int i = 0; i < 4; ++i)
        image[18 + static_cast<std::size_t>(i)] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
    return image;
}

} // namespace trackfold
