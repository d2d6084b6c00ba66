#include "instruments/kalder_settings.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/text.h"
#include "app/work_log.h"
#include "instruments/kalder_instrument.h"
#include "instruments/kalder_modules.h"
#include "method/method_file.h"
#include "method/method_sheet.h"

namespace zelmora {

using namespace kalder;

namespace {

// Gas channels of the carrier, hydrogen and air tolerances.
bool isHydrogenChannel(int c) {
    return c == 8 || c == 10;
}
bool isAirChannel(int c) {
    return c == 9 || c == 11;
}

std::size_t at(int i) {
    return static_cast<std::size_t>(i);
}

}  // namespace

ValveSlots valveSlots(const std::vector<std::uint8_t>& composition) {
    ValveSlots slots{{{0, 0}, {0, 1}, {0, 2}, {0, 3}}};
    int block = 0, slot = 0;
    for (std::uint8_t a : composition) {
        const int cls = moduleClass(a);
        if (cls != kClassValves2 && cls != kClassValves4)
            continue;
        const int count = cls == kClassValves4 ? 4 : 2;
        for (int v = 0; v < count && slot < 4; ++v)
            slots[at(slot++)] = {block, v};
        ++block;
    }
    // Valves the instrument does not have keep the places after the last
    // block, so that a method still carries all four.
    for (int v = 0; slot < 4 && slot > 0; ++v)
        slots[at(slot++)] = {block, v};
    return slots;
}

MethodKalderSettings blockFromRunSettings(const KalderRunSettings& rs, const PelvioSettings& pelvio,
                                          const ValveSlots& slots) {
    MethodKalderSettings b;
    for (int z = 0; z < MethodKalderSettings::kZones; ++z) {
        const KalderZoneConfig& zc = rs.zones[at(z)];
        if (z > 0)
            b.zoneTemperature[at(z)] = static_cast<float>(zc.setTemp);
        b.zoneMaximum[at(z)] = static_cast<float>(zc.maxTemp);
        b.zoneTolerance[at(z)] = static_cast<float>(zc.tolerance);
        b.zoneNameCode[at(z)] = rs.zoneNameCode[at(z)];
    }
    for (int i = 0; i < 5; ++i) {
        b.programTemperature[at(i)] = static_cast<float>(rs.programTemp[at(i)]);
        b.programIsotherm[at(i)] = static_cast<float>(rs.programTime[at(i)]);
    }
    for (int i = 0; i < 4; ++i)
        b.programRate[at(i)] = static_cast<float>(rs.programRate[at(i)]);
    for (int c = 0; c < MethodKalderSettings::kGasChannels; ++c) {
        const GasChannelConfig& g = rs.gas[at(c)];
        double set = g.flowSet;
        if (g.mode == 1)
            set = g.pressureSet;
        else if (g.mode == 2)
            set = g.velocityTarget;
        else if (g.mode >= 3 && g.mode <= 5)
            set = g.programme.p1;
        b.gasSetValue[at(c)] = static_cast<float>(set);
        GasChannelSettings& s = b.gasChannels[at(c)];
        s.gasType = g.gasType;
        s.mode = g.mode;
        s.columnLength = static_cast<float>(g.columnLengthM);
        s.columnDiameter = static_cast<float>(g.columnDiameterMm);
        s.pressure = {static_cast<float>(g.programme.p1), static_cast<float>(g.programme.p2),
                      static_cast<float>(g.programme.p3)};
        s.pressureTime = {static_cast<float>(g.programme.t1), static_cast<float>(g.programme.t2)};
        s.pressureRate = {static_cast<float>(g.programme.v12), static_cast<float>(g.programme.v23)};
    }
    b.carrierTolerance = static_cast<float>(rs.gas[0].flowTolerance);
    b.hydrogenTolerance = static_cast<float>(rs.gas[8].flowTolerance);
    b.airTolerance = static_cast<float>(rs.gas[9].flowTolerance);
    b.pressureTolerance = static_cast<float>(rs.gas[0].pressureTolerance);
    b.flameLevel = static_cast<float>(rs.flameThreshold);
    for (int d = 0; d < MethodKalderSettings::kDetectors; ++d) {
        b.invertDetector[at(d)] = rs.invertDetector[at(d)] ? 1 : 0;
        b.bridgeVoltage[at(d)] = static_cast<float>(rs.bridgeVoltage[at(d)]);
        b.balance[at(d)] = static_cast<float>(rs.balance[at(d)]);
    }
    b.columnBelowDetector = rs.columnBelowDetector ? 1 : 0;
    b.ignitionAttempts = rs.ignitionAttempts;
    b.autosamplerInUse = pelvio.use ? 1 : 0;
    b.closeFlap = rs.closeFlap ? 1 : 0;
    b.buttonFunction = {rs.buttonFunction[0], rs.buttonFunction[1]};
    b.readinessDelaySeconds = rs.readyDelaySeconds;
    b.silentMode = rs.silentMode ? 1 : 0;
    for (int v = 0; v < MethodKalderSettings::kValves; ++v) {
        const auto [block, index] = slots[at(v)];
        ValveConfig c;
        if (at(block) < rs.valves.size() && at(index) < rs.valves[at(block)].size())
            c = rs.valves[at(block)][at(index)];
        ValveSettings& s = b.valves[at(v)];
        s.time1 = c.time1;
        s.time2 = c.time2;
        s.mode = c.mode;
        s.initialState = c.initialState;
        s.channel = c.syncChannel;
    }
    for (int z = 0; z < 4; ++z) {
        const KalderZoneConfig& zc = rs.valveZones[at(z)];
        b.additionalZones[at(z)] = {static_cast<float>(zc.setTemp), static_cast<float>(zc.maxTemp),
                                    static_cast<float>(zc.tolerance)};
    }
    AutosamplerSettings& a = b.autosampler;
    a.firstVial = pelvio.firstVial;
    a.lastVial = pelvio.lastVial;
    a.injectionsPerVial = pelvio.injectionsPerVial;
    a.pumpings = pelvio.pumpings;
    a.washingFromAboveSeconds = pelvio.washSeconds;
    a.aspirationSpeed = pelvio.aspirationSpeed;
    a.injectionSpeed = pelvio.injectionSpeed;
    a.injectionTimeSeconds = pelvio.injectionSeconds;
    a.sampleVolume = static_cast<float>(pelvio.volumeTenths / 10.0);
    a.port = pelvio.portIndex;
    a.channel = pelvio.syncChannel;
    return b;
}

KalderRunSettings runSettingsFromBlock(const MethodKalderSettings& b, KalderRunSettings rs,
                                       const ValveSlots& slots, unsigned pages) {
    rs.given = true;
    if (pages & kKalderPageGeneral) {
        for (int z = 1; z < MethodKalderSettings::kZones; ++z)
            rs.zones[at(z)].setTemp = b.zoneTemperature[at(z)];
        for (int z = 0; z < MethodKalderSettings::kZones; ++z)
            rs.zoneNameCode[at(z)] = b.zoneNameCode[at(z)];
        // The programme runs at most four steps: the fifth is written as 0.
        for (int i = 0; i < 4; ++i) {
            rs.programTemp[at(i)] = b.programTemperature[at(i)];
            rs.programTime[at(i)] = b.programIsotherm[at(i)];
        }
        rs.programTemp[4] = 0;
        rs.programTime[4] = 0;
        for (int i = 0; i < 3; ++i)
            rs.programRate[at(i)] = b.programRate[at(i)];
        rs.programRate[3] = 0;
        for (int c = 0; c < MethodKalderSettings::kGasChannels; ++c) {
            GasChannelConfig& g = rs.gas[at(c)];
            const GasChannelSettings& s = b.gasChannels[at(c)];
            g.gasType = s.gasType;
            g.mode = std::clamp(s.mode, 0, kGasModes - 1);
            g.columnLengthM = s.columnLength;
            g.columnDiameterMm = s.columnDiameter;
            g.programme = {s.pressure[0],     s.pressure[1],     s.pressure[2],
                           s.pressureTime[0], s.pressureTime[1], s.pressureRate[0],
                           s.pressureRate[1]};
            const double set = b.gasSetValue[at(c)];
            if (g.mode == 1)
                g.pressureSet = set;
            else if (g.mode == 2)
                g.velocityTarget = set;
            else if (g.mode < 3 || g.mode > 5)
                g.flowSet = set;
        }
    }
    if (pages & kKalderPageAdditional) {
        for (int z = 0; z < MethodKalderSettings::kZones; ++z) {
            rs.zones[at(z)].maxTemp = b.zoneMaximum[at(z)];
            rs.zones[at(z)].tolerance = b.zoneTolerance[at(z)];
        }
        for (int c = 0; c < MethodKalderSettings::kGasChannels; ++c) {
            GasChannelConfig& g = rs.gas[at(c)];
            g.flowTolerance = isHydrogenChannel(c) ? b.hydrogenTolerance
                              : isAirChannel(c)    ? b.airTolerance
                                                   : b.carrierTolerance;
            g.pressureTolerance = b.pressureTolerance;
        }
        rs.flameThreshold = b.flameLevel;
        for (int d = 0; d < MethodKalderSettings::kDetectors; ++d) {
            rs.invertDetector[at(d)] = b.invertDetector[at(d)] != 0;
            rs.bridgeVoltage[at(d)] = b.bridgeVoltage[at(d)];
            rs.balance[at(d)] = b.balance[at(d)];
        }
        rs.columnBelowDetector = b.columnBelowDetector != 0;
        rs.ignitionAttempts = std::clamp(b.ignitionAttempts, 0, 20);
        rs.closeFlap = b.closeFlap != 0;
        rs.buttonFunction = {std::clamp(b.buttonFunction[0], 0, 17),
                             std::clamp(b.buttonFunction[1], 0, 17)};
        rs.readyDelaySeconds = std::clamp(b.readinessDelaySeconds, 0, 3600);
        rs.silentMode = b.silentMode != 0;
    }
    if (pages & kKalderPageValves) {
        for (int v = 0; v < MethodKalderSettings::kValves; ++v) {
            const auto [block, index] = slots[at(v)];
            if (rs.valves.size() <= at(block))
                rs.valves.resize(at(block) + 1);
            auto& valves = rs.valves[at(block)];
            if (valves.size() <= at(index))
                valves.resize(at(index) + 1);
            const ValveSettings& s = b.valves[at(v)];
            ValveConfig& c = valves[at(index)];
            c.time1 = s.time1;
            c.time2 = s.time2;
            c.mode = s.mode != 0 ? 1 : 0;
            c.initialState = s.initialState != 0 ? 1 : 0;
            c.syncChannel = std::clamp(s.channel, 0, 3);
        }
        for (int z = 0; z < 4; ++z) {
            const AdditionalZoneSettings& s = b.additionalZones[at(z)];
            rs.valveZones[at(z)] = {s.setTemperature, s.tolerance, s.maximum};
        }
    }
    return rs;
}

PelvioSettings pelvioFromBlock(const MethodKalderSettings& b, PelvioSettings p) {
    const AutosamplerSettings& a = b.autosampler;
    p.use = b.autosamplerInUse != 0;
    p.firstVial = a.firstVial;
    p.lastVial = a.lastVial;
    p.injectionsPerVial = a.injectionsPerVial;
    p.pumpings = a.pumpings;
    p.washSeconds = a.washingFromAboveSeconds;
    p.aspirationSpeed = a.aspirationSpeed;
    p.injectionSpeed = a.injectionSpeed;
    p.injectionSeconds = a.injectionTimeSeconds;
    p.volumeTenths = static_cast<int>(std::lround(double(a.sampleVolume) * 10.0));
    p.portIndex = std::clamp(a.port, 0, 11);
    p.syncChannel = std::clamp(a.channel, 0, 1);
    return p;
}

KalderSheetData kalderSettingsFromDevice(const CKalderInstrument& device) {
    const CKalderRunState& run = device.runStates();
    KalderRunSettings rs = device.runSettings();
    // The names the control unit reports are the zones' names.
    for (int z = 0; z < 8; ++z) {
        const int code = run.reportedZoneCode(z);
        if (code >= 0)
            rs.zoneNameCode[at(z)] = code;
    }
    KalderSheetData d;
    d.block = blockFromRunSettings(rs, device.pelvioSettings(), valveSlots(run.composition()));
    for (int a = 0; a < 4; ++a)
        d.auxSelector[at(a)] = device.auxSelector(a);
    d.startsAllChannels = device.startsAllChannels();
    d.noWaitProgramme = device.noWaitProgramme();
    return d;
}

std::string kalderZoneName(int code) {
    return code > 0 ? zoneName(code) : std::string();
}

bool isDetectorZoneCode(int code) {
    if (code <= 0)
        return false;
    const int g = code / 16;
    return (g >= 3 && g <= 8) || g == 12 || g == 131;
}

std::optional<std::string> checkKalderSettings(const MethodKalderSettings& b,
                                               const std::array<bool, 8>& zonePresent) {
    // Steps in use: the first, then each one the rate leading to it reaches.
    int steps = 1;
    while (steps < 4 && b.programRate[at(steps - 1)] > 0)
        ++steps;
    for (int i = 0; i < 3; ++i) {
        const float v = b.programRate[at(i)];
        if (!(v >= 0) || !std::isfinite(v))
            return text::format("Скорость нагрева V%d%d должна быть больше нуля.", i + 1, i + 2);
        if (v == 0) {
            for (int k = i + 1; k < 3; ++k) {
                if (b.programRate[at(k)] != 0)
                    return text::format(
                        "Скорость нагрева V%d%d равна нулю, а следующие шаги программы заданы.\n"
                        "Задайте скорость больше нуля или уберите шаги после T%d.",
                        i + 1, i + 2, i + 1);
            }
        }
    }
    for (int c = 0; c < MethodKalderSettings::kGasChannels; ++c) {
        const GasChannelSettings& g = b.gasChannels[at(c)];
        if (g.mode < 3 || g.mode > 5)
            continue;
        for (int r = 0; r < 2; ++r) {
            const float v = g.pressureRate[at(r)];
            if (!(v >= 0) || !std::isfinite(v))
                return text::format("Скорость программы газа %d V%d%d не может быть отрицательной.",
                                    c + 1, r + 1, r + 2);
        }
    }
    for (int i = 0; i < steps; ++i) {
        if (b.programTemperature[at(i)] > b.zoneMaximum[0])
            return text::format("Температура колонок T%d больше максимальной в контроле перегрева.",
                                i + 1);
    }
    for (int z = 1; z < MethodKalderSettings::kZones; ++z) {
        if (b.zoneTemperature[at(z)] > b.zoneMaximum[at(z)])
            return text::format(
                "Температура зоны-%d (%s) больше чем максимально возможная в контроле перегрева.",
                z, kalderZoneName(b.zoneNameCode[at(z)]).c_str());
    }
    if (b.columnBelowDetector != 0) {
        for (int z = 1; z < MethodKalderSettings::kZones; ++z) {
            if (!isDetectorZoneCode(b.zoneNameCode[at(z)]) || b.zoneNameCode[at(z)] == 2064)
                continue;
            for (int i = 0; i < steps; ++i) {
                if (b.programTemperature[at(i)] > b.zoneTemperature[at(z)])
                    return text::format(
                        "Температура в програме колонок больше, чем температура детектора %s при "
                        "выбранной опции Tкол < Tдет.",
                        kalderZoneName(b.zoneNameCode[at(z)]).c_str());
            }
        }
    }
    for (float balance : b.balance) {
        if (!(balance >= -100 && balance <= 100))
            return std::string("Баланс ДТП должен находиться в пределах от -100 до 100.");
    }
    for (int z = 0; z < MethodKalderSettings::kZones; ++z) {
        if (zonePresent[at(z)] && b.zoneNameCode[at(z)] <= 0)
            return text::format("Вы забыли установить название температурной зоны %d", z);
    }
    return std::nullopt;
}

std::optional<std::string> zoneNameMismatch(const CKalderInstrument& device,
                                            const MethodKalderSettings& b) {
    const CKalderRunState& run = device.runStates();
    for (int z = 1; z < MethodKalderSettings::kZones; ++z) {
        const int own = run.reportedZoneCode(z);
        if (own < 0 || !run.zonePresent(z))
            continue;
        if (own != b.zoneNameCode[at(z)])
            return text::format(
                "Не могу задать параметры прибора.\nНаименования температурных зон в приборе и "
                "методе различны.\nЗона %d в приборе называется как \"%s\", а в методе: \"%s\".",
                z, zoneName(own).c_str(), kalderZoneName(b.zoneNameCode[at(z)]).c_str());
    }
    return std::nullopt;
}

Status applyKalderSettings(CKalderInstrument& device, const KalderSheetData& data,
                           int accessLevel) {
    unsigned pages = kKalderAllPages;
    std::optional<std::string> refused;
    if (accessLevel <= 3) {
        refused = zoneNameMismatch(device, data.block);
        if (refused)
            pages &= ~unsigned(kKalderPageGeneral);
    }
    const ValveSlots slots = valveSlots(device.runStates().composition());
    device.setRunSettings(runSettingsFromBlock(data.block, device.runSettings(), slots, pages));
    device.setPelvioSettings(pelvioFromBlock(data.block, device.pelvioSettings()));
    for (int a = 0; a < 4; ++a)
        device.setAuxSelector(a, data.auxSelector[at(a)]);
    device.setStartsAllChannels(data.startsAllChannels);
    device.setNoWaitProgramme(data.noWaitProgramme);
    if (refused)
        return Status::failure(*refused);
    return {};
}

namespace {

Result<std::string> readFileBytes(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return Status::failure("Файл \"" + path.string() + "\" не найден.");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    if (!in.good() && !in.eof())
        return Status::failure("Ошибка чтения файла \"" + path.string() + "\"");
    return std::move(s).str();
}

}  // namespace

Status loadMethodIntoKalder(CKalderInstrument& device, const std::string& methodName,
                            int accessLevel) {
    const int number = device.deviceIndex() + 1;
    const std::string name = device.displayName();
    auto fail = [&](const std::string& why) {
        CWorkLog::instance().write(
            text::format("! Прибор %d (%s): параметры из метода %s не загружены: ", number,
                         name.c_str(), methodName.c_str()) +
            why);
        return Status::failure(why);
    };
    if (!isValidMethodName(methodName))
        return fail("недопустимое имя метода");
    const Result<std::string> bytes = readFileBytes(methodFilePath(methodName));
    if (!bytes)
        return fail(bytes.message());
    // Fields an older file lacks keep what the chromatograph has.
    KalderSheetData data = kalderSettingsFromDevice(device);
    Method method;
    if (const Result<int> r = readMethodFile(*bytes, method); !r)
        return fail(r.message());
    if (!method.kalder)
        return {};
    method = Method{};
    method.kalder = data.block;
    if (const Result<int> r = readMethodFile(*bytes, method); !r)
        return fail(r.message());
    data.block = *method.kalder;
    std::array<bool, 8> present{};
    for (int z = 0; z < 8; ++z)
        present[at(z)] = device.runStates().zonePresent(z);
    if (const auto why = checkKalderSettings(data.block, present))
        return fail(*why);
    if (Status s = applyKalderSettings(device, data, accessLevel); !s.ok())
        return fail(s.message());
    CWorkLog::instance().write(
        text::format("  Загружены новые параметры в прибор %d (%s) из метода %s", number,
                     name.c_str(), methodName.c_str()));
    return {};
}

}  // namespace zelmora
