// Four channels recording at once for a simulated hour: each channel's
// reader thread hands it 20 samples a second (the chromatograph's detector
// rate) as fast as it can; the channels resample to the method's point rate
// and journal every point. Counts the points (none may be lost) and the CPU
// time per channel-hour.

#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>

#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "instruments/channel.h"
#include "instruments/device.h"
#include "instruments/device_types.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

class BenchDevice : public CDevice {
  public:
    int type() const override { return static_cast<int>(DeviceType::Ostrel); }
    double sampleRate(int) const override { return 20.0; }

  protected:
    bool openDevice() override {
        setRunning(true);
        return true;
    }
    void onReceive(const std::uint8_t*, std::size_t) override {}
};

class BenchHost : public ChannelHost {
  public:
    explicit BenchHost(fs::path folder) : folder_(std::move(folder)) {}
    void post(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    void drain() {
        std::deque<std::function<void()>> q;
        {
            std::lock_guard lock(mutex_);
            q.swap(queue_);
        }
        for (auto& w : q)
            w();
    }
    MessageSink& messages() override { return sink_; }
    ProgramOptions options() const override {
        ProgramOptions o;
        o.autoSave = false;
        return o;
    }
    std::time_t startTime() override { return next_++; }
    fs::path journalFolder() const override { return folder_; }
    void chromatogramReady(CChannel&, std::unique_ptr<CZelmoraDoc> doc,
                           const Result<FinishedRecording>&) override {
        if (doc)
            points += doc->sampleCount();
    }
    std::size_t points = 0;

  private:
    fs::path folder_;
    SilentMessageSink sink_;
    std::mutex mutex_;  // guards queue_
    std::deque<std::function<void()>> queue_;
    std::time_t next_ = 1'765'000'000;
};

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// The channels record at the default 3 points a second (averaging 20 samples
// into 3 points, the costliest path).
void BM_FourChannelsOneHour(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "zelmora-bench-recording";
    fs::create_directories(folder);
    constexpr int kSamples = 3600 * 20;
    double cpu = 0;
    std::size_t lost = 0;
    for (auto _ : state) {
        BenchHost host(folder);
        BenchDevice a, b;
        a.init(0, CChannel::factory(&host));
        b.init(1, CChannel::factory(&host));
        a.open();
        b.open();
        std::vector<CChannel*> channels;
        for (CDevice* d : {static_cast<CDevice*>(&a), static_cast<CDevice*>(&b)})
            for (int c = 0; c < 2; ++c)
                channels.push_back(static_cast<CChannel*>(&d->channel(c)));
        for (CChannel* ch : channels) {
            ch->SetMethod("", 1, true);
            ch->Arm();  // no method: the channel's defaults, then the hour
            ch->SetRunTime(60.0);
        }
        for (CChannel* ch : channels)
            ch->StartFromWaiting(false);
        std::atomic<double> cpuSum{0};
        std::vector<std::thread> readers;
        for (CChannel* ch : channels)
            readers.emplace_back([ch, &cpuSum] {
                const double t0 = threadCpuSeconds();
                for (int i = 0; i < kSamples; ++i)
                    ch->addSample(1.0 + (i % 100) * 0.01);
                double add = threadCpuSeconds() - t0;
                double cur = cpuSum.load();
                while (!cpuSum.compare_exchange_weak(cur, cur + add)) {
                }
            });
        for (auto& t : readers)
            t.join();
        host.drain();
        cpu = cpuSum.load() / 4;
        const std::size_t expected = 4 * static_cast<std::size_t>(3600 * 3.0);
        lost = expected > host.points ? expected - host.points : 0;
    }
    state.counters["cpu_s_per_channel_hour"] = cpu;
    state.counters["points_lost"] = static_cast<double>(lost);
    fs::remove_all(folder);
}
BENCHMARK(BM_FourChannelsOneHour)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zelmora
