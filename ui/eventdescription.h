// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_EVENTDESCRIPTION_H
#define TRACKFOLD_EVENTDESCRIPTION_H

#include "eventref.h"

#include <string>
#include <string_view>

namespace trackfold {

// Describes one event of an image in words, for the tooltip of its row:
// "Note On, canale 1, nota 60 (C4), velocità 64", in the window's language.
// What is described is the event's status and the data bytes the image holds
// for it; an event with running status has the status it runs on. Returns ""
// for bytes that make no event (cut short, a data byte out of range, a status
// that is no message's). The result is UTF-8.
std::string describeEvent(std::string_view image, const EventRef &event);

// Describes the header row: the 14 bytes of a header chunk, and whatever
// follows them. Returns "" for bytes that do not start with one.
// The row of a split file's chunk header that starts one of its later tracks.
std::string describeTrackStart();

std::string describeHeader(std::string_view header);

// Name of a MIDI note number with octave, middle C (60) being "C4".
std::string noteName(int note);

} // namespace trackfold

#endif
