// Deleting into the desktop's trash: the file renamed into "files/", its
// original path and deletion time in "info/", names kept apart, and a file
// that cannot go there left where it was.

#include "app/trash.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/paths.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

TEST(Trash, MovesFilesWithTheirOriginalPathAndTime) {
    test::TempDir dir;
    const fs::path trash = paths::homeTrashFolder();
    ASSERT_EQ(trash, paths::homeOverride() / "Trash");  // never the user's own

    const fs::path file = dir / "проба 1%.stg";
    write(file, "first");
    // 2026-12-09 12:00:00 UTC, written in local time.
    const std::time_t when = 1'796'817'600;
    const Result<fs::path> moved = moveToTrash(file, when);
    ASSERT_TRUE(moved) << moved.message();
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(moved.value(), trash / "files" / "проба 1%.stg");
    EXPECT_EQ(read(moved.value()), "first");
    const std::string info = read(trash / "info" / "проба 1%.stg.trashinfo");
    char expectedTime[32];
    struct tm local {};
    ::localtime_r(&when, &local);
    std::strftime(expectedTime, sizeof expectedTime, "%Y-%m-%dT%H:%M:%S", &local);
    EXPECT_EQ(info, "[Trash Info]\nPath=" + trashInfoPath(fs::absolute(file).string()) +
                        "\nDeletionDate=" + expectedTime + "\n");
    EXPECT_NE(info.find("%D0%BF%D1%80%D0%BE%D0%B1%D0%B0%201%25.stg"), std::string::npos);

    // A second file of the same name does not replace the first.
    write(file, "second");
    const Result<fs::path> again = moveToTrash(file, when);
    ASSERT_TRUE(again) << again.message();
    EXPECT_NE(again.value(), moved.value());
    EXPECT_EQ(read(again.value()), "second");
    EXPECT_EQ(read(moved.value()), "first");
    EXPECT_TRUE(fs::exists(trash / "info" / (again.value().filename().string() + ".trashinfo")));

    // A missing file is a failure that leaves no information behind.
    const auto infos = [&] {
        return std::distance(fs::directory_iterator(trash / "info"), fs::directory_iterator());
    };
    const auto before = infos();
    const Result<fs::path> missing = moveToTrash(dir / "нет.stg", when);
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message().find("нет.stg"), std::string::npos);
    EXPECT_EQ(infos(), before);
}

TEST(Trash, InfoPathsEscapeEverythingButUnreservedCharacters) {
    EXPECT_EQ(trashInfoPath("/a/b-c_d.e~f"), "/a/b-c_d.e~f");
    EXPECT_EQ(trashInfoPath("/a b/c%d#e\n"), "/a%20b/c%25d%23e%0A");
    EXPECT_EQ(trashInfoPath("/я"), "/%D1%8F");
}

}  // namespace
}  // namespace zelmora
