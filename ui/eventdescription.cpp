// SPDX-License-Identifier: MIT
#include "eventdescription.h"

#include "codecs.h"
#include "midievent.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace trackfold {

namespace {

using Bytes = std::vector<std::uint8_t>;

bool parseHex(std::string_view hex, Bytes &out)
{
    std::string bytes;
    if (hex.empty() || !hexToBytes(hex, bytes))
        return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

std::string num(long long v)
{
    return std::to_string(v);
}

std::string channelOf(std::uint8_t status)
{
    return "canale " + num((status & 0x0F) + 1);
}

std::string noteText(std::uint8_t note)
{
    return "nota " + num(note) + " (" + noteName(note) + ")";
}

const char *controllerName(int controller)
{
    switch (controller) {
    case 0:
        return "Bank Select";
    case 1:
        return "Modulazione";
    case 2:
        return "Breath";
    case 4:
        return "Pedale";
    case 5:
        return "Tempo di portamento";
    case 6:
        return "Data Entry";
    case 7:
        return "Volume";
    case 8:
        return "Bilanciamento";
    case 10:
        return "Pan";
    case 11:
        return "Espressione";
    case 32:
        return "Bank Select LSB";
    case 64:
        return "Sustain";
    case 65:
        return "Portamento";
    case 66:
        return "Sostenuto";
    case 67:
        return "Pedale soft";
    case 91:
        return "Riverbero";
    case 93:
        return "Chorus";
    case 98:
        return "NRPN LSB";
    case 99:
        return "NRPN MSB";
    case 100:
        return "RPN LSB";
    case 101:
        return "RPN MSB";
    case 120:
        return "All Sound Off";
    case 121:
        return "Reset All Controllers";
    case 123:
        return "All Notes Off";
    default:
        return nullptr;
    }
}

// A VLQ inside an event, read by the engine's reader; false when it runs past
// the end.
bool readVlq(const Bytes &b, std::size_t &pos, std::uint32_t &value)
{
    const std::string_view view(reinterpret_cast<const char *>(b.data()), b.size());
    Vlq vlq;
    if (!trackfold::readVlq(view, pos, vlq))
        return false;
    pos += static_cast<std::size_t>(vlq.size);
    value = vlq.value;
    return true;
}

// Text events carry bytes of no declared encoding; Latin-1 reads ASCII right
// and never fails. Control characters become spaces, long texts are cut.
std::string quoted(const Bytes &b, std::size_t from, std::size_t to)
{
    constexpr std::size_t maxShown = 60;
    std::string out = "«";
    std::size_t shown = 0;
    for (std::size_t i = from; i < to && shown < maxShown; ++i, ++shown) {
        const std::uint8_t c = b[i];
        if (c < 0x20 || c == 0x7F) {
            out += ' ';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0xA0) {
            out += '?';
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (to - from > maxShown)
        out += "…";
    out += "»";
    return out;
}

// Beats per minute with at most two decimals and a decimal comma.
std::string bpmText(std::uint32_t microsPerQuarter)
{
    const long long hundredths = std::llround(6e9 / static_cast<double>(microsPerQuarter));
    std::string out = num(hundredths / 100);
    int frac = static_cast<int>(hundredths % 100);
    if (frac != 0) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02d", frac);
        out += ',';
        out += digits[0];
        if (digits[1] != '0')
            out += digits[1];
    }
    return out;
}

std::string twoDigits(int v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", v);
    return text;
}

std::string describeMeta(const Bytes &b)
{
    if (b.size() < 3)
        return {};
    const std::uint8_t type = b[1];
    std::size_t pos = 2;
    std::uint32_t length = 0;
    if (!readVlq(b, pos, length) || b.size() - pos < length)
        return {};
    const std::size_t end = pos + length;
    auto at = [&](std::size_t i) { return static_cast<std::uint32_t>(b[pos + i]); };

    switch (type) {
    case 0x00:
        if (length >= 2)
            return "Numero di sequenza " + num(at(0) << 8 | at(1));
        break;
    case 0x01:
        return "Testo: " + quoted(b, pos, end);
    case 0x02:
        return "Copyright: " + quoted(b, pos, end);
    case 0x03:
        return "Nome traccia: " + quoted(b, pos, end);
    case 0x04:
        return "Strumento: " + quoted(b, pos, end);
    case 0x05:
        return "Testo cantato: " + quoted(b, pos, end);
    case 0x06:
        return "Marker: " + quoted(b, pos, end);
    case 0x07:
        return "Cue point: " + quoted(b, pos, end);
    case 0x20:
        if (length >= 1)
            return "Prefisso di canale, canale " + num(at(0) + 1);
        break;
    case 0x21:
        if (length >= 1)
            return "Porta MIDI " + num(at(0));
        break;
    case 0x2F:
        return "Fine traccia";
    case 0x51:
        if (length >= 3) {
            const std::uint32_t tempo = at(0) << 16 | at(1) << 8 | at(2);
            if (tempo == 0)
                return "Tempo 0 µs/quarto";
            return "Tempo " + num(tempo) + " µs/quarto (" + bpmText(tempo) + " BPM)";
        }
        break;
    case 0x54:
        if (length >= 5)
            return "Inizio SMPTE " + twoDigits(static_cast<int>(at(0) & 0x1F)) + ":"
                + twoDigits(static_cast<int>(at(1))) + ":" + twoDigits(static_cast<int>(at(2)))
                + ":" + twoDigits(static_cast<int>(at(3))) + "."
                + twoDigits(static_cast<int>(at(4)));
        break;
    case 0x58:
        if (length >= 4 && at(1) < 16)
            return "Indicazione di tempo " + num(at(0)) + "/" + num(1LL << at(1)) + ", "
                + num(at(2)) + " clock per metronomo, " + num(at(3)) + " biscrome per quarto";
        break;
    case 0x59:
        if (length >= 2) {
            static constexpr std::array<const char *, 15> major = { "Do bemolle", "Sol bemolle",
                "Re bemolle", "La bemolle", "Mi bemolle", "Si bemolle", "Fa", "Do", "Sol", "Re",
                "La", "Mi", "Si", "Fa diesis", "Do diesis" };
            static constexpr std::array<const char *, 15> minor
                = { "La bemolle", "Mi bemolle", "Si bemolle", "Fa", "Do", "Sol", "Re", "La", "Mi",
                      "Si", "Fa diesis", "Do diesis", "Sol diesis", "Re diesis", "La diesis" };
            // Sharps are positive, flats negative, in one signed byte.
            const int sharps = static_cast<int>(at(0)) - (at(0) > 127 ? 256 : 0);
            if (sharps < -7 || sharps > 7 || at(1) > 1)
                break;
            const int offset = sharps + 7;
            const auto index = static_cast<std::size_t>(offset);
            return std::string("Tonalità ") + (at(1) ? minor[index] : major[index])
                + (at(1) ? " minore" : " maggiore");
        }
        break;
    case 0x7F:
        return "Dati proprietari del sequencer, " + num(length) + " byte";
    default:
        break;
    }
    char typeHex[4];
    std::snprintf(typeHex, sizeof typeHex, "%02X", type);
    return std::string("Meta evento di tipo ") + typeHex + ", " + num(length) + " byte";
}

std::string describeHeader(const Bytes &b)
{
    const int format = b[8] << 8 | b[9];
    const int tracks = b[10] << 8 | b[11];
    const int division = b[12] << 8 | b[13];
    std::string out = "Intestazione: formato " + num(format) + ", " + num(tracks)
        + (tracks == 1 ? " traccia, " : " tracce, ");
    if (division & 0x8000) {
        const int fps = -static_cast<std::int8_t>(b[12]);
        out += "SMPTE " + num(fps) + " fotogrammi/s, " + num(b[13]) + " tick per fotogramma";
    } else {
        out += num(division) + " tick per quarto";
    }
    return out;
}

} // namespace

std::string noteName(int note)
{
    static constexpr std::array<const char *, 12> names
        = { "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B" };
    if (note < 0)
        return {};
    return std::string(names[static_cast<std::size_t>(note % 12)]) + num(note / 12 - 1);
}

std::string describeEvent(std::string_view hex, std::uint8_t runningStatus)
{
    Bytes b;
    if (!parseHex(hex, b))
        return {};

    // The header row: "MThd", its length, format, tracks, division.
    if (b.size() >= 14 && b[0] == 'M' && b[1] == 'T' && b[2] == 'h' && b[3] == 'd')
        return describeHeader(b);

    if (b[0] < 0x80) {
        if (runningStatus < 0x80 || runningStatus > 0xEF)
            return {};
        b.insert(b.begin(), runningStatus);
    }

    const std::uint8_t status = b[0];
    const std::uint8_t kind = status >> 4;
    if (kind >= 0x8 && kind <= 0xE) {
        const std::size_t needed = (kind == 0xC || kind == 0xD) ? 2 : 3;
        if (b.size() < needed || b[1] > 0x7F || (needed == 3 && b[2] > 0x7F))
            return {};
        switch (kind) {
        case 0x8:
            return "Note Off, " + channelOf(status) + ", " + noteText(b[1]) + ", velocità "
                + num(b[2]);
        case 0x9:
            return "Note On, " + channelOf(status) + ", " + noteText(b[1]) + ", velocità "
                + num(b[2]) + (b[2] == 0 ? " (come Note Off)" : "");
        case 0xA:
            return "Aftertouch polifonico, " + channelOf(status) + ", " + noteText(b[1])
                + ", pressione " + num(b[2]);
        case 0xB: {
            std::string out = "Control Change, " + channelOf(status) + ", controller " + num(b[1]);
            if (const char *name = controllerName(b[1]))
                out += std::string(" (") + name + ")";
            return out + ", valore " + num(b[2]);
        }
        case 0xC:
            return "Program Change, " + channelOf(status) + ", programma " + num(b[1]);
        case 0xD:
            return "Aftertouch di canale, " + channelOf(status) + ", pressione " + num(b[1]);
        default: {
            const int value = (b[2] << 7 | b[1]) - 8192;
            return "Pitch Bend, " + channelOf(status) + ", valore " + (value > 0 ? "+" : "")
                + num(value);
        }
        }
    }

    switch (status) {
    case 0xF0:
        return "SysEx, " + num(static_cast<long long>(b.size())) + " byte";
    case 0xF7:
        return "SysEx di continuazione, " + num(static_cast<long long>(b.size())) + " byte";
    case 0xF2:
        if (b.size() < 3)
            return {};
        return "Song Position, posizione " + num(b[2] << 7 | b[1]);
    case 0xF3:
        if (b.size() < 2)
            return {};
        return "Song Select, brano " + num(b[1]);
    case 0xF6:
        return "Tune Request";
    case 0xF8:
        return "Timing Clock";
    case 0xFA:
        return "Start";
    case 0xFB:
        return "Continue";
    case 0xFC:
        return "Stop";
    case 0xFE:
        return "Active Sensing";
    case 0xFF:
        return describeMeta(b);
    default:
        return {};
    }
}

} // namespace trackfold
