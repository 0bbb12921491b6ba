// SPDX-License-Identifier: MIT
#include "fileio.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trackfold {

namespace fs = std::filesystem;

namespace {

// Temporary files of the writes in progress, for a signal handler to remove.
// A slot is claimed (Filling) before its path is copied in and published
// (Live) before the file is created, so the handler only ever reads complete
// paths; a path published a moment before its file exists costs the handler
// one unlink() that finds nothing.
constexpr std::size_t LiveSlots = 256; // one write per thread at a time
enum SlotState : int { SlotFree, SlotFilling, SlotLive };
std::atomic<int> g_slotState[LiveSlots];
char g_slotPath[LiveSlots][PATH_MAX];
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads the slots");

// Returns the slot holding path, or -1 when none is free or the path is too
// long to keep (the write then goes on without being cleaned up on a signal).
int publishTemporary(const std::string &path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    for (std::size_t i = 0; i < LiveSlots; ++i) {
        int expected = SlotFree;
        if (g_slotState[i].compare_exchange_strong(
                expected, SlotFilling, std::memory_order_acquire)) {
            std::memcpy(g_slotPath[i], path.c_str(), path.size() + 1);
            g_slotState[i].store(SlotLive, std::memory_order_release);
            return static_cast<int>(i);
        }
    }
    return -1;
}

void forgetTemporary(int slot)
{
    if (slot >= 0)
        g_slotState[slot].store(SlotFree, std::memory_order_release);
}

// A name for the temporary file next to the target that no other writer picks.
// Each thread draws from its own generator.
std::string temporaryPathFor(const fs::path &target)
{
    thread_local std::mt19937 random(std::random_device {}());
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += suffix;
    return (target.parent_path() / hidden).string();
}

// Writes all of data to fd, stopping early where a test asks it to. Returns 0
// or the errno value of the failure.
int writeAll(int fd, std::string_view data, const WriteFaults &faults)
{
    const std::size_t allowed = std::min(data.size(), faults.failAfterBytes);
    const char *next = data.data();
    std::size_t left = allowed;
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    if (allowed < data.size())
        return ENOSPC;
    return faults.failFlush ? EIO : 0;
}

// Where a write to path lands.
struct Destination
{
    std::string path; // the file to replace or create: path itself, or where its links lead
    bool exists = false;
    bool direct = false; // an existing file that is not a regular file: written in place
    mode_t mode = 0; // of an existing regular file
};

// Follows path's symbolic links. Returns 0 or an errno value.
int findDestination(const std::string &path, Destination &destination)
{
    destination.path = path;
    struct stat st = {};
    if (::lstat(path.c_str(), &st) != 0)
        return 0; // nothing there yet, or a folder that is missing: creating the file says which
    if (S_ISLNK(st.st_mode)) {
        if (::stat(path.c_str(), &st) == 0) {
            if (S_ISREG(st.st_mode)) {
                // realpath also sees through links such as /dev/stdout.
                const std::unique_ptr<char, decltype(&std::free)> real(
                    ::realpath(path.c_str(), nullptr), &std::free);
                if (!real)
                    return errno;
                destination.path = real.get();
            }
        } else if (errno == ENOENT) {
            // A dangling link: the write creates the file it names.
            fs::path hop(path);
            for (int hops = 0;; ++hops) {
                if (hops == 40)
                    return ELOOP;
                std::error_code ec;
                const fs::path next = fs::read_symlink(hop, ec);
                if (ec)
                    break;
                hop = next.is_absolute() ? next : hop.parent_path() / next;
            }
            destination.path = hop.string();
            return 0;
        } else {
            return errno;
        }
    }
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    destination.exists = true;
    destination.direct = !S_ISREG(st.st_mode);
    destination.mode = st.st_mode & 07777;
    return 0;
}

// Writes into an existing device or FIFO; there is nothing to rename.
bool writeInPlace(const std::string &path, const OutputProducer &produce, std::string &error)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        error = systemReason(errno);
        return false;
    }
    int failure = produce(fd);
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0) {
        error = systemReason(failure);
        return false;
    }
    return true;
}

enum class WhenPresent { Replace, Keep };

bool writeAtomically(const std::string &path, const OutputProducer &produce,
    WhenPresent whenPresent, bool &existed, std::string &error, const WriteFaults &faults)
{
    existed = false;
    Destination destination;
    if (const int failure = findDestination(path, destination)) {
        error = systemReason(failure);
        return false;
    }
    if (destination.exists && whenPresent == WhenPresent::Keep) {
        existed = true;
        error = systemReason(EEXIST);
        return false;
    }
    if (destination.direct)
        return writeInPlace(destination.path, produce, error);

    // The temporary file is published before it exists, so that a signal
    // arriving at any point afterwards finds it.
    std::string temporary;
    int slot = -1;
    int fd = -1;
    for (unsigned attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = temporaryPathFor(destination.path);
        slot = publishTemporary(temporary);
        // O_EXCL: never reuse an existing file. The mode is filtered by the umask.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int failure = errno;
            forgetTemporary(slot);
            if (failure != EEXIST) {
                error = systemReason(failure);
                return false;
            }
        }
    }
    if (fd < 0) {
        error = systemReason(EEXIST);
        return false;
    }

    auto abandon = [&](int reason) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.c_str());
        forgetTemporary(slot);
        error = systemReason(reason);
        return false;
    };

    // A replaced file keeps its permissions.
    if (destination.exists)
        (void)::fchmod(fd, destination.mode);
    if (const int failure = produce(fd))
        return abandon(failure);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return abandon(errno);

    if (faults.beforeRename)
        faults.beforeRename(temporary);
    if (faults.failRename)
        return abandon(EACCES);

    if (whenPresent == WhenPresent::Replace) {
        if (::rename(temporary.c_str(), destination.path.c_str()) != 0)
            return abandon(errno);
    } else if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, destination.path.c_str(),
                   RENAME_NOREPLACE)
        != 0) {
        int failure = errno;
        if (failure == EINVAL || failure == ENOSYS) {
            // A file system without renameat2's flags: a hard link does not
            // replace either.
            failure = ::link(temporary.c_str(), destination.path.c_str()) == 0 ? 0 : errno;
            ::unlink(temporary.c_str());
        }
        if (failure != 0) {
            existed = failure == EEXIST;
            return abandon(failure);
        }
    }
    forgetTemporary(slot);
    return true;
}

} // namespace

std::string systemReason(int error)
{
    char buffer[256];
    // The GNU strerror_r: returns the text, translated when the locale asks.
    return ::strerror_r(error, buffer, sizeof buffer);
}

int openWholeFile(const std::string &path, std::size_t &regularSize, std::string &error)
{
    regularSize = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemReason(errno);
        return -1;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        error = systemReason(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(fd);
        return -1;
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        regularSize = static_cast<std::size_t>(st.st_size);
    return fd;
}

int readToEnd(int fd, ReadTarget &target, std::size_t &used)
{
    used = 0;
    while (true) {
        const std::span<char> room = target.room(used);
        const ssize_t got = ::read(fd, room.data(), room.size());
        if (got == 0)
            return 0;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        target.took(static_cast<std::size_t>(got));
        used += static_cast<std::size_t>(got);
    }
}

namespace {

// Straight into the string, sized as the file says; a file that grows
// meanwhile, or has no size to tell (under /proc, a pipe), is read on through
// a small buffer, so the string is not doubled just to find the end.
class StringTarget final : public ReadTarget
{
public:
    explicit StringTarget(std::string &data)
        : m_data(data)
    { }

    std::span<char> room(std::size_t used) override
    {
        m_spilling = used >= m_data.size();
        if (m_spilling)
            return m_more;
        return { m_data.data() + used, m_data.size() - used };
    }
    void took(std::size_t got) override
    {
        if (m_spilling)
            m_data.append(m_more, got);
    }

private:
    std::string &m_data;
    char m_more[1 << 16];
    bool m_spilling = false;
};

} // namespace

bool readWholeFile(const std::string &path, std::string &data, std::string &error)
{
    std::size_t size = 0;
    const int fd = openWholeFile(path, size, error);
    if (fd < 0)
        return false;
    data.clear();
    data.reserve(size);
    adviseHugePages(data.data(), size);
    data.resize(size);
    StringTarget target(data);
    std::size_t used = 0;
    const int failure = readToEnd(fd, target, used);
    data.resize(used);
    ::close(fd);
    if (failure != 0) {
        error = systemReason(failure);
        return false;
    }
    return true;
}

void adviseHugePages(const void *data, std::size_t size)
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t HugePage = std::uintptr_t { 2 } << 20;
    if (size < 4 * HugePage)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + HugePage - 1) & ~(HugePage - 1);
    const std::uintptr_t last = (begin + size) & ~(HugePage - 1);
    // The buffer is not written here: madvise only takes a non-const pointer.
    char *bytes = const_cast<char *>(static_cast<const char *>(data));
    if (first < last)
        ::madvise(bytes + (first - begin), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

bool writeFileAtomically(
    const std::string &path, std::string_view data, std::string &error, const WriteFaults &faults)
{
    bool existed = false;
    return writeAtomically(
        path, [&](int fd) { return writeAll(fd, data, faults); }, WhenPresent::Replace, existed,
        error, faults);
}

bool writeFileIfAbsent(const std::string &path, std::string_view data, bool &existed,
    std::string &error, const WriteFaults &faults)
{
    return writeAtomically(
        path, [&](int fd) { return writeAll(fd, data, faults); }, WhenPresent::Keep, existed, error,
        faults);
}

bool writeFileAtomicallyWith(const std::string &path, const OutputProducer &produce,
    bool keepExisting, bool &existed, std::string &error, const WriteFaults &faults)
{
    return writeAtomically(path, produce, keepExisting ? WhenPresent::Keep : WhenPresent::Replace,
        existed, error, faults);
}

int writeAllTo(int fd, std::string_view data)
{
    return writeAll(fd, data, {});
}

void removeLiveTemporaryFiles() noexcept
{
    for (std::size_t i = 0; i < LiveSlots; ++i) {
        if (g_slotState[i].load(std::memory_order_acquire) == SlotLive)
            ::unlink(g_slotPath[i]);
    }
}

} // namespace trackfold
