#pragma once
// Brings a detector's samples from the instrument's rate (e points per
// second) to the method's point rate (d points per second) as they arrive.
//
// - Equal rates: every sample is a point.
// - Faster points than samples (d > e, interpolation): sample j stands at
//   (j + 1) / e seconds, the first sample also at 0; point i lies at i / d and
//   is the straight line between the two samples around it. A 5 points/s
//   detector recorded at 10 points/s gives two points per sample, the
//   midpoint and the sample itself.
// - Slower points than samples (d < e, averaging): sample j holds its value
//   over [j / e, (j + 1) / e) and point i is the mean over [i / d, (i + 1) / d).
//   A sample that straddles the edge of two points is split between them by
//   its overlap, so the trace's area is kept: Σ points / d = Σ samples / e
//   up to the point still being filled.
//
// Positions are computed from the sample and point counters, never by
// adding up steps, so a long recording does not drift in time. Single
// thread: the channel calls it under its own lock.

#include <cstdint>
#include <vector>

namespace zelmora {

class ChannelResampler {
  public:
    // Rates in points per second; a rate of 0 or below means "as given".
    void reset(double pointRate, double deviceRate);
    // Appends the points that sample `v` completes to `out`.
    void add(double v, std::vector<float>& out);

    std::uint64_t samplesIn() const { return inputs_; }
    std::uint64_t pointsOut() const { return outputs_; }

  private:
    enum class Mode { Equal, Interpolate, Average };
    Mode mode_ = Mode::Equal;
    double d_ = 1;
    double e_ = 1;
    std::uint64_t inputs_ = 0;
    std::uint64_t outputs_ = 0;
    double previous_ = 0;     // the last sample (interpolation)
    double accumulator_ = 0;  // integral of the point being filled, mV·s (averaging)
};

}  // namespace zelmora
