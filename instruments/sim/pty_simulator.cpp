#include "instruments/sim/pty_simulator.h"

#include "instruments/sim/line_faults.h"

namespace zelmora::sim {

PtySimulator::PtySimulator(SimConfig config) : source_(std::move(config)) {}

bool PtySimulator::start(std::string* error) {
    return line_.start(
        [this](const std::uint8_t* bytes, std::size_t count) { receive(bytes, count); },
        [this] { run(); }, error);
}

void PtySimulator::run() {
    const SimConfig& config = source_.config();  // never changed after construction
    FrameClock clock;
    clock.framesPerSecond = instrumentFrameRate(config.instrument) * config.speed;
    clock.frameLimit = config.frameLimit;
    clock.silenceMs = [this](std::uint64_t n) {
        std::lock_guard lock(mutex_);
        return scheduledSilenceMs(source_, n);
    };
    clock.frame = [this](std::uint64_t n) { return frame(n); };
    clock.afterFrame = [this](std::uint64_t) {
        std::lock_guard lock(mutex_);
        source_.frameSent();
    };
    line_.runFrames(clock);
}

FrameSource PtySimulator::snapshot() const {
    std::lock_guard lock(mutex_);
    return source_;
}

double PtySimulator::expectedSample(int channel, std::uint64_t n) const {
    std::lock_guard lock(mutex_);
    return source_.expectedSample(channel, n);
}

void PtySimulator::receive(const std::uint8_t* bytes, std::size_t count) {
    std::lock_guard lock(mutex_);
    source_.receive(bytes, count);
}

std::optional<SimulatedFrame> PtySimulator::frame(std::uint64_t n) {
    std::lock_guard lock(mutex_);
    if (!source_.sending() || silent_.load())
        return std::nullopt;
    SimulatedFrame f;
    f.bytes = source_.frameBytes(n);
    addLineFaults(source_, n, f);
    return f;
}

}  // namespace zelmora::sim
