// SPDX-License-Identifier: MIT
#include "eventgrid.h"

#include "codecs.h"
#include "fileio.h"
#include "pianoroll.h"
#include "runningstatus.h"
#include "texts.h"

#include <algorithm>
#include <charconv>

namespace trackfold {

namespace {

// At least eight digits, zero-padded; longer times simply take more.
std::string timeText(std::uint64_t time)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, time);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    std::string out(length < 8 ? 8 - length : 0, '0');
    out.append(digits, length);
    return out;
}

} // namespace

void EventGrid::clear()
{
    m_headings = false;
    m_header.clear();
    m_events.clear();
    m_events.shrink_to_fit();
    m_image.clear();
    m_image.shrink_to_fit();
    m_folded.clear();
    m_rowTracks.clear();
    m_rowTracks.shrink_to_fit();
    m_inputTrackNames.clear();
    m_tracksOnly = false;
    m_finder.reset();
    m_stretches.clear();
    m_trackStarts.clear();
    m_chunks.clear();
    m_chunkRows.clear();
    m_outputTrackNames.clear();
    m_endTime = 0;
}

void EventGrid::setRows(std::size_t rows)
{
    m_rowCount = rows;
    if (rows < 2)
        m_header.clear();
    if (rows < 1)
        m_headings = false;
    if (rows < rowOfEvent(m_events.size()))
        m_events.resize(rows < FirstEventRow ? 0 : eventOfRow(rows));
    if (rows < rowOfEvent(eventCount()) && readsOutput()) {
        // Rows read from the output go all together.
        m_folded.clear();
        m_rowTracks.clear();
    }
    while (!m_chunkRows.empty() && m_chunkRows.back() >= rows)
        m_chunkRows.pop_back();
}

void EventGrid::adoptImage(std::string image)
{
    clear();
    setRows(1);
    m_image = std::move(image);
}

void EventGrid::reserveEvents(std::size_t events)
{
    if (m_tracksOnly) {
        m_rowTracks.reserve(m_rowTracks.size() + events * static_cast<std::size_t>(m_trackWidth));
        adviseHugePages(m_rowTracks.data(), m_rowTracks.capacity());
    } else
        m_events.reserve(m_events.size() + events);
}

bool EventGrid::readRowsFrom(ImageBytes &output, std::string_view input)
{
    const std::size_t events = collectedRows();
    stopCollecting(input);
    return keepRowsRead(events > 0 && m_folded.index(output, events));
}

bool EventGrid::adoptRows(ImageBytes &output, std::string_view input, std::vector<Checkpoint> marks)
{
    const std::size_t events = collectedRows();
    stopCollecting(input);
    if (events > 0)
        m_folded.adopt(output, std::move(marks), events);
    return keepRowsRead(events > 0);
}

void EventGrid::stopCollecting(std::string_view input)
{
    m_tracksOnly = false;
    m_finder.reset();
    m_inputTrackNames.clear();
    for (std::size_t track = 1; track <= m_trackStarts.size(); ++track)
        m_inputTrackNames.push_back(trackNameIn(input, track));
}

bool EventGrid::keepRowsRead(bool read)
{
    if (!read) {
        std::vector<std::uint8_t>().swap(m_rowTracks);
        m_rowCount = FirstEventRow;
    }
    return read;
}

void EventGrid::releaseInput()
{
    if (readsOutput())
        std::string().swap(m_image);
}

std::string EventGrid::inputTrackName(std::size_t track) const
{
    if (track >= 1 && track <= m_inputTrackNames.size())
        return m_inputTrackNames[track - 1];
    return trackNameIn(m_image, track);
}

std::string EventGrid::trackNameIn(std::string_view input, std::size_t track) const
{
    if (track == 0 || track > m_trackStarts.size())
        return {};
    // A track's events end at the next one's chunk header at the latest.
    const std::size_t end = track < m_trackStarts.size() ? m_trackStarts[track] - 8 : input.size();
    return trackNameAt(input, m_trackStarts[track - 1], end);
}

void EventGrid::addHeaderRow(std::string_view header)
{
    m_events.clear();
    m_chunks.clear();
    m_chunkRows.clear();
    m_rowCount = 2;
    m_header.assign(header);
}

void EventGrid::addChunkRow(std::string_view chunkHeader)
{
    Row row;
    row.ref = static_cast<std::uint32_t>(m_chunks.size());
    m_chunks.emplace_back();
    appendHex(m_chunks.back(), chunkHeader.data(), chunkHeader.size());
    m_chunkRows.push_back(m_rowCount);
    addEvent(row);
}

std::string EventGrid::textMatrix(std::size_t row, int col) const
{
    if (row >= m_rowCount || col < 0 || col >= Cols)
        return {};
    if (row == 0) {
        static constexpr const char *Headings[Cols]
            = { texts::HeadingAbsolute, texts::HeadingDelta, texts::HeadingData };
        return m_headings ? Headings[col] : std::string {};
    }
    if (row == HeaderRow) {
        if (m_header.empty())
            return {};
        if (col != 2)
            return "00";
        std::string text;
        appendHex(text, m_header.data(), m_header.size());
        return text;
    }
    return eventCell(row, col);
}

std::string EventGrid::eventCell(std::size_t row, int col) const
{
    const std::optional<Row> event = eventAt(row);
    if (!event)
        return {};
    if (isChunkRow(*event))
        return col == 2 ? m_chunks[event->ref] : std::string("00");
    std::optional<Row> above;
    if (row > FirstEventRow) {
        above = eventAt(row - 1);
        if (isChunkRow(*above))
            above.reset();
    }
    if (col == 0)
        return timeText(event->time());
    if (col == 1) {
        // The header row stands at time 0.
        const std::uint64_t previous = above ? above->time() : 0;
        if (event->time() < previous || event->time() - previous > MaxVlq)
            return {};
        return LongToVlqHex(static_cast<std::int32_t>(event->time() - previous));
    }
    const std::uint8_t statusAbove = above ? above->status : StatusBeforeFirstEvent;
    const std::string_view data = dataBytes(image(), *event);
    std::string text;
    text.reserve(2 * (data.size() + 1));
    const auto firstData = static_cast<std::uint8_t>(data.empty() ? 0 : data[0]);
    if (!omitsStatus(statusAbove, event->status, firstData)) {
        const char status = static_cast<char>(event->status);
        appendHex(text, &status, 1);
    }
    appendHex(text, data.data(), data.size());
    return text;
}

std::size_t EventGrid::trackOf(std::size_t row) const
{
    const std::optional<Row> event = eventAt(row);
    if (!event)
        return 0;
    if (readsOutput())
        return trackOfEvent(eventOfRow(row));
    if (!m_outputTrackNames.empty()) {
        // A split file's rows: the output tracks one after another.
        const auto after = std::upper_bound(m_chunkRows.begin(), m_chunkRows.end(), row);
        return static_cast<std::size_t>(after - m_chunkRows.begin()) + 1;
    }
    return trackAt(m_trackStarts, event->ref);
}

} // namespace trackfold
