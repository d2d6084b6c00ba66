#include "instruments/alarm_collector.h"

#include <algorithm>

#include "app/text.h"
#include "app/work_log.h"

namespace zelmora {

std::string alarmCodeText(int code) {
    static const std::map<int, const char*> kTexts = {
        {1, "Перегрев"},
        {2, "Перегрев колонок"},
        {3, "Перегрев испарителя"},
        {4, "Перегрев детектора"},
        {9, "Обрыв ТСП"},
        {10, "Обрыв ТСП колонок"},
        {11, "Обрыв ТСП испарителя"},
        {12, "Обрыв ТСП детектора"},
        {17, "Короткое замыкание ТСП"},
        {18, "Короткое замыкание ТСП колонок"},
        {19, "Короткое замыкание ТСП испарителя"},
        {20, "Короткое замыкание ТСП детектора"},
        {25, "Невозможно подать газ 1"},
        {26, "Невозможно подать газ 2"},
        {27, "Невозможно подать газ 3"},
        {28, "Невозможно подать газ 4"},
        {29, "Невозможно подать газ 5"},
        {30, "Невозможно подать газ 6"},
        {31, "Невозможно подать газ 7"},
        {32, "Невозможно подать газ 8"},
        {33, "Невозможно подать водород"},
        {34, "Невозможно подать воздух"},
        {35, "Невозможно подать водород2"},
        {36, "Невозможно подать воздух2"},
        {37, "Сработала защита спирали ДТП"},
        {38, "Невозможно идентифицировать термостатируемый объект с ошибкой"},
        {39, "Ошибка кранов - невозможно переключиться"},
        {40, "Ошибка кранов - долгое переключение"},
        {41, "Ошибка кранов - кран заклинило"},
        {42, "Ошибка кранов - непонятный тип крана"},
        {43, "Внутренняя ошибка прибора - сбой АЦП температур"},
        {44, "Пропало пламя"},
        {45, "Ошибка Pelvio"},
        {46, "Конфигурация температурных зон прибора не верна."},
        {47, "Невозможно загрузить из прибора названия всех температурных зон."},
        {87, "Warning-"},
        {88, "Плохая сеть 220В"},
        {89, "Невозможно поджечь пламя"},
        {90, "Msg-"},
        {91, "Ошибка связи"},
        {92, "Ошибка связи - данные не поступают"},
        {93, "Ошибка связи - ошибка CRC"},
        {94, "Поиск синхробайт"},
        {95, "Ошибка связи - параметр не записан"},
    };
    if (code >= 48 && code <= 55)
        return text::format("Перегрев зоны %d", code - 48);
    if (code >= 56 && code <= 63)
        return text::format("Обрыв ТСП зоны %d", code - 56);
    if (code >= 64 && code <= 71)
        return text::format("Короткое замыкание ТСП зоны %d", code - 64);
    if (code >= 72 && code <= 76)
        return text::format("Перегрев доп.зоны %d", code - 72);
    if (code >= 77 && code <= 81)
        return text::format("Обрыв ТСП доп.зоны %d", code - 77);
    if (code >= 82 && code <= 86)
        return text::format("Короткое замыкание ТСП доп.зоны %d", code - 82);
    const auto it = kTexts.find(code);
    if (it != kTexts.end())
        return it->second;
    return text::format("Неизвестная ошибка %d", code);
}

void AlarmCollector::setDevice(int number, std::string name) {
    std::lock_guard lock(mutex_);
    number_ = number;
    name_ = std::move(name);
}

void AlarmCollector::setLog(std::function<void(std::string_view)> log) {
    std::lock_guard lock(mutex_);
    log_ = std::move(log);
}

void AlarmCollector::log(std::string_view line) const {
    if (log_)
        log_(line);
    else
        CWorkLog::instance().write(line);
}

void AlarmCollector::report(int code, const std::string& detail) {
    std::lock_guard lock(mutex_);
    ++counts_[code];
    AlarmRecord r{code, detail, std::time(nullptr)};
    const std::string line = text::format("! Прибор %d (%s) ", number_, name_.c_str()) + r.text();
    if (!alarmStops(code)) {
        if (line != lastLogged_)
            log(line);
        lastLogged_ = line;
        return;
    }
    if (!stopReason_) {
        stopReason_ = r;
    } else if (stopReason_->code == code ||
               std::any_of(recorded_.begin(), recorded_.end(),
                           [&](const AlarmRecord& a) { return a.code == code; })) {
        return;
    } else {
        recorded_.push_back(r);
    }
    log(line);
    lastLogged_ = line;
}

void AlarmCollector::reset() {
    std::lock_guard lock(mutex_);
    if (stopReason_ || !recorded_.empty())
        log("- Все ошибки сброшены");
    stopReason_.reset();
    recorded_.clear();
    counts_.clear();
    lastLogged_.clear();
}

std::string AlarmCollector::stopReasonText() const {
    std::lock_guard lock(mutex_);
    std::string s = "Останов прибора произошёл по причине: \r\n";
    if (stopReason_)
        s += stopReason_->text();
    s += "\r\n\r\n";
    if (!recorded_.empty()) {
        s += "Ошибки: \r\n";
        for (const AlarmRecord& a : recorded_)
            s += a.text() + "\r\n";
    }
    return s;
}

bool AlarmCollector::hasAlarms() const {
    std::lock_guard lock(mutex_);
    return stopReason_.has_value();
}

bool AlarmCollector::has(int code) const {
    std::lock_guard lock(mutex_);
    if (stopReason_ && stopReason_->code == code)
        return true;
    return std::any_of(recorded_.begin(), recorded_.end(),
                       [&](const AlarmRecord& a) { return a.code == code; });
}

std::optional<AlarmRecord> AlarmCollector::stopReason() const {
    std::lock_guard lock(mutex_);
    return stopReason_;
}

std::vector<AlarmRecord> AlarmCollector::recorded() const {
    std::lock_guard lock(mutex_);
    return recorded_;
}

std::string AlarmCollector::alarmText() const {
    std::lock_guard lock(mutex_);
    return stopReason_ ? stopReason_->text() : std::string();
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

}  // namespace zelmora
