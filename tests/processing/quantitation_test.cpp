#include "processing/quantitation.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelmora {
namespace {

MethodComponent curve(const std::string& name, double k1, int type = 0, double k0 = 0,
                      double k2 = 0, double k3 = 0) {
    MethodComponent c;
    c.name = name;
    c.curveType = type;
    c.k0 = k0;
    c.k1 = k1;
    c.k2 = k2;
    c.k3 = k3;
    return c;
}

Peak named(const std::string& name, double area, double height) {
    Peak p;
    p.componentName = name;
    p.area = area;
    p.height = height;
    p.concentration = 99;  // stale value from an earlier calculation
    return p;
}

// A (k1 2), B (k1 0.5), the standard S (k1 4) and an unnamed peak, with
// areas 3, 4, 2 and 1; V = 2, D = 4, N = 100.
struct Case {
    Method method;
    Passport passport{0};
    PeakTable table;

    explicit Case(int kind) {
        method.calculation.kind = kind;
        method.calculation.response = 1;
        method.calculation.standard = "S";
        method.calculation.components = {curve("A", 2), curve("B", 0.5), curve("S", 4)};
        passport.sampleAmount = 2;
        passport.standardAmount = 4;
        table.peaks = {named("A", 3, 1), named("B", 4, 2), named("S", 2, 0.5), named("", 1, 0.1)};
    }
    std::vector<double> run() {
        last = CalculateConcentrations(table, method, passport);
        std::vector<double> c;
        for (const Peak& p : table.peaks)
            c.push_back(p.concentration);
        return c;
    }
    Status last;
};

void expectValues(const std::vector<double>& got, const std::vector<double>& want, int kind) {
    ASSERT_EQ(got.size(), want.size()) << kind;
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], 1e-9) << "kind " << kind << " peak " << i;
}

TEST(Quantitation, EveryCalculationKindOnOneTable) {
    const std::vector<std::vector<double>> expected = {
        {12, 4, 16, 0},       // 0: Y / V * D
        {12, 4, 16, 0},       // 1: the same, with the least-squares curve
        {150, 50, 200, 100},  // 2: cs = D/V*100 = 200, times Y / Y(S) = Y / 8; unnamed by S's curve
        {150, 50, 200, 100},  // 3
        {30, 40, 20, 10},     // 4: areas * 100 / 10
        {37.5, 12.5, 50, 0},  // 5: areas * k1 = 6, 2, 8, 0, normalised to 100
        {30, 10, 40, 20},     // 6: the unnamed peak takes the standard's k1
        {24, 8, 8, 0},        // 7: Y * k1 of S, except S itself
        {0, 0, 0, 0},         // 8: nothing computed
    };
    for (int kind = 0; kind < kCalculationKinds; ++kind) {
        Case c(kind);
        expectValues(c.run(), expected[kind], kind);
        EXPECT_EQ(c.last.ok(), kind != 8) << kind;
    }
    // The norm factor applies to the absolute calibration only.
    Case half(0);
    half.passport.norm = 50;
    expectValues(half.run(), {24, 8, 32, 0}, 0);
    Case zeroV(0);
    zeroV.passport.sampleAmount = 0;
    expectValues(zeroV.run(), {0, 0, 0, 0}, 0);
    // Height as the response.
    Case height(4);
    height.method.calculation.response = 0;
    expectValues(height.run(), {100 / 3.6, 200 / 3.6, 50 / 3.6, 10 / 3.6}, 4);
}

TEST(Quantitation, KindsThatCannotComputeSayWhy) {
    Case noStandardPeak(2);
    noStandardPeak.table.peaks.erase(noStandardPeak.table.peaks.begin() + 2);
    expectValues(noStandardPeak.run(), {0, 0, 0}, 2);

    // No standard component for the external standard: zeros, not stale values.
    Case external(7);
    external.method.calculation.standard = "нет такого";
    expectValues(external.run(), {0, 0, 0, 0}, 7);
    EXPECT_FALSE(external.last.ok());
    EXPECT_NE(external.last.message().find("стандарт"), std::string::npos);

    Case eight(8);
    eight.run();
    EXPECT_FALSE(eight.last.message().empty());

    // Normalisation from the edge cases: 25, 25, 50; a norm of 0 gives zeros.
    Method m;
    m.calculation.kind = kSimpleNormalisation;
    m.calculation.response = 1;
    PeakTable t;
    t.peaks = {named("", 1, 1), named("", 1, 1), named("", 2, 1)};
    Passport p(0);
    CalculateConcentrations(t, m, p);
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 25);
    EXPECT_DOUBLE_EQ(t.peaks[2].concentration, 50);
    p.norm = 0;
    CalculateConcentrations(t, m, p);
    EXPECT_DOUBLE_EQ(t.peaks[2].concentration, 0);
}

TEST(Quantitation, CurvesOfEveryType) {
    // All four coefficients take part whatever the form.
    const double k0 = 0.5, k1 = 2, k2 = 0.25, k3 = 0.1, x = 2, l = std::log(2.0);
    for (int type = 0; type < kCurveTypes; ++type) {
        const MethodComponent c = curve("c", k1, type, k0, k2, k3);
        double want = 0;
        if (type < 6)
            want = k0 + k1 * x + k2 * x * x + k3 * x * x * x;
        else if (type < 12)
            want = k0 + k1 / x + k2 / (x * x) + k3 / (x * x * x);
        else
            want = std::exp(k0 + k1 * l + k2 * l * l + k3 * l * l * l);
        EXPECT_NEAR(EvaluateCurve(c, x), want, 1e-12) << type;
        EXPECT_STRNE(curveTypeCaption(type), "");
    }
    EXPECT_DOUBLE_EQ(EvaluateCurve(curve("c", 1, 0, 0), 3), 3);
    EXPECT_EQ(EvaluateCurve(curve("c", 5, 7, 1), 0), 0);   // 1/X at X = 0
    EXPECT_EQ(EvaluateCurve(curve("c", 5, 13, 1), 0), 0);  // ln 0
    EXPECT_EQ(EvaluateCurve(curve("c", 5, 13, 1), -2), 0);
    EXPECT_EQ(EvaluateCurve(curve("c", 1000, 13), 100), 0);  // exp out of range: not infinite
    EXPECT_EQ(EvaluateCurve(curve("c", 5, 18, 1), 2), 0);
    EXPECT_EQ(EvaluateCurve(curve("c", 5, -1, 1), 2), 0);
    EXPECT_STREQ(curveTypeCaption(13), "ln(Y)=k1*ln(X) + k0");
    EXPECT_STREQ(curveTypeCaption(18), "");
}

TEST(Quantitation, ResponseFindsComponentsWithoutRegardToCase) {
    CalculationSettings s;
    s.response = 0;
    s.components = {curve("Метан", 3), curve("Этан", 10)};
    EXPECT_DOUBLE_EQ(Response(s, "МЕТАН", 2, 100), 6);
    EXPECT_DOUBLE_EQ(Response(s, "метан", 2, 100), 6);
    EXPECT_EQ(Response(s, "пропан", 2, 100), 0);
    s.kind = kInternalStandardClassic;
    EXPECT_EQ(Response(s, "пропан", 2, 100), 0);  // no standard named
    s.standard = "ЭТАН";
    EXPECT_DOUBLE_EQ(Response(s, "пропан", 2, 100), 20);
    s.kind = kNormalisationRelative;
    EXPECT_DOUBLE_EQ(Response(s, "пропан", 2, 100), 20);
    s.kind = kNormalisationAbsolute;
    EXPECT_EQ(Response(s, "пропан", 2, 100), 0);
    // Kind 0 with the edge case numbers: (2 * 3) / 2 * 4 = 12.
    Method m;
    m.calculation.response = 1;
    m.calculation.components = {curve("Метан", 2)};
    PeakTable t;
    t.peaks = {named("МЕТАН", 3, 1)};
    Passport p(0);
    p.sampleAmount = 2;
    p.standardAmount = 4;
    CalculateConcentrations(t, m, p);
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 12);
}

TEST(Quantitation, ThermalConductivityAndMainSubstance) {
    Method m;
    m.extra.kind = 2;
    m.calculation.response = 1;
    m.calculation.components = {curve("Азот", 2)};
    PeakTable t;
    t.peaks = {named("азот", 3, 1), named("Водород", 10, 1), named("КИСЛОРОД", 1, 1),
               named("Метан", 5, 1), named("Этан", 5, 1)};
    Passport p(0);
    p.norm = 50;  // not applied here
    CalculateConcentrations(t, m, p);
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 6);
    EXPECT_DOUBLE_EQ(t.peaks[1].concentration, 2 * 0.091 * 10);
    EXPECT_DOUBLE_EQ(t.peaks[2].concentration, 2 * 0.9);
    EXPECT_DOUBLE_EQ(t.peaks[3].concentration, 2 * 0.37 * 5);
    EXPECT_EQ(t.peaks[4].concentration, 0);

    // Main substance by difference: D minus every other concentration.
    Case present(0);
    present.method.calculation.mainByDifference = true;
    present.method.calculation.mainSubstance = "s";
    present.passport.standardAmount = 100;
    // A = 6/2*100 = 300, B = 100, unnamed 0; S = 100 - 400.
    expectValues(present.run(), {300, 100, -300, 0}, 0);

    Case absent(4);
    absent.method.calculation.mainByDifference = true;
    absent.method.calculation.mainSubstance = "Вода";
    absent.passport.standardAmount = 120;
    const std::vector<double> c = absent.run();
    ASSERT_EQ(c.size(), 5u);
    EXPECT_DOUBLE_EQ(c[4], 20);  // 120 - 100
    const Peak& added = absent.table.peaks[4];
    EXPECT_EQ(added.componentName, "Вода");
    EXPECT_EQ(added.startTime, 0);
    EXPECT_EQ(added.prevInGroup, -1);
    EXPECT_EQ(added.nextInGroup, -1);
    EXPECT_EQ(added.ownIndex, 4);
    // The next run finds the added peak and does not add another.
    EXPECT_EQ(absent.run().size(), 5u);
}

TEST(Quantitation, ComponentGroupsAndPassportLabels) {
    const std::vector<ComponentGroup> groups = {
        {"A", "Лёгкие"}, {"b", "Лёгкие"}, {"S", "Стандарт"}, {"A", "Ещё"}};
    EXPECT_EQ(componentGroupOf(groups, "a"), 0);
    EXPECT_EQ(componentGroupOf(groups, "B"), 0);
    EXPECT_EQ(componentGroupOf(groups, "S"), 1);
    EXPECT_EQ(componentGroupOf(groups, "X"), -1);
    EXPECT_EQ(componentGroupOf(groups, ""), -1);
    Case c(4);
    c.run();
    const auto totals = componentGroupTotals(groups, c.table);
    ASSERT_EQ(totals.size(), 3u);
    EXPECT_EQ(totals[0].name, "Лёгкие");
    EXPECT_EQ(totals[0].peaks, 2);
    EXPECT_DOUBLE_EQ(totals[0].area, 7);
    EXPECT_DOUBLE_EQ(totals[0].concentration, 70);
    EXPECT_DOUBLE_EQ(totals[1].height, 0.5);
    EXPECT_EQ(totals[2].peaks, 0);

    EXPECT_EQ(passportLabels(0, 1, false).norm, "Кол-во спирта в пробе");
    EXPECT_EQ(passportLabels(0, 0, false).norm, "");
    EXPECT_EQ(passportLabels(2, 0, true).sampleAmount, "");
    EXPECT_EQ(passportLabels(3, 0, false).standardAmount, "Масса стандарта");
    EXPECT_EQ(passportLabels(8, 0, false).norm, "Норма");
    EXPECT_EQ(passportLabels(7, 0, false).norm, "");
    EXPECT_STREQ(calculationKindReportName(7), "неизвестен");
}

}  // namespace
}  // namespace zelmora
