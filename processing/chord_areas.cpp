#include "processing/chord_areas.h"

#include "processing/signal_filters.h"

namespace zelmora {

ChordAreas::ChordAreas(const Signal& signal)
    : signal_(signal),
      n_(static_cast<std::int64_t>(signal.size())),
      dtSingle_(static_cast<float>(signal.dt)) {}

float ChordAreas::windowArea(std::int64_t s, std::int64_t e) const {
    return chordAreaSingle(signal_.samples.data(), signal_.size(), s, e, signal_.dt);
}

float ChordAreas::sum(std::int64_t s, std::int64_t e) const {
    const float* y = signal_.samples.data();
    float total = 0;
    for (std::int64_t i = s; i <= e; ++i)
        total += y[i];
    return total;
}

double ChordAreas::areaFromSum(float sum, std::int64_t s, std::int64_t e) const {
    const double a = static_cast<double>(sample(s)) + static_cast<double>(sample(e));
    return (static_cast<double>(sum) - a / 2 - static_cast<double>(e - s) * a / 2) * dtSingle_;
}

double ChordAreas::area(std::int64_t s, std::int64_t e) const {
    if (s < 0)
        s = 0;
    if (e > n_ - 1)
        e = n_ - 1;
    if (s > e)
        return 0;
    return areaFromSum(sum(s, e), s, e);
}

}  // namespace zelmora
