// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_THREADS_H
#define TRACKFOLD_THREADS_H

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace trackfold {

// The threads that help the calling thread with one piece of work, joined
// when it is done. A system that cannot start another thread (std::system_error)
// gives fewer than asked for, maybe none: the work then goes on with those
// there are, on the calling thread alone if need be.
class HelperThreads
{
public:
    HelperThreads() = default;
    HelperThreads(const HelperThreads &) = delete;
    HelperThreads &operator=(const HelperThreads &) = delete;
    ~HelperThreads() { join(); }

    // Starts up to count threads, each running a copy of work; returns how
    // many started, 0 when none could.
    template <class Work> std::size_t start(std::size_t count, const Work &work)
    {
        const std::size_t before = m_threads.size();
        m_threads.reserve(before + count);
        for (std::size_t i = 0; i < count; ++i) {
            try {
                m_threads.emplace_back(work);
            } catch (const std::system_error &) {
                break;
            }
        }
        return m_threads.size() - before;
    }

    // Waits for every thread started to end.
    void join()
    {
        for (std::thread &thread : m_threads)
            thread.join();
        m_threads.clear();
    }

private:
    std::vector<std::thread> m_threads;
};

} // namespace trackfold

#endif
