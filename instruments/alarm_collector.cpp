#include "instruments/alarm_collector.h"

namespace zelmora {

void AlarmCollector::report(int code) {
    std::lock_guard lock(mutex_);
    ++counts_[code];
}

std::uint64_t AlarmCollector::count(int code) const {
    std::lock_guard lock(mutex_);
    const auto it = counts_.find(code);
    return it == counts_.end() ? 0 : it->second;
}

std::map<int, std::uint64_t> AlarmCollector::snapshot() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

void AlarmCollector::reset() {
    std::lock_guard lock(mutex_);
    counts_.clear();
}

}  // namespace zelmora
