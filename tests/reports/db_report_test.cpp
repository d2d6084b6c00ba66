#include "reports/db_report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/text.h"
#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"
#include "tests/database/db_fixture.h"

namespace zelmora {
namespace {

using test::localTime;

const std::filesystem::path kShare =
    std::filesystem::path(ZELMORA_TEST_DATA) / ".." / ".." / "share";

// A database of known content: analyses at "ГРС-1"/"Выход", "ГРС-1"/"Вход"
// and "O'Brien"/"Кран 'A'" on two days of March 2026, by two methods, with
// methane, ethane and a component whose name holds quotes.
struct ReportDb : test::DbFixture {
    ReportDb() {
        add("ГРС-1", "Выход", localTime(2026, 3, 10, 8, 0), "Газ",
            {{"Метан", 95.1}, {"Этан", 2.5}});
        add("ГРС-1", "Выход", localTime(2026, 3, 10, 14, 0), "Газ",
            {{"Метан", 94.7}, {"Этан", 2.7}});
        add("ГРС-1", "Вход", localTime(2026, 3, 10, 9, 30), "Газ", {{"Метан", 96.0}});
        add("O'Brien", "Кран 'A'", localTime(2026, 3, 10, 11, 0), "Газ",
            {{"Метан", 93.0}, {"Смесь \"Б\"", 0.4}});
        add("O'Brien", "Кран 'A'", localTime(2026, 3, 10, 12, 0), "Масло", {{"Метан", 1.0}});
        add("ГРС-1", "Выход", localTime(2026, 3, 11, 8, 0), "Газ",
            {{"Метан", 95.5}, {"Этан", 2.4}});
        // At 23:59:59 of the day: still that day.
        add("ГРС-1", "Выход", localTime(2026, 3, 11, 23, 59, 59), "Газ", {{"Метан", 95.9}});
        add("ГРС-1", "Выход", localTime(2026, 3, 12, 0, 0), "Газ", {{"Метан", 90.0}});
    }

    void add(const char* station, const char* place, std::time_t date, const char* method,
             std::vector<std::pair<const char*, double>> results) {
        db::AnalysisRow row;
        row.station = station;
        row.place = place;
        row.date = date;
        row.anDate = date + 600;
        row.method = method;
        row.sample = std::string("Проба ") + place;
        const int key = db::CAnalysSet(db()).add(row).value();
        db::CResultSet set(db());
        for (const auto& [name, value] : results)
            ASSERT_TRUE(set.add(key, name, value).ok());
    }

    // The values a direct statement gives, in the order asked.
    std::vector<double> direct(const std::string& sql) {
        db::Statement s = db().prepare(sql);
        std::vector<double> out;
        while (s.next())
            out.push_back(s.real(0));
        EXPECT_TRUE(s.ok()) << s.status().message();
        return out;
    }
};

DbReportDefinition definition(DbReportKind kind) {
    Result<DbReportDefinition> d = DbReportDefinition::parse(defaultDbReportDefinition(kind));
    EXPECT_TRUE(d) << d.message();
    return d ? std::move(d).value() : DbReportDefinition();
}

std::vector<double> valuesOf(const DbReportGroup& g, std::size_t column) {
    std::vector<double> out;
    for (const auto& row : g.rows)
        out.push_back(text::parseDouble(row[column]).value_or(-1));
    return out;
}

TEST(DbReport, DateReportGroupsByPointAndMatchesTheDatabase) {
    ReportDb db;
    DbReportSelection sel;
    sel.from = sel.to = {2026, 3, 10};
    const Result<DbReport> r = runDbReport(db.db(), definition(DbReportKind::Date), sel);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->title, "Отчёт для даты");
    EXPECT_EQ(r->header, (std::vector<std::string>{"Дата отбора: 10.03.2026", "Метод: * (любой)"}));
    // Groups in name order without regard to case: "O'Brien" before "ГРС-1",
    // and "Вход" before "Выход".
    ASSERT_EQ(r->groups.size(), 3u);
    EXPECT_EQ(r->groups[0].title, "Пункт отбора: O'Brien; точка отбора: Кран 'A'");
    EXPECT_EQ(r->groups[1].title, "Пункт отбора: ГРС-1; точка отбора: Вход");
    EXPECT_EQ(r->groups[2].title, "Пункт отбора: ГРС-1; точка отбора: Выход");
    EXPECT_EQ(r->rowCount,
              static_cast<std::size_t>(
                  db.count("SELECT COUNT(*) FROM Results JOIN Analyses ON KeyAnalys = Analys "
                           "WHERE Date BETWEEN '2026-03-10 00:00:00' AND '2026-03-10 23:59:59'")));
    // Rows within a point by time, then component.
    const DbReportGroup& exit = r->groups[2];
    ASSERT_EQ(exit.rows.size(), 4u);
    EXPECT_EQ(exit.rows[0],
              (std::vector<std::string>{"08:00:00", "Проба Выход", "Метан", "95.1", "%"}));
    EXPECT_EQ(exit.rows[1][2], "Этан");
    EXPECT_EQ(exit.rows[3][0], "14:00:00");
    EXPECT_EQ(valuesOf(exit, 3),
              db.direct("SELECT Value FROM Results JOIN Analyses ON KeyAnalys = Analys "
                        "WHERE Place = 'Выход' AND Date LIKE '2026-03-10%' "
                        "ORDER BY Date, ParametrFold"));
    // A component not in the catalogue has no unit.
    EXPECT_EQ(r->groups[0].rows[1][2], "Смесь \"Б\"");
    EXPECT_EQ(r->groups[0].rows[1][4], "");

    // One method only.
    sel.method = "газ";
    const Result<DbReport> gas = runDbReport(db.db(), definition(DbReportKind::Date), sel);
    ASSERT_TRUE(gas);
    EXPECT_EQ(gas->header[1], "Метод: газ");
    EXPECT_EQ(gas->rowCount, r->rowCount - 1);

    // Points and components the operator left unselected.
    sel.method = kAnyMethod;
    sel.excludedPoints = {{"o'brien", "КРАН 'a'"}};
    sel.excludedComponents = {"этан"};
    const Result<DbReport> part = runDbReport(db.db(), definition(DbReportKind::Date), sel);
    ASSERT_TRUE(part);
    ASSERT_EQ(part->groups.size(), 2u);
    EXPECT_EQ(part->rowCount, 3u);
    for (const DbReportGroup& g : part->groups)
        for (const auto& row : g.rows)
            EXPECT_EQ(row[2], "Метан");
}

TEST(DbReport, PlaceReportWithTotalsOverAPeriod) {
    ReportDb db;
    DbReportSelection sel;
    sel.from = {2026, 3, 10};
    sel.to = {2026, 3, 11};
    sel.station = "ГРС-1";
    sel.place = "Выход";
    const Result<DbReport> r = runDbReport(db.db(), definition(DbReportKind::Place), sel);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->header[0], "Пункт отбора: ГРС-1; точка отбора: Выход");
    EXPECT_EQ(r->header[1], "Период: с 10.03.2026 по 11.03.2026");
    ASSERT_EQ(r->groups.size(), 2u);
    EXPECT_EQ(r->groups[0].title, "Компонент: Метан");
    EXPECT_EQ(r->groups[1].title, "Компонент: Этан");
    // Methane at the point in the period, 12 March 00:00 excluded.
    const std::vector<double> methane = db.direct(
        "SELECT Value FROM Results JOIN Analyses ON KeyAnalys = Analys "
        "WHERE Station = 'ГРС-1' AND Place = 'Выход' AND Parametr = 'Метан' AND "
        "Date BETWEEN '2026-03-10 00:00:00' AND '2026-03-11 23:59:59' ORDER BY Date");
    ASSERT_EQ(methane.size(), 4u);
    EXPECT_EQ(valuesOf(r->groups[0], 2), methane);
    const std::vector<double> agg = db.direct(
        "SELECT COUNT(Value) FROM Results JOIN Analyses ON KeyAnalys = Analys WHERE Place = "
        "'Выход' AND Parametr = 'Метан' AND Date < '2026-03-12' UNION ALL "
        "SELECT AVG(Value) FROM Results JOIN Analyses ON KeyAnalys = Analys WHERE Place = "
        "'Выход' AND Parametr = 'Метан' AND Date < '2026-03-12' UNION ALL "
        "SELECT MIN(Value) FROM Results JOIN Analyses ON KeyAnalys = Analys WHERE Place = "
        "'Выход' AND Parametr = 'Метан' AND Date < '2026-03-12' UNION ALL "
        "SELECT MAX(Value) FROM Results JOIN Analyses ON KeyAnalys = Analys WHERE Place = "
        "'Выход' AND Parametr = 'Метан' AND Date < '2026-03-12'");
    const std::vector<DbReportTotal>& t = r->groups[0].totals;
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].label, "Число значений");
    EXPECT_EQ(t[0].value, text::format("%.0f", agg[0]));
    EXPECT_EQ(t[1].label, "Среднее");
    EXPECT_EQ(t[1].value, text::format("%.4g", agg[1]));
    EXPECT_EQ(t[2].value, text::format("%.4g", agg[2]));
    EXPECT_EQ(t[3].value, text::format("%.4g", agg[3]));
    EXPECT_EQ(r->totalColumn, 2);

    // A point name with quotes and Cyrillic letters selects like any other.
    sel.station = "O'Brien";
    sel.place = "Кран 'A'";
    const Result<DbReport> crane = runDbReport(db.db(), definition(DbReportKind::Place), sel);
    ASSERT_TRUE(crane) << crane.message();
    EXPECT_EQ(crane->rowCount, 3u);
    EXPECT_EQ(crane->header[0], "Пункт отбора: O'Brien; точка отбора: Кран 'A'");
}

TEST(DbReport, ComponentReportEmptyPeriodAndQuotedNames) {
    ReportDb db;
    DbReportSelection sel;
    sel.from = {2026, 1, 1};
    sel.to = {2026, 12, 31};
    sel.parametr = "Смесь \"Б\"";
    Result<DbReport> r = runDbReport(db.db(), definition(DbReportKind::Parametr), sel);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->header[0], "Компонент: Смесь \"Б\"");
    ASSERT_EQ(r->groups.size(), 1u);
    EXPECT_EQ(r->groups[0].rows.size(), 1u);
    EXPECT_EQ(r->groups[0].rows[0][2], "0.4");
    ASSERT_EQ(r->grandTotals.size(), 4u);
    EXPECT_EQ(r->grandTotals[0].value, "1");

    sel.parametr = "метан";
    r = runDbReport(db.db(), definition(DbReportKind::Parametr), sel);
    ASSERT_TRUE(r);
    EXPECT_EQ(static_cast<long long>(r->rowCount),
              db.count("SELECT COUNT(*) FROM Results WHERE Parametr = 'Метан'"));
    EXPECT_EQ(r->grandTotals[1].value,
              text::format("%.4g", db.direct("SELECT AVG(Value) FROM Results WHERE Parametr = "
                                             "'Метан'")[0]));

    // Nothing in the period: the title and header with no rows, not an error.
    sel.from = sel.to = {2025, 6, 1};
    r = runDbReport(db.db(), definition(DbReportKind::Parametr), sel);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->rowCount, 0u);
    EXPECT_TRUE(r->groups.empty());
    EXPECT_TRUE(r->grandTotals.empty());
    const std::string text = dbReportToRtf(*r).plainText();
    EXPECT_NE(text.find("Отчёт для параметра"), std::string::npos);
    EXPECT_NE(text.find("Компонент: метан"), std::string::npos);
    EXPECT_NE(text.find("Нет данных"), std::string::npos);
    EXPECT_EQ(dbReportToCsv(*r),
              "\xEF\xBB\xBFStation,Place,Дата отбора,Проба,Значение,Ед. изм.\r\n");
}

TEST(DbReport, WhatTheDialogsOffer) {
    ReportDb db;
    DbReportSelection sel;
    sel.from = sel.to = {2026, 3, 10};
    Result<std::vector<std::string>> components = dbReportComponents(db.db(), sel);
    ASSERT_TRUE(components) << components.message();
    EXPECT_EQ(*components, (std::vector<std::string>{"Метан", "Смесь \"Б\"", "Этан"}));
    Result<std::vector<DbReportPoint>> points = dbReportPoints(db.db(), sel);
    ASSERT_TRUE(points);
    EXPECT_EQ(*points, (std::vector<DbReportPoint>{
                           {"O'Brien", "Кран 'A'"}, {"ГРС-1", "Вход"}, {"ГРС-1", "Выход"}}));
    // The method and the component narrow them; the exclusions do not.
    sel.method = "масло";
    sel.excludedComponents = {"Метан"};
    components = dbReportComponents(db.db(), sel);
    ASSERT_TRUE(components);
    EXPECT_EQ(*components, std::vector<std::string>{"Метан"});
    sel.method.clear();
    sel.parametr = "ЭТАН";
    points = dbReportPoints(db.db(), sel);
    ASSERT_TRUE(points);
    EXPECT_EQ(*points, (std::vector<DbReportPoint>{{"ГРС-1", "Выход"}}));
    sel.from = sel.to = {2030, 1, 1};
    EXPECT_TRUE(dbReportComponents(db.db(), sel)->empty());
}

TEST(DbReport, ValuesAreBoundNeverPasted) {
    DbReportSelection sel;
    sel.from = {2026, 3, 10};
    sel.to = {2026, 3, 11};
    sel.method = "x') OR 1=1 --";
    sel.parametr = "Смесь \"Б\"";
    sel.excludedComponents = {"a'b"};
    sel.excludedPoints = {{"O'Brien", "Кран"}};
    const DbReportQuery q = buildDbReportQuery(definition(DbReportKind::Parametr), sel);
    EXPECT_EQ(q.sql.find('\''), std::string::npos) << q.sql;
    EXPECT_EQ(q.sql.find("OR 1=1"), std::string::npos);
    EXPECT_EQ(q.values.size(), 7u);
    EXPECT_EQ(q.values[2], "x') or 1=1 --");
    EXPECT_EQ(q.values[5], "o'brien");
    // Conditions combined with parentheses.
    EXPECT_NE(q.sql.find("AND NOT (Analyses.StationFold = ? AND Analyses.PlaceFold = ?)"),
              std::string::npos);
}

TEST(DbReport, RtfAndCsvOfAReport) {
    ReportDb db;
    DbReportSelection sel;
    sel.from = {2026, 3, 10};
    sel.to = {2026, 3, 11};
    sel.station = "O'Brien";
    sel.place = "Кран 'A'";
    const Result<DbReport> r = runDbReport(db.db(), definition(DbReportKind::Place), sel);
    ASSERT_TRUE(r);
    const rtf::RtfDocument doc = dbReportToRtf(*r);
    const std::string text = doc.plainText();
    EXPECT_NE(text.find("Отчёт для точки отбора\n"), std::string::npos);
    EXPECT_NE(text.find("Компонент: Смесь \"Б\"\n"), std::string::npos);
    EXPECT_NE(text.find("Дата отбора\tПроба\tЗначение\tЕд. изм.\t"), std::string::npos) << text;
    EXPECT_NE(text.find("10.03.2026 11:00\tПроба Кран 'A'\t93\t%\t"), std::string::npos) << text;
    EXPECT_NE(text.find("Среднее\t\t47\t\t"), std::string::npos) << text;
    // A word processor reads it back the same.
    const Result<rtf::RtfDocument> back = rtf::readRtf(rtf::writeRtf(doc));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->plainText(), text);

    const std::string csv = dbReportToCsv(*r);
    EXPECT_EQ(csv,
              "\xEF\xBB\xBFParametr,Дата отбора,Проба,Значение,Ед. изм.\r\n"
              "Метан,10.03.2026 11:00,Проба Кран 'A',93,%\r\n"
              "Метан,10.03.2026 12:00,Проба Кран 'A',1,%\r\n"
              "\"Смесь \"\"Б\"\"\",10.03.2026 11:00,Проба Кран 'A',0.4,\r\n");
}

TEST(DbReport, DefinitionFiles) {
    // The shipped files are the defaults, and each reads.
    for (DbReportKind k : {DbReportKind::Date, DbReportKind::Place, DbReportKind::Parametr}) {
        std::ifstream in(dbReportPath(kShare, k), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        EXPECT_EQ(bytes.str(), defaultDbReportDefinition(k)) << dbReportName(k);
        const Result<DbReportDefinition> d = DbReportDefinition::load(dbReportPath(kShare, k));
        ASSERT_TRUE(d) << d.message();
        EXPECT_EQ(d->title, dbReportTitle(k));
    }
    const Result<DbReportDefinition> d = DbReportDefinition::parse(
        "# a laboratory's own\n"
        "title = Мой отчёт\n"
        "column = value | V | %8.2f\n"
        "column = KeyAnalys\n"
        "total = Value | sum\n"
        "grandTotal = да\n");
    ASSERT_TRUE(d) << d.message();
    EXPECT_EQ(d->columns[0].field, "Value");
    EXPECT_EQ(d->columns[1].title, "KeyAnalys");
    EXPECT_EQ(d->totals, std::vector<DbTotal>{DbTotal::Sum});
    EXPECT_TRUE(d->grandTotal);

    // Mistakes are named with their line; a format that printf could not
    // take safely is refused.
    const char* bad[] = {
        "title = T\ncolumn = Value | V | %s\n",
        "title = T\ncolumn = Value | V | %f %f\n",
        "title = T\ncolumn = Value | V | %n\n",
        "title = T\ncolumn = Value | V | %*f\n",
        "title = T\ncolumn = Value | V | %999999f\n",
        "title = T\ncolumn = Value | V | %.100f\n",
        "title = T\ncolumn = Nonsense\n",
        "title = T\ncolumn = Sample\ntotal = Sample\n",
        "title = T\ncolumn = Sample\ngroup = Station, Moon\n",
        "title = T\ncolumn = Sample\nsize = 3\n",
        "title = T\ncolumn = Sample\njust text\n",
        "column = Sample\n",
        "title = T\n",
    };
    for (const char* text : bad)
        EXPECT_FALSE(DbReportDefinition::parse(text)) << text;
    const Result<DbReportDefinition> line =
        DbReportDefinition::parse("title = T\n\n# c\nfoo = 1\n");
    EXPECT_NE(line.message().find("Строка 4"), std::string::npos) << line.message();
    EXPECT_FALSE(DbReportDefinition::load(kShare / "Templates" / "missing.rpt"));
}

}  // namespace
}  // namespace zelmora
