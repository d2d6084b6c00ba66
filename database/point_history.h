#pragma once
// The history of one sampling point: its analyses sampled from 1 January
// 1970 up to the end of today, with their results, the latest `limit` of
// them in ascending order of sampling. The transformer-oil diagnosis reads a
// transformer's dissolved gases from it.
//
// The station and point are bound values matched by their folded columns
// (without regard to case, quotes and all); analyses sampled after today or
// without a sampling date are not part of the history.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/sqlite_db.h"

namespace zelmora::db {

struct PointHistoryAnalysis {
    int keyAnalys = 0;
    std::time_t date = 0;  // sampling
    struct Value {
        std::string parametr;
        std::optional<double> value;
    };
    std::vector<Value> results;  // in the order they were saved
};

inline constexpr int kPointHistoryLimit = 1000;

// `now` fixes "today" (the clock, injected for tests).
Result<std::vector<PointHistoryAnalysis>> loadPointHistory(Connection& db, std::string_view station,
                                                           std::string_view place, std::time_t now,
                                                           int limit = kPointHistoryLimit);

}  // namespace zelmora::db
