// SPDX-License-Identifier: MIT
#include "inputfile.h"

#include "fileio.h"

#include <algorithm>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace trackfold {

InputFile::~InputFile()
{
    close();
}

void InputFile::close()
{
    if (m_map)
        ::munmap(m_map, m_mapSize);
    m_map = nullptr;
    m_mapSize = 0;
    m_copied = false;
    m_bytes = {};
}

bool InputFile::keepOwnCopy(const std::atomic<bool> &stop)
{
    if (!mapped())
        return true;
#if defined(__linux__)
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t length = (m_mapSize + page - 1) / page * page;
    void *copy
        = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (copy == MAP_FAILED)
        return false;
    constexpr std::size_t Block = std::size_t { 8 } << 20;
    auto *to = static_cast<char *>(copy);
    auto *from = static_cast<char *>(m_map);
    for (std::size_t at = 0; at < m_mapSize; at += Block) {
        if (stop.load(std::memory_order_relaxed)) {
            ::munmap(copy, length);
            return false;
        }
        const std::size_t size = std::min(Block, m_mapSize - at);
        std::memcpy(to + at, from + at, size);
        // A reader of this block from now on maps the file's page again.
        ::madvise(from + at, size, MADV_DONTNEED);
    }
    // The move replaces the mapping in one step: a reader meanwhile waits
    // for it, then finds the same bytes.
    if (::mprotect(copy, length, PROT_READ) != 0
        || ::mremap(copy, length, length, MREMAP_MAYMOVE | MREMAP_FIXED, m_map) == MAP_FAILED) {
        ::munmap(copy, length);
        return false;
    }
    m_copied = true;
    return true;
#else
    return false;
#endif
}

bool InputFile::open(const std::string &path, std::string &error)
{
    close();
    std::size_t size = 0;
    const int fd = openWholeFile(path, size, error);
    if (fd < 0)
        return false;
    bool ok = true;
    if (size >= MapThreshold) {
        // The mapping reads the file where it lies; the conversion reads it
        // from the front to the back, which the kernel is told.
        void *map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
        if (map != MAP_FAILED) {
            ::madvise(map, size, MADV_SEQUENTIAL);
            m_map = map;
            m_mapSize = size;
            m_bytes = std::string_view(static_cast<const char *>(map), size);
        } else {
            ok = readFrom(fd, error);
        }
    } else {
        ok = readFrom(fd, error);
    }
    ::close(fd);
    return ok;
}

namespace {

// Straight into the buffer, which grows as the data comes (and is not
// zero-filled first); its capacity is kept from one file to the next.
class BufferTarget final : public ReadTarget
{
public:
    BufferTarget(std::unique_ptr<char[]> &buffer, std::size_t &capacity)
        : m_buffer(buffer)
        , m_capacity(capacity)
    { }

    std::span<char> room(std::size_t used) override
    {
        if (used == m_capacity) {
            const std::size_t capacity = std::max<std::size_t>(2 * m_capacity, 1 << 16);
            std::unique_ptr<char[]> bigger(new char[capacity]);
            if (used > 0)
                std::memcpy(bigger.get(), m_buffer.get(), used);
            m_buffer = std::move(bigger);
            m_capacity = capacity;
        }
        return { m_buffer.get() + used, m_capacity - used };
    }

private:
    std::unique_ptr<char[]> &m_buffer;
    std::size_t &m_capacity;
};

} // namespace

bool InputFile::readFrom(int fd, std::string &error)
{
    close();
    BufferTarget target(m_buffer, m_capacity);
    std::size_t used = 0;
    if (const int failure = readToEnd(fd, target, used)) {
        error = systemReason(failure);
        return false;
    }
    m_bytes = std::string_view(m_buffer.get(), used);
    return true;
}

} // namespace trackfold
