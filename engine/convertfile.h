// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CONVERTFILE_H
#define TRACKFOLD_CONVERTFILE_H

#include "conversion.h"
#include "fileio.h"

#include <string>

// Converting one file into another: read, convert, write, check. The window
// and the command line both go through here.
namespace trackfold {

class EventGrid;
class InputFile;

struct FileJob
{
    std::string input;
    std::string output;
    ConversionOptions options;
    bool keepExisting = false; // never replace an existing output
    bool verify = false; // read the written file back and check it
};

enum class FileStatus : std::uint8_t {
    Converted,
    CannotOpen, // error: the system's reason
    ConversionFailed, // the warning went through the observer
    CannotSave, // error: the system's reason; nothing at the output changed
    OutputExists, // with keepExisting
    VerifyFailed, // error: the system's reason or the first difference
};

struct FileConversion
{
    FileStatus status = FileStatus::CannotOpen;
    std::string error;
    ConversionResult result;
};

// Reads job.input, converts it and streams the output into a temporary file
// beside job.output that then replaces it (see writeFileAtomically); with
// job.verify the written file is read back and checked against the input.
// Without a grid the input is read through input (mapped, or into its
// buffer); with one, the grid takes the input and the merged rows.
FileConversion convertFile(const FileJob &job, InputFile &input, ConversionObserver &observer,
    Clock &clock, EventGrid *grid = nullptr, const WriteFaults &faults = {});

// The same for an input already in memory (standard input, say), from the
// conversion on; job.input only names it. With a grid, the grid must own
// image already.
FileConversion convertImageToFile(std::string_view image, const FileJob &job,
    ConversionObserver &observer, Clock &clock, EventGrid *grid = nullptr,
    const WriteFaults &faults = {});

} // namespace trackfold

#endif
