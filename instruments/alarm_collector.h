#pragma once
// The numbered faults that a device's threads report (93: a received frame
// failed its checksum). The chromatograph's run-state supervision reads and
// clears them; here they are counted per code.
//
// Thread-safe: mutex_ guards counts_.

#include <cstdint>
#include <map>
#include <mutex>

namespace zelmora {

inline constexpr int kAlarmChecksum = 93;

class AlarmCollector {
  public:
    void report(int code);
    std::uint64_t count(int code) const;
    std::map<int, std::uint64_t> snapshot() const;
    void reset();

  private:
    mutable std::mutex mutex_;  // guards counts_
    std::map<int, std::uint64_t> counts_;
};

}  // namespace zelmora
