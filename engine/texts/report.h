// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_REPORT_H
#define TRACKFOLD_REPORT_H

#include <cstdint>
#include <string>
#include <string_view>

// Texts the window's status line and the command line share.
namespace trackfold {

// Minutes within the hour and seconds, two digits each: 3725 -> "02:05".
// Negative values count as 0.
std::string FormatElapsed(std::int64_t seconds);

// The part of a path after its last '/' or '\'; the whole path when it has none.
std::string FileNameOf(std::string_view path);

// The output name proposed for an input: the path without its extension when
// that is .mid, .midi, .rmi or .kar in any letter case, followed by "_.mid"
// ("song.MIDI" -> "song_.mid"), or "_.kar" for .kar ("song.kar" ->
// "song_.kar"); any other path without its last four characters (UTF-8
// characters, not bytes), followed by "_.mid".
std::string proposedOutputName(std::string_view input);

// "Righe: N      Tempo di elab.: mm:ss      name      size bytes"
std::string conversionReport(
    std::int64_t rows, std::int64_t seconds, std::string_view outputPath, std::uint64_t outputSize);

// Whole seconds between two timer values, rounded to the nearest.
std::int64_t elapsedSeconds(double start, double end);

} // namespace trackfold

#endif
