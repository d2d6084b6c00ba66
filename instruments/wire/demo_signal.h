#pragma once
// The signal of the simulated converter "Демо АЦП": three Gaussian peaks
// that move forward in time, h x exp(-(m - t)^2 / 10000) on a tick counter t
// (one tick per 100 ms). When t passes a centre by more than 500 ticks, the
// centre jumps to t + (r + 1) x 500 and the height becomes 3r + 3, 13r + 13
// or 10r + 10, with r in [0, 1] from the clock. Channel 1 shows all three
// peaks, channel 2 the first two, channel 3 all three with a noisy copy of
// the first peak's height: h1 x tan((noise - 0.5) x pi x 0.9) / 10.

#include <array>
#include <cstdint>

namespace zelmora::wire {

class DemoSignalGenerator {
  public:
    // One tick: r and noise are in [0, 1]. Returns the three channels' values.
    std::array<double, 3> next(double r, double noise);
    std::uint64_t tick() const { return t_; }
    const std::array<double, 3>& centres() const { return m_; }
    const std::array<double, 3>& heights() const { return h_; }

  private:
    std::uint64_t t_ = 0;
    std::array<double, 3> m_{500, 890, 900};
    std::array<double, 3> h_{3, 5, 4};
};

}  // namespace zelmora::wire
