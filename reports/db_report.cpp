#include "reports/db_report.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <sstream>

#include "app/text.h"
#include "document/passport.h"
#include "reports/rtf_reader.h"

namespace zelmora {

namespace {

enum class FieldKind { Text, Date, Number, Key };

struct Field {
    const char* name;
    const char* select;  // the expression the statement reads
    const char* order;   // what it sorts by (folded names: case-blind)
    FieldKind kind;
    double width;  // share of the page in a table
};

// The fields of a result row, in the order the statement reads them.
constexpr Field kFields[] = {
    {"KeyAnalys", "Analyses.KeyAnalys", "Analyses.KeyAnalys", FieldKind::Key, 0.8},
    {"Station", "Analyses.Station", "Analyses.StationFold", FieldKind::Text, 2},
    {"Place", "Analyses.Place", "Analyses.PlaceFold", FieldKind::Text, 2},
    {"Date", "Analyses.Date", "Analyses.Date", FieldKind::Date, 1.7},
    {"AnDate", "Analyses.AnDate", "Analyses.AnDate", FieldKind::Date, 1.7},
    {"Operator", "Analyses.Operator", "Analyses.OperatorFold", FieldKind::Text, 1.6},
    {"Sample", "Analyses.Sample", "Analyses.SampleFold", FieldKind::Text, 2},
    {"Method", "Analyses.Method", "Analyses.MethodFold", FieldKind::Text, 1.6},
    {"FileName", "Analyses.FileName", "Analyses.FileName", FieldKind::Text, 2.5},
    {"Comment", "Analyses.Comment", "Analyses.Comment", FieldKind::Text, 2.5},
    {"Parametr", "Results.Parametr", "Results.ParametrFold", FieldKind::Text, 2},
    {"Value", "Results.Value", "Results.Value", FieldKind::Number, 1.3},
    {"Quant", "Parametres.Quant", "Parametres.QuantFold", FieldKind::Text, 0.9},
};
constexpr int kFieldCount = static_cast<int>(std::size(kFields));

std::optional<int> fieldIndex(std::string_view name) {
    for (int i = 0; i < kFieldCount; ++i)
        if (text::equalsNoCase(kFields[i].name, name))
            return i;
    return std::nullopt;
}

bool numericKind(FieldKind k) {
    return k == FieldKind::Number || k == FieldKind::Key;
}

std::vector<std::string> splitList(std::string_view s, char sep) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from <= s.size()) {
        std::size_t to = s.find(sep, from);
        if (to == std::string_view::npos)
            to = s.size();
        const std::string_view item = text::trim(s.substr(from, to - from));
        if (!item.empty())
            out.emplace_back(item);
        from = to + 1;
    }
    return out;
}

// A printf format for one real number: text, one conversion of f, e or g
// with flags, width and precision, text; "%%" allowed elsewhere. Anything
// else could read past the one number handed to printf.
bool numberFormatOk(std::string_view f) {
    int conversions = 0;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != '%')
            continue;
        if (i + 1 < f.size() && f[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < f.size() && std::string_view("-+ 0#").find(f[j]) != std::string_view::npos)
            ++j;
        // Width and precision of at most two digits: a cell, not a page.
        auto digits = [&] {
            const std::size_t from = j;
            while (j < f.size() && f[j] >= '0' && f[j] <= '9')
                ++j;
            return j - from <= 2;
        };
        if (!digits())
            return false;
        if (j < f.size() && f[j] == '.') {
            ++j;
            if (!digits())
                return false;
        }
        if (j >= f.size() || std::string_view("fFeEgG").find(f[j]) == std::string_view::npos)
            return false;
        ++conversions;
        i = j;
    }
    return conversions == 1;
}

std::string formatNumber(double v, const std::string& format) {
    // The format was checked when the definition was read.
    return text::format(format.empty() ? "%.4g" : format.c_str(), v);  // NOLINT
}

std::string formatDate(const std::string& iso, const std::string& format) {
    const std::optional<std::time_t> t = db::fromDbTime(iso);
    if (!t)
        return iso;
    return formatLocalTime(*t, format.empty() ? "%d.%m.%Y %H:%M:%S" : format.c_str());
}

std::string dayText(const db::CalendarDay& d) {
    return text::format("%02d.%02d.%04d", d.day, d.month, d.year);
}

bool anyMethod(const std::string& m) {
    return m.empty() || m == kAnyMethod;
}

// {Name} replaced by the value `lookup` gives; unknown names are left.
template <typename Lookup>
std::string substitute(std::string_view pattern, Lookup lookup) {
    std::string out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const std::size_t open = pattern.find('{', i);
        if (open == std::string_view::npos) {
            out += pattern.substr(i);
            break;
        }
        const std::size_t close = pattern.find('}', open);
        if (close == std::string_view::npos) {
            out += pattern.substr(i);
            break;
        }
        out += pattern.substr(i, open - i);
        const std::string_view name = pattern.substr(open + 1, close - open - 1);
        if (const std::optional<std::string> v = lookup(name))
            out += *v;
        else
            out += pattern.substr(open, close - open + 1);
        i = close + 1;
    }
    return out;
}

std::optional<std::string> selectionValue(const DbReportSelection& s, std::string_view name) {
    if (name == "Date" || name == "DateFrom")
        return dayText(s.from);
    if (name == "DateTo")
        return dayText(s.to);
    if (name == "Method")
        return anyMethod(s.method) ? std::string(kAnyMethod) : s.method;
    if (name == "Station")
        return s.station;
    if (name == "Place")
        return s.place;
    if (name == "Parametr")
        return s.parametr;
    return std::nullopt;
}

const char* totalLabel(DbTotal t) {
    switch (t) {
        case DbTotal::Count:
            return "Число значений";
        case DbTotal::Sum:
            return "Сумма";
        case DbTotal::Mean:
            return "Среднее";
        case DbTotal::Min:
            return "Минимум";
        case DbTotal::Max:
            return "Максимум";
    }
    return "";
}

struct Accumulator {
    long long count = 0;
    double sum = 0;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    void add(double v) {
        ++count;
        sum += v;
        min = std::min(min, v);
        max = std::max(max, v);
    }
};

std::vector<DbReportTotal> totalsOf(const Accumulator& a, const std::vector<DbTotal>& kinds,
                                    const std::string& format) {
    std::vector<DbReportTotal> out;
    for (DbTotal k : kinds) {
        std::string value;
        if (k == DbTotal::Count)
            value = text::format("%lld", a.count);
        else if (a.count == 0)
            value = "—";
        else if (k == DbTotal::Sum)
            value = formatNumber(a.sum, format);
        else if (k == DbTotal::Mean)
            value = formatNumber(a.sum / static_cast<double>(a.count), format);
        else if (k == DbTotal::Min)
            value = formatNumber(a.min, format);
        else
            value = formatNumber(a.max, format);
        out.push_back({totalLabel(k), value});
    }
    return out;
}

// RTF text of UTF-8: ASCII as it is, the rest as \uN? escapes.
std::string rtfText(std::string_view utf8) {
    std::string out;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t c = text::decodeUtf8(utf8, pos);
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\t') {
            out += "\\tab ";
        } else if (c < 0x20) {
            continue;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x10000) {
            out += text::format("\\u%d?", static_cast<int>(static_cast<std::int16_t>(c)));
        } else {
            const char32_t v = c - 0x10000;
            const int hi = static_cast<int>(0xD800 + (v >> 10)),
                      lo = static_cast<int>(0xDC00 + (v & 0x3FF));
            out += text::format("\\u%d?\\u%d?", static_cast<int>(static_cast<std::int16_t>(hi)),
                                static_cast<int>(static_cast<std::int16_t>(lo)));
        }
    }
    return out;
}

std::string csvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace

const char* dbReportTitle(DbReportKind kind) {
    switch (kind) {
        case DbReportKind::Date:
            return "Отчёт для даты";
        case DbReportKind::Place:
            return "Отчёт для точки отбора";
        case DbReportKind::Parametr:
            return "Отчёт для параметра";
    }
    return "";
}

const char* dbReportName(DbReportKind kind) {
    switch (kind) {
        case DbReportKind::Date:
            return "date";
        case DbReportKind::Place:
            return "place";
        case DbReportKind::Parametr:
            return "parametr";
    }
    return "";
}

std::filesystem::path dbReportPath(const std::filesystem::path& programFolder, DbReportKind kind) {
    return programFolder / "Templates" / (std::string(dbReportName(kind)) + ".rpt");
}

Result<DbReportDefinition> DbReportDefinition::parse(std::string_view textIn) {
    DbReportDefinition d;
    bool hasTitle = false;
    int lineNo = 0;
    std::size_t from = 0;
    if (textIn.starts_with("\xEF\xBB\xBF"))
        from = 3;
    auto bad = [&](const std::string& why) {
        return Status::failure(text::format("Строка %d описания отчёта: ", lineNo) + why);
    };
    while (from < textIn.size()) {
        std::size_t to = textIn.find('\n', from);
        if (to == std::string_view::npos)
            to = textIn.size();
        std::string_view line = textIn.substr(from, to - from);
        from = to + 1;
        ++lineNo;
        line = text::trim(line);
        if (line.empty() || line.front() == '#')
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return bad("нет \"=\" между именем и значением");
        const std::string key = text::foldCase(text::trim(line.substr(0, eq)));
        const std::string_view value = text::trim(line.substr(eq + 1));
        if (key == "title") {
            d.title = std::string(value);
            hasTitle = true;
        } else if (key == "header") {
            d.header.emplace_back(value);
        } else if (key == "grouptitle") {
            d.groupTitle = std::string(value);
        } else if (key == "group" || key == "order") {
            std::vector<std::string>& list = key == "group" ? d.group : d.order;
            for (const std::string& name : splitList(value, ',')) {
                const std::optional<int> f = fieldIndex(name);
                if (!f)
                    return bad("неизвестное поле \"" + name + "\"");
                list.emplace_back(kFields[*f].name);
            }
        } else if (key == "column") {
            const std::vector<std::string> parts = splitList(value, '|');
            if (parts.empty() || parts.size() > 3)
                return bad("столбец: \"поле | заголовок | формат\"");
            const std::optional<int> f = fieldIndex(parts[0]);
            if (!f)
                return bad("неизвестное поле \"" + parts[0] + "\"");
            DbReportColumn c{kFields[*f].name, parts.size() > 1 ? parts[1] : kFields[*f].name,
                             parts.size() > 2 ? parts[2] : ""};
            if (!c.format.empty() && numericKind(kFields[*f].kind) && !numberFormatOk(c.format))
                return bad("формат числа \"" + c.format + "\": нужен один из %f, %e, %g");
            d.columns.push_back(std::move(c));
        } else if (key == "total") {
            const std::size_t bar = value.find('|');
            const std::string field(
                text::trim(value.substr(0, bar == std::string_view::npos ? value.size() : bar)));
            const std::optional<int> f = fieldIndex(field);
            if (!f || !numericKind(kFields[*f].kind))
                return bad("итоги считаются по числовому полю (Value)");
            d.totalField = kFields[*f].name;
            d.totals.clear();
            const std::string_view kinds =
                bar == std::string_view::npos ? "count, mean, min, max" : value.substr(bar + 1);
            for (const std::string& k : splitList(kinds, ',')) {
                const std::string kf = text::foldCase(k);
                if (kf == "count")
                    d.totals.push_back(DbTotal::Count);
                else if (kf == "sum")
                    d.totals.push_back(DbTotal::Sum);
                else if (kf == "mean")
                    d.totals.push_back(DbTotal::Mean);
                else if (kf == "min")
                    d.totals.push_back(DbTotal::Min);
                else if (kf == "max")
                    d.totals.push_back(DbTotal::Max);
                else
                    return bad("итог \"" + k + "\": count, sum, mean, min или max");
            }
        } else if (key == "grandtotal") {
            const std::string v = text::foldCase(value);
            if (v != "yes" && v != "no" && v != "да" && v != "нет")
                return bad("grandTotal: yes или no");
            d.grandTotal = v == "yes" || v == "да";
        } else {
            return bad("неизвестный параметр \"" + std::string(text::trim(line.substr(0, eq))) +
                       "\"");
        }
    }
    if (!hasTitle)
        return Status::failure("Описание отчёта без заголовка (title)");
    if (d.columns.empty())
        return Status::failure("Описание отчёта без столбцов (column)");
    return d;
}

Result<DbReportDefinition> DbReportDefinition::load(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return Status::failure("Не удалось открыть описание отчёта " + file.string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return Status::failure("Не удалось прочитать описание отчёта " + file.string());
    Result<DbReportDefinition> d = parse(bytes.str());
    if (!d)
        return Status::failure(file.filename().string() + ": " + d.message());
    return d;
}

namespace {

// The condition of a selection, appended to `q`; every value bound.
void appendConditions(DbReportQuery& q, const DbReportSelection& sel, bool exclusions) {
    q.sql += " WHERE (Analyses.Date BETWEEN ? AND ?)";
    q.values.push_back(db::dayStart(sel.from));
    q.values.push_back(db::dayEnd(sel.to));
    auto equal = [&](const std::string& value, const char* column) {
        if (value.empty())
            return;
        q.sql += text::format(" AND (%s = ?)", column);
        q.values.push_back(text::foldCase(value));
    };
    if (!anyMethod(sel.method))
        equal(sel.method, "Analyses.MethodFold");
    equal(sel.station, "Analyses.StationFold");
    equal(sel.place, "Analyses.PlaceFold");
    equal(sel.parametr, "Results.ParametrFold");
    if (!exclusions)
        return;
    if (!sel.excludedComponents.empty()) {
        q.sql += " AND (Results.ParametrFold NOT IN (";
        for (std::size_t i = 0; i < sel.excludedComponents.size(); ++i) {
            q.sql += i ? ", ?" : "?";
            q.values.push_back(text::foldCase(sel.excludedComponents[i]));
        }
        q.sql += "))";
    }
    for (const auto& [station, place] : sel.excludedPoints) {
        q.sql += " AND NOT (Analyses.StationFold = ? AND Analyses.PlaceFold = ?)";
        q.values.push_back(text::foldCase(station));
        q.values.push_back(text::foldCase(place));
    }
}

constexpr const char* kFrom =
    " FROM Analyses JOIN Results ON Results.Analys = Analyses.KeyAnalys"
    " LEFT JOIN Parametres ON Parametres.ParametrFold = Results.ParametrFold";

DbReportQuery listQuery(const char* select, const DbReportSelection& sel, const char* group) {
    DbReportQuery q;
    q.sql = std::string("SELECT ") + select + kFrom;
    appendConditions(q, sel, false);
    q.sql += std::string(" GROUP BY ") + group + " ORDER BY " + group;
    return q;
}

}  // namespace

Result<std::vector<std::string>> dbReportComponents(db::Connection& db,
                                                    const DbReportSelection& sel) {
    const DbReportQuery q = listQuery("MIN(Results.Parametr)", sel, "Results.ParametrFold");
    db::Statement s = db.prepare(q.sql);
    for (std::size_t i = 0; i < q.values.size(); ++i)
        s.bind(static_cast<int>(i + 1), q.values[i]);
    std::vector<std::string> out;
    while (s.next())
        out.push_back(s.text(0));
    if (!s.ok())
        return s.status();
    return out;
}

Result<std::vector<DbReportPoint>> dbReportPoints(db::Connection& db,
                                                  const DbReportSelection& sel) {
    const DbReportQuery q = listQuery("MIN(Analyses.Station), MIN(Analyses.Place)", sel,
                                      "Analyses.StationFold, Analyses.PlaceFold");
    db::Statement s = db.prepare(q.sql);
    for (std::size_t i = 0; i < q.values.size(); ++i)
        s.bind(static_cast<int>(i + 1), q.values[i]);
    std::vector<DbReportPoint> out;
    while (s.next())
        out.push_back({s.text(0), s.text(1)});
    if (!s.ok())
        return s.status();
    return out;
}

DbReportQuery buildDbReportQuery(const DbReportDefinition& def, const DbReportSelection& sel) {
    DbReportQuery q;
    q.sql = "SELECT ";
    for (int i = 0; i < kFieldCount; ++i)
        q.sql += std::string(i ? ", " : "") + kFields[i].select;
    q.sql += kFrom;
    appendConditions(q, sel, true);
    std::vector<std::string> order;
    for (const std::vector<std::string>* list : {&def.group, &def.order})
        for (const std::string& name : *list)
            order.push_back(kFields[*fieldIndex(name)].order);
    // The date, the analysis and the component break ties, so a report comes
    // out in one order every time.
    for (const char* tie : {"Analyses.Date", "Analyses.KeyAnalys", "Results.ParametrFold"})
        if (std::find(order.begin(), order.end(), tie) == order.end())
            order.emplace_back(tie);
    q.sql += " ORDER BY ";
    for (std::size_t i = 0; i < order.size(); ++i)
        q.sql += (i ? ", " : "") + order[i];
    return q;
}

Result<DbReport> runDbReport(db::Connection& db, const DbReportDefinition& def,
                             const DbReportSelection& sel) {
    DbReport r;
    r.title = def.title;
    for (const std::string& h : def.header)
        r.header.push_back(
            substitute(h, [&](std::string_view name) { return selectionValue(sel, name); }));
    std::vector<int> columnFields, groupFields;
    for (const DbReportColumn& c : def.columns) {
        const int f = *fieldIndex(c.field);
        columnFields.push_back(f);
        r.columns.push_back(c.title);
        r.numeric.push_back(numericKind(kFields[f].kind));
        if (!def.totalField.empty() && r.totalColumn < 0 && c.field == def.totalField)
            r.totalColumn = static_cast<int>(r.columns.size()) - 1;
    }
    for (const std::string& g : def.group) {
        groupFields.push_back(*fieldIndex(g));
        r.groupFields.push_back(g);
    }
    const int totalField = def.totalField.empty() ? -1 : *fieldIndex(def.totalField);
    std::string totalFormat;
    for (const DbReportColumn& c : def.columns)
        if (c.field == def.totalField && totalFormat.empty())
            totalFormat = c.format;

    const DbReportQuery q = buildDbReportQuery(def, sel);
    db::Statement s = db.prepare(q.sql);
    for (std::size_t i = 0; i < q.values.size(); ++i)
        s.bind(static_cast<int>(i + 1), q.values[i]);

    // The text of a field of the current row, by its column's format.
    auto cell = [&](int f, const std::string& format) -> std::string {
        if (s.isNull(f))
            return {};
        switch (kFields[f].kind) {
            case FieldKind::Date:
                return formatDate(s.text(f), format);
            case FieldKind::Number:
                return formatNumber(s.real(f), format);
            case FieldKind::Key:
                return format.empty() ? text::format("%lld", s.int64(f))
                                      : formatNumber(static_cast<double>(s.int64(f)), format);
            case FieldKind::Text:
                return s.text(f);
        }
        return {};
    };

    Accumulator group, all;
    std::vector<std::string> currentKeys;  // folded, to compare groups
    auto closeGroup = [&] {
        if (!r.groups.empty() && totalField >= 0)
            r.groups.back().totals = totalsOf(group, def.totals, totalFormat);
        group = {};
    };
    while (s.next()) {
        std::vector<std::string> keys, shown;
        for (int f : groupFields) {
            shown.push_back(cell(f, ""));
            keys.push_back(kFields[f].kind == FieldKind::Text ? text::foldCase(shown.back())
                                                              : shown.back());
        }
        if (r.groups.empty() || keys != currentKeys) {
            closeGroup();
            DbReportGroup g;
            g.keys = shown;
            if (!groupFields.empty()) {
                g.title = substitute(def.groupTitle, [&](std::string_view name) {
                    for (std::size_t i = 0; i < groupFields.size(); ++i)
                        if (name == kFields[groupFields[i]].name)
                            return std::optional<std::string>(shown[i]);
                    return selectionValue(sel, name);
                });
            }
            r.groups.push_back(std::move(g));
            currentKeys = std::move(keys);
        }
        std::vector<std::string> row;
        for (std::size_t i = 0; i < columnFields.size(); ++i)
            row.push_back(cell(columnFields[i], def.columns[i].format));
        r.groups.back().rows.push_back(std::move(row));
        ++r.rowCount;
        if (totalField >= 0 && !s.isNull(totalField)) {
            const double v = kFields[totalField].kind == FieldKind::Key
                                 ? static_cast<double>(s.int64(totalField))
                                 : s.real(totalField);
            group.add(v);
            all.add(v);
        }
    }
    if (!s.ok())
        return s.status();
    closeGroup();
    if (def.grandTotal && totalField >= 0 && r.rowCount > 0)
        r.grandTotals = totalsOf(all, def.totals, totalFormat);
    return r;
}

rtf::RtfDocument dbReportToRtf(const DbReport& report) {
    constexpr int kPageWidth = 11906, kMargin = 855;
    const int usable = kPageWidth - 2 * kMargin;
    const std::size_t n = std::max<std::size_t>(report.columns.size(), 1);
    // Column widths in twips: the fields' shares of the page.
    std::vector<double> shares;
    double total = 0;
    for (std::size_t i = 0; i < n; ++i) {
        double w = 1.5;
        if (i < report.numeric.size() && report.numeric[i])
            w = 1.2;
        shares.push_back(w);
        total += w;
    }
    std::string defs;
    int x = 0;
    for (std::size_t i = 0; i < n; ++i) {
        x = i + 1 == n ? usable : x + static_cast<int>(usable * shares[i] / total);
        defs += text::format(
            "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
            "\\clbrdrr\\brdrs\\brdrw10\\cellx%d",
            x);
    }
    auto tableRow = [&](const std::vector<std::string>& cells, bool bold, bool header) {
        std::string out =
            std::string("\\trowd\\trgaph70\\trleft0") + (header ? "\\trhdr" : "") + defs + "\n";
        for (std::size_t i = 0; i < n; ++i) {
            const bool right = !header && i < report.numeric.size() && report.numeric[i];
            out += std::string("\\pard\\plain\\intbl") + (right ? "\\qr" : "\\ql") + "\\f0\\fs18" +
                   (bold ? "\\b" : "") + " " + rtfText(i < cells.size() ? cells[i] : "") +
                   "\\cell\n";
        }
        return out + "\\row\n";
    };
    auto par = [](const std::string& t, const char* format) {
        return std::string("\\pard\\plain\\f0\\fs20\\sa60") + format + " " + rtfText(t) + "\\par\n";
    };
    auto totalRows = [&](const std::vector<DbReportTotal>& totals) {
        std::string out;
        for (const DbReportTotal& t : totals) {
            std::vector<std::string> cells(n);
            const std::size_t at =
                report.totalColumn >= 0 ? static_cast<std::size_t>(report.totalColumn) : n - 1;
            if (at == 0) {
                cells[0] = t.label + ": " + t.value;
            } else {
                cells[0] = t.label;
                cells[at] = t.value;
            }
            out += tableRow(cells, true, false);
        }
        return out;
    };

    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0\\deflang1049\n"
        "{\\fonttbl{\\f0\\fswiss\\fprq2\\fcharset204 Arial;}}\n"
        "{\\colortbl;\\red0\\green0\\blue0;}\n"
        "\\paperw11906\\paperh16838\\margl855\\margr855\\margt855\\margb855\n";
    rtf += "\\pard\\plain\\f0\\fs28\\b\\qc\\sa200 " + rtfText(report.title) + "\\par\n";
    for (const std::string& h : report.header)
        rtf += par(h, "\\ql");
    if (report.rowCount == 0)
        rtf += par("Нет данных для отчёта за выбранный период.", "\\ql\\sb200");
    for (const DbReportGroup& g : report.groups) {
        if (!g.title.empty())
            rtf += par(g.title, "\\ql\\sb200\\b\\keepn");
        rtf += tableRow(report.columns, true, true);
        for (const std::vector<std::string>& row : g.rows)
            rtf += tableRow(row, false, false);
        rtf += totalRows(g.totals);
        rtf += par("", "\\ql");
    }
    if (!report.grandTotals.empty()) {
        rtf += par("Итого по отчёту", "\\ql\\sb200\\b\\keepn");
        rtf += totalRows(report.grandTotals);
    }
    rtf += "}\n";
    Result<rtf::RtfDocument> doc = rtf::readRtf(rtf);
    // The text above is the program's own; reading it cannot fail.
    return doc ? std::move(doc).value() : rtf::RtfDocument();
}

std::string dbReportToCsv(const DbReport& report) {
    std::string out = "\xEF\xBB\xBF";
    std::vector<std::string> head = report.groupFields;
    head.insert(head.end(), report.columns.begin(), report.columns.end());
    auto line = [&](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i)
            out += (i ? "," : "") + csvField(cells[i]);
        out += "\r\n";
    };
    line(head);
    for (const DbReportGroup& g : report.groups)
        for (const std::vector<std::string>& row : g.rows) {
            std::vector<std::string> cells = g.keys;
            cells.resize(report.groupFields.size());
            cells.insert(cells.end(), row.begin(), row.end());
            line(cells);
        }
    return out;
}

const char* defaultDbReportDefinition(DbReportKind kind) {
    switch (kind) {
        case DbReportKind::Date:
            return R"(# Отчёт для даты: результаты анализов проб, отобранных в один день,
# по пунктам и точкам отбора.
# Поля: KeyAnalys, Station, Place, Date, AnDate, Operator, Sample, Method,
# FileName, Comment, Parametr, Value, Quant.
title      = Отчёт для даты
header     = Дата отбора: {Date}
header     = Метод: {Method}
group      = Station, Place
groupTitle = Пункт отбора: {Station}; точка отбора: {Place}
order      = Date, Sample, Parametr
column     = Date     | Время отбора | %H:%M:%S
column     = Sample   | Проба
column     = Parametr | Компонент
column     = Value    | Значение | %.4g
column     = Quant    | Ед. изм.
)";
        case DbReportKind::Place:
            return R"(# Отчёт для точки отбора: результаты одной точки за период, по компонентам.
# Поля: KeyAnalys, Station, Place, Date, AnDate, Operator, Sample, Method,
# FileName, Comment, Parametr, Value, Quant.
title      = Отчёт для точки отбора
header     = Пункт отбора: {Station}; точка отбора: {Place}
header     = Период: с {DateFrom} по {DateTo}
header     = Метод: {Method}
group      = Parametr
groupTitle = Компонент: {Parametr}
order      = Date
column     = Date   | Дата отбора | %d.%m.%Y %H:%M
column     = Sample | Проба
column     = Value  | Значение | %.4g
column     = Quant  | Ед. изм.
total      = Value | count, mean, min, max
)";
        case DbReportKind::Parametr:
            return R"(# Отчёт для параметра: значения одного компонента за период по точкам отбора.
# Поля: KeyAnalys, Station, Place, Date, AnDate, Operator, Sample, Method,
# FileName, Comment, Parametr, Value, Quant.
title      = Отчёт для параметра
header     = Компонент: {Parametr}
header     = Период: с {DateFrom} по {DateTo}
header     = Метод: {Method}
group      = Station, Place
groupTitle = Пункт отбора: {Station}; точка отбора: {Place}
order      = Date
column     = Date   | Дата отбора | %d.%m.%Y %H:%M
column     = Sample | Проба
column     = Value  | Значение | %.4g
column     = Quant  | Ед. изм.
total      = Value | count, mean, min, max
grandTotal = yes
)";
    }
    return "";
}

}  // namespace zelmora
