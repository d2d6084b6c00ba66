// The history of a sampling point from the database: only that point's
// analyses up to the end of today, the latest ones when there are more than
// the limit, oldest first, with their results; and the transformer-oil table
// and diagnosis built from it.

#include "database/point_history.h"

#include <gtest/gtest.h>

#include "calc/transformer_oil.h"
#include "tests/database/db_fixture.h"

namespace zelmora::db {
namespace {

using test::DbFixture;
using test::localTime;

int addAnalysis(Connection& c, const char* station, const char* place, std::time_t date,
                std::initializer_list<std::pair<const char*, std::optional<double>>> results) {
    AnalysisRow r;
    r.station = station;
    r.place = place;
    r.date = date;
    r.anDate = date + 60;
    const int key = CAnalysSet(c).add(r).value();
    CResultSet set(c);
    for (auto [name, value] : results)
        EXPECT_TRUE(set.add(key, name, value));
    return key;
}

std::vector<int> keys(const std::vector<PointHistoryAnalysis>& h) {
    std::vector<int> k;
    for (const PointHistoryAnalysis& a : h)
        k.push_back(a.keyAnalys);
    return k;
}

TEST(PointHistory, OnePointUpToTodayOldestFirst) {
    DbFixture f;
    Connection& c = f.db();
    const std::time_t now = localTime(2025, 6, 10, 9, 0, 0);
    const int a2 = addAnalysis(c, "O'Brien", "Кран 'A'", localTime(2025, 3, 1, 10),
                               {{"H2", 0.01}, {"CO", 0.02}, {"Метан", std::nullopt}});
    const int a1 =
        addAnalysis(c, "O'Brien", "Кран 'A'", localTime(2025, 1, 5, 10), {{"H2", 0.008}});
    // Later today counts, tomorrow does not.
    const int a3 = addAnalysis(c, "O'Brien", "Кран 'A'", localTime(2025, 6, 10, 23, 59, 59), {});
    addAnalysis(c, "O'Brien", "Кран 'A'", localTime(2025, 6, 11, 0, 0, 0), {{"H2", 5.0}});
    addAnalysis(c, "ГРС-1", "Кран 'A'", localTime(2025, 2, 1), {{"H2", 7.0}});
    addAnalysis(c, "O'Brien", "Выход", localTime(2025, 2, 1), {{"H2", 7.0}});

    // Names without regard to case, quotes and all.
    const auto h = loadPointHistory(c, "o'brien", "КРАН 'a'", now);
    ASSERT_TRUE(h) << h.message();
    EXPECT_EQ(keys(*h), (std::vector<int>{a1, a2, a3}));
    ASSERT_EQ((*h)[1].results.size(), 3u);
    EXPECT_EQ((*h)[1].results[1].parametr, "CO");
    EXPECT_DOUBLE_EQ(*(*h)[1].results[1].value, 0.02);
    EXPECT_FALSE((*h)[1].results[2].value.has_value());
    EXPECT_EQ((*h)[0].date, localTime(2025, 1, 5, 10));

    EXPECT_TRUE(loadPointHistory(c, "O'Brien", "Нет такой", now).value().empty());
}

TEST(PointHistory, LatestAnalysesWhenAboveTheLimit) {
    DbFixture f;
    Connection& c = f.db();
    std::vector<int> k;
    // Inserted out of order; two share a moment.
    for (int d : {5, 1, 4, 2, 3, 4})
        k.push_back(addAnalysis(c, "ГРС-1", "Выход", localTime(2025, 1, d, 12), {}));
    const auto h = loadPointHistory(c, "ГРС-1", "Выход", localTime(2025, 2, 1), 3);
    ASSERT_TRUE(h);
    // The newest three: the 5th and both of the 4th, ascending.
    EXPECT_EQ(keys(*h), (std::vector<int>{k[2], k[5], k[0]}));
    EXPECT_TRUE(loadPointHistory(c, "ГРС-1", "Выход", localTime(2025, 2, 1), 0).value().empty());
}

TEST(PointHistory, TransformerDiagnosisFromTheDatabase) {
    DbFixture f;
    Connection& c = f.db();
    // Two samples of one moment (two columns of the chromatograph) and a
    // later sample 30 days on.
    const std::time_t t0 = localTime(2025, 4, 1, 11);
    addAnalysis(c, "ТП-5", "Т1", t0, {{"Водород", 1.0}, {"CO", 1.0}, {"CO2", 8.0}});
    addAnalysis(c, "ТП-5", "Т1", t0,
                {{"Метан", 0.5}, {"C2H2", 0.0625}, {"C2H4", 1.0}, {"C2H6", 2.0}});
    addAnalysis(c, "ТП-5", "Т1", localTime(2025, 5, 1, 11),
                {{"Водород", 1.2},
                 {"CO", 1.0},
                 {"CO2", 8.0},
                 {"метан", 0.5},  // another spelling: not taken
                 {"C2H2", 0.0625},
                 {"C2H4", 1.0},
                 {"C2H6", 2.0}});
    const auto rows = loadPointHistory(c, "ТП-5", "Т1", localTime(2025, 6, 1));
    ASSERT_TRUE(rows);
    std::vector<OilSampleResults> samples;
    for (const PointHistoryAnalysis& a : *rows) {
        OilSampleResults s{a.date, {}};
        for (const auto& r : a.results)
            s.results.push_back({r.parametr, r.value.value_or(0)});
        samples.push_back(std::move(s));
    }
    OilGasList gases;
    for (std::size_t i = 0; i < kOilGasCount; ++i)
        gases[i] = {kOilGasFormulas[i], kOilGasFormulas[i], 0};
    gases[kOilH2].name = "Водород";
    gases[kOilCH4].name = "Метан";

    std::vector<OilAnalysis> history = buildOilHistory(samples, gases);
    ASSERT_EQ(history.size(), 3u);
    EXPECT_TRUE(hasSameMoment(history));
    EXPECT_EQ(mergeSameMoment(history), 1);
    ASSERT_EQ(history.size(), 2u);
    // The two columns completed each other.
    EXPECT_DOUBLE_EQ(history[0].gases[kOilH2].value, 1.0);
    EXPECT_DOUBLE_EQ(history[0].gases[kOilC2H6].value, 2.0);
    EXPECT_DOUBLE_EQ(history[0].gases[kOilCH4].value, 0.5);
    EXPECT_FALSE(history[1].gases[kOilCH4].measured());

    // H2 up by a fifth in 30 days: 0.2 %/month, 20 % a month; CH4 gone
    // (CH4/H2 = 0: partial discharges of low energy, and a decrease).
    const OilDiagnosis d = DiagnoseOil(history, 1, gases);
    EXPECT_NEAR(d.growth[kOilH2].rate, 0.2, 1e-12);
    EXPECT_NEAR(d.growth[kOilH2].relative, 20, 1e-9);
    EXPECT_NEAR(d.growth[kOilCH4].relative, -100, 1e-9);
    EXPECT_EQ(d.code, 1 + kOilDeveloping + kOilRemoval);
    EXPECT_EQ(d.text(),
              "Частичные разряды с низкой плотностью энергии, развивается вглубь - слудет "
              "планировать вывод трансформатора из работы");
}

}  // namespace
}  // namespace zelmora::db
