#include "processing/peak_detector.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <optional>

#include "processing/page_vector.h"
#include "processing/parallel_parts.h"
#include "processing/peak_grouping.h"
#include "processing/peak_integration.h"
#include "processing/signal_helpers.h"

namespace zelmora {
namespace {

// What the scan keeps of a found peak: its range and what measuring it
// gave. The rest of a table's peak record (baselines: the signal at the
// ends, as a peak without neighbours has them) is made when the table is
// built, so the list costs 40 bytes a peak instead of a whole record.
struct FoundPeak {
    double start, end, apex, area, height;
};

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
//
// The indexes are sorted arrays of positions (by apex, by start; equal keys
// in the order of adding). The scan moves to the right, so a new peak's
// place in them is at or near the end; a deleted peak stays in them marked
// dead and is passed over.
class ScanList {
  public:
    void add(const FoundPeak& p, std::int32_t flags) {
        const auto k = static_cast<std::uint32_t>(peaks_.size());
        maxLength_ = std::max(maxLength_, p.end - p.start);
        peaks_.push_back(p);
        state_.push_back(static_cast<std::uint8_t>(flags));
        insert(byApex_, &FoundPeak::apex, k);
        insert(byStart_, &FoundPeak::start, k);
    }

    // Deleting a peak recalculates the table.
    void remove(std::size_t k) {
        state_[k] |= kDead;
        recalculated_ = peaks_.size();
    }

    // The earliest added peak whose apex is less than `reach` from `apex`.
    std::optional<std::size_t> firstClose(double apex, double reach) const {
        if (!(reach > 0))
            return std::nullopt;
        const double slack = reach + 1e-9 * (std::fabs(apex) + reach);
        std::optional<std::size_t> best;
        for (auto it = lowerBound(byApex_, &FoundPeak::apex, apex - slack);
             it != byApex_.end() && peaks_[*it].apex <= apex + slack; ++it)
            if (alive(*it) && std::fabs(peaks_[*it].apex - apex) < reach && (!best || *it < *best))
                best = *it;
        return best;
    }

    double currentArea(std::size_t k) const {
        const FoundPeak& p = peaks_[k];
        if (k >= recalculated_)
            return p.area;
        double area = p.area;
        for (auto it = lowerBound(byStart_, &FoundPeak::start, p.start);
             it != byStart_.end() && peaks_[*it].start <= p.end; ++it) {
            const std::size_t j = *it;
            const FoundPeak& q = peaks_[j];
            if (!alive(j) || j == k || j >= recalculated_ || q.end > p.end ||
                (q.start == p.start && q.end == p.end))
                continue;
            if (smallestEncloser(j) == k)
                area -= q.area;
        }
        return area;
    }

    // The table of the surviving peaks in the order they were added. The
    // indexes go first, the table is allocated at its final size and the
    // list is given back while the table is filled, so that at no time much
    // more than the table is held.
    std::vector<Peak> release(const Signal& sig) {
        byApex_.clear();
        byStart_.clear();
        std::size_t alive = 0;
        for (std::uint8_t s : state_)
            alive += (s & kDead) == 0;
        std::vector<Peak> table;
        table.reserve(alive);
        for (std::size_t k = 0; k < peaks_.size(); ++k) {
            if (state_[k] & kDead)
                continue;
            const FoundPeak& f = peaks_[k];
            Peak& p = table.emplace_back(f.start, f.end);
            p.apexTime = f.apex;
            p.area = f.area;
            p.height = f.height;
            p.baselineAtStart = SignalValueAt(sig, p.startTime);
            p.baselineAtEnd = SignalValueAt(sig, p.endTime);
            p.flags = state_[k];
            p.ownIndex = static_cast<std::int32_t>(table.size() - 1);
            // The rows made so far are given back as the table grows.
            if (k % 4096 == 4095)
                peaks_.discardBefore(k + 1);
        }
        peaks_.clear();
        state_.clear();
        return table;
    }

  private:
    static constexpr std::uint8_t kDead = 0x80;  // above the flags a found peak can have
    using Index = PageVector<std::uint32_t>;     // positions in the list

    bool alive(std::size_t k) const { return (state_[k] & kDead) == 0; }

    const std::uint32_t* lowerBound(const Index& index, double FoundPeak::*key, double v) const {
        return std::partition_point(index.begin(), index.end(),
                                    [&](std::uint32_t k) { return peaks_[k].*key < v; });
    }

    // After every position with a key not above the new one's: the place a
    // multimap gives an equal key. Searched from the end, where it mostly is.
    void insert(Index& index, double FoundPeak::*key, std::uint32_t k) {
        const double v = peaks_[k].*key;
        auto it = index.end();
        while (it != index.begin() && peaks_[*(it - 1)].*key > v) {
            if (index.end() - it > 16) {
                it = std::partition_point(index.begin(), it,
                                          [&](std::uint32_t j) { return !(peaks_[j].*key > v); });
                break;
            }
            --it;
        }
        index.insert(it, k);
    }

    // Among the peaks of the last recalculation: the smallest one that
    // encloses peak j without having its very range; the earlier one on ties.
    std::size_t smallestEncloser(std::size_t j) const {
        const FoundPeak& q = peaks_[j];
        const double from = q.end - maxLength_ - 1e-9 * (std::fabs(q.end) + maxLength_);
        std::size_t best = static_cast<std::size_t>(-1);
        double bestLength = DBL_MAX;
        for (auto it = lowerBound(byStart_, &FoundPeak::start, from);
             it != byStart_.end() && peaks_[*it].start <= q.start; ++it) {
            const std::size_t i = *it;
            const FoundPeak& p = peaks_[i];
            if (!alive(i) || i == j || i >= recalculated_ || p.end < q.end ||
                (p.start == q.start && p.end == q.end))
                continue;
            const double length = p.end - p.start;
            if (length < bestLength || (length == bestLength && i < best)) {
                bestLength = length;
                best = i;
            }
        }
        return best;
    }

    PageVector<FoundPeak> peaks_;     // measured areas, as added
    PageVector<std::uint8_t> state_;  // the peak's flags, kDead once deleted
    Index byApex_, byStart_;
    std::size_t recalculated_ = 0;  // peaks added before the last deletion
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
    return expandWindow(L, R, table_.detection.width, sums);
}

double PeakDetector::expandWindow(std::int64_t& L, std::int64_t& R, double width,
                                  EdgeSums& sums) const {
    if (!table_.signal() || !HasTimeBase(*table_.signal()))
        return 0;
    const Signal& sig = *table_.signal();
    const ChordAreas& areas = chordAreas();
    const std::int64_t n = static_cast<std::int64_t>(sig.size());
    // The widening takes the time base in single precision, the half window
    // and the largest width in samples included: MaxWidth / float(dt) may
    // truncate one sample below MaxWidth / dt.
    const double dtf = static_cast<float>(sig.dt), t0f = static_cast<float>(sig.t0);
    const std::int64_t m = ClampIndex(width / (2 * dtf), 0, n);
    const std::int64_t maxW = ClampIndex(table_.detection.maxWidth / dtf, -1, n + 1);
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

void PeakDetector::DetectPeaks(const DetectionState& parameters, unsigned requested) {
    // The former table goes before the scan, not after it.
    table_.peaks = {};
    DetectionState& d = table_.detection;
    d = parameters;
    d.minHeight = std::max(parameters.minHeight, 0.0);
    const Signal* sig = table_.signal();
    if (!sig || sig->size() < 3 || !HasTimeBase(*sig))
        return;
    areas_.emplace(*sig);
    const unsigned threads = MarkingThreads(static_cast<std::int64_t>(sig->size()), requested);
    scan(threads);
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
    BuildGroups(*this, threads);
    RecalculatePeaks(table_, threads);
}

void PeakDetector::normalizeUnlinked() {
    // NormalizePeaks for a table whose peaks have no neighbours and whose
    // measurements (measured_ for the areas) belong to their present ranges:
    // measuring such a peak again gives the very same figures, so only the
    // riders are taken off afresh before the table is sorted and numbered.
    std::vector<Peak>& peaks = table_.peaks;
    const std::size_t n = peaks.size();
    SubtractRiders(peaks, measured_);
    // The order of a stable sort is the only one its comparison allows, so
    // sorting positions gives the order that sorting the peaks would.
    std::vector<std::uint32_t> order(n);
    for (std::size_t k = 0; k < n; ++k)
        order[k] = static_cast<std::uint32_t>(k);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return ApexBefore(peaks[a], peaks[b]);
    });
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

// A window of the scan that became a candidate, with the working
// parameters of its time, and what its widening and measuring found.
struct PeakDetector::Candidate {
    std::int64_t L, R;    // the window; after widening, the peak's range
    std::int64_t w;       // the window width in samples
    double width;         // the working width the widening uses
    double maxRiderArea;  // the parameters of the candidate's time
    double maxCommonBaselineDistance;
    bool kept = false;  // widened, large enough and allowed
    FoundPeak peak{};
};

void PeakDetector::widenAndMeasure(Candidate& c, EdgeSums& sums) const {
    const Signal& sig = *table_.signal();
    const auto timeOf = [&](std::int64_t i) { return sig.t0 + static_cast<double>(i) * sig.dt; };
    const bool ok = IsMarkingAllowed(timeOf(c.L), timeOf(c.R));
    const double area = ok ? expandWindow(c.L, c.R, c.width, sums) : 0;
    c.kept = area > table_.detection.minArea && ok;
    if (!c.kept)
        return;
    Peak candidate(timeOf(c.L), timeOf(c.R));
    MeasurePeak(table_, candidate);
    c.peak = {candidate.startTime, candidate.endTime, candidate.apexTime, candidate.area,
              candidate.height};
}

void PeakDetector::scan(unsigned threads) {
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
    WindowAreas windows(chordAreas());
    // The widening's storage of each thread, kept from batch to batch, each
    // on its own cache lines (its counters change at every trial edge).
    struct alignas(64) ThreadSums {
        EdgeSums sums;
    };
    WorkCrew crew(threads);
    std::vector<ThreadSums> sums(crew.threads());

    // The candidates of the scan not yet accepted or rejected, in the scan's
    // order. Shared between the threads without a lock: while the crew runs,
    // each thread writes only the candidates it claimed (and its own
    // EdgeSums) and the scan waits; the accepting reads after crew.run has
    // returned (the crew's mutex orders the writes before).
    constexpr std::size_t kBatch = 2048;
    std::vector<Candidate> batch;
    batch.reserve(kBatch);

    const auto accept = [&](const Candidate& c) {
        if (!c.kept)
            return;
        const FoundPeak& p = c.peak;
        const bool rider = p.area < c.maxRiderArea;
        if (auto k = found.firstClose(p.apex, static_cast<double>(c.w) * dt)) {
            if (!(p.area > found.currentArea(*k)))
                return;
            found.remove(*k);
        }
        std::int32_t flags = rider ? Peak::kRider : 0;
        if (p.apex - prevApex < c.maxCommonBaselineDistance)
            flags |= Peak::kCommonBaseline;
        if (!rider)
            prevApex = p.apex;
        found.add(p, flags);
    };
    const auto flush = [&] {
        crew.run(batch.size(), 8, [&](unsigned worker, std::size_t k) {
            widenAndMeasure(batch[k], sums[worker].sums);
        });
        for (const Candidate& c : batch)
            accept(c);
        batch.clear();
    };
    const auto finish = [&](std::int64_t h, std::int64_t w) {
        batch.push_back({.L = jMax - h,
                         .R = jMax + h,
                         .w = w,
                         .width = d.width,
                         .maxRiderArea = d.maxRiderArea,
                         .maxCommonBaselineDistance = d.maxCommonBaselineDistance});
        if (batch.size() == kBatch)
            flush();
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
    flush();
    batch = {};
    table_.peaks = found.release(sig);
    measured_.clear();
    measured_.reserve(table_.peaks.size());
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

void AutoMarkPeaks(PeakTable& table, const MarkingParameters& p, unsigned threads) {
    PeakDetector detector(table, p.events);
    detector.DetectPeaks(detectionParameters(p), threads);
}

bool MayMarkingSaveMethod(bool sheetConfirmed, int accessLevel) {
    return sheetConfirmed && accessLevel >= 1;
}

}  // namespace zelmora
