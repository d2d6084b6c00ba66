#include "processing/chord_areas.h"

namespace zelmora {

ChordAreas::ChordAreas(const Signal& signal)
    : signal_(signal), n_(static_cast<std::int64_t>(signal.size())) {
    if (n_ == 0)
        return;
    // A level that is itself a sample value keeps y - level exact for a flat
    // trace, so a flat stretch has exactly zero area.
    double mean = 0;
    for (float y : signal.samples)
        mean += y;
    mean /= static_cast<double>(n_);
    level_ = static_cast<float>(mean);
    running_.resize(static_cast<std::size_t>(n_) + 1);
    double sum = 0, carry = 0;
    running_[0] = 0;
    for (std::int64_t i = 0; i < n_; ++i) {
        const double y = static_cast<double>(signal.samples[static_cast<std::size_t>(i)]) - level_;
        const double corrected = y - carry;
        const double next = sum + corrected;
        carry = (next - sum) - corrected;
        sum = next;
        running_[static_cast<std::size_t>(i) + 1] = sum;
    }
}

double ChordAreas::area(std::int64_t s, std::int64_t e) const {
    if (s < 0)
        s = 0;
    if (e > n_ - 1)
        e = n_ - 1;
    if (s > e)
        return 0;
    const double sum =
        running_[static_cast<std::size_t>(e) + 1] - running_[static_cast<std::size_t>(s)];
    const double a = (static_cast<double>(signal_.samples[static_cast<std::size_t>(s)]) - level_) +
                     (static_cast<double>(signal_.samples[static_cast<std::size_t>(e)]) - level_);
    return (sum - a / 2 - static_cast<double>(e - s) * a / 2) * signal_.dt;
}

}  // namespace zelmora
