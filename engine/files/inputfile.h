// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_INPUTFILE_H
#define TRACKFOLD_INPUTFILE_H

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace trackfold {

// A whole input file in memory. A large regular file is mapped read-only, so
// it is not copied; a small one, and anything else (a pipe, standard input),
// is read into a buffer that one object keeps from file to file. Mapping and
// unmapping cost more than reading a small file, and they serialise the
// threads of a batch on the process's address space.
class InputFile
{
public:
    static constexpr std::size_t MapThreshold = std::size_t { 1 } << 20;

    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    // Opens path; false with the system's reason in error (a folder gives
    // "Is a directory").
    bool open(const std::string &path, std::string &error);
    // Reads everything from an open descriptor (not closed here).
    bool readFrom(int fd, std::string &error);
    // Releases the file; bytes() is empty afterwards.
    void close();

    std::string_view bytes() const { return m_bytes; }

private:
    void *m_map = nullptr;
    std::size_t m_mapSize = 0;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::string_view m_bytes;
};

} // namespace trackfold

#endif
