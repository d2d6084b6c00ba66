#include "app/program_settings.h"

#include <gtest/gtest.h>

#include "app/settings_store.h"
#include "app/text.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

TEST(ProgramSettings, AFreshUserGetsTheDefaultsAndEverythingIsWrittenOnSave) {
    test::TempDir dir;
    SettingsStore user(dir / "user.reg", true);
    CProgramSettings s;
    s.load(user, nullptr);
    const ProgramOptions o = s.options();
    EXPECT_EQ(o.accessLevel, 1);
    EXPECT_EQ(o.processor, 3);
    EXPECT_EQ(o.direction, 1);
    EXPECT_TRUE(o.nameName);
    EXPECT_TRUE(o.checkViewNoMethod);
    EXPECT_DOUBLE_EQ(o.pDoza, 765);
    EXPECT_DOUBLE_EQ(o.qgn, 30);
    EXPECT_EQ(o.oilGases[4].formula, "C2H2");
    EXPECT_EQ(o.oilGases[4].name, "C2H2");
    ASSERT_TRUE(s.save(user));
    SettingsStore back(dir / "user.reg", true);
    back.load();
    EXPECT_EQ(back.readDword(kRootKey, "AccessLevel", 9), 1u);
    EXPECT_EQ(back.readString(kRootKey, "PDoza"), "765.000000");
    EXPECT_EQ(back.readString(kRootKey, "C2H2GrConc"), "0.00000");
    EXPECT_EQ(back.readString(kRootKey, "H2"), "H2");
    EXPECT_EQ(back.readDword(kRootKey, "UseKK", 9), 0u);
    // Never written by the program.
    EXPECT_FALSE(back.value(kRootKey, "UserFiles"));
    EXPECT_FALSE(back.value(kRootKey, "AppPath"));
    // Owned by the statistics window, not by the options.
    EXPECT_FALSE(back.value(kRootKey, "Kacp"));
}

TEST(ProgramSettings, StoredValuesOutOfRangeOrOfTheWrongTypeReadAsDefaults) {
    SettingsStore user("/nonexistent/u.reg", true);
    user.setInt(kRootKey, "Processor", 8);
    user.setInt(kRootKey, "AccessLevel", -1);
    user.setInt(kRootKey, "SaveFolderType", 3);
    user.setDword(kRootKey, "AutoSave", 2);
    user.setString(kRootKey, "NoiseCalcType", "1");
    user.setString(kRootKey, "PDoza", "abc");
    user.setString(kRootKey, "KK", "");
    user.setString(kRootKey, "Qgn", "12,5");
    user.setDword(kRootKey, "C0", 5);
    user.setString(kRootKey, "CH4", "Метан");
    user.setString(kRootKey, "CH4GrConc", "0.01000");
    CProgramSettings s;
    s.load(user, nullptr);
    const ProgramOptions o = s.options();
    EXPECT_EQ(o.processor, 3);
    EXPECT_EQ(o.accessLevel, 1);
    EXPECT_EQ(o.saveFolderType, 3);
    EXPECT_FALSE(o.autoSave);
    EXPECT_EQ(o.noiseCalcType, 0);
    EXPECT_DOUBLE_EQ(o.pDoza, 765);
    EXPECT_DOUBLE_EQ(o.kk, 0);  // an empty text reads as 0
    EXPECT_DOUBLE_EQ(o.qgn, 12.5);
    EXPECT_DOUBLE_EQ(o.c0, 1);
    EXPECT_EQ(o.oilGases[3].name, "Метан");
    EXPECT_DOUBLE_EQ(o.oilGases[3].boundary, 0.01);
}

TEST(ProgramSettings, MachineFoldersReplaceAllThreeOnlyWhenTheUserHasNoDatabaseFolder) {
    SettingsStore user("/nonexistent/u.reg", true);
    SettingsStore machine("/nonexistent/m.reg", true);
    machine.setString(kRootKey, "PathSaveDb", "/srv/db");
    machine.setString(kRootKey, "MethodPath", "/srv/methods");
    machine.setString(kRootKey, "OpenPath", "/srv/data");
    machine.setString(kRootKey, "UserFiles", "/srv/log");
    user.setString(kRootKey, "MethodPath", "/home/u/methods");
    CProgramSettings s;
    s.load(user, &machine);
    ProgramOptions o = s.options();
    EXPECT_EQ(o.pathSaveDb, "/srv/db");
    EXPECT_EQ(o.methodPath, "/srv/methods");  // even over a per-user value
    EXPECT_EQ(o.openPath, "/srv/data");
    EXPECT_EQ(o.userFiles, "/srv/log");
    EXPECT_EQ(o.logFolder(), "/srv/log");
    EXPECT_TRUE(s.usesMachineFolders());
    // Saving does not copy the machine-wide folders into the user's scope.
    s.save(user);
    EXPECT_EQ(user.readString(kRootKey, "PathSaveDb"), "");
    EXPECT_EQ(user.readString(kRootKey, "MethodPath"), "/home/u/methods");

    user.setString(kRootKey, "PathSaveDb", "/home/u/db");
    s.load(user, &machine);
    o = s.options();
    EXPECT_EQ(o.pathSaveDb, "/home/u/db");
    EXPECT_EQ(o.methodPath, "/home/u/methods");
    EXPECT_FALSE(s.usesMachineFolders());

    // Folders changed in the options dialog become the user's own.
    user.setString(kRootKey, "PathSaveDb", "");
    s.load(user, &machine);
    s.update([](ProgramOptions& p) { p.pathSaveDb = "/home/u/newdb"; });
    s.save(user);
    EXPECT_EQ(user.readString(kRootKey, "PathSaveDb"), "/home/u/newdb");
    EXPECT_EQ(user.readString(kRootKey, "MethodPath"), "/srv/methods");
}

TEST(ProgramSettings, EmptyFoldersFallBackToTheProgramDefaults) {
    ProgramOptions o;
    EXPECT_FALSE(o.databaseFolder().empty());
    EXPECT_EQ(o.databaseFile().filename(), "Zelmora.db");
    EXPECT_FALSE(o.logFolder().empty());
    EXPECT_NE(o.logFolder(), "/");
    o.methodPath = "/x/m";
    EXPECT_EQ(o.methodFolder(), "/x/m");
}

TEST(ProgramSettings, CopiesFolderIsCreatedAndKeptEvenWhenItCannotBe) {
    test::TempDir dir;
    CProgramSettings s;
    EXPECT_TRUE(s.setCopiesFolder((dir / "copies/2026").string()));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "copies/2026"));
    test::writeFile(dir / "file", "x");
    EXPECT_FALSE(s.setCopiesFolder((dir / "file").string()));
    EXPECT_EQ(s.options().pathSaveCopy, (dir / "file").string());
}

TEST(FormatValue, NotationDigitsAndTheInclusiveBound) {
    ProgramOptions o;
    EXPECT_EQ(FormatValue(0.004, 0, o), "4.000e-03");
    EXPECT_EQ(FormatValue(0.005, 0, o), "5.000e-03");
    EXPECT_EQ(FormatValue(0.006, 0, o), "0.006");
    EXPECT_EQ(FormatValue(0.0, 0, o), "0.000");
    EXPECT_EQ(FormatValue(-0.004, 0, o), "-4.000e-03");
    EXPECT_EQ(FormatValue(12.3456, 7, o), "12.346");
    o.numZnakovS = 1;
    EXPECT_EQ(FormatValue(0.4, 2, o), "4.0e-01");
    EXPECT_EQ(FormatValue(0.6, 2, o), "0.6");
    o.floatType = 1;
    EXPECT_EQ(FormatValue(0.004, 0, o), "0.004");
    o.floatType = 2;
    EXPECT_EQ(FormatValue(1234.5, 1, o), "1.234e+03");
}

TEST(ProgramSettings, ProcessorSetsTheRedrawPeriod) {
    ProgramOptions o;
    EXPECT_EQ(o.redrawPeriodMs(), 1758);
    o.processor = 7;
    EXPECT_EQ(o.redrawPeriodMs(), 102);
    o.processor = 0;
    EXPECT_EQ(o.redrawPeriodMs(), 3000);
}

TEST(VersionText, TweakNumbersMarkBetaAndAlpha) {
    EXPECT_EQ(versionText(3, 1, 4, 0), "Версия 3.1.4");
    EXPECT_EQ(versionText(3, 1, 4, 1), "Версия 3.1.4 beta");
    EXPECT_EQ(versionText(3, 1, 4, 2), "Версия 3.1.4 alpha");
    EXPECT_EQ(russianDate("Dec  9 2026"), "9 декабря 2026");
    EXPECT_EQ(russianDate("May 31 2025"), "31 мая 2025");
    EXPECT_EQ(russianDate("Foo 1 2025"), "1 Foo 2025");
}

TEST(MethodFiles, OnlyMtdFilesSortedByName) {
    test::TempDir dir;
    for (const char* n : {"б.mtd", "A.MTD", "c.mtd", "notes.txt", "x.mtd.bak"})
        test::writeFile(dir / n, "");
    std::filesystem::create_directory(dir / "folder.mtd");
    EXPECT_EQ(methodFiles(dir.path()), (std::vector<std::string>{"A.MTD", "c.mtd", "б.mtd"}));
    EXPECT_TRUE(methodFiles(dir / "missing").empty());
}

TEST(AccessLevels, NamesAndTheFourSpellingsOfEachPassWord) {
    EXPECT_STREQ(accessLevelName(0), "Начинающий");
    EXPECT_STREQ(accessLevelName(3), "Наладчик КИПа");
    EXPECT_STREQ(accessLevelName(5), "Разработчик");
    EXPECT_STREQ(accessLevelName(6), "");
    EXPECT_EQ(latinLayout("ПУСК"), "GECR");
    EXPECT_EQ(latinLayout("пуск"), "gecr");
    for (const char* word : {"ПУСК", "пуск", "GECR", "gecr"}) EXPECT_TRUE(acceptsPassword(3, word));
    EXPECT_FALSE(acceptsPassword(3, "Пуск"));
    EXPECT_FALSE(acceptsPassword(4, "ПУСК"));
    EXPECT_FALSE(acceptsPassword(2, ""));
    for (int level = 3; level <= 5; ++level) {
        int accepted = 0;
        for (const char* w : {"ПУСК", "ШЛЕЙФ", "КОЛОНКА"}) accepted += acceptsPassword(level, w);
        EXPECT_EQ(accepted, 1) << level;
    }
    EXPECT_TRUE(acceptsPassword(4, "ikTqa") == false);
    EXPECT_TRUE(acceptsPassword(4, "IKTQA"));
    EXPECT_TRUE(acceptsPassword(5, "rjkjyrf"));
}

}  // namespace
}  // namespace zelmora
