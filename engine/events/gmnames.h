// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_GMNAMES_H
#define TRACKFOLD_GMNAMES_H

#include <cstdint>
#include <string_view>

namespace trackfold {

// The General MIDI Level 1 name of a program (0-127; the program change's data
// byte, one less than the number a synthesizer's panel shows).
std::string_view generalMidiProgramName(std::uint8_t program);

} // namespace trackfold

#endif
