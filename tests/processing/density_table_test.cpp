#include "processing/density_table.h"

#include <gtest/gtest.h>

#include "app/text.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

TEST(DensityTable, RoundTripStopsAtTheFirstEmptyName) {
    test::TempDir dir;
    const fs::path file = dir / "density.txt";
    const Status written =
        writeDensityTable(file, {{"Метан", 0.72}, {"Этан", 1.36}, {"", 5}, {"X", 1}});
    ASSERT_TRUE(written) << written.message();
    const auto rows = readDensityTable(file);
    ASSERT_TRUE(rows.ok());
    ASSERT_EQ(rows->size(), 2u);
    EXPECT_EQ((*rows)[1].name, "Этан");
    EXPECT_DOUBLE_EQ((*rows)[1].density, 1.36);
    EXPECT_EQ(test::readFile(file), text::toCp1251("Метан\r\n0.72\r\nЭтан\r\n1.36\r\n"));

    // A table that is not there is a failure that names the file.
    const auto missing = readDensityTable(dir / "нет.txt");
    EXPECT_FALSE(missing.ok());
    EXPECT_NE(missing.message().find("нет.txt"), std::string::npos);
}

}  // namespace
}  // namespace zelmora
