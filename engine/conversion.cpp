// SPDX-License-Identifier: MIT
#include "conversion.h"

#include "eventgrid.h"
#include "format0writer.h"
#include "format1writer.h"
#include "inputfile.h"
#include "merge.h"
#include "pianoroll.h"
#include "segmentedwrite.h"
#include "texts.h"
#include "trackreader.h"
#include "verify.h"

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <istream>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trackfold {

double SteadyClock::seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

Source Source::file(std::string path, InputFile *buffer)
{
    Source source;
    source.m_kind = Kind::File;
    source.m_name = std::move(path);
    source.m_buffer = buffer;
    return source;
}

Source Source::stream(std::istream *in, std::string name)
{
    Source source;
    source.m_kind = Kind::Stream;
    source.m_name = std::move(name);
    source.m_stream = in;
    return source;
}

Source Source::bytes(std::string_view image, std::string name)
{
    Source source;
    source.m_kind = Kind::Bytes;
    source.m_name = std::move(name);
    source.m_view = image;
    return source;
}

Source Source::owned(std::string image, std::string name)
{
    Source source;
    source.m_kind = Kind::Owned;
    source.m_name = std::move(name);
    source.m_owned = std::move(image);
    return source;
}

Target Target::file(std::string path, bool createFolders, WriteFaults faults)
{
    Target target;
    target.m_kind = Kind::File;
    target.m_path = std::move(path);
    target.m_createFolders = createFolders;
    target.m_faults = std::move(faults);
    return target;
}

Target Target::stream(std::ostream *out)
{
    Target target;
    target.m_kind = Kind::Stream;
    target.m_stream = out;
    return target;
}

Target Target::memory(std::string &out)
{
    Target target;
    target.m_kind = Kind::Memory;
    target.m_memory = &out;
    return target;
}

Target Target::sink(OutputSink &sink)
{
    Target target;
    target.m_kind = Kind::Sink;
    target.m_sink = &sink;
    return target;
}

namespace {

ConversionResult outcome(ConversionStatus status, std::string error = {})
{
    ConversionResult result;
    result.status = status;
    result.error = std::move(error);
    return result;
}

bool warn(ConversionObserver &observer, const std::string &warning)
{
    observer.setBusy(false);
    observer.showMessage({ MessageIcon::Warning, texts::AppName, warning });
    return false;
}

bool readStream(std::istream &in, std::string &data)
{
    data.clear();
    std::streambuf *source = in.rdbuf();
    if (!source)
        return false;
    char chunk[1 << 16];
    for (std::streamsize got; (got = source->sgetn(chunk, sizeof chunk)) > 0;)
        data.append(chunk, static_cast<std::size_t>(got));
    return true;
}

bool exists(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

// An RMID file is converted as the Standard MIDI File it wraps: image becomes
// that file (the grid's, with a grid, whose rows refer to it). False after a
// warning naming what is wrong with a RIFF file that wraps none.
bool unwrapRiff(std::string_view &image, ConversionObserver &observer, EventGrid *grid)
{
    std::string_view inner;
    switch (unwrapRiffMidi(image, inner)) {
    case RiffMidi::NotRiff:
        return true;
    case RiffMidi::Unwrapped:
        if (grid) {
            grid->adoptImage(std::string(inner));
            inner = grid->image();
        }
        image = inner;
        return true;
    case RiffMidi::NotRmid:
        return warn(observer, tr(texts::RiffNotRmid));
    case RiffMidi::NoData:
        return warn(observer, tr(texts::RmidNoData));
    case RiffMidi::Truncated:
        return warn(observer, tr(texts::RmidTruncated));
    }
    return true;
}

// An input whose header and tracks have been read and found sound: the first
// half of a conversion.
struct ScannedInput
{
    std::string_view image;
    TrackScan scan;
    std::string header; // the output's 22-byte header, its length still the first track's
    std::vector<std::uint8_t> ports; // the ports the events go to, when port events name any
    double INIZIO = 0;
};

// Checks the header and reads every track of image. With a grid, the grid
// receives the header row and where each track starts; it owns image already.
// False after a warning through the observer.
bool scanInput(std::string_view image, ConversionObserver &observer, Clock &clock,
    ScannedInput &input, EventGrid *grid, unsigned threads)
{
    observer.setBusy(true);
    if (!unwrapRiff(image, observer, grid))
        return false;
    input.image = image;
    if (image.size() > EventGrid::MaxImageSize)
        return warn(observer, tr(texts::FileTooLarge));
    if (!hasValidHeader(image))
        return warn(observer, tr(texts::InvalidHeader));
    // A Format 2 file holds independent sequences: laid on top of each other
    // they would not be the piece.
    if (formatOf(image) == 2)
        return warn(observer, tr(texts::Format2));

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
        return warn(observer, input.scan.warning);
    input.ports = portsInUse(image, input.scan);
    if (input.ports.size() >= 2) {
        indexPorts(input.scan, image.size());
        // With ports the rows are kept, and refer to the image: the grid
        // keeps it past the conversion.
        if (grid) {
            grid->keepImage(image);
            input.image = grid->image();
        }
    }
    return true;
}

// Tells the observer how far the writing has come, now and then, and whether
// to go on: false once the job is cancelled.
class WritingProgress
{
public:
    WritingProgress(ConversionObserver &observer, const ConversionJob &job, std::uint64_t total)
        : m_observer(observer)
        , m_job(job)
        , m_total(total)
    { }

    // After a stretch of events (a segment): written so far.
    bool reached(std::uint64_t written)
    {
        m_observer.showProgress(written, m_total);
        return !m_job.cancelled();
    }
    // After each event of one stream.
    bool passed()
    {
        if ((++m_events & (Stride - 1)) != 0)
            return true;
        return reached(m_events);
    }

private:
    static constexpr std::uint64_t Stride = std::uint64_t { 1 } << 16;
    ConversionObserver &m_observer;
    const ConversionJob &m_job;
    std::uint64_t m_total;
    std::uint64_t m_events = 0;
};

// The second half: merges the scanned tracks and writes the Format 0 file to
// out as it is produced; with a grid, the grid receives the rows and headings.
// False after a warning (a delta time too large); what out received is then to
// be thrown away.
bool writeFormat0(const ScannedInput &input, OutputSink &out, ConversionObserver &observer,
    const ConversionJob &job, EventGrid *grid, bool rowsFromOutput, ConversionResult &result)
{
    const std::string_view image = input.image;
    const TrackScan &scan = input.scan;
    result.INIZIO = input.INIZIO;
    const TieOrder order = job.byteOrder ? TieOrder::Bytes : TieOrder::Track;
    const std::string title = job.keepTitle && !scan.tracks.empty()
        ? trackNameAt(image, scan.tracks[0].begin, scan.tracks[0].end)
        : std::string();
    Format0Writer writer(out, image, input.header, title);
    // With two ports or more, a port event goes before each channel or SysEx
    // event whose port is not the last one written.
    const bool ports = input.ports.size() >= 2;
    int lastPort = -1;
    auto add = [&](const EventRef &event) {
        if (ports && goesToPort(event.status)) {
            const std::uint8_t port = portAt(scan, event.ref);
            if (port != lastPort && !writer.addPort(event.time(), port))
                return false;
            lastPort = port;
        }
        return writer.add(event);
    };
    observer.showStatus(tr(texts::SortingGrid));
    observer.showStatus(tr(texts::InsertingDeltas));
    observer.showStatus(tr(texts::RestoringRunningStatus));
    observer.showStatus(tr(texts::BuildingOutput));
    if (job.cancelled())
        return false;
    // Delta times, running status and the output bytes are worked out as the
    // merge hands over each event, in one pass; the window's grid takes each
    // event as it is written.
    if (grid) {
        // The port events written between the rows would have to be told
        // apart from the input's own: with them the rows are kept.
        if (rowsFromOutput && !ports)
            grid->collectTracksOnly(scan, image.size());
        grid->reserveEvents(scan.events);
    }
    // Where each stretch of rows begins in the track, so that the rows can be
    // read back from the file a stretch on each thread.
    const bool marksStretches = grid && grid->collectsTracksOnly();
    auto markStretch = [&] {
        if (marksStretches) {
            grid->markStretch({ writer.events(),
                { writer.lastTime(), static_cast<std::uint32_t>(writer.size()),
                    writer.lastStatus() } });
        }
    };
    markStretch();
    WritingProgress progress(observer, job, scan.events);
    // The port events make the file one stream.
    const SegmentedWrite segmented = ports
        ? SegmentedWrite::NotUsed
        : writeInSegments(
            image, scan, order, job.threads, writer,
            [&](std::uint64_t written, std::span<const EventRef> rows,
                std::span<const std::uint16_t> tracks) {
                if (marksStretches) {
                    grid->addTracks(tracks);
                    markStretch();
                } else if (grid) {
                    grid->addEvents(rows);
                }
                return progress.reached(written);
            },
            !grid                            ? KeptRows::None
                : grid->collectsTracksOnly() ? KeptRows::Tracks
                                             : KeptRows::Events);
    bool written = segmented == SegmentedWrite::Written;
    if (segmented == SegmentedWrite::NotUsed) {
        written = mergeTracks(image, scan, order, [&](const EventRef &event) {
            if (!(ports ? add(event) : writer.add(event)))
                return false;
            if (grid)
                grid->addEvent(event);
            return progress.passed();
        });
        markStretch();
    }
    result.RIGHE = static_cast<std::int64_t>(writer.events()) + 1;
    if (job.cancelled())
        return false;
    // The End of Track has the row after the last.
    if (!written || !writer.finish(scan.endTime))
        return warn(observer, deltaTooLargeWarning(writer.nextRow()));

    if (grid) {
        grid->setEndTime(scan.endTime);
        grid->showHeadings();
    }
    observer.setBusy(false);
    result.outputSize = writer.size();
    return true;
}

// From this size on a split keeps its tracks' bytes on disk while it runs.
constexpr std::size_t SpillMinBytes = std::size_t { 8 } << 20;

// The split: the same merge in the input's order, every event routed to the
// track of its channel, the file put together at the end.
bool writeFormat1(const ScannedInput &input, OutputSink &out, ConversionObserver &observer,
    const ConversionJob &job, EventGrid *grid, const std::string *spillFolder,
    ConversionResult &result)
{
    const std::string_view image = input.image;
    const TrackScan &scan = input.scan;
    result.INIZIO = input.INIZIO;
    Format1Writer writer(image, scan, grid != nullptr, input.ports);
    // A long file's tracks wait on disk beside the output until it is put together.
    if (spillFolder && image.size() >= SpillMinBytes)
        writer.spillInto(*spillFolder);
    observer.showStatus(tr(texts::SortingGrid));
    observer.showStatus(tr(texts::InsertingDeltas));
    observer.showStatus(tr(texts::RestoringRunningStatus));
    observer.showStatus(tr(texts::BuildingOutput));
    if (job.cancelled())
        return false;
    // A long file goes in segments on every thread, as for the fold; the
    // window's split keeps its rows in one merge.
    WritingProgress progress(observer, job, scan.events);
    const SegmentedWrite segmented = grid || !writer.onePort()
        ? SegmentedWrite::NotUsed
        : splitInSegments(image, scan, job.threads, writer,
            [&progress](std::uint64_t written, std::span<const EventRef>,
                std::span<const std::uint16_t>) { return progress.reached(written); });
    const bool written = segmented == SegmentedWrite::NotUsed
        ? mergeTracks(image, scan, TieOrder::Track,
            [&](const EventRef &event) { return writer.add(event) && progress.passed(); })
        : segmented == SegmentedWrite::Written;
    if (job.cancelled())
        return false;
    if (!written || !writer.finish(out, scan.endTime)) {
        return warn(observer,
            writer.readError() ? systemReason(writer.readError())
                               : deltaTooLargeWarning(writer.nextRow()));
    }
    if (grid) {
        writer.fillGrid(*grid);
        grid->setEndTime(scan.endTime);
        grid->showHeadings();
    }
    if (const auto tick = writer.reorderedTick())
        result.warning = "Tick " + std::to_string(*tick) + tr(texts::SplitReordered);
    observer.setBusy(false);
    result.RIGHE = writer.lastRow();
    result.outputSize = writer.size();
    return true;
}

} // namespace

// Brings the input into memory: into the grid when there is one (its rows
// refer to the image), else through the caller's buffer or in place.
class SourceLoader
{
public:
    // A grid whose rows will be read from the output only needs the input
    // while it converts: a file is then mapped, as without a grid.
    SourceLoader(Source &source, EventGrid *grid, bool gridOwnsInput)
        : m_source(source)
        , m_grid(grid)
        , m_owns(gridOwnsInput)
    { }

    // Standard input is read before anything else is looked at.
    bool readStream(std::string &error)
    {
        if (m_source.m_kind != Source::Kind::Stream)
            return true;
        if (!m_source.m_stream || !trackfold::readStream(*m_source.m_stream, m_source.m_owned)) {
            error = systemReason(EBADF);
            return false;
        }
        return true;
    }

    bool load(std::string_view &image, std::string &error)
    {
        if (m_grid && !m_owns)
            m_grid->adoptImage({});
        switch (m_source.m_kind) {
        case Source::Kind::File:
            if (m_grid && m_owns) {
                std::string bytes;
                if (!readWholeFile(m_source.m_name, bytes, error))
                    return false;
                return adopt(std::move(bytes), image);
            } else {
                InputFile &file = m_source.m_buffer ? *m_source.m_buffer : m_local;
                if (!file.open(m_source.m_name, error))
                    return false;
                image = file.bytes();
            }
            return true;
        case Source::Kind::Bytes:
            if (m_grid && m_owns)
                return adopt(std::string(m_source.m_view), image);
            image = m_source.m_view;
            return true;
        case Source::Kind::Stream:
        case Source::Kind::Owned:
            if (m_grid && m_owns)
                return adopt(std::move(m_source.m_owned), image);
            image = m_source.m_owned;
            return true;
        }
        return false;
    }

private:
    bool adopt(std::string bytes, std::string_view &image)
    {
        m_grid->adoptImage(std::move(bytes));
        image = m_grid->image();
        return true;
    }

    Source &m_source;
    EventGrid *m_grid;
    bool m_owns;
    InputFile m_local;
};

// Makes the output into the target: all of it, or nothing where it goes.
struct TargetWriter
{
    const Target &target;
    const ConversionJob &job;
    ConversionObserver &observer;
    EventGrid *grid;
    // A fold's grid reads its rows from the output it writes (unless it
    // keeps them, or the output goes to the caller's sink).
    bool rowsFromOutput;

    bool outputExists() const
    {
        return target.m_kind == Target::Kind::File && job.keepExisting && exists(target.m_path);
    }

    bool makeFolders(std::string &error) const
    {
        if (target.m_kind != Target::Kind::File || !target.m_createFolders)
            return true;
        std::error_code ec;
        const std::filesystem::path folder = std::filesystem::path(target.m_path).parent_path();
        if (!folder.empty())
            std::filesystem::create_directories(folder, ec);
        if (ec)
            error = systemReason(ec.value());
        return !ec;
    }

    void write(const ScannedInput &scanned, ConversionResult &result) const
    {
        switch (target.m_kind) {
        case Target::Kind::File:
            return writeFile(scanned, result);
        case Target::Kind::Stream: {
            std::string whole;
            prepare(whole, scanned.image);
            StringSink sink(whole);
            if (!writeOutput(scanned, sink, result))
                return;
            if (!target.m_stream) {
                result = outcome(ConversionStatus::CannotSave, systemReason(EBADF));
                return;
            }
            errno = 0;
            target.m_stream->write(whole.data(), static_cast<std::streamsize>(whole.size()));
            target.m_stream->flush();
            if (!*target.m_stream) {
                result = outcome(ConversionStatus::CannotSave, systemReason(errno ? errno : EIO));
                return;
            }
            if (grid && grid->collectsTracksOnly()) {
                ImageBytes written(std::move(whole));
                return readRowsAndCheck(written, scanned, result);
            }
            return check(scanned, whole, result);
        }
        case Target::Kind::Memory: {
            prepare(*target.m_memory, scanned.image);
            StringSink sink(*target.m_memory);
            if (writeOutput(scanned, sink, result)) {
                if (grid && grid->collectsTracksOnly()) {
                    ImageBytes rows(*target.m_memory);
                    readRowsAndCheck(rows, scanned, result);
                } else {
                    check(scanned, *target.m_memory, result);
                }
            }
            return;
        }
        case Target::Kind::Sink:
            writeOutput(scanned, *target.m_sink, result);
            return;
        }
    }

private:
    bool writeOutput(const ScannedInput &scanned, OutputSink &sink, ConversionResult &result) const
    {
        std::string folder;
        if (target.m_kind == Target::Kind::File)
            folder = std::filesystem::path(target.m_path).parent_path().string();
        const bool written = job.format == 1
            ? writeFormat1(scanned, sink, observer, job, grid,
                target.m_kind == Target::Kind::File ? &folder : nullptr, result)
            : trackfold::writeFormat0(scanned, sink, observer, job, grid, rowsFromOutput, result);
        if (!written) {
            result = outcome(
                job.cancelled() ? ConversionStatus::Cancelled : ConversionStatus::ConversionFailed);
            return false;
        }
        result.status = ConversionStatus::Converted;
        return true;
    }

    // A fold's grid that keeps its rows holds the merged events in the order
    // they were written: the check compares the file with them instead of
    // merging again.
    std::span<const EventRef> mergedRows() const
    {
        return grid && job.format == 0 ? grid->events() : std::span<const EventRef>();
    }

    // A fold's grid that kept only the rows' tracks reads its rows from the
    // output, taking its bytes, then lets the roll be built.
    void rowsWritten(ImageBytes &output, std::string_view input) const
    {
        if (grid && grid->collectsTracksOnly())
            grid->readRowsFrom(output, input);
        observer.outputWritten();
    }

    // The same for the written bytes of a whole fold, read in the stretches
    // the writer joined, on every thread; with the check, each event is
    // compared with the input in that pass. Where that pass cannot tell, the
    // rows are read from the start and the check merges the input again.
    void readRowsAndCheck(
        ImageBytes &written, const ScannedInput &scanned, ConversionResult &result) const
    {
        const std::string_view image = scanned.image;
        const FoldInput input { image, scanned.scan, grid->rowTrackBytes(), grid->trackWidth() };
        std::vector<Checkpoint> marks;
        const FoldReadBack read = readFoldBack(written.view(), grid->stretches(),
            grid->collectedRows(), OutputRows::Stride, marks, job.threads,
            job.verify && !job.byteOrder ? &input : nullptr);
        if (read.marked)
            grid->adoptRows(written, image, std::move(marks));
        else
            grid->readRowsFrom(written, image);
        observer.outputWritten();
        const std::string_view check = grid->readsOutput() ? grid->image() : written.view();
        if (job.verify && !read.matches
            && !verifyConversion(image, check, job, result.error, &scanned.scan, {}))
            result.status = ConversionStatus::VerifyFailed;
    }

    // Merged, an event never takes more bytes than in the input but for a
    // restored status byte, so the output fits the input's size and a byte per
    // event: one allocation of that holds it.
    static void prepare(std::string &output, std::string_view image)
    {
        output.clear();
        output.reserve(image.size() + image.size() / 2 + 64);
    }

    void check(
        const ScannedInput &scanned, std::string_view written, ConversionResult &result) const
    {
        if (job.verify
            && !verifyConversion(
                scanned.image, written, job, result.error, &scanned.scan, mergedRows()))
            result.status = ConversionStatus::VerifyFailed;
    }

    void writeFile(const ScannedInput &scanned, ConversionResult &result) const
    {
        const std::string_view image = scanned.image;
        const WriteFaults &faults = target.m_faults;
        bool failedWhileWriting = false;
        auto convertInto = [&](OutputSink &sink) {
            failedWhileWriting = !writeOutput(scanned, sink, result);
            return !failedWhileWriting;
        };
        auto produce = [&](int fd) {
            // A device or FIFO cannot take the track length afterwards: the
            // whole output is made first.
            if (::lseek(fd, 0, SEEK_CUR) < 0) {
                std::string whole;
                StringSink sink(whole);
                return convertInto(sink) ? writeAllTo(fd, whole) : ECANCELED;
            }
            // The file's blocks are reserved for the largest output the input
            // can give (its bytes, a restored status byte per event, title and
            // End of Track), then cut to the real size. A file system that
            // allocates late (ext4) would otherwise flush the whole file when
            // the rename replaces an existing one.
            const auto bound = static_cast<off_t>(image.size() + scanned.scan.events + 64);
            const bool reserved = ::fallocate(fd, 0, 0, bound) == 0;
            DescriptorSink sink(fd, faults.failAfterBytes);
            if (!convertInto(sink))
                return ECANCELED;
            if (sink.error() != 0)
                return sink.error();
            if (reserved && ::ftruncate(fd, static_cast<off_t>(result.outputSize)) != 0)
                return errno;
            return faults.failFlush ? EIO : 0;
        };
        bool existed = false;
        std::string error;
        if (!writeFileAtomicallyWith(
                target.m_path, produce, job.keepExisting, existed, error, faults)) {
            result = failedWhileWriting
                ? outcome(job.cancelled() ? ConversionStatus::Cancelled
                                          : ConversionStatus::ConversionFailed)
                : outcome(existed ? ConversionStatus::OutputExists : ConversionStatus::CannotSave,
                    std::move(error));
            return;
        }
        if (grid && grid->collectsTracksOnly()) {
            // The rows are read from the file as it reached the disk, mapped
            // where it can be (its pages are still in memory, just written);
            // so is the check.
            auto file = std::make_unique<InputFile>();
            if (!file->open(target.m_path, result.error)) {
                ImageBytes none;
                rowsWritten(none, image);
                if (job.verify)
                    result.status = ConversionStatus::VerifyFailed;
                return;
            }
            ImageBytes written(std::move(file));
            readRowsAndCheck(written, scanned, result);
            grid->releaseInput();
            return;
        }
        observer.outputWritten();
        if (job.verify) {
            // What counts is what reached the disk, so the file is read back.
            InputFile written;
            if (!written.open(target.m_path, result.error)
                || !verifyConversion(
                    image, written.bytes(), job, result.error, &scanned.scan, mergedRows()))
                result.status = ConversionStatus::VerifyFailed;
        }
    }
};

ConversionResult convert(Source source, const Target &target, const ConversionJob &job,
    ConversionObserver &observer, Clock &clock, EventGrid *grid)
{
    const bool rowsFromOutput
        = grid && !grid->keepsRows() && job.format == 0 && target.kind() != Target::Kind::Sink;
    const TargetWriter writer { target, job, observer, grid, rowsFromOutput };
    if (writer.outputExists())
        return outcome(ConversionStatus::OutputExists);
    SourceLoader loader(source, grid, !rowsFromOutput);
    std::string error;
    if (!loader.readStream(error))
        return outcome(ConversionStatus::CannotOpen, error);
    if (!writer.makeFolders(error))
        return outcome(ConversionStatus::CannotSave, error);
    std::string_view image;
    if (!loader.load(image, error))
        return outcome(ConversionStatus::CannotOpen, error);

    ScannedInput scanned;
    if (!scanInput(image, observer, clock, scanned, grid, job.threads))
        return outcome(ConversionStatus::ConversionFailed);
    if (job.cancelled())
        return outcome(ConversionStatus::Cancelled);
    ConversionResult result;
    writer.write(scanned, result);
    return result;
}

std::string SalvaMidi0(std::string StrMIDI, EventGrid &grid, ConversionObserver &observer,
    Clock &clock, ConversionResult &result, const ConversionJob &job)
{
    std::string output;
    result = convert(
        Source::owned(std::move(StrMIDI)), Target::memory(output), job, observer, clock, &grid);
    if (!result.converted())
        return {};
    return output;
}

} // namespace trackfold
