#pragma once
// The operator's edits of a chromatogram's trace from its view: mirroring a
// negative peak about its baseline, rebuilding the clipped top of a saturated
// peak, cutting the chromatogram to an interval; and the one-level undo that
// every edit of the trace (these, filtering, drift compensation) keeps in the
// document's TraceUndo: the trace from before the edit and how far the edit
// moved the peaks, restored together by "Отменить".
//
// Times are in minutes. Every edit measures the peaks again and marks the
// document modified.

#include <cstdint>
#include <vector>

namespace zelmora {

class CZelmoraDoc;

// Puts `edited` in place of the trace and keeps the trace before as the undo
// record, with `peakShift`, how far the edit moved the peaks to earlier
// times. `offerUndo` makes "Отменить" available; a crop leaves the
// availability as it was. The peaks are measured again on the new trace.
void ReplaceTrace(CZelmoraDoc& doc, std::vector<float> edited, double peakShift = 0,
                  bool offerUndo = true);

// "Отменить": the trace from the undo record, the peaks moved back by the
// edit's shift (after a crop, to where they lay on the whole trace) and
// measured again. The samples stay in the record, so undo remains available
// and gives the same trace every time. False when nothing is offered.
bool UndoTraceEdit(CZelmoraDoc& doc);

// Mirrors the samples of peak k about its baseline. False for a peak that is
// not there or has no samples.
bool InvertPeak(CZelmoraDoc& doc, long long k);

// Rebuilds the clipped top of peak k (the tallest one) from its flanks.
// False, with the trace unchanged, when the top cannot be rebuilt.
bool ApproximateClippedPeak(CZelmoraDoc& doc, long long k);

// Cuts the chromatogram to [a, b] (either order): peaks not wholly inside are
// deleted, the others shifted by -a. A cut reaching past the trace is clamped
// to it; one holding no sample is refused.
bool CropChromatogram(CZelmoraDoc& doc, double a, double b);

}  // namespace zelmora
