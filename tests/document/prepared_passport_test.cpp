// The passport kept per method for the next run: written and read back
// whole, absent for a method never prepared, a damaged file refused with
// its name, and method names that are not plain file names.

#include "document/prepared_passport.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

TEST(PreparedPassport, RoundTripPerMethod) {
    test::TempDir dir;
    const auto folder = dir / "prepared";
    Passport p(1700000000);
    p.method = "Газ/природный";
    p.sample = "Проба 7";
    p.place = "ГРС-1";
    p.point = "Выход";
    p.comment = "после ремонта";
    ASSERT_TRUE(writePreparedPassport(folder, p));
    EXPECT_EQ(preparedPassportFile(folder, p.method).filename(), "Газ_природный.ps");
    auto back = readPreparedPassport(folder, "Газ/природный");
    ASSERT_TRUE(back);
    ASSERT_TRUE(back->has_value());
    EXPECT_EQ(**back, p);
    // Another method has none; an empty method keeps none.
    auto other = readPreparedPassport(folder, "Другой");
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->has_value());
    Passport unnamed = p;
    unnamed.method.clear();
    EXPECT_FALSE(writePreparedPassport(folder, unnamed));
    // Written again, the newer passport replaces the older.
    p.sample = "Проба 8";
    ASSERT_TRUE(writePreparedPassport(folder, p));
    EXPECT_EQ((*readPreparedPassport(folder, p.method))->sample, "Проба 8");
}

TEST(PreparedPassport, DamagedFileIsRefused) {
    test::TempDir dir;
    std::ofstream(dir / "М.ps", std::ios::binary) << "garbage bytes";
    auto r = readPreparedPassport(dir.path(), "М");
    ASSERT_FALSE(r);
    EXPECT_NE(r.message().find("М.ps"), std::string::npos);
}

}  // namespace
}  // namespace zelmora
