#include "processing/injection_statistics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "processing/chromatogram_treatments.h"
#include "processing/peak_detector.h"
#include "processing/synthetic.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

StatPeak peak(const char* name, double time, double height, double area, double conc,
              std::optional<double> index = std::nullopt) {
    return {name, time, height, area, conc, index};
}

// Five injections of one sample with known scatter. Benzene is in all five,
// toluene is missing from the third, xylene was found in the second only,
// and every injection has an unidentified peak that must not count.
std::vector<StatEntry> fiveInjections() {
    const double bTime[] = {2.50, 2.51, 2.49, 2.50, 2.50};
    const double bHeight[] = {10, 10.5, 9.5, 10.2, 9.8};
    const double bArea[] = {100, 102, 98, 101, 99};
    const double bConc[] = {1, 1.02, 0.98, 1.01, 0.99};
    const double bIndex[] = {650, 652, 648, 651, 649};
    const double tTime[] = {4.10, 4.12, 0, 4.08, 4.10};
    const double tHeight[] = {5, 5.5, 0, 4.5, 5.2};
    const double tArea[] = {50, 55, 0, 45, 52};
    const double tConc[] = {0.5, 0.55, 0, 0.45, 0.52};
    std::vector<StatEntry> out;
    for (int i = 0; i < 5; ++i) {
        StatEntry e;
        e.file = "/data/inj" + std::to_string(i + 1) + ".stg";
        e.listPath = e.file.string();
        e.sample = "Смесь";
        e.noise = 0.01 * (i + 1);
        e.drift = 0.1 * (i + 1);
        e.peaks.push_back(peak("", 1.0, 3, 30, 0));
        e.peaks.push_back(peak("Бензол", bTime[i], bHeight[i], bArea[i], bConc[i], bIndex[i]));
        if (i != 2)
            e.peaks.push_back(peak("Толуол", tTime[i], tHeight[i], tArea[i], tConc[i]));
        if (i == 1)
            e.peaks.push_back(peak("Ксилол", 6.2, 2, 20, 0.2, 800));
        out.push_back(std::move(e));
    }
    return out;
}

const ComponentStatistics& component(const StatisticsResult& r, const char* name) {
    for (const ComponentStatistics& c : r.components)
        if (c.name == name)
            return c;
    ADD_FAILURE() << "no component " << name;
    static ComponentStatistics none;
    return none;
}

TEST(InjectionStatistics, MeansAndRsdsOverThePeaksPresent) {
    const std::vector<StatEntry> entries = fiveInjections();
    const ProgramOptions o;
    const StatisticsResult r = computeStatistics(entries, 0, nullptr, o);
    ASSERT_EQ(r.components.size(), 3u);
    // In name order; the unidentified peaks are not a component.
    EXPECT_EQ(r.components[0].name, "Бензол");
    EXPECT_EQ(r.components[1].name, "Ксилол");
    EXPECT_EQ(r.components[2].name, "Толуол");

    // Sample standard deviations worked out by hand: areas 100 ± (0, 2, −2,
    // 1, −1) give √(10/4) = 1.5811 %, and so on.
    const ComponentStatistics& b = component(r, "Бензол");
    EXPECT_EQ(b.peakCount, 5);
    EXPECT_NEAR(b.meanArea, 100, 1e-12);
    EXPECT_NEAR(*b.rsdArea, 1.58113883008419, 1e-9);
    EXPECT_NEAR(b.meanHeight, 10, 1e-12);
    EXPECT_NEAR(*b.rsdHeight, 3.807886552931952, 1e-9);
    EXPECT_NEAR(b.meanTime, 2.5, 1e-12);
    EXPECT_NEAR(*b.rsdTime, 0.28284271247461296, 1e-9);
    EXPECT_NEAR(b.meanConcentration, 1, 1e-12);
    EXPECT_NEAR(*b.rsdConcentration, 1.5811388300841909, 1e-9);
    EXPECT_EQ(b.indexCount, 5);
    EXPECT_NEAR(b.meanIndex, 650, 1e-12);
    EXPECT_NEAR(*b.rsdIndex, 0.24325212770525995, 1e-9);

    // Missing from one injection: the mean is that of the four peaks (50.5,
    // not 40.4), and the scatter is about that mean.
    const ComponentStatistics& t = component(r, "Толуол");
    EXPECT_EQ(t.peakCount, 4);
    EXPECT_NEAR(t.meanArea, 50.5, 1e-12);
    EXPECT_NEAR(*t.rsdArea, 8.323115652091415, 1e-9);
    EXPECT_NEAR(t.meanTime, 4.1, 1e-12);
    EXPECT_NEAR(*t.rsdTime, 0.39829101508669607, 1e-9);
    EXPECT_NEAR(t.meanConcentration, 0.505, 1e-12);
    EXPECT_NEAR(*t.rsdConcentration, 8.323115652091415, 1e-9);
    // No indices: no index statistics, and no RSD rather than a 0/0.
    EXPECT_EQ(t.indexCount, 0);
    EXPECT_FALSE(t.rsdIndex.has_value());

    // One peak only: the means are its values and there is no RSD.
    const ComponentStatistics& x = component(r, "Ксилол");
    EXPECT_EQ(x.peakCount, 1);
    EXPECT_EQ(x.meanArea, 20);
    EXPECT_EQ(x.meanIndex, 800);
    EXPECT_FALSE(x.rsdArea || x.rsdHeight || x.rsdTime || x.rsdConcentration || x.rsdIndex);
}

TEST(InjectionStatistics, OneChromatogramAndZeroMeans) {
    std::vector<StatEntry> one = {fiveInjections()[0]};
    const StatisticsResult r = computeStatistics(one, 0, nullptr, ProgramOptions());
    for (const ComponentStatistics& c : r.components) {
        EXPECT_FALSE(c.rsdArea.has_value()) << c.name;
        EXPECT_FALSE(c.rsdTime.has_value()) << c.name;
    }
    EXPECT_EQ(component(r, "Бензол").meanHeight, 10);

    // Concentrations all 0 (nothing calibrated): no RSD, and the others stand.
    MeanAndRsd zero = meanAndRsd({0, 0, 0});
    EXPECT_EQ(zero.mean, 0);
    EXPECT_FALSE(zero.rsd.has_value());
    EXPECT_FALSE(meanAndRsd({}).rsd.has_value());
    // Values that cancel to a zero mean give no RSD either.
    EXPECT_FALSE(meanAndRsd({-1, 1}).rsd.has_value());
}

TEST(InjectionStatistics, NoiseDriftAndDetectionLimitsComeFromTheReference) {
    const std::vector<StatEntry> entries = fiveInjections();
    ProgramOptions o;
    o.c0 = 1;
    o.v = 1;
    o.detType2 = 0;
    o.detType = 0;
    o.useC0 = false;
    o.useKK = 0;
    // Reference: the first injection, noise 0.01 mV. Benzene: m = 1·1/1000 g,
    // DL = 2 · 0.01 · 0.001 / (100 · 60).
    StatisticsResult r = computeStatistics(entries, 0, nullptr, o);
    EXPECT_DOUBLE_EQ(r.noise, 0.01);
    EXPECT_DOUBLE_EQ(r.drift, 0.1);
    EXPECT_NEAR(component(r, "Бензол").detectionLimit, 2 * 0.01 * 0.001 / 6000, 1e-20);
    // Xylene has no peak in the reference: no limit, shown as "?".
    EXPECT_EQ(component(r, "Ксилол").detectionLimit, 0);
    EXPECT_EQ(detectionLimitText(0, o), "?");

    // The second injection as reference with its own concentration ("UseC0"):
    // toluene 0.55, noise 0.02; m = 0.55 · 1 / 1000 · 0.118 (kind 1).
    o.useC0 = true;
    o.detType2 = 1;
    r = computeStatistics(entries, 1, nullptr, o);
    EXPECT_NEAR(component(r, "Толуол").detectionLimit, 2 * 0.02 * 0.55e-3 * 0.118 / (50.5 * 60),
                1e-20);
    // A missing injection as reference leaves toluene without a limit.
    r = computeStatistics(entries, 2, nullptr, o);
    EXPECT_EQ(component(r, "Толуол").detectionLimit, 0);

    // A zero line overrides the reference's noise and drift.
    StatEntry zero;
    zero.noise = 0.5;
    zero.drift = -3;
    r = computeStatistics(entries, 0, &zero, o);
    EXPECT_EQ(r.noise, 0.5);
    EXPECT_EQ(r.drift, -3);
    // Without either: 0.
    r = computeStatistics(entries, std::nullopt, nullptr, o);
    EXPECT_EQ(r.noise, 0);
    EXPECT_EQ(component(r, "Бензол").detectionLimit, 0);
}

TEST(InjectionStatistics, DetectionLimitByDetectorKind) {
    ProgramOptions o;
    o.c0 = 2;
    o.v = 0.5;
    o.useC0 = false;
    o.useKK = 0;
    o.detType = 0;
    const double base = 2 * 0.1 / (10 * 60);  // 2 · noise / (A · 60)
    const double kinds[] = {1, 0.118, 0.122, 0.154};
    for (int k = 0; k < 4; ++k) {
        o.detType2 = k;
        EXPECT_NEAR(detectionLimit(0.1, 10, 7, o), base * 2 * 0.5 / 1000 * kinds[k], 1e-18) << k;
    }
    // Kind 4: the dose's pressure and the valve's temperature.
    o.detType2 = 4;
    o.pDoza = 765;
    o.tKrana = 25;
    EXPECT_NEAR(detectionLimit(0.1, 10, 7, o), base * 0.5 * 2 * 765 * 7.06e-6 / 298, 1e-18);
    o.tKrana = -273;  // no division by zero
    EXPECT_NEAR(detectionLimit(0.1, 10, 7, o), base * 0.5 * 2 * 765 * 7.06e-6, 1e-18);
    // g/ml divides by the carrier flow in ml/s; the split ratio divides too.
    o.detType2 = 0;
    o.detType = 1;
    o.qgn = 30;
    EXPECT_NEAR(detectionLimit(0.1, 10, 7, o), base * 1e-3 / 0.5, 1e-18);
    EXPECT_EQ(detectionLimitText(1.5e-9, o), "1.5e-09 г/мл");
    o.useKK = 1;
    o.kk = 40;
    EXPECT_NEAR(detectionLimit(0.1, 10, 7, o), base * 1e-3 / 0.5 / 40, 1e-18);
    o.detType = 0;
    EXPECT_EQ(detectionLimitText(1.5e-9, o), "1.5e-09 г/сек");
    // A mean area of 0: no limit.
    EXPECT_EQ(detectionLimit(0.1, 0, 7, o), 0);
}

TEST(InjectionStatistics, ConverterCoefficientText) {
    // Per millivolt: the unit is the text before the divisor.
    ConvertedNoise c = convertNoise("0.5 мкг/мВ", 0.02, 1.5);
    EXPECT_TRUE(c.converted);
    EXPECT_DOUBLE_EQ(c.noise, 0.01);
    EXPECT_DOUBLE_EQ(c.drift, 0.75);
    EXPECT_EQ(c.unit, "мкг");
    EXPECT_EQ(noiseText(0.02, c), "0.0200 мВ,  0.01 мкг");
    EXPECT_EQ(driftText(1.5, c), "1.5000 мВ/ч,  0.75 мкг/ч");
    // Latin letters do as well.
    EXPECT_EQ(convertNoise("3ng/mV", 1, 1).unit, "ng");
    // Per volt: divided by 1000.
    c = convertNoise("2 г/V", 0.5, 4);
    EXPECT_EQ(c.unit, "г");
    EXPECT_DOUBLE_EQ(c.noise, 0.001);
    EXPECT_DOUBLE_EQ(c.drift, 0.008);
    c = convertNoise("2 г/В", 0.5, 4);
    EXPECT_EQ(c.unit, "г");
    EXPECT_DOUBLE_EQ(c.noise, 0.001);
    // No divisor: the unit times millivolts; a bare number: millivolts.
    c = convertNoise("1e-3 ppm", 2, 2);
    EXPECT_EQ(c.unit, "ppm*мВ");
    EXPECT_DOUBLE_EQ(c.noise, 0.002);
    EXPECT_EQ(convertNoise("4", 1, 1).unit, "мВ");
    // No leading number: nothing converted.
    c = convertNoise("мкг/мВ", 0.02, 1.5);
    EXPECT_FALSE(c.converted);
    EXPECT_EQ(c.noise, -1);
    EXPECT_EQ(noiseText(0.02, c), "0.0200 мВ");
    EXPECT_EQ(driftText(1.5, c), "1.5000 мВ/ч");
    EXPECT_FALSE(convertNoise("", 1, 1).converted);
    EXPECT_FALSE(convertNoise(" . ", 1, 1).converted);
}

TEST(InjectionStatistics, ListPathsAndTheList) {
    EXPECT_EQ(statListPath("/opt/zelmora/Data/2026/a.stg", "/opt/zelmora/Data"), "2026/a.stg");
    EXPECT_EQ(statListPath("/opt/zelmora/Data/../x/a.stg", "/opt/zelmora/Data"),
              "/opt/zelmora/Data/../x/a.stg");
    EXPECT_EQ(statListPath("/home/lab/a.stg", "/opt/zelmora/Data"), "/home/lab/a.stg");
    EXPECT_EQ(statListPath("/opt/zelmora/DataOld/a.stg", "/opt/zelmora/Data"),
              "/opt/zelmora/DataOld/a.stg");

    StatEntryList list;
    StatEntry a, b, a2;
    a.listPath = "b.stg";
    a.sample = "first";
    b.listPath = "a.stg";
    a2.listPath = "b.stg";
    a2.sample = "again";
    list.add(a);
    list.add(b);
    list.add(a2);  // the same file replaces its entry
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.entries()[0].listPath, "a.stg");
    EXPECT_EQ(list.entries()[1].sample, "again");
    EXPECT_EQ(list.indexOf("b.stg"), 1u);
    EXPECT_TRUE(list.remove("a.stg"));
    EXPECT_FALSE(list.remove("a.stg"));
    EXPECT_EQ(list.size(), 1u);
}

// Repeated injections written as chromatogram files and read back: each
// entry carries the marked peaks with their names, its sample and its noise,
// and the statistics of the areas agree with the peaks drawn.
TEST(InjectionStatistics, ChromatogramFilesOfRepeatedInjections) {
    test::TempDir dir;
    const double heights[] = {20, 20.4, 19.6, 20.2, 19.8};
    std::vector<StatEntry> entries;
    std::vector<double> areas;
    for (int i = 0; i < 5; ++i) {
        CZelmoraDoc doc;
        SyntheticChromatogram spec;
        spec.samples = 6000;
        spec.dt = 1.0 / 600;
        spec.level = 1;
        spec.noise = 0.01;
        spec.seed = 7 + static_cast<std::uint64_t>(i);
        spec.peaks = {{3.0, heights[i], 0.03}, {6.0, 10, 0.04}};
        doc.signal = makeSyntheticSignal(spec);
        doc.peaks.attach(&doc.signal);
        MarkingParameters m;
        m.Width = 0.1f;
        m.MinHeight = 0.5f;
        m.MinArea = 0.05f;
        AutoMarkPeaks(doc.peaks, m);
        ASSERT_EQ(doc.peaks.size(), 2u);
        doc.peaks.peaks[0].componentName = "Метан";
        doc.peaks.peaks[0].properties.push_back({std::string(kRetentionIndexKey), "100"});
        doc.passport.sample = "Газ " + std::to_string(i + 1);
        const std::filesystem::path file = dir / ("inj" + std::to_string(i + 1) + ".stg");
        SilentMessageSink sink;
        ASSERT_TRUE(doc.Write(file, sink, false).ok());
        Result<StatEntry> e = readStatEntry(file, ProgramOptions());
        ASSERT_TRUE(e) << e.message();
        EXPECT_EQ(e->sample, doc.passport.sample);
        ASSERT_EQ(e->peaks.size(), 2u);
        EXPECT_EQ(e->peaks[0].name, "Метан");
        EXPECT_EQ(e->peaks[0].index, 100.0);
        EXPECT_TRUE(e->peaks[1].name.empty());
        // The file keeps areas in single precision.
        EXPECT_NEAR(e->peaks[0].area, doc.peaks.peaks[0].area, 1e-6);
        // The noise of the file as read, by the option "NoiseCalcType".
        CZelmoraDoc back;
        ASSERT_TRUE(back.Read(file).ok());
        ProgramOptions largest;
        largest.noiseCalcType = 1;
        const NoiseAndDrift rms = EstimateNoiseAndDrift(back, largest.processor, false);
        const NoiseAndDrift max = EstimateNoiseAndDrift(back, largest.processor, true);
        EXPECT_EQ(e->noise, rms.noise);
        EXPECT_EQ(e->drift, rms.drift);
        EXPECT_EQ(readStatEntry(file, largest)->noise, max.noise);
        EXPECT_GT(max.noise, rms.noise);
        areas.push_back(e->peaks[0].area);
        entries.push_back(std::move(e).value());
    }
    const StatisticsResult r = computeStatistics(entries, 0, nullptr, ProgramOptions());
    ASSERT_EQ(r.components.size(), 1u);
    // Areas near 20 · 0.03 · √(2π); their RSD by the textbook two-pass sum.
    double mean = 0, squares = 0;
    for (double a : areas)
        mean += a / 5;
    for (double a : areas)
        squares += (a - mean) * (a - mean);
    const ComponentStatistics& c = r.components[0];
    EXPECT_NEAR(c.meanArea, 20 * 0.03 * std::sqrt(2 * M_PI), 0.02);
    EXPECT_NEAR(c.meanArea, mean, 1e-12);
    EXPECT_NEAR(*c.rsdArea, std::sqrt(squares / 4) / mean * 100, 1e-9);
    EXPECT_NEAR(c.meanTime, 3.0, 0.003);
    EXPECT_EQ(c.meanIndex, 100);
    EXPECT_EQ(c.rsdIndex, 0.0);  // all equal
    EXPECT_FALSE(readStatEntry(dir / "missing.stg", ProgramOptions()));
}

}  // namespace
}  // namespace zelmora
