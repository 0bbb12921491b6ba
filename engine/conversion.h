// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CONVERSION_H
#define TRACKFOLD_CONVERSION_H

#include <cstdint>
#include <string>

namespace trackfold {

class EventGrid;

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

// What a conversion needs from its caller: the window, the command line and the
// tests each bring their own.
class ConversionHost
{
public:
    virtual ~ConversionHost() = default;

    // The grid the conversion fills and leaves behind.
    virtual EventGrid &grid() = 0;
    // A phase caption; it must be shown at once (the caller's loop is not running).
    virtual void showStatus(const std::string &caption) = 0;
    // A warning for the user; the conversion goes on only after it returns.
    virtual void showMessage(const Message &message) = 0;
    // Busy pointer on (true) or back to normal (false).
    virtual void setBusy(bool busy) = 0;
    // A monotonic clock in seconds. A conversion reads it once, when the
    // reader starts, and hands the value to setINIZIO.
    virtual double timer() = 0;
    // RIGHE: index of the last grid row after the conversion.
    virtual void setRIGHE(std::int64_t rows) = 0;
    // INIZIO: timer value when the reader started.
    virtual void setINIZIO(double seconds) = 0;
};

// How a conversion orders the events that share one tick.
struct ConversionOptions
{
    // False: track order, then file order (how a player plays the input).
    // True: by the events' bytes, whatever track they came from.
    bool byteOrder = false;
};

// Converts a Standard MIDI File image (one char per byte) into a Format 0 image
// with one track. Every collected event of every track lands in the grid as one
// row, ordered by time (ties by event bytes), with its delta time and, where the
// row above has the same channel status, without its status byte. The output is
// the header, a fixed track name, the events and End of Track.
//
// Returns the output image, or "" after a warning was shown through the host
// (unknown status byte, incomplete event, invalid header, time too large).
// The grid takes over the input image: event rows refer to its bytes.
std::string SalvaMidi0(
    std::string StrMIDI, ConversionHost &host, const ConversionOptions &options = {});

} // namespace trackfold

#endif
