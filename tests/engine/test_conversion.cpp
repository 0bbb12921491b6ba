// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "merge.h"
#include "recordinghost.h"
#include "segmentedwrite.h"
#include "smfbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>

using namespace trackfold;
using smf::Track;
using test::RecordingHost;
using namespace std::string_literals;

TEST(Conversion, ReportsPhasesBusyPointerAndState)
{
    RecordingHost host;
    const std::string out
        = SalvaMidi0(smf::file(1, { Track().event(0, { 0x90, 1, 2 }).endOfTrack() }), host);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(host.captions,
        (std::vector<std::string> { "Lettura Tracce", "Ordinamento Griglia",
            "Inserimento dei Valori di Delta Time relativi",
            "Ripristino, quando possibile, del Running Status",
            "Conversione Esadecimale-Decimale e costruzione txMIDI0" }));
    EXPECT_EQ(host.busyChanges, (std::vector<bool> { true, false }));
    EXPECT_EQ(host.INIZIO, 42.5);
    EXPECT_EQ(host.RIGHE, 2);
    EXPECT_TRUE(host.messages.empty());
}

TEST(Conversion, UnknownStatusWarnsAndLeavesHeaderRow)
{
    RecordingHost host;
    ASSERT_FALSE(
        SalvaMidi0(smf::file(1, { Track().event(0, { 0xC0, 1 }).endOfTrack() }), host).empty());
    host.captions.clear();
    host.busyChanges.clear();
    const std::string out
        = SalvaMidi0(smf::file(1, { Track().event(0, { 0x90, 1, 2 }).event(0, { 0xF7 }) }), host);
    EXPECT_TRUE(out.empty());
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(host.messages[0].title, "Trackfold");
    EXPECT_EQ(host.messages[0].text, "Pos.6\r\nStatus 247 - Valore sconosciuto");
    EXPECT_EQ(host.captions, (std::vector<std::string> { "Lettura Tracce" }));
    EXPECT_EQ(host.busyChanges, (std::vector<bool> { true, false }));
    EXPECT_EQ(host.grid().rows(), 2u);
    EXPECT_EQ(host.grid().textMatrix(0, 0), "");
    EXPECT_EQ(host.grid().textMatrix(1, 0), "00");
}

TEST(Conversion, InvalidHeadersAreRefused)
{
    const std::string good = smf::file(1, { Track().endOfTrack() });
    std::string longHeader = good;
    longHeader[7] = 7;
    for (const std::string &bad : { std::string(), good.substr(0, 21), longHeader,
             std::string("just some text that is long enough") }) {
        RecordingHost host;
        EXPECT_TRUE(SalvaMidi0(bad, host).empty());
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "Intestazione del midifile non valida");
        EXPECT_TRUE(host.captions.empty());
    }
}

TEST(Conversion, Format2IsRefusedFormat0Converts)
{
    const std::vector<Track> tracks
        = { Track().event(0, { 0x90, 0x3C, 0x40 }).endOfTrack(), Track().endOfTrack() };
    RecordingHost two;
    EXPECT_TRUE(SalvaMidi0(smf::file(2, tracks), two).empty());
    ASSERT_EQ(two.messages.size(), 1u);
    EXPECT_EQ(two.messages[0].text, "Midifile di formato 2 non convertibile");
    EXPECT_EQ(two.busyChanges, (std::vector<bool> { true, false }));

    RecordingHost zero;
    const std::string out = SalvaMidi0(smf::file(0, { tracks[0] }), zero);
    EXPECT_FALSE(out.empty());
    EXPECT_EQ(SalvaMidi0(smf::file(1, tracks), two), out);
}

TEST(Conversion, ConvertingAgainGivesTheSameBytes)
{
    const std::string file = smf::file(1,
        { Track().event(0, { 0xFF, 0x58, 0x04, 4, 2, 24, 8 }).endOfTrack(),
            Track()
                .event(0, { 0xC1, 5 })
                .event(0, { 0x91, 60, 100 })
                .event(10, { 62, 100 })
                .endOfTrack(),
            Track().event(5, { 0x92, 60, 100 }).event(10, { 0x82, 60, 0 }).endOfTrack() });
    RecordingHost first, second;
    const std::string once = SalvaMidi0(file, first);
    const std::string twice = SalvaMidi0(once, second);
    EXPECT_EQ(twice, once);
}

// --- Property: many random multi-track files --------------------------------

namespace {

using Event = std::pair<std::uint64_t, std::string>;

// The events a file must give, in the order a player plays them, and the time
// its last track ends.
struct Expected
{
    std::vector<std::pair<std::size_t, Event>> byTrack; // track index, event, in file order
    std::uint64_t end = 0;

    std::vector<Event> merged() const
    {
        auto order = byTrack;
        std::stable_sort(order.begin(), order.end(), [](const auto &a, const auto &b) {
            return a.second.first != b.second.first ? a.second.first < b.second.first
                                                    : a.first < b.first;
        });
        std::vector<Event> out;
        for (const auto &e : order)
            out.push_back(e.second);
        return out;
    }
};

// A small decoder written for this test alone: returns every event of every
// track with its absolute time and its status restored, in file order.
struct Decoded
{
    int format = -1;
    int tracks = 0;
    std::vector<std::pair<std::uint64_t, std::string>> events;
};

Decoded decode(const std::string &f)
{
    Decoded d;
    auto u8 = [&f](std::size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(f.at(i)));
    };
    auto vlq = [&](std::size_t &i) {
        std::uint64_t v = 0;
        unsigned b;
        do {
            b = u8(i++);
            v = (v << 7) | (b & 0x7F);
        } while (b & 0x80);
        return v;
    };
    d.format = static_cast<int>(u8(8) << 8 | u8(9));
    std::size_t i = 14;
    unsigned running = 0;
    while (i + 8 <= f.size()) {
        const std::string tag = f.substr(i, 4);
        const std::size_t len = u8(i + 4) << 24 | u8(i + 5) << 16 | u8(i + 6) << 8 | u8(i + 7);
        const std::size_t end = i + 8 + len;
        i += 8;
        if (tag != "MTrk") {
            i = end;
            continue;
        }
        ++d.tracks;
        std::uint64_t t = 0;
        while (i < end) {
            t += vlq(i);
            unsigned s = u8(i);
            std::string ev;
            if (s < 0x80) {
                s = running;
                ev.push_back(static_cast<char>(s));
            } else {
                ev.push_back(static_cast<char>(s));
                ++i;
                if (s < 0xF0)
                    running = s;
            }
            std::size_t n = 0;
            if (s < 0xF0) {
                n = (s >> 4) == 0xC || (s >> 4) == 0xD ? 1 : 2;
            } else if (s == 0xFF || s == 0xF0) {
                const std::size_t start = i;
                if (s == 0xFF)
                    ++i;
                const std::size_t dataLen = static_cast<std::size_t>(vlq(i));
                n = dataLen;
                ev += f.substr(start, i - start);
            }
            ev += f.substr(i, n);
            i += n;
            d.events.emplace_back(t, ev);
        }
        i = end;
    }
    return d;
}

// The shape of a random file: how many tracks and events, and whether its
// events fall on a few shared ticks or nearly each on its own, as in a
// recorded performance.
struct Shape
{
    int minTracks = 1;
    int maxTracks = 6;
    int maxEvents = 60; // of a track
    bool humanised = false;
    int minEvents = 0;
    // Humanised and quantised (a grid of 10 ticks, many events a tick) by
    // turns, every 300 events of a track.
    bool alternating = false;
};

std::string randomFile(std::mt19937 &rng, Expected &expected, const Shape &shape = {})
{
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int trackCount = pick(shape.minTracks, shape.maxTracks);
    std::vector<Track> tracks(static_cast<std::size_t>(trackCount));
    int running = 0; // last channel status, carried across tracks like a reader does
    for (std::size_t index = 0; index < tracks.size(); ++index) {
        Track &track = tracks[index];
        std::uint64_t t = 0;
        const int count = pick(shape.minEvents, shape.maxEvents);
        for (int e = 0; e < count; ++e) {
            // Humanised: the tracks' events interleave with few ties, a
            // track's runs between other tracks' events are short or long.
            std::uint32_t delta = 0;
            if (shape.alternating && e / 300 % 2 == 1)
                delta = static_cast<std::uint32_t>(pick(0, 1) ? 0 : 10 * pick(1, 2));
            else if (shape.humanised)
                delta = static_cast<std::uint32_t>(pick(0, 15) == 0 ? 0 : pick(1, 4 * trackCount));
            else if (pick(0, 3) != 0)
                delta = static_cast<std::uint32_t>(pick(0, pick(0, 1) ? 200 : 40000));
            t += delta;
            const int kind = pick(0, 9);
            std::string ev;
            if (kind <= 5) {
                const int status = 0x80 + 16 * pick(0, 6) + pick(0, 2);
                const int dataBytes = ((status >> 4) == 0xC || (status >> 4) == 0xD) ? 1 : 2;
                std::string data;
                for (int k = 0; k < dataBytes; ++k)
                    data.push_back(static_cast<char>(pick(0, 127)));
                ev = std::string(1, static_cast<char>(status)) + data;
                if (status == running && pick(0, 1))
                    track.event(delta, data);
                else
                    track.event(delta, ev);
                running = status;
            } else if (kind == 6) {
                const std::string data(
                    static_cast<std::size_t>(pick(0, 300)), static_cast<char>(pick(0, 127)));
                ev = smf::bytes({ 0xF0 }) + smf::vlq(static_cast<std::uint32_t>(data.size()))
                    + data;
                track.event(delta, ev);
            } else if (kind == 7) {
                const int type = std::vector<int> { 0x01, 0x03, 0x05, 0x20, 0x21, 0x51,
                    0x7F }[static_cast<std::size_t>(pick(0, 6))];
                std::string data(static_cast<std::size_t>(pick(0, 200)), 'a');
                // A port event (one data byte) changes the output: those have a test of their own.
                if (type == 0x21 && data.size() == 1)
                    data += 'a';
                ev = smf::bytes({ 0xFF, type }) + smf::vlq(static_cast<std::uint32_t>(data.size()))
                    + data;
                track.event(delta, ev);
                if (type == 0x03 || type == 0x20 || type == 0x21)
                    ev.clear();
            } else {
                ev = smf::bytes({ std::vector<int> {
                    0xF8, 0xFA, 0xFC, 0xFE }[static_cast<std::size_t>(pick(0, 3))] });
                track.event(delta, ev);
            }
            if (!ev.empty())
                expected.byTrack.push_back({ index, { t, ev } });
        }
        const auto last = static_cast<std::uint32_t>(pick(0, 5));
        track.endOfTrack(last);
        expected.end = std::max(expected.end, t + last);
    }
    return smf::file(1, tracks, 480);
}

// The events of expected in byte order: by time, at one tick by their bytes.
std::vector<Event> inByteOrder(std::vector<Event> events)
{
    std::stable_sort(events.begin(), events.end());
    return events;
}

} // namespace

TEST(ConversionProperty, RandomFilesPlayInTrackOrderAndKeepTheirLength)
{
    std::mt19937 rng(20261207);
    for (int round = 0; round < 300; ++round) {
        Expected expected;
        const std::string file = randomFile(rng, expected);
        RecordingHost host;
        const std::string out = SalvaMidi0(file, host);
        ASSERT_FALSE(out.empty()) << "round " << round;
        ASSERT_TRUE(host.messages.empty());

        const Decoded decoded = decode(out);
        ASSERT_EQ(decoded.format, 0);
        ASSERT_EQ(decoded.tracks, 1);
        ASSERT_GE(decoded.events.size(), 2u);
        EXPECT_EQ(decoded.events.front(),
            (std::pair<std::uint64_t, std::string>(
                0, smf::bytes({ 0xFF, 0x03, 0x15 }) + "Titolo del Brano Midi")));
        const auto &last = decoded.events.back();
        EXPECT_EQ(last.second, smf::bytes({ 0xFF, 0x2F, 0x00 }));
        EXPECT_EQ(last.first, expected.end) << "round " << round;

        // Every event in time order; at one tick track after track, each
        // track's events in their file order.
        const std::vector<Event> got(decoded.events.begin() + 1, decoded.events.end() - 1);
        ASSERT_EQ(got, expected.merged()) << "round " << round;
        EXPECT_EQ(host.RIGHE, static_cast<std::int64_t>(got.size()) + 1);

        // A well-formed output converts again to itself.
        RecordingHost again;
        ASSERT_EQ(SalvaMidi0(out, again), out) << "round " << round;
    }
}

TEST(ConversionProperty, HumanisedTimingWithManyTracksKeepsTrackAndByteOrder)
{
    // Nearly every event on its own tick, from a few tracks to many; then
    // stretches of each timing by turns, long enough for the merge to change
    // its way between them; the last file has more tracks with events than
    // the tournament merge takes, so the heap merges it.
    std::mt19937 rng(20261208);
    const std::vector<Shape> shapes = {
        { 2, 40, 200, true },
        { 2, 32, 1500, true, 1000, true },
        { 100, 3000, 20, true },
        { static_cast<int>(TreeMergeTracks) + 1000, static_cast<int>(TreeMergeTracks) + 1000, 3,
            true, 1 },
    };
    const int rounds[] = { 60, 6, 4, 1 };
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        for (int round = 0; round < rounds[s]; ++round) {
            Expected expected;
            const std::string file = randomFile(rng, expected, shapes[s]);
            for (const bool byteOrder : { false, true }) {
                RecordingHost host;
                const std::string out = SalvaMidi0(file, host, { .byteOrder = byteOrder });
                ASSERT_FALSE(out.empty()) << "shape " << s << " round " << round;
                const Decoded decoded = decode(out);
                ASSERT_GE(decoded.events.size(), 2u);
                EXPECT_EQ(decoded.events.back().first, expected.end);
                const std::vector<Event> got(decoded.events.begin() + 1, decoded.events.end() - 1);
                ASSERT_EQ(got, byteOrder ? inByteOrder(expected.merged()) : expected.merged())
                    << "shape " << s << " round " << round << (byteOrder ? " byte order" : "");
            }
        }
    }
}

// --- Merging in segments on several threads --------------------------------

namespace {

// The bytes of a conversion without a grid, as the command line makes them;
// "" with the warning when it fails.
std::string convertWithoutGrid(
    const std::string &file, const ConversionJob &options, std::string &warning)
{
    RecordingHost host;
    std::string out;
    const bool ok
        = convert(Source::bytes(file), Target::memory(out), options, host, host).converted();
    warning = host.messages.empty() ? std::string() : host.messages.front().text;
    return ok ? out : std::string();
}

// The file merged in segments that start at the given ticks, each written
// apart and joined in order; "" with the row where a delta time did not fit.
std::string joinedSegments(const std::string &file, const std::vector<std::uint64_t> &starts,
    TieOrder order, std::uint64_t &brokenRow)
{
    TrackScan scan;
    EXPECT_TRUE(scanTracks(file, scan));
    std::string out;
    StringSink sink(out);
    Format0Writer writer(sink, file, makeOutputHeader(file, scan.firstTrackLength));
    brokenRow = 0;
    SegmentScratch scratch;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        EncodedRun run;
        const std::uint64_t end = i + 1 < starts.size() ? starts[i + 1] : UINT64_MAX;
        encodeSegment(file, scan, order, starts[i], end, run, scratch);
        if (!writer.join(run) || run.broken) {
            brokenRow = writer.nextRow();
            return {};
        }
    }
    if (!writer.finish(scan.endTime)) {
        brokenRow = writer.nextRow();
        return {};
    }
    return out;
}

// A track of notes on one channel, two at a tick, with a gap of more than a
// four-byte quantity after the note given.
Track notesWithGap(int notes, int gapAfter)
{
    Track track;
    for (int i = 0; i < notes; ++i) {
        track.event(static_cast<std::uint32_t>(i % 2), { 0x90, 60 + i % 12, i % 2 ? 0 : 100 });
        if (i == gapAfter)
            track.meta(0x0FFFFFFF, 0x03, "gap").event(5, { 0xC0, 1 });
    }
    return track.endOfTrack();
}

} // namespace

TEST(ConversionProperty, SegmentsMergedApartJoinIntoTheBytesOfOneMerge)
{
    // Cut at random ticks, on events and between them: at every seam the
    // delta time and running status must come out as in one merge.
    std::mt19937 rng(20261209);
    for (int round = 0; round < 200; ++round) {
        Expected expected;
        const Shape shape = round % 2 ? Shape { 2, 12, 300, true } : Shape {};
        const std::string file = randomFile(rng, expected, shape);
        std::vector<std::uint64_t> starts { 0 };
        for (int cut = 0; cut < 6 && !expected.byTrack.empty(); ++cut) {
            const auto &event = expected.byTrack[rng() % expected.byTrack.size()];
            starts.push_back(event.second.first + rng() % 2);
        }
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (const bool byteOrder : { false, true }) {
            std::string warning;
            const std::string whole = convertWithoutGrid(file, { .byteOrder = byteOrder }, warning);
            ASSERT_FALSE(whole.empty()) << warning;
            std::uint64_t brokenRow = 0;
            const TieOrder order = byteOrder ? TieOrder::Bytes : TieOrder::Track;
            // Compared as a truth value: the files are too long to print.
            EXPECT_TRUE(joinedSegments(file, starts, order, brokenRow) == whole)
                << "round " << round << (byteOrder ? " byte order" : "");
        }
    }

    // A delta time too large stops the track at the same row wherever the
    // seam falls: before the gap, on it or after it.
    const std::string gap = smf::file(1, { notesWithGap(40, 20), notesWithGap(10, 100) });
    std::string warning;
    ASSERT_TRUE(convertWithoutGrid(gap, {}, warning).empty());
    // 21 notes of the first track and the second's 10 come before the gap.
    ASSERT_EQ(warning, deltaTooLargeWarning(2 + 21 + 10));
    for (const std::uint64_t seam : { 5ull, 10ull, 11ull, 0x1000000Eull, 0x1000000Full }) {
        std::uint64_t brokenRow = 0;
        EXPECT_TRUE(joinedSegments(gap, { 0, seam }, TieOrder::Track, brokenRow).empty());
        EXPECT_EQ(deltaTooLargeWarning(brokenRow), warning) << "seam at " << seam;
    }
}

TEST(ConversionProperty, LongFilesMergedOnTwoThreadsGiveTheSameBytes)
{
    std::mt19937 rng(20261210);
    Expected expected;
    const std::string file = randomFile(rng, expected, { 6, 6, 30000, true, 25000, true });
    ASSERT_GE(expected.byTrack.size(), SegmentedMinEvents);
    for (const bool byteOrder : { false, true }) {
        std::string warning;
        const std::string whole = convertWithoutGrid(file, { .byteOrder = byteOrder }, warning);
        EXPECT_TRUE(
            convertWithoutGrid(file, { .byteOrder = byteOrder, .threads = 2 }, warning) == whole);
    }
    // Many events on one tick cannot be cut into segments: such a file is
    // merged in one stream, with no segment held whole in memory.
    Track crowded;
    for (int i = 0; i < 300000; ++i)
        crowded.event(i < 150000 ? 0 : 1, { 0x90, 60, 100 });
    const std::string crowd = smf::file(1, { crowded.endOfTrack() });
    TrackScan scan;
    ASSERT_TRUE(scanTracks(crowd, scan));
    EXPECT_TRUE(segmentStarts(scan, std::size_t { 1 } << 15).empty());
    std::string warning;
    EXPECT_TRUE(convertWithoutGrid(crowd, { .threads = 2 }, warning)
        == convertWithoutGrid(crowd, {}, warning));

    // Failing the same way.
    const std::string gap = smf::file(1, { notesWithGap(150000, 90000) });
    std::string one;
    std::string two;
    EXPECT_TRUE(convertWithoutGrid(gap, {}, one).empty());
    EXPECT_TRUE(convertWithoutGrid(gap, { .threads = 2 }, two).empty());
    EXPECT_EQ(two, one);
    EXPECT_EQ(one, deltaTooLargeWarning(2 + 90001));
}

TEST(ConversionProperty, TracksReadInTwoHalvesAsInOneReading)
{
    // Running status may carry over into the second half; damaged bytes
    // anywhere must fail at the same place with the same warning.
    auto same = [](const TrackScan &a, const TrackScan &b) {
        auto span = [](const TrackSpan &t) {
            return std::tuple(t.begin, t.end, t.entryStatus, t.events, t.endTime, t.firstCheckpoint,
                t.checkpoints);
        };
        auto point = [](const Checkpoint &c) { return std::tuple(c.time, c.pos, c.status); };
        if (a.tracks.size() != b.tracks.size() || a.checkpoints.size() != b.checkpoints.size())
            return false;
        for (std::size_t i = 0; i < a.tracks.size(); ++i) {
            if (span(a.tracks[i]) != span(b.tracks[i]))
                return false;
        }
        for (std::size_t i = 0; i < a.checkpoints.size(); ++i) {
            if (point(a.checkpoints[i]) != point(b.checkpoints[i]))
                return false;
        }
        return std::tuple(a.events, a.firstTrackLength, a.endTime, a.warning)
            == std::tuple(b.events, b.firstTrackLength, b.endTime, b.warning);
    };
    // A second half whose first events carry no channel status: its first
    // checkpoint keeps the first half's.
    Track clocks;
    for (std::size_t i = 0; i < CheckpointEvents; ++i)
        clocks.event(1, { 0xF8 });
    const std::string carried = smf::file(1,
        { Track().event(0, { 0x91, 60, 100 }).endOfTrack(),
            clocks.event(0, { 0x91, 64, 0 }).endOfTrack() });
    TrackScan whole;
    TrackScan halves;
    ASSERT_TRUE(scanTracks(carried, whole));
    ASSERT_TRUE(scanTracksInTwo(carried, halves));
    EXPECT_TRUE(same(whole, halves));

    std::mt19937 rng(20261211);
    for (int round = 0; round < 150; ++round) {
        Expected expected;
        std::string file = randomFile(rng, expected, { 2, 8, 700, round % 2 == 0, 100 });
        for (int damage = round % 3; damage > 0; --damage)
            file[22 + rng() % (file.size() - 22)] = static_cast<char>(rng());
        TrackScan one;
        TrackScan two;
        const bool read = scanTracks(file, one);
        EXPECT_EQ(scanTracksInTwo(file, two), read) << "round " << round;
        EXPECT_TRUE(same(one, two)) << "round " << round << ": " << one.warning;
    }
}

// --- Splitting into one track per channel ------------------------------------

namespace {

// The split of file, decoded track by track; the result's warning too.
struct Split
{
    ConversionResult result;
    std::vector<std::vector<Event>> tracks;
};

Split split(const std::string &file)
{
    RecordingHost host;
    std::string out;
    ConversionJob job;
    job.format = 1;
    job.verify = true;
    Split done;
    done.result = convert(Source::bytes(file), Target::memory(out), job, host, host);
    const Decoded decoded = decode(out);
    if (decoded.format != 1)
        return done;
    // decode() gives the tracks one after another: each starts at its name.
    for (const Event &event : decoded.events) {
        if (event.second.compare(0, 2, "\xFF\x03") == 0 && event.first == 0
            && (done.tracks.empty() || done.tracks.back().back().second == "\xFF\x2F\x00"s))
            done.tracks.emplace_back();
        done.tracks.back().push_back(event);
    }
    return done;
}

std::string nameEvent(std::string_view name)
{
    return smf::bytes({ 0xFF, 0x03 }) + smf::vlq(static_cast<std::uint32_t>(name.size()))
        + std::string(name);
}

} // namespace

TEST(Split, NamesEachChannelsTrackAndKeepsRunningStatusWithinIt)
{
    struct Case
    {
        const char *what;
        std::vector<Track> tracks;
        std::vector<std::string> names; // of the output tracks, track 0 first
    };
    const std::vector<Case> cases = {
        { "the input track that holds the channel",
            { Track().meta(0, 0x03, "Brano").endOfTrack(),
                Track().meta(0, 0x03, "Basso").event(0, { 0x91, 40, 90 }).endOfTrack() },
            { "Brano", "Basso" } },
        { "its instrument name",
            { Track().meta(0, 0x04, "Violino").event(0, { 0x92, 60, 90 }).endOfTrack() },
            { "Titolo del Brano Midi", "Violino" } },
        { "spread over two tracks: the General MIDI name of its first program",
            { Track().meta(0, 0x03, "A").event(0, { 0xC3, 25 }).endOfTrack(),
                Track().meta(0, 0x03, "B").event(5, { 0x93, 60, 90 }).endOfTrack() },
            { "A", "Acoustic Guitar (steel)" } },
        { "channel 10, then a channel with nothing to go by",
            { Track().event(0, { 0x99, 36, 90 }).event(0, { 0x94, 60, 90 }).endOfTrack() },
            { "Titolo del Brano Midi", "Channel 5", "Drums" } },
    };
    for (const Case &c : cases) {
        const Split done = split(smf::file(1, c.tracks));
        ASSERT_EQ(done.result.status, ConversionStatus::Converted) << c.what;
        ASSERT_EQ(done.tracks.size(), c.names.size()) << c.what;
        for (std::size_t k = 0; k < c.names.size(); ++k)
            EXPECT_EQ(done.tracks[k].front().second, nameEvent(c.names[k])) << c.what;
    }

    // Track 0 takes the meta and SysEx events; the channel's track its own,
    // with running status across the meta event that left it; every track
    // ends where the input ends. A SysEx after a note of its tick is warned of.
    const std::string file = smf::file(1,
        { Track().meta(0, 0x51, smf::bytes({ 7, 0xA1, 0x20 })).endOfTrack(900),
            Track()
                .event(10, { 0x90, 60, 90 })
                .meta(0, 0x05, "la")
                .event(0, { 0x90, 64, 90 })
                .sysex(0, smf::bytes({ 0x7E, 0xF7 }))
                .endOfTrack() });
    const std::string out = [&] {
        RecordingHost host;
        std::string bytes;
        ConversionJob job;
        job.format = 1;
        convert(Source::bytes(file), Target::memory(bytes), job, host, host);
        return bytes;
    }();
    const std::string conductor = nameEvent("Titolo del Brano Midi").insert(0, 1, '\0')
        + smf::bytes({ 0, 0xFF, 0x51, 3, 7, 0xA1, 0x20, 10, 0xFF, 0x05, 2, 'l', 'a', 0, 0xF0, 2,
            0x7E, 0xF7, 0x86, 0x7A, 0xFF, 0x2F, 0 });
    const std::string channel = nameEvent("Channel 1").insert(0, 1, '\0')
        + smf::bytes({ 10, 0x90, 60, 90, 0, 64, 90, 0x86, 0x7A, 0xFF, 0x2F, 0 });
    EXPECT_EQ(out, smf::header(1, 2) + smf::chunk("MTrk", conductor) + smf::chunk("MTrk", channel));
    EXPECT_EQ(split(file).result.warning,
        "Tick 10: un SysEx suona ora prima degli eventi di canale che lo precedevano");
}

TEST(SplitProperty, EveryChannelKeepsItsEventsInPlayOrderAndEveryTrackTheLength)
{
    std::mt19937 rng(20261212);
    const std::vector<Shape> shapes = { {}, { 2, 24, 300, true, 50 }, { 30, 40, 80, false, 10 } };
    for (int round = 0; round < 120; ++round) {
        Expected expected;
        const std::string file = randomFile(rng, expected, shapes[round % shapes.size()]);
        const Split done = split(file);
        ASSERT_EQ(done.result.status, ConversionStatus::Converted) << "round " << round;

        std::map<int, std::vector<Event>> byRoute; // -1: track 0
        for (const Event &event : expected.merged()) {
            const auto status = static_cast<unsigned char>(event.second[0]);
            byRoute[status < 0xF0 ? status & 0x0F : -1].push_back(event);
        }
        byRoute[-1]; // track 0 is there even with nothing but its name
        ASSERT_EQ(done.tracks.size(), byRoute.size()) << "round " << round;
        std::size_t k = 0;
        for (const auto &[route, events] : byRoute) {
            const std::vector<Event> &track = done.tracks[k++];
            ASSERT_GE(track.size(), 2u);
            EXPECT_EQ(std::vector<Event>(track.begin() + 1, track.end() - 1), events)
                << "round " << round << ", route " << route;
            EXPECT_EQ(track.back(), Event(expected.end, "\xFF\x2F\x00"s)) << "round " << round;
        }
    }
}

TEST(Split, ALongFileWrittenThroughTheDiskGivesTheSameBytes)
{
    // Long enough that the tracks' bytes wait in a temporary file.
    std::vector<Track> tracks(3);
    for (std::size_t k = 0; k < tracks.size(); ++k) {
        for (int i = 0; i < 1200000; ++i)
            tracks[k].event(
                static_cast<std::uint32_t>(i % 3), { 0x90 + static_cast<int>(k), i % 128, 64 });
        tracks[k].meta(1, 0x05, "la").endOfTrack();
    }
    const std::string file = smf::file(1, tracks);
    ASSERT_GT(file.size(), std::size_t { 8 } << 20);
    const Split inMemory = split(file);
    ASSERT_EQ(inMemory.result.status, ConversionStatus::Converted);

    std::string folder
        = (std::filesystem::temp_directory_path() / "trackfold-split-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string path = folder + "/out.mid";
    RecordingHost host;
    ConversionJob job;
    job.format = 1;
    job.verify = true;
    const ConversionResult written
        = convert(Source::bytes(file), Target::file(path), job, host, host);
    std::string out;
    std::string error;
    EXPECT_TRUE(readWholeFile(path, out, error));
    std::filesystem::remove_all(folder);
    EXPECT_EQ(written.status, ConversionStatus::Converted) << written.error;
    std::string again;
    RecordingHost other;
    convert(Source::bytes(file), Target::memory(again), job, other, other);
    EXPECT_EQ(out, again);
}

TEST(Ports, EveryChannelAndSysExEventKeepsItsPort)
{
    auto port = [](int p) { return std::string(1, static_cast<char>(p)); };
    auto run = [](const std::string &file, int format) {
        RecordingHost host;
        std::string bytes;
        ConversionJob job;
        job.format = format;
        job.verify = true;
        const ConversionResult result
            = convert(Source::bytes(file), Target::memory(bytes), job, host, host);
        EXPECT_EQ(result.status, ConversionStatus::Converted) << result.error;
        return bytes;
    };
    const std::string title = nameEvent("Titolo del Brano Midi").insert(0, 1, '\0');
    // Two ports: track 1 is on port 1 from its start; track 2 has none (port
    // 0) until it names port 1 for its SysEx.
    const std::string two = smf::file(1,
        { Track()
                .meta(0, 0x21, port(1))
                .event(0, { 0x90, 60, 90 })
                .event(5, { 0x90, 61, 90 })
                .endOfTrack(),
            Track()
                .event(0, { 0x90, 62, 90 })
                .meta(2, 0x21, port(1))
                .sysex(0, smf::bytes({ 0x7E, 0xF7 }))
                .event(3, { 0x90, 63, 90 })
                .endOfTrack() });
    EXPECT_EQ(run(two, 0),
        smf::header(0, 1)
            + smf::chunk("MTrk",
                title
                    + smf::bytes({ 0, 0xFF, 0x21, 1, 1, 0, 0x90, 60, 90, 0, 0xFF, 0x21, 1, 0, 0,
                        0x90, 62, 90, 2, 0xFF, 0x21, 1, 1, 0, 0xF0, 2, 0x7E, 0xF7, 3, 0x90, 61, 90,
                        0, 63, 90, 0, 0xFF, 0x2F, 0 })));
    // The split: port 0's channel 1, then port 1's, each behind its port event.
    const std::string split1 = run(two, 1);
    const std::string port0 = nameEvent("Channel 1").insert(0, 1, '\0')
        + smf::bytes({ 0, 0xFF, 0x21, 1, 0, 0, 0x90, 62, 90, 5, 0xFF, 0x2F, 0 });
    EXPECT_NE(split1.find(port0), std::string::npos);
    EXPECT_EQ(split1.substr(10, 2), smf::bytes({ 0, 3 }));
    EXPECT_LT(split1.find(port0), split1.find(smf::bytes({ 0xFF, 0x21, 1, 1, 0, 0x90, 60, 90 })));

    // One port, or none: no port event, as ever.
    for (const std::string &tag : { port(3), std::string() }) {
        Track first, second;
        if (!tag.empty()) {
            first.meta(0, 0x21, tag);
            second.meta(0, 0x21, tag);
        }
        const std::string file = smf::file(1,
            { first.event(0, { 0x90, 60, 90 }).endOfTrack(),
                second.event(1, { 0x91, 61, 90 }).endOfTrack() });
        for (int format : { 0, 1 })
            EXPECT_EQ(run(file, format).find(smf::bytes({ 0xFF, 0x21 })), std::string::npos);
        EXPECT_EQ(run(file, 0),
            smf::header(0, 1)
                + smf::chunk("MTrk",
                    title + smf::bytes({ 0, 0x90, 60, 90, 1, 0x91, 61, 90, 0, 0xFF, 0x2F, 0 })));
    }
}

TEST(Rmid, TheFileOfTheFirstDataChunkIsConverted)
{
    auto le32 = [](std::size_t v) {
        return smf::bytes({ static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
            static_cast<int>((v >> 16) & 0xFF), static_cast<int>(v >> 24) });
    };
    auto chunk = [&](std::string_view tag, std::string_view body) {
        return std::string(tag) + le32(body.size()) + std::string(body)
            + (body.size() % 2 ? std::string(1, '\0') : std::string());
    };
    auto riff = [&](std::string_view form, const std::string &chunks) {
        return "RIFF" + le32(4 + chunks.size()) + std::string(form) + chunks;
    };
    const std::string midi = smf::file(1,
        { Track().meta(0, 0x03, "Brano").endOfTrack(),
            Track().event(0, { 0x90, 60, 90 }).event(7, { 0x80, 60, 0 }).endOfTrack() });
    const std::string bad = smf::file(1, { Track().event(0, { 0x90, 1, 2 }).event(0, { 0xF7 }) });
    const std::string odd = midi + "x"; // a data chunk of odd size, and its pad byte
    struct Case
    {
        const char *what;
        std::string file;
        std::string converts; // the plain file it converts as, or ""
        std::string warning;
    };
    const std::vector<Case> cases = {
        { "plain", riff("RMID", chunk("data", midi)), midi, "" },
        { "behind LIST, INFO and an odd-sized chunk",
            riff("RMID",
                chunk("LIST", "INFOINAM" + le32(3) + "abc" + '\0') + chunk("DISP", "xyz")
                    + chunk("data", midi) + chunk("data", bad)),
            midi, "" },
        { "its data chunk of odd size", riff("RMID", chunk("DISP", "x") + chunk("data", odd)), odd,
            "" },
        { "warnings count from the inner file", riff("RMID", chunk("data", bad)), "",
            "Pos.6\r\nStatus 247 - Valore sconosciuto" },
        { "truncated", riff("RMID", chunk("data", midi)).substr(0, 40), "",
            "File RMID troncato: la lunghezza di un blocco va oltre la fine del file" },
        { "without data", riff("RMID", chunk("DISP", "xyz")), "",
            "File RMID senza il blocco \"data\" del midifile" },
        { "not RMID", riff("WAVE", chunk("data", midi)), "",
            "File RIFF che non è un RMID (un midifile RIFF)" },
        { "a header that says RIFF", "RIFF" + midi.substr(4), "",
            "File RIFF che non è un RMID (un midifile RIFF)" },
    };
    for (const Case &c : cases) {
        RecordingHost host;
        const std::string out = SalvaMidi0(c.file, host);
        std::string bytes;
        RecordingHost plain;
        ConversionJob job;
        job.verify = true;
        const ConversionResult result
            = convert(Source::bytes(c.file), Target::memory(bytes), job, plain, plain);
        if (c.converts.empty()) {
            EXPECT_TRUE(out.empty()) << c.what;
            EXPECT_EQ(result.status, ConversionStatus::ConversionFailed) << c.what;
            ASSERT_EQ(host.messages.size(), 1u) << c.what;
            EXPECT_EQ(host.messages[0].text, c.warning) << c.what;
            continue;
        }
        RecordingHost direct;
        EXPECT_EQ(out, SalvaMidi0(c.converts, direct)) << c.what;
        EXPECT_EQ(host.grid().rows(), direct.grid().rows()) << c.what;
        EXPECT_EQ(result.status, ConversionStatus::Converted) << c.what << result.error;
        EXPECT_EQ(bytes, out) << c.what;
    }
}

TEST(Conversion, KeepTitleNamesTheFoldWithTheInputsTitle)
{
    const std::string longTitle(200, 't'); // its length takes two bytes
    for (const auto &[first, name] : std::vector<std::pair<std::string, std::string>> {
             { "Brano", "Brano" }, { longTitle, longTitle }, { "", "Titolo del Brano Midi" } }) {
        Track track;
        if (!first.empty())
            track.meta(0, 0x03, first);
        const std::string file = smf::file(1,
            { track.event(0, { 0x90, 60, 90 }).endOfTrack(),
                Track().meta(0, 0x03, "Basso").endOfTrack() });
        RecordingHost host;
        std::string bytes;
        ConversionJob job;
        job.keepTitle = true;
        job.verify = true;
        convert(Source::bytes(file), Target::memory(bytes), job, host, host);
        EXPECT_EQ(bytes,
            smf::header(0, 1)
                + smf::chunk("MTrk",
                    nameEvent(name).insert(0, 1, '\0')
                        + smf::bytes({ 0, 0x90, 60, 90, 0, 0xFF, 0x2F, 0 })));
    }
}
