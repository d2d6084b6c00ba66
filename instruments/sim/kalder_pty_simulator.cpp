#include "instruments/sim/kalder_pty_simulator.h"

#include <termios.h>

#include "instruments/serial_port.h"
#include "instruments/sim/line_faults.h"

namespace zelmora::sim {

KalderPtySimulator::KalderPtySimulator(KalderSimConfig config)
    : model_(config), config_(std::move(config)) {}

bool KalderPtySimulator::start(std::string* error) {
    return line_.start(
        [this](const std::uint8_t* bytes, std::size_t count) { receive(bytes, count); },
        [this] { run(); }, error);
}

void KalderPtySimulator::run() {
    FrameClock clock;
    clock.framesPerSecond = kKalderPacketRate * config_.speed;
    clock.frameLimit = config_.frameLimit;
    clock.listDropped = true;
    clock.silenceMs = [this](std::uint64_t n) {
        std::lock_guard lock(mutex_);
        return scheduledSilenceMs(model_, n);
    };
    clock.frame = [this](std::uint64_t n) { return packet(n); };
    line_.runFrames(clock);
}

bool KalderPtySimulator::rateMatches() const {
    termios t{};
    if (::tcgetattr(line_.master(), &t) != 0)
        return true;
    return cfgetospeed(&t) == termiosSpeed(config_.baud);
}

void KalderPtySimulator::receive(const std::uint8_t* bytes, std::size_t count) {
    // At the wrong rate the instrument cannot read the requests.
    if (!rateMatches())
        return;
    std::lock_guard lock(mutex_);
    model_.receive(bytes, count);
}

std::optional<SimulatedFrame> KalderPtySimulator::packet(std::uint64_t n) {
    SimulatedFrame p;
    const bool wrongRate = !rateMatches();
    {
        std::lock_guard lock(mutex_);
        if (wrongRate) {
            // What a packet looks like at another rate: bytes, but never
            // two headers in their places.
            p.bytes = model_.garbage(138);
            for (auto& b : p.bytes)
                if (b == wire::kKalderSync)
                    b = 0x5A;
        } else {
            // The model moves on with every packet, sent or not.
            p.bytes = model_.packetBytes(n);
            addLineFaults(model_, n, p);
        }
    }
    if (silent_.load())
        return std::nullopt;
    if (wrongRate)
        ++wrongRate_;
    return p;
}

}  // namespace zelmora::sim
