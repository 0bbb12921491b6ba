// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TRACKREADER_H
#define TRACKFOLD_TRACKREADER_H

#include "midievent.h"

#include <cstdint>
#include <span>
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

// What unwrapping a RIFF MIDI file (RMID) found.
enum class RiffMidi : std::uint8_t {
    NotRiff, // the image does not start with "RIFF": a plain file
    Unwrapped, // the Standard MIDI File of the first "data" chunk
    NotRmid, // a RIFF file of another form
    NoData, // an RMID file without a "data" chunk
    Truncated, // a chunk's length runs past the end of the image
};

// For an image starting with "RIFF" and "RMID" (at 8), inner becomes the
// first "data" chunk's bytes: the chunks (LIST, INFO, DISP and any other)
// are walked by their little-endian lengths, a chunk of odd size followed by
// a pad byte.
RiffMidi unwrapRiffMidi(std::string_view image, std::string_view &inner);

// The big-endian 32-bit value of the four bytes at pos (a chunk's length).
std::uint32_t be32At(std::string_view image, std::size_t pos);

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

// Where a fold's writer stood before it joined a stretch of merged events (the
// stretches a long file is cut into at ticks, or the whole track in one), and
// once more after the last: the number of the stretch's first event, and where
// the track's reading stands before it.
struct WriterMark
{
    std::size_t event = 0;
    Checkpoint before;
};

// A MIDI port event (FF 21 01 pp) of a track: where it starts and its port.
struct PortMark
{
    std::uint32_t pos = 0;
    std::uint8_t port = 0;
};

struct TrackScan
{
    std::vector<TrackSpan> tracks;
    std::size_t events = 0; // collected events of all tracks
    std::uint32_t firstTrackLength = 0; // declared length of the first MTrk chunk
    std::uint64_t endTime = 0; // the latest end time of all tracks
    std::vector<Checkpoint> checkpoints; // of all tracks, track after track
    std::vector<PortMark> ports; // of all tracks, in file order; most files have none
    std::string warning; // set when the scan failed
    // With indexPorts: the stretches of the image in which one port is in
    // force, from their first byte, and for each page of PortPageBytes the
    // stretch in force where it begins.
    std::vector<PortMark> portStretches;
    std::vector<std::uint32_t> portPages;
};

// The pages by which indexPorts finds an event's stretch.
inline constexpr std::size_t PortPageBits = 12;

// Lets portAt find a port in constant time, for a file whose events go to
// several ports and so are all looked up.
void indexPorts(TrackScan &scan, std::size_t imageSize);

// Walks all tracks. False with scan.warning set on an unknown status byte, an
// event cut by the end of the image, or an absolute time past MaxTime.
// With two threads or more, a file of SplitScanMinBytes or more is read as
// scanTracksInTwo reads it.
bool scanTracks(std::string_view image, TrackScan &scan, unsigned threads = 1);

// From this size on a file's reading may be shared by two threads.
inline constexpr std::size_t SplitScanMinBytes = std::size_t { 1 } << 20;

// The same reading, the tracks of the file's second half read at once by a
// second thread where the file's track chunks follow each other to its end.
bool scanTracksInTwo(std::string_view image, TrackScan &scan);

// The port in force at the event at ref: that of the last port event before
// it in its own track, 0 in a track that has none before it.
std::uint8_t portAt(const TrackScan &scan, std::size_t ref);

// The ports of the scanned image, in increasing order: those its port events
// name, and port 0 when a channel or SysEx event comes before any port event
// of its track (only those events are read); empty for a file without port
// events.
std::vector<std::uint8_t> portsInUse(std::string_view image, const TrackScan &scan);

// True for the events that go to a port: channel messages and SysEx.
inline bool goesToPort(std::uint8_t status)
{
    return isChannelStatus(status) || status == 0xF0 || status == 0xF7;
}

// The input track chunk, counted from 1, whose events hold an image index;
// 0 before the first. Found in constant time: each page of the image notes
// how many chunks start at or before its first byte.
class TrackFinder
{
public:
    explicit TrackFinder(const TrackScan &scan, std::size_t imageSize);

    std::size_t trackAt(std::size_t ref) const
    {
        std::size_t track = m_pages[ref >> PageBits];
        while (track < m_starts.size() && m_starts[track] <= ref)
            ++track;
        return track;
    }

private:
    static constexpr std::size_t PageBits = 12;
    std::vector<std::size_t> m_starts;
    std::vector<std::uint32_t> m_pages;
};

// The input track (counted from 1) noted for each row of a fold, in width
// bytes a row (1, or 2 past 255 tracks), low byte first: the track of row
// `row`.
inline std::size_t rowTrackAt(std::span<const std::uint8_t> tracks, unsigned width, std::size_t row)
{
    const std::uint8_t *bytes = tracks.data() + row * width;
    return width == 1 ? bytes[0] : std::size_t { bytes[0] } | std::size_t { bytes[1] } << 8;
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
        // The scan has read these bytes already, so they read cleanly again.
        TrackEvent event;
        if (!m_reader.readKept(event, m_end)) {
            m_atEnd = true;
            return;
        }
        m_event.ref = static_cast<std::uint32_t>(event.ref);
        m_event.setTime(m_reader.time());
        m_event.status = event.status;
        m_event.impliedStatus = event.impliedStatus;
    }

private:
    TrackCursor(
        std::string_view image, const TrackSpan &track, const Checkpoint &from, std::size_t pos)
        : m_reader(image, pos, from.status, from.time)
        , m_end(track.end)
    {
        advance();
    }

    TrackEventReader m_reader;
    std::size_t m_end;
    EventRef m_event;
    bool m_atEnd = false;
};

} // namespace trackfold

#endif
