// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTREF_H
#define TRACKFOLD_EVENTREF_H

#include <cstddef>
#include <cstdint>
#include <string_view>

// A reference to one event of a file image, and the limits of what such a
// reference holds. Everything above the reader keeps its events this way.
namespace trackfold {

// Largest absolute time an event holds (48 bits).
inline constexpr std::uint64_t MaxTime = (std::uint64_t { 1 } << 48) - 1;

// Largest input image whose bytes events can refer to (2 GiB - 1, so that an
// output with every running status restored still fits its length field).
inline constexpr std::size_t MaxImageSize = 0x7FFFFFFFu;

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

// Image index of the event's first data byte: the status byte, when the
// image holds it, comes first.
inline std::size_t dataPos(const EventRef &event)
{
    return std::size_t { event.ref } + (event.impliedStatus ? 0 : 1);
}

// The event's bytes as the image holds them: the status byte (unless implied)
// and the data. Empty when ref lies past the image; cut at its end.
std::string_view storedBytes(std::string_view image, const EventRef &event);

// The event's data bytes, without the status byte.
inline std::string_view dataBytes(std::string_view image, const EventRef &event)
{
    std::string_view stored = storedBytes(image, event);
    if (!stored.empty())
        stored.remove_prefix(dataPos(event) - event.ref);
    return stored;
}

} // namespace trackfold

#endif
