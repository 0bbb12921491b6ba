// SPDX-License-Identifier: MIT
#include "verify.h"

#include "codecs.h"
#include "eventgrid.h"
#include "merge.h"
#include "texts.h"
#include "trackreader.h"

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
    EventGrid reread;
    reread.setRows(2);
    TrackScan scan;
    if (!hasValidHeader(written)) {
        difference = texts::InvalidHeader;
        return false;
    }
    reread.adoptImage(std::move(written));
    if (!scanTracks(reread.image(), scan)) {
        difference = scan.warning;
        return false;
    }
    // Both grids come out of the same merge, so equal contents stand in the
    // same order: one walk finds the first difference.
    mergeTracks(scan, reread);

    const auto expected = converted.rowData();
    const auto found = reread.rowData();
    std::size_t e = 2;
    std::size_t f = 2;
    while (e < expected.size() || f < found.size()) {
        if (e < expected.size() && !expected[e].isEvent()) {
            ++e; // rows of free text are not events of the file
            continue;
        }
        if (e == expected.size()) {
            difference = describe(texts::VerifyExtra, reread, found[f]);
            return false;
        }
        if (f == found.size()) {
            difference = describe(texts::VerifyMissing, converted, expected[e]);
            return false;
        }
        const Row &a = expected[e];
        const Row &b = found[f];
        const std::string bytesA = fullBytes(converted, a);
        const std::string bytesB = fullBytes(reread, b);
        if (a.time() != b.time() || bytesA != bytesB) {
            const bool missing = a.time() < b.time() || (a.time() == b.time() && bytesA < bytesB);
            difference = missing ? describe(texts::VerifyMissing, converted, a)
                                 : describe(texts::VerifyExtra, reread, b);
            return false;
        }
        ++e;
        ++f;
    }
    return true;
}

} // namespace trackfold
