#include "document/csv_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "app/text.h"
#include "document/aia_file.h"

namespace zelmora {

namespace {

std::vector<std::string_view> splitLines(std::string_view s) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\n' || s[i] == '\r') {
            lines.push_back(s.substr(start, i - start));
            if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < s.size())
        lines.push_back(s.substr(start));
    return lines;
}

std::vector<std::string_view> splitFields(std::string_view line, char sep) {
    std::vector<std::string_view> out;
    if (sep == ' ') {
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
                ++i;
            if (i >= line.size())
                break;
            const std::size_t b = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                ++i;
            out.push_back(line.substr(b, i - b));
        }
        return out;
    }
    std::size_t start = 0;
    for (std::size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == sep) {
            std::string_view f = text::trim(line.substr(start, i - start));
            if (f.size() >= 2 && f.front() == '"' && f.back() == '"')
                f = f.substr(1, f.size() - 2);
            out.push_back(f);
            start = i + 1;
        }
    }
    return out;
}

std::optional<double> parseNumber(std::string_view f, bool decimalComma) {
    f = text::trim(f);
    if (f.empty() || f.size() > 64)
        return std::nullopt;
    std::string s(f);
    if (decimalComma)
        std::replace(s.begin(), s.end(), ',', '.');
    const char* b = s.data();
    if (*b == '+')
        ++b;
    double v = 0;
    const auto [p, ec] = std::from_chars(b, s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// The unit of a header cell: inside brackets, after a comma, or the cell.
std::string headerUnit(std::string_view cell) {
    cell = text::trim(cell);
    for (auto [open, close] : {std::pair{'(', ')'}, std::pair{'[', ']'}}) {
        const auto a = cell.rfind(open);
        const auto b = cell.rfind(close);
        if (a != std::string_view::npos && b != std::string_view::npos && b > a)
            return std::string(text::trim(cell.substr(a + 1, b - a - 1)));
    }
    const auto c = cell.rfind(',');
    if (c != std::string_view::npos)
        return std::string(text::trim(cell.substr(c + 1)));
    const auto sp = cell.rfind(' ');
    if (sp != std::string_view::npos) {
        // "Signal mV": the last word when it names a unit.
        const std::string last(text::trim(cell.substr(sp + 1)));
        if (parseSignalUnit(last).isVoltage || parseTimeUnit(last).known)
            return last;
    }
    return std::string(cell);
}

char detectSeparator(const std::vector<std::string_view>& rows) {
    std::size_t semi = 0, tab = 0, comma = 0;
    for (std::string_view r : rows) {
        semi += std::count(r.begin(), r.end(), ';');
        tab += std::count(r.begin(), r.end(), '\t');
        comma += std::count(r.begin(), r.end(), ',');
    }
    if (semi > 0)
        return ';';
    if (tab > 0)
        return '\t';
    if (comma > 0)
        return ',';
    return ' ';
}

// A header cell that names the column rather than its unit: units are short
// ("pA", "mAU", "counts", "25uV").
bool looksLikeTitle(const std::string& cell) {
    const std::string l = text::foldCase(cell);
    for (const char* title : {"signal", "сигнал", "value", "intensity", "response", "y", "data"})
        if (l == title)
            return true;
    return cell.size() > 8;
}

std::string formatNumber(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

}  // namespace

Result<ImportedChromatogram> readCsv(std::string_view bytes, const std::string& name,
                                     const CsvImportOptions& options) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (bytes.find('\0') != std::string_view::npos)
        return Status::failure(name + ": не текстовый файл CSV");
    if (options.timeColumn < 0 || options.signalColumn < 0 ||
        options.timeColumn == options.signalColumn)
        return Status::failure(name + ": неверные номера столбцов времени и сигнала");
    ImportedChromatogram out;
    std::vector<std::string_view> rows;
    std::vector<std::size_t> rowLine;
    std::string notes;
    const std::vector<std::string_view> lines = splitLines(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view l = text::trim(lines[i]);
        if (l.empty())
            continue;
        if (l.front() == '#') {
            if (notes.size() < 4000)
                notes += (notes.empty() ? "" : "\r\n") + std::string(text::trim(l.substr(1)));
            continue;
        }
        rows.push_back(l);
        rowLine.push_back(i + 1);
    }
    if (rows.empty())
        return Status::failure(name + ": в файле нет строк с данными");
    const std::vector<std::string_view> sample(
        rows.begin(), rows.begin() + std::min<std::size_t>(rows.size(), 20));
    const char sep = options.separator.value_or(detectSeparator(sample));
    bool comma = false;
    if (options.decimalComma) {
        comma = *options.decimalComma;
    } else if (sep != ',') {
        for (std::string_view r : sample)
            if (r.find(',') != std::string_view::npos && r.find('.') == std::string_view::npos)
                comma = true;
    }
    if (comma && sep == ',')
        return Status::failure(name + ": десятичная запятая при разделителе-запятой неоднозначна");
    const auto tc = static_cast<std::size_t>(options.timeColumn);
    const auto sc = static_cast<std::size_t>(options.signalColumn);
    const std::size_t need = std::max(tc, sc) + 1;

    // A header row: the first row whose time or signal cell is not a number.
    std::size_t first = 0;
    std::string timeHeader, signalHeader;
    {
        const auto f = splitFields(rows[0], sep);
        if (f.size() >= need && (!parseNumber(f[tc], comma) || !parseNumber(f[sc], comma))) {
            timeHeader = headerUnit(f[tc]);
            signalHeader = headerUnit(f[sc]);
            first = 1;
        }
    }
    const std::size_t n = rows.size() - first;
    if (n < 2)
        return Status::failure(name + ": меньше двух строк с данными");
    std::vector<double> times(n), values(n);
    int decimals = 0;  // of the time column, to tell rounding from unevenness
    for (std::size_t i = 0; i < n; ++i) {
        const auto f = splitFields(rows[first + i], sep);
        const std::string where = name + ", строка " + std::to_string(rowLine[first + i]);
        if (f.size() < need)
            return Status::failure(where + ": нет столбца " + std::to_string(need));
        const auto t = parseNumber(f[tc], comma);
        const auto v = parseNumber(f[sc], comma);
        if (!t || !v)
            return Status::failure(where + ": не число");
        times[i] = *t;
        const std::string_view tf = text::trim(f[tc]);
        if (const auto dot = tf.find_first_of(".,"); dot != std::string_view::npos) {
            const auto e = tf.find_first_of("eE", dot);
            const auto digits = (e == std::string_view::npos ? tf.size() : e) - dot - 1;
            decimals = std::max(decimals, static_cast<int>(std::min<std::size_t>(digits, 17)));
        }
        values[i] = *v;
    }

    bool minutes = true;
    if (options.timeInMinutes) {
        minutes = *options.timeInMinutes;
    } else if (const TimeUnit tu = parseTimeUnit(timeHeader); tu.known) {
        minutes = tu.minutes;
    } else {
        out.notes.push_back("единица времени не указана, взяты минуты");
    }
    const std::string unitText = options.signalUnit.value_or(signalHeader);
    SignalUnit unit = parseSignalUnit(unitText);
    if (unitText.empty() || (!options.signalUnit && !unit.isVoltage && looksLikeTitle(unitText))) {
        // A column title without a unit ("Signal", "Detector response").
        unit = parseSignalUnit("mV");
        unit.name.clear();
        out.notes.push_back("единица сигнала не указана, взяты мВ");
    }
    const double k = minutes ? 1.0 : 1.0 / 60;
    for (double& t : times)
        t *= k;
    for (double& v : values)
        v *= unit.toMillivolts;

    std::vector<double> steps(n - 1);
    for (std::size_t i = 0; i + 1 < n; ++i)
        steps[i] = times[i + 1] - times[i];
    std::vector<double> sorted = steps;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                     sorted.end());
    const double median = sorted[sorted.size() / 2];
    // Two times rounded to the last printed digit differ from the true step
    // by up to one unit of that digit.
    const double rounding = decimals > 0 ? 1.01 * std::pow(10.0, -decimals) * k : 0.0;
    const double tolerance = std::max(0.01 * median, rounding);
    const bool even = median > 0 && median > 2 * rounding &&
                      std::all_of(steps.begin(), steps.end(),
                                  [&](double s) { return std::fabs(s - median) <= tolerance; });
    if (even) {
        out.signal.t0 = times.front();
        out.signal.dt = (times.back() - times.front()) / static_cast<double>(n - 1);
        out.signal.samples.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            out.signal.samples[i] = static_cast<float>(values[i]);
    } else {
        Result<Signal> s = resampleEvenly(times, values);
        if (!s)
            return Status::failure(name + ": " + s.message());
        out.signal = std::move(s).value();
        out.notes.push_back("неравномерные времена пересчитаны на равный шаг " +
                            formatNumber(out.signal.dt * 60) + " с");
    }
    if (!(out.signal.dt > 0) || !std::isfinite(out.signal.dt))
        return Status::failure(name + ": неверный шаг времени");

    out.notes.insert(out.notes.begin(), std::to_string(n) + " точек, шаг " +
                                            formatNumber(out.signal.dt * 60) + " с, время в " +
                                            (minutes ? "минутах" : "секундах") + ", сигнал" +
                                            (unit.name.empty() ? " в мВ" : " в " + unit.name) +
                                            (unit.isVoltage      ? ""
                                             : unit.name.empty() ? ""
                                                                 : " (числа взяты как есть)"));
    out.passport.sample = std::filesystem::path(name).stem().string();
    out.passport.comment = notes;
    out.passport.duration = static_cast<double>(out.signal.size()) * out.signal.dt;
    out.passport.file = name;
    setProperty(out.tableProperties, kImportSourceKey, "CSV");
    setProperty(out.tableProperties, kImportSignalUnitKey, unit.name.empty() ? "mV" : unit.name);
    return out;
}

Result<ImportedChromatogram> readCsvFile(const std::filesystem::path& path,
                                         const CsvImportOptions& options) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Status::failure(path.string() + ": файл не открывается");
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad())
        return Status::failure(path.string() + ": ошибка чтения");
    return readCsv(ss.str(), path.string(), options);
}

Result<ImportedChromatogram> importChromatogramFile(const std::filesystem::path& path,
                                                    const CsvImportOptions& csvOptions) {
    char head[4] = {0, 0, 0, 0};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Status::failure(path.string() + ": файл не открывается");
    in.read(head, 4);
    if (in.gcount() == 4 && std::string_view(head, 3) == "CDF")
        return aia::readFile(path);
    std::string ext = path.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".cdf" || ext == ".nc")
        return aia::readFile(path);  // refused there with the reason
    return readCsvFile(path, csvOptions);
}

}  // namespace zelmora
