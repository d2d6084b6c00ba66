// The transformer-oil diagnosis worked out by hand: every kind of defect from
// its ratios, each ratio range on both sides of its ends, the flags and the
// next-analysis interval from growth between two analyses, the edge cases of
// the history (same-day analyses, zero divisors, boundaries left at 0), the
// merging of analyses of one moment and the CSV history.

#include <gtest/gtest.h>

#include <ctime>

#include "calc/transformer_oil.h"

namespace zelmora {
namespace {

// Local noon of a day counted from 10 January 2025, so that whole days hold
// across summer-time changes.
std::time_t day(int d, int hour = 12) {
    std::tm tm{};
    tm.tm_year = 125;
    tm.tm_mon = 0;
    tm.tm_mday = 10 + d;
    tm.tm_hour = hour;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

struct Gases {
    double h2, co, co2, ch4, c2h2, c2h4, c2h6;
};

OilGasList gasList(double boundary = 0) {
    OilGasList list;
    for (std::size_t i = 0; i < kOilGasCount; ++i) {
        list[i].formula = kOilGasFormulas[i];
        list[i].name = kOilGasFormulas[i];
        list[i].boundary = boundary;
    }
    return list;
}

OilAnalysis analysis(std::time_t when, const Gases& g) {
    OilAnalysis a = emptyOilAnalysis(when, gasList());
    const double v[] = {g.h2, g.co, g.co2, g.ch4, g.c2h2, g.c2h4, g.c2h6};
    for (std::size_t i = 0; i < kOilGasCount; ++i) {
        a.gases[i].value = v[i];
        a.gases[i].name = kOilGasFormulas[i];
    }
    return a;
}

// One analysis: no growth, so only the ratios and s decide.
OilDiagnosis single(const Gases& g) {
    return DiagnoseOil({analysis(day(0), g)}, 0, gasList());
}

// Ratios chosen from binary-exact values, so that a ratio meant to lie on a
// range's end lies exactly there. CO2/CO = 8 unless a case says otherwise.
TEST(TransformerOil, EveryKindOfDefectByItsRatios) {
    struct Case {
        Gases g;
        int base;
    };
    const Case cases[] = {
        // p = 1/16, q = 1/2, r = 1/2
        {{1, 1, 8, 0.5, 0.0625, 1, 2}, 0},
        // q = 1/32 below 0.1
        {{16, 1, 8, 0.5, 0.0625, 1, 2}, 1},
        // p = 1, q = 1/32, r = 1/2
        {{16, 1, 8, 0.5, 1, 1, 2}, 2},
        // p = 1/2, q = 1/2, r = 2
        {{1, 1, 8, 0.5, 1, 2, 1}, 3},
        // p = 1/4, q = 1/2, r = 4
        {{1, 1, 8, 0.5, 1, 4, 1}, 4},
        // p = 1/32, q = 1/2, r = 2
        {{1, 1, 8, 0.5, 0.0625, 2, 1}, 5},
        // p = 1/16, q = 2, r = 1/2
        {{1, 1, 8, 2, 0.0625, 1, 2}, 6},
        // q = 2, r = 2
        {{1, 1, 8, 2, 0.0625, 2, 1}, 7},
        // q = 2, r = 4
        {{1, 1, 8, 2, 0.0625, 4, 1}, 8},
    };
    for (const Case& c : cases) {
        const OilDiagnosis d = single(c.g);
        EXPECT_EQ(d.code, c.base) << c.base;
        EXPECT_EQ(oilBasePattern(oilRatios(analysis(0, c.g))), c.base);
        EXPECT_FALSE(d.solidInsulation());
        EXPECT_EQ(d.text(), std::string(oilDefectText(c.base)) +
                                " - следующий анализ через 6 месяцев, 0 дней.");
    }
    ASSERT_TRUE(single(cases[3].g).ratios);
    EXPECT_DOUBLE_EQ(*single(cases[3].g).ratios->p, 0.5);
    EXPECT_DOUBLE_EQ(*single(cases[3].g).ratios->s, 8);
    EXPECT_EQ(std::string(oilDefectText(5)), "Термический дефект малой температуры ( <150 С )");
}

TEST(TransformerOil, RatioRangeEndsOnBothSides) {
    auto base = [](double p, double q, double r) {
        return oilBasePattern(OilRatios{p, q, r, 8.0});
    };
    // p at 0.1: below it normal; on it neither normal nor a discharge of
    // base 3 (p > 0.1 there), so no pattern with q in range and r ≤ 1.
    EXPECT_EQ(base(0.0999, 0.5, 0.5), 0);
    EXPECT_EQ(base(0.1, 0.5, 0.5), -1);
    EXPECT_EQ(base(0.1, 0.05, 0.5), 2);
    EXPECT_EQ(base(0.0999, 0.05, 0.5), 1);
    EXPECT_EQ(base(0.1, 0.5, 2), -1);  // base 3 wants p > 0.1
    EXPECT_EQ(base(0.1001, 0.5, 2), 3);
    EXPECT_EQ(base(0.1, 0.5, 3), 4);  // base 4 takes p = 0.1
    // p at 3 for the high-energy partial discharges.
    EXPECT_EQ(base(3, 0.05, 0.5), 2);
    EXPECT_EQ(base(3.0001, 0.05, 0.5), -1);
    // q at 0.1 and at 1.
    EXPECT_EQ(base(0.05, 0.1, 0.5), 0);
    EXPECT_EQ(base(0.05, 0.0999, 0.5), 1);
    EXPECT_EQ(base(0.05, 1, 0.5), 6);  // both 0 and 6 match; the later wins
    EXPECT_EQ(base(0.05, 0.9999, 0.5), 0);
    EXPECT_EQ(base(0.05, 1.0001, 0.5), 6);
    // r at 1 and at 3.
    EXPECT_EQ(base(0.05, 0.5, 1), 5);
    EXPECT_EQ(base(0.05, 0.5, 0.9999), 0);
    EXPECT_EQ(base(0.05, 0.5, 3), 5);
    EXPECT_EQ(base(0.05, 0.5, 3.0001), -1);
    EXPECT_EQ(base(0.05, 2, 1), 7);
    EXPECT_EQ(base(0.05, 2, 0.9999), 6);
    EXPECT_EQ(base(0.05, 2, 3), 8);
    EXPECT_EQ(base(0.05, 2, 2.9999), 7);
    // A missing ratio matches nothing.
    EXPECT_EQ(oilBasePattern(OilRatios{std::nullopt, 0.5, 0.5, 8.0}), -1);
}

TEST(TransformerOil, SolidInsulationByCarbonOxidesRatio) {
    // Base 0 with CO2/CO on and past 5 and 13.
    auto withS = [](double co, double co2) { return single({1, co, co2, 0.5, 0.0625, 1, 2}); };
    EXPECT_EQ(withS(1, 5).code, 0);
    EXPECT_EQ(withS(1, 13).code, 0);
    EXPECT_EQ(withS(1, 4.96875).code, 9);
    EXPECT_EQ(withS(1, 13.03125).code, 9);
    EXPECT_EQ(withS(1, 13.03125).text(),
              "Норма, повреждением затронута твердая изоляция - следующий анализ через 6 "
              "месяцев, 0 дней.");
    // No CO: no ratio, no insulation remark; the ratios still name the defect.
    const OilDiagnosis noCo = withS(0, 8);
    EXPECT_EQ(noCo.code, 0);
    EXPECT_FALSE(noCo.ratios->s.has_value());
}

TEST(TransformerOil, GrowthSetsIntervalAndFlags) {
    const OilGasList gases = gasList();
    const Gases before{1, 1, 8, 0.5, 0.0625, 1, 2};
    // H2 up by 0.001 in 30 days: 0.001 %/month, 0.1 %/month relative; the
    // next analysis is due when it has gained 5 × 0.0005: 2.5 months.
    Gases after = before;
    after.h2 = 1.001;
    std::vector<OilAnalysis> h = {analysis(day(0), before), analysis(day(30), after)};
    OilDiagnosis d = DiagnoseOil(h, 1, gases);
    EXPECT_NEAR(d.growth[kOilH2].rate, 0.001, 1e-12);
    EXPECT_NEAR(d.growth[kOilH2].relative, 0.1, 1e-9);
    EXPECT_DOUBLE_EQ(d.growth[kOilCO].rate, 0);
    EXPECT_NEAR(d.months, 2.5, 1e-9);
    EXPECT_EQ(d.code, 0);
    EXPECT_EQ(d.text(), "Норма - следующий анализ через 2 месяцев, 15 дней.");

    // Over 60 days the rate halves: 5 months.
    h[1].moment = day(60);
    d = DiagnoseOil(h, 1, gases);
    EXPECT_NEAR(d.growth[kOilH2].rate, 0.0005, 1e-12);
    EXPECT_EQ(d.nextMonths(), 5);
    EXPECT_EQ(d.nextDays(), 0);

    // CH4 up by a fifth in 30 days: more than 10 %/month, out of service.
    // CO down: developing in depth. Solid insulation: CO2/CO = 16.
    after = before;
    after.ch4 = 0.6;
    after.co = 0.5;
    h = {analysis(day(0), before), analysis(day(30), after)};
    d = DiagnoseOil(h, 1, gases);
    EXPECT_NEAR(d.growth[kOilCH4].relative, 20, 1e-9);
    EXPECT_NEAR(d.growth[kOilCO].relative, -50, 1e-9);
    EXPECT_EQ(d.code, 0 + kOilSolidInsulation + kOilDeveloping + kOilRemoval);
    EXPECT_TRUE(d.removal() && d.developing() && d.solidInsulation());
    EXPECT_EQ(d.text(),
              "Норма, повреждением затронута твердая изоляция, развивается вглубь - слудет "
              "планировать вывод трансформатора из работы");
    // Growth only deepening: code 18 with the next-analysis tail.
    after = before;
    after.c2h6 = 1.9;
    h = {analysis(day(0), before), analysis(day(30), after)};
    d = DiagnoseOil(h, 1, gases);
    EXPECT_EQ(d.code, kOilDeveloping);
    EXPECT_EQ(d.text(), "Норма, развивается вглубь - следующий анализ через 6 месяцев, 0 дней.");

    // A gas absent before: relative growth against its minimum significant
    // concentration (C2H2 0 -> 0.0001 in 30 days: 100 %/month).
    Gases none = before;
    none.c2h2 = 0;
    after = before;
    after.c2h2 = 0.0001;
    h = {analysis(day(0), none), analysis(day(30), after)};
    d = DiagnoseOil(h, 1, gases);
    EXPECT_NEAR(d.growth[kOilC2H2].relative, 100, 1e-9);
    EXPECT_TRUE(d.removal());
}

TEST(TransformerOil, FirstAnalysisAndSameDayPairHaveNoGrowth) {
    const OilGasList gases = gasList();
    const Gases g{1, 1, 8, 0.5, 0.0625, 1, 2};
    Gases more = g;
    more.h2 = 5;
    // The first analysis: nothing to compare with, six months.
    std::vector<OilAnalysis> h = {analysis(day(0), g), analysis(day(0, 18), more)};
    OilDiagnosis first = DiagnoseOil(h, 0, gases);
    for (const OilGrowth& gr : first.growth) {
        EXPECT_TRUE(gr.known);
        EXPECT_EQ(gr.rate, 0);
        EXPECT_EQ(gr.relative, 0);
    }
    EXPECT_EQ(first.nextMonths(), 6);
    EXPECT_EQ(first.nextDays(), 0);
    // Six hours later the same day: no whole day between them, so the growth
    // is unknown — never infinite — and raises no flag.
    const OilDiagnosis later = DiagnoseOil(h, 1, gases);
    EXPECT_FALSE(later.growth[kOilH2].known);
    EXPECT_DOUBLE_EQ(later.months, 6);
    EXPECT_FALSE(later.removal());
    EXPECT_EQ(oilWholeDays(day(0), day(0, 18)), 0);
    EXPECT_EQ(oilWholeDays(day(0, 18), day(1, 12)), 0);
    EXPECT_EQ(oilWholeDays(day(0), day(1)), 1);
    // Outside the list: no analysis.
    EXPECT_EQ(DiagnoseOil(h, -1, gases).code, kOilNoAnalysis);
    EXPECT_EQ(DiagnoseOil(h, 2, gases).code, kOilNoAnalysis);
    EXPECT_EQ(DiagnoseOil(h, -1, gases).text(), "Неизвестный дефект или ошибка данных");
}

TEST(TransformerOil, BoundariesDecideNormalAndZeroDivisorsNoPattern) {
    // Every gas below its boundary: normal even with fast growth (H2 doubles).
    const Gases g{0.01, 0.01, 0.08, 0.005, 0.0001, 0.002, 0.004};
    Gases more = g;
    more.h2 = 0.02;
    std::vector<OilAnalysis> h = {analysis(day(0), g), analysis(day(30), more)};
    OilDiagnosis d = DiagnoseOil(h, 1, gasList(0.5));
    EXPECT_TRUE(d.allBelow);
    EXPECT_EQ(d.code, 0);
    EXPECT_FALSE(d.ratios.has_value());
    EXPECT_NEAR(d.growth[kOilH2].relative, 100, 1e-9);
    // The interval still follows the growth: 0.0025 / 0.01 = 0.25 month.
    EXPECT_EQ(d.text(), "Норма - следующий анализ через 0 месяцев, 8 дней.");
    // A gas on its boundary is not below it.
    OilGasList on = gasList(0.5);
    on[kOilC2H6].boundary = 0.004;
    EXPECT_FALSE(DiagnoseOil(h, 1, on).allBelow);

    // No H2: CH4/H2 has no value, no pattern, whatever s says.
    d = single({0, 1, 20, 0.5, 0.0625, 1, 2});
    EXPECT_FALSE(d.ratios->q.has_value());
    EXPECT_EQ(d.code, kOilNoPattern);
    EXPECT_EQ(d.text(), "Неизвестный дефект или ошибка данных");
    // Ratios off every range (r = 8 with q in range and p below 0.1).
    EXPECT_EQ(single({1, 1, 2, 0.5, 0.0625, 8, 1}).text(), "Неизвестный дефект или ошибка данных");
}

TEST(TransformerOil, CellTints) {
    EXPECT_EQ(oilCellTint(5, 0), OilCellTint::None);  // no boundary set
    EXPECT_EQ(oilCellTint(0.00999, 0.1), OilCellTint::None);
    EXPECT_EQ(oilCellTint(0.5, 4), OilCellTint::Notable);
    EXPECT_EQ(oilCellTint(0.25, 2.5), OilCellTint::Notable);
    EXPECT_EQ(oilCellTint(0.0999, 1), OilCellTint::None);
    EXPECT_EQ(oilCellTint(2, 2), OilCellTint::High);
    EXPECT_EQ(oilCellTint(1.99, 2), OilCellTint::Notable);
}

OilAnalysis partial(std::time_t when, std::initializer_list<std::pair<std::size_t, double>> v) {
    OilAnalysis a = emptyOilAnalysis(when, gasList());
    for (auto [g, x] : v) {
        a.gases[g].value = x;
        a.gases[g].name = kOilGasFormulas[g];
    }
    return a;
}

TEST(TransformerOil, MergingAnalysesOfOneMoment) {
    // A pair sharing H2: the mean, CO missing in the second counting 0.
    std::vector<OilAnalysis> h = {partial(day(0), {{kOilH2, 1}, {kOilCO, 2}}),
                                  partial(day(0), {{kOilH2, 3}}), partial(day(5), {{kOilH2, 7}})};
    EXPECT_TRUE(hasSameMoment(h));
    EXPECT_EQ(mergeSameMoment(h), 1);
    ASSERT_EQ(h.size(), 2u);
    EXPECT_FALSE(hasSameMoment(h));
    EXPECT_DOUBLE_EQ(h[0].gases[kOilH2].value, 2);
    EXPECT_DOUBLE_EQ(h[0].gases[kOilCO].value, 1);
    EXPECT_DOUBLE_EQ(h[1].gases[kOilH2].value, 7);

    // Three and four analyses of one moment: their true mean.
    h = {partial(day(0), {{kOilH2, 1}}), partial(day(0), {{kOilH2, 2}}),
         partial(day(0), {{kOilH2, 6}})};
    mergeSameMoment(h);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_DOUBLE_EQ(h[0].gases[kOilH2].value, 3);
    h = {partial(day(0), {{kOilCH4, 1}}), partial(day(0), {{kOilCH4, 2}}),
         partial(day(0), {{kOilCH4, 3}}), partial(day(0), {{kOilCH4, 10}})};
    mergeSameMoment(h);
    EXPECT_DOUBLE_EQ(h[0].gases[kOilCH4].value, 4);

    // Without a shared gas the second completes the first (two columns of
    // one sample); a third measuring both is then averaged with the pair.
    h = {partial(day(0), {{kOilH2, 1}}), partial(day(0), {{kOilCO, 2}}),
         partial(day(0), {{kOilH2, 3}, {kOilCO, 4}})};
    mergeSameMoment(h);
    ASSERT_EQ(h.size(), 1u);
    EXPECT_DOUBLE_EQ(h[0].gases[kOilH2].value, 2);
    EXPECT_DOUBLE_EQ(h[0].gases[kOilCO].value, 3);
    EXPECT_TRUE(h[0].gases[kOilCO].measured());

    std::vector<OilAnalysis> none;
    EXPECT_EQ(mergeSameMoment(none), 0);
}

TEST(TransformerOil, HistoryTakesExactNamesAndSortsByMoment) {
    OilGasList gases = gasList();
    gases[kOilH2].name = "Водород";
    std::vector<OilSampleResults> samples = {
        {day(10), {{"Водород", 0.5}, {"CO", 0.25}}},
        {day(2), {{"водород", 9}, {"Метан", 1}, {"C2H6", 0.125}}},
    };
    const std::vector<OilAnalysis> h = buildOilHistory(samples, gases);
    ASSERT_EQ(h.size(), 2u);
    EXPECT_EQ(h[0].moment, day(2));
    // Letter case counts: "водород" is not the list's "Водород".
    EXPECT_FALSE(h[0].gases[kOilH2].measured());
    EXPECT_EQ(h[0].gases[kOilH2].value, 0);
    EXPECT_DOUBLE_EQ(h[0].gases[kOilC2H6].value, 0.125);
    EXPECT_EQ(h[1].gases[kOilH2].name, "Водород");
    EXPECT_DOUBLE_EQ(h[1].gases[kOilH2].value, 0.5);
    EXPECT_DOUBLE_EQ(h[1].gases[kOilH2].minimum, 0.0005);

    // The chart's three points: before the third analysis they repeat the first.
    std::vector<OilAnalysis> four = {partial(day(0), {{kOilCO, 1}}), partial(day(3), {{kOilCO, 2}}),
                                     partial(day(10), {{kOilCO, 3}}),
                                     partial(day(40), {{kOilCO, 4}})};
    std::vector<OilChartPoint> p = oilChartPoints(four, 0, kOilCO);
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[2].days, 0);
    EXPECT_EQ(p[2].value, 1);
    p = oilChartPoints(four, 3, kOilCO);
    EXPECT_EQ(p[0].days, 3);
    EXPECT_EQ(p[1].days, 10);
    EXPECT_EQ(p[2].days, 40);
    EXPECT_EQ(p[2].value, 4);
    EXPECT_TRUE(oilChartPoints(four, 4, 0).empty());
    EXPECT_TRUE(oilChartPoints(four, 0, 7).empty());
}

TEST(TransformerOil, CsvHistory) {
    const auto h = parseOilHistoryCsv(
        "date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6\r\n"
        "2025-03-01 10:00:00,0.01,0.02,0.3,0.004,,0.002,0.001\r\n"
        "2025-01-15 09:30:00,0.008,0.02,0.25,0.003,0.0001,0.002,0.001\r\n"
        "\r\n");
    ASSERT_TRUE(h) << h.message();
    ASSERT_EQ(h->size(), 2u);
    EXPECT_EQ(oilDateText((*h)[0].moment), "15.01.2025");
    EXPECT_FALSE((*h)[1].gases[kOilC2H2].measured());
    EXPECT_DOUBLE_EQ((*h)[1].gases[kOilCO2].value, 0.3);
    // Columns in another order are read by their names.
    const auto swapped =
        parseOilHistoryCsv("date,CO,H2,CO2,CH4,C2H2,C2H4,C2H6\n2025-01-01 00:00:00,1,2,,,,,\n");
    ASSERT_TRUE(swapped);
    EXPECT_DOUBLE_EQ((*swapped)[0].gases[kOilH2].value, 2);

    EXPECT_FALSE(parseOilHistoryCsv(""));
    EXPECT_FALSE(parseOilHistoryCsv("date,H2,CO\n"));
    EXPECT_FALSE(parseOilHistoryCsv("date,H2,CO,CO2,CH4,C2H2,C2H4,N2\n"));
    EXPECT_FALSE(parseOilHistoryCsv("date,H2,H2,CO2,CH4,C2H2,C2H4,C2H6\n"));
    const auto badDate = parseOilHistoryCsv(
        "date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6\n2025-02-30 00:00:00,1,1,1,1,1,1,1\n");
    ASSERT_FALSE(badDate);
    EXPECT_NE(badDate.message().find("строка 2"), std::string::npos);
    EXPECT_FALSE(parseOilHistoryCsv(
        "date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6\n2025-02-01 00:00:00,1,x,1,1,1,1,1\n"));
    EXPECT_FALSE(parseOilHistoryCsv(
        "date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6\n2025-02-01 00:00:00,1,-1,1,1,1,1,1\n"));
    EXPECT_FALSE(parseOilHistoryCsv(
        "date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6\n2025-02-01 00:00:00,0,5,1,1,1,1,1,1\n"));

    OilGasList gases = gasList();
    EXPECT_TRUE(parseOilBoundaries("H2=0.01, c2h2=0.0005", gases));
    EXPECT_DOUBLE_EQ(gases[kOilH2].boundary, 0.01);
    EXPECT_DOUBLE_EQ(gases[kOilC2H2].boundary, 0.0005);
    EXPECT_FALSE(parseOilBoundaries("N2=1", gases));
    EXPECT_FALSE(parseOilBoundaries("H2=-1", gases));
    EXPECT_FALSE(parseOilBoundaries("H2", gases));
    EXPECT_DOUBLE_EQ(gases[kOilH2].boundary, 0.01);  // unchanged by a refused list
}

}  // namespace
}  // namespace zelmora
