#pragma once
// The repeatability check of repeated analyses of one gas sample: the range
// of n results of a component (largest − smallest) may not exceed the
// critical range f(n) × σr = f(n) × r / 2.8, where r is the repeatability
// limit of two results in mole per cent and f(n) the critical range factor
// of ISO 5725-6 (2.8 for two results, 3.3 for three, ... 6.1 from 90 on).
// For two results the critical range is r itself.

#include <string>

namespace zelmora {

// f(n) for n ≥ 2; 0 for fewer results, which have no range to judge.
double criticalRangeFactor(int n);

// The critical range in mole per cent for n results and the limit r.
double repeatabilityLimit(int n, double r);

// The verdict the composition grid and the report show: "%.3f OK" with the
// critical range when the range (as a fraction, largest − smallest) is within
// it, "%.3f нет" otherwise, with " (по ГОСТ Р ИСО 5725)" for more than two
// results; empty for fewer than two.
std::string repeatabilityVerdict(int n, double rangeFraction, double r);
bool repeatabilityPasses(int n, double rangeFraction, double r);

}  // namespace zelmora
