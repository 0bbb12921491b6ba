// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MIDIEVENT_H
#define TRACKFOLD_MIDIEVENT_H

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

// The general case of readEvent.
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

// Reads the delta time and the event that start at pos with the given running
// status (0 = none).
inline ParsedEvent readEvent(std::string_view image, std::size_t pos, std::uint8_t lastStatus)
{
    ChannelEvent channel;
    if (!readChannelEvent(image, pos, lastStatus, channel))
        return readEventSlow(image, pos, lastStatus);
    ParsedEvent event;
    event.delta = channel.delta;
    event.statusPos = pos + channel.statusOffset;
    event.status = channel.status;
    event.running = channel.running;
    event.end = pos + channel.size;
    return event;
}

// Length of the stored bytes of an event that was read cleanly before: data
// starts at pos; running events hold only their data bytes there.
std::size_t storedEventLength(
    std::string_view image, std::size_t pos, std::uint8_t status, bool running);

} // namespace trackfold

#endif
