// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TRACKREADER_H
#define TRACKFOLD_TRACKREADER_H

#include "midievent.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// First half of the conversion: checks the header and walks every track of the
// image, finding where each track's events lie and validating every event.
namespace trackfold {

// The file header chunk (14 bytes) and the first track chunk's tag and length
// (8): the bytes before the first event, and the output's header.
inline constexpr std::size_t HeaderAndFirstChunkSize = 22;

// True when the image starts with "MThd" and a header length of 6, and holds
// at least the 22 header bytes.
bool hasValidHeader(std::string_view image);

// The format field of the header (0, 1 or 2; any other value as read).
std::uint16_t formatOf(std::string_view image);

// The 22-byte header of the output: the input's first 14 bytes with format 0 and
// one track, then "MTrk" and the first track chunk's declared length.
std::string makeOutputHeader(std::string_view image, std::uint32_t firstTrackLength);

// The events of one track: [begin, end) in the image, read with the given
// running status at its start (the last status of the track before it).
struct TrackSpan
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint8_t entryStatus = 0;
    std::size_t events = 0; // collected events
    // Absolute time of the track's End of Track, or of its last byte read
    // when it has none.
    std::uint64_t endTime = 0;
    // The track's checkpoints: [firstCheckpoint, firstCheckpoint + checkpoints)
    // of TrackScan::checkpoints.
    std::size_t firstCheckpoint = 0;
    std::size_t checkpoints = 0;
};

// Every this many channel messages of a track, the scan notes where the
// track's reading stands, so that a reader can start in the middle.
inline constexpr std::size_t CheckpointEvents = 128;

// Where a track's reading stood after one of its events: the next event starts
// at pos, with this running status, after an event at this absolute time.
struct Checkpoint
{
    std::uint64_t time = 0;
    std::uint32_t pos = 0;
    std::uint8_t status = 0;
};

struct TrackScan
{
    std::vector<TrackSpan> tracks;
    std::size_t events = 0; // collected events of all tracks
    std::uint32_t firstTrackLength = 0; // declared length of the first MTrk chunk
    std::uint64_t endTime = 0; // the latest end time of all tracks
    std::vector<Checkpoint> checkpoints; // of all tracks, track after track
    std::string warning; // set when the scan failed
};

// Walks all tracks. False with scan.warning set on an unknown status byte, an
// event cut by the end of the image, or an absolute time past EventGrid::MaxTime.
// With two threads or more, a file of SplitScanMinBytes or more is read as
// scanTracksInTwo reads it.
bool scanTracks(std::string_view image, TrackScan &scan, unsigned threads = 1);

// From this size on a file's reading may be shared by two threads.
inline constexpr std::size_t SplitScanMinBytes = std::size_t { 1 } << 20;

// The same reading, the tracks of the file's second half read at once by a
// second thread where the file's track chunks follow each other to its end.
bool scanTracksInTwo(std::string_view image, TrackScan &scan);

// True for the meta events the output leaves out: End of Track, track name,
// MIDI port and channel prefix.
inline bool isDroppedMeta(std::uint8_t type)
{
    return type == 0x2F || type == 0x03 || type == 0x20 || type == 0x21;
}

// One collected event: where its bytes are in the image and its absolute
// time within its track. 12 bytes, so a grid of millions of rows stays small.
struct EventRef
{
    std::uint32_t ref = 0; // image index of the status byte, or of the first data byte when implied
    std::uint32_t timeLow = 0;
    std::uint16_t timeHigh = 0;
    std::uint8_t status = 0; // the status byte, whether or not the image holds it here
    bool impliedStatus = false; // running status: the image holds only the data bytes at ref

    std::uint64_t time() const { return (std::uint64_t { timeHigh } << 32) | timeLow; }
    void setTime(std::uint64_t t)
    {
        timeLow = static_cast<std::uint32_t>(t);
        timeHigh = static_cast<std::uint16_t>(t >> 32);
    }
};

// The event's bytes as the image holds them: the status byte (unless implied)
// and the data.
std::string_view storedBytes(std::string_view image, const EventRef &event);

// The event's data bytes, without the status byte.
inline std::string_view dataBytes(std::string_view image, const EventRef &event)
{
    std::string_view stored = storedBytes(image, event);
    if (!event.impliedStatus && !stored.empty())
        stored.remove_prefix(1);
    return stored;
}

// Walks the collected events of one scanned track, in file order.
class TrackCursor
{
public:
    TrackCursor(std::string_view image, const TrackSpan &track)
        : TrackCursor(image, track, Checkpoint { 0, 0, track.entryStatus }, track.begin)
    { }
    // A cursor on the track's first event after the checkpoint.
    TrackCursor(std::string_view image, const TrackSpan &track, const Checkpoint &from)
        : TrackCursor(image, track, from, from.pos)
    { }

    bool atEnd() const { return m_atEnd; }
    std::uint64_t time() const { return m_event.time(); }
    // The event the cursor stands on.
    const EventRef &event() const { return m_event; }

    void advance()
    {
        while (m_pos < m_end) {
            // Most events: a channel message behind a short delta time.
            ChannelEvent channel;
            if (readChannelEvent(m_image, m_pos, m_status, channel)) {
                m_time += channel.delta;
                m_status = channel.running ? m_status : channel.status;
                standOn(m_pos + channel.statusOffset, channel.status, channel.running);
                m_pos += channel.size;
                return;
            }
            // The scan has read these bytes already, so they read cleanly again.
            const ParsedEvent event = readEventSlow(m_image, m_pos, m_status);
            m_time += event.delta;
            m_pos = event.end;
            if (!event.running && isChannelStatus(event.status))
                m_status = event.status;
            if (event.status == 0xFF && isDroppedMeta(event.metaType))
                continue;
            standOn(event.statusPos, event.status, event.running);
            return;
        }
        m_atEnd = true;
    }

private:
    TrackCursor(
        std::string_view image, const TrackSpan &track, const Checkpoint &from, std::size_t pos)
        : m_image(image)
        , m_pos(pos)
        , m_end(track.end)
        , m_status(from.status)
        , m_time(from.time)
    {
        advance();
    }

    void standOn(std::size_t ref, std::uint8_t status, bool impliedStatus)
    {
        m_event.ref = static_cast<std::uint32_t>(ref);
        m_event.setTime(m_time);
        m_event.status = status;
        m_event.impliedStatus = impliedStatus;
    }

    std::string_view m_image;
    std::size_t m_pos;
    std::size_t m_end;
    std::uint8_t m_status;
    std::uint64_t m_time;
    EventRef m_event;
    bool m_atEnd = false;
};

} // namespace trackfold

#endif
