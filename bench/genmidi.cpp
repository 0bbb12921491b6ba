// SPDX-License-Identifier: MIT
// trackfold-genmidi: writes a large multi-track test file.

#include "midigenerator.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

namespace {

void usage(std::ostream &out)
{
    out << "Usage: trackfold-genmidi OUT.mid --tracks N --events-per-track M [--seed S] "
           "[--division D] [--humanised]\n"
           "\n"
           "Writes a Format 1 MIDI file of N tracks (a conductor track and N-1 instrument\n"
           "tracks) of M events each, End of Track not counted. The same options always\n"
           "give the same bytes. Defaults: 16 tracks, 60000 events, seed 1, division 480.\n"
           "--humanised: timing as in a recorded performance, nearly every event on a\n"
           "tick of its own (the file's division is 8 x D, D at most 4092).\n";
}

bool parseNumber(std::string_view text, std::uint64_t &value)
{
    const char *end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && !text.empty();
}

} // namespace

int main(int argc, char **argv)
{
    trackfold::bench::MidiGeneratorOptions options;
    std::string outPath;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            usage(std::cout);
            return 0;
        }
        if (arg == "--humanised") {
            options.humanised = true;
            continue;
        }
        if (arg == "--tracks" || arg == "--events-per-track" || arg == "--seed"
            || arg == "--division") {
            std::uint64_t value = 0;
            if (i + 1 >= argc || !parseNumber(argv[i + 1], value)) {
                std::cerr << "trackfold-genmidi: " << arg << " needs a whole number\n";
                return 2;
            }
            ++i;
            if (arg == "--tracks") {
                if (value < 1 || value > 0xFFFF) {
                    std::cerr << "trackfold-genmidi: --tracks must be 1 to 65535\n";
                    return 2;
                }
                options.tracks = static_cast<int>(value);
            } else if (arg == "--events-per-track") {
                options.eventsPerTrack = value;
            } else if (arg == "--seed") {
                options.seed = value;
            } else {
                if (value < 4 || value > 0x7FFF || value % 4 != 0) {
                    std::cerr << "trackfold-genmidi: --division must be a multiple of 4 from 4 to "
                                 "32764\n";
                    return 2;
                }
                options.division = static_cast<std::uint16_t>(value);
            }
            continue;
        }
        if (arg.starts_with("-") || !outPath.empty()) {
            std::cerr << "trackfold-genmidi: unexpected argument " << arg << "\n";
            usage(std::cerr);
            return 2;
        }
        outPath = arg;
    }
    if (outPath.empty()) {
        usage(std::cerr);
        return 2;
    }
    if (options.humanised
        && options.division * trackfold::bench::HumanisedTicksPerGridTick > 0x7FFF) {
        std::cerr << "trackfold-genmidi: --humanised takes a --division of at most 4092\n";
        return 2;
    }

    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        std::cerr << "trackfold-genmidi: cannot write " << outPath << ": " << std::strerror(errno)
                  << "\n";
        return 1;
    }
    std::uint64_t bytes = 0;
    bool tooLong = false;
    trackfold::bench::generateMidiFile(options, [&](std::string_view piece) {
        out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        bytes += piece.size();
        // A chunk length field holds 32 bits.
        if (piece.size() > 0xFFFFFFFFull)
            tooLong = true;
    });
    out.close();
    if (!out) {
        std::cerr << "trackfold-genmidi: cannot write " << outPath << ": " << std::strerror(errno)
                  << "\n";
        return 1;
    }
    if (tooLong) {
        std::remove(outPath.c_str());
        std::cerr << "trackfold-genmidi: a track exceeds 4 GiB; use more tracks or fewer events\n";
        return 1;
    }
    std::cout << outPath << ": " << options.tracks << " tracks, "
              << trackfold::bench::generatedEventCount(options) << " events, " << bytes
              << " bytes\n";
    return 0;
}
