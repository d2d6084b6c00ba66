#include "processing/calibration.h"

#include <gtest/gtest.h>

#include <cmath>

#include "document/message_sink.h"
#include "processing/quantitation.h"

namespace zelmora {
namespace {

CalibrationPoint level(double amount, double area, std::time_t when = 0) {
    CalibrationPoint p;
    p.dateTime = when;
    p.amount = amount;
    p.area = area;
    p.height = area / 10;
    return p;
}

MethodComponent withLevels(const std::string& name, std::vector<CalibrationPoint> points,
                           int type = 0) {
    MethodComponent c;
    c.name = name;
    c.curveType = type;
    c.points = std::move(points);
    return c;
}

// Three levels, areas 2, 4, 7 for amounts 5.1, 9.8, 18.2; reference values
// computed with numpy on the same numbers.
MethodComponent threeLevels(int type) {
    return withLevels("A", {level(5.1, 2), level(9.8, 4), level(18.2, 7)}, type);
}

TEST(Calibration, ClassicFitStatistics) {
    MethodComponent c = withLevels("A", {level(10, 5), level(30, 10)});
    ClassicStatistics st = ClassicFit(c, 1, nullptr);
    EXPECT_DOUBLE_EQ(c.k1, 2.5);
    EXPECT_DOUBLE_EQ(st.range, 40);
    EXPECT_NEAR(st.rsd, 28.2842712474619, 1e-10);
    EXPECT_DOUBLE_EQ(c.points[0].coefficient, 2);
    EXPECT_DOUBLE_EQ(c.points[1].coefficient, 3);
    EXPECT_DOUBLE_EQ(c.standardFactor, 1.0);

    MethodComponent three = threeLevels(5);  // the curve form does not matter
    three.k3 = 7;
    three.points.push_back(level(4, 0));  // no response: no part in the fit
    st = ClassicFit(three, 1, nullptr);
    EXPECT_NEAR(three.k1, 2.53333333333333, 1e-12);
    EXPECT_EQ(three.k0 + three.k2 + three.k3, 0);
    EXPECT_NEAR(st.range, 5.92105263157894, 1e-10);
    EXPECT_NEAR(st.rsd, 3.014852430892, 1e-10);
    EXPECT_EQ(st.levels, 3);

    MethodComponent one = withLevels("A", {level(6, 3)});
    st = ClassicFit(one, 1, nullptr);
    EXPECT_DOUBLE_EQ(one.k1, 2);
    EXPECT_EQ(st.range, 0);
    EXPECT_EQ(st.rsd, 0);
    // Heights as the response: amount / (area / 10).
    ClassicFit(one, 0, nullptr);
    EXPECT_DOUBLE_EQ(one.k1, 20);

    MethodComponent none = withLevels("A", {level(6, 0)});
    none.k1 = 5;
    ClassicFit(none, 1, nullptr);
    EXPECT_EQ(none.k1, 0);
    ClassicFit(none, 1, &none);  // relative to itself: the factor is 0, k1 = 1
    EXPECT_EQ(none.k1, 1.0);

    MethodComponent manual = threeLevels(0);
    manual.manual = true;
    manual.k1 = 42;
    st = ClassicFit(manual, 1, nullptr);
    EXPECT_EQ(manual.k1, 42);
    EXPECT_NEAR(st.mean, 2.53333333333333, 1e-12);
}

TEST(Calibration, LeastSquaresFitOfEveryForm) {
    struct Want {
        int type;
        double k0, k1, k2, k3;
    };
    const Want wants[] = {
        {0, 0, 2.56231884057971, 0, 0},
        {1, -0.381578947368419, 2.63421052631579, 0, 0},
        {2, 0, 2.3707337045529, 0.031853914182771, 0},
        {3, 1.12, 1.81, 0.09, 0},
        {4, 0, 2.81, -0.17, 0.02},
        {5, 1.12, 1.81, 0.09, 0},  // lowered to the quadratic three levels fix
        {6, 0, 22.8291187739464, 0, 0},
        {7, 21.0069620253165, -33.5113924050633, 0, 0},
        {12, 0, 1.60599997602745, 0, 0},
        {13, 0.912280924847769, 1.01263245006098, 0, 0},
        {15, 1.10181604137671, 0.670226811255205, 0.130832093826851, 0},
    };
    for (const Want& w : wants) {
        MethodComponent c = threeLevels(w.type);
        c.k3 = 99;  // replaced by the fit
        const Result<FitOutcome> o = LeastSquaresFit(c, 1, nullptr);
        EXPECT_TRUE(o.ok()) << w.type;
        EXPECT_EQ(o->points, 3) << w.type;
        EXPECT_NEAR(c.k0, w.k0, 1e-9) << w.type;
        EXPECT_NEAR(c.k1, w.k1, 1e-9) << w.type;
        EXPECT_NEAR(c.k2, w.k2, 1e-9) << w.type;
        EXPECT_NEAR(c.k3, w.k3, 1e-9) << w.type;
    }
    // The fitted log curve gives the amounts back through EvaluateCurve.
    MethodComponent exact =
        withLevels("A", {level(2, 1), level(2 * std::exp(1.5), std::exp(1))}, 13);
    LeastSquaresFit(exact, 1, nullptr);
    EXPECT_NEAR(EvaluateCurve(exact, std::exp(1)), 2 * std::exp(1.5), 1e-9);

    // Through (1, 2) and (2, 4): k1 = 2, k0 = 0.
    MethodComponent line = withLevels("A", {level(2, 1), level(4, 2)}, 0);
    LeastSquaresFit(line, 1, nullptr);
    EXPECT_NEAR(line.k1, 2, 1e-12);
    EXPECT_EQ(line.k0, 0);
}

TEST(Calibration, DegreeLoweringWithOneAndTwoLevels) {
    MethodComponent c = withLevels("A", {level(5.1, 2)}, 1);
    Result<FitOutcome> o = LeastSquaresFit(c, 1, nullptr);
    EXPECT_EQ(o->degree, 0);
    EXPECT_DOUBLE_EQ(c.k0, 5.1);
    EXPECT_EQ(c.k1, 0);
    // Without a constant term one level still fixes k1.
    c = withLevels("A", {level(5.1, 2)}, 2);
    o = LeastSquaresFit(c, 1, nullptr);
    EXPECT_EQ(o->degree, 1);
    EXPECT_NEAR(c.k1, 2.55, 1e-12);
    EXPECT_EQ(c.k2, 0);
    c = withLevels("A", {level(5.1, 2)}, 5);
    LeastSquaresFit(c, 1, nullptr);
    EXPECT_DOUBLE_EQ(c.k0, 5.1);
    EXPECT_EQ(c.k1 + c.k2 + c.k3, 0);

    // Two levels: a straight line with constant, or two powers without.
    c = withLevels("A", {level(5.1, 2), level(9.8, 4)}, 3);
    o = LeastSquaresFit(c, 1, nullptr);
    EXPECT_EQ(o->degree, 1);
    EXPECT_NEAR(c.k0, 0.4, 1e-10);
    EXPECT_NEAR(c.k1, 2.35, 1e-10);
    EXPECT_EQ(c.k2, 0);
    c = withLevels("A", {level(5.1, 2), level(9.8, 4)}, 4);
    o = LeastSquaresFit(c, 1, nullptr);
    EXPECT_EQ(o->degree, 2);
    EXPECT_NEAR(c.k1, 2.65, 1e-10);
    EXPECT_NEAR(c.k2, -0.05, 1e-10);
    EXPECT_EQ(c.k3, 0);

    // No level with a response: all zero.
    c = withLevels("A", {level(5, 0)}, 3);
    c.k1 = 3;
    LeastSquaresFit(c, 1, nullptr);
    EXPECT_EQ(c.k0 + c.k1 + c.k2 + c.k3, 0);
}

TEST(Calibration, FitsThatCannotBeMadeKeepTheCoefficients) {
    // Two levels with the same response and a line with constant: singular.
    MethodComponent c = withLevels("A", {level(5, 3), level(6, 3)}, 1);
    c.k0 = 1;
    c.k1 = 2;
    const Result<FitOutcome> o = LeastSquaresFit(c, 1, nullptr);
    EXPECT_FALSE(o.ok());
    EXPECT_NE(o.message().find("\"A\""), std::string::npos);
    EXPECT_EQ(c.k0, 1);
    EXPECT_EQ(c.k1, 2);
    CalculationSettings s;
    s.kind = kAbsoluteLeastSquares;
    s.response = 1;
    s.components = {c};
    EXPECT_EQ(FitAllComponents(s).messages.size(), 1u);

    // The logarithmic group skips levels whose amount or response has no
    // logarithm instead of fitting NaN.
    MethodComponent lg = withLevels("A", {level(0, 2), level(2, 1), level(4, 2), level(3, -1)}, 13);
    const Result<FitOutcome> lo = LeastSquaresFit(lg, 1, nullptr);
    EXPECT_TRUE(lo.ok());
    EXPECT_EQ(lo->points, 2);
    EXPECT_NEAR(lg.k1, 1, 1e-12);  // ln 4 - ln 2 over ln 2 - ln 1
    EXPECT_NEAR(lg.k0, std::log(2.0), 1e-12);

    MethodComponent manual = threeLevels(1);
    manual.manual = true;
    manual.k0 = 7;
    manual.k1 = 8;
    LeastSquaresFit(manual, 1, nullptr);
    EXPECT_EQ(manual.k0, 7);
    EXPECT_EQ(manual.k1, 8);
}

TEST(Calibration, FitAllComponentsByCalculationKind) {
    // The standard S: areas 3, 3.2, 2.7 for amounts 10, 11, 9.5.
    auto settings = [](int kind) {
        CalculationSettings s;
        s.kind = kind;
        s.response = 1;
        s.standard = "s";
        s.components = {threeLevels(1),
                        withLevels("S", {level(10, 3), level(11, 3.2), level(9.5, 2.7)}, 1)};
        return s;
    };
    // Kind 3: the standard absolute, A relative to it (numpy values).
    CalculationSettings s3 = settings(kInternalStandardAbsolute);
    FitAllComponents(s3);
    EXPECT_NEAR(s3.components[1].k0, 1.5789473684210473, 1e-9);
    EXPECT_NEAR(s3.components[1].k1, 2.894736842105265, 1e-9);
    EXPECT_NEAR(s3.components[0].k0, -0.17588867977043837, 1e-9);
    EXPECT_NEAR(s3.components[0].k1, 2.570734204562022, 1e-9);
    EXPECT_NEAR(LevelAmount(s3.components[0], 0, 1, &s3.components[1]), 5.23421053, 1e-7);
    // A standard without amount at a level corrects it to 0.
    s3.components[1].points[0].amount = 0;
    EXPECT_EQ(LevelAmount(s3.components[0], 0, 1, &s3.components[1]), 0);

    // Kind 2: the standard's k1 becomes 1 and its factor its mean.
    const double mA = (5.1 / 2 + 9.8 / 4 + 18.2 / 7) / 3;
    const double mS = (10 / 3.0 + 11 / 3.2 + 9.5 / 2.7) / 3;
    CalculationSettings s2 = settings(kInternalStandardClassic);
    const CalibrationReport r2 = FitAllComponents(s2);
    EXPECT_DOUBLE_EQ(s2.components[1].k1, 1);
    EXPECT_NEAR(s2.components[1].standardFactor, mS, 1e-12);
    EXPECT_NEAR(s2.components[0].k1, mA / mS, 1e-12);
    EXPECT_NEAR(s2.components[0].standardFactor, mS, 1e-12);
    EXPECT_NEAR(r2.statistics[0].mean, mA, 1e-12);

    // Kind 7: the standard is fitted absolutely once more at the end.
    CalculationSettings s7 = settings(kExternalStandard);
    FitAllComponents(s7);
    EXPECT_NEAR(s7.components[1].k1, mS, 1e-12);
    EXPECT_DOUBLE_EQ(s7.components[1].standardFactor, 1);
    EXPECT_NEAR(s7.components[0].k1, mA / mS, 1e-12);

    // Kinds 0 and 5 fit classic, no standard; 4 and 8 nothing; 2, 6 and 7
    // nothing without a standard component.
    for (int kind : {0, 5}) {
        CalculationSettings s = settings(kind);
        FitAllComponents(s);
        EXPECT_NEAR(s.components[0].k1, mA, 1e-12) << kind;
        EXPECT_EQ(s.components[0].k0, 0) << kind;
    }
    for (int kind : {4, 8}) {
        CalculationSettings s = settings(kind);
        FitAllComponents(s);
        EXPECT_EQ(s.components[0].k1, 0) << kind;
    }
    for (int kind : {2, 6, 7}) {
        CalculationSettings s = settings(kind);
        s.standard = "нет";
        FitAllComponents(s);
        EXPECT_EQ(s.components[0].k1, 0) << kind;
    }
    CalculationSettings s1 = settings(kAbsoluteLeastSquares);
    FitAllComponents(s1);
    EXPECT_NEAR(s1.components[0].k1, 2.63421052631579, 1e-9);
}

Peak calibrationPeak(const std::string& name, double apex, double area, double amount,
                     int reference = 0, const char* index = nullptr) {
    Peak p(apex - 0.1, apex + 0.1);
    p.apexTime = apex;
    p.area = area;
    p.height = area * 2;
    p.componentName = name;
    p.concentration = amount;
    p.isReference = reference;
    if (index != nullptr)
        setProperty(p.properties, kRetentionIndexKey, index);
    return p;
}

TEST(Calibration, LevelsFromCalibrationChromatograms) {
    Method m;
    m.calculation.kind = kAbsoluteClassic;
    m.calculation.response = 1;
    m.calculation.components = {withLevels("Метан", {}), withLevels("Этан", {})};
    PeakTable first;
    first.peaks = {calibrationPeak("МЕТАН", 1.0, 5, 10, 1, "500"),
                   calibrationPeak("Пропан", 3.0, 2, 4), calibrationPeak("", 4.0, 9, 9)};
    Passport p(0);
    p.analysisTime = 1000;
    p.sampleAmount = 2;
    p.standardAmount = 4;  // amount = concentration * 2 / 4
    RecordingMessageSink sink;
    CalibrationPointResult r = AddCalibrationPoint(m, first, p, &sink);
    EXPECT_EQ(r.level, 0);
    EXPECT_FALSE(r.reused);
    EXPECT_EQ(r.added, 1);
    EXPECT_EQ(r.components, 2);
    EXPECT_TRUE(sink.entries.empty());
    const CalculationSettings& s = m.calculation;
    ASSERT_EQ(s.components.size(), 3u);
    EXPECT_EQ(s.components[2].name, "Пропан");
    EXPECT_EQ(s.components[2].window, 5.0);  // defaults of a new component
    EXPECT_EQ(s.components[2].retentionIndex, 100.0);
    for (const MethodComponent& c : s.components) {
        ASSERT_EQ(c.points.size(), 1u);
        EXPECT_EQ(c.points[0].dateTime, 1000);
    }
    const MethodComponent& methane = s.components[0];
    EXPECT_DOUBLE_EQ(methane.points[0].amount, 5);
    EXPECT_DOUBLE_EQ(methane.points[0].area, 5);
    EXPECT_DOUBLE_EQ(methane.points[0].height, 10);
    EXPECT_DOUBLE_EQ(methane.points[0].retentionIndex, 500);
    EXPECT_TRUE(methane.reference);
    EXPECT_DOUBLE_EQ(methane.retentionTime, 1.0);
    EXPECT_DOUBLE_EQ(methane.retentionIndex, 500);
    EXPECT_DOUBLE_EQ(methane.k1, 1);                 // fitted: 5 / 5
    EXPECT_EQ(s.components[1].points[0].amount, 0);  // no peak: an empty point

    // A second chromatogram: a new level in every component; the means move.
    PeakTable second;
    second.peaks = {calibrationPeak("Метан", 1.2, 10, 30, 0, "520")};
    p.analysisTime = 2000;
    r = AddCalibrationPoint(m, second, p, &sink);
    EXPECT_EQ(r.level, 1);
    EXPECT_EQ(levelCount(s), 2u);
    EXPECT_NEAR(s.components[0].retentionTime, 1.1, 1e-12);
    EXPECT_NEAR(s.components[0].retentionIndex, 510, 1e-12);
    EXPECT_FALSE(s.components[0].reference);
    EXPECT_NEAR(s.components[0].k1, 1.25, 1e-12);  // mean of 1 and 1.5

    // The same chromatogram again: the message once, its level overwritten.
    second.peaks[0].concentration = 40;
    r = AddCalibrationPoint(m, second, p, &sink);
    EXPECT_TRUE(r.reused);
    EXPECT_EQ(r.level, 1);
    EXPECT_EQ(levelCount(s), 2u);
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].text, kCalibrationReusedMessage);
    EXPECT_DOUBLE_EQ(s.components[0].points[1].amount, 20);

    // A component added later gets the existing levels, empty, with their dates.
    MethodComponent& later = findOrAddComponent(m.calculation, "Бутан");
    ASSERT_EQ(later.points.size(), 2u);
    EXPECT_EQ(later.points[1].dateTime, 2000);
    EXPECT_EQ(later.points[1].area, 0);
    EXPECT_EQ(&findOrAddComponent(m.calculation, "бутан"), &m.calculation.components.back());

    // An empty level (the dialog's "+") is appended even with date 0.
    EXPECT_EQ(AddLevel(m.calculation, 0), 2);
    EXPECT_EQ(AddLevel(m.calculation, 0), 3);
    EXPECT_EQ(findLevel(m.calculation, 2000), 1);
    EXPECT_TRUE(DeleteLevel(m.calculation, 0));
    EXPECT_FALSE(DeleteLevel(m.calculation, 3));
    EXPECT_EQ(levelCount(s), 3u);
    EXPECT_EQ(s.components[3].points[0].dateTime, 2000);
    DeleteAllLevels(m.calculation);
    for (const MethodComponent& c : s.components)
        EXPECT_TRUE(c.points.empty());

    // Internal standard: the amount is the concentration itself.
    Method is;
    is.calculation.kind = kInternalStandardClassic;
    PeakTable t;
    t.peaks = {calibrationPeak("A", 1, 1, 7)};
    AddCalibrationPoint(is, t, p, nullptr);
    EXPECT_DOUBLE_EQ(is.calculation.components[0].points[0].amount, 7);
    // A zero dilution gives no amount rather than an infinite one.
    Method zero;
    p.standardAmount = 0;
    AddCalibrationPoint(zero, t, p, nullptr);
    EXPECT_EQ(zero.calculation.components[0].points[0].amount, 0);
}

TEST(Calibration, ComponentsFromPeaksAndWhatTheDialogShows) {
    Method m;
    m.calculation.components = {withLevels("A", {level(1, 1, 5)})};
    PeakTable t;
    t.peaks = {calibrationPeak("a", 2.5, 1, 0, 1, "650.5"), calibrationPeak("B", 3.5, 1, 0),
               calibrationPeak("", 4.5, 1, 0)};
    EXPECT_EQ(AddComponentsFromPeaks(m, t), 1);
    ASSERT_EQ(m.calculation.components.size(), 2u);
    EXPECT_EQ(m.calculation.components[0].retentionTime, 2.5);
    EXPECT_TRUE(m.calculation.components[0].reference);
    EXPECT_EQ(m.calculation.components[0].retentionIndex, 650.5);
    EXPECT_EQ(m.calculation.components[1].retentionIndex, 0);  // no "Индекс" property
    EXPECT_EQ(m.calculation.components[1].points.size(), 1u);

    EXPECT_EQ(formatCoefficient(2.5), "2.500000");
    EXPECT_EQ(formatCoefficient(0.0001), "0.000100");
    EXPECT_EQ(formatCoefficient(0.00001234), "1.23e-05");
    EXPECT_EQ(formatCoefficient(0), "0");
    EXPECT_TRUE(coefficientUsed(1, 0));
    EXPECT_FALSE(coefficientUsed(2, 0));
    EXPECT_FALSE(coefficientUsed(1, 2));
    EXPECT_TRUE(coefficientUsed(8, 2));
    EXPECT_FALSE(coefficientUsed(9, 3));
    EXPECT_TRUE(coefficientUsed(16, 3));
    // "Вручную" on a quadratic through zero keeps k1 and k2 only.
    MethodComponent manual;
    manual.curveType = 2;
    manual.k0 = 1, manual.k1 = 2, manual.k2 = 3, manual.k3 = 4;
    keepUsedCoefficients(manual);
    EXPECT_EQ(manual.k0, 0);
    EXPECT_EQ(manual.k1, 2);
    EXPECT_EQ(manual.k2, 3);
    EXPECT_EQ(manual.k3, 0);

    CalculationSettings s;
    s.kind = kInternalStandardClassic;
    s.response = 1;
    s.standard = "S";
    s.components = {withLevels("A", {level(6, 2), level(8, 0)}),
                    withLevels("S", {level(4, 2), level(1, 1)})};
    EXPECT_DOUBLE_EQ(shownLevelCoefficient(s, s.components[0], 0), 1.5);  // 3 / 2
    EXPECT_EQ(shownLevelCoefficient(s, s.components[0], 1), 0);
    s.kind = kExternalStandard;
    EXPECT_DOUBLE_EQ(shownLevelCoefficient(s, s.components[1], 0), 2);  // the standard itself
    s.kind = kAbsoluteClassic;
    EXPECT_DOUBLE_EQ(shownLevelCoefficient(s, s.components[0], 0), 3);

    MethodComponent c = withLevels("A", {level(6, 2), level(8, 4)});
    c.k1 = 2;
    c.standardFactor = 3;
    const auto curve = calibrationCurveSamples(s, c);
    ASSERT_EQ(curve.size(), 50u);
    EXPECT_DOUBLE_EQ(curve[0].first, 4.0 / 50);
    EXPECT_NEAR(curve[49].first, 4.0 / 50 + 1.05 * 4.0, 1e-12);
    EXPECT_DOUBLE_EQ(curve[0].second, 2 * 4.0 / 50);
    s.kind = kNormalisationRelative;
    EXPECT_DOUBLE_EQ(calibrationCurveSamples(s, c)[0].second, 3 * 2 * 4.0 / 50);
    EXPECT_TRUE(calibrationCurveSamples(s, withLevels("E", {level(1, 0)})).empty());
}

}  // namespace
}  // namespace zelmora
