#include "processing/signal_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "processing/chord_areas.h"
#include "processing/signal_filters.h"

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

TEST(SignalHelpers, AreaAboveChordClampsAndTheMarkingsAreasKeepTheirPrecision) {
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
    const ChordAreas triangle(tri);
    EXPECT_EQ(triangle.area(-5, 40), 4.0);
    EXPECT_EQ(triangle.windowArea(-5, 40), 4.0f);
    EXPECT_EQ(triangle.area(3, 2), 0.0);

    // Marking sums in single precision: 1 + 2^24 + 1 stays 2^24 in float, so
    // its areas lose the two ones that the double sum keeps.
    const Signal coarse = trace({1, 16777216.0f, 1}, 0, 1);
    EXPECT_EQ(ChordAreas(coarse).windowArea(0, 2), 16777213.0f);
    EXPECT_EQ(ChordAreas(coarse).area(0, 2), 16777213.0);
    EXPECT_EQ(AreaAboveChord(coarse, 0, 2), 16777215.0);
    // dt enters the marking's areas in single precision.
    const Signal stepped = trace({0, 1, 0}, 0, 0.1);
    EXPECT_EQ(ChordAreas(stepped).area(0, 2), static_cast<double>(0.1f));

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
        const std::int64_t from = std::max(a, 0), to = std::min(b, 4999);
        const double exact = AreaAboveChord(s, a, b);
        // Each float addition of k samples below 900 mV errs by at most half
        // a unit of the last place of a partial sum below 900 k.
        const double count = static_cast<double>(std::max<std::int64_t>(to - from + 1, 0));
        EXPECT_NEAR(areas.area(a, b), exact, 6e-8 * 900 * count * count * 0.003 + 1e-12)
            << a << " " << b;
        EXPECT_EQ(areas.windowArea(a, b), chordAreaSingle(y.data(), y.size(), a, b, 0.003));
        if (from <= to) {
            EXPECT_EQ(areas.area(a, b), areas.areaFromSum(areas.sum(from, to), from, to));
        }
    }
    // A flat stretch whose sums are exact in float has no area.
    const Signal flat = trace(std::vector<float>(1000, 123.5f));
    EXPECT_EQ(ChordAreas(flat).area(3, 900), 0.0);
    EXPECT_EQ(ChordAreas(flat).windowArea(3, 900), 0.0f);
    EXPECT_EQ(ChordAreas(trace({})).area(0, 5), 0.0);
}

}  // namespace
}  // namespace zelmora
