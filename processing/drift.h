#pragma once
// Drift compensation and the noise and drift figures of a chromatogram.
//
// Compensation by the marked baseline subtracts, under every peak, the
// peak's straight baseline and sets the signal outside the peaks to zero, so
// the peaks stand on zero; compensation by the end points subtracts the line
// from the first sample with the slope (last - first) / N. The noise is the
// scatter of the signal about its 10-second running mean outside the peaks
// (root mean square or the largest excursion); the drift is in mV per hour.

#include <vector>

namespace zelmora {

// What compensation and the noise estimate need of a marked peak.
struct BaselineSpan {
    double start = 0, end = 0;                      // min
    double baselineAtStart = 0, baselineAtEnd = 0;  // mV
    bool rider = false;
    double at(double t) const;
};

enum class DriftMode { MarkedBaseline = 0, EndPoints = 1 };

// For every sample, the peak whose baseline applies there, or -1: the widest
// non-rider peak whose closed range holds the sample, else the widest rider.
// Samples on the drop line between chained peaks and under riders thus take
// the baseline of the enclosing peak.
std::vector<int> baselineOwners(std::size_t n, double t0, double dt,
                                const std::vector<BaselineSpan>& peaks);

// Compensates `x` into `y`. Fewer than 3 samples: false, y = x. By the
// marked baseline with no peaks: false and y = x (the signal would become
// all zeros).
bool compensateDrift(const std::vector<float>& x, double t0, double dt, DriftMode mode,
                     const std::vector<BaselineSpan>& peaks, std::vector<float>& y);

struct NoiseAndDrift {
    double noise = 0;  // mV
    double drift = 0;  // mV/h
};

// `processor` is the "Processor" option: below 4 the noise is taken over at
// most processor * 2500 + 1000 samples. `maxExcursion` chooses the largest
// excursion instead of the root mean square.
NoiseAndDrift estimateNoiseAndDrift(const std::vector<float>& y, double t0, double dt,
                                    const std::vector<BaselineSpan>& peaks, int processor,
                                    bool maxExcursion);

}  // namespace zelmora
