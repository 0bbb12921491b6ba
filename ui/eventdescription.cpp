// SPDX-License-Identifier: MIT
#include "eventdescription.h"

#include "midievent.h"

#include <QCoreApplication>

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

namespace trackfold {

namespace {

using Bytes = std::vector<std::uint8_t>;

// The words of a description are Italian source texts in the window's
// translation, context "EventDescription"; numbers and hex go in between.
class EventDescription
{
    Q_DECLARE_TR_FUNCTIONS(EventDescription)
};

std::string say(const QString &words)
{
    return words.toStdString();
}

std::string num(long long v)
{
    return std::to_string(v);
}

std::string channelOf(std::uint8_t status)
{
    return say(EventDescription::tr("canale ")) + num((status & 0x0F) + 1);
}

std::string noteText(std::uint8_t note)
{
    return say(EventDescription::tr("nota ")) + num(note) + " (" + noteName(note) + ")";
}

const char *controllerName(int controller)
{
    switch (controller) {
    case 0:
        return "Bank Select";
    case 1:
        return QT_TRANSLATE_NOOP("EventDescription", "Modulazione");
    case 2:
        return "Breath";
    case 4:
        return QT_TRANSLATE_NOOP("EventDescription", "Pedale");
    case 5:
        return QT_TRANSLATE_NOOP("EventDescription", "Tempo di portamento");
    case 6:
        return "Data Entry";
    case 7:
        return "Volume";
    case 8:
        return QT_TRANSLATE_NOOP("EventDescription", "Bilanciamento");
    case 10:
        return "Pan";
    case 11:
        return QT_TRANSLATE_NOOP("EventDescription", "Espressione");
    case 32:
        return "Bank Select LSB";
    case 64:
        return "Sustain";
    case 65:
        return "Portamento";
    case 66:
        return QT_TRANSLATE_NOOP("EventDescription", "Sostenuto");
    case 67:
        return QT_TRANSLATE_NOOP("EventDescription", "Pedale soft");
    case 91:
        return QT_TRANSLATE_NOOP("EventDescription", "Riverbero");
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
        out += say(EventDescription::tr(",", "decimal separator"));
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
            return say(EventDescription::tr("Numero di sequenza ")) + num(at(0) << 8 | at(1));
        break;
    case 0x01:
        return say(EventDescription::tr("Testo: ")) + quoted(b, pos, end);
    case 0x02:
        return say(EventDescription::tr("Copyright: ")) + quoted(b, pos, end);
    case 0x03:
        return say(EventDescription::tr("Nome traccia: ")) + quoted(b, pos, end);
    case 0x04:
        return say(EventDescription::tr("Strumento: ")) + quoted(b, pos, end);
    case 0x05:
        return say(EventDescription::tr("Testo cantato: ")) + quoted(b, pos, end);
    case 0x06:
        return say(EventDescription::tr("Marker: ")) + quoted(b, pos, end);
    case 0x07:
        return say(EventDescription::tr("Cue point: ")) + quoted(b, pos, end);
    case 0x20:
        if (length >= 1)
            return say(EventDescription::tr("Prefisso di canale, canale ")) + num(at(0) + 1);
        break;
    case 0x21:
        if (length >= 1)
            return say(EventDescription::tr("Porta MIDI ")) + num(at(0));
        break;
    case 0x2F:
        return say(EventDescription::tr("Fine traccia"));
    case 0x51:
        if (length >= 3) {
            const std::uint32_t tempo = at(0) << 16 | at(1) << 8 | at(2);
            if (tempo == 0)
                return say(EventDescription::tr("Tempo 0 µs/quarto"));
            return say(EventDescription::tr("Tempo ")) + num(tempo)
                + say(EventDescription::tr(" µs/quarto (")) + bpmText(tempo) + " BPM)";
        }
        break;
    case 0x54:
        if (length >= 5)
            return say(EventDescription::tr("Inizio SMPTE "))
                + twoDigits(static_cast<int>(at(0) & 0x1F)) + ":"
                + twoDigits(static_cast<int>(at(1))) + ":" + twoDigits(static_cast<int>(at(2)))
                + ":" + twoDigits(static_cast<int>(at(3))) + "."
                + twoDigits(static_cast<int>(at(4)));
        break;
    case 0x58:
        if (length >= 4 && at(1) < 16)
            return say(EventDescription::tr("Indicazione di tempo ")) + num(at(0)) + "/"
                + num(1LL << at(1)) + ", " + num(at(2))
                + say(EventDescription::tr(" clock per metronomo, ")) + num(at(3))
                + say(EventDescription::tr(" biscrome per quarto"));
        break;
    case 0x59:
        if (length >= 2) {
            // The keys along the circle of fifths, from seven flats on: a
            // major key is named at its count of sharps + 7, its relative
            // minor three fifths further.
            static constexpr std::array<const char *, 18> fifths
                = { QT_TRANSLATE_NOOP("EventDescription", "Do bemolle"),
                      QT_TRANSLATE_NOOP("EventDescription", "Sol bemolle"),
                      QT_TRANSLATE_NOOP("EventDescription", "Re bemolle"),
                      QT_TRANSLATE_NOOP("EventDescription", "La bemolle"),
                      QT_TRANSLATE_NOOP("EventDescription", "Mi bemolle"),
                      QT_TRANSLATE_NOOP("EventDescription", "Si bemolle"),
                      QT_TRANSLATE_NOOP("EventDescription", "Fa"),
                      QT_TRANSLATE_NOOP("EventDescription", "Do"),
                      QT_TRANSLATE_NOOP("EventDescription", "Sol"),
                      QT_TRANSLATE_NOOP("EventDescription", "Re"),
                      QT_TRANSLATE_NOOP("EventDescription", "La"),
                      QT_TRANSLATE_NOOP("EventDescription", "Mi"),
                      QT_TRANSLATE_NOOP("EventDescription", "Si"),
                      QT_TRANSLATE_NOOP("EventDescription", "Fa diesis"),
                      QT_TRANSLATE_NOOP("EventDescription", "Do diesis"),
                      QT_TRANSLATE_NOOP("EventDescription", "Sol diesis"),
                      QT_TRANSLATE_NOOP("EventDescription", "Re diesis"),
                      QT_TRANSLATE_NOOP("EventDescription", "La diesis") };
            // Sharps are positive, flats negative, in one signed byte.
            const int sharps = static_cast<int>(at(0)) - (at(0) > 127 ? 256 : 0);
            if (sharps < -7 || sharps > 7 || at(1) > 1)
                break;
            const int position = sharps + 7 + (at(1) ? 3 : 0);
            const auto index = static_cast<std::size_t>(position);
            return std::string(say(EventDescription::tr("Tonalità ")))
                + say(EventDescription::tr(fifths[index]))
                + (at(1) ? say(EventDescription::tr(" minore"))
                         : say(EventDescription::tr(" maggiore")));
        }
        break;
    case 0x7F:
        return say(EventDescription::tr("Dati proprietari del sequencer, ")) + num(length)
            + say(EventDescription::tr(" byte"));
    default:
        break;
    }
    char typeHex[4];
    std::snprintf(typeHex, sizeof typeHex, "%02X", type);
    return std::string(say(EventDescription::tr("Meta evento di tipo "))) + typeHex + ", "
        + num(length) + say(EventDescription::tr(" byte"));
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

std::string describeTrackStart()
{
    return say(EventDescription::tr("Inizio della traccia"));
}

std::string describeHeader(std::string_view header)
{
    // "MThd", its length, format, tracks, division.
    if (header.size() < 14 || header.substr(0, 4) != "MThd")
        return {};
    auto b = [header](std::size_t i) -> int { return static_cast<std::uint8_t>(header[i]); };
    const int format = b(8) << 8 | b(9);
    const int tracks = b(10) << 8 | b(11);
    const int division = b(12) << 8 | b(13);
    std::string out = say(EventDescription::tr("Intestazione: formato ")) + num(format) + ", "
        + num(tracks)
        + (tracks == 1 ? say(EventDescription::tr(" traccia, "))
                       : say(EventDescription::tr(" tracce, ")));
    if (division & 0x8000) {
        const int fps = -static_cast<std::int8_t>(b(12));
        out += "SMPTE " + num(fps) + say(EventDescription::tr(" fotogrammi/s, ")) + num(b(13))
            + say(EventDescription::tr(" tick per fotogramma"));
    } else {
        out += num(division) + say(EventDescription::tr(" tick per quarto"));
    }
    return out;
}

std::string describeEvent(std::string_view image, const EventRef &event)
{
    // Only channel messages run on the status before them.
    if (event.impliedStatus && !isChannelStatus(event.status))
        return {};
    // The status byte, then the data, whether or not the image holds the
    // status byte with them.
    const std::string_view data = dataBytes(image, event);
    Bytes b;
    b.reserve(1 + data.size());
    b.push_back(event.status);
    b.insert(b.end(), data.begin(), data.end());

    const std::uint8_t status = b[0];
    const std::uint8_t kind = status >> 4;
    if (const int length = channelMessageLength(status)) {
        const auto needed = static_cast<std::size_t>(length);
        if (b.size() < needed || b[1] > 0x7F || (needed == 3 && b[2] > 0x7F))
            return {};
        switch (kind) {
        case 0x8:
            return "Note Off, " + channelOf(status) + ", " + noteText(b[1])
                + say(EventDescription::tr(", velocità ")) + num(b[2]);
        case 0x9:
            return "Note On, " + channelOf(status) + ", " + noteText(b[1])
                + say(EventDescription::tr(", velocità ")) + num(b[2])
                + (b[2] == 0 ? say(EventDescription::tr(" (come Note Off)")) : "");
        case 0xA:
            return say(EventDescription::tr("Aftertouch polifonico, ")) + channelOf(status) + ", "
                + noteText(b[1]) + say(EventDescription::tr(", pressione ")) + num(b[2]);
        case 0xB: {
            std::string out = "Control Change, " + channelOf(status)
                + say(EventDescription::tr(", controller ")) + num(b[1]);
            if (const char *name = controllerName(b[1]))
                out += " (" + say(EventDescription::tr(name)) + ")";
            return out + say(EventDescription::tr(", valore ")) + num(b[2]);
        }
        case 0xC:
            return "Program Change, " + channelOf(status)
                + say(EventDescription::tr(", programma ")) + num(b[1]);
        case 0xD:
            return say(EventDescription::tr("Aftertouch di canale, ")) + channelOf(status)
                + say(EventDescription::tr(", pressione ")) + num(b[1]);
        default: {
            const int value = (b[2] << 7 | b[1]) - 8192;
            return "Pitch Bend, " + channelOf(status) + say(EventDescription::tr(", valore "))
                + (value > 0 ? "+" : "") + num(value);
        }
        }
    }

    switch (status) {
    case 0xF0:
        return "SysEx, " + num(static_cast<long long>(b.size()))
            + say(EventDescription::tr(" byte"));
    case 0xF7:
        return say(EventDescription::tr("SysEx di continuazione, "))
            + num(static_cast<long long>(b.size())) + say(EventDescription::tr(" byte"));
    case 0xF2:
        if (b.size() < 3)
            return {};
        return say(EventDescription::tr("Song Position, posizione ")) + num(b[2] << 7 | b[1]);
    case 0xF3:
        if (b.size() < 2)
            return {};
        return say(EventDescription::tr("Song Select, brano ")) + num(b[1]);
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
