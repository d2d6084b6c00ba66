#include "processing/peak_detector.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <map>

#include "processing/peak_grouping.h"
#include "processing/peak_integration.h"
#include "processing/signal_helpers.h"

namespace zelmora {
namespace {

// The peaks found while scanning, in the order they were added, with what
// the closeness test needs in logarithmic time.
//
// While marking, no peak has neighbours, so a peak's apex and own measured
// area never change; what a recalculation changes is the area, which loses
// the areas of the peaks it encloses. Deleting a peak recalculates the whole
// table, so the area that the closeness test sees for a peak is its measured
// area when it was added after the last deletion, and otherwise its measured
// area less the peaks it encloses among those that existed at that deletion.
// That area is worked out on demand from the peaks near it instead of
// recalculating the table at every deletion.
class ScanList {
  public:
    void add(Peak p) {
        const std::size_t k = peaks_.size();
        maxLength_ = std::max(maxLength_, p.endTime - p.startTime);
        byApex_.emplace(p.apexTime, k);
        byStart_.emplace(p.startTime, k);
        peaks_.push_back(std::move(p));
        alive_.push_back(1);
    }

    // Deleting a peak recalculates the table.
    void remove(std::size_t k) {
        erase(byApex_, peaks_[k].apexTime, k);
        erase(byStart_, peaks_[k].startTime, k);
        alive_[k] = 0;
        recalculated_ = peaks_.size();
    }

    // The earliest added peak whose apex is less than `reach` from `apex`.
    std::optional<std::size_t> firstClose(double apex, double reach) const {
        if (!(reach > 0))
            return std::nullopt;
        const double slack = reach + 1e-9 * (std::fabs(apex) + reach);
        std::optional<std::size_t> best;
        for (auto it = byApex_.lower_bound(apex - slack);
             it != byApex_.end() && it->first <= apex + slack; ++it)
            if (std::fabs(it->first - apex) < reach && (!best || it->second < *best))
                best = it->second;
        return best;
    }

    const Peak& peak(std::size_t k) const { return peaks_[k]; }

    double currentArea(std::size_t k) const {
        const Peak& p = peaks_[k];
        if (k >= recalculated_)
            return p.area;
        double area = p.area;
        for (auto it = byStart_.lower_bound(p.startTime);
             it != byStart_.end() && it->first <= p.endTime; ++it) {
            const std::size_t j = it->second;
            const Peak& q = peaks_[j];
            if (j == k || j >= recalculated_ || q.endTime > p.endTime ||
                (q.startTime == p.startTime && q.endTime == p.endTime))
                continue;
            if (smallestEncloser(j) == k)
                area -= q.area;
        }
        return area;
    }

    // The surviving peaks in the order they were added. The indexes go
    // first and the peaks close up in place, so that the list is never held
    // twice.
    std::vector<Peak> release() {
        byApex_.clear();
        byStart_.clear();
        std::size_t kept = 0;
        for (std::size_t k = 0; k < peaks_.size(); ++k)
            if (alive_[k]) {
                if (kept != k)
                    peaks_[kept] = std::move(peaks_[k]);
                peaks_[kept].ownIndex = static_cast<std::int32_t>(kept);
                ++kept;
            }
        peaks_.resize(kept);
        alive_.clear();
        return std::move(peaks_);
    }

  private:
    static void erase(std::multimap<double, std::size_t>& index, double key, std::size_t k) {
        auto [it, end] = index.equal_range(key);
        for (; it != end; ++it)
            if (it->second == k) {
                index.erase(it);
                return;
            }
    }

    // Among the peaks of the last recalculation: the smallest one that
    // encloses peak j without having its very range; the earlier one on ties.
    std::size_t smallestEncloser(std::size_t j) const {
        const Peak& q = peaks_[j];
        const double from = q.endTime - maxLength_ - 1e-9 * (std::fabs(q.endTime) + maxLength_);
        std::size_t best = static_cast<std::size_t>(-1);
        double bestLength = DBL_MAX;
        for (auto it = byStart_.lower_bound(from); it != byStart_.end() && it->first <= q.startTime;
             ++it) {
            const std::size_t i = it->second;
            const Peak& p = peaks_[i];
            if (i == j || i >= recalculated_ || p.endTime < q.endTime ||
                (p.startTime == q.startTime && p.endTime == q.endTime))
                continue;
            const double length = p.endTime - p.startTime;
            if (length < bestLength || (length == bestLength && i < best)) {
                bestLength = length;
                best = i;
            }
        }
        return best;
    }

    std::vector<Peak> peaks_;  // measured areas, as added
    std::vector<char> alive_;
    std::multimap<double, std::size_t> byApex_, byStart_;  // surviving peaks
    std::size_t recalculated_ = 0;                         // peaks added before the last deletion
    double maxLength_ = 0;
};

}  // namespace

PeakDetector::PeakDetector(PeakTable& table, std::vector<PeakEvent> events)
    : table_(table), events_(std::move(events)) {
    std::stable_sort(events_.begin(), events_.end(),
                     [](const PeakEvent& a, const PeakEvent& b) { return a.time < b.time; });
    // The forbidden zones as the timetable walk sees them: a "forbid" opens a
    // zone when none is open, an "allow" closes an open one.
    std::optional<double> open;
    for (const PeakEvent& e : events_) {
        if (e.kind == kForbidMarking && !open)
            open = e.time;
        else if (e.kind == kAllowMarking && open) {
            closedZones_.push_back({*open, e.time});
            open.reset();
        }
    }
    openZone_ = open;
}

bool PeakDetector::IsMarkingAllowed(double a, double b) const {
    for (const Zone& z : closedZones_)
        if ((z.from < a && a < z.to) || (z.from < b && b < z.to))
            return false;
    if (openZone_ && (a > *openZone_ || b > *openZone_))
        return false;
    return true;
}

std::int64_t PeakDetector::windowWidth(std::int64_t i) const {
    const Signal& sig = *table_.signal();
    const DetectionState& d = table_.detection;
    double w = d.width / sig.dt;
    if (d.widthDoublingTime != 0)
        w *= static_cast<double>(i) * sig.dt / d.widthDoublingTime + 1;
    return ClampIndex(w, 0, static_cast<std::int64_t>(sig.size()));
}

double PeakDetector::ExpandWindow(std::int64_t& L, std::int64_t& R) const {
    EdgeSums sums;
    return expandWindow(L, R, sums);
}

double PeakDetector::expandWindow(std::int64_t& L, std::int64_t& R, EdgeSums& sums) const {
    if (!table_.signal() || !HasTimeBase(*table_.signal()))
        return 0;
    const Signal& sig = *table_.signal();
    const ChordAreas& areas = chordAreas();
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    // The widening takes the time base in single precision, the half window
    // and the largest width in samples included: MaxWidth / float(dt) may
    // truncate one sample below MaxWidth / dt.
    const double dtf = static_cast<float>(sig.dt), t0f = static_cast<float>(sig.t0);
    const DetectionState& d = table_.detection;
    const std::int64_t m = ClampIndex(d.width / (2 * dtf), 0, n);
    const std::int64_t maxW = ClampIndex(d.maxWidth / dtf, -1, n + 1);
    if (!(0 <= L && L <= R && R < n))
        return expandWindowClamped(L, R, m, maxW);
    const bool zones = !closedZones_.empty() || openZone_;
    const auto allowed = [&](std::int64_t i) {
        const double t = static_cast<double>(i) * dtf + t0f;
        return IsMarkingAllowed(t, t);
    };
    // Every area is taken from the float sum of its samples from its left
    // edge on. The trial left edges of all passes end at the pass's right
    // edge, which only moves right, while the edges only move left: their
    // sums are carried along (EdgeSums) instead of being summed afresh.
    sums.reset(L);
    sums.reach(areas, L, L, R);
    double best = std::fabs(areas.areaFromSum(sums.sum(L), L, R));
    std::int64_t bestL = L, bestR = R;
    for (bool improved = true; improved;) {
        improved = false;
        const std::int64_t L0 = bestL, R0 = bestR;
        const std::int64_t mL = std::min(L0, m), mR = std::min(n - R0, m);
        // Where each side stops, and whether the pass finds the peak too wide,
        // depend on the edges alone and are settled before any area: a pass
        // that finds it too wide ends the widening with 0 whatever its areas.
        // Edge i on the left (j on the right) is tried only when every edge
        // before it lies outside the forbidden zones, and the zone test comes
        // before the width test at each edge.
        std::int64_t left = mL, right = mR;
        const std::int64_t tooWide = std::max<std::int64_t>(0, maxW - (R0 - L0) + 1);
        if (zones) {
            for (std::int64_t i = 0; i < std::min(mL, tooWide + 1); ++i)
                if (!allowed(L0 - i)) {
                    left = i;
                    break;
                }
            for (std::int64_t j = 0; j < std::min(mR, tooWide + 1); ++j)
                if (!allowed(R0 + j)) {
                    right = j;
                    break;
                }
        }
        if (tooWide < left || tooWide < right)
            return 0;
        // The right side starts from the sum of bestL, which is L0 when no
        // left edge is tried.
        if (left > 0 || right > 0)
            sums.reach(areas, L0 - std::max<std::int64_t>(left, 1) + 1, L0, R0);
        // The areas do not depend on each other; the choice is written
        // without branches so that the processor works on several at once.
        // A larger area replaces the best only when strictly greater, so on
        // equal areas the first edge tried stays.
        std::int64_t newL = L0, newR = R0;
        double leftBest = best;
        for (std::int64_t i = 0; i < left; ++i) {
            const double a = areas.areaFromSum(sums.sum(L0 - i), L0 - i, R0);
            const bool larger = a > leftBest;
            leftBest = larger ? a : leftBest;
            newL = larger ? L0 - i : newL;
        }
        improved = leftBest > best;
        best = leftBest;
        bestL = newL;
        // Towards the right every trial edge adds one sample to the sum from
        // bestL, in the order of a fresh sum.
        float sum = right > 0 ? sums.sum(bestL) : 0;
        double rightBest = best;
        for (std::int64_t j = 0; j < right; ++j) {
            if (j > 0)
                sum += areas.sample(R0 + j);
            const double a = areas.areaFromSum(sum, bestL, R0 + j);
            const bool larger = a > rightBest;
            rightBest = larger ? a : rightBest;
            newR = larger ? R0 + j : newR;
        }
        improved = improved || rightBest > best;
        best = rightBest;
        bestR = newR;
    }
    L = bestL;
    R = bestR;
    return best;
}

// The widening of a range that reaches outside the trace or is given the
// wrong way round: every area summed afresh over the range clamped to the
// trace.
double PeakDetector::expandWindowClamped(std::int64_t& L, std::int64_t& R, std::int64_t m,
                                         std::int64_t maxW) const {
    const Signal& sig = *table_.signal();
    const ChordAreas& areas = chordAreas();
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    const double dtf = static_cast<float>(sig.dt), t0f = static_cast<float>(sig.t0);
    const bool zones = !closedZones_.empty() || openZone_;
    double best = std::fabs(areas.area(L, R));
    std::int64_t bestL = L, bestR = R;
    for (bool improved = true; improved;) {
        improved = false;
        const std::int64_t L0 = bestL, R0 = bestR;
        const std::int64_t mL = std::min(L0, m), mR = std::min(n - R0, m);
        for (std::int64_t i = 0; i < mL; ++i) {
            if (zones) {
                const double t = static_cast<double>(L0 - i) * dtf + t0f;
                if (!IsMarkingAllowed(t, t))
                    break;
            }
            if (R0 - L0 + i > maxW)
                return 0;
            const double a = areas.area(L0 - i, R0);
            if (a > best) {
                best = a;
                bestL = L0 - i;
                improved = true;
            }
        }
        for (std::int64_t j = 0; j < mR; ++j) {
            if (zones) {
                const double t = static_cast<double>(R0 + j) * dtf + t0f;
                if (!IsMarkingAllowed(t, t))
                    break;
            }
            if (R0 + j - L0 > maxW)
                return 0;
            const double a = areas.area(bestL, R0 + j);
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

const PeakEvent* PeakDetector::lastEventBefore(double t,
                                               std::initializer_list<std::int32_t> kinds) const {
    // Events are sorted by time: the last one before t is found by bisection,
    // then the walk goes back to the nearest one of the wanted kinds.
    auto it = std::lower_bound(events_.begin(), events_.end(), t,
                               [](const PeakEvent& e, double v) { return e.time < v; });
    while (it != events_.begin()) {
        --it;
        if (std::find(kinds.begin(), kinds.end(), it->kind) != kinds.end())
            return &*it;
    }
    return nullptr;
}

void PeakDetector::DetectPeaks(const DetectionState& parameters) {
    table_.peaks.clear();
    DetectionState& d = table_.detection;
    d = parameters;
    d.minHeight = std::max(parameters.minHeight, 0.0);
    const Signal* sig = table_.signal();
    if (!sig || sig->size() < 3 || !HasTimeBase(*sig))
        return;
    areas_.emplace(*sig);
    scan();
    normalizeUnlinked();
    filterBySize();
    normalizeUnlinked();
    removeForbidden();
    normalizeUnlinked();
    mergeZones();
    // A merged peak has a new range: its apex and the order are renewed
    // before groups are built from them.
    normalizeUnlinked();
    measured_ = {};
    BuildGroups(*this);
    RecalculatePeaks(table_);
}

void PeakDetector::normalizeUnlinked() {
    // NormalizePeaks for a table whose peaks have no neighbours and whose
    // measurements (measured_ for the areas) belong to their present ranges:
    // measuring such a peak again gives the very same figures, so only the
    // riders are taken off afresh before the table is sorted and numbered.
    std::vector<Peak>& peaks = table_.peaks;
    const std::size_t n = peaks.size();
    for (std::size_t k = 0; k < n; ++k)
        peaks[k].area = measured_[k];
    SubtractRiders(peaks);
    // The order of a stable sort is the only one its comparison allows, so
    // sorting positions gives the order that sorting the peaks would.
    std::vector<std::size_t> order(n);
    for (std::size_t k = 0; k < n; ++k)
        order[k] = k;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return ApexBefore(peaks[a], peaks[b]); });
    // Position k takes the peak from position order[k]; the peaks move along
    // the cycles of that permutation in place.
    std::vector<char> placed(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        if (placed[k] || order[k] == k)
            continue;
        Peak first = std::move(peaks[k]);
        const double firstArea = measured_[k];
        std::size_t j = k;
        for (std::size_t from = order[j]; from != k; j = from, from = order[j]) {
            peaks[j] = std::move(peaks[from]);
            measured_[j] = measured_[from];
            placed[j] = 1;
        }
        peaks[j] = std::move(first);
        measured_[j] = firstArea;
        placed[j] = 1;
    }
    table_.renumber();
}

const ChordAreas& PeakDetector::chordAreas() const {
    if (!areas_)
        areas_.emplace(*table_.signal());
    return *areas_;
}

void PeakDetector::scan() {
    const Signal& sig = *table_.signal();
    DetectionState& d = table_.detection;
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    const double t0 = sig.t0, dt = sig.dt;
    const auto timeOf = [&](std::int64_t i) { return t0 + static_cast<double>(i) * dt; };
    const std::int64_t i0 = ClampIndex(std::ceil((d.markingStart - t0) / dt), 0, n);
    double prevApex = -DBL_MAX;  // apex of the last peak kept that is not a rider
    float sMax = -FLT_MAX;       // largest window area of the current candidate
    std::int64_t jMax = 0;       // its centre
    std::size_t nextEvent = 0;
    ScanList found;
    EdgeSums sums;  // the widening's storage, kept from candidate to candidate
    WindowAreas windows(chordAreas());

    const auto finish = [&](std::int64_t h, std::int64_t w) {
        std::int64_t L = jMax - h, R = jMax + h;
        const bool ok = IsMarkingAllowed(timeOf(L), timeOf(R));
        const double area = ok ? expandWindow(L, R, sums) : 0;
        if (!(area > d.minArea && ok))
            return;
        Peak candidate(timeOf(L), timeOf(R));
        MeasurePeak(table_, candidate);
        const bool rider = candidate.area < d.maxRiderArea;
        if (auto k = found.firstClose(candidate.apexTime, static_cast<double>(w) * dt)) {
            if (!(candidate.area > found.currentArea(*k)))
                return;
            found.remove(*k);
        }
        candidate.flags = rider ? Peak::kRider : 0;
        if (candidate.apexTime - prevApex < d.maxCommonBaselineDistance)
            candidate.flags |= Peak::kCommonBaseline;
        if (!rider)
            prevApex = candidate.apexTime;
        found.add(std::move(candidate));
    };

    for (std::int64_t i = i0; i < n; ++i) {
        const std::int64_t w = windowWidth(i);
        const std::int64_t h = w / 2;
        const double t = timeOf(i);
        for (; nextEvent < events_.size() && events_[nextEvent].time < t; ++nextEvent) {
            const PeakEvent& e = events_[nextEvent];
            switch (e.kind) {
                case kSetMaxCommonBaselineDistance:
                    d.maxCommonBaselineDistance = e.value;
                    break;
                case kSetWidth:
                    d.width = e.value;
                    break;
                case kSetMaxRiderArea:
                    d.maxRiderArea = e.value;
                    break;
                case kSetWidthDoublingTime:
                    d.widthDoublingTime = e.value;
                    break;
                default:
                    break;
            }
        }
        if (!(i <= n - 2 && i >= i0 + 1 && i >= h + 1 && i <= n - h - 1))
            continue;
        // The window area is summed and kept in single precision.
        const float s = windows.area(i - h, i + h);
        if (s > 0 && s > sMax) {
            sMax = s;
            jMax = i;
        } else if (sMax > 0 && (i >= n - h - 2 || i - jMax > w || s < 0)) {
            finish(h, w);
            sMax = -FLT_MAX;
            jMax = i + h;
        }
        i += h;
    }
    table_.peaks = found.release();
    measured_.clear();
    for (const Peak& p : table_.peaks)
        measured_.push_back(p.area);
}

void PeakDetector::filterBySize() {
    DetectionState& d = table_.detection;
    std::vector<Peak>& peaks = table_.peaks;
    // No peak has neighbours here: a deletion is a plain removal.
    std::size_t kept = 0;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        const double start = peaks[k].startTime;
        if (const PeakEvent* e = lastEventBefore(start, {kSetMaxWidth}))
            d.maxWidth = fromEventUnits(kSetMaxWidth, e->value);
        if (const PeakEvent* e = lastEventBefore(start, {kSetMinHeight}))
            d.minHeight = e->value;
        if (const PeakEvent* e = lastEventBefore(start, {kSetMinArea}))
            d.minArea = e->value;
        if (peaks[k].height < d.minHeight || peaks[k].area < d.minArea)
            continue;
        if (kept != k) {
            peaks[kept] = std::move(peaks[k]);
            measured_[kept] = measured_[k];
        }
        ++kept;
    }
    peaks.resize(kept);
    measured_.resize(kept);
    table_.renumber();
}

void PeakDetector::removeForbidden() {
    std::vector<Peak>& peaks = table_.peaks;
    bool forbidden = false;
    std::size_t kept = 0;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        if (const PeakEvent* e =
                lastEventBefore(peaks[k].startTime, {kForbidMarking, kAllowMarking}))
            forbidden = e->kind == kForbidMarking;
        if (forbidden)
            continue;
        if (kept != k) {
            peaks[kept] = std::move(peaks[k]);
            measured_[kept] = measured_[k];
        }
        ++kept;
    }
    peaks.resize(kept);
    measured_.resize(kept);
    table_.renumber();
}

void PeakDetector::mergeZones() {
    std::vector<Peak>& peaks = table_.peaks;
    bool merging = false;
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t anchor = kNone;        // position in the kept part
    std::vector<std::size_t> widened;  // anchors that took over a range
    std::size_t kept = 0;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        if (const PeakEvent* e = lastEventBefore(peaks[k].startTime, {kMergeBegin, kMergeEnd}))
            merging = e->kind == kMergeBegin;
        if (merging && anchor != kNone) {
            // The anchor becomes the peak's left neighbour and takes over its
            // range when the peak is deleted: the anchor ends where the last
            // peak of the zone ends, even when that is before its own end
            // (never before its start: that peak's apex follows the anchor's).
            // No peak has neighbours before the groups are built, so nothing
            // else moves.
            peaks[anchor].endTime = peaks[k].endTime;
            if (widened.empty() || widened.back() != anchor)
                widened.push_back(anchor);
            continue;
        }
        anchor = kNone;
        if (merging)
            anchor = kept;
        if (kept != k) {
            peaks[kept] = std::move(peaks[k]);
            measured_[kept] = measured_[k];
        }
        ++kept;
    }
    peaks.resize(kept);
    measured_.resize(kept);
    for (std::size_t a : widened) {
        MeasurePeak(table_, peaks[a]);
        measured_[a] = peaks[a].area;
    }
    table_.renumber();
}

DetectionState detectionParameters(const MarkingParameters& m) {
    return {.width = m.Width,
            .maxWidth = m.MaxWidth,
            .widthDoublingTime = m.WidthDoublingTime,
            .minHeight = m.MinHeight,
            .minArea = m.MinArea,
            .markingStart = m.MarkingStart,
            .maxRiderArea = m.MaxRiderArea,
            .maxCommonBaselineDistance = m.MaxCommonBaselineDistance};
}

double parameterOfKind(const DetectionState& d, std::int32_t kind) {
    // The parameter events in kind order, kSetMaxWidth first.
    static constexpr double DetectionState::*kFields[] = {
        &DetectionState::maxWidth,
        &DetectionState::maxCommonBaselineDistance,
        &DetectionState::width,
        &DetectionState::minHeight,
        &DetectionState::maxRiderArea,
        &DetectionState::minArea,
        &DetectionState::widthDoublingTime};
    if (kind < kSetMaxWidth || kind > kSetWidthDoublingTime)
        return 0;
    return d.*kFields[kind - kSetMaxWidth];
}

namespace {
constexpr double kSecondsPerMinute = 60;
}  // namespace

double toEventUnits(std::int32_t kind, double parameter) {
    return kind == kSetMaxWidth ? parameter * kSecondsPerMinute : parameter;
}

double fromEventUnits(std::int32_t kind, double eventValue) {
    return kind == kSetMaxWidth ? eventValue / kSecondsPerMinute : eventValue;
}

void AutoMarkPeaks(PeakTable& table, const MarkingParameters& p) {
    PeakDetector detector(table, p.events);
    detector.DetectPeaks(detectionParameters(p));
}

bool MayMarkingSaveMethod(bool sheetConfirmed, int accessLevel) {
    return sheetConfirmed && accessLevel >= 1;
}

}  // namespace zelmora
