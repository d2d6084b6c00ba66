#include "processing/peak_integration.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/synthetic.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

// A trace sampled every 0.1 min from t = 0 with a function of time.
template <class F>
Signal sampled(int n, F f) {
    Signal s;
    s.dt = 0.1;
    for (int i = 0; i < n; ++i)
        s.samples.push_back(static_cast<float>(f(i * 0.1)));
    return s;
}

double tent(double t, double centre, double halfWidth, double height) {
    return std::max(0.0, height * (1 - std::fabs(t - centre) / halfWidth));
}

Peak linked(double a, double b, int prev, int next) {
    Peak p(a, b);
    p.prevInGroup = prev;
    p.nextInGroup = next;
    return p;
}

void expectMutualLinks(const PeakTable& t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        const Peak& p = t.peaks[i];
        EXPECT_EQ(p.ownIndex, static_cast<int>(i));
        if (p.nextInGroup >= 0) {
            ASSERT_LT(p.nextInGroup, static_cast<int>(t.size()));
            EXPECT_EQ(t.peaks[p.nextInGroup].prevInGroup, static_cast<int>(i));
        }
        if (p.prevInGroup >= 0) {
            ASSERT_LT(p.prevInGroup, static_cast<int>(t.size()));
            EXPECT_EQ(t.peaks[p.prevInGroup].nextInGroup, static_cast<int>(i));
        }
    }
}

TEST(PeakIntegration, IsolatedPeakOnASlopeIsMeasuredAgainstItsChord) {
    // Baseline 1 + 0.5 t, a tent of height 4 centred at 5 min, 1 min half width.
    const Signal s = sampled(101, [](double t) { return 1 + 0.5 * t + tent(t, 5, 1, 4); });
    PeakTable table;
    table.attach(&s);
    ASSERT_TRUE(AddPeak(table, 6.5, 3.5, false, 0));  // times given in either order
    const Peak& p = table.peaks[0];
    EXPECT_DOUBLE_EQ(p.startTime, 3.5);
    EXPECT_DOUBLE_EQ(p.endTime, 6.5);
    EXPECT_NEAR(p.baselineAtStart, 1 + 0.5 * 3.5, 1e-5);
    EXPECT_NEAR(p.baselineAtEnd, 1 + 0.5 * 6.5, 1e-5);
    EXPECT_NEAR(p.apexTime, 5, 1e-9);
    EXPECT_NEAR(p.height, 4, 1e-5);
    EXPECT_NEAR(p.area, 4.0, 1e-4);  // the tent's area: 4 * 1
    EXPECT_DOUBLE_EQ(p.concentration, 0);

    // A bound between samples: the partial intervals use interpolated values.
    // The second peak lies inside the first, which loses its area.
    ASSERT_TRUE(AddPeak(table, 3.55, 6.45, true, 0));
    double innerArea = 0, outerArea = 0;
    for (const Peak& q : table.peaks)
        (q.startTime == 3.55 ? innerArea : outerArea) = q.area;
    EXPECT_NEAR(innerArea, 4.0, 1e-4);  // the whole tent lies in both ranges
    EXPECT_NEAR(outerArea, 0.0, 1e-4);
    EXPECT_NEAR(innerArea + outerArea, 4.0, 1e-4);

    // A negative hump has a positive height and a negative area.
    const Signal dip = sampled(101, [](double t) { return 2 - tent(t, 5, 1, 3); });
    PeakTable neg;
    neg.attach(&dip);
    AddPeak(neg, 3, 7, false, 0);
    EXPECT_NEAR(neg.peaks[0].height, 3, 1e-5);
    EXPECT_NEAR(neg.peaks[0].area, -3, 1e-4);

    // A range between two samples and a trace without samples.
    AddPeak(table, 5.01, 5.02, true, 0);
    for (const Peak& q : table.peaks)
        EXPECT_TRUE(std::isfinite(q.area) && q.height >= 0);
    const Signal empty;
    PeakTable none;
    none.attach(&empty);
    EXPECT_TRUE(AddPeak(none, 1, 2, false, 0));
    EXPECT_EQ(none.peaks[0].area, 0);
    EXPECT_FALSE(AddPeak(none, std::nan(""), 2, false, 0));
    EXPECT_EQ(none.size(), 1u);
    EXPECT_EQ(MaxPeakHeight(PeakTable{}), -DBL_MAX);
}

TEST(PeakIntegration, APeakBetweenTwoSamplesKeepsTheSignOfItsHeight) {
    // A chain over a flat signal at 5 mV with a dip to 1 mV at samples 10 and
    // 11; its middle peak lies between those samples and so holds none. Its
    // height is the signal between its ends less the chain's baseline (5 mV
    // at both ends of the chain): 1 - 5 = -4, negative as the dip is.
    const Signal s = sampled(30, [](double t) { return t > 0.95 && t < 1.15 ? 1.0 : 5.0; });
    PeakTable table;
    table.attach(&s);
    table.peaks = {linked(0.2, 1.02, -1, 1), linked(1.02, 1.08, 0, 2), linked(1.08, 2.0, 1, -1)};
    table.renumber();
    RecalculatePeaks(table);
    const Peak& middle = table.peaks[1];
    EXPECT_DOUBLE_EQ(middle.baselineAtStart, 5);
    EXPECT_DOUBLE_EQ(middle.baselineAtEnd, 5);
    EXPECT_NEAR(middle.apexTime, 1.05, 1e-12);
    EXPECT_NEAR(middle.height, -4, 1e-12);
}

TEST(PeakIntegration, RidersAreTakenOffTheSmallestEnclosingPeakOnce) {
    const Signal s = sampled(
        201, [](double t) { return tent(t, 10, 5, 10) + tent(t, 8, 1, 2) + tent(t, 8, 0.3, 1); });
    PeakTable table;
    table.attach(&s);
    table.peaks = {Peak(5, 15), Peak(7, 9), Peak(7.7, 8.3), Peak(12, 13), Peak(12, 13)};
    table.renumber();
    RecalculatePeaks(table);
    std::vector<double> own;
    for (const Peak& p : table.peaks) {
        Peak copy = p;
        MeasurePeak(table, copy);
        own.push_back(copy.area);
    }
    EXPECT_NEAR(table.peaks[2].area, own[2], 1e-12);
    EXPECT_NEAR(table.peaks[1].area, own[1] - own[2], 1e-12);  // only its direct rider
    // The outer peak loses the middle one and both identical ones, not the innermost.
    EXPECT_NEAR(table.peaks[0].area, own[0] - own[1] - own[3] - own[4], 1e-12);
    // Identical ranges do not take each other's area.
    EXPECT_NEAR(table.peaks[3].area, own[3], 1e-12);
    EXPECT_NEAR(table.peaks[4].area, own[4], 1e-12);
    // The areas still add up to the outer peak's own area.
    EXPECT_NEAR(table.peaks[0].area + table.peaks[1].area + table.peaks[2].area +
                    table.peaks[3].area + table.peaks[4].area,
                own[0], 1e-9);
}

TEST(PeakIntegration, ChainsShareOneBaselineAndSurviveDeletions) {
    const Signal s = sampled(301, [](double t) {
        return 1 + 0.2 * t + tent(t, 10, 3, 5) + tent(t, 14, 3, 6) + tent(t, 18, 3, 4);
    });
    PeakTable table;
    table.attach(&s);
    table.peaks = {linked(7, 12, -1, 1), linked(12, 16, 0, 2), linked(16, 21, 1, -1)};
    table.renumber();
    NormalizePeaks(table);
    const double y7 = s.samples[70], y21 = s.samples[210];
    for (const Peak& p : table.peaks) {
        EXPECT_NEAR(p.baselineAtStart, y7 + (p.startTime - 7) * (y21 - y7) / 14, 1e-5);
        EXPECT_NEAR(p.baselineAtEnd, y7 + (p.endTime - 7) * (y21 - y7) / 14, 1e-5);
    }
    expectMutualLinks(table);

    // Deleting the middle peak: the left one takes the gap, the chain stays.
    PeakTable mid = table;
    mid.attach(&s);
    ASSERT_TRUE(DeletePeak(mid, 1, true, false));
    ASSERT_EQ(mid.size(), 2u);
    EXPECT_DOUBLE_EQ(mid.peaks[0].endTime, 16);
    EXPECT_EQ(mid.peaks[0].nextInGroup, 1);
    EXPECT_EQ(mid.peaks[1].prevInGroup, 0);
    expectMutualLinks(mid);

    // Deleting a chain end: the neighbour takes its range, unless told not to.
    PeakTable end = table;
    end.attach(&s);
    DeletePeak(end, 2, true, false);
    EXPECT_DOUBLE_EQ(end.peaks[1].endTime, 21);
    EXPECT_EQ(end.peaks[1].nextInGroup, -1);
    PeakTable kept = table;
    kept.attach(&s);
    DeletePeak(kept, 0, true, true);
    EXPECT_DOUBLE_EQ(kept.peaks[0].startTime, 12);
    EXPECT_EQ(kept.peaks[0].prevInGroup, -1);
    expectMutualLinks(kept);
    EXPECT_FALSE(DeletePeak(kept, 5, true, false));
    EXPECT_FALSE(DeletePeak(kept, -1, true, false));

    // Bounds of a chained peak move with its neighbours, within their ranges.
    PeakTable b = table;
    b.attach(&s);
    EXPECT_FALSE(SetPeakBounds(b, 1, 15, 13));
    EXPECT_FALSE(SetPeakBounds(b, 1, 6, 16));   // before the left neighbour's start
    EXPECT_FALSE(SetPeakBounds(b, 1, 12, 22));  // past the right neighbour's end
    EXPECT_FALSE(SetPeakBounds(b, 7, 12, 13));
    ASSERT_TRUE(SetPeakBounds(b, 1, 12.5, 15.5));
    EXPECT_DOUBLE_EQ(b.peaks[0].endTime, 12.5);
    EXPECT_DOUBLE_EQ(b.peaks[2].startTime, 15.5);
}

TEST(PeakIntegration, AdjacentPeaksKeepEveryLinkMutual) {
    const Signal s = sampled(301, [](double t) { return tent(t, 10, 3, 5) + tent(t, 14, 2, 3); });
    PeakTable table;
    table.attach(&s);
    AddPeak(table, 7, 12, true, 0);
    EXPECT_FALSE(AddAdjacentPeak(table, 0, 11, kAdjacentRight));  // before its end
    EXPECT_FALSE(AddAdjacentPeak(table, 0, 8, kAdjacentLeft));    // after its start
    EXPECT_FALSE(AddAdjacentPeak(table, 3, 20, kAdjacentRight));
    EXPECT_FALSE(AddAdjacentPeak(table, 0, 20, 3));
    EXPECT_EQ(table.size(), 1u);
    ASSERT_TRUE(AddAdjacentPeak(table, 0, 16, kAdjacentRight));
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table.peaks[0].nextInGroup, 1);
    EXPECT_EQ(table.peaks[1].prevInGroup, 0);
    EXPECT_DOUBLE_EQ(table.peaks[1].startTime, 12);
    // One baseline from 7 to 16 under both.
    EXPECT_NEAR(table.peaks[0].baselineAtEnd, table.peaks[1].baselineAtStart, 1e-12);

    // Adding again on the right of the first peak replaces its neighbour; the
    // displaced one keeps no link back.
    ASSERT_TRUE(AddAdjacentPeak(table, 0, 13, kAdjacentRight));
    ASSERT_EQ(table.size(), 3u);
    expectMutualLinks(table);
    ASSERT_TRUE(AddAdjacentPeak(table, 0, 5, kAdjacentLeft));
    expectMutualLinks(table);
    int chained = 0;
    for (const Peak& p : table.peaks)
        chained += p.prevInGroup >= 0 || p.nextInGroup >= 0;
    EXPECT_EQ(chained, 3);
}

TEST(PeakIntegration, RelinkingResolvesStaleLinksAndLeavesNoneDangling) {
    const Signal s = sampled(300, [](double t) { return tent(t, 10, 5, 5); });
    PeakTable table;
    table.attach(&s);
    // Former positions 0, 1, 2 in reverse order, as after a sort: 2 -> 1 -> 0.
    table.peaks = {linked(10, 12, 1, -1), linked(8, 10, 2, 0), linked(6, 8, -1, 1)};
    table.peaks[0].ownIndex = 2;
    table.peaks[1].ownIndex = 1;
    table.peaks[2].ownIndex = 0;
    // Written as if the list had been 0:(6,8) 1:(8,10) 2:(10,12).
    table.peaks[0].prevInGroup = 1;
    table.peaks[1].prevInGroup = 0;
    table.peaks[1].nextInGroup = 2;
    table.peaks[2].nextInGroup = 1;
    RelinkPeaks(table);
    EXPECT_EQ(table.peaks[2].nextInGroup, 1);
    EXPECT_EQ(table.peaks[1].nextInGroup, 0);
    EXPECT_EQ(table.peaks[0].prevInGroup, 1);
    expectMutualLinks(table);

    // Links to peaks that are gone, to itself, and a closed ring.
    table.peaks = {linked(1, 2, -1, 7), linked(2, 3, 1, -1), linked(3, 4, 3, 3),
                   linked(4, 5, 2, 2)};
    table.renumber();
    RelinkPeaks(table);
    EXPECT_EQ(table.peaks[0].nextInGroup, -1);
    EXPECT_EQ(table.peaks[1].prevInGroup, -1);
    expectMutualLinks(table);
    RecalculatePeaks(table);  // walks end
    EXPECT_TRUE(table.peaks[2].prevInGroup < 0 || table.peaks[3].prevInGroup < 0);
}

TEST(PeakIntegration, HitTests) {
    const Signal s = sampled(100, [](double) { return 0.0; });
    PeakTable table;
    table.attach(&s);
    table.peaks = {Peak(2, 4), Peak(5, 6)};
    EXPECT_TRUE(PeakOverlaps(table, 0, 3, 3.5));
    EXPECT_TRUE(PeakOverlaps(table, 0, 1, 2));
    EXPECT_TRUE(PeakOverlaps(table, 0, 1, 5));  // covers the whole peak
    EXPECT_FALSE(PeakOverlaps(table, 0, 4.1, 4.9));
    EXPECT_FALSE(PeakOverlaps(table, 2, 0, 10));
    EXPECT_EQ(BoundHandle(table, 0, 1.9, 2.1), 1);
    EXPECT_EQ(BoundHandle(table, 0, 3.9, 4.1), 2);
    EXPECT_EQ(BoundHandle(table, 0, 1.9, 4.1), 1);
    EXPECT_EQ(BoundHandle(table, 0, 3, 3.5), 0);
    EXPECT_EQ(PeakAtSample(table, 30), 0);
    EXPECT_EQ(PeakAtSample(table, 20), -1);  // the open range excludes the start
    EXPECT_EQ(PeakAtSample(table, 55), 1);
    EXPECT_EQ(PeakAtSample(table, 90), -1);
    table.peaks[1].height = 7;
    EXPECT_EQ(MaxPeakHeight(table), 7);
}

TEST(PeakIntegration, AnOpenedChromatogramIsIntegrated) {
    test::TempDir dir;
    SyntheticChromatogram spec;
    spec.samples = 2000;
    spec.dt = 0.01;
    spec.level = 3;
    spec.drift = 0.5;
    spec.peaks = {{5, 10, 0.2}, {12, 4, 0.3}};
    CZelmoraDoc doc;
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    doc.peaks.peaks = {Peak(3.5, 6.5), Peak(10, 14)};
    doc.peaks.peaks[0].componentName = "Метан";
    doc.peaks.renumber();
    SilentMessageSink sink;
    ASSERT_TRUE(doc.Write(dir / "a.stg", sink, false));

    CZelmoraDoc back;
    const Status read = back.Read(dir / "a.stg");
    ASSERT_TRUE(read) << read.message();
    ASSERT_EQ(back.peaks.size(), 2u);
    EXPECT_EQ(back.peaks.peaks[0].componentName, "Метан");
    EXPECT_NEAR(back.peaks.peaks[0].apexTime, 5, 0.011);
    EXPECT_NEAR(back.peaks.peaks[0].height, 10, 0.05);
    EXPECT_NEAR(back.peaks.peaks[0].area, spec.peaks[0].area(), 0.005 * spec.peaks[0].area());
    EXPECT_NEAR(back.peaks.peaks[1].area, spec.peaks[1].area(), 0.005 * spec.peaks[1].area());
    EXPECT_NEAR(back.peaks.peaks[1].baselineAtStart, 3 + 0.5 * 10, 1e-3);
}

}  // namespace
}  // namespace zelmora
