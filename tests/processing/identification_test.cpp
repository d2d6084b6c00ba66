#include "processing/identification.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelmora {
namespace {

Peak peak(double apex, double height = 1, double area = 1) {
    Peak p(apex - 0.05, apex + 0.05);
    p.apexTime = apex;
    p.height = height;
    p.area = area;
    return p;
}

MethodComponent component(const std::string& name, double time, double window,
                          bool reference = false, double index = 100) {
    MethodComponent c;
    c.name = name;
    c.retentionTime = time;
    c.window = window;
    c.reference = reference;
    c.retentionIndex = index;
    return c;
}

PeakTable table(std::initializer_list<Peak> peaks) {
    PeakTable t;
    t.peaks = peaks;
    t.renumber();
    return t;
}

std::string indexText(const Peak& p) {
    const std::string* v = findProperty(p.properties, kRetentionIndexKey);
    return v != nullptr ? *v : "<none>";
}

TEST(Identification, EachReferenceRulePicksItsPeak) {
    // A (highest), B (largest area) and C (nearest) all lie in the window
    // 2.08 +- 0.208; D is fourth in the list.
    const PeakTable base =
        table({peak(1.95, 5, 2), peak(2.0, 3, 6), peak(2.1, 4, 1), peak(3.0, 1, 1)});
    CalculationSettings s;
    s.components = {component("X", 9, 1), component("Y", 9, 1), component("Z", 9, 1),
                    component("Репер", 2.08, 10, true)};
    const int expected[] = {0, 1, 2, 3};
    for (int rule = 0; rule <= 3; ++rule) {
        PeakTable t = base;
        s.referenceIdentification = rule;
        IdentifyByTime(t, s);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(t.peaks[i].componentName, i == expected[rule] ? "Репер" : "") << rule;
            EXPECT_EQ(t.peaks[i].isReference, i == expected[rule] ? 1 : 0) << rule;
        }
    }
    // "Номеру" with fewer peaks than the component's position: not found.
    PeakTable three = table({peak(1.95), peak(2.0), peak(2.1)});
    s.referenceIdentification = kReferenceByNumber;
    EXPECT_DOUBLE_EQ(IdentifyByTime(three, s), 1.0);
    for (const Peak& p : three.peaks)
        EXPECT_FALSE(p.identified());

    // Equal heights: the first in list order wins.
    PeakTable tie = table({peak(2.0, 4), peak(2.1, 4)});
    s.referenceIdentification = kReferenceByHeight;
    IdentifyByTime(tie, s);
    EXPECT_EQ(tie.peaks[0].componentName, "Репер");
    EXPECT_FALSE(tie.peaks[1].identified());
}

TEST(Identification, ReferencesScaleTheOtherComponents) {
    // References found 10 % late with no dead time: f = 1.1, and the others
    // are looked for at 1.1 e inside 1.1 times their windows.
    PeakTable t = table({peak(2.2), peak(3.0), peak(3.3), peak(4.4)});
    CalculationSettings s;
    s.referenceIdentification = kReferenceByTime;
    s.components = {component("R1", 2.0, 15, true), component("C", 3.0, 2),
                    component("R2", 4.0, 15, true)};
    double f = 0;
    IdentifyPeaks(t, s, f);
    EXPECT_NEAR(f, 1.1, 1e-12);
    EXPECT_EQ(t.peaks[0].componentName, "R1");
    EXPECT_FALSE(t.peaks[1].identified());  // at the unscaled time
    EXPECT_EQ(t.peaks[2].componentName, "C");
    EXPECT_EQ(t.peaks[2].isReference, 0);
    EXPECT_EQ(t.peaks[3].componentName, "R2");

    // With a dead time the stretch applies to the time after it:
    // f = (2.6 - 1) / (2.5 - 1), and C (3.5) is expected at 1 + f * 2.5.
    s.deadTime = 1.0;
    s.components = {component("R", 2.5, 10, true), component("C", 3.5, 1)};
    const double fd = 1.6 / 1.5;
    PeakTable d = table({peak(2.6), peak(3.5), peak(1 + fd * 2.5)});
    IdentifyPeaks(d, s, f);
    EXPECT_NEAR(f, fd, 1e-12);
    EXPECT_FALSE(d.peaks[1].identified());
    EXPECT_EQ(d.peaks[2].componentName, "C");

    // References all expected at the dead time: the divisor is 0, f stays 1.
    s.components = {component("R", 1.0, 10, true), component("C", 3.0, 1)};
    PeakTable z = table({peak(1.05), peak(3.0)});
    f = 7;
    IdentifyPeaks(z, s, f);
    EXPECT_DOUBLE_EQ(f, 1.0);
    EXPECT_EQ(z.peaks[0].componentName, "R");
    EXPECT_EQ(z.peaks[1].componentName, "C");

    // A peak named by one reference is not claimed by a second one, and
    // the sums count it once.
    s.deadTime = 0;
    s.components = {component("R1", 2.0, 20, true), component("R2", 2.1, 20, true)};
    PeakTable one = table({peak(2.2)});
    IdentifyPeaks(one, s, f);
    EXPECT_EQ(one.peaks[0].componentName, "R1");
    EXPECT_NEAR(f, 1.1, 1e-12);
}

TEST(Identification, WindowsAndAlreadyNamedPeaks) {
    CalculationSettings s;
    s.components = {component("A", 5.0, 4), component("B", 5.3, 4), component("C", 4.96, 1)};
    // Both peaks lie in A's window (5 +- 0.2): the nearer is A; B's window
    // (5.3 +- 0.212) takes the other; C's window holds only A's peak.
    PeakTable t = table({peak(4.95), peak(5.15)});
    setProperty(t.peaks[0].properties, "x", "y");
    t.peaks[1].isReference = 1;  // a stale mark is rewritten when named
    IdentifyByTime(t, s);
    EXPECT_EQ(t.peaks[0].componentName, "A");
    EXPECT_EQ(t.peaks[1].componentName, "B");
    EXPECT_EQ(t.peaks[1].isReference, 0);

    s.components = {component("A", 5.0, 4), component("C", 5.0, 1)};
    PeakTable u = table({peak(4.95), peak(5.15)});
    u.peaks[1].componentName = "old";
    u.peaks[1].isReference = 1;
    IdentifyByTime(u, s);
    EXPECT_EQ(u.peaks[0].componentName, "A");
    EXPECT_FALSE(u.peaks[1].identified());  // the name is cleared, nothing else fits
    EXPECT_EQ(u.peaks[1].isReference, 1);   // an unidentified peak keeps its mark

    // Window 0: only the exact time.
    s.components = {component("E", 2.5, 0)};
    PeakTable w = table({peak(2.5000001), peak(2.5)});
    IdentifyByTime(w, s);
    EXPECT_FALSE(w.peaks[0].identified());
    EXPECT_EQ(w.peaks[1].componentName, "E");
}

TEST(Identification, LinearAndLogarithmicIndices) {
    CalculationSettings s;
    s.components = {component("R5", 2.0, 5, true, 500), component("R6", 4.0, 5, true, 600),
                    component("K", 9.0, 5, false, 560), component("L", 9.0, 5, false, 552)};
    const PeakTable base = table({peak(1.0), peak(2.0), peak(3.0), peak(4.0), peak(5.0)});

    s.identification = kIdentifyByLinearIndex;
    PeakTable lin = base;
    double f = 3;
    IdentifyPeaks(lin, s, f);
    EXPECT_DOUBLE_EQ(f, 3);  // the time factor belongs to identification by time
    EXPECT_EQ(indexText(lin.peaks[0]), kNoReferenceLeft);
    EXPECT_EQ(lin.peaks[0].retentionIndex, 0);
    EXPECT_EQ(lin.peaks[1].componentName, "R5");
    EXPECT_EQ(indexText(lin.peaks[1]), "500");
    EXPECT_DOUBLE_EQ(lin.peaks[2].retentionIndex, 550);
    EXPECT_EQ(indexText(lin.peaks[2]), "550.0");
    EXPECT_EQ(lin.peaks[2].componentName, "L");  // 550 is within 5 of L's 552, not K's 560
    EXPECT_EQ(indexText(lin.peaks[4]), kNoReferenceRight);

    s.identification = kIdentifyByLogarithmicIndex;
    s.deadTime = 1.0;
    PeakTable lg = base;
    IdentifyPeaks(lg, s, f);
    const double expected = 500 + 100 * std::log(2.0) / std::log(3.0);
    EXPECT_NEAR(lg.peaks[2].retentionIndex, expected, 1e-9);
    EXPECT_NEAR(expected, 563.09, 0.005);
    EXPECT_EQ(indexText(lg.peaks[2]), "563.1");
    EXPECT_EQ(lg.peaks[2].componentName, "K");
    // Identification clears the index of every peak first.
    EXPECT_EQ(lg.peaks[0].retentionIndex, 0);
    EXPECT_EQ(indexText(lg.peaks[0]), kNoReferenceLeft);

    // No reference at all.
    PeakTable none = table({peak(7.0)});
    IdentifyByIndex(none, s);
    EXPECT_EQ(indexText(none.peaks[0]), kNoReferenceBoth);
    EXPECT_FALSE(IndexWindowTimes(none, s, s.components[2]).has_value());

    // The windows drawn for index identification are the times whose index
    // falls within the component's window: K (560 +- 5) between the
    // references at 2 (500) and 4 minutes (600).
    s.identification = kIdentifyByLinearIndex;
    auto k = IndexWindowTimes(lin, s, s.components[2]);
    ASSERT_TRUE(k.has_value());
    EXPECT_NEAR(k->first, 3.1, 1e-12);
    EXPECT_NEAR(k->second, 3.3, 1e-12);
    // A window reaching past the last reference is cut there.
    MethodComponent wide = component("W", 9.0, 30, false, 580);
    auto w = IndexWindowTimes(lin, s, wide);
    ASSERT_TRUE(w.has_value());
    EXPECT_NEAR(w->first, 3.0, 1e-12);
    EXPECT_NEAR(w->second, 4.0, 1e-12);
    s.identification = kIdentifyByLogarithmicIndex;
    k = IndexWindowTimes(lg, s, s.components[2]);
    ASSERT_TRUE(k.has_value());
    // Back through I = 500 + 100 ln(t - 1) / ln 3.
    EXPECT_NEAR(k->first, 1 + std::exp(0.55 * std::log(3.0)), 1e-9);
    EXPECT_NEAR(k->second, 1 + std::exp(0.65 * std::log(3.0)), 1e-9);
    EXPECT_LT(k->first, 3.0);  // the K peak at 3 minutes (563.1) lies inside
    EXPECT_GT(k->second, 3.0);
}

TEST(Identification, AReferenceIndexThatIsNoNumberGivesNoIndex) {
    CalculationSettings s;
    s.identification = kIdentifyByLinearIndex;
    s.components = {component("R5", 2.0, 5, true, std::nan("")), component("R6", 4.0, 5, true, 600),
                    component("K", 9.0, 5, false, 560)};
    PeakTable t = table({peak(2.0), peak(3.0), peak(4.0)});
    IdentifyByIndex(t, s);
    EXPECT_EQ(t.peaks[0].componentName, "R5");
    for (const Peak& p : t.peaks)
        EXPECT_FALSE(std::isnan(p.retentionIndex));
    EXPECT_EQ(t.peaks[1].retentionIndex, 0);
    EXPECT_FALSE(t.peaks[1].identified());
}

TEST(Identification, IndicesThatCannotBeInterpolated) {
    CalculationSettings s;
    s.identification = kIdentifyByLogarithmicIndex;
    // The left reference elutes before the dead time: ln has no value there,
    // so the index is 0 with a reason, never NaN.
    s.deadTime = 2.5;
    s.components = {component("A", 2.0, 5, true, 500), component("B", 4.0, 5, true, 600),
                    component("K", 9.0, 1000, false, 550)};
    PeakTable t = table({peak(2.0), peak(3.0), peak(4.0)});
    IdentifyByIndex(t, s);
    EXPECT_EQ(t.peaks[1].retentionIndex, 0);
    EXPECT_FALSE(std::isnan(t.peaks[1].retentionIndex));
    EXPECT_EQ(indexText(t.peaks[1]), kNotAfterDeadTime);
    EXPECT_FALSE(t.peaks[1].identified());  // an index of 0 matches no component

    // The reference expected right of the peak was not found; the next
    // reference peak belongs to another component.
    s.deadTime = 0;
    s.identification = kIdentifyByLinearIndex;
    s.components = {component("A", 2.0, 5, true, 500), component("B", 4.0, 5, true, 600),
                    component("C", 6.0, 5, true, 700)};
    PeakTable m = table({peak(2.0), peak(3.0), peak(6.0)});
    IdentifyByIndex(m, s);
    EXPECT_EQ(indexText(m.peaks[1]), "справа репер не B");
    EXPECT_EQ(m.peaks[1].retentionIndex, 0);
    PeakTable m2 = table({peak(1.0), peak(3.0), peak(4.0)});
    s.components = {component("Z", 1.0, 5, true, 400), component("A", 2.0, 5, true, 500),
                    component("B", 4.0, 5, true, 600)};
    IdentifyByIndex(m2, s);
    EXPECT_EQ(indexText(m2.peaks[1]), "слева репер не A");
    PeakTable m3 = table({peak(1.0), peak(3.0), peak(6.0)});
    s.components = {component("Z", 1.0, 5, true, 400), component("A", 2.0, 5, true, 500),
                    component("B", 4.0, 5, true, 600), component("C", 6.0, 5, true, 700)};
    IdentifyByIndex(m3, s);
    EXPECT_EQ(indexText(m3.peaks[1]), "слева репер не A, а справа не B");
}

}  // namespace
}  // namespace zelmora
