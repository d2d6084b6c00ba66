#include "processing/peak_grouping.h"

#include <utility>
#include <vector>

#include "processing/parallel_parts.h"
#include "processing/peak_detector.h"
#include "processing/signal_helpers.h"

namespace zelmora {
namespace {

// Sample index of a time, truncated towards zero as the marking does, inside
// the trace.
std::int64_t sampleOf(const Signal& sig, double t) {
    return ClampIndex((t - sig.t0) / sig.dt, 0, static_cast<std::int64_t>(sig.size()) - 1);
}

bool isRider(const Peak& p) {
    return (p.flags & Peak::kRider) != 0;
}

}  // namespace

void BuildGroups(const PeakDetector& detector, unsigned threads) {
    const std::vector<Peak>& peaks = detector.table().peaks;
    // The candidate groups (first and last position). Each is processed
    // on one thread and touches only its own peaks, so the threads share
    // the table without a lock.
    std::vector<std::pair<std::int64_t, std::int64_t>> groups;
    std::int64_t first = 0, last = 0;
    bool inRun = false;
    for (std::size_t k = 0; k < peaks.size(); ++k) {
        if (peaks[k].flags & Peak::kCommonBaseline) {
            last = static_cast<std::int64_t>(k);
            inRun = true;
            continue;
        }
        if (inRun)
            groups.emplace_back(first, last);
        inRun = false;
        first = static_cast<std::int64_t>(k);
    }
    if (inRun)
        groups.emplace_back(first, last);
    // The detector makes its chord areas when first asked: asked here, before
    // the threads share the detector, which they then only read.
    if (threads > 1 && !groups.empty() && detector.table().signal())
        detector.chordArea(0, 0);
    RunInParts(threads, groups.size(), [&](std::size_t, std::size_t from, std::size_t to) {
        for (std::size_t g = from; g < to; ++g)
            ProcessGroup(detector, groups[g].first, groups[g].second);
    });
}

void ProcessGroup(const PeakDetector& detector, std::int64_t a0, std::int64_t b0) {
    std::vector<Peak>& peaks = detector.table().peaks;
    const Signal* signal = detector.table().signal();
    const std::int64_t count = static_cast<std::int64_t>(peaks.size());
    if (!signal || signal->size() < 2 || !HasTimeBase(*signal) || a0 < 0 || b0 >= count)
        return;
    const Signal& sig = *signal;
    const float* y = sig.samples.data();
    const auto peak = [&](std::int64_t i) -> Peak& { return peaks[static_cast<std::size_t>(i)]; };

    // A split leaves two independent groups; they are worked off from a list
    // rather than by recursion, so a long group cannot exhaust the stack.
    std::vector<std::pair<std::int64_t, std::int64_t>> pending{{a0, b0}};
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (a >= b)
            continue;
        std::int64_t iL = sampleOf(sig, peak(a).startTime), iR = sampleOf(sig, peak(b).endTime);
        detector.ExpandWindow(iL, iR);
        if (iR <= iL)
            continue;
        const double slope = (static_cast<double>(y[iR]) - y[iL]) / static_cast<double>(iR - iL);
        const double intercept = y[iL] - static_cast<double>(iL) * slope;

        bool split = false;
        for (std::int64_t i = a; i < b && !split; ++i) {
            const std::int64_t from = sampleOf(sig, peak(i).apexTime);
            const std::int64_t to = sampleOf(sig, peak(i + 1).apexTime);
            for (std::int64_t j = from; j <= to; ++j) {
                if (slope * static_cast<double>(j) + intercept > y[j]) {
                    pending.emplace_back(i + 1, b);
                    pending.emplace_back(a, i);
                    split = true;
                    break;
                }
            }
        }
        if (split)
            continue;

        std::int64_t f = -1, l = -1;
        for (std::int64_t i = a; i <= b; ++i)
            if (!isRider(peak(i))) {
                if (f < 0)
                    f = i;
                l = i;
            }
        if (f < 0 || f == l)
            continue;
        peak(f).startTime = sig.t0 + static_cast<double>(iL) * sig.dt;
        peak(f).flags |= Peak::kCommonBaseline;
        peak(l).endTime = sig.t0 + static_cast<double>(iR) * sig.dt;

        std::int64_t prev = -1;
        for (std::int64_t p = a; p <= b; ++p) {
            Peak& cur = peak(p);
            if (isRider(cur)) {
                cur.prevInGroup = cur.nextInGroup = -1;
                continue;
            }
            std::int64_t next = -1;
            if (p < l)
                for (std::int64_t q = p + 1; q <= l; ++q)
                    if (!isRider(peak(q))) {
                        next = q;
                        break;
                    }
            cur.prevInGroup = static_cast<std::int32_t>(prev);
            cur.nextInGroup = static_cast<std::int32_t>(next);
            if (prev >= 0)
                peak(prev).nextInGroup = static_cast<std::int32_t>(p);
            if (next >= 0) {
                Peak& nx = peak(next);
                nx.prevInGroup = static_cast<std::int32_t>(p);
                if (nx.startTime >= cur.startTime && nx.endTime >= cur.endTime) {
                    // The border is the lowest sample of the valley, the first
                    // one on equal values.
                    std::int64_t from = sampleOf(sig, cur.apexTime),
                                 to = sampleOf(sig, nx.apexTime);
                    if (from > to)
                        std::swap(from, to);
                    std::int64_t valley = from;
                    for (std::int64_t j = from + 1; j <= to; ++j)
                        if (y[j] < y[valley])
                            valley = j;
                    const double border = sig.t0 + static_cast<double>(valley) * sig.dt;
                    cur.endTime = border;
                    nx.startTime = border;
                } else if (nx.startTime >= cur.startTime) {
                    cur.endTime = nx.startTime;
                } else {
                    nx.startTime = cur.endTime;
                }
            }
            prev = p;
        }
    }
}

}  // namespace zelmora
