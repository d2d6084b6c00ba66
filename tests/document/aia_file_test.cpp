// AIA/ANDI import and export: the real files of other systems compared with
// an independent netCDF reader (Debian's python3-netcdf4), the variations
// real files show built with the netCDF library, refusals, and the round
// trip of a written file.

#include "document/aia_file.h"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/text.h"
#include "document/table_normalisation.h"
#include "document/zelmora_doc.h"
#include "processing/peak_integration.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(ZELMORA_TEST_DATA) / "aia";
constexpr const char* kPython = "/usr/bin/python3";

bool haveNetcdf4() {
    return std::system((std::string(kPython) + " -c 'import netCDF4' 2>/dev/null").c_str()) == 0;
}

// What python3-netcdf4 reads from a file.
struct Reference {
    std::string status;  // "complete" or "missing ..." for check
    std::size_t points = 0;
    double interval = 0, delay = 0;
    std::string unit, sample, operatorName, injection;
    std::vector<double> values;
    struct ReportedPeak {
        double rt, area;
        std::string name;
    };
    std::vector<ReportedPeak> peaks;
};

Reference readWithNetcdf4(const fs::path& file, const char* mode = "dump") {
    const std::string cmd = std::string(kPython) + " '" +
                            (kData / "read_with_netcdf4.py").string() + "' " + mode + " '" +
                            file.string() + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    Reference r;
    if (p == nullptr)
        return r;
    std::string out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    ::pclose(p);
    std::istringstream in(out);
    std::string line;
    auto rest = [&](std::size_t skip) { return line.size() > skip ? line.substr(skip) : ""; };
    while (std::getline(in, line)) {
        if (line.rfind("complete", 0) == 0 || line.rfind("missing", 0) == 0)
            r.status = line;
        else if (line.rfind("points ", 0) == 0)
            r.points = std::stoul(rest(7));
        else if (line.rfind("interval ", 0) == 0)
            r.interval = std::stod(rest(9));
        else if (line.rfind("delay ", 0) == 0)
            r.delay = std::stod(rest(6));
        else if (line.rfind("unit ", 0) == 0 || line == "unit")
            r.unit = rest(5);
        else if (line.rfind("sample ", 0) == 0 || line == "sample")
            r.sample = rest(7);
        else if (line.rfind("operator ", 0) == 0 || line == "operator")
            r.operatorName = rest(9);
        else if (line.rfind("injection ", 0) == 0 || line == "injection")
            r.injection = rest(10);
        else if (line.rfind("peak ", 0) == 0) {
            std::istringstream ps(line.substr(5));
            Reference::ReportedPeak pk{};
            ps >> pk.rt >> pk.area;
            std::getline(ps >> std::ws, pk.name);
            r.peaks.push_back(pk);
        } else
            r.values.push_back(std::stod(line));
    }
    return r;
}

double unitFactor(const std::string& unit) {
    return unit == "uV" ? 0.001 : unit == "mV" ? 1.0 : 1.0;
}

TEST(AiaImport, RealFilesGiveWhatAnIndependentReaderReads) {
    if (!haveNetcdf4())
        GTEST_SKIP() << "python3-netcdf4 is not installed";
    for (const char* name :
         {"SOLV001.CDF", "EXAMPLE1.CDF", "VARIAN1.CDF", "HP-CH.CDF", "SHMDZU1.CDF"}) {
        SCOPED_TRACE(name);
        const Reference ref = readWithNetcdf4(kData / name);
        ASSERT_GT(ref.points, 0u);
        ASSERT_EQ(ref.values.size(), ref.points);
        Result<ImportedChromatogram> r = aia::readFile(kData / name);
        ASSERT_TRUE(r) << r.message();
        const Signal& s = r->signal;
        ASSERT_EQ(s.size(), ref.points);
        const double k = unitFactor(ref.unit);
        for (std::size_t i = 0; i < s.size(); ++i)
            ASSERT_EQ(s.samples[i], static_cast<float>(static_cast<float>(ref.values[i]) * k))
                << "sample " << i;
        // Times in minutes: the file's seconds divided by 60.
        EXPECT_DOUBLE_EQ(s.dt, ref.interval / 60);
        EXPECT_DOUBLE_EQ(s.t0, ref.delay / 60);
        EXPECT_EQ(r->passport.sample, text::trim(ref.sample));
        EXPECT_EQ(r->passport.operatorName, text::trim(ref.operatorName));
        ASSERT_EQ(r->peaks.size(), ref.peaks.size());
        for (std::size_t i = 0; i < ref.peaks.size(); ++i) {
            const Peak& p = r->peaks[i];
            EXPECT_NEAR(p.apexTime, ref.peaks[i].rt / 60, 1e-6);
            EXPECT_EQ(p.componentName, ref.peaks[i].name);
            EXPECT_LT(p.startTime, p.apexTime);
            EXPECT_GT(p.endTime, p.apexTime);
            ASSERT_NE(findProperty(p.properties, aia::kReportedAreaKey), nullptr);
            EXPECT_NEAR(std::stod(*findProperty(p.properties, aia::kReportedAreaKey)),
                        ref.peaks[i].area, std::fabs(ref.peaks[i].area) * 1e-6);
        }
        // The same bytes opened in memory give the same chromatogram.
        Result<ImportedChromatogram> m = aia::readMemory(test::readFile(kData / name), name);
        ASSERT_TRUE(m) << m.message();
        EXPECT_EQ(m->signal.samples, s.samples);
        m->passport.file = r->passport.file;
        EXPECT_EQ(m->passport, r->passport);
    }
}

TEST(AiaImport, PassportAndPeaksOfRealFiles) {
    installIntegrationAfterRead();
    {
        Result<ImportedChromatogram> r = aia::readFile(kData / "SHMDZU1.CDF");
        ASSERT_TRUE(r) << r.message();
        const Passport& p = r->passport;
        EXPECT_EQ(p.sample, "Pepsi");
        EXPECT_EQ(p.operatorName, "Tim");
        EXPECT_EQ(p.method, "Secret Method 1");
        EXPECT_EQ(p.detector, "Joe's detector");
        EXPECT_EQ(p.analysisTime, 582578714);  // 1988-06-17 14:25:14 -0500
        EXPECT_NE(p.comment.find("Опыт: Soda Pop Test"), std::string::npos);
        EXPECT_NE(p.comment.find("Детектор: An optical detector"), std::string::npos);
        EXPECT_EQ(p.deadTime, 0);  // liquid chromatography
        EXPECT_DOUBLE_EQ(p.duration, 9.0);
        // Reported heights of 0 are kept; the table has no names.
        ASSERT_FALSE(r->peaks.empty());
        EXPECT_EQ(r->peaks[0].componentName, "");
        EXPECT_NE(findProperty(r->tableProperties, kImportSignalUnitKey), nullptr);
    }
    {
        // Turbochrom's solvents: µV into mV, seconds into minutes, 13 named
        // peaks with bounds, measured again on the trace.
        Result<ImportedChromatogram> r = aia::readFile(kData / "SOLV001.CDF");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->passport.sample, "SOLVENTS");
        EXPECT_EQ(r->passport.analysisTime, 607544960);
        EXPECT_TRUE(r->passport.isGas());
        ASSERT_EQ(r->peaks.size(), 13u);
        EXPECT_EQ(r->peaks[0].componentName, "METHANOL");
        EXPECT_DOUBLE_EQ(r->peaks[0].startTime, 14.0 / 60);
        EXPECT_DOUBLE_EQ(r->peaks[0].endTime, 38.5 / 60);
        std::vector<Peak> reported = r->peaks;
        CZelmoraDoc doc;
        std::move(r).value().moveInto(doc);
        ASSERT_EQ(doc.peaks.size(), 13u);
        double oursInGroup = 0, theirsInGroup = 0;
        EXPECT_EQ(doc.undo.samples, doc.signal.samples);
        for (std::size_t i = 0; i < 13; ++i) {
            const Peak& p = doc.peaks.peaks[i];
            SCOPED_TRACE(p.componentName);
            // The file's retention times lie one sample and a fraction
            // (its interpolated top) after our apex sample.
            EXPECT_NEAR(p.apexTime, reported[i].apexTime, 2 * doc.signal.dt);
            // Areas: µV·s in the file, mV·min here. A resolved peak has the
            // same straight baseline in both systems.
            const double theirs =
                std::stod(*findProperty(p.properties, aia::kReportedAreaKey)) / 1000 / 60;
            const bool grouped = p.prevInGroup >= 0 || p.nextInGroup >= 0;
            if (!grouped) {
                EXPECT_NEAR(p.area, theirs, theirs * 0.01);
            }
            EXPECT_GT(p.height, 0);
            // Touching peaks share a baseline; how the other system split
            // the group among them (drop lines, skims) differs, its total not.
            if (grouped) {
                oursInGroup += p.area;
                theirsInGroup += theirs;
            }
        }
        EXPECT_EQ(doc.peaks.peaks[4].nextInGroup, 5);  // ISOBUTANOL ... TOLUENE
        EXPECT_NEAR(oursInGroup, theirsInGroup, theirsInGroup * 0.02);
    }
    {
        // Varian: no names, no bounds: the bounds come from the valleys.
        Result<ImportedChromatogram> r = aia::readFile(kData / "VARIAN1.CDF");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->passport.operatorName, "MEA");
        EXPECT_EQ(r->passport.sample2, "");  // "none" says nothing
        ASSERT_EQ(r->peaks.size(), 8u);
        for (std::size_t i = 0; i + 1 < r->peaks.size(); ++i)
            EXPECT_LE(r->peaks[i].endTime, r->peaks[i + 1].apexTime);
        // A reported height of -1 means "not given".
        EXPECT_EQ(findProperty(r->peaks[0].properties, aia::kReportedHeightKey), nullptr);
    }
    {
        // A date of 1900 cannot be an injection time: the dataset's own time
        // is missing too, so the passport says nothing rather than 1970.
        Result<ImportedChromatogram> r = aia::readFile(kData / "HP-CH.CDF");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->passport.analysisTime, 0);
        EXPECT_DOUBLE_EQ(r->signal.t0, static_cast<double>(1.04f) / 60);
        EXPECT_EQ(r->passport.detector, "DAD1 B, Sig=305,190 Ref=550,100");
    }
}

// A netCDF file built for one case with the library itself.
class NcBuilder {
  public:
    explicit NcBuilder(const fs::path& path) {
        EXPECT_EQ(nc_create(path.c_str(), NC_CLOBBER, &nc_), NC_NOERR);
    }
    ~NcBuilder() { nc_close(nc_); }
    int dim(const char* name, std::size_t len) {
        int d = -1;
        nc_def_dim(nc_, name, len, &d);
        return d;
    }
    int var(const char* name, nc_type type, std::vector<int> dims) {
        int v = -1;
        nc_def_var(nc_, name, type, static_cast<int>(dims.size()), dims.data(), &v);
        return v;
    }
    void text(int var, const char* name, const std::string& value) {
        nc_put_att_text(nc_, var, name, value.size(), value.data());
    }
    void number(int var, const char* name, double value) {
        nc_put_att_double(nc_, var, name, NC_DOUBLE, 1, &value);
    }
    void end() { nc_enddef(nc_); }
    void put(int var, const std::vector<double>& v) { nc_put_var_double(nc_, var, v.data()); }
    void put(int var, double v) { nc_put_var_double(nc_, var, &v); }
    void putText(int var, const std::string& v) { nc_put_var_text(nc_, var, v.data()); }
    void close() {
        nc_close(nc_);
        nc_ = -1;
    }

  private:
    int nc_ = -1;
};

TEST(AiaImport, VariationsOfRealFiles) {
    test::TempDir dir;
    {
        // Minutes in the variables' own units, volts, scale factor and offset,
        // a peak table without names and bounds, no dates at all.
        NcBuilder b(dir / "a.cdf");
        const int points = b.dim("point_number", 5);
        const int peaks = b.dim("peak_number", 1);
        b.text(NC_GLOBAL, "detector_unit", "V");
        b.text(NC_GLOBAL, "retention_unit", "minutes");
        const int step = b.var("actual_sampling_interval", NC_FLOAT, {});
        b.text(step, "units", "minutes");
        const int delay = b.var("actual_delay_time", NC_FLOAT, {});
        b.text(delay, "units", "min");
        const int ord = b.var("ordinate_values", NC_SHORT, {points});
        b.number(ord, "scale_factor", 0.5);
        b.number(ord, "add_offset", 1);
        const int rt = b.var("peak_retention_time", NC_DOUBLE, {peaks});
        b.end();
        b.put(step, 0.25);
        b.put(delay, 1.0);
        b.put(ord, {0, 2, 10, 4, 0});
        b.put(rt, {1.5});
        b.close();
        Result<ImportedChromatogram> r = aia::readFile(dir / "a.cdf");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->signal.samples, (std::vector<float>{1000, 2000, 6000, 3000, 1000}));
        EXPECT_DOUBLE_EQ(r->signal.dt, 0.25);
        EXPECT_DOUBLE_EQ(r->signal.t0, 1.0);
        ASSERT_EQ(r->peaks.size(), 1u);
        EXPECT_DOUBLE_EQ(r->peaks[0].apexTime, 1.5);
        EXPECT_DOUBLE_EQ(r->peaks[0].startTime, 1.0);
        EXPECT_DOUBLE_EQ(r->peaks[0].endTime, 2.0);
        EXPECT_EQ(r->passport.analysisTime, 0);
    }
    {
        // Uneven sampling: the times of raw_data_retention, resampled onto an
        // even step with the integral kept; no sampling interval given.
        NcBuilder b(dir / "b.cdf");
        const int points = b.dim("point_number", 5);
        b.text(NC_GLOBAL, "detector_unit", "mV");
        const int ord = b.var("ordinate_values", NC_FLOAT, {points});
        const int times = b.var("raw_data_retention", NC_FLOAT, {points});
        b.end();
        b.put(ord, {0, 6, 6, 0, 0});
        b.put(times, {0, 60, 120, 150, 240});
        b.close();
        Result<ImportedChromatogram> r = aia::readFile(dir / "b.cdf");
        ASSERT_TRUE(r) << r.message();
        EXPECT_DOUBLE_EQ(r->signal.t0, 0);
        EXPECT_DOUBLE_EQ(r->signal.dt, 0.5);
        EXPECT_EQ(r->signal.samples, (std::vector<float>{0, 3, 6, 6, 6, 0, 0, 0, 0}));
    }
    {
        // A gap in the record (NaN) keeps the level before it.
        NcBuilder b(dir / "c.cdf");
        const int points = b.dim("point_number", 4);
        const int ord = b.var("ordinate_values", NC_FLOAT, {points});
        const int step = b.var("actual_sampling_interval", NC_FLOAT, {});
        b.end();
        b.put(ord, {1, NAN, 3, 4});
        b.put(step, 0.5);
        b.close();
        Result<ImportedChromatogram> r = aia::readFile(dir / "c.cdf");
        ASSERT_TRUE(r) << r.message();
        EXPECT_EQ(r->signal.samples, (std::vector<float>{1, 1, 3, 4}));
        EXPECT_DOUBLE_EQ(r->signal.dt, 0.5 / 60);
    }
}

TEST(AiaImport, RefusesWhatIsNotAChromatogram) {
    test::TempDir dir;
    auto refusal = [](const Result<ImportedChromatogram>& r) {
        EXPECT_FALSE(r);
        return r ? std::string() : r.message();
    };
    test::writeFile(dir / "text.cdf", "time,signal\n0,1\n");
    EXPECT_NE(refusal(aia::readFile(dir / "text.cdf")).find("не файл AIA/ANDI"), std::string::npos);
    EXPECT_NE(refusal(aia::readFile(dir / "missing.cdf")).find("не открывается"),
              std::string::npos);
    EXPECT_NE(refusal(aia::readMemory("\x89HDF\r\n", "x.cdf")).find("netCDF-4"), std::string::npos);
    {
        // netCDF, but some other measurement.
        NcBuilder b(dir / "weather.cdf");
        const int d = b.dim("time", 3);
        const int v = b.var("temperature", NC_FLOAT, {d});
        b.end();
        b.put(v, {1, 2, 3});
        b.close();
        EXPECT_NE(refusal(aia::readFile(dir / "weather.cdf")).find("не хроматограмма AIA/ANDI"),
                  std::string::npos);
    }
    {
        // A trace without any time base.
        NcBuilder b(dir / "notime.cdf");
        const int d = b.dim("point_number", 3);
        const int v = b.var("ordinate_values", NC_FLOAT, {d});
        b.end();
        b.put(v, {1, 2, 3});
        b.close();
        EXPECT_NE(refusal(aia::readFile(dir / "notime.cdf")).find("шага"), std::string::npos);
    }
    // A header whose name length would make the netCDF library ask for 4 GB.
    const std::string huge(
        "CDF\x01\0\0\0\0\0\0\0\x0A\0\0\0\x01\xFF\xFF\xFF\x00"
        "abcd",
        24);
    EXPECT_NE(refusal(aia::readMemory(huge, "huge.cdf")).find("заголовок"), std::string::npos);
    test::writeFile(dir / "huge.cdf", huge);
    EXPECT_NE(refusal(aia::readFile(dir / "huge.cdf")).find("заголовок"), std::string::npos);
    // A real file cut short.
    const std::string whole = test::readFile(kData / "SOLV001.CDF");
    for (std::size_t keep : {std::size_t{3}, std::size_t{100}, whole.size() / 2}) {
        Result<ImportedChromatogram> r = aia::readMemory(whole.substr(0, keep), "cut.cdf");
        EXPECT_FALSE(r) << keep;
    }
}

TEST(AiaImport, TimeStamps) {
    EXPECT_EQ(aia::parseTimeStamp("19700101000000+0000"), std::time_t{0});
    EXPECT_EQ(aia::parseTimeStamp("19700101010000+0100"), std::time_t{0});
    EXPECT_EQ(aia::parseTimeStamp("19691231230000-0100"), std::nullopt);
    EXPECT_EQ(aia::parseTimeStamp("20000229120000"), std::time_t{951825600});
    EXPECT_EQ(aia::parseTimeStamp("1900,01,01,00:00:00+0000"), std::nullopt);
    EXPECT_EQ(aia::parseTimeStamp("2000022912"), std::nullopt);
    EXPECT_EQ(aia::formatTimeStamp(951825600), "20000229120000+0000");
}

TEST(AiaExport, RoundTripAndIndependentReader) {
    installIntegrationAfterRead();
    test::TempDir dir;
    Result<ImportedChromatogram> r = aia::readFile(kData / "SOLV001.CDF");
    ASSERT_TRUE(r) << r.message();
    CZelmoraDoc doc;
    std::move(r).value().moveInto(doc);
    doc.passport.comment = "первая строка\r\nвторая";
    doc.passport.sample2 = "партия 7";
    doc.peaks.peaks[1].componentName = "ЭТАНОЛ с очень длинным названием компонента";
    normaliseAfterRead(doc.peaks);
    const fs::path out = dir / "out.cdf";
    ASSERT_TRUE(aia::writeFile(out, doc.signal, doc.passport, doc.peaks));

    Result<ImportedChromatogram> back = aia::readFile(out);
    ASSERT_TRUE(back) << back.message();
    EXPECT_EQ(back->signal.samples, doc.signal.samples);
    EXPECT_NEAR(back->signal.dt, doc.signal.dt, 1e-15);
    EXPECT_NEAR(back->signal.t0, doc.signal.t0, 1e-15);
    const Passport& p = back->passport;
    EXPECT_EQ(p.sample, doc.passport.sample);
    EXPECT_EQ(p.sample2, "партия 7");
    EXPECT_EQ(p.operatorName, doc.passport.operatorName);
    EXPECT_EQ(p.method, doc.passport.method);
    EXPECT_EQ(p.detector, doc.passport.detector);
    EXPECT_EQ(p.analysisTime, doc.passport.analysisTime);
    EXPECT_EQ(p.isGas(), doc.passport.isGas());
    EXPECT_EQ(p.comment, "первая строка\r\nвторая");
    ASSERT_EQ(back->peaks.size(), doc.peaks.size());
    CZelmoraDoc again;
    std::vector<Peak> written = back->peaks;
    std::move(back).value().moveInto(again);
    for (std::size_t i = 0; i < doc.peaks.size(); ++i) {
        const Peak& a = doc.peaks.peaks[i];
        const Peak& b = again.peaks.peaks[i];
        EXPECT_EQ(b.componentName, a.componentName);
        EXPECT_NEAR(b.startTime, a.startTime, 1e-12);
        EXPECT_NEAR(b.endTime, a.endTime, 1e-12);
        EXPECT_NEAR(b.apexTime, a.apexTime, 1e-12);
        EXPECT_NEAR(b.area, a.area, 1e-9 * std::fabs(a.area));
        EXPECT_NEAR(b.height, a.height, 1e-9 * std::fabs(a.height));
        // The written area is ours, in mV·s.
        EXPECT_NEAR(std::stod(*findProperty(written[i].properties, aia::kReportedAreaKey)),
                    a.area * 60, 1e-6 * a.area * 60);
    }

    if (!haveNetcdf4())
        GTEST_SKIP() << "python3-netcdf4 is not installed";
    const Reference ref = readWithNetcdf4(out, "check");
    EXPECT_EQ(ref.status, "complete");
    EXPECT_EQ(ref.points, doc.signal.size());
    EXPECT_EQ(ref.unit, "mV");
    EXPECT_NEAR(ref.interval, doc.signal.dt * 60, 1e-12);
    ASSERT_EQ(ref.values.size(), doc.signal.size());
    for (std::size_t i = 0; i < ref.values.size(); ++i)
        ASSERT_EQ(static_cast<float>(ref.values[i]), doc.signal.samples[i]);
    ASSERT_EQ(ref.peaks.size(), doc.peaks.size());
    EXPECT_EQ(ref.peaks[0].name, "METHANOL");
    EXPECT_EQ(ref.injection, "19890402182920+0000");

    // A chromatogram without peaks is written too; an empty one is refused.
    PeakTable none;
    ASSERT_TRUE(aia::writeFile(dir / "nopeaks.cdf", doc.signal, doc.passport, none));
    EXPECT_EQ(readWithNetcdf4(dir / "nopeaks.cdf", "check").status, "complete");
    EXPECT_FALSE(aia::writeFile(dir / "empty.cdf", Signal{}, doc.passport, none));
    EXPECT_FALSE(fs::exists(dir / "empty.cdf"));
}

}  // namespace
}  // namespace zelmora
