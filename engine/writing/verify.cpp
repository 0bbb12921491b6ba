// SPDX-License-Identifier: MIT
#include "verify.h"

#include "codecs.h"
#include "merge.h"
#include "texts.h"
#include "trackreader.h"

#include <algorithm>
#include <vector>

namespace trackfold {

namespace {

// The whole event as it sounds: status byte and data, whether or not the
// status was implied in its file.
std::string fullBytes(std::string_view image, const EventRef &event)
{
    std::string bytes(1, static_cast<char>(event.status));
    bytes.append(dataBytes(image, event));
    return bytes;
}

std::string describe(const char *what, std::string_view image, const EventRef &event)
{
    const std::string bytes = fullBytes(image, event);
    std::string hex;
    appendHex(hex, bytes.data(), std::min<std::size_t>(bytes.size(), 32));
    if (bytes.size() > 32)
        hex += "...";
    return std::string(tr(what)) + tr(texts::VerifyTime) + std::to_string(event.time())
        + tr(texts::VerifyData) + hex;
}

} // namespace

bool verifyConversion(std::string_view input, std::string_view written,
    const ConversionJob &options, std::string &difference)
{
    if (!hasValidHeader(written)) {
        difference = tr(texts::InvalidHeader);
        return false;
    }
    TrackScan inputScan, writtenScan;
    if (!scanTracks(input, inputScan)) {
        difference = inputScan.warning;
        return false;
    }
    if (!scanTracks(written, writtenScan)) {
        difference = writtenScan.warning;
        return false;
    }
    const bool split = options.format == 1;
    if (split ? formatOf(written) != 1 || writtenScan.tracks.empty()
              : writtenScan.tracks.size() != 1) {
        difference = tr(split ? texts::VerifyNotSplit : texts::VerifyTracks);
        return false;
    }

    // The input is merged again and each event compared, in order, with the
    // next one its track holds: the one track of a folded file; in a split
    // file track 0 for meta, SysEx and system events, and the track of its
    // channel (found by the track's first event) for a channel message.
    std::vector<TrackCursor> cursors;
    for (const TrackSpan &track : writtenScan.tracks)
        cursors.emplace_back(written, track);
    // With two ports or more, a channel's track is that of its port too.
    const bool ports = split && portsInUse(input, inputScan).size() >= 2;
    auto routeOf = [ports](const TrackScan &scan, const EventRef &event) {
        return (ports ? std::size_t { portAt(scan, event.ref) } * 16 : 0) + (event.status & 0x0F);
    };
    std::vector<TrackCursor *> byChannel(16 * 256, nullptr);
    for (std::size_t k = 1; split && k < cursors.size(); ++k) {
        if (!cursors[k].atEnd() && isChannelStatus(cursors[k].event().status)
            && !byChannel[routeOf(writtenScan, cursors[k].event())])
            byChannel[routeOf(writtenScan, cursors[k].event())] = &cursors[k];
    }
    std::uint64_t lastTime = 0;
    const TieOrder order = options.byteOrder && !split ? TieOrder::Bytes : TieOrder::Track;
    const bool same = mergeTracks(input, inputScan, order, [&](const EventRef &expected) {
        TrackCursor *cursor = &cursors.front();
        if (split && isChannelStatus(expected.status))
            cursor = byChannel[routeOf(inputScan, expected)];
        if (!cursor || cursor->atEnd() || cursor->time() > expected.time()) {
            difference = describe(texts::VerifyMissing, input, expected);
            return false;
        }
        TrackCursor &found = *cursor;
        if (found.time() < expected.time()) {
            difference = describe(texts::VerifyExtra, written, found.event());
            return false;
        }
        const std::string bytesExpected = fullBytes(input, expected);
        const std::string bytesFound = fullBytes(written, found.event());
        if (bytesExpected != bytesFound) {
            difference = bytesExpected < bytesFound
                ? describe(texts::VerifyMissing, input, expected)
                : describe(texts::VerifyExtra, written, found.event());
            return false;
        }
        lastTime = expected.time();
        found.advance();
        return true;
    });
    if (!same)
        return false;
    const std::uint64_t endExpected = std::max(inputScan.endTime, lastTime);
    for (std::size_t k = 0; k < cursors.size(); ++k) {
        if (!cursors[k].atEnd()) {
            difference = describe(texts::VerifyExtra, written, cursors[k].event());
            return false;
        }
        const std::uint64_t endFound = writtenScan.tracks[k].endTime;
        if (endFound != endExpected) {
            difference = tr(texts::VerifyEndOfTrack) + std::to_string(endFound)
                + tr(texts::VerifyEndExpected) + std::to_string(endExpected);
            return false;
        }
    }
    return true;
}

} // namespace trackfold
