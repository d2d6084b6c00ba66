#include "calc/repeatability.h"

#include <array>

#include "app/text.h"

namespace zelmora {
namespace {

// f(2) ... f(40); beyond that in steps (below).
constexpr std::array<double, 39> kFactors = {
    2.8, 3.3, 3.6, 3.9, 4.0, 4.2, 4.3, 4.4,            // 2..9
    4.5, 4.6, 4.6, 4.7, 4.7, 4.8, 4.8, 4.9, 4.9,       // 10..18
    5.0, 5.0, 5.0, 5.1, 5.1, 5.1, 5.2, 5.2, 5.2,       // 19..27
    5.3, 5.3, 5.3, 5.3, 5.3, 5.4, 5.4, 5.4, 5.4, 5.4,  // 28..37
    5.5, 5.5, 5.5,                                     // 38..40
};

// The range is a difference of two sums of per-cent values over 100: a range
// of exactly the limit (5 % and 3 % against 2 %) comes out a few units in the
// last place above it, and must still pass.
bool withinLimit(double rangeFraction, double limitPercent) {
    return rangeFraction <= limitPercent / 100 * (1 + 1e-9);
}

}  // namespace

double criticalRangeFactor(int n) {
    if (n < 2)
        return 0;
    if (n <= 40)
        return kFactors[static_cast<std::size_t>(n - 2)];
    if (n <= 44)
        return 5.5;
    if (n <= 59)
        return 5.6;
    if (n <= 69)
        return 5.8;
    if (n <= 89)
        return 6.0;
    return 6.1;
}

double repeatabilityLimit(int n, double r) {
    return criticalRangeFactor(n) * r / 2.8;
}

bool repeatabilityPasses(int n, double rangeFraction, double r) {
    return n >= 2 && withinLimit(rangeFraction, repeatabilityLimit(n, r));
}

std::string repeatabilityVerdict(int n, double rangeFraction, double r) {
    if (n < 2)
        return {};
    const double limit = repeatabilityLimit(n, r);
    std::string out =
        text::format(withinLimit(rangeFraction, limit) ? "%.3f OK" : "%.3f нет", limit);
    if (n > 2)
        out += " (по ГОСТ Р ИСО 5725)";
    return out;
}

}  // namespace zelmora
