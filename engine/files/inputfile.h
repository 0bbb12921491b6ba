// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_INPUTFILE_H
#define TRACKFOLD_INPUTFILE_H

#include <atomic>
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
    // True while the bytes are the file's own pages, mapped.
    bool mapped() const { return m_map != nullptr && !m_copied; }

    // A mapping reads the file where it lies: should another program cut the
    // file short, reading past its new end would stop this one (SIGBUS). For
    // bytes kept long after the file was opened, this copies them into the
    // program's own memory, a block at a time, and puts the copy where the
    // mapping was: bytes() stays the same, and other threads may read it
    // meanwhile. Each block's file pages leave the program's memory once
    // copied, so the copy costs no more memory than the mapping. False, the
    // file still mapped, when stop is set on the way or memory is short; true
    // at once for bytes that were read rather than mapped.
    bool keepOwnCopy(const std::atomic<bool> &stop);

private:
    void *m_map = nullptr;
    std::size_t m_mapSize = 0;
    bool m_copied = false;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::string_view m_bytes;
};

} // namespace trackfold

#endif
