// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_IMAGEBYTES_H
#define TRACKFOLD_IMAGEBYTES_H

#include "inputfile.h"

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace trackfold {

// The bytes of a written file that a view goes on reading: the string they
// were made in, or the file as it reached the disk, mapped. Moving it keeps
// the bytes where they are.
class ImageBytes
{
public:
    ImageBytes() = default;
    explicit ImageBytes(std::string bytes)
        : m_text(std::move(bytes))
    { }
    explicit ImageBytes(std::unique_ptr<InputFile> file)
        : m_file(std::make_unique<File>())
    {
        m_file->file = std::move(file);
    }

    std::string_view view() const
    {
        return m_file ? m_file->file->bytes() : std::string_view(m_text);
    }

    // Copies a mapped file's bytes into the program's own memory on a thread
    // of their own (InputFile::keepOwnCopy), while the views read on; once
    // it is done, the file may change on disk without harm. Does nothing
    // for a string, or when called again.
    void keepOwnCopy()
    {
        if (!m_file || m_file->copier.joinable() || !m_file->file->mapped())
            return;
        File *file = m_file.get();
        m_file->copier = std::thread([file] { file->file->keepOwnCopy(file->stop); });
    }
    // Waits for keepOwnCopy (tests).
    void waitForCopy()
    {
        if (m_file && m_file->copier.joinable())
            m_file->copier.join();
    }
    bool mapped() const { return m_file && !m_file->copier.joinable() && m_file->file->mapped(); }

private:
    struct File
    {
        std::unique_ptr<InputFile> file;
        std::atomic<bool> stop { false };
        std::thread copier;
        File() = default;
        File(const File &) = delete;
        File &operator=(const File &) = delete;
        // Bytes no longer wanted are not copied to the end.
        ~File()
        {
            stop.store(true, std::memory_order_relaxed);
            if (copier.joinable())
                copier.join();
        }
    };

    std::string m_text;
    std::unique_ptr<File> m_file;
};

} // namespace trackfold

#endif
