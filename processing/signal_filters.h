#pragma once
// Smoothing filters of a recorded chromatogram, chosen on the method's
// filtering page. Each reads the samples as they were (the undo copy) and
// writes the filtered samples; windows are entered in seconds and turned
// into a half window of n samples on each side of the centre,
// n = floor(window / (dt * 120)) and at least 1 (dt in minutes).
//
//   1 running median of 2n+1 samples, the ends padded with the end samples;
//   2 spike removal: a sample further than the threshold from the mean of
//     its 2n neighbours (mirrored at the ends) is replaced by that mean;
//   3 centred running mean of 2n+1 samples, ends padded with the end samples;
//   4 a fixed elliptic low-pass (15 second-order sections, DC gain 0.9886);
//   5 area above the chord over a window taken in minutes, zero at the ends.

#include <cstddef>
#include <vector>

namespace zelmora {

enum class FilterKind {
    None = 0,
    Median = 1,
    Spikes = 2,
    Gaussian = 3,
    LowPass = 4,
    ChordArea = 5
};

struct FilterSettings;  // the method's page; see FilterParameters for the values used here

struct FilterParameters {
    int kind = 0;
    double threshold = 0.1;      // mV, kind 2
    double windowSeconds = 1.0;  // s (kind 5 reads it as minutes)
};

// Half window in samples for a window in seconds and a step in minutes.
int halfWindow(double windowSeconds, double dtMinutes);

// Filters `x` into `y` (resized to x's length). Returns false, with y equal
// to x, when nothing is done: kind 0 or unknown, fewer than 6 samples, or a
// window that does not fit (median and spikes: N < 2n; mean: 2n+1 >= N).
bool applyFilter(const std::vector<float>& x, double dtMinutes, const FilterParameters& p,
                 std::vector<float>& y);

// The single kinds, for tests and benchmarks; y must have x's size.
void runningMedian(const std::vector<float>& x, int n, std::vector<float>& y);
void removeSpikes(const std::vector<float>& x, int n, double threshold, std::vector<float>& y);
void runningMean(const std::vector<float>& x, int n, std::vector<float>& y);
void lowPass(const std::vector<float>& x, std::vector<float>& y);
void chordAreaTransform(const std::vector<float>& x, double dtMinutes, double windowMinutes,
                        std::vector<float>& y);

// Area of the samples s..e above the straight chord from sample s to sample
// e, in mV*min, summed in single precision as automatic marking scans it.
float chordAreaSingle(const float* y, std::size_t n, long long s, long long e, double dt);

// The same area from the float sum of samples s..e and a = y[s] + y[e]: the
// one formula of every single-precision window area.
inline float chordAreaFromSum(float sum, float a, long long s, long long e, float dt) {
    return (sum - a / 2 - static_cast<float>(e - s) * a / 2) * dt;
}

}  // namespace zelmora
