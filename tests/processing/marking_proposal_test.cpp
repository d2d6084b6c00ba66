// Marking parameters proposed from the trace: on synthetic chromatograms of
// known noise and widths, and on the real traces of tests/data, where the
// peaks the originating software reported must be found at their times with
// their areas and few peaks beyond them.

#include "processing/marking_proposal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "document/aia_file.h"
#include "document/csv_import.h"
#include "document/zelmora_doc.h"
#include "processing/peak_detector.h"
#include "processing/peak_integration.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;
const fs::path kData = ZELMORA_TEST_DATA;

// Gaussian peaks (time, height, FWHM) on white noise.
Signal synthetic(double dt, std::size_t n, double noise,
                 const std::vector<std::array<double, 3>>& peaks, unsigned seed = 1) {
    Signal s;
    s.dt = dt;
    s.samples.resize(n);
    std::mt19937 rng(seed);
    std::normal_distribution<double> g(0, noise);
    for (std::size_t i = 0; i < n; ++i) {
        double v = g(rng);
        for (const auto& p : peaks) {
            const double sigma = p[2] / 2.3548;
            const double x = (s.timeAt(static_cast<double>(i)) - p[0]) / sigma;
            v += p[1] * std::exp(-x * x / 2);
        }
        s.samples[i] = static_cast<float>(v);
    }
    return s;
}

TEST(MarkingProposal, MeasuresNoiseAndWidthsOfKnownTraces) {
    // 10 Hz, noise 0.01 mV, peaks of 0.05 min at half height.
    {
        const Signal s = synthetic(1.0 / 600, 6000, 0.01,
                                   {{1, 5, 0.05}, {3, 2, 0.05}, {5, 1, 0.05}, {7, 0.5, 0.05}});
        Result<MarkingProposal> p = ProposeMarking(s, MarkingParameters{});
        ASSERT_TRUE(p) << p.message();
        EXPECT_NEAR(p->trace.noise, 0.01, 0.002);
        EXPECT_NEAR(p->trace.narrowWidth, 0.05, 0.005);
        EXPECT_EQ(p->trace.clearPeaks, 4);
        EXPECT_EQ(p->trace.doublingTime, 0);
        EXPECT_NEAR(p->parameters.MinHeight, 0.1, 0.02);
        EXPECT_NEAR(p->parameters.Width, 0.1, 0.01);
    }
    // Widths growing with retention time as in isothermal work: 0.02 min at
    // 1 min to 0.18 min at 9 min, W = 0.02·t, so they double every ... the
    // line through the origin has no finite doubling from t0 = 0, so start at
    // 0.01 + 0.01·t: doubling time 1 min.
    {
        std::vector<std::array<double, 3>> peaks;
        for (int k = 1; k <= 9; ++k)
            peaks.push_back({static_cast<double>(k), 3, 0.01 + 0.01 * k});
        const Signal s = synthetic(1.0 / 1200, 12000, 0.005, peaks);
        Result<MarkingProposal> p = ProposeMarking(s, MarkingParameters{});
        ASSERT_TRUE(p) << p.message();
        EXPECT_NEAR(p->trace.doublingTime, 1.0, 0.2);
        EXPECT_NEAR(p->trace.narrowWidth, 0.01, 0.003);
    }
    // Too short, and a trace without any peak (the method's width is kept).
    EXPECT_FALSE(ProposeMarking(synthetic(0.01, 10, 0.1, {}), MarkingParameters{}));
    Result<MarkingProposal> flat =
        ProposeMarking(synthetic(0.01, 1000, 0.1, {}), MarkingParameters{});
    ASSERT_TRUE(flat);
    EXPECT_EQ(flat->parameters.Width, MarkingParameters{}.Width);
    EXPECT_EQ(flat->trace.clearPeaks, 0);
}

struct Reported {
    double rt, area;  // min, mV·min
};

std::vector<Reported> peaksCsv(const fs::path& path, double areaToMvMin) {
    std::ifstream in(path);
    std::string line;
    std::vector<Reported> out;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("rt_min", 0) == 0)
            continue;
        std::istringstream ls(line);
        std::string rt, area;
        std::getline(ls, rt, ',');
        std::getline(ls, area, ',');
        out.push_back({std::stod(rt), std::stod(area) * areaToMvMin});
    }
    return out;
}

struct Outcome {
    std::size_t found = 0, reported = 0, extra = 0, areasWithin5 = 0, resolved = 0;
    double worstShiftSamples = 0, worstAreaError = 0;
};

Outcome markAndCompare(const char* name, ImportedChromatogram imported,
                       const std::vector<Reported>& reported) {
    installIntegrationAfterRead();
    CZelmoraDoc doc;
    std::move(imported).moveInto(doc);
    Result<MarkingProposal> p = ProposeMarking(doc.signal, MarkingParameters{});
    EXPECT_TRUE(p) << p.message();
    if (!p)
        return {};
    MarkingParameters m = p->parameters;
    AutoMarkPeaks(doc.peaks, m);
    Outcome o;
    o.reported = reported.size();
    std::vector<bool> used(doc.peaks.size(), false);
    for (const Reported& r : reported) {
        long best = -1;
        for (std::size_t k = 0; k < doc.peaks.size(); ++k)
            if (best < 0 ||
                std::fabs(doc.peaks.peaks[k].apexTime - r.rt) <
                    std::fabs(doc.peaks.peaks[static_cast<std::size_t>(best)].apexTime - r.rt))
                best = static_cast<long>(k);
        if (best < 0)
            continue;
        const Peak& pk = doc.peaks.peaks[static_cast<std::size_t>(best)];
        const double shift = std::fabs(pk.apexTime - r.rt) / doc.signal.dt;
        if (shift <= 1.5) {
            ++o.found;
            used[static_cast<std::size_t>(best)] = true;
            o.worstShiftSamples = std::max(o.worstShiftSamples, shift);
            if (pk.prevInGroup < 0 && pk.nextInGroup < 0 && !(pk.flags & Peak::kRider)) {
                ++o.resolved;
                const double err = std::fabs(pk.area - r.area) / std::fabs(r.area);
                o.worstAreaError = std::max(o.worstAreaError, err);
                if (err <= 0.05)
                    ++o.areasWithin5;
            }
        }
    }
    for (bool u : used)
        o.extra += u ? 0 : 1;
    std::printf("| %s | %zu | %.3g | %.3g | %zu/%zu | %.2f | %zu/%zu | %.1f %% | %zu |\n", name,
                doc.signal.size(), p->trace.noise, p->parameters.Width, o.found, o.reported,
                o.worstShiftSamples, o.areasWithin5, o.resolved, 100 * o.worstAreaError, o.extra);
    return o;
}

// The figures of each trace are printed as a table row (bench/README.md
// keeps them). What is asserted: every reported peak of the gas
// chromatograms found within 1.5 samples of its time (other systems report
// interpolated tops, Turbochrom one sample late), the areas of the peaks both
// systems integrate alone within 5 %, and few peaks beyond theirs.
TEST(MarkingProposal, FindsWhatTheOriginatingSoftwareReported) {
    std::printf(
        "| trace | points | noise, mV | Width, min | found | worst shift, samples | "
        "areas within 5 %% (resolved) | worst area error | extra peaks |\n");
    const fs::path csv = kData / "csv";
    struct CsvCase {
        const char* file;
        double areaToMvMin;
        std::size_t areasWithin5;  // the solvents' cluster of five touching
                                   // peaks is split differently from Turbochrom
        std::size_t maxExtra;
    };
    for (const CsvCase& c : {CsvCase{"fid_agilent6890_dfa708", 1.0 / 60, 3, 8},
                             CsvCase{"tcd_agilent6890_dfa708", 0.025 / 60, 1, 8},
                             CsvCase{"solvents_turbochrom_aia", 0.001 / 60, 8, 2}}) {
        SCOPED_TRACE(c.file);
        Result<ImportedChromatogram> r = readCsvFile(csv / (std::string(c.file) + ".csv"));
        ASSERT_TRUE(r) << r.message();
        const auto reported = peaksCsv(csv / (std::string(c.file) + ".peaks.csv"), c.areaToMvMin);
        const Outcome o = markAndCompare(c.file, std::move(r).value(), reported);
        EXPECT_EQ(o.found, o.reported);
        EXPECT_GE(o.areasWithin5, c.areasWithin5);
        EXPECT_LE(o.extra, c.maxExtra);
    }
    // Liquid chromatograms of the AIA set: their area units are not stated,
    // so only the times are compared. SHMDZU1's peaks are shoulders on one
    // envelope, which the marking's widening to the largest area takes as
    // one or two peaks: its figures are printed, not asserted.
    struct AiaCase {
        const char* file;
        std::size_t minFound, maxExtra;
    };
    for (const AiaCase& c : {AiaCase{"VARIAN1.CDF", 7, 6}, AiaCase{"HP-CH.CDF", 18, 3},
                             AiaCase{"SHMDZU1.CDF", 1, 13}}) {
        SCOPED_TRACE(c.file);
        Result<ImportedChromatogram> r = aia::readFile(kData / "aia" / c.file);
        ASSERT_TRUE(r) << r.message();
        const SignalUnit unit =
            parseSignalUnit(*findProperty(r->tableProperties, kImportSignalUnitKey));
        std::vector<Reported> reported;
        for (const Peak& p : r->peaks)
            reported.push_back(
                {p.apexTime, std::stod(*findProperty(p.properties, aia::kReportedAreaKey)) *
                                 unit.toMillivolts / 60});
        r->peaks.clear();
        const Outcome o = markAndCompare(c.file, std::move(r).value(), reported);
        EXPECT_GE(o.found, c.minFound);
        EXPECT_LE(o.extra, c.maxExtra);
    }
}

}  // namespace
}  // namespace zelmora
