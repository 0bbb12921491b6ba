// SPDX-License-Identifier: MIT
// Makes the data fixtures of the tests and the fuzz seed corpus:
//
//   trackfold-make-fixtures DATA_DIR CORPUS_DIR          writes them
//   trackfold-make-fixtures --check DATA_DIR CORPUS_DIR  compares them
//
// DATA_DIR/invalid/<defect>/ gets one or more files with one defect and an
// expected.txt with the warning the conversion must give for every one of
// them; DATA_DIR/valid/ gets files that must convert, and valid/expected.txt
// the number of rows (RIGHE) of each. CORPUS_DIR gets every fixture under
// 64 KiB plus a few well-formed seeds. Same program, same bytes: the fixtures
// are committed and a test checks they still match this program.
#include "smfbuilder.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using trackfold::smf::Track;
namespace smf = trackfold::smf;

namespace {

constexpr std::size_t HeaderSize = 22; // MThd chunk and the first MTrk header

// Warning texts, written out here rather than taken from the engine so that a
// changed engine text shows up as a failing sweep.
const std::string Crlf = "\r\n";
const std::string InvalidHeader = "Intestazione del midifile non valida";

// Positions count from 1 at the first byte after the 22 header bytes.
std::string incomplete(std::size_t bodyPos)
{
    return "Pos." + std::to_string(bodyPos) + Crlf + "Evento incompleto - fine del file inattesa";
}

std::string unknownStatus(std::size_t bodyPos, int status)
{
    return "Pos." + std::to_string(bodyPos) + Crlf + "Status " + std::to_string(status)
        + " - Valore sconosciuto";
}

std::string timeTooLarge(std::size_t bodyPos)
{
    return "Pos." + std::to_string(bodyPos) + Crlf
        + "Tempo assoluto troppo grande - Valore non rappresentabile";
}

std::string deltaTooLarge(std::size_t row)
{
    return "Riga " + std::to_string(row) + Crlf
        + "Delta time troppo grande - Valore non rappresentabile";
}

struct Defect
{
    std::string name;
    std::map<std::string, std::string> files; // file name -> bytes
    std::string expected;
};

struct ValidFile
{
    std::string name;
    std::string bytes;
    long long rows; // RIGHE: 1 (the header row) + collected events
};

// A Format 1 file whose first track chunk holds exactly body (declared length
// = body size), followed by the given raw bytes.
std::string oneTrackFile(const std::string &body, std::uint32_t tracks = 1)
{
    return smf::header(1, static_cast<std::uint16_t>(tracks)) + smf::chunk("MTrk", body);
}

// A track chunk header that promises more than follows, as a cut download has.
std::string cutTrackFile(const std::string &body, std::uint32_t declared = 0x100)
{
    return smf::header(1, 1) + smf::chunkWithLength("MTrk", declared, body);
}

const std::string NoteOn = smf::bytes({ 0x00, 0x90, 0x3C, 0x40 }); // 4 body bytes

std::vector<Defect> invalidFixtures()
{
    std::vector<Defect> d;
    const Track goodTrack
        = Track().event(0, { 0x90, 0x3C, 0x40 }).event(96, { 0x80, 0x3C, 0x00 }).endOfTrack();
    const std::string good = oneTrackFile(goodTrack.bytes());

    d.push_back({ "empty", { { "empty.mid", "" } }, InvalidHeader });
    d.push_back({ "header_only", { { "header_only.mid", smf::header(1, 1) } }, InvalidHeader });
    {
        Defect cut { "truncated_in_header", {}, InvalidHeader };
        for (std::size_t n : { 1, 4, 7, 8, 10, 13, 15, 18, 21 })
            cut.files["cut_at_" + std::to_string(n) + ".mid"] = good.substr(0, n);
        d.push_back(cut);
    }
    // 22 bytes: there is a track chunk, but not one byte of its first event.
    d.push_back({ "header_and_track_header_only",
        { { "length_0.mid", cutTrackFile("", 0) }, { "length_12.mid", cutTrackFile("", 12) } },
        incomplete(1) });
    {
        Defect len { "header_length_not_6", {}, InvalidHeader };
        const std::string rest = good.substr(8);
        len.files["length_0.mid"] = "MThd" + smf::be32(0) + rest;
        len.files["length_7.mid"] = "MThd" + smf::be32(7) + smf::be16(1) + smf::be16(1)
            + smf::be16(96) + std::string(1, '\0') + good.substr(14);
        len.files["length_8.mid"] = "MThd" + smf::be32(8) + smf::be16(1) + smf::be16(1)
            + smf::be16(96) + smf::be16(0) + good.substr(14);
        len.files["length_little_endian.mid"] = "MThd" + smf::bytes({ 6, 0, 0, 0 }) + rest;
        len.files["length_ffffffff.mid"] = "MThd" + smf::be32(0xFFFFFFFF) + rest;
        d.push_back(len);
    }
    d.push_back({ "not_midi_text",
        { { "readme.mid",
            "This is a plain text file that somebody renamed to .mid.\n"
            "It has no MIDI header at all.\n" } },
        InvalidHeader });
    d.push_back({ "not_midi_png",
        { { "image.mid",
            smf::bytes({ 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A })
                + smf::chunk("IHDR", smf::be32(1) + smf::be32(1) + smf::bytes({ 8, 6, 0, 0, 0 }))
                + smf::be32(0x1F15C489) } },
        InvalidHeader });
    // A RIFF file of another form (WAVE) around a good file: an RMID file
    // would be unwrapped, this one is not.
    d.push_back({ "not_midi_riff",
        { { "sound.rmi",
            "RIFF" + smf::bytes({ static_cast<int>(good.size() + 12), 0, 0, 0 }) + "WAVEdata"
                + smf::bytes({ static_cast<int>(good.size()), 0, 0, 0 }) + good } },
        "File RIFF che non è un RMID (un midifile RIFF)" });

    // Cut inside a two-byte delta time: the position is one past the last byte.
    d.push_back({ "truncated_in_delta",
        { { "delta_cut.mid", cutTrackFile(NoteOn + smf::bytes({ 0x83, 0x81 })) } },
        incomplete(NoteOn.size() + 2 + 1) });
    // The second event's status (or running data byte) stands at body position 6.
    d.push_back({ "truncated_after_status",
        { { "status_only.mid", cutTrackFile(NoteOn + smf::bytes({ 0x00, 0xB0 })) },
            { "one_data_byte.mid", cutTrackFile(NoteOn + smf::bytes({ 0x00, 0xB0, 0x07 })) },
            { "running_one_data_byte.mid", cutTrackFile(NoteOn + smf::bytes({ 0x00, 0x3E })) } },
        incomplete(6) });
    d.push_back({ "truncated_in_meta_type",
        { { "meta_type_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xFF })) } }, incomplete(2) });
    d.push_back({ "truncated_in_meta_length",
        { { "no_length.mid", cutTrackFile(smf::bytes({ 0x00, 0xFF, 0x01 })) },
            { "length_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xFF, 0x05, 0x81 })) } },
        incomplete(2) });
    d.push_back({ "truncated_in_meta_data",
        { { "text_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xFF, 0x01, 0x05, 'a', 'b' })) },
            // A meta event the output drops must still be whole.
            { "track_name_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xFF, 0x03, 0x10, 'x' })) },
            { "long_lyric_cut.mid",
                cutTrackFile(
                    smf::bytes({ 0x00, 0xFF, 0x05, 0x81, 0x48 }) + std::string(150, 'l')) } },
        incomplete(2) });
    d.push_back({ "truncated_in_sysex_length",
        { { "no_length.mid", cutTrackFile(smf::bytes({ 0x00, 0xF0 })) },
            { "length_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xF0, 0x83 })) } },
        incomplete(2) });
    d.push_back({ "truncated_in_sysex_data",
        { { "short_sysex_cut.mid",
              cutTrackFile(smf::bytes({ 0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09 })) },
            { "long_sysex_cut.mid",
                cutTrackFile(smf::bytes({ 0x00, 0xF0, 0x81, 0x48 }) + std::string(100, '\x11')) } },
        incomplete(2) });
    d.push_back({ "truncated_in_system_message",
        { { "song_position_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xF2, 0x01 })) },
            { "song_select_cut.mid", cutTrackFile(smf::bytes({ 0x00, 0xF3 })) } },
        incomplete(2) });
    {
        // A whole first track, then the second track's first event is cut after
        // its status: the position counts across the chunk header between them.
        const std::string first = Track()
                                      .event(0, { 0x90, 0x3C, 0x40 })
                                      .event(10, { 0x80, 0x3C, 0x00 })
                                      .endOfTrack()
                                      .bytes();
        const std::string file = smf::header(1, 2) + smf::chunk("MTrk", first)
            + smf::chunkWithLength("MTrk", 3, smf::bytes({ 0x00, 0xC0 }));
        d.push_back({ "truncated_in_second_track", { { "second_track_cut.mid", file } },
            incomplete(first.size() + 8 + 2) });
    }

    d.push_back({ "status_f7",
        { { "escape_first.mid", cutTrackFile(smf::bytes({ 0x00, 0xF7, 0x03, 0x43, 0x12, 0x00 })) },
            { "escape_alone.mid",
                oneTrackFile(smf::bytes({ 0x00, 0xF7, 0x00, 0x00, 0xFF, 0x2F, 0x00 })) } },
        unknownStatus(2, 0xF7) });
    for (int status : { 0xF1, 0xF4, 0xF5, 0xF9, 0xFD }) {
        char name[32];
        std::snprintf(name, sizeof name, "undefined_status_%02x", status);
        d.push_back({ name,
            { { std::string(name) + ".mid",
                oneTrackFile(
                    NoteOn + smf::bytes({ 0x00, status, 0x00, 0x00, 0xFF, 0x2F, 0x00 })) } },
            unknownStatus(6, status) });
    }
    // No channel status seen yet: the running status is 0, which is no status.
    d.push_back({ "data_byte_before_status",
        { { "first_event.mid",
            oneTrackFile(smf::bytes({ 0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00 })) } },
        unknownStatus(2, 0) });
    // Meta and SysEx events do not set a running status.
    d.push_back({ "data_byte_after_meta_and_sysex",
        { { "after_tempo_and_sysex.mid",
            oneTrackFile(smf::bytes({ 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, // 1-7
                0x00, 0xF0, 0x02, 0x43, 0xF7, // 8-12
                0x00, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00 })) } },
        unknownStatus(14, 0) });

    // Lengths of 0x0FFFFFFF (the largest four-byte quantity) and a five-byte
    // quantity whose first four bytes give the same: never read past the end.
    d.push_back({ "meta_length_huge",
        { { "text_0fffffff.mid",
              cutTrackFile(smf::bytes({ 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 'b' })) },
            { "text_five_byte_length.mid",
                cutTrackFile(smf::bytes({ 0x00, 0xFF, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a' })) },
            { "track_name_0fffffff.mid",
                oneTrackFile(smf::bytes(
                    { 0x00, 0xFF, 0x03, 0xFF, 0xFF, 0xFF, 0x7F, 'P', 0x00, 0xFF, 0x2F, 0x00 })) } },
        incomplete(2) });
    d.push_back({ "sysex_length_huge",
        { { "sysex_0fffffff.mid",
              oneTrackFile(smf::bytes(
                  { 0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x43, 0xF7, 0x00, 0xFF, 0x2F, 0x00 })) },
            { "sysex_five_byte_length.mid",
                oneTrackFile(smf::bytes({ 0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xF7, 0x00,
                    0xFF, 0x2F, 0x00 })) } },
        incomplete(2) });

    // A delta time is at most four bytes: the fifth byte of an over-long
    // quantity is where the status is looked for.
    d.push_back({ "delta_five_bytes",
        { { "zero_in_five_bytes.mid",
            oneTrackFile(smf::bytes(
                { 0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00 })) } },
        unknownStatus(5, 0) });
    d.push_back({ "delta_five_continuation_bytes",
        { { "five_continuation_bytes_at_end.mid",
            cutTrackFile(NoteOn + smf::bytes({ 0x81, 0x81, 0x81, 0x81, 0x81 })) } },
        incomplete(NoteOn.size() + 4 + 1) });

    {
        // 2^20 + 1 deltas of 0x0FFFFFFF pass 2^48 - 1; each event is a
        // four-byte delta and a Timing Clock, so the k-th status is at 5k.
        const std::size_t events = (std::size_t { 1 } << 20) + 1;
        std::string body;
        body.reserve(events * 5 + 4);
        for (std::size_t i = 0; i < events; ++i)
            body += smf::vlq(0x0FFFFFFF) + smf::bytes({ 0xF8 });
        body += smf::bytes({ 0x00, 0xFF, 0x2F, 0x00 });
        d.push_back({ "absolute_time_past_2_48", { { "clock_ticks.mid", oneTrackFile(body) } },
            timeTooLarge(5 * events) });
    }
    {
        // A dropped track name takes up the first 0x0FFFFFFF ticks: the first
        // output row (row 2, below the headings and the header) lies
        // 0x1FFFFFFE after the start.
        const std::string body = smf::vlq(0x0FFFFFFF) + smf::bytes({ 0xFF, 0x03, 0x01, 'T' })
            + smf::vlq(0x0FFFFFFF) + smf::bytes({ 0xF8, 0x00, 0xFF, 0x2F, 0x00 });
        d.push_back({ "delta_between_rows_too_large",
            { { "gap_after_dropped_name.mid", oneTrackFile(body) } }, deltaTooLarge(2) });
    }
    return d;
}

std::vector<ValidFile> validFixtures()
{
    std::vector<ValidFile> v;
    {
        // 17 maximal deltas reach 17 * 0x0FFFFFFF > 2^32; a second track
        // lands between them.
        Track clocks;
        for (int i = 0; i < 17; ++i)
            clocks.event(0x0FFFFFFF, { 0xF8 });
        Track notes;
        for (int i = 0; i < 16; ++i)
            notes.event(i == 0 ? 0x0FFFFFFF / 2 : 0x0FFFFFFF, { 0x90, 0x3C, 0x40 });
        v.push_back({ "absolute_time_past_2_32.mid",
            smf::file(1, { clocks.endOfTrack(), notes.endOfTrack() }), 1 + 17 + 16 });
    }
    const std::string track = Track()
                                  .event(0, { 0x90, 0x3C, 0x40 })
                                  .event(96, { 0x80, 0x3C, 0x00 })
                                  .endOfTrack()
                                  .bytes();
    const std::string second = Track().event(48, { 0xC1, 0x05 }).endOfTrack().bytes();
    // A track chunk length of 0xFFFFFFFF is only a header field: the events end
    // with End of Track and the image.
    v.push_back({ "chunk_length_huge_track.mid",
        smf::header(1, 1) + smf::chunkWithLength("MTrk", 0xFFFFFFFF, track), 1 + 2 });
    // Skipping a foreign chunk of 0xFFFFFFFF bytes leaves the image: the
    // reading ends with the tracks read so far.
    v.push_back({ "chunk_length_huge_after_track.mid",
        smf::header(1, 2) + smf::chunk("MTrk", track)
            + smf::chunkWithLength("XFIH", 0xFFFFFFFF, "abc") + smf::chunk("MTrk", second),
        1 + 2 });
    v.push_back({ "chunk_length_huge_before_track.mid",
        smf::header(1, 1) + smf::chunkWithLength("XFIH", 0xFFFFFFFF, "abc")
            + smf::chunk("MTrk", track),
        1 });
    v.push_back({ "two_tracks.mid",
        smf::header(1, 2) + smf::chunk("MTrk", track) + smf::chunk("MTrk", second), 1 + 3 });
    v.push_back({ "no_end_of_track.mid", oneTrackFile(NoteOn), 1 + 1 });
    v.push_back({ "second_file_joined.mid",
        smf::header(1, 1) + smf::chunk("MTrk", track) + smf::header(1, 1)
            + smf::chunk("MTrk", second),
        1 + 2 });
    const Track metaAndSysEx = Track()
                                   .meta(0, 0x03, "Name")
                                   .meta(0, 0x51, "\x07\xA1\x20")
                                   .meta(0, 0x05, std::string(200, 'y'))
                                   .sysex(10, std::string(300, '\x22') + "\xF7")
                                   .endOfTrack();
    v.push_back({ "meta_and_sysex_only.mid", oneTrackFile(metaAndSysEx.bytes()), 1 + 3 });
    {
        // Sixteen tracks on sixteen channels, every event in running status and
        // all tracks on the same ticks: in the merged output no two neighbours
        // share a status, so every event gets its status byte back. Channel
        // pressure grows from 2 to 3 bytes (+50 %), notes from 3 to 4 (+33 %).
        constexpr int Events = 1500;
        std::vector<Track> tracks(16);
        for (int ch = 0; ch < 16; ++ch) {
            const bool notes = ch % 4 == 3;
            for (int i = 0; i < Events; ++i) {
                const std::uint32_t delta = i == 0 ? 0 : 1;
                const int value = (i * 7 + ch * 5) % 128;
                if (notes)
                    tracks[ch].event(delta,
                        i == 0 ? smf::bytes({ 0x90 | ch, value, 0x40 })
                               : smf::bytes({ value, 0x40 }));
                else
                    tracks[ch].event(
                        delta, i == 0 ? smf::bytes({ 0xD0 | ch, value }) : smf::bytes({ value }));
            }
            tracks[ch].endOfTrack();
        }
        v.push_back({ "running_status_expansion.mid", smf::file(1, tracks), 1 + 16 * Events });
    }
    return v;
}

// Well-formed seeds for the fuzzer beyond the fixtures: every kind of event.
std::map<std::string, std::string> extraSeeds()
{
    std::map<std::string, std::string> s;
    Track conductor;
    conductor.meta(0, 0x03, "Conductor")
        .meta(0, 0x58, "\x04\x02\x18\x08")
        .meta(0, 0x51, "\x07\xA1\x20")
        .meta(0, 0x59, std::string("\x00\x00", 2))
        .meta(384, 0x06, "Verse")
        .meta(0, 0x7F, "\x43\x7B\x01")
        .endOfTrack(0);
    Track piano;
    piano.meta(0, 0x21, std::string(1, '\0'))
        .event(0, { 0xC0, 0x00 })
        .event(0, { 0xB0, 0x07, 0x64 })
        .event(0, { 0x0A, 0x40 })
        .event(0, { 0x90, 0x3C, 0x40 })
        .event(0, { 0x40, 0x40 })
        .event(0, { 0x43, 0x40 })
        .event(96, { 0x3C, 0x00 })
        .event(0, { 0x40, 0x00 })
        .event(0, { 0x43, 0x00 })
        .event(0, { 0xE0, 0x00, 0x40 })
        .event(10, { 0xD0, 0x30 })
        .event(0, { 0xA0, 0x3C, 0x20 })
        .endOfTrack();
    Track voice;
    voice.sysex(0, std::string("\x7E\x7F\x09\x01\xF7", 5))
        .meta(0, 0x05, std::string(140, 'a'))
        .event(0, { 0xF8 })
        .event(0, { 0xF2, 0x01, 0x02 })
        .event(0, { 0xF3, 0x04 })
        .event(0, { 0xFA })
        .event(12, { 0x3E, 0x40 }) // running status carried over from the piano track
        .endOfTrack();
    s["seed_three_tracks.mid"] = smf::file(1, { conductor, piano, voice }, 96);
    Track a, b;
    for (int i = 0; i < 20; ++i) {
        a.event(i == 0 ? 0 : 24, { i == 0 ? 0x90 : 0x3C + i % 5, 0x40 });
        b.event(12, { 0xB1, 0x01, i * 3 });
    }
    s["seed_interleaved_running_status.mid"] = smf::file(1, { a.endOfTrack(), b.endOfTrack() });
    s["seed_padding_and_foreign_chunk.mid"] = smf::header(1, 2)
        + smf::chunk("MTrk",
            Track().event(0, { 0x91, 0x30, 0x10 }).endOfTrack().bytes() + std::string(3, '\0'))
        + smf::chunk("XFIH", "vendor")
        + smf::chunk("MTrk", Track().event(5, { 0x30, 0x00 }).bytes());
    // A track count past 255 (one chunk present): the output's is 00 01.
    s["seed_track_count_high_byte.mid"] = smf::header(1, 0x0101)
        + smf::chunk("MTrk", Track().event(0, { 0x90, 0x3C, 0x40 }).endOfTrack().bytes());
    return s;
}

std::string escapeCrlf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

// Path -> bytes of everything this program makes.
std::map<fs::path, std::string> everything(const fs::path &data, const fs::path &corpus)
{
    std::map<fs::path, std::string> out;
    constexpr std::size_t SeedLimit = 64 * 1024;
    for (const Defect &d : invalidFixtures()) {
        const fs::path dir = data / "invalid" / d.name;
        out[dir / "expected.txt"] = escapeCrlf(d.expected) + "\n";
        for (const auto &[name, bytes] : d.files) {
            out[dir / name] = bytes;
            if (bytes.size() <= SeedLimit)
                out[corpus / (d.name + "-" + name)] = bytes;
        }
    }
    std::string rows;
    for (const ValidFile &v : validFixtures()) {
        out[data / "valid" / v.name] = v.bytes;
        rows += v.name + " " + std::to_string(v.rows) + "\n";
        if (v.bytes.size() <= SeedLimit)
            out[corpus / ("valid-" + v.name)] = v.bytes;
    }
    out[data / "valid" / "expected.txt"] = rows;
    for (const auto &[name, bytes] : extraSeeds())
        out[corpus / name] = bytes;
    return out;
}

bool readFile(const fs::path &path, std::string &bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool check = !args.empty() && args.front() == "--check";
    if (check)
        args.erase(args.begin());
    if (args.size() != 2) {
        std::cerr << "usage: " << argv[0] << " [--check] DATA_DIR CORPUS_DIR\n";
        return 2;
    }
    const fs::path data = args[0], corpus = args[1];
    const auto files = everything(data, corpus);

    if (!check) {
        for (const auto &[path, bytes] : files) {
            fs::create_directories(path.parent_path());
            std::ofstream outFile(path, std::ios::binary | std::ios::trunc);
            outFile.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!outFile) {
                std::cerr << "cannot write " << path.string() << '\n';
                return 1;
            }
        }
        std::cout << "wrote " << files.size() << " files\n";
        return 0;
    }

    int differences = 0;
    for (const auto &[path, bytes] : files) {
        std::string onDisk;
        if (!readFile(path, onDisk)) {
            std::cerr << "missing: " << path.string() << '\n';
            ++differences;
        } else if (onDisk != bytes) {
            std::cerr << "differs from the generator: " << path.string() << '\n';
            ++differences;
        }
    }
    // Fixtures nobody makes any more would be swept without being checked here.
    for (const fs::path &dir : { data / "invalid", data / "valid" }) {
        if (!fs::exists(dir))
            continue;
        for (const auto &entry : fs::recursive_directory_iterator(dir)) {
            if (entry.is_regular_file() && !files.count(entry.path())) {
                std::cerr << "not made by the generator: " << entry.path().string() << '\n';
                ++differences;
            }
        }
    }
    if (differences) {
        std::cerr << differences << " difference(s); rebuild with: " << argv[0]
                  << " DATA_DIR CORPUS_DIR\n";
        return 1;
    }
    std::cout << files.size() << " fixtures match\n";
    return 0;
}
