#pragma once
// Filtering and drift compensation of a whole chromatogram document: the
// samples are treated in place, the previous samples become the one-level
// undo record (signal_edits.h), the peaks keep their bounds and are measured
// again. And the
// noise and drift figures of the document.

#include <string>

#include "app/result.h"

#include "processing/drift.h"
#include "processing/signal_filters.h"

namespace zelmora {

class CZelmoraDoc;
struct FilterSettings;

// The marked peaks as the treatments see them.
std::vector<BaselineSpan> baselineSpans(const CZelmoraDoc& doc);

// Applies the method page's filter. False when nothing was done (kind 0,
// fewer than 6 samples, a window that does not fit); the document is then
// unchanged.
bool ApplyFilter(CZelmoraDoc& doc, const FilterSettings& page);

// Compensates the drift by the "DriftageCompensation" mode. A chromatogram
// without peaks is refused by the marked-baseline mode with a message for the
// operator, instead of being turned into zeros.
Status CompensateDrift(CZelmoraDoc& doc, DriftMode mode);

NoiseAndDrift EstimateNoiseAndDrift(const CZelmoraDoc& doc, int processor, bool maxExcursion);

}  // namespace zelmora
