#include "instruments/sim/pelvio_pty_simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>

#include "instruments/sim/pty_simulator.h"

namespace zelmora::sim {

PelvioPtySimulator::PelvioPtySimulator(PelvioSimConfig config) : model_(std::move(config)) {}

PelvioPtySimulator::~PelvioPtySimulator() {
    stop();
}

std::int64_t PelvioPtySimulator::now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 origin_)
        .count();
}

bool PelvioPtySimulator::start(std::string* error) {
    if (thread_.joinable())
        return true;
    if (Status opened = pty_.open(); !opened) {
        if (error != nullptr)
            *error = opened.message();
        return false;
    }
    stop_.store(false);
    thread_ = std::thread([this] { run(); });
    return true;
}

void PelvioPtySimulator::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    pty_.close();
}

bool PelvioPtySimulator::expectReceived(const PelvioPayload& want, int timeoutMs) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        const auto& got = model_.received();
        const auto it =
            std::find(got.begin() + static_cast<std::ptrdiff_t>(cursor_), got.end(), want);
        if (it == got.end())
            return false;
        cursor_ = static_cast<std::size_t>(it - got.begin()) + 1;
        return true;
    });
}

int PelvioPtySimulator::countReceived(const PelvioPayload& want) {
    std::lock_guard lock(mutex_);
    const auto& got = model_.received();
    return static_cast<int>(std::count(got.begin(), got.end(), want));
}

void PelvioPtySimulator::pump() {
    std::uint8_t buf[256];
    for (;;) {
        const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
        if (n <= 0)
            return;
        {
            std::lock_guard lock(mutex_);
            model_.receive(buf, static_cast<std::size_t>(n), now());
        }
        changed_.notify_all();
    }
}

void PelvioPtySimulator::run() {
    while (!stop_.load()) {
        pollfd p{pty_.master(), POLLIN, 0};
        ::poll(&p, 1, 10);
        pump();
        std::vector<std::uint8_t> out;
        {
            std::lock_guard lock(mutex_);
            out = model_.poll(now());
        }
        changed_.notify_all();
        if (!out.empty())
            writeToDriver(pty_.master(), out.data(), out.size(), 200, stop_, [this] { pump(); });
    }
}

}  // namespace zelmora::sim
