#pragma once
// The operator's edits of a chromatogram's trace from its view: mirroring a
// negative peak about its baseline, rebuilding the clipped top of a saturated
// peak, cutting the chromatogram to an interval, and "Отменить", which gives
// back the trace from before the last such edit (or filtering, or drift
// compensation) together with the peaks where they lay on it.
//
// Times are in minutes. Every edit measures the peaks again and marks the
// document modified.

#include <cstdint>

namespace zelmora {

class CZelmoraDoc;

// Mirrors the samples of peak k about its baseline. Keeps the samples as the
// undo copy. False for a peak that is not there or has no samples.
bool InvertPeak(CZelmoraDoc& doc, long long k, double& cropShift);

// Rebuilds the clipped top of peak k (the tallest one) from its flanks; the
// samples before become the undo copy. False, with the trace unchanged, when
// the top cannot be rebuilt.
bool ApproximateClippedPeak(CZelmoraDoc& doc, long long k, double& cropShift);

// Cuts the chromatogram to [a, b] (either order): peaks not wholly inside are
// deleted, the others shifted by -a. The samples before the cut become the
// undo copy. A cut reaching past the trace is clamped to it; one holding no
// sample is refused.
bool CropChromatogram(CZelmoraDoc& doc, double a, double b, double& cropShift);

// "Отменить": the trace from the undo copy, the peaks measured again (after a
// crop, moved back to where they lay on the whole trace). The copy stays, so
// undo remains available.
bool UndoSampleEdit(CZelmoraDoc& doc, double& cropShift);

}  // namespace zelmora
