// SPDX-License-Identifier: MIT
#include "report.h"

#include "texts.h"

#include <cmath>
#include <cstdio>

namespace trackfold {

std::string FormatElapsed(std::int64_t seconds)
{
    if (seconds < 0)
        seconds = 0;
    // Hours are not shown: the minutes wrap at 60.
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = seconds / 60 - 60 * hours;
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(minutes),
        static_cast<long long>(seconds % 60));
    return text;
}

std::string FileNameOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string proposedOutputName(std::string_view input)
{
    // A MIDI file's own extension, in any letter case, gives way to "_.mid";
    // a karaoke file stays one.
    const std::size_t slash = input.find_last_of("/\\");
    const std::size_t dot = input.find_last_of('.');
    if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
        std::string ext(input.substr(dot + 1));
        for (char &c : ext)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (ext == "mid" || ext == "midi" || ext == "rmi" || ext == "kar")
            return std::string(input.substr(0, dot)) + (ext == "kar" ? "_.kar" : "_.mid");
    }
    // Any other name loses its last four characters.
    // Four characters, not bytes: a UTF-8 continuation byte (10xxxxxx) goes
    // with the character it belongs to, so a name is never cut inside one.
    std::size_t end = input.size();
    for (int characters = 0; characters < 4 && end > 0; ++characters) {
        --end;
        while (end > 0 && (static_cast<unsigned char>(input[end]) & 0xC0) == 0x80)
            --end;
    }
    return std::string(input.substr(0, end)) + "_.mid";
}

std::string conversionReport(
    std::int64_t rows, std::int64_t seconds, std::string_view outputPath, std::uint64_t outputSize)
{
    return tr(texts::ReportRows) + std::to_string(rows) + tr(texts::ReportTime)
        + FormatElapsed(seconds) + texts::ReportGap + FileNameOf(outputPath) + texts::ReportGap
        + std::to_string(outputSize) + tr(texts::Bytes);
}

std::int64_t elapsedSeconds(double start, double end)
{
    const double diff = end - start;
    return diff > 0 ? static_cast<std::int64_t>(std::llround(diff)) : 0;
}

} // namespace trackfold
