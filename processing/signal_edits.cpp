#include "processing/signal_edits.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "document/zelmora_doc.h"
#include "processing/clipped_peak.h"
#include "processing/peak_integration.h"

namespace zelmora {

namespace {

// A sample index for time t, clamped to [0, n].
std::size_t sampleIndexAt(const Signal& s, double t) {
    if (!(s.dt > 0) || !std::isfinite(t))
        return 0;
    const double i = std::trunc((t - s.t0) / s.dt);
    if (!(i > 0))
        return 0;
    return i >= static_cast<double>(s.size()) ? s.size() : static_cast<std::size_t>(i);
}

}  // namespace

void ReplaceTrace(CZelmoraDoc& doc, std::vector<float> edited, double peakShift, bool offerUndo) {
    {
        std::lock_guard lock(doc.recordingMutex);
        doc.undo.samples = std::move(doc.signal.samples);
        doc.signal.samples = std::move(edited);
    }
    doc.undo.peakShift = peakShift;
    if (offerUndo)
        doc.undo.available = true;
    doc.peaks.attach(&doc.signal);
    RecalculatePeaks(doc.peaks);
    doc.changed(CZelmoraDoc::Change::Signal);
}

bool UndoTraceEdit(CZelmoraDoc& doc) {
    TraceUndo& undo = doc.undo;
    if (!undo.available || undo.samples.empty())
        return false;
    // A copy of another length is from before a crop; without the crop's
    // shift its peaks could not be put back where they lay.
    if (undo.samples.size() != doc.signal.size() && undo.peakShift == 0)
        return false;
    for (Peak& p : doc.peaks.peaks) {
        p.startTime += undo.peakShift;
        p.endTime += undo.peakShift;
        p.apexTime += undo.peakShift;
    }
    {
        std::lock_guard lock(doc.recordingMutex);
        doc.signal.samples = undo.samples;
    }
    undo.peakShift = 0;
    RecalculatePeaks(doc.peaks);
    doc.changed(CZelmoraDoc::Change::Signal);
    return true;
}

bool InvertPeak(CZelmoraDoc& doc, long long k) {
    const Peak* p = doc.peak(k);
    const std::size_t n = doc.signal.size();
    if (p == nullptr || n == 0)
        return false;
    const std::size_t i = std::min(sampleIndexAt(doc.signal, p->startTime), n - 1);
    const std::size_t j = std::min(sampleIndexAt(doc.signal, p->endTime), n - 1);
    if (j <= i)
        return false;
    const float bS = static_cast<float>(p->baselineAtStart);
    const float bE = static_cast<float>(p->baselineAtEnd);
    const float l = (bE - bS) / static_cast<float>(j - i);
    const float m = bS - static_cast<float>(i) * l;
    std::vector<float> mirrored = doc.signal.samples;
    for (std::size_t s = i; s < j; ++s) {
        float& y = mirrored[s];
        y = 2.0f * (l * static_cast<float>(s) + m) - y;
    }
    ReplaceTrace(doc, std::move(mirrored));
    return true;
}

bool ApproximateClippedPeak(CZelmoraDoc& doc, long long k) {
    std::vector<float> rebuilt = doc.signal.samples;
    if (!ApproximateClippedPeak(doc.peaks, k, doc.signal.samples, rebuilt))
        return false;
    ReplaceTrace(doc, std::move(rebuilt));
    return true;
}

bool CropChromatogram(CZelmoraDoc& doc, double a, double b) {
    if (!std::isfinite(a) || !std::isfinite(b))
        return false;
    if (a > b)
        std::swap(a, b);
    const Signal& s = doc.signal;
    if (!(s.dt > 0))
        return false;
    const std::size_t first = sampleIndexAt(s, a);
    const double span = std::trunc((b - a) / s.dt);
    const std::size_t available = s.size() - first;
    const std::size_t count =
        span >= static_cast<double>(available) ? available : static_cast<std::size_t>(span);
    if (count == 0)
        return false;

    for (long long k = static_cast<long long>(doc.peaks.size()) - 1; k >= 0; --k) {
        const Peak& p = doc.peaks.peaks[static_cast<std::size_t>(k)];
        if (!(p.startTime >= a && p.endTime <= b))
            DeletePeak(doc.peaks, k, true, true);
    }
    // The peaks move with their samples: sample `first` becomes sample 0.
    const double shift = static_cast<double>(first) * s.dt;
    for (Peak& p : doc.peaks.peaks) {
        p.startTime -= shift;
        p.endTime -= shift;
        p.apexTime -= shift;
    }
    std::vector<float> kept(
        doc.signal.samples.begin() + static_cast<std::ptrdiff_t>(first),
        doc.signal.samples.begin() + static_cast<std::ptrdiff_t>(first + count));
    ReplaceTrace(doc, std::move(kept), shift, false);
    return true;
}

}  // namespace zelmora
