// The repeatability verdict of repeated gas analyses: the critical range
// factors by number of results, two analyses inside and outside the limit of
// a component, and a range that lies exactly on the limit.

#include <gtest/gtest.h>

#include "calc/natural_gas_calculator.h"
#include "calc/repeatability.h"

namespace zelmora {
namespace {

TEST(Repeatability, CriticalRangeFactors) {
    EXPECT_EQ(criticalRangeFactor(0), 0);
    EXPECT_EQ(criticalRangeFactor(1), 0);
    const std::pair<int, double> known[] = {
        {2, 2.8},  {3, 3.3},  {4, 3.6},  {5, 3.9},  {6, 4.0},   {7, 4.2},  {8, 4.3},
        {9, 4.4},  {10, 4.5}, {11, 4.6}, {13, 4.7}, {15, 4.8},  {17, 4.9}, {18, 4.9},
        {19, 5.0}, {22, 5.1}, {25, 5.2}, {27, 5.2}, {28, 5.3},  {32, 5.3}, {33, 5.4},
        {37, 5.4}, {38, 5.5}, {40, 5.5}, {44, 5.5}, {45, 5.6},  {59, 5.6}, {60, 5.8},
        {69, 5.8}, {70, 6.0}, {89, 6.0}, {90, 6.1}, {1000, 6.1}};
    for (auto [n, f] : known)
        EXPECT_DOUBLE_EQ(criticalRangeFactor(n), f) << n;
    // The factor never falls as results are added.
    for (int n = 3; n < 120; ++n)
        EXPECT_GE(criticalRangeFactor(n), criticalRangeFactor(n - 1)) << n;
    EXPECT_DOUBLE_EQ(repeatabilityLimit(2, 2), 2.0);
    EXPECT_NEAR(repeatabilityLimit(3, 0.1), 3.3 * 0.1 / 2.8, 1e-15);
}

TEST(Repeatability, VerdictTexts) {
    EXPECT_EQ(repeatabilityVerdict(1, 0.5, 2), "");
    EXPECT_EQ(repeatabilityVerdict(0, 0, 2), "");
    EXPECT_EQ(repeatabilityVerdict(2, 0.0005, 2), "2.000 OK");
    EXPECT_EQ(repeatabilityVerdict(2, 0.021, 2), "2.000 нет");
    EXPECT_EQ(repeatabilityVerdict(3, 0.0005, 2), "2.357 OK (по ГОСТ Р ИСО 5725)");
    EXPECT_EQ(repeatabilityVerdict(3, 0.03, 2), "2.357 нет (по ГОСТ Р ИСО 5725)");
    // 5 % and 3 % against r = 2 %: a range of exactly the limit passes,
    // although 0.05 − 0.03 is a little above 0.02 in binary.
    EXPECT_GT(0.05 - 0.03, 0.02);
    EXPECT_TRUE(repeatabilityPasses(2, 0.05 - 0.03, 2));
    EXPECT_EQ(repeatabilityVerdict(2, 0.05 - 0.03, 2), "2.000 OK");
    EXPECT_FALSE(repeatabilityPasses(2, 0.0201, 2));
}

TEST(Repeatability, TwoAnalysesInsideAndOutsideAComponentsLimit) {
    GasComponentNames names;
    auto ethane = [&](double first, double second) {
        GasChromatogram a, b;
        a.file = "1.stg";
        a.peaks = {{"Этан", first}};
        b.file = "2.stg";
        b.peaks = {{"Этан", second}};
        const Result<NaturalGasResult> r = computeNaturalGas({a, b}, names, GasConditions{});
        EXPECT_TRUE(r) << r.message();
        return r ? r->components[1].verdict : std::string("?");
    };
    // Ethane 3.00 % and 3.05 % with r = 2: the range 0.0005 against 0.02.
    EXPECT_EQ(ethane(3.00, 3.05), "2.000 OK");
    // A laboratory limit of 0.04 %: the same pair is outside it.
    names.limits[1] = 0.04;
    EXPECT_EQ(ethane(3.00, 3.05), "0.040 нет");
    EXPECT_EQ(ethane(3.00, 3.03), "0.040 OK");
}

}  // namespace
}  // namespace zelmora
