#include "processing/chromatogram_processing.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/paths.h"
#include "document/message_sink.h"
#include "method/method_sheet.h"
#include "processing/synthetic.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

constexpr double kSigma = 0.03;
const double kTimes[3] = {2.0, 4.0, 6.0};

// A chromatogram of the three components with the given heights, written as
// a ".stg" file naming the method.
std::filesystem::path writeChromatogram(const std::filesystem::path& path, const double heights[3],
                                        bool calibration, std::time_t analysisTime,
                                        std::uint64_t seed, const std::string& method = "Смесь") {
    SyntheticChromatogram spec;
    spec.dt = 0.002;
    spec.samples = 4000;  // 8 minutes
    spec.level = 1;
    spec.drift = 0.02;
    spec.noise = 0.002;
    spec.seed = seed;
    for (int i = 0; i < 3; ++i)
        spec.peaks.push_back({kTimes[i], heights[i], kSigma});
    CZelmoraDoc doc;
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    doc.keepUndoCopy();
    doc.passport = Passport(analysisTime);
    doc.passport.analysisTime = analysisTime;
    doc.passport.method = method;
    doc.passport.calibration = calibration ? 1 : 0;
    SilentMessageSink sink;
    EXPECT_TRUE(doc.Write(path, sink, false));
    return path;
}

double trueArea(double height) {
    return SyntheticPeak{0, height, kSigma}.area();
}

Method threeComponentMethod() {
    Method m;
    m.marking.Width = 0.06;
    m.marking.MinHeight = 0.5;
    m.calculation.kind = kAbsoluteLeastSquares;
    m.calculation.response = 1;
    const char* names[3] = {"Метан", "Этан", "Пропан"};
    const int curves[3] = {1, 0, 13};  // a line with constant, through zero, a power law
    for (int i = 0; i < 3; ++i) {
        MethodComponent c;
        c.name = names[i];
        c.retentionTime = kTimes[i];
        c.window = 3;
        c.curveType = curves[i];
        m.calculation.components.push_back(c);
    }
    return m;
}

TEST(ChromatogramProcessing, CalibrateFromTwoChromatogramsAndQuantitateAThird) {
    test::TempDir dir;
    ASSERT_TRUE(paths::ensureFolder(methodFilePath("Смесь").parent_path()));
    std::string error;
    ASSERT_TRUE(writeMethodTo(methodFilePath("Смесь"), threeComponentMethod(), error)) << error;
    installFolderMethodLoader();

    const double level1[3] = {10, 20, 5}, level2[3] = {20, 40, 12};
    const double amounts1[3] = {1.0, 2.0, 0.5}, amounts2[3] = {2.2, 3.9, 1.5};
    const std::filesystem::path cal1 =
        writeChromatogram(dir / "cal1.stg", level1, true, 1'700'000'000, 2);
    const std::filesystem::path cal2 =
        writeChromatogram(dir / "cal2.stg", level2, true, 1'700'003'600, 3);

    Method method;
    ASSERT_TRUE(readMethodByName("Смесь", method, error)) << error;
    for (const auto& [file, amounts] : {std::pair{cal1, amounts1}, std::pair{cal2, amounts2}}) {
        CZelmoraDoc doc;
        const Status read = doc.Read(file);
        ASSERT_TRUE(read) << read.message();
        SilentMessageSink sink;
        ASSERT_TRUE(doc.reloadMethod(sink));
        ProcessingOutcome out = ProcessChromatogram(doc);
        EXPECT_TRUE(out.identified);
        EXPECT_FALSE(out.quantitated);  // a calibration chromatogram keeps its amounts
        ASSERT_EQ(doc.peaks.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(doc.peaks.peaks[i].componentName, method.calculation.components[i].name);
            doc.peaks.peaks[i].concentration = amounts[i];  // the operator's amounts
        }
        const CalibrationPointResult r = CalibrateWith(method, doc, &sink);
        EXPECT_EQ(r.components, 3);
        EXPECT_TRUE(r.fit.messages.empty());
    }
    ASSERT_EQ(levelCount(method.calculation), 2u);
    ASSERT_TRUE(writeMethodTo(methodFilePath("Смесь"), method, error)) << error;

    // The sample: every component between or beyond the two levels.
    const double sample[3] = {15, 30, 8};
    const std::filesystem::path file =
        writeChromatogram(dir / "s.stg", sample, false, 1'700'010'000, 4);
    CZelmoraDoc doc;
    const Status read = doc.Read(file);
    ASSERT_TRUE(read) << read.message();
    SilentMessageSink sink;
    ASSERT_TRUE(doc.reloadMethod(sink));
    const ProcessingOutcome out = ProcessChromatogram(doc);
    EXPECT_TRUE(out.quantitated);
    EXPECT_TRUE(out.quantitation.ok());
    ASSERT_EQ(doc.peaks.size(), 3u);

    // The expected amounts from the true Gaussian areas, by hand.
    auto x = [](const double* h, int i) { return trueArea(h[i]); };
    const double methane = amounts1[0] + (amounts2[0] - amounts1[0]) *
                                             (x(sample, 0) - x(level1, 0)) /
                                             (x(level2, 0) - x(level1, 0));
    const double k1 = (x(level1, 1) * amounts1[1] + x(level2, 1) * amounts2[1]) /
                      (x(level1, 1) * x(level1, 1) + x(level2, 1) * x(level2, 1));
    const double ethane = k1 * x(sample, 1);
    const double power =
        std::log(amounts2[2] / amounts1[2]) / std::log(x(level2, 2) / x(level1, 2));
    const double propane = amounts1[2] * std::pow(x(sample, 2) / x(level1, 2), power);
    const double expected[3] = {methane, ethane, propane};
    for (int i = 0; i < 3; ++i) {
        const Peak& p = doc.peaks.peaks[i];
        EXPECT_EQ(p.componentName, method.calculation.components[i].name);
        EXPECT_NEAR(p.concentration, expected[i], 0.005 * expected[i]) << i;
    }
    installMethodLoader(nullptr);
}

TEST(ChromatogramProcessing, ChromatogramsWithoutAMethod) {
    test::TempDir dir;
    const double heights[3] = {10, 20, 5};
    const std::filesystem::path file =
        writeChromatogram(dir / "n.stg", heights, false, 1000, 5, "Нет");
    CZelmoraDoc doc;
    std::string error;
    const Status read = doc.Read(file);
    ASSERT_TRUE(read) << read.message();
    installFolderMethodLoader();
    SilentMessageSink sink;
    EXPECT_FALSE(doc.reloadMethod(sink));  // no method "Нет" in the methods folder
    installMethodLoader(nullptr);
    for (Peak& p : doc.peaks.peaks)
        p.concentration = 5;
    const ProcessingOutcome out = ProcessChromatogram(doc);
    EXPECT_FALSE(out.identified);
    EXPECT_FALSE(out.quantitated);
    EXPECT_EQ(doc.peaks.size(), 3u);  // marked with the default parameters
    for (const Peak& p : doc.peaks.peaks)
        EXPECT_FALSE(p.identified());
    EXPECT_FALSE(CalculateConcentrations(doc).ok());

    // A damaged method file is not taken.
    ASSERT_TRUE(paths::ensureFolder(methodFilePath("x").parent_path()));
    test::writeFile(methodFilePath("Испорчен"), "not a method");
    Method m;
    EXPECT_FALSE(readMethodByName("Испорчен", m, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(readMethodByName("../Смесь", m, error));
    std::string name;
    EXPECT_FALSE(readMethodFrom((dir / "none.mtd").string(), m, name, error));
}

}  // namespace
}  // namespace zelmora
