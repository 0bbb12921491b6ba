// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_RUNNINGSTATUS_H
#define TRACKFOLD_RUNNINGSTATUS_H

#include "midievent.h"

#include <cstdint>

// Running status in the output track.
namespace trackfold {

// The status byte of the event before the first one: the title is a meta
// event, so the first event always keeps its status byte.
inline constexpr std::uint8_t StatusBeforeFirstEvent = 0xFF;

// True when an event with this status leaves its status byte out: a channel
// message whose status equals that of the event right before it. SysEx,
// system and meta events always keep theirs, and a different status between
// two channel messages makes the second keep its own. So does a message whose
// first data byte has its top bit set (a broken file's): without its status a
// reader would take that byte for one.
inline bool omitsStatus(std::uint8_t previousStatus, std::uint8_t status, std::uint8_t firstData)
{
    return status == previousStatus && isChannelStatus(status) && firstData < 0x80;
}

} // namespace trackfold

#endif
