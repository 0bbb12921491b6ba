// SPDX-License-Identifier: MIT
#ifndef TRACKFOLD_CONVERSIONRUN_H
#define TRACKFOLD_CONVERSIONRUN_H

#include "conversion.h"
#include "eventgrid.h"
#include "fileio.h"
#include "pianoroll.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QThread;

namespace trackfold {

// One conversion of the window, on a thread of its own: the file is read,
// converted into the grid and written, and the piano roll built, while the
// window goes on painting and answering. The grid belongs to the run until
// rowsReady(); from then on the run only reads it, building the roll, and
// others may read it too. Nobody else may change it until finished().
//
// The phase captions arrive as statusChanged() on the window's thread, the
// progress is read with progress() whenever the window likes, and the engine's
// warnings wait in messages() until the end (each one ends the conversion).
class ConversionRun : public QObject, private ConversionObserver
{
    Q_OBJECT

public:
    ConversionRun(std::string input, std::string output, const ConversionJob &job,
        WriteFaults faults, EventGrid &grid, Clock &clock, QObject *parent = nullptr);
    // Cancels, and waits for the thread.
    ~ConversionRun() override;

    // What the conversion before left, freed on the run's thread before it
    // starts; call before start().
    void discardFirst(EventGrid::Storage grid, PianoRoll roll)
    {
        m_oldGrid = std::move(grid);
        m_oldRoll = std::move(roll);
    }
    void start();
    // Asks the conversion to stop; finished() follows, with Cancelled unless
    // the output was already in place.
    void cancel();
    bool running() const;

    // Events written and events in all, as last reported; 0 of 0 before the
    // writing starts.
    std::uint64_t done() const { return m_done.load(std::memory_order_relaxed); }
    std::uint64_t total() const { return m_total.load(std::memory_order_relaxed); }

    // Once finished(): what the conversion gave, its warnings, and the roll
    // (empty unless the conversion succeeded and memory allowed it).
    const ConversionResult &result() const { return m_result; }
    const std::vector<Message> &messages() const { return m_messages; }
    PianoRoll takeRoll() { return std::move(m_roll); }

    // Gives what was freed back to the system, not only to the allocator.
    static void releaseFreedMemory();

signals:
    void statusChanged(const QString &caption);
    // The conversion is over and its result() and messages() are final; the
    // roll may still be in the building. Not told when nothing converted.
    void rowsReady();
    void finished();

private:
    void run();

    // ConversionObserver, called on the run's thread.
    void showStatus(const std::string &caption) override;
    void showMessage(const Message &message) override;
    void setBusy(bool busy) override;
    void showProgress(std::uint64_t done, std::uint64_t total) override;
    void outputWritten() override;

    void buildRoll();

    std::string m_input;
    std::string m_output;
    ConversionJob m_job;
    WriteFaults m_faults;
    EventGrid &m_grid;
    Clock &m_clock;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_cancel { false };
    std::atomic<std::uint64_t> m_done { 0 };
    std::atomic<std::uint64_t> m_total { 0 };
    ConversionResult m_result;
    std::vector<Message> m_messages;
    PianoRoll m_roll;
    EventGrid::Storage m_oldGrid;
    PianoRoll m_oldRoll;
    // Builds the roll while the written file is checked.
    std::thread m_rollBuilder;
    // From this size of the image the rows read, the roll is built after the check.
    static constexpr std::size_t RollAfterCheckBytes = std::size_t { 64 } << 20;
    bool m_rollAfterCheck = false;
    static constexpr int LargeBlockBytes = 1 << 20;
};

} // namespace trackfold

#endif
