#include "processing/signal_helpers.h"

#include <cmath>

namespace zelmora {

double LineThrough(double x, double xa, double xb, double ya, double yb) {
    if (xb == xa)
        return ya;
    return ya + (x - xa) * (yb - ya) / (xb - xa);
}

bool HasTimeBase(const Signal& signal) {
    return std::isfinite(signal.dt) && signal.dt > 0 && std::isfinite(signal.t0);
}

double SignalValueAt(const Signal& signal, double t) {
    const std::int64_t n = static_cast<std::int64_t>(signal.size());
    if (n == 0)
        return 0;
    if (n == 1 || !HasTimeBase(signal))
        return signal.samples[0];
    const double x = (t - signal.t0) / signal.dt;
    std::int64_t k;
    if (!(x >= 0))
        k = 0;  // before the trace, and NaN
    else if (x < static_cast<double>(n - 1))
        k = static_cast<std::int64_t>(std::floor(x));
    else
        k = n - 2;
    const double tk = signal.t0 + static_cast<double>(k) * signal.dt;
    return LineThrough(t, tk, tk + signal.dt, signal.samples[static_cast<std::size_t>(k)],
                       signal.samples[static_cast<std::size_t>(k + 1)]);
}

double AreaAboveChord(const Signal& signal, std::int64_t s, std::int64_t e) {
    const std::int64_t n = static_cast<std::int64_t>(signal.size());
    if (s < 0)
        s = 0;
    if (e > n - 1)
        e = n - 1;
    if (s > e)
        return 0;
    double sum = 0;
    for (std::int64_t i = s; i <= e; ++i)
        sum += signal.samples[static_cast<std::size_t>(i)];
    const double a = static_cast<double>(signal.samples[static_cast<std::size_t>(s)]) +
                     signal.samples[static_cast<std::size_t>(e)];
    return (sum - a / 2 - static_cast<double>(e - s) * a / 2) * signal.dt;
}

std::int64_t ClampIndex(double position, std::int64_t lo, std::int64_t hi) {
    if (!(position > static_cast<double>(lo)))
        return lo;
    if (position >= static_cast<double>(hi))
        return hi;
    return static_cast<std::int64_t>(position);
}

}  // namespace zelmora
