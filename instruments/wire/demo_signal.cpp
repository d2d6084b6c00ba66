#include "instruments/wire/demo_signal.h"

#include <cmath>

namespace zelmora::wire {

std::array<double, 3> DemoSignalGenerator::next(double r, double noise) {
    const double t = static_cast<double>(t_);
    static constexpr std::array<double, 3> kHeightScale{3, 13, 10};
    for (int i = 0; i < 3; ++i) {
        if (t > m_[i] + 500) {
            m_[i] = t + (r + 1) * 500;
            h_[i] = kHeightScale[i] * r + kHeightScale[i];
        }
    }
    std::array<double, 3> p{};
    for (int i = 0; i < 3; ++i)
        p[i] = h_[i] * std::exp(-(m_[i] - t) * (m_[i] - t) / 10000.0);
    ++t_;
    const double spike = h_[0] * std::tan((noise - 0.5) * 3.1415926 * 0.9) / 10.0;
    return {p[0] + p[1] + p[2], p[0] + p[1], p[0] + p[1] + p[2] + spike};
}

}  // namespace zelmora::wire
