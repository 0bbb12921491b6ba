// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_FORMAT1WRITER_H
#define TRACKFOLD_FORMAT1WRITER_H

#include "format0writer.h"
#include "trackreader.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Splitting the merged events of a file into a Format 1 file: a conductor
// track with every meta and SysEx event, then one track for each channel that
// plays, named, each ending where the input ends.
namespace trackfold {

class EventGrid;

// Track 0 and one track for each of the 16 channels (of each port, when the
// events go to two ports or more).
inline constexpr std::size_t SplitRoutes = 17;

// What the events of a split tell of its tracks' names and of its order,
// learnt as they come, in merged order.
struct SplitFacts
{
    struct Route
    {
        std::uint64_t events = 0;
        // The input track of the first event, and whether every event came from it.
        std::size_t inputTrack = 0;
        bool oneInputTrack = true;
        int program = -1; // the first program change's
    };
    std::vector<Route> routes = std::vector<Route>(SplitRoutes); // by route
    // The first instrument name (meta 0x04) of each input track, "" for none.
    std::vector<std::string> instrumentNames;
    // The first tick at which a SysEx or system message followed channel
    // events of the same tick.
    std::optional<std::uint64_t> reorderedTick;
    std::uint64_t lastChannelTime = UINT64_MAX;

    // Learns from the next event, which goes to route (0 for track 0; for a
    // channel message 1 + its channel, + 16 for each port before its own).
    void learn(
        std::string_view image, const TrackScan &scan, const EventRef &event, std::size_t route)
    {
        if (!isChannelStatus(event.status))
            return learnOther(image, scan, event);
        // Channel messages are most events: they are learnt here, in line.
        lastChannelTime = event.time();
        Route &facts = routes[route];
        // Most events come from the track of the channel's first event: a
        // look at its span is all they cost.
        if (facts.events++ == 0) {
            learnFirst(scan, facts, event);
        } else if (facts.oneInputTrack) {
            const TrackSpan &span = scan.tracks[facts.inputTrack];
            facts.oneInputTrack = event.ref >= span.begin && event.ref < span.end;
        }
        if (facts.program < 0 && (event.status & 0xF0) == 0xC0)
            facts.program = static_cast<std::uint8_t>(dataBytes(image, event)[0]);
    }
    // Takes in what a later part of the merge learnt.
    void add(const SplitFacts &later);

private:
    void learnOther(std::string_view image, const TrackScan &scan, const EventRef &event);
    static void learnFirst(const TrackScan &scan, Route &facts, const EventRef &event);
};

// A segment of a long file split apart from the rest: each route's run and
// what its events told.
struct SplitRun
{
    std::array<EncodedRun, SplitRoutes> runs;
    SplitFacts facts;
    bool broken = false; // a delta time did not fit
};

// Writes a segment's events, in merged order, into a SplitRun (on any
// thread), for a file on one port. Track 0's events go through a RunEncoder;
// a channel's, channel messages all, are written straight into its run, and
// what they tell of its track is learnt on the way.
class SplitEncoder
{
public:
    SplitEncoder(std::string_view image, const TrackScan &scan, SplitRun &run);
    SplitEncoder(const SplitEncoder &) = delete;
    SplitEncoder &operator=(const SplitEncoder &) = delete;

    // Takes the next event; false, breaking the run, when its delta time
    // within its output track does not fit a four-byte quantity.
    bool add(const EventRef &event)
    {
        const std::uint64_t time = event.time();
        m_ticks += time != m_lastTime ? 1 : 0;
        m_lastTime = time;
        if (!isChannelStatus(event.status))
            return addOther(event);
        // Channel messages are most events: they are written here, in line.
        m_lastChannelTime = time;
        Channel &channel = m_channels[event.status & 0x0F];
        const std::size_t dataAt = dataPos(event);
        const char *data = m_image.data() + dataAt;
        // Program changes are rare: that test comes first, so that the
        // branch goes the same way whatever the channel.
        if ((event.status & 0xF0) == 0xC0 && channel.program < 0)
            channel.program = static_cast<std::uint8_t>(data[0]);
        ++channel.events;
        // A channel has no room before its first event: that event is kept
        // as it is, as EncodedRun::first.
        if (static_cast<std::size_t>(channel.end - channel.out) < MaxChannelEvent
            && !makeRoom(channel, event))
            return true;
        // Events are in time order: a later one's delta time only needs to fit.
        const std::uint64_t delta = time - channel.previousTime;
        if (delta > MaxVlq) {
            m_run.broken = true;
            return false;
        }
        // Most events come from the track of the channel's first event: a
        // look at its span is all they cost (below its start the difference
        // wraps round to a large number).
        channel.oneInputTrack &= event.ref - channel.inputBegin < channel.inputLength;
        // As Format0Writer::add writes a channel message: every byte is
        // written, and the end moves past it only when it belongs to the
        // event.
        char *out = channel.out;
        out += writeVlq(static_cast<std::uint32_t>(delta), out);
        // omitsStatus for a channel message, without branches: whether a
        // channel's events keep their status follows no pattern.
        const bool omitStatus = (event.status == channel.previousStatus)
            & (static_cast<std::uint8_t>(data[0]) < 0x80);
        channel.previousTime = time;
        channel.previousStatus = event.status;
        *out = static_cast<char>(event.status);
        out += omitStatus ? 0 : 1;
        out[0] = data[0];
        if (dataAt + 2 <= m_image.size()) // the second read stays inside the image
            out[1] = data[1];
        channel.out = out + channelMessageLength(event.status) - 1;
        return true;
    }

    // Ends the runs and puts what their events told into the run's facts;
    // returns the distinct ticks.
    std::size_t finish();
    // After finish: the events taken.
    std::uint64_t events() const;

private:
    // A delta time and a channel message.
    static constexpr std::size_t MaxChannelEvent = 4 + 3;

    // A channel's run as it is written: the bytes after its first event go
    // into the run's rest, which is kept longer than them while it is written
    // (64 bytes on a 64-bit system: finding a channel's takes a shift).
    struct Channel
    {
        char *out = nullptr; // where the next event goes
        char *end = nullptr; // the end of rest
        std::uint64_t events = 0;
        std::uint64_t previousTime = 0;
        // The input track of the first event, and its span.
        std::size_t inputTrack = 0;
        std::size_t inputBegin = 0;
        std::size_t inputLength = 0;
        int program = -1; // the first program change's
        std::uint8_t previousStatus = 0;
        bool oneInputTrack = true;
    };

    bool addOther(const EventRef &event);
    // Makes room in rest for the channel's next event; false for its first
    // event, which it takes.
    bool makeRoom(Channel &channel, const EventRef &event);

    std::string_view m_image;
    const TrackScan &m_scan;
    SplitRun &m_run;
    RunEncoder m_other; // track 0's
    std::array<Channel, 16> m_channels;
    std::uint64_t m_lastTime = UINT64_MAX;
    std::uint64_t m_lastChannelTime = UINT64_MAX;
    std::size_t m_ticks = 0;
};

class Format1Writer
{
public:
    static constexpr std::size_t Routes = SplitRoutes;

    // image holds the bytes the events refer to, scan its tracks (for the
    // names); with keepRows the writer keeps each track's events for a grid.
    // With two ports or more in ports (see portsInUse), the channels' tracks
    // go by port, then channel, each starting with its port event.
    Format1Writer(std::string_view image, const TrackScan &scan, bool keepRows,
        std::vector<std::uint8_t> ports = {});
    // Makes the writer keep the tracks' bytes in a temporary file in folder
    // rather than in memory, so that a long file's split takes little more
    // memory than its fold. Without such a file (a file system that has none)
    // the bytes stay in memory.
    void spillInto(const std::string &folder);
    ~Format1Writer();
    Format1Writer(const Format1Writer &) = delete;
    Format1Writer &operator=(const Format1Writer &) = delete;

    // Takes the next event of the merge (time, then track, then file order);
    // false, taking nothing, when its delta time within its output track does
    // not fit a four-byte quantity.
    bool add(const EventRef &event);

    // Whether the events go to one port (or none): only then can the split go
    // in segments, each written by a SplitEncoder.
    bool onePort() const { return m_ports.empty(); }
    // Appends a segment's runs, in time order after everything taken so
    // far; false when a delta time does not fit.
    bool join(const SplitRun &run);

    // Ends every track at endTime and writes the whole file to sink: the
    // header with the input's division, the conductor and the channels'
    // tracks. False when an End of Track's delta time does not fit.
    bool finish(OutputSink &sink, std::uint64_t endTime);

    // After finish, with keepRows: the header row, then the output's events
    // track after track, each later track behind a row for its chunk header.
    void fillGrid(EventGrid &grid) const;

    std::uint64_t events() const { return m_events; }
    // The grid row of the next event, counting every event taken so far.
    std::uint64_t nextRow() const { return m_events + 2; }
    // After finish: bytes written and the grid's rows (the header row's index
    // counted from 0: events + chunk rows + 1).
    std::uint64_t size() const { return m_size; }
    std::int64_t lastRow() const;
    // After finish: the names of the output tracks, track 0 first.
    const std::vector<std::string> &trackNames() const { return m_names; }
    // The first tick at which a SysEx or system message followed channel
    // events of the same tick: in the split file it sounds before them.
    std::optional<std::uint64_t> reorderedTick() const { return m_facts.reorderedTick; }
    // The errno value when finish failed reading the temporary file back; 0
    // when it failed for a delta time.
    int readError() const { return m_readError; }

private:
    struct Track;
    Track &track(std::size_t route);
    std::size_t routeOf(const EventRef &event) const
    {
        if (!isChannelStatus(event.status))
            return 0;
        const std::size_t route = 1 + (event.status & 0x0F);
        return m_ports.empty() ? route : route + 16 * portIndexOf(event);
    }
    std::size_t portIndexOf(const EventRef &event) const;
    void spill(Track &track);
    std::string nameOf(std::size_t route) const;

    std::string_view m_image;
    const TrackScan &m_scan;
    bool m_keepRows;
    std::vector<std::uint8_t> m_ports; // two or more, or none
    std::vector<std::unique_ptr<Track>> m_tracks; // by route
    SplitFacts m_facts;
    std::uint64_t m_events = 0;
    std::uint64_t m_size = 0;
    std::vector<std::string> m_names;
    std::vector<std::size_t> m_used; // routes with events, in output order
    std::string m_header; // the file header and the first chunk header
    std::vector<std::string> m_chunkHeaders; // of the later tracks
    int m_spillFd = -1;
    int m_readError = 0;
    std::uint64_t m_spillEnd = 0;
};

} // namespace trackfold

#endif
