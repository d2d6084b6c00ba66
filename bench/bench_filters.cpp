// Filters on long signals: every kind on one hour at 20 Hz, and the median
// on 10^7 samples with a 60-second window. With ZELMORA_BENCH_DUMP=FOLDER the
// two input signals are written there as raw float32 for bench/filters_scipy.py.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "processing/signal_filters.h"

namespace {

std::vector<float> makeSignal(std::size_t n, double dt) {
    std::mt19937 rng(42);
    std::normal_distribution<float> noise(0, 0.05f);
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i * dt;
        const double phase = std::fmod(t, 2.0) - 1.0;
        y[i] =
            static_cast<float>(1 + 0.01 * t + 30 * std::exp(-phase * phase / 0.002)) + noise(rng);
    }
    return y;
}

const std::vector<float>& hour20Hz() {
    static const std::vector<float> y = makeSignal(72000, 1.0 / 1200);
    return y;
}
const std::vector<float>& tenMillion() {
    static const std::vector<float> y = makeSignal(10'000'000, 1.0 / 600);
    return y;
}

void dump() {
    const char* folder = std::getenv("ZELMORA_BENCH_DUMP");
    if (folder == nullptr)
        return;
    for (auto [name, data] :
         {std::pair{"hour20hz.f32", &hour20Hz()}, std::pair{"ten_million.f32", &tenMillion()}}) {
        const std::string path = std::string(folder) + "/" + name;
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(data->data(), sizeof(float), data->size(), f);
            std::fclose(f);
        }
    }
}

void BM_HourAt20Hz(benchmark::State& state) {
    const auto& x = hour20Hz();
    zelmora::FilterParameters p{static_cast<int>(state.range(0)), 0.1, 60.0};
    if (p.kind == 5)
        p.windowSeconds = 0.05;  // minutes for this kind
    std::vector<float> y;
    for (auto _ : state) {
        zelmora::applyFilter(x, 1.0 / 1200, p, y);
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(x.size()));
}
BENCHMARK(BM_HourAt20Hz)->DenseRange(1, 5)->Unit(benchmark::kMillisecond);

void BM_Median10MSamples60s(benchmark::State& state) {
    dump();
    const auto& x = tenMillion();
    std::vector<float> y;
    for (auto _ : state) {
        zelmora::applyFilter(x, 1.0 / 600, {1, 0, 60.0}, y);  // n = 300, 601 samples
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<long long>(x.size()));
}
BENCHMARK(BM_Median10MSamples60s)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
