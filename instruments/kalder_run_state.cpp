#include "instruments/kalder_run_state.h"

#include <algorithm>
#include <cmath>

#include "app/text.h"
#include "instruments/kalder_modules.h"

namespace zelmora {

using namespace kalder;
using namespace run_state;

namespace {

constexpr std::int64_t kLinkSettleMs = 4999;
constexpr std::int64_t kWarmZoneMs = 60000;
constexpr std::int64_t kIgnitionCycleMs = 30000;
constexpr std::int64_t kIgnitionGasOnMs = 25000;
constexpr std::int64_t kIgnitionGasOffMs = 2000;
constexpr std::int64_t kPeriodicLineMs = 30000;
constexpr std::int64_t kMainsAlarmMs = 60000;
constexpr std::int64_t kValveReadMs = 10000;
constexpr int kFrozenFrames = 151;
constexpr double kMainsLow = 187.0;
constexpr double kMainsHigh = 242.0;
constexpr int kZoneOff = 2064;
constexpr std::uint16_t kParamLamps = 80;
constexpr std::uint16_t kParamAnalysis = 8200;
constexpr std::uint16_t kParamIgnition = 8240;
constexpr std::uint16_t kParamRelay = 169;
constexpr std::uint16_t kParamErrorWords = 96;
constexpr std::uint16_t kParamColumnBelowDetector = 174;
constexpr std::uint16_t kParamBalance = 7;

const char* filamentTypeName(int t) {
    static const char* const kNames[] = {"32 Ом Rhenium-Tungsten", "48 Ом Gold-Tungsten",
                                         "60 Ом Rhenium-Tungsten", "30 Ом Модернизация Цвет",
                                         "70 Ом Rhenium-Tungsten", "24 Ом Gold-Tungsten",
                                         "Тип спирали не прочитан"};
    return t >= 0 && t < 7 ? kNames[t] : "Unknown spiral";
}

}  // namespace

std::string runStateText(int state, int attempt) {
    switch (state) {
        case kStopped:
            return "Прибор остановлен";
        case kPreparing:
            return "Подготовка к анализу";
        case kBeforeIgnition:
            return "Подготовка к поджигу";
        case kIgnition:
            return text::format("Осуществляется поджиг, попытка №%d", attempt + 1);
        case kSettling:
            return "Установка заданных температур и газов";
        case kReady:
            return "Прибор готов к записи";
        case kPurge:
            return "Продувка";
        case kCooling:
            return "Охлаждение прибора";
        case kError:
            return "Ошибка в приборе";
        case kAutosampler:
            return "Ожидание ввода дозатором";
        default:
            return state >= kAnalysis && state <= 15 ? "Анализ" : "";
    }
}

CKalderRunState::CKalderRunState(CParamQueue& queue, AlarmCollector& alarms, KalderRunHooks hooks)
    : queue_(queue), alarms_(alarms), hooks_(std::move(hooks)) {}

CKalderRunState::~CKalderRunState() = default;

void CKalderRunState::log(const std::string& line) const {
    if (hooks_.log)
        hooks_.log(line);
}

void CKalderRunState::setDevice(int number, std::string name) {
    std::lock_guard lock(mutex_);
    number_ = number;
    name_ = std::move(name);
}

KalderRunSettings CKalderRunState::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void CKalderRunState::setSettings(const KalderRunSettings& s) {
    std::lock_guard lock(mutex_);
    const bool wasGiven = settings_.given;
    settings_ = s;
    if (s.given && !wasGiven && compositionKnown_)
        buildModulesLocked();
    applySettingsLocked();
}

void CKalderRunState::applySettingsLocked() {
    if (!lampParam_)
        return;
    for (auto& g : gas_)
        g->configure(settings_.gas[static_cast<std::size_t>(g->number())]);
    for (std::size_t b = 0; b < valves_.size(); ++b) {
        valves_[b].configure(
            b < settings_.valves.size() ? settings_.valves[b] : std::vector<ValveConfig>{},
            b < settings_.valveAvailability.size() ? settings_.valveAvailability[b] : 0);
    }
    if (!settings_.given)
        return;
    for (std::size_t i = 0; i < 5; ++i) {
        programTemp_[i]->setFloat(static_cast<float>(settings_.programTemp[i]));
        programTime_[i]->setFloat(static_cast<float>(settings_.programTime[i]));
        zoneMax_[i]->setFloat(static_cast<float>(settings_.zones[i].maxTemp));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        programRate_[i]->setFloat(static_cast<float>(settings_.programRate[i]));
        zoneSet_[i]->setFloat(static_cast<float>(settings_.zones[i + 1].setTemp));
    }
    for (auto& g : gas_)
        g->configure(settings_.gas[static_cast<std::size_t>(g->number())]);
    for (std::size_t b = 0; b < valves_.size(); ++b) {
        valves_[b].configure(
            b < settings_.valves.size() ? settings_.valves[b] : std::vector<ValveConfig>{},
            b < settings_.valveAvailability.size() ? settings_.valveAvailability[b] : 0);
    }
    if (!columnBelowDetectorParam_)
        columnBelowDetectorParam_ =
            queue_.registerParam(kControlUnitAddress, kParamColumnBelowDetector, 30,
                                 param_kind::kSetting, settings_.columnBelowDetector ? 1u : 0u);
    columnBelowDetectorParam_->setInt(settings_.columnBelowDetector ? 1 : 0);
    for (Detector& d : detectors_) {
        if (d.balance)
            d.balance->setFloat(
                static_cast<float>(settings_.balance[static_cast<std::size_t>(d.channel)]));
    }
}

void CKalderRunState::linkStarted() {
    std::lock_guard lock(mutex_);
    const std::uint8_t cu = kControlUnitAddress;
    auto reg = [&](std::uint16_t n, std::uint8_t prio, std::uint8_t kind) {
        return queue_.registerParam(cu, n, prio, kind);
    };
    columnBelowDetectorParam_.reset();
    lampParam_ = reg(kParamLamps, 40, param_kind::kSetting);
    analysisParam_ = reg(kParamAnalysis, 60, param_kind::kCommand);
    ignitionParam_ = reg(kParamIgnition, 60, param_kind::kCommand);
    relayParam_ = reg(kParamRelay, 40, param_kind::kSetting);
    firmwareParam_ = reg(kParamFirmware, 5, param_kind::kMeasurement);
    for (std::size_t i = 0; i < 3; ++i)
        errorWords_[i] =
            reg(static_cast<std::uint16_t>(kParamErrorWords + i), 50, param_kind::kMeasurement);
    for (std::size_t z = 0; z < 8; ++z)
        zoneNames_[z] =
            reg(static_cast<std::uint16_t>(kParamZoneName + z), 5, param_kind::kMeasurement);
    for (std::size_t i = 0; i < 5; ++i) {
        programTemp_[i] = reg(static_cast<std::uint16_t>(8 + i), 30, param_kind::kSetting);
        programTime_[i] = reg(static_cast<std::uint16_t>(16 + i), 30, param_kind::kSetting);
        zoneMax_[i] = reg(static_cast<std::uint16_t>(40 + i), 30, param_kind::kSetting);
    }
    for (std::size_t i = 0; i < 4; ++i) {
        programRate_[i] = reg(static_cast<std::uint16_t>(24 + i), 30, param_kind::kSetting);
        zoneSet_[i] = reg(static_cast<std::uint16_t>(33 + i), 30, param_kind::kSetting);
    }
    gas_.clear();
    valves_.clear();
    detectors_.clear();
    zones_ = {};
    compositionKnown_ = false;
    zonesAssigned_ = false;
    firmwareChecked_ = false;
    haveLive_ = false;
    lastErrByte_ = 0;
    pendingErrBits_ = 0;
    lastPeriodicMs_ = -1;
    lastMainsAlarmMs_ = -1;
    lastValveReadMs_ = -1;
    linkStartMs_ = now();
    applySettingsLocked();
    setRunState(kPreparing);
}

void CKalderRunState::linkClosed() {
    std::lock_guard lock(mutex_);
    gas_.clear();
    valves_.clear();
    detectors_.clear();
    compositionKnown_ = false;
}

void CKalderRunState::setComposition(const std::vector<std::uint8_t>& addresses) {
    std::lock_guard lock(mutex_);
    composition_ = addresses;
    buildModulesLocked();
    compositionKnown_ = true;
    zonesAssigned_ = false;
    applySettingsLocked();
}

void CKalderRunState::buildModulesLocked() {
    gas_.clear();
    valves_.clear();
    detectors_.clear();
    auto logFn = hooks_.log;
    int channel = 0;
    // Detector channels follow the detector modules in composition order.
    for (std::uint8_t a : composition_) {
        const int cls = moduleClass(a);
        if (isDetectorClass(cls) && channel < 4) {
            Detector d;
            d.address = a;
            d.channel = channel++;
            d.flame = cls == kClassFlame;
            if (!d.flame) {
                auto reg = [&](std::uint16_t n, std::uint8_t prio, std::uint8_t kind) {
                    if (CParamQueue* q = kind == param_kind::kSetting ? setPointQueue() : &queue_)
                        return q->registerParam(a, n, prio, kind);
                    return std::make_shared<CInstrumentParam>(a, n, prio, kind);
                };
                d.firmware = reg(kParamFirmware, 3, param_kind::kMeasurement);
                d.bridge = reg(1, 45, param_kind::kSetting);
                d.filamentTemp = reg(2, 2, param_kind::kMeasurement);
                d.bridgeCurrent = reg(3, 2, param_kind::kMeasurement);
                d.filamentMax = reg(4, 45, param_kind::kSetting);
                d.status = reg(5, 4, param_kind::kMeasurement);
                d.filamentType = reg(6, 3, param_kind::kMeasurement);
                d.balance = reg(kParamBalance, 44, param_kind::kSetting);
            }
            detectors_.push_back(std::move(d));
        } else if (cls == kClassGasPair || cls == kClassHydrogenAir) {
            const int base = cls == kClassGasPair ? 2 * moduleIndex(a) : 8 + 2 * moduleIndex(a);
            for (int c = 0; c < 2; ++c)
                gas_.push_back(std::make_unique<CGasChannel>(base + c, a, setPointQueue()));
        } else if (cls == kClassValves2 || cls == kClassValves4) {
            valves_.emplace_back(a, &queue_, logFn);
        }
    }
}

CGasChannel* CKalderRunState::gasChannel(int n) {
    for (auto& g : gas_)
        if (g->number() == n)
            return g.get();
    return nullptr;
}

std::string CKalderRunState::zoneName(int zone) const {
    std::lock_guard lock(mutex_);
    return zoneNameLocked(zone);
}

int CKalderRunState::reportedZoneCode(int zone) const {
    std::lock_guard lock(mutex_);
    return zone >= 0 && zone < 8 ? zones_[static_cast<std::size_t>(zone)].nameCode : -1;
}

bool CKalderRunState::zonePresent(int zone) const {
    std::lock_guard lock(mutex_);
    return zone >= 0 && zone < 8 && zones_[static_cast<std::size_t>(zone)].present;
}

std::vector<std::uint8_t> CKalderRunState::composition() const {
    std::lock_guard lock(mutex_);
    return composition_;
}

std::string CKalderRunState::zoneNameLocked(int zone) const {
    if (zone < 0 || zone >= 8)
        return {};
    const int code = zones_[static_cast<std::size_t>(zone)].nameCode;
    return kalder::zoneName(code >= 0 ? code : defaultZoneCode(zone));
}

std::string CKalderRunState::mainsText() const {
    return text::format(" U220=%.2f", live_.mainsVolts);
}

// --- lamps and states -------------------------------------------------

std::uint32_t CKalderRunState::computeLamps() const {
    namespace l = lamp;
    std::uint32_t w = 0;
    if (hooks_.recording && hooks_.recording(0))
        w |= l::kAnalysis1;
    if (hooks_.recording && hooks_.recording(1))
        w |= l::kAnalysis2;
    const int s = state_.load();
    const bool isothermal = settings_.programRate[0] == 0;
    const std::uint32_t blinkPrep = l::kPreparing << l::kBlinkShift;
    if (s >= kPreparing && s <= kIgnition)
        w |= l::kPreparing | blinkPrep;
    else if (s == kSettling)
        w |= l::kPreparing;
    else if (s == kReady || (s == kAnalysis && isothermal))
        w |= l::kReady;
    else if (s == kError)
        w |= l::kAlarm | (l::kAlarm << l::kBlinkShift);
    else if (s == kAutosampler)
        w |= l::kPreparing | l::kReady | blinkPrep;
    return w;
}

void CKalderRunState::writeLamps() {
    const std::uint32_t w = computeLamps();
    lamps_.store(w);
    if (lampParam_)
        lampParam_->setRaw(w);
}

void CKalderRunState::setRunState(int state) {
    std::lock_guard lock(mutex_);
    enterState(state);
}

void CKalderRunState::allGasIgnition(bool on, int attempt) {
    for (auto& g : gas_)
        g->setIgnitionOverride(on, attempt);
}

void CKalderRunState::switchBridge(Detector& d, bool on) {
    if (!d.bridge)
        return;
    const double set = settings_.bridgeVoltage[static_cast<std::size_t>(d.channel)];
    d.bridge->setFloat(on ? static_cast<float>(set) : 0.0f);
    d.bridgeOn = on;
}

void CKalderRunState::enterState(int state) {
    const std::int64_t t = now();
    state_.store(state);
    stateEntryMs_ = t;
    switch (state) {
        case kPreparing:
            alarms_.reset();
            // A fault that stands is read and reported again.
            lastErrByte_ = 0;
            pendingErrBits_ = 0;
            for (auto& z : zones_) {
                z.unchangedFrames = 0;
                z.frozen = false;
            }
            attempt_.store(0);
            applySettingsLocked();
            break;
        case kBeforeIgnition:
            log(text::format("  Прибор %d - подготовка к поджигу", number_));
            allGasIgnition(false, 0);
            break;
        case kIgnition:
            log(text::format("  Прибор %d - поджиг", number_));
            attempt_.store(0);
            ignitionInProgress_ = false;
            attemptStartMs_ = t - kIgnitionGasOnMs;
            allGasIgnition(false, 0);
            break;
        case kSettling:
            log(text::format("  Прибор %d - подготовка температур и газов", number_));
            allGasIgnition(false, 0);
            readinessTimerMs_ = t;
            break;
        case kReady:
            if (hooks_.clearButtons)
                hooks_.clearButtons();
            if (hooks_.playSound)
                hooks_.playSound("ready.wav");
            log(text::format("  Прибор %d - готов к записи", number_));
            break;
        case kAnalysis:
            if (hooks_.clearButtons)
                hooks_.clearButtons();
            analysisStartMs_ = t;
            break;
        case kCooling:
            log(text::format("  Прибор %d - Охлаждение", number_));
            if (analysisParam_)
                analysisParam_->setInt(0);
            if (settings_.given) {
                for (auto& p : zoneSet_)
                    p->setFloat(0);
                programTemp_[0]->setFloat(0);
            }
            for (auto& d : detectors_)
                if (!d.flame && d.channel < 2)
                    switchBridge(d, false);
            break;
        case kError:
            if (alarms_.has(43) && relayParam_)
                relayParam_->setInt(1);
            // Nothing hot or flowing is left that the operator did not ask
            // for: heaters, hydrogen and the conductivity bridges go off.
            allGasIgnition(false, 0);
            // Set points that this program did not write are not known, so
            // they could not be restored: they are left as they are.
            if (settings_.given) {
                for (auto& p : zoneSet_)
                    p->setFloat(0);
                programTemp_[0]->setFloat(0);
            }
            for (auto& g : gas_)
                if (g->config().gasType == 3)
                    g->setGasValue(0);
            for (auto& d : detectors_)
                if (!d.flame)
                    switchBridge(d, false);
            break;
        default:
            break;
    }
    writeLamps();
}

// --- readiness ----------------------------------------------------------

bool CKalderRunState::zoneWithin(int z) const {
    const Zone& zone = zones_[static_cast<std::size_t>(z)];
    if (zone.nameCode == kZoneOff)
        return true;
    double set = 0;
    if (z == 0) {
        if (settings_.programTemp[0] == 0)
            return true;
        set = live_.programmeSetPoint;
    } else {
        set = settings_.zones[static_cast<std::size_t>(z)].setTemp;
        if (set == 0)
            return true;
    }
    return std::fabs(zone.measured - set) < settings_.zones[static_cast<std::size_t>(z)].tolerance;
}

bool CKalderRunState::zonesWithin() const {
    for (int z = 0; z < 8; ++z)
        if (!zoneWithin(z))
            return false;
    return true;
}

bool CKalderRunState::gasesReady() {
    // A carrier regulator is ready when each channel is within tolerance
    // or has no flow; a hydrogen/air regulator when both are within.
    bool ok = true;
    for (auto& g : gas_) {
        const bool within = g->isGasWithinTolerance();
        if (g->isHydrogenAir())
            ok = ok && within;
        else
            ok = ok && (within || g->config().flowSet == 0);
    }
    return ok;
}

bool CKalderRunState::readinessPasses(std::uint32_t& reasons) {
    const bool zones = zonesWithin();
    const bool gases = gasesReady();
    if (!zones)
        reasons |= reason::kTemperatures;
    if (!gases)
        reasons |= reason::kGases;
    const std::int64_t t = now();
    if (!zones || !gases) {
        readinessTimerMs_ = t;
        return false;
    }
    if (t - readinessTimerMs_ > static_cast<std::int64_t>(settings_.readyDelaySeconds) * 1000)
        return true;
    reasons |= reason::kDelay;
    return false;
}

bool CKalderRunState::needsFlame() const {
    if (settings_.ignitionAttempts < 1)
        return false;
    return std::any_of(detectors_.begin(), detectors_.end(),
                       [](const Detector& d) { return d.flame; });
}

bool CKalderRunState::flamePresent() const {
    for (const Detector& d : detectors_) {
        if (!d.flame)
            continue;
        const float raw = live_.detectorRaw[static_cast<std::size_t>(d.channel)];
        if (!(raw >= settings_.flameThreshold))
            return false;
    }
    return true;
}

bool CKalderRunState::zonesKnown() const {
    for (const ParamPtr& p : zoneNames_)
        if (!p || p->pending())
            return false;
    return true;
}

void CKalderRunState::assignDetectorZones() {
    // A detector's heated zone: "ПИД-n" for flame amplifier n, "ДТП-n" for
    // conductivity detector n, else "Детектор-k" for detector channel k.
    int flameIndex = 0, condIndex = 0;
    for (Detector& d : detectors_) {
        const int own = d.flame ? ++flameIndex : ++condIndex;
        const int group = d.flame ? 3 : 4;
        d.zone = -1;
        for (int pass = 0; pass < 2 && d.zone < 0; ++pass) {
            for (int z = 0; z < 8; ++z) {
                const int code = zones_[static_cast<std::size_t>(z)].nameCode;
                if (code < 0 || code == kZoneOff)
                    continue;
                const int g = code / 16, n = code % 16 + 1;
                if ((pass == 0 && g == group && n == own) ||
                    (pass == 1 && g == 131 && n == d.channel + 1)) {
                    d.zone = z;
                    break;
                }
            }
        }
        if (d.zone < 0)
            alarms_.report(
                46, d.flame ? text::format(" В приборе нет зоны нагрева детектора, "
                                           "подключенного к ИМТ %d",
                                           own)
                            : text::format(" В приборе нет зоны нагрева детектора ДТП-%d", own));
    }
    zonesAssigned_ = true;
}

// --- faults ----------------------------------------------------------------

void CKalderRunState::checkErrorWords() {
    if (pendingErrBits_ == 0)
        return;
    for (int b = 0; b < 3; ++b)
        if ((pendingErrBits_ & (1u << b)) && errorWords_[static_cast<std::size_t>(b)]->pending())
            return;
    // bit 0 overheat (word 96), bit 1 short circuit (97), bit 2 open sensor (98)
    static const int kZoneBase[3] = {48, 64, 56};
    static const int kGeneral[3] = {1, 17, 9};
    static const char* const kWords[3] = {"Перегрев %s %s", "КЗ ТСП %s %s", "Обрыв ТСП %s %s"};
    for (int b = 0; b < 3; ++b) {
        if (!(pendingErrBits_ & (1u << b)))
            continue;
        const std::uint32_t w = errorWords_[static_cast<std::size_t>(b)]->raw();
        bool any = false;
        for (int z = 0; z < 8; ++z) {
            if (!(w & (1u << z)))
                continue;
            any = true;
            alarms_.report(
                kZoneBase[b] + z,
                " " + text::format(kWords[b], zoneNameLocked(z).c_str(), mainsText().c_str()));
        }
        if (!any) {
            alarms_.report(kGeneral[b], mainsText());
            alarms_.report(38, mainsText());
        }
    }
    pendingErrBits_ = 0;
}

void CKalderRunState::checkFirmware() {
    if (firmwareChecked_ || !firmwareParam_ || !firmwareParam_->hasValue() || !zonesKnown())
        return;
    firmwareChecked_ = true;
    const int expected = firmwareParam_->asInt() <= 1792 ? 5 : 8;
    int answered = 0;
    bool silent = false;
    for (int z = 0; z < 8; ++z) {
        const ParamPtr& p = zoneNames_[static_cast<std::size_t>(z)];
        if (p->hasValue())
            ++answered;
        else if (p->retries() == kParamRetryLimit && z < expected)
            silent = true;
    }
    if (silent)
        alarms_.report(47, " Ошибка связи");
    if (answered > 0 && answered < expected) {
        alarms_.report(47, " Некорректная прошивки CPU");
        enterState(kStopped);
    }
}

void CKalderRunState::detectFaults(const KalderLiveValues& live) {
    const std::int64_t t = now();
    // Error byte and the fault words it points to.
    if (live.errByte != lastErrByte_) {
        if (live.errByte != 0)
            log(text::format("Ошибка в приборе ErrByte=%02x", live.errByte));
        for (int b = 0; b < 3; ++b) {
            if (live.errByte & (1u << b)) {
                errorWords_[static_cast<std::size_t>(b)]->requestRead();
                pendingErrBits_ |= static_cast<std::uint8_t>(1u << b);
            }
        }
        lastErrByte_ = live.errByte;
    }
    checkErrorWords();

    // Zone readings that stopped changing: only zones that are present.
    if (live.lastZoneCount > 0) {
        std::string frozen;
        for (int z = 0; z < live.lastZoneCount && z < 8; ++z) {
            Zone& zone = zones_[static_cast<std::size_t>(z)];
            if (!zone.present)
                continue;
            const float r = live.zoneTemp[static_cast<std::size_t>(z)];
            zone.unchangedFrames = r == zone.lastReading ? zone.unchangedFrames + 1 : 0;
            zone.lastReading = r;
            zone.frozen = zone.unchangedFrames > kFrozenFrames;
            if (zone.frozen)
                frozen += text::format("Зона-%d (", z) + zoneNameLocked(z) + ") ";
        }
        if (!frozen.empty())
            alarms_.report(43, " Выявлен сбой АЦП по следующим зонам:" + frozen + mainsText());
    }

    // Mains voltage.
    if (live.mainsVolts < kMainsLow || live.mainsVolts > kMainsHigh) {
        if (lastMainsAlarmMs_ < 0 || t - lastMainsAlarmMs_ >= kMainsAlarmMs) {
            lastMainsAlarmMs_ = t;
            alarms_.report(88, mainsText());
        }
    }

    // Valve blocks.
    for (const CValveBlock& b : valves_)
        for (const ValveFault& f : b.faults())
            alarms_.report(f.code, f.detail);

    // Conductivity detectors: a tripped filament protection (status bit 2).
    for (const Detector& d : detectors_) {
        if (d.flame || !d.status->hasValue() || !(d.status->raw() & 0x4))
            continue;
        alarms_.report(
            37, text::format(
                    "Напряжение моста ДТП слишком велико. Um=%f Im=%f "
                    "Tспирали=%f/%f Тип=%s",
                    d.bridge->asFloat(), d.bridgeCurrent->asFloat(), d.filamentTemp->asFloat(),
                    d.filamentMax->asFloat(),
                    filamentTypeName(d.filamentType->hasValue() ? d.filamentType->asInt() : 6)));
    }
}

void CKalderRunState::checkConductivity(std::uint32_t& reasons) {
    for (Detector& d : detectors_) {
        if (d.flame)
            continue;
        const int p = d.channel;
        if (d.firmware->pending()) {
            reasons |= reason::kAmplifierVersion;
            return;
        }
        if (hooks_.inUse && !hooks_.inUse(d.channel)) {
            switchBridge(d, false);
            continue;
        }
        // Stopped, cooling or after a fault the bridges stay as those states
        // left them: off.
        const int st = state_.load();
        const bool halted = st == kStopped || st == kCooling || st == kError;
        if (reasons == 0 && !halted) {
            if (d.firmware->hasValue() && d.firmware->asInt() >= 1024) {
                switchBridge(d, true);
            } else if (zonesKnown()) {
                // The zone table is complete: the detectors learn their zones
                // now, not only when state 1 ends.
                if (!zonesAssigned_)
                    assignDetectorZones();
                if (d.zone < 0) {
                    alarms_.report(
                        46, text::format(" В приборе нет зоны нагрева детектора ДТП-%d", p + 1));
                    return;
                }
                if (!zoneWithin(d.zone)) {
                    reasons |= reason::kBridgeZone << p;
                    switchBridge(d, false);
                    return;
                }
                const double zt = zones_[static_cast<std::size_t>(d.zone)].measured;
                if (!d.bridgeOn || std::fabs(zt - d.limitZoneTemp) >= 3.0) {
                    const int type = d.filamentType->hasValue() ? d.filamentType->asInt() : -1;
                    d.filamentMax->setFloat(static_cast<float>(zt + (type == 4 ? 180.0 : 150.0)));
                    d.limitZoneTemp = zt;
                    switchBridge(d, true);
                }
            } else {
                switchBridge(d, false);
                reasons |= reason::kZoneNames;
            }
        }
        if (d.status->hasValue()) {
            const std::uint32_t st = d.status->raw();
            if (st & 1u)
                reasons |= reason::kFilamentOverheat << p;
            if (st & 2u)
                reasons |= reason::kBridgeVoltage << p;
        }
    }
}

// --- the step ---------------------------------------------------------------

void CKalderRunState::step(const KalderLiveValues& live) {
    std::lock_guard lock(mutex_);
    const std::int64_t t = now();
    live_ = live;
    haveLive_ = true;

    // Zone names and live values.
    for (int z = 0; z < 8; ++z) {
        Zone& zone = zones_[static_cast<std::size_t>(z)];
        const ParamPtr& p = zoneNames_[static_cast<std::size_t>(z)];
        if (p && p->hasValue())
            zone.nameCode = p->asInt() & 0xFFFF;
        zone.present = zone.nameCode >= 0 && zone.nameCode != kZoneOff;
        zone.measured = live.zoneTemp[static_cast<std::size_t>(z)];
        zone.power = live.heatingPower[static_cast<std::size_t>(z)];
        if (zoneWithin(z)) {
            if (zone.withinSinceMs < 0)
                zone.withinSinceMs = t;
        } else {
            zone.withinSinceMs = -1;
        }
    }
    for (auto& g : gas_) {
        const auto i = static_cast<std::size_t>(g->number());
        g->setLive(
            {live.flow[i], live.valveVolts[i], live.inletPressure[i], live.outletPressure[i]});
    }

    if (compositionKnown_) {
        detectFaults(live);
        if (alarms_.hasAlarms() && state_.load() != kError && state_.load() != kStopped)
            enterState(kError);
    }
    checkFirmware();

    std::uint32_t reasons = 0;
    if (compositionKnown_)
        checkConductivity(reasons);
    stateSwitch(reasons);
    reasons_.store(reasons);

    // Every module takes its step.
    const int s = state_.load();
    const double minutes = s >= kAnalysis && s <= kAnalysisEnd
                               ? static_cast<double>(t - analysisStartMs_) / 60000.0
                               : 0;
    for (auto& g : gas_)
        g->updateGasSetPoint(s, minutes, live.zoneTemp[0]);
    auto recording = [this](int c) { return hooks_.recording && hooks_.recording(c); };
    auto recorded = [this](int c) {
        return hooks_.recordedMinutes ? hooks_.recordedMinutes(c) : 0.0;
    };
    for (CValveBlock& b : valves_)
        b.step(recording, recorded);
    if (lastValveReadMs_ < 0 || t - lastValveReadMs_ >= kValveReadMs) {
        lastValveReadMs_ = t;
        for (CValveBlock& b : valves_)
            b.requestReadings();
        for (Detector& d : detectors_)
            if (!d.flame) {
                d.status->requestRead();
                d.filamentTemp->requestRead();
                d.bridgeCurrent->requestRead();
            }
    }
    writeLamps();

    // The periodic line of current values.
    if (((s >= kPreparing && s <= kSettling) || (s >= kCooling && s <= kAutosampler)) &&
        (lastPeriodicMs_ < 0 || t - lastPeriodicMs_ >= kPeriodicLineMs)) {
        lastPeriodicMs_ = t;
        log(text::format("  Прибор %d   текущие значения: ", number_) + currentValuesLocked());
    }
}

void CKalderRunState::stateSwitch(std::uint32_t& reasons) {
    const std::int64_t t = now();
    const int s = state_.load();
    switch (s) {
        case kPreparing:
            if (compositionKnown_ && t - linkStartMs_ > kLinkSettleMs && zonesKnown()) {
                if (!zonesAssigned_)
                    assignDetectorZones();
                if (state_.load() != kPreparing)
                    break;
                enterState(!needsFlame() || flamePresent() ? kSettling : kBeforeIgnition);
            }
            break;
        case kBeforeIgnition: {
            bool warm = true;
            for (const Detector& d : detectors_) {
                if (!d.flame || d.zone < 0)
                    continue;
                const Zone& z = zones_[static_cast<std::size_t>(d.zone)];
                warm = warm && z.withinSinceMs >= 0 && t - z.withinSinceMs >= kWarmZoneMs;
            }
            if (!warm)
                reasons |= reason::kDetectorWarmUp;
            else if (readinessPasses(reasons))
                enterState(kIgnition);
            break;
        }
        case kIgnition: {
            const std::int64_t since = t - attemptStartMs_;
            const int attempts = attempt_.load();
            if (settings_.ignitionAttempts < 1) {
                enterState(kSettling);
            } else if (ignitionInProgress_ && since > kIgnitionGasOffMs &&
                       since < kIgnitionGasOnMs) {
                allGasIgnition(false, attempts);
                ignitionInProgress_ = false;
            } else if (!ignitionInProgress_ && since > kIgnitionGasOnMs &&
                       since < kIgnitionCycleMs) {
                if (flamePresent()) {
                    enterState(kSettling);
                } else {
                    ignitionInProgress_ = true;
                    allGasIgnition(true, attempts);
                }
            } else if (since <= kIgnitionCycleMs) {
                reasons |= reason::kIgnitionWait;
            } else {
                if (attempts > 0)
                    log(text::format("? Прибор %d - Нет пламени (попытка %d) ", number_, attempts) +
                        currentValuesLocked());
                if (attempts < settings_.ignitionAttempts) {
                    const double pulse = std::min(0.7 + 0.05 * attempts, 0.9);
                    if (ignitionParam_)
                        ignitionParam_->setFloat(static_cast<float>(pulse));
                    attempt_.store(attempts + 1);
                    attemptStartMs_ = t;
                    reasons |= reason::kIgnitionWait;
                } else {
                    alarms_.report(kAlarmNoIgnition,
                                   text::format(" Попыток поджига: %d", attempts));
                    allGasIgnition(false, attempts);
                    enterState(kError);
                }
            }
            break;
        }
        case kSettling:
            if (needsFlame() && !flamePresent()) {
                log(text::format("? Прибор %d - Неожиданно пропало пламя: ", number_) +
                    currentValuesLocked());
                enterState(kBeforeIgnition);
            } else if (readinessPasses(reasons)) {
                enterState(kReady);
            }
            break;
        case kReady:
            if (!needsFlame() || flamePresent()) {
                if (!readinessPasses(reasons))
                    enterState(kSettling);
                else if (hooks_.autosamplerActive && hooks_.autosamplerActive())
                    enterState(kAutosampler);
            } else {
                log(text::format("? Прибор %d - Неожиданно пропало пламя: ", number_) +
                    currentValuesLocked());
                enterState(kBeforeIgnition);
            }
            break;
        case 6:
        case 7:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
            if (live_.state == s + 1)
                enterState(s + 1);
            break;
        case kAnalysisEnd:
            if (live_.state != kAnalysisEnd)
                enterState(kPreparing);
            break;
        case kAutosampler:
            if (!hooks_.autosamplerActive || !hooks_.autosamplerActive())
                enterState(kReady);
            break;
        default:
            break;
    }
}

// --- texts -------------------------------------------------------------------

std::string CKalderRunState::readinessText() const {
    std::lock_guard lock(mutex_);
    const std::uint32_t r = reasons_.load();
    std::string s;
    const std::int64_t t = now();
    if (r & reason::kDetectorWarmUp)
        s += "Ожидание прогрева детектора\r\n";
    for (int p = 0; p < 4; ++p)
        if (r & (reason::kBridgeZone << p))
            s += text::format("Ожидание стабилизации температуры ДТП-%d\r\n", p + 1);
    if (r & reason::kDelay) {
        const std::int64_t left =
            std::max<std::int64_t>(0, settings_.readyDelaySeconds - (t - readinessTimerMs_) / 1000);
        s += text::format("Задержка перед готовностью %d сек.\r\n", static_cast<int>(left));
    }
    for (int p = 0; p < 4; ++p)
        if (r & (reason::kFilamentOverheat << p))
            s += text::format("Перегрев спирали ДТП-%d\r\n", p + 1);
    for (int p = 0; p < 4; ++p)
        if (r & (reason::kBridgeVoltage << p))
            s += text::format("Подготовка Um ДТП-%d\r\n", p + 1);
    if (r & reason::kIgnitionWait) {
        const std::int64_t left =
            std::max<std::int64_t>(0, (attemptStartMs_ + kIgnitionCycleMs - t) / 1000);
        s += text::format("Выдержка перед поджигом %d сек.\r\n", static_cast<int>(left));
    }
    if (r & reason::kTemperatures)
        s += "Температуры вне нормы.\r\n";
    if (r & reason::kGases)
        s += "Газы вне нормы.\r\n";
    if (r & reason::kZoneNames)
        s += "Загружаются названия темп. зон.\r\n";
    if (r & reason::kAmplifierVersion)
        s += "Определяется версия усилителя ДТП\r\n";
    if (r & reason::kValveZones)
        s += "Температуры доп. зон вне нормы.\r\n";
    return s;
}

CKalderRunState::Snapshot CKalderRunState::snapshot() const {
    std::lock_guard lock(mutex_);
    return {state_.load(), attempt_.load(), lamps_.load(), readinessText(), statusText()};
}

std::string CKalderRunState::statusText() const {
    // The step changes the state and then the reasons under the lock: one
    // text must not pair the new state with the old reasons.
    std::lock_guard lock(mutex_);
    const int s = state_.load();
    std::string out = runStateText(s, attempt_.load() > 0 ? attempt_.load() - 1 : 0);
    const std::string r = readinessText();
    if (!r.empty())
        out += "\r\n" + r;
    if (s == kError) {
        const std::string a = alarms_.alarmText();
        if (!a.empty())
            out += "\r\n" + a;
    }
    return out;
}

std::string CKalderRunState::detectorName(int channel) const {
    std::lock_guard lock(mutex_);
    for (const Detector& d : detectors_)
        if (d.channel == channel)
            return moduleLongName(d.address);
    return {};
}

bool CKalderRunState::isReadyToRecord() const {
    std::lock_guard lock(mutex_);
    const int s = state_.load();
    if (s == kReady)
        return true;
    return s == kAnalysis && (reasons_.load() & (reason::kTemperatures | reason::kGases)) == 0;
}

std::string CKalderRunState::currentValuesText() const {
    std::lock_guard lock(mutex_);
    return currentValuesLocked();
}

std::string CKalderRunState::currentValuesLocked() const {
    std::string s = "ТЕМПЕРАТУРЫ { ";
    for (int z = 0; z < 8; ++z) {
        const auto i = static_cast<std::size_t>(z);
        const double set = z == 0 ? live_.programmeSetPoint : settings_.zones[i].setTemp;
        s += text::format("%s=%.2f/%.2f/%.2f ", zoneNameLocked(z).c_str(), set,
                          static_cast<double>(live_.zoneTemp[i]), settings_.zones[i].maxTemp);
    }
    s += "}  НАГРЕВЫ { ";
    for (int z = 0; z < 8; ++z)
        s += text::format("%s=%d ", zoneNameLocked(z).c_str(),
                          live_.heatingPower[static_cast<std::size_t>(z)]);
    s += "}  ";
    for (const auto& g : gas_) {
        const GasLive& l = g->live();
        s += text::format("%d.%s { Режим=%d Q=%.1f/%.1f Vкл=%.1f Pвх=%.3f Pвых=%.3f } ",
                          g->number() + 1, g->gasName().c_str(), g->gasMode(), g->writtenFlow(),
                          l.flow, l.valveVolts, l.inletPressure, l.outletPressure);
    }
    s += "}  ";
    s += text::format(
        "АЦП1=%g АЦП2=%g 220V=%.0f Заслонка=%.1f%%", static_cast<double>(live_.detectorRaw[0]),
        static_cast<double>(live_.detectorRaw[1]), live_.mainsVolts, live_.flapPercent);
    return s;
}

// --- recording hooks -----------------------------------------------------------

void CKalderRunState::onRecordingStarted(int channel) {
    std::lock_guard lock(mutex_);
    if (analysisParam_)
        analysisParam_->setInt(1);
    for (CValveBlock& b : valves_)
        b.onRecordingStarted(channel);
    log(text::format("  Начало записи по %d каналу на приборе %d (%s)", channel + 1, number_,
                     name_.c_str()));
    enterState(kAnalysis);
}

void CKalderRunState::onRecordingStopped(int channel) {
    std::lock_guard lock(mutex_);
    for (CValveBlock& b : valves_)
        b.onRecordingStopped(channel);
    log(text::format("  Останов записи по %d каналу на приборе %d (%s)", channel + 1, number_,
                     name_.c_str()));
    bool other = false;
    for (int c = 0; c < 4; ++c)
        other = other || (c != channel && hooks_.recording && hooks_.recording(c));
    if (other) {
        writeLamps();
        return;
    }
    if (analysisParam_)
        analysisParam_->setInt(0);
    std::uint32_t ignored = 0;
    const bool isothermal = settings_.programRate[0] == 0;
    enterState(isothermal && readinessPasses(ignored) ? kReady : kPreparing);
}

void CKalderRunState::onMethodStarted(int /*channel*/) {
    std::lock_guard lock(mutex_);
    enterState(kPreparing);
}

void CKalderRunState::prepareForAnalysis() {
    std::lock_guard lock(mutex_);
    if (analysisParam_)
        analysisParam_->setInt(0);
}

void CKalderRunState::setCooling(bool on) {
    std::lock_guard lock(mutex_);
    enterState(on ? kCooling : kPreparing);
}

}  // namespace zelmora
