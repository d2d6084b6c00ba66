#include "database/point_history.h"

#include <algorithm>

#include "app/text.h"
#include "database/db_time.h"

namespace zelmora::db {

Result<std::vector<PointHistoryAnalysis>> loadPointHistory(Connection& db, std::string_view station,
                                                           std::string_view place, std::time_t now,
                                                           int limit) {
    std::vector<PointHistoryAnalysis> out;
    if (limit <= 0)
        return out;
    // The latest analyses first so that LIMIT keeps the newest ones; the key
    // orders analyses of one moment the same way every time.
    Statement s = db.prepare(
        "SELECT KeyAnalys, Date FROM Analyses WHERE (Date BETWEEN ? AND ?) "
        "AND (StationFold = ?) AND (PlaceFold = ?) ORDER BY Date DESC, KeyAnalys DESC LIMIT ?");
    if (!s.ok())
        return s.status();
    s.bind(1, dayStart(CalendarDay{1970, 1, 1}))
        .bind(2, dayEnd(dayOf(now)))
        .bind(3, text::foldCase(station))
        .bind(4, text::foldCase(place))
        .bind(5, limit);
    while (s.next()) {
        const std::optional<std::time_t> date = s.isNull(1) ? std::nullopt : fromDbTime(s.text(1));
        if (!date)
            continue;
        out.push_back({s.integer(0), *date, {}});
    }
    if (!s.ok())
        return s.status();
    std::reverse(out.begin(), out.end());

    Statement r = db.prepare("SELECT Parametr, Value FROM Results WHERE Analys = ? ORDER BY rowid");
    if (!r.ok())
        return r.status();
    for (PointHistoryAnalysis& a : out) {
        r.reset();
        r.bind(1, a.keyAnalys);
        while (r.next()) {
            PointHistoryAnalysis::Value v;
            v.parametr = r.text(0);
            if (!r.isNull(1))
                v.value = r.real(1);
            a.results.push_back(std::move(v));
        }
        if (!r.ok())
            return r.status();
    }
    return out;
}

}  // namespace zelmora::db
