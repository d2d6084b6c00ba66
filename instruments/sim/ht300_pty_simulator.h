#pragma once
// The simulated HT300 autosampler on a pseudo-terminal: a thread reads the
// program's requests from the line and writes the model's answers back at
// once (a request that the fault plan loses gets none).
//
// mutex_ guards model_; the flags are atomics.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "instruments/pseudo_terminal.h"
#include "instruments/sim/ht300_model.h"

namespace zelmora::sim {

class Ht300PtySimulator {
  public:
    explicit Ht300PtySimulator(Ht300SimConfig config);
    ~Ht300PtySimulator();
    Ht300PtySimulator(const Ht300PtySimulator&) = delete;
    Ht300PtySimulator& operator=(const Ht300PtySimulator&) = delete;

    bool start(std::string* error);
    void stop();
    const std::string& path() const { return pty_.slavePath(); }
    bool finished() const { return finished_.load(); }

    // Looks at or changes the model under its lock.
    template <class F>
    auto withModel(F f) {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

  private:
    void run();

    PseudoTerminal pty_;
    std::mutex mutex_;  // guards model_
    Ht300Model model_;
    const std::uint64_t requestLimit_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
};

}  // namespace zelmora::sim
