// SPDX-License-Identifier: MIT
#include "trackreader.h"

#include "midievent.h"
#include "texts.h"
#include "threads.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <optional>

namespace trackfold {

namespace {

struct ChunkHeader
{
    std::string_view tag;
    std::uint32_t length = 0;
};

// A chunk header is a tag of four printable ASCII characters and a 32-bit
// length, all eight bytes inside the image.
std::optional<ChunkHeader> chunkAt(std::string_view image, std::size_t pos)
{
    if (pos > image.size() || image.size() - pos < 8)
        return std::nullopt;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto c = static_cast<std::uint8_t>(image[pos + i]);
        if (c < 0x20 || c > 0x7E)
            return std::nullopt;
    }
    return ChunkHeader { image.substr(pos, 4), be32At(image, pos + 4) };
}

// Body positions count from 1 at the first byte after the 22 header bytes.
std::string positionWarning(std::size_t imagePos, const std::string &what)
{
    return "Pos." + std::to_string(imagePos + 1 - HeaderAndFirstChunkSize) + texts::Crlf + what;
}

// The warning for an event the reader could not read, at errorPos with this status.
std::string readWarning(ReadOutcome outcome, std::size_t errorPos, std::uint8_t status)
{
    switch (outcome) {
    case ReadOutcome::Incomplete:
        return positionWarning(errorPos, tr(texts::IncompleteEvent));
    case ReadOutcome::UnknownStatus:
        return positionWarning(
            errorPos, "Status " + std::to_string(status) + tr(texts::UnknownValue));
    case ReadOutcome::TimeTooLarge:
        return positionWarning(errorPos, tr(texts::TimeTooLarge));
    case ReadOutcome::Ok:
        break;
    }
    return {};
}

class Scanner
{
public:
    Scanner(std::string_view image, TrackScan &scan)
        : m_image(image)
        , m_scan(scan)
    { }

    // Reads the file from its first track.
    bool run();
    // Reads the tracks from the chunk at pos on, with the running status
    // the reading has (none when it starts there).
    bool runFrom(std::size_t pos);
    // Stops the reading where the track whose chunk is at pos would start.
    void stopAt(std::size_t pos) { m_stopAt = pos + 8; }
    // True when the reading stopped there, its tracks before it read cleanly.
    bool stopped() const { return m_stopped; }
    // Goes on from the chunk at pos where the reading stopped.
    bool resumeFrom(std::size_t pos)
    {
        m_stopAt = SIZE_MAX;
        m_stopped = false;
        return runFrom(pos);
    }
    std::uint8_t lastStatus() const { return m_lastStatus; }

private:
    // False, starting nothing, where the reading stops.
    bool startTrack(std::size_t begin, std::optional<std::size_t> declaredEnd);
    bool walk();
    // Ends the track at end, its last event read at time, with the running
    // status that the track after it starts with.
    void finishTrack(std::size_t end, std::uint64_t time, std::uint8_t status);
    // Counts an event of the output, which ended before next at time; every
    // CheckpointEvents of a track the reading's place is noted.
    void collect(std::size_t next, std::uint64_t time, std::uint8_t status)
    {
        if (++m_track.events % CheckpointEvents == 0)
            m_scan.checkpoints.push_back({ time, static_cast<std::uint32_t>(next), status });
    }
    bool nextTrackFrom(std::size_t pos);
    // Notes a port event (FF 21 01 pp); one of another length says nothing.
    void notePort(const TrackEvent &event)
    {
        if (event.end == event.ref + 4 && m_image[event.ref + 2] == 0x01)
            m_scan.ports.push_back({ static_cast<std::uint32_t>(event.ref),
                static_cast<std::uint8_t>(m_image[event.ref + 3]) });
    }
    // Starts the track after an End of Track that ends at after.
    bool nextTrackAfter(std::size_t after);

    std::string_view m_image;
    TrackScan &m_scan;
    TrackSpan m_track;
    std::optional<std::size_t> m_declaredEnd; // where the current MTrk chunk says it ends
    std::uint8_t m_lastStatus = 0;
    std::size_t m_stopAt = SIZE_MAX;
    bool m_stopped = false;
};

bool Scanner::startTrack(std::size_t begin, std::optional<std::size_t> declaredEnd)
{
    if (begin == m_stopAt) {
        m_stopped = true;
        return false;
    }
    m_track = TrackSpan { begin, begin, m_lastStatus, 0 };
    m_track.firstCheckpoint = m_scan.checkpoints.size();
    m_declaredEnd = declaredEnd;
    return true;
}

void Scanner::finishTrack(std::size_t end, std::uint64_t time, std::uint8_t status)
{
    m_lastStatus = status;
    m_track.end = end;
    m_track.endTime = time;
    m_track.checkpoints = m_scan.checkpoints.size() - m_track.firstCheckpoint;
    m_scan.endTime = std::max(m_scan.endTime, time);
    m_scan.events += m_track.events;
    m_scan.tracks.push_back(m_track);
}

// Looks for the next track from a chunk boundary: "MTrk" starts it, "MThd" (a
// second file behind the first) ends the reading, other chunks are skipped.
bool Scanner::nextTrackFrom(std::size_t pos)
{
    while (const auto chunk = chunkAt(m_image, pos)) {
        const std::size_t data = pos + 8;
        if (chunk->tag == "MTrk")
            return startTrack(data, data + chunk->length);
        if (chunk->tag == "MThd")
            return false;
        pos = data + chunk->length;
    }
    return false;
}

bool Scanner::run()
{
    // Where the first track should start, chunks other than "MTrk" are skipped.
    std::size_t pos = 14;
    bool skipped = false;
    std::optional<ChunkHeader> chunk;
    while ((chunk = chunkAt(m_image, pos)) && chunk->tag != "MTrk") {
        pos += 8 + std::size_t { chunk->length };
        skipped = true;
    }
    if (!skipped) {
        m_scan.firstTrackLength = be32At(m_image, 18);
        std::optional<std::size_t> end;
        if (chunk)
            end = HeaderAndFirstChunkSize + std::size_t { chunk->length };
        startTrack(HeaderAndFirstChunkSize, end);
    } else if (chunk) {
        m_scan.firstTrackLength = chunk->length;
        startTrack(pos + 8, pos + 8 + std::size_t { chunk->length });
    } else if (pos < m_image.size()) {
        startTrack(pos, std::nullopt);
    } else {
        return true; // nothing but foreign chunks
    }
    return walk();
}

bool Scanner::runFrom(std::size_t pos)
{
    return !nextTrackFrom(pos) || walk();
}

bool Scanner::nextTrackAfter(std::size_t after)
{
    if (m_image.size() - after >= 4 && m_image.substr(after, 4) == "MTrk") {
        // The usual case: the next track chunk follows at once.
        const std::size_t data = after + 8;
        std::optional<std::size_t> end;
        if (m_image.size() >= data)
            end = data + std::size_t { be32At(m_image, after + 4) };
        return startTrack(data, end);
    }
    // Padding or foreign chunks: go on from the chunk's declared end.
    std::size_t next = after;
    if (m_declaredEnd && *m_declaredEnd > after && *m_declaredEnd <= m_image.size())
        next = *m_declaredEnd;
    return nextTrackFrom(next);
}

// Reads the track just started and the ones after it. The reader's place,
// time and running status stay in registers: what the other steps need of
// them they are handed as values.
bool Scanner::walk()
{
    TrackEventReader reader(m_image, m_track.begin, m_lastStatus);
    bool firstEvent = true;
    TrackEvent event;
    while (true) {
        const std::size_t pos = reader.pos();
        bool started = false;
        if (m_declaredEnd && pos == *m_declaredEnd && chunkAt(m_image, pos)) {
            // A track that ends by its chunk length without End of Track, or
            // an empty track chunk, when another chunk starts right there.
            finishTrack(pos, reader.time(), reader.status());
            started = nextTrackFrom(pos);
        } else if (!firstEvent && pos >= m_image.size()) {
            // The image may end cleanly between events, but a track has at least one.
            finishTrack(pos, reader.time(), reader.status());
            return true;
        } else {
            firstEvent = false;
            const ReadOutcome outcome = reader.read(event);
            if (outcome == ReadOutcome::Ok && !event.dropped()) {
                collect(reader.pos(), reader.time(), reader.status());
                continue;
            }
            if (outcome != ReadOutcome::Ok) {
                m_scan.warning = readWarning(outcome, event.errorPos, event.status);
                return false;
            }
            if (!event.endsTrack()) {
                if (event.isMeta(0x21))
                    notePort(event);
                continue;
            }
            finishTrack(pos, reader.time(), reader.status());
            started = nextTrackAfter(event.end);
        }
        if (!started)
            return true;
        reader.startTrack(m_track.begin);
        firstEvent = true;
    }
}

} // namespace

bool hasValidHeader(std::string_view image)
{
    static constexpr char Magic[] = { 'M', 'T', 'h', 'd', 0, 0, 0, 6 };
    return image.size() >= HeaderAndFirstChunkSize
        && image.substr(0, 8) == std::string_view(Magic, 8);
}

RiffMidi unwrapRiffMidi(std::string_view image, std::string_view &inner)
{
    if (image.substr(0, 4) != "RIFF")
        return RiffMidi::NotRiff;
    if (image.size() < 12 || image.substr(8, 4) != "RMID")
        return RiffMidi::NotRmid;
    auto le32At = [image](std::size_t pos) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i)
            v |= std::uint32_t { static_cast<std::uint8_t>(image[pos + i]) } << (8 * i);
        return v;
    };
    std::size_t pos = 12;
    while (pos < image.size()) {
        if (image.size() - pos < 8)
            return RiffMidi::Truncated;
        const std::size_t length = le32At(pos + 4);
        const std::size_t data = pos + 8;
        if (length > image.size() - data)
            return RiffMidi::Truncated;
        if (image.substr(pos, 4) == "data") {
            inner = image.substr(data, length);
            return RiffMidi::Unwrapped;
        }
        pos = data + length + (length & 1);
    }
    return RiffMidi::NoData;
}

std::string makeOutputHeader(std::string_view image, std::uint32_t firstTrackLength)
{
    std::string header(image.substr(0, 14));
    header[8] = 0; // format 0
    header[9] = 0;
    header[10] = 0; // one track, however many the input has
    header[11] = 1;
    header += "MTrk";
    for (int shift = 24; shift >= 0; shift -= 8)
        header.push_back(static_cast<char>((firstTrackLength >> shift) & 0xFF));
    return header;
}

std::uint32_t be32At(std::string_view image, std::size_t pos)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<std::uint8_t>(image[pos + i]);
    return v;
}

std::uint16_t formatOf(std::string_view image)
{
    if (image.size() < 10)
        return 0;
    return static_cast<std::uint16_t>(
        static_cast<std::uint8_t>(image[8]) << 8 | static_cast<std::uint8_t>(image[9]));
}

void indexPorts(TrackScan &scan, std::size_t imageSize)
{
    // A stretch starts at each track (port 0) and at each of its port events.
    std::vector<PortMark> &stretches = scan.portStretches;
    stretches.clear();
    auto mark = scan.ports.begin();
    for (const TrackSpan &track : scan.tracks) {
        stretches.push_back({ static_cast<std::uint32_t>(track.begin), 0 });
        for (; mark != scan.ports.end() && mark->pos < track.end; ++mark) {
            if (mark->pos >= track.begin)
                stretches.push_back(*mark);
        }
    }
    if (stretches.empty() || stretches.front().pos != 0)
        stretches.insert(stretches.begin(), PortMark { 0, 0 });
    const std::size_t pages = (imageSize >> PortPageBits) + 1;
    scan.portPages.assign(pages, 0);
    std::uint32_t stretch = 0;
    for (std::size_t page = 0; page < pages; ++page) {
        const std::size_t start = page << PortPageBits;
        while (stretch + 1 < stretches.size() && stretches[stretch + 1].pos <= start)
            ++stretch;
        scan.portPages[page] = stretch;
    }
}

std::uint8_t portAt(const TrackScan &scan, std::size_t ref)
{
    if (!scan.portPages.empty() && (ref >> PortPageBits) < scan.portPages.size()) {
        const std::vector<PortMark> &stretches = scan.portStretches;
        std::size_t stretch = scan.portPages[ref >> PortPageBits];
        while (stretch + 1 < stretches.size() && stretches[stretch + 1].pos < ref)
            ++stretch;
        return stretches[stretch].port;
    }
    const auto track = std::upper_bound(scan.tracks.begin(), scan.tracks.end(), ref,
        [](std::size_t pos, const TrackSpan &span) { return pos < span.begin; });
    if (track == scan.tracks.begin())
        return 0;
    const std::size_t begin = std::prev(track)->begin;
    const auto mark = std::lower_bound(scan.ports.begin(), scan.ports.end(), ref,
        [](const PortMark &m, std::size_t pos) { return m.pos < pos; });
    if (mark == scan.ports.begin() || std::prev(mark)->pos < begin)
        return 0;
    return std::prev(mark)->port;
}

std::vector<std::uint8_t> portsInUse(std::string_view image, const TrackScan &scan)
{
    std::vector<std::uint8_t> used;
    if (scan.ports.empty())
        return used;
    bool seen[256] = {};
    for (const PortMark &mark : scan.ports)
        seen[mark.port] = true;
    // Port 0 is in force before a track's first port event: only the events
    // before it are read, most often none.
    auto mark = scan.ports.begin();
    for (const TrackSpan &track : scan.tracks) {
        if (seen[0])
            break;
        while (mark != scan.ports.end() && mark->pos < track.begin)
            ++mark;
        if (track.events == 0)
            continue;
        const std::size_t first
            = mark != scan.ports.end() && mark->pos < track.end ? mark->pos : track.end;
        for (TrackCursor cursor(image, track); !cursor.atEnd() && cursor.event().ref < first;
             cursor.advance()) {
            if (goesToPort(cursor.event().status)) {
                seen[0] = true;
                break;
            }
        }
    }
    for (std::size_t port = 0; port < 256; ++port) {
        if (seen[port])
            used.push_back(static_cast<std::uint8_t>(port));
    }
    return used;
}

bool scanTracks(std::string_view image, TrackScan &scan, unsigned threads)
{
    if (threads >= 2 && image.size() >= SplitScanMinBytes)
        return scanTracksInTwo(image, scan);
    scan = TrackScan {};
    return Scanner(image, scan).run();
}

namespace {

// Where the second half of the tracks starts: in a file whose track chunks
// follow each other from the header to its last byte, the chunk that starts
// nearest the middle, the first one excepted; 0 in any other file.
std::size_t middleChunk(std::string_view image)
{
    const std::size_t middle = image.size() / 2;
    std::size_t best = 0;
    std::size_t bestDistance = SIZE_MAX;
    std::size_t pos = 14;
    while (pos < image.size()) {
        const auto chunk = chunkAt(image, pos);
        if (!chunk || chunk->tag != "MTrk" || chunk->length > image.size() - pos - 8)
            return 0;
        const std::size_t distance = pos > middle ? pos - middle : middle - pos;
        if (pos > 14 && distance < bestDistance) {
            best = pos;
            bestDistance = distance;
        }
        pos += 8 + std::size_t { chunk->length };
    }
    return best;
}

} // namespace

bool scanTracksInTwo(std::string_view image, TrackScan &scan)
{
    scan = TrackScan {};
    const std::size_t split = middleChunk(image);
    if (split == 0)
        return Scanner(image, scan).run();
    // A second thread reads the second half as if no running status came
    // before it: a running event there that needs the first half's fails,
    // and the first half's reader goes on where it stopped.
    TrackScan second;
    bool secondRead = false;
    HelperThreads helper;
    const std::size_t started = helper.start(1, [&] {
        // Out of memory, the second half is read again after the first.
        try {
            secondRead = Scanner(image, second).runFrom(split);
        } catch (const std::bad_alloc &) {
            secondRead = false;
        }
    });
    if (started == 0)
        return Scanner(image, scan).run();
    Scanner first(image, scan);
    first.stopAt(split);
    const bool firstRead = first.run();
    helper.join();
    // A reading that failed before the middle, or went another way than the
    // chunks' lengths, is the whole reading.
    if (!firstRead || !first.stopped())
        return firstRead;
    if (!secondRead)
        return first.resumeFrom(split);

    // The second half's tracks and checkpoints take the first half's running
    // status where they had none of their own.
    const std::uint8_t entry = first.lastStatus();
    const std::size_t offset = scan.checkpoints.size();
    for (Checkpoint checkpoint : second.checkpoints) {
        checkpoint.status = checkpoint.status ? checkpoint.status : entry;
        scan.checkpoints.push_back(checkpoint);
    }
    for (TrackSpan track : second.tracks) {
        track.entryStatus = track.entryStatus ? track.entryStatus : entry;
        track.firstCheckpoint += offset;
        scan.tracks.push_back(track);
    }
    scan.ports.insert(scan.ports.end(), second.ports.begin(), second.ports.end());
    scan.events += second.events;
    scan.endTime = std::max(scan.endTime, second.endTime);
    return true;
}

TrackFinder::TrackFinder(const TrackScan &scan, std::size_t imageSize)
{
    m_starts.reserve(scan.tracks.size());
    for (const TrackSpan &track : scan.tracks)
        m_starts.push_back(track.begin);
    m_pages.resize((imageSize >> PageBits) + 1);
    std::size_t track = 0;
    for (std::size_t page = 0; page < m_pages.size(); ++page) {
        while (track < m_starts.size() && m_starts[track] <= page << PageBits)
            ++track;
        m_pages[page] = static_cast<std::uint32_t>(track);
    }
}

} // namespace trackfold
