// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_MIDIGENERATOR_H
#define TRACKFOLD_MIDIGENERATOR_H

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// Large, realistic Format 1 files for benchmarks and hardening runs.
//
// Track 0 is a conductor track (tempo map, time and key signatures, markers,
// long text events, a GM reset). Every other track plays an instrument on its
// own channel (drums on channel 10): note on/off pairs, chords, controller
// streams, program changes, pitch bend, aftertouch, periodic SysEx, syllable
// lyrics and long lyric/text events whose lengths need two VLQ bytes. Channel
// messages use running status wherever the file format allows it (never
// across a meta event, a SysEx or a track start). All tracks play on a shared
// grid of sixteenth notes, so many events of different tracks fall on the same
// tick. With humanised timing every event is moved off the grid by a few
// milliseconds, as in a recorded performance: nearly every event then has a
// tick of its own. The output depends only on the options.
namespace trackfold::bench {

struct MidiGeneratorOptions
{
    int tracks = 16; // track chunks, conductor included; at least 1
    std::uint64_t eventsPerTrack = 60'000; // events of each track, End of Track not counted
    std::uint64_t seed = 1;
    std::uint16_t division = 480; // ticks per quarter note; a multiple of 4
    // Off the grid: the file's division is HumanisedTicksPerGridTick times
    // the one above, and every event lands up to a few milliseconds after its
    // place on the grid, never before the event before it in its track.
    bool humanised = false;
};

// How much finer the ticks of a humanised file are.
inline constexpr std::uint16_t HumanisedTicksPerGridTick = 8;

// The division written in the file's header.
std::uint16_t fileDivision(const MidiGeneratorOptions &options);

// Total events of the file, End of Track events not counted.
std::uint64_t generatedEventCount(const MidiGeneratorOptions &options);

// The whole file as an image (one char per byte).
std::string generateMidiFile(const MidiGeneratorOptions &options);

// The same bytes, handed to sink piece by piece (the header, then one whole track
// chunk at a time), so a file far larger than memory allows twice can be written.
void generateMidiFile(
    const MidiGeneratorOptions &options, const std::function<void(std::string_view)> &sink);

} // namespace trackfold::bench

#endif
