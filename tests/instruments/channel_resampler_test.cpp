// Resampling a detector's samples to the method's point rate: the weights of
// the averaging, the interpolated midpoints, the trace's area kept and the
// point times exact over long runs.

#include "instruments/channel_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace zelmora {
namespace {

std::vector<float> resample(double d, double e, const std::vector<double>& in) {
    ChannelResampler r;
    r.reset(d, e);
    std::vector<float> out;
    for (double v : in)
        r.add(v, out);
    return out;
}

std::vector<double> noisy(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(-5.0, 50.0);
    std::vector<double> v(n);
    for (auto& x : v)
        x = u(gen);
    return v;
}

TEST(ChannelResampler, EqualRatesPassEverySample) {
    const std::vector<double> in = {1.5, -2.25, 3.0};
    const auto out = resample(3.0, 3.0, in);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_FLOAT_EQ(out[1], -2.25f);
    // A rate stored in single precision is still the same rate.
    EXPECT_EQ(resample(static_cast<float>(6.1), 6.1, in).size(), 3u);
}

TEST(ChannelResampler, TwentyToThreeAveragesThirdsWithSplitEdgeSamples) {
    const auto in = noisy(60, 1);  // 3 s at 20 Hz
    const auto out = resample(3.0, 20.0, in);
    ASSERT_EQ(out.size(), 9u);
    // Point 0 covers [0, 1/3 s): samples 0..5 whole and two thirds of sample 6.
    double first = 0;
    for (int j = 0; j < 6; ++j)
        first += in[j] / 20.0;
    first += in[6] * (1.0 / 3.0 - 6.0 / 20.0);
    EXPECT_NEAR(out[0], first * 3.0, 1e-4);
    // Point 1 covers [1/3, 2/3): a third of sample 6, 7..12 whole, a third of 13.
    double second = in[6] * (7.0 / 20.0 - 1.0 / 3.0) + in[13] * (2.0 / 3.0 - 13.0 / 20.0);
    for (int j = 7; j < 13; ++j)
        second += in[j] / 20.0;
    EXPECT_NEAR(out[1], second * 3.0, 1e-4);
    // A constant stays that constant: the weights add up to one.
    for (float v : resample(3.0, 20.0, std::vector<double>(200, 7.25)))
        EXPECT_NEAR(v, 7.25f, 1e-5);
}

TEST(ChannelResampler, AveragingKeepsTheAreaAtSeveralRates) {
    // (point rate, device rate, seconds of whole points)
    const struct {
        double d, e, seconds;
    } pairs[] = {{3, 20, 30}, {3, 7, 21}, {3, 200, 10}, {20, 50, 10}, {2.5, 6.25, 16}, {1, 3, 9}};
    for (const auto& p : pairs) {
        const auto n = static_cast<std::size_t>(std::llround(p.seconds * p.e));
        const auto in = noisy(n, static_cast<unsigned>(p.e * 10));
        const auto out = resample(p.d, p.e, in);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(std::llround(p.seconds * p.d)))
            << p.d << " from " << p.e;
        const double areaIn = std::accumulate(in.begin(), in.end(), 0.0) / p.e;
        double areaOut = 0;
        for (float v : out)
            areaOut += v;
        areaOut /= p.d;
        EXPECT_NEAR(areaOut, areaIn, 1e-5 * std::fabs(areaIn) + 1e-4) << p.d << " from " << p.e;
    }
}

TEST(ChannelResampler, FiveToTenGivesTheMidpointAndTheSample) {
    const std::vector<double> in = {10, 20, 40, 30};
    const auto out = resample(10.0, 5.0, in);
    // The first sample fills the points up to its own time, then two a sample.
    ASSERT_EQ(out.size(), 3u + 2u * 3u);
    EXPECT_FLOAT_EQ(out[0], 10);
    EXPECT_FLOAT_EQ(out[2], 10);
    EXPECT_FLOAT_EQ(out[3], 15);  // midpoint
    EXPECT_FLOAT_EQ(out[4], 20);  // the sample
    EXPECT_FLOAT_EQ(out[5], 30);
    EXPECT_FLOAT_EQ(out[6], 40);
    EXPECT_FLOAT_EQ(out[7], 35);
    EXPECT_FLOAT_EQ(out[8], 30);
}

TEST(ChannelResampler, InterpolationKeepsTimeOverLongRuns) {
    // An hour: the number of points follows the clock exactly, with no
    // drift from rounding of the step.
    const struct { double d, e; } pairs[] = {{10, 5}, {20, 3}, {10, 6.25}, {200, 20}, {7, 3}};
    for (const auto& p : pairs) {
        ChannelResampler r;
        r.reset(p.d, p.e);
        std::vector<float> out;
        const auto n = static_cast<std::size_t>(std::llround(3600 * p.e));
        for (std::size_t j = 0; j < n; ++j)
            r.add(std::sin(static_cast<double>(j) * 0.01), out);
        // Points at i / d up to the last sample's time n / e, and point 0.
        EXPECT_EQ(out.size(), static_cast<std::size_t>(std::floor(3600 * p.d + 1e-6)) + 1)
            << p.d << " from " << p.e;
        // A ramp comes out as the same ramp, point for point.
        ChannelResampler ramp;
        ramp.reset(p.d, p.e);
        std::vector<float> rampOut;
        for (int j = 0; j < 100; ++j)
            ramp.add(j + 1.0, rampOut);  // sample j stands at (j + 1) / e
        // Before the first sample's own time the points hold its value.
        for (std::size_t i = 0; i < rampOut.size(); ++i)
            if (static_cast<double>(i) / p.d >= 1.0 / p.e) {
                ASSERT_NEAR(rampOut[i], static_cast<double>(i) / p.d * p.e, 1e-3) << i;
            }
    }
}

}  // namespace
}  // namespace zelmora
