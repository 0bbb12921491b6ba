// SPDX-License-Identifier: MIT
#include "midievent.h"

namespace trackfold {

namespace {

inline std::uint8_t byteAt(std::string_view image, std::size_t pos)
{
    return static_cast<std::uint8_t>(image[pos]);
}

// Length of a system message that has a fixed size; 0 for the undefined ones
// (0xF1, 0xF4, 0xF5, 0xF7, 0xF9, 0xFD) and the variable ones (0xF0, 0xFF).
inline int systemMessageLength(std::uint8_t status)
{
    switch (status) {
    case 0xF2:
        return 3;
    case 0xF3:
        return 2;
    case 0xF6:
    case 0xF8:
    case 0xFA:
    case 0xFB:
    case 0xFC:
    case 0xFE:
        return 1;
    default:
        return 0;
    }
}

} // namespace

bool readVlq(std::string_view image, std::size_t pos, Vlq &vlq)
{
    vlq = {};
    for (int i = 0; i < 4; ++i) {
        if (pos + static_cast<std::size_t>(i) >= image.size())
            return false;
        const std::uint8_t b = byteAt(image, pos + static_cast<std::size_t>(i));
        vlq.value = (vlq.value << 7) | (b & 0x7F);
        vlq.size = i + 1;
        if (b < 0x80)
            break;
    }
    return true;
}

ParsedEvent readEventSlow(std::string_view image, std::size_t pos, std::uint8_t lastStatus)
{
    ParsedEvent event;
    auto failed = [&event](ReadOutcome outcome, std::size_t errorPos) {
        event.outcome = outcome;
        event.errorPos = errorPos;
        return event;
    };
    Vlq delta;
    if (!readVlq(image, pos, delta)) {
        return failed(ReadOutcome::Incomplete, image.size());
    }
    event.delta = delta.value;
    const std::size_t p = pos + static_cast<std::size_t>(delta.size);
    event.statusPos = p;
    event.metaType = 0;
    if (p >= image.size()) {
        return failed(ReadOutcome::Incomplete, p);
    }

    std::uint8_t s = byteAt(image, p);
    event.running = s < 0x80;
    if (event.running)
        s = lastStatus;
    event.status = s;

    const std::size_t left = image.size() - p;
    std::size_t length = 0;
    if (const int channel = channelMessageLength(s)) {
        // A running event holds only its data bytes.
        length = static_cast<std::size_t>(event.running ? channel - 1 : channel);
    } else if (!event.running && (s == 0xF0 || s == 0xFF)) {
        // SysEx: F0 <length> data; meta: FF <type> <length> data.
        const std::size_t lengthPos = p + (s == 0xFF ? 2 : 1);
        Vlq dataLength;
        if (lengthPos > image.size() || !readVlq(image, lengthPos, dataLength)) {
            return failed(ReadOutcome::Incomplete, p);
        }
        if (s == 0xFF)
            event.metaType = byteAt(image, p + 1);
        length = lengthPos - p + static_cast<std::size_t>(dataLength.size) + dataLength.value;
    } else if (const int system = event.running ? 0 : systemMessageLength(s)) {
        length = static_cast<std::size_t>(system);
    } else {
        // An undefined status, or a data byte with no channel status before it.
        return failed(ReadOutcome::UnknownStatus, p);
    }

    if (length > left) {
        return failed(ReadOutcome::Incomplete, p);
    }
    event.end = p + length;
    return event;
}

std::size_t storedEventLength(
    std::string_view image, std::size_t pos, std::uint8_t status, bool running)
{
    if (const int channel = channelMessageLength(status))
        return static_cast<std::size_t>(running ? channel - 1 : channel);
    if (status == 0xF0 || status == 0xFF) {
        const std::size_t lengthPos = pos + (status == 0xFF ? 2 : 1);
        Vlq dataLength;
        if (lengthPos > image.size() || !readVlq(image, lengthPos, dataLength))
            return image.size() > pos ? image.size() - pos : 0;
        return lengthPos - pos + static_cast<std::size_t>(dataLength.size) + dataLength.value;
    }
    return static_cast<std::size_t>(systemMessageLength(status));
}

std::string_view storedBytes(std::string_view image, const EventRef &event)
{
    if (event.ref > image.size())
        return {};
    return image.substr(
        event.ref, storedEventLength(image, event.ref, event.status, event.impliedStatus));
}

} // namespace trackfold
