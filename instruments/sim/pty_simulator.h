#pragma once
// A simulated instrument on a pseudo-terminal: a thread sends the frames of
// a FrameSource at the instrument's rate (times the configured speed-up),
// with the scheduled faults on the line, and feeds what the driver writes
// back to the source. A real instrument does not wait for a listener: a
// frame that the line cannot take within a short while is dropped and
// counted.
//
// mutex_ guards source_ (the sending thread and the observers); the
// line keeps its own counters and flags (see simulator_line.h).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "instruments/sim/frame_source.h"
#include "instruments/sim/simulator_line.h"

namespace zelmora::sim {

class PtySimulator {
  public:
    explicit PtySimulator(SimConfig config);
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    bool start(std::string* error);
    void stop() { line_.stop(); }
    bool running() const { return line_.running(); }
    // The device path a driver opens.
    const std::string& path() const { return line_.path(); }

    // Silence on demand (the line goes quiet; the frame clock runs on).
    void setSilent(bool on) { silent_.store(on); }

    std::uint64_t framesSent() const { return line_.framesSent(); }
    std::uint64_t framesDropped() const { return line_.framesDropped(); }
    // Index of the next frame to be sent.
    std::uint64_t nextFrame() const { return line_.nextFrame(); }
    bool waitFramesSent(std::uint64_t n, int timeoutMs) const {
        return line_.waitFramesSent(n, timeoutMs);
    }
    // True when the frame limit was reached and the frames ended.
    bool finished() const { return line_.finished(); }

    // A copy of the source's state, for looking at the commands received
    // and the expected samples.
    FrameSource snapshot() const;
    double expectedSample(int channel, std::uint64_t n) const;

  private:
    void run();
    void receive(const std::uint8_t* bytes, std::size_t count);
    std::optional<SimulatedFrame> frame(std::uint64_t n);

    mutable std::mutex mutex_;  // guards source_
    FrameSource source_;
    std::atomic<bool> silent_{false};
    // Last, so that its thread ends before the source it reads goes.
    SimulatorLine line_;
};

}  // namespace zelmora::sim
