#include "instruments/sim/pty_simulator.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace zelmora::sim {

using Clock = std::chrono::steady_clock;

PtySimulator::PtySimulator(SimConfig config) : source_(std::move(config)) {}

PtySimulator::~PtySimulator() {
    stop();
}

bool PtySimulator::start(std::string* error) {
    if (running_.load())
        return true;
    if (Status opened = pty_.open(); !opened) {
        if (error != nullptr)
            *error = opened.message();
        return false;
    }
    stop_.store(false);
    finished_.store(false);
    running_.store(true);
    thread_ = std::thread([this] { run(); });
    return true;
}

void PtySimulator::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    running_.store(false);
    pty_.close();
}

bool PtySimulator::waitFramesSent(std::uint64_t n, int timeoutMs) const {
    std::unique_lock lock(waitMutex_);
    return sentCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return framesSent_.load() >= n || finished_.load();
    }) && framesSent_.load() >= n;
}

FrameSource PtySimulator::snapshot() const {
    std::lock_guard lock(mutex_);
    return source_;
}

double PtySimulator::expectedSample(int channel, std::uint64_t n) const {
    std::lock_guard lock(mutex_);
    return source_.expectedSample(channel, n);
}

void PtySimulator::pump() {
    std::uint8_t buf[256];
    for (;;) {
        const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
        if (n <= 0)
            return;
        std::lock_guard lock(mutex_);
        source_.receive(buf, static_cast<std::size_t>(n));
    }
}

bool writeToDriver(int master, const std::uint8_t* bytes, std::size_t count, int waitMs,
                   const std::atomic<bool>& stop, const std::function<void()>& drain) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (count > 0) {
        const ssize_t n = ::write(master, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || stop.load())
            return false;
        pollfd p{master, POLLOUT, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 10)));
        drain();
    }
    return true;
}

void stayQuiet(int master, std::chrono::milliseconds span, const std::atomic<bool>& stop,
               const std::function<void()>& drain) {
    const auto until = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < until && !stop.load()) {
        pollfd p{master, POLLIN, 0};
        ::poll(&p, 1, 10);
        drain();
    }
}

bool PtySimulator::send(const std::uint8_t* bytes, std::size_t count, int waitMs) {
    return writeToDriver(pty_.master(), bytes, count, waitMs, stop_, [this] { pump(); });
}

void PtySimulator::run() {
    const SimConfig& config = source_.config();  // never changed after construction
    const double framesPerSecond = instrumentFrameRate(config.instrument) * config.speed;
    const auto period = std::chrono::duration<double>(1.0 / framesPerSecond);
    auto origin = Clock::now();
    std::uint64_t n = 0;
    while (!stop_.load()) {
        if (config.frameLimit != 0 && n >= config.frameLimit)
            break;
        const auto due = origin + std::chrono::duration_cast<Clock::duration>(period * double(n));
        // Wait for the frame's time, reading commands meanwhile.
        for (;;) {
            const auto now = Clock::now();
            if (now >= due || stop_.load())
                break;
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
            pollfd p{pty_.master(), POLLIN, 0};
            if (ms <= 0) {
                ::poll(&p, 1, 0);
                pump();
                break;
            }
            ::poll(&p, 1, static_cast<int>(std::min<long long>(ms, 20)));
            pump();
        }
        if (stop_.load())
            break;
        pump();
        std::uint64_t arg = 0;
        bool silence = false;
        {
            std::lock_guard lock(mutex_);
            silence = source_.faultAt(FaultKind::Silence, n, &arg);
        }
        if (silence) {
            // The instrument pauses; the frames of the pause follow later.
            stayQuiet(pty_.master(), std::chrono::milliseconds(arg), stop_, [this] { pump(); });
            origin += std::chrono::milliseconds(arg);
        }
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint8_t> noise;
        bool sending = false;
        bool split = false;
        std::uint64_t splitMs = 0;
        {
            std::lock_guard lock(mutex_);
            sending = source_.sending() && !silent_.load();
            if (sending) {
                bytes = source_.frameBytes(n);
                std::uint64_t garbageCount = 0;
                if (source_.faultAt(FaultKind::Garbage, n, &garbageCount))
                    noise = source_.garbage(static_cast<std::size_t>(garbageCount));
                split = source_.faultAt(FaultKind::Split, n, &splitMs);
            }
        }
        nextFrame_.store(n + 1);
        if (!sending) {
            ++n;
            continue;
        }
        bool ok = noise.empty() || send(noise.data(), noise.size(), 50);
        if (split) {
            const std::size_t half = bytes.size() / 2;
            ok = ok && send(bytes.data(), half, 50);
            std::this_thread::sleep_for(std::chrono::milliseconds(splitMs));
            ok = ok && send(bytes.data() + half, bytes.size() - half, 50);
        } else {
            ok = ok && send(bytes.data(), bytes.size(), 50);
        }
        {
            std::lock_guard lock(mutex_);
            source_.frameSent();
        }
        {
            std::lock_guard lock(waitMutex_);
            if (ok)
                ++framesSent_;
            else
                ++framesDropped_;
        }
        sentCv_.notify_all();
        ++n;
    }
    {
        std::lock_guard lock(waitMutex_);
        finished_.store(!stop_.load());
    }
    sentCv_.notify_all();
    // Keep answering commands until stopped, as an instrument at rest would.
    while (!stop_.load()) {
        pollfd p{pty_.master(), POLLIN, 0};
        ::poll(&p, 1, 20);
        pump();
    }
}

}  // namespace zelmora::sim
