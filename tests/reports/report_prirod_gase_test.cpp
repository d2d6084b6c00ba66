#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "app/text.h"
#include "reports/report_prirod_gase.h"
#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"

namespace zelmora {
namespace {

const std::filesystem::path kShare =
    std::filesystem::path(ZELMORA_TEST_DATA) / ".." / ".." / "share";

// 2026-12-09 12:30:00 UTC.
constexpr std::time_t kNow = 1796819400;

// A small form as a laboratory might write it: a paragraph per chromatogram,
// a table row per component, the properties in one line.
constexpr const char* kForm =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n"
    "\\pard Date: __ReportDate\\par\n"
    "\\pard __ChrmTemplateSection\\par\n"
    "\\pard __Num. __File (__Sample)\\par\n"
    "\\pard __ChrmTemplateSection\\par\n"
    "\\trowd\\cellx600\\cellx3000\\cellx4500\\cellx6000\\cellx9000\n"
    "\\pard\\intbl N\\cell Name\\cell C\\cell R\\cell V\\cell\\row\n"
    "\\pard __ResultsTemplateSection\\par\n"
    "\\trowd\\cellx600\\cellx3000\\cellx4500\\cellx6000\\cellx9000\n"
    "\\pard\\intbl __Number\\cell __Param\\cell __C\\cell __Delta\\cell __Shod\\cell\\row\n"
    "\\pard __ResultsTemplateSection\\par\n"
    "\\pard __Conditions\\par\n"
    "\\pard Q __Qv / __Qn; W __Vv / __Vn; d __Ro; rho __ARo kg\\par\n"
    "}";

GasChromatogram analysis(const char* file, const char* sample, std::vector<GasPeak> peaks) {
    GasChromatogram a;
    a.file = file;
    a.sample = sample;
    a.peaks = std::move(peaks);
    return a;
}

class ReportPrirodGase : public ::testing::Test {
  protected:
    void SetUp() override {
        // Dates are printed in local time: fix the zone.
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        names.names[18] = "N2";
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    std::string filled(CPreview& v, const GasConditions& c) {
        Result<NaturalGasResult> r = computeNaturalGas(analyses, names, c);
        EXPECT_TRUE(r.ok()) << r.message();
        result = std::move(r).value();
        NaturalGasReportInput in;
        in.analyses = &analyses;
        in.result = &result;
        in.names = &names;
        in.now = kNow;
        CReportPrirodGase::fill(v, in);
        return v.document().plainText();
    }

    // Two analyses of one sample, the second from a Windows folder; nitrogen
    // under the laboratory's name "N2".
    std::vector<GasChromatogram> analyses = {
        analysis("/data/gas/g1.stg", "Скважина 5",
                 {{"Метан", 96.0}, {"Этан", 2.0}, {"Пропан", 0.5}, {"N2", 1.0}}),
        analysis("C:\\Хром\\g2.stg", "Скважина 5, повтор", {{"Этан", 2.2}, {"N2", 1.0}}),
    };
    GasComponentNames names;
    NaturalGasResult result;

  private:
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(ReportPrirodGase, FillsEveryFieldAndOneRowPerChromatogramAndComponent) {
    Result<rtf::RtfDocument> form = rtf::readRtf(kForm);
    ASSERT_TRUE(form.ok()) << form.message();
    CPreview v(std::move(form).value());
    GasConditions dry;
    const std::string text = filled(v, dry);
    for (const char* expected : {
             "Date: 09.12.2026, 12:30:00\n",
             "1. g1.stg (Скважина 5)\n2. g2.stg (Скважина 5, повтор)\n",
             "N\tName\tC\tR\tV\t\n1\tМетан\t96.40000\t0.00000\t",
             "\n2\tЭтан\t2.10000\t0.20000\t2.000 OK\t\n",
             "\n3\tПропан\t0.50000\t0.00000\t\t\n",
             "\n4\tN2\t1.00000\t0.00000\t2.000 OK\t\n",
             "Расчёт по ГОСТ 22667-82 при давлении 101,325 кПа и температуре 20°C\n",
         })
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin\n" << text;
    // Higher before lower as the form asks, each in its own unit.
    const std::string props = text::format(
        "Q %.2f МДж/м3 / %.2f МДж/м3; W %.2f МДж/м3 / %.2f МДж/м3; d %.4f; rho %.4f kg\n",
        result.higherHeat, result.lowerHeat, result.higherWobbe, result.lowerWobbe,
        result.relativeDensity, result.absoluteDensity);
    EXPECT_NE(text.find(props), std::string::npos) << props << "\nin\n" << text;
    EXPECT_GT(result.higherHeat, result.lowerHeat);
    EXPECT_EQ(text.find("__"), std::string::npos) << text;
    EXPECT_EQ(text.find("ГОСТ Р 8.577"), std::string::npos);  // no water typed in
    EXPECT_EQ(text.find("Гелий"), std::string::npos);         // mean 0: no row

    // Water typed in: its own row, the correction's line, kcal at 0 °C.
    Result<rtf::RtfDocument> again = rtf::readRtf(kForm);
    ASSERT_TRUE(again.ok());
    CPreview wet(std::move(again).value());
    GasConditions c;
    c.temperature = GasTemperature::C0;
    c.unit = HeatUnit::Kcal;
    c.waterPercent = 1;
    const std::string wetText = filled(wet, c);
    for (const char* expected : {
             "\n1\tМетан\t95.40000\t0.00000\t",
             "\n5\tВодяной пар\t1.00000\t0.00000\t\t\n",
             "температуре 0°C\nРасчёт поправки на концентрацию паров воды по ГОСТ Р 8.577-2000\n",
         })
        EXPECT_NE(wetText.find(expected), std::string::npos) << expected << "\nin\n" << wetText;
    EXPECT_NE(wetText.find(text::format("Q %.0f ккал/м3 / %.0f ккал/м3", result.higherHeat,
                                        result.lowerHeat)),
              std::string::npos)
        << wetText;
}

TEST_F(ReportPrirodGase, FillsTheShippedFormForPureMethane) {
    EXPECT_EQ(CReportPrirodGase::templatePath("/opt/z"), "/opt/z/Templates/PrGase.rpt");
    analyses = {analysis("/data/gas/m.stg", "Метан чистый", {{"Метан", 100.0}})};
    CPreview v;
    const Status s = v.loadTemplate(CReportPrirodGase::templatePath(kShare));
    ASSERT_TRUE(s.ok()) << s.message();
    const std::string text = filled(v, GasConditions{});
    // The table's constants for methane at 20 °C, worked by hand:
    // W = H / √0.5546, ρ = 0.5546 × 1.2047 kg/m³.
    for (const char* expected : {
             "Расчёт свойств природного газа\n",
             "Дата отчёта: 09.12.2026, 12:30:00\n",
             "1\tm.stg\tМетан чистый\t\n",
             "1\tМетан\t100.00000\t0.00000\t\t\n",
             "температуре 20°C\n",
             "Теплота сгорания\t37.10 МДж/м3\t33.41 МДж/м3\t\n",
             "Число Воббе\t49.82 МДж/м3\t44.86 МДж/м3\t\n",
             "Относительная плотность (по воздуху): 0.5546\n",
             "Абсолютная плотность: 0.6681 кг/м3\n",
         })
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin\n" << text;
    EXPECT_EQ(text.find("__"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n2\t"), std::string::npos) << text;  // one row each

    // The filled report is a file a word processor reads: the same text again.
    const Result<rtf::RtfDocument> back = rtf::readRtf(rtf::writeRtf(v.document()));
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->plainText(), text);
}

}  // namespace
}  // namespace zelmora
