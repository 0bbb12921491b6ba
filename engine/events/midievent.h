// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MIDIEVENT_H
#define TRACKFOLD_MIDIEVENT_H

#include "eventref.h"

#include <cstdint>
#include <string_view>

// Reading single events out of a file image. Every read checks the bytes left
// first; nothing here ever touches a byte outside the image.
namespace trackfold {

// Length of a channel message (status included) for status 0x80-0xEF; 0 otherwise.
inline int channelMessageLength(std::uint8_t status)
{
    // Indexed by the status byte's high nibble.
    static constexpr std::uint8_t Lengths[16] = { 0, 0, 0, 0, 0, 0, 0, 0, 3, 3, 3, 3, 2, 2, 3, 0 };
    return Lengths[status >> 4];
}

inline bool isChannelStatus(std::uint8_t status)
{
    return status >= 0x80 && status <= 0xEF;
}

// A variable-length quantity read from the image: at most four bytes, the
// reading stops after the fourth whatever its top bit.
struct Vlq
{
    std::uint32_t value = 0;
    int size = 0;
};

// Reads a VLQ at pos. False when the image ends before the quantity does.
bool readVlq(std::string_view image, std::size_t pos, Vlq &vlq);

enum class ReadOutcome : std::uint8_t {
    Ok,
    Incomplete, // the event runs past the end of the image
    UnknownStatus, // the status byte belongs to no known message
    TimeTooLarge, // the event's absolute time is past MaxTime
};

// One event as the reader met it.
struct ParsedEvent
{
    std::uint32_t delta = 0; // delta time in ticks
    std::size_t statusPos = 0; // where the status byte is, or the first data byte when running
    std::size_t end = 0; // one past the event's last byte
    std::uint8_t status = 0; // after running-status substitution
    bool running = false; // status byte implied, not present in the image
    std::uint8_t metaType = 0; // second byte of a meta event (0xFF)
    ReadOutcome outcome = ReadOutcome::Ok;
    // On Incomplete, the image index where the status byte is looked for, or
    // image.size() when the delta time itself is cut; on UnknownStatus, the
    // status position (status then holds the status).
    std::size_t errorPos = 0;
};

// Reads the delta time and the event that start at pos with the given running
// status (0 = none): any event, for TrackEventReader where readChannelEvent
// does not.
ParsedEvent readEventSlow(std::string_view image, std::size_t pos, std::uint8_t lastStatus);

// A channel message behind a delta time of one or two bytes: most events of
// any file.
struct ChannelEvent
{
    std::uint32_t delta = 0;
    std::uint32_t size = 0; // bytes from the delta time to the event's end
    std::uint32_t statusOffset = 0; // from pos to the status byte (or first data byte)
    std::uint8_t status = 0;
    bool running = false;
};

// Reads such an event at pos; false for anything else, which readEventSlow
// reads. A small struct filled in place: the reading loops keep it in
// registers.
inline bool readChannelEvent(
    std::string_view image, std::size_t pos, std::uint8_t lastStatus, ChannelEvent &event)
{
    // With five bytes left such an event cannot run past the end.
    if (pos + 5 > image.size())
        return false;
    const auto *p = reinterpret_cast<const std::uint8_t *>(image.data()) + pos;
    std::uint32_t delta = p[0];
    std::uint32_t offset = 1;
    if (delta >= 0x80) {
        if (p[1] >= 0x80)
            return false;
        delta = ((delta & 0x7F) << 7) | p[1];
        offset = 2;
    }
    const std::uint8_t first = p[offset];
    const bool running = first < 0x80;
    const std::uint8_t status = running ? lastStatus : first;
    const int length = channelMessageLength(status);
    if (length == 0)
        return false;
    event.delta = delta;
    event.statusOffset = offset;
    event.size = offset + static_cast<std::uint32_t>(running ? length - 1 : length);
    event.status = status;
    event.running = running;
    return true;
}

// True for the meta events the output leaves out: End of Track, track name,
// MIDI port and channel prefix.
inline bool isDroppedMeta(std::uint8_t type)
{
    return type == 0x2F || type == 0x03 || type == 0x20 || type == 0x21;
}

// One event as a track's reader met it.
struct TrackEvent
{
    std::size_t ref = 0; // image index of the status byte, or of the first data byte when implied
    std::size_t end = 0; // one past the event's last byte
    std::uint8_t status = 0; // after running-status substitution
    bool impliedStatus = false; // running status: the image holds only the data bytes at ref
    std::uint8_t metaType = 0; // second byte of a meta event (status 0xFF)
    // Where a read that failed stopped: on Incomplete the image index where
    // the status byte is looked for, or image.size() when the delta time
    // itself is cut; on UnknownStatus and TimeTooLarge the status position
    // (status then holds the status).
    std::size_t errorPos = 0;

    bool isMeta(std::uint8_t type) const { return metaType == type && status == 0xFF; }
    bool endsTrack() const { return isMeta(0x2F); }
    // A meta event the output leaves out (End of Track among them).
    bool dropped() const { return isDroppedMeta(metaType) && status == 0xFF; }
};

// Reads the events of a track one after another: each delta time is added to
// the track's time, and the status of a channel message runs on to the
// events after it that leave theirs out. Channel messages behind short delta
// times, most events of any file, are read inline; the reader is small and
// stays in registers in the reading loops.
class TrackEventReader
{
public:
    // Reads from pos, with the running status (0 = none) and the time of the
    // event before it.
    TrackEventReader(
        std::string_view image, std::size_t pos, std::uint8_t status, std::uint64_t time = 0)
        : m_image(image)
        , m_pos(pos)
        , m_time(time)
        , m_status(status)
    { }

    // Reads the event at pos() into event and moves past it. Anything but Ok
    // tells why the event cannot be read (event.errorPos says where); the
    // track cannot be read on from there.
    ReadOutcome read(TrackEvent &event)
    {
        if (readShort(event))
            return checkTime(event);
        return readOther(event);
    }

    // Reads on to the next event the output keeps, passing over dropped meta
    // events, in a track that has been read cleanly before; false when no
    // such event starts before end. In a track that has not, an event that
    // cannot be read ends the reading there too (pos() is then end).
    bool readKept(TrackEvent &event, std::size_t end)
    {
        while (m_pos < end) {
            if (readShort(event))
                return true;
            const ReadOutcome outcome = readOther(event);
            if (outcome == ReadOutcome::Ok && !event.dropped())
                return true;
            if (outcome != ReadOutcome::Ok)
                m_pos = end;
        }
        return false;
    }

    // Goes on at pos, where a track's events start, from time 0; the running
    // status stays as the track before left it.
    void startTrack(std::size_t pos)
    {
        m_pos = pos;
        m_time = 0;
    }

    // Where the next event starts.
    std::size_t pos() const { return m_pos; }
    // The absolute time of the last event read.
    std::uint64_t time() const { return m_time; }
    // The running status for the next event.
    std::uint8_t status() const { return m_status; }

private:
    // A channel message behind a short delta time, or false.
    bool readShort(TrackEvent &event)
    {
        ChannelEvent channel;
        if (!readChannelEvent(m_image, m_pos, m_status, channel))
            return false;
        event.ref = m_pos + channel.statusOffset;
        event.status = channel.status;
        event.impliedStatus = channel.running;
        event.metaType = 0;
        m_pos += channel.size;
        event.end = m_pos;
        // A running event has the status it runs on.
        m_status = channel.status;
        m_time += channel.delta;
        return true;
    }

    // Any other event.
    ReadOutcome readOther(TrackEvent &event)
    {
        const ParsedEvent parsed = readEventSlow(m_image, m_pos, m_status);
        // Every field is set whatever the outcome, so that a loop that reads
        // the event in registers has nothing to set up before each read.
        event.ref = parsed.statusPos;
        event.end = parsed.end;
        event.status = parsed.status;
        event.impliedStatus = parsed.running;
        event.metaType = parsed.metaType;
        if (parsed.outcome != ReadOutcome::Ok) {
            event.errorPos = parsed.errorPos;
            return parsed.outcome;
        }
        m_pos = parsed.end;
        // Only channel messages set a status that later events may leave out.
        if (isChannelStatus(parsed.status))
            m_status = parsed.status;
        m_time += parsed.delta;
        return checkTime(event);
    }

    ReadOutcome checkTime(TrackEvent &event) const
    {
        if (m_time <= MaxTime)
            return ReadOutcome::Ok;
        event.errorPos = event.ref;
        return ReadOutcome::TimeTooLarge;
    }

    std::string_view m_image;
    std::size_t m_pos;
    std::uint64_t m_time;
    std::uint8_t m_status;
};

// Length of the stored bytes of an event that was read cleanly before: data
// starts at pos; running events hold only their data bytes there.
std::size_t storedEventLength(
    std::string_view image, std::size_t pos, std::uint8_t status, bool running);

} // namespace trackfold

#endif
