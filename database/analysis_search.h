#pragma once
// Finding analyses: the criteria of the "Поиск анализа" dialog, the statement
// built from them and the rows of the "Найденные анализы" grid. Every
// criterion is a bound value, so a station, point, method or operator with
// quotes in its name is found like any other; names match exactly, without
// regard to case.

#include <optional>
#include <string>
#include <vector>

#include "database/db_time.h"
#include "database/recordsets.h"
#include "database/sqlite_db.h"

namespace zelmora::db {

// The sortable columns of the grid, in the order of its headers 1 to 6; the
// comment column (7) does not sort.
enum class SortColumn { Date, Station, Place, Sample, Method, Operator };

// Column name for the statement; never taken from outside text.
const char* sortColumnName(SortColumn c);
// The sort column of grid column 1..6, nullopt for any other.
std::optional<SortColumn> sortColumnOfGridColumn(int column);

struct AnalysisSearch {
    static constexpr int kRowLimit = 1000;

    CalendarDay from{1970, 1, 1};
    CalendarDay to;  // initially today
    std::string station;
    std::string place;
    std::string method;
    std::string operatorName;
    SortColumn sort = SortColumn::Date;
    bool descending = true;

    AnalysisSearch();

    // A click on the header of a grid column: the current sort column again
    // reverses the direction, another sortable one sorts ascending; the
    // comment column changes nothing. True when the order changed.
    bool clickHeader(int gridColumn);
};

// The statement and the values bound to it, in order.
struct BuiltStatement {
    std::string sql;
    std::vector<std::string> values;
};
BuiltStatement buildSearchStatement(const AnalysisSearch& search, int rowLimit);

struct SearchResult {
    std::vector<AnalysisRow> rows;  // at most kRowLimit, in the chosen order
    bool truncated = false;         // more analyses matched than are shown
    // "Показаны первые 1000 записей." when truncated, else empty (string 225).
    std::string notice;
};
Result<SearchResult> findAnalyses(Connection& db, const AnalysisSearch& search,
                                  int rowLimit = AnalysisSearch::kRowLimit);

// Text of string 225 for `limit` rows.
std::string firstRowsNotice(int limit);

}  // namespace zelmora::db
