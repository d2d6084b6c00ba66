// The peak table as its view shows it: groups with their totals, the
// components not found, the bars against critical values (equal is full,
// out-of-range values stay inside the cell), the options that hide groups,
// and the edits that only a calibration chromatogram accepts.

#include "processing/peak_grid.h"

#include <gtest/gtest.h>

#include "processing/quantitation.h"

namespace zelmora {
namespace {

Peak peak(double apex, double height, double area, double conc, const std::string& name) {
    Peak p(apex - 0.1, apex + 0.15);
    p.apexTime = apex;
    p.height = height;
    p.area = area;
    p.concentration = conc;
    p.componentName = name;
    return p;
}

Method gasMethod() {
    Method m;
    for (auto [name, rt] :
         {std::pair{"Метан", 1.0}, {"Этан", 2.0}, {"Пропан", 3.0}, {"Бутан", 4.0}, {"Азот", 0.5}}) {
        MethodComponent c;
        c.name = name;
        c.retentionTime = rt;
        m.calculation.components.push_back(c);
    }
    // Two runs named "Углеводороды" and one "Пусто" whose component has no peak.
    m.groups = {{"Метан", "Углеводороды"},
                {"Этан", "Углеводороды"},
                {"Бутан", "Пусто"},
                {"Пропан", "Тяжёлые"}};
    return m;
}

PeakTable table() {
    PeakTable t;
    t.peaks = {peak(1.0, 10, 2, 80, "Метан"), peak(2.0, 5, 1, 15, "Этан"),
               peak(2.5, 1, 0.25, 1.5, ""), peak(3.0, 2, 0.5, 3, "пропан")};
    t.peaks[3].properties.push_back({"Индекс", "300"});
    t.renumber();
    return t;
}

ProgramOptions options() {
    ProgramOptions o;
    o.floatType = 1;  // fixed notation, 3 digits
    return o;
}

TEST(PeakGrid, GroupsTotalsAndComponentsNotFound) {
    const Method m = gasMethod();
    PeakGridLookup lookup;
    lookup.units["метан"] = "%";
    lookup.units["бутан"] = "мг/м3";
    Passport passport;
    const PeakGrid g = buildPeakGrid(table(), &m, passport, options(), lookup);
    ASSERT_TRUE(g.groupsShown);
    EXPECT_FALSE(g.editable);
    ASSERT_EQ(g.headers.size(), 10u);
    EXPECT_EQ(g.headers[kGridTime], "Время (мин)");
    EXPECT_EQ(g.headers[9], "Индекс");
    // Углеводороды: two peaks and their total; "Пусто" has no row at all;
    // Тяжёлые: пропан (names match without regard to case) and its total;
    // then the peak of no group; then Бутан and Азот not found.
    ASSERT_EQ(g.rows.size(), 8u);
    EXPECT_EQ(g.rows[0].peak, 0);
    EXPECT_TRUE(g.rows[0].inGroup);
    EXPECT_EQ(g.rows[0].cells[kGridUnit], "%");
    EXPECT_EQ(g.rows[0].cells[kGridWidth], "");  // no width under a group
    EXPECT_EQ(g.rows[1].peak, 1);
    EXPECT_EQ(g.rows[2].kind, PeakGridRow::Kind::GroupTotal);
    EXPECT_EQ(g.rows[2].cells[kGridComponent], "Углеводороды");
    EXPECT_EQ(g.rows[2].cells[kGridHeight], "15.000");
    EXPECT_EQ(g.rows[2].cells[kGridArea], "3.000");
    EXPECT_EQ(g.rows[2].cells[kGridConcentration], "95.000");
    EXPECT_EQ(g.rows[3].peak, 3);
    EXPECT_EQ(g.rows[3].cells[9], "");  // no property cells under a group
    EXPECT_EQ(g.rows[4].kind, PeakGridRow::Kind::GroupTotal);
    EXPECT_EQ(g.rows[4].cells[kGridComponent], "Тяжёлые");
    EXPECT_EQ(g.rows[5].peak, 2);
    EXPECT_FALSE(g.rows[5].inGroup);
    EXPECT_EQ(g.rows[5].cells[kGridNumber], "3");
    EXPECT_EQ(g.rows[5].cells[kGridTime], "2.500");
    EXPECT_EQ(g.rows[5].cells[kGridWidth], "0.250");
    EXPECT_EQ(g.rows[5].cells[kGridReference], "Нет");
    EXPECT_EQ(g.rows[6].kind, PeakGridRow::Kind::NotFound);
    EXPECT_EQ(g.rows[6].cells[kGridComponent], "Бутан");
    EXPECT_EQ(g.rows[6].cells[kGridConcentration], kNotFoundText);
    EXPECT_EQ(g.rows[6].cells[kGridTime], "4.000");
    EXPECT_EQ(g.rows[6].cells[kGridUnit], "мг/м3");
    EXPECT_EQ(g.rows[7].cells[kGridComponent], "Азот");
    EXPECT_EQ(g.rows[7].cells[kGridUnit], "");  // no unit: an empty cell
    EXPECT_EQ(g.rowOfPeak(2), 5);
    EXPECT_EQ(g.rowOfPeak(4), -1);

    // Without groups every peak has a full row, in table order; seconds.
    ProgramOptions o = options();
    o.viewGroup = false;
    o.normSec = 1;
    const PeakGrid flat = buildPeakGrid(table(), &m, passport, o, lookup);
    ASSERT_EQ(flat.rows.size(), 6u);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(flat.rows[static_cast<std::size_t>(k)].peak, k);
    EXPECT_EQ(flat.rows[0].cells[kGridTime], "60.000");
    EXPECT_EQ(flat.rows[3].cells[9], "300");
    EXPECT_EQ(flat.rows[4].cells[kGridTime], "240.000");
}

TEST(PeakGrid, EmptyChromatogramListsEveryComponentAsNotFound) {
    Method m;
    for (const char* name : {"A", "B", "C"}) {
        MethodComponent c;
        c.name = name;
        m.calculation.components.push_back(c);
    }
    const PeakGrid g = buildPeakGrid(PeakTable(), &m, Passport(), options(), {});
    ASSERT_EQ(g.rows.size(), 3u);
    for (const PeakGridRow& r : g.rows) {
        EXPECT_EQ(r.kind, PeakGridRow::Kind::NotFound);
        EXPECT_EQ(r.cells[kGridConcentration], "не найден");
    }
    // A calibration chromatogram lists only its peaks, and hides its groups
    // when the option says so.
    Passport calib;
    calib.calibration = 1;
    EXPECT_TRUE(buildPeakGrid(PeakTable(), &m, calib, options(), {}).rows.empty());
    ProgramOptions o = options();
    o.noViewGroupCalib = true;
    EXPECT_FALSE(peakGridShowsGroups(o, true));
    EXPECT_TRUE(peakGridShowsGroups(o, false));
    o.viewGroup = false;
    EXPECT_FALSE(peakGridShowsGroups(o, false));
}

TEST(PeakGrid, BarsAgainstCriticalValues) {
    bool full = false;
    EXPECT_EQ(criticalBar(5, 5, full), 100);
    EXPECT_TRUE(full);
    EXPECT_EQ(criticalBar(2.49, 5, full), 49);  // truncated, not rounded
    EXPECT_FALSE(full);
    EXPECT_EQ(criticalBar(-3, 5, full), 0);  // clamped inside the cell
    EXPECT_EQ(criticalBar(3, -5, full), 100);
    EXPECT_TRUE(full);
    EXPECT_FALSE(criticalBar(3, 1e-60, full).has_value());

    Method m = gasMethod();
    m.groups.clear();
    PeakGridLookup lookup;
    lookup.criticalValues["метан"] = 80;  // reached exactly: full
    lookup.criticalValues["этан"] = 30;
    PeakGrid g = buildPeakGrid(table(), &m, Passport(), options(), lookup);
    EXPECT_EQ(g.rows[0].barPercent, 100);
    EXPECT_TRUE(g.rows[0].barFull);
    EXPECT_EQ(g.rows[1].barPercent, 50);
    EXPECT_FALSE(g.rows[1].barFull);
    EXPECT_FALSE(g.rows[2].barPercent.has_value());
    // The internal standard's own peak gets no bar.
    m.calculation.kind = kInternalStandardClassic;
    m.calculation.standard = "Этан";
    g = buildPeakGrid(table(), &m, Passport(), options(), lookup);
    EXPECT_EQ(g.rows[0].barPercent, 100);
    EXPECT_FALSE(g.rows[1].barPercent.has_value());
}

TEST(PeakGrid, OnlyCalibrationChromatogramsAreEdited) {
    PeakTable t = table();
    EXPECT_FALSE(setPeakAmountTyped(t, false, 0, "12"));
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 80);
    EXPECT_TRUE(setPeakAmountTyped(t, true, 0, "1,5"));
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 1.5);
    EXPECT_TRUE(setPeakAmountTyped(t, true, 0, " 2.25 "));
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 2.25);
    for (const char* bad : {"1,5x", "", "abc", "nan", "1.2.3"})
        EXPECT_FALSE(setPeakAmountTyped(t, true, 0, bad)) << bad;
    EXPECT_DOUBLE_EQ(t.peaks[0].concentration, 2.25);
    EXPECT_FALSE(setPeakAmountTyped(t, true, 9, "1"));

    EXPECT_FALSE(togglePeakReference(t, false, 1));
    EXPECT_TRUE(togglePeakReference(t, true, 1));
    EXPECT_EQ(t.peaks[1].isReference, 1);
    EXPECT_TRUE(togglePeakReference(t, true, 1));
    EXPECT_EQ(t.peaks[1].isReference, 0);

    EXPECT_FALSE(setPeakComponent(t, false, 2, "Пропан"));
    EXPECT_TRUE(setPeakComponent(t, true, 2, "Пропан"));
    EXPECT_EQ(t.peaks[2].componentName, "Пропан");

    EXPECT_TRUE(setPeakPropertyValue(t, true, 3, "Индекс", "301"));
    EXPECT_EQ(*findProperty(t.peaks[3].properties, "Индекс"), "301");
    EXPECT_FALSE(setPeakPropertyValue(t, false, 3, "Индекс", "302"));
}

}  // namespace
}  // namespace zelmora
