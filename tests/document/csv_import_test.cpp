// CSV traces: the real exports of tests/data/csv, the separators, decimal
// commas, headers and units laboratories' files show, resampling of uneven
// times, and refusals.

#include "document/csv_import.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;
const fs::path kData = fs::path(ZELMORA_TEST_DATA) / "csv";

TEST(CsvImport, RealExports) {
    {
        // ChemStation FID trace: "minutes,pA", 3601 points, 0 to 11.9967 min.
        Result<ImportedChromatogram> r = readCsvFile(kData / "fid_agilent6890_dfa708.csv");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->signal.size(), 3601u);
        EXPECT_DOUBLE_EQ(r->signal.t0, 0);
        EXPECT_NEAR(r->signal.dt, 11.9967 / 3600, 1e-7);
        EXPECT_FLOAT_EQ(r->signal.samples[0], 5.0348958f);  // pA kept as they are
        EXPECT_EQ(*findProperty(r->tableProperties, kImportSignalUnitKey), "pA");
        EXPECT_NE(r->passport.comment.find("origin: github FAIRChemistry"), std::string::npos);
        EXPECT_EQ(r->passport.sample, "fid_agilent6890_dfa708");
    }
    {
        // TCD in steps of 25 µV.
        Result<ImportedChromatogram> r = readCsvFile(kData / "tcd_agilent6890_dfa708.csv");
        ASSERT_TRUE(r) << r.message();
        EXPECT_FLOAT_EQ(r->signal.samples[0], static_cast<float>(22.526302 * 0.025));
    }
    {
        // Turbochrom solvents in µV at 2 Hz.
        Result<ImportedChromatogram> r = readCsvFile(kData / "solvents_turbochrom_aia.csv");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->signal.size(), 1200u);
        EXPECT_FLOAT_EQ(r->signal.samples[0], 14.489f);
        EXPECT_NEAR(r->signal.dt, 0.5 / 60, 1e-9);
    }
}

TEST(CsvImport, SeparatorsCommasHeadersAndUnits) {
    struct Case {
        const char* text;
        double t0, dt;
        float first, last;
    };
    const Case cases[] = {
        // Spreadsheet in a Russian locale: ';' and decimal comma, units in the header.
        {"Время, с;Сигнал, мкВ\r\n0,0;1500\r\n0,5;2500\r\n1,0;500\r\n", 0, 0.5 / 60, 1.5f, 0.5f},
        // Tab separated, seconds and volts in brackets, a byte-order mark.
        {"\xEF\xBB\xBFtime [s]\tsignal [V]\n60\t0.001\n61\t0.002\n62\t0.003\n", 1, 1.0 / 60, 1, 3},
        // No header, blanks: minutes and mV assumed.
        {"  0.1   1.5\n  0.2   2.5\n\n  0.3   3.5\n", 0.1, 0.1, 1.5f, 3.5f},
        // A title without a unit; time in minutes.
        {"# exported\nmin,Signal\n0,1\n0.01,2\n0.02,3\n", 0, 0.01, 1, 3},
        // Few printed digits: a little uneven, still one step.
        {"min,mV\n0,1\n0.0033,2\n0.0067,3\n0.01,4\n", 0, 0.01 / 3, 1, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Result<ImportedChromatogram> r = readCsv(c.text, "t.csv");
        ASSERT_TRUE(r) << r.message();
        EXPECT_NEAR(r->signal.t0, c.t0, 1e-12);
        EXPECT_NEAR(r->signal.dt, c.dt, 1e-12);
        EXPECT_FLOAT_EQ(r->signal.samples.front(), c.first);
        EXPECT_FLOAT_EQ(r->signal.samples.back(), c.last);
    }
    // Options win over the header and the guesses.
    CsvImportOptions o;
    o.timeInMinutes = false;
    o.signalUnit = "uV";
    o.timeColumn = 1;
    o.signalColumn = 2;
    Result<ImportedChromatogram> r = readCsv("n,t,y\n1,0,1000\n2,30,2000\n", "o.csv", o);
    ASSERT_TRUE(r) << r.message();
    EXPECT_DOUBLE_EQ(r->signal.dt, 0.5);
    EXPECT_EQ(r->signal.samples, (std::vector<float>{1, 2}));
}

TEST(CsvImport, UnevenTimesAreResampledKeepingTheIntegral) {
    // A triangle sampled unevenly: its trapezoidal area is 8 mV·min.
    const char* text = "min,mV\n0,0\n1,2\n1.5,3\n2,4\n3,2\n3.2,1.6\n4,0\n";
    Result<ImportedChromatogram> r = readCsv(text, "u.csv");
    ASSERT_TRUE(r) << r.message();
    const Signal& s = r->signal;
    EXPECT_DOUBLE_EQ(s.t0, 0);
    EXPECT_DOUBLE_EQ(s.t0 + s.dt * static_cast<double>(s.size() - 1), 4);
    double area = 0;
    for (std::size_t i = 0; i + 1 < s.size(); ++i)
        area += (s.samples[i] + s.samples[i + 1]) / 2 * s.dt;
    EXPECT_NEAR(area, 8.0, 1e-5);
    EXPECT_NEAR(s.dt, 0.2, 1e-12);
    EXPECT_FALSE(r->notes.empty());
}

TEST(CsvImport, Refusals) {
    auto message = [](std::string_view text, const CsvImportOptions& o = {}) {
        Result<ImportedChromatogram> r = readCsv(text, "bad.csv", o);
        EXPECT_FALSE(r) << text;
        return r ? std::string() : r.message();
    };
    EXPECT_NE(message("").find("нет строк"), std::string::npos);
    EXPECT_NE(message("# only notes\n").find("нет строк"), std::string::npos);
    EXPECT_NE(message("min,mV\n0,1\n").find("меньше двух"), std::string::npos);
    EXPECT_NE(message("0,1\n0.1,x\n").find("строка 2: не число"), std::string::npos);
    EXPECT_NE(message("0,1\n0.1\n").find("нет столбца"), std::string::npos);
    EXPECT_NE(message("0,1\n0,2\n").find("не возрастает"), std::string::npos);
    EXPECT_NE(message("0,1\n1,2\n0.5,3\n").find("не возрастает"), std::string::npos);
    EXPECT_NE(message(std::string_view("0,1\n\0\n", 6)).find("не текстовый"), std::string::npos);
    CsvImportOptions comma;
    comma.separator = ',';
    comma.decimalComma = true;
    EXPECT_NE(message("0,1\n", comma).find("неоднозначна"), std::string::npos);
    // One enormous gap among fine steps would make millions of points.
    EXPECT_NE(message("0,1\n0.001,1\n0.002,1\n1000000,1\n").find("неравномерен"),
              std::string::npos);
    EXPECT_FALSE(readCsvFile("/nonexistent/x.csv"));
}

}  // namespace
}  // namespace zelmora
