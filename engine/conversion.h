// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CONVERSION_H
#define TRACKFOLD_CONVERSION_H

#include "trackreader.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace trackfold {

class EventGrid;
class OutputSink;

enum class MessageIcon : std::uint8_t {
    Information,
    Warning, // the exclamation icon
    Critical,
};

struct Message
{
    MessageIcon icon = MessageIcon::Warning;
    std::string title;
    std::string text;
};

// What a conversion reports while it runs: the window shows it, the command
// line keeps the warnings, the tests record everything.
class ConversionObserver
{
public:
    virtual ~ConversionObserver() = default;
    // A phase caption; it must be shown at once (the caller's loop is not running).
    virtual void showStatus(const std::string &caption) = 0;
    // A warning for the user; the conversion goes on only after it returns.
    virtual void showMessage(const Message &message) = 0;
    // Busy pointer on (true) or back to normal (false).
    virtual void setBusy(bool busy) = 0;
};

// A monotonic clock in seconds, for the elapsed time of the report.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual double seconds() = 0;
};

// The system's steady clock.
class SteadyClock final : public Clock
{
public:
    double seconds() override;
};

// How a conversion orders the events that share one tick.
struct ConversionOptions
{
    // False: track order, then file order (how a player plays the input).
    // True: by the events' bytes, whatever track they came from.
    bool byteOrder = false;
    // Threads that may merge and write one long file together. The window
    // keeps its rows in one merge, and a batch converts a file on each core.
    unsigned threads = 1;
};

struct ConversionResult
{
    bool ok = false;
    // RIGHE: the index of the last grid row (the event count + 1).
    std::int64_t RIGHE = 0;
    // INIZIO: the clock's value when the reader started.
    double INIZIO = 0;
    // Bytes of output written.
    std::uint64_t outputSize = 0;
};

// An input whose header and tracks have been read and found sound: the first
// half of a conversion.
struct ScannedInput
{
    std::string_view image;
    TrackScan scan;
    std::string header; // the output's 22-byte header, its length still the first track's
    double INIZIO = 0;
};

// Checks the header and reads every track of image. With a grid, the grid
// receives the header row and where each track starts; it must own image
// already. False after a warning through the observer (invalid header, Format 2,
// unknown status byte, incomplete event, time too large). With two threads or
// more a long file's tracks are read by two at once.
bool scanInput(std::string_view image, ConversionObserver &observer, Clock &clock,
    ScannedInput &input, EventGrid *grid = nullptr, unsigned threads = 1);

// The second half: merges the scanned tracks and writes the Format 0 file to
// out as it is produced; with a grid, the grid receives the rows and headings.
// On failure (a delta time too large) a warning was shown and what out
// received is to be thrown away.
ConversionResult writeFormat0(const ScannedInput &input, OutputSink &out,
    ConversionObserver &observer, const ConversionOptions &options, EventGrid *grid = nullptr);

// Converts a Standard MIDI File image into a Format 0 file with one track,
// written to out as it is produced. Every collected event of every track goes
// into the one track, ordered by time (ties as the options say), with its delta
// time and, where the event before it has the same channel status, without its
// status byte; the output is the header, a fixed track name, the events and End
// of Track at the latest end of the input's tracks.
//
// With a grid, the grid also receives the rows, headings and header row; it
// must own image already (grid.image()). On failure (unknown status byte,
// incomplete event, invalid header, Format 2, time or delta too large) a warning
// was shown through the observer, result.ok is false and what out received is
// to be thrown away.
ConversionResult convertImage(std::string_view image, OutputSink &out, ConversionObserver &observer,
    Clock &clock, const ConversionOptions &options, EventGrid *grid = nullptr);

// The window's conversion: the grid takes the input image and the merged rows;
// returns the output image, or "" after a warning.
std::string SalvaMidi0(std::string StrMIDI, EventGrid &grid, ConversionObserver &observer,
    Clock &clock, ConversionResult &result, const ConversionOptions &options = {});

} // namespace trackfold

#endif
