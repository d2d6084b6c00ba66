#include "reports/report_stat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"

namespace zelmora {
namespace {

const std::filesystem::path kShare =
    std::filesystem::path(ZELMORA_TEST_DATA) / ".." / ".." / "share";

// 2026-12-09 12:30:00 UTC.
constexpr std::time_t kNow = 1796819400;

// A small form: a line per chromatogram, and per component a title, a table
// row per chromatogram and the means.
constexpr const char* kForm =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n"
    "\\pard Date: __ReportDate\\par\n"
    "\\pard __ChrmTemplateSection\\par\n"
    "\\pard __Num __File (__Sample)\\par\n"
    "\\pard __ChrmTemplateSection\\par\n"
    "\\pard __ComponentSection\\par\n"
    "\\pard [__Component]\\par\n"
    "\\pard __ResultsTemplateSection\\par\n"
    "\\trowd\\cellx600\\cellx2000\\cellx3500\\cellx5000\\cellx6500\n"
    "\\pard\\intbl __Number\\cell __Time\\cell __Height\\cell __Area\\cell "
    "__Concentration\\cell\\row\n"
    "\\pard __ResultsTemplateSection\\par\n"
    "\\pard M __MT/__ST __MH/__SH __MA/__SA __MC/__SC DL __ConThresh\\par\n"
    "\\pard __ComponentSection\\par\n"
    "\\pard Noise __Noise; drift __Drift\\par\n"
    "}";

std::vector<StatEntry> threeInjections() {
    std::vector<StatEntry> out(3);
    const char* files[] = {"/lab/Data/a1.stg", "/lab/Data/a2.stg", "/lab/other/a3.stg"};
    for (int i = 0; i < 3; ++i) {
        out[i].file = files[i];
        out[i].sample = "Проба " + std::to_string(i + 1);
        out[i].peaks.push_back({"Бензол", 2.5 + 0.01 * i, 10.0 + i, 100.0 + i, 1.0, 650.0});
        if (i != 1)
            out[i].peaks.push_back({"Толуол", 4.1, 5, 50, 0.5, std::nullopt});
    }
    return out;
}

class ReportStat : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        hadTz_ = tz != nullptr;
        savedTz_ = tz ? tz : "";
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(ReportStat, FillsEveryChromatogramAndEveryChosenComponent) {
    const std::vector<StatEntry> entries = threeInjections();
    ProgramOptions o;
    o.numZnakovH = o.numZnakovS = o.numZnakovC = 3;
    o.floatType = 1;
    o.detType = 0;
    StatisticsResult stats = computeStatistics(entries, 1, nullptr, o);
    ASSERT_EQ(stats.components.size(), 2u);
    stats.components[0].detectionLimit = 2.5e-10;

    CPreview view(rtf::readRtf(kForm).value());
    StatReportInput in;
    in.entries = &entries;
    in.current = 1;
    // Both components, toluene first as the grid might be sorted.
    in.components = {&stats.components[1], &stats.components[0]};
    in.noise = "0.0100 мВ";
    in.drift = "0.5000 мВ/ч";
    in.options = o;
    in.now = kNow;
    CReportStat::fill(view, in);

    const std::string text = view.document().plainText();
    EXPECT_EQ(text.find("__"), std::string::npos) << text;
    const std::string expected =
        "Date: 09.12.2026, 12:30:00\n"
        "1 a1.stg (Проба 1)\n"
        "2* a2.stg (Проба 2)\n"
        "3 a3.stg (Проба 3)\n"
        "\n"  // what is left of the closing marker's line
        "[Толуол]\n"
        "1\t4.100\t5.000\t50.000\t0.500\t\n"
        "2*\t\t0\t0\t0\t\n"
        "3\t4.100\t5.000\t50.000\t0.500\t\n"
        "\n"
        "M 4.100/0.000 5.000/0.000 50.000/0.000 0.500/0.000 DL ?\n"
        "[Бензол]\n"
        "1\t2.500\t10.000\t100.000\t1.000\t\n"
        "2*\t2.510\t11.000\t101.000\t1.000\t\n"
        "3\t2.520\t12.000\t102.000\t1.000\t\n"
        "\n"
        "M 2.510/0.398 11.000/9.091 101.000/0.990 1.000/0.000 DL 2.5e-10 г/сек\n"
        "\n"
        "Noise 0.0100 мВ; drift 0.5000 мВ/ч\n";
    EXPECT_EQ(text, expected);

    // Written and read back, the report is a sound RTF file.
    const Result<rtf::RtfDocument> back = rtf::readRtf(rtf::writeRtf(view.document()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->plainText(), expected);
}

TEST_F(ReportStat, NoComponentsChosenAndAComponentWithoutRsd) {
    std::vector<StatEntry> entries = threeInjections();
    entries.resize(1);
    const ProgramOptions o;
    const StatisticsResult stats = computeStatistics(entries, 0, nullptr, o);
    CPreview view(rtf::readRtf(kForm).value());
    StatReportInput in;
    in.entries = &entries;
    in.current = 0;
    in.components = {&stats.components[0]};
    in.options = o;
    in.now = kNow;
    CReportStat::fill(view, in);
    const std::string text = view.document().plainText();
    // One injection: no RSD, shown as a dash rather than a number.
    EXPECT_NE(text.find("M 2.500/— 10.000/— 100.000/— 1.000/— DL ?"), std::string::npos) << text;

    CPreview none(rtf::readRtf(kForm).value());
    in.components.clear();
    CReportStat::fill(none, in);
    EXPECT_EQ(none.document().plainText().find("[Бензол]"), std::string::npos);
    EXPECT_EQ(none.document().plainText().find("__"), std::string::npos);
}

// The shipped form "test.rpt" reads, and every marker in it is filled.
TEST_F(ReportStat, ShippedForm) {
    CPreview view;
    ASSERT_TRUE(view.loadTemplate(CReportStat::templatePath(kShare)).ok());
    const std::vector<StatEntry> entries = threeInjections();
    const ProgramOptions o;
    const StatisticsResult stats = computeStatistics(entries, 0, nullptr, o);
    StatReportInput in;
    in.entries = &entries;
    in.current = 0;
    for (const ComponentStatistics& c : stats.components)
        in.components.push_back(&c);
    in.noise = noiseText(0.01, convertNoise("0.5 мкг/мВ", 0.01, 0.2));
    in.drift = driftText(0.2, convertNoise("0.5 мкг/мВ", 0.01, 0.2));
    in.options = o;
    in.now = kNow;
    CReportStat::fill(view, in);
    const std::string text = view.document().plainText();
    EXPECT_EQ(text.find("__"), std::string::npos) << text;
    EXPECT_NE(text.find(CReportStat::kTitle), std::string::npos);
    EXPECT_NE(text.find("Компонент: Бензол"), std::string::npos);
    EXPECT_NE(text.find("Компонент: Толуол"), std::string::npos);
    EXPECT_NE(text.find("0.0100 мВ,  0.005 мкг"), std::string::npos);
    EXPECT_NE(text.find("1*\ta1.stg\tПроба 1"), std::string::npos) << text;
}

}  // namespace
}  // namespace zelmora
