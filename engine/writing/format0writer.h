// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_FORMAT0WRITER_H
#define TRACKFOLD_FORMAT0WRITER_H

#include "codecs.h"
#include "deltatimes.h"
#include "eventgrid.h"
#include "runningstatus.h"
#include "trackreader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Writing the Format 0 file: header, title, the merged events with their delta
// times and running status, End of Track, and the track length.
namespace trackfold {

// Where the output goes as it is produced.
class OutputSink
{
public:
    virtual ~OutputSink() = default;
    // Appends bytes to the output.
    virtual void write(std::string_view bytes) = 0;
    // Sets the track length (bytes 19 to 22 of the file, big-endian) once
    // everything else is written.
    virtual void setTrackLength(std::uint32_t length) = 0;
};

// Output into a string.
class StringSink final : public OutputSink
{
public:
    explicit StringSink(std::string &output)
        : m_output(output)
    { }
    void write(std::string_view bytes) override { m_output.append(bytes); }
    void setTrackLength(std::uint32_t length) override;

private:
    std::string &m_output;
};

// Output straight into an open, seekable file: the bytes as they come, the
// track length written at its place at the end.
class DescriptorSink final : public OutputSink
{
public:
    // After failAfterBytes bytes every write fails as on a full disk (a
    // test's fault).
    explicit DescriptorSink(int fd, std::uint64_t failAfterBytes = UINT64_MAX)
        : m_fd(fd)
        , m_room(failAfterBytes)
    { }
    void write(std::string_view bytes) override;
    void setTrackLength(std::uint32_t length) override;
    // 0, or the errno value of the first failed write.
    int error() const { return m_error; }

private:
    int m_fd;
    std::uint64_t m_room;
    int m_error = 0;
};

// A stretch of the merged events written apart from the rest of the track, to
// be joined in its place: the first event as it is (its delta time and status
// depend on the event before it), the others already written after it.
struct EncodedRun
{
    EventRef first;
    std::string rest; // the events after the first, as the track holds them
    std::uint64_t events = 0; // the first one included; 0 for an empty run
    std::uint64_t lastTime = 0; // time and status of the last event
    std::uint8_t lastStatus = 0;
    // The event after the last one has a delta time that does not fit: the
    // track cannot go on past the run.
    bool broken = false;
    // The events written, in order, when whoever merges the run keeps them
    // (the window's table); else empty.
    std::vector<EventRef> rows;
    // Or only the input track of each, counted from 1.
    std::vector<std::uint16_t> tracks;
};

// Turns merged events into the output track. Every event gets its delta time
// to the event before it; a channel message leaves out its status byte when
// the event before it has the same one.
class Format0Writer
{
public:
    // Writes the 22-byte header (its track length is set by finish) and the
    // title event (title, or the fixed title when it is empty). image holds
    // the bytes the events refer to.
    Format0Writer(OutputSink &sink, std::string_view image, std::string_view header,
        std::string_view title = {});
    // Writes no header: the events added go on from previous, which belongs
    // to another part of the track (see EncodedRun).
    // It buffers at most bufferSize bytes before handing them to the sink.
    Format0Writer(OutputSink &sink, std::string_view image, const EventRef &previous,
        std::size_t bufferSize = MaxBufferSize);

    // Appends one event; false, writing nothing, when its delta time does not
    // fit a four-byte quantity.
    bool add(const EventRef &event)
    {
        const std::uint64_t time = event.time();
        if (!deltaFits(m_previousTime, time))
            return false;
        if (m_capacity - m_used < MaxShortEvent)
            flush();
        char *out = m_buffer.get() + m_used;
        out += writeVlq(static_cast<std::uint32_t>(time - m_previousTime), out);
        m_previousTime = time;
        const std::uint8_t previousStatus = m_previousStatus;
        m_previousStatus = event.status;
        ++m_events;
        if (const int channel = channelMessageLength(event.status)) {
            const std::size_t dataAt = dataPos(event);
            const char *data = m_image.data() + dataAt;
            const bool omitStatus
                = omitsStatus(previousStatus, event.status, static_cast<std::uint8_t>(data[0]));
            // The bytes go out without branches: each is written, and the end
            // moves past it only when it belongs to the event. Music mixes
            // two- and three-byte messages with and without status too
            // irregularly for a branch to guess.
            *out = static_cast<char>(event.status);
            out += omitStatus ? 0 : 1;
            out[0] = data[0];
            if (dataAt + 2 <= m_image.size()) // the second read stays inside the image
                out[1] = data[1];
            out += channel - 1;
            m_used = static_cast<std::size_t>(out - m_buffer.get());
            return true;
        }
        // Only channel messages use running status, so the image holds the
        // status byte of every other event.
        m_used = static_cast<std::size_t>(out - m_buffer.get());
        put(storedBytes(m_image, event));
        return true;
    }

    // Appends a MIDI port event (FF 21 01 port) at time; false, writing
    // nothing, when its delta time does not fit. It counts as no event.
    bool addPort(std::uint64_t time, std::uint8_t port);

    // Appends a run merged apart (nothing when it is empty); false, as add,
    // when the delta time of its first event does not fit.
    bool join(const EncodedRun &run);

    // Hands the buffered bytes to the sink.
    void flush();

    // Ends the track at endTime, or right after the last event when that is
    // later, and sets the track length. False when the End of Track's delta
    // time does not fit.
    bool finish(std::uint64_t endTime);

    // Events written so far.
    std::uint64_t events() const { return m_events; }
    // The grid row of the next event.
    std::uint64_t nextRow() const { return EventGrid::rowOfEvent(m_events); }
    // Bytes of output so far.
    std::uint64_t size() const { return m_flushed + m_used; }
    // Time and status of the last event written.
    std::uint64_t lastTime() const { return m_previousTime; }
    std::uint8_t lastStatus() const { return m_previousStatus; }

private:
    static constexpr std::size_t MaxBufferSize = std::size_t { 1 } << 16;
    // A delta time and a channel message.
    static constexpr std::size_t MaxShortEvent = 4 + 3;

    void put(std::string_view bytes);

    OutputSink &m_sink;
    std::string_view m_image;
    std::size_t m_capacity;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
    std::uint64_t m_previousTime = 0;
    std::uint8_t m_previousStatus = StatusBeforeFirstEvent;
    std::uint64_t m_events = 0;
};

// Writes merged events into a run (a segment's, or a segment's events of one
// track of a split): the first as it is, the others after it. Counts the
// distinct ticks.
class RunEncoder
{
public:
    // bufferSize as for Format0Writer: a split encodes many runs at once.
    RunEncoder(std::string_view image, EncodedRun &run, std::size_t bufferSize = SIZE_MAX)
        : m_image(image)
        , m_run(run)
        , m_sink(run.rest)
        , m_bufferSize(bufferSize)
    {
        run.rest.clear();
        run.events = 0;
        run.broken = false;
    }

    bool add(const EventRef &event)
    {
        m_ticks += event.time() != m_run.lastTime || !m_writer ? 1 : 0;
        if (!m_writer) {
            m_run.first = event;
            m_run.lastTime = event.time();
            m_writer.emplace(m_sink, m_image, event, m_bufferSize);
            return true;
        }
        m_run.lastTime = event.time();
        if (!m_writer->add(event)) {
            m_run.broken = true;
            return false;
        }
        return true;
    }

    // Ends the run; returns the distinct ticks.
    std::size_t finish()
    {
        if (m_writer) {
            m_writer->flush();
            m_run.events = m_writer->events() + 1;
            m_run.lastTime = m_writer->lastTime();
            m_run.lastStatus = m_writer->lastStatus();
        }
        return m_ticks;
    }

private:
    std::string_view m_image;
    EncodedRun &m_run;
    StringSink m_sink;
    std::size_t m_bufferSize;
    std::optional<Format0Writer> m_writer;
    std::size_t m_ticks = 0;
};

} // namespace trackfold

#endif
