#include "reference_marking.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "processing/peak_detector.h"
#include "processing/peak_integration.h"
#include "processing/signal_helpers.h"

namespace zelmora::reference {
namespace {

bool finite(const Peak& p) {
    return std::isfinite(p.startTime) && std::isfinite(p.endTime);
}

void cutBadLinks(std::vector<Peak>& peaks) {
    const int n = static_cast<int>(peaks.size());
    for (int i = 0; i < n; ++i) {
        Peak& p = peaks[i];
        if (p.prevInGroup >= n || p.prevInGroup == i || p.prevInGroup < -1)
            p.prevInGroup = -1;
        if (p.nextInGroup >= n || p.nextInGroup == i || p.nextInGroup < -1)
            p.nextInGroup = -1;
    }
    for (int i = 0; i < n; ++i) {
        Peak& p = peaks[i];
        if (p.nextInGroup >= 0 && peaks[p.nextInGroup].prevInGroup != i)
            p.nextInGroup = -1;
        if (p.prevInGroup >= 0 && peaks[p.prevInGroup].nextInGroup != i)
            p.prevInGroup = -1;
    }
}

// The area above the chord of samples s..e as the scan takes it: sum, dt and
// result in single precision.
// Samples s..e clamped to the trace, summed in single precision from the
// left; false when nothing is left of the stretch.
bool floatSum(const Signal& sig, std::int64_t& s, std::int64_t& e, float& sum) {
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    s = std::max<std::int64_t>(s, 0);
    e = std::min<std::int64_t>(e, n - 1);
    if (s > e)
        return false;
    sum = 0;
    for (std::int64_t i = s; i <= e; ++i)
        sum += sig.samples[i];
    return true;
}

float scanArea(const Signal& sig, std::int64_t s, std::int64_t e) {
    float sum = 0;
    if (!floatSum(sig, s, e, sum))
        return 0;
    const float a = sig.samples[s] + sig.samples[e];
    const float dt = static_cast<float>(sig.dt);
    return (sum - a / 2 - static_cast<float>(e - s) * a / 2) * dt;
}

// The same area as the widening takes it: the sum in single precision, the
// rest in double with dt in single precision.
double widenArea(const Signal& sig, std::int64_t s, std::int64_t e) {
    float sum = 0;
    if (!floatSum(sig, s, e, sum))
        return 0;
    const double a = double(sig.samples[s]) + double(sig.samples[e]);
    const double dt = static_cast<float>(sig.dt);
    return (double(sum) - a / 2 - double(e - s) * a / 2) * dt;
}

// The timetable walk: a kind-0 event opens a zone when none is open, a
// kind-1 event closes an open one.
bool markingAllowed(const std::vector<PeakEvent>& ev, double a, double b) {
    double fs = -1.0;
    bool open = false;
    for (const PeakEvent& e : ev) {
        if (e.kind == 0 && !open) {
            fs = e.time;
            open = true;
        } else if (e.kind == 1 && open) {
            const double fe = e.time;
            if ((fs < a && a < fe) || (fs < b && b < fe))
                return false;
            open = false;
        }
    }
    return !(open && (a > fs || b > fs));
}

double expandWindow(const PeakTable& table, const std::vector<PeakEvent>& ev, std::int64_t& L,
                    std::int64_t& R) {
    const Signal& sig = *table.signal();
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    const double dt = static_cast<float>(sig.dt), t0 = static_cast<float>(sig.t0);
    const std::int64_t m = ClampIndex(table.detection.width / (2 * dt), 0, n);
    const std::int64_t maxW = ClampIndex(table.detection.maxWidth / dt, -1, n + 1);
    double best = std::fabs(widenArea(sig, L, R));
    std::int64_t bestL = L, bestR = R;
    bool improved = true;
    while (improved) {
        improved = false;
        const std::int64_t L0 = bestL, R0 = bestR;
        const std::int64_t mL = std::min(L0, m), mR = std::min(n - R0, m);
        for (std::int64_t i = 0; i < mL; ++i) {
            const double t = double(L0 - i) * dt + t0;
            if (!markingAllowed(ev, t, t))
                break;
            if (R0 - L0 + i > maxW)
                return 0;
            const double a = widenArea(sig, L0 - i, R0);
            if (a > best) {
                best = a;
                bestL = L0 - i;
                improved = true;
            }
        }
        for (std::int64_t j = 0; j < mR; ++j) {
            const double t = double(R0 + j) * dt + t0;
            if (!markingAllowed(ev, t, t))
                break;
            if (R0 + j - L0 > maxW)
                return 0;
            const double a = widenArea(sig, bestL, R0 + j);
            if (a > best) {
                best = a;
                bestR = R0 + j;
                improved = true;
            }
        }
    }
    L = bestL;
    R = bestR;
    return best;
}

void processGroup(const std::vector<PeakEvent>& ev, PeakTable& table, int a, int b) {
    if (a >= b)
        return;
    std::vector<Peak>& peaks = table.peaks;
    const Signal& sig = *table.signal();
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    const auto sample = [&](double t) { return ClampIndex((t - sig.t0) / sig.dt, 0, n - 1); };
    std::int64_t iL = sample(peaks[a].startTime), iR = sample(peaks[b].endTime);
    expandWindow(table, ev, iL, iR);
    if (iR <= iL)
        return;
    const double k = (double(sig.samples[iR]) - sig.samples[iL]) / double(iR - iL);
    const double c = sig.samples[iL] - double(iL) * k;
    for (int i = a; i < b; ++i)
        for (std::int64_t j = sample(peaks[i].apexTime); j <= sample(peaks[i + 1].apexTime); ++j)
            if (k * double(j) + c > sig.samples[j]) {
                processGroup(ev, table, a, i);
                processGroup(ev, table, i + 1, b);
                return;
            }
    const auto rider = [&](int i) { return (peaks[i].flags & Peak::kRider) != 0; };
    int f = -1, l = -1;
    for (int i = a; i <= b; ++i)
        if (!rider(i)) {
            if (f < 0)
                f = i;
            l = i;
        }
    if (f < 0 || f == l)
        return;
    peaks[f].startTime = sig.t0 + double(iL) * sig.dt;
    peaks[f].flags |= Peak::kCommonBaseline;
    peaks[l].endTime = sig.t0 + double(iR) * sig.dt;
    for (int p = a; p <= b; ++p) {
        if (rider(p)) {
            peaks[p].prevInGroup = peaks[p].nextInGroup = -1;
            continue;
        }
        int prev = -1, next = -1;
        for (int q = p - 1; q >= f; --q)
            if (!rider(q)) {
                prev = q;
                break;
            }
        for (int q = p + 1; q <= l; ++q)
            if (!rider(q)) {
                next = q;
                break;
            }
        peaks[p].prevInGroup = prev;
        peaks[p].nextInGroup = next;
        if (prev >= 0)
            peaks[prev].nextInGroup = p;
        if (next < 0)
            continue;
        peaks[next].prevInGroup = p;
        Peak &cur = peaks[p], &nx = peaks[next];
        if (nx.startTime >= cur.startTime && nx.endTime >= cur.endTime) {
            std::int64_t j0 = sample(cur.apexTime), j1 = sample(nx.apexTime), best = j0;
            for (std::int64_t j = j0; j <= j1; ++j)
                if (sig.samples[j] < sig.samples[best])
                    best = j;
            cur.endTime = nx.startTime = sig.t0 + double(best) * sig.dt;
        } else if (nx.startTime >= cur.startTime) {
            cur.endTime = nx.startTime;
        } else {
            nx.startTime = cur.endTime;
        }
    }
}

}  // namespace

void RecalculatePeaks(PeakTable& table) {
    std::vector<Peak>& peaks = table.peaks;
    const int n = static_cast<int>(peaks.size());
    const Signal& sig = *table.signal();
    for (int h = 0; h < n; ++h) {
        if (peaks[h].nextInGroup < 0 || peaks[h].prevInGroup >= 0)
            continue;
        int z = h;
        for (int steps = 0; peaks[z].nextInGroup >= 0 && steps < n; ++steps)
            z = peaks[z].nextInGroup;
        const double c = peaks[h].startTime, d = peaks[z].endTime;
        const double yc = SignalValueAt(sig, c), yd = SignalValueAt(sig, d);
        for (int e = h, steps = 0; e >= 0 && steps <= n; e = peaks[e].nextInGroup, ++steps) {
            peaks[e].baselineAtStart = LineThrough(peaks[e].startTime, c, d, yc, yd);
            peaks[e].baselineAtEnd = LineThrough(peaks[e].endTime, c, d, yc, yd);
        }
    }
    for (Peak& p : peaks)
        MeasurePeak(table, p);
    std::vector<double> measured(n);
    for (int i = 0; i < n; ++i)
        measured[i] = peaks[i].area;
    for (int j = 0; j < n; ++j) {
        int best = -1;
        for (int i = 0; i < n; ++i) {
            const Peak &p = peaks[i], &q = peaks[j];
            if (i == j || !finite(p) || !finite(q))
                continue;
            if (p.startTime <= q.startTime && p.endTime >= q.endTime &&
                !(p.startTime == q.startTime && p.endTime == q.endTime) &&
                (best < 0 || p.endTime - p.startTime < peaks[best].endTime - peaks[best].startTime))
                best = i;
        }
        if (best >= 0)
            peaks[best].area -= measured[j];
    }
}

void RelinkPeaks(PeakTable& table) {
    std::vector<Peak>& peaks = table.peaks;
    const int n = static_cast<int>(peaks.size());
    for (int i = 0; i < n; ++i)
        for (std::int32_t* link : {&peaks[i].prevInGroup, &peaks[i].nextInGroup}) {
            const int L = *link;
            if (L < 0 || (L < n && peaks[L].ownIndex == L))
                continue;
            int found = -1;
            for (int j = 0; j < n && found < 0; ++j)
                if (j != i && peaks[j].ownIndex == L)
                    found = j;
            *link = found;
        }
    table.renumber();
    cutBadLinks(peaks);
}

void NormalizePeaks(PeakTable& table) {
    reference::RecalculatePeaks(table);
    std::stable_sort(table.peaks.begin(), table.peaks.end(), ApexBefore);
    reference::RelinkPeaks(table);
}

void DeletePeak(PeakTable& table, std::size_t k, bool recalculate, bool keepNeighbourBounds) {
    std::vector<Peak>& peaks = table.peaks;
    Peak& dead = peaks[k];
    Peak* r = dead.prevInGroup >= 0 ? &peaks[dead.prevInGroup] : nullptr;
    Peak* s = dead.nextInGroup >= 0 ? &peaks[dead.nextInGroup] : nullptr;
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
    peaks.erase(peaks.begin() + static_cast<std::ptrdiff_t>(k));
    reference::RelinkPeaks(table);
    if (recalculate)
        reference::RecalculatePeaks(table);
}

void DetectPeaks(PeakTable& table, const std::vector<PeakEvent>& events, double width,
                 double maxCommonBaselineDistance, double widthDoublingTime, double maxRiderArea,
                 double maxWidth, double minHeight, double minArea, double markingStart) {
    std::vector<PeakEvent> ev = events;
    std::stable_sort(ev.begin(), ev.end(),
                     [](const PeakEvent& a, const PeakEvent& b) { return a.time < b.time; });
    table.peaks.clear();
    DetectionState& d = table.detection;
    d = {width,   maxWidth,     widthDoublingTime, std::max(minHeight, 0.0),
         minArea, markingStart, maxRiderArea,      maxCommonBaselineDistance};
    const Signal& sig = *table.signal();
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    if (n < 3)
        return;
    const auto t = [&](std::int64_t i) { return sig.t0 + double(i) * sig.dt; };
    const std::int64_t i0 = ClampIndex(std::ceil((markingStart - sig.t0) / sig.dt), 0, n);
    double prevApex = -DBL_MAX;
    float sMax = -FLT_MAX;
    std::int64_t jMax = 0;
    for (std::int64_t i = i0; i < n; ++i) {
        double width = d.width / sig.dt;
        if (d.widthDoublingTime != 0)
            width *= double(i) * sig.dt / d.widthDoublingTime + 1;
        const std::int64_t w = ClampIndex(width, 0, n), h = w / 2;
        for (const PeakEvent& e : ev) {
            if (!(e.time < t(i)))
                continue;
            if (e.kind == kSetMaxCommonBaselineDistance)
                d.maxCommonBaselineDistance = e.value;
            else if (e.kind == kSetWidth)
                d.width = e.value;
            else if (e.kind == kSetMaxRiderArea)
                d.maxRiderArea = e.value;
            else if (e.kind == kSetWidthDoublingTime)
                d.widthDoublingTime = e.value;
        }
        if (!(i <= n - 2 && i >= i0 + 1 && i >= h + 1 && i <= n - h - 1))
            continue;
        const float s = scanArea(sig, i - h, i + h);
        if (s > 0 && s > sMax) {
            sMax = s;
            jMax = i;
        } else if (sMax > 0 && (i >= n - h - 2 || i - jMax > w || s < 0)) {
            std::int64_t L = jMax - h, R = jMax + h;
            const bool ok = markingAllowed(ev, t(L), t(R));
            const double A = ok ? expandWindow(table, ev, L, R) : 0;
            if (A > d.minArea && ok) {
                Peak cand(t(L), t(R));
                MeasurePeak(table, cand);
                const bool rider = cand.area < d.maxRiderArea;
                bool keep = true;
                for (std::size_t k = 0; k < table.peaks.size(); ++k)
                    if (std::fabs(table.peaks[k].apexTime - cand.apexTime) < double(w) * sig.dt) {
                        if (cand.area > table.peaks[k].area)
                            reference::DeletePeak(table, k, true, false);
                        else
                            keep = false;
                        break;
                    }
                if (keep) {
                    std::int32_t flags = rider ? Peak::kRider : 0;
                    if (cand.apexTime - prevApex < d.maxCommonBaselineDistance)
                        flags |= Peak::kCommonBaseline;
                    AddPeak(table, t(L), t(R), false, flags);
                    if (!rider)
                        prevApex = cand.apexTime;
                }
            }
            sMax = -FLT_MAX;
            jMax = i + h;
        }
        i += h;
    }
    reference::NormalizePeaks(table);
    for (std::size_t k = 0; k < table.peaks.size();) {
        for (const PeakEvent& e : ev) {
            if (!(e.time < table.peaks[k].startTime))
                continue;
            if (e.kind == kSetMaxWidth)
                d.maxWidth = e.value / 60;
            else if (e.kind == kSetMinHeight)
                d.minHeight = e.value;
            else if (e.kind == kSetMinArea)
                d.minArea = e.value;
        }
        if (table.peaks[k].height < d.minHeight || table.peaks[k].area < d.minArea)
            reference::DeletePeak(table, k, false, false);
        else
            ++k;
    }
    reference::NormalizePeaks(table);
    bool forbidden = false;
    for (std::size_t k = 0; k < table.peaks.size();) {
        for (const PeakEvent& e : ev)
            if (e.time < table.peaks[k].startTime && (e.kind == 0 || e.kind == 1))
                forbidden = e.kind == 0;
        if (forbidden)
            reference::DeletePeak(table, k, false, true);
        else
            ++k;
    }
    reference::NormalizePeaks(table);
    bool merging = false;
    int anchor = -1;
    for (std::size_t k = 0; k < table.peaks.size();) {
        for (const PeakEvent& e : ev)
            if (e.time < table.peaks[k].startTime && (e.kind == 2 || e.kind == 3))
                merging = e.kind == 2;
        if (!merging) {
            anchor = -1;
            ++k;
        } else if (anchor < 0) {
            anchor = static_cast<int>(k);
            ++k;
        } else {
            // The anchor becomes the peak's left neighbour and takes over its
            // range when the peak is deleted.
            if (table.peaks[k].prevInGroup < 0)
                table.peaks[k].prevInGroup = anchor;
            reference::DeletePeak(table, k, false, false);
        }
    }
    reference::NormalizePeaks(table);
    int first = 0, last = 0;
    bool inRun = false;
    for (int k = 0; k < static_cast<int>(table.peaks.size()); ++k) {
        if (table.peaks[k].flags & Peak::kCommonBaseline) {
            last = k;
            inRun = true;
        } else {
            if (inRun)
                processGroup(ev, table, first, last);
            inRun = false;
            first = k;
        }
    }
    if (inRun)
        processGroup(ev, table, first, last);
    reference::RecalculatePeaks(table);
}

}  // namespace zelmora::reference
