// SPDX-License-Identifier: MIT
#include "verify.h"

#include "codecs.h"
#include "eventgrid.h"
#include "merge.h"
#include "texts.h"
#include "trackreader.h"

#include <algorithm>

namespace trackfold {

namespace {

using Row = EventGrid::Row;

// The whole event as it sounds: status byte and data, whether or not the
// status was implied in its file.
std::string fullBytes(const EventGrid &grid, const Row &row)
{
    std::string bytes;
    std::string_view stored = grid.storedBytes(row);
    if (!row.has(Row::ImpliedStatus))
        stored.remove_prefix(1);
    bytes.reserve(stored.size() + 1);
    bytes.push_back(static_cast<char>(row.status));
    bytes.append(stored);
    return bytes;
}

std::string describe(const char *what, const EventGrid &grid, const Row &row)
{
    const std::string bytes = fullBytes(grid, row);
    std::string hex;
    appendHex(hex, bytes.data(), std::min<std::size_t>(bytes.size(), 32));
    if (bytes.size() > 32)
        hex += "...";
    return std::string(what) + texts::VerifyTime + std::to_string(row.time()) + texts::VerifyData
        + hex;
}

} // namespace

bool verifyConversion(const EventGrid &converted, std::string written, std::string &difference)
{
    if (!hasValidHeader(written)) {
        difference = texts::InvalidHeader;
        return false;
    }
    // The file is read back a tick at a time, so the check needs no second
    // grid: this one holds the image and one tick's rows.
    EventGrid reread;
    reread.setRows(0);
    reread.adoptImage(std::move(written));
    TrackScan scan;
    if (!scanTracks(reread.image(), scan)) {
        difference = scan.warning;
        return false;
    }
    std::vector<TrackCursor> cursors;
    for (const TrackSpan &track : scan.tracks) {
        if (track.events > 0)
            cursors.emplace_back(reread.image(), track);
    }

    // The converted rows are in time order, each tick's ordered by bytes; the
    // file's events of a tick are put in the same order and compared.
    const auto expected = converted.rowData();
    std::size_t e = 2;
    std::vector<Row> tick;
    auto nextExpected = [&] {
        while (e < expected.size() && !expected[e].isEvent())
            ++e; // rows of free text are not events of the file
        return e < expected.size();
    };
    while (true) {
        std::uint64_t time = UINT64_MAX;
        for (const TrackCursor &c : cursors) {
            if (!c.atEnd())
                time = std::min(time, c.time());
        }
        const bool more = nextExpected();
        if (time == UINT64_MAX) {
            if (!more)
                return true;
            difference = describe(texts::VerifyMissing, converted, expected[e]);
            return false;
        }
        if (more && expected[e].time() < time) {
            difference = describe(texts::VerifyMissing, converted, expected[e]);
            return false;
        }

        tick.clear();
        for (TrackCursor &c : cursors) {
            for (; !c.atEnd() && c.time() == time; c.advance())
                tick.push_back(c.row());
        }
        std::sort(tick.begin(), tick.end(),
            [&reread](const Row &a, const Row &b) { return reread.compareEvents(a, b) < 0; });
        for (const Row &found : tick) {
            if (!nextExpected() || expected[e].time() != time) {
                difference = describe(texts::VerifyExtra, reread, found);
                return false;
            }
            const std::string bytesExpected = fullBytes(converted, expected[e]);
            const std::string bytesFound = fullBytes(reread, found);
            if (bytesExpected != bytesFound) {
                difference = bytesExpected < bytesFound
                    ? describe(texts::VerifyMissing, converted, expected[e])
                    : describe(texts::VerifyExtra, reread, found);
                return false;
            }
            ++e;
        }
    }
}

} // namespace trackfold
