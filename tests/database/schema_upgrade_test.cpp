#include "database/schema_upgrade.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/text.h"
#include "app/work_log.h"
#include "database/analyses_database.h"
#include "database/analysis_search.h"
#include "database/catalogue.h"
#include "database/recordsets.h"
#include "database/schema.h"
#include "tests/database/db_fixture.h"
#include "tests/database/sqlite_shell.h"

namespace zelmora::db {
namespace {

// An analyses database written by the first schema's program: stations
// "ГРС-1", "ёлкино Северная", "O'Brien"; points "Выход", "вход", "Кран 'A'",
// "ЁМКОСТЬ №2"; components "Метан", "этан", "СЕРОВОДОРОД", "Диоксид
// углерода" (a fifth one and a fourth station deleted, so the key counters
// run ahead of the keys); six critical values; five analyses whose names
// differ in case from the catalogue ("грс-1", "ВЫХОД", "природный ГАЗ"), one
// of them empty, a sixth deleted; nine results, one without a value; the
// eight stored queries and one of the laboratory's own.
const std::filesystem::path kFirstSchemaFile =
    std::filesystem::path(ZELMORA_TEST_DATA) / "zelmora-v1.db";

std::string rowsAsText(Connection& db, const std::string& sql) {
    Statement s = db.prepare(sql);
    std::string out;
    while (s.next()) {
        for (int i = 0; i < s.columnCount(); ++i)
            out += (i > 0 ? "|" : "") + (s.isNull(i) ? std::string("NULL") : s.text(i));
        out += "\n";
    }
    EXPECT_TRUE(s.ok()) << sql << ": " << s.status().message();
    return out;
}

std::vector<std::filesystem::path> copiesBeside(const std::filesystem::path& file) {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(file.parent_path())) {
        if (e.path().filename().string().rfind(file.stem().string() + ".v1-", 0) == 0)
            out.push_back(e.path());
    }
    return out;
}

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

// The answers of every stored query for every analysis, point and station of
// the file, one line per row.
std::string storedQueryAnswers(Connection& c) {
    std::string out;
    auto opt = [](const std::optional<double>& v) {
        return v ? text::format("%.17g", *v) : std::string("NULL");
    };
    for (int place = 1; place <= 4; ++place) {
        CCritValues0Set cv0(c);
        EXPECT_TRUE(cv0.open(place));
        for (const auto& r : cv0.rows)
            out += text::format("0 %d %s|%s|", place, r.parametr.c_str(), r.quant.c_str()) +
                   opt(r.critValue) + "\n";
        CCritValuesSet cv(c);
        EXPECT_TRUE(cv.open(place));
        for (const auto& r : cv.rows)
            out += text::format("C %d %s|%d|%s|%d|", place, r.parametr.c_str(), r.place,
                                r.quant.c_str(), r.keyParametr) +
                   opt(r.critValue) + "\n";
        CLeftCritValuesSet left(c);
        EXPECT_TRUE(left.open(place));
        for (const auto& r : left.rows)
            out += text::format("L %d %s|%d|%g\n", place, r.parametr.c_str(), r.keyParametr,
                                r.defValue);
    }
    for (const char* station : {"грс-1", "ЁЛКИНО северная", "o'brien"}) {
        for (const char* place : {"выход", "ВХОД", "кран 'a'", "Ёмкость №2"}) {
            CCritValues1Set cv1(c);
            EXPECT_TRUE(cv1.open(place, station));
            for (const auto& r : cv1.rows)
                out += text::format("1 %s %s %s|%s|", station, place, r.parametr.c_str(),
                                    r.quant.c_str()) +
                       opt(r.critValue) + "\n";
        }
    }
    for (int station = 1; station <= 3; ++station) {
        CPlaceSet places(c);
        EXPECT_TRUE(places.open(station));
        for (const auto& r : places.rows)
            out += text::format("P %d %s|%d|%d\n", station, r.place.c_str(), r.station, r.keyPlace);
    }
    for (int analysis = 1; analysis <= 5; ++analysis) {
        CResultSet results(c);
        EXPECT_TRUE(results.open(analysis));
        for (const auto& r : results.rows)
            out += text::format("R %d %s|%d|", analysis, r.parametr.c_str(), r.analys) +
                   opt(r.value) + "\n";
        CLeftResultsSet left(c);
        EXPECT_TRUE(left.open(analysis));
        for (const auto& r : left.rows)
            out += text::format("LR %d %s\n", analysis, r.c_str());
        for (int place = 1; place <= 4; ++place) {
            CResultExSet ex(c);
            EXPECT_TRUE(ex.open(analysis, place));
            for (const auto& r : ex.rows)
                out += text::format("X %d %d %s|%d|%s|", analysis, place, r.parametr.c_str(),
                                    r.analys, r.quant.c_str()) +
                       opt(r.value) + "|" + opt(r.critValue) + "\n";
        }
    }
    return out;
}

TEST(SchemaUpgrade, AFileOfTheFirstSchemaIsBroughtUpToDateWithEveryRow) {
    test::TempDir dir, logDir;
    const std::filesystem::path file = dir / kDatabaseFileName;
    std::filesystem::copy_file(kFirstSchemaFile, file);
    {
        // What a laboratory may have added to its file by hand: a column, an
        // index, a trigger, a view, and an edit of a stored query.
        Connection hand = Connection::open(file, Connection::Mode::ReadWrite).value();
        ASSERT_TRUE(
            hand.exec("ALTER TABLE Analyses ADD COLUMN Laborant TEXT DEFAULT 'нет';"
                      "UPDATE Analyses SET Laborant = 'Сидоров' WHERE KeyAnalys = 1;"
                      "CREATE INDEX ResultsByValue ON Results (Value);"
                      "CREATE TABLE Audit (What TEXT);"
                      "CREATE TRIGGER StationsAudit AFTER INSERT ON Stations "
                      "BEGIN INSERT INTO Audit VALUES (new.Station); END;"
                      "CREATE VIEW SamplesTaken AS SELECT KeyAnalys, Sample FROM Analyses "
                      "WHERE Sample <> '';"
                      "UPDATE StoredQueries SET Sql = Sql || ' ' WHERE Name = 'CritValuesQuery';"));
    }
    const std::string before = test::readFile(file);

    CWorkLog::instance().start(logDir.path(), "test", "test");
    CAnalysesDatabase database(file);
    const Status opened = database.open();
    const std::string log = workLogText();
    CWorkLog::instance().stop();
    ASSERT_TRUE(opened) << opened.message() << log;
    Connection& c = database.connection();
    EXPECT_EQ(c.scalar("PRAGMA user_version").value(), kSchemaVersion);

    // The untouched file is kept beside it, and the work log names it.
    const std::vector<std::filesystem::path> copies = copiesBeside(file);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(test::readFile(copies[0]) == before);  // byte for byte
    EXPECT_NE(log.find("переведена со схемы версии 1 на схему версии 2"), std::string::npos) << log;
    EXPECT_NE(log.find(copies[0].filename().string()), std::string::npos) << log;
    EXPECT_NE(log.find("? Изменённые в базе данных запросы оставлены как были"), std::string::npos);
    EXPECT_NE(log.find("CritValuesQuery"), std::string::npos);

    // Every row of every table, with its key and row id, as it was.
    Connection old = Connection::open(copies[0], Connection::Mode::ReadOnly).value();
    for (const char* table : kDataTables) {
        SCOPED_TRACE(table);
        std::string columns = "rowid";
        Statement info =
            old.prepare(std::string("SELECT name FROM pragma_table_info('") + table + "')");
        while (info.next())
            columns += ", " + info.text(0);
        const std::string sql =
            "SELECT " + columns + " FROM " + std::string(table) + " ORDER BY rowid";
        const std::string rows = rowsAsText(old, sql);
        EXPECT_EQ(rowsAsText(c, sql), rows);
        EXPECT_GT(std::count(rows.begin(), rows.end(), '\n'), 2);
        // The folded names are the names in lower case.
        for (const FoldedColumn& f : foldedColumns(table))
            EXPECT_EQ(c.scalar(text::format("SELECT count(*) FROM %s WHERE %s IS NOT "
                                            "zelmora_fold(%s) OR %s <> lower(%s) AND %s GLOB "
                                            "'[A-Za-z]*'",
                                            table, f.fold, f.source, f.fold, f.source, f.source))
                          .value(),
                      0)
                << f.fold;
    }
    EXPECT_EQ(rowsAsText(c, "SELECT KeyStation, Station, StationFold FROM Stations"),
              "1|ГРС-1|грс-1\n2|ёлкино Северная|ёлкино северная\n3|O'Brien|o'brien\n");
    EXPECT_EQ(rowsAsText(c, "SELECT count(*), count(Value), sum(Value) FROM Results"),
              "9|8|190.6385001\n");
    EXPECT_EQ(rowsAsText(c, "SELECT Laborant FROM Analyses ORDER BY KeyAnalys"),
              "Сидоров\nнет\nнет\nнет\nнет\n");
    // The key counters: deleted keys stay unused.
    EXPECT_EQ(rowsAsText(c, "SELECT name, seq FROM sqlite_sequence ORDER BY name"),
              "Analyses|6\nParametres|5\nPlaces|5\nStations|4\n");
    EXPECT_EQ(CAnalysSet(c).add(AnalysisRow{}).value(), 7);
    ASSERT_TRUE(CAnalysSet(c).remove(7));

    // The stored queries: the program's own have their new text, the edited
    // one and the laboratory's own are kept as they were.
    for (const StoredQuery& q : storedQueries()) {
        if (std::string_view(q.name) != kCritValuesQuery) {
            EXPECT_EQ(storedQuerySql(c, q.name).value(), q.sql) << q.name;
        }
    }
    EXPECT_EQ(storedQuerySql(c, kCritValuesQuery).value(),
              storedQuerySql(old, kCritValuesQuery).value());
    EXPECT_EQ(storedQuerySql(c, "ОтчётЛаборатории").value(),
              storedQuerySql(old, "ОтчётЛаборатории").value());
    // ... and every one of them gives the answers it gave in the old file.
    const std::string answers = storedQueryAnswers(c);
    EXPECT_EQ(answers, storedQueryAnswers(old));
    EXPECT_NE(answers.find("X 2 1 МЕТАН|2|%|91|95.5"), std::string::npos) << answers;

    // The hand-made index, trigger and view still work.
    EXPECT_EQ(c.scalar("SELECT count(*) FROM sqlite_master WHERE name = 'ResultsByValue'").value(),
              1);
    ASSERT_TRUE(addStation(c, "Новая"));
    EXPECT_EQ(rowsAsText(c, "SELECT What FROM Audit"), "Новая\n");
    EXPECT_EQ(c.scalar("SELECT count(*) FROM SamplesTaken").value(), 4);
    // The six tables are made as a new file makes them (Analyses has the
    // added column besides).
    {
        test::TempDir fresh;
        Connection made = createAnalysesDatabase(fresh / kDatabaseFileName).value();
        const std::string tables =
            "SELECT name, sql FROM sqlite_master WHERE name <> 'Analyses' AND type IN "
            "('table', 'index') AND name NOT IN ('Audit', 'ResultsByValue') ORDER BY name";
        EXPECT_EQ(rowsAsText(c, tables), rowsAsText(made, tables));
    }
    EXPECT_EQ(c.scalar("SELECT count(*) FROM sqlite_master WHERE sql LIKE '%RUNOCASE%'").value(),
              0);

    // Names keep matching, sorting and staying unique without regard to case.
    EXPECT_EQ(stationKey(c, "ЁЛКИНО СЕВЕРНАЯ").value(), 2);
    EXPECT_EQ(placeKey(c, 2, "ёмкость №2").value(), 4);
    EXPECT_EQ(parametrKey(c, "диоксид УГЛЕРОДА").value(), 4);
    EXPECT_FALSE(addStation(c, "o'brien"));
    EXPECT_FALSE(addPlace(c, 1, "ВХОД"));
    EXPECT_FALSE(addParametr(c, "метан", "%", 0));
    EXPECT_FALSE(CResultSet(c).add(1, "МЕТАН", 1.0));
    CStationSet stations(c);
    ASSERT_TRUE(stations.open());
    ASSERT_EQ(stations.rows.size(), 4u);
    EXPECT_EQ(stations.rows[0].station, "O'Brien");
    EXPECT_EQ(stations.rows[1].station, "ГРС-1");
    EXPECT_EQ(stations.rows[2].station, "Новая");
    EXPECT_EQ(stations.rows[3].station, "ёлкино Северная");
    CParametrSet params(c);
    ASSERT_TRUE(params.open());
    ASSERT_EQ(params.rows.size(), 4u);
    EXPECT_EQ(params.rows[0].parametr, "Диоксид углерода");
    EXPECT_EQ(params.rows[3].parametr, "этан");
    CMethodSet methods(c);
    ASSERT_TRUE(methods.open());
    EXPECT_EQ(methods.rows,
              (std::vector<std::string>{"", "Метод Б", "Природный газ", "Трансформаторное масло"}));
    CQuantSet quants(c);
    ASSERT_TRUE(quants.open());
    EXPECT_EQ(quants.rows, (std::vector<std::string>{"%", "мг/м3"}));
    CResultParametrSet resultNames(c);
    ASSERT_TRUE(resultNames.open());
    EXPECT_EQ(resultNames.rows, (std::vector<std::string>{"Гелий", "Диоксид УГЛЕРОДА", "Метан",
                                                          "Сероводород", "этан"}));
    CResultPlaceSet resultPlaces(c);
    ASSERT_TRUE(resultPlaces.open());
    ASSERT_EQ(resultPlaces.rows.size(), 3u);
    EXPECT_EQ(resultPlaces.rows[0].station, "O'Brien");
    EXPECT_EQ(resultPlaces.rows[1].station, "ГРС-1");
    EXPECT_EQ(resultPlaces.rows[1].place, "Выход");
    EXPECT_EQ(resultPlaces.rows[2].place, "ЁМКОСТЬ №2");
    AnalysisSearch search;
    search.from = {2023, 1, 1};
    search.to = {2024, 12, 31};
    search.station = "ГРС-1";
    search.place = "выход";
    search.method = "ПРИРОДНЫЙ ГАЗ";
    auto foundKeys = [&] {
        std::vector<int> keys;
        const SearchResult found = findAnalyses(c, search).value();
        for (const AnalysisRow& r : found.rows)
            keys.push_back(r.keyAnalys);
        return keys;
    };
    EXPECT_EQ(foundKeys(), (std::vector<int>{2, 1}));
    search = AnalysisSearch();
    search.from = {2023, 1, 1};
    search.to = {2024, 12, 31};
    search.sort = SortColumn::Station;
    search.descending = false;
    EXPECT_EQ(foundKeys(), (std::vector<int>{5, 1, 2, 3}));

    // Opening again changes nothing more.
    database.close();
    ASSERT_TRUE(database.open());
    EXPECT_EQ(copiesBeside(file).size(), 1u);

    // And the file now reads in the sqlite3 shell.
    if (const std::optional<std::filesystem::path> shell = test::sqliteShell()) {
        database.close();
        const test::ShellRun run = test::runSqliteShell(
            *shell, file, "SELECT count(*) FROM Results; PRAGMA integrity_check;\n");
        EXPECT_EQ(run.output, "9\nok\n");
    }
}

TEST(SchemaUpgrade, AFailedUpgradeLeavesTheFileAsItWasAndSaysSo) {
    test::TempDir dir, logDir;
    const std::filesystem::path file = dir / kDatabaseFileName;
    std::filesystem::copy_file(kFirstSchemaFile, file);
    const std::string before = test::readFile(file);
    CWorkLog::instance().start(logDir.path(), "test", "test");
    {
        // A full disk: the file may not grow by a single page.
        Connection c = Connection::open(file, Connection::Mode::ReadWrite).value();
        const long long pages = c.scalar("PRAGMA page_count").value();
        ASSERT_TRUE(c.exec(text::format("PRAGMA max_page_count = %lld", pages)));
        Result<SchemaUpgrade> r = upgradeSchema(c);
        ASSERT_FALSE(r);
        EXPECT_NE(r.message().find("не переведена на схему версии 2"), std::string::npos)
            << r.message();
        EXPECT_NE(r.message().find("full"), std::string::npos) << r.message();
        EXPECT_NE(r.message().find("Файл оставлен без изменений"), std::string::npos);
        EXPECT_EQ(c.scalar("PRAGMA user_version").value(), 1);
        EXPECT_EQ(c.scalar("PRAGMA foreign_keys").value(), 1);
        EXPECT_FALSE(c.inTransaction());
        EXPECT_EQ(c.scalar("SELECT count(*) FROM Results").value(), 9);
    }
    const std::string log = workLogText();
    CWorkLog::instance().stop();
    EXPECT_NE(log.find("! База данных"), std::string::npos) << log;
    EXPECT_TRUE(test::readFile(file) == before);
    EXPECT_TRUE(copiesBeside(file).empty());

    // A damaged file is not touched: it needs the repair first.
    {
        std::string damaged = before;
        const std::size_t pageSize = 1024;
        std::fill(damaged.begin() + 3 * pageSize, damaged.begin() + 4 * pageSize, '\xA5');
        test::writeFile(dir / "damaged.db", damaged);
        CAnalysesDatabase d(dir / "damaged.db");
        const Status s = d.open();
        EXPECT_FALSE(s);
        EXPECT_NE(s.message().find("реставрация"), std::string::npos) << s.message();
        EXPECT_TRUE(test::readFile(dir / "damaged.db") == damaged);
        // The repair salvages it into a file of the current schema.
        Result<RepairReport> repaired = d.repair();
        ASSERT_TRUE(repaired) << repaired.message();
        ASSERT_TRUE(d.isOpen());
        EXPECT_EQ(d.connection().scalar("PRAGMA user_version").value(), kSchemaVersion);
        EXPECT_EQ(d.connection()
                      .scalar("SELECT count(*) FROM Stations WHERE StationFold = 'грс-1'")
                      .value(),
                  1);
    }

    // A file of a newer schema is refused and left alone.
    {
        CAnalysesDatabase d(file);
        ASSERT_TRUE(d.open());
        ASSERT_TRUE(d.connection().exec("PRAGMA user_version = 3"));
    }
    const std::string newer = test::readFile(file);
    CAnalysesDatabase d(file);
    const Status s = d.open();
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("более новой версией"), std::string::npos) << s.message();
    EXPECT_TRUE(test::readFile(file) == newer);
}

}  // namespace
}  // namespace zelmora::db
