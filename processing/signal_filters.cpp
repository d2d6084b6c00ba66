#include "processing/signal_filters.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace zelmora {

int halfWindow(double windowSeconds, double dtMinutes) {
    if (!(dtMinutes > 0) || !std::isfinite(windowSeconds))
        return 1;
    const double n = std::floor(windowSeconds / (dtMinutes * 120));
    if (!(n >= 1))
        return 1;
    return n > 1e8 ? 100000000 : static_cast<int>(n);
}

namespace {

// Counts of values by rank in a Fenwick tree: the k-th smallest of the
// current window in O(log N), so the median costs O(log N) per sample
// whatever the window.
class RankCounter {
  public:
    explicit RankCounter(std::size_t size) : tree_(size + 1, 0) {
        top_ = 1;
        while (top_ * 2 <= size)
            top_ *= 2;
    }
    void add(std::size_t rank, int delta) {
        for (std::size_t i = rank + 1; i < tree_.size(); i += i & (~i + 1))
            tree_[i] += delta;
    }
    // Rank of the k-th smallest (k from 0).
    std::size_t kth(int k) const {
        std::size_t pos = 0;
        for (std::size_t step = top_; step > 0; step /= 2) {
            const std::size_t next = pos + step;
            if (next < tree_.size() && tree_[next] <= k) {
                pos = next;
                k -= tree_[next];
            }
        }
        return pos;  // 0-based rank
    }

  private:
    std::vector<int> tree_;
    std::size_t top_ = 1;
};

}  // namespace

void runningMedian(const std::vector<float>& x, int n, std::vector<float>& y) {
    const std::size_t size = x.size();
    if (size == 0)
        return;
    // Ranks of the samples in sorted order; equal values get distinct ranks,
    // which leaves the order statistics unchanged.
    std::vector<std::uint32_t> order(size);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&x](std::uint32_t a, std::uint32_t b) { return x[a] < x[b]; });
    std::vector<std::uint32_t> rank(size);
    for (std::size_t r = 0; r < size; ++r)
        rank[order[r]] = static_cast<std::uint32_t>(r);

    auto at = [&](long long j) {
        return rank[static_cast<std::size_t>(std::clamp<long long>(j, 0, size - 1))];
    };
    RankCounter counts(size);
    for (long long j = -n; j <= n; ++j)
        counts.add(at(j), 1);
    for (std::size_t i = 0; i < size; ++i) {
        y[i] = x[order[counts.kth(n)]];
        const long long out = static_cast<long long>(i) - n;
        const long long in = static_cast<long long>(i) + n + 1;
        counts.add(at(out), -1);
        counts.add(at(in), 1);
    }
}

void removeSpikes(const std::vector<float>& x, int n, double threshold, std::vector<float>& y) {
    const long long size = static_cast<long long>(x.size());
    // Positions outside the signal are mirrored about the end sample.
    auto mirrored = [&](long long j) -> double {
        if (j < 0)
            j = -j;
        if (j > size - 1)
            j = 2 * (size - 1) - j;
        return x[static_cast<std::size_t>(std::clamp<long long>(j, 0, size - 1))];
    };
    double sum = 0;
    for (long long j = -n; j <= n; ++j)
        sum += mirrored(j);
    for (long long i = 0; i < size; ++i) {
        const double xi = x[static_cast<std::size_t>(i)];
        const double m = (sum - xi) / (2.0 * n);
        y[static_cast<std::size_t>(i)] =
            std::fabs(m - xi) < threshold ? x[static_cast<std::size_t>(i)] : static_cast<float>(m);
        sum += mirrored(i + n + 1) - mirrored(i - n);
    }
}

void runningMean(const std::vector<float>& x, int n, std::vector<float>& y) {
    const long long size = static_cast<long long>(x.size());
    auto padded = [&](long long j) -> double {
        return x[static_cast<std::size_t>(std::clamp<long long>(j, 0, size - 1))];
    };
    // The window sum is rebuilt now and then so that rounding does not build
    // up over millions of samples.
    const double width = 2.0 * n + 1;
    double sum = 0;
    for (long long j = -n; j <= n; ++j)
        sum += padded(j);
    for (long long i = 0; i < size; ++i) {
        y[static_cast<std::size_t>(i)] = static_cast<float>(sum / width);
        if ((i & 0xFFFF) == 0xFFFF) {
            sum = 0;
            for (long long j = i + 1 - n; j <= i + 1 + n; ++j)
                sum += padded(j);
        } else {
            sum += padded(i + n + 1) - padded(i - n);
        }
    }
}

namespace {

struct Section {
    double b0, b1, b2, a1, a2;
};

constexpr Section kLowPass[15] = {
    {0.0007627010541529, 0, 0, 0, 0},
    {1, -1.071327616694, 1, -1.954496705867, 0.9552132069934},
    {0.01518478526645, 0, 0, 0, 0},
    {1, -1.860885164223, 1, -1.957667711585, 0.9597801404935},
    {0.07507520213632, 0, 0, 0, 0},
    {1, -1.941671871534, 1, -1.962965434052, 0.9673444300872},
    {0.1902184083945, 0, 0, 0, 0},
    {1, -1.96415612881, 1, -1.969045910932, 0.9758640750605},
    {0.3300937708371, 0, 0, 0, 0},
    {1, -1.973040683026, 1, -1.974992914716, 0.9838920173148},
    {0.4505334949203, 0, 0, 0, 0},
    {1, -1.977015783057, 1, -1.980546349353, 0.9909015089405},
    {0.5190571444797, 0, 0, 0, 0},
    {1, -1.978607129423, 1, -1.985964327153, 0.9970684494668},
    {1, 0, 0, 0, 0},
};

}  // namespace

void lowPass(const std::vector<float>& x, std::vector<float>& y) {
    if (x.empty())
        return;
    double w1[15] = {}, w2[15] = {};
    auto section = [&](int s, double v) {
        const Section& c = kLowPass[s];
        const double w = v - c.a1 * w1[s] - c.a2 * w2[s];
        const double out = c.b0 * w + c.b1 * w1[s] + c.b2 * w2[s];
        w2[s] = w1[s];
        w1[s] = w;
        return out;
    };
    // Every section is primed from zero state with x[0] three times.
    for (int s = 0; s < 15; ++s) {
        for (int k = 0; k < 3; ++k)
            section(s, x[0]);
    }
    for (std::size_t i = 0; i < x.size(); ++i) {
        double v = x[i];
        for (int s = 0; s < 15; ++s)
            v = section(s, v);
        y[i] = static_cast<float>(v);
    }
}

float chordAreaSingle(const float* y, std::size_t n, long long s, long long e, double dt) {
    if (n == 0)
        return 0;
    s = std::max<long long>(s, 0);
    e = std::min<long long>(e, static_cast<long long>(n) - 1);
    if (e < s)
        return 0;
    const float a = y[s] + y[e];
    float sum = 0;
    for (long long i = s; i <= e; ++i)
        sum += y[i];
    return chordAreaFromSum(sum, a, s, e, static_cast<float>(dt));
}

void chordAreaTransform(const std::vector<float>& x, double dtMinutes, double windowMinutes,
                        std::vector<float>& y) {
    const long long size = static_cast<long long>(x.size());
    double wd = dtMinutes > 0 ? std::trunc(windowMinutes / dtMinutes) : 0;
    if (!std::isfinite(wd) || wd < 0)
        wd = 0;
    const long long w = wd > 1e12 ? static_cast<long long>(1e12) : static_cast<long long>(wd);
    const long long h = w / 2;
    for (long long i = 0; i < size; ++i) {
        if (i < h + 1 || i > size - h - 1) {
            y[static_cast<std::size_t>(i)] = 0;
        } else {
            y[static_cast<std::size_t>(i)] =
                chordAreaSingle(x.data(), x.size(), i - h, i + h, dtMinutes);
        }
    }
}

bool applyFilter(const std::vector<float>& x, double dtMinutes, const FilterParameters& p,
                 std::vector<float>& y) {
    y = x;
    const std::size_t size = x.size();
    if (size < 6)
        return false;
    const int n = halfWindow(p.windowSeconds, dtMinutes);
    switch (p.kind) {
        case 1:
            if (size < 2 * static_cast<std::size_t>(n))
                return false;
            runningMedian(x, n, y);
            return true;
        case 2:
            if (size < 2 * static_cast<std::size_t>(n))
                return false;
            removeSpikes(x, n, p.threshold, y);
            return true;
        case 3:
            if (2 * static_cast<std::size_t>(n) + 1 >= size)
                return false;
            runningMean(x, n, y);
            return true;
        case 4:
            lowPass(x, y);
            return true;
        case 5:
            chordAreaTransform(x, dtMinutes, p.windowSeconds, y);
            return true;
        default:
            return false;
    }
}

}  // namespace zelmora
