#include "processing/clipped_peak.h"

#include <algorithm>
#include <cmath>

#include "processing/least_squares.h"
#include "processing/peak_integration.h"
#include "processing/signal_helpers.h"

namespace zelmora {

namespace {

constexpr int kDegree = 10;
constexpr std::int64_t kAdjacentPoints = 30;

}  // namespace

bool ApproximateClippedPeak(const PeakTable& table, std::int64_t k,
                            const std::vector<float>& original, std::vector<float>& samples) {
    const Peak* peak = table.at(k);
    const Signal* signal = table.signal();
    if (peak == nullptr || signal == nullptr || !(signal->dt > 0) ||
        original.size() != samples.size() || original.empty())
        return false;
    const double hMax = MaxPeakHeight(table);
    if (peak->height < hMax)
        return false;  // only the tallest peak has a clipped top

    const auto n = static_cast<std::int64_t>(original.size());
    auto indexOf = [&](double t) {
        const double i = std::trunc((t - signal->t0) / signal->dt);
        return static_cast<std::int64_t>(std::clamp(i, 0.0, static_cast<double>(n - 1)));
    };
    const std::int64_t i0 = indexOf(peak->startTime);
    const std::int64_t i1 = indexOf(peak->endTime);
    const double base = LineThrough(peak->apexTime, peak->startTime, peak->endTime,
                                    peak->baselineAtStart, peak->baselineAtEnd);
    const double top = hMax + base;

    std::int64_t L = -1, R = -1;
    for (std::int64_t i = i0; i <= i1; ++i) {
        if (original[static_cast<std::size_t>(i)] >= 0.99 * top) {
            if (L < 0)
                L = i;
            R = i;
        }
    }
    if (L < 0 || (L - i0) + (i1 - R) <= 0)
        return false;
    const std::int64_t c = (i1 - i0) * (L - i0) / ((L - i0) + (i1 - R)) + i0;
    const std::int64_t d1 = (L - i0) / 3;
    const std::int64_t d2 = (i1 - R) / 3;
    std::int64_t m = kAdjacentPoints;
    if (d1 < kAdjacentPoints)
        m = d1 - 1;
    if (d2 < m)
        m = d2 - 1;
    // A flank of fewer than six samples cannot hold the fit's points.
    if (m <= 0)
        return false;

    std::vector<double> px, py;
    auto add = [&](std::int64_t i) {
        px.push_back(static_cast<double>(i - c));
        py.push_back(original[static_cast<std::size_t>(i)]);
    };
    for (std::int64_t j = 0; j < m; ++j) {
        add(L - j);
        add(R + j);
    }
    for (std::int64_t j = 0; j <= 3; ++j) {
        add(L - j * d1);
        add(R + j * d2);
    }
    const Result<PolynomialFit> fit = SolveLeastSquaresPolynomial(px, py, kDegree, true);
    if (!fit)
        return false;

    std::vector<float> rebuilt(static_cast<std::size_t>(R - L));
    for (std::int64_t i = L; i < R; ++i) {
        const double p = static_cast<double>(i - c);
        double y = 0;
        for (int u = kDegree; u >= 0; --u)
            y = y * p + fit->coefficients[static_cast<std::size_t>(u)];
        if (!std::isfinite(y))
            return false;
        rebuilt[static_cast<std::size_t>(i - L)] = static_cast<float>(y);
    }
    std::copy(rebuilt.begin(), rebuilt.end(), samples.begin() + L);
    return true;
}

}  // namespace zelmora
