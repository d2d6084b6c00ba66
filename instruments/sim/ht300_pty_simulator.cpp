#include "instruments/sim/ht300_pty_simulator.h"

#include <poll.h>
#include <unistd.h>

#include "instruments/sim/pty_simulator.h"

namespace zelmora::sim {

Ht300PtySimulator::Ht300PtySimulator(Ht300SimConfig config)
    : model_(config), requestLimit_(config.requestLimit) {}

Ht300PtySimulator::~Ht300PtySimulator() {
    stop();
}

bool Ht300PtySimulator::start(std::string* error) {
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

void Ht300PtySimulator::stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
    pty_.close();
}

void Ht300PtySimulator::run() {
    std::uint8_t buf[256];
    while (!stop_.load()) {
        pollfd p{pty_.master(), POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
        if (n <= 0)
            continue;
        std::string answers;
        bool done = false;
        {
            std::lock_guard lock(mutex_);
            answers = model_.receive(buf, static_cast<std::size_t>(n));
            done = requestLimit_ != 0 && model_.requestCount() >= requestLimit_;
        }
        if (!answers.empty())
            writeToDriver(pty_.master(), reinterpret_cast<const std::uint8_t*>(answers.data()),
                          answers.size(), 1000, stop_, [] {});
        if (done) {
            finished_.store(true);
            return;
        }
    }
}

}  // namespace zelmora::sim
