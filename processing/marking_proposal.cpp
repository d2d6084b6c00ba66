#include "processing/marking_proposal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zelmora {

namespace {

double quantile(std::vector<double> v, double q) {
    if (v.empty())
        return 0;
    const auto k = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

double baselineNoise(const std::vector<float>& y, double dt, double stretch = 0.2,
                     double q = 0.25) {
    const std::size_t n = y.size();
    std::size_t len = std::max<std::size_t>(16, static_cast<std::size_t>(stretch / dt));
    if (n / len < 8)
        len = std::max<std::size_t>(8, n / 8);
    std::vector<double> rms;
    for (std::size_t s = 0; s + len <= n; s += len) {
        // Least-squares line over x = 0..len-1, in double.
        double sy = 0, sxy = 0;
        const double m = static_cast<double>(len);
        const double sx = m * (m - 1) / 2, sxx = (m - 1) * m * (2 * m - 1) / 6;
        for (std::size_t i = 0; i < len; ++i) {
            sy += y[s + i];
            sxy += static_cast<double>(i) * y[s + i];
        }
        const double den = m * sxx - sx * sx;
        const double b = den != 0 ? (m * sxy - sx * sy) / den : 0;
        const double a = (sy - b * sx) / m;
        double ss = 0;
        for (std::size_t i = 0; i < len; ++i) {
            const double r = y[s + i] - (a + b * static_cast<double>(i));
            ss += r * r;
        }
        rms.push_back(std::sqrt(ss / m));
    }
    return quantile(rms, q);
}

double median(const std::vector<float>& y, std::size_t from, std::size_t to) {
    std::vector<double> v(y.begin() + static_cast<long>(from), y.begin() + static_cast<long>(to));
    return quantile(v, 0.5);
}

struct ClearPeak {
    double time;  // min
    double fwhm;  // min
};

// Local maxima of more than `threshold` prominence with their widths at half
// prominence. The walk to either side is bounded so that the survey stays
// linear on long records.
std::vector<ClearPeak> clearPeaks(const Signal& s, double threshold) {
    const std::vector<float>& y = s.samples;
    const std::size_t n = y.size();
    const std::size_t reach =
        std::clamp<std::size_t>(static_cast<std::size_t>(5.0 / s.dt), 50, 20000);
    std::vector<ClearPeak> out;
    std::size_t i = 1;
    while (i + 1 < n) {
        // A plateau counts once, at its middle.
        if (!(y[i] > y[i - 1])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j + 1 < n && y[j + 1] == y[i])
            ++j;
        if (j + 1 >= n || !(y[j + 1] < y[i])) {
            i = j + 1;
            continue;
        }
        const std::size_t top = (i + j) / 2;
        const float h = y[i];
        float leftMin = h, rightMin = h;
        std::size_t l = i;
        while (l > 0 && i - l < reach && y[l - 1] <= h)
            leftMin = std::min(leftMin, y[--l]);
        std::size_t r = j;
        while (r + 1 < n && r - j < reach && y[r + 1] <= h)
            rightMin = std::min(rightMin, y[++r]);
        const double prominence = h - std::max(leftMin, rightMin);
        if (prominence > threshold) {
            const double level = h - prominence / 2;
            std::size_t a = i;
            while (a > l && y[a - 1] > level)
                --a;
            std::size_t b = j;
            while (b < r && y[b + 1] > level)
                ++b;
            // Interpolated crossings of the half level.
            double left = static_cast<double>(a);
            if (a > 0 && y[a] != y[a - 1])
                left -= (y[a] - level) / (y[a] - y[a - 1]);
            double right = static_cast<double>(b);
            if (b + 1 < n && y[b] != y[b + 1])
                right += (y[b] - level) / (y[b] - y[b + 1]);
            out.push_back({s.timeAt(static_cast<double>(top)), (right - left) * s.dt});
        }
        i = j + 1;
    }
    return out;
}

// A clear peak is at least this many samples wide at half height.
constexpr double kMinWidthSamples = 1.5;

// The noise at the time scale of the peaks: the trace averaged over half the
// narrow width (what the detection window sees of white noise), with the
// straight line of stretches of ten widths taken off, in the quiet quarter.
// Slow wander of the baseline that looks like low humps counts here; white
// noise counts less than in the sample-to-sample noise.
double peakScaleNoise(const std::vector<float>& y, double dt, double width) {
    const auto k = std::max<std::size_t>(1, static_cast<std::size_t>(width / dt / 2));
    if (k <= 1 || y.size() < 8 * k)
        return 0;
    std::vector<float> avg(y.size() - k + 1);
    double sum = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        sum += y[i];
        if (i >= k)
            sum -= y[i - k];
        if (i + 1 >= k)
            avg[i + 1 - k] = static_cast<float>(sum / static_cast<double>(k));
    }
    return baselineNoise(avg, dt, 10 * width);
}

std::string line(const char* fmt, double a, double b = 0) {
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    return buf;
}

}  // namespace

Result<MarkingProposal> ProposeMarking(const Signal& signal, const MarkingParameters& base) {
    const std::size_t n = signal.size();
    if (n < 20)
        return Status::failure("слишком короткая запись для подбора параметров (меньше 20 точек)");
    if (!(signal.dt > 0) || !std::isfinite(signal.dt))
        return Status::failure("неверный шаг отсчётов");
    for (float v : signal.samples)
        if (!std::isfinite(v))
            return Status::failure("в сигнале есть нечисловые отсчёты");
    MarkingProposal p;
    p.parameters = base;
    TraceCharacter& c = p.trace;
    const double dt = signal.dt;
    c.noise = baselineNoise(signal.samples, dt);
    const std::size_t tenth = std::max<std::size_t>(1, n / 10);
    c.drift = (median(signal.samples, n - tenth, n) - median(signal.samples, 0, tenth)) /
              (static_cast<double>(n - tenth) * dt);
    // A trace without any noise (a synthetic or a clipped one) still needs a
    // threshold: a millionth of its range.
    const auto [lo, hi] = std::minmax_element(signal.samples.begin(), signal.samples.end());
    const double noise = std::max(c.noise, 1e-6 * (*hi - *lo));
    const std::vector<ClearPeak> peaks = clearPeaks(signal, 20 * noise);
    c.clearPeaks = static_cast<int>(peaks.size());
    p.reasons.push_back(line("шум базовой линии %.4g мВ, дрейф %.4g мВ/мин", c.noise, c.drift));

    std::vector<double> widths;
    for (const ClearPeak& k : peaks)
        if (k.fwhm >= kMinWidthSamples * dt)  // spikes of a sample or two are no peaks
            widths.push_back(k.fwhm);
    const double span = static_cast<double>(n - 1) * dt;
    if (!widths.empty()) {
        c.narrowWidth = quantile(widths, 0.2);
        c.widestWidth = *std::max_element(widths.begin(), widths.end());
        // Growth of the width with time, over the clear peaks.
        std::vector<const ClearPeak*> used;
        for (const ClearPeak& k : peaks)
            if (k.fwhm >= kMinWidthSamples * dt && k.fwhm <= 5 * c.narrowWidth + 2 * dt)
                used.push_back(&k);
        if (used.size() >= 4) {
            double sx = 0, sy = 0, sxx = 0, sxy = 0;
            for (const ClearPeak* k : used) {
                const double x = k->time - signal.t0;
                sx += x;
                sy += k->fwhm;
                sxx += x * x;
                sxy += x * k->fwhm;
            }
            const double m = static_cast<double>(used.size());
            const double den = m * sxx - sx * sx;
            if (den > 0) {
                const double b = (m * sxy - sx * sy) / den;
                const double a = (sy - b * sx) / m;
                const double first = a + b * (used.front()->time - signal.t0);
                const double last = a + b * (used.back()->time - signal.t0);
                if (b > 0 && a > 0 && first > 0 && last >= 2 * first) {
                    c.doublingTime = a / b;
                    c.narrowWidth = std::max(a, dt);
                }
            }
        }
        p.parameters.Width = static_cast<float>(std::max(2 * c.narrowWidth, 4 * dt));
        p.parameters.WidthDoublingTime = static_cast<float>(c.doublingTime);
        p.parameters.MaxWidth = static_cast<float>(std::min(
            std::max(10 * c.widestWidth, 5.0 * p.parameters.Width), std::max(span, 4 * dt)));
        p.reasons.push_back(line("ширина узких пиков на половине высоты %.4g мин (%.3g точек)",
                                 c.narrowWidth, c.narrowWidth / dt));
        if (c.doublingTime > 0)
            p.reasons.push_back(
                line("ширина пиков растёт со временем: вдвое за %.4g мин", c.doublingTime));
        p.reasons.push_back(
            line("Ширина = 2 × ширина на половине высоты = %.4g мин; "
                 "Максимальная ширина = %.4g мин",
                 p.parameters.Width, p.parameters.MaxWidth));
    } else {
        c.narrowWidth = 0;
        p.reasons.push_back(
            "ни один пик не выделяется над шумом больше чем в 20 раз: "
            "ширина оставлена из метода");
    }
    if (c.narrowWidth > 0) {
        const double slow = peakScaleNoise(signal.samples, dt, c.narrowWidth);
        if (slow > c.noise) {
            c.noise = slow;
            p.reasons.push_back(
                line("шум в масштабе ширины пиков (медленные колебания базовой "
                     "линии) %.4g мВ",
                     slow));
        }
    }
    p.parameters.MinHeight = static_cast<float>(10 * std::max(c.noise, noise));
    const double width = c.narrowWidth > 0 ? c.narrowWidth : p.parameters.Width / 2.0;
    p.parameters.MinArea = static_cast<float>(0.5 * p.parameters.MinHeight * width);
    p.reasons.push_back(
        line("Минимальная высота = 10 × шум = %.4g мВ (предел количественного "
             "определения, сигнал/шум 10)",
             p.parameters.MinHeight));
    p.reasons.push_back(
        line("Минимальная площадь = половина площади пика минимальной высоты и "
             "узкой ширины = %.4g мВ·мин",
             p.parameters.MinArea));
    return p;
}

}  // namespace zelmora
