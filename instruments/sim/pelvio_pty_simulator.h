#pragma once
// The simulated Pelvio autosampler on a pseudo-terminal: a thread hands the
// program's bytes to the sampler's model as they come and writes what the
// model sends, looking at the line every 10 ms. Tests and the zelmora-sim
// program ask it for injections and faults and look at what the program
// sent.
//
// mutex_ guards model_ and cursor_ (changed_ is notified after every read);
// the line keeps its own flags (see simulator_line.h).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "instruments/sim/pelvio_model.h"
#include "instruments/sim/simulator_line.h"

namespace zelmora::sim {

class PelvioPtySimulator {
  public:
    explicit PelvioPtySimulator(PelvioSimConfig config);
    PelvioPtySimulator(const PelvioPtySimulator&) = delete;
    PelvioPtySimulator& operator=(const PelvioPtySimulator&) = delete;

    bool start(std::string* error);
    void stop() { line_.stop(); }
    const std::string& path() const { return line_.path(); }

    // Looks at or changes the model under its lock; the model's time is
    // the simulator's clock (now()).
    template <class F>
    auto withModel(F f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }
    std::int64_t now() const;

    // Waits until the predicate over the model holds (checked after every
    // read from the line and every 10 ms).
    template <class F>
    bool waitFor(F f, int timeoutMs) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [&] { return f(std::as_const(model_)); });
    }
    // A frame of the sampler's, or any bytes, onto the line at once.
    void send(const PelvioPayload& p) {
        withModel([&](PelvioModel& m) { m.sendPayload(p); });
    }
    void sendBytes(const std::vector<std::uint8_t>& b) {
        withModel([&](PelvioModel& m) { m.sendRaw(b); });
    }
    // Waits for a frame of the program with this payload after the one the
    // last call found; the frames between are passed over.
    bool expectReceived(const PelvioPayload& want, int timeoutMs = 3000);
    int countReceived(const PelvioPayload& want);

  private:
    void run();
    void receive(const std::uint8_t* bytes, std::size_t count);

    mutable std::mutex mutex_;  // guards model_, cursor_
    std::condition_variable changed_;
    PelvioModel model_;
    std::size_t cursor_ = 0;
    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
    // Last, so that its thread ends before the model it reads goes.
    SimulatorLine line_;
};

}  // namespace zelmora::sim
