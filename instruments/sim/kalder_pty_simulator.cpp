#include "instruments/sim/kalder_pty_simulator.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "instruments/serial_port.h"
#include "instruments/sim/pty_simulator.h"

namespace zelmora::sim {

using Clock = std::chrono::steady_clock;

KalderPtySimulator::KalderPtySimulator(KalderSimConfig config)
    : model_(config), config_(std::move(config)) {}

KalderPtySimulator::~KalderPtySimulator() {
    stop();
}

bool KalderPtySimulator::start(std::string* error) {
    if (thread_.joinable())
        return true;
    if (Status opened = pty_.open(); !opened) {
        if (error != nullptr)
            *error = opened.message();
        return false;
    }
    stop_.store(false);
    finished_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
}

void KalderPtySimulator::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    pty_.close();
}

bool KalderPtySimulator::waitPacketsSent(std::uint64_t n, int timeoutMs) const {
    std::unique_lock lock(waitMutex_);
    return sentCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return packetsSent_.load() >= n || finished_.load();
    }) && packetsSent_.load() >= n;
}

std::vector<std::uint64_t> KalderPtySimulator::droppedPackets() const {
    std::lock_guard lock(waitMutex_);
    return dropped_;
}

bool KalderPtySimulator::rateMatches() const {
    termios t{};
    if (::tcgetattr(pty_.master(), &t) != 0)
        return true;
    return cfgetospeed(&t) == termiosSpeed(config_.baud);
}

void KalderPtySimulator::pump() {
    std::uint8_t buf[256];
    for (;;) {
        const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
        if (n <= 0)
            return;
        // At the wrong rate the instrument cannot read the requests.
        if (!rateMatches())
            continue;
        std::lock_guard lock(mutex_);
        model_.receive(buf, static_cast<std::size_t>(n));
    }
}

bool KalderPtySimulator::send(const std::uint8_t* bytes, std::size_t count, int waitMs) {
    return writeToDriver(pty_.master(), bytes, count, waitMs, stop_, [this] { pump(); });
}

void KalderPtySimulator::run() {
    const auto period = std::chrono::duration<double>(1.0 / (kKalderPacketRate * config_.speed));
    auto origin = Clock::now();
    std::uint64_t n = 0;
    while (!stop_.load()) {
        if (config_.frameLimit != 0 && n >= config_.frameLimit)
            break;
        const auto due = origin + std::chrono::duration_cast<Clock::duration>(period * double(n));
        for (;;) {
            const auto now = Clock::now();
            if (now >= due || stop_.load())
                break;
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
            pollfd p{pty_.master(), POLLIN, 0};
            ::poll(&p, 1, static_cast<int>(std::clamp<long long>(ms, 0, 20)));
            pump();
        }
        if (stop_.load())
            break;
        pump();
        std::uint64_t arg = 0;
        bool silence = false;
        {
            std::lock_guard lock(mutex_);
            silence = model_.faultAt(FaultKind::Silence, n, &arg);
        }
        if (silence) {
            stayQuiet(pty_.master(), std::chrono::milliseconds(arg), stop_, [this] { pump(); });
            origin += std::chrono::milliseconds(arg);
        }
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint8_t> noise;
        bool split = false;
        std::uint64_t splitMs = 0;
        const bool wrongRate = !rateMatches();
        {
            std::lock_guard lock(mutex_);
            if (wrongRate) {
                // What a packet looks like at another rate: bytes, but never
                // two headers in their places.
                bytes = model_.garbage(138);
                for (auto& b : bytes)
                    if (b == wire::kKalderSync)
                        b = 0x5A;
            } else {
                bytes = model_.packetBytes(n);
                std::uint64_t g = 0;
                if (model_.faultAt(FaultKind::Garbage, n, &g))
                    noise = model_.garbage(static_cast<std::size_t>(g));
                split = model_.faultAt(FaultKind::Split, n, &splitMs);
            }
        }
        nextPacket_.store(n + 1);
        ++n;
        if (silent_.load())
            continue;
        if (wrongRate)
            ++wrongRate_;
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
            std::lock_guard lock(waitMutex_);
            if (ok)
                ++packetsSent_;
            else
                dropped_.push_back(n - 1);
        }
        sentCv_.notify_all();
    }
    {
        std::lock_guard lock(waitMutex_);
        finished_.store(!stop_.load());
    }
    sentCv_.notify_all();
    while (!stop_.load()) {
        pollfd p{pty_.master(), POLLIN, 0};
        ::poll(&p, 1, 20);
        pump();
    }
}

}  // namespace zelmora::sim
