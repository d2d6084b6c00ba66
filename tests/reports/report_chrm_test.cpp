#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "reports/report_chrm.h"
#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"

namespace zelmora {
namespace {

const std::filesystem::path kShare =
    std::filesystem::path(ZELMORA_TEST_DATA) / ".." / ".." / "share";

// 2026-12-09 10:30:00 UTC and an hour later.
constexpr std::time_t kSampling = 1796812200;

class ReportChrm : public ::testing::Test {
  protected:
    void SetUp() override {
        // Dates are printed in local time: fix the zone.
        const char* tz = std::getenv("TZ");
        savedTz_ = tz ? tz : "";
        hadTz_ = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
        passport.sample = "Газ природный";
        passport.detector = "ДТП";
        passport.method = "gas";
        passport.operatorName = "Иванов";
        passport.point = "Скважина 5";
        passport.place = "УКПГ-2";
        passport.column = "Porapak Q";
        passport.columnNumber = 2;
        passport.numberInSeries = 3;
        passport.eluent = "гелий, 30 мл/мин";
        passport.reagent = "80 °C";
        passport.samplingTime = kSampling;
        passport.analysisTime = kSampling + 3600;
        passport.length = 3000;
        passport.comment = "без замечаний";
        passport.deadTime = Passport::kGasDeadTime;

        auto peak = [](double t, double h, double a, double c, const char* name) {
            Peak p;
            p.apexTime = t;
            p.height = h;
            p.area = a;
            p.concentration = c;
            p.componentName = name;
            return p;
        };
        peaks.peaks = {peak(-0.2, 1, 1, 1, "ложный"), peak(1.25, 10.5, 2.25, 90.125, "Метан"),
                       peak(2.5, 4, 1, 6, "Этан"), peak(3.75, 2, 0.5, 3, "Пропан")};
        setProperty(peaks.peaks[1].properties, kRetentionIndexKey, "100");

        method.calculation.kind = 4;
        method.calculation.response = 1;
        MethodComponent methane;
        methane.name = "Метан";
        methane.k0 = 0.1;
        methane.k1 = -0.5;
        methane.k2 = 1;
        MethodComponent ethane;
        ethane.name = "Этан";
        ethane.k1 = 2;
        ethane.k0 = -0.5;
        ethane.curveType = 7;
        method.calculation.components = {methane, ethane};
        method.groups = {{"Этан", "Алканы C2+"}, {"пропан", "Алканы C2+"}};

        input.passport = &passport;
        input.peaks = &peaks;
        input.method = &method;
        input.fileName = "/data/chrom/2026/a0012.stg";
        input.now = kSampling + 7200;
        input.report.groups = true;
        input.report.calibration = true;
        input.report.calibrationComponents = {{"Этан", true}, {"Метан", false}};
        input.unitOf = [](std::string_view c) -> std::optional<std::string> {
            if (c == "Метан")
                return "% об.";
            return std::nullopt;
        };
    }
    void TearDown() override {
        if (hadTz_)
            setenv("TZ", savedTz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    CPreview loaded(const char* name = "report.rpt") {
        CPreview v;
        const Status s = v.loadTemplate(kShare / "Templates" / name);
        EXPECT_TRUE(s.ok()) << s.message();
        return v;
    }

    Passport passport{0};
    PeakTable peaks;
    Method method;
    ChromatogramReportInput input;

  private:
    std::string savedTz_;
    bool hadTz_ = false;
};

TEST_F(ReportChrm, FormulaAndVolumeTexts) {
    MethodComponent c;
    c.k2 = 1;
    c.k1 = -0.5;
    c.k0 = 0.1;
    EXPECT_EQ(CReportChrm::formulaText(c), " + 1.0000 * X^2 - 0.5000 * X + 0.1000\n");
    c = {};
    c.k1 = 2;
    c.k0 = -0.5;
    EXPECT_EQ(CReportChrm::formulaText(c), " + 2.0000 * X - 0.5000\n");
    c.curveType = 6;
    c.k3 = -1;
    EXPECT_EQ(CReportChrm::formulaText(c), " - 1.0000 / X^3 + 2.0000 / X - 0.5000\n");
    c.curveType = 12;
    EXPECT_EQ(CReportChrm::formulaText(c), " - 1.0000 * X^3 + 2.0000 * X - 0.5000\n");
    EXPECT_EQ(CReportChrm::formulaText(MethodComponent{}), "0\n");

    Passport p(0);
    p.sampleAmount = 2.5;
    p.standardAmount = 0.125;
    p.norm = 98.5;
    Method m;
    m.calculation.kind = 2;
    EXPECT_EQ(CReportChrm::volumeText(p, &m),
              "Масса пробы: 2.5; Проценты: 98.5; Массса стандарта: 0.125");
    p.calibration = 1;
    EXPECT_EQ(CReportChrm::volumeText(p, &m), "");
    m.calculation.kind = 6;
    EXPECT_EQ(CReportChrm::volumeText(p, &m), "Норма: 98.5");
    m.calculation.kind = 1;
    EXPECT_EQ(CReportChrm::volumeText(p, &m), "Объем: 2.5; Разведение: 0.125");
    m.extra.kind = 1;
    EXPECT_EQ(CReportChrm::volumeText(p, &m),
              "Объем: 2.5; Разведение: 0.125; К-во спирта в пробе: 98.5;");
    EXPECT_EQ(CReportChrm::volumeText(p, nullptr), "Объем: 2.5; Разведение: 0.125");

    EXPECT_EQ(CReportChrm::countMethodName(4), std::string("внутренняя нормализация"));
    EXPECT_EQ(CReportChrm::countMethodName(2), std::string("внутренний стандарт (слассический)"));
    EXPECT_EQ(CReportChrm::countMethodName(8), std::string("неизвестен"));

    EXPECT_EQ(CReportChrm::templatePath("/opt/z", nullptr), "/opt/z/Templates/report.rpt");
    m.calculation.identification = 1;
    EXPECT_EQ(CReportChrm::templatePath("/opt/z", &m), "/opt/z/Templates/reporti.rpt");
    m.calculation.identification = 0;
    EXPECT_EQ(CReportChrm::templatePath("/opt/z", &m), "/opt/z/Templates/report.rpt");
}

TEST_F(ReportChrm, FillsTheShippedFormOfAGasChromatogram) {
    CPreview v = loaded();
    rtf::Picture picture;
    picture.data = "\x89PNG";
    input.chromatogramPicture = &picture;
    CReportChrm::fill(v, input);
    const std::string text = v.document().plainText();
    // A kept section's closing marker ends its last line: a blank stays there.
    for (const char* expected : {
             "Файл: a0012.stg\n",
             "Дата анализа: 09.12.2026, 11:30:00; продолжительность: 0 мин\n",
             "Проба: Газ природный\n",
             "Дата отбора: 09.12.2026, 10:30:00\n",
             "Место отбора: точка отбора: Скважина 5; пункт отбора: УКПГ-2\n",
             "Номер в серии: 3\n",
             "Норма: 100 \n",
             "Метод расчёта: внутренняя нормализация, по параметру: площадь \n",
             "Колонка: Porapak Q, номер 2; длина 3000 мм",
             "Газовые параметры: гелий, 30 мл/мин \n",
             "Температурные параметры: 80 °C \n",
             "Компонент Группы\t\n",
             "1\t1.250\t10.500\t2.250\t90.125\t% об.\tМетан\t\n",
             "2\t2.500\t4.000\t1.000\t6.000\t       \tЭтан\tАлканы C2+\t\n",
             "3\t3.750\t2.000\t0.500\t3.000\t       \tПропан\tАлканы C2+\t\n",
             "1\tАлканы C2+\n\t6.000\t1.500\t9.000\t\n",
             "2. Этан:  + 2.0000 / X - 0.5000\n\n",
             "Комментарий: без замечаний \n",
             "Дата отчёта: 09.12.2026, 12:30:00\n",
             "Анализ выполнил: Иванов\n",
         })
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\nin\n" << text;
    // No marker is left, the false peak is not listed, the liquid parts are gone.
    EXPECT_EQ(text.find("__"), std::string::npos) << text;
    EXPECT_EQ(text.find("ложный"), std::string::npos);
    EXPECT_EQ(text.find("Элюент:"), std::string::npos);
    EXPECT_EQ(text.find("Реагент:"), std::string::npos);
    EXPECT_EQ(text.find("Метан: "), std::string::npos);  // not ticked for the calibration
    int pictures = 0;
    for (const rtf::Element& e : v.document().elements)
        pictures += e.kind == rtf::ElementKind::Picture;
    EXPECT_EQ(pictures, 1);

    // The filled report is a file a word processor reads: the same text again.
    const Result<rtf::RtfDocument> again = rtf::readRtf(rtf::writeRtf(v.document()));
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->plainText(), text);
}

TEST_F(ReportChrm, NoPeaksNoMethodAndALiquidChromatogram) {
    peaks.peaks.clear();
    input.method = nullptr;
    passport.deadTime = 0;             // liquid
    input.report.sections[3] = false;  // no eluent part
    input.report.calibration = false;
    CPreview v = loaded("reporti.rpt");
    CReportChrm::fill(v, input);
    const std::string text = v.document().plainText();
    EXPECT_EQ(text.find("Время, мин"), std::string::npos) << text;  // table section removed
    EXPECT_EQ(text.find("Метод расчёта"), std::string::npos);
    EXPECT_EQ(text.find("Элюент:"), std::string::npos);
    EXPECT_NE(text.find("Реагент: 80 °C; поток 0, температура 0, давление 0 \n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("Градуировочные"), std::string::npos);
    EXPECT_EQ(text.find("Газовые"), std::string::npos);
    // Without a picture its marker goes too.
    EXPECT_EQ(text.find("__"), std::string::npos) << text;
    EXPECT_NE(text.find("Объем: 1; Разведение: 1"), std::string::npos);
}

}  // namespace
}  // namespace zelmora
