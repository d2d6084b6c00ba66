// Automatic marking of chromatograms recorded on other laboratories'
// instruments (tests/data/realdata) against the peak tables their own
// software reported. Each trace gets marking parameters a chromatographer
// would choose from its peaks and baseline; nothing in the marking is tuned to
// these traces.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "method/method_records.h"
#include "processing/peak_detector.h"
#include "tests/support/temp_dir.h"
#include "tests/support/trace_csv.h"

namespace zelmora {
namespace {

struct Marked {
    CZelmoraDoc doc;
    std::vector<test::ReportedPeak> reported;
};

// Loads `name`.csv as a chromatogram, marks it with `marking` and reads the
// reported table `name`.peaks.csv.
void markTrace(const std::string& name, const MarkingParameters& marking, Marked& out) {
    const Status loaded = test::loadChromatogramCsv(test::realDataFile(name + ".csv"), out.doc);
    ASSERT_TRUE(loaded.ok()) << loaded.message();
    Result<std::vector<test::ReportedPeak>> reported =
        test::readReportedPeaks(test::realDataFile(name + ".peaks.csv"));
    ASSERT_TRUE(reported.ok()) << reported.message();
    out.reported = std::move(*reported);
    AutoMarkPeaks(out.doc.peaks, marking);
}

// The marked peak whose apex is nearest to t.
const Peak* nearestPeak(const PeakTable& table, double t) {
    const Peak* best = nullptr;
    for (const Peak& p : table.peaks)
        if (!best || std::fabs(p.apexTime - t) < std::fabs(best->apexTime - t))
            best = &p;
    return best;
}

// A reported peak whose range does not touch another reported range; a report
// without ranges counts every peak as alone.
bool alone(const std::vector<test::ReportedPeak>& table, std::size_t k) {
    const test::ReportedPeak& p = table[k];
    if (p.start < 0 || p.end < 0)
        return true;
    for (std::size_t j = 0; j < table.size(); ++j)
        if (j != k && table[j].start <= p.end && table[j].end >= p.start)
            return false;
    return true;
}

// Every reported peak has a marked peak within two samples of its time, a
// different one for each; a peak standing alone has the reported area within
// 5 % (reported areas are in signal units x s, `toSignal` converts them to
// the chromatogram's unit); the reported peaks are the largest ones marked.
void expectReportedPeaksFound(const Marked& m, double toSignal) {
    const PeakTable& table = m.doc.peaks;
    const double dt = m.doc.signal.dt;
    std::vector<const Peak*> matched;
    for (std::size_t k = 0; k < m.reported.size(); ++k) {
        const test::ReportedPeak& r = m.reported[k];
        SCOPED_TRACE(testing::Message() << "reported peak " << r.name << " at " << r.retentionTime);
        const Peak* p = nearestPeak(table, r.retentionTime);
        ASSERT_NE(p, nullptr);
        EXPECT_LE(std::fabs(p->apexTime - r.retentionTime), 2 * dt);
        EXPECT_EQ(std::count(matched.begin(), matched.end(), p), 0);
        matched.push_back(p);
        if (alone(m.reported, k)) {
            EXPECT_NEAR(p->area, r.area * toSignal / 60, 0.05 * r.area * toSignal / 60);
        }
    }
    double smallestMatched = HUGE_VAL;
    for (const Peak* p : matched)
        smallestMatched = std::min(smallestMatched, p->area);
    for (const Peak& p : table.peaks)
        if (std::count(matched.begin(), matched.end(), &p) == 0) {
            EXPECT_LT(p.area, smallestMatched) << "an unreported peak at " << p.apexTime;
        }
}

TEST(RealChromatograms, AgilentFlameIonisationTraceGivesTheReportedPeaks) {
    // Peaks about 0.09 min wide at half height (27 samples at 5 Hz), so a
    // window of 0.09 min; none is wider than a minute at its base. The
    // baseline's sample-to-sample noise is below 0.02 pA: peaks of 1 pA and
    // 0.05 pA*min (3 pA*s) stand clear of it. The run starts with the
    // injection; marking starts after 0.1 min. The marking also finds a few
    // humps of 1.5 to 3 pA that the report leaves out (below its area
    // reject); they must be smaller than every reported peak.
    MarkingParameters marking;
    marking.Width = 0.09f;
    marking.MaxWidth = 1;
    marking.MinHeight = 1;
    marking.MinArea = 0.05f;
    marking.MarkingStart = 0.1f;
    Marked m;
    ASSERT_NO_FATAL_FAILURE(markTrace("fid_agilent6890_dfa708", marking, m));
    EXPECT_EQ(m.doc.signal.size(), 3601u);
    EXPECT_NEAR(m.doc.signal.dt * 60, 0.19994, 1e-5);
    ASSERT_EQ(m.reported.size(), 3u);
    expectReportedPeaksFound(m, 1.0);  // pA kept as it is
    // The heights the report gives, measured from the same straight baselines.
    for (const test::ReportedPeak& r : m.reported)
        EXPECT_NEAR(nearestPeak(m.doc.peaks, r.retentionTime)->height, r.height, 0.02 * r.height);
}

TEST(RealChromatograms, AgilentThermalConductivityTraceGivesItsOnePeak) {
    // The same run on the TCD, in units of 25 uV: the one peak is about
    // 11 mV high and as wide as on the FID; the baseline noise is about
    // 0.1 uV, so 0.5 mV and 0.05 mV*min keep baseline wander out.
    MarkingParameters marking;
    marking.Width = 0.09f;
    marking.MaxWidth = 1;
    marking.MinHeight = 0.5f;
    marking.MinArea = 0.05f;
    marking.MarkingStart = 0.1f;
    Marked m;
    ASSERT_NO_FATAL_FAILURE(markTrace("tcd_agilent6890_dfa708", marking, m));
    ASSERT_EQ(m.reported.size(), 1u);
    EXPECT_EQ(m.doc.peaks.size(), 1u);
    expectReportedPeaksFound(m, 0.025);
    EXPECT_NEAR(m.doc.peaks.peaks[0].height, m.reported[0].height * 0.025, 0.2);
}

TEST(RealChromatograms, SolventMixGivesItsThirteenComponents) {
    // 2 Hz; the peaks are 0.05 to 0.12 min wide at half height and the
    // closest apexes 0.16 min apart, so a window of 0.08 min separates them;
    // the widest peak spans 0.66 min at its base. The smallest reported
    // component (cyclohexane) is 30 mV high on a baseline of about 10 mV
    // that moves by a few uV: 5 mV and 0.5 mV*min.
    MarkingParameters marking;
    marking.Width = 0.08f;
    marking.MaxWidth = 1;
    marking.MinHeight = 5;
    marking.MinArea = 0.5f;
    marking.MarkingStart = 0.1f;
    Marked m;
    ASSERT_NO_FATAL_FAILURE(markTrace("solvents_turbochrom_aia", marking, m));
    ASSERT_EQ(m.reported.size(), 13u);
    EXPECT_EQ(m.doc.peaks.size(), 13u);
    expectReportedPeaksFound(m, 1e-3);  // uV*s to mV*s
    // The recording program stored each retention time one sample after the
    // apex: the marked apexes lie before the reported times, never after.
    for (const test::ReportedPeak& r : m.reported)
        EXPECT_LE(nearestPeak(m.doc.peaks, r.retentionTime)->apexTime, r.retentionTime);
}

TEST(RealChromatograms, ADamagedTraceIsRefusedWithItsLine) {
    test::TempDir dir;
    test::writeFile(dir / "bad.csv", "# a trace\nminutes,uV\n0.0,1\n0.1,x\n0.2,3\n");
    const Result<test::TraceCsv> bad = test::readTraceCsv(dir / "bad.csv");
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.message().find("строка 4"), std::string::npos) << bad.message();
    test::writeFile(dir / "gap.csv", "minutes,mV\n0.0,1\n0.1,2\n0.3,3\n0.4,4\n");
    EXPECT_FALSE(test::readTraceCsv(dir / "gap.csv").ok());
    test::writeFile(dir / "headless.csv", "0.0,1\n0.1,2\n0.2,3\n");
    EXPECT_FALSE(test::readTraceCsv(dir / "headless.csv").ok());
    CZelmoraDoc doc;
    doc.signal.samples = {1, 2, 3};
    EXPECT_FALSE(test::loadChromatogramCsv(dir / "missing.csv", doc).ok());
    EXPECT_EQ(doc.signal.size(), 3u);  // left as it was

    test::writeFile(dir / "good.csv", "minutes,25uV\n1.0,40\n1.5,80\n2.0,120\n");
    ASSERT_TRUE(test::loadChromatogramCsv(dir / "good.csv", doc).ok());
    EXPECT_EQ(doc.signal.samples, (std::vector<float>{1, 2, 3}));  // mV
    EXPECT_DOUBLE_EQ(doc.signal.t0, 1.0);
    EXPECT_DOUBLE_EQ(doc.signal.dt, 0.5);
}

}  // namespace
}  // namespace zelmora
