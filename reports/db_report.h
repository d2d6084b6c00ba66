#pragma once
// The database reports: results of the analyses database summarised for one
// date ("Отчёт для даты"), for one sampling point over a period ("Отчёт для
// точки отбора") and for one component over a period ("Отчёт для
// параметра"), made by a small report engine of the program's own.
//
// Each report is defined by a readable text file in the folder "Templates"
// ("date.rpt", "place.rpt", "parametr.rpt"), which a laboratory may copy and
// change. One setting a line, "key = value", "#" starting a comment:
//
//   title      = Отчёт для даты
//   header     = Дата отбора: {Date}; метод: {Method}     (one line each)
//   group      = Station, Place                            (rows grouped by)
//   groupTitle = Пункт отбора: {Station}; точка отбора: {Place}
//   order      = Date, Parametr                            (within a group)
//   column     = Date | Время отбора | %H:%M               (field | title | format)
//   total      = Value | count, mean, min, max             (per group)
//   grandTotal = yes                                       (the same over all rows)
//
// The fields are those of a result row: KeyAnalys, Station, Place, Date,
// AnDate, Operator, Sample, Method, FileName, Comment (of the analysis),
// Parametr, Value (the result) and Quant (the component's unit). A date
// column's format is a strftime text, a Value column's a printf one. In the
// header and the group title {Name} stands for a value of the selection:
// Date, DateFrom, DateTo, Method, Station, Place, Parametr — and in the
// group title for the group's own fields.
//
// Which rows the report holds is chosen by the dialog, not by the file: the
// sampling dates of the period (whole days), the method ("* (любой)": any),
// the station and point, the component, and the components and points the
// operator left unselected. Every value is bound to the statement, never
// pasted into it, and names compare without regard to case, so a name with
// quotes or Cyrillic letters selects like any other. An empty selection
// gives a report with its title and header and no rows — not an error.

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/result.h"
#include "database/db_time.h"
#include "database/sqlite_db.h"
#include "document/chromatogram_browser.h"  // kAnyMethod, "* (любой)": any method
#include "reports/rtf_document.h"

namespace zelmora {

enum class DbReportKind { Date, Place, Parametr };

// "Отчёт для даты", "Отчёт для точки отбора", "Отчёт для параметра".
const char* dbReportTitle(DbReportKind kind);
// "date", "place", "parametr".
const char* dbReportName(DbReportKind kind);
// "<program folder>/Templates/<name>.rpt".
std::filesystem::path dbReportPath(const std::filesystem::path& programFolder, DbReportKind kind);
// The definition shipped with the program, for a missing file.
const char* defaultDbReportDefinition(DbReportKind kind);

struct DbReportSelection {
    db::CalendarDay from, to;  // sampling dates, whole days
    std::string method;        // empty or kAnyMethod: any
    std::string station;       // empty: any
    std::string place;         // empty: any
    std::string parametr;      // empty: any
    std::vector<std::string> excludedComponents;
    std::vector<std::pair<std::string, std::string>> excludedPoints;  // station, place
};

enum class DbTotal { Count, Sum, Mean, Min, Max };

struct DbReportColumn {
    std::string field;
    std::string title;
    std::string format;  // empty: the field's default
};

struct DbReportDefinition {
    std::string title;
    std::vector<std::string> header;
    std::vector<std::string> group;
    std::string groupTitle;
    std::vector<std::string> order;
    std::vector<DbReportColumn> columns;
    std::string totalField;  // empty: no totals
    std::vector<DbTotal> totals;
    bool grandTotal = false;

    // A failure names the line and what is wrong with it.
    static Result<DbReportDefinition> parse(std::string_view text);
    static Result<DbReportDefinition> load(const std::filesystem::path& file);
};

// The statement of a report and its bound values, in order.
struct DbReportQuery {
    std::string sql;
    std::vector<std::string> values;
};
DbReportQuery buildDbReportQuery(const DbReportDefinition& def, const DbReportSelection& sel);

struct DbReportTotal {
    std::string label;  // "Среднее"
    std::string value;
};

struct DbReportGroup {
    std::string title;  // empty when the report has no grouping
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> keys;  // the group fields' values, for the CSV
    std::vector<DbReportTotal> totals;
};

// A report computed: texts ready to be laid out.
struct DbReport {
    std::string title;
    std::vector<std::string> header;
    std::vector<std::string> groupFields;  // titles of the group fields (CSV)
    std::vector<std::string> columns;      // column titles
    std::vector<bool> numeric;             // per column: right-aligned
    int totalColumn = -1;                  // where the totals' values stand
    std::vector<DbReportGroup> groups;
    std::vector<DbReportTotal> grandTotals;
    std::size_t rowCount = 0;
};

// What the dialogs offer for a selection (its period, method, station,
// point and component; the exclusions are not applied): the components with
// results, in name order, and the stations and points with results, in
// station and point order — names without regard to case.
Result<std::vector<std::string>> dbReportComponents(db::Connection& db,
                                                    const DbReportSelection& sel);
struct DbReportPoint {
    std::string station;
    std::string place;
    bool operator==(const DbReportPoint&) const = default;
};
Result<std::vector<DbReportPoint>> dbReportPoints(db::Connection& db, const DbReportSelection& sel);

Result<DbReport> runDbReport(db::Connection& db, const DbReportDefinition& def,
                             const DbReportSelection& sel);

// The report as rich text on A4 pages: title, header lines, per group its
// title, a table with the column titles and the rows, and its totals; "Нет
// данных" where nothing was selected.
rtf::RtfDocument dbReportToRtf(const DbReport& report);
// The rows as CSV for a spreadsheet (RFC 4180, comma, UTF-8 with a byte
// order mark): the group fields then the columns, one line per row.
std::string dbReportToCsv(const DbReport& report);

}  // namespace zelmora
