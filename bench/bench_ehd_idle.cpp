// The "ЭХД+КД" detector's driver at rest: connected to the simulated detector
// at its own rate (14.06 frames/s), every setting agreed and the detector
// ready, nothing recording. Reports the CPU time of the driver's own threads
// (the reader and the writer) per second of wall time over a stretch of
// idling, read from the kernel's per-thread run time
// (/proc/self/task/<tid>/schedstat, nanoseconds), and that no command went
// out meanwhile. The device starts its writer before its reader, so the
// lower of the two new thread ids is the writer's.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "instruments/ehd_detector.h"
#include "instruments/sim/pty_simulator.h"

namespace {

using namespace zelmora;

std::set<long> threadIds() {
    std::set<long> ids;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(std::stol(e.path().filename().string()));
    return ids;
}

// Nanoseconds on the processor of this thread so far.
std::int64_t runNs(long id) {
    std::ifstream in("/proc/self/task/" + std::to_string(id) + "/schedstat");
    std::int64_t ns = 0;
    in >> ns;
    return ns;
}

template <class F>
bool waitUntil(F f, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!f()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void BM_EhdIdle(benchmark::State& state) {
    const auto idleSeconds = static_cast<int>(state.range(0));
    for (auto _ : state) {
        sim::SimConfig c;
        c.instrument = sim::Instrument::Ehd;
        c.signals = {sim::defaultSignal(sim::Instrument::Ehd)};
        sim::PtySimulator sim(c);
        std::string error;
        if (!sim.start(&error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        const std::set<long> before = threadIds();
        CEhdDetector d;
        d.init(0);
        d.setPortPath(sim.path());
        if (!d.open()) {
            state.SkipWithError("open failed");
            return;
        }
        std::vector<long> driver;  // writer, reader
        for (long id : threadIds())
            if (!before.contains(id))
                driver.push_back(id);
        if (driver.size() != 2) {
            state.SkipWithError("expected the reader and the writer thread");
            return;
        }
        // Settings agreed, thermostats at their temperatures: ready.
        if (!waitUntil([&] { return d.runState() == 5; }, 60000)) {
            state.SkipWithError("the detector did not become ready");
            return;
        }
        const std::uint64_t commands = d.commandsSent();
        const std::uint64_t frames = d.framesDecoded();
        const std::int64_t writer0 = runNs(driver[0]);
        const std::int64_t reader0 = runNs(driver[1]);
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const std::int64_t writerNs = runNs(driver[0]) - writer0;
        const std::int64_t readerNs = runNs(driver[1]) - reader0;
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const auto pct = [&](std::int64_t ns) {
            return 100.0 * static_cast<double>(ns) / 1e9 / wall;
        };
        const std::int64_t ns = writerNs + readerNs;
        state.counters["cpu_pct"] = pct(ns);
        state.counters["writer_cpu_pct"] = pct(writerNs);
        state.counters["reader_cpu_pct"] = pct(readerNs);
        state.counters["cpu_us_per_frame"] =
            static_cast<double>(ns) / 1e3 /
            static_cast<double>(std::max<std::uint64_t>(1, d.framesDecoded() - frames));
        state.counters["frames"] = static_cast<double>(d.framesDecoded() - frames);
        state.counters["commands"] = static_cast<double>(d.commandsSent() - commands);
        d.close();
    }
}
BENCHMARK(BM_EhdIdle)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
