// Gas channels and valve blocks of the chromatograph: the set point each mode
// writes, the linear-velocity model against an independent computation,
// the programme, the ignition flows, the tolerance test and the valves'
// positions during recordings.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "instruments/kalder_gas.h"
#include "instruments/kalder_modules.h"
#include "instruments/kalder_valves.h"

namespace zelmora {
namespace {

// The velocity written out plainly in SI-free cgs units, as a chemist would
// on paper: Poiseuille flow with gas compressibility (James-Martin).
double velocityByHand(double gauge, double lengthM, double diameterMm, double eta) {
    const double atm = 1013000.0;
    const double inlet = (gauge + 1.0) * atm;
    const double r = diameterMm / 10.0 / 2.0;
    const double l = lengthM * 100.0;
    const double a = std::pow(inlet, 2) - std::pow(atm, 2);
    const double b = std::pow(inlet, 3) - std::pow(atm, 3);
    return 3.0 * std::pow(r, 2) * std::pow(a, 2) / (32.0 * eta * l * b);
}

TEST(GasModel, ViscosityAndVelocityAgreeWithHandComputation) {
    EXPECT_NEAR(gasViscosity(0, 20.0), 0.00018401397, 1e-12);
    EXPECT_NEAR(gasViscosity(4, 20.0), 1.031 * 0.00018401397, 1e-12);
    EXPECT_NEAR(gasViscosity(1, 100.0), -1.781065e-11 * 1e4 + 4.398034e-7 * 100 + 0.0001881758,
                1e-15);
    EXPECT_EQ(gasViscosity(7, 20.0), 1.0);

    const double eta = gasViscosity(1, 20.0);
    for (double p : {0.1, 0.5, 1.0, 2.5})
        EXPECT_NEAR(linearVelocity(p, 30, 0.32, eta), velocityByHand(p, 30, 0.32, eta),
                    1e-9 * velocityByHand(p, 30, 0.32, eta));
    // No flow, no division by zero.
    EXPECT_EQ(linearVelocity(0.0, 30, 0.32, eta), 0.0);
    EXPECT_EQ(linearVelocity(-1.0, 30, 0.32, eta), 0.0);
    EXPECT_EQ(linearVelocity(1.0, 0, 0.32, eta), 0.0);

    // The bisection finds the pressure whose velocity is the target.
    const double target = velocityByHand(0.8, 30, 0.32, eta);
    const auto p = pressureForVelocity(target, 30, 0.32, eta);
    ASSERT_TRUE(p.has_value());
    EXPECT_NEAR(*p, 0.8, 1e-5);
    // Beyond 10 кгс/см2: unreachable.
    EXPECT_FALSE(pressureForVelocity(velocityByHand(12, 30, 0.32, eta), 30, 0.32, eta));
}

TEST(GasModel, ProgrammeRampsAndHolds) {
    GasProgramme p{1, 2, 0, 2, 1, 0.5, 0};
    EXPECT_DOUBLE_EQ(p.valueAt(0), 1);
    EXPECT_DOUBLE_EQ(p.valueAt(1.99), 1);
    EXPECT_DOUBLE_EQ(p.valueAt(3), 1.5);
    EXPECT_DOUBLE_EQ(p.valueAt(4), 2);
    EXPECT_DOUBLE_EQ(p.valueAt(60), 2);

    GasProgramme flat{3, 9, 9, 1, 1, 0, 5};
    EXPECT_DOUBLE_EQ(flat.valueAt(0), 3);
    EXPECT_DOUBLE_EQ(flat.valueAt(100), 3);

    // Downward ramps and the second ramp.
    GasProgramme down{5, 3, 4, 1, 2, -1, 0.5};
    EXPECT_DOUBLE_EQ(down.valueAt(2), 4);    // 5 - 1
    EXPECT_DOUBLE_EQ(down.valueAt(3.5), 3);  // holding P2 until 5
    EXPECT_DOUBLE_EQ(down.valueAt(6), 3.5);  // 3 + 0.5
    EXPECT_DOUBLE_EQ(down.valueAt(20), 4);
}

struct GasRig {
    CParamQueue queue{1};
    CGasChannel ch{0, kalder::moduleAddress(kalder::kClassGasPair, 0), &queue};
    float sent(std::uint16_t n) const { return queue.find(ch.moduleAddress(), n)->asFloat(); }
};

TEST(GasChannel, EachModeWritesItsSetPoint) {
    GasRig r;
    GasChannelConfig c;
    c.mode = 0;
    c.flowSet = 30;
    r.ch.configure(c);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamFlow), 30.0f);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamRegulation), 0.0f);

    r.ch.setGasMode(1);
    r.ch.setGasValue(1.25);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamRegulation), 1.0f);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamPressure), 1.25f);
    EXPECT_DOUBLE_EQ(r.ch.gasValue(), 1.25);

    // Constant velocity: helium in a 30 m x 0.32 mm column at 20 °C.
    r.ch.setGasType(1);
    r.ch.setColumn(30, 0.32);
    r.ch.setGasMode(2);
    const double eta = gasViscosity(1, 20.0);
    const double want = velocityByHand(0.9, 30, 0.32, eta);
    r.ch.setGasValue(want);
    EXPECT_NEAR(r.sent(CGasChannel::kParamPressure), 0.9, 1e-4);
    EXPECT_DOUBLE_EQ(r.ch.gasValue(), want);

    // An unreachable target keeps the last good pressure and fails the
    // tolerance test even with the outlet exactly there.
    r.ch.setGasValue(1e9);
    EXPECT_NEAR(r.sent(CGasChannel::kParamPressure), 0.9, 1e-4);
    EXPECT_TRUE(r.ch.velocityUnreachable());
    r.ch.setLive({0, 0, 0, 0.9});
    EXPECT_FALSE(r.ch.isGasWithinTolerance());

    // Programmed pressure: the start value outside the analysis, the
    // programme's value during it, with the column temperature taken over.
    GasChannelConfig prog;
    prog.mode = 4;
    prog.programme = {1, 2, 0, 2, 1, 0.5, 0};
    r.ch.configure(prog);
    r.ch.updateGasSetPoint(5, 99, 150);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamPressure), 1.0f);
    EXPECT_DOUBLE_EQ(r.ch.temperature(), 20.0);
    r.ch.updateGasSetPoint(6, 3, 150);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamPressure), 1.5f);
    EXPECT_DOUBLE_EQ(r.ch.temperature(), 150.0);
    // The temperature stays after the analysis.
    r.ch.updateGasSetPoint(1, 0, 40);
    EXPECT_DOUBLE_EQ(r.ch.temperature(), 150.0);
    // Programmed flow writes the flow set value.
    prog.mode = 3;
    r.ch.configure(prog);
    r.ch.updateGasSetPoint(7, 4, 150);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamFlow), 2.0f);
}

TEST(GasChannel, IgnitionFlowsAndTolerance) {
    GasRig r;
    GasChannelConfig c;
    c.mode = 6;
    c.flowSet = 30;
    r.ch.configure(c);
    r.ch.setIgnitionOverride(true, 2);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamFlow), 65.0f);
    // A new set value during ignition is kept and the override rewritten.
    r.ch.setGasValue(20);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamFlow), 45.0f);
    r.ch.setIgnitionOverride(false, 0);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamFlow), 20.0f);
    EXPECT_FALSE(r.ch.inIgnition());
    // Switching off a channel not in ignition writes nothing.
    r.ch.setGasValue(25);
    r.ch.setIgnitionOverride(false, 0);
    EXPECT_FLOAT_EQ(r.sent(CGasChannel::kParamFlow), 25.0f);

    struct Case {
        int mode;
        double v;
        int n;
        double expect;
    };
    for (const Case& k :
         {Case{7, 30, 1, 92.5}, Case{8, 30, 0, 50}, Case{9, 30, 3, 77.5}, Case{10, 8, 0, 8},
          Case{10, 25, 0, 10}, Case{11, 30, 0, 0}, Case{0, 30, 2, 30}}) {
        GasRig g;
        GasChannelConfig cc;
        cc.mode = k.mode;
        cc.flowSet = k.v;
        g.ch.configure(cc);
        g.ch.setIgnitionOverride(true, k.n);
        EXPECT_DOUBLE_EQ(g.sent(CGasChannel::kParamFlow), k.expect) << "mode " << k.mode;
        g.ch.setIgnitionOverride(false, 0);
        EXPECT_DOUBLE_EQ(g.sent(CGasChannel::kParamFlow), k.v) << "mode " << k.mode;
    }

    // Tolerance: flow modes test the flow as written (ignition included).
    GasRig t;
    GasChannelConfig tc;
    tc.mode = 0;
    tc.flowSet = 30;
    tc.flowTolerance = 1.0;
    t.ch.configure(tc);
    t.ch.setLive({29.5, 0, 0, 0});
    EXPECT_TRUE(t.ch.isGasWithinTolerance());
    t.ch.setLive({28.9, 0, 0, 0});
    EXPECT_FALSE(t.ch.isGasWithinTolerance());
    tc.mode = 1;
    tc.pressureSet = 1.0;
    tc.pressureTolerance = 0.05;
    t.ch.configure(tc);
    t.ch.setLive({0, 0, 0, 1.04});
    EXPECT_TRUE(t.ch.isGasWithinTolerance());
    t.ch.setLive({0, 0, 0, 1.06});
    EXPECT_FALSE(t.ch.isGasWithinTolerance());
    tc.pressureSet = 0;  // nothing wanted
    t.ch.configure(tc);
    EXPECT_TRUE(t.ch.isGasWithinTolerance());
}

TEST(ValveBlock, DosingAndSwitchingValvesFollowTheRecording) {
    CParamQueue queue(1);
    std::vector<std::string> log;
    const std::uint8_t addr = kalder::moduleAddress(kalder::kClassValves2, 0);
    CValveBlock b(addr, &queue, [&](std::string_view s) { log.emplace_back(s); });
    // The block reports both valves present with a known type.
    queue.onAnswer(addr, CValveBlock::kParamAvailability, 3);
    queue.onAnswer(addr, CValveBlock::kParamValveType, 5);
    queue.onAnswer(addr, CValveBlock::kParamValveType | 0x1000, 7);
    ValveConfig dosing{0, 0, 1, 0, 0};
    ValveConfig switching{1, 0, 0, 2, 5};
    b.configure({dosing, switching}, 3);
    EXPECT_EQ(b.positionWord(), 0u);

    b.onRecordingStarted(0);  // not the dosing valve's channel
    EXPECT_EQ(b.positionWord(), 0u);
    b.onRecordingStarted(1);
    EXPECT_EQ(b.positionWord(), 1u);
    EXPECT_EQ(queue.find(addr, CValveBlock::kParamPosition)->raw(), 1u);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), ". Попытка изменить положения кранов кран=1 новое положение кранов=01");
    b.onRecordingStopped(1);
    EXPECT_EQ(b.positionWord(), 0u);

    bool recording = false;
    double minutes = 0;
    auto rec = [&](int c) { return c == 0 && recording; };
    auto at = [&](int) { return minutes; };
    const std::size_t before = log.size();
    for (double x : {0.0, 1.95, 2.0, 3.5, 5.0, 5.05, 9.0}) {
        recording = true;
        minutes = x;
        b.step(rec, at);
        EXPECT_EQ(b.position(1), x >= 2.0 && x <= 5.0) << x;
    }
    // One write in, one write out.
    EXPECT_EQ(log.size(), before + 2);
    minutes = 3;
    recording = false;
    b.step(rec, at);
    EXPECT_FALSE(b.position(1));

    // A valve whose type is 0 is never switched.
    CParamQueue q2(1);
    CValveBlock off(addr, &q2);
    q2.onAnswer(addr, CValveBlock::kParamAvailability, 1);
    q2.onAnswer(addr, CValveBlock::kParamValveType, 0);
    off.configure({dosing}, 1);
    off.onRecordingStarted(1);
    EXPECT_EQ(off.positionWord(), 0u);

    // Error words: a jammed valve and an overheated valve zone.
    queue.onAnswer(addr, CValveBlock::kParamErrors | 0x1000, 0x102);
    const auto faults = b.faults();
    ASSERT_EQ(faults.size(), 2u);
    EXPECT_EQ(faults[0].code, 41);
    EXPECT_EQ(faults[1].code, 73);
}

}  // namespace
}  // namespace zelmora
