#include "app/text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace zelmora::text {
namespace {

TEST(Cp1251, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
    const std::string utf8 = fromCp1251(all);
    EXPECT_EQ(toCp1251(utf8), all);
    // Spot checks against the code page table.
    EXPECT_EQ(fromCp1251("\xC0\xDF\xE0\xFF"), "АЯая");
    EXPECT_EQ(fromCp1251("\xA8\xB8"), "Ёё");
    EXPECT_EQ(fromCp1251("\xB9"), "№");
    EXPECT_EQ(fromCp1251("\x88"), "€");
    EXPECT_EQ(fromCp1251("\xB0"), "°");
    EXPECT_EQ(fromCp1251("\x96\x97"), "–—");
}

TEST(Cp1251, CharactersWithoutAFormBecomeQuestionMarks) {
    EXPECT_EQ(toCp1251("Метан CH₄"), "\xCC\xE5\xF2\xE0\xED CH?");
    EXPECT_EQ(toCp1251("日本"), "??");
    // Malformed UTF-8: one '?' per bad byte, the rest kept.
    EXPECT_EQ(toCp1251("a\xFF" "b\xC3"), "a?b?");
    EXPECT_EQ(toCp1251("\xC0\x80"), "??");  // overlong NUL
    EXPECT_EQ(toCp1251(""), "");
}

TEST(CaseFolding, CyrillicAndLatinWithoutRegardToCase) {
    EXPECT_TRUE(equalsNoCase("Метан", "МЕТАН"));
    EXPECT_TRUE(equalsNoCase("ёлка", "ЁЛКА"));
    EXPECT_TRUE(equalsNoCase("Ethane", "eTHANE"));
    EXPECT_TRUE(equalsNoCase("Ґанок і Ї", "ґАНОК І ї"));
    EXPECT_FALSE(equalsNoCase("Метан", "Этан"));
    EXPECT_FALSE(equalsNoCase("Метан", "Метан "));
    EXPECT_FALSE(equalsNoCase("е", "ё"));
    EXPECT_EQ(foldCase("Н-БУТАН"), "н-бутан");
    EXPECT_EQ(toUpper("пропан-1"), "ПРОПАН-1");
    EXPECT_LT(compareNoCase("азот", "БУТАН"), 0);
    EXPECT_GT(compareNoCase("Этан", "метан"), 0);
    EXPECT_LT(compareNoCase("Метан", "метанол"), 0);
    EXPECT_TRUE(startsWithNoCase("Изо-БУТАН", "изо-"));
    EXPECT_FALSE(startsWithNoCase("Из", "изо"));
}

TEST(Numbers, FormattingIgnoresTheLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    // A locale with a decimal comma, where the machine has one.
    const bool comma = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr ||
                       std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    EXPECT_EQ(format("%f", 765.0), "765.000000");
    EXPECT_EQ(format("%.3f|%g|%.10g", 0.0125, 1e-7, 1.0 / 3), "0.013|1e-07|0.3333333333");
    EXPECT_EQ(format("%s=%d", "Processor", 3), "Processor=3");
    std::setlocale(LC_NUMERIC, saved.c_str());
    (void)comma;
    // Long outputs are not truncated.
    EXPECT_EQ(format("%s", std::string(1000, 'x').c_str()).size(), 1000u);
}

TEST(Numbers, StrictParsing) {
    EXPECT_EQ(parseDouble("1.5"), 1.5);
    EXPECT_EQ(parseDouble("  -2e3 "), -2000.0);
    EXPECT_EQ(parseDouble("0,25", true), 0.25);
    EXPECT_FALSE(parseDouble("0,25"));
    EXPECT_FALSE(parseDouble("1,5.2", true));
    EXPECT_FALSE(parseDouble("1,5,2", true));
    EXPECT_FALSE(parseDouble("12abc"));
    EXPECT_FALSE(parseDouble(""));
    EXPECT_FALSE(parseDouble("   "));
    EXPECT_FALSE(parseDouble("nan"));
    EXPECT_FALSE(parseDouble("inf"));
    EXPECT_FALSE(parseDouble("1e999"));
    EXPECT_FALSE(parseDouble("0x10"));
    EXPECT_EQ(parseInt("-1"), -1);
    EXPECT_EQ(parseInt(" 42 "), 42);
    EXPECT_FALSE(parseInt("4.2"));
    EXPECT_FALSE(parseInt("99999999999999999999999"));
    EXPECT_FALSE(parseInt("-"));
}

}  // namespace
}  // namespace zelmora::text
