// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_FILEIO_H
#define TRACKFOLD_FILEIO_H

#include <cstddef>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>

// Whole-file reading and atomic writing, shared by the window and the command line.
namespace trackfold {

// The system's text for an errno value, in the language of the C library's
// locale (LC_MESSAGES). Safe to call from several threads.
std::string systemReason(int error);

// Reads a whole file into data (one char per byte). On failure returns false and
// puts the system's reason into error.
bool readWholeFile(const std::string &path, std::string &data, std::string &error);

// Asks the system to back a large buffer not yet written with huge pages
// where it can: the first writes to hundreds of megabytes then take a fraction
// of the page faults. Does nothing for a small buffer, or where it cannot.
void adviseHugePages(const void *data, std::size_t size);

// The steps of reading a whole file, for readers that keep its bytes their
// own way (InputFile).

// Opens path to read it whole: its descriptor, which the caller closes, or -1
// with the system's reason in error (a folder gives "Is a directory").
// regularSize gets the size of a regular file, 0 for anything else (a pipe, a
// device, a file under /proc that tells no size).
int openWholeFile(const std::string &path, std::size_t &regularSize, std::string &error);

// Memory that a file's bytes are read into as they come.
class ReadTarget
{
public:
    virtual ~ReadTarget() = default;
    // Where the bytes after the first used ones go: at least one byte of room.
    virtual std::span<char> room(std::size_t used) = 0;
    // The first got bytes of the room last given have been read.
    virtual void took(std::size_t got) { (void)got; }
};

// Reads fd to its end into target, going on after interruptions; used counts
// the bytes read. Returns 0 or the errno value of the failed read.
int readToEnd(int fd, ReadTarget &target, std::size_t &used);

// Faults a test can inject into writeFileAtomically.
struct WriteFaults
{
    std::size_t failAfterBytes = std::numeric_limits<std::size_t>::max();
    bool failFlush = false;
    bool failRename = false;
    // Called with the temporary file's path once it holds all the data, just
    // before it is renamed over the target.
    std::function<void(const std::string &temporary)> beforeRename;
};

// Replaces the file at path with data, atomically: the bytes go to a temporary
// file in the same folder, which is then renamed over the target. On failure
// nothing at path has changed, no temporary file is left, and error holds the
// system's reason.
//
// A new file gets the permissions the umask allows (0666 & ~umask); an existing
// one keeps its mode. When path is a symbolic link, the file it points to is
// replaced and the link stays. When path is something other than a regular file
// (a device such as /dev/null, a FIFO), the data is written into it directly.
bool writeFileAtomically(const std::string &path, std::string_view data, std::string &error,
    const WriteFaults &faults = {});

// Like writeFileAtomically, but never replaces anything: when path already
// exists (or a link at path points to an existing file), returns false with
// existed set and the file untouched. The check and the rename are one step,
// so a file that appears meanwhile is not replaced either.
bool writeFileIfAbsent(const std::string &path, std::string_view data, bool &existed,
    std::string &error, const WriteFaults &faults = {});

// Writes a file's bytes to the descriptor it is given; returns 0 or an errno
// value, which abandons the write.
using OutputProducer = std::function<int(int fd)>;

// Writes what produce writes, with the guarantees of writeFileAtomically (or,
// with keepExisting, of writeFileIfAbsent), so an output can be streamed into
// the file as it is made. The descriptor may be seekable (a temporary file) or
// not (a device or FIFO written in place).
// faults.failRename and faults.beforeRename apply as for writeFileAtomically;
// the others are the producer's to honour.
bool writeFileAtomicallyWith(const std::string &path, const OutputProducer &produce,
    bool keepExisting, bool &existed, std::string &error, const WriteFaults &faults = {});

// Writes all of data to fd, going on after interruptions; 0 or an errno value.
int writeAllTo(int fd, std::string_view data);

// Removes every temporary file that a write in progress holds at this moment.
// Async-signal-safe: meant for a SIGINT or SIGTERM handler that then ends the
// process with _exit().
void removeLiveTemporaryFiles() noexcept;

} // namespace trackfold

#endif
