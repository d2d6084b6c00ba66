#pragma once
// The simulated HT300 autosampler on a pseudo-terminal: a thread reads the
// program's requests from the line and writes the model's answers back at
// once (a request that the fault plan loses gets none).
//
// mutex_ guards model_; the line keeps its own flags (see
// simulator_line.h).

#include <cstdint>
#include <mutex>
#include <string>

#include "instruments/sim/ht300_model.h"
#include "instruments/sim/simulator_line.h"

namespace zelmora::sim {

class Ht300PtySimulator {
  public:
    explicit Ht300PtySimulator(Ht300SimConfig config);
    Ht300PtySimulator(const Ht300PtySimulator&) = delete;
    Ht300PtySimulator& operator=(const Ht300PtySimulator&) = delete;

    bool start(std::string* error);
    void stop() { line_.stop(); }
    const std::string& path() const { return line_.path(); }
    bool finished() const { return line_.finished(); }

    // Looks at or changes the model under its lock.
    template <class F>
    auto withModel(F f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

  private:
    void run();

    std::mutex mutex_;  // guards model_
    Ht300Model model_;
    const std::uint64_t requestLimit_;
    // Last, so that its thread ends before the model it reads goes.
    SimulatorLine line_;
};

}  // namespace zelmora::sim
