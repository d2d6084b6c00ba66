#pragma once
// The area of a stretch of trace above its chord, in the two precisions that
// automatic marking is defined with.
//
// For samples s..e with S their sum and a = y[s] + y[e], the area is
// (S - a/2 - (e - s)·a/2)·dt: the trapezoidal area of the signal less the
// trapezoid under the straight chord from sample s to sample e.
//
// The precision belongs to the result. The scan of the window centres works
// wholly in single precision (sum, dt and result), the widening of a
// candidate sums in single precision and takes the result in double with dt
// in single precision. Summing in float rounds the area of a straight,
// noise-free stretch of baseline to small values of either sign instead of
// the tiny positive residues a compensated double sum leaves, and that decides
// where the widening of a peak on a sloping baseline stops and whether a
// window on a straight line counts as a hump. A chromatogram re-marked here
// must give the peaks its stored results were made with, so these sums are
// not replaced by running sums or double precision. Each area costs e - s
// additions; the widening to the right adds one sample to the previous sum.

#include <cstdint>

#include "document/signal.h"

namespace zelmora {

class ChordAreas {
  public:
    explicit ChordAreas(const Signal& signal);

    // The scan's window area, all in single precision; s clamped to 0, e to
    // N-1, 0 for an empty range.
    float windowArea(std::int64_t s, std::int64_t e) const;

    // The widening's area: single-precision sum, double result with dt in
    // single precision; clamped as windowArea.
    double area(std::int64_t s, std::int64_t e) const;

    // Sum of y[s..e] accumulated in single precision from s upwards; s and e
    // must lie in the trace with s <= e.
    float sum(std::int64_t s, std::int64_t e) const;

    // The widening's area of s..e from the single-precision sum of its
    // samples (s <= e inside the trace).
    double areaFromSum(float sum, std::int64_t s, std::int64_t e) const;

    float sample(std::int64_t i) const { return signal_.samples[static_cast<std::size_t>(i)]; }
    std::int64_t size() const { return n_; }

  private:
    const Signal& signal_;
    std::int64_t n_;
    double dtSingle_;  // dt rounded to single precision
};

}  // namespace zelmora
