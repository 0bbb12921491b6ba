// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CONVERSION_H
#define TRACKFOLD_CONVERSION_H

#include "fileio.h"

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace trackfold {

class EventGrid;
class InputFile;
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
    // How far the writing has come: done of total events. Called now and then
    // (every segment, or every 65,536 events) on the converting thread.
    virtual void showProgress(std::uint64_t done, std::uint64_t total)
    {
        (void)done;
        (void)total;
    }
    // The output file is in place and the grid complete; the check of the
    // file (when asked for) follows on the converting thread. The grid may be
    // read, not changed, from another thread from now on.
    virtual void outputWritten() { }
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

// What to do with one file: everything that is not the file itself.
struct ConversionJob
{
    // False: events at one tick in track order, then file order (how a
    // player plays the input). True: by the events' bytes, whatever track
    // they came from.
    bool byteOrder = false;
    // Threads that may merge, write and check one long file together (the
    // window's fold keeps its rows as the segments are joined); a batch
    // converts a file on each core instead.
    unsigned threads = 1;
    // Read the written output back (or check the bytes sent) against the input.
    bool verify = false;
    // Never replace an existing output file.
    bool keepExisting = false;
    // 0: fold every track into one (Format 0). 1: split into a conductor
    // track and one track per channel (Format 1), always in the input's
    // order at a tick.
    int format = 0;
    // The fold's one track name: the input's title (the first track name of
    // its first track) when it has one, rather than the fixed title.
    bool keepTitle = false;
    // Set by another thread to stop the conversion: it ends as Cancelled, the
    // output where it was (a file target) untouched. Looked at between the
    // phases and as the events are written, up to the moment the output is
    // in place.
    const std::atomic<bool> *cancel = nullptr;

    bool cancelled() const { return cancel && cancel->load(std::memory_order_relaxed); }
};

// Where the input comes from.
class Source
{
public:
    enum class Kind : std::uint8_t { File, Stream, Bytes, Owned };

    // A file, read through buffer when one is given (mapped, or into a buffer
    // kept from file to file), whole into the grid when there is one.
    static Source file(std::string path, InputFile *buffer = nullptr);
    // Everything a stream holds (standard input); nullptr fails as a closed one.
    static Source stream(std::istream *in, std::string name);
    // Bytes the caller keeps alive for the conversion; a grid takes a copy.
    static Source bytes(std::string_view image, std::string name = {});
    // Bytes handed over: a grid adopts them without a copy (convert takes its
    // source by value for that).
    static Source owned(std::string image, std::string name = {});

    Kind kind() const { return m_kind; }
    // The path, or the name the caller gave the input.
    const std::string &name() const { return m_name; }

private:
    friend class SourceLoader;
    Kind m_kind = Kind::Bytes;
    std::string m_name;
    InputFile *m_buffer = nullptr;
    std::istream *m_stream = nullptr;
    std::string_view m_view;
    std::string m_owned;
};

// Where the output goes.
class Target
{
public:
    enum class Kind : std::uint8_t { File, Stream, Memory, Sink };

    // A file replaced atomically (see writeFileAtomicallyWith); with
    // createFolders its missing folders are made first.
    static Target file(std::string path, bool createFolders = false, WriteFaults faults = {});
    // A stream (standard output): the whole output is made, then written;
    // nullptr fails as a closed stream.
    static Target stream(std::ostream *out);
    // A string that receives the output (emptied first).
    static Target memory(std::string &out);
    // A sink of the caller's, written as the output is made.
    static Target sink(OutputSink &sink);

    Kind kind() const { return m_kind; }
    const std::string &path() const { return m_path; }

private:
    friend struct TargetWriter;
    Kind m_kind = Kind::Memory;
    std::string m_path;
    bool m_createFolders = false;
    WriteFaults m_faults;
    std::ostream *m_stream = nullptr;
    std::string *m_memory = nullptr;
    OutputSink *m_sink = nullptr;
};

enum class ConversionStatus : std::uint8_t {
    Converted,
    CannotOpen, // error: the system's reason
    ConversionFailed, // the warning went through the observer
    CannotSave, // error: the system's reason; nothing at the output changed
    OutputExists, // with keepExisting
    VerifyFailed, // error: the system's reason or the first difference
    Cancelled, // job.cancel was set before the output was in place: nothing changed
};

struct ConversionResult
{
    ConversionStatus status = ConversionStatus::ConversionFailed;
    std::string error;
    // RIGHE: the index of the last grid row (the event count + 1).
    std::int64_t RIGHE = 0;
    // INIZIO: the clock's value when the reader started.
    double INIZIO = 0;
    // Bytes of output written.
    std::uint64_t outputSize = 0;
    // What the user should know of a conversion that succeeded (a split that
    // moved a SysEx before channel events of its tick), in the user's language.
    std::string warning;

    // The output was made (a failed check aside).
    bool converted() const
    {
        return status == ConversionStatus::Converted || status == ConversionStatus::VerifyFailed;
    }
};

// Converts a Standard MIDI File into a Format 0 file with one track. Every
// collected event of every track goes into the one track, ordered by time
// (ties as the job says), with its delta time and, where the event before it
// has the same channel status, without its status byte; the output is the
// header, a fixed track name, the events and End of Track at the latest end of
// the input's tracks.
//
// In order: an existing file target with job.keepExisting gives OutputExists;
// the source is read (CannotOpen); the input is checked and converted, the
// output written as it is produced (ConversionFailed after a warning through
// the observer: unknown status byte, incomplete event, invalid header,
// Format 2, time or delta too large); the target gets all or nothing
// (CannotSave); with job.verify the output is checked (VerifyFailed).
//
// With a grid, the grid takes the input image and receives the header row,
// the merged rows and the headings.
ConversionResult convert(Source source, const Target &target, const ConversionJob &job,
    ConversionObserver &observer, Clock &clock, EventGrid *grid = nullptr);

// The window's conversion: the grid takes the input image and the merged rows;
// returns the output image, or "" after a warning.
std::string SalvaMidi0(std::string StrMIDI, EventGrid &grid, ConversionObserver &observer,
    Clock &clock, ConversionResult &result, const ConversionJob &job = {});

} // namespace trackfold

#endif
