#include "method/instrument_settings.h"

#include <cmath>

#include "document/archive/archive.h"

namespace zelmora {

namespace {

// Version from which each group of fields is stored.
constexpr int kZoneNamesFrom = 40;
constexpr int kEightZonesFrom = 53;  // zones 5-7, gas channels 4-7, 10, 11, detectors 3-4
constexpr int kGasBlocksFrom = 46;

void readGasChannel(ArchiveReader& ar, int version, GasChannelSettings& g) {
    if (version < kGasBlocksFrom)
        return;
    g.gasType = ar.i32();
    g.mode = ar.i32();
    g.columnLength = ar.f32();
    g.columnDiameter = ar.f32();
    for (float& p : g.pressure)
        p = ar.f32();
    for (float& t : g.pressureTime)
        t = ar.f32();
    for (float& v : g.pressureRate)
        v = ar.f32();
}

void writeGasChannel(ArchiveWriter& ar, const GasChannelSettings& g) {
    ar.i32(g.gasType);
    ar.i32(g.mode);
    ar.f32(g.columnLength);
    ar.f32(g.columnDiameter);
    for (float p : g.pressure)
        ar.f32(p);
    for (float t : g.pressureTime)
        ar.f32(t);
    for (float v : g.pressureRate)
        ar.f32(v);
}

// Gas channels whose set values stand in the first and in the second group.
constexpr int kFirstGasGroup[6] = {0, 1, 2, 3, 8, 9};
constexpr int kSecondGasGroup[6] = {4, 5, 6, 7, 10, 11};

}  // namespace

double MethodKalderSettings::programTime() const {
    double total = programIsotherm[0];
    for (int k = 1; k <= 3; ++k) {
        // A rate entered with a sign still heats or cools at that speed; the
        // time of a ramp is never negative.
        const double rate = std::fabs(double(programRate[k - 1]));
        if (rate == 0)
            break;
        total += std::fabs(double(programTemperature[k]) - programTemperature[k - 1]) / rate +
                 programIsotherm[k];
    }
    return total;
}

void MethodKalderSettings::lengthenProgram(double minutes) {
    int step = 3;
    for (int k = 0; k < 3; ++k) {
        if (programRate[k] == 0) {
            step = k;
            break;
        }
    }
    programIsotherm[step] = static_cast<float>(programIsotherm[step] + minutes);
}

void MethodKalderSettings::read(ArchiveReader& ar, int v) {
    // "Общие"
    for (int z = 1; z <= 4; ++z)
        zoneTemperature[z] = ar.f32();
    for (int i = 0; i < 3; ++i)
        programTemperature[i] = ar.f32();
    for (int i = 0; i < 3; ++i)
        programIsotherm[i] = ar.f32();
    programRate[0] = ar.f32();
    programRate[1] = ar.f32();
    for (int c : kFirstGasGroup)
        gasSetValue[c] = ar.f32();
    programTemperature[3] = ar.f32();
    programTemperature[4] = ar.f32();
    programIsotherm[3] = ar.f32();
    programIsotherm[4] = ar.f32();
    programRate[2] = ar.f32();
    programRate[3] = ar.f32();
    if (v >= kZoneNamesFrom) {
        for (int z = 0; z <= 4; ++z)
            zoneNameCode[z] = ar.i32();
    }
    if (v >= kEightZonesFrom) {
        for (int c : kSecondGasGroup)
            gasSetValue[c] = ar.f32();
        for (int z = 5; z <= 7; ++z) {
            zoneTemperature[z] = ar.f32();
            zoneNameCode[z] = ar.i32();
        }
    }
    const int channels = v >= kEightZonesFrom ? kGasChannels : 6;
    for (int c = 0; c < channels; ++c)
        readGasChannel(ar, v, gasChannels[c]);
    // The programme runs at most four steps.
    programTemperature[4] = 0;
    programRate[3] = 0;

    // "Дополнительные"
    const int zones = v >= kEightZonesFrom ? kZones : 5;
    for (int z = 0; z < zones; ++z) {
        zoneMaximum[z] = ar.f32();
        zoneTolerance[z] = ar.f32();
    }
    carrierTolerance = ar.f32();
    hydrogenTolerance = ar.f32();
    airTolerance = ar.f32();
    flameLevel = ar.f32();
    if (v >= 36)
        invertDetector[0] = ar.i32();
    if (v >= 37)
        columnBelowDetector = ar.i32();
    if (v >= 38) {
        pressureTolerance = ar.f32();
        ignitionAttempts = ar.i32();
    }
    if (v >= 39) {
        invertDetector[1] = ar.i32();
        bridgeVoltage[0] = ar.f32();
    }
    if (v >= 42)
        bridgeVoltage[1] = ar.f32();
    if (v >= 44)
        autosamplerInUse = ar.i32();
    if (v >= 47)
        ar.i32();  // reserved
    if (v >= 50) {
        balance[0] = ar.f32();
        balance[1] = ar.f32();
    }
    if (v >= 52)
        closeFlap = ar.i32();
    if (v >= kEightZonesFrom) {
        invertDetector[2] = ar.i32();
        invertDetector[3] = ar.i32();
        balance[2] = ar.f32();
        balance[3] = ar.f32();
        bridgeVoltage[2] = ar.f32();
        bridgeVoltage[3] = ar.f32();
    }
    if (v >= 55) {
        buttonFunction[0] = ar.i32();
        buttonFunction[1] = ar.i32();
    }
    if (v >= 56)
        readinessDelaySeconds = ar.i32();
    if (v >= 57)
        silentMode = ar.i32();

    // "Краны/Т.Зоны"
    if (v >= 43) {
        for (ValveSettings& valve : valves) {
            valve.time1 = ar.f64();
            valve.time2 = ar.f64();
            valve.mode = ar.i32();
            valve.initialState = ar.i32();
            valve.channel = ar.i32();
        }
    }
    if (v >= 51) {
        for (AdditionalZoneSettings& zone : additionalZones) {
            zone.setTemperature = ar.f32();
            zone.maximum = ar.f32();
            zone.tolerance = ar.f32();
        }
    }

    // "Pelvio"
    if (v >= 44) {
        AutosamplerSettings& a = autosampler;
        a.firstVial = ar.i32();
        a.lastVial = ar.i32();
        a.injectionsPerVial = ar.i32();
        a.pumpings = ar.i32();
        a.washingFromAboveSeconds = ar.i32();
        a.aspirationSpeed = ar.i32();
        a.injectionSpeed = ar.i32();
        a.injectionTimeSeconds = ar.i32();
        a.sampleVolume = ar.f32();
        a.port = ar.i32();
    }
    if (v >= 45)
        autosampler.channel = ar.i32();
}

void MethodKalderSettings::write(ArchiveWriter& ar) const {
    for (int z = 1; z <= 4; ++z)
        ar.f32(zoneTemperature[z]);
    for (int i = 0; i < 3; ++i)
        ar.f32(programTemperature[i]);
    for (int i = 0; i < 3; ++i)
        ar.f32(programIsotherm[i]);
    ar.f32(programRate[0]);
    ar.f32(programRate[1]);
    for (int c : kFirstGasGroup)
        ar.f32(gasSetValue[c]);
    ar.f32(programTemperature[3]);
    ar.f32(programTemperature[4]);
    ar.f32(programIsotherm[3]);
    ar.f32(programIsotherm[4]);
    ar.f32(programRate[2]);
    ar.f32(programRate[3]);
    for (int z = 0; z <= 4; ++z)
        ar.i32(zoneNameCode[z]);
    for (int c : kSecondGasGroup)
        ar.f32(gasSetValue[c]);
    for (int z = 5; z <= 7; ++z) {
        ar.f32(zoneTemperature[z]);
        ar.i32(zoneNameCode[z]);
    }
    for (const GasChannelSettings& g : gasChannels)
        writeGasChannel(ar, g);

    for (int z = 0; z < kZones; ++z) {
        ar.f32(zoneMaximum[z]);
        ar.f32(zoneTolerance[z]);
    }
    ar.f32(carrierTolerance);
    ar.f32(hydrogenTolerance);
    ar.f32(airTolerance);
    ar.f32(flameLevel);
    ar.i32(invertDetector[0]);
    ar.i32(columnBelowDetector);
    ar.f32(pressureTolerance);
    ar.i32(ignitionAttempts);
    ar.i32(invertDetector[1]);
    ar.f32(bridgeVoltage[0]);
    ar.f32(bridgeVoltage[1]);
    ar.i32(autosamplerInUse);
    ar.i32(0);  // reserved
    ar.f32(balance[0]);
    ar.f32(balance[1]);
    ar.i32(closeFlap);
    ar.i32(invertDetector[2]);
    ar.i32(invertDetector[3]);
    ar.f32(balance[2]);
    ar.f32(balance[3]);
    ar.f32(bridgeVoltage[2]);
    ar.f32(bridgeVoltage[3]);
    ar.i32(buttonFunction[0]);
    ar.i32(buttonFunction[1]);
    ar.i32(readinessDelaySeconds);
    ar.i32(silentMode);

    for (const ValveSettings& valve : valves) {
        ar.f64(valve.time1);
        ar.f64(valve.time2);
        ar.i32(valve.mode);
        ar.i32(valve.initialState);
        ar.i32(valve.channel);
    }
    for (const AdditionalZoneSettings& zone : additionalZones) {
        ar.f32(zone.setTemperature);
        ar.f32(zone.maximum);
        ar.f32(zone.tolerance);
    }

    const AutosamplerSettings& a = autosampler;
    ar.i32(a.firstVial);
    ar.i32(a.lastVial);
    ar.i32(a.injectionsPerVial);
    ar.i32(a.pumpings);
    ar.i32(a.washingFromAboveSeconds);
    ar.i32(a.aspirationSpeed);
    ar.i32(a.injectionSpeed);
    ar.i32(a.injectionTimeSeconds);
    ar.f32(a.sampleVolume);
    ar.i32(a.port);
    ar.i32(a.channel);
}

void MethodEhdSettings::read(ArchiveReader& ar) {
    mode = ar.i32();
    range = ar.i32();
    detectorTemperature = ar.f64();
    columnTemperature = ar.f64();
    cleaningTime = ar.f64();
    restoringTime = ar.f64();
    delayTime = ar.f64();
    measuringPotential = ar.f64();
    cleaningPotential = ar.f64();
    restoringPotential = ar.f64();
    detectorThermostat = ar.i32();
    columnThermostat = ar.i32();
}

void MethodEhdSettings::write(ArchiveWriter& ar) const {
    ar.i32(mode);
    ar.i32(range);
    ar.f64(detectorTemperature);
    ar.f64(columnTemperature);
    ar.f64(cleaningTime);
    ar.f64(restoringTime);
    ar.f64(delayTime);
    ar.f64(measuringPotential);
    ar.f64(cleaningPotential);
    ar.f64(restoringPotential);
    ar.i32(detectorThermostat);
    ar.i32(columnThermostat);
}

}  // namespace zelmora
