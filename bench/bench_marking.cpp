// Automatic marking with grouping and integration on synthetic chromatograms
// of 10^4 to 10^8 samples with one peak per 500 samples. The same traces are
// written by "zelmora-cli synth --samples N --peaks N/500 --dt 0.001
// --sigma 0.02 --noise 0.02 --seed 5" for the comparison script.
//
// extra_MB is the memory the marking takes beyond what the process held
// before it (peak resident size during the run less the resident size at its
// start, Linux only), against the signal's own signal_MB. Times are best
// taken as the minimum of repetitions (the "min" aggregate): the build
// machine is shared.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>

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

// A field of /proc/self/status in kB, 0 where there is none.
double statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

// Starts a new peak of the resident size (Linux: "5" to clear_refs).
void resetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
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

// range(0) samples on range(1) threads.
void BM_DetectAndIntegrate(benchmark::State& state) {
    const Signal& s = trace(state.range(0));
    const unsigned threads = static_cast<unsigned>(state.range(1));
    PeakTable table;
    table.attach(&s);
    const MarkingParameters p = parameters();
    double extraKb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        table.peaks = {};
        resetPeakResident();
        const double before = statusKb("VmRSS");
        state.ResumeTiming();
        AutoMarkPeaks(table, p, threads);
        benchmark::DoNotOptimize(table.peaks.data());
        extraKb = std::max(extraKb, statusKb("VmHWM") - before);
    }
    state.counters["peaks"] = static_cast<double>(table.size());
    state.counters["signal_MB"] = static_cast<double>(s.size() * sizeof(float)) / 1e6;
    state.counters["extra_MB"] = extraKb * 1024 / 1e6;
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
const auto minimum = [](const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
};
BENCHMARK(BM_DetectAndIntegrate)
    ->Args({10'000, 1})
    ->Args({100'000, 1})
    ->Args({1'000'000, 1})
    ->Args({10'000'000, 1})
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);
// One hour at one sample per 36 microseconds (fast detectors): 400 MB of
// samples; run it by name (--benchmark_filter=Large).
BENCHMARK(BM_DetectAndIntegrate)
    ->Name("BM_DetectAndIntegrateLarge")
    ->Args({100'000'000, 1})
    ->Iterations(1)
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);
// The same on two threads; the CPU time is that of the whole process (both
// threads), the wall time the one to compare.
BENCHMARK(BM_DetectAndIntegrate)
    ->Name("BM_DetectAndIntegrateTwoThreads")
    ->Args({10'000, 2})
    ->Args({100'000, 2})
    ->Args({1'000'000, 2})
    ->Args({10'000'000, 2})
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectAndIntegrate)
    ->Name("BM_DetectAndIntegrateLargeTwoThreads")
    ->Args({100'000'000, 2})
    ->Iterations(1)
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minimum)
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
    const unsigned threads = static_cast<unsigned>(state.range(1));
    for (auto _ : state) {
        AutoMarkPeaks(table, p, threads);
        benchmark::DoNotOptimize(table.peaks.data());
    }
    state.counters["peaks"] = static_cast<double>(table.size());
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DetectGroupsAndRiders)
    ->Args({10'000'000, 1})
    ->Args({10'000'000, 2})
    ->MeasureProcessCPUTime()
    ->ComputeStatistics("min", minimum)
    ->Unit(benchmark::kMillisecond);

}  // namespace
