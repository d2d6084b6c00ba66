#pragma once
// The instrument settings a method can carry: the Kalder chromatograph's
// settings (column temperature programme, heated zones, gas channels,
// detectors, valves, autosampler) that are loaded into the chromatograph
// before a run, and the electrochemical detector's settings.
//
// In the method file these are the blocks of tag 1 and tag 10. The tag-1
// block has no length of its own, so a reader must know its layout for the
// file's version to find what follows it; read() takes only the fields that
// version has and leaves the others as they were. write() always writes the
// current layout. Zone, gas-channel and detector numbers are 0-based.

#include <array>
#include <cstdint>

namespace zelmora {

class ArchiveReader;
class ArchiveWriter;

// One gas channel's "Установки газа-носителя".
struct GasChannelSettings {
    std::int32_t gasType = 0;  // 0 "Азот", 1 "Гелий", 2 "Аргон", 3 "Водород", 4 "Воздух"
    std::int32_t mode = 0;  // 0 "Постоянный расход" ... 11 "При поджиге выключать"
    float columnLength = 0;    // m
    float columnDiameter = 0;  // inner diameter, mm
    // Pressure programme (modes 3-5): P1, P2, P3 in кгс/см2, t1, t2 in min,
    // ramps V12, V23 in кгс/см2/мин.
    std::array<float, 3> pressure{};
    std::array<float, 2> pressureTime{};
    std::array<float, 2> pressureRate{};

    bool operator==(const GasChannelSettings&) const = default;
};

struct ValveSettings {
    double time1 = 0;               // min, "время1"
    double time2 = 0;               // min, "время2"
    std::int32_t mode = 0;          // 0 "Кран-дозатор", 1 "Перекл. кран"
    std::int32_t initialState = 0;  // 0 position "1", 1 position "2"
    std::int32_t channel = 0;       // recording channel started with the valve, 0-3

    bool operator==(const ValveSettings&) const = default;
};

// One of the additional heated zones of the valve page ("Зона 5" ... "Зона 8").
struct AdditionalZoneSettings {
    float setTemperature = 0;  // °C
    float maximum = 0;         // "Защита", °C
    float tolerance = 0;       // "Допуск", °C

    bool operator==(const AdditionalZoneSettings&) const = default;
};

// The "Pelvio" autosampler.
struct AutosamplerSettings {
    std::int32_t firstVial = 0;
    std::int32_t lastVial = 0;
    std::int32_t injectionsPerVial = 0;
    std::int32_t pumpings = 0;
    std::int32_t washingFromAboveSeconds = 0;
    std::int32_t aspirationSpeed = 0;  // µl/s
    std::int32_t injectionSpeed = 0;   // µl/s
    std::int32_t injectionTimeSeconds = 0;
    float sampleVolume = 0;    // µl
    std::int32_t port = 0;     // 0 "COM1" ... 11 "COM12"
    std::int32_t channel = 0;  // chromatograph channel bound to the sampler, 0-1

    bool operator==(const AutosamplerSettings&) const = default;
};

struct MethodKalderSettings {
    static constexpr int kZones = 8;
    static constexpr int kGasChannels = 12;
    static constexpr int kDetectors = 4;
    static constexpr int kValves = 4;

    // "Общие": zone 0 is the column, whose temperature follows the programme;
    // zoneTemperature[0] is therefore never stored.
    std::array<float, kZones> zoneTemperature{};
    std::array<std::int32_t, kZones> zoneNameCode{};
    // Column programme: temperatures T1..T5, isotherm times 1..5 (min) and
    // heating rates V12, V23, V34, V45 (°C/min).
    std::array<float, 5> programTemperature{};
    std::array<float, 5> programIsotherm{};
    std::array<float, 4> programRate{};
    // Set value of each gas channel, in the unit of the channel's mode.
    std::array<float, kGasChannels> gasSetValue{};
    std::array<GasChannelSettings, kGasChannels> gasChannels{};

    // "Дополнительные".
    std::array<float, kZones> zoneMaximum{};
    std::array<float, kZones> zoneTolerance{};
    float carrierTolerance = 0;   // gas channels 0-7
    float hydrogenTolerance = 0;  // gas channels 8 and 10
    float airTolerance = 0;       // gas channels 9 and 11
    float flameLevel = 0;         // mV
    std::array<std::int32_t, kDetectors> invertDetector{};
    std::int32_t columnBelowDetector = 0;  // "Tкол < Tдет"
    float pressureTolerance = 0;
    std::int32_t ignitionAttempts = 0;
    std::array<float, kDetectors> bridgeVoltage{};  // of the conductivity detectors
    std::array<float, kDetectors> balance{};        // of the conductivity detectors
    std::int32_t autosamplerInUse = 0;
    std::int32_t closeFlap = 0;
    std::array<std::int32_t, 2> buttonFunction{};  // "Кнопка 1", "Кнопка 2", 0-17
    std::int32_t readinessDelaySeconds = 0;
    std::int32_t silentMode = 0;

    // "Краны/Т.Зоны".
    std::array<ValveSettings, kValves> valves{};
    std::array<AdditionalZoneSettings, 4> additionalZones{};

    // "Pelvio".
    AutosamplerSettings autosampler;

    // Total time of the column programme: the first isotherm, then for steps
    // 2, 3 and 4, as long as the rate leading to the step is not zero,
    // |T(k) - T(k-1)| / rate + the isotherm of step k. The fifth step is
    // never run.
    double programTime() const;
    // Adds `minutes` to the isotherm of the last step in use: step 1 when V12
    // is 0, else step 2 when V23 is 0, else step 3 when V34 is 0, else step 4.
    void lengthenProgram(double minutes);

    // Reads the block of a method file of `version`; fields that version
    // lacks keep their values. T5 and V45 are set to 0 afterwards.
    void read(ArchiveReader& ar, int version);
    void write(ArchiveWriter& ar) const;

    bool operator==(const MethodKalderSettings&) const = default;
};

// The electrochemical and conductivity detector ("ЭХД+КД"). The block is the
// same in every file version (80 bytes).
struct MethodEhdSettings {
    static constexpr int kBlockSize = 80;

    std::int32_t mode = 0;  // 0 "Пост. токовый ЭХД", 1 "Импульсный ЭХД", 2 "Кондуктометр"
    std::int32_t range = 0;           // 0 "Точный", 1 "Грубый"
    double detectorTemperature = 20;  // °C
    double columnTemperature = 20;    // °C
    double cleaningTime = 120;        // s
    double restoringTime = 120;       // s
    double delayTime = 120;           // s
    double measuringPotential = 0;    // V, working electrode
    double cleaningPotential = 0;     // V
    double restoringPotential = 0;    // V
    std::int32_t detectorThermostat = 1;
    std::int32_t columnThermostat = 1;

    void read(ArchiveReader& ar);
    void write(ArchiveWriter& ar) const;

    bool operator==(const MethodEhdSettings&) const = default;
};

}  // namespace zelmora
