// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "merge.h"
#include "randomfile.h"
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
using namespace trackfold::test;

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

TEST(Split, LongFilesSplitInSegmentsGiveTheBytesOfOneMerge)
{
    // The window's split keeps its rows and merges in one stream; without a
    // grid a long file goes in segments on two threads, or on one.
    std::mt19937 rng(20261213);
    for (int round = 0; round < 4; ++round) {
        Expected expected;
        const std::string file = randomFile(rng, expected, { 4, 6, 40000, round % 2 == 0, 35000 });
        RecordingHost host;
        ConversionJob job;
        job.format = 1;
        ConversionResult inOne;
        const std::string whole = trackfold::SalvaMidi0(file, host.grid(), host, host, inOne, job);
        ASSERT_FALSE(whole.empty()) << "round " << round;
        for (unsigned threads : { 1u, 2u }) {
            RecordingHost other;
            std::string out;
            job.threads = threads;
            const ConversionResult result
                = convert(Source::bytes(file), Target::memory(out), job, other, other);
            EXPECT_EQ(out, whole) << "round " << round << ", " << threads << " threads";
            EXPECT_EQ(result.warning, inOne.warning) << "round " << round;
        }
    }
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
