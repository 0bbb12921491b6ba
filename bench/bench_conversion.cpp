// SPDX-License-Identifier: MIT
// Benchmarks of the whole conversion and of each of its phases on generated
// multi-track files of 16 tracks and 6,000, 60,000 and 600,000 events per track.
// The "per_event" counter is the time per input event: flat when the cost grows
// linearly with the file.

#include "midigenerator.h"

#include "codecs.h"
#include "conversion.h"
#include "eventgrid.h"
#include "merge.h"
#include "trackreader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using trackfold::EventGrid;

constexpr int Tracks = 16;

struct Input
{
    std::string image;
    std::uint64_t events = 0;
};

// Inputs are generated once per size and kept for every benchmark of the run.
const Input &inputFor(std::uint64_t eventsPerTrack)
{
    static std::map<std::uint64_t, Input> cache;
    auto it = cache.find(eventsPerTrack);
    if (it == cache.end()) {
        trackfold::bench::MidiGeneratorOptions options;
        options.tracks = Tracks;
        options.eventsPerTrack = eventsPerTrack;
        options.seed = 1;
        Input input;
        input.image = trackfold::bench::generateMidiFile(options);
        input.events = trackfold::bench::generatedEventCount(options);
        it = cache.emplace(eventsPerTrack, std::move(input)).first;
    }
    return it->second;
}

// A caller that shows nothing: it owns the grid and remembers a warning.
class NullHost : public trackfold::ConversionHost
{
public:
    EventGrid &grid() override { return m_grid; }
    void showStatus(const std::string &) override { }
    void showMessage(const trackfold::Message &message) override { warning = message.text; }
    void setBusy(bool) override { }
    double timer() override
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void setRIGHE(std::int64_t) override { }
    void setINIZIO(double) override { }

    std::string warning;

private:
    EventGrid m_grid;
};

void setCounters(benchmark::State &state, const Input &input)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * input.events));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.image.size()));
    state.counters["events"] = static_cast<double>(input.events);
    state.counters["per_event"] = benchmark::Counter(static_cast<double>(input.events),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The grid as the conversion has it when the reader is done: it owns the image
// and holds the heading row and the header row.
std::unique_ptr<EventGrid> preparedGrid(const std::string &image, trackfold::TrackScan &scan)
{
    auto grid = std::make_unique<EventGrid>();
    grid->clear();
    grid->setRows(1);
    grid->setCols(3);
    grid->adoptImage(image);
    scan = {};
    trackfold::scanTracks(grid->image(), scan);
    const std::string header = trackfold::makeOutputHeader(grid->image(), scan.firstTrackLength);
    std::string headerHex;
    trackfold::appendHex(headerHex, header.data(), header.size());
    grid->addItem(std::string("00\t00\t") + headerHex);
    return grid;
}

// A grid taken through the phases up to and including `phase` (1 merge,
// 2 delta times, 3 running status).
std::unique_ptr<EventGrid> gridAfter(
    const std::string &image, int phase, trackfold::TrackScan &scan)
{
    auto grid = preparedGrid(image, scan);
    trackfold::mergeTracks(scan, *grid);
    std::string warning;
    if (phase >= 2)
        trackfold::fillDeltaTimes(*grid, warning);
    if (phase >= 3)
        trackfold::restoreRunningStatus(*grid);
    return grid;
}

void BM_SalvaMidi0(benchmark::State &state)
{
    const Input &input = inputFor(static_cast<std::uint64_t>(state.range(0)));
    NullHost host;
    std::size_t outputSize = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::string image = input.image;
        state.ResumeTiming();
        const std::string output = trackfold::SalvaMidi0(std::move(image), host);
        outputSize = output.size();
        benchmark::DoNotOptimize(output.data());
    }
    if (outputSize == 0)
        state.SkipWithError(("conversion failed: " + host.warning).c_str());
    setCounters(state, input);
}

void BM_ScanTracks(benchmark::State &state)
{
    const Input &input = inputFor(static_cast<std::uint64_t>(state.range(0)));
    bool ok = true;
    for (auto _ : state) {
        trackfold::TrackScan scan;
        ok = trackfold::scanTracks(input.image, scan) && ok;
        benchmark::DoNotOptimize(scan.events);
    }
    if (!ok)
        state.SkipWithError("scan failed");
    setCounters(state, input);
}

void BM_MergeTracks(benchmark::State &state)
{
    const Input &input = inputFor(static_cast<std::uint64_t>(state.range(0)));
    trackfold::TrackScan scan;
    std::unique_ptr<EventGrid> grid;
    for (auto _ : state) {
        state.PauseTiming();
        grid.reset();
        grid = preparedGrid(input.image, scan);
        state.ResumeTiming();
        trackfold::mergeTracks(scan, *grid);
        benchmark::DoNotOptimize(grid->rows());
    }
    setCounters(state, input);
}

// Runs phase on a grid restored to the state it had before the phase, so every
// iteration does the same work.
template <typename Phase> void runOnRestoredRows(benchmark::State &state, int before, Phase phase)
{
    const Input &input = inputFor(static_cast<std::uint64_t>(state.range(0)));
    trackfold::TrackScan scan;
    auto grid = gridAfter(input.image, before, scan);
    const auto rows = grid->rowData();
    const std::vector<EventGrid::Row> snapshot(rows.begin(), rows.end());
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(snapshot.begin(), snapshot.end(), grid->rowData().begin());
        state.ResumeTiming();
        phase(*grid);
    }
    setCounters(state, input);
}

void BM_FillDeltaTimes(benchmark::State &state)
{
    std::string warning;
    bool ok = true;
    runOnRestoredRows(
        state, 1, [&](EventGrid &grid) { ok = trackfold::fillDeltaTimes(grid, warning) && ok; });
    if (!ok)
        state.SkipWithError(("delta times failed: " + warning).c_str());
}

void BM_RestoreRunningStatus(benchmark::State &state)
{
    runOnRestoredRows(state, 2, [](EventGrid &grid) {
        trackfold::restoreRunningStatus(grid);
        benchmark::ClobberMemory();
    });
}

void BM_BuildOutputImage(benchmark::State &state)
{
    const Input &input = inputFor(static_cast<std::uint64_t>(state.range(0)));
    trackfold::TrackScan scan;
    const auto grid = gridAfter(input.image, 3, scan);
    const std::string header = trackfold::makeOutputHeader(grid->image(), scan.firstTrackLength);
    for (auto _ : state) {
        const std::string output = trackfold::buildOutputImage(*grid, header);
        benchmark::DoNotOptimize(output.data());
    }
    setCounters(state, input);
}

// Sizes in events per track; 16 tracks each.
void sizes(benchmark::internal::Benchmark *b)
{
    b->Arg(6'000)->Arg(60'000)->Arg(600'000)->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_SalvaMidi0)->Apply(sizes);
BENCHMARK(BM_ScanTracks)->Apply(sizes);
BENCHMARK(BM_MergeTracks)->Apply(sizes);
BENCHMARK(BM_FillDeltaTimes)->Apply(sizes);
BENCHMARK(BM_RestoreRunningStatus)->Apply(sizes);
BENCHMARK(BM_BuildOutputImage)->Apply(sizes);

BENCHMARK_MAIN();
