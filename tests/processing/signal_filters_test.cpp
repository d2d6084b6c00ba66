#include "processing/signal_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace zelmora {
namespace {

std::vector<float> gaussianPeak(std::size_t n, double dt, double centre, double sigma,
                                double height) {
    std::vector<float> y(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = i * dt;
        y[i] = static_cast<float>(height * std::exp(-0.5 * std::pow((t - centre) / sigma, 2)));
    }
    return y;
}

double trapezoid(const std::vector<float>& y, double dt) {
    double s = 0;
    for (std::size_t i = 1; i < y.size(); ++i)
        s += (y[i - 1] + y[i]) * 0.5 * dt;
    return s;
}

TEST(Filters, HalfWindowFromSecondsAndMinutes) {
    EXPECT_EQ(halfWindow(1.0, 1.0 / 600), 5);   // 10 samples a second: 11-sample window
    EXPECT_EQ(halfWindow(0.05, 1.0 / 600), 1);  // shorter than two samples: raised to 1
    EXPECT_EQ(halfWindow(600, 1.0 / 600), 3000);
    EXPECT_EQ(halfWindow(1, 0), 1);
    EXPECT_EQ(halfWindow(NAN, 0.01), 1);
}

TEST(Filters, MedianByHandAtTheEndsAndAgainstBruteForce) {
    const std::vector<float> x{5, 1, 4, 2, 8, 7, 3};
    std::vector<float> y(x.size());
    runningMedian(x, 1, y);
    EXPECT_EQ(y, (std::vector<float>{5, 4, 2, 4, 7, 7, 3}));

    std::mt19937 rng(7);
    std::uniform_int_distribution<int> small(0, 9);  // many equal values
    for (int n : {1, 2, 5, 17}) {
        std::vector<float> r(300);
        for (auto& v : r)
            v = static_cast<float>(small(rng));
        std::vector<float> got(r.size());
        runningMedian(r, n, got);
        for (std::size_t i = 0; i < r.size(); ++i) {
            std::vector<float> w;
            for (long long j = static_cast<long long>(i) - n; j <= static_cast<long long>(i) + n;
                 ++j)
                w.push_back(r[static_cast<std::size_t>(std::clamp<long long>(j, 0, r.size() - 1))]);
            std::nth_element(w.begin(), w.begin() + n, w.end());
            ASSERT_EQ(got[i], w[static_cast<std::size_t>(n)]) << "n=" << n << " i=" << i;
        }
    }
}

TEST(Filters, SpikeRemovalReplacesOnlyOutliers) {
    const double dt = 1.0 / 600;
    std::vector<float> x(200, 0.0f);
    std::mt19937 rng(1);
    std::normal_distribution<float> noise(0, 0.01f);
    for (auto& v : x)
        v = noise(rng);
    const std::vector<float> quiet = x;
    x[100] = 1.0f;
    std::vector<float> y;
    ASSERT_TRUE(applyFilter(x, dt, {2, 0.1, 1.3}, y));  // n = 6
    double mean = 0;
    for (int j = 94; j <= 106; ++j)
        if (j != 100) {
            mean += x[static_cast<std::size_t>(j)];
        }
    EXPECT_NEAR(y[100], mean / 12, 1e-6);
    for (std::size_t i = 0; i < x.size(); ++i)
        if (i != 100) {
            EXPECT_EQ(y[i], quiet[i]) << i;
        }
    // Mirrored ends: a ramp keeps its first sample (the neighbours average to it).
    std::vector<float> ramp{0, 1, 2, 3, 4, 5, 6, 7};
    std::vector<float> out(ramp.size());
    removeSpikes(ramp, 2, 0.1, out);
    EXPECT_EQ(out[0], 1.5f);  // neighbours 2, 1, 1, 2 mirrored
    EXPECT_EQ(out[3], 3.0f);
}

TEST(Filters, MeanConstantStepAndTooLongWindow) {
    std::vector<float> flat(50, 2.5f), y;
    ASSERT_TRUE(applyFilter(flat, 1.0 / 600, {3, 0, 0.7}, y));  // n = 3
    for (float v : y)
        EXPECT_FLOAT_EQ(v, 2.5f);
    std::vector<float> step(40, 0.0f);
    std::fill(step.begin() + 20, step.end(), 7.0f);
    ASSERT_TRUE(applyFilter(step, 1.0 / 600, {3, 0, 0.7}, y));
    EXPECT_FLOAT_EQ(y[16], 0.0f);
    EXPECT_FLOAT_EQ(y[17], 1.0f);  // the step spreads over 7 samples
    EXPECT_FLOAT_EQ(y[20], 4.0f);
    EXPECT_FLOAT_EQ(y[23], 7.0f);
    // 2n+1 >= N leaves the signal unchanged; fewer than 6 samples too.
    EXPECT_FALSE(applyFilter(step, 1.0 / 600, {3, 0, 4.0}, y));
    EXPECT_EQ(y, step);
    std::vector<float> five{1, 2, 3, 4, 5};
    EXPECT_FALSE(applyFilter(five, 1.0 / 600, {1, 0, 1}, y));
    EXPECT_EQ(y, five);
    EXPECT_FALSE(applyFilter(step, 1.0 / 600, {9, 0, 1}, y));
}

TEST(Filters, SmoothingKeepsAGaussianPeaksArea) {
    const double dt = 1.0 / 600;  // 10 Hz
    const auto peak = gaussianPeak(6000, dt, 5.0, 0.1, 50);
    const double area = trapezoid(peak, dt);
    for (int kind : {1, 3}) {
        std::vector<float> y;
        ASSERT_TRUE(applyFilter(peak, dt, {kind, 0, 2.0}, y));
        EXPECT_NEAR(trapezoid(y, dt), area, area * 0.01) << kind;
    }
}

TEST(Filters, LowPassSettlesToItsDcGain) {
    std::vector<float> flat(20000, 3.0f), y;
    ASSERT_TRUE(applyFilter(flat, 1.0 / 600, {4, 0, 1}, y));
    EXPECT_NEAR(y.back(), 0.9886 * 3.0, 3.0 * 0.0005);
    // Noise at a quarter of the sampling rate is strongly attenuated.
    std::vector<float> hf(20000);
    for (std::size_t i = 0; i < hf.size(); ++i)
        hf[i] = (i % 4 < 2) ? 1.0f : -1.0f;
    ASSERT_TRUE(applyFilter(hf, 1.0 / 600, {4, 0, 1}, y));
    double maxTail = 0;
    for (std::size_t i = 10000; i < y.size(); ++i)
        maxTail = std::max(maxTail, std::fabs(double(y[i])));
    EXPECT_LT(maxTail, 1e-3);
}

TEST(Filters, ChordAreaTransform) {
    const double dt = 0.01;
    std::vector<float> flat(100, 4.0f), y;
    ASSERT_TRUE(applyFilter(flat, dt, {5, 0, 0.1}, y));  // window 0.1 min: w = 10, h = 5
    for (float v : y)
        EXPECT_FLOAT_EQ(v, 0.0f);
    const auto peak = gaussianPeak(300, dt, 1.5, 0.05, 10);
    ASSERT_TRUE(applyFilter(peak, dt, {5, 0, 0.1}, y));
    for (int i = 0; i <= 5; ++i)
        EXPECT_EQ(y[static_cast<std::size_t>(i)], 0.0f);
    for (std::size_t i = 295; i < 300; ++i)
        EXPECT_EQ(y[i], 0.0f);
    EXPECT_GT(y[150], 0.1f);
    EXPECT_EQ(*std::max_element(y.begin(), y.end()), y[150]);
    // The single-precision area by hand: samples 1, 3, 2 over dt 0.5:
    // (6 - 1.5 - 2 * 1.5) * 0.5 = 0.75.
    const float tri[3] = {1, 3, 2};
    EXPECT_FLOAT_EQ(chordAreaSingle(tri, 3, 0, 2, 0.5), 0.75f);
    EXPECT_FLOAT_EQ(chordAreaSingle(tri, 3, -5, 9, 0.5), 0.75f);  // clamped
    EXPECT_EQ(chordAreaSingle(tri, 0, 0, 2, 0.5), 0.0f);
}

}  // namespace
}  // namespace zelmora
