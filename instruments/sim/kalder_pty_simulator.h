#pragma once
// The simulated chromatograph on a pseudo-terminal: a thread sends the
// model's packets at five a second (times the speed-up), with the
// scheduled line faults, and feeds the requests the driver writes back to
// the model. The line's speed is checked before every packet: while the
// driver's side is set to another baud rate than the instrument's, the
// driver receives only noise (as from a real line at the wrong rate) and
// its requests are lost.
//
// mutex_ guards model_; the counters and flags are atomics.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instruments/pseudo_terminal.h"
#include "instruments/sim/kalder_model.h"

namespace zelmora::sim {

class KalderPtySimulator {
  public:
    explicit KalderPtySimulator(KalderSimConfig config);
    ~KalderPtySimulator();
    KalderPtySimulator(const KalderPtySimulator&) = delete;
    KalderPtySimulator& operator=(const KalderPtySimulator&) = delete;

    bool start(std::string* error);
    void stop();
    const std::string& path() const { return pty_.slavePath(); }

    // The line goes quiet (the packet clock runs on).
    void setSilent(bool on) { silent_.store(on); }

    std::uint64_t packetsSent() const { return packetsSent_.load(); }
    std::uint64_t nextPacket() const { return nextPacket_.load(); }
    // Packets sent while the line ran at the wrong rate.
    std::uint64_t wrongRatePackets() const { return wrongRate_.load(); }
    bool waitPacketsSent(std::uint64_t n, int timeoutMs) const;
    // Packets the line could not take in time (a reader that fell behind):
    // sent in part or not at all.
    std::vector<std::uint64_t> droppedPackets() const;
    bool finished() const { return finished_.load(); }

    // Looks at or changes the model under its lock.
    template <class F>
    auto withModel(F f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

  private:
    void run();
    bool send(const std::uint8_t* bytes, std::size_t count, int waitMs);
    void pump();
    bool rateMatches() const;

    PseudoTerminal pty_;
    mutable std::mutex mutex_;  // guards model_
    KalderModel model_;
    const KalderSimConfig config_;  // never changed after construction
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> silent_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::uint64_t> packetsSent_{0};
    std::atomic<std::uint64_t> nextPacket_{0};
    std::atomic<std::uint64_t> wrongRate_{0};
    mutable std::mutex waitMutex_;  // pairs with sentCv_; guards dropped_
    std::vector<std::uint64_t> dropped_;
    mutable std::condition_variable sentCv_;
};

}  // namespace zelmora::sim
