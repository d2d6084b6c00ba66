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
// not replaced by running sums or double precision. A fresh area costs
// e - s additions.
//
// What can be shared without changing a rounding: a float sum from a fixed
// start s, carried to a later end, is exactly the fresh sum to that end
// (the additions are the same, in the same order). EdgeSums keeps such sums
// for a run of starts, all at one common end, and carries them side by side
// in vector lanes: each lane is its own chain of single-precision additions,
// so the lanes give bit for bit what one sum after another would. Likewise
// WindowAreas sums four of the scan's windows in four separate chains. Both
// keep storage of the order of one peak's width in samples, whatever the
// length of the trace: the marking streams through the samples without
// arrays of the trace's size.

#include <cstdint>
#include <vector>

#include "document/signal.h"

namespace zelmora {

class ChordAreas {
  public:
    explicit ChordAreas(const Signal& signal);

    // The scan's window area, all in single precision; s clamped to 0, e to
    // N-1, 0 for an empty range.
    float windowArea(std::int64_t s, std::int64_t e) const;
    double dt() const { return signal_.dt; }

    // The widening's area: single-precision sum, double result with dt in
    // single precision; clamped as windowArea.
    double area(std::int64_t s, std::int64_t e) const;

    // Sum of y[s..e] accumulated in single precision from s upwards; s and e
    // must lie in the trace with s <= e.
    float sum(std::int64_t s, std::int64_t e) const;

    // The widening's area of s..e from the single-precision sum of its
    // samples (s <= e inside the trace).
    double areaFromSum(float sum, std::int64_t s, std::int64_t e) const {
        const double a = static_cast<double>(sample(s)) + static_cast<double>(sample(e));
        return (static_cast<double>(sum) - a / 2 - static_cast<double>(e - s) * a / 2) * dtSingle_;
    }

    float sample(std::int64_t i) const { return signal_.samples[static_cast<std::size_t>(i)]; }
    std::int64_t size() const { return n_; }

    const float* samples() const { return signal_.samples.data(); }

  private:
    const Signal& signal_;
    std::int64_t n_;
    double dtSingle_;  // dt rounded to single precision
};

// The scan's window areas (ChordAreas::windowArea), worked out four at a
// time: when a window is asked for that is not at hand, it is summed
// together with the three windows that follow it h + 1 samples apart (where
// the scan's next centres lie unless an event or a growing width moves
// them), in four independent float sums. A window is served from the batch
// only when its very ends were summed, so what the scan gets is bit for bit
// windowArea's.
class WindowAreas {
  public:
    explicit WindowAreas(const ChordAreas& areas) : areas_(areas) {}
    float area(std::int64_t s, std::int64_t e);

  private:
    static constexpr int kBatch = 4;
    const ChordAreas& areas_;
    std::int64_t starts_[kBatch] = {}, ends_[kBatch] = {};
    float values_[kBatch] = {};
    int count_ = 0;  // windows in the batch
    int next_ = 0;   // the one the scan is expected to ask for next
};

// The single-precision sums y[s..end] for the starts s of one widening: a
// contiguous run of starts below a highest one (`top`), all carried to one
// common end that only moves right, while the starts still wanted only move
// left. sum(s) is bit for bit ChordAreas::sum(s, end). The storage is kept
// between widenings, so marking a whole trace allocates it once.
class EdgeSums {
  public:
    // Forgets every sum; the starts to come lie at or below `top`.
    void reset(std::int64_t top);

    // Makes the sums of the starts low..high (0 <= low <= high <= top, high
    // not above the high of an earlier call) available at `end` (not before
    // the end of an earlier call, below the trace's size).
    void reach(const ChordAreas& areas, std::int64_t low, std::int64_t high, std::int64_t end);

    float sum(std::int64_t s) const { return sums_[static_cast<std::size_t>(top_ - s)]; }

  private:
    std::int64_t top_ = 0;
    std::int64_t end_ = -1;    // the common end of the sums made so far
    std::int64_t live_ = 0;    // sums_[k] for k < live_ are no longer wanted
    std::int64_t count_ = 0;   // sums_[k] for k < count_ are made
    std::vector<float> sums_;  // sums_[k] = y[top_ - k] + ... + y[end_]
};

}  // namespace zelmora
