#include <gtest/gtest.h>

#include <string>

#include "reports/preview.h"
#include "reports/rtf_reader.h"
#include "reports/rtf_writer.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using rtf::ElementKind;

const std::string kData = std::string(ZELMORA_TEST_DATA) + "/reports/";

CPreview fromRtf(const std::string& body) {
    Result<rtf::RtfDocument> r = rtf::readRtf("{\\rtf1\\ansi\\ansicpg1251 " + body + "}");
    EXPECT_TRUE(r.ok()) << r.message();
    return CPreview(r.ok() ? std::move(r).value() : rtf::RtfDocument{});
}

std::string text(const CPreview& p) {
    return p.document().plainText();
}

TEST(CPreview, MarkersAreWholeCaseSensitiveWords) {
    CPreview p = fromRtf(
        "__NumberInSeria __numberx __number __Number\\par a__Number __Number_ "
        "(__Number) __Number\\par");
    // Only the whole, same-case words count: "(__Number)" and the last one.
    EXPECT_TRUE(p.replaceField("__Number", "1"));
    EXPECT_TRUE(p.replaceField("__Number", "2"));
    EXPECT_TRUE(p.replaceField("__Number", "3"));
    EXPECT_FALSE(p.replaceField("__Number", "4"));
    EXPECT_EQ(text(p), "__NumberInSeria __numberx __number 1\na__Number __Number_ (2) 3\n");
    EXPECT_FALSE(p.replaceField("__Absent", "x"));
    // A Cyrillic letter glued to the marker makes it another word.
    CPreview c = fromRtf("__Date\\'e0 __Date\\par");
    EXPECT_TRUE(c.replaceField("__Date", "09.12.2026"));
    EXPECT_EQ(text(c), "__Dateа 09.12.2026\n");
}

TEST(CPreview, FieldTakesTheMarkersFormatAndSplitsParagraphsOnLineFeeds) {
    CPreview p = fromRtf(
        "\\pard\\qc Name: {\\b\\i __GroupName} end\\par\\pard\\intbl {\\cf1 __CFormul}\\cell\\row");
    EXPECT_TRUE(p.replaceField("__GroupName", "Алканы\n"));
    EXPECT_TRUE(p.replaceField("__CFormul", "\n + 1.0000 * X^2 - 0.5000 * X\t+ 0.1000\n"));
    EXPECT_EQ(text(p), "Name: Алканы\n end\n\n + 1.0000 * X^2 - 0.5000 * X\t+ 0.1000\n\t\n");
    const rtf::RtfDocument& d = p.document();
    // "Алканы" is bold italic like its marker; its new paragraph is centred
    // like the paragraph it was split from.
    EXPECT_TRUE(d.charFormat(d.elements[6].charFormat).bold);
    EXPECT_TRUE(d.charFormat(d.elements[6].charFormat).italic);
    EXPECT_EQ(d.elements[12].kind, ElementKind::ParagraphEnd);
    EXPECT_EQ(d.paragraphFormat(d.elements[12].index).alignment, rtf::Alignment::Centre);
    // Inside a cell the new paragraphs stay in the table, before the cell's end.
    std::size_t cellEnd = 0;
    for (std::size_t i = 0; i < d.elements.size(); ++i)
        if (d.elements[i].kind == ElementKind::CellEnd)
            cellEnd = i;
    EXPECT_TRUE(d.paragraphFormat(d.elements[cellEnd - 1].index).inTable);
    // Written out and read again, the table is the same.
    const Result<rtf::RtfDocument> again = rtf::readRtf(rtf::writeRtf(d));
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->plainText(), d.plainText());
}

TEST(CPreview, MarkerSplitAcrossRunsAndBookmarks) {
    // As a word processor saves a marker typed in two goes: three runs, and a
    // bookmark in the middle.
    CPreview p = fromRtf(
        "{\\b __Oper}{\\i at}{\\*\\bkmkstart b1}{\\ul or} and {\\b __Sec}tion\\par x\\par "
        "__Sec{\\b tion}\\par");
    EXPECT_TRUE(p.replaceField("__Operator", "Иванов"));
    EXPECT_EQ(text(p), "Иванов and __Section\nx\n__Section\n");
    // The value takes the format of the marker's first character (bold).
    EXPECT_TRUE(p.document().charFormat(p.document().elements[0].charFormat).bold);
    EXPECT_TRUE(p.keepSection("__Section", false));
    EXPECT_EQ(text(p), "");

    Result<rtf::RtfDocument> lo = rtf::readRtfFile(kData + "libreoffice_split_marker.rtf");
    ASSERT_TRUE(lo.ok()) << lo.message();
    CPreview l(std::move(lo).value());
    EXPECT_TRUE(l.replaceField("__Sample1", "Газ-1"));
    EXPECT_TRUE(l.replaceField("__Sample1", "Газ-2"));
    EXPECT_TRUE(l.replaceField("__Operator", "Петров"));
    EXPECT_TRUE(l.replaceField("__FileName", "a.stg"));
    EXPECT_EQ(text(l), "Проба: Газ-1 и ещё Газ-2\nОператор: Петров; файл a.stg.\n");
}

TEST(CPreview, KeepAndRemoveSections) {
    const std::string body = "Head\\par __S\\par inside\\par more __S tail\\par after\\par";
    CPreview keep = fromRtf(body);
    EXPECT_TRUE(keep.keepSection("__S", true));
    // The first marker's line is gone, the second marker's word only.
    EXPECT_EQ(text(keep), "Head\ninside\nmore  tail\nafter\n");
    // The kept content stays selected: from the section's first line to where
    // the second marker stood.
    EXPECT_EQ(keep.selectionEnd() - keep.selectionStart(), std::string("inside\nmore ").size());

    CPreview remove = fromRtf(body);
    EXPECT_TRUE(remove.keepSection("__S", false));
    EXPECT_EQ(text(remove), "Head\nafter\n");

    // Both markers on one line: kept, the line goes and nothing is selected.
    CPreview oneLine = fromRtf("a\\par __S x __S\\par b\\par");
    EXPECT_TRUE(oneLine.keepSection("__S", true));
    EXPECT_EQ(text(oneLine), "a\nb\n");
    EXPECT_EQ(oneLine.selectionStart(), oneLine.selectionEnd());

    // One marker alone is no section: nothing changes.
    CPreview single = fromRtf("a\\par __S\\par b\\par");
    EXPECT_FALSE(single.keepSection("__S", false));
    EXPECT_EQ(text(single), "a\n__S\nb\n");

    // A section that holds a table is removed with its rows whole.
    CPreview table = fromRtf(
        "x\\par __T\\par\\trowd\\cellx1000\\cellx2000\\pard\\intbl a\\cell b\\cell\\row"
        "\\pard __T\\par y\\par");
    EXPECT_TRUE(table.keepSection("__T", false));
    EXPECT_EQ(text(table), "x\ny\n");
    int rows = 0;
    for (const rtf::Element& e : table.document().elements)
        rows += e.kind == ElementKind::RowEnd;
    EXPECT_EQ(rows, 0);

    // A marker on a line that ends a table cell takes the line's text, not the cell.
    CPreview cell =
        fromRtf("\\trowd\\cellx1000\\cellx2000\\pard\\intbl __C\\cell b\\cell\\row\\pard __C\\par");
    EXPECT_TRUE(cell.keepSection("__C", true));
    EXPECT_EQ(text(cell), "\tb\t\n\n");
}

TEST(CPreview, TemplateRowsArePastedAndFilledTopToBottom) {
    // The peak table of a report form: a header row, the template row between
    // its two section markers, a footer with a field that also stands in the row.
    CPreview p = fromRtf(
        "__TableTemplateSection\\par"
        "\\trowd\\clbrdrt\\brdrs\\brdrw10\\cellx1000\\cellx3000"
        "\\pard\\intbl __Number\\cell __Component\\cell\\row"
        "\\pard __TableTemplateSection\\par Total: __Number\\par");
    ASSERT_TRUE(p.cutTemplateSection("__TableTemplateSection"));
    EXPECT_EQ(text(p), "\nTotal: __Number\n");
    EXPECT_EQ(p.rowBuffer().size(), 22u);
    const char* names[] = {"Метан", "Этан", "Пропан"};
    for (int i = 0; i < 3; ++i) {
        p.paste();
        EXPECT_TRUE(p.replaceField("__Number", std::to_string(i + 1)));
        EXPECT_TRUE(p.replaceField("__Component", names[i]));
    }
    EXPECT_TRUE(p.replaceField("__Number", "3"));
    EXPECT_EQ(text(p), "1\tМетан\t\n2\tЭтан\t\n3\tПропан\t\n\nTotal: 3\n");
    // Each pasted row keeps its definition, borders included, through a file.
    const Result<rtf::RtfDocument> again = rtf::readRtf(rtf::writeRtf(p.document()));
    ASSERT_TRUE(again.ok());
    int rows = 0;
    for (const rtf::Element& e : again->elements) {
        if (e.kind == ElementKind::RowEnd) {
            ++rows;
            ASSERT_EQ(again->rowFormat(e.index).cells.size(), 2u);
            EXPECT_TRUE(again->rowFormat(e.index).cells[0].borderTop);
        }
    }
    EXPECT_EQ(rows, 3);

    // Without a section there is nothing to cut, and a paste of nothing is harmless.
    CPreview none = fromRtf("no table\\par");
    EXPECT_FALSE(none.cutTemplateSection("__TableTemplateSection"));
    none.paste();
    EXPECT_EQ(text(none), "no table\n");
}

TEST(CPreview, PictureAtMarkerAndTemplateFiles) {
    CPreview p = fromRtf("a __Picture b __CalibPictureX\\par");
    rtf::Picture pic;
    pic.data = "\x89PNG";
    pic.width = 10;
    EXPECT_TRUE(p.insertPicture("__Picture", pic));
    EXPECT_FALSE(p.insertPicture("__CalibPicture", pic));
    EXPECT_TRUE(p.insertPicture("__CalibPicture", pic, true));
    EXPECT_EQ(text(p), "a \xEF\xBF\xBC b \xEF\xBF\xBCX\n");
    EXPECT_EQ(p.document().picture(p.document().elements[2].index).data, "\x89PNG");

    CPreview t;
    ASSERT_TRUE(t.loadTemplate(kData + "libreoffice_template.rtf").ok());
    EXPECT_EQ(t.document().page.marginLeft, kReportMarginTwips);
    EXPECT_EQ(t.document().page.marginBottom, kReportMarginTwips);
    EXPECT_NE(text(t).find("__Picture"), std::string::npos);
    const Status missing = t.loadTemplate("/nonexistent/Templates/report.rpt");
    EXPECT_FALSE(missing.ok());
    EXPECT_TRUE(t.document().elements.empty());
}

}  // namespace
}  // namespace zelmora
