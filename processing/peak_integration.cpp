#include "processing/peak_integration.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

#include "document/table_normalisation.h"
#include "processing/parallel_parts.h"
#include "processing/signal_helpers.h"

namespace zelmora {
namespace {

const Signal& signalOf(const PeakTable& table) {
    static const Signal kNoSignal;
    return table.signal() ? *table.signal() : kNoSignal;
}

bool validIndex(std::int64_t i, std::size_t n) {
    return i >= 0 && static_cast<std::uint64_t>(i) < n;
}

bool finiteRange(const Peak& p) {
    return std::isfinite(p.startTime) && std::isfinite(p.endTime);
}

// Links that point outside the table or at the peak itself, or that are not
// returned by their target, are cut; a closed ring of links is opened, so
// that every walk along a chain ends within the number of peaks.
void repairLinks(std::vector<Peak>& peaks) {
    const std::size_t n = peaks.size();
    for (std::size_t i = 0; i < n; ++i) {
        Peak& p = peaks[i];
        if (!validIndex(p.prevInGroup, n) || static_cast<std::size_t>(p.prevInGroup) == i)
            p.prevInGroup = -1;
        if (!validIndex(p.nextInGroup, n) || static_cast<std::size_t>(p.nextInGroup) == i)
            p.nextInGroup = -1;
    }
    const auto self = [](std::size_t i) { return static_cast<std::int32_t>(i); };
    for (std::size_t i = 0; i < n; ++i) {
        Peak& p = peaks[i];
        if (p.nextInGroup >= 0 &&
            peaks[static_cast<std::size_t>(p.nextInGroup)].prevInGroup != self(i))
            p.nextInGroup = -1;
        if (p.prevInGroup >= 0 &&
            peaks[static_cast<std::size_t>(p.prevInGroup)].nextInGroup != self(i))
            p.prevInGroup = -1;
    }
    // With mutual links every peak has at most one of each, so the links form
    // simple chains and rings; a ring has no head and is opened where it is
    // first met.
    std::vector<char> seen(n, 0);
    for (std::size_t i = 0; i < n; ++i) {
        if (peaks[i].prevInGroup >= 0)
            continue;
        for (std::int64_t k = static_cast<std::int64_t>(i);
             k >= 0 && !seen[static_cast<std::size_t>(k)];
             k = peaks[static_cast<std::size_t>(k)].nextInGroup)
            seen[static_cast<std::size_t>(k)] = 1;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (seen[i])
            continue;
        const std::size_t before = static_cast<std::size_t>(peaks[i].prevInGroup);
        peaks[before].nextInGroup = -1;
        peaks[i].prevInGroup = -1;
        for (std::int64_t k = static_cast<std::int64_t>(i);
             k >= 0 && !seen[static_cast<std::size_t>(k)];
             k = peaks[static_cast<std::size_t>(k)].nextInGroup)
            seen[static_cast<std::size_t>(k)] = 1;
    }
}

// A Fenwick tree over slots that answers "the smallest key among the slots
// 0..i" for keys that only ever decrease. It holds the positions of the
// keys (4 bytes a slot); `less` compares the keys of two positions, kNone
// standing for the largest key.
constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);

template <class Less>
class PrefixMinimum {
  public:
    PrefixMinimum(std::size_t n, Less less) : tree_(n + 1, kNone), less_(less) {}
    void lower(std::size_t i, std::uint32_t key) {
        for (++i; i < tree_.size(); i += i & (~i + 1))
            if (less_(key, tree_[i]))
                tree_[i] = key;
    }
    std::uint32_t query(std::size_t i) const {
        std::uint32_t best = kNone;
        for (++i; i > 0; i -= i & (~i + 1))
            if (less_(tree_[i], best))
                best = tree_[i];
        return best;
    }

  private:
    std::vector<std::uint32_t> tree_;
    Less less_;
};

// The enclosing peak of each peak (the smallest enclosing one without its
// very range, the earlier one on ties), kNone for none; then every peak
// loses measured(j) of each peak j it is the parent of, in the order of j.
// About 16 bytes a peak beside the table.
template <class Measured>
void subtractRiders(std::vector<Peak>& peaks, Measured measured) {
    const std::size_t n = peaks.size();
    std::vector<std::uint32_t> order;
    order.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        if (finiteRange(peaks[i]))
            order.push_back(static_cast<std::uint32_t>(i));
    if (order.size() < 2)
        return;
    // Sweep by start; an enclosing peak has a start not later and an end not
    // earlier. Equal starts come widest first, so that when a peak is looked
    // up, exactly the peaks that enclose it without having its very range are
    // in the tree.
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Peak &pa = peaks[a], &pb = peaks[b];
        if (pa.startTime != pb.startTime)
            return pa.startTime < pb.startTime;
        if (pa.endTime != pb.endTime)
            return pa.endTime > pb.endTime;
        return a < b;
    });
    std::vector<std::uint32_t> byEnd = order;
    std::sort(byEnd.begin(), byEnd.end(), [&](std::uint32_t a, std::uint32_t b) {
        return peaks[a].endTime < peaks[b].endTime;
    });
    const std::size_t m = byEnd.size();
    // Slot m-1-(the number of ends below `end`): a prefix query covers every
    // end >= the given one.
    const auto slot = [&](double end) {
        const auto below = std::partition_point(
            byEnd.begin(), byEnd.end(), [&](std::uint32_t k) { return peaks[k].endTime < end; });
        return m - 1 - static_cast<std::size_t>(below - byEnd.begin());
    };
    // Keys are (length, position), kNone the largest.
    const auto less = [&peaks](std::uint32_t a, std::uint32_t b) {
        const double la = a == kNone ? DBL_MAX : peaks[a].endTime - peaks[a].startTime;
        const double lb = b == kNone ? DBL_MAX : peaks[b].endTime - peaks[b].startTime;
        if (la != lb)
            return la < lb;
        return a < b;
    };
    std::vector<std::uint32_t> parent(n, kNone);
    {
        PrefixMinimum tree(m, less);
        for (std::size_t g = 0; g < order.size();) {
            std::size_t h = g;
            const Peak& first = peaks[order[g]];
            while (h < order.size() && peaks[order[h]].startTime == first.startTime &&
                   peaks[order[h]].endTime == first.endTime)
                ++h;
            const std::size_t s = slot(first.endTime);
            const std::uint32_t found = tree.query(s);
            for (std::size_t k = g; k < h; ++k) {
                parent[order[k]] = found;
                tree.lower(s, order[k]);
            }
            g = h;
        }
    }
    order = {};
    byEnd = {};
    for (std::size_t j = 0; j < n; ++j)
        if (parent[j] != kNone)
            peaks[parent[j]].area -= measured(j);
}

}  // namespace

bool ApexBefore(const Peak& a, const Peak& b) {
    return a.apexTime < b.apexTime || (!std::isnan(a.apexTime) && std::isnan(b.apexTime));
}

void MeasurePeak(const PeakTable& table, Peak& p) {
    const Signal& sig = signalOf(table);
    const double start = p.startTime, end = p.endTime;
    if (!finiteRange(p)) {
        p.apexTime = start;
        p.height = 0;
        p.area = 0;
        return;
    }
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    const double yS = SignalValueAt(sig, start), yE = SignalValueAt(sig, end);
    if (p.prevInGroup < 0 && p.nextInGroup < 0) {
        p.baselineAtStart = yS;
        p.baselineAtEnd = yE;
    }
    const double bS = p.baselineAtStart, bE = p.baselineAtEnd;
    std::int64_t i0 = 0, i1 = -1;
    if (n > 0 && HasTimeBase(sig)) {
        i0 = ClampIndex(std::ceil((start - sig.t0) / sig.dt), 0, n);
        i1 = ClampIndex(std::floor((end - sig.t0) / sig.dt), -1, n - 1);
    }
    if (i1 < i0) {
        // No sample inside the range: the straight piece of signal between the
        // two interpolated ends against the baseline. The height keeps its
        // sign here (below the baseline it is negative), unlike the largest
        // distance taken over samples.
        const double rise = (yS + yE) / 2 - (bS + bE) / 2;
        p.apexTime = (start + end) / 2;
        p.height = rise;
        p.area = (end - start) * rise;
        return;
    }
    const double dt = sig.dt, t0 = sig.t0;
    const double slope = end == start ? 0.0 : (bE - bS) / (end - start);
    double height = -DBL_MAX, apex = 0, sum = 0;
    const float* y = sig.samples.data();
    for (std::int64_t i = i0; i <= i1; ++i) {
        const double t = t0 + static_cast<double>(i) * dt;
        const double v = y[i];
        const double d = std::fabs(v - (bS + (t - start) * slope));
        if (d > height) {
            height = d;
            apex = t;
        }
        sum += v;
    }
    const double y0 = y[i0], y1 = y[i1];
    const double ti0 = t0 + static_cast<double>(i0) * dt, ti1 = t0 + static_cast<double>(i1) * dt;
    p.apexTime = apex;
    p.height = height;
    p.area = dt * sum - dt * (y0 + y1) / 2 + (ti0 - start) * (y0 + yS) / 2 +
             (end - ti1) * (y1 + yE) / 2 - (end - start) * (bS + bE) / 2;
}

void SubtractRiders(std::vector<Peak>& peaks) {
    std::vector<double> measured(peaks.size());
    for (std::size_t i = 0; i < peaks.size(); ++i)
        measured[i] = peaks[i].area;
    subtractRiders(peaks, [&](std::size_t j) { return measured[j]; });
}

void SubtractRiders(std::vector<Peak>& peaks, const std::vector<double>& measured) {
    for (std::size_t i = 0; i < peaks.size(); ++i)
        peaks[i].area = measured[i];
    subtractRiders(peaks, [&](std::size_t j) { return measured[j]; });
}

void RecalculatePeaks(PeakTable& table) {
    RecalculatePeaks(table, 1);
}

void RecalculatePeaks(PeakTable& table, unsigned threads) {
    std::vector<Peak>& peaks = table.peaks;
    const std::size_t n = peaks.size();
    const Signal& sig = signalOf(table);
    std::vector<std::size_t> chain;
    for (std::size_t h = 0; h < n; ++h) {
        if (peaks[h].nextInGroup < 0 || peaks[h].prevInGroup >= 0)
            continue;
        chain.clear();
        chain.push_back(h);
        // Bounded by the number of peaks whatever the links say.
        for (std::int64_t k = peaks[h].nextInGroup; validIndex(k, n) && chain.size() < n;
             k = peaks[static_cast<std::size_t>(k)].nextInGroup)
            chain.push_back(static_cast<std::size_t>(k));
        const double c = peaks[h].startTime, d = peaks[chain.back()].endTime;
        const double yc = SignalValueAt(sig, c), yd = SignalValueAt(sig, d);
        for (std::size_t e : chain) {
            peaks[e].baselineAtStart = LineThrough(peaks[e].startTime, c, d, yc, yd);
            peaks[e].baselineAtEnd = LineThrough(peaks[e].endTime, c, d, yc, yd);
        }
    }
    // Each peak is measured on its own: the threads share the table without
    // a lock, each writing only the peaks of its part.
    RunInParts(threads, n, [&](std::size_t, std::size_t from, std::size_t to) {
        for (std::size_t k = from; k < to; ++k)
            MeasurePeak(table, peaks[k]);
    });
    SubtractRiders(peaks);
}

void RelinkPeaks(PeakTable& table) {
    std::vector<Peak>& peaks = table.peaks;
    const std::size_t n = peaks.size();
    // (former position, position), to find the peak a stale link meant.
    std::vector<std::pair<std::int32_t, std::size_t>> former(n);
    for (std::size_t i = 0; i < n; ++i)
        former[i] = {peaks[i].ownIndex, i};
    std::sort(former.begin(), former.end());
    const auto resolve = [&](std::size_t i, std::int32_t link) -> std::int32_t {
        if (link < 0)
            return -1;
        if (validIndex(link, n) && peaks[static_cast<std::size_t>(link)].ownIndex == link)
            return link;
        auto it =
            std::lower_bound(former.begin(), former.end(), std::make_pair(link, std::size_t{0}));
        for (; it != former.end() && it->first == link; ++it)
            if (it->second != i)
                return static_cast<std::int32_t>(it->second);
        return -1;  // the peak it named is gone
    };
    for (std::size_t i = 0; i < n; ++i) {
        peaks[i].prevInGroup = resolve(i, peaks[i].prevInGroup);
        peaks[i].nextInGroup = resolve(i, peaks[i].nextInGroup);
    }
    table.renumber();
    repairLinks(peaks);
}

void NormalizePeaks(PeakTable& table) {
    RecalculatePeaks(table);
    std::stable_sort(table.peaks.begin(), table.peaks.end(), ApexBefore);
    RelinkPeaks(table);
}

bool AddPeak(PeakTable& table, double tA, double tB, bool resort, std::int32_t flags) {
    if (!std::isfinite(tA) || !std::isfinite(tB))
        return false;
    Peak p(tA, tB);
    p.ownIndex = static_cast<std::int32_t>(table.peaks.size());
    MeasurePeak(table, p);
    p.concentration = 0;
    p.flags = flags;
    table.peaks.push_back(std::move(p));
    if (resort) {
        std::stable_sort(table.peaks.begin(), table.peaks.end(), ApexBefore);
        RelinkPeaks(table);
        RecalculatePeaks(table);
    }
    return true;
}

bool DeletePeak(PeakTable& table, std::int64_t k, bool recalculate, bool keepNeighbourBounds) {
    std::vector<Peak>& peaks = table.peaks;
    const std::size_t n = peaks.size();
    if (!validIndex(k, n))
        return false;
    Peak& dead = peaks[static_cast<std::size_t>(k)];
    Peak* r = validIndex(dead.prevInGroup, n) && dead.prevInGroup != k
                  ? &peaks[static_cast<std::size_t>(dead.prevInGroup)]
                  : nullptr;
    Peak* s = validIndex(dead.nextInGroup, n) && dead.nextInGroup != k
                  ? &peaks[static_cast<std::size_t>(dead.nextInGroup)]
                  : nullptr;
    if (!keepNeighbourBounds) {
        if (r && !s)
            r->endTime = dead.endTime;
        else if (s && !r)
            s->startTime = dead.startTime;
        else if (r && s)
            r->endTime = s->startTime;
    }
    if (r)
        r->nextInGroup = dead.nextInGroup;
    if (s)
        s->prevInGroup = dead.prevInGroup;
    peaks.erase(peaks.begin() + k);
    RelinkPeaks(table);
    if (recalculate)
        RecalculatePeaks(table);
    return true;
}

bool AddAdjacentPeak(PeakTable& table, std::int64_t k, double t, int side) {
    std::vector<Peak>& peaks = table.peaks;
    const std::size_t n = peaks.size();
    if (!validIndex(k, n) || !std::isfinite(t) || (side != kAdjacentLeft && side != kAdjacentRight))
        return false;
    Peak& base = peaks[static_cast<std::size_t>(k)];
    const std::int32_t added = static_cast<std::int32_t>(n);
    Peak q;
    if (side == kAdjacentRight) {
        const double e = base.endTime;
        if (!(e < t))
            return false;
        q = Peak(e, t);
        q.prevInGroup = static_cast<std::int32_t>(k);
        if (validIndex(base.nextInGroup, n))
            peaks[static_cast<std::size_t>(base.nextInGroup)].prevInGroup = -1;
        base.nextInGroup = added;
    } else {
        const double e = base.startTime;
        if (!(t < e))
            return false;
        q = Peak(t, e);
        q.nextInGroup = static_cast<std::int32_t>(k);
        if (validIndex(base.prevInGroup, n))
            peaks[static_cast<std::size_t>(base.prevInGroup)].nextInGroup = -1;
        base.prevInGroup = added;
    }
    q.ownIndex = added;
    peaks.push_back(std::move(q));
    RecalculatePeaks(table);
    std::stable_sort(peaks.begin(), peaks.end(), ApexBefore);
    RelinkPeaks(table);
    return true;
}

bool SetPeakBounds(PeakTable& table, std::int64_t k, double tStart, double tEnd) {
    std::vector<Peak>& peaks = table.peaks;
    const std::size_t n = peaks.size();
    if (!validIndex(k, n) || !std::isfinite(tStart) || !std::isfinite(tEnd) || tStart > tEnd)
        return false;
    Peak& p = peaks[static_cast<std::size_t>(k)];
    Peak* prev =
        validIndex(p.prevInGroup, n) ? &peaks[static_cast<std::size_t>(p.prevInGroup)] : nullptr;
    Peak* next =
        validIndex(p.nextInGroup, n) ? &peaks[static_cast<std::size_t>(p.nextInGroup)] : nullptr;
    if (prev && tStart < prev->startTime)
        return false;
    if (next && tEnd > next->endTime)
        return false;
    p.startTime = tStart;
    p.endTime = tEnd;
    if (prev)
        prev->endTime = tStart;
    if (next)
        next->startTime = tEnd;
    // A moved bound can move the apex past a neighbour's: keep the order.
    NormalizePeaks(table);
    return true;
}

bool PeakOverlaps(const PeakTable& table, std::int64_t k, double x1, double x2) {
    const Peak* p = table.at(k);
    if (!p)
        return false;
    const double s = p->startTime, e = p->endTime;
    return (x1 >= s && x1 <= e) || (x2 >= s && x2 <= e) || (x1 <= s && s <= x2) ||
           (x1 <= e && e <= x2);
}

int BoundHandle(const PeakTable& table, std::int64_t k, double x1, double x2) {
    const Peak* p = table.at(k);
    if (!p)
        return 0;
    if (x1 <= p->startTime && p->startTime <= x2)
        return 1;
    if (x1 <= p->endTime && p->endTime <= x2)
        return 2;
    return 0;
}

std::int64_t PeakAtSample(const PeakTable& table, std::int64_t i) {
    const Signal& sig = signalOf(table);
    const double t = sig.t0 + static_cast<double>(i) * sig.dt;
    for (std::size_t k = 0; k < table.peaks.size(); ++k)
        if (table.peaks[k].startTime < t && t < table.peaks[k].endTime)
            return static_cast<std::int64_t>(k);
    return -1;
}

double MaxPeakHeight(const PeakTable& table) {
    double best = -DBL_MAX;
    for (const Peak& p : table.peaks)
        best = std::max(best, p.height);
    return best;
}

void installIntegrationAfterRead() {
    installTableMeasurer([](PeakTable& table) { RecalculatePeaks(table); });
}

namespace {
// Any program that integrates peaks also gets integrated tables from files.
[[maybe_unused]] const bool kInstalledAfterRead = (installIntegrationAfterRead(), true);
}  // namespace

}  // namespace zelmora
