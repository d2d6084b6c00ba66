#include "database/schema.h"

#include <gtest/gtest.h>

#include "app/text.h"
#include "database/recordsets.h"
#include "tests/database/db_fixture.h"
#include "tests/database/sqlite_shell.h"

namespace zelmora::db {
namespace {

using test::DbFixture;

// The rows of a statement as the shell prints them in list mode: columns
// joined by "|", one line per row, NULL as nothing.
std::string rowsAsText(Statement& s) {
    std::string out;
    while (s.next()) {
        for (int i = 0; i < s.columnCount(); ++i)
            out += (i > 0 ? "|" : "") + s.text(i);
        out += "\n";
    }
    EXPECT_TRUE(s.ok()) << s.status().message();
    return out;
}

TEST(Schema, CreatedOnceReopenedAndNeverCreatedSilently) {
    test::TempDir dir;
    const auto file = dir / kDatabaseFileName;
    // Opening a missing file fails and makes no file.
    CAnalysesDatabase missing(file);
    EXPECT_FALSE(missing.open());
    EXPECT_FALSE(std::filesystem::exists(file));

    {
        CAnalysesDatabase made(file);
        ASSERT_TRUE(made.create());
        EXPECT_EQ(made.connection().scalar("PRAGMA application_id").value(), kApplicationId);
        EXPECT_EQ(CStationSet(made.connection()).add("ГРС").value(), 1);
    }
    CAnalysesDatabase again(file);
    ASSERT_TRUE(again.open());
    CStationSet stations(again.connection());
    ASSERT_TRUE(stations.open());
    ASSERT_EQ(stations.rows.size(), 1u);
    EXPECT_EQ(stations.rows[0].station, "ГРС");
    // A second create refuses and leaves the data.
    CAnalysesDatabase twice(file);
    EXPECT_FALSE(twice.create());
    EXPECT_EQ(again.connection().scalar("SELECT count(*) FROM Stations").value(), 1);

    // Some other file is neither opened as a database nor overwritten.
    test::writeFile(dir / "other.db", "not a database at all, just text");
    CAnalysesDatabase other(dir / "other.db");
    EXPECT_FALSE(other.open());
    EXPECT_FALSE(other.create());
    EXPECT_EQ(test::readFile(dir / "other.db"), "not a database at all, just text");
}

TEST(Schema, KeysAreNeverReusedAndDeletesCascade) {
    DbFixture f;
    Connection& c = f.db();
    CAnalysSet analyses(c);
    AnalysisRow row;
    row.station = "ГРС-1";
    const int first = analyses.add(row).value();
    ASSERT_TRUE(CResultSet(c).add(first, "Метан", 91.5));
    ASSERT_TRUE(analyses.remove(first));
    EXPECT_EQ(f.count("SELECT count(*) FROM Results"), 0);  // no orphaned results
    EXPECT_GT(analyses.add(row).value(), first);            // the deleted key stays unused

    // A result for an analysis that does not exist is refused.
    EXPECT_FALSE(CResultSet(c).add(9999, "Метан", 1.0));
    // One result per component and analysis, names compared without case.
    const int second = f.count("SELECT max(KeyAnalys) FROM Analyses");
    ASSERT_TRUE(CResultSet(c).add(second, "Метан", 1.0));
    EXPECT_FALSE(CResultSet(c).add(second, "МЕТАН", 2.0));
    EXPECT_FALSE(CParametrSet(c).add("метан", "%", 0));
    EXPECT_FALSE(CStationSet(c).add("грс-1"));

    // Deleting a station removes its points and their critical values.
    ASSERT_TRUE(CStationSet(c).remove(f.grs));
    EXPECT_EQ(f.count("SELECT count(*) FROM Places"), 1);
    EXPECT_EQ(f.count("SELECT count(*) FROM CritValues"), 0);
    // Deleting a component removes its critical values too.
    ASSERT_TRUE(controlComponents(c, f.cranePoint, {f.ethane}));
    ASSERT_TRUE(CParametrSet(c).remove(f.ethane));
    EXPECT_EQ(f.count("SELECT count(*) FROM CritValues"), 0);
}

TEST(Schema, StoredQueriesReturnTheirRows) {
    DbFixture f;
    Connection& c = f.db();
    for (const char* name :
         {kCritValuesQuery0, kCritValuesQuery1, kCritValuesQuery, kLeftCritValuesQuery,
          kLeftResultsQuery, kPlacesQuery, kResultsQuery, kResultsExQuery})
        EXPECT_TRUE(storedQuerySql(c, name)) << name;
    ASSERT_TRUE(CCritValuesSet(c).setCritValue(f.exitPoint, f.methane, 95));

    CCritValues0Set cv0(c);
    ASSERT_TRUE(cv0.open(f.exitPoint));
    ASSERT_EQ(cv0.rows.size(), 2u);
    EXPECT_EQ(cv0.rows[0].parametr, "Метан");
    EXPECT_EQ(cv0.rows[0].quant, "%");
    EXPECT_EQ(cv0.rows[0].critValue, 95.0);
    EXPECT_EQ(cv0.rows[1].parametr, "Сероводород");
    EXPECT_EQ(cv0.rows[1].critValue, 0.02);

    CCritValues1Set cv1(c);
    ASSERT_TRUE(cv1.open("выход", "грс-1"));  // by names, any case
    EXPECT_EQ(cv1.rows.size(), 2u);
    ASSERT_TRUE(cv1.open("Выход", "O'Brien"));
    EXPECT_TRUE(cv1.rows.empty());

    CCritValuesSet cv(c);
    ASSERT_TRUE(cv.open(f.exitPoint));
    ASSERT_EQ(cv.rows.size(), 2u);
    EXPECT_EQ(cv.rows[0].keyParametr, f.methane);
    EXPECT_EQ(cv.rows[0].place, f.exitPoint);
    EXPECT_EQ(cv.rows[1].quant, "мг/м3");
    ASSERT_TRUE(cv.remove(f.exitPoint, f.sulphide));
    ASSERT_TRUE(cv.requery());
    EXPECT_EQ(cv.rows.size(), 1u);

    CLeftCritValuesSet left(c);
    ASSERT_TRUE(left.open(f.exitPoint));
    ASSERT_EQ(left.rows.size(), 2u);  // Сероводород, Этан
    EXPECT_EQ(left.rows[0].parametr, "Сероводород");
    EXPECT_EQ(left.rows[0].defValue, 0.02);
    EXPECT_EQ(left.rows[1].keyParametr, f.ethane);

    CPlaceSet places(c);
    ASSERT_TRUE(places.open(f.grs));
    ASSERT_EQ(places.rows.size(), 2u);
    EXPECT_EQ(places.rows[0].place, "Вход");  // sorted by name
    EXPECT_EQ(places.rows[1].keyPlace, f.exitPoint);
    EXPECT_EQ(places.rows[1].station, f.grs);

    AnalysisRow a;
    a.station = "ГРС-1";
    a.place = "Выход";
    const int key = CAnalysSet(c).add(a).value();
    CResultSet results(c);
    ASSERT_TRUE(results.add(key, "Этан", 4.25));
    ASSERT_TRUE(results.add(key, "Метан", 93.0));
    ASSERT_TRUE(results.add(key, "Гелий", std::nullopt));
    ASSERT_TRUE(results.open(key));
    ASSERT_EQ(results.rows.size(), 3u);
    EXPECT_EQ(results.rows[0].parametr, "Этан");  // in the order they were added
    EXPECT_EQ(results.rows[0].analys, key);
    EXPECT_FALSE(results.rows[2].value.has_value());

    CLeftResultsSet leftResults(c);
    ASSERT_TRUE(leftResults.open(key));
    EXPECT_EQ(leftResults.rows, std::vector<std::string>{"Сероводород"});

    CResultExSet ex(c);
    ASSERT_TRUE(ex.open(key, f.exitPoint));
    ASSERT_EQ(ex.rows.size(), 3u);
    EXPECT_EQ(ex.rows[0].quant, "%");
    EXPECT_FALSE(ex.rows[0].critValue.has_value());  // Этан is not controlled there
    EXPECT_EQ(ex.rows[1].critValue, 95.0);
    EXPECT_EQ(ex.rows[2].quant, "");  // Гелий is not in the catalogue

    CResultParametrSet rp(c);
    ASSERT_TRUE(rp.open());
    EXPECT_EQ(rp.rows, (std::vector<std::string>{"Гелий", "Метан", "Этан"}));
    CResultPlaceSet rpl(c);
    ASSERT_TRUE(rpl.open());
    ASSERT_EQ(rpl.rows.size(), 1u);
    EXPECT_EQ(rpl.rows[0].station, "ГРС-1");
    EXPECT_EQ(rpl.rows[0].place, "Выход");
    CQuantSet quants(c);
    ASSERT_TRUE(quants.open());
    EXPECT_EQ(quants.rows, (std::vector<std::string>{"%", "мг/м3"}));
    CMethodSet methods(c);
    ASSERT_TRUE(methods.open());
    EXPECT_EQ(methods.rows, std::vector<std::string>{""});

    // A file whose query carries another name makes the recordset fail by name.
    ASSERT_TRUE(
        c.exec("UPDATE StoredQueries SET Name = 'LeftResultsQuery' "
               "WHERE Name = 'LeftResusultsQuery'"));
    CLeftResultsSet renamed(c);
    const Status s = renamed.open(key);
    EXPECT_FALSE(s);
    EXPECT_NE(s.message().find("LeftResusultsQuery"), std::string::npos);
}

TEST(Schema, EveryTableAndStoredQueryReadsInTheSqliteShell) {
    const std::optional<std::filesystem::path> shell = test::sqliteShell();
    if (!shell)
        GTEST_SKIP() << test::kNoShellMessage;
    DbFixture f;
    Connection& c = f.db();
    ASSERT_TRUE(addStation(c, "ёлкино северное"));
    AnalysisRow a;
    a.station = "грс-1";
    a.place = "ВЫХОД";
    a.date = test::localTime(2024, 5, 6, 7, 8, 9);
    a.method = "Природный газ";
    a.operatorName = "Иванова";
    const int key = CAnalysSet(c).add(a).value();
    ASSERT_TRUE(CResultSet(c).add(key, "МЕТАН", 96.25));
    ASSERT_TRUE(CResultSet(c).add(key, "сероводород", 0.03));
    ASSERT_TRUE(CResultSet(c).add(key, "Гелий", std::nullopt));
    f.database.close();
    Connection mine = Connection::open(f.file, Connection::Mode::ReadOnly).value();

    auto shellSays = [&](const std::string& script) {
        const test::ShellRun run = test::runSqliteShell(*shell, f.file, script);
        EXPECT_EQ(run.exitCode, 0) << run.output;
        return run.output;
    };
    EXPECT_EQ(shellSays("PRAGMA integrity_check;\n"), "ok\n");
    // Every table reads row by row as the program reads it.
    for (const char* table : {"Analyses", "Results", "Parametres", "Stations", "Places",
                              "CritValues", "StoredQueries", "sqlite_sequence"}) {
        SCOPED_TRACE(table);
        const std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
        Statement s = mine.prepare(sql);
        const std::string expected = rowsAsText(s);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(shellSays(sql + ";\n"), expected);
        const std::string count = std::string("SELECT count(*) FROM ") + table;
        EXPECT_EQ(shellSays(count + ";\n"), std::to_string(mine.scalar(count).value()) + "\n");
    }
    // Every stored query, its text taken from the file and its parameters set
    // in the shell, gives the rows the program gets.
    const std::string place = std::to_string(f.exitPoint);
    const std::string analysis = std::to_string(key);
    struct Run {
        const char* query;
        std::vector<std::pair<std::string, std::string>> parameters;  // name, SQL literal
    };
    const Run runs[] = {
        {kCritValuesQuery0, {{":QueryPlace", place}}},
        {kCritValuesQuery1, {{":QueryPlace", "'выход'"}, {":QueryStation", "'грс-1'"}}},
        {kCritValuesQuery, {{":QueryPlace", place}}},
        {kLeftCritValuesQuery, {{":QueryPlace", place}}},
        {kLeftResultsQuery, {{":QueryAnalys", analysis}}},
        {kPlacesQuery, {{":QueryStation", std::to_string(f.grs)}}},
        {kResultsQuery, {{":QueryAnalys", analysis}}},
        {kResultsExQuery, {{":QueryAnalys", analysis}, {":QueryPlace", place}}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.query);
        const std::string sql = storedQuerySql(mine, run.query).value();
        std::string script = ".parameter init\n";
        Statement q = mine.prepare(sql);
        for (const auto& [name, literal] : run.parameters) {
            script += ".parameter set " + name + " \"" + literal + "\"\n";
            Statement value = mine.prepare("SELECT " + literal);
            ASSERT_TRUE(value.next());
            q.bindColumn(q.parameterIndex(name.c_str()), value, 0);
        }
        const std::string expected = rowsAsText(q);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(shellSays(script + sql + ";\n"), expected);
    }
    // Case-blind lookup, ordering and uniqueness of names need nothing but the file.
    EXPECT_EQ(shellSays("SELECT Station FROM Stations WHERE StationFold = 'грс-1';\n"), "ГРС-1\n");
    EXPECT_EQ(shellSays("SELECT Station FROM Stations ORDER BY StationFold;\n"),
              "O'Brien\nГРС-1\nёлкино северное\n");
    EXPECT_EQ(shellSays("SELECT Results.Parametr, Quant FROM Results JOIN Parametres USING "
                        "(ParametrFold) WHERE Analys = " +
                        analysis + " ORDER BY Results.rowid;\n"),
              "МЕТАН|%\nсероводород|мг/м3\n");
    mine.close();
    const test::ShellRun twice = test::runSqliteShell(
        *shell, f.file, "INSERT INTO Stations (Station, StationFold) VALUES ('Грс-1', 'грс-1');\n",
        false);
    EXPECT_NE(twice.exitCode, 0);
    EXPECT_NE(twice.output.find("UNIQUE constraint failed: Stations.StationFold"),
              std::string::npos)
        << twice.output;
}

}  // namespace
}  // namespace zelmora::db
