#pragma once
// A simulated instrument on a pseudo-terminal: a thread sends the frames of
// a FrameSource at the instrument's rate (times the configured speed-up),
// with the scheduled faults on the line, and feeds what the driver writes
// back to the source. A real instrument does not wait for a listener: a
// frame that the line cannot take within a short while is dropped and
// counted.
//
// mutex_ guards source_ (the sending thread and the observers);
// the counters and flags are atomics.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "instruments/pseudo_terminal.h"
#include "instruments/sim/frame_source.h"

namespace zelmora::sim {

// Writes all of `bytes` to the master side of a simulator's pseudo-terminal
// within `waitMs`, calling `drain` to read what the driver sent while the
// line is full, so that neither side blocks the other. False on a write
// error, on the time-out, or once `stop` turns true.
bool writeToDriver(int master, const std::uint8_t* bytes, std::size_t count, int waitMs,
                   const std::atomic<bool>& stop, const std::function<void()>& drain);
// Sends nothing for `span` (an instrument that falls silent), still reading
// what the driver sends through `drain`; ends early once `stop` turns true.
void stayQuiet(int master, std::chrono::milliseconds span, const std::atomic<bool>& stop,
               const std::function<void()>& drain);

class PtySimulator {
  public:
    explicit PtySimulator(SimConfig config);
    ~PtySimulator();
    PtySimulator(const PtySimulator&) = delete;
    PtySimulator& operator=(const PtySimulator&) = delete;

    bool start(std::string* error);
    void stop();
    bool running() const { return running_.load(); }
    // The device path a driver opens.
    const std::string& path() const { return pty_.slavePath(); }

    // Silence on demand (the line goes quiet; the frame clock runs on).
    void setSilent(bool on) { silent_.store(on); }

    std::uint64_t framesSent() const { return framesSent_.load(); }
    std::uint64_t framesDropped() const { return framesDropped_.load(); }
    // Index of the next frame to be sent.
    std::uint64_t nextFrame() const { return nextFrame_.load(); }
    bool waitFramesSent(std::uint64_t n, int timeoutMs) const;
    // True when the frame limit was reached and the thread ended.
    bool finished() const { return finished_.load(); }

    // A copy of the source's state, for looking at the commands received
    // and the expected samples.
    FrameSource snapshot() const;
    double expectedSample(int channel, std::uint64_t n) const;

  private:
    void run();
    bool send(const std::uint8_t* bytes, std::size_t count, int waitMs);
    void pump();

    PseudoTerminal pty_;
    mutable std::mutex mutex_;  // guards source_
    FrameSource source_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> silent_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::uint64_t> framesSent_{0};
    std::atomic<std::uint64_t> framesDropped_{0};
    std::atomic<std::uint64_t> nextFrame_{0};
    mutable std::mutex waitMutex_;  // pairs with sentCv_
    mutable std::condition_variable sentCv_;
};

}  // namespace zelmora::sim
