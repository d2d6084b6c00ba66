#pragma once
// The detector trace of one chromatogram: the samples in mV and the time base.
// Sample i lies at t0 + i * dt minutes, also for a fractional position; there
// is no time stamp per sample. The samples are the only bulk data of a
// chromatogram, so they are held once, in a growable array whose size is kept
// apart from its capacity (a recording appends to it).

#include <cstddef>
#include <vector>

namespace zelmora {

struct Signal {
    std::vector<float> samples;  // mV
    double t0 = 0;               // time of sample 0, min
    double dt = 1.0;             // sampling step, min

    std::size_t size() const { return samples.size(); }
    bool empty() const { return samples.empty(); }
    float at(std::size_t i) const { return samples[i]; }
    // Time of a (possibly fractional) sample position.
    double timeAt(double position) const { return t0 + position * dt; }
};

}  // namespace zelmora
