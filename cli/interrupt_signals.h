#pragma once
// Ctrl+C (SIGINT), SIGTERM and SIGHUP during long work of the command-line
// tool: while an InterruptSignals lives they only note the signal, so that
// the work can end at its next check and still keep what it has done (a
// recording writes the samples it has). The previous handlers come back when
// it ends; a second signal after the first ends the program as before.

#include <csignal>

namespace zelmora::cli {

class InterruptSignals {
  public:
    InterruptSignals() {
        caught_ = 0;
        struct sigaction action {};
        action.sa_handler = &InterruptSignals::note;
        sigemptyset(&action.sa_mask);
        // One signal is noted; the next one acts as it would without us.
        action.sa_flags = SA_RESETHAND;
        for (int i = 0; i < kCount; ++i)
            sigaction(kSignals[i], &action, &previous_[i]);
    }
    ~InterruptSignals() {
        for (int i = 0; i < kCount; ++i)
            sigaction(kSignals[i], &previous_[i], nullptr);
    }
    InterruptSignals(const InterruptSignals&) = delete;
    InterruptSignals& operator=(const InterruptSignals&) = delete;

    // The signal caught, 0 while none was.
    static int caught() { return caught_; }

  private:
    static void note(int signal) { caught_ = signal; }

    static constexpr int kCount = 3;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};
    static inline volatile std::sig_atomic_t caught_ = 0;
    struct sigaction previous_[kCount] {};
};

}  // namespace zelmora::cli
