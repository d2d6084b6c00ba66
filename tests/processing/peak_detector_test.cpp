#include "processing/peak_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "processing/peak_integration.h"
#include "processing/synthetic.h"
#include "reference_marking.h"

namespace zelmora {
namespace {

struct Params {
    double width = 0.04, maxCbd = 0, wdt = 0, maxRider = 0, maxWidth = 5, minHeight = 0.01,
           minArea = 0.01, start = 0;
};

void detect(PeakTable& t, const Params& p, std::vector<PeakEvent> events = {},
            unsigned threads = 0) {
    DetectionState s;
    s.width = p.width;
    s.maxCommonBaselineDistance = p.maxCbd;
    s.widthDoublingTime = p.wdt;
    s.maxRiderArea = p.maxRider;
    s.maxWidth = p.maxWidth;
    s.minHeight = p.minHeight;
    s.minArea = p.minArea;
    s.markingStart = p.start;
    PeakDetector d(t, std::move(events));
    d.DetectPeaks(s, threads);
}

PeakEvent event(int kind, double time, double value = 0) {
    return PeakEvent{kind, time, value, static_cast<std::uint8_t>(kind >= 4)};
}

SyntheticChromatogram spec(double minutes, double dt) {
    SyntheticChromatogram s;
    s.dt = dt;
    s.samples = static_cast<std::int64_t>(minutes / dt);
    s.level = 1;
    return s;
}

// The centred moving average over k samples that stands in for the
// smoothing filter run before marking; it keeps areas and symmetric apexes.
Signal smoothed(const Signal& s, int k) {
    Signal out = s;
    const int n = static_cast<int>(s.size()), h = k / 2;
    for (int i = 0; i < n; ++i) {
        double sum = 0;
        int count = 0;
        for (int j = std::max(0, i - h); j <= std::min(n - 1, i + h); ++j, ++count)
            sum += s.samples[j];
        out.samples[i] = static_cast<float>(sum / count);
    }
    return out;
}

const Peak* nearest(const PeakTable& t, double apex) {
    const Peak* best = nullptr;
    for (const Peak& p : t.peaks)
        if (!best || std::fabs(p.apexTime - apex) < std::fabs(best->apexTime - apex))
            best = &p;
    return best;
}

TEST(PeakDetector, ResolvedGaussiansAreFoundWithTheirAreas) {
    for (double drift : {0.0, 1.5}) {
        for (double noisePeakToPeak : {0.0, 0.1}) {
            SCOPED_TRACE(testing::Message() << "drift " << drift << " noise " << noisePeakToPeak);
            SyntheticChromatogram s = spec(20, 0.002);
            s.drift = drift;
            // Height / peak-to-peak noise = 100 for the noisy run; the noise's
            // standard deviation is found from the peak-to-peak it gives.
            s.noise = noisePeakToPeak / 7.8;
            s.seed = 11;
            s.peaks = evenlySpacedPeaks(s, 10, 10.0, 0.01);
            if (s.noise > 0) {
                SyntheticChromatogram noiseOnly = s;
                noiseOnly.peaks.clear();
                noiseOnly.drift = 0;
                const Signal n = makeSyntheticSignal(noiseOnly);
                const auto [lo, hi] = std::minmax_element(n.samples.begin(), n.samples.end());
                EXPECT_NEAR(10.0 / (*hi - *lo), 100, 15);
            }
            const Signal raw = makeSyntheticSignal(s);
            const Signal sig = s.noise > 0 ? smoothed(raw, 15) : raw;
            PeakTable t;
            t.attach(&sig);
            Params p;
            p.minHeight = 1;
            p.minArea = 0.05;
            detect(t, p);
            ASSERT_EQ(t.size(), s.peaks.size());
            for (const SyntheticPeak& truth : s.peaks) {
                const Peak* found = nearest(t, truth.apexTime);
                EXPECT_LE(std::fabs(found->apexTime - truth.apexTime), s.dt + 1e-9);
                EXPECT_NEAR(found->area, truth.area(), 0.005 * truth.area());
                if (s.noise == 0) {
                    EXPECT_NEAR(found->height, truth.height, 1e-3 * truth.height);
                }
                EXPECT_EQ(found->prevInGroup, -1);
                EXPECT_EQ(found->nextInGroup, -1);
            }
            for (std::size_t k = 0; k + 1 < t.size(); ++k)
                EXPECT_LT(t.peaks[k].apexTime, t.peaks[k + 1].apexTime);
        }
    }
}

TEST(PeakDetector, OverlappingPeaksShareABaselineAndSplitAtTheValley) {
    SyntheticChromatogram s = spec(10, 0.001);
    s.drift = 0.3;
    s.peaks = {{5.0, 8, 0.015}, {5.06, 6, 0.015}};
    const Signal sig = makeSyntheticSignal(s);
    PeakTable t;
    t.attach(&sig);
    Params p;
    p.maxCbd = 0.2;
    detect(t, p);
    ASSERT_EQ(t.size(), 2u);
    const Peak &a = t.peaks[0], &b = t.peaks[1];
    EXPECT_EQ(a.nextInGroup, 1);
    EXPECT_EQ(b.prevInGroup, 0);
    EXPECT_TRUE(b.flags & Peak::kCommonBaseline);
    EXPECT_DOUBLE_EQ(a.endTime, b.startTime);
    EXPECT_NEAR(a.baselineAtEnd, b.baselineAtStart, 1e-12);
    // The border is the lowest sample between the apexes.
    std::size_t valley = 5000;
    for (std::size_t j = 5000; j <= 5060; ++j)
        if (sig.samples[j] < sig.samples[valley])
            valley = j;
    EXPECT_NEAR(a.endTime, valley * s.dt, 1e-9);
    EXPECT_NEAR(a.area + b.area, s.peaks[0].area() + s.peaks[1].area(),
                0.01 * (s.peaks[0].area() + s.peaks[1].area()));
    EXPECT_GT(a.area, b.area);

    // Without a common-baseline distance each keeps its own baseline.
    PeakTable apart;
    apart.attach(&sig);
    detect(apart, Params{});
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_EQ(apart.peaks[0].nextInGroup, -1);
    EXPECT_FALSE(apart.peaks[1].flags & Peak::kCommonBaseline);

    // Two resolved peaks flagged for a common baseline: the signal between them
    // dips below the group's chord, so the group is split.
    SyntheticChromatogram r = spec(10, 0.001);
    r.noise = 0.002;
    r.peaks = {{4, 8, 0.02}, {4.5, 6, 0.02}};
    const Signal resolved = makeSyntheticSignal(r);
    PeakTable split;
    split.attach(&resolved);
    Params q;
    q.maxCbd = 1;
    q.minArea = 0.05;
    detect(split, q);
    ASSERT_EQ(split.size(), 2u);
    EXPECT_TRUE(split.peaks[1].flags & Peak::kCommonBaseline);
    EXPECT_EQ(split.peaks[0].nextInGroup, -1);
    EXPECT_EQ(split.peaks[1].prevInGroup, -1);
    EXPECT_NEAR(split.peaks[0].area, r.peaks[0].area(), 0.02 * r.peaks[0].area());
}

TEST(PeakDetector, ASmallPeakOnAFlankIsARider) {
    SyntheticChromatogram s = spec(10, 0.001);
    s.peaks = {{5.0, 10, 0.1}, {5.15, 0.6, 0.006}};
    const Signal sig = makeSyntheticSignal(s);
    PeakTable t;
    t.attach(&sig);
    Params p;
    p.width = 0.02;
    p.minArea = 0.001;
    p.maxRider = 0.05;
    p.maxCbd = 0.5;  // riders never join a chain
    detect(t, p);
    ASSERT_EQ(t.size(), 2u);
    const Peak& big = t.peaks[0];
    const Peak& rider = t.peaks[1];
    EXPECT_TRUE(rider.flags & Peak::kRider);
    EXPECT_FALSE(big.flags & Peak::kRider);
    EXPECT_NEAR(rider.apexTime, 5.15, 0.002);
    EXPECT_GE(rider.startTime, big.startTime);
    EXPECT_LE(rider.endTime, big.endTime);
    EXPECT_EQ(big.nextInGroup, -1);
    EXPECT_EQ(rider.prevInGroup, -1);
    Peak bigAlone = big;
    MeasurePeak(t, bigAlone);
    EXPECT_NEAR(big.area, bigAlone.area - rider.area, 1e-12);
    EXPECT_NEAR(big.area, s.peaks[0].area(), 0.01 * s.peaks[0].area());
    EXPECT_NEAR(rider.area, s.peaks[1].area(), 0.25 * s.peaks[1].area());

    // With the default maximum rider area of 0 nothing is a rider.
    PeakTable plain;
    plain.attach(&sig);
    p.maxRider = 0;
    detect(plain, p);
    for (const Peak& q : plain.peaks)
        EXPECT_FALSE(q.flags & Peak::kRider);
}

TEST(PeakDetector, DegenerateTracesGiveNoPeaks) {
    const auto count = [](Signal sig, Params p) {
        PeakTable t;
        t.attach(&sig);
        detect(t, p);
        return t.size();
    };
    Signal two;
    two.samples = {0, 5};
    EXPECT_EQ(count(two, Params{}), 0u);
    EXPECT_EQ(count(Signal{}, Params{}), 0u);
    SyntheticChromatogram s = spec(10, 0.01);
    s.peaks = {{5, 10, 0.05}};
    const Signal hump = makeSyntheticSignal(s);
    EXPECT_EQ(count(hump, Params{}), 1u);
    Params narrow;
    narrow.width = 0.015;  // below two steps: h = 0
    EXPECT_EQ(count(hump, narrow), 0u);
    Params late;
    late.start = 11;
    EXPECT_EQ(count(hump, late), 0u);
    Params early;
    early.start = -100;
    EXPECT_EQ(count(hump, early), 1u);
    Signal noBase = hump;
    noBase.dt = 0;
    EXPECT_EQ(count(noBase, Params{}), 0u);
    s.peaks = {};
    s.drift = 0.7;
    EXPECT_EQ(count(makeSyntheticSignal(s), Params{}), 0u);  // straight line
    s.drift = 0;
    s.peaks = {{5, -10, 0.05}};
    Params broad;
    broad.width = 0.5;                                    // the window spans the whole dip
    EXPECT_EQ(count(makeSyntheticSignal(s), broad), 0u);  // negative hump
    Params wide;
    wide.maxWidth = 0.05;  // the hump needs more room than that
    s.peaks = {{5, 10, 0.05}};
    EXPECT_EQ(count(makeSyntheticSignal(s), wide), 0u);
}

TEST(PeakDetector, CloseHumpsKeepTheLargerOne) {
    SyntheticChromatogram s = spec(10, 0.001);
    s.peaks = {{5.0, 3, 0.004}, {5.025, 8, 0.004}};
    const Signal sig = makeSyntheticSignal(s);
    PeakTable t;
    t.attach(&sig);
    Params p;
    p.width = 0.01;  // w = 10 samples: the humps are 25 samples apart
    detect(t, p);
    ASSERT_EQ(t.size(), 2u);
    p.width = 0.04;  // w*dt = 0.04 > 0.025
    detect(t, p);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NEAR(t.peaks[0].apexTime, 5.025, 0.002);
}

TEST(PeakDetector, EventsChangeTheMarkingFromTheirTimeOn) {
    SyntheticChromatogram s = spec(20, 0.002);
    s.peaks = {{2, 10, 0.02},     {4, 10, 0.02},    {6, 2, 0.02},     {8, 2, 0.02},
               {10, 10, 0.02},    {10.3, 10, 0.02}, {10.6, 10, 0.02}, {14, 8, 0.015},
               {14.07, 6, 0.015}, {17, 8, 0.015},   {17.07, 6, 0.015}};
    const Signal sig = makeSyntheticSignal(s);
    PeakTable base;
    base.attach(&sig);
    detect(base, Params{});
    ASSERT_EQ(base.size(), 11u);
    const auto run = [&](std::vector<PeakEvent> ev, Params p = {}) {
        PeakTable t;
        t.attach(&sig);
        detect(t, p, std::move(ev));
        return t;
    };
    const auto has = [](const PeakTable& t, double apex) {
        for (const Peak& p : t.peaks)
            if (std::fabs(p.apexTime - apex) < 0.01)
                return true;
        return false;
    };

    // Forbidden zone around 4 min; a zone never closed forbids the rest.
    PeakTable f = run({event(kForbidMarking, 3.5), event(kAllowMarking, 4.5)});
    EXPECT_EQ(f.size(), 10u);
    EXPECT_FALSE(has(f, 4));
    EXPECT_TRUE(has(f, 2) && has(f, 6));
    EXPECT_EQ(run({event(kForbidMarking, 9)}).size(), 4u);
    // A peak that starts inside the zone goes even when its window ends lie outside.
    PeakTable g = run({event(kForbidMarking, 3.95), event(kAllowMarking, 3.96)});
    EXPECT_FALSE(has(g, 4));

    // Merge zone over the three peaks at 10, 10.3 and 10.6.
    PeakTable m = run({event(kMergeBegin, 9.5), event(kMergeEnd, 11)});
    ASSERT_EQ(m.size(), 9u);
    const Peak* merged = nearest(m, 10.3);
    EXPECT_LT(merged->startTime, 9.95);
    EXPECT_GT(merged->endTime, 10.65);
    EXPECT_NEAR(merged->area, 3 * s.peaks[4].area(), 0.01 * 3 * s.peaks[4].area());

    // Minimum height and area from 5 min on drop the two small peaks.
    EXPECT_EQ(run({event(kSetMinHeight, 5, 5)}).size(), 9u);
    EXPECT_EQ(run({event(kSetMinHeight, 7, 5)}).size(), 10u);
    EXPECT_EQ(run({event(kSetMinArea, 5, 0.15)}).size(), 9u);

    // Maximum rider area from 5 min on: the small peaks become riders.
    PeakTable r = run({event(kSetMaxRiderArea, 5, 0.2)});
    EXPECT_TRUE(nearest(r, 6)->flags & Peak::kRider);
    EXPECT_FALSE(nearest(r, 4)->flags & Peak::kRider);

    // Common baselines only from 15 min on: the pair at 17 is chained, the
    // one at 14 not.
    PeakTable c = run({event(kSetMaxCommonBaselineDistance, 15, 0.2)});
    EXPECT_EQ(nearest(c, 14)->nextInGroup, -1);
    EXPECT_GE(nearest(c, 17)->nextInGroup, 0);
    EXPECT_DOUBLE_EQ(c.detection.maxCommonBaselineDistance, 0.2);

    // A wider window from 12 min on makes the pairs one peak each.
    PeakTable w = run({event(kSetWidth, 12, 0.2)});
    EXPECT_EQ(w.size(), 9u);
    EXPECT_DOUBLE_EQ(w.detection.width, 0.2);
    // So does doubling the width every 2 min from 12 min on.
    PeakTable d = run({event(kSetWidthDoublingTime, 12, 2)});
    EXPECT_EQ(d.size(), 9u);

    // The maximum width event is given in seconds.
    EXPECT_DOUBLE_EQ(run({event(kSetMaxWidth, 1, 30)}).detection.maxWidth, 0.5);
    // The method's minimum height is never kept below zero.
    Params neg;
    neg.minHeight = -3;
    EXPECT_EQ(run({}, neg).detection.minHeight, 0);
}

TEST(PeakDetector, AWidthEventOnASampleAppliesFromTheNextSample) {
    // Two humps 12 samples apart; the width event at exactly the time of a
    // sample makes them one peak only when it applies before the later hump.
    SyntheticChromatogram s = spec(10, 0.001);
    s.peaks = {{5.0, 3, 0.004}, {5.025, 8, 0.004}};
    const Signal sig = makeSyntheticSignal(s);
    PeakTable t;
    t.attach(&sig);
    Params p;
    p.width = 0.01;
    detect(t, p, {event(kSetWidth, 9.0, 0.04)});
    EXPECT_EQ(t.size(), 2u);
    detect(t, p, {event(kSetWidth, 1.0, 0.04)});
    EXPECT_EQ(t.size(), 1u);
    PeakDetector d(t, {event(kSetWidth, 0.004, 0.5)});
    t.detection.width = 0.01;
    t.detection.widthDoublingTime = 0;
    EXPECT_EQ(d.windowWidth(4), 10);
}

TEST(PeakDetector, MarkingZonesAsTheTimetableWalkSeesThem) {
    PeakTable t;
    PeakDetector d(t,
                   {event(kAllowMarking, 0.5), event(kForbidMarking, 2), event(kForbidMarking, 2.5),
                    event(kAllowMarking, 3), event(kForbidMarking, 8)});
    EXPECT_TRUE(d.IsMarkingAllowed(1, 1.5));
    EXPECT_FALSE(d.IsMarkingAllowed(1, 2.7));
    EXPECT_FALSE(d.IsMarkingAllowed(2.1, 4));
    EXPECT_TRUE(d.IsMarkingAllowed(2, 3));     // the ends of a zone are outside it
    EXPECT_TRUE(d.IsMarkingAllowed(1, 4));     // spanning a whole zone is allowed
    EXPECT_FALSE(d.IsMarkingAllowed(7, 8.5));  // the open zone
    EXPECT_TRUE(d.IsMarkingAllowed(7, 8));
}

// The marking's arithmetic is part of its definition: a chromatogram marked
// again must give the peaks its stored results were made with. The cases run
// through the method's marking record (single-precision numbers) as a
// chromatogram command does; what a case does not name keeps the method's
// default. Traces are float32(f(t)) at t = i*dt.
template <class F>
Signal traceOf(int n, double dt, F f) {
    Signal s;
    s.dt = dt;
    for (int i = 0; i < n; ++i)
        s.samples.push_back(static_cast<float>(f(i * dt)));
    return s;
}

double gaussian(double t, double area, double sigma, double apex) {
    const double z = (t - apex) / sigma;
    return area / (sigma * std::sqrt(2 * std::numbers::pi)) * std::exp(-0.5 * z * z);
}

// Start and end sample of every peak.
std::vector<std::pair<long long, long long>> sampleRanges(const PeakTable& t) {
    std::vector<std::pair<long long, long long>> out;
    const double dt = t.signal()->dt;
    for (const Peak& p : t.peaks)
        out.emplace_back(std::llround(p.startTime / dt), std::llround(p.endTime / dt));
    return out;
}

using Ranges = std::vector<std::pair<long long, long long>>;
const double kStep1200 = static_cast<float>(1.0 / 1200);  // 1200 samples a minute

TEST(PeakDetector, WindowAreasAreSummedInSinglePrecision) {
    // A noise-free peak on a sloping baseline: the widening compares areas
    // summed in single precision, whose rounding on the straight baseline
    // stops it. Areas from double sums keep growing by tiny amounts, carry
    // the window past the largest width and lose the peak.
    const Signal sloped = traceOf(
        600, kStep1200, [](double t) { return 0.5 + 0.02 * t + gaussian(t, 1, 0.01, 0.25); });
    MarkingParameters m;
    m.Width = 0.05f;
    m.MaxWidth = 0.3f;
    m.MarkingStart = 0;
    PeakTable t;
    t.attach(&sloped);
    AutoMarkPeaks(t, m);
    EXPECT_EQ(sampleRanges(t), (Ranges{{221, 395}}));

    // A straight line: the scan's window areas are rounded sums of either
    // sign, so with no size limits two humps of rounding are marked.
    const Signal line = traceOf(600, kStep1200, [](double t) { return 0.5 + 0.02 * t; });
    m = MarkingParameters{};
    m.Width = 0.1f;
    m.MinArea = 0;
    m.MinHeight = 0;
    m.MarkingStart = 0;
    t.attach(&line);
    AutoMarkPeaks(t, m);
    EXPECT_EQ(sampleRanges(t), (Ranges{{23, 199}, {120, 594}}));
}

TEST(PeakDetector, TheLargestWidthInSamplesUsesTheSinglePrecisionStep) {
    // dt = 0.1 min: MaxWidth 5 / float(0.1) truncates to 49 samples, not 50.
    // A 47-sample parabola is widened to 48 samples between its zeros, and
    // the trial edges one beyond that pass 49.
    const Signal parabola = traceOf(120, 0.1, [](double t) {
        const double x = (t / 0.1 - 60) / 23.5;
        return std::max(0.0, 1 - x * x);
    });
    ASSERT_EQ(std::count_if(parabola.samples.begin(), parabola.samples.end(),
                            [](float v) { return v > 0; }),
              47);
    MarkingParameters m;
    m.Width = 0.6f;
    m.MaxWidth = 5;
    m.MarkingStart = 0;
    PeakTable t;
    t.attach(&parabola);
    AutoMarkPeaks(t, m);
    EXPECT_EQ(t.size(), 0u);
    m.MaxWidth = 5.1f;  // 50 samples
    AutoMarkPeaks(t, m);
    EXPECT_EQ(sampleRanges(t), (Ranges{{36, 84}}));
}

TEST(PeakDetector, AMergeZoneEndsWhereItsLastPeakEnds) {
    // A small peak on the tail of a large one inside one merge zone: the
    // large peak (the zone's first) takes the small one's end, which lies
    // before its own.
    const Signal sig = traceOf(7200, kStep1200, [](double t) {
        return gaussian(t, 5, 0.06, 4.6) + gaussian(t, 0.2, 0.008, 4.75);
    });
    MarkingParameters m;
    PeakTable t;
    t.attach(&sig);
    AutoMarkPeaks(t, m);
    EXPECT_EQ(sampleRanges(t), (Ranges{{4881, 6155}, {5642, 5760}}));
    m.events = {event(kMergeBegin, 4.0), event(kMergeEnd, 5.5)};
    AutoMarkPeaks(t, m);
    EXPECT_EQ(sampleRanges(t), (Ranges{{4881, 5760}}));
    ASSERT_EQ(t.size(), 1u);
    EXPECT_NEAR(t.peaks[0].apexTime, 4.6, kStep1200);
}

// Random chromatograms with crowded, overlapping and small peaks, random
// parameters and events: the organised marking gives exactly the result of
// the straightforward one.
TEST(PeakDetector, OrganisedMarkingMatchesTheStraightforwardOne) {
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        SyntheticChromatogram s = spec(4 + 6 * unit(random), 0.002);
        s.drift = unit(random) - 0.5;
        s.noise = unit(random) < 0.5 ? 0.02 * unit(random) : 0;
        s.seed = round;
        const int count = 5 + static_cast<int>(40 * unit(random));
        const double span = static_cast<double>(s.samples) * s.dt;
        for (int k = 0; k < count; ++k)
            s.peaks.push_back({span * unit(random), 0.2 + 10 * unit(random) * unit(random),
                               0.003 + 0.03 * unit(random)});
        const Signal sig = makeSyntheticSignal(s);
        Params p;
        p.width = 0.01 + 0.05 * unit(random);
        p.maxCbd = unit(random) < 0.7 ? 0.3 * unit(random) : 0;
        p.wdt = unit(random) < 0.2 ? 5 * unit(random) : 0;
        p.maxRider = unit(random) < 0.6 ? 0.05 * unit(random) : 0;
        p.maxWidth = unit(random) < 0.2 ? 0.1 : 5;
        p.minHeight = 0.05 * unit(random);
        p.minArea = 0.002 * unit(random);
        p.start = unit(random) - 0.3;
        std::vector<PeakEvent> ev;
        const int events = static_cast<int>(6 * unit(random));
        for (int e = 0; e < events; ++e) {
            const int kind = static_cast<int>(11 * unit(random));
            double value = 0;
            if (kind == kSetMaxWidth)
                value = 3 + 300 * unit(random);
            else if (kind == kSetWidth)
                value = 0.01 + 0.05 * unit(random);
            else if (kind == kSetWidthDoublingTime)
                value = 10 * unit(random);
            else if (kind >= 4)
                value = 0.1 * unit(random);
            ev.push_back(event(kind, span * unit(random), value));
        }
        PeakTable fast, slow;
        fast.attach(&sig);
        slow.attach(&sig);
        detect(fast, p, ev);
        reference::DetectPeaks(slow, ev, p.width, p.maxCbd, p.wdt, p.maxRider, p.maxWidth,
                               p.minHeight, p.minArea, p.start);
        ASSERT_EQ(fast.size(), slow.size());
        for (std::size_t k = 0; k < fast.size(); ++k) {
            const Peak &a = fast.peaks[k], &b = slow.peaks[k];
            EXPECT_EQ(a.startTime, b.startTime) << k;
            EXPECT_EQ(a.endTime, b.endTime) << k;
            EXPECT_EQ(a.apexTime, b.apexTime) << k;
            EXPECT_EQ(a.area, b.area) << k;
            EXPECT_EQ(a.height, b.height) << k;
            EXPECT_EQ(a.flags, b.flags) << k;
            EXPECT_EQ(a.prevInGroup, b.prevInGroup) << k;
            EXPECT_EQ(a.nextInGroup, b.nextInGroup) << k;
            EXPECT_EQ(a.ownIndex, static_cast<int>(k));
        }
    }
}

// Every field of two tables' peaks, bit for bit (a NaN or a -0 included).
void expectSameBits(const PeakTable& a, const PeakTable& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        SCOPED_TRACE(k);
        const Peak &p = a.peaks[k], &q = b.peaks[k];
        for (double Peak::*f : {&Peak::apexTime, &Peak::area, &Peak::height, &Peak::startTime,
                                &Peak::endTime, &Peak::baselineAtStart, &Peak::baselineAtEnd})
            EXPECT_EQ(std::bit_cast<std::uint64_t>(p.*f), std::bit_cast<std::uint64_t>(q.*f));
        EXPECT_EQ(p.flags, q.flags);
        EXPECT_EQ(p.prevInGroup, q.prevInGroup);
        EXPECT_EQ(p.nextInGroup, q.nextInGroup);
        EXPECT_EQ(p.ownIndex, q.ownIndex);
    }
}

// Long random chromatograms (thousands of candidates, so that the scan hands
// several batches to the threads; groups, riders, zones and width events):
// marking on two or three threads gives bit for bit the one-thread table.
TEST(PeakDetector, MarkingOnSeveralThreadsGivesTheOneThreadTable) {
    std::mt19937_64 random(4711);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        SyntheticChromatogram s = spec(800 + 400 * unit(random), 0.001);
        s.drift = 0.02 * (unit(random) - 0.5);
        s.noise = round == 1 ? 0 : 0.02 * unit(random);
        s.seed = 100 + round;
        const double span = static_cast<double>(s.samples) * s.dt;
        // One peak in every 250 samples, anywhere in the first 4/5 of them.
        const int count = static_cast<int>(s.samples / 250);
        for (int k = 0; k < count; ++k)
            s.peaks.push_back({span * (k + 0.8 * unit(random)) / count,
                               0.1 + 10 * unit(random) * unit(random),
                               0.002 + 0.013 * unit(random)});
        const Signal sig = makeSyntheticSignal(s);
        Params p;
        p.width = 0.01 + 0.03 * unit(random);
        p.maxCbd = 0.1 * unit(random);
        p.maxRider = 0.02 * unit(random);
        p.maxWidth = round == 2 ? 0.1 : 2;
        p.minHeight = 0.02 * unit(random);
        p.minArea = 0.001 * unit(random);
        // Parameter events anywhere; a forbidden zone and a merge zone of a
        // few minutes each.
        std::vector<PeakEvent> ev;
        for (int e = 0; e < 10; ++e) {
            const int kind = kSetMaxWidth + static_cast<int>(7 * unit(random));
            double value = 0.05 * unit(random);
            if (kind == kSetMaxWidth)
                value = 3 + 60 * unit(random);
            else if (kind == kSetWidth)
                value = 0.01 + 0.03 * unit(random);
            else if (kind == kSetWidthDoublingTime)
                value = 200 * unit(random);
            ev.push_back(event(kind, span * unit(random), value));
        }
        for (int kind : {kForbidMarking, kMergeBegin}) {
            const double from = span * unit(random);
            ev.push_back(event(kind, from));
            ev.push_back(event(kind + 1, from + 5 * unit(random)));
        }
        PeakTable one;
        one.attach(&sig);
        detect(one, p, ev, 1);
        EXPECT_GT(one.size(), 1000u);
        for (unsigned threads : {2u, 3u}) {
            SCOPED_TRACE(threads);
            PeakTable several;
            several.attach(&sig);
            detect(several, p, ev, threads);
            expectSameBits(one, several);
        }
    }
}

TEST(PeakDetector, OrganisedTableOperationsMatchTheStraightforwardOnes) {
    std::mt19937_64 random(77);
    std::uniform_real_distribution<double> unit(0, 1);
    SyntheticChromatogram s = spec(30, 0.01);
    s.peaks = evenlySpacedPeaks(s, 30, 5, 0.1);
    const Signal sig = makeSyntheticSignal(s);
    for (int round = 0; round < 40; ++round) {
        PeakTable a;
        a.attach(&sig);
        const int n = 2 + static_cast<int>(60 * unit(random));
        for (int k = 0; k < n; ++k) {
            // Coarse times make nested, identical and touching ranges common.
            const double x = std::round(60 * unit(random)) / 2,
                         w = std::round(8 * unit(random)) / 2;
            a.peaks.push_back(Peak(x, x + w));
        }
        // A few chains over neighbouring peaks.
        for (int k = 0; k + 1 < n; ++k)
            if (unit(random) < 0.2 && a.peaks[k].nextInGroup < 0 &&
                a.peaks[k + 1].prevInGroup < 0) {
                a.peaks[k].nextInGroup = k + 1;
                a.peaks[k + 1].prevInGroup = k;
            }
        a.renumber();
        PeakTable b = a;
        b.attach(&sig);
        NormalizePeaks(a);
        reference::NormalizePeaks(b);
        const int victim = static_cast<int>(unit(random) * a.size());
        const bool keep = unit(random) < 0.5;
        DeletePeak(a, victim, true, keep);
        reference::DeletePeak(b, victim, true, keep);
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t k = 0; k < a.size(); ++k) {
            EXPECT_EQ(a.peaks[k].area, b.peaks[k].area);
            EXPECT_EQ(a.peaks[k].apexTime, b.peaks[k].apexTime);
            EXPECT_EQ(a.peaks[k].nextInGroup, b.peaks[k].nextInGroup);
            EXPECT_EQ(a.peaks[k].prevInGroup, b.peaks[k].prevInGroup);
        }
    }
}

}  // namespace
}  // namespace zelmora
