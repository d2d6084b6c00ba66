// What the method editor does to a method without its windows: the saving
// rules by access level, the component table's edits with aligned levels,
// the report's calibration list, the group pairs and the chooser's view of
// method files, damaged ones included.

#include "method/method_editing.h"

#include <gtest/gtest.h>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "app/work_log.h"
#include "method/method_file.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

class MethodEditingTest : public ::testing::Test {
  protected:
    void SetUp() override { CWorkLog::instance().start(dir_.path() / "log", "test", "today"); }
    void TearDown() override { CWorkLog::instance().stop(); }
    std::string log() const {
        return text::fromCp1251(test::readFile(dir_.path() / "log" / CWorkLog::kFileName));
    }
    test::TempDir dir_;
};

MethodComponent component(const std::string& name, double time) {
    MethodComponent c;
    c.name = name;
    c.retentionTime = time;
    return c;
}

TEST(MethodSaveRules, FollowTheAccessLevel) {
    EXPECT_EQ(methodSaveRule(0), MethodSaveRule::Refused);
    EXPECT_EQ(methodSaveRule(1), MethodSaveRule::Ask);
    for (int level = 2; level < kAccessLevels; ++level)
        EXPECT_EQ(methodSaveRule(level), MethodSaveRule::Save) << level;
    EXPECT_EQ(methodSaveRule(-1), MethodSaveRule::Refused);  // an unknown level may not save
    EXPECT_EQ(methodDeleteRule(0), MethodSaveRule::Refused);
    EXPECT_EQ(methodDeleteRule(1), MethodSaveRule::Ask);
    EXPECT_EQ(static_cast<int>(MethodSheetResult::SavedAs), 12321);
}

TEST_F(MethodEditingTest, ComponentTableEditsKeepLevelsAlignedAndNamesUnique) {
    CalculationSettings s;
    s.components = {component("Этан", 2.5), component("Метан", 1.0), component("Пропан", 2.5)};
    // Two calibration levels, one with a date and one added by hand.
    for (MethodComponent& c : s.components) {
        c.points.resize(2);
        c.points[0].dateTime = 1'700'000'000;
    }
    sortComponentsByTime(s);
    ASSERT_EQ(s.components[0].name, "Метан");
    EXPECT_EQ(s.components[1].name, "Этан");  // equal times keep their order
    EXPECT_EQ(s.components[2].name, "Пропан");

    const std::size_t added = addComponent(s);
    ASSERT_EQ(added, 3u);
    const MethodComponent& fresh = s.components[added];
    EXPECT_EQ(fresh.window, 5.0);
    EXPECT_EQ(fresh.retentionIndex, 100.0);
    EXPECT_EQ(fresh.standardFactor, 1.0);
    ASSERT_EQ(fresh.points.size(), 2u);
    EXPECT_EQ(fresh.points[0].dateTime, 1'700'000'000);
    EXPECT_EQ(fresh.points[1], CalibrationPoint{});

    // Another component's name in other letters' case is refused.
    EXPECT_FALSE(renameComponent(s, added, "МЕТАН"));
    EXPECT_FALSE(renameComponent(s, added, "   "));
    EXPECT_TRUE(s.components[added].name.empty());
    EXPECT_TRUE(renameComponent(s, added, "Бутан"));
    // A component may change the case of its own name, and the standard follows it.
    s.standard = "Бутан";
    EXPECT_TRUE(renameComponent(s, added, "бутан"));
    EXPECT_EQ(s.standard, "бутан");
    EXPECT_FALSE(renameComponent(s, 99, "Гексан"));

    // The table's numbers: absolute values; texts that are no numbers refused.
    EXPECT_EQ(parseTableNumber("-3"), 3.0);
    EXPECT_EQ(parseTableNumber("2,5"), 2.5);
    EXPECT_FALSE(parseTableNumber("nan"));
    EXPECT_FALSE(parseTableNumber("inf"));
    EXPECT_FALSE(parseTableNumber("3 мин"));
    EXPECT_FALSE(parseTableNumber(""));

    EXPECT_FALSE(hasReferenceComponent(s));
    s.components[1].reference = true;
    EXPECT_TRUE(hasReferenceComponent(s));

    EXPECT_FALSE(deleteComponent(s, 7, "Газ"));
    EXPECT_TRUE(deleteComponent(s, 0, "Газ"));
    EXPECT_EQ(s.components.size(), 3u);
    EXPECT_TRUE(deleteAllComponents(s, ""));
    EXPECT_TRUE(s.components.empty());
    EXPECT_FALSE(deleteAllComponents(s, "Газ"));  // nothing to delete, nothing written
    EXPECT_FALSE(deleteComponent(s, 0, "Газ"));
    const std::string written = log();
    EXPECT_NE(written.find("~ Оператор удалил компонент из метода Газ"), std::string::npos);
    EXPECT_NE(written.find("~ Оператор удалил все компоненты из метода"), std::string::npos);
    EXPECT_EQ(written.find("~ Оператор удалил все компоненты из метода Газ"), std::string::npos);

    // A component added to an empty table has no levels.
    EXPECT_EQ(addComponent(s), 0u);
    EXPECT_TRUE(s.components[0].points.empty());
}

TEST(MethodEditing, KindsDecideWhatThePageOffers) {
    for (int kind = 0; kind < kCalculationKinds; ++kind) {
        EXPECT_EQ(usesStandard(kind), kind == 2 || kind == 3 || kind == 6 || kind == 7) << kind;
        EXPECT_EQ(calibrationApplies(kind), kind != 4) << kind;
        EXPECT_EQ(usesCurveForms(kind), kind == 1 || kind == 3) << kind;
    }
}

TEST(MethodEditing, CalibrationListFollowsTheComponents) {
    CalculationSettings s;
    s.components = {component("Метан", 1), component("Этан", 2), component("Пропан", 3)};
    ReportSettings r;
    r.calibrationComponents = {{"Этан", true}, {"Азот", true}, {"Метан", false}};
    rebuildCalibrationComponents(r, s);
    const std::vector<std::pair<std::string, bool>> expected = {
        {"Метан", false}, {"Этан", true}, {"Пропан", false}};
    EXPECT_EQ(r.calibrationComponents, expected);
}

TEST(MethodEditing, GroupPairsJoinTheirGroup) {
    std::vector<ComponentGroup> g;
    EXPECT_TRUE(addGroupPair(g, "Метан", "Лёгкие"));
    EXPECT_TRUE(addGroupPair(g, "Бутан", "Тяжёлые"));
    EXPECT_TRUE(addGroupPair(g, "Этан", "Лёгкие"));  // right after "Метан"
    EXPECT_TRUE(addGroupPair(g, "Пентан", "Тяжёлые"));
    EXPECT_FALSE(addGroupPair(g, "Этан", "Тяжёлые"));  // has a pair already
    EXPECT_FALSE(addGroupPair(g, "", "Лёгкие"));
    EXPECT_FALSE(addGroupPair(g, "Гексан", ""));
    const std::vector<ComponentGroup> expected = {
        {"Метан", "Лёгкие"}, {"Этан", "Лёгкие"}, {"Бутан", "Тяжёлые"}, {"Пентан", "Тяжёлые"}};
    EXPECT_EQ(g, expected);
    EXPECT_EQ(groupNames(g), (std::vector<std::string>{"Лёгкие", "Тяжёлые"}));
}

TEST_F(MethodEditingTest, ChooserDescribesListsAndDeletesIntoTheTrash) {
    const fs::path folder = dir_ / "Методы";
    fs::create_directories(folder / "папка.mtd");  // a folder is no method
    Method m;
    m.info.description = "Природный газ, ГОСТ";
    m.kalder.emplace();
    test::writeFile(folder / "Газ.mtd", writeMethodFile(m));
    m.kalder.reset();
    m.ehd.emplace();
    m.info.description.clear();
    test::writeFile(folder / "Вода.MTD", writeMethodFile(m));
    std::string damaged = writeMethodFile(Method{});
    damaged.resize(damaged.size() / 2);
    test::writeFile(folder / "Обрыв.mtd", damaged);
    test::writeFile(folder / "заметки.txt", "не метод");

    EXPECT_EQ(methodNames(folder), (std::vector<std::string>{"Вода", "Газ", "Обрыв"}));

    const MethodFileSummary gas = describeMethodFile(folder / "Газ.mtd");
    EXPECT_TRUE(gas.readable);
    EXPECT_EQ(gas.description, "Природный газ, ГОСТ");
    EXPECT_TRUE(gas.kalder);
    EXPECT_FALSE(gas.ehd);
    EXPECT_EQ(methodFileIn(folder, "Вода"), folder / "Вода.MTD");
    EXPECT_EQ(methodFileIn(folder, "Газ"), folder / "Газ.mtd");
    const MethodFileSummary water = describeMethodFile(methodFileIn(folder, "Вода"));
    EXPECT_TRUE(water.readable && water.ehd && !water.kalder);
    const MethodFileSummary broken = describeMethodFile(folder / "Обрыв.mtd");
    EXPECT_FALSE(broken.readable);
    EXPECT_FALSE(broken.error.empty());
    EXPECT_FALSE(describeMethodFile(folder / "Нет.mtd").readable);

    // Deleting moves the file into the trash, byte for byte.
    const std::string bytes = test::readFile(folder / "Газ.mtd");
    const Result<fs::path> moved = deleteMethodFile(folder, "Газ");
    ASSERT_TRUE(moved) << moved.message();
    EXPECT_FALSE(fs::exists(folder / "Газ.mtd"));
    EXPECT_EQ(test::readFile(moved.value()), bytes);
    EXPECT_NE(moved.value().string().find("Trash"), std::string::npos);
    EXPECT_NE(log().find("~ Оператор удалил метод Газ"), std::string::npos);
    // The extension in capitals, a missing method, a name that leaves the folder.
    EXPECT_TRUE(deleteMethodFile(folder, "Вода"));
    EXPECT_FALSE(deleteMethodFile(folder, "Газ"));
    EXPECT_FALSE(deleteMethodFile(folder, "../Методы/Обрыв"));
    EXPECT_TRUE(fs::exists(folder / "Обрыв.mtd"));
    EXPECT_EQ(methodNames(folder), (std::vector<std::string>{"Обрыв"}));
}

}  // namespace
}  // namespace zelmora
