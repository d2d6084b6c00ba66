#pragma once
// Rebuilding the flat top of a peak whose detector or converter saturated
// ("Апроксимация урезанных пиков"): one polynomial of degree 10 is fitted to
// both flanks of the tallest peak and replaces the plateau between them.
//
// With the peak's samples i0..i1 and its top level T (the greatest height
// of the table above the peak's baseline at its apex), the plateau runs from
// the first (L) to the last (R) sample at or above 0.99*T. Positions are
// taken relative to c = (i1-i0)(L-i0)/((L-i0)+(i1-R)) + i0; the fit uses the
// m nearest samples outside the plateau on each side (m = 30, fewer on a
// short flank) and four samples spaced a third of each flank apart, and the
// samples L..R-1 become the polynomial's values.

#include <cstdint>
#include <vector>

#include "document/peak_table.h"

namespace zelmora {

// Rebuilds peak k's plateau in `samples` from the trace `original` (the undo
// copy; both of the table's signal length). False, with `samples` unchanged,
// when k is not the tallest peak, no sample reaches 0.99*T, a flank is too
// short to fit or the fit has no finite solution.
bool ApproximateClippedPeak(const PeakTable& table, std::int64_t k,
                            const std::vector<float>& original, std::vector<float>& samples);

}  // namespace zelmora
