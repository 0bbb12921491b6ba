// SPDX-License-Identifier: MIT
// trackfold-make-example: writes Midi_F1.mid, the multi-track example piece.
//
// Five bars in C major at 100 BPM, Format 1, 480 ticks per quarter note:
//   track 0  conductor: name, copyright, time and key signature, tempo (with a
//            ritardando into the last bar), markers, the GM System On SysEx
//   track 1  "Melodia" (flute, channel 1): the tune, a long lyric line and one
//            syllable per note, a channel prefix meta event
//   track 2  "Pianoforte" (channel 2): half-note chords, sustain pedal, a MIDI port meta event
//   track 3  "Basso" (fingered bass, channel 3): roots and fifths on every beat
// Notes end with note-on velocity 0 so running status carries whole phrases;
// the beats of different tracks fall on the same ticks.

#include "smfbuilder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace smf = trackfold::smf;

constexpr std::uint32_t Quarter = 480;
constexpr std::uint32_t Bar = 4 * Quarter;

// One timed event before it is written: metas and SysEx hold their whole data,
// channel messages their status and data bytes.
struct Timed
{
    std::uint32_t time = 0;
    int order = 0; // at one tick: note-offs (0) before anything else (1)
    int kind = 0; // 0 channel, 1 meta, 2 SysEx
    int status = 0;
    int metaType = 0;
    std::string data;
};

// Collects events in any order and writes them as a track in time order, with
// running status for channel messages (a meta event or SysEx cancels it, as
// the file format requires).
class TrackBuilder
{
public:
    void meta(std::uint32_t t, int type, std::string data)
    {
        m_events.push_back({ t, 1, 1, 0xFF, type, std::move(data) });
    }
    void sysex(std::uint32_t t, std::string data)
    {
        m_events.push_back({ t, 1, 2, 0xF0, 0, std::move(data) });
    }
    void channel(std::uint32_t t, int status, std::initializer_list<int> data)
    {
        m_events.push_back({ t, 1, 0, status, 0, smf::bytes(data) });
    }
    // A note from t for length ticks, ended by a note-on of velocity 0 (or a
    // real note-off when asked).
    void note(std::uint32_t t, std::uint32_t length, int ch, int key, int velocity,
        bool realNoteOff = false)
    {
        m_events.push_back({ t, 1, 0, 0x90 | ch, 0, smf::bytes({ key, velocity }) });
        m_events.push_back({ t + length, 0, 0, (realNoteOff ? 0x80 : 0x90) | ch, 0,
            smf::bytes({ key, realNoteOff ? 0x40 : 0 }) });
    }

    smf::Track build(std::uint32_t endTime)
    {
        std::stable_sort(m_events.begin(), m_events.end(), [](const Timed &a, const Timed &b) {
            return a.time != b.time ? a.time < b.time : a.order < b.order;
        });
        smf::Track track;
        std::uint32_t now = 0;
        int running = 0;
        for (const Timed &e : m_events) {
            const std::uint32_t delta = e.time - now;
            now = e.time;
            if (e.kind == 1) {
                track.meta(delta, e.metaType, e.data);
                running = 0;
            } else if (e.kind == 2) {
                track.sysex(delta, e.data);
                running = 0;
            } else {
                std::string bytes;
                if (e.status != running)
                    bytes.push_back(static_cast<char>(e.status));
                running = e.status;
                track.event(delta, bytes + e.data);
            }
        }
        track.endOfTrack(std::max(endTime, now) - now);
        return track;
    }

private:
    std::vector<Timed> m_events;
};

constexpr std::uint32_t at(int bar, int beat, int eighth = 0)
{
    return static_cast<std::uint32_t>(bar) * Bar + static_cast<std::uint32_t>(beat) * Quarter
        + static_cast<std::uint32_t>(eighth) * (Quarter / 2);
}

std::string tempo(std::uint32_t bpm)
{
    const std::uint32_t us = 60'000'000 / bpm;
    return smf::bytes({ static_cast<int>(us >> 16), static_cast<int>((us >> 8) & 0xFF),
        static_cast<int>(us & 0xFF) });
}

smf::Track conductor(std::uint32_t end)
{
    TrackBuilder t;
    t.meta(0, 0x03, "Midi_F1 - Brano di esempio");
    t.meta(0, 0x02, "Trackfold, esempio libero da diritti");
    t.meta(0, 0x58, smf::bytes({ 4, 2, 24, 8 })); // 4/4, metronome every quarter
    t.meta(0, 0x59, smf::bytes({ 0, 0 })); // C major
    t.meta(0, 0x51, tempo(100));
    t.sysex(0, smf::bytes({ 0x7E, 0x7F, 0x09, 0x01, 0xF7 })); // GM System On
    t.meta(0, 0x06, "Strofa");
    t.meta(at(3, 0), 0x06, "Finale");
    t.meta(at(3, 2), 0x51, tempo(92));
    t.meta(at(3, 3), 0x51, tempo(84));
    t.meta(at(4, 0), 0x51, tempo(76));
    return t.build(end);
}

smf::Track melody(std::uint32_t end)
{
    constexpr int ch = 0;
    TrackBuilder t;
    t.meta(0, 0x03, "Melodia");
    t.meta(0, 0x20, smf::bytes({ ch }));
    t.meta(0, 0x04, "Flauto");
    t.channel(0, 0xC0 | ch, { 73 });
    t.channel(0, 0xB0 | ch, { 7, 100 });
    t.channel(0, 0xB0 | ch, { 10, 80 });
    t.meta(0, 0x05,
        "Canta piano la sera sul mare, quando il sole si posa lontano e le barche ritornano "
        "al porto; canta ancora, che il vento ti porta la voce di casa fino a domani.");
    t.meta(0, 0x01, "Melodia per flauto: quattro battute e la nota finale");

    struct Note
    {
        std::uint32_t time;
        std::uint32_t length;
        int key;
        const char *syllable;
    };
    static const Note tune[] = {
        { at(0, 0), Quarter, 67, "Can" },
        { at(0, 1), Quarter, 72, "ta " },
        { at(0, 2), Quarter, 76, "pia" },
        { at(0, 3), Quarter, 74, "no " },
        { at(1, 0), Quarter, 72, "la " },
        { at(1, 1), Quarter, 69, "se" },
        { at(1, 2), 2 * Quarter, 76, "ra " },
        { at(2, 0), Quarter, 77, "sul " },
        { at(2, 1), Quarter, 76, "ma" },
        { at(2, 2), Quarter / 2, 74, "re, " },
        { at(2, 2, 1), Quarter / 2, 72, "il " },
        { at(2, 3), Quarter, 74, "so" },
        { at(3, 0), 3 * Quarter, 74, "le " },
        { at(3, 3), Quarter, 71, "lon" },
        { at(4, 0), Bar, 72, "tano" },
    };
    for (const Note &n : tune) {
        t.meta(n.time, 0x05, n.syllable);
        t.note(n.time, n.length - 20, ch, n.key, 96);
    }
    return t.build(end);
}

// The chords of the five bars: C, Am, F, G, C.
constexpr int Chords[5][3]
    = { { 60, 64, 67 }, { 57, 60, 64 }, { 53, 57, 60 }, { 55, 59, 62 }, { 48, 55, 64 } };

smf::Track piano(std::uint32_t end)
{
    constexpr int ch = 1;
    TrackBuilder t;
    t.meta(0, 0x03, "Pianoforte");
    t.meta(0, 0x21, smf::bytes({ 0 })); // MIDI port 1
    t.channel(0, 0xC0 | ch, { 0 });
    t.channel(0, 0xB0 | ch, { 7, 90 });
    t.channel(0, 0xB0 | ch, { 10, 44 });
    for (int bar = 0; bar < 5; ++bar) {
        const int halves = bar == 4 ? 1 : 2;
        for (int h = 0; h < halves; ++h) {
            const std::uint32_t start = at(bar, 2 * h);
            const std::uint32_t length = (bar == 4 ? Bar : 2 * Quarter) - 10;
            for (int key : Chords[bar])
                t.note(start, length, ch, key, h == 0 ? 80 : 68);
        }
        // Pedal down on each bar, up just before the next chord change.
        t.channel(at(bar, 0) + 10, 0xB0 | ch, { 64, 127 });
        t.channel(at(bar, 0) + Bar - 20, 0xB0 | ch, { 64, 0 });
    }
    return t.build(end);
}

smf::Track bass(std::uint32_t end)
{
    constexpr int ch = 2;
    TrackBuilder t;
    t.meta(0, 0x03, "Basso");
    t.channel(0, 0xC0 | ch, { 33 });
    t.channel(0, 0xB0 | ch, { 7, 105 });
    t.channel(0, 0xB0 | ch, { 10, 64 });
    for (int bar = 0; bar < 4; ++bar) {
        // The chord's root in the bass register, C2 down to E1.
        int root = 36 + Chords[bar][0] % 12;
        if (root > 43)
            root -= 12;
        const int line[4] = { root, root + 7, root + 12, root + 7 };
        for (int beat = 0; beat < 4; ++beat)
            t.note(at(bar, beat), Quarter - 30, ch, line[beat], beat == 0 ? 100 : 85);
    }
    t.note(at(4, 0), Bar - 10, ch, 36, 100, true);
    return t.build(end);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 2
        || (argc == 2
            && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0))) {
        std::cout << "Usage: trackfold-make-example [OUT.mid]\n"
                     "Writes the multi-track example piece (default: Midi_F1.mid).\n";
        return argc > 2 ? 2 : 0;
    }
    const std::string path = argc == 2 ? argv[1] : "Midi_F1.mid";
    const std::uint32_t end = at(5, 0);
    const std::string image
        = smf::file(1, { conductor(end), melody(end), piano(end), bass(end) }, Quarter);

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(image.data(), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "trackfold-make-example: cannot write " << path << "\n";
        return 1;
    }
    std::cout << path << ": " << image.size() << " bytes\n";
    return 0;
}
