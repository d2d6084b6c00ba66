#include "database/analysis_search.h"

#include <ctime>

#include "app/text.h"

namespace zelmora::db {

const char* sortColumnName(SortColumn c) {
    switch (c) {
        case SortColumn::Date:
            return "Date";
        case SortColumn::Station:
            return "Station";
        case SortColumn::Place:
            return "Place";
        case SortColumn::Sample:
            return "Sample";
        case SortColumn::Method:
            return "Method";
        case SortColumn::Operator:
            return "Operator";
    }
    return "Date";
}

std::optional<SortColumn> sortColumnOfGridColumn(int column) {
    if (column < 1 || column > 6)
        return std::nullopt;
    return static_cast<SortColumn>(column - 1);
}

AnalysisSearch::AnalysisSearch() : to(dayOf(std::time(nullptr))) {}

bool AnalysisSearch::clickHeader(int gridColumn) {
    const std::optional<SortColumn> c = sortColumnOfGridColumn(gridColumn);
    if (!c)
        return false;
    if (*c == sort) {
        descending = !descending;
    } else {
        sort = *c;
        descending = false;
    }
    return true;
}

BuiltStatement buildSearchStatement(const AnalysisSearch& search, int rowLimit) {
    BuiltStatement b;
    b.sql =
        "SELECT KeyAnalys, Station, Place, Date, Operator, AnDate, FileName, Comment, Sample, "
        "Method FROM Analyses WHERE (Date BETWEEN ? AND ?)";
    b.values = {dayStart(search.from), dayEnd(search.to)};
    // Names are matched and sorted by their folded columns: without regard to case.
    auto criterion = [&](const std::string& value, const char* column) {
        if (value.empty())
            return;
        b.sql += text::format(" AND (%sFold = ?)", column);
        b.values.push_back(text::foldCase(value));
    };
    criterion(search.station, "Station");
    criterion(search.place, "Place");
    criterion(search.method, "Method");
    criterion(search.operatorName, "Operator");
    const char* direction = search.descending ? " DESC" : "";
    const std::string order = search.sort == SortColumn::Date
                                  ? std::string("Date")
                                  : std::string(sortColumnName(search.sort)) + "Fold";
    // The key breaks ties, so equal dates or names keep one order between refills.
    b.sql += text::format(" ORDER BY %s%s, KeyAnalys%s LIMIT %d", order.c_str(), direction,
                          direction, rowLimit + 1);
    return b;
}

std::string firstRowsNotice(int limit) {
    return text::format("Показаны первые %d записей.", limit);
}

Result<SearchResult> findAnalyses(Connection& db, const AnalysisSearch& search, int rowLimit) {
    const BuiltStatement b = buildSearchStatement(search, rowLimit);
    Statement s = db.prepare(b.sql);
    for (std::size_t i = 0; i < b.values.size(); ++i)
        s.bind(static_cast<int>(i + 1), b.values[i]);
    SearchResult r;
    while (s.next()) {
        if (static_cast<int>(r.rows.size()) == rowLimit) {
            r.truncated = true;
            break;
        }
        r.rows.push_back(CAnalysSet::read(s));
    }
    if (!s.ok())
        return s.status();
    if (r.truncated)
        r.notice = firstRowsNotice(rowLimit);
    return r;
}

}  // namespace zelmora::db
