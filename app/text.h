#pragma once
// Text helpers shared by every layer. In memory all text is UTF-8; the
// chromatogram and method files, the work log and several instruments carry
// Windows-1251 bytes, converted exactly where they are read or written.
// Names of components, stations and places are compared without regard to
// case, Cyrillic included ("Метан" equals "МЕТАН", "Ёлка" equals "ёлка").

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelmora::text {

// UTF-8 to Windows-1251; a character without a 1251 form (and every byte of
// malformed UTF-8) becomes '?'.
std::string toCp1251(std::string_view utf8);
// Windows-1251 to UTF-8. Every byte value has a character: the one unassigned
// byte 0x98 maps to U+0098, so any byte string survives a round trip.
std::string fromCp1251(std::string_view bytes);

// Decodes one code point at `pos` and advances it; malformed input yields
// U+FFFD and advances by one byte.
char32_t decodeUtf8(std::string_view s, std::size_t& pos);
void appendUtf8(std::string& out, char32_t cp);

// Simple case mapping for ASCII, Latin-1 and Cyrillic (including Ё/ё and the
// Ukrainian and Belarusian letters).
char32_t toLower(char32_t cp);
char32_t toUpper(char32_t cp);
std::string foldCase(std::string_view utf8);
std::string toUpper(std::string_view utf8);
bool equalsNoCase(std::string_view a, std::string_view b);
// Negative, zero or positive, comparing the case-folded code points.
int compareNoCase(std::string_view a, std::string_view b);
bool startsWithNoCase(std::string_view s, std::string_view prefix);

// Strips ASCII blanks, tabs and line ends at both ends.
std::string_view trim(std::string_view s);

// printf-style formatting that ignores the process locale: the decimal
// separator is always '.', as files and wire formats expect.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Strict parse of a whole text as a number. Surrounding blanks are allowed;
// trailing junk, NaN and infinities are rejected. With `allowComma` a single
// ',' is accepted as the decimal separator, as people type it.
std::optional<double> parseDouble(std::string_view s, bool allowComma = false);
std::optional<long long> parseInt(std::string_view s);

}  // namespace zelmora::text
