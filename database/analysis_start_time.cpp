#include "database/analysis_start_time.h"

#include "app/text.h"
#include "app/work_log.h"
#include "database/db_time.h"

namespace zelmora {

AnalysisStartTime::AnalysisStartTime(Clock clock)
    : clock_(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      last_(clock_()) {}

std::time_t AnalysisStartTime::next() {
    const std::time_t now = clock_();
    std::lock_guard lock(mutex_);
    std::time_t result = now;
    if (last_ >= now && last_ < now + kCorrectionWindowSeconds) {
        result = last_ + 1;
        CWorkLog::instance().write(
            text::format("  Коррекция времени начала записи. Сейчас %s, скорректировано на %s.",
                         db::displayTime(now).c_str(), db::displayTime(result).c_str()));
    }
    last_ = result;
    return result;
}

AnalysisStartTime& AnalysisStartTime::instance() {
    static AnalysisStartTime instance;
    return instance;
}

}  // namespace zelmora
