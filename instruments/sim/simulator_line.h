#pragma once
// The simulated instrument's end of a serial cable: a pseudo-terminal whose
// slave path a driver opens as it would open /dev/ttyS0, and the one thread
// that plays the instrument on the master side. Every simulator owns one;
// start() opens a fresh line and runs the instrument's loop on the thread,
// stop() (and the destructor) asks the loop to end, waits for it and closes
// the line.
//
// The loop reads what the driver wrote with pump(), which hands every chunk
// to the simulator's reader, and writes with write(), which keeps reading
// while the line is full so that neither side blocks the other. An
// instrument that talks on its own clock (a detector's frames, the
// chromatograph's packets) runs runFrames(): a frame every period, with the
// scheduled pauses, counted as sent or as dropped when the line could not
// take it in time. A real instrument does not wait for a listener.
//
// Threads: pty_, thread_ and reader_ are changed only by start() and
// stop() on the owner's thread while no loop runs; the loop only reads
// them. countMutex_ guards droppedList_ and pairs with sentCv_ (sent_ and
// finished_ change under it so that a waiter misses no change); the other
// flags and counters are atomics.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "instruments/pseudo_terminal.h"

namespace zelmora::sim {

// What the instrument puts on the line in one slot of its clock.
struct SimulatedFrame {
    std::vector<std::uint8_t> noise;  // garbage ahead of the frame (a line fault)
    std::vector<std::uint8_t> bytes;
    bool split = false;         // sent in two halves ...
    std::uint64_t splitMs = 0;  // ... this far apart
};

// The instrument's side of runFrames(); the hooks are called on the line's
// thread, silenceMs and frame must be set.
struct FrameClock {
    double framesPerSecond = 1.0;
    std::uint64_t frameLimit = 0;  // frames before the loop ends; 0: no end
    // Keep the indices of the dropped frames (droppedFrames()), not only
    // their count.
    bool listDropped = false;
    // How long the instrument falls silent before frame n; 0: not at all.
    std::function<std::uint64_t(std::uint64_t n)> silenceMs;
    // Frame n, or nothing when the instrument sends nothing in its slot.
    std::function<std::optional<SimulatedFrame>(std::uint64_t n)> frame;
    // After frame n went onto the line (or could not); may be empty.
    std::function<void(std::uint64_t n)> afterFrame;
};

class SimulatorLine {
  public:
    // Takes what the driver wrote, one chunk at a time.
    using Reader = std::function<void(const std::uint8_t* bytes, std::size_t count)>;

    SimulatorLine() = default;
    ~SimulatorLine();
    SimulatorLine(const SimulatorLine&) = delete;
    SimulatorLine& operator=(const SimulatorLine&) = delete;

    // Opens a fresh line and runs `loop` on the line's thread, with `reader`
    // taking what pump() reads (an empty reader leaves the driver's bytes on
    // the line for the loop to read itself). True at once while a loop
    // runs; false, with the reason in *error, when no pseudo-terminal can be
    // had.
    bool start(Reader reader, std::function<void()> loop, std::string* error);
    void stop();
    bool running() const { return running_.load(); }
    // The device path a driver opens.
    const std::string& path() const { return pty_.slavePath(); }
    // True when the loop came to its planned end (a frame or request
    // limit) rather than being stopped.
    bool finished() const { return finished_.load(); }

    // Counts of runFrames().
    std::uint64_t framesSent() const { return sent_.load(); }
    std::uint64_t framesDropped() const { return dropped_.load(); }
    // Index of the next frame to be sent.
    std::uint64_t nextFrame() const { return next_.load(); }
    bool waitFramesSent(std::uint64_t n, int timeoutMs) const;
    // Frames the line could not take in time, sent in part or not at all
    // (kept with FrameClock::listDropped).
    std::vector<std::uint64_t> droppedFrames() const;

    // For the loop, on the line's thread.
    int master() const { return pty_.master(); }
    bool stopping() const { return stop_.load(); }
    // Waits up to `ms` for the driver to write; true when it has.
    bool waitReadable(int ms) const;
    // Up to `size` bytes the driver wrote; 0 when there are none.
    std::size_t readSome(std::uint8_t* buf, std::size_t size) const;
    // Hands everything the driver wrote to the reader.
    void pump() const;
    // Writes all of `bytes` within `waitMs`, pumping while the line is
    // full. False on a write error, on the time-out or once stopping.
    bool write(const std::uint8_t* bytes, std::size_t count, int waitMs) const;
    // Sends nothing for `span` (an instrument that falls silent), still
    // pumping; ends early once stopping.
    void stayQuiet(std::chrono::milliseconds span) const;
    // The loop came to its planned end; wakes the waiters.
    void finish();
    // Sends the frames of `clock` at its rate until its limit or stop(),
    // then keeps answering the driver, as an instrument at rest would.
    void runFrames(const FrameClock& clock);

  private:
    bool sendFrame(const SimulatedFrame& frame) const;

    // Set by start() and stop() only, while no loop runs.
    PseudoTerminal pty_;
    std::thread thread_;
    Reader reader_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::uint64_t> sent_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> next_{0};
    mutable std::mutex countMutex_;  // guards droppedList_; pairs with sentCv_
    std::vector<std::uint64_t> droppedList_;
    mutable std::condition_variable sentCv_;
};

}  // namespace zelmora::sim
