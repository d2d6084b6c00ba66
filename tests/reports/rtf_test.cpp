#include <gtest/gtest.h>

#include <string>

#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"
#include "tests/support/temp_dir.h"

namespace zelmora::rtf {
namespace {

const std::string kData = std::string(ZELMORA_TEST_DATA) + "/reports/";

RtfDocument read(const std::string& bytes) {
    Result<RtfDocument> r = readRtf(bytes);
    EXPECT_TRUE(r.ok()) << r.message();
    return r.ok() ? std::move(r).value() : RtfDocument{};
}

// The index of the first text element holding `c` after `from`.
std::size_t findChar(const RtfDocument& d, char32_t c, std::size_t from = 0) {
    for (std::size_t i = from; i < d.elements.size(); ++i)
        if (d.elements[i].kind == ElementKind::Text && d.elements[i].ch == c)
            return i;
    ADD_FAILURE() << "no character " << static_cast<unsigned>(c);
    return 0;
}

int count(const RtfDocument& d, ElementKind k) {
    int n = 0;
    for (const Element& e : d.elements)
        n += e.kind == k;
    return n;
}

// Reading what was written gives what was read: the second writing equals the first.
void expectStableRoundTrip(const RtfDocument& d) {
    const std::string once = writeRtf(d);
    const RtfDocument again = read(once);
    EXPECT_EQ(again.plainText(), d.plainText());
    EXPECT_EQ(again.page, d.page);
    EXPECT_EQ(writeRtf(again), once);
}

// As WordPad saves a Russian document: code page 1251 bytes in \'xx escapes.
const std::string kWordPad =
    "{\\rtf1\\ansi\\ansicpg1251\\deff0\\nouicompat\\deflang1049"
    "{\\fonttbl{\\f0\\fnil\\fcharset204 Calibri;}{\\f1\\froman\\fcharset204 "
    "\\'d2\\'e0\\'e9\\'ec\\'f1;}}\n"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\n"
    "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \n"
    "\\paperw11906\\paperh16838\\margl855\\margr855\\margt855\\margb855\n"
    "\\pard\\sa200\\sl276\\slmult1\\qc\\b\\f0\\fs32\\lang1049 \\'ce\\'f2\\'f7\\'b8\\'f2\\b0\\par\n"
    "\\pard\\li720\\fi-360\\tqr\\tx5000 \\i\\fs22 \\'cf\\'f0\\'ee\\'e1\\'e0:\\i0  "
    "\\ul\\cf1 __Sample1\\ulnone\\cf0\\tab{\\f1\\cf2 \\'ea\\'ee\\'ed\\'e5\\'f6}\\par\n"
    "}\n";

TEST(RtfReader, WordPadCyrillicFormatsAndPage) {
    const RtfDocument d = read(kWordPad);
    EXPECT_EQ(d.codePage, 1251);
    EXPECT_EQ(d.plainText(), "Отчёт\nПроба: __Sample1\tконец\n");
    ASSERT_EQ(d.fonts.size(), 2u);
    EXPECT_EQ(d.fonts[1].name, "Таймс");
    EXPECT_EQ(d.fonts[1].charset, 204);
    ASSERT_EQ(d.colours.size(), 2u);
    EXPECT_EQ(d.colours[0], (Colour{255, 0, 0}));
    EXPECT_EQ(d.page.marginLeft, 855);
    EXPECT_EQ(d.page.marginBottom, 855);

    const CharFormat& title = d.charFormat(d.elements[findChar(d, U'О')].charFormat);
    EXPECT_TRUE(title.bold);
    EXPECT_EQ(title.sizeHalfPoints, 32);
    EXPECT_NE(title.extra.find("\\lang1049"), std::string::npos);
    const ParagraphFormat first = d.paragraphAt(0);
    EXPECT_EQ(first.alignment, Alignment::Centre);
    EXPECT_EQ(first.spaceAfter, 200);
    EXPECT_EQ(first.lineSpacing, 276);
    EXPECT_TRUE(first.lineMultiple);

    const std::size_t p = findChar(d, U'П');
    EXPECT_TRUE(d.charFormat(d.elements[p].charFormat).italic);
    EXPECT_EQ(d.charFormat(d.elements[p].charFormat).sizeHalfPoints, 22);
    const ParagraphFormat second = d.paragraphAt(p);
    EXPECT_EQ(second.leftIndent, 720);
    EXPECT_EQ(second.firstIndent, -360);
    ASSERT_EQ(second.tabs.size(), 1u);
    EXPECT_EQ(second.tabs[0].positionTwips, 5000);
    EXPECT_EQ(second.tabs[0].kind, "\\tqr");

    const CharFormat& marker = d.charFormat(d.elements[findChar(d, U'_')].charFormat);
    EXPECT_TRUE(marker.underline);
    EXPECT_FALSE(marker.italic);
    EXPECT_EQ(marker.colour, 1);
    const CharFormat& last = d.charFormat(d.elements[findChar(d, U'к')].charFormat);
    EXPECT_EQ(last.font, 1);
    EXPECT_EQ(last.colour, 2);
    EXPECT_FALSE(last.underline);

    expectStableRoundTrip(d);
    // Written back, the Cyrillic keeps its 1251 byte as the fallback of \u.
    const std::string out = writeRtf(d);
    EXPECT_NE(out.find("\\u1054\\'ce"), std::string::npos);
    EXPECT_NE(out.find("\\ansicpg1251"), std::string::npos);
}

TEST(RtfReader, UnicodeEscapesAndTheirFallbacks) {
    // \uc1 with a \'xx fallback, \uc0 without, \uc2 with two, a negative
    // value, a surrogate pair, and a fallback cut short by the group's end.
    const RtfDocument d = read(
        "{\\rtf1\\ansi\\uc1 \\u1052\\'cc\\u1080?{\\uc0 \\u1088}{\\uc2\\u1099??}"
        "\\u-3913?\\u-10179?\\u-8704?{\\u1103}x\\par}");
    EXPECT_EQ(d.plainText(),
              "Мир\xD1\x8B\xEF\x82\xB7\xF0\x9F\x98\x80"
              "я"
              "x\n");
    expectStableRoundTrip(d);
    // A document whose code page has no Cyrillic writes '?' as the fallback.
    EXPECT_NE(writeRtf(d).find("\\u1052?"), std::string::npos);
}

TEST(RtfReader, TablesWithRowsCellsAndBorders) {
    const RtfDocument d = read(
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}"
        "\\trowd\\trgaph108\\trleft-108\\clbrdrt\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
        "\\cellx2000\\clcbpat2\\cellx4000\\cellx6000"
        "\\pard\\intbl a\\cell b\\par c\\cell d\\cell\\row"
        "\\trowd\\trgaph108\\cellx3000\\cellx6000\\pard\\intbl e\\cell f\\cell\\row"
        "\\pard after\\par}");
    EXPECT_EQ(d.plainText(), "a\tb\nc\td\t\ne\tf\t\nafter\n");
    EXPECT_EQ(count(d, ElementKind::CellEnd), 5);
    ASSERT_EQ(count(d, ElementKind::RowEnd), 2);
    std::vector<RowFormat> rows;
    for (const Element& e : d.elements)
        if (e.kind == ElementKind::RowEnd)
            rows.push_back(d.rowFormat(e.index));
    ASSERT_EQ(rows[0].cells.size(), 3u);
    EXPECT_EQ(rows[0].leftTwips, -108);
    EXPECT_EQ(rows[0].gapTwips, 108);
    EXPECT_EQ(rows[0].cells[1].rightTwips, 4000);
    EXPECT_TRUE(rows[0].cells[0].borderTop);
    EXPECT_TRUE(rows[0].cells[0].borderBottom);
    EXPECT_FALSE(rows[0].cells[0].borderLeft);
    EXPECT_EQ(rows[0].cells[1].shading, 2);
    ASSERT_EQ(rows[1].cells.size(), 2u);
    EXPECT_EQ(rows[1].cells[0].rightTwips, 3000);
    // The paragraph inside the first row's second cell is a table paragraph,
    // the last one is not.
    EXPECT_TRUE(d.paragraphAt(findChar(d, U'b')).inTable);
    EXPECT_FALSE(d.paragraphAt(d.elements.size() - 2).inTable);
    expectStableRoundTrip(d);
}

TEST(RtfReader, PicturesInHexAndBinary) {
    const std::string png("\x89PNG\r\n\x1a\n\x00\x01\xff", 11);
    std::string hex;
    for (unsigned char c : png)
        hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
    const RtfDocument d = read(
        "{\\rtf1\\ansi x{\\*\\shppict{\\pict{\\*\\picprop{\\sp{\\sn a}{\\sv b}}}"
        "\\picw40\\pich30\\picwgoal600\\pichgoal450\\picscalex50\\pngblip\n" +
        hex.substr(0, 9) + "\n" + hex.substr(9) +
        "}}{\\nonshppict{\\pict\\wmetafile8 0102}}y{\\pict\\jpegblip\\bin4 \x01}{\\x}\\par}");
    EXPECT_EQ(d.plainText(), "x\xEF\xBF\xBCy\xEF\xBF\xBC\n");
    ASSERT_EQ(count(d, ElementKind::Picture), 2);
    const Picture& p = d.picture(d.elements[1].index);
    EXPECT_EQ(p.blip, "pngblip");
    EXPECT_EQ(p.data, png);
    EXPECT_EQ(p.width, 40);
    EXPECT_EQ(p.goalHeightTwips, 450);
    EXPECT_EQ(p.displayWidthTwips(), 300);
    EXPECT_EQ(p.displayHeightTwips(), 450);
    EXPECT_NE(p.extra.find("{\\*\\picprop"), std::string::npos);
    const Picture& j = d.picture(d.elements[3].index);
    EXPECT_EQ(j.blip, "jpegblip");
    EXPECT_EQ(j.data, std::string("\x01}{\\", 4));
    expectStableRoundTrip(d);
}

TEST(RtfReader, UnknownWordsAndDestinationsSurviveARoundTrip) {
    const std::string in =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset204{\\*\\panose "
        "020b0604020202020204}Arial{\\*\\falt Helvetica};}}"
        "{\\stylesheet{\\s0 Normal;}{\\s1\\b Heading;}}{\\*\\generator Writer 7;}"
        "{\\info{\\author \\'c8\\'e2\\'e0\\'ed}}\\deftab709\\viewkind4\\formshade"
        "\\sectd\\sbknone\\pgwsxn11906\\pghsxn16838\\marglsxn1000\\margrsxn900"
        "{\\header \\pard\\qc page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}"
        "\\pard\\s1\\widctlpar\\brdrb\\brdrs\\brdrw15\\hyphpar0 {\\*\\bkmkstart top}"
        "\\rtlch\\af1\\ltrch\\lang1049\\loch\\kerning2 Text{\\*\\bkmkend top}\\chftn\\par}";
    const RtfDocument d = read(in);
    EXPECT_EQ(d.plainText(), "Text\n");
    EXPECT_EQ(d.page.marginLeft, 1000);
    EXPECT_EQ(d.page.marginRight, 900);
    ASSERT_EQ(d.fonts.size(), 1u);
    EXPECT_EQ(d.fonts[0].name, "Arial");
    const std::string out = writeRtf(d);
    for (const char* kept :
         {"{\\*\\panose 020b0604020202020204}", "{\\*\\falt Helvetica}",
          "{\\stylesheet{\\s0 Normal;}{\\s1\\b Heading;}}", "{\\*\\generator Writer 7;}",
          "{\\info{\\author \\'c8\\'e2\\'e0\\'ed}}", "\\deftab709\\viewkind4\\formshade",
          "\\sectd\\sbknone",
          "{\\header \\pard\\qc page {\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\par}",
          "{\\*\\bkmkstart top}", "{\\*\\bkmkend top}", "\\chftn", "\\s1", "\\widctlpar",
          "\\brdrb\\brdrs\\brdrw15", "\\hyphpar0", "\\lang1049", "\\kerning2", "\\rtlch"})
        EXPECT_NE(out.find(kept), std::string::npos) << kept;
    // The section's own page words became the page setup, written once.
    EXPECT_EQ(out.find("marglsxn"), std::string::npos);
    EXPECT_NE(out.find("\\margl1000"), std::string::npos);
    expectStableRoundTrip(d);
}

TEST(RtfReader, LibreOfficeTemplate) {
    Result<RtfDocument> r = readRtfFile(kData + "libreoffice_template.rtf");
    ASSERT_TRUE(r.ok()) << r.message();
    const RtfDocument& d = *r;
    const std::string text = d.plainText();
    EXPECT_EQ(text.rfind("Отчёт о хроматографическом анализе\n", 0), 0u) << text;
    EXPECT_NE(text.find("Проба: __Sample1; детектор: __Detector\n"), std::string::npos);
    EXPECT_NE(text.find("№\tВремя, мин\tКомпонент\tКонцентрация\t\n"), std::string::npos);
    EXPECT_NE(text.find("__Number\t__Time\t__Component\t__Concentration\t\n"), std::string::npos);
    EXPECT_NE(text.find("Дата отчёта: __ReportDate\n"), std::string::npos);
    EXPECT_EQ(count(d, ElementKind::RowEnd), 2);
    EXPECT_EQ(d.page.paperWidth, 11906);
    EXPECT_EQ(d.page.marginLeft, 1134);
    EXPECT_EQ(d.page.marginTop, 567);
    ASSERT_EQ(count(d, ElementKind::Picture), 1);  // the metafile copy is not doubled
    for (const Element& e : d.elements) {
        if (e.kind == ElementKind::Picture) {
            EXPECT_EQ(d.picture(e.index).data.substr(0, 4), "\x89PNG");
            EXPECT_EQ(d.picture(e.index).width, 4);
        }
        if (e.kind == ElementKind::RowEnd) {
            const RowFormat& row = d.rowFormat(e.index);
            ASSERT_EQ(row.cells.size(), 4u);
            EXPECT_TRUE(row.cells[0].borderLeft && row.cells[0].borderRight);
        }
    }
    const std::size_t detector = d.plainText().find("__Detector");
    ASSERT_NE(detector, std::string::npos);
    expectStableRoundTrip(d);
}

TEST(RtfReader, DamagedInputIsRefusedWithAReason) {
    EXPECT_FALSE(readRtf("").ok());
    EXPECT_FALSE(readRtf("plain text").ok());
    const Result<RtfDocument> notRtf = readRtf("{\\html1 x}");
    ASSERT_FALSE(notRtf.ok());
    EXPECT_EQ(notRtf.message(), "Файл не является документом RTF");
    const Result<RtfDocument> bin = readRtf("{\\rtf1 {\\pict\\bin999 abc}}");
    ASSERT_FALSE(bin.ok());
    EXPECT_NE(bin.message().find("повреждён"), std::string::npos);
    EXPECT_FALSE(readRtf("{\\rtf1 {\\*\\generator unclosed").ok());
    const Result<RtfDocument> deep =
        readRtf("{\\rtf1 " + std::string(kMaxGroupDepth + 5, '{') + "x");
    ASSERT_FALSE(deep.ok());
    EXPECT_NE(deep.message().find("вложенность"), std::string::npos);
    // Depth just within the limit is fine, and so is a file cut off before its
    // closing braces: its text is read.
    const Result<RtfDocument> cut =
        readRtf("{\\rtf1 " + std::string(kMaxGroupDepth - 2, '{') + "x\\par");
    ASSERT_TRUE(cut.ok()) << cut.message();
    EXPECT_EQ(cut->plainText(), "x\n");
    // Huge numbers are clamped, not overflowed.
    const Result<RtfDocument> big = readRtf(
        "{\\rtf1{\\pict\\picw99999999999999\\picscalex2147483647\\pngblip 00}"
        "\\fs99999999999 a\\u99999999999 \\par}");
    ASSERT_TRUE(big.ok());
    EXPECT_GE(big->picture(0).displayWidthTwips(), 0);
    const Result<RtfDocument> missing = readRtfFile("/nonexistent/report.rpt");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.message().find("/nonexistent/report.rpt"), std::string::npos);
}

TEST(RtfWriter, BuiltDocumentAndItsFile) {
    RtfDocument d;
    d.fonts.push_back({0, "fswiss", 204, -1, "Arial", ""});
    CharFormat bold;
    bold.bold = true;
    bold.colour = d.addColour({0, 128, 0});
    ParagraphFormat centre;
    centre.alignment = Alignment::Centre;
    d.appendText("Хроматограмма {1} \\ end\tA", bold);
    d.appendParagraphEnd(centre);
    d.appendText("second\nthird", CharFormat{});
    const RtfDocument again = read(writeRtf(d));
    EXPECT_EQ(again.plainText(), "Хроматограмма {1} \\ end\tA\nsecond\nthird");
    EXPECT_TRUE(again.charFormat(again.elements[0].charFormat).bold);
    EXPECT_EQ(*again.colour(again.charFormat(again.elements[0].charFormat).colour),
              (Colour{0, 128, 0}));
    EXPECT_EQ(again.paragraphAt(0).alignment, Alignment::Centre);
    // The line feed in the middle split the trailing paragraph in two.
    EXPECT_EQ(count(again, ElementKind::ParagraphEnd), 2);

    test::TempDir dir;
    ASSERT_TRUE(writeRtfFile(d, dir / "report.rtf").ok());
    const Result<RtfDocument> file = readRtfFile(dir / "report.rtf");
    ASSERT_TRUE(file.ok());
    EXPECT_EQ(file->plainText(), again.plainText());
    const Status bad = writeRtfFile(d, dir / "no such folder" / "report.rtf");
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.message().find("report.rtf"), std::string::npos);
}

}  // namespace
}  // namespace zelmora::rtf
