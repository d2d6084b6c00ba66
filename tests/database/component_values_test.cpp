// What the peak table reads from the catalogue (units, the critical values
// at the chromatogram's point by names in any case) and the two catalogue
// edits of a calibration chromatogram's table.

#include "database/component_values.h"

#include <gtest/gtest.h>

#include "tests/database/db_fixture.h"

namespace zelmora::test {
namespace {

TEST(ComponentValues, UnitsAndCriticalValuesOfThePoint) {
    DbFixture f;
    auto v = db::componentValuesAt(f.db(), "грс-1", "ВЫХОД");
    ASSERT_TRUE(v) << v.message();
    EXPECT_EQ(v->units.at("метан"), "%");
    EXPECT_EQ(v->units.at("сероводород"), "мг/м3");
    ASSERT_EQ(v->criticalValues.size(), 2u);
    EXPECT_DOUBLE_EQ(v->criticalValues.at("метан"), 90);
    EXPECT_DOUBLE_EQ(v->criticalValues.at("сероводород"), 0.02);
    // Another point of the station controls nothing; no point, no values.
    EXPECT_TRUE(db::componentValuesAt(f.db(), "ГРС-1", "Вход")->criticalValues.empty());
    EXPECT_TRUE(db::componentValuesAt(f.db(), "", "")->criticalValues.empty());
    EXPECT_EQ(db::componentValuesAt(f.db(), "", "")->units.size(), 3u);
}

TEST(ComponentValues, ComponentsAndUnitsFromTheTable) {
    DbFixture f;
    auto added = db::ensureParametr(f.db(), "Пропан");
    ASSERT_TRUE(added);
    EXPECT_TRUE(*added);
    EXPECT_FALSE(*db::ensureParametr(f.db(), "ПРОПАН"));  // already there
    EXPECT_FALSE(*db::ensureParametr(f.db(), ""));
    EXPECT_EQ(f.count("SELECT COUNT(*) FROM Parametres"), 4);
    EXPECT_EQ(db::componentValuesAt(f.db(), "", "")->units.at("пропан"), "");

    ASSERT_TRUE(db::setParametrUnit(f.db(), "пропан", "ppm"));
    EXPECT_EQ(db::componentValuesAt(f.db(), "", "")->units.at("пропан"), "ppm");
    // An empty unit is stored empty, not as a blank.
    ASSERT_TRUE(db::setParametrUnit(f.db(), "Метан", ""));
    EXPECT_EQ(db::componentValuesAt(f.db(), "", "")->units.at("метан"), "");
    // A unit for a component the catalogue lacks adds the component.
    ASSERT_TRUE(db::setParametrUnit(f.db(), "Гелий", "%"));
    EXPECT_EQ(f.count("SELECT COUNT(*) FROM Parametres"), 5);
    // Too long for the dialogs: refused, nothing changed.
    EXPECT_FALSE(db::setParametrUnit(f.db(), "Гелий", "слишком длинная"));
    EXPECT_EQ(db::componentValuesAt(f.db(), "", "")->units.at("гелий"), "%");
}

}  // namespace
}  // namespace zelmora::test
