#pragma once
// Hands out the start times of recordings, in whole seconds, strictly
// increasing while the clock runs normally: channels started within the same
// few seconds get analysis times one second apart, so every analysis keeps a
// distinct time (the database key check and the file names rely on it). A
// clock set back by more than 10 s is followed, not corrected.

#include <ctime>
#include <functional>
#include <mutex>

namespace zelmora {

class AnalysisStartTime {
  public:
    using Clock = std::function<std::time_t()>;
    static constexpr std::time_t kCorrectionWindowSeconds = 10;

    // `last` starts as the time the program started.
    explicit AnalysisStartTime(Clock clock = nullptr);

    // The start time for a recording that begins now. A correction writes
    // "  Коррекция времени начала записи. Сейчас %s, скорректировано на %s."
    // to the work log.
    std::time_t next();

    // The program's one instance, living with the application.
    static AnalysisStartTime& instance();

  private:
    Clock clock_;
    mutable std::mutex mutex_;  // guards last_ (channels may start from more than one thread)
    std::time_t last_;
};

}  // namespace zelmora
