#pragma once
// "Демо АЦП": a converter without an instrument. Opening it starts a
// generator thread that every 100 ms hands each of the three channels the
// next value of the moving-peaks signal; a third channel waiting for its
// start signal is started at the next tick.
//
// The generator owns generator_ and the random source; mutex_ guards
// stop_ and the thread handle's start/join (open and close only).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "instruments/device.h"
#include "instruments/wire/demo_signal.h"

namespace zelmora {

class CDemoAdc : public CDevice {
  public:
    static constexpr int kDefaultPeriodMs = 100;

    ~CDemoAdc() override;
    int type() const override { return 5; }

    // Tests run the generator faster (0 = as fast as possible) and fix the
    // values of r and noise in [0, 1].
    void setPeriodMs(int ms) { periodMs_.store(ms); }
    void setRandomSource(std::function<std::pair<double, double>()> source);
    std::uint64_t ticks() const { return ticks_.load(); }

  protected:
    bool openDevice() override;
    bool configurePort() override { return true; }
    void onReceive(const std::uint8_t*, std::size_t) override {}
    void stopWorkers() override;

  private:
    void generatorLoop();

    std::mutex mutex_;  // guards stop_ and source_
    std::condition_variable wake_;
    bool stop_ = false;
    std::function<std::pair<double, double>()> source_;
    std::thread generator_;
    std::atomic<int> periodMs_{kDefaultPeriodMs};
    std::atomic<std::uint64_t> ticks_{0};
    wire::DemoSignalGenerator signal_;  // generator thread only
};

}  // namespace zelmora
