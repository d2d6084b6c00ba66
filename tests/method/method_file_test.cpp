#include "method/method_file.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/method/method_bytes.h"

namespace zelmora {
namespace {

using test::buildMethodFile;
using test::BuildOptions;
using test::Bytes;
using test::Ignored;

// Where two byte strings first differ, for a short failure message.
std::string firstDifference(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i])
        ++i;
    if (i == a.size() && i == b.size())
        return "equal";
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) +
           ", first difference at byte " + std::to_string(i);
}

TEST(MethodFile, Version57FromTheLayoutReadsAndIsWrittenBackByteForByte) {
    Method expected;
    const std::string bytes = buildMethodFile(57, expected);

    Method read;
    const Result<int> r = readMethodFile(bytes, read);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(*r, 57);
    EXPECT_EQ(read, expected);
    // A few fields by hand, against a builder that could share a mistake.
    EXPECT_EQ(read.info.description, "Метан");
    EXPECT_FLOAT_EQ(read.capture.displayMinimum, -5.0f);
    EXPECT_FLOAT_EQ(read.capture.displayMaximum, 500.0f);
    EXPECT_FLOAT_EQ(read.filter.window, 3.0f);
    EXPECT_FLOAT_EQ(read.filter.threshold, 0.5f);
    EXPECT_FLOAT_EQ(read.marking.MinArea, 0.02f);
    EXPECT_FLOAT_EQ(read.marking.MarkingStart, 0.3f);
    EXPECT_FLOAT_EQ(read.marking.MaxCommonBaselineDistance, 0.7f);
    ASSERT_EQ(read.marking.events.size(), 2u);
    EXPECT_EQ(read.marking.events[0].kind, 6);
    EXPECT_DOUBLE_EQ(read.marking.events[0].time, 2.0);
    EXPECT_DOUBLE_EQ(read.marking.events[0].value, 0.15);
    ASSERT_EQ(read.calculation.components.size(), 3u);
    EXPECT_EQ(read.calculation.components[0].points[0].dateTime, 2000);
    EXPECT_EQ(read.report.calibrationComponents[0].first, "Метан");
    ASSERT_TRUE(read.kalder && read.ehd);
    EXPECT_FLOAT_EQ(read.kalder->programTemperature[4], 0.0f);
    EXPECT_FLOAT_EQ(read.kalder->programRate[3], 0.0f);
    EXPECT_DOUBLE_EQ(read.ehd->columnTemperature, 40.25);

    // The layout table, written here by hand, and the writer agree.
    EXPECT_EQ(firstDifference(writeMethodFile(read), bytes), "equal");
}

TEST(MethodFile, WriterPutsZeroAndOneInTheUnusedFields) {
    Method expected;
    const std::string junk = buildMethodFile(57, expected, {Ignored::Junk, true, true});
    Method read;
    ASSERT_TRUE(readMethodFile(junk, read).ok());
    EXPECT_EQ(read, expected);
    Method clean;
    EXPECT_EQ(firstDifference(writeMethodFile(read), buildMethodFile(57, clean)), "equal");
}

TEST(MethodFile, EmptyMethodIsTheSmallestFile) {
    const Method m;
    const std::string bytes = writeMethodFile(m);
    Method read;
    read.capture.analysisTime = 99;  // every field is overwritten by a version-57 file
    ASSERT_TRUE(readMethodFile(bytes, read).ok());
    EXPECT_EQ(read, m);
    EXPECT_FALSE(read.kalder);
    // No events: the last index -1 and nothing else, right after the eight
    // marking values; the file ends with the end tag.
    const std::size_t markingEnd =
        4 + 4 + 1 + 1 + 4 + 4 + 4 + 4 + (1 + 3) + 4 + 4 + 4 + 4 + 4 + 4 + 8 * 4;
    EXPECT_EQ(bytes.substr(markingEnd, 4), std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(bytes.substr(markingEnd + 4, 4), std::string("\0\0\0\0", 4));  // calculation kind
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("\xFF\xFF\xFF\xFF", 4));
}

// Every version reads back what its layout holds, starting from a fresh
// method; fields the version lacks keep their defaults.
TEST(MethodFile, EveryVersionReadsWithItsGates) {
    for (int v = 0; v <= 57; ++v) {
        SCOPED_TRACE(v);
        Method expected;
        const std::string bytes = buildMethodFile(v, expected, {Ignored::Junk, true, true});
        Method read;
        const Result<int> r = readMethodFile(bytes, read);
        ASSERT_TRUE(r.ok()) << r.message();
        if (v <= 2)
            continue;  // levels are aligned; checked by hand below
        EXPECT_EQ(read, expected);
    }
}

TEST(MethodFile, OldVersionsKeepDefaultsAndGetTheirFixUps) {
    {
        SCOPED_TRACE("version 2");
        Method e;
        Method m;
        ASSERT_TRUE(readMethodFile(buildMethodFile(2, e), m).ok());
        EXPECT_FLOAT_EQ(m.marking.Width, 0.2f / (2.4f / 120.0f));
        EXPECT_FLOAT_EQ(m.marking.MaxRiderArea, 0.0f);
        EXPECT_TRUE(m.marking.events.empty());
        EXPECT_EQ(m.capture.passportKind, 1);
        EXPECT_EQ(m.capture.folder, "C:\\");
        EXPECT_EQ(m.calculation.standard, "");
        EXPECT_EQ(m.extra.kind, 0);
        EXPECT_TRUE(m.groups.empty());
        EXPECT_FALSE(m.kalder);
        EXPECT_FALSE(m.ehd);
        EXPECT_EQ(m.report.sections[1], false);  // the report is there from version 2
        EXPECT_EQ(m.report.chartSize, 0);
        EXPECT_TRUE(m.report.labelName);

        // Calibration levels aligned by date: dates 1000, 2000, 3000, 3000 and
        // one empty level of date 0 for padding.
        const auto& cs = m.calculation.components;
        ASSERT_EQ(cs.size(), 3u);
        for (const MethodComponent& c : cs) {
            SCOPED_TRACE(c.name);
            ASSERT_EQ(c.points.size(), 4u);
            for (std::size_t i = 1; i < c.points.size(); ++i)
                EXPECT_LE(c.points[i - 1].dateTime, c.points[i].dateTime);
        }
        EXPECT_EQ(cs[0].points[0].dateTime, 0);
        EXPECT_EQ(cs[0].points[1].dateTime, 1000);
        EXPECT_DOUBLE_EQ(cs[0].points[1].height, e.calculation.components[0].points[1].height);
        EXPECT_EQ(cs[0].points[3].dateTime, 3000);
        EXPECT_DOUBLE_EQ(cs[0].points[3].area, 0.0);
        EXPECT_EQ(cs[1].points[0].dateTime, 1000);
        EXPECT_DOUBLE_EQ(cs[1].points[0].area, 0.0);
        EXPECT_EQ(cs[1].points[2].dateTime, 3000);
        EXPECT_NE(cs[1].points[2].area, 0.0);
        EXPECT_EQ(cs[2].points[0].dateTime, 0);
        EXPECT_EQ(cs[2].points[3].dateTime, 3000);
        // Only the component that had no levels of its own is taken as manual.
        EXPECT_FALSE(cs[0].manual);
        EXPECT_FALSE(cs[1].manual);
        EXPECT_TRUE(cs[2].manual);
        EXPECT_DOUBLE_EQ(cs[0].standardFactor, 1.0);
        EXPECT_DOUBLE_EQ(cs[0].retentionIndex, 100.0);
    }
    {
        SCOPED_TRACE("version 0: no report section at all");
        Method e, m;
        m.report.chartSize = 2;
        ASSERT_TRUE(readMethodFile(buildMethodFile(0, e), m).ok());
        EXPECT_EQ(m.report.chartSize, 2);
        EXPECT_TRUE(m.report.sections[1]);
    }
    auto read = [](int v, Method m = {}) {
        Method e = m;
        const Result<int> r = readMethodFile(buildMethodFile(v, e, {Ignored::Junk, true, true}), m);
        EXPECT_TRUE(r.ok()) << r.message();
        return m;
    };
    {
        SCOPED_TRACE("version 3");
        const Method m = read(3);
        EXPECT_FLOAT_EQ(m.marking.Width, 0.2f);
        EXPECT_FLOAT_EQ(m.marking.MaxRiderArea, 0.08f);
        EXPECT_EQ(m.calculation.standard, "Std");  // after the unused int32 of 3..27
        EXPECT_EQ(m.calculation.referenceIdentification, 0);
        EXPECT_TRUE(m.calculation.components[2].manual);  // read from the file
        EXPECT_FALSE(m.calculation.components[0].reference);
        EXPECT_EQ(m.calculation.components[0].points.size(), 2u);  // not aligned
        EXPECT_EQ(m.calculation.components[0].points[0].dateTime, 2000);
    }
    {
        SCOPED_TRACE("version 12");
        const Method m = read(12);
        EXPECT_EQ(m.capture.passportKind, 0);
        EXPECT_TRUE(m.report.groups);
        EXPECT_FALSE(m.report.calibration);
        EXPECT_EQ(m.extra.kind, 1);
        EXPECT_TRUE(m.groups.empty());
        EXPECT_EQ(m.calculation.components[0].curveType, 0);
        ASSERT_TRUE(m.kalder);
        EXPECT_EQ(m.kalder->zoneNameCode[0], 0);
        EXPECT_EQ(m.kalder->autosampler.port, 0);
        ASSERT_TRUE(m.ehd);
        EXPECT_EQ(m.ehd->mode, 2);
    }
    {
        SCOPED_TRACE("version 15");
        const Method m = read(15);
        EXPECT_EQ(m.groups.size(), 1u);
        EXPECT_EQ(m.calculation.components.size(), 3u);
        EXPECT_FALSE(m.calculation.mainByDifference);
    }
    {
        SCOPED_TRACE("versions 27 and 28");
        const Method m27 = read(27);
        const Method m28 = read(28);
        EXPECT_EQ(m27.calculation.standard, "Std");
        EXPECT_EQ(m28.calculation.standard, "Std");
        EXPECT_EQ(m27.calculation.components, m28.calculation.components);
        EXPECT_EQ(m27.calculation.components[0].curveType, 5);
    }
    {
        SCOPED_TRACE("versions 34 and 35");
        const Method m34 = read(34);
        EXPECT_TRUE(m34.capture.saveToFolder);
        EXPECT_FALSE(m34.capture.fixedBounds);
        EXPECT_FLOAT_EQ(m34.capture.displayMaximum, 0.0f);
        EXPECT_FALSE(m34.report.labelName);
        const Method m35 = read(35);
        EXPECT_TRUE(m35.capture.fixedBounds);
        EXPECT_FLOAT_EQ(m35.capture.displayMinimum, -5.0f);
    }
    {
        SCOPED_TRACE("version 48");
        const Method m = read(48);
        EXPECT_TRUE(m.calculation.mainByDifference);
        EXPECT_EQ(m.calculation.mainSubstance, "Main");
        EXPECT_EQ(m.calculation.identification, 0);
        EXPECT_DOUBLE_EQ(m.calculation.components[0].retentionIndex, 100.0);
    }
    {
        SCOPED_TRACE("version 54");
        const Method m = read(54);
        EXPECT_EQ(m.calculation.identification, 1);
        EXPECT_DOUBLE_EQ(m.calculation.deadTime, 0.9);
        EXPECT_NE(m.calculation.components[0].retentionIndex, 100.0);
        EXPECT_NE(m.calculation.components[0].points[0].retentionIndex, 0.0);
        EXPECT_EQ(m.kalder->buttonFunction[0], 0);
    }
    {
        SCOPED_TRACE("an older file keeps what the method already held");
        Method before;
        before.capture.folder = "E:\\keep";
        before.calculation.deadTime = 2.5;
        before.kalder.emplace();
        before.kalder->silentMode = 7;
        before.ehd.emplace();
        before.ehd->mode = 1;
        before.extra.kind = 2;
        Method e = before;
        Method m = before;
        ASSERT_TRUE(readMethodFile(buildMethodFile(30, e, {Ignored::Junk, true, false}), m).ok());
        EXPECT_EQ(m.capture.folder, "E:\\keep");
        EXPECT_DOUBLE_EQ(m.calculation.deadTime, 2.5);
        EXPECT_EQ(m.kalder->silentMode, 7);
        ASSERT_TRUE(m.ehd);  // no block in the file: the settings stay
        EXPECT_EQ(m.ehd->mode, 1);
        EXPECT_EQ(m.extra.kind, 1);
        EXPECT_EQ(m, e);

        Method old = before;
        ASSERT_TRUE(readMethodFile(buildMethodFile(11, e), old).ok());
        EXPECT_EQ(old.extra.kind, 0);  // a file before extra calculations has none
    }
}

// The tag-1 block has no length: reading the block of each version exactly
// is what brings the reader to the next tag.
TEST(MethodFile, InstrumentBlockOfEachVersionIsFollowedByTheNextTag) {
    for (int v : {5, 36, 40, 43, 44, 45, 46, 47, 50, 51, 52, 53, 55, 56, 57}) {
        SCOPED_TRACE(v);
        Method e;
        const std::string bytes = buildMethodFile(v, e);
        Method m;
        const Result<int> r = readMethodFile(bytes, m);
        ASSERT_TRUE(r.ok()) << r.message();
        ASSERT_TRUE(m.kalder && m.ehd);
        EXPECT_EQ(*m.kalder, *e.kalder);
        EXPECT_EQ(*m.ehd, *e.ehd);
    }
    {
        // A version-44 block read against the version-57 layout would run
        // past its end.
        Method e;
        Bytes b;
        MethodKalderSettings k44;
        test::buildKalderBlock(b, 44, k44);
        const std::string block = b.s;
        MethodKalderSettings k57;
        Bytes b57;
        test::buildKalderBlock(b57, 57, k57);
        EXPECT_LT(block.size(), b57.s.size());
    }
}

TEST(MethodFile, UnknownTagsCarryNothing) {
    Method e;
    std::string bytes = buildMethodFile(57, e, {Ignored::AsWritten, false, false});
    bytes.resize(bytes.size() - 4);  // the end tag
    Bytes b;
    b.i32(7);
    b.i32(1);
    Method k;
    k.kalder.emplace();
    test::buildKalderBlock(b, 57, *k.kalder);
    b.i32(-1);
    bytes += b.s;
    Method m;
    ASSERT_TRUE(readMethodFile(bytes, m).ok());
    ASSERT_TRUE(m.kalder);
    EXPECT_FALSE(m.ehd);
    EXPECT_EQ(*m.kalder, *k.kalder);
}

TEST(MethodFile, DamagedFilesFailAndChangeNothing) {
    Method e;
    const std::string good = buildMethodFile(57, e);
    Method before;
    before.info.comment = "before";

    // Every cut of a good file, down to nothing.
    for (std::size_t n = 0; n < good.size(); ++n) {
        Method m = before;
        const Result<int> r = readMethodFile(std::string_view(good).substr(0, n), m);
        ASSERT_FALSE(r.ok()) << n;
        EXPECT_FALSE(r.message().empty());
        ASSERT_EQ(m, before) << n;
    }

    auto patched = [&](std::size_t at, std::uint32_t value) {
        std::string s = good;
        Bytes b;
        b.u32(value);
        s.replace(at, 4, b.s);
        return s;
    };
    Method m = before;
    EXPECT_FALSE(readMethodFile(patched(0, 0x5C394584), m).ok());
    Result<int> r = readMethodFile(patched(4, 58), m);
    EXPECT_FALSE(r.ok());
    EXPECT_NE(r.message().find("58"), std::string::npos);
    EXPECT_FALSE(readMethodFile(patched(4, 0xFFFFFFFF), m).ok());  // version -1
    EXPECT_EQ(m, before);

    // Counts far beyond the bytes left are refused before anything grows.
    auto oldFile = [](int v, std::string tail) {
        Bytes b;
        b.u32(0x5C394583);
        b.i32(v);
        b.str("");
        b.str("");
        for (int i = 0; i < 2; ++i)
            b.f32(1);
        b.i32(0);  // filter kind
        b.f32(1);
        b.f32(1);
        for (int i = 0; i < 6; ++i)
            b.f32(1);  // marking
        return b.s + tail;
    };
    Bytes tail;
    tail.i32(-2);  // a last index below -1
    EXPECT_FALSE(readMethodFile(oldFile(7, tail.s), m).ok());
    Bytes huge;
    huge.i32(0);
    huge.f64(0);
    huge.i32(0);
    huge.i32(0x7FFFFFFF);  // components, version 2
    EXPECT_FALSE(readMethodFile(oldFile(2, huge.s), m).ok());
    Bytes negative = huge;
    negative.s.resize(negative.s.size() - 4);
    negative.i32(-1);
    EXPECT_FALSE(readMethodFile(oldFile(2, negative.s), m).ok());
    // A string whose 32-bit length runs past the end.
    std::string longString = good.substr(0, 8) + std::string("\xFF\xFF\xFF\x00\x00\x00\x10", 7);
    EXPECT_FALSE(readMethodFile(longString, m).ok());
    // The tag sequence must end with -1.
    std::string noEnd = good.substr(0, good.size() - 4);
    EXPECT_FALSE(readMethodFile(noEnd, m).ok());
    EXPECT_EQ(m, before);
}

TEST(MethodFile, OldWidthWithZeroMaximumStaysFinite) {
    Bytes b;
    b.u32(0x5C394583);
    b.i32(1);
    b.str("");
    b.str("");
    b.f32(30);
    b.f32(20);
    b.i32(0);
    b.f32(1);
    b.f32(0.1f);
    for (float x : {0.0f, 0.25f, 0.0f, 0.01f, 0.01f, 0.1f})  // MaxWidth 0
        b.f32(x);
    b.i32(0);
    b.f64(0);
    b.i32(0);
    b.i32(0);  // no components
    Method m;
    const Result<int> r = readMethodFile(b.s, m);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_TRUE(std::isfinite(m.marking.Width));
    EXPECT_FLOAT_EQ(m.marking.Width, 0.25f);
}

TEST(MethodFile, ProgrammeTimeAndItsLengthening) {
    MethodKalderSettings k;
    k.programTemperature = {50, 150, 200, 250, 300};
    k.programIsotherm = {10, 5, 2, 1, 9};
    k.programRate = {10, 0, 5, 5};
    EXPECT_DOUBLE_EQ(k.programTime(), 10 + 10 + 5);  // stops at the first zero rate
    k.lengthenProgram(3);
    EXPECT_FLOAT_EQ(k.programIsotherm[1], 8);  // step 2, whose following rate is 0
    k.programRate = {10, 25, 50, 5};
    EXPECT_DOUBLE_EQ(k.programTime(), 10 + 10 + 8 + 2 + 2 + 1 + 1);  // never step 5
    k.lengthenProgram(4);
    EXPECT_FLOAT_EQ(k.programIsotherm[3], 5);
    k.programRate = {0, 25, 50, 5};
    k.lengthenProgram(1);
    EXPECT_FLOAT_EQ(k.programIsotherm[0], 11);
    EXPECT_DOUBLE_EQ(k.programTime(), 11);
    k.programRate = {-10, 0, 0, 0};  // a ramp never takes negative time
    EXPECT_DOUBLE_EQ(k.programTime(), 11 + 10 + 8);
}

}  // namespace
}  // namespace zelmora
