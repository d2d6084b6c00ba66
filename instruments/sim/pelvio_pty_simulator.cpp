#include "instruments/sim/pelvio_pty_simulator.h"

#include <algorithm>

namespace zelmora::sim {

PelvioPtySimulator::PelvioPtySimulator(PelvioSimConfig config) : model_(std::move(config)) {}

std::int64_t PelvioPtySimulator::now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 origin_)
        .count();
}

bool PelvioPtySimulator::start(std::string* error) {
    return line_.start(
        [this](const std::uint8_t* bytes, std::size_t count) { receive(bytes, count); },
        [this] { run(); }, error);
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

void PelvioPtySimulator::receive(const std::uint8_t* bytes, std::size_t count) {
    {
        std::lock_guard lock(mutex_);
        model_.receive(bytes, count, now());
    }
    changed_.notify_all();
}

void PelvioPtySimulator::run() {
    while (!line_.stopping()) {
        line_.waitReadable(10);
        line_.pump();
        std::vector<std::uint8_t> out;
        {
            std::lock_guard lock(mutex_);
            out = model_.poll(now());
        }
        changed_.notify_all();
        if (!out.empty())
            line_.write(out.data(), out.size(), 200);
    }
}

}  // namespace zelmora::sim
