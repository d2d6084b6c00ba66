#include "document/aia_file.h"

#include <netcdf.h>
#include <netcdf_mem.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

#include "app/paths.h"
#include "app/text.h"

namespace zelmora::aia {

namespace {

namespace fs = std::filesystem;

// An open netCDF data set, closed on every path.
class NcFile {
  public:
    NcFile() = default;
    NcFile(const NcFile&) = delete;
    NcFile& operator=(const NcFile&) = delete;
    ~NcFile() {
        if (id_ >= 0)
            nc_close(id_);
    }
    int* out() { return &id_; }
    int id() const { return id_; }
    // Hands the id over (for nc_close_memio, which closes it itself).
    int release() {
        const int id = id_;
        id_ = -1;
        return id;
    }

  private:
    int id_ = -1;
};

std::string ncMessage(int status) {
    return nc_strerror(status);
}

// Text of other systems is ASCII or Latin-1; ours is UTF-8.
bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t extra = c < 0x80         ? 0
                                  : (c >> 5) == 6  ? 1
                                  : (c >> 4) == 14 ? 2
                                  : (c >> 3) == 30 ? 3
                                                   : 4;
        if (extra == 4 || i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += extra + 1;
    }
    return true;
}

std::string toUtf8(std::string_view s) {
    if (isUtf8(s))
        return std::string(s);
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Character data ends at the first NUL; blanks around it mean nothing.
std::string cleanText(const char* data, std::size_t n) {
    std::size_t len = 0;
    while (len < n && data[len] != '\0')
        ++len;
    return toUtf8(text::trim(std::string_view(data, len)));
}

std::optional<std::string> textAttribute(int nc, int var, const char* name) {
    nc_type type = NC_NAT;
    std::size_t len = 0;
    if (nc_inq_att(nc, var, name, &type, &len) != NC_NOERR || type != NC_CHAR)
        return std::nullopt;
    std::string buf(len, '\0');
    if (len > 0 && nc_get_att_text(nc, var, name, buf.data()) != NC_NOERR)
        return std::nullopt;
    return cleanText(buf.data(), buf.size());
}

std::string globalText(int nc, const char* name) {
    return textAttribute(nc, NC_GLOBAL, name).value_or(std::string());
}

// A text that says nothing ("", "none", "n/a").
bool blank(const std::string& s) {
    std::string l;
    for (char c : s)
        l += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return l.empty() || l == "none" || l == "n/a" || l == "none for now!";
}

std::optional<double> numberFromText(const std::string& s) {
    if (s.empty())
        return std::nullopt;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end == s.c_str() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// A numeric attribute of a variable, or a text attribute holding a number.
std::optional<double> numberAttribute(int nc, int var, const char* name) {
    nc_type type = NC_NAT;
    std::size_t len = 0;
    if (nc_inq_att(nc, var, name, &type, &len) != NC_NOERR || len == 0)
        return std::nullopt;
    if (type == NC_CHAR)
        return numberFromText(textAttribute(nc, var, name).value_or(""));
    std::vector<double> v(len);
    if (nc_get_att_double(nc, var, name, v.data()) != NC_NOERR || !std::isfinite(v[0]))
        return std::nullopt;
    return v[0];
}

std::optional<int> varId(int nc, const char* name) {
    int id = -1;
    if (nc_inq_varid(nc, name, &id) != NC_NOERR)
        return std::nullopt;
    return id;
}

// A scalar (or the first value of a one-dimensional) numeric variable.
std::optional<double> scalar(int nc, const char* name) {
    const auto id = varId(nc, name);
    if (!id)
        return std::nullopt;
    nc_type type = NC_NAT;
    int ndims = 0;
    if (nc_inq_var(nc, *id, nullptr, &type, &ndims, nullptr, nullptr) != NC_NOERR ||
        type == NC_CHAR || ndims > 1)
        return std::nullopt;
    if (ndims == 1) {
        int dim = 0;
        std::size_t len = 0;
        nc_inq_vardimid(nc, *id, &dim);
        if (nc_inq_dimlen(nc, dim, &len) != NC_NOERR || len == 0)
            return std::nullopt;
    }
    double v = 0;
    const std::size_t index[1] = {0};
    const int st =
        ndims == 0 ? nc_get_var_double(nc, *id, &v) : nc_get_var1_double(nc, *id, index, &v);
    if (st != NC_NOERR || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// The length of a one-dimensional variable; nullopt for another shape.
std::optional<std::size_t> vectorLength(int nc, int id) {
    int ndims = 0;
    nc_type type = NC_NAT;
    if (nc_inq_var(nc, id, nullptr, &type, &ndims, nullptr, nullptr) != NC_NOERR || ndims != 1 ||
        type == NC_CHAR)
        return std::nullopt;
    int dim = 0;
    std::size_t len = 0;
    if (nc_inq_vardimid(nc, id, &dim) != NC_NOERR || nc_inq_dimlen(nc, dim, &len) != NC_NOERR)
        return std::nullopt;
    return len;
}

// A numeric vector of `expected` values; nullopt when the variable is missing
// or of another length or shape.
std::optional<std::vector<double>> numberVector(int nc, const char* name, std::size_t expected) {
    const auto id = varId(nc, name);
    if (!id)
        return std::nullopt;
    const auto len = vectorLength(nc, *id);
    if (!len || *len != expected)
        return std::nullopt;
    std::vector<double> v(expected);
    if (expected > 0 && nc_get_var_double(nc, *id, v.data()) != NC_NOERR)
        return std::nullopt;
    return v;
}

// A two-dimensional character variable as `rows` texts.
std::optional<std::vector<std::string>> textVector(int nc, const char* name, std::size_t rows) {
    const auto id = varId(nc, name);
    if (!id)
        return std::nullopt;
    int ndims = 0;
    nc_type type = NC_NAT;
    if (nc_inq_var(nc, *id, nullptr, &type, &ndims, nullptr, nullptr) != NC_NOERR ||
        type != NC_CHAR || ndims != 2)
        return std::nullopt;
    int dims[2] = {0, 0};
    std::size_t len[2] = {0, 0};
    nc_inq_vardimid(nc, *id, dims);
    if (nc_inq_dimlen(nc, dims[0], &len[0]) != NC_NOERR ||
        nc_inq_dimlen(nc, dims[1], &len[1]) != NC_NOERR || len[0] != rows || len[1] > 4096 ||
        rows * len[1] > (64u << 20))
        return std::nullopt;
    std::string buf(rows * len[1], '\0');
    if (!buf.empty() && nc_get_var_text(nc, *id, buf.data()) != NC_NOERR)
        return std::nullopt;
    std::vector<std::string> out(rows);
    for (std::size_t r = 0; r < rows; ++r)
        out[r] = cleanText(buf.data() + r * len[1], len[1]);
    return out;
}

// Minutes per unit of a time variable: its own "units" attribute, else the
// given default unit text, else seconds (the unit of the standard).
double minutesPerUnit(int nc, const char* var, const std::string& fallbackUnit) {
    if (const auto id = varId(nc, var))
        if (auto u = textAttribute(nc, *id, "units")) {
            const TimeUnit t = parseTimeUnit(*u);
            if (t.known)
                return t.minutes ? 1.0 : 1.0 / 60;
        }
    const TimeUnit t = parseTimeUnit(fallbackUnit);
    return t.known && t.minutes ? 1.0 : 1.0 / 60;
}

std::string format(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// A robust noise level of a trace: 1.4826 × the median absolute first
// difference / √2 (the differences of white noise have √2 times its spread).
double noiseLevel(const std::vector<float>& y) {
    if (y.size() < 3)
        return 0;
    std::vector<float> d(y.size() - 1);
    for (std::size_t i = 0; i + 1 < y.size(); ++i)
        d[i] = std::fabs(y[i + 1] - y[i]);
    std::nth_element(d.begin(), d.begin() + static_cast<long>(d.size() / 2), d.end());
    return 1.4826 * d[d.size() / 2] / std::sqrt(2.0);
}

// Bounds of a reported peak without them: from the sample nearest the apex,
// go down each side while the trace keeps falling (rises smaller than three
// times the noise are passed over) and stop at the lowest point reached, never
// beyond the neighbouring peaks' apexes.
std::pair<std::size_t, std::size_t> valleyBounds(const std::vector<float>& y, std::size_t apex,
                                                 std::size_t leftLimit, std::size_t rightLimit,
                                                 double noise) {
    const double tol = 3 * noise;
    apex = std::clamp(apex, leftLimit, rightLimit);
    // The reported time may lie a little off the top: climb to it first.
    while (apex > leftLimit && y[apex - 1] > y[apex])
        --apex;
    while (apex < rightLimit && y[apex + 1] > y[apex])
        ++apex;
    std::size_t best = apex;
    for (std::size_t i = apex; i > leftLimit; --i) {
        if (y[i - 1] > y[best] + tol)
            break;
        if (y[i - 1] < y[best])
            best = i - 1;
    }
    const std::size_t left = best;
    best = apex;
    for (std::size_t i = apex; i < rightLimit; ++i) {
        if (y[i + 1] > y[best] + tol)
            break;
        if (y[i + 1] < y[best])
            best = i + 1;
    }
    // A peak is at least three samples wide.
    return {left < apex ? left : (apex > 0 ? apex - 1 : apex),
            best > apex ? best : std::min(apex + 1, y.size() - 1)};
}

Status checkMagic(std::string_view head, const std::string& name) {
    if (head.size() >= 4 && head.substr(0, 3) == "CDF" &&
        (head[3] == 1 || head[3] == 2 || head[3] == 5))
        return {};
    if (head.size() >= 4 && head.substr(1, 3) == "HDF")
        return Status::failure(name +
                               ": файл netCDF-4 (HDF5); файлы AIA/ANDI пишутся в формате netCDF-3");
    return Status::failure(name + ": не файл AIA/ANDI (netCDF)");
}

// The netCDF library sizes its buffers by the counts of the file's header
// before it compares them with the file, so a damaged header could make it
// ask for gigabytes. The header (dimensions, attributes, variables) is walked
// here first and every count and length checked against the bytes there are.
enum class HeaderCheck { Ok, Truncated, Bad };

class HeaderWalker {
  public:
    explicit HeaderWalker(std::string_view b) : b_(b) {}

    HeaderCheck run() {
        if (b_.size() < 4)
            return HeaderCheck::Truncated;
        wide_ = b_[3] == 5;
        offset64_ = b_[3] != 1;
        pos_ = 4;
        std::uint64_t dims = 0;
        const bool ok = skip(wide_ ? 8 : 4)  // number of records
                        && list(0x0A,
                                [&] {
                                    ++dims;
                                    return name() && count();  // name, length
                                }) &&
                        list(0x0C, [&] { return attribute(); }) && list(0x0B, [&] {
                            std::uint64_t n = 0;
                            if (!name() || !count(&n))
                                return false;
                            for (std::uint64_t i = 0; i < n; ++i) {
                                std::uint64_t id = 0;
                                if (!integer(wide_ ? 8 : 4, &id))
                                    return false;
                                if (id >= dims)
                                    return bad();
                            }
                            if (!list(0x0C, [&] { return attribute(); }))
                                return false;
                            std::uint64_t type = 0;
                            if (!integer(4, &type))
                                return false;
                            if (typeSize(type) == 0)
                                return bad();
                            return skip(wide_ ? 8 : 4) && skip(offset64_ ? 8 : 4);  // size, begin
                        });
        if (ok)
            return HeaderCheck::Ok;
        return bad_ ? HeaderCheck::Bad : HeaderCheck::Truncated;
    }

  private:
    bool bad() {
        bad_ = true;
        return false;
    }
    bool skip(std::uint64_t n) {
        if (n > b_.size() - pos_)
            return false;  // truncated
        pos_ += static_cast<std::size_t>(n);
        return true;
    }
    bool integer(int width, std::uint64_t* v) {
        if (static_cast<std::size_t>(width) > b_.size() - pos_)
            return false;
        std::uint64_t x = 0;
        for (int i = 0; i < width; ++i)
            x = x << 8 | static_cast<unsigned char>(b_[pos_ + static_cast<std::size_t>(i)]);
        pos_ += static_cast<std::size_t>(width);
        *v = x;
        return true;
    }
    // A count of things or bytes; more than a terabyte is damage.
    bool count(std::uint64_t* out = nullptr) {
        std::uint64_t n = 0;
        if (!integer(wide_ ? 8 : 4, &n))
            return false;
        if (n > (1ULL << 40))
            return bad();
        if (out)
            *out = n;
        return true;
    }
    bool name() {
        std::uint64_t n = 0;
        if (!count(&n))
            return false;
        if (n == 0 || n > 256 * 1024)
            return bad();
        return skip((n + 3) / 4 * 4);
    }
    static std::uint64_t typeSize(std::uint64_t t) {
        switch (t) {
            case 1:
            case 2:
            case 7:
                return 1;
            case 3:
            case 8:
                return 2;
            case 4:
            case 5:
            case 9:
                return 4;
            case 6:
            case 10:
            case 11:
                return 8;
            default:
                return 0;
        }
    }
    bool attribute() {
        std::uint64_t type = 0, n = 0;
        if (!name() || !integer(4, &type))
            return false;
        const std::uint64_t size = typeSize(type);
        if (size == 0 || (!wide_ && type > 6))
            return bad();
        if (!count(&n))
            return false;
        return skip((n * size + 3) / 4 * 4);
    }
    template <typename Item>
    bool list(std::uint64_t tag, Item item) {
        std::uint64_t t = 0, n = 0;
        if (!integer(4, &t) || !count(&n))
            return false;
        if (t == 0 && n == 0)
            return true;  // absent
        if (t != tag)
            return bad();
        for (std::uint64_t i = 0; i < n; ++i)
            if (!item())
                return false;
        return true;
    }

    std::string_view b_;
    std::size_t pos_ = 0;
    bool wide_ = false, offset64_ = false, bad_ = false;
};

HeaderCheck checkHeader(std::string_view bytes) {
    return HeaderWalker(bytes).run();
}

Result<ImportedChromatogram> readOpen(int nc, std::size_t fileSize, const std::string& name) {
    const std::string refused = name + ": не хроматограмма AIA/ANDI";
    const auto ordinate = varId(nc, "ordinate_values");
    if (!ordinate)
        return Status::failure(refused + " (нет переменной ordinate_values)");
    const auto n = vectorLength(nc, *ordinate);
    if (!n)
        return Status::failure(refused + " (ordinate_values не одномерный числовой ряд)");
    if (*n == 0)
        return Status::failure(name + ": хроматограмма без точек");
    nc_type type = NC_NAT;
    std::size_t typeSize = 1;
    nc_inq_vartype(nc, *ordinate, &type);
    nc_inq_type(nc, type, nullptr, &typeSize);
    // The values lie in the file: more of them than its bytes allow is damage.
    if (*n > fileSize / std::max<std::size_t>(typeSize, 1))
        return Status::failure(name + ": файл повреждён (точек больше, чем байтов в файле)");

    ImportedChromatogram out;
    std::vector<float> values(*n);
    if (const int st = nc_get_var_float(nc, *ordinate, values.data()); st != NC_NOERR)
        return Status::failure(name + ": не читаются ordinate_values: " + ncMessage(st));

    const double scale = numberAttribute(nc, *ordinate, "scale_factor").value_or(1.0);
    const double offset = numberAttribute(nc, *ordinate, "add_offset").value_or(0.0);
    const std::string unitText = globalText(nc, "detector_unit");
    const SignalUnit unit = parseSignalUnit(unitText);
    const double factor = scale * unit.toMillivolts;
    const double shift = offset * unit.toMillivolts;
    std::size_t bad = 0;
    float last = 0;
    for (float& v : values) {
        const double x = v * factor + shift;
        if (!std::isfinite(x) || std::fabs(x) > 3e38) {
            v = last;  // a gap in the record keeps the level before it
            ++bad;
        } else {
            v = static_cast<float>(x);
            last = v;
        }
    }
    if (bad > 0)
        out.notes.push_back(std::to_string(bad) +
                            " точек без значения заменены предыдущим значением");
    if (unit.isVoltage)
        out.notes.push_back("сигнал в " + unit.name + (factor != 1 ? ", пересчитан в мВ" : ""));
    else
        out.notes.push_back("сигнал в единицах \"" +
                            (unit.name.empty() ? "не указано" : unit.name) +
                            "\", числа взяты как есть (показываются как мВ)");
    if (scale != 1 || offset != 0)
        out.notes.push_back("применены scale_factor " + format("%g", scale) + " и add_offset " +
                            format("%g", offset));

    const std::string retentionUnit = globalText(nc, "retention_unit");
    const double delayMin =
        scalar(nc, "actual_delay_time").value_or(0) * minutesPerUnit(nc, "actual_delay_time", "");
    const auto interval = scalar(nc, "actual_sampling_interval");
    const auto runTime = scalar(nc, "actual_run_time_length");
    const double runMin = runTime ? *runTime * minutesPerUnit(nc, "actual_run_time_length", "") : 0;
    std::optional<std::vector<double>> rawTimes = numberVector(nc, "raw_data_retention", *n);
    if (rawTimes) {
        const double k = minutesPerUnit(nc, "raw_data_retention", retentionUnit);
        std::vector<double> y(values.begin(), values.end());
        for (double& t : *rawTimes)
            t *= k;
        Result<Signal> even = resampleEvenly(*rawTimes, y);
        if (!even)
            return Status::failure(name + ": raw_data_retention: " + even.message());
        out.signal = std::move(even).value();
        out.notes.push_back("времена точек из raw_data_retention, пересчитаны на равный шаг " +
                            format("%.6g", out.signal.dt * 60) + " с");
    } else {
        double dtMin = 0;
        if (interval && *interval > 0) {
            dtMin = *interval * minutesPerUnit(nc, "actual_sampling_interval", "");
        } else if (runMin > 0) {
            dtMin = runMin / static_cast<double>(*n);
            out.notes.push_back("шаг отсчётов не указан, взят из длительности записи");
        } else {
            return Status::failure(name + ": в файле нет шага отсчётов (actual_sampling_interval)");
        }
        if (!(dtMin > 0) || !std::isfinite(dtMin) || !std::isfinite(delayMin))
            return Status::failure(name + ": неверный шаг отсчётов");
        out.signal.samples = std::move(values);
        out.signal.t0 = delayMin;
        out.signal.dt = dtMin;
        out.notes.push_back(std::to_string(*n) + " точек, шаг " + format("%.6g", dtMin * 60) +
                            " с, начало " + format("%.6g", delayMin) + " мин");
    }

    // Passport.
    Passport& p = out.passport;
    p.sample = globalText(nc, "sample_name");
    if (const std::string id = globalText(nc, "sample_id"); !blank(id))
        p.sample2 = id;
    p.operatorName = globalText(nc, "operator_name");
    p.method = globalText(nc, "company_method_name");
    if (p.method.empty())
        p.method = globalText(nc, "detection_method_name");
    p.detector = globalText(nc, "detector_name");
    const std::string detectorComments = globalText(nc, "detector_method_comments");
    if (p.detector.empty())
        p.detector = detectorComments;
    if (auto amount = numberFromText(globalText(nc, "sample_amount")); amount && *amount > 0)
        p.sampleAmount = *amount;
    p.duration = runMin > 0 ? runMin : static_cast<double>(out.signal.size()) * out.signal.dt;
    const std::string kind = globalText(nc, "separation_experiment_type");
    std::string kindLower;
    for (char c : kind)
        kindLower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (kindLower.find("liquid") != std::string::npos || kindLower.find("lc") == 0)
        p.deadTime = 0;  // a liquid chromatograph's passport
    std::optional<std::time_t> injected =
        parseTimeStamp(globalText(nc, "injection_date_time_stamp"));
    if (!injected)
        injected = parseTimeStamp(globalText(nc, "dataset_date_time_stamp"));
    if (injected) {
        p.analysisTime = *injected;
        p.samplingTime = *injected;
    } else {
        p.analysisTime = 0;
        p.samplingTime = 0;
        out.notes.push_back("время ввода пробы не указано");
    }
    std::vector<std::string> comment;
    if (const std::string c = globalText(nc, "administrative_comments"); !blank(c))
        comment.push_back(c);
    if (const std::string c = globalText(nc, "experiment_title"); !blank(c) && c != p.sample)
        comment.push_back("Опыт: " + c);
    if (const std::string c = globalText(nc, "sample_id_comments"); !blank(c))
        comment.push_back("Проба: " + c);
    if (!blank(detectorComments) && detectorComments != p.detector)
        comment.push_back("Детектор: " + detectorComments);
    for (std::size_t i = 0; i < comment.size(); ++i)
        p.comment += (i ? "\r\n" : "") + comment[i];
    p.file = name;

    const std::string origin = globalText(nc, "dataset_origin");
    setProperty(out.tableProperties, kImportSourceKey,
                "AIA/ANDI" + (origin.empty() ? std::string() : ": " + origin));
    setProperty(out.tableProperties, kImportSignalUnitKey,
                unit.name.empty() ? std::string("не указана") : unit.name);

    // The reported peak table.
    const auto rtId = varId(nc, "peak_retention_time");
    const std::optional<std::size_t> peakCount = rtId ? vectorLength(nc, *rtId) : std::nullopt;
    if (peakCount && *peakCount > 0) {
        if (*peakCount > fileSize)
            return Status::failure(name + ": файл повреждён (пиков больше, чем байтов в файле)");
        const std::size_t m = *peakCount;
        const double k = minutesPerUnit(nc, "peak_retention_time", retentionUnit);
        const double kBounds = minutesPerUnit(nc, "peak_start_time", retentionUnit);
        const auto rt = numberVector(nc, "peak_retention_time", m);
        const auto start = numberVector(nc, "peak_start_time", m);
        const auto end = numberVector(nc, "peak_end_time", m);
        const auto area = numberVector(nc, "peak_area", m);
        const auto height = numberVector(nc, "peak_height", m);
        const auto names = textVector(nc, "peak_name", m);
        if (!rt)
            return Status::failure(name + ": не читается peak_retention_time");
        const Signal& s = out.signal;
        const auto last = static_cast<double>(s.size() - 1);
        std::vector<std::size_t> order(m);
        for (std::size_t i = 0; i < m; ++i)
            order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return (*rt)[a] * k < (*rt)[b] * k; });
        auto sampleOf = [&](double t) {
            const double pos = std::clamp((t - s.t0) / s.dt, 0.0, last);
            return static_cast<std::size_t>(std::lround(pos));
        };
        const double noise = noiseLevel(s.samples);
        std::size_t outside = 0, bounded = 0;
        for (std::size_t j = 0; j < m; ++j) {
            const std::size_t i = order[j];
            const double tr = (*rt)[i] * k;
            if (!std::isfinite(tr) || tr < s.t0 || tr > s.timeAt(last)) {
                ++outside;
                continue;
            }
            double a = NAN, b = NAN;
            if (start && end) {
                a = (*start)[i] * kBounds;
                b = (*end)[i] * kBounds;
            }
            if (!(std::isfinite(a) && std::isfinite(b) && a < tr && tr < b)) {
                const std::size_t leftLimit = j > 0 ? sampleOf((*rt)[order[j - 1]] * k) : 0;
                const std::size_t rightLimit =
                    j + 1 < m ? sampleOf((*rt)[order[j + 1]] * k) : s.size() - 1;
                const auto [l, r] = valleyBounds(s.samples, sampleOf(tr), leftLimit,
                                                 std::max(rightLimit, leftLimit), noise);
                a = s.timeAt(static_cast<double>(l));
                b = s.timeAt(static_cast<double>(r));
                ++bounded;
            }
            Peak peak(std::clamp(a, s.t0, s.timeAt(last)), std::clamp(b, s.t0, s.timeAt(last)));
            peak.apexTime = tr;
            if (names)
                peak.componentName = (*names)[i];
            setProperty(peak.properties, kReportedRetentionKey, format("%.6g", tr));
            if (area && std::isfinite((*area)[i]))
                setProperty(peak.properties, kReportedAreaKey, format("%.8g", (*area)[i]));
            if (height && std::isfinite((*height)[i]) && (*height)[i] >= 0)
                setProperty(peak.properties, kReportedHeightKey, format("%.8g", (*height)[i]));
            out.peaks.push_back(std::move(peak));
        }
        // Peaks that touch (the end of one is the start of the next, a drop
        // line in the other system) form one unresolved group on a common
        // baseline, as they were integrated there.
        std::size_t linked = 0;
        for (std::size_t i = 0; i + 1 < out.peaks.size(); ++i)
            if (std::fabs(out.peaks[i].endTime - out.peaks[i + 1].startTime) <= 0.5 * s.dt) {
                out.peaks[i].nextInGroup = static_cast<std::int32_t>(i + 1);
                ++linked;
            }
        if (linked > 0)
            out.notes.push_back(std::to_string(linked) +
                                " пар соседних пиков без разделения — общая базовая линия");
        out.notes.push_back(
            "таблица пиков: " + std::to_string(out.peaks.size()) + " пиков" +
            (names ? "" : ", без названий") +
            (bounded ? ", границы " + std::to_string(bounded) + " пиков найдены по сигналу"
                     : std::string()));
        if (outside > 0)
            out.notes.push_back(std::to_string(outside) + " пиков вне записи пропущены");
    }
    return out;
}

// netCDF status check for the writer.
struct Writer {
    int nc;
    int status = NC_NOERR;
    void check(int st) {
        if (status == NC_NOERR && st != NC_NOERR)
            status = st;
    }
    void text(int var, const char* name, const std::string& value) {
        // netCDF stores character attributes of at least one byte.
        const std::string v = value.empty() ? std::string(" ") : value;
        check(nc_put_att_text(nc, var, name, v.size(), v.data()));
    }
    int var(const char* name, nc_type type, std::initializer_list<int> dims) {
        int id = -1;
        std::vector<int> d(dims);
        check(nc_def_var(nc, name, type, static_cast<int>(d.size()), d.data(), &id));
        return id;
    }
};

// A text cut to at most `n` bytes on a UTF-8 character boundary.
std::string cut(const std::string& s, std::size_t n) {
    if (s.size() <= n)
        return s;
    std::size_t k = n;
    while (k > 0 && (static_cast<unsigned char>(s[k]) >> 6) == 2)
        --k;
    return s.substr(0, k);
}

}  // namespace

std::optional<std::time_t> parseTimeStamp(std::string_view text) {
    text = text::trim(text);
    if (text.size() < 14)
        return std::nullopt;
    int f[6] = {0, 0, 0, 0, 0, 0};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    std::size_t pos = 0;
    for (int i = 0; i < 6; ++i) {
        for (int k = 0; k < widths[i]; ++k, ++pos) {
            if (text[pos] < '0' || text[pos] > '9')
                return std::nullopt;
            f[i] = f[i] * 10 + (text[pos] - '0');
        }
    }
    if (f[0] < 1970 || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 ||
        f[5] > 60)
        return std::nullopt;
    long zoneSeconds = 0;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text.size() < pos + 5)
            return std::nullopt;
        int hh = 0, mm = 0;
        for (int k = 1; k <= 4; ++k)
            if (text[pos + k] < '0' || text[pos + k] > '9')
                return std::nullopt;
        hh = (text[pos + 1] - '0') * 10 + (text[pos + 2] - '0');
        mm = (text[pos + 3] - '0') * 10 + (text[pos + 4] - '0');
        zoneSeconds = (hh * 3600L + mm * 60L) * (text[pos] == '-' ? -1 : 1);
    }
    // Days from the civil date (proleptic Gregorian), independent of the
    // machine's time zone.
    const int y = f[1] <= 2 ? f[0] - 1 : f[0];
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int mp = (f[1] + 9) % 12;
    const int doy = (153 * mp + 2) / 5 + f[2] - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const long days = era * 146097L + doe - 719468L;
    const long long t = days * 86400LL + f[3] * 3600LL + f[4] * 60LL + f[5] - zoneSeconds;
    if (t < 0 || t > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<std::time_t>(t);
}

std::string formatTimeStamp(std::time_t t) {
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y%m%d%H%M%S+0000", &tm);
    return buf;
}

Result<ImportedChromatogram> readFile(const fs::path& path) {
    const std::string name = path.string();
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return Status::failure(name + ": файл не открывается: " + ec.message());
    {
        // The header is read in growing parts until it is complete.
        std::ifstream in(path, std::ios::binary);
        std::string head;
        std::size_t want = 64 * 1024;
        for (;;) {
            const std::size_t have = head.size();
            head.resize(std::min<std::size_t>(want, static_cast<std::size_t>(size)));
            in.read(head.data() + have, static_cast<std::streamsize>(head.size() - have));
            head.resize(have + static_cast<std::size_t>(in.gcount()));
            if (Status st = checkMagic(head, name); !st)
                return st;
            const HeaderCheck c = checkHeader(head);
            if (c == HeaderCheck::Ok)
                break;
            if (c == HeaderCheck::Bad || head.size() >= size || !in)
                return Status::failure(name + ": файл повреждён (заголовок netCDF)");
            want *= 4;
        }
    }
    NcFile nc;
    if (const int st = nc_open(path.c_str(), NC_NOWRITE, nc.out()); st != NC_NOERR)
        return Status::failure(name + ": файл netCDF не читается: " + ncMessage(st));
    Result<ImportedChromatogram> r = readOpen(nc.id(), static_cast<std::size_t>(size), name);
    return r;
}

Result<ImportedChromatogram> readMemory(std::string_view bytes, const std::string& name) {
    if (Status st = checkMagic(bytes, name); !st)
        return st;
    if (checkHeader(bytes) != HeaderCheck::Ok)
        return Status::failure(name + ": файл повреждён (заголовок netCDF)");
    // The library does not write to memory opened without NC_WRITE, but its
    // interface takes a non-const pointer: give it its own copy.
    std::string copy(bytes);
    NcFile nc;
    if (const int st = nc_open_mem(name.c_str(), NC_NOWRITE, copy.size(), copy.data(), nc.out());
        st != NC_NOERR)
        return Status::failure(name + ": файл netCDF не читается: " + ncMessage(st));
    return readOpen(nc.id(), copy.size(), name);
}

Result<std::string> encode(const Signal& signal, const Passport& passport, const PeakTable& peaks) {
    if (signal.empty())
        return Status::failure("хроматограмма без точек не записывается в AIA");
    const std::size_t n = signal.size();
    const std::size_t m = peaks.size();
    // The classic layout holds variables below 2 GiB; larger traces need the
    // 64-bit offset variant, which every netCDF-3 reader knows as well.
    const int ncFormat = n * 4 > 0x7FFF0000ULL ? NC_64BIT_OFFSET : 0;
    NcFile file;
    if (const int st =
            nc_create_mem("zelmora.cdf", NC_CLOBBER | ncFormat, n * 4 + 65536, file.out());
        st != NC_NOERR)
        return Status::failure("не создаётся файл netCDF: " + ncMessage(st));
    Writer w{file.id()};
    const int g = NC_GLOBAL;

    std::size_t nameLen = 32;
    for (const Peak& p : peaks.peaks)
        if (p.componentName.size() > nameLen)
            nameLen = 255;
    int d2, d4, d8, d16, d32, d64, d128, d255, dErr, dPoint, dPeak;
    w.check(nc_def_dim(w.nc, "_2_byte_string", 2, &d2));
    w.check(nc_def_dim(w.nc, "_4_byte_string", 4, &d4));
    w.check(nc_def_dim(w.nc, "_8_byte_string", 8, &d8));
    w.check(nc_def_dim(w.nc, "_16_byte_string", 16, &d16));
    w.check(nc_def_dim(w.nc, "_32_byte_string", 32, &d32));
    w.check(nc_def_dim(w.nc, "_64_byte_string", 64, &d64));
    w.check(nc_def_dim(w.nc, "_128_byte_string", 128, &d128));
    w.check(nc_def_dim(w.nc, "_255_byte_string", 255, &d255));
    w.check(nc_def_dim(w.nc, "error_number", 1, &dErr));
    w.check(nc_def_dim(w.nc, "point_number", n, &dPoint));
    w.check(nc_def_dim(w.nc, "peak_number", m > 0 ? m : NC_UNLIMITED, &dPeak));

    const std::string stamp = formatTimeStamp(passport.analysisTime);
    w.text(g, "dataset_completeness", m > 0 ? "C1+C2" : "C1");
    w.text(g, "aia_template_revision", "1.0");
    w.text(g, "netcdf_revision", "2.3");
    w.text(g, "languages", "Russian");
    w.text(g, "administrative_comments", passport.comment);
    w.text(g, "dataset_origin", "Zelmora");
    w.text(g, "dataset_owner", "");
    w.text(g, "dataset_date_time_stamp", stamp);
    w.text(g, "injection_date_time_stamp", stamp);
    w.text(g, "experiment_title", passport.sample);
    w.text(g, "operator_name", passport.operatorName);
    w.text(g, "separation_experiment_type",
           passport.isGas() ? "gas chromatography" : "liquid chromatography");
    w.text(g, "company_method_name", passport.method);
    w.text(g, "sample_name", passport.sample);
    w.text(g, "sample_id", passport.sample2);
    w.text(g, "sample_amount", format("%.10g", passport.sampleAmount));
    w.text(g, "detector_name", passport.detector);
    w.text(g, "detector_unit", "mV");
    w.text(g, "retention_unit", "seconds");
    w.text(g, "peak_processing_method_name", passport.method);

    const int vErr = w.var("error_log", NC_CHAR, {dErr, d64});
    const int vMax = w.var("detector_maximum_value", NC_FLOAT, {});
    const int vMin = w.var("detector_minimum_value", NC_FLOAT, {});
    const int vRun = w.var("actual_run_time_length", NC_DOUBLE, {});
    const int vStep = w.var("actual_sampling_interval", NC_DOUBLE, {});
    const int vDelay = w.var("actual_delay_time", NC_DOUBLE, {});
    const int vOrd = w.var("ordinate_values", NC_FLOAT, {dPoint});
    w.text(vOrd, "uniform_sampling_flag", "Y");
    w.text(vOrd, "autosampler_position", std::to_string(passport.vial));
    const int vRt = w.var("peak_retention_time", NC_DOUBLE, {dPeak});
    const int vStart = w.var("peak_start_time", NC_DOUBLE, {dPeak});
    const int vEnd = w.var("peak_end_time", NC_DOUBLE, {dPeak});
    const int vArea = w.var("peak_area", NC_FLOAT, {dPeak});
    const int vHeight = w.var("peak_height", NC_FLOAT, {dPeak});
    const int vAmount = w.var("peak_amount", NC_FLOAT, {dPeak});
    const int vName = w.var("peak_name", NC_CHAR, {dPeak, nameLen == 32 ? d32 : d255});
    (void)d2, (void)d4, (void)d8, (void)d16, (void)d128;
    w.check(nc_enddef(w.nc));
    if (w.status != NC_NOERR)
        return Status::failure("не записывается заголовок файла AIA: " + ncMessage(w.status));

    std::string errorLog(64, '\0');
    const std::size_t e0[2] = {0, 0}, e1[2] = {1, 64};
    w.check(nc_put_vara_text(w.nc, vErr, e0, e1, errorLog.data()));
    const auto [lo, hi] = std::minmax_element(signal.samples.begin(), signal.samples.end());
    w.check(nc_put_var_float(w.nc, vMax, &*hi));
    w.check(nc_put_var_float(w.nc, vMin, &*lo));
    const double run = static_cast<double>(n) * signal.dt * 60;
    const double step = signal.dt * 60;
    const double delay = signal.t0 * 60;
    w.check(nc_put_var_double(w.nc, vRun, &run));
    w.check(nc_put_var_double(w.nc, vStep, &step));
    w.check(nc_put_var_double(w.nc, vDelay, &delay));
    w.check(nc_put_var_float(w.nc, vOrd, signal.samples.data()));
    if (m > 0) {
        std::vector<double> rt(m), a(m), b(m);
        std::vector<float> area(m), height(m), amount(m);
        std::string names(m * nameLen, '\0');
        for (std::size_t i = 0; i < m; ++i) {
            const Peak& p = peaks.peaks[i];
            rt[i] = p.apexTime * 60;
            a[i] = p.startTime * 60;
            b[i] = p.endTime * 60;
            area[i] = static_cast<float>(p.area * 60);
            height[i] = static_cast<float>(p.height);
            amount[i] = static_cast<float>(p.concentration);
            const std::string nm = cut(p.componentName, nameLen);
            std::memcpy(names.data() + i * nameLen, nm.data(), nm.size());
        }
        const std::size_t s0[2] = {0, 0}, s1[2] = {m, nameLen};
        w.check(nc_put_var_double(w.nc, vRt, rt.data()));
        w.check(nc_put_var_double(w.nc, vStart, a.data()));
        w.check(nc_put_var_double(w.nc, vEnd, b.data()));
        w.check(nc_put_var_float(w.nc, vArea, area.data()));
        w.check(nc_put_var_float(w.nc, vHeight, height.data()));
        w.check(nc_put_var_float(w.nc, vAmount, amount.data()));
        w.check(nc_put_vara_text(w.nc, vName, s0, s1, names.data()));
    }
    if (w.status != NC_NOERR)
        return Status::failure("не записываются данные файла AIA: " + ncMessage(w.status));
    NC_memio memio{};
    if (const int st = nc_close_memio(file.release(), &memio); st != NC_NOERR) {
        std::free(memio.memory);
        return Status::failure("не записывается файл AIA: " + ncMessage(st));
    }
    std::string bytes(static_cast<const char*>(memio.memory), memio.size);
    std::free(memio.memory);
    return bytes;
}

Status writeFile(const fs::path& path, const Signal& signal, const Passport& passport,
                 const PeakTable& peaks) {
    Result<std::string> bytes = encode(signal, passport, peaks);
    if (!bytes)
        return bytes.status();
    if (const Status written = paths::writeFileAtomically(path, *bytes); !written)
        return Status::failure("не удалось записать " + path.string() + ": " + written.message());
    return {};
}

}  // namespace zelmora::aia
