#include "processing/signal_helpers.h"

#include <gtest/gtest.h>

#include <random>

#include "processing/chord_areas.h"

namespace zelmora {
namespace {

Signal trace(std::vector<float> y, double t0 = 0, double dt = 1) {
    Signal s;
    s.samples = std::move(y);
    s.t0 = t0;
    s.dt = dt;
    return s;
}

TEST(SignalHelpers, ValueAtAnyTimeInterpolatesAndExtrapolates) {
    const Signal s = trace({1, 3, 4, 8}, 10, 0.5);
    EXPECT_DOUBLE_EQ(SignalValueAt(s, 10), 1);
    EXPECT_DOUBLE_EQ(SignalValueAt(s, 10.25), 2);  // halfway between samples 0 and 1
    EXPECT_DOUBLE_EQ(SignalValueAt(s, 11.25), 6);  // between samples 2 and 3
    EXPECT_DOUBLE_EQ(SignalValueAt(s, 9.5), -1);   // line through 0 and 1, extended back
    EXPECT_DOUBLE_EQ(SignalValueAt(s, 12), 12);    // line through the last two, extended
    EXPECT_DOUBLE_EQ(SignalValueAt(s, 11.5), 8);   // exactly the last sample
    EXPECT_DOUBLE_EQ(SignalValueAt(trace({}), 3), 0);
    EXPECT_DOUBLE_EQ(SignalValueAt(trace({7}), -100), 7);
    EXPECT_DOUBLE_EQ(SignalValueAt(trace({7, 9}, 0, 0), 5), 7);   // no time base
    EXPECT_NEAR(SignalValueAt(s, 1e6), 8 + (1e6 - 11.5) * 8, 1);  // far away, no index overflow

    EXPECT_DOUBLE_EQ(LineThrough(2, 0, 4, 1, 9), 5);
    EXPECT_DOUBLE_EQ(LineThrough(2, 3, 3, 1, 9), 1);  // coinciding abscissae
}

TEST(SignalHelpers, AreaAboveChordClampsAndMatchesRunningSums) {
    // A triangle 0,2,4,2,0 over samples 0..4 at dt = 0.5: trapezoid area 4,
    // chord at 0.
    const Signal tri = trace({0, 2, 4, 2, 0}, 0, 0.5);
    EXPECT_DOUBLE_EQ(AreaAboveChord(tri, 0, 4), 4);
    EXPECT_DOUBLE_EQ(AreaAboveChord(tri, -5, 40), 4);  // clamped to the trace
    EXPECT_DOUBLE_EQ(AreaAboveChord(tri, 3, 2), 0);
    EXPECT_DOUBLE_EQ(AreaAboveChord(tri, 2, 2), 0);
    EXPECT_DOUBLE_EQ(AreaAboveChord(trace({}), 0, 10), 0);
    // A straight line has nothing above its chord.
    EXPECT_NEAR(AreaAboveChord(trace({1, 2, 3, 4, 5}), 0, 4), 0, 1e-12);

    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-50, 900);
    std::vector<float> y(5000);
    for (float& v : y)
        v = value(random);
    const Signal s = trace(y, 1, 0.003);
    const ChordAreas areas(s);
    std::uniform_int_distribution<int> index(-10, 5010);
    for (int k = 0; k < 2000; ++k) {
        const int a = index(random), b = index(random);
        EXPECT_NEAR(areas.area(a, b), AreaAboveChord(s, a, b), 1e-7) << a << " " << b;
    }
    const Signal flat = trace(std::vector<float>(1000, 123.456f));
    EXPECT_EQ(ChordAreas(flat).area(3, 900), 0.0);
    EXPECT_EQ(ChordAreas(trace({})).area(0, 5), 0.0);
}

}  // namespace
}  // namespace zelmora
