// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_SMFBUILDER_H
#define TRACKFOLD_SMFBUILDER_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Builds Standard MIDI File images byte by byte, for tests, benchmarks and the
// example generator. Nothing here checks what it writes: broken files are wanted.
namespace trackfold::smf {

inline std::string bytes(std::initializer_list<int> values)
{
    std::string out;
    out.reserve(values.size());
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

inline std::string be32(std::uint32_t v)
{
    return bytes({ static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
        static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF) });
}

inline std::string be16(std::uint16_t v)
{
    return bytes({ v >> 8, v & 0xFF });
}

// Variable-length quantity of v (v < 2^28).
inline std::string vlq(std::uint32_t v)
{
    std::string out(1, static_cast<char>(v & 0x7F));
    while (v >>= 7)
        out.insert(out.begin(), static_cast<char>(0x80 | (v & 0x7F)));
    return out;
}

// A chunk: tag, declared length (the body's size unless given), body.
inline std::string chunk(std::string_view tag, std::string_view body)
{
    return std::string(tag) + be32(static_cast<std::uint32_t>(body.size())) + std::string(body);
}

inline std::string chunkWithLength(
    std::string_view tag, std::uint32_t length, std::string_view body)
{
    return std::string(tag) + be32(length) + std::string(body);
}

inline std::string header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division = 480)
{
    return chunk("MThd", be16(format) + be16(tracks) + be16(division));
}

// Events of one track chunk.
class Track
{
public:
    // Delta time followed by the given bytes as they are (status or not).
    Track &event(std::uint32_t delta, std::initializer_list<int> data)
    {
        m_bytes += vlq(delta) + smf::bytes(data);
        return *this;
    }
    Track &event(std::uint32_t delta, std::string_view data)
    {
        m_bytes += vlq(delta);
        m_bytes += data;
        return *this;
    }
    Track &meta(std::uint32_t delta, int type, std::string_view data)
    {
        m_bytes += vlq(delta) + smf::bytes({ 0xFF, type })
            + vlq(static_cast<std::uint32_t>(data.size()));
        m_bytes += data;
        return *this;
    }
    Track &sysex(std::uint32_t delta, std::string_view data)
    {
        m_bytes += vlq(delta) + smf::bytes({ 0xF0 }) + vlq(static_cast<std::uint32_t>(data.size()));
        m_bytes += data;
        return *this;
    }
    Track &endOfTrack(std::uint32_t delta = 0) { return event(delta, { 0xFF, 0x2F, 0x00 }); }
    // Raw bytes, with no delta time in front.
    Track &raw(std::string_view data)
    {
        m_bytes += data;
        return *this;
    }

    const std::string &bytes() const { return m_bytes; }
    std::string chunk() const { return smf::chunk("MTrk", m_bytes); }

private:
    std::string m_bytes;
};

// A whole file: header chunk and one MTrk chunk per track.
inline std::string file(
    std::uint16_t format, const std::vector<Track> &tracks, std::uint16_t division = 480)
{
    std::string out = header(format, static_cast<std::uint16_t>(tracks.size()), division);
    for (const Track &t : tracks)
        out += t.chunk();
    return out;
}

} // namespace trackfold::smf

#endif
