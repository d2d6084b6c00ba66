#include "instruments/sim/ht300_pty_simulator.h"

namespace zelmora::sim {

Ht300PtySimulator::Ht300PtySimulator(Ht300SimConfig config)
    : model_(config), requestLimit_(config.requestLimit) {}

bool Ht300PtySimulator::start(std::string* error) {
    // No reader: the loop reads the requests itself and answers each read
    // before it reads on.
    return line_.start(
        {}, [this] { run(); }, error);
}

void Ht300PtySimulator::run() {
    std::uint8_t buf[256];
    while (!line_.stopping()) {
        if (!line_.waitReadable(20))
            continue;
        const std::size_t n = line_.readSome(buf, sizeof buf);
        if (n == 0)
            continue;
        std::string answers;
        bool done = false;
        {
            std::lock_guard lock(mutex_);
            answers = model_.receive(buf, n);
            done = requestLimit_ != 0 && model_.requestCount() >= requestLimit_;
        }
        if (!answers.empty())
            line_.write(reinterpret_cast<const std::uint8_t*>(answers.data()), answers.size(),
                        1000);
        if (done) {
            line_.finish();
            return;
        }
    }
}

}  // namespace zelmora::sim
