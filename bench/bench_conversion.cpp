// SPDX-License-Identifier: MIT
// Benchmarks of the conversion (streaming, as the command line runs it, and
// into the grid, as the window runs it) and of its stages, on generated
// multi-track files of 16 tracks and 6,000, 60,000 and 600,000 events per track.
// The "per_event" counter is the time per input event: flat when the cost grows
// linearly with the file.

#include "midigenerator.h"

#include "codecs.h"
#include "conversion.h"
#include "eventgrid.h"
#include "format0writer.h"
#include "merge.h"
#include "trackreader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

// Inputs are generated once per size and timing and kept for every benchmark
// of the run. The first argument is the events of a track, the second 1 for
// humanised timing (nearly every event on its own tick), 0 for the grid.
const Input &inputFor(const benchmark::State &state)
{
    static std::map<std::pair<std::int64_t, std::int64_t>, Input> cache;
    const std::pair<std::int64_t, std::int64_t> key(state.range(0), state.range(1));
    auto it = cache.find(key);
    if (it == cache.end()) {
        trackfold::bench::MidiGeneratorOptions options;
        options.tracks = Tracks;
        options.eventsPerTrack = static_cast<std::uint64_t>(key.first);
        options.seed = 1;
        options.humanised = key.second != 0;
        Input input;
        input.image = trackfold::bench::generateMidiFile(options);
        input.events = trackfold::bench::generatedEventCount(options);
        it = cache.emplace(key, std::move(input)).first;
    }
    return it->second;
}

// Shows nothing and remembers a warning.
class NullObserver : public trackfold::ConversionObserver
{
public:
    void showStatus(const std::string &) override { }
    void showMessage(const trackfold::Message &message) override { warning = message.text; }
    void setBusy(bool) override { }

    std::string warning;
};

// Counts the output's bytes and drops them, so only the conversion is timed.
class CountingSink final : public trackfold::OutputSink
{
public:
    void write(std::string_view bytes) override { size += bytes.size(); }
    void setTrackLength(std::uint32_t) override { }

    std::uint64_t size = 0;
};

void setCounters(benchmark::State &state, const Input &input)
{
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * input.events));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.image.size()));
    state.counters["events"] = static_cast<double>(input.events);
    state.counters["per_event"] = benchmark::Counter(static_cast<double>(input.events),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The whole conversion as the command line runs it, on the given threads:
// the merge hands the events straight to the writer.
void convertOn(benchmark::State &state, unsigned threads, int format = 0)
{
    const Input &input = inputFor(state);
    NullObserver observer;
    trackfold::SteadyClock clock;
    trackfold::ConversionJob options;
    options.threads = threads;
    options.format = format;
    for (auto _ : state) {
        CountingSink sink;
        const auto result = trackfold::convert(trackfold::Source::bytes(input.image),
            trackfold::Target::sink(sink), options, observer, clock);
        if (!result.converted())
            state.SkipWithError(observer.warning.c_str());
        benchmark::DoNotOptimize(sink.size);
    }
    setCounters(state, input);
}

void BM_ConvertImage(benchmark::State &state)
{
    convertOn(state, 1);
}

// Long files go in segments on both threads; timed by the wall clock.
void BM_ConvertImageTwoThreads(benchmark::State &state)
{
    convertOn(state, 2);
}

// The split into one track per channel, on both threads, by the wall clock:
// to be held against BM_ConvertImageTwoThreads.
void BM_SplitImageTwoThreads(benchmark::State &state)
{
    convertOn(state, 2, 1);
}

// The window's conversion: the rows kept in the grid, the output in a string.
void BM_SalvaMidi0(benchmark::State &state)
{
    const Input &input = inputFor(state);
    NullObserver observer;
    trackfold::SteadyClock clock;
    for (auto _ : state) {
        trackfold::EventGrid grid;
        trackfold::ConversionResult result;
        std::string out = trackfold::SalvaMidi0(input.image, grid, observer, clock, result);
        if (out.empty())
            state.SkipWithError(observer.warning.c_str());
        benchmark::DoNotOptimize(out.data());
    }
    setCounters(state, input);
}

void BM_ScanTracks(benchmark::State &state)
{
    const Input &input = inputFor(state);
    for (auto _ : state) {
        trackfold::TrackScan scan;
        benchmark::DoNotOptimize(trackfold::scanTracks(input.image, scan));
    }
    setCounters(state, input);
}

// The merge alone, handing each event to nobody.
void BM_MergeTracks(benchmark::State &state)
{
    const Input &input = inputFor(state);
    trackfold::TrackScan scan;
    trackfold::scanTracks(input.image, scan);
    for (auto _ : state) {
        std::uint64_t sum = 0;
        trackfold::mergeTracks(input.image, scan, trackfold::TieOrder::Track,
            [&sum](const trackfold::EventRef &event) {
                sum += event.ref;
                return true;
            });
        benchmark::DoNotOptimize(sum);
    }
    setCounters(state, input);
}

// Delta times, running status and output bytes for merged events.
void BM_Format0Writer(benchmark::State &state)
{
    const Input &input = inputFor(state);
    trackfold::TrackScan scan;
    trackfold::scanTracks(input.image, scan);
    std::vector<trackfold::EventRef> merged;
    trackfold::mergeTracks(
        input.image, scan, trackfold::TieOrder::Track, [&merged](const trackfold::EventRef &event) {
            merged.push_back(event);
            return true;
        });
    const std::string header = trackfold::makeOutputHeader(input.image, scan.firstTrackLength);
    for (auto _ : state) {
        CountingSink sink;
        trackfold::Format0Writer writer(sink, input.image, header);
        for (const trackfold::EventRef &event : merged)
            writer.add(event);
        writer.finish(scan.endTime);
        benchmark::DoNotOptimize(sink.size);
    }
    setCounters(state, input);
}

void sizes(benchmark::internal::Benchmark *b)
{
    b->ArgsProduct({ { 6000, 60000, 600000 }, { 0, 1 } })->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_ConvertImage)->Apply(sizes);
BENCHMARK(BM_ConvertImageTwoThreads)->Apply(sizes)->UseRealTime();
BENCHMARK(BM_SplitImageTwoThreads)->Apply(sizes)->UseRealTime();
BENCHMARK(BM_SalvaMidi0)->Apply(sizes);
BENCHMARK(BM_ScanTracks)->Apply(sizes);
BENCHMARK(BM_MergeTracks)->Apply(sizes);
BENCHMARK(BM_Format0Writer)->Apply(sizes);

BENCHMARK_MAIN();
