// SPDX-License-Identifier: MIT
#include "format0writer.h"

#include "fileio.h"
#include "texts.h"

#include <cerrno>

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace trackfold {

void StringSink::setTrackLength(std::uint32_t length)
{
    if (m_output.size() < HeaderAndFirstChunkSize)
        return;
    for (std::size_t i = 0; i < 4; ++i)
        m_output[18 + i] = static_cast<char>((length >> (24 - 8 * i)) & 0xFF);
}

void DescriptorSink::write(std::string_view bytes)
{
    if (m_error != 0)
        return;
    if (bytes.size() > m_room) {
        writeAllTo(m_fd, bytes.substr(0, static_cast<std::size_t>(m_room)));
        m_error = ENOSPC;
        return;
    }
    m_room -= bytes.size();
    m_error = writeAllTo(m_fd, bytes);
}

void DescriptorSink::setTrackLength(std::uint32_t length)
{
    const char field[4] = { static_cast<char>(length >> 24), static_cast<char>(length >> 16),
        static_cast<char>(length >> 8), static_cast<char>(length) };
    if (m_error == 0 && ::pwrite(m_fd, field, sizeof field, 18) != sizeof field)
        m_error = errno ? errno : EIO;
}

Format0Writer::Format0Writer(
    OutputSink &sink, std::string_view image, std::string_view header, std::string_view title)
    : m_sink(sink)
    , m_image(image)
    // A small input needs no large buffer: the output is at most its size, a
    // byte per event, header and End of Track.
    , m_capacity(std::min(MaxBufferSize, 2 * image.size() + 256))
    , m_buffer(new char[m_capacity]) // no zero-filling: every byte is written before use
{
    const std::string_view name = title.empty() ? std::string_view(texts::Title) : title;
    put(header);
    put(std::string_view("\x00\xFF\x03", 3));
    char length[4];
    put(std::string_view(length,
        static_cast<std::size_t>(writeVlq(static_cast<std::uint32_t>(name.size()), length))));
    put(name);
}

Format0Writer::Format0Writer(
    OutputSink &sink, std::string_view image, const EventRef &previous, std::size_t bufferSize)
    : m_sink(sink)
    , m_image(image)
    , m_capacity(std::min({ MaxBufferSize, bufferSize, 2 * image.size() + 256 }))
    , m_buffer(new char[m_capacity])
    , m_previousTime(previous.time())
    , m_previousStatus(previous.status)
{ }

bool Format0Writer::addPort(std::uint64_t time, std::uint8_t port)
{
    if (!deltaFits(m_previousTime, time))
        return false;
    char event[8];
    const auto deltaSize = static_cast<std::size_t>(
        writeVlq(static_cast<std::uint32_t>(time - m_previousTime), event));
    event[deltaSize] = static_cast<char>(0xFF);
    event[deltaSize + 1] = 0x21;
    event[deltaSize + 2] = 0x01;
    event[deltaSize + 3] = static_cast<char>(port);
    put(std::string_view(event, deltaSize + 4));
    m_previousTime = time;
    // A meta event: the channel message after it keeps its status byte.
    m_previousStatus = 0xFF;
    return true;
}

bool Format0Writer::join(const EncodedRun &run)
{
    if (run.events == 0)
        return true;
    if (!add(run.first))
        return false;
    if (!run.rest.empty()) {
        flush();
        m_sink.write(run.rest);
        m_flushed += run.rest.size();
    }
    m_events += run.events - 1;
    m_previousTime = run.lastTime;
    m_previousStatus = run.lastStatus;
    return true;
}

bool Format0Writer::finish(std::uint64_t endTime)
{
    const std::uint64_t time = std::max(endTime, m_previousTime);
    if (!deltaFits(m_previousTime, time))
        return false;
    char endOfTrack[8];
    const auto deltaSize = static_cast<std::size_t>(
        writeVlq(static_cast<std::uint32_t>(time - m_previousTime), endOfTrack));
    endOfTrack[deltaSize] = static_cast<char>(0xFF);
    endOfTrack[deltaSize + 1] = 0x2F;
    endOfTrack[deltaSize + 2] = 0x00;
    put(std::string_view(endOfTrack, deltaSize + 3));
    flush();
    // The track length counts everything after the 22 header bytes.
    m_sink.setTrackLength(static_cast<std::uint32_t>(m_flushed - HeaderAndFirstChunkSize));
    return true;
}

void Format0Writer::put(std::string_view bytes)
{
    if (m_capacity - m_used < bytes.size())
        flush();
    if (bytes.size() >= m_capacity) {
        // A long SysEx or meta event goes straight through.
        m_sink.write(bytes);
        m_flushed += bytes.size();
        return;
    }
    std::memcpy(m_buffer.get() + m_used, bytes.data(), bytes.size());
    m_used += bytes.size();
}

void Format0Writer::flush()
{
    if (m_used == 0)
        return;
    m_sink.write(std::string_view(m_buffer.get(), m_used));
    m_flushed += m_used;
    m_used = 0;
}

} // namespace trackfold
