#include "document/archive/archive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zelmora {
namespace {

TEST(Archive, StringsAtTheLengthEdges) {
    for (std::size_t n : {0u, 1u, 254u, 255u, 256u, 65533u, 65534u, 65535u, 70000u}) {
        const std::string s(n, 'a');
        ArchiveWriter w;
        w.rawString(s);
        std::size_t header = n < 255 ? 1 : n < 0xFFFE ? 3 : 7;
        EXPECT_EQ(w.size(), header + n) << n;
        ArchiveReader r(w.data());
        EXPECT_EQ(r.rawString(), s) << n;
        EXPECT_TRUE(r.ok());
        EXPECT_TRUE(r.atEnd());
    }
}

TEST(Archive, NonMinimalLengthFormsAreAccepted) {
    // 3 bytes written with the 16-bit and with the 32-bit form.
    const std::string form16("\xFF\x03\x00" "abc", 6);
    ArchiveReader r16(form16);
    EXPECT_EQ(r16.rawString(), "abc");
    const std::string form32("\xFF\xFF\xFF\x03\x00\x00\x00" "abc", 10);
    ArchiveReader r32(form32);
    EXPECT_EQ(r32.rawString(), "abc");
    EXPECT_TRUE(r32.ok());
}

TEST(Archive, TextIsStoredAs1251) {
    ArchiveWriter w;
    w.string("Метан");
    EXPECT_EQ(w.data(), std::string("\x05\xCC\xE5\xF2\xE0\xED"));
    ArchiveReader r(w.data());
    EXPECT_EQ(r.string(), "Метан");
}

TEST(Archive, NumbersRoundTripLittleEndian) {
    ArchiveWriter w;
    w.i32(-1);
    w.u16(0x1234);
    w.f32(1.5f);
    w.f64(-0.1);
    w.i64(-5);
    w.dateTime(1'700'000'000);
    EXPECT_EQ(w.data().substr(0, 6), std::string("\xFF\xFF\xFF\xFF\x34\x12", 6));
    ArchiveReader r(w.data());
    EXPECT_EQ(r.i32(), -1);
    EXPECT_EQ(r.u16(), 0x1234);
    EXPECT_EQ(r.f32(), 1.5f);
    EXPECT_EQ(r.f64(), -0.1);
    EXPECT_EQ(r.i64(), -5);
    EXPECT_EQ(r.dateTime(), 1'700'000'000);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.atEnd());
}

TEST(Archive, TruncatedInputFailsAndSticks) {
    ArchiveWriter w;
    w.rawString(std::string(300, 'x'));
    const std::string full = w.data();
    for (std::size_t cut : {0u, 1u, 2u, 3u, 100u, 302u}) {
        ArchiveReader r(std::string_view(full).substr(0, cut));
        EXPECT_EQ(r.rawString(), "") << cut;
        EXPECT_FALSE(r.ok()) << cut;
        EXPECT_EQ(r.u32(), 0u);  // later reads give zeros
        EXPECT_EQ(r.remaining(), 0u);
    }
    // A 32-bit length of 4 GB in a 10-byte input: no allocation, a failure.
    const std::string hugeLength("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" "abc", 10);
    ArchiveReader huge(hugeLength);
    EXPECT_EQ(huge.rawString(), "");
    EXPECT_FALSE(huge.ok());
    const std::string three("\x01\x02\x03", 3);
    ArchiveReader shortInt(three);
    shortInt.u32();
    EXPECT_FALSE(shortInt.ok());
}

TEST(Archive, CountsAreCheckedAgainstTheBytesLeft) {
    const std::string data(40, '\0');
    ArchiveReader r(data);
    EXPECT_EQ(r.count(10, 4, "пиков"), 10u);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.count(11, 4, "пиков"), 0u);
    EXPECT_FALSE(r.ok());
    ArchiveReader neg(data);
    EXPECT_EQ(neg.count(-1, 1, "свойств"), 0u);
    EXPECT_FALSE(neg.ok());
    EXPECT_NE(neg.error().find("свойств"), std::string::npos);
    ArchiveReader big(data);
    EXPECT_EQ(big.count(std::numeric_limits<std::int64_t>::max(), 1, "x"), 0u);
    EXPECT_FALSE(big.ok());
}

TEST(Archive, DateTimesOutsideTheStoredRangeAreClamped) {
    ArchiveWriter w;
    w.dateTime(-5);
    w.dateTime(static_cast<std::time_t>(1) << 40);
    ArchiveReader r(w.data());
    EXPECT_EQ(r.dateTime(), 0);
    EXPECT_EQ(r.dateTime(), static_cast<std::time_t>(0xFFFFFFFFu));
}

}  // namespace
}  // namespace zelmora
