// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTDESCRIPTION_H
#define TRACKFOLD_EVENTDESCRIPTION_H

#include <cstdint>
#include <string>
#include <string_view>

namespace trackfold {

// Describes one grid cell of event bytes in words, for the tooltip of its row:
// "Note On, canale 1, nota 60 (C4), velocità 64", in the window's language.
//
// hex is the cell text (two uppercase or lowercase hex digits per byte). When its
// first byte is a data byte the event uses running status and runningStatus
// (the status of the nearest row above that shows one) stands in for the missing
// byte. The 22-byte Format 0 header row is described too. Returns "" for text
// that is not an event (empty, not hex, cut short, no usable status). The result
// is UTF-8.
std::string describeEvent(std::string_view hex, std::uint8_t runningStatus = 0);

// Name of a MIDI note number with octave, middle C (60) being "C4".
std::string noteName(int note);

} // namespace trackfold

#endif
