#include "tests/support/trace_csv.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>
#include <string_view>

namespace zelmora::test {
namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::optional<double> number(std::string_view s) {
    s = trimmed(s);
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Fields of one CSV line; a field may be quoted ("" inside for a quote).
std::vector<std::string> fields(std::string_view line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                out.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                out.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            out.emplace_back();
        } else if (c != '\r') {
            out.back() += c;
        }
    }
    return out;
}

// Factor from a unit such as "uV", "25uV", "mV" to mV; 1 for a unit that is
// not a voltage.
double toMillivolts(std::string_view unit) {
    unit = trimmed(unit);
    std::size_t digits = 0;
    while (digits < unit.size() &&
           ((unit[digits] >= '0' && unit[digits] <= '9') || unit[digits] == '.'))
        ++digits;
    double count = 1;
    if (digits > 0) {
        const std::optional<double> n = number(unit.substr(0, digits));
        if (!n || !(*n > 0))
            return 1;
        count = *n;
    }
    const std::string_view base = trimmed(unit.substr(digits));
    if (base == "uV" || base == "µV")
        return count * 1e-3;
    if (base == "mV")
        return count;
    if (base == "V")
        return count * 1e3;
    return 1;
}

Status lineError(const std::filesystem::path& file, int line, const std::string& what) {
    return Status::failure(file.filename().string() + ", строка " + std::to_string(line) + ": " +
                           what);
}

}  // namespace

std::filesystem::path realDataFile(const std::string& name) {
    return std::filesystem::path(ZELMORA_TEST_DATA) / "realdata" / name;
}

Result<TraceCsv> readTraceCsv(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure("не удалось открыть " + file.string());
    TraceCsv trace;
    std::vector<double> times;
    std::vector<double> values;
    bool header = false;
    int lineNo = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#')
            continue;
        const std::vector<std::string> f = fields(text);
        if (!header) {
            if (f.size() != 2 || trimmed(f[0]) != "minutes")
                return lineError(file, lineNo, "ожидался заголовок \"minutes,<единица>\"");
            trace.unit = std::string(trimmed(f[1]));
            header = true;
            continue;
        }
        const std::optional<double> t = f.size() == 2 ? number(f[0]) : std::nullopt;
        const std::optional<double> v = f.size() == 2 ? number(f[1]) : std::nullopt;
        if (!t || !v)
            return lineError(file, lineNo, "ожидались время и значение");
        times.push_back(*t);
        values.push_back(*v);
    }
    if (!header)
        return Status::failure(file.filename().string() + ": нет заголовка");
    const std::size_t n = times.size();
    if (n < 3)
        return Status::failure(file.filename().string() + ": меньше трёх точек");
    const double dt = (times.back() - times.front()) / static_cast<double>(n - 1);
    if (!(dt > 0))
        return Status::failure(file.filename().string() + ": время не растёт");
    for (std::size_t i = 0; i < n; ++i)
        if (std::fabs(times[i] - (times.front() + static_cast<double>(i) * dt)) > 0.01 * dt)
            return Status::failure(file.filename().string() + ": точка " + std::to_string(i) +
                                   " не на равномерной шкале времени");
    trace.toSignal = toMillivolts(trace.unit);
    trace.signal.t0 = times.front();
    trace.signal.dt = dt;
    trace.signal.samples.reserve(n);
    for (double v : values)
        trace.signal.samples.push_back(static_cast<float>(v * trace.toSignal));
    return trace;
}

Status loadChromatogramCsv(const std::filesystem::path& file, CZelmoraDoc& doc) {
    Result<TraceCsv> trace = readTraceCsv(file);
    if (!trace)
        return trace.status();
    doc.signal = std::move(trace->signal);
    doc.peaks.peaks.clear();
    doc.peaks.attach(&doc.signal);
    doc.passport.duration = doc.signal.timeAt(static_cast<double>(doc.signal.size() - 1));
    return {};
}

Result<std::vector<ReportedPeak>> readReportedPeaks(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure("не удалось открыть " + file.string());
    std::vector<ReportedPeak> peaks;
    bool header = false;
    int lineNo = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNo;
        const std::string_view text = trimmed(line);
        if (text.empty() || text.front() == '#')
            continue;
        const std::vector<std::string> f = fields(text);
        if (!header) {
            if (f.size() != 6 || f[0] != "rt_min")
                return lineError(file, lineNo, "ожидался заголовок таблицы пиков");
            header = true;
            continue;
        }
        if (f.size() != 6)
            return lineError(file, lineNo, "ожидалось шесть полей");
        const std::optional<double> rt = number(f[0]), area = number(f[1]), height = number(f[2]);
        if (!rt || !area || !height)
            return lineError(file, lineNo, "время, площадь и высота должны быть числами");
        ReportedPeak p{*rt, *area, *height, -1, -1, f[5]};
        for (auto [field, target] : {std::pair{&f[3], &p.start}, std::pair{&f[4], &p.end}}) {
            if (trimmed(*field).empty())
                continue;
            const std::optional<double> t = number(*field);
            if (!t)
                return lineError(file, lineNo, "начало и конец пика должны быть числами");
            *target = *t;
        }
        peaks.push_back(std::move(p));
    }
    if (!header)
        return Status::failure(file.filename().string() + ": нет заголовка");
    return peaks;
}

}  // namespace zelmora::test
