#pragma once
// Method files put together byte by byte from the file's layout, for every
// version, independently of the writer. Each builder also records in
// `expected` what a reader must make of the bytes, starting from the values
// `expected` held before (fields an older version lacks keep them).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "method/method_records.h"

namespace zelmora::test {

// Little-endian bytes, written without the archive code.
struct Bytes {
    std::string s;

    void u8(std::uint8_t v) { s.push_back(static_cast<char>(v)); }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            u8(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void f32(float v) {
        std::uint32_t b;
        std::memcpy(&b, &v, 4);
        u32(b);
    }
    void f64(double v) {
        std::uint64_t b;
        std::memcpy(&b, &v, 8);
        u32(static_cast<std::uint32_t>(b));
        u32(static_cast<std::uint32_t>(b >> 32));
    }
    // A short string of Windows-1251 bytes with its one-byte length.
    void str(std::string_view cp1251) {
        u8(static_cast<std::uint8_t>(cp1251.size()));
        s.append(cp1251);
    }
};

// "Метан" in Windows-1251.
inline constexpr const char* kMethane1251 = "\xCC\xE5\xF2\xE0\xED";
inline constexpr const char* kMethaneUtf8 = "Метан";

// How the builder fills the values a reader ignores: as the writer writes
// them (for byte-exact comparisons) or with junk that must not matter.
enum class Ignored { AsWritten, Junk };

// The instrument block of tag 1 in the layout of `v`; `e` receives the
// values. Every value is distinct so that a field read out of place shows.
inline void buildKalderBlock(Bytes& b, int v, MethodKalderSettings& e,
                             Ignored ignored = Ignored::AsWritten) {
    float nf = 1.0f;
    std::int32_t ni = 1000;
    auto F = [&](float& field) {
        field = nf;
        b.f32(nf);
        nf += 1.0f;
    };
    auto I = [&](std::int32_t& field) {
        field = ni;
        b.i32(ni);
        ni += 1;
    };
    auto D = [&](double& field) {
        field = nf + 0.5;
        b.f64(nf + 0.5);
        nf += 1.0f;
    };
    // "Общие"
    for (int z = 1; z <= 4; ++z)
        F(e.zoneTemperature[z]);
    F(e.programTemperature[0]);
    F(e.programTemperature[1]);
    F(e.programTemperature[2]);
    F(e.programIsotherm[0]);
    F(e.programIsotherm[1]);
    F(e.programIsotherm[2]);
    F(e.programRate[0]);
    F(e.programRate[1]);
    for (int c : {0, 1, 2, 3, 8, 9})
        F(e.gasSetValue[c]);
    // T5 and V45 are dropped by the reader; as written they are 0.
    auto dropped = [&](float& field) {
        field = 0;
        b.f32(ignored == Ignored::Junk ? 999.0f : 0.0f);
    };
    F(e.programTemperature[3]);
    dropped(e.programTemperature[4]);
    F(e.programIsotherm[3]);
    F(e.programIsotherm[4]);
    F(e.programRate[2]);
    dropped(e.programRate[3]);
    if (v >= 40)
        for (int z = 0; z <= 4; ++z)
            I(e.zoneNameCode[z]);
    if (v >= 53) {
        for (int c : {4, 5, 6, 7, 10, 11})
            F(e.gasSetValue[c]);
        for (int z = 5; z <= 7; ++z) {
            F(e.zoneTemperature[z]);
            I(e.zoneNameCode[z]);
        }
    }
    const int channels = v >= 53 ? 12 : 6;
    for (int c = 0; c < channels && v >= 46; ++c) {
        GasChannelSettings& g = e.gasChannels[c];
        I(g.gasType);
        I(g.mode);
        F(g.columnLength);
        F(g.columnDiameter);
        F(g.pressure[0]);
        F(g.pressure[1]);
        F(g.pressure[2]);
        F(g.pressureTime[0]);
        F(g.pressureTime[1]);
        F(g.pressureRate[0]);
        F(g.pressureRate[1]);
    }
    // "Дополнительные"
    const int zones = v >= 53 ? 8 : 5;
    for (int z = 0; z < zones; ++z) {
        F(e.zoneMaximum[z]);
        F(e.zoneTolerance[z]);
    }
    F(e.carrierTolerance);
    F(e.hydrogenTolerance);
    F(e.airTolerance);
    F(e.flameLevel);
    if (v >= 36)
        I(e.invertDetector[0]);
    if (v >= 37)
        I(e.columnBelowDetector);
    if (v >= 38) {
        F(e.pressureTolerance);
        I(e.ignitionAttempts);
    }
    if (v >= 39) {
        I(e.invertDetector[1]);
        F(e.bridgeVoltage[0]);
    }
    if (v >= 42)
        F(e.bridgeVoltage[1]);
    if (v >= 44)
        I(e.autosamplerInUse);
    if (v >= 47)
        b.i32(ignored == Ignored::Junk ? 4242 : 0);
    if (v >= 50) {
        F(e.balance[0]);
        F(e.balance[1]);
    }
    if (v >= 52)
        I(e.closeFlap);
    if (v >= 53) {
        I(e.invertDetector[2]);
        I(e.invertDetector[3]);
        F(e.balance[2]);
        F(e.balance[3]);
        F(e.bridgeVoltage[2]);
        F(e.bridgeVoltage[3]);
    }
    if (v >= 55) {
        I(e.buttonFunction[0]);
        I(e.buttonFunction[1]);
    }
    if (v >= 56)
        I(e.readinessDelaySeconds);
    if (v >= 57)
        I(e.silentMode);
    // "Краны/Т.Зоны"
    if (v >= 43)
        for (ValveSettings& valve : e.valves) {
            D(valve.time1);
            D(valve.time2);
            I(valve.mode);
            I(valve.initialState);
            I(valve.channel);
        }
    if (v >= 51)
        for (AdditionalZoneSettings& zone : e.additionalZones) {
            F(zone.setTemperature);
            F(zone.maximum);
            F(zone.tolerance);
        }
    // "Pelvio"
    if (v >= 44) {
        AutosamplerSettings& a = e.autosampler;
        I(a.firstVial);
        I(a.lastVial);
        I(a.injectionsPerVial);
        I(a.pumpings);
        I(a.washingFromAboveSeconds);
        I(a.aspirationSpeed);
        I(a.injectionSpeed);
        I(a.injectionTimeSeconds);
        F(a.sampleVolume);
        I(a.port);
    }
    if (v >= 45)
        I(e.autosampler.channel);
    // The reader keeps the programme to four steps.
    e.programTemperature[4] = 0;
    e.programRate[3] = 0;
}

inline void buildEhdBlock(Bytes& b, MethodEhdSettings& e) {
    e = {2, 1, 35.5, 40.25, 80, 120, 200, 1.25, -0.5, 0.75, 0, 1};
    b.i32(e.mode);
    b.i32(e.range);
    b.f64(e.detectorTemperature);
    b.f64(e.columnTemperature);
    b.f64(e.cleaningTime);
    b.f64(e.restoringTime);
    b.f64(e.delayTime);
    b.f64(e.measuringPotential);
    b.f64(e.cleaningPotential);
    b.f64(e.restoringPotential);
    b.i32(e.detectorThermostat);
    b.i32(e.columnThermostat);
}

struct BuildOptions {
    Ignored ignored = Ignored::AsWritten;
    bool kalder = true;
    bool ehd = true;
};

// A whole method file of version `v` with fixed content: three components
// (two, one duplicated and no calibration levels), two events, report
// names and a group.
inline std::string buildMethodFile(int v, Method& e, BuildOptions opt = {}) {
    const bool junk = opt.ignored == Ignored::Junk;
    Bytes b;
    b.u32(0x5C394583);
    b.i32(v);

    b.str(kMethane1251);
    b.str("comment");
    e.info = {kMethaneUtf8, "comment"};

    CaptureSettings& c = e.capture;
    b.f32(45.5f);
    b.f32(10.0f);
    c.analysisTime = 45.5f;
    c.samplingRate = 10.0f;
    if (v >= 10) {
        b.i32(0);
        c.passportKind = 0;
    }
    if (v >= 33) {
        b.i32(1);
        b.str("D:\\data");
        c.saveToFolder = true;
        c.folder = "D:\\data";
    }
    if (v >= 35) {
        b.i32(1);
        b.f32(-5.0f);
        b.f32(500.0f);
        c.fixedBounds = true;
        c.displayMinimum = -5.0f;
        c.displayMaximum = 500.0f;
    }

    b.i32(2);
    b.f32(3.0f);
    b.f32(0.5f);
    e.filter = {2, 0.5f, 3.0f};

    MarkingParameters& m = e.marking;
    for (float x : {2.4f, 0.2f, 1.5f, 0.05f, 0.02f, 0.3f})
        b.f32(x);
    m.MaxWidth = 2.4f;
    m.Width = 0.2f;
    m.WidthDoublingTime = 1.5f;
    m.MinHeight = 0.05f;
    m.MinArea = 0.02f;
    m.MarkingStart = 0.3f;
    if (v >= 3) {
        b.f32(0.7f);
        b.f32(0.08f);
        m.MaxCommonBaselineDistance = 0.7f;
        m.MaxRiderArea = 0.08f;
    } else {
        m.Width = 0.2f / (2.4f / 120.0f);
    }
    if (v >= 7) {
        b.i32(1);
        b.i32(6);
        b.f64(0.15);
        b.f64(2.0);
        b.i32(1);
        b.i32(0);
        b.f64(0);
        b.f64(5.0);
        b.i32(0);
        m.events = {{6, 2.0, 0.15, 1}, {0, 5.0, 0, 0}};
    }

    CalculationSettings& k = e.calculation;
    b.i32(3);
    b.f64(junk ? 123.0 : 0.0);
    b.i32(1);
    k.kind = 3;
    k.response = 1;
    if (v >= 3 && v <= 27)
        b.i32(junk ? 77 : 0);
    if (v >= 3) {
        b.str("Std");
        k.standard = "Std";
    }
    if (v >= 4) {
        b.i32(2);
        k.referenceIdentification = 2;
    }
    if (v >= 15) {
        b.i32(junk ? 5 : 0);
        b.i32(junk ? 6 : 0);
    }
    if (v >= 48) {
        b.i32(1);
        b.str("Main");
        k.mainByDifference = true;
        k.mainSubstance = "Main";
    }
    if (v >= 54) {
        b.i32(1);
        b.f64(0.9);
        k.identification = 1;
        k.deadTime = 0.9;
    }

    struct Source {
        const char* name1251;
        const char* nameUtf8;
        std::vector<std::uint32_t> dates;
    };
    const Source sources[3] = {{kMethane1251, kMethaneUtf8, {2000, 1000}},
                               {"Ethane", "Ethane", {3000, 3000}},
                               {"Propane", "Propane", {}}};
    b.i32(3);
    k.components.clear();
    double x = 1.0;
    for (const Source& src : sources) {
        MethodComponent mc;
        b.str(src.name1251);
        mc.name = src.nameUtf8;
        b.f64(mc.retentionTime = x++);
        b.f64(mc.window = x++);
        b.f64(mc.k0 = x++);
        b.f64(mc.k1 = x++);
        if (v >= 3) {
            b.i32(junk ? 9 : 0);
            b.i32(1);
            mc.manual = true;
            b.f64(mc.standardFactor = x++);
        }
        b.i32(static_cast<std::int32_t>(src.dates.size()));
        if (v < 3 && src.dates.empty())
            mc.manual = true;
        if (v >= 4) {
            b.i32(1);
            mc.reference = true;
        }
        if (v >= 22) {
            b.f64(mc.k2 = x++);
            b.f64(mc.k3 = x++);
            b.i32(mc.curveType = 5);
        }
        if (v >= 54)
            b.f64(mc.retentionIndex = x++);
        for (std::uint32_t d : src.dates) {
            CalibrationPoint p;
            b.f64(p.retentionTime = x++);
            b.f64(p.height = x++);
            b.f64(p.area = x++);
            b.f64(p.coefficient = x++);
            b.f64(p.amount = x++);
            b.u32(d);
            p.dateTime = d;
            if (v >= 54)
                b.f64(p.retentionIndex = x++);
            mc.points.push_back(p);
        }
        k.components.push_back(mc);
    }

    if (v >= 2) {
        ReportSettings& r = e.report;
        for (int i = 0; i < 9; ++i) {
            b.i32(i % 2 == 0 ? 1 : 0);
            r.sections[i] = i % 2 == 0;
        }
        if (v >= 4) {
            b.i32(2);
            r.chartSize = 2;
        }
        if (v >= 8) {
            b.i32(1);
            r.labelNumber = true;
        }
        if (v >= 12) {
            b.i32(1);
            r.groups = true;
        }
        if (v >= 18) {
            b.i32(1);
            r.calibration = true;
            b.i32(2);
            b.str(kMethane1251);
            b.i32(1);
            b.str("Ethane");
            b.i32(0);
            r.calibrationComponents = {{kMethaneUtf8, true}, {"Ethane", false}};
        }
        if (v >= 33) {
            for (int f : {1, 1, 0, 0, 1})
                b.i32(f);
            b.i32(0);
            r.autoGenerate = true;
            r.autoPrint = true;
            r.autoExport = false;
            r.labelName = false;
            r.labelTime = true;
            r.orientation = 0;
        }
    }

    if (v >= 12) {
        b.i32(1);
        b.f64(junk ? -7.0 : 1.0);
        e.extra.kind = 1;
    } else {
        e.extra.kind = 0;
    }

    if (v >= 14) {
        b.i32(1);
        b.str(kMethane1251);
        b.str("Alkanes");
        e.groups = {{kMethaneUtf8, "Alkanes"}};
    }

    if (v >= 5) {
        if (opt.kalder) {
            b.i32(1);
            if (!e.kalder)
                e.kalder.emplace();
            buildKalderBlock(b, v, *e.kalder, opt.ignored);
        }
        if (opt.ehd) {
            b.i32(10);
            if (!e.ehd)
                e.ehd.emplace();
            buildEhdBlock(b, *e.ehd);
        }
        b.i32(-1);
    }
    return b.s;
}

}  // namespace zelmora::test
