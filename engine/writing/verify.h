// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_VERIFY_H
#define TRACKFOLD_VERIFY_H

#include "conversion.h"
#include "trackreader.h"

#include <span>
#include <string>
#include <string_view>

namespace trackfold {

// Checks a written file against the input it was converted from: read back,
// it must hold one track with the input's merged events, in the same order
// (ties ordered as options say), each at its time, and nothing else (its title
// aside), with its End of Track where the input's tracks end. True when it
// does; otherwise difference names the first event that is missing or extra,
// or the End of Track's time.
// inputScan, when given, is the input's scan from its conversion; merged,
// when given for a fold, its events as the conversion merged them (a grid's
// rows), which the file is then compared with rather than with a new merge.
bool verifyConversion(std::string_view input, std::string_view written,
    const ConversionJob &options, std::string &difference, const TrackScan *inputScan = nullptr,
    std::span<const EventRef> merged = {});

} // namespace trackfold

#endif
