// SPDX-License-Identifier: MIT
#include "conversion.h"

#include "eventgrid.h"
#include "format0writer.h"
#include "merge.h"
#include "segmentedwrite.h"
#include "texts.h"
#include "trackreader.h"

#include <chrono>

namespace trackfold {

namespace {

ConversionResult fail(ConversionObserver &observer, const std::string &warning)
{
    observer.setBusy(false);
    observer.showMessage({ MessageIcon::Warning, texts::AppName, warning });
    return {};
}

} // namespace

double SteadyClock::seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool scanInput(std::string_view image, ConversionObserver &observer, Clock &clock,
    ScannedInput &input, EventGrid *grid, unsigned threads)
{
    observer.setBusy(true);
    input.image = image;
    if (image.size() > EventGrid::MaxImageSize)
        return fail(observer, tr(texts::FileTooLarge)).ok;
    if (!hasValidHeader(image))
        return fail(observer, tr(texts::InvalidHeader)).ok;
    // A Format 2 file holds independent sequences: laid on top of each other
    // they would not be the piece.
    if (formatOf(image) == 2)
        return fail(observer, tr(texts::Format2)).ok;

    observer.showStatus(tr(texts::ReadingTracks));
    input.INIZIO = clock.seconds();
    const bool scanned = scanTracks(image, input.scan, threads);

    // The header row shows the header as the output will carry it, but for its
    // track length, which is the first track chunk's until the output is built.
    input.header = makeOutputHeader(image, input.scan.firstTrackLength);
    if (grid) {
        grid->addHeaderRow(input.header);
        std::vector<std::size_t> starts;
        starts.reserve(input.scan.tracks.size());
        for (const TrackSpan &track : input.scan.tracks)
            starts.push_back(track.begin);
        grid->setTrackStarts(std::move(starts));
    }
    if (!scanned)
        return fail(observer, input.scan.warning).ok;
    return true;
}

ConversionResult writeFormat0(const ScannedInput &input, OutputSink &out,
    ConversionObserver &observer, const ConversionOptions &options, EventGrid *grid)
{
    const std::string_view image = input.image;
    const TrackScan &scan = input.scan;
    ConversionResult result;
    result.INIZIO = input.INIZIO;
    const TieOrder order = options.byteOrder ? TieOrder::Bytes : TieOrder::Track;
    Format0Writer writer(out, image, input.header);
    bool written = true;
    observer.showStatus(tr(texts::SortingGrid));
    if (grid) {
        // The window keeps the rows: merged into the grid first, then written.
        mergeTracks(image, scan, order, [grid](const EventRef &event) {
            grid->addEvent(event);
            return true;
        });
        result.RIGHE = static_cast<std::int64_t>(grid->rows()) - 1;
        observer.showStatus(tr(texts::InsertingDeltas));
        observer.showStatus(tr(texts::RestoringRunningStatus));
        observer.showStatus(tr(texts::BuildingOutput));
        for (const EventRef &event : grid->events()) {
            if (!writer.add(event)) {
                written = false;
                break;
            }
        }
    } else {
        // Delta times, running status and the output bytes are worked out as
        // the merge hands over each event, in one pass.
        observer.showStatus(tr(texts::InsertingDeltas));
        observer.showStatus(tr(texts::RestoringRunningStatus));
        observer.showStatus(tr(texts::BuildingOutput));
        const SegmentedWrite segmented
            = writeInSegments(image, scan, order, options.threads, writer);
        if (segmented == SegmentedWrite::NotUsed) {
            written = mergeTracks(
                image, scan, order, [&writer](const EventRef &event) { return writer.add(event); });
        } else {
            written = segmented == SegmentedWrite::Written;
        }
        result.RIGHE = static_cast<std::int64_t>(writer.events()) + 1;
    }
    // The End of Track has the row after the last.
    if (!written || !writer.finish(scan.endTime))
        return fail(observer, deltaTooLargeWarning(writer.nextRow()));

    if (grid) {
        grid->setEndTime(scan.endTime);
        grid->showHeadings();
    }
    observer.setBusy(false);
    result.ok = true;
    result.outputSize = writer.size();
    return result;
}

ConversionResult convertImage(std::string_view image, OutputSink &out, ConversionObserver &observer,
    Clock &clock, const ConversionOptions &options, EventGrid *grid)
{
    ScannedInput input;
    if (!scanInput(image, observer, clock, input, grid, options.threads))
        return {};
    return writeFormat0(input, out, observer, options, grid);
}

std::string SalvaMidi0(std::string StrMIDI, EventGrid &grid, ConversionObserver &observer,
    Clock &clock, ConversionResult &result, const ConversionOptions &options)
{
    grid.adoptImage(std::move(StrMIDI));
    const std::string_view image = grid.image();

    // Merged, an event never takes more bytes than in the input but for a
    // restored status byte, so the output fits the input's size and a byte
    // per event; one allocation of that holds it.
    std::string output;
    output.reserve(image.size() + image.size() / 2 + 64);
    StringSink sink(output);
    result = convertImage(image, sink, observer, clock, options, &grid);
    if (!result.ok)
        return {};
    return output;
}

} // namespace trackfold
