// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_TRACKREADER_H
#define TRACKFOLD_TRACKREADER_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// First half of the conversion: checks the header and walks every track of the
// image, finding where each track's events lie and validating every event.
namespace trackfold {

inline constexpr std::size_t HeaderSize = 22; // MThd chunk (14) + first MTrk tag and length (8)

// True when the image starts with "MThd" and a header length of 6, and holds
// at least the 22 header bytes.
bool hasValidHeader(std::string_view image);

// The 22-byte header of the output: the input's first 14 bytes with format 0 and
// one track, then "MTrk" and the first track chunk's declared length.
std::string makeOutputHeader(std::string_view image, std::uint32_t firstTrackLength);

// The events of one track: [begin, end) in the image, read with the given
// running status at its start (the last status of the track before it).
struct TrackSpan
{
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint8_t entryStatus = 0;
    std::size_t events = 0; // collected events
};

struct TrackScan
{
    std::vector<TrackSpan> tracks;
    std::size_t events = 0; // collected events of all tracks
    std::uint32_t firstTrackLength = 0; // declared length of the first MTrk chunk
    std::string warning; // set when the scan failed
};

// Walks all tracks. False with scan.warning set on an unknown status byte, an
// event cut by the end of the image, or an absolute time past EventGrid::MaxTime.
bool scanTracks(std::string_view image, TrackScan &scan);

// True for the meta events the output leaves out: End of Track, track name,
// MIDI port and channel prefix.
inline bool isDroppedMeta(std::uint8_t type)
{
    return type == 0x2F || type == 0x03 || type == 0x20 || type == 0x21;
}

} // namespace trackfold

#endif
