// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_FILEIO_H
#define TRACKFOLD_FILEIO_H

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

// Whole-file reading and atomic writing, shared by the window and the command line.
namespace trackfold {

// Reads a whole file into data (one char per byte). On failure returns false and
// puts the system's reason into error.
bool readWholeFile(const std::string &path, std::string &data, std::string &error);

// Faults a test can inject into writeFileAtomically.
struct WriteFaults
{
    std::size_t failAfterBytes = std::numeric_limits<std::size_t>::max();
    bool failFlush = false;
    bool failRename = false;
};

// Replaces the file at path with data, atomically: the bytes go to a temporary
// file in the same folder, which is then renamed over the target. On failure
// nothing at path has changed, no temporary file is left, and error holds the
// system's reason. An existing target keeps its permissions.
bool writeFileAtomically(const std::string &path, std::string_view data, std::string &error,
    const WriteFaults &faults = {});

} // namespace trackfold

#endif
