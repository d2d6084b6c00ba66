// Combined composition tables: a chromatogram's peaks and a manual table of
// permanent gases combined to 100 % by volume and by mass, worked out by
// hand; volume to mass and back; the refusals (nothing to scale, a manual
// sum outside 0..100 %, rows without a density); density completion; empty
// rows; and the ".et" and density-map files with damaged copies of them.

#include <gtest/gtest.h>

#include <fstream>

#include "calc/composition_table.h"
#include "calc/et_file.h"
#include "document/archive/archive.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

CompositionRow row(const char* conc, const char* name, const char* density = "") {
    CompositionRow r;
    r[kCompN] = "1";
    r[kCompTime] = "1.000";
    r[kCompConcentration] = conc;
    r[kCompComponent] = name;
    r[kCompDensity] = density;
    return r;
}

double sumOf(const CompositionTable& t) {
    double s = 0;
    for (const CompositionRow& r : t.rows)
        s += cellNumber(r[kCompConcentration]);
    return s;
}

TEST(CompositionTable, VolumeToMassAndBack) {
    // Methane, ethane, nitrogen, carbon dioxide (kg/m3).
    const std::vector<double> volume = {85.5, 6.25, 5, 3.25};
    const std::vector<double> density = {0.6682, 1.2601, 1.1649, 1.8393};
    auto mass = volumeToMassPercent(volume, density);
    ASSERT_TRUE(mass) << mass.message();
    double weighted = 0;
    for (std::size_t i = 0; i < 4; ++i)
        weighted += volume[i] * density[i];
    double total = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR((*mass)[i], volume[i] * density[i] / weighted * 100, 1e-12);
        total += (*mass)[i];
    }
    EXPECT_NEAR(total, 100, 1e-12);
    auto back = massToVolumePercent(*mass, density);
    ASSERT_TRUE(back);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_NEAR((*back)[i], volume[i], 1e-9);
    // Volume fractions that do not sum to 100 come back rescaled to 100.
    auto scaled = massToVolumePercent(volumeToMassPercent({1, 1}, {1, 3}).value(), {1, 3});
    EXPECT_NEAR(scaled.value()[0], 50, 1e-12);

    EXPECT_FALSE(volumeToMassPercent({50, 50}, {1, 0}));
    EXPECT_FALSE(volumeToMassPercent({50, 50}, {1}));
    EXPECT_FALSE(massToVolumePercent({0, 0}, {1, 2}));
}

TEST(CompositionTable, CombinesToHundredInVolumeAndMass) {
    // Source sums to 50 (hydrocarbons), manual 20 % of permanent gases:
    // k = (100 − 20) / 50 = 1.6.
    CompositionTable source{{row("30", "Метан", "0.668"), row("20", "Этан", "1.260")}};
    source.rows[1][kCompTime] = "2.500";
    CompositionTable manual{{row("15", "Азот", "1.165"), row("5", "Кислород", "1.331")}};
    auto vol = combineCompositions(source, manual, CompositionUnit::Volume);
    ASSERT_TRUE(vol) << vol.message();
    ASSERT_EQ(vol->table.rows.size(), 4u);
    EXPECT_EQ(vol->unit, CompositionUnit::Volume);
    EXPECT_EQ(vol->table.rows[0][kCompConcentration], "48.000");
    EXPECT_EQ(vol->table.rows[1][kCompConcentration], "32.000");
    EXPECT_EQ(vol->table.rows[1][kCompTime], "2.500");
    EXPECT_EQ(vol->table.rows[2][kCompConcentration], "15");  // manual text kept
    EXPECT_EQ(vol->table.rows[3][kCompN], "4");
    EXPECT_EQ(vol->table.rows[3][kCompDensity], "1.331");
    EXPECT_DOUBLE_EQ(sumOf(vol->table), 100);

    // Mass: D = 48·0.668 + 32·1.26 + 15·1.165 + 5·1.331 = 96.584.
    auto mass = combineCompositions(source, manual, CompositionUnit::Mass);
    ASSERT_TRUE(mass);
    EXPECT_EQ(mass->unit, CompositionUnit::Mass);
    const double d = 48 * 0.668 + 32 * 1.26 + 15 * 1.165 + 5 * 1.331;
    EXPECT_EQ(mass->table.rows[0][kCompConcentration], formatCell(48 * 0.668 / d * 100));
    EXPECT_EQ(mass->table.rows[3][kCompConcentration], formatCell(5 * 1.331 / d * 100));
    EXPECT_NEAR(sumOf(mass->table), 100, 0.002);

    // Manual fractions (sum 0.2): the same as 20 %, in the result too.
    CompositionTable fractions{{row("0.15", "Азот", "1.165"), row("0.05", "Кислород", "1.331")}};
    auto f = combineCompositions(source, fractions, CompositionUnit::Volume);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->table.rows[0][kCompConcentration], "48.000");
    EXPECT_EQ(f->table.rows[2][kCompConcentration], "15.000");
    EXPECT_DOUBLE_EQ(sumOf(f->table), 100);
}

TEST(CompositionTable, RefusalsAndRowsWithoutDensity) {
    CompositionTable source{{row("30", "Метан", "0.668"), row("20", "Этан")}};
    CompositionTable manual{{row("15", "Азот", "1.165")}};
    // Nothing to scale; manual sums of 0 and above 100.
    EXPECT_FALSE(combineCompositions({{row("0", "Метан")}}, manual, CompositionUnit::Volume));
    EXPECT_FALSE(combineCompositions({{row("абв", "Метан")}}, manual, CompositionUnit::Volume));
    EXPECT_FALSE(combineCompositions(source, {{row("0", "Азот")}}, CompositionUnit::Volume));
    auto over = combineCompositions(source, {{row("60", "Азот"), row("41", "Кислород")}},
                                    CompositionUnit::Volume);
    ASSERT_FALSE(over);
    EXPECT_NE(over.message().find("101.000"), std::string::npos);
    EXPECT_TRUE(combineCompositions(source, {{row("100", "Азот")}}, CompositionUnit::Volume));

    // Ethane has no density: named, and the result stays in volume per cent.
    auto mass = combineCompositions(source, manual, CompositionUnit::Mass);
    ASSERT_TRUE(mass);
    EXPECT_EQ(mass->unit, CompositionUnit::Volume);
    EXPECT_EQ(mass->withoutDensity, std::vector<std::string>{"Этан"});
    EXPECT_DOUBLE_EQ(sumOf(mass->table), 100);
    // A row without concentration needs no density.
    source.rows[1][kCompConcentration] = "0";
    mass = combineCompositions(source, manual, CompositionUnit::Mass);
    ASSERT_TRUE(mass);
    EXPECT_EQ(mass->unit, CompositionUnit::Mass);
    EXPECT_EQ(mass->table.rows[1][kCompConcentration], "0.000");
}

TEST(CompositionTable, DensityCompletionAndEmptyRows) {
    DensityMap map{{"Метан", 0.668}};
    CompositionRow methane = row("1", "Метан");
    completeDensity(methane, map);
    EXPECT_EQ(methane[kCompDensity], "0.668");
    // Letter case counts: "метан" gets nothing.
    CompositionRow lower = row("1", "метан");
    completeDensity(lower, map);
    EXPECT_EQ(lower[kCompDensity], "");
    // A typed density goes into the map, replacing or adding.
    CompositionRow typed = row("1", "Метан", "0,7");
    completeDensity(typed, map);
    EXPECT_DOUBLE_EQ(map["Метан"], 0.7);
    CompositionRow ethane = row("1", "Этан", "1.26");
    completeDensity(ethane, map);
    EXPECT_DOUBLE_EQ(map.at("Этан"), 1.26);
    CompositionRow nameless = row("1", "", "5");
    completeDensity(nameless, map);
    EXPECT_EQ(map.size(), 2u);

    CompositionTable t{{row("1", "A")}};
    appendEmptyRows(t, 2);
    t.rows[2] = row("3", "C");
    ASSERT_EQ(t.rows.size(), 3u);
    EXPECT_EQ(t.rows[1][kCompN], "2");
    EXPECT_TRUE(isEmptyRow(t.rows[1]));
    // The empty row between two filled ones goes; the rest are renumbered.
    EXPECT_EQ(removeEmptyRows(t), 1);
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[1][kCompComponent], "C");
    EXPECT_EQ(t.rows[1][kCompN], "2");
}

TEST(CompositionTable, EtAndDensityMapFiles) {
    test::TempDir dir;
    CompositionTable t{{row("15.5", "Азот", "1.165"), row("4.5", "Кислород 'O2'", "")}};
    t.rows[1][kCompArea] = std::string(300, 'x');  // a long counted string
    const auto file = dir / "постоянные_газы.et";
    ASSERT_TRUE(writeEtTable(file, t));
    auto back = readEtTable(file);
    ASSERT_TRUE(back) << back.message();
    EXPECT_EQ(*back, t);
    // The count includes the header row.
    const std::string bytes = serializeEtTable(t);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 3);
    EXPECT_TRUE(parseEtTable(serializeEtTable({})).value().rows.empty());

    // Damaged copies: each refused with a reason.
    EXPECT_FALSE(parseEtTable(""));
    EXPECT_FALSE(parseEtTable(std::string("\0\0\0\0", 4)));  // no header row
    const auto truncated = parseEtTable(bytes.substr(0, bytes.size() - 3));
    ASSERT_FALSE(truncated);
    EXPECT_NE(truncated.message().find("повреждён"), std::string::npos);
    std::string huge = bytes;
    huge[3] = '\x7f';  // two billion rows in a few bytes
    EXPECT_FALSE(parseEtTable(huge));
    EXPECT_FALSE(parseEtTable(bytes + "x"));
    EXPECT_FALSE(readEtTable(dir / "нет.et"));
    // A folder that does not exist: the write fails, saying so.
    EXPECT_FALSE(writeEtTable(dir / "нет" / "папки" / "t.et", t));

    DensityMap map{{"Метан", 0.668}, {"Азот", 1.165}};
    const auto den = dir / "data" / kDensityMapFileName;
    ASSERT_TRUE(writeDensityMap(den, map));
    EXPECT_EQ(readDensityMap(den).value(), map);
    // A repeated name: the later density wins.
    ArchiveWriter w;
    w.u32(2);
    w.string("Метан");
    w.f64(0.5);
    w.string("Метан");
    w.f64(0.7);
    EXPECT_DOUBLE_EQ(parseDensityMap(w.data()).value().at("Метан"), 0.7);
    EXPECT_FALSE(parseDensityMap(w.data().substr(0, 10)));
    std::string many = w.data();
    many[2] = '\x10';
    EXPECT_FALSE(parseDensityMap(many));

    // The user's copy is made from the shipped map on first use.
    const auto program = dir / "program";
    ASSERT_TRUE(writeDensityMap(program / kDensityMapFileName, {{"Гелий", 0.178}}));
    const auto mine = userDensityMapFile(dir / "user", program);
    EXPECT_EQ(mine, dir / "user" / kDensityMapFileName);
    EXPECT_DOUBLE_EQ(readDensityMap(mine).value().at("Гелий"), 0.178);
    ASSERT_TRUE(writeDensityMap(mine, map));
    userDensityMapFile(dir / "user", program);  // the user's own is kept
    EXPECT_EQ(readDensityMap(mine).value(), map);
    EXPECT_EQ(readDensityMap(program / kDensityMapFileName).value().size(), 1u);
}

}  // namespace
}  // namespace zelmora
