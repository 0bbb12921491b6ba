// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_DELTATIMES_H
#define TRACKFOLD_DELTATIMES_H

#include "codecs.h"

#include <cstdint>
#include <string>

// Delta times of the output track: each event's distance in ticks to the event
// before it, written as a variable-length quantity of at most four bytes.
namespace trackfold {

// True when the step from previous to current fits a four-byte quantity.
inline bool deltaFits(std::uint64_t previous, std::uint64_t current)
{
    return current >= previous && current - previous <= MaxVlq;
}

// The warning for a delta time that does not fit, naming the grid row it
// belongs to: "Riga N" CRLF "Delta time troppo grande - ...".
std::string deltaTooLargeWarning(std::uint64_t row);

} // namespace trackfold

#endif
