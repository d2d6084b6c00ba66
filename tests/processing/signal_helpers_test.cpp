#include "processing/signal_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
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

std::uint32_t bitsOf(float v) {
    return std::bit_cast<std::uint32_t>(v);
}

// Samples whose float sums round at almost every addition: a wide spread of
// magnitudes, both signs, negative zeros and now and then a spike.
std::vector<float> roughSamples(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> value(-50, 900);
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned kind = random() % 16;
        y[i] = kind == 0 ? -0.0f : kind == 1 ? value(random) * 1e5f : value(random) * 1e-3f;
        if (kind > 8)
            y[i] = value(random);
    }
    return y;
}

// The widening carries the float sums of many left edges to a common right
// edge in vector lanes and makes new edges in whole groups: every sum must
// still be, bit for bit, the fresh sum from its edge in the order of the
// samples, however the edges and the end move.
TEST(ChordAreas, SharedEdgeSumsAreTheFreshFloatSums) {
    const std::vector<float> y = roughSamples(3000, 11);
    const Signal s = trace(y, 0, 0.001);
    const ChordAreas areas(s);
    std::mt19937 random(12);
    EdgeSums sums;
    for (int run = 0; run < 300; ++run) {
        // Edges near the first sample leave groups of a lane or two.
        std::int64_t high = run % 10 == 0 ? random() % 40 : random() % 2900;
        std::int64_t end = high + random() % 80;
        end = std::min<std::int64_t>(end, 2999);
        sums.reset(high);
        for (int pass = 0; pass < 6; ++pass) {
            const std::int64_t low = std::max<std::int64_t>(0, high - random() % 70);
            sums.reach(areas, low, high, end);
            for (std::int64_t e = low; e <= high; ++e)
                ASSERT_EQ(bitsOf(sums.sum(e)), bitsOf(areas.sum(e, end)))
                    << "run " << run << " pass " << pass << " edge " << e << " end " << end;
            // The edges move left and the end right, by steps of any size.
            high = std::max<std::int64_t>(0, high - random() % (pass % 2 ? 3 : 40));
            end = std::min<std::int64_t>(2999, end + random() % (pass % 2 ? 2 : 50));
        }
    }
}

// The scan's windows summed four at a time are the single windows, also
// where the batch would run past the end of the trace, where the scan skips
// a centre, and for windows reaching outside the trace.
TEST(ChordAreas, WindowsSummedInBatchesAreTheSingleWindows) {
    const std::vector<float> y = roughSamples(2000, 21);
    const Signal s = trace(y, 0, 0.0025);
    const ChordAreas areas(s);
    WindowAreas windows(areas);
    std::mt19937 random(22);
    for (int run = 0; run < 400; ++run) {
        const std::int64_t h = random() % 40;
        std::int64_t centre = static_cast<std::int64_t>(random() % 2100) - 50;
        for (int k = 0; k < 7; ++k) {
            ASSERT_EQ(bitsOf(windows.area(centre - h, centre + h)),
                      bitsOf(areas.windowArea(centre - h, centre + h)))
                << centre << " " << h;
            centre += random() % 5 == 0 ? 1 : h + 1;
        }
    }
}

}  // namespace
}  // namespace zelmora
