// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_INPUTFILE_H
#define TRACKFOLD_INPUTFILE_H

#include <cstddef>
#include <string>
#include <string_view>

namespace trackfold {

// A whole input file in memory, without a copy where the system allows it: a
// regular file is mapped read-only, anything else (a pipe, standard input) is
// read into a buffer.
class InputFile
{
public:
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
    std::string m_buffer;
    std::string_view m_bytes;
};

} // namespace trackfold

#endif
