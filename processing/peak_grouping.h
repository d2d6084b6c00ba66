#pragma once
// Unresolved peak groups: peaks close enough to share one baseline.
//
// Automatic marking flags a peak "CommonBaseline" when its apex follows the
// previous non-rider's closely; a candidate group is a peak without the flag
// and the run of flagged peaks after it. The group's range is widened to the
// largest area above its chord; when the signal dips below that chord between
// two neighbouring apexes the group falls apart there (each part is examined
// again), otherwise its non-rider peaks become one chain from the widened
// start to the widened end with drop lines at the lowest sample of each
// valley. Riders stay outside the chain on their own baselines.

#include <cstdint>

namespace zelmora {

class PeakDetector;

// Cuts the detector's table into candidate groups and processes each. The
// groups share no peak, so they are processed on up to `threads` threads
// with the same result as on one.
void BuildGroups(const PeakDetector& detector, unsigned threads = 1);

// Splits or chains the peaks a..b (positions, a <= b) of the detector's table.
// A range narrower than one sample has no chord and is left as it is.
void ProcessGroup(const PeakDetector& detector, std::int64_t a, std::int64_t b);

}  // namespace zelmora
