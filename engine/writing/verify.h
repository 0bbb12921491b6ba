// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_VERIFY_H
#define TRACKFOLD_VERIFY_H

#include "conversion.h"
#include "trackreader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

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

// The input a fold's written events are compared with as they are read back:
// each event is the next one of the input track that the writer noted for it.
struct FoldInput
{
    std::string_view image;
    const TrackScan &scan;
    // Each event's input track, counted from 1, in trackWidth bytes, low byte first.
    std::span<const std::uint8_t> rowTracks;
    unsigned trackWidth = 1;
};

// What reading a folded file back in its stretches found.
struct FoldReadBack
{
    // marks hold where every stride-th of its events starts.
    bool marked = false;
    // The file holds the input's merge (ties in track order), as
    // verifyConversion would find it. False says nothing either way: then
    // verifyConversion decides.
    bool matches = false;
};

// Reads the `events` events of a written fold from the writer's marks, a
// stretch on each free thread, and notes where every stride-th one starts in
// marks (the time before it, its position, the running status). Each stretch
// is read from the mark before it and must end where the next begins: so the
// file is read as from its start. With input, each event is also compared
// with the next one of its input track, in the same pass.
FoldReadBack readFoldBack(std::string_view written, std::span<const WriterMark> stretches,
    std::size_t events, std::size_t stride, std::vector<Checkpoint> &marks, unsigned threads,
    const FoldInput *input);

} // namespace trackfold

#endif
