#pragma once
// The values a Kalder chromatograph reports in its status packets, as the
// driver keeps them after each packet: state and error bytes, zone
// temperatures and heating powers, the column programme's set point, gas
// flows and pressures per gas channel 0-11, mains voltage, flap position and
// the first sample of each detector channel.

#include <array>
#include <cstdint>

#include "instruments/wire/kalder_frame.h"

namespace zelmora {

// The latest values the instrument reported.
struct KalderLiveValues {
    std::uint8_t state = 0;
    std::uint8_t errByte = 0;
    std::uint16_t alarmBits = 0;
    std::uint8_t panelMethod = 0xFF;
    std::uint8_t buttons = 0;  // start buttons: bit 0 button 1, bit 1 button 2
    std::array<float, wire::kKalderZones> zoneTemp{};
    std::array<std::uint8_t, wire::kKalderZones> heatingPower{};
    float programmeSetPoint = 0;
    std::array<double, wire::kKalderGasModules> flow{}, flowSet{}, valveVolts{}, inletPressure{},
        outletPressure{};
    std::array<double, wire::kKalderZones> zoneSetTemp{};
    double mainsVolts = 0;
    double flapPercent = 0;
    std::array<std::int32_t, 3> service{};
    std::array<float, wire::kKalderDetectors> detectorRaw{};
    std::uint64_t packets = 0;
    // Zones the last packet carried (5 in types 0/1, 8 in type 4, 0 in a
    // packet without status).
    int lastZoneCount = 0;

    void update(const wire::KalderPacket& p);
};

// The value an auxiliary channel records for its selector: 0-7 zone
// temperature, 8-15 heating power, 16-23 zone temperature minus its set
// value (zone 0: the programme's current set point), 24-35 gas flow, 36-47
// flow minus its set value, 48-59 inlet pressure, 60-71 outlet pressure,
// 72-83 valve voltage, 84 flap, 85 mains voltage, 86-88 service values;
// anything else 0.
double kalderAuxValue(int selector, const KalderLiveValues& v);

}  // namespace zelmora
