// SPDX-License-Identifier: MIT
#include "midigenerator.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <queue>
#include <vector>

namespace trackfold::bench {

namespace {

// Every track keeps pace with this many events per sixteenth note, so all
// tracks span about the same stretch of time and overlap all along.
constexpr std::uint64_t EventsPerStep = 2;
constexpr std::uint64_t StepsPerBar = 16;
constexpr std::uint8_t DrumChannel = 9;

// splitmix64: small, fast and the same on every platform (the standard
// distributions are not).
class Rng
{
public:
    explicit Rng(std::uint64_t seed)
        : m_state(seed)
    { }

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n); n > 0.
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    int range(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::uint64_t m_state;
};

void appendVlq(std::string &out, std::uint64_t v)
{
    char buf[10];
    int n = 0;
    buf[n++] = static_cast<char>(v & 0x7F);
    while ((v >>= 7) != 0)
        buf[n++] = static_cast<char>(0x80 | (v & 0x7F));
    while (n > 0)
        out.push_back(buf[--n]);
}

void appendBe32(std::string &out, std::uint32_t v)
{
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>((v >> 16) & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}

std::uint8_t clamp7(int v)
{
    return static_cast<std::uint8_t>(std::clamp(v, 0, 127));
}

// The harmony all tracks follow: one chord per bar, the key moving every 32 bars.
struct Chord
{
    int root = 0; // pitch class
    bool minor = false;
};

Chord chordOfBar(std::uint64_t bar)
{
    static constexpr std::array<int, 6> keys { 0, 5, 7, 2, 9, 3 };
    static constexpr std::array<int, 8> degrees { 0, 9, 5, 7, 0, 4, 2, 7 };
    static constexpr std::array<bool, 8> minorDegree { false, true, false, false, false, true, true,
        false };
    const int key = keys[(bar / 32) % keys.size()];
    const std::size_t d = bar % degrees.size();
    return { (key + degrees[d]) % 12, minorDegree[d] };
}

int chordTone(const Chord &chord, int index)
{
    static constexpr std::array<int, 4> major { 0, 4, 7, 12 };
    static constexpr std::array<int, 4> minor { 0, 3, 7, 12 };
    const auto &tones = chord.minor ? minor : major;
    return chord.root + tones[static_cast<std::size_t>(index) % 4] + 12 * (index / 4);
}

// Italian prose for lyric lines and performance notes.
std::string prose(Rng &rng, int minLength, int maxLength)
{
    static constexpr std::array<const char *, 32> words {
        "amore",
        "cuore",
        "sole",
        "mare",
        "notte",
        "stelle",
        "vento",
        "canto",
        "dolce",
        "piano",
        "forte",
        "lento",
        "sempre",
        "ancora",
        "domani",
        "lontano",
        "la",
        "il",
        "di",
        "che",
        "non",
        "per",
        "una",
        "nel",
        "cantare",
        "sognare",
        "tornare",
        "partire",
        "legato",
        "crescendo",
        "rubato",
        "tempo",
    };
    const int target = rng.range(minLength, maxLength);
    std::string text;
    text.reserve(static_cast<std::size_t>(target) + 16);
    while (static_cast<int>(text.size()) < target) {
        if (!text.empty())
            text.push_back(rng.chance(12) ? ',' : ' ');
        if (text.size() > 1 && text.back() == ',')
            text.push_back(' ');
        text += words[static_cast<std::size_t>(rng.below(static_cast<int>(words.size())))];
    }
    text.resize(static_cast<std::size_t>(target));
    return text;
}

// Writes the events of one track in time order, with running status, and never
// more than its event budget. A note reserves the slot of its note-off, which is
// written when the track's time reaches it.
class TrackWriter
{
public:
    // With a humanising seed, the events are written off the grid (see
    // MidiGeneratorOptions::humanised).
    explicit TrackWriter(std::uint64_t limit, std::optional<std::uint64_t> humanisingSeed = {})
        : m_limit(limit)
        , m_humanise(humanisingSeed.has_value())
        , m_jitter(humanisingSeed.value_or(0))
    { }

    std::uint64_t spent() const { return m_events + m_pending.size(); }
    std::uint64_t room() const { return m_limit - spent(); }
    std::uint64_t events() const { return m_events; }
    std::uint64_t now() const { return m_time; }

    bool channel(std::uint64_t t, std::uint8_t status, std::uint8_t d1)
    {
        if (room() < 1)
            return false;
        at(t);
        putStatus(status);
        m_out.push_back(static_cast<char>(d1));
        ++m_events;
        return true;
    }
    bool channel(std::uint64_t t, std::uint8_t status, std::uint8_t d1, std::uint8_t d2)
    {
        if (room() < 1)
            return false;
        at(t);
        putStatus(status);
        m_out.push_back(static_cast<char>(d1));
        m_out.push_back(static_cast<char>(d2));
        ++m_events;
        return true;
    }
    bool control(std::uint64_t t, std::uint8_t ch, std::uint8_t number, std::uint8_t value)
    {
        return channel(t, static_cast<std::uint8_t>(0xB0 | ch), number, value);
    }
    bool pitchBend(std::uint64_t t, std::uint8_t ch, int value)
    {
        value = std::clamp(value, 0, 0x3FFF);
        return channel(t, static_cast<std::uint8_t>(0xE0 | ch),
            static_cast<std::uint8_t>(value & 0x7F), static_cast<std::uint8_t>(value >> 7));
    }

    // A note-on now and its note-off after duration ticks, either as a note-on
    // with velocity 0 (keeps running status) or as a real note-off.
    bool note(std::uint64_t t, std::uint8_t ch, int key, int velocity, std::uint64_t duration,
        bool realNoteOff = false)
    {
        if (room() < 2)
            return false;
        channel(
            t, static_cast<std::uint8_t>(0x90 | ch), clamp7(key), clamp7(std::max(velocity, 1)));
        PendingOff off;
        off.time = t + std::max<std::uint64_t>(duration, 1);
        off.order = m_offOrder++;
        off.status = static_cast<std::uint8_t>((realNoteOff ? 0x80 : 0x90) | ch);
        off.key = clamp7(key);
        off.velocity = realNoteOff ? 0x40 : 0;
        m_pending.push(off);
        return true;
    }

    bool meta(std::uint64_t t, std::uint8_t type, std::string_view data)
    {
        if (room() < 1)
            return false;
        at(t);
        m_out.push_back(static_cast<char>(0xFF));
        m_out.push_back(static_cast<char>(type));
        appendVlq(m_out, data.size());
        m_out += data;
        m_running = 0; // a meta event cancels running status
        ++m_events;
        return true;
    }

    // data: the message after F0, its closing F7 included.
    bool sysex(std::uint64_t t, std::string_view data)
    {
        if (room() < 1)
            return false;
        at(t);
        m_out.push_back(static_cast<char>(0xF0));
        appendVlq(m_out, data.size());
        m_out += data;
        m_running = 0;
        ++m_events;
        return true;
    }

    // Writes the outstanding note-offs and End of Track tail ticks after the last event.
    void finish(std::uint64_t tail)
    {
        flush(UINT64_MAX);
        at(m_time + tail);
        m_out += std::string_view("\xFF\x2F\x00", 3);
    }
    void flushAll() { flush(UINT64_MAX); }

    std::string take() { return std::move(m_out); }

private:
    struct PendingOff
    {
        std::uint64_t time = 0;
        std::uint64_t order = 0;
        std::uint8_t status = 0;
        std::uint8_t key = 0;
        std::uint8_t velocity = 0;
        bool operator>(const PendingOff &o) const
        {
            return time != o.time ? time > o.time : order > o.order;
        }
    };

    // Moves the track's clock to t: the note-offs due until then come first
    // (at a shared tick a note ends before the next one starts).
    void at(std::uint64_t t)
    {
        flush(t);
        writeDelta(t);
    }
    void flush(std::uint64_t t)
    {
        while (!m_pending.empty() && m_pending.top().time <= t) {
            const PendingOff off = m_pending.top();
            m_pending.pop();
            writeDelta(off.time);
            putStatus(off.status);
            m_out.push_back(static_cast<char>(off.key));
            m_out.push_back(static_cast<char>(off.velocity));
            ++m_events;
        }
    }
    void writeDelta(std::uint64_t t)
    {
        m_time = t;
        std::uint64_t fileTime = t;
        if (m_humanise) {
            // Up to about 12 ms late at 120 beats a minute, and always after
            // the track's event before, so that no two events of one track
            // share a tick either.
            constexpr int Spread = 12 * HumanisedTicksPerGridTick;
            fileTime = t * HumanisedTicksPerGridTick
                + static_cast<std::uint64_t>(m_jitter.below(Spread));
            if (m_written)
                fileTime = std::max(fileTime, m_fileTime + 1);
            m_written = true;
        }
        appendVlq(m_out, fileTime - m_fileTime);
        m_fileTime = fileTime;
    }
    void putStatus(std::uint8_t status)
    {
        if (status != m_running)
            m_out.push_back(static_cast<char>(status));
        m_running = status;
    }

    std::string m_out;
    std::uint64_t m_limit;
    std::uint64_t m_events = 0;
    std::uint64_t m_time = 0; // on the grid
    std::uint64_t m_fileTime = 0; // as written
    std::uint64_t m_offOrder = 0;
    std::uint8_t m_running = 0;
    bool m_humanise;
    bool m_written = false;
    Rng m_jitter;
    std::priority_queue<PendingOff, std::vector<PendingOff>, std::greater<>> m_pending;
};

enum class Role {
    Conductor,
    Drums,
    Bass,
    Piano,
    Strings,
    Lead,
    Vocal,
    Arpeggio,
};

constexpr std::array<Role, 7> InstrumentRoles { Role::Drums, Role::Bass, Role::Piano, Role::Strings,
    Role::Lead, Role::Vocal, Role::Arpeggio };

struct RoleInfo
{
    const char *name;
    const char *instrument;
    std::uint8_t program;
};

RoleInfo roleInfo(Role role)
{
    switch (role) {
    case Role::Conductor:
        return { "Conduttore", "", 0 };
    case Role::Drums:
        return { "Batteria", "Standard Kit", 0 };
    case Role::Bass:
        return { "Basso", "Fingered Bass", 33 };
    case Role::Piano:
        return { "Pianoforte", "Acoustic Grand", 0 };
    case Role::Strings:
        return { "Archi", "String Ensemble", 48 };
    case Role::Lead:
        return { "Solista", "Lead Square", 80 };
    case Role::Vocal:
        return { "Voce", "Choir Aahs", 52 };
    case Role::Arpeggio:
        return { "Arpeggio", "Synth Pad", 88 };
    }
    return { "", "", 0 };
}

// One track of the piece: what it plays on each sixteenth (step) and what it
// adds between the steps when it falls behind the common pace.
class TrackComposer
{
public:
    TrackComposer(Role role, int index, std::uint8_t channel, std::uint64_t seed,
        std::uint16_t division, bool humanised)
        : m_role(role)
        , m_index(index)
        , m_channel(channel)
        , m_rng(seed ^ (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(index + 1)))
        , m_division(division)
        , m_step(std::max<std::uint64_t>(division / 4, 1))
    {
        if (humanised)
            m_humanisingSeed
                = seed ^ (0x8BB84B93962EACC9ull * static_cast<std::uint64_t>(index + 1));
    }

    std::string compose(std::uint64_t eventCount)
    {
        TrackWriter w(eventCount, m_humanisingSeed);
        intro(w);
        const std::uint64_t plannedSteps
            = std::max<std::uint64_t>((eventCount + EventsPerStep - 1) / EventsPerStep, 1);
        const std::uint64_t lastStep = plannedSteps * 4 + 64;
        for (std::uint64_t s = 0; w.room() >= 2 && s < lastStep; ++s) {
            const std::uint64_t t = s * m_step;
            const std::uint64_t target = std::min(eventCount, (s + 1) * eventCount / plannedSteps);
            const auto budget
                = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(w.spent());
            step(w, s, t, budget);
            const auto behind
                = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(w.spent());
            const int fills = static_cast<int>(std::clamp<std::int64_t>(behind, 0, 4));
            for (int j = 0; j < fills; ++j)
                fill(w,
                    t
                        + static_cast<std::uint64_t>(2 * j + 1) * m_step
                            / static_cast<std::uint64_t>(2 * fills));
        }
        w.flushAll();
        while (w.events() < eventCount)
            fill(w, w.now());
        w.finish(m_division);
        return w.take();
    }

private:
    std::uint8_t status(std::uint8_t kind) const
    {
        return static_cast<std::uint8_t>(kind | m_channel);
    }

    void intro(TrackWriter &w)
    {
        const RoleInfo info = roleInfo(m_role);
        w.meta(0, 0x03, info.name);
        if (m_role == Role::Conductor) {
            w.meta(0, 0x02, "(C) Trackfold - brano generato per le misure di velocita");
            w.meta(0, 0x58, std::string_view("\x04\x02\x18\x08", 4));
            w.meta(0, 0x59, std::string_view("\x00\x00", 2));
            tempo(w, 0, 500'000);
            w.sysex(0, std::string_view("\x7E\x7F\x09\x01\xF7", 5)); // GM System On
            w.meta(0, 0x01, prose(m_rng, 150, 400));
            return;
        }
        w.meta(0, 0x21, std::string(1, static_cast<char>(m_index / 16)));
        if (m_index % 2 == 0)
            w.meta(0, 0x20, std::string(1, static_cast<char>(m_channel)));
        w.meta(0, 0x04, info.instrument);
        w.control(0, m_channel, 0, 0); // bank select
        w.control(0, m_channel, 32, 0);
        w.channel(0, status(0xC0), info.program);
        w.control(0, m_channel, 7, clamp7(m_rng.range(80, 110)));
        w.control(0, m_channel, 10, clamp7(m_rng.range(20, 108)));
        w.control(0, m_channel, 91, clamp7(m_rng.range(20, 60)));
        w.control(0, m_channel, 93, clamp7(m_rng.range(0, 30)));
        if (m_role == Role::Lead || m_role == Role::Bass) {
            // Pitch bend range of two semitones through RPN 0.
            w.control(0, m_channel, 101, 0);
            w.control(0, m_channel, 100, 0);
            w.control(0, m_channel, 6, 2);
            w.control(0, m_channel, 38, 0);
        }
    }

    void tempo(TrackWriter &w, std::uint64_t t, std::uint32_t usPerQuarter)
    {
        const char data[3] = { static_cast<char>(usPerQuarter >> 16),
            static_cast<char>((usPerQuarter >> 8) & 0xFF), static_cast<char>(usPerQuarter & 0xFF) };
        w.meta(t, 0x51, std::string_view(data, 3));
    }

    // A slow rise and fall between about 100 and 126 BPM with a little jitter,
    // like a tempo map taken from a live performance.
    std::uint32_t tempoAt(std::uint64_t t)
    {
        const auto phase = static_cast<int>((t / m_step) % 512);
        const int triangle = phase < 256 ? phase : 511 - phase;
        const int bpmHundredths = 10'000 + triangle * 10 + m_rng.below(60);
        return static_cast<std::uint32_t>(
            6'000'000'000ull / static_cast<std::uint64_t>(bpmHundredths));
    }

    // Roland GS part parameter (here: part level), with its checksum.
    std::string gsPartLevel(int level)
    {
        std::string msg { 0x41, 0x10, 0x42, 0x12, 0x40,
            static_cast<char>(0x10 | (m_channel & 0x0F)), 0x19, static_cast<char>(clamp7(level)) };
        int sum = 0;
        for (std::size_t i = 4; i < msg.size(); ++i)
            sum += static_cast<unsigned char>(msg[i]);
        msg.push_back(static_cast<char>((128 - sum % 128) % 128));
        msg.push_back(static_cast<char>(0xF7));
        return msg;
    }

    void step(TrackWriter &w, std::uint64_t s, std::uint64_t t, std::int64_t budget)
    {
        const std::uint64_t pos = s % StepsPerBar;
        const std::uint64_t bar = s / StepsPerBar;
        if (m_role == Role::Conductor) {
            conductorStep(w, pos, bar, t, budget);
            return;
        }
        if (pos == 0 && bar > 0) {
            // Every track carries a long text every few bars: lyric lines for the
            // voice, performance notes for the others; lengths need two VLQ bytes.
            if (bar % 4 == static_cast<std::uint64_t>(m_index) % 4)
                w.meta(t, m_role == Role::Vocal ? 0x05 : 0x01, prose(m_rng, 130, 230));
            if (bar % 16 == static_cast<std::uint64_t>(m_index) % 16)
                w.sysex(t, gsPartLevel(m_rng.range(90, 127)));
            if (bar % 32 == 0 && m_role != Role::Drums)
                w.channel(t, status(0xC0),
                    static_cast<std::uint8_t>((roleInfo(m_role).program + bar / 32 % 4) & 0x7F));
        }
        const Chord chord = chordOfBar(bar);
        switch (m_role) {
        case Role::Conductor:
            break;
        case Role::Drums:
            drumsStep(w, pos, bar, t, budget);
            break;
        case Role::Bass:
            if (pos % 2 == 0 && budget > -2 && !m_rng.chance(10)) {
                const int key = 36 + chord.root + (pos % 8 == 4 ? 7 : (pos == 14 ? 12 : 0));
                w.note(t, m_channel, key, m_rng.range(85, 110), 2 * m_step - m_step / 8, true);
            }
            break;
        case Role::Piano:
            if (pos % 8 == 0 && budget > -4) {
                const int notes = m_rng.chance(50) ? 4 : 3;
                for (int i = 0; i < notes; ++i)
                    w.note(t, m_channel, 60 + chordTone(chord, i), m_rng.range(60, 90), 8 * m_step);
                if (pos == 0)
                    w.control(t, m_channel, 64, 127);
            } else if (pos == 15) {
                w.control(t, m_channel, 64, 0);
            } else if (pos % 4 == 2 && budget > 0) {
                w.note(t, m_channel, 72 + chordTone(chord, m_rng.below(4)), m_rng.range(50, 75),
                    2 * m_step);
            }
            break;
        case Role::Strings:
            if (pos == 0) {
                for (int i = 0; i < 4; ++i)
                    w.note(t, m_channel, 48 + chordTone(chord, i + (i == 3 ? 1 : 0)),
                        m_rng.range(55, 75), StepsPerBar * m_step, true);
            }
            break;
        case Role::Lead:
        case Role::Vocal:
            melodyStep(w, s, t, chord, budget);
            break;
        case Role::Arpeggio:
            if (budget > -2) {
                static constexpr std::array<int, 8> pattern { 0, 1, 2, 3, 4, 3, 2, 1 };
                const int key = 60 + chordTone(chord, pattern[pos % pattern.size()]);
                w.note(t, m_channel, key, m_rng.range(70, 100), m_step - m_step / 12);
                if (m_rng.chance(10))
                    w.channel(t, status(0xA0), clamp7(key), clamp7(m_rng.range(20, 90)));
            }
            break;
        }
    }

    void conductorStep(
        TrackWriter &w, std::uint64_t pos, std::uint64_t bar, std::uint64_t t, std::int64_t budget)
    {
        if (pos == 0 && bar > 0) {
            if (bar % 8 == 0)
                w.meta(t, 0x06, "Sezione " + std::to_string(bar / 8 + 1));
            if (bar % 32 == 0) {
                // Key signature of the new key: sharps or flats, major.
                static constexpr std::array<int, 6> sharps { 0, -1, 1, 2, 3, -3 };
                const char data[2] = { static_cast<char>(sharps[(bar / 32) % sharps.size()]), 0 };
                w.meta(t, 0x59, std::string_view(data, 2));
            }
            if (bar % 16 == 8)
                w.meta(t, 0x01, prose(m_rng, 130, 400));
            if (bar % 16 == 12)
                w.meta(t, 0x07, "Attacco " + std::to_string(bar));
        }
        if (pos % 4 == 0 && budget > 0)
            tempo(w, t, tempoAt(t));
    }

    void drumsStep(
        TrackWriter &w, std::uint64_t pos, std::uint64_t bar, std::uint64_t t, std::int64_t budget)
    {
        const std::uint64_t hit = m_step / 2;
        if (budget < -3)
            return;
        if (pos == 0 && bar % 8 == 0)
            w.note(t, DrumChannel, 49, m_rng.range(100, 120), hit);
        if (pos % 4 == 0 || (pos == 10 && bar % 2 == 1))
            w.note(t, DrumChannel, 36, m_rng.range(95, 120), hit);
        if (pos == 4 || pos == 12)
            w.note(t, DrumChannel, 38, m_rng.range(90, 115), hit);
        if (pos % 2 == 0 || budget > 1)
            w.note(t, DrumChannel, pos == 14 ? 46 : 42, m_rng.range(50, 90), hit);
    }

    // A line that moves by small steps on the scale of the bar's chord.
    void melodyStep(
        TrackWriter &w, std::uint64_t s, std::uint64_t t, const Chord &chord, std::int64_t budget)
    {
        if (s < m_nextNoteStep || budget < -2)
            return;
        static constexpr std::array<int, 6> lengths { 1, 2, 2, 2, 3, 4 };
        const int steps
            = lengths[static_cast<std::size_t>(m_rng.below(static_cast<int>(lengths.size())))];
        m_nextNoteStep = s + static_cast<std::uint64_t>(steps);
        if (m_rng.chance(12))
            return; // a rest
        m_melody = std::clamp(m_melody + m_rng.range(-2, 2), 0, 9);
        const int key = (m_role == Role::Vocal ? 60 : 72) + chordTone(chord, m_melody % 4)
            + 12 * (m_melody / 5);
        if (m_role == Role::Vocal && w.room() >= 3) {
            static constexpr std::array<const char *, 12> syllables { "la", "mo", "re", "can", "ta",
                "to", "cuo", "re", "mi", "o", "sol", "e" };
            w.meta(t, 0x05,
                syllables[static_cast<std::size_t>(
                    m_rng.below(static_cast<int>(syllables.size())))]);
        }
        w.note(t, m_channel, key, m_rng.range(70, 110),
            static_cast<std::uint64_t>(steps) * m_step - m_step / 6);
        if (m_role == Role::Lead && m_rng.chance(15))
            w.control(t, m_channel, 1, clamp7(m_rng.range(0, 64)));
    }

    // Continuous controller data between the steps.
    void fill(TrackWriter &w, std::uint64_t t)
    {
        const auto phase = static_cast<int>((t / std::max<std::uint64_t>(m_step / 4, 1)) % 64);
        const int triangle = phase < 32 ? phase : 63 - phase;
        switch (m_role) {
        case Role::Conductor:
            tempo(w, t, tempoAt(t));
            break;
        case Role::Drums:
            w.control(t, DrumChannel, 4, clamp7(triangle * 4));
            break;
        case Role::Bass:
            w.pitchBend(t, m_channel, 0x2000 + (triangle - 16) * 24 + m_rng.range(-8, 8));
            break;
        case Role::Piano:
            w.control(t, m_channel, 11, clamp7(80 + triangle + m_rng.range(-3, 3)));
            break;
        case Role::Strings:
            w.control(t, m_channel, 11, clamp7(40 + triangle * 2 + m_rng.range(-2, 2)));
            break;
        case Role::Lead:
            w.pitchBend(t, m_channel, 0x2000 + (triangle - 16) * 40 + m_rng.range(-20, 20));
            break;
        case Role::Vocal:
            w.control(t, m_channel, 2, clamp7(50 + triangle * 2 + m_rng.range(-4, 4)));
            break;
        case Role::Arpeggio:
            w.channel(t, status(0xD0), clamp7(30 + triangle * 2 + m_rng.range(-5, 5)));
            break;
        }
    }

    Role m_role;
    int m_index;
    std::uint8_t m_channel;
    Rng m_rng;
    std::uint16_t m_division;
    std::uint64_t m_step;
    std::uint64_t m_nextNoteStep = 0;
    int m_melody = 4;
    std::optional<std::uint64_t> m_humanisingSeed;
};

// Channel of instrument track i (1-based): drums on channel 10, the others
// on the remaining fifteen in turn.
std::uint8_t channelOf(int track, Role role)
{
    if (role == Role::Drums)
        return DrumChannel;
    const int n = (track - 1) % 15;
    return static_cast<std::uint8_t>(n < DrumChannel ? n : n + 1);
}

} // namespace

std::uint16_t fileDivision(const MidiGeneratorOptions &options)
{
    return static_cast<std::uint16_t>(
        options.humanised ? options.division * HumanisedTicksPerGridTick : options.division);
}

std::uint64_t generatedEventCount(const MidiGeneratorOptions &options)
{
    return static_cast<std::uint64_t>(std::max(options.tracks, 0)) * options.eventsPerTrack;
}

void generateMidiFile(
    const MidiGeneratorOptions &options, const std::function<void(std::string_view)> &sink)
{
    const int tracks = std::clamp(options.tracks, 1, 0xFFFF);
    const std::uint16_t division = fileDivision(options);
    std::string header = "MThd";
    appendBe32(header, 6);
    header += { 0, 1, static_cast<char>(tracks >> 8), static_cast<char>(tracks & 0xFF),
        static_cast<char>(division >> 8), static_cast<char>(division & 0xFF) };
    sink(header);
    for (int i = 0; i < tracks; ++i) {
        const Role role = i == 0
            ? Role::Conductor
            : InstrumentRoles[static_cast<std::size_t>(i - 1) % InstrumentRoles.size()];
        TrackComposer composer(role, i, i == 0 ? 0 : channelOf(i, role), options.seed,
            options.division, options.humanised);
        const std::string body = composer.compose(options.eventsPerTrack);
        std::string chunkHeader = "MTrk";
        appendBe32(chunkHeader, static_cast<std::uint32_t>(body.size()));
        sink(chunkHeader);
        sink(body);
    }
}

std::string generateMidiFile(const MidiGeneratorOptions &options)
{
    std::string image;
    image.reserve(static_cast<std::size_t>(generatedEventCount(options) * 5 + 1024));
    generateMidiFile(options, [&image](std::string_view piece) { image += piece; });
    return image;
}

} // namespace trackfold::bench
