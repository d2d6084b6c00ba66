#pragma once
// Areas above the chord of any stretch of a trace in constant time.
//
// Automatic marking evaluates the area above the chord for every window
// centre and, when it widens a peak, for every trial edge; summing each window
// afresh would make the widening quadratic in the window. Running sums of the
// samples, taken relative to one level of the trace (the area above a chord
// does not change when a constant is added to every sample) and accumulated
// with a compensation term, give each window sum from two subtractions at
// double precision.

#include <cstdint>
#include <vector>

#include "document/signal.h"

namespace zelmora {

class ChordAreas {
  public:
    explicit ChordAreas(const Signal& signal);

    // The same value as AreaAboveChord(signal, s, e): s clamped to 0, e to
    // N-1, 0 for an empty range.
    double area(std::int64_t s, std::int64_t e) const;
    std::int64_t size() const { return n_; }

  private:
    const Signal& signal_;
    std::int64_t n_;
    double level_ = 0;             // subtracted from every sample before summing
    std::vector<double> running_;  // running_[k] = sum of (y[i] - level_) for i < k
};

}  // namespace zelmora
