#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>
#include <string>

#include "reports/rtf_reader.h"
#include "reports/rtf_text_document.h"
#include "reports/rtf_writer.h"

namespace zelmora::rtf {
namespace {

std::string pngBytes(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += "0123456789abcdef"[c >> 4], out += "0123456789abcdef"[c & 15];
    return out;
}

RtfDocument report() {
    // A title, a table whose two rows have different cell edges, and a picture
    // of 40 by 30 pixels shown 2 by 1.5 inches.
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0\\fswiss\\fcharset204 Arial;}}"
        "{\\colortbl;\\red0\\green0\\blue255;\\red255\\green255\\blue0;}"
        "\\margl855\\margr855\\margt855\\margb855"
        "\\pard\\qc\\b\\fs32 \\'ce\\'f2\\'f7\\'b8\\'f2\\b0\\fs24\\par"
        "\\trowd\\trgaph100\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\cellx2000"
        "\\clcbpat2\\cellx6000\\pard\\intbl a\\cell {\\cf1 wide}\\cell\\row"
        "\\trowd\\cellx2000\\cellx4000\\cellx6000\\pard\\intbl d\\cell e\\cell f\\cell\\row"
        "\\pard\\tqr\\tx9000 x\\tab y\\par"
        "{\\pict\\picw40\\pich30\\picwgoal2880\\pichgoal2160\\pngblip " +
        hex(pngBytes(40, 30)) + "}\\par}";
    Result<RtfDocument> r = readRtf(rtf);
    EXPECT_TRUE(r.ok()) << r.message();
    return r.ok() ? std::move(r).value() : RtfDocument{};
}

QTextTable* firstTable(QTextDocument& d) {
    for (QTextFrame* f : d.rootFrame()->childFrames())
        if (auto* t = qobject_cast<QTextTable*>(f))
            return t;
    return nullptr;
}

TEST(RtfTextDocument, FormatsTablesPicturesAndPage) {
    const RtfDocument rtf = report();
    std::unique_ptr<QTextDocument> d = toTextDocument(rtf, 96);
    const QString text = d->toPlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Отчёт\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("x\ty"))) << text.toStdString();

    const QTextBlock title = d->begin();
    EXPECT_EQ(title.blockFormat().alignment(), Qt::AlignHCenter);
    const QTextCharFormat titleChars = title.begin().fragment().charFormat();
    EXPECT_EQ(titleChars.fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(titleChars.fontPointSize(), 16);
    EXPECT_EQ(titleChars.fontFamilies().toStringList().value(0), QStringLiteral("Arial"));

    QTextTable* t = firstTable(*d);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rows(), 2);
    EXPECT_EQ(t->columns(), 3);
    // The first row's second cell spans the two columns under it.
    EXPECT_EQ(t->cellAt(0, 1).columnSpan(), 2);
    EXPECT_EQ(t->cellAt(1, 2).firstCursorPosition().block().text(), QStringLiteral("f"));
    const QTextTableCellFormat a = t->cellAt(0, 0).format().toTableCellFormat();
    EXPECT_GT(a.topBorder(), 0);
    EXPECT_GT(a.leftBorder(), 0);
    EXPECT_EQ(a.bottomBorder(), 0);
    EXPECT_EQ(t->cellAt(0, 1).format().background().color(), QColor(255, 255, 0));
    const QTextCharFormat wide =
        t->cellAt(0, 1).firstCursorPosition().block().begin().fragment().charFormat();
    EXPECT_EQ(wide.foreground().color(), QColor(0, 0, 255));
    const QList<QTextLength> widths = t->format().columnWidthConstraints();
    ASSERT_EQ(widths.size(), 3);
    EXPECT_NEAR(widths[0].rawValue(), 2000 * 96 / 1440.0, 0.01);

    bool pictureSeen = false;
    for (QTextBlock b = d->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            if (it.fragment().charFormat().isImageFormat()) {
                const QTextImageFormat f = it.fragment().charFormat().toImageFormat();
                EXPECT_DOUBLE_EQ(f.width(), 192);
                EXPECT_DOUBLE_EQ(f.height(), 144);
                const QImage image =
                    d->resource(QTextDocument::ImageResource, QUrl(f.name())).value<QImage>();
                EXPECT_EQ(image.size(), QSize(40, 30));
                pictureSeen = true;
            }
        }
    }
    EXPECT_TRUE(pictureSeen);
    EXPECT_NEAR(d->pageSize().width(), 11906 * 96 / 1440.0, 0.01);
    EXPECT_NEAR(d->rootFrame()->frameFormat().leftMargin(), 855 * 96 / 1440.0, 0.01);
}

int countPages(const QByteArray& pdf) {
    int n = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0;
         at = pdf.indexOf("/Type /Page", at + 1))
        n += pdf.mid(at + 11, 1) != "s";
    return n;
}

TEST(RtfTextDocument, WritesAPdfOfAsManyPagesAsTheTextNeeds) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    RtfDocument rtf = report();
    ASSERT_TRUE(writePdf(rtf, path).ok());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray pdf = file.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF-1."));
    EXPECT_TRUE(pdf.trimmed().endsWith("%%EOF"));
    EXPECT_GT(pdf.size(), 2000);
    EXPECT_EQ(countPages(pdf), 1);
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 595"));  // A4 in points

    // Two hundred more lines take several pages.
    CharFormat plain;
    for (int i = 0; i < 200; ++i)
        rtf.appendText("Строка " + std::to_string(i) + "\n", plain);
    ASSERT_TRUE(writePdf(rtf, path).ok());
    QFile again(path);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_GE(countPages(again.readAll()), 4);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("report.pdf")});

    const Status bad = writePdf(rtf, dir.filePath(QStringLiteral("no/such/report.pdf")));
    EXPECT_FALSE(bad.ok());
    EXPECT_NE(bad.message().find("report.pdf"), std::string::npos);
}

TEST(RtfTextDocument, DamagedPicturesAndOddTablesStillShow) {
    // A picture whose bytes are no image, a row mark with no cells defined,
    // cells without definitions and a table paragraph left open at the end.
    Result<RtfDocument> r = readRtf(
        "{\\rtf1 {\\pict\\picwgoal1440\\pichgoal720\\pngblip 0102}\\par"
        "\\pard\\intbl a\\cell b\\cell\\row\\trowd\\cellx1000\\pard\\intbl c\\cell d\\cell e\\cell"
        "\\row\\pard\\intbl tail}");
    ASSERT_TRUE(r.ok());
    std::unique_ptr<QTextDocument> d = toTextDocument(*r, 96);
    const QString text = d->toPlainText();
    for (const char* s : {"a", "b", "c", "d", "e", "tail"})
        EXPECT_TRUE(text.contains(QLatin1String(s))) << s << " in " << text.toStdString();
    QTemporaryDir dir;
    EXPECT_TRUE(writePdf(*r, dir.filePath(QStringLiteral("odd.pdf"))).ok());
}

TEST(RtfTextDocument, AnEditedTextComesBackAsTheSameReport) {
    // What the report window does with an edited report: the text document
    // back to rich text, written and read again.
    const RtfDocument rtf = report();
    std::unique_ptr<QTextDocument> d = toTextDocument(rtf, 96);
    QTextCursor cursor(d.get());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("Подпись"));
    const RtfDocument back = fromTextDocument(*d, 96, rtf.page);
    EXPECT_EQ(back.page, rtf.page);
    const Result<RtfDocument> reread = readRtf(writeRtf(back));
    ASSERT_TRUE(reread.ok()) << reread.message();
    const std::string text = reread->plainText();
    EXPECT_EQ(text.rfind("Отчёт\n", 0), 0u) << text;
    for (const char* part : {"a\twide\t", "d\te\tf\t", "x\ty\n", "Подпись"})
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;

    // The title bold, 16 points, centred; the blue word blue.
    int rows = 0, pictures = 0;
    bool boldTitle = false, blue = false;
    for (std::size_t i = 0; i < reread->elements.size(); ++i) {
        const Element& e = reread->elements[i];
        rows += e.kind == ElementKind::RowEnd;
        if (e.kind == ElementKind::Picture) {
            ++pictures;
            const Picture& p = reread->picture(e.index);
            EXPECT_EQ(p.width, 40);
            EXPECT_NEAR(p.displayWidthTwips(), 2880, 15);
            EXPECT_NEAR(p.displayHeightTwips(), 2160, 15);
        }
        if (e.kind != ElementKind::Text)
            continue;
        const CharFormat& f = reread->charFormat(e.charFormat);
        if (e.ch == U'О') {
            boldTitle = f.bold && f.sizeHalfPoints == 32;
            EXPECT_EQ(reread->paragraphAt(i).alignment, Alignment::Centre);
        }
        if (e.ch == U'w') {
            const Colour* c = reread->colour(f.colour);
            blue = c != nullptr && *c == Colour{0, 0, 255};
        }
    }
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(pictures, 1);
    EXPECT_TRUE(boldTitle);
    EXPECT_TRUE(blue);

    // The cells keep their edges and borders; the right tab stays right.
    std::vector<int> edges;
    bool topBorder = false;
    for (const Element& e : reread->elements) {
        if (e.kind != ElementKind::RowEnd)
            continue;
        for (const CellDef& c : reread->rowFormat(e.index).cells) {
            edges.push_back(c.rightTwips);
            topBorder = topBorder || c.borderTop;
        }
    }
    ASSERT_EQ(edges.size(), 5u);
    EXPECT_NEAR(edges[0], 2000, 20);
    EXPECT_NEAR(edges[1], 6000, 20);
    EXPECT_NEAR(edges[3], 4000, 20);
    EXPECT_TRUE(topBorder);
    bool rightTab = false;
    for (std::size_t i = 0; i < reread->elements.size(); ++i)
        if (reread->elements[i].kind == ElementKind::Text && reread->elements[i].ch == U'x')
            for (const TabStop& t : reread->paragraphAt(i).tabs)
                rightTab = rightTab || (t.kind == "\\tqr" && std::abs(t.positionTwips - 9000) < 20);
    EXPECT_TRUE(rightTab);
}

TEST(RtfTextDocument, TheWindowsTextPrintsOnTheReportsPaper) {
    // The text as a report window holds it (laid out one long page wide)
    // still prints on pages of the report's paper, and the window's layout
    // is left alone.
    RtfDocument rtf;
    for (int i = 0; i < 150; ++i)
        rtf.appendText("Строка\n", {});
    const double dpi = layoutDpi();
    std::unique_ptr<QTextDocument> d = toTextDocument(rtf, dpi);
    const int pages = d->pageCount();
    ASSERT_GE(pages, 2);
    d->setTextWidth(paperSize(rtf.page, dpi).width());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("window.pdf"));
    ASSERT_TRUE(writePdf(*d, rtf.page, path).ok());
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_EQ(countPages(pdf.readAll()), pages);
    EXPECT_EQ(d->pageSize().height(), -1.0);
    EXPECT_FALSE(writePdf(*d, rtf.page, dir.filePath(QStringLiteral("no/such.pdf"))).ok());
    const QSizeF a4 = paperSize(rtf.page, 72);
    EXPECT_NEAR(a4.width(), 595.3, 0.2);
    PageSetup turned = rtf.page;
    turned.landscape = true;
    EXPECT_NEAR(paperSize(turned, 72).width(), 841.9, 0.2);
}

}  // namespace
}  // namespace zelmora::rtf

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
