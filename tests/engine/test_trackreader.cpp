// SPDX-License-Identifier: MIT
#include "codecs.h"
#include "eventgrid.h"
#include "merge.h"
#include "smfbuilder.h"
#include "trackreader.h"

#include <gtest/gtest.h>

using namespace trackfold;
using smf::Track;

namespace {

struct Collected
{
    std::uint64_t time;
    std::string hex;
    bool operator==(const Collected &) const = default;
};

std::ostream &operator<<(std::ostream &os, const Collected &c)
{
    return os << c.time << ':' << c.hex;
}

// Reads a file image and returns its collected events in merged order, or the
// scan's warning.
std::vector<Collected> collect(const std::string &file, std::string *warning = nullptr)
{
    TrackScan scan;
    if (!scanTracks(file, scan)) {
        if (warning)
            *warning = scan.warning;
        return {};
    }
    if (warning)
        warning->clear();
    std::vector<Collected> out;
    mergeTracks(file, scan, TieOrder::Track, [&](const EventRef &event) {
        const std::string bytes
            = static_cast<char>(event.status) + std::string(dataBytes(file, event));
        std::string hex;
        appendHex(hex, bytes.data(), bytes.size());
        out.push_back({ event.time(), hex });
        return true;
    });
    return out;
}

std::string warningFor(const std::string &file)
{
    std::string warning;
    EXPECT_TRUE(collect(file, &warning).empty());
    return warning;
}

std::string oneTrack(const Track &track)
{
    return smf::file(1, { track });
}

std::string unknown(int pos, int status)
{
    return "Pos." + std::to_string(pos) + "\r\nStatus " + std::to_string(status)
        + " - Valore sconosciuto";
}

std::string incomplete(int pos)
{
    return "Pos." + std::to_string(pos) + "\r\nEvento incompleto - fine del file inattesa";
}

} // namespace

TEST(TrackReader, HeaderChecks)
{
    const std::string good = oneTrack(Track().endOfTrack());
    EXPECT_TRUE(hasValidHeader(good));
    EXPECT_FALSE(hasValidHeader(good.substr(0, 21)));
    EXPECT_FALSE(hasValidHeader("RIFF" + good.substr(4)));
    std::string longHeader = good;
    longHeader[7] = 8;
    EXPECT_FALSE(hasValidHeader(longHeader));

    const std::string header
        = makeOutputHeader(smf::header(1, 5, 96) + "MTrk" + smf::be32(77), 1234);
    EXPECT_EQ(header, smf::header(0, 1, 96) + "MTrk" + smf::be32(1234));
    // A file of 300 tracks (01 2C) still becomes one of one track.
    EXPECT_EQ(makeOutputHeader(smf::header(1, 300, 96) + "MTrk" + smf::be32(77), 1234), header);
}

TEST(TrackReader, RunningStatusWithinTrack)
{
    const Track track = Track()
                            .event(0, { 0x90, 0x3C, 0x40 })
                            .event(0, { 0x3E, 0x40 })
                            .event(10, { 0xC0, 0x05 })
                            .event(0, { 0x07 })
                            .endOfTrack();
    const auto events = collect(oneTrack(track));
    EXPECT_EQ(events,
        (std::vector<Collected> {
            { 0, "903C40" }, { 0, "903E40" }, { 10, "C005" }, { 10, "C007" } }));
}

TEST(TrackReader, RunningStatusSurvivesMetaAndSysEx)
{
    const Track track = Track()
                            .event(0, { 0x90, 0x3C, 0x40 })
                            .event(1, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 })
                            .event(1, { 0x3E, 0x40 })
                            .event(1, { 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7 })
                            .event(1, { 0x40, 0x40 })
                            .endOfTrack();
    const auto events = collect(oneTrack(track));
    EXPECT_EQ(events,
        (std::vector<Collected> { { 0, "903C40" }, { 1, "FF510307A120" }, { 2, "903E40" },
            { 3, "F0057E7F0901F7" }, { 4, "904040" } }));
}

TEST(TrackReader, DropsNamePortPrefixAndEndOfTrack)
{
    const Track track = Track()
                            .meta(0, 0x03, "Piano")
                            .meta(0, 0x21, "\x01")
                            .meta(0, 0x20, std::string(1, '\0'))
                            .meta(0, 0x01, "text")
                            .meta(0, 0x51, "\x07\xA1\x20")
                            .endOfTrack();
    const auto events = collect(oneTrack(track));
    EXPECT_EQ(events, (std::vector<Collected> { { 0, "FF010474657874" }, { 0, "FF510307A120" } }));
}

TEST(TrackReader, SystemMessagesOfEveryLength)
{
    const Track track = Track()
                            .event(0, { 0xF2, 0x01, 0x02 })
                            .event(0, { 0xF3, 0x04 })
                            .event(0, { 0xF8 })
                            .endOfTrack();
    const auto events = collect(oneTrack(track));
    EXPECT_EQ(events, (std::vector<Collected> { { 0, "F20102" }, { 0, "F304" }, { 0, "F8" } }));
}

TEST(TrackReader, LongLengthsAreFullQuantities)
{
    const std::string lyric(200, 'a');
    const std::string dump(20000, '\x11');
    const auto events = collect(oneTrack(Track().meta(0, 0x05, lyric).sysex(1, dump).endOfTrack()));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].hex.substr(0, 8), "FF058148");
    EXPECT_EQ(events[0].hex.size(), 2 * (4 + lyric.size()));
    EXPECT_EQ(events[1].hex.substr(0, 8), "F0819C20"); // 20000 = 1 1C 20 in 7-bit groups
    EXPECT_EQ(events[1].hex.size(), 2 * (4 + dump.size()));
}

TEST(TrackReader, TracksChainAndRestartAtZero)
{
    // The second track begins with a data byte: it takes the last status of the first.
    const std::string file = smf::file(1,
        { Track()
                .event(0, { 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20 })
                .event(5, { 0x91, 0x30, 0x10 })
                .endOfTrack(),
            Track().event(3, { 0x31, 0x11 }).endOfTrack() });
    EXPECT_EQ(collect(file),
        (std::vector<Collected> { { 0, "FF510307A120" }, { 3, "913111" }, { 5, "913010" } }));
}

TEST(TrackReader, EndsCleanlyWithoutEndOfTrack)
{
    const auto events = collect(oneTrack(Track().event(0, { 0x90, 0x3C, 0x40 })));
    EXPECT_EQ(events, (std::vector<Collected> { { 0, "903C40" } }));
}

TEST(TrackReader, TimesPastEightDigitsAndThirtyTwoBits)
{
    Track track;
    for (int i = 0; i < 17; ++i)
        track.event(0x0FFFFFFF, { 0xF8 });
    const auto events = collect(oneTrack(track.endOfTrack()));
    ASSERT_EQ(events.size(), 17u);
    EXPECT_EQ(events.back().time, 17ull * 0x0FFFFFFF);
    EventGrid grid;
    grid.adoptImage(std::string(1, '\xF8'));
    grid.addHeaderRow(std::string(22, '\0'));
    EventRef event;
    event.status = 0xF8;
    event.setTime(17ull * 0x0FFFFFFF);
    grid.addEvent(event);
    EXPECT_EQ(grid.textMatrix(2, 0), "4563402735");
}

TEST(TrackReaderFailures, UnknownStatusBytes)
{
    EXPECT_EQ(warningFor(oneTrack(Track().event(0, { 0xF7, 0x00 }))), unknown(2, 247));
    EXPECT_EQ(warningFor(oneTrack(Track().event(0, { 0x3C, 0x40 }))), unknown(2, 0));
    for (int status : { 0xF1, 0xF4, 0xF5, 0xF9, 0xFD }) {
        EXPECT_EQ(warningFor(oneTrack(Track().event(0, { 0xF8 }).event(0x81, { status, 0, 0 }))),
            unknown(5, status));
    }
}

TEST(TrackReaderFailures, IncompleteEvents)
{
    const std::string header = smf::header(1, 1) + "MTrk" + smf::be32(100);
    EXPECT_EQ(warningFor(header), incomplete(1)); // 22 bytes, no event at all
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0x90, 0x3C })), incomplete(2));
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0x90, 0x3C, 0x40, 0x81 })), incomplete(6));
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0x90, 0x3C, 0x40, 0x00 })), incomplete(6));
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0xFF })), incomplete(2));
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0xFF, 0x01 })), incomplete(2));
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0xFF, 0x01, 0x05, 'a' })), incomplete(2));
    // A dropped meta event is read to its end too.
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0xFF, 0x03, 0x10, 'x' })), incomplete(2));
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0xF0, 0x83, 0xFF })), incomplete(2));
    // A lying length of 0xFFFFFFFF-ish on a meta event never reads outside.
    EXPECT_EQ(warningFor(header + smf::bytes({ 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0 })),
        incomplete(2));
}

TEST(TrackReaderFailures, TrackChunkWithNoBytesAtTheEnd)
{
    const std::string file
        = oneTrack(Track().event(0, { 0x90, 0x3C, 0x40 }).endOfTrack()) + smf::chunk("MTrk", "");
    const int bodyLength = static_cast<int>(file.size()) - 22;
    EXPECT_EQ(warningFor(file), incomplete(bodyLength + 1));
}

TEST(TrackReaderFailures, AbsoluteTimePastLimit)
{
    // 2^20 maximal delta times add up past 48 bits.
    Track track;
    for (int i = 0; i < (1 << 20) + 17; ++i)
        track.event(0x0FFFFFFF, { 0xF8 });
    const std::string warning = warningFor(oneTrack(track));
    EXPECT_NE(warning.find("Tempo assoluto troppo grande"), std::string::npos) << warning;

    // The same when a note behind a short delta time crosses the limit: 2^20
    // maximal delta times leave 2^20 - 1 ticks, which 64 notes of 16,383 and
    // one of 100 pass. Its status byte is at body position 5 * 2^20 + 64 * 5 + 2.
    Track notes;
    for (int i = 0; i < (1 << 20); ++i)
        notes.event(0x0FFFFFFF, { 0xF8 });
    for (int i = 0; i < 64; ++i)
        notes.event(16383, { 0x90, 60, 0 });
    notes.event(100, { 0x90, 60, 100 });
    EXPECT_EQ(warningFor(oneTrack(notes)),
        "Pos." + std::to_string(5 * (1 << 20) + 64 * 5 + 2)
            + "\r\nTempo assoluto troppo grande - Valore non rappresentabile");
}

TEST(TrackReaderChunks, ForeignChunkAfterEndOfTrackIsSkipped)
{
    const std::string file = smf::header(1, 2)
        + Track().event(0, { 0x90, 0x3C, 0x40 }).endOfTrack().chunk()
        + smf::chunk("XFIH", "some vendor data")
        + Track().event(7, { 0x80, 0x3C, 0x00 }).endOfTrack().chunk();
    EXPECT_EQ(collect(file), (std::vector<Collected> { { 0, "903C40" }, { 7, "803C00" } }));
}

TEST(TrackReaderChunks, PaddingInsideTheChunkIsSkipped)
{
    const std::string body
        = Track().event(0, { 0x90, 0x3C, 0x40 }).endOfTrack().bytes() + std::string(5, '\0');
    const std::string file = smf::header(1, 2) + smf::chunk("MTrk", body)
        + Track().event(7, { 0x80, 0x3C, 0x00 }).endOfTrack().chunk();
    EXPECT_EQ(collect(file), (std::vector<Collected> { { 0, "903C40" }, { 7, "803C00" } }));
}

TEST(TrackReaderChunks, SecondHeaderOrGarbageEndsTheReading)
{
    const std::string first
        = smf::header(1, 1) + Track().event(0, { 0x90, 0x3C, 0x40 }).endOfTrack().chunk();
    const std::string second = Track().event(1, { 0x80, 0x3C, 0x00 }).endOfTrack().chunk();
    const std::vector<Collected> onlyFirst { { 0, "903C40" } };
    EXPECT_EQ(collect(first + first.substr(0, 14) + second), onlyFirst);
    EXPECT_EQ(collect(first + smf::bytes({ 0x01, 0x02, 0x03 })), onlyFirst);
    EXPECT_EQ(collect(first + "MT"), onlyFirst);
}

TEST(TrackReaderChunks, LeadingForeignChunksBeforeTheFirstTrack)
{
    const std::string track = Track().event(2, { 0xB0, 0x07, 0x64 }).endOfTrack().chunk();
    const std::string file
        = smf::header(1, 1) + smf::chunk("XFIH", "abc") + smf::chunk("JUNK", "") + track;
    EventGrid grid;
    TrackScan scan;
    ASSERT_TRUE(scanTracks(file, scan));
    EXPECT_EQ(scan.firstTrackLength, track.size() - 8);
    EXPECT_EQ(collect(file), (std::vector<Collected> { { 2, "B00764" } }));
}

TEST(TrackReaderChunks, TrackEndingByItsLengthWithoutEndOfTrack)
{
    const std::string file = smf::header(1, 3)
        + smf::chunk("MTrk", Track().event(4, { 0x90, 0x3C, 0x40 }).bytes())
        + smf::chunk("MTrk", "") + Track().event(1, { 0x3E, 0x40 }).endOfTrack().chunk();
    // The third track's running status continues the first track's.
    EXPECT_EQ(collect(file), (std::vector<Collected> { { 1, "903E40" }, { 4, "903C40" } }));
}

TEST(TrackEventReader, PassesOverDroppedMetasAndStopsWhereTheBytesDo)
{
    // A track name, a running note after a two-byte delta time, a tempo, and
    // an undefined status.
    const std::string bytes("\x00\xFF\x03\x01X"
                            "\x81\x00\x40\x7F"
                            "\x00\xFF\x51\x03\x07\xA1\x20"
                            "\x00\xF4",
        18);
    TrackEventReader reader(bytes, 0, 0x91);
    TrackEvent event;
    ASSERT_TRUE(reader.readKept(event, bytes.size()));
    EXPECT_EQ(event.ref, 7u);
    EXPECT_EQ(event.status, 0x91);
    EXPECT_TRUE(event.impliedStatus);
    EXPECT_EQ(reader.time(), 128u);
    ASSERT_TRUE(reader.readKept(event, bytes.size()));
    EXPECT_TRUE(event.isMeta(0x51));
    // Reading a track that the scan would have refused ends instead of going round.
    EXPECT_FALSE(reader.readKept(event, bytes.size()));
    EXPECT_EQ(reader.pos(), bytes.size());
    TrackEventReader again(bytes, 16, 0x91);
    EXPECT_EQ(again.read(event), ReadOutcome::UnknownStatus);
    EXPECT_EQ(event.errorPos, 17u);
}
