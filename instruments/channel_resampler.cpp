#include "instruments/channel_resampler.h"

#include <algorithm>
#include <cmath>

namespace zelmora {
namespace {

// Two rates whose ratio is 1 within rounding of their single-precision
// storage count as equal.
bool sameRate(double a, double b) {
    return std::fabs(a - b) <= 1e-6 * std::max(std::fabs(a), std::fabs(b));
}

}  // namespace

void ChannelResampler::reset(double pointRate, double deviceRate) {
    d_ = pointRate;
    e_ = deviceRate;
    inputs_ = 0;
    outputs_ = 0;
    previous_ = 0;
    accumulator_ = 0;
    if (d_ <= 0 || e_ <= 0 || sameRate(d_, e_))
        mode_ = Mode::Equal;
    else
        mode_ = d_ > e_ ? Mode::Interpolate : Mode::Average;
}

void ChannelResampler::add(double v, std::vector<float>& out) {
    switch (mode_) {
        case Mode::Equal:
            out.push_back(static_cast<float>(v));
            ++outputs_;
            break;
        case Mode::Interpolate: {
            if (inputs_ == 0)
                previous_ = v;
            // This sample stands at tB = (j + 1) / e, the previous one at
            // tA = j / e; every point up to tB is written. The comparison
            // i e <= (j + 1) d is made in whole products with a little room
            // for rounding, so 10 / 5 lands exactly on the sample.
            const double j = static_cast<double>(inputs_);
            const double limit = (j + 1) * d_;
            const double slack = 1e-9 * limit;
            while (static_cast<double>(outputs_) * e_ <= limit + slack) {
                const double t = static_cast<double>(outputs_) / d_;  // s
                const double f = std::clamp(t * e_ - j, 0.0, 1.0);  // fraction between the samples
                out.push_back(static_cast<float>(previous_ + f * (v - previous_)));
                ++outputs_;
            }
            previous_ = v;
            break;
        }
        case Mode::Average: {
            // The sample covers [a, b); each point edge it crosses closes a point.
            double a = static_cast<double>(inputs_) / e_;
            const double b = static_cast<double>(inputs_ + 1) / e_;
            for (;;) {
                const double edge = static_cast<double>(outputs_ + 1) / d_;
                if (edge > b)
                    break;
                accumulator_ += v * (edge - a);
                out.push_back(static_cast<float>(accumulator_ * d_));
                ++outputs_;
                accumulator_ = 0;
                a = edge;
            }
            accumulator_ += v * (b - a);
            break;
        }
    }
    ++inputs_;
}

}  // namespace zelmora
