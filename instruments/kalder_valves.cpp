#include "instruments/kalder_valves.h"

#include "app/text.h"
#include "instruments/kalder_modules.h"

namespace zelmora {

CValveBlock::CValveBlock(std::uint8_t address, CParamQueue* queue,
                         std::function<void(std::string_view)> log)
    : address_(address), log_(std::move(log)) {
    const int count = kalder::moduleClass(address) == kalder::kClassValves4 ? 4 : 2;
    valves_.resize(static_cast<std::size_t>(count));
    auto reg = [&](std::uint16_t n, std::uint8_t priority, std::uint8_t kind) {
        if (queue)
            return queue->registerParam(address_, n, priority, kind);
        return std::make_shared<CInstrumentParam>(address_, n, priority, kind);
    };
    availabilityParam_ = reg(kParamAvailability, 5, param_kind::kMeasurement);
    positionParam_ = reg(kParamPosition, 55, param_kind::kSetting);
    for (int v = 0; v < count; ++v) {
        const auto sel = static_cast<std::uint16_t>(v << 12);
        types_.push_back(
            reg(static_cast<std::uint16_t>(kParamValveType | sel), 5, param_kind::kMeasurement));
        errors_.push_back(
            reg(static_cast<std::uint16_t>(kParamErrors | sel), 4, param_kind::kMeasurement));
        zoneTemps_.push_back(
            reg(static_cast<std::uint16_t>(kParamZoneTemp | sel), 2, param_kind::kMeasurement));
        zonePowers_.push_back(
            reg(static_cast<std::uint16_t>(kParamZonePower | sel), 2, param_kind::kMeasurement));
    }
}

int CValveBlock::firstValveNumber() const {
    const int index = kalder::moduleIndex(address_);
    return kalder::moduleClass(address_) == kalder::kClassValves4 ? 4 * index + 1 : 2 * index + 1;
}

void CValveBlock::configure(const std::vector<ValveConfig>& valves, std::uint32_t availability) {
    for (std::size_t v = 0; v < valves_.size() && v < valves.size(); ++v)
        valves_[v] = valves[v];
    availability_ = availability;
    for (int v = 0; v < valveCount(); ++v)
        setPosition(v, valves_[static_cast<std::size_t>(v)].initialState != 0);
}

void CValveBlock::setValveMode(int v, int mode) {
    if (v < 0 || v >= valveCount())
        return;
    ValveConfig& c = valves_[static_cast<std::size_t>(v)];
    c.mode = mode;
    setPosition(v, mode == 0 ? false : c.initialState != 0);
}

bool CValveBlock::available(int v) const {
    if (v < 0 || v >= valveCount())
        return false;
    const std::uint32_t word =
        availabilityParam_->hasValue() ? availabilityParam_->raw() : availability_;
    const ParamPtr& type = types_[static_cast<std::size_t>(v)];
    return ((word >> v) & 1u) != 0 && type->hasValue() && type->asInt() != 0;
}

void CValveBlock::setPosition(int v, bool second) {
    const std::uint32_t bit = 1u << v;
    const std::uint32_t next = second ? (word_ | bit) : (word_ & ~bit);
    if (next == word_)
        return;
    word_ = next;
    positionParam_->setRaw(word_);
    if (log_)
        log_(text::format(". Попытка изменить положения кранов кран=%d новое положение кранов=%02x",
                          firstValveNumber() + v, word_));
}

void CValveBlock::onRecordingStarted(int channel) {
    for (int v = 0; v < valveCount(); ++v) {
        const ValveConfig& c = valves_[static_cast<std::size_t>(v)];
        if (c.mode == 0 && c.syncChannel == channel && available(v))
            setPosition(v, true);
    }
}

void CValveBlock::onRecordingStopped(int channel) {
    for (int v = 0; v < valveCount(); ++v) {
        const ValveConfig& c = valves_[static_cast<std::size_t>(v)];
        if (c.mode == 0 && c.syncChannel == channel && available(v))
            setPosition(v, false);
    }
}

void CValveBlock::step(const std::function<bool(int)>& recording,
                       const std::function<double(int)>& minutes) {
    for (int v = 0; v < valveCount(); ++v) {
        const ValveConfig& c = valves_[static_cast<std::size_t>(v)];
        if (c.mode != 1 || !available(v))
            continue;
        bool flipped = false;
        if (recording(c.syncChannel)) {
            const double x = minutes(c.syncChannel);
            flipped = c.time1 <= x && x <= c.time2;
        }
        setPosition(v, flipped ? c.initialState == 0 : c.initialState != 0);
    }
}

std::vector<ValveFault> CValveBlock::faults() const {
    std::vector<ValveFault> out;
    const std::string block = kalder::moduleShortName(address_);
    for (int v = 0; v < valveCount(); ++v) {
        const ParamPtr& e = errors_[static_cast<std::size_t>(v)];
        if (!e->hasValue())
            continue;
        const std::uint32_t w = e->raw();
        if (w == 0)
            continue;
        const int number = firstValveNumber() + v;
        static const int kValveCodes[3] = {40, 41, 42};
        for (int b = 0; b < 3; ++b)
            if (w & (1u << b))
                out.push_back(
                    {kValveCodes[b], text::format(" Не переключается кран %d в блоке кранов %d",
                                                  number, address_)});
        static const char* const kZoneTexts[3] = {",перегрев ", ",обрыв ТСП ", ",КЗ ТСП "};
        static const int kZoneCodes[3] = {72, 77, 82};
        for (int b = 0; b < 3; ++b)
            if (w & (1u << (8 + b)))
                out.push_back({kZoneCodes[b] + v, " Ошибка в дополнительной зоне нагрева " +
                                                      text::format("Кран-%d", number) +
                                                      kZoneTexts[b] + block});
    }
    return out;
}

void CValveBlock::requestReadings() {
    for (std::size_t v = 0; v < valves_.size(); ++v) {
        errors_[v]->requestRead();
        if (available(static_cast<int>(v))) {
            zoneTemps_[v]->requestRead();
            zonePowers_[v]->requestRead();
        }
    }
}

}  // namespace zelmora
