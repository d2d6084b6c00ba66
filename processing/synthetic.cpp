#include "processing/synthetic.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace zelmora {

double SyntheticPeak::area() const {
    return height * sigma * std::sqrt(2 * std::numbers::pi);
}

Signal makeSyntheticSignal(const SyntheticChromatogram& spec) {
    Signal s;
    s.t0 = spec.t0;
    s.dt = spec.dt;
    const std::int64_t n = std::max<std::int64_t>(spec.samples, 0);
    std::vector<double> y(static_cast<std::size_t>(n));
    for (std::int64_t i = 0; i < n; ++i)
        y[static_cast<std::size_t>(i)] = spec.level + spec.drift * static_cast<double>(i) * spec.dt;
    for (const SyntheticPeak& p : spec.peaks) {
        if (!(p.sigma > 0) || !(spec.dt > 0))
            continue;
        const double centre = (p.apexTime - spec.t0) / spec.dt;
        const double reach = 10 * p.sigma / spec.dt;
        const std::int64_t from =
            std::max<std::int64_t>(0, static_cast<std::int64_t>(centre - reach));
        const std::int64_t to =
            std::min<std::int64_t>(n - 1, static_cast<std::int64_t>(centre + reach) + 1);
        for (std::int64_t i = from; i <= to; ++i) {
            const double z = (spec.t0 + static_cast<double>(i) * spec.dt - p.apexTime) / p.sigma;
            y[static_cast<std::size_t>(i)] += p.height * std::exp(-0.5 * z * z);
        }
    }
    if (spec.noise > 0) {
        std::mt19937_64 random(spec.seed);
        std::normal_distribution<double> normal(0.0, spec.noise);
        for (double& v : y)
            v += normal(random);
    }
    s.samples.assign(y.begin(), y.end());
    return s;
}

std::vector<SyntheticPeak> evenlySpacedPeaks(const SyntheticChromatogram& spec, int count,
                                             double height, double sigma) {
    std::vector<SyntheticPeak> peaks;
    if (count <= 0)
        return peaks;
    const double span = static_cast<double>(spec.samples) * spec.dt;
    const double spacing = span / count;
    for (int k = 0; k < count; ++k)
        peaks.push_back({spec.t0 + (k + 0.5) * spacing, height, sigma});
    return peaks;
}

}  // namespace zelmora
