// SPDX-License-Identifier: MIT
#include "convertfile.h"

#include "eventgrid.h"
#include "format0writer.h"
#include "inputfile.h"
#include "verify.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace trackfold {

namespace {

FileConversion outcome(FileStatus status, std::string error = {})
{
    FileConversion done;
    done.status = status;
    done.error = std::move(error);
    return done;
}

} // namespace

FileConversion convertFile(const FileJob &job, InputFile &input, ConversionObserver &observer,
    Clock &clock, EventGrid *grid, const WriteFaults &faults)
{
    std::string error;
    std::string_view image;
    if (grid) {
        // The grid's rows refer to the input, so the grid keeps it.
        std::string bytes;
        if (!readWholeFile(job.input, bytes, error))
            return outcome(FileStatus::CannotOpen, error);
        grid->adoptImage(std::move(bytes));
        image = grid->image();
    } else {
        if (!input.open(job.input, error))
            return outcome(FileStatus::CannotOpen, error);
        image = input.bytes();
    }

    return convertImageToFile(image, job, observer, clock, grid, faults);
}

FileConversion convertImageToFile(std::string_view image, const FileJob &job,
    ConversionObserver &observer, Clock &clock, EventGrid *grid, const WriteFaults &faults)
{
    ScannedInput scanned;
    if (!scanInput(image, observer, clock, scanned, grid, job.options.threads))
        return outcome(FileStatus::ConversionFailed);
    std::string error;

    FileConversion done;
    bool failedWhileWriting = false;
    auto convertInto = [&](OutputSink &sink) {
        done.result = writeFormat0(scanned, sink, observer, job.options, grid);
        failedWhileWriting = !done.result.ok;
        return done.result.ok;
    };
    auto produce = [&](int fd) {
        // A device or FIFO cannot take the track length afterwards: the whole
        // output is made first.
        if (::lseek(fd, 0, SEEK_CUR) < 0) {
            std::string whole;
            StringSink sink(whole);
            return convertInto(sink) ? writeAllTo(fd, whole) : ECANCELED;
        }
        // The file's blocks are reserved for the largest output the input can
        // give (its bytes, a restored status byte per event, title and End of
        // Track), then cut to the real size. A file system that allocates
        // late (ext4) would otherwise flush the whole file when the rename
        // replaces an existing one.
        const auto bound = static_cast<off_t>(image.size() + scanned.scan.events + 64);
        const bool reserved = ::fallocate(fd, 0, 0, bound) == 0;
        DescriptorSink sink(fd, faults.failAfterBytes);
        if (!convertInto(sink))
            return ECANCELED;
        if (sink.error() != 0)
            return sink.error();
        if (reserved && ::ftruncate(fd, static_cast<off_t>(done.result.outputSize)) != 0)
            return errno;
        return faults.failFlush ? EIO : 0;
    };
    bool existed = false;
    if (!writeFileAtomicallyWith(job.output, produce, job.keepExisting, existed, error, faults)) {
        if (failedWhileWriting)
            return outcome(FileStatus::ConversionFailed);
        return outcome(existed ? FileStatus::OutputExists : FileStatus::CannotSave, error);
    }

    if (job.verify) {
        // What counts is what reached the disk, so the file is read back.
        InputFile written;
        std::string difference;
        if (!written.open(job.output, difference)
            || !verifyConversion(image, written.bytes(), job.options, difference)) {
            done.status = FileStatus::VerifyFailed;
            done.error = difference;
            return done;
        }
    }
    done.status = FileStatus::Converted;
    return done;
}

} // namespace trackfold
