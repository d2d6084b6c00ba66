#include "calc/transformer_oil.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/text.h"

namespace zelmora {
namespace {

constexpr double kDaysPerMonth = 30;

// Seconds of the wall-clock time of t, as if the local zone had no summer time.
long long wallSeconds(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return static_cast<long long>(timegm(&local));
}

}  // namespace

OilAnalysis emptyOilAnalysis(std::time_t moment, const OilGasList& gases) {
    OilAnalysis a;
    a.moment = moment;
    for (std::size_t i = 0; i < kOilGasCount; ++i) {
        a.gases[i].formula = gases[i].formula;
        a.gases[i].minimum = kOilMinimumSignificant[i];
    }
    return a;
}

std::vector<OilAnalysis> buildOilHistory(const std::vector<OilSampleResults>& samples,
                                         const OilGasList& gases) {
    std::vector<OilAnalysis> history;
    history.reserve(samples.size());
    for (const OilSampleResults& s : samples) {
        OilAnalysis a = emptyOilAnalysis(s.moment, gases);
        for (const OilSampleResults::Value& r : s.results) {
            for (std::size_t i = 0; i < kOilGasCount; ++i) {
                if (!gases[i].name.empty() && r.component == gases[i].name) {
                    a.gases[i].value = r.value;
                    a.gases[i].name = r.component;
                }
            }
        }
        history.push_back(std::move(a));
    }
    std::stable_sort(
        history.begin(), history.end(),
        [](const OilAnalysis& a, const OilAnalysis& b) { return a.moment < b.moment; });
    return history;
}

bool hasSameMoment(const std::vector<OilAnalysis>& history) {
    for (std::size_t i = 1; i < history.size(); ++i) {
        if (history[i].moment == history[i - 1].moment)
            return true;
    }
    return false;
}

int mergeSameMoment(std::vector<OilAnalysis>& history) {
    if (history.empty())
        return 0;
    // Per group: how many analyses are averaged, and the sums whose mean the
    // head shows (a completing analysis adds its value count times, so that
    // the mean rises by exactly that value).
    std::size_t head = 0;
    int count = 1;
    std::array<double, kOilGasCount> sum{};
    auto startGroup = [&](std::size_t i) {
        head = i;
        count = 1;
        for (std::size_t g = 0; g < kOilGasCount; ++g)
            sum[g] = history[i].gases[g].value;
    };
    startGroup(0);
    for (std::size_t i = 1; i < history.size(); ++i) {
        OilAnalysis& a = history[i];
        if (a.moment != history[head].moment) {
            startGroup(i);
            continue;
        }
        OilAnalysis& h = history[head];
        bool overlap = false;
        for (std::size_t g = 0; g < kOilGasCount; ++g)
            overlap = overlap || (a.gases[g].measured() && h.gases[g].measured());
        if (overlap)
            ++count;
        for (std::size_t g = 0; g < kOilGasCount; ++g) {
            sum[g] += overlap ? a.gases[g].value : a.gases[g].value * count;
            h.gases[g].value = sum[g] / count;
            if (!h.gases[g].measured())
                h.gases[g].name = a.gases[g].name;
        }
        a.merged = true;
    }
    const auto before = history.size();
    std::erase_if(history, [](const OilAnalysis& a) { return a.merged; });
    return static_cast<int>(before - history.size());
}

OilCellTint oilCellTint(double value, double boundary) {
    if (!(boundary > 0) || !std::isfinite(value))
        return OilCellTint::None;
    const double share = value / boundary;
    if (share >= 1)
        return OilCellTint::High;
    if (share >= 0.1)
        return OilCellTint::Notable;
    return OilCellTint::None;
}

long long oilWholeDays(std::time_t from, std::time_t to) {
    const long long seconds = wallSeconds(to) - wallSeconds(from);
    // Truncation towards zero drops the fraction of a day either way.
    return seconds / 86400;
}

const char* oilDefectText(int base) {
    static const char* const kTexts[kOilBaseCount] = {
        "Норма",
        "Частичные разряды с низкой плотностью энергии",
        "Частичные разряды с высокой плотностью энергии",
        "Разряды малой мощности",
        "Разряды большой мощности",
        "Термический дефект малой температуры ( <150 С )",
        "Термический дефект в диапазоне низких температур ( 150-300 С )",
        "Термический дефект в диапазоне средних температур ( 300-700 С )",
        "Термический дефект высокой температуры ( >700 С )",
    };
    return base >= 0 && base < kOilBaseCount ? kTexts[base] : "";
}

namespace {

std::optional<double> ratio(double a, double b) {
    if (b == 0 || !std::isfinite(a) || !std::isfinite(b))
        return std::nullopt;
    return a / b;
}

}  // namespace

OilRatios oilRatios(const OilAnalysis& a) {
    auto v = [&](std::size_t g) { return a.gases[g].value; };
    return {ratio(v(kOilC2H2), v(kOilC2H4)), ratio(v(kOilCH4), v(kOilH2)),
            ratio(v(kOilC2H4), v(kOilC2H6)), ratio(v(kOilCO2), v(kOilCO))};
}

int oilBasePattern(const OilRatios& ratios) {
    if (!ratios.p || !ratios.q || !ratios.r)
        return -1;
    const double p = *ratios.p, q = *ratios.q, r = *ratios.r;
    const bool qMid = q >= 0.1 && q <= 1;
    int base = -1;
    if (p < 0.1 && qMid && r <= 1)
        base = 0;
    if (p < 0.1 && q < 0.1 && r <= 1)
        base = 1;
    if (p >= 0.1 && p <= 3 && q < 0.1 && r <= 1)
        base = 2;
    if (p > 0.1 && qMid && r >= 1 && r <= 3)
        base = 3;
    if (p >= 0.1 && qMid && r >= 3)
        base = 4;
    if (p < 0.1 && qMid && r >= 1 && r <= 3)
        base = 5;
    if (p < 0.1 && q >= 1 && r < 1)
        base = 6;
    if (p < 0.1 && q >= 1 && r >= 1 && r <= 3)
        base = 7;
    if (p < 0.1 && q >= 1 && r >= 3)
        base = 8;
    return base;
}

OilDiagnosis DiagnoseOil(const std::vector<OilAnalysis>& history, int k, const OilGasList& gases) {
    OilDiagnosis d;
    if (k < 0 || static_cast<std::size_t>(k) >= history.size())
        return d;
    const OilAnalysis& now = history[static_cast<std::size_t>(k)];
    const OilAnalysis* before = k >= 1 ? &history[static_cast<std::size_t>(k - 1)] : nullptr;
    const long long days = before != nullptr ? oilWholeDays(before->moment, now.moment) : 0;
    bool allBelow = true, noFastGrowth = true, noDecrease = true;
    for (std::size_t i = 0; i < kOilGasCount; ++i) {
        const double v = now.gases[i].value;
        if (!(v < gases[i].boundary))
            allBelow = false;
        OilGrowth& g = d.growth[i];
        if (before == nullptr)
            continue;
        if (days <= 0) {
            // Less than a day between the samplings: no rate can be told.
            g.known = false;
            continue;
        }
        const double previous = before->gases[i].value;
        g.rate = (v - previous) / (static_cast<double>(days) / kDaysPerMonth);
        g.relative =
            previous != 0 ? g.rate / previous * 100 : g.rate / kOilMinimumSignificant[i] * 100;
        if (g.rate > 0 && 5 * kOilMinimumSignificant[i] / g.rate < d.months)
            d.months = 5 * kOilMinimumSignificant[i] / g.rate;
        if (g.relative > 10)
            noFastGrowth = false;
        if (g.relative < 0)
            noDecrease = false;
    }
    if (allBelow) {
        d.allBelow = true;
        d.code = 0;
        return d;
    }
    d.ratios = oilRatios(now);
    const int base = oilBasePattern(*d.ratios);
    if (base < 0) {
        d.code = kOilNoPattern;
        return d;
    }
    const std::optional<double> s = d.ratios->s;
    const bool insulation = s && (*s < 5 || *s > 13);
    d.code = base + (insulation ? kOilSolidInsulation : 0) + (noDecrease ? 0 : kOilDeveloping) +
             (noFastGrowth ? 0 : kOilRemoval);
    return d;
}

int OilDiagnosis::nextMonths() const {
    return static_cast<int>(std::floor(months));
}

int OilDiagnosis::nextDays() const {
    return static_cast<int>(std::floor((months - std::floor(months)) * kDaysPerMonth + 0.5));
}

std::string OilDiagnosis::text() const {
    if (code < 0)
        return "Неизвестный дефект или ошибка данных";
    std::string out = oilDefectText(base());
    if (solidInsulation())
        out += ", повреждением затронута твердая изоляция";
    if (developing())
        out += ", развивается вглубь";
    if (removal())
        out += " - слудет планировать вывод трансформатора из работы";
    else
        out += text::format(" - следующий анализ через %d месяцев, %d дней.", nextMonths(),
                            nextDays());
    return out;
}

std::vector<OilChartPoint> oilChartPoints(const std::vector<OilAnalysis>& history, int k, int g) {
    if (k < 0 || static_cast<std::size_t>(k) >= history.size() || g < 0 ||
        g >= static_cast<int>(kOilGasCount))
        return {};
    const auto gas = static_cast<std::size_t>(g);
    std::vector<OilChartPoint> points;
    for (int j = k - 2; j <= k; ++j) {
        if (j <= 0) {
            points.push_back({0, history.front().gases[gas].value});
            continue;
        }
        const OilAnalysis& a = history[static_cast<std::size_t>(j)];
        points.push_back({static_cast<double>(oilWholeDays(history.front().moment, a.moment)),
                          a.gases[gas].value});
    }
    return points;
}

std::string oilDateText(std::time_t moment) {
    std::tm local{};
    localtime_r(&moment, &local);
    return text::format("%02d.%02d.%04d", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

namespace {

std::vector<std::string_view> splitCells(std::string_view line) {
    std::vector<std::string_view> cells;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = line.find(',', start);
        cells.push_back(text::trim(line.substr(start, comma - start)));
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return cells;
}

std::optional<std::time_t> parseMoment(std::string_view s) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    char tail = 0;
    const std::string str(s);
    if (std::sscanf(str.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &se, &tail) !=
            6 ||
        str.size() != 19)
        return std::nullopt;
    if (y < 1970 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 59 || h < 0 ||
        mi < 0 || se < 0)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = se;
    tm.tm_isdst = -1;
    const std::tm asked = tm;
    const std::time_t t = std::mktime(&tm);
    // mktime moves an impossible date (31 February) on; such a date is refused.
    if (t == static_cast<std::time_t>(-1) || tm.tm_mday != asked.tm_mday ||
        tm.tm_mon != asked.tm_mon)
        return std::nullopt;
    return t;
}

}  // namespace

Result<std::vector<OilAnalysis>> parseOilHistoryCsv(std::string_view csv) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < csv.size()) {
        std::size_t end = csv.find('\n', start);
        if (end == std::string_view::npos)
            end = csv.size();
        std::string_view line = csv.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        start = end + 1;
    }
    if (lines.empty())
        return Status::failure("пустой файл истории: нет заголовка");
    std::string_view header = lines.front();
    if (header.starts_with("\xEF\xBB\xBF"))
        header.remove_prefix(3);
    const std::vector<std::string_view> names = splitCells(header);
    // Column of each gas; the date comes first.
    std::array<std::size_t, kOilGasCount> column{};
    std::array<bool, kOilGasCount> seen{};
    if (names.empty() || !text::equalsNoCase(names[0], "date"))
        return Status::failure("первый столбец заголовка должен быть \"date\"");
    if (names.size() != kOilGasCount + 1)
        return Status::failure(text::format(
            "в заголовке %zu столбцов, нужно 8: date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6", names.size()));
    for (std::size_t c = 1; c < names.size(); ++c) {
        std::size_t gas = kOilGasCount;
        for (std::size_t g = 0; g < kOilGasCount; ++g) {
            if (text::equalsNoCase(names[c], kOilGasFormulas[g]))
                gas = g;
        }
        if (gas == kOilGasCount)
            return Status::failure("неизвестный газ в заголовке: \"" + std::string(names[c]) +
                                   "\"");
        if (seen[gas])
            return Status::failure("газ " + std::string(kOilGasFormulas[gas]) +
                                   " указан в заголовке дважды");
        seen[gas] = true;
        column[gas] = c;
    }
    OilGasList formulas;
    std::vector<OilAnalysis> rows;
    for (std::size_t n = 1; n < lines.size(); ++n) {
        if (text::trim(lines[n]).empty())
            continue;
        const std::vector<std::string_view> cells = splitCells(lines[n]);
        // A value with a decimal comma splits the line: that is refused with the
        // line's number rather than read as another column.
        if (cells.size() != kOilGasCount + 1)
            return Status::failure(
                text::format("строка %zu: %zu ячеек вместо 8", n + 1, cells.size()));
        const std::optional<std::time_t> moment = parseMoment(cells[0]);
        if (!moment)
            return Status::failure(
                text::format("строка %zu: дата не в виде ГГГГ-ММ-ДД ЧЧ:ММ:СС", n + 1));
        OilAnalysis a = emptyOilAnalysis(*moment, formulas);
        for (std::size_t g = 0; g < kOilGasCount; ++g) {
            const std::string_view cell = cells[column[g]];
            if (cell.empty())
                continue;
            const std::optional<double> v = text::parseDouble(cell);
            if (!v || !std::isfinite(*v) || *v < 0)
                return Status::failure(text::format("строка %zu: значение %s не число от 0: \"%s\"",
                                                    n + 1, kOilGasFormulas[g],
                                                    std::string(cell).c_str()));
            a.gases[g].value = *v;
            a.gases[g].name = kOilGasFormulas[g];
        }
        rows.push_back(std::move(a));
    }
    std::stable_sort(rows.begin(), rows.end(), [](const OilAnalysis& a, const OilAnalysis& b) {
        return a.moment < b.moment;
    });
    return rows;
}

Status parseOilBoundaries(std::string_view textList, OilGasList& gases) {
    OilGasList out = gases;
    for (std::string_view item : splitCells(textList)) {
        if (item.empty())
            continue;
        const std::size_t eq = item.find('=');
        if (eq == std::string_view::npos)
            return Status::failure("граница не в виде ГАЗ=ЗНАЧЕНИЕ: \"" + std::string(item) + "\"");
        const std::string_view formula = text::trim(item.substr(0, eq));
        std::size_t gas = kOilGasCount;
        for (std::size_t g = 0; g < kOilGasCount; ++g) {
            if (text::equalsNoCase(formula, kOilGasFormulas[g]))
                gas = g;
        }
        if (gas == kOilGasCount)
            return Status::failure("неизвестный газ: \"" + std::string(formula) + "\"");
        const std::optional<double> v = text::parseDouble(text::trim(item.substr(eq + 1)));
        if (!v || !std::isfinite(*v) || *v < 0)
            return Status::failure("граничная концентрация " + std::string(kOilGasFormulas[gas]) +
                                   " не число от 0");
        out[gas].boundary = *v;
    }
    gases = out;
    return {};
}

}  // namespace zelmora
