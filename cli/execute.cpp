// SPDX-License-Identifier: MIT
#include "execute.h"

#include "threads.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace trackfold::cli {

namespace {

// One file after another in the calling thread; the data streams go straight
// to the console.
void runInOrder(
    Plan &plan, const JobSettings &settings, const Console &console, Printer &printer, Clock &clock)
{
    ConsoleHost host(clock);
    std::size_t done = 0;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        FileOutcome outcome;
        if (plan[i].kind == ItemKind::Convert) {
            outcome = convertOne(plan.jobOf(plan[i]), settings, host, &console.in, &console.out);
            if (settings.table)
                printer.wroteTable();
        } else {
            outcome = plan.takeOutcome(i, settings);
        }
        done += outcome.result == Result::Note ? 0 : 1;
        printer.print(outcome);
        printer.progress(done);
    }
}

// The outcomes of files converted in any order, until the printing takes them
// in input order. A file whose outcome has nothing to print leaves only its
// result, a byte; the others wait in a map until their turn.
class Outcomes
{
public:
    explicit Outcomes(std::size_t items)
        : m_state(std::make_unique<std::atomic<std::uint8_t>[]>(items))
    { }

    // From the thread that converted item index.
    void put(std::size_t index, FileOutcome outcome)
    {
        auto state = static_cast<std::uint8_t>(1 + static_cast<int>(outcome.result));
        if (!outcome.lines.empty() || !outcome.table.empty()) {
            const std::lock_guard<std::mutex> lock(m_keptMutex);
            m_kept.emplace(index, std::move(outcome));
            state = Kept;
        }
        m_state[index].store(state, std::memory_order_release);
    }

    // Moves item index's outcome into outcome once it is there; false while
    // it is not.
    bool take(std::size_t index, FileOutcome &outcome)
    {
        const std::uint8_t state = m_state[index].load(std::memory_order_acquire);
        if (state == 0)
            return false;
        if (state == Kept) {
            const std::lock_guard<std::mutex> lock(m_keptMutex);
            outcome = std::move(m_kept.extract(index).mapped());
        } else {
            outcome = { static_cast<Result>(state - 1), {}, {} };
        }
        return true;
    }

private:
    // 0 while a file waits; then Kept, or 1 + its result.
    static constexpr std::uint8_t Kept = 0x80;

    std::unique_ptr<std::atomic<std::uint8_t>[]> m_state;
    std::mutex m_keptMutex;
    std::unordered_map<std::size_t, FileOutcome> m_kept; // under m_keptMutex
};

// Hands out the items to the workers. Each worker starts on its own stretch
// of the list, so that workers are seldom in the same folder at once
// (creating and renaming files there takes the folder's lock), and goes on
// with the others' when it is done.
class Lanes
{
public:
    Lanes(std::size_t items, std::size_t lanes)
        : m_lanes(new Lane[lanes])
        , m_count(lanes)
    {
        for (std::size_t l = 0; l < lanes; ++l) {
            m_lanes[l].next = items * l / lanes;
            m_lanes[l].end = items * (l + 1) / lanes;
        }
    }

    // Calls take with every index not yet taken, from stretch first on.
    template <class Take> void drain(std::size_t first, const Take &take)
    {
        for (std::size_t l = first % m_count, visited = 0; visited < m_count;
             l = (l + 1) % m_count, ++visited) {
            std::size_t index = 0;
            while (
                (index = m_lanes[l].next.fetch_add(1, std::memory_order_relaxed)) < m_lanes[l].end)
                take(index);
        }
    }

private:
    struct alignas(64) Lane
    {
        std::atomic<std::size_t> next { 0 };
        std::size_t end = 0;
    };

    const std::unique_ptr<Lane[]> m_lanes;
    const std::size_t m_count;
};

// Workers convert the files, each with its own host. The calling thread
// prints, in input order, whatever outcomes are ready every PrintInterval, and
// at once when the last file is done; the workers share nothing but the
// counters of files taken, and the last one wakes the printing thread.
constexpr std::chrono::milliseconds PrintInterval(50);

void runInParallel(
    Plan &plan, unsigned workers, const JobSettings &settings, Printer &printer, Clock &clock)
{
    const std::size_t count = plan.size();
    const std::size_t conversions = plan.conversions();
    Outcomes outcomes(count);
    // Tables wait in memory until their turn, so with --table there is one
    // stretch for all.
    Lanes lanes(count, settings.table ? 1 : workers);
    std::atomic<std::size_t> started { 0 };
    std::atomic<std::size_t> finished { 0 };
    std::mutex wakeMutex;
    std::condition_variable wake;
    bool allFinished = conversions == 0; // under wakeMutex

    auto work = [&] {
        ConsoleHost host(clock);
        lanes.drain(started.fetch_add(1, std::memory_order_relaxed), [&](std::size_t index) {
            if (plan[index].kind != ItemKind::Convert)
                return;
            outcomes.put(
                index, convertOne(plan.jobOf(plan[index]), settings, host, nullptr, nullptr));
            if (finished.fetch_add(1, std::memory_order_relaxed) + 1 == conversions) {
                const std::lock_guard<std::mutex> lock(wakeMutex);
                allFinished = true;
                wake.notify_one();
            }
        });
    };
    // Fewer threads than asked for still convert everything.
    HelperThreads threads;
    if (threads.start(workers, work) == 0)
        work();

    std::size_t printed = 0;
    for (;;) {
        for (; printed < count; ++printed) {
            FileOutcome outcome;
            if (plan[printed].kind != ItemKind::Convert)
                outcome = plan.takeOutcome(printed, settings);
            else if (!outcomes.take(printed, outcome))
                break;
            printer.print(outcome);
        }
        printer.progress(plan.settled() + finished.load(std::memory_order_relaxed));
        if (printed == count)
            break;
        std::unique_lock<std::mutex> lock(wakeMutex);
        wake.wait_for(lock, PrintInterval, [&] { return allFinished; });
    }
}

} // namespace

void execute(Plan &plan, unsigned workers, const JobSettings &settings, const Console &console,
    Printer &printer, Clock &clock)
{
    // Standard input and output belong to a single file, which needs no thread.
    if (workers > 1)
        runInParallel(plan, workers, settings, printer, clock);
    else
        runInOrder(plan, settings, console, printer, clock);
}

} // namespace trackfold::cli
