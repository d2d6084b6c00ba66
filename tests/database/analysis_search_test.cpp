#include "database/analysis_search.h"

#include <gtest/gtest.h>

#include "tests/database/db_fixture.h"

namespace zelmora::db {
namespace {

using test::DbFixture;
using test::localTime;

int addAnalysis(Connection& c, const char* station, const char* place, std::time_t date,
                const char* method = "", const char* op = "", const char* sample = "") {
    AnalysisRow r;
    r.station = station;
    r.place = place;
    r.date = date;
    r.anDate = date + 60;
    r.method = method;
    r.operatorName = op;
    r.sample = sample;
    return CAnalysSet(c).add(r).value();
}

std::vector<int> keys(const SearchResult& r) {
    std::vector<int> k;
    for (const AnalysisRow& a : r.rows)
        k.push_back(a.keyAnalys);
    return k;
}

TEST(AnalysisSearch, CriteriaMatchWholeNamesWithoutCaseAndWithQuotes) {
    DbFixture f;
    Connection& c = f.db();
    const int a1 =
        addAnalysis(c, "ГРС-1", "Выход", localTime(2024, 3, 1, 0, 0, 0), "Газ", "Иванов");
    const int a2 = addAnalysis(c, "ГРС-1", "Вход", localTime(2024, 3, 1, 23, 59, 59), "Газ");
    const int a3 = addAnalysis(c, "ГРС-10", "Выход", localTime(2024, 3, 2, 12));
    const int a4 = addAnalysis(c, "O'Brien", "Кран 'A'", localTime(2024, 3, 3, 8), "Газ 'Б'");
    addAnalysis(c, "ГРС-1", "Выход", localTime(2024, 2, 29, 23, 59, 59));

    AnalysisSearch s;
    s.from = {2024, 3, 1};
    s.to = {2024, 3, 3};
    // Whole days at both ends, newest first.
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{a4, a3, a2, a1}));

    s.station = "грс-1";  // not "ГРС-10", which only begins with it
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{a2, a1}));
    s.place = "ВЫХОД";
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{a1}));
    s.operatorName = "иванов";
    s.method = "газ";
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{a1}));
    s.operatorName = "Петров";
    EXPECT_TRUE(findAnalyses(c, s).value().rows.empty());

    AnalysisSearch q;
    q.from = {2024, 1, 1};
    q.to = {2024, 12, 31};
    q.station = "O'Brien";
    q.place = "Кран 'A'";
    q.method = "Газ 'Б'";
    const SearchResult quoted = findAnalyses(c, q).value();
    ASSERT_EQ(keys(quoted), (std::vector<int>{a4}));
    EXPECT_EQ(quoted.rows[0].station, "O'Brien");
    EXPECT_EQ(quoted.rows[0].anDate, localTime(2024, 3, 3, 8, 1));
    EXPECT_FALSE(quoted.truncated);
    EXPECT_TRUE(quoted.notice.empty());
    // Only the values are bound: the statement text never holds them.
    const BuiltStatement b = buildSearchStatement(q, 1000);
    EXPECT_EQ(b.sql.find("Brien"), std::string::npos);
    EXPECT_EQ(b.values.size(), 5u);
}

TEST(AnalysisSearch, SortingByHeaderAndTheRowLimit) {
    DbFixture f;
    Connection& c = f.db();
    const int b = addAnalysis(c, "Б", "1", localTime(2024, 5, 1), "М2", "Оп", "ж");
    const int a = addAnalysis(c, "а", "2", localTime(2024, 5, 2), "м1", "оп", "З");
    const int v = addAnalysis(c, "В", "3", localTime(2024, 5, 3), "М3", "ОП", "е");
    AnalysisSearch s;
    s.from = {2024, 1, 1};
    s.to = {2024, 12, 31};
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{v, a, b}));  // Date DESC
    EXPECT_TRUE(s.clickHeader(2));                                             // Station ascending
    EXPECT_FALSE(s.descending);
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{a, b, v}));
    EXPECT_TRUE(s.clickHeader(2));  // again: descending
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{v, b, a}));
    EXPECT_FALSE(s.clickHeader(7));  // the comment column does not sort
    EXPECT_FALSE(s.clickHeader(0));
    EXPECT_EQ(s.sort, SortColumn::Station);
    EXPECT_TRUE(s.clickHeader(4));  // Sample, case-blind: е, ж, З
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{v, b, a}));
    EXPECT_TRUE(s.clickHeader(6));  // equal operators keep the key order
    EXPECT_EQ(keys(findAnalyses(c, s).value()), (std::vector<int>{b, a, v}));

    // More matches than the limit: the first ones in the chosen order and the notice.
    {
        Transaction t(c);
        for (int i = 0; i < 1005; ++i)
            addAnalysis(c, "Г", "1", localTime(2024, 6, 1) + i);
        ASSERT_TRUE(t.commit());
    }
    AnalysisSearch many;
    many.from = {2024, 6, 1};
    many.to = {2024, 6, 1};
    const SearchResult r = findAnalyses(c, many).value();
    EXPECT_EQ(r.rows.size(), 1000u);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.notice, "Показаны первые 1000 записей.");
    EXPECT_EQ(r.rows.front().date, localTime(2024, 6, 1) + 1004);
    EXPECT_EQ(r.rows.back().date, localTime(2024, 6, 1) + 5);
    // Exactly the limit is not truncated.
    EXPECT_FALSE(findAnalyses(c, many, 1005).value().truncated);
}

TEST(DbTime, LocalIsoTextRoundTrips) {
    const std::time_t t = localTime(2023, 12, 31, 23, 59, 58);
    EXPECT_EQ(toDbTime(t), "2023-12-31 23:59:58");
    EXPECT_EQ(fromDbTime("2023-12-31 23:59:58"), t);
    EXPECT_EQ(displayTime(t), "31.12.2023 23:59:58");
    EXPECT_FALSE(fromDbTime("2023-02-31 00:00:00"));
    EXPECT_FALSE(fromDbTime("2023-12-31T23:59:58"));
    EXPECT_FALSE(fromDbTime("2023-12-31 24:00:00"));
    EXPECT_FALSE(fromDbTime(""));
    EXPECT_EQ(dayEnd({2024, 2, 29}), "2024-02-29 23:59:59");
}

}  // namespace
}  // namespace zelmora::db
