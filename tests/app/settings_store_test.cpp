#include "app/settings_store.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

TEST(SettingsStore, TypedValuesRoundTripThroughTheFile) {
    test::TempDir dir;
    const auto file = dir / "user.reg";
    {
        SettingsStore s(file, true);
        EXPECT_EQ(s.load(), SettingsStore::LoadStatus::Missing);
        s.setInt(kRootKey, "Minus", -1);
        s.setDword(kRootKey, "Big", 0xFFFFFFFEu);
        s.setString(kRootKey, "Path", "/home/оператор/\"Методы\"\\a\nb\tc");
        s.setString(kRootKey, "Empty", "");
        s.setBinary(kRootKey, "Blob", {0x00, 0x11, 0xFF});
        s.setBinary(kRootKey, "NoBytes", {});
        s.setString(std::string(kRootKey) + "\\ADC_0", "ID", "x");
        ASSERT_TRUE(s.flush());
    }
    SettingsStore s(file, true);
    ASSERT_EQ(s.load(), SettingsStore::LoadStatus::Loaded);
    EXPECT_EQ(s.readInt(kRootKey, "Minus", 5), -1);
    EXPECT_EQ(s.readDword(kRootKey, "Big", 0), 0xFFFFFFFEu);
    EXPECT_EQ(s.readString(kRootKey, "Path"), "/home/оператор/\"Методы\"\\a\nb\tc");
    EXPECT_EQ(s.readString(kRootKey, "Empty", "def"), "");
    EXPECT_EQ(s.readBinary(kRootKey, "Blob"), (std::vector<std::uint8_t>{0x00, 0x11, 0xFF}));
    EXPECT_EQ(s.readBinary(kRootKey, "NoBytes"), std::vector<std::uint8_t>{});
    // Names are matched without regard to case, as in the registry.
    EXPECT_EQ(s.readInt("software\\QUENDAL\\zelmora", "minus", 0), -1);
    EXPECT_EQ(s.readString(std::string(kRootKey) + "\\adc_0", "id"), "x");
}

TEST(SettingsStore, AValueOfAnotherKindReadsAsTheDefault) {
    SettingsStore s("/nonexistent/zelmora.reg", true);
    s.setString(kRootKey, "AccessLevel", "5");
    s.setDword(kRootKey, "MethodPath", 7);
    EXPECT_EQ(s.readDword(kRootKey, "AccessLevel", 1), 1u);
    EXPECT_EQ(s.readString(kRootKey, "MethodPath", "def"), "def");
    EXPECT_FALSE(s.readBinary(kRootKey, "AccessLevel"));
    EXPECT_EQ(s.readDword(kRootKey, "Missing", 9), 9u);
    EXPECT_EQ(s.readDword("No\\Such\\Key", "x", 3), 3u);
}

TEST(SettingsStore, SubkeysEnumerationAndRecursiveDelete) {
    SettingsStore s("/nonexistent/zelmora.reg", true);
    const std::string root = kRootKey;
    s.setDword(root, "ADCCount", 2);
    s.setDword(root + "\\ADC_0", "ID", 1);
    s.setDword(root + "\\ADC_1", "ID", 2);
    s.setDword(root + "\\ADC_1\\Channels\\0", "Rate", 10);
    auto sub = s.subkeys(root);
    EXPECT_EQ(sub, (std::vector<std::string>{"ADC_0", "ADC_1"}));
    EXPECT_EQ(s.subkeys(root + "\\ADC_1"), std::vector<std::string>{"Channels"});
    EXPECT_EQ(s.valueNames(root), std::vector<std::string>{"ADCCount"});
    EXPECT_TRUE(s.hasKey(root + "\\ADC_1\\Channels"));
    s.deleteKey(root + "\\ADC_1");
    EXPECT_FALSE(s.hasKey(root + "\\ADC_1"));
    EXPECT_FALSE(s.hasKey(root + "\\ADC_1\\Channels\\0"));
    EXPECT_TRUE(s.hasKey(root + "\\ADC_0"));
    // A key whose name only starts like the deleted one stays.
    s.setDword(root + "\\ADC_10", "ID", 3);
    s.deleteKey(root + "\\ADC_1");
    EXPECT_TRUE(s.hasKey(root + "\\ADC_10"));
    s.deleteValue(root, "ADCCount");
    EXPECT_EQ(s.readDword(root, "ADCCount", 0), 0u);
}

TEST(SettingsStore, ADamagedFileGivesDefaultsAndIsKeptAside) {
    test::TempDir dir;
    const auto file = dir / "user.reg";
    test::writeFile(file, "Zelmora settings 1\n[Software]\n\"A\"=dword:zz\n");
    SettingsStore s(file, true);
    EXPECT_EQ(s.load(), SettingsStore::LoadStatus::Damaged);
    EXPECT_EQ(s.readDword("Software", "A", 4), 4u);
    EXPECT_EQ(s.loadWarning().rfind("? ", 0), 0u);
    EXPECT_FALSE(std::filesystem::exists(file));
    int aside = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        if (e.path().filename().string().rfind("user.reg.damaged-", 0) == 0) {
            ++aside;
            EXPECT_EQ(test::readFile(e.path()), "Zelmora settings 1\n[Software]\n\"A\"=dword:zz\n");
        }
    }
    EXPECT_EQ(aside, 1);
    // Garbage without a header, and a value outside any key, are damaged too.
    for (const char* bad : {"\x01\x02garbage", "Zelmora settings 1\n\"A\"=\"x\"\n",
                            "Zelmora settings 1\n[K]\n\"A\"=\"unterminated\n"}) {
        test::writeFile(file, bad);
        SettingsStore t(file, true);
        EXPECT_EQ(t.load(), SettingsStore::LoadStatus::Damaged) << bad;
    }
}

TEST(SettingsStore, FlushMergesWithChangesOfAnotherProgram) {
    test::TempDir dir;
    const auto file = dir / "user.reg";
    SettingsStore a(file, true), b(file, true);
    a.load();
    b.load();
    a.setDword(kRootKey, "Kacp", 1);
    ASSERT_TRUE(a.flush());
    b.setDword(kRootKey, "AccessLevel", 3);
    ASSERT_TRUE(b.flush());
    SettingsStore c(file, true);
    c.load();
    EXPECT_EQ(c.readDword(kRootKey, "Kacp", 0), 1u);
    EXPECT_EQ(c.readDword(kRootKey, "AccessLevel", 0), 3u);
}

TEST(SettingsStore, TheMachineScopeIsReadOnly) {
    test::TempDir dir;
    test::writeFile(
        dir / "machine.reg",
        "Zelmora settings 1\n\n[Software\\Quendal\\Zelmora]\n\"UserFiles\"=\"/var/log\"\n");
    SettingsStore m(dir / "machine.reg", false);
    ASSERT_EQ(m.load(), SettingsStore::LoadStatus::Loaded);
    EXPECT_EQ(m.readString(kRootKey, "UserFiles"), "/var/log");
    EXPECT_FALSE(m.setString(kRootKey, "UserFiles", "/tmp"));
    EXPECT_FALSE(m.flush());
    EXPECT_EQ(m.readString(kRootKey, "UserFiles"), "/var/log");
}

TEST(SettingsStore, AFailedFlushKeepsTheOldFileAndThePendingChanges) {
    test::TempDir dir;
    const auto sub = dir / "ro";
    std::filesystem::create_directories(sub);
    SettingsStore s(sub / "user.reg", true);
    s.setDword(kRootKey, "A", 1);
    ASSERT_TRUE(s.flush());
    const std::string before = test::readFile(sub / "user.reg");
    std::filesystem::permissions(
        sub, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    s.setDword(kRootKey, "A", 2);
    const Status flushed = s.flush();
    const bool ok = flushed.ok();
    const std::string& error = flushed.message();
    std::filesystem::permissions(sub, std::filesystem::perms::owner_all);
    if (!ok) {  // root may write anyway
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(s.hasPendingChanges());
        EXPECT_EQ(test::readFile(sub / "user.reg"), before);
        ASSERT_TRUE(s.flush());
    }
    SettingsStore t(sub / "user.reg", true);
    t.load();
    EXPECT_EQ(t.readDword(kRootKey, "A", 0), 2u);
}

}  // namespace
}  // namespace zelmora
