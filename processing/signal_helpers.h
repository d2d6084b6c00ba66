#pragma once
// Reading a detector trace between and beyond its samples.
//
// The value at any time is the straight line through the two samples around
// it (linear interpolation); before the first sample the line through samples
// 0 and 1 is extended, after the last one the line through the last two. The
// area above the chord of a stretch of samples is the trapezoidal area of the
// signal less the trapezoid under the straight line joining its two ends: the
// part of a hump that stands out from its own straight baseline.
//
// Every helper accepts any trace, also one of 0 or 1 samples and ranges that
// reach past either end; nothing reads outside the samples.

#include <cstdint>

#include "document/signal.h"

namespace zelmora {

// The straight line through (xa, ya) and (xb, yb) evaluated at x; ya when the
// two abscissae coincide.
double LineThrough(double x, double xa, double xb, double ya, double yb);

// The signal at time t (min), interpolated inside and extrapolated outside.
// 0 for an empty trace, the one sample for a trace of one sample or with a
// step that is not positive.
double SignalValueAt(const Signal& signal, double t);

// True when the trace has a usable time base: a finite positive step and a
// finite start.
bool HasTimeBase(const Signal& signal);

// Area above the chord of samples s..e (inclusive), mV*min, with s clamped to
// 0 and e to N-1: (S - a/2 - (e - s) * a/2) * dt, where S is the sum of the
// samples and a the sum of the two end samples. 0 when nothing is left of the
// range after clamping.
double AreaAboveChord(const Signal& signal, std::int64_t s, std::int64_t e);

// Converts a real sample position to an index in [lo, hi] (NaN goes to lo), so
// that no cast of an out-of-range double ever happens.
std::int64_t ClampIndex(double position, std::int64_t lo, std::int64_t hi);

}  // namespace zelmora
