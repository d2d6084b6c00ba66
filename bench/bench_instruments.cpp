// Throughput of the converter and chromatograph frame decoders, and the CPU time that each
// device's threads spend while four simulated converters send at once.

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "instruments/detector_adc.h"
#include "instruments/fluorat_adc.h"
#include "instruments/ostrel_adc.h"
#include "instruments/sim/kalder_model.h"
#include "instruments/sim/pty_simulator.h"
#include "instruments/varsel_adc.h"
#include "instruments/wire/fluorat_frame.h"
#include "instruments/wire/kalder_frame.h"
#include "instruments/wire/ostrel_frame.h"
#include "instruments/wire/varsel_frame.h"

namespace {

using namespace zelmora;

std::vector<std::uint8_t> stream(sim::Instrument i, std::size_t frames) {
    sim::SimConfig c;
    c.instrument = i;
    c.signals = {sim::defaultSignal(i)};
    sim::FrameSource src(c);
    std::vector<std::uint8_t> out;
    for (std::size_t n = 0; n < frames; ++n) {
        const auto f = src.frameBytes(n);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

void BM_OstrelParser(benchmark::State& state) {
    const auto bytes = stream(sim::Instrument::Ostrel, 10000);
    for (auto _ : state) {
        wire::OstrelFrameParser p;
        int frames = 0;
        for (std::uint8_t b : bytes)
            frames += p.feed(b) == wire::OstrelFrameParser::Event::Frame;
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_OstrelParser);

void BM_VarselParser(benchmark::State& state) {
    const auto bytes = stream(sim::Instrument::Varsel, 10000);
    for (auto _ : state) {
        wire::VarselFrameParser p;
        int frames = 0;
        for (std::uint8_t b : bytes)
            frames += p.feed(b) == wire::VarselFrameParser::Event::Frame;
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_VarselParser);

void BM_FluoratParser(benchmark::State& state) {
    const auto bytes = stream(sim::Instrument::Fluorat, 10000);
    for (auto _ : state) {
        wire::FluoratFrameParser p;
        int frames = 0;
        for (std::uint8_t b : bytes)
            frames += p.feed(b).has_value();
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
    state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_FluoratParser);

// The chromatograph's packets, with line noise every tenth packet: the
// rescan after a false header is the costly part.
void BM_KalderParser(benchmark::State& state) {
    auto c = sim::defaultKalderConfig();
    c.faults = {{sim::FaultKind::Garbage, 0, 10, 40}};
    sim::KalderModel model(c);
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t n = 0; n < 2000; ++n) {
        if (model.faultAt(sim::FaultKind::Garbage, n)) {
            const auto g = model.garbage(40);
            bytes.insert(bytes.end(), g.begin(), g.end());
        }
        const auto p = model.packetBytes(n);
        bytes.insert(bytes.end(), p.begin(), p.end());
    }
    std::size_t packets = 0;
    for (auto _ : state) {
        wire::KalderFrameParser p;
        packets = 0;
        for (std::uint8_t b : bytes)
            for (const auto& f : p.feed(b))
                packets += wire::decodeKalderPacket(f.span()).has_value() ? 1 : 0;
        benchmark::DoNotOptimize(packets);
    }
    state.counters["packets"] = static_cast<double>(packets);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_KalderParser);

// Four converters on pseudo-terminals for a stretch of wall time at the
// given speed-up; reports each device's CPU time per second of wall time.
void BM_FourConverters(benchmark::State& state) {
    const double speed = static_cast<double>(state.range(0));
    const double wallSeconds = static_cast<double>(state.range(1));
    for (auto _ : state) {
        std::vector<std::unique_ptr<sim::PtySimulator>> sims;
        std::vector<std::unique_ptr<CDevice>> devs;
        devs.push_back(std::make_unique<COstrelAdc>());
        devs.push_back(std::make_unique<CDetectorAdc>());
        devs.push_back(std::make_unique<CFluoratAdc>());
        devs.push_back(std::make_unique<CVarselAdc>());
        const sim::Instrument kinds[] = {sim::Instrument::Ostrel, sim::Instrument::DetectorAdc,
                                         sim::Instrument::Fluorat, sim::Instrument::Varsel};
        for (int i = 0; i < 4; ++i) {
            sim::SimConfig c;
            c.instrument = kinds[i];
            c.speed = speed;
            c.signals = {sim::defaultSignal(kinds[i])};
            sims.push_back(std::make_unique<sim::PtySimulator>(c));
            std::string error;
            if (!sims.back()->start(&error)) {
                state.SkipWithError(error.c_str());
                return;
            }
            devs[static_cast<std::size_t>(i)]->init(i);
            devs[static_cast<std::size_t>(i)]->setPortPath(sims.back()->path());
            for (int ch = 0; ch < devs[static_cast<std::size_t>(i)]->channelCount(); ++ch)
                dynamic_cast<SampleChannel&>(devs[static_cast<std::size_t>(i)]->channel(ch))
                    .recordNow(false);
            if (!devs[static_cast<std::size_t>(i)]->open()) {
                state.SkipWithError("open failed");
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(wallSeconds));
        const char* names[] = {"ostrel_cpu_pct", "kd_cpu_pct", "fluorat_cpu_pct", "varsel_cpu_pct"};
        const char* frameNames[] = {"ostrel_frames", "kd_frames", "fluorat_frames",
                                    "varsel_frames"};
        for (int i = 0; i < 4; ++i) {
            CDevice& d = *devs[static_cast<std::size_t>(i)];
            d.close();
            state.counters[names[i]] = 100.0 * d.cpuSeconds() / wallSeconds;
            state.counters[frameNames[i]] = static_cast<double>(d.framesDecoded());
        }
    }
}
BENCHMARK(BM_FourConverters)
    ->Args({1, 10})
    ->Args({600, 2})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
