#pragma once
// Synthetic chromatograms: Gaussian peaks of known area on a baseline that
// may drift, with reproducible white noise. Used by the tests, the benchmarks
// and the demonstrations, where the true apex and area of every peak must be
// known.
//
// A Gaussian peak of height H and standard deviation s (min) has the area
// H * s * sqrt(2 pi) mV*min.

#include <cstdint>
#include <vector>

#include "document/signal.h"

namespace zelmora {

struct SyntheticPeak {
    double apexTime = 0;  // min
    double height = 0;    // mV above the baseline
    double sigma = 0;     // min
    double area() const;  // mV*min
};

struct SyntheticChromatogram {
    std::int64_t samples = 0;
    double t0 = 0;     // min
    double dt = 1.0;   // min
    double level = 0;  // baseline at t0, mV
    double drift = 0;  // baseline slope, mV/min
    double noise = 0;  // standard deviation of the noise, mV
    std::uint64_t seed = 1;
    std::vector<SyntheticPeak> peaks;
};

// The trace of `spec`. Each peak is drawn out to 10 standard deviations.
Signal makeSyntheticSignal(const SyntheticChromatogram& spec);

// `count` peaks of equal height and width spread evenly over the trace, the
// first and last half a spacing from the ends.
std::vector<SyntheticPeak> evenlySpacedPeaks(const SyntheticChromatogram& spec, int count,
                                             double height, double sigma);

}  // namespace zelmora
