#pragma once
// The simulated chromatograph on a pseudo-terminal: a thread sends the
// model's packets at five a second (times the speed-up), with the
// scheduled line faults, and feeds the requests the driver writes back to
// the model. The line's speed is checked before every packet: while the
// driver's side is set to another baud rate than the instrument's, the
// driver receives only noise (as from a real line at the wrong rate) and
// its requests are lost.
//
// mutex_ guards model_; the counters and flags are atomics, and the line
// keeps its own (see simulator_line.h).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "instruments/sim/kalder_model.h"
#include "instruments/sim/simulator_line.h"

namespace zelmora::sim {

class KalderPtySimulator {
  public:
    explicit KalderPtySimulator(KalderSimConfig config);
    KalderPtySimulator(const KalderPtySimulator&) = delete;
    KalderPtySimulator& operator=(const KalderPtySimulator&) = delete;

    bool start(std::string* error);
    void stop() { line_.stop(); }
    const std::string& path() const { return line_.path(); }

    // The line goes quiet (the packet clock runs on).
    void setSilent(bool on) { silent_.store(on); }

    std::uint64_t packetsSent() const { return line_.framesSent(); }
    std::uint64_t nextPacket() const { return line_.nextFrame(); }
    // Packets sent while the line ran at the wrong rate.
    std::uint64_t wrongRatePackets() const { return wrongRate_.load(); }
    bool waitPacketsSent(std::uint64_t n, int timeoutMs) const {
        return line_.waitFramesSent(n, timeoutMs);
    }
    // Packets the line could not take in time (a reader that fell behind):
    // sent in part or not at all.
    std::vector<std::uint64_t> droppedPackets() const { return line_.droppedFrames(); }
    bool finished() const { return line_.finished(); }

    // Looks at or changes the model under its lock.
    template <class F>
    auto withModel(F f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

  private:
    void run();
    void receive(const std::uint8_t* bytes, std::size_t count);
    std::optional<SimulatedFrame> packet(std::uint64_t n);
    bool rateMatches() const;

    mutable std::mutex mutex_;  // guards model_
    KalderModel model_;
    const KalderSimConfig config_;  // never changed after construction
    std::atomic<bool> silent_{false};
    std::atomic<std::uint64_t> wrongRate_{0};
    // Last, so that its thread ends before the model it reads goes.
    SimulatorLine line_;
};

}  // namespace zelmora::sim
