#include "processing/recorded_chromatogram.h"

#include <gtest/gtest.h>

#include <ctime>

#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

TEST(RecordingNames, FileNameAndMonthFolders) {
    std::tm t{};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 8;
    t.tm_hour = 14;
    t.tm_min = 30;
    t.tm_sec = 5;
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    EXPECT_EQ(recordingFileName(when, "Газ"), "Газ_081226_143005.stg");
    EXPECT_EQ(recordingFileName(when, ""), "Zelmora_081226_143005.stg");
    EXPECT_EQ(monthFolderName(12), "12-декабрь");
    EXPECT_EQ(monthFolderName(5), "05-май");
    EXPECT_EQ(monthFolderName(13), "");

    test::TempDir dir;
    const fs::path f = dir / "chrom";
    EXPECT_EQ(recordingFolder(f, 0, "Газ", when), f);
    EXPECT_TRUE(fs::is_directory(f));
    EXPECT_EQ(recordingFolder(f, 1, "Газ", when), f / "2026" / "12-декабрь");
    EXPECT_EQ(recordingFolder(f, 2, "Газ", when), f / "Газ");
    EXPECT_EQ(recordingFolder(f, 3, "Газ", when), f / "Газ" / "2026" / "12-декабрь");
    EXPECT_EQ(recordingFolder(f, 7, "Газ", when), f);
    EXPECT_TRUE(fs::is_directory(f / "Газ" / "2026" / "12-декабрь"));
    EXPECT_TRUE(fs::is_directory(f / "2026" / "12-декабрь"));

    test::writeFile(f / "a.stg", "x");
    test::writeFile(f / "a (2).stg", "x");
    EXPECT_EQ(uniqueFilePath(f / "a.stg"), f / "a (3).stg");
    EXPECT_EQ(uniqueFilePath(f / "b.stg"), f / "b.stg");
}

}  // namespace
}  // namespace zelmora
