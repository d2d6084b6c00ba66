#include "instruments/sim/simulator_line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "instruments/serial_port.h"

namespace zelmora::sim {

using Clock = std::chrono::steady_clock;

SimulatorLine::~SimulatorLine() {
    stop();
}

bool SimulatorLine::start(Reader reader, std::function<void()> loop, std::string* error) {
    if (running_.load())
        return true;
    if (Status opened = pty_.open(); !opened) {
        if (error != nullptr)
            *error = opened.message();
        return false;
    }
    reader_ = std::move(reader);
    stop_.store(false);
    finished_.store(false);
    running_.store(true);
    thread_ = std::thread(std::move(loop));
    return true;
}

void SimulatorLine::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    running_.store(false);
    pty_.close();
}

bool SimulatorLine::waitFramesSent(std::uint64_t n, int timeoutMs) const {
    std::unique_lock lock(countMutex_);
    return sentCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return sent_.load() >= n || finished_.load();
    }) && sent_.load() >= n;
}

std::vector<std::uint64_t> SimulatorLine::droppedFrames() const {
    std::lock_guard lock(countMutex_);
    return droppedList_;
}

bool SimulatorLine::waitReadable(int ms) const {
    pollfd p{pty_.master(), POLLIN, 0};
    return ::poll(&p, 1, ms) > 0;
}

std::size_t SimulatorLine::readSome(std::uint8_t* buf, std::size_t size) const {
    const ssize_t n = ::read(pty_.master(), buf, size);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

void SimulatorLine::pump() const {
    if (!reader_)
        return;
    std::uint8_t buf[256];
    while (const std::size_t n = readSome(buf, sizeof buf))
        reader_(buf, n);
}

bool SimulatorLine::write(const std::uint8_t* bytes, std::size_t count, int waitMs) const {
    // While the driver does not read, its commands are still taken in, so
    // that neither side waits for the other.
    return writeFully(
               pty_.master(), bytes, count, waitMs,
               [this] {
                   pump();
                   return !stop_.load();
               },
               10) == 0;
}

void SimulatorLine::stayQuiet(std::chrono::milliseconds span) const {
    const auto until = Clock::now() + span;
    while (Clock::now() < until && !stop_.load()) {
        waitReadable(10);
        pump();
    }
}

void SimulatorLine::finish() {
    {
        std::lock_guard lock(countMutex_);
        finished_.store(true);
    }
    sentCv_.notify_all();
}

bool SimulatorLine::sendFrame(const SimulatedFrame& frame) const {
    bool ok = frame.noise.empty() || write(frame.noise.data(), frame.noise.size(), 50);
    if (frame.split) {
        const std::size_t half = frame.bytes.size() / 2;
        ok = ok && write(frame.bytes.data(), half, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(frame.splitMs));
        ok = ok && write(frame.bytes.data() + half, frame.bytes.size() - half, 50);
    } else {
        ok = ok && write(frame.bytes.data(), frame.bytes.size(), 50);
    }
    return ok;
}

void SimulatorLine::runFrames(const FrameClock& clock) {
    const auto period = std::chrono::duration<double>(1.0 / clock.framesPerSecond);
    auto origin = Clock::now();
    std::uint64_t n = 0;
    while (!stop_.load()) {
        if (clock.frameLimit != 0 && n >= clock.frameLimit)
            break;
        const auto due = origin + std::chrono::duration_cast<Clock::duration>(period * double(n));
        // Wait for the frame's time, reading commands meanwhile; with less
        // than a millisecond left the frame goes at once.
        for (;;) {
            const auto now = Clock::now();
            if (now >= due || stop_.load())
                break;
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
            waitReadable(static_cast<int>(std::min<long long>(ms, 20)));
            pump();
            if (ms <= 0)
                break;
        }
        if (stop_.load())
            break;
        pump();
        if (const std::uint64_t quietMs = clock.silenceMs(n); quietMs != 0) {
            // The instrument pauses; the frames of the pause follow later.
            stayQuiet(std::chrono::milliseconds(quietMs));
            origin += std::chrono::milliseconds(quietMs);
        }
        const std::optional<SimulatedFrame> frame = clock.frame(n);
        next_.store(n + 1);
        if (!frame) {
            ++n;
            continue;
        }
        const bool ok = sendFrame(*frame);
        if (clock.afterFrame)
            clock.afterFrame(n);
        {
            std::lock_guard lock(countMutex_);
            if (ok) {
                ++sent_;
            } else {
                ++dropped_;
                if (clock.listDropped)
                    droppedList_.push_back(n);
            }
        }
        sentCv_.notify_all();
        ++n;
    }
    {
        std::lock_guard lock(countMutex_);
        finished_.store(!stop_.load());
    }
    sentCv_.notify_all();
    // Keep answering commands until stopped, as an instrument at rest would.
    while (!stop_.load()) {
        waitReadable(20);
        pump();
    }
}

}  // namespace zelmora::sim
