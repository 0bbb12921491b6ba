// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_VERIFY_H
#define TRACKFOLD_VERIFY_H

#include <string>
#include <string_view>

namespace trackfold {

class EventGrid;

// Checks a written file against a finished conversion: the file, read back,
// must hold every event of the grid's event rows at the same absolute time and
// nothing else (its title and End of Track aside). True when it does;
// otherwise difference names the first event that is missing or extra.
bool verifyConversion(const EventGrid &converted, std::string written, std::string &difference);

} // namespace trackfold

#endif
