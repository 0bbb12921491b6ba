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

// Reads the delta time and the event that start at pos with the given running
// status (0 = none). The event comes back by value: the reading loops keep
// its fields in registers instead of storing and reloading them per event.
inline ParsedEvent readEvent(std::string_view image, std::size_t pos, std::uint8_t lastStatus)
{
    // Most events are channel messages behind a delta time of one or two bytes;
    // with five bytes left such an event cannot run past the end.
    if (pos + 5 <= image.size()) {
        const auto *p = reinterpret_cast<const std::uint8_t *>(image.data()) + pos;
        std::uint32_t delta = p[0];
        std::size_t statusPos = pos + 1;
        if (delta >= 0x80) {
            if (p[1] >= 0x80)
                return readEventSlow(image, pos, lastStatus);
            delta = ((delta & 0x7F) << 7) | p[1];
            ++statusPos;
        }
        const auto first = static_cast<std::uint8_t>(image[statusPos]);
        const bool running = first < 0x80;
        const std::uint8_t status = running ? lastStatus : first;
        if (const int length = channelMessageLength(status)) {
            ParsedEvent event;
            event.delta = delta;
            event.statusPos = statusPos;
            event.status = status;
            event.running = running;
            event.end = statusPos + static_cast<std::size_t>(running ? length - 1 : length);
            return event;
        }
    }
    return readEventSlow(image, pos, lastStatus);
}

// Length of the stored bytes of an event that was read cleanly before: data
// starts at pos; running events hold only their data bytes there.
std::size_t storedEventLength(
    std::string_view image, std::size_t pos, std::uint8_t status, bool running);

} // namespace trackfold

#endif
