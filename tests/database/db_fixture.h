#pragma once
// A fresh analyses database in a temporary folder, with a small catalogue:
// station "ГРС-1" with points "Выход" and "Вход", station "O'Brien" with
// point "Кран 'A'", components "Метан" (%), "Этан" (%), "Сероводород"
// (мг/м3), critical values of Метан and Сероводород at "Выход".

#include <gtest/gtest.h>

#include <ctime>

#include "database/analyses_database.h"
#include "database/catalogue.h"
#include "database/recordsets.h"
#include "database/schema.h"
#include "tests/support/temp_dir.h"

namespace zelmora::test {

struct DbFixture {
    TempDir dir;
    std::filesystem::path file = dir / db::kDatabaseFileName;
    db::CAnalysesDatabase database{file};
    int grs = 0, obrien = 0;
    int exitPoint = 0, inletPoint = 0, cranePoint = 0;
    int methane = 0, ethane = 0, sulphide = 0;

    DbFixture() {
        EXPECT_TRUE(database.create()) << "create";
        db::Connection& c = db();
        grs = db::addStation(c, "ГРС-1").value();
        obrien = db::addStation(c, "O'Brien").value();
        exitPoint = db::addPlace(c, grs, "Выход").value();
        inletPoint = db::addPlace(c, grs, "Вход").value();
        cranePoint = db::addPlace(c, obrien, "Кран 'A'").value();
        methane = db::addParametr(c, "Метан", "%", 90).value();
        ethane = db::addParametr(c, "Этан", "%", 5).value();
        sulphide = db::addParametr(c, "Сероводород", "мг/м3", 0.02).value();
        EXPECT_TRUE(db::controlComponents(c, exitPoint, {methane, sulphide}));
    }

    db::Connection& db() { return database.connection(); }

    long long count(const char* sql) { return db().scalar(sql).value(); }
};

// A local date-time in whole seconds.
inline std::time_t localTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

}  // namespace zelmora::test
