// SPDX-License-Identifier: MIT
#include "conversionrun.h"

#include "eventgrid.h"

#include <QThread>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif
#if defined(__linux__)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace trackfold {

ConversionRun::ConversionRun(std::string input, std::string output, const ConversionJob &job,
    WriteFaults faults, EventGrid &grid, Clock &clock, QObject *parent)
    : QObject(parent)
    , m_input(std::move(input))
    , m_output(std::move(output))
    , m_job(job)
    , m_faults(std::move(faults))
    , m_grid(grid)
    , m_clock(clock)
{
    m_job.cancel = &m_cancel;
}

ConversionRun::~ConversionRun()
{
    if (m_thread) {
        cancel();
        m_thread->wait();
    }
}

void ConversionRun::start()
{
    m_thread = QThread::create([this] { run(); });
    m_thread->setParent(this);
    // finished() is told on the window's thread, once the thread is done.
    connect(m_thread, &QThread::finished, this, &ConversionRun::finished);
    m_thread->start();
}

void ConversionRun::cancel()
{
    m_cancel.store(true, std::memory_order_relaxed);
}

bool ConversionRun::running() const
{
    return m_thread && !m_thread->isFinished();
}

void ConversionRun::run()
{
#if defined(__linux__)
    // The conversion and the threads it starts yield to the window's thread,
    // which then paints and answers on time even with every core busy (on
    // Linux a thread's nice value is its own, and new threads inherit it).
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), std::min(nice + 5, 19));
#endif
    {
        const EventGrid::Storage grid = std::move(m_oldGrid);
        const PianoRoll roll = std::move(m_oldRoll);
    }
#if defined(__GLIBC__)
    // A conversion's large blocks (a segment's bytes and events, a thread's
    // room) go back to the system when freed: past a fixed size they are
    // always mapped apart, where glibc would otherwise raise that size to the
    // largest block freed and keep such blocks in the arenas, which adds them
    // to the peak of the next stage.
    static const bool mapped = ::mallopt(M_MMAP_THRESHOLD, LargeBlockBytes) != 0;
    (void)mapped;
#endif
    releaseFreedMemory();
    m_rollAfterCheck = false;
    try {
        m_result = convert(Source::file(m_input), Target::file(m_output, false, m_faults), m_job,
            *this, m_clock, &m_grid);
    } catch (const std::bad_alloc &) {
        // A file too big for memory is a failed conversion, not a crash.
        m_result = {};
        m_result.status = ConversionStatus::ConversionFailed;
    }
    if (m_result.converted())
        emit rowsReady();
    if (m_rollBuilder.joinable())
        m_rollBuilder.join();
    else if (m_rollAfterCheck && m_result.converted())
        buildRoll();
    if (!m_result.converted())
        m_roll.clear();
}

void ConversionRun::releaseFreedMemory()
{
#if defined(__GLIBC__)
    // The helper threads' arenas keep what they freed unless trimmed.
    ::malloc_trim(0);
#endif
}

void ConversionRun::outputWritten()
{
    // The roll only reads the finished grid, as the check reads the file:
    // the two go side by side. Beside a long file's check, which holds the
    // input, the written file and the grid, the roll would raise the peak of
    // memory by its own size: it waits until the conversion has let the input
    // go. Without a thread, the roll is built here.
    m_rollAfterCheck = m_grid.image().size() >= RollAfterCheckBytes;
    if (m_rollAfterCheck)
        return;
    try {
        m_rollBuilder = std::thread([this] { buildRoll(); });
    } catch (const std::system_error &) {
        buildRoll();
    }
}

void ConversionRun::buildRoll()
{
    try {
        m_roll.build(m_grid);
    } catch (const std::bad_alloc &) {
        // The table and the written file are what matters: without the memory
        // for the roll, the roll stays empty.
        m_roll.clear();
    }
}

void ConversionRun::showStatus(const std::string &caption)
{
    emit statusChanged(QString::fromStdString(caption));
}

void ConversionRun::showMessage(const Message &message)
{
    m_messages.push_back(message);
}

void ConversionRun::setBusy(bool)
{
    // The window keeps its pointer busy for the whole run.
}

void ConversionRun::showProgress(std::uint64_t done, std::uint64_t total)
{
    m_total.store(total, std::memory_order_relaxed);
    m_done.store(done, std::memory_order_relaxed);
}

} // namespace trackfold
