// SPDX-License-Identifier: MIT
#include "format1writer.h"

#include "codecs.h"
#include "eventgrid.h"
#include "gmnames.h"
#include "pianoroll.h"
#include "texts.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace trackfold {

namespace {

// A track's bytes, collected until the file is put together; its length goes
// into its chunk header then.
class AppendSink final : public OutputSink
{
public:
    explicit AppendSink(std::string &bytes)
        : m_bytes(bytes)
    { }
    void write(std::string_view bytes) override { m_bytes.append(bytes); }
    void setTrackLength(std::uint32_t) override { }

private:
    std::string &m_bytes;
};

// Every track starts with its name at tick 0, a meta event: its first channel
// message keeps its status byte.
EventRef afterName()
{
    EventRef name;
    name.status = 0xFF;
    return name;
}

void appendBigEndian(std::string &out, std::uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The text of a meta event (FF type length text), or "" when it has none.
std::string_view metaText(std::string_view image, const EventRef &event)
{
    const std::string_view stored = storedBytes(image, event);
    Vlq length;
    if (stored.size() < 3 || !readVlq(stored, 2, length))
        return {};
    return stored.substr(2 + static_cast<std::size_t>(length.size));
}

} // namespace

struct Format1Writer::Track
{
    explicit Track(std::string_view image)
        : sink(bytes)
        , writer(sink, image, afterName())
    { }

    std::string bytes;
    AppendSink sink;
    Format0Writer writer;
    std::vector<EventRef> rows;
    // Stretches of the track's bytes in the temporary file, in order; bytes
    // holds what follows them.
    std::vector<std::pair<std::uint64_t, std::size_t>> spilled;
    std::uint64_t spilledSize = 0;
};

namespace {

// A segment's runs are written for every track at once, each through a
// buffer of this size.
constexpr std::size_t SegmentBuffer = std::size_t { 1 } << 12;

// A track's bytes go to the temporary file in stretches of this size.
constexpr std::size_t SpillBlock = std::size_t { 1 } << 16;

} // namespace

Format1Writer::Format1Writer(
    std::string_view image, const TrackScan &scan, bool keepRows, std::vector<std::uint8_t> ports)
    : m_image(image)
    , m_scan(scan)
    , m_keepRows(keepRows)
{
    if (ports.size() >= 2)
        m_ports = std::move(ports);
    m_tracks.resize(1 + 16 * std::max<std::size_t>(m_ports.size(), 1));
    m_facts.routes.resize(m_tracks.size());
    m_facts.instrumentNames.resize(scan.tracks.size());
    m_tracks[0] = std::make_unique<Track>(image);
}

Format1Writer::~Format1Writer()
{
    if (m_spillFd >= 0)
        ::close(m_spillFd);
}

void Format1Writer::spillInto(const std::string &folder)
{
    // An unnamed file, gone when it is closed whatever happens to the process.
    m_spillFd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
}

void Format1Writer::spill(Track &track)
{
    const std::string_view bytes = track.bytes;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::pwrite(m_spillFd, bytes.data() + done, bytes.size() - done,
            static_cast<off_t>(m_spillEnd + done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            // A full disk: the bytes stay in memory from here on.
            ::close(m_spillFd);
            m_spillFd = -1;
            return;
        }
        done += static_cast<std::size_t>(wrote);
    }
    track.spilled.emplace_back(m_spillEnd, bytes.size());
    track.spilledSize += bytes.size();
    m_spillEnd += bytes.size();
    track.bytes.clear();
}

namespace {

std::size_t inputTrackOf(const TrackScan &scan, std::uint32_t ref)
{
    const auto after = std::upper_bound(scan.tracks.begin(), scan.tracks.end(), ref,
        [](std::uint32_t pos, const TrackSpan &track) { return pos < track.begin; });
    return after == scan.tracks.begin() ? 0
                                        : static_cast<std::size_t>(after - scan.tracks.begin()) - 1;
}

} // namespace

void SplitFacts::learnOther(std::string_view image, const TrackScan &scan, const EventRef &event)
{
    if (event.status != 0xFF) {
        // Track 0 plays first at a tick, so a SysEx or system message that
        // followed channel events of its tick now comes before them.
        if (event.time() == lastChannelTime && !reorderedTick)
            reorderedTick = event.time();
    } else if (image[event.ref + 1] == 0x04) {
        std::string &name = instrumentNames[inputTrackOf(scan, event.ref)];
        if (name.empty())
            name = metaText(image, event);
    }
    ++routes[0].events;
}

void SplitFacts::learnFirst(const TrackScan &scan, Route &facts, const EventRef &event)
{
    facts.inputTrack = inputTrackOf(scan, event.ref);
}

void SplitFacts::add(const SplitFacts &later)
{
    for (std::size_t route = 0; route < routes.size() && route < later.routes.size(); ++route) {
        Route &facts = routes[route];
        const Route &next = later.routes[route];
        if (next.events == 0)
            continue;
        if (facts.events == 0) {
            facts = next;
            continue;
        }
        facts.oneInputTrack
            = facts.oneInputTrack && next.oneInputTrack && next.inputTrack == facts.inputTrack;
        if (facts.program < 0)
            facts.program = next.program;
        facts.events += next.events;
    }
    for (std::size_t track = 0; track < instrumentNames.size(); ++track) {
        if (instrumentNames[track].empty() && track < later.instrumentNames.size())
            instrumentNames[track] = later.instrumentNames[track];
    }
    if (!reorderedTick)
        reorderedTick = later.reorderedTick;
    if (later.lastChannelTime != UINT64_MAX)
        lastChannelTime = later.lastChannelTime;
}

SplitEncoder::SplitEncoder(std::string_view image, const TrackScan &scan, SplitRun &run)
    : m_image(image)
    , m_scan(scan)
    , m_run(run)
    , m_other(image, run.runs[0], SegmentBuffer)
{
    run.facts = {};
    run.facts.instrumentNames.resize(scan.tracks.size());
    run.broken = false;
}

bool SplitEncoder::addOther(const EventRef &event)
{
    m_run.facts.lastChannelTime = m_lastChannelTime;
    m_run.facts.learn(m_image, m_scan, event, 0);
    if (!m_other.add(event)) {
        m_run.broken = true;
        return false;
    }
    return true;
}

bool SplitEncoder::makeRoom(Channel &channel, const EventRef &event)
{
    EncodedRun &run = m_run.runs[1 + (event.status & 0x0F)];
    // rest grows a block at a time, within the room it had in an earlier
    // segment as long as that lasts: the block's bytes are filled just
    // before the events go there, while they are still in the cache.
    std::size_t used = 0;
    const bool first = channel.events == 1;
    if (first) {
        run.first = event;
        run.rest.clear();
        channel.previousTime = event.time();
        channel.previousStatus = event.status;
        channel.inputTrack = inputTrackOf(m_scan, event.ref);
        const TrackSpan &input = m_scan.tracks[channel.inputTrack];
        channel.inputBegin = input.begin;
        channel.inputLength = input.end - input.begin;
    } else {
        used = static_cast<std::size_t>(channel.out - run.rest.data());
    }
    run.rest.resize(run.rest.size() + SegmentBuffer);
    channel.out = run.rest.data() + used;
    channel.end = run.rest.data() + run.rest.size();
    return !first;
}

std::size_t SplitEncoder::finish()
{
    m_other.finish();
    m_run.facts.lastChannelTime = m_lastChannelTime;
    for (std::size_t index = 0; index < m_channels.size(); ++index) {
        const Channel &channel = m_channels[index];
        EncodedRun &run = m_run.runs[1 + index];
        run.events = channel.events;
        if (channel.events == 0)
            continue;
        run.rest.resize(static_cast<std::size_t>(channel.out - run.rest.data()));
        run.lastTime = channel.previousTime;
        run.lastStatus = channel.previousStatus;
        SplitFacts::Route &facts = m_run.facts.routes[1 + index];
        facts.events = channel.events;
        facts.inputTrack = channel.inputTrack;
        facts.oneInputTrack = channel.oneInputTrack;
        facts.program = channel.program;
    }
    return m_ticks;
}

std::uint64_t SplitEncoder::events() const
{
    std::uint64_t events = 0;
    for (const EncodedRun &run : m_run.runs)
        events += run.events;
    return events;
}

Format1Writer::Track &Format1Writer::track(std::size_t route)
{
    std::unique_ptr<Track> &slot = m_tracks[route];
    if (!slot)
        slot = std::make_unique<Track>(m_image);
    return *slot;
}

std::size_t Format1Writer::portIndexOf(const EventRef &event) const
{
    const auto port = std::lower_bound(m_ports.begin(), m_ports.end(), portAt(m_scan, event.ref));
    return static_cast<std::size_t>(port - m_ports.begin());
}

bool Format1Writer::add(const EventRef &event)
{
    const std::size_t route = routeOf(event);
    m_facts.learn(m_image, m_scan, event, route);
    Track &track = this->track(route);
    if (!track.writer.add(event))
        return false;
    if (m_keepRows)
        track.rows.push_back(event);
    if (m_spillFd >= 0 && track.bytes.size() >= SpillBlock)
        spill(track);
    ++m_events;
    return true;
}

bool Format1Writer::join(const SplitRun &run)
{
    if (run.broken)
        return false;
    for (std::size_t route = 0; route < Routes; ++route) {
        const EncodedRun &part = run.runs[route];
        if (part.events == 0)
            continue;
        Track &track = this->track(route);
        if (!track.writer.join(part))
            return false;
        m_events += part.events;
        if (m_spillFd >= 0 && track.bytes.size() >= SpillBlock)
            spill(track);
    }
    m_facts.add(run.facts);
    return true;
}

std::string Format1Writer::nameOf(std::size_t route) const
{
    const std::vector<TrackSpan> &inputs = m_scan.tracks;
    if (route == 0) {
        std::string title
            = inputs.empty() ? std::string() : trackNameAt(m_image, inputs[0].begin, inputs[0].end);
        return title.empty() ? std::string(texts::Title) : title;
    }
    const SplitFacts::Route &track = m_facts.routes[route];
    const std::size_t channel = (route - 1) % 16;
    if (track.oneInputTrack) {
        const TrackSpan &input = inputs[track.inputTrack];
        std::string name = trackNameAt(m_image, input.begin, input.end);
        if (name.empty())
            name = m_facts.instrumentNames[track.inputTrack];
        if (!name.empty())
            return name;
    }
    // General MIDI keeps channel 10 for percussion, whatever its program.
    if (channel == 9)
        return "Drums";
    if (track.program >= 0)
        return std::string(generalMidiProgramName(static_cast<std::uint8_t>(track.program)));
    return "Channel " + std::to_string(channel + 1);
}

bool Format1Writer::finish(OutputSink &sink, std::uint64_t endTime)
{
    m_used.clear();
    for (std::size_t route = 0; route < m_tracks.size(); ++route) {
        if (m_tracks[route] && (route == 0 || m_tracks[route]->writer.events() > 0))
            m_used.push_back(route);
    }
    for (const std::size_t route : m_used) {
        if (!m_tracks[route]->writer.finish(endTime))
            return false;
    }

    m_header.assign("MThd\0\0\0\x06\0\x01", 10);
    appendBigEndian(m_header, static_cast<std::uint32_t>(m_used.size()), 2);
    m_header.append(m_image.substr(12, 2)); // the division, as the input has it
    m_names.clear();
    m_chunkHeaders.clear();
    m_size = 0;
    for (const std::size_t route : m_used) {
        Track &track = *m_tracks[route];
        const std::string name = nameOf(route);
        std::string start("\x00\xFF\x03", 3);
        char length[4];
        start.append(length,
            static_cast<std::size_t>(writeVlq(static_cast<std::uint32_t>(name.size()), length)));
        start += name;
        if (route != 0 && !m_ports.empty()) {
            start.append("\x00\xFF\x21\x01", 4);
            start += static_cast<char>(m_ports[(route - 1) / 16]);
        }
        std::string chunk("MTrk");
        appendBigEndian(chunk,
            static_cast<std::uint32_t>(start.size() + track.spilledSize + track.bytes.size()), 4);
        if (route == 0) {
            sink.write(m_header);
            m_size += m_header.size();
            m_header += chunk;
        } else {
            m_chunkHeaders.push_back(chunk);
        }
        sink.write(chunk);
        sink.write(start);
        std::string block;
        for (const auto &[offset, length] : track.spilled) {
            block.resize(length);
            std::size_t got = 0;
            while (got < length) {
                const ssize_t read = ::pread(
                    m_spillFd, block.data() + got, length - got, static_cast<off_t>(offset + got));
                if (read < 0 && errno == EINTR)
                    continue;
                if (read <= 0) {
                    m_readError = read < 0 ? errno : EIO;
                    return false;
                }
                got += static_cast<std::size_t>(read);
            }
            sink.write(block);
        }
        sink.write(track.bytes);
        m_size += chunk.size() + start.size() + track.spilledSize + track.bytes.size();
        // What went out is not needed again.
        std::string().swap(track.bytes);
        m_names.push_back(name);
    }
    return true;
}

std::int64_t Format1Writer::lastRow() const
{
    return static_cast<std::int64_t>(m_events + m_chunkHeaders.size()) + 1;
}

void Format1Writer::fillGrid(EventGrid &grid) const
{
    grid.addHeaderRow(m_header);
    for (std::size_t i = 0; i < m_used.size(); ++i) {
        if (i > 0)
            grid.addChunkRow(m_chunkHeaders[i - 1]);
        for (const EventRef &event : m_tracks[m_used[i]]->rows)
            grid.addEvent(event);
    }
    grid.setOutputTrackNames(m_names);
}

} // namespace trackfold
