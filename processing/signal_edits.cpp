#include "processing/signal_edits.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>
#include <vector>

#include "document/zelmora_doc.h"
#include "processing/chromatogram_treatments.h"
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

bool UndoSampleEdit(CZelmoraDoc& doc, double& cropShift) {
    if (!doc.undoAvailable || doc.undoSamples.empty())
        return false;
    if (doc.undoSamples.size() != doc.signal.size()) {
        // The undo copy is from before a crop: the peaks go back to where
        // they lay on the whole trace.
        if (cropShift == 0)
            return false;
        for (Peak& p : doc.peaks.peaks) {
            p.startTime += cropShift;
            p.endTime += cropShift;
            p.apexTime += cropShift;
        }
        {
            std::lock_guard lock(doc.recordingMutex);
            doc.signal.samples = doc.undoSamples;
        }
        cropShift = 0;
        RecalculatePeaks(doc.peaks);
        doc.changed(CZelmoraDoc::Change::Signal);
        return true;
    }
    return UndoTreatment(doc);
}

bool InvertPeak(CZelmoraDoc& doc, long long k, double& cropShift) {
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
    {
        std::lock_guard lock(doc.recordingMutex);
        doc.undoSamples = doc.signal.samples;
        for (std::size_t s = i; s < j; ++s) {
            float& y = doc.signal.samples[s];
            y = 2.0f * (l * static_cast<float>(s) + m) - y;
        }
    }
    doc.undoAvailable = true;
    cropShift = 0;
    RecalculatePeaks(doc.peaks);
    doc.changed(CZelmoraDoc::Change::Signal);
    return true;
}

bool ApproximateClippedPeak(CZelmoraDoc& doc, long long k, double& cropShift) {
    std::vector<float> rebuilt = doc.signal.samples;
    if (!ApproximateClippedPeak(doc.peaks, k, doc.signal.samples, rebuilt))
        return false;
    {
        std::lock_guard lock(doc.recordingMutex);
        doc.undoSamples = std::move(doc.signal.samples);
        doc.signal.samples = std::move(rebuilt);
    }
    doc.undoAvailable = true;
    cropShift = 0;
    RecalculatePeaks(doc.peaks);
    doc.changed(CZelmoraDoc::Change::Signal);
    return true;
}

bool CropChromatogram(CZelmoraDoc& doc, double a, double b, double& cropShift) {
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
    {
        std::lock_guard lock(doc.recordingMutex);
        doc.undoSamples = doc.signal.samples;
        std::vector<float> kept(
            doc.signal.samples.begin() + static_cast<std::ptrdiff_t>(first),
            doc.signal.samples.begin() + static_cast<std::ptrdiff_t>(first + count));
        doc.signal.samples = std::move(kept);
    }
    cropShift = shift;
    doc.peaks.attach(&doc.signal);
    RecalculatePeaks(doc.peaks);
    doc.changed(CZelmoraDoc::Change::Signal);
    return true;
}

}  // namespace zelmora
