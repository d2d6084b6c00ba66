#include "processing/drift.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace zelmora {
namespace {

TEST(Drift, EndPointsDivideTheSlopeByN) {
    const std::size_t n = 11;
    std::vector<float> x(n), y;
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<float>(10.0 * i / (n - 1));
    ASSERT_TRUE(compensateDrift(x, 0, 0.1, DriftMode::EndPoints, {}, y));
    for (std::size_t i = 0; i < n; ++i)
        EXPECT_NEAR(y[i], 10.0 * i / (n * (n - 1.0)), 1e-5) << i;
    EXPECT_NEAR(y.back(), 10.0 / n, 1e-5);
    std::vector<float> two{1, 2};
    EXPECT_FALSE(compensateDrift(two, 0, 0.1, DriftMode::EndPoints, {}, y));
    EXPECT_EQ(y, two);
}

TEST(Drift, MarkedBaselineFlattensTheDriftWithoutNotches) {
    // Drift 0.5 mV/min, a cluster of two chained peaks and a rider inside
    // the first; every peak's baseline lies on the drift line.
    const double dt = 0.01;
    const std::size_t n = 1000;
    std::vector<float> x(n);
    auto drift = [](double t) { return 1.0 + 0.5 * t; };
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i * dt;
        x[i] = static_cast<float>(drift(t) + 20 * std::exp(-0.5 * std::pow((t - 3) / 0.1, 2)) +
                                  15 * std::exp(-0.5 * std::pow((t - 3.5) / 0.1, 2)));
    }
    auto span = [&](double a, double b, bool rider) {
        BaselineSpan s{a, b, drift(a), drift(b), rider};
        if (rider) {  // a rider's own chord sits on its parent's flank
            s.baselineAtStart = x[static_cast<std::size_t>(std::lround(a / dt))];
            s.baselineAtEnd = x[static_cast<std::size_t>(std::lround(b / dt))];
        }
        return s;
    };
    // The rider comes first in the table: it must not win its samples.
    const std::vector<BaselineSpan> peaks{span(2.9, 2.95, true), span(2.5, 3.25, false),
                                          span(3.25, 4.0, false)};
    std::vector<float> y;
    ASSERT_TRUE(compensateDrift(x, 0, dt, DriftMode::MarkedBaseline, peaks, y));
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i * dt;
        const double expected = (t >= 2.5 - 1e-9 && t <= 4.0 + 1e-9) ? x[i] - drift(t) : 0.0;
        ASSERT_NEAR(y[i], expected, 1e-4) << t;
    }
    // The drop line at 3.25 keeps the cluster's level, not zero.
    EXPECT_GT(y[325], 1.0f);
    // No peaks: refused, the signal is left as it was.
    EXPECT_FALSE(compensateDrift(x, 0, dt, DriftMode::MarkedBaseline, {}, y));
    EXPECT_EQ(y, x);
}

TEST(Drift, NoiseAndDriftFigures) {
    const double dt = 1.0 / 600;  // 10 Hz
    const std::size_t n = 36000;  // one hour
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 0.02);
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i)
        y[i] = static_cast<float>(5 + 0.01 * (i * dt) + noise(rng));
    NoiseAndDrift r = estimateNoiseAndDrift(y, 0, dt, {}, 7, false);
    EXPECT_NEAR(r.drift, 0.6, 0.01);  // 0.01 mV/min
    // Scatter about a 101-sample mean: close to the noise itself.
    EXPECT_NEAR(r.noise, 0.02, 0.002);
    const NoiseAndDrift peak = estimateNoiseAndDrift(y, 0, dt, {}, 7, true);
    EXPECT_GT(peak.noise, 3 * r.noise);
    // Processor below 4 limits the work length, not the drift.
    const NoiseAndDrift limited = estimateNoiseAndDrift(y, 0, dt, {}, 0, false);
    EXPECT_NEAR(limited.noise, 0.02, 0.003);
    EXPECT_DOUBLE_EQ(limited.drift, r.drift);
    // With peaks: the drift from the end samples, the noise outside the peaks.
    std::vector<float> withPeak = y;
    for (std::size_t i = 18000; i < 18600; ++i)
        withPeak[i] += 100;
    const NoiseAndDrift p =
        estimateNoiseAndDrift(withPeak, 0, dt, {{29.5, 31.5, 0, 0, false}}, 7, false);
    EXPECT_NEAR(p.drift, 60.0 * (double(y[0]) - y[n - 1]) / (0 - (n - 1) * dt), 1e-9);
    EXPECT_NEAR(p.noise, 0.02, 0.003);
    // Too short, or a zero signal without peaks.
    EXPECT_EQ(estimateNoiseAndDrift(std::vector<float>(100, 1.0f), 0, dt, {}, 7, false).noise, 0);
    EXPECT_EQ(estimateNoiseAndDrift(std::vector<float>(1000, 0.0f), 0, dt, {}, 7, false).drift, 0);
}

}  // namespace
}  // namespace zelmora
