// SPDX-License-Identifier: MIT
#include "inputfile.h"

#include "fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
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
    m_bytes = {};
}

bool InputFile::open(const std::string &path, std::string &error)
{
    close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = systemReason(errno);
        return false;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        error = systemReason(S_ISDIR(st.st_mode) ? EISDIR : errno);
        ::close(fd);
        return false;
    }
    bool ok = true;
    if (S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) >= MapThreshold) {
        // The mapping reads the file where it lies; the conversion reads it
        // from the front to the back, which the kernel is told.
        const auto size = static_cast<std::size_t>(st.st_size);
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

bool InputFile::readFrom(int fd, std::string &error)
{
    close();
    // Straight into the buffer, which grows as the data comes (and is not
    // zero-filled first); its capacity is kept from one file to the next.
    std::size_t used = 0;
    while (true) {
        if (used == m_capacity) {
            const std::size_t capacity = std::max<std::size_t>(2 * m_capacity, 1 << 16);
            std::unique_ptr<char[]> bigger(new char[capacity]);
            if (used > 0)
                std::memcpy(bigger.get(), m_buffer.get(), used);
            m_buffer = std::move(bigger);
            m_capacity = capacity;
        }
        const ssize_t got = ::read(fd, m_buffer.get() + used, m_capacity - used);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = systemReason(errno);
            return false;
        }
        used += static_cast<std::size_t>(got);
    }
    m_bytes = std::string_view(m_buffer.get(), used);
    return true;
}

} // namespace trackfold
