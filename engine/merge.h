// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MERGE_H
#define TRACKFOLD_MERGE_H

#include "eventgrid.h"
#include "midievent.h"
#include "trackreader.h"

#include <string>
#include <string_view>

// Second half of the conversion: the scanned tracks become grid rows in time
// order, get their delta times and running status, and are written out.
namespace trackfold {

// Walks the collected events of one scanned track, in file order, handing
// out each as a grid row.
class TrackCursor
{
    using Row = EventGrid::Row;

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
    // The grid row of the event the cursor stands on.
    const Row &row() const { return m_row; }

    void advance()
    {
        ParsedEvent event;
        std::size_t errorPos = 0;
        while (m_pos < m_end) {
            // The scan has read these bytes already, so they read cleanly again.
            readEvent(m_image, m_pos, m_status, event, errorPos);
            m_time += event.delta;
            m_pos = event.end;
            if (!event.running && isChannelStatus(event.status))
                m_status = event.status;
            if (event.status == 0xFF && isDroppedMeta(event.metaType))
                continue;
            m_row.ref = static_cast<std::uint32_t>(event.statusPos);
            m_row.setTime(m_time);
            m_row.status = event.status;
            m_row.flags
                = static_cast<std::uint8_t>(Row::Event | (event.running ? Row::ImpliedStatus : 0));
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
    Row m_row;
    bool m_atEnd = false;
};

// Appends every collected event of the scanned tracks to the grid (which holds
// the heading and header rows and owns the image), ordered by time, ties by
// event bytes.
void mergeTracks(const TrackScan &scan, EventGrid &grid);

// Marks column 1 of every event row as the delta time to the row above. False
// with a warning naming the row when a delta exceeds a four-byte quantity.
bool fillDeltaTimes(EventGrid &grid, std::string &warning);

// Drops the status byte of each channel event whose row above has the same status.
void restoreRunningStatus(EventGrid &grid);

// The Format 0 image: header (its length field set), title event, the rows'
// delta times and bytes, End of Track.
std::string buildOutputImage(const EventGrid &grid, std::string_view header);

} // namespace trackfold

#endif
