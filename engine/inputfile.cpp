// SPDX-License-Identifier: MIT
#include "inputfile.h"

#include "fileio.h"

#include <cerrno>

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
    m_buffer.clear();
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
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
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
    char chunk[1 << 16];
    while (true) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = systemReason(errno);
            m_buffer.clear();
            return false;
        }
        m_buffer.append(chunk, static_cast<std::size_t>(got));
    }
    m_bytes = m_buffer;
    return true;
}

} // namespace trackfold
