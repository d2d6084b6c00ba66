#pragma once
// Baselines and integration of the peaks of one chromatogram, and the list
// operations that keep the peak table consistent.
//
// Every peak has a range [start, end] and a straight baseline segment. A peak
// without neighbours takes the signal at its start and end as its baseline;
// the peaks of an unresolved group (a chain of neighbour links) lie on one
// baseline drawn from the signal at the start of the chain's first peak to the
// signal at the end of its last, with drop lines at the borders between them.
// Apex, height and area are measured against that baseline:
//   height = the largest |y[i] - baseline(t_i)| over the samples in the range
//            (a range holding no sample: the signal between its ends less the
//            baseline, with its sign),
//   area   = trapezoidal integral of the signal from start to end (the partial
//            intervals at both ends closed by the interpolated end values)
//            less the trapezoid under the baseline.
// A peak lying wholly inside another (a rider, "наездник") is measured above
// its own baseline, and its area is taken out of the smallest peak that
// encloses it, once.
//
// After every public operation here (except AddPeak without re-sorting, used
// while marking), the table keeps: ascending apex times, ownIndex = position,
// neighbour links that are -1 or valid, mutual and free of loops.
//
// Cost: recalculation is linear in the samples the peaks cover plus
// n log n in the number of peaks.

#include <cstdint>

#include "document/peak_table.h"

namespace zelmora {

// Which side of a peak an unresolved neighbour is added on.
inline constexpr int kAdjacentLeft = 1;
inline constexpr int kAdjacentRight = 2;

// Apex time, height and area of one peak from its range and baseline; a peak
// without links first takes the signal at its ends as its baseline.
void MeasurePeak(const PeakTable& table, Peak& peak);

// Common baselines of the chains, MeasurePeak of every peak, riders taken off;
// the peaks are measured on up to `threads` threads (the same figures as on
// one).
void RecalculatePeaks(PeakTable& table);
void RecalculatePeaks(PeakTable& table, unsigned threads);

// Re-resolves the neighbour links after a sort or a removal from the peaks'
// former positions (ownIndex), then renumbers. A link whose peak is gone
// becomes -1; links are left mutual and without loops.
void RelinkPeaks(PeakTable& table);

// RecalculatePeaks, a stable sort by apex time, RelinkPeaks.
void NormalizePeaks(PeakTable& table);

// Appends a peak over [min(tA, tB), max(tA, tB)] with the given flags and
// measures it; with `resort` the table is sorted, relinked and recalculated.
// False (nothing changed) for a time that is not finite.
bool AddPeak(PeakTable& table, double tA, double tB, bool resort, std::int32_t flags);

// Removes peak k and repairs its chain: unless `keepNeighbourBounds`, the
// neighbours take over its range (the left one the whole gap when both exist).
// False when k is not a peak of the table.
bool DeletePeak(PeakTable& table, std::int64_t k, bool recalculate, bool keepNeighbourBounds);

// Adds an unresolved peak touching peak k: on the right [end(k), t], on the
// left [t, start(k)]. A neighbour that peak k had on that side is detached
// (it keeps its own chain). False when k is invalid, t lies on the wrong side
// of the peak or is not finite, or the side is neither 1 nor 2.
bool AddAdjacentPeak(PeakTable& table, std::int64_t k, double t, int side);

// Moves the bounds of peak k; the chain neighbours follow. False when
// tStart > tEnd, k is invalid, or the bounds pass the outer bounds of the
// neighbours.
bool SetPeakBounds(PeakTable& table, std::int64_t k, double tStart, double tEnd);

// Hit test of the time range [x1, x2] against peak k.
bool PeakOverlaps(const PeakTable& table, std::int64_t k, double x1, double x2);
// 1 when the start of peak k lies in [x1, x2], else 2 when its end does, else 0.
int BoundHandle(const PeakTable& table, std::int64_t k, double x1, double x2);
// The first peak whose open range (start, end) holds the time of sample i; -1.
std::int64_t PeakAtSample(const PeakTable& table, std::int64_t i);
// The largest height, -DBL_MAX for an empty table.
double MaxPeakHeight(const PeakTable& table);

// The rider subtraction on its own, for already measured peaks: every peak
// loses the measured area of each peak for which it is the smallest enclosing
// peak (ties: the earlier one in the list). Peaks with identical ranges do not
// enclose each other; peaks with a range that is not finite take no part.
void SubtractRiders(std::vector<Peak>& peaks);
// The same for peaks whose measured areas are kept beside them
// (measured[k] for peaks[k]); every area is set from them first.
void SubtractRiders(std::vector<Peak>& peaks, const std::vector<double>& measured);

// Strict weak order of apex times that puts NaN last, for sorting.
bool ApexBefore(const Peak& a, const Peak& b);

// Installs RecalculatePeaks as the measuring step that runs after a peak
// table is read from a chromatogram file. It is installed automatically when
// this library's integration is linked; calling it again does no harm.
void installIntegrationAfterRead();

}  // namespace zelmora
