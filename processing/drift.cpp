#include "processing/drift.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "processing/signal_filters.h"

namespace zelmora {

double BaselineSpan::at(double t) const {
    if (end == start)
        return baselineAtStart;
    return baselineAtStart + (baselineAtEnd - baselineAtStart) * (t - start) / (end - start);
}

std::vector<int> baselineOwners(std::size_t n, double t0, double dt,
                                const std::vector<BaselineSpan>& peaks) {
    std::vector<int> owner(n, -1);
    if (n == 0 || !(dt > 0))
        return owner;
    std::vector<int> order(peaks.size());
    std::iota(order.begin(), order.end(), 0);
    // Non-riders first, each group by decreasing width: the first to claim a
    // sample is the enclosing peak.
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const auto& pa = peaks[static_cast<std::size_t>(a)];
        const auto& pb = peaks[static_cast<std::size_t>(b)];
        if (pa.rider != pb.rider)
            return !pa.rider;
        return pa.end - pa.start > pb.end - pb.start;
    });
    for (int k : order) {
        const BaselineSpan& p = peaks[static_cast<std::size_t>(k)];
        const double first = std::ceil((p.start - t0) / dt - 1e-9);
        const double last = std::floor((p.end - t0) / dt + 1e-9);
        if (!std::isfinite(first) || !std::isfinite(last))
            continue;
        const long long i0 = std::max<long long>(0, static_cast<long long>(std::max(first, -1.0)));
        const long long i1 = std::min<long long>(static_cast<long long>(n) - 1,
                                                 static_cast<long long>(std::min(last, 9e18)));
        for (long long i = i0; i <= i1; ++i) {
            if (owner[static_cast<std::size_t>(i)] < 0)
                owner[static_cast<std::size_t>(i)] = k;
        }
    }
    return owner;
}

bool compensateDrift(const std::vector<float>& x, double t0, double dt, DriftMode mode,
                     const std::vector<BaselineSpan>& peaks, std::vector<float>& y) {
    y = x;
    const std::size_t n = x.size();
    if (n < 3)
        return false;
    if (mode == DriftMode::EndPoints) {
        // The slope is divided by N, not N - 1: stored results rely on it.
        const double slope = (static_cast<double>(x[n - 1]) - x[0]) / static_cast<double>(n);
        for (std::size_t i = 0; i < n; ++i)
            y[i] = static_cast<float>(x[i] - static_cast<double>(i) * slope - x[0]);
        return true;
    }
    if (peaks.empty())
        return false;
    const std::vector<int> owner = baselineOwners(n, t0, dt, peaks);
    for (std::size_t i = 0; i < n; ++i) {
        const int k = owner[i];
        if (k < 0) {
            y[i] = 0;
        } else {
            const double t = t0 + static_cast<double>(i) * dt;
            y[i] = static_cast<float>(x[i] - peaks[static_cast<std::size_t>(k)].at(t));
        }
    }
    return true;
}

NoiseAndDrift estimateNoiseAndDrift(const std::vector<float>& y, double t0, double dt,
                                    const std::vector<BaselineSpan>& peaks, int processor,
                                    bool maxExcursion) {
    NoiseAndDrift r;
    const std::size_t size = y.size();
    if (!(dt > 0) || size == 0)
        return r;
    const double nd = std::trunc(std::floor((1.0 / 6.0) / dt));
    if (!(nd >= 0) || nd > 1e8)
        return r;
    const auto n = static_cast<std::size_t>(nd);
    if (size <= 2 * n + 1)
        return r;
    std::size_t m = size;
    if (processor < 4)
        m = std::min<std::size_t>(m, static_cast<std::size_t>(processor) * 2500 + 1000);

    const std::vector<float> head(y.begin(), y.begin() + static_cast<std::ptrdiff_t>(m));
    std::vector<float> z(m);
    if (n == 0) {
        z = head;
    } else {
        runningMean(head, static_cast<int>(n), z);
    }
    auto time = [&](std::size_t i) { return t0 + static_cast<double>(i) * dt; };

    std::vector<bool> outside(m, true);
    if (peaks.empty()) {
        double st = 0, sy = 0, stt = 0, sty = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const double t = time(i);
            st += t;
            sy += y[i];
            stt += t * t;
            sty += t * y[i];
        }
        const double cnt = static_cast<double>(size);
        const double den = cnt * stt - st * st;
        const double slope = std::fabs(den) < 1e-100 ? 0 : (cnt * sty - st * sy) / den;
        const double intercept = (sy - slope * st) / cnt;
        if (slope == 0 && intercept == 0)
            return r;
        r.drift = slope * 60;
    } else {
        r.drift = 60 * (static_cast<double>(y[0]) - y[size - 1]) / (time(0) - time(size - 1));
        // Samples inside any peak's open range do not count.
        for (const BaselineSpan& p : peaks) {
            const double first = std::floor((p.start - t0) / dt) + 1;
            const double last = std::ceil((p.end - t0) / dt) - 1;
            for (double i = std::max(first, 0.0); i <= last && i < static_cast<double>(m); ++i) {
                const double t = time(static_cast<std::size_t>(i));
                if (t > p.start && t < p.end)
                    outside[static_cast<std::size_t>(i)] = false;
            }
        }
    }
    double sum2 = 0, maxAbs = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < m; ++i) {
        if (!outside[i])
            continue;
        const double d = static_cast<double>(y[i]) - z[i];
        sum2 += d * d;
        maxAbs = std::max(maxAbs, std::fabs(d));
        ++count;
    }
    if (count < 2)
        return r;
    r.noise = maxExcursion ? maxAbs : std::sqrt(sum2 / static_cast<double>(count - 1));
    return r;
}

}  // namespace zelmora
