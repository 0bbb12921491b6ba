// SPDX-License-Identifier: MIT
#include "conversion.h"

#include "codecs.h"
#include "eventgrid.h"
#include "merge.h"
#include "texts.h"
#include "trackreader.h"

namespace trackfold {

namespace {

// Column widths in twips and the alignment code for "left, centred vertically".
constexpr int ColWidths[3] = { 1100, 1000, 10000 };
constexpr int AlignLeftCenter = 1;

std::string fail(ConversionHost &host, const std::string &warning)
{
    host.setBusy(false);
    host.showMessage({ MessageIcon::Warning, texts::AppName, warning });
    return {};
}

} // namespace

std::string SalvaMidi0(std::string StrMIDI, ConversionHost &host, const ConversionOptions &options)
{
    EventGrid &grid = host.grid();
    host.setBusy(true);
    grid.clear();
    grid.setRows(1);
    grid.setCols(3);
    for (int c = 0; c < 3; ++c) {
        grid.setColWidth(c, ColWidths[c]);
        grid.setColAlignment(c, AlignLeftCenter);
    }

    if (StrMIDI.size() > EventGrid::MaxImageSize)
        return fail(host, texts::FileTooLarge);
    if (!hasValidHeader(StrMIDI))
        return fail(host, texts::InvalidHeader);

    grid.adoptImage(std::move(StrMIDI));
    const std::string_view image = grid.image();

    host.showStatus(texts::ReadingTracks);
    host.setINIZIO(host.timer());
    TrackScan scan;
    const bool scanned = scanTracks(image, scan);

    // The header row shows the header as the output will carry it, but for its
    // track length, which is the first track chunk's until the output is built.
    const std::string header = makeOutputHeader(image, scan.firstTrackLength);
    std::string headerHex;
    appendHex(headerHex, header.data(), header.size());
    grid.addItem(std::string("00\t00\t") + headerHex);
    if (!scanned)
        return fail(host, scan.warning);

    host.showStatus(texts::SortingGrid);
    mergeTracks(scan, grid);

    host.showStatus(texts::InsertingDeltas);
    host.setRIGHE(static_cast<std::int64_t>(grid.rows()) - 1);
    std::string warning;
    if (!fillDeltaTimes(grid, warning))
        return fail(host, warning);

    host.showStatus(texts::RestoringRunningStatus);
    restoreRunningStatus(grid);

    host.showStatus(texts::BuildingOutput);
    std::string output = buildOutputImage(grid, header);

    grid.setTextMatrix(0, 0, texts::HeadingAbsolute);
    grid.setTextMatrix(0, 1, texts::HeadingDelta);
    grid.setTextMatrix(0, 2, texts::HeadingData);
    host.setBusy(false);
    return output;
}

} // namespace trackfold
