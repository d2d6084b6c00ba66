// Automatic marking with grouping and integration on synthetic chromatograms
// of 10^4 to 10^7 samples with one peak per 500 samples. The same traces are
// written by "zelmora-cli synth --samples N --peaks N/500 --dt 0.001
// --sigma 0.02 --noise 0.02 --seed 5" for the comparison script.

#include <benchmark/benchmark.h>

#include <map>

#include "processing/peak_detector.h"
#include "processing/synthetic.h"

namespace {

using namespace zelmora;

const Signal& trace(std::int64_t n) {
    static std::map<std::int64_t, Signal> cache;
    auto it = cache.find(n);
    if (it == cache.end()) {
        SyntheticChromatogram spec;
        spec.samples = n;
        spec.dt = 0.001;
        spec.level = 1;
        spec.noise = 0.02;
        spec.seed = 5;
        spec.peaks = evenlySpacedPeaks(spec, static_cast<int>(n / 500), 10, 0.02);
        it = cache.emplace(n, makeSyntheticSignal(spec)).first;
    }
    return it->second;
}

MarkingParameters parameters() {
    MarkingParameters p;
    p.Width = 0.04f;
    p.MaxWidth = 0.6f;
    p.MinHeight = 0.5f;
    p.MinArea = 0.05f;
    p.MarkingStart = 0;
    return p;
}

void BM_DetectAndIntegrate(benchmark::State& state) {
    const Signal& s = trace(state.range(0));
    PeakTable table;
    table.attach(&s);
    const MarkingParameters p = parameters();
    for (auto _ : state) {
        AutoMarkPeaks(table, p);
        benchmark::DoNotOptimize(table.peaks.data());
    }
    state.counters["peaks"] = static_cast<double>(table.size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DetectAndIntegrate)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMillisecond);

// A table with common baselines and riders: every other peak has a small
// neighbour on its flank.
void BM_DetectGroupsAndRiders(benchmark::State& state) {
    static Signal s;
    if (s.empty()) {
        SyntheticChromatogram spec;
        spec.samples = state.range(0);
        spec.dt = 0.001;
        spec.level = 1;
        spec.noise = 0.02;
        spec.seed = 6;
        spec.peaks = evenlySpacedPeaks(spec, static_cast<int>(spec.samples / 500), 10, 0.02);
        const std::size_t n = spec.peaks.size();
        for (std::size_t k = 0; k < n; k += 2)
            spec.peaks.push_back({spec.peaks[k].apexTime + 0.07, 4, 0.015});
        s = makeSyntheticSignal(spec);
    }
    PeakTable table;
    table.attach(&s);
    MarkingParameters p = parameters();
    p.MaxCommonBaselineDistance = 0.1f;
    p.MaxRiderArea = 0.2f;
    for (auto _ : state) {
        AutoMarkPeaks(table, p);
        benchmark::DoNotOptimize(table.peaks.data());
    }
    state.counters["peaks"] = static_cast<double>(table.size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DetectGroupsAndRiders)->Arg(10'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
