// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_RANDOMFILE_H
#define TRACKFOLD_RANDOMFILE_H

#include "smfbuilder.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Random multi-track files with the events they must give, and a small decoder
// of converted files written for the tests alone: shared by the conversion,
// segment and split tests.
namespace trackfold::test {

using smf::Track;

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

inline Decoded decode(const std::string &f)
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

inline std::string randomFile(std::mt19937 &rng, Expected &expected, const Shape &shape = {})
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
inline std::vector<Event> inByteOrder(std::vector<Event> events)
{
    std::stable_sort(events.begin(), events.end());
    return events;
}

// A track name meta event (without its delta time).
inline std::string nameEvent(std::string_view name)
{
    return smf::bytes({ 0xFF, 0x03 }) + smf::vlq(static_cast<std::uint32_t>(name.size()))
        + std::string(name);
}

} // namespace trackfold::test

#endif
