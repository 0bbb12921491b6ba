// SPDX-License-Identifier: MIT
#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "merge.h"
#include "randomfile.h"
#include "recordinghost.h"
#include "segmentedwrite.h"
#include "smfbuilder.h"
#include "texts.h"

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

TEST(Conversion, CancelledConversionsLeaveTheOutputAsItWas)
{
    // A host that cancels when a given caption shows, or at the first report
    // of progress (a long file written in segments, then in one stream).
    struct Canceller : RecordingHost
    {
        std::atomic<bool> cancel { false };
        std::string at;
        void showStatus(const std::string &caption) override
        {
            RecordingHost::showStatus(caption);
            if (caption == at)
                cancel = true;
        }
        void showProgress(std::uint64_t, std::uint64_t) override { cancel = at.empty(); }
    };
    std::mt19937 rng(20261208);
    Expected expected;
    const std::string file = randomFile(rng, expected, { 4, 4, 50000, true, 40000 });
    std::string folder
        = (std::filesystem::temp_directory_path() / "trackfold-cancel-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string path = folder + "/out.mid";
    std::string error;
    ASSERT_TRUE(writeFileAtomically(path, "OLD", error));
    for (const int format : { 0, 1 }) {
        for (const char *at : { texts::ReadingTracks, texts::BuildingOutput, "" }) {
            Canceller host;
            host.at = tr(at);
            ConversionJob job { .threads = 2, .verify = true, .format = format };
            job.cancel = &host.cancel;
            const ConversionResult done
                = convert(Source::bytes(file), Target::file(path), job, host, host);
            EXPECT_EQ(done.status, ConversionStatus::Cancelled) << format << " " << at;
            EXPECT_TRUE(host.messages.empty());
        }
    }
    std::string out;
    ASSERT_TRUE(readWholeFile(path, out, error));
    EXPECT_EQ(out, "OLD");
    // Nothing but the old file: no temporary left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    std::filesystem::remove_all(folder);
}
