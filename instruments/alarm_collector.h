#pragma once
// The numbered faults of one instrument, as the operator sees them: the
// alarm that stopped the instrument (the stop reason), the other faults
// found since, and the work-log lines "! Прибор %d (%s) <text><detail>".
//
// Codes up to 86 are faults of the instrument itself (overheats, broken
// sensors, jammed valves, a lost flame): the first one becomes the stop
// reason and the device's alarm text that the alarm window shows, and the
// chromatograph's run states stop in "Ошибка в приборе". Codes above 86
// (bad mains, communication errors, ignition failure notices) are only
// logged and counted, except 89 (the flame could not be lit), which stops
// the chromatograph as well. A code reported again is not logged again: a fault
// that stands is reported once per step of the supervision.
//
// Thread-safe: mutex_ guards every field; the reader thread and the
// interface thread both report (serialised by the lock), the alarm window
// reads the text on the interface thread.

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora {

inline constexpr int kAlarmChecksum = 93;
inline constexpr int kAlarmNoIgnition = 89;
// Codes up to this one stop the instrument.
inline constexpr int kAlarmLastStopping = 86;
// Codes that stop the instrument and become its stop reason: every fault up
// to 86, and the flame that could not be lit (89), which leaves the
// chromatograph unusable until the operator acts, so that the stop has a
// reason the operator sees.
constexpr bool alarmStops(int code) {
    return code <= kAlarmLastStopping || code == kAlarmNoIgnition;
}

// "Перегрев", ... "Неизвестная ошибка %d".
std::string alarmCodeText(int code);

struct AlarmRecord {
    int code = 0;
    std::string detail;
    std::time_t time = 0;
    // The code's text followed by the detail.
    std::string text() const { return alarmCodeText(code) + detail; }
};

class AlarmCollector {
  public:
    // The device as the work-log lines name it: number from 1 and name.
    void setDevice(int number, std::string name);
    // Where the lines go (default: the work log).
    void setLog(std::function<void(std::string_view)> log);

    void report(int code) { report(code, {}); }
    void report(int code, const std::string& detail);
    // Forgets every alarm; "- Все ошибки сброшены" when there were some.
    void reset();

    // "Останов прибора произошёл по причине: ..." with every recorded alarm.
    std::string stopReasonText() const;
    bool hasAlarms() const;
    bool has(int code) const;
    std::optional<AlarmRecord> stopReason() const;
    std::vector<AlarmRecord> recorded() const;
    // The device's alarm text for the alarm window; empty without a fault.
    std::string alarmText() const;

    // How often each code was reported since the last reset.
    std::uint64_t count(int code) const;
    std::map<int, std::uint64_t> snapshot() const;

  private:
    void log(std::string_view line) const;

    mutable std::mutex mutex_;  // guards everything below
    int number_ = 0;
    std::string name_;
    std::function<void(std::string_view)> log_;
    std::optional<AlarmRecord> stopReason_;
    std::vector<AlarmRecord> recorded_;
    std::map<int, std::uint64_t> counts_;
    std::string lastLogged_;  // the last line written, so a repetition is not
};

}  // namespace zelmora
