// SPDX-License-Identifier: MIT
#include "verify.h"

#include "codecs.h"
#include "merge.h"
#include "midievent.h"
#include "segmentedwrite.h"
#include "texts.h"
#include "threads.h"
#include "trackreader.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace trackfold {

namespace {

// The whole event as it sounds: status byte and data, whether or not the
// status was implied in its file.
std::string fullBytes(std::string_view image, const EventRef &event)
{
    std::string bytes(1, static_cast<char>(event.status));
    bytes.append(dataBytes(image, event));
    return bytes;
}

// The data bytes of a written event and of the input's, of one status; a
// channel message's (which both readers read whole) compared without finding
// their end.
// (Inline: the check of a long file calls it for every event.)
inline bool sameData(std::string_view written, const EventRef &event, std::string_view input,
    const EventRef &expected)
{
    if (const int length = channelMessageLength(expected.status)) [[likely]] {
        const char *out = written.data() + dataPos(event);
        const char *in = input.data() + dataPos(expected);
        return out[0] == in[0] && (length == 2 || out[1] == in[1]);
    }
    return dataBytes(written, event) == dataBytes(input, expected);
}

std::string describe(const char *what, std::string_view image, const EventRef &event)
{
    const std::string bytes = fullBytes(image, event);
    std::string hex;
    appendHex(hex, bytes.data(), std::min<std::size_t>(bytes.size(), 32));
    if (bytes.size() > 32)
        hex += "...";
    return std::string(tr(what)) + tr(texts::VerifyTime) + std::to_string(event.time())
        + tr(texts::VerifyData) + hex;
}

} // namespace

namespace {

// What one stretch of ticks of the comparison found: nothing, or the first
// difference at the time it was found.
struct Finding
{
    bool differs = false;
    std::uint64_t time = 0;
    std::string difference;
};

// Compares the input's merged events with a written file's, one stretch of
// ticks [start, end) at a time, each stretch apart from the others: the input
// is merged again (or a fold's merged events are taken as the conversion kept
// them, which is the same merge) and each event compared, in order, with the next one its
// track holds (the one track of a folded file; in a split file track 0 for
// meta, SysEx and system events, and the track of its channel, found by the
// track's first event, for a channel message).
class Comparison
{
public:
    Comparison(std::string_view input, const TrackScan &inputScan, std::string_view written,
        const TrackScan &writtenScan, const ConversionJob &options,
        std::span<const EventRef> merged)
        : m_input(input)
        , m_inputScan(inputScan)
        , m_written(written)
        , m_writtenScan(writtenScan)
        , m_split(options.format == 1)
        // With two ports or more, a channel's track is that of its port too.
        , m_ports(m_split && portsInUse(input, inputScan).size() >= 2)
        , m_order(options.byteOrder && !m_split ? TieOrder::Bytes : TieOrder::Track)
        , m_trackOfRoute(16 * 256, NoTrack)
        , m_merged(m_split ? std::span<const EventRef>() : merged)
    {
        for (std::size_t k = 1; m_split && k < writtenScan.tracks.size(); ++k) {
            const TrackCursor first(written, writtenScan.tracks[k]);
            if (!first.atEnd() && isChannelStatus(first.event().status)
                && m_trackOfRoute[routeOf(writtenScan, first.event())] == NoTrack)
                m_trackOfRoute[routeOf(writtenScan, first.event())] = k;
        }
    }

    // The stretch's first difference; lastTime becomes the time of its last
    // event when it has one.
    Finding compare(std::uint64_t start, std::uint64_t end, std::uint64_t &lastTime,
        SegmentScratch &scratch) const
    {
        std::vector<TrackCursor> cursors;
        cursors.reserve(m_writtenScan.tracks.size());
        for (const TrackSpan &track : m_writtenScan.tracks)
            cursors.push_back(cursorAt(m_written, m_writtenScan, track, start));
        Finding finding;
        const auto same = [&](const EventRef &expected) {
            std::size_t track = 0;
            if (m_split && isChannelStatus(expected.status))
                track = m_trackOfRoute[routeOf(m_inputScan, expected)];
            TrackCursor *cursor = track == NoTrack ? nullptr : &cursors[track];
            if (!cursor || cursor->atEnd() || cursor->time() > expected.time())
                return found(finding, texts::VerifyMissing, m_input, expected);
            const EventRef &event = cursor->event();
            if (event.time() < expected.time())
                return found(finding, texts::VerifyExtra, m_written, event);
            if (event.status != expected.status || !sameData(m_written, event, m_input, expected)) {
                return fullBytes(m_input, expected) < fullBytes(m_written, event)
                    ? found(finding, texts::VerifyMissing, m_input, expected)
                    : found(finding, texts::VerifyExtra, m_written, event);
            }
            lastTime = expected.time();
            cursor->advance();
            return true;
        };
        for (const EventRef &expected : expectedEvents(start, end, scratch)) {
            if (!same(expected))
                return finding;
        }
        // What a track holds before the end and no input event took is extra:
        // the earliest such event is named.
        const TrackCursor *extra = nullptr;
        for (const TrackCursor &cursor : cursors) {
            if (!cursor.atEnd() && cursor.time() < end && (!extra || cursor.time() < extra->time()))
                extra = &cursor;
        }
        if (extra)
            found(finding, texts::VerifyExtra, m_written, extra->event());
        return finding;
    }

private:
    static constexpr std::size_t NoTrack = static_cast<std::size_t>(-1);

    // The input's events of [start, end) in the order the file must hold them.
    std::span<const EventRef> expectedEvents(
        std::uint64_t start, std::uint64_t end, SegmentScratch &scratch) const
    {
        if (m_merged.empty())
            return segmentEvents(m_input, m_inputScan, m_order, start, end, scratch);
        const auto before
            = [](const EventRef &event, std::uint64_t time) { return event.time() < time; };
        const auto first = std::lower_bound(m_merged.begin(), m_merged.end(), start, before);
        return { first, std::lower_bound(first, m_merged.end(), end, before) };
    }

    std::size_t routeOf(const TrackScan &scan, const EventRef &event) const
    {
        return (m_ports ? std::size_t { portAt(scan, event.ref) } * 16 : 0) + (event.status & 0x0F);
    }

    static bool found(
        Finding &finding, const char *what, std::string_view image, const EventRef &event)
    {
        finding.differs = true;
        finding.time = event.time();
        finding.difference = describe(what, image, event);
        return false;
    }

    std::string_view m_input;
    const TrackScan &m_inputScan;
    std::string_view m_written;
    const TrackScan &m_writtenScan;
    bool m_split;
    bool m_ports;
    TieOrder m_order;
    std::vector<std::size_t> m_trackOfRoute;
    std::span<const EventRef> m_merged;
};

} // namespace

bool verifyConversion(std::string_view input, std::string_view written,
    const ConversionJob &options, std::string &difference, const TrackScan *inputScan,
    std::span<const EventRef> merged)
{
    if (!hasValidHeader(written)) {
        difference = tr(texts::InvalidHeader);
        return false;
    }
    const unsigned threads = std::max(options.threads, 1u);
    TrackScan scanned, writtenScan;
    if (!inputScan && !scanTracks(input, scanned, threads)) {
        difference = scanned.warning;
        return false;
    }
    const TrackScan &inputTracks = inputScan ? *inputScan : scanned;
    if (!scanTracks(written, writtenScan, threads)) {
        difference = writtenScan.warning;
        return false;
    }
    const bool split = options.format == 1;
    if (split ? formatOf(written) != 1 || writtenScan.tracks.empty()
              : writtenScan.tracks.size() != 1) {
        difference = tr(split ? texts::VerifyNotSplit : texts::VerifyTracks);
        return false;
    }

    // A long file is compared in the stretches of ticks it is written in, on
    // every thread; the first stretch that differs names the difference.
    const Comparison comparison(input, inputTracks, written, writtenScan, options, merged);
    std::vector<std::uint64_t> starts = plannedSegments(inputTracks);
    if (starts.empty())
        starts.push_back(0);
    std::vector<Finding> findings(starts.size());
    std::vector<std::uint64_t> lastTimes(starts.size(), 0);
    std::atomic<std::size_t> next { 0 };
    std::atomic<std::size_t> firstDifference { starts.size() };
    auto work = [&] {
        SegmentScratch scratch;
        for (std::size_t k; (k = next.fetch_add(1)) < starts.size();) {
            // Nothing after a stretch that differs matters.
            if (k > firstDifference.load())
                break;
            const std::uint64_t end = k + 1 < starts.size() ? starts[k + 1] : UINT64_MAX;
            findings[k] = comparison.compare(starts[k], end, lastTimes[k], scratch);
            if (findings[k].differs) {
                std::size_t seen = firstDifference.load();
                while (k < seen && !firstDifference.compare_exchange_weak(seen, k)) { }
            }
        }
    };
    {
        HelperThreads helpers;
        helpers.start(std::min<std::size_t>(threads, starts.size()) - 1, work);
        work();
    }
    if (firstDifference.load() < starts.size()) {
        difference = findings[firstDifference.load()].difference;
        return false;
    }
    const std::uint64_t lastTime = *std::max_element(lastTimes.begin(), lastTimes.end());
    const std::uint64_t endExpected = std::max(inputTracks.endTime, lastTime);
    for (const TrackSpan &track : writtenScan.tracks) {
        if (track.endTime != endExpected) {
            difference = tr(texts::VerifyEndOfTrack) + std::to_string(track.endTime)
                + tr(texts::VerifyEndExpected) + std::to_string(endExpected);
            return false;
        }
    }
    return true;
}

namespace {

// How one stretch of a folded file read: where the reading ended, and whether
// its events were the input's of its ticks.
struct StretchRead
{
    bool read = false;
    bool same = false;
    Checkpoint end;
};

// Reads the stretches of a folded file and compares them with the input.
class FoldReader
{
public:
    FoldReader(std::string_view written, std::span<const WriterMark> stretches, std::size_t stride,
        std::vector<Checkpoint> &marks, const FoldInput *input)
        : m_written(written)
        , m_stretches(stretches)
        , m_stride(stride)
        , m_marks(marks)
        , m_input(input)
    {
        if (m_input) {
            m_starts = plannedSegments(m_input->scan);
            if (m_starts.empty())
                m_starts.push_back(0);
            // The writer joined the stretches the merge was cut into.
            if (m_starts.size() + 1 != stretches.size()
                || m_input->rowTracks.size() != stretches.back().event * m_input->trackWidth)
                m_input = nullptr;
        }
    }

    bool compares() const { return m_input != nullptr; }

    void read(std::size_t k, StretchRead &outcome) const
    {
        const WriterMark &from = m_stretches[k];
        const std::size_t last = m_stretches[k + 1].event;
        if (last < from.event)
            return;
        // A status the reading cannot know yet is none: a file whose event
        // there leaves its status out then does not read, and the reading
        // from the start decides.
        const std::uint8_t status = isChannelStatus(from.before.status) ? from.before.status : 0;
        TrackEventReader reader(m_written, from.before.pos, status, from.before.time);
        bool same = m_input != nullptr;
        std::vector<TrackCursor> cursors;
        std::uint64_t end = UINT64_MAX;
        if (same) {
            cursors.reserve(m_input->scan.tracks.size());
            for (const TrackSpan &track : m_input->scan.tracks)
                cursors.push_back(cursorAt(m_input->image, m_input->scan, track, m_starts[k]));
            if (k + 1 < m_starts.size())
                end = m_starts[k + 1];
        }
        std::uint64_t lastTime = 0;
        std::size_t lastTrack = 0;
        TrackEvent event;
        // Events to go before the next mark: no division an event.
        std::size_t beforeMark = (m_stride - from.event % m_stride) % m_stride;
        for (std::size_t i = from.event; i < last; ++i) {
            if (beforeMark == 0) {
                m_marks[i / m_stride]
                    = { reader.time(), static_cast<std::uint32_t>(reader.pos()), reader.status() };
                beforeMark = m_stride;
            }
            --beforeMark;
            if (reader.read(event) != ReadOutcome::Ok || event.dropped())
                return;
            if (!same)
                continue;
            // Merged with ties in track order, the events come by time, then
            // by track, each track's in its order.
            const std::size_t track = trackOf(i);
            const std::uint64_t time = reader.time();
            if (track == 0 || track > cursors.size() || time >= end
                || (time == lastTime && track < lastTrack && i > from.event)) {
                same = false;
                continue;
            }
            TrackCursor &cursor = cursors[track - 1];
            if (cursor.atEnd() || cursor.time() != time || !sameEvent(event, cursor.event())) {
                same = false;
                continue;
            }
            cursor.advance();
            lastTime = time;
            lastTrack = track;
        }
        // Every event of the stretch's ticks was taken.
        for (const TrackCursor &cursor : cursors)
            same = same && (cursor.atEnd() || cursor.time() >= end);
        outcome.read = true;
        outcome.same = same;
        outcome.end = { reader.time(), static_cast<std::uint32_t>(reader.pos()), reader.status() };
    }

    // After the last stretch the End of Track closes the file, where the
    // input's tracks end or at the last event.
    bool endsWell(const Checkpoint &after) const
    {
        TrackEventReader reader(m_written, after.pos, after.status, after.time);
        TrackEvent event;
        return reader.read(event) == ReadOutcome::Ok && event.endsTrack()
            && reader.pos() == m_written.size()
            && reader.time() == std::max(m_input->scan.endTime, after.time);
    }

private:
    std::size_t trackOf(std::size_t event) const
    {
        return rowTrackAt(m_input->rowTracks, m_input->trackWidth, event);
    }

    bool sameEvent(const TrackEvent &read, const EventRef &expected) const
    {
        if (read.status != expected.status)
            return false;
        EventRef event;
        event.ref = static_cast<std::uint32_t>(read.ref);
        event.status = read.status;
        event.impliedStatus = read.impliedStatus;
        return sameData(m_written, event, m_input->image, expected);
    }

    std::string_view m_written;
    std::span<const WriterMark> m_stretches;
    std::size_t m_stride;
    std::vector<Checkpoint> &m_marks;
    const FoldInput *m_input;
    std::vector<std::uint64_t> m_starts;
};

} // namespace

FoldReadBack readFoldBack(std::string_view written, std::span<const WriterMark> stretches,
    std::size_t events, std::size_t stride, std::vector<Checkpoint> &marks, unsigned threads,
    const FoldInput *input)
{
    FoldReadBack outcome;
    if (!hasValidHeader(written) || written.compare(14, 4, "MTrk") != 0 || stretches.size() < 2
        || stretches.front().event != 0 || stretches.back().event != events || stride == 0)
        return outcome;
    // The track name comes first; the writer's first mark must stand after it.
    TrackEventReader title(written, HeaderAndFirstChunkSize, 0);
    TrackEvent event;
    if (title.read(event) != ReadOutcome::Ok || !event.isMeta(0x03)
        || stretches.front().before.pos != title.pos()
        || stretches.front().before.time != title.time())
        return outcome;

    marks.assign((events + stride - 1) / stride, {});
    const FoldReader reader(written, stretches, stride, marks, input);
    const std::size_t count = stretches.size() - 1;
    std::vector<StretchRead> reads(count);
    std::atomic<std::size_t> next { 0 };
    std::atomic<bool> failed { false };
    auto work = [&] {
        for (std::size_t k; !failed.load() && (k = next.fetch_add(1)) < count;) {
            reader.read(k, reads[k]);
            if (!reads[k].read)
                failed.store(true);
        }
    };
    {
        HelperThreads helpers;
        helpers.start(std::min<std::size_t>(std::max(threads, 1u), count) - 1, work);
        work();
    }
    if (failed.load())
        return outcome;
    // Each stretch ends where the writer began the next one.
    bool same = reader.compares();
    for (std::size_t k = 0; k < count; ++k) {
        const Checkpoint &end = reads[k].end;
        const Checkpoint &next = stretches[k + 1].before;
        if (end.pos != next.pos || end.time != next.time
            || (isChannelStatus(next.status) && end.status != next.status))
            return outcome;
        same = same && reads[k].same;
    }
    outcome.marked = true;
    // One track, and the track chunk ends with the file.
    outcome.matches = same && written[10] == 0 && written[11] == 1
        && be32At(written, 18) == written.size() - HeaderAndFirstChunkSize
        && reader.endsWell(reads.back().end);
    return outcome;
}

} // namespace trackfold
