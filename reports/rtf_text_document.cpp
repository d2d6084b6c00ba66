#include "reports/rtf_text_document.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <map>

namespace zelmora::rtf {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

class Builder {
  public:
    Builder(const RtfDocument& doc, double dpi, QTextDocument& out)
        : d_(doc), dpi_(dpi), out_(out), cursor_(&out) {}

    void run();

  private:
    double px(double twips) const { return twips * dpi_ / 1440.0; }
    QTextCharFormat charFormat(std::uint32_t index);
    QTextBlockFormat blockFormat(const ParagraphFormat& p) const;
    void startBlock(std::size_t at);
    void flush();
    void flow(std::size_t begin, std::size_t end, bool inCell);
    std::size_t rowEndFrom(std::size_t i) const;
    std::size_t table(std::size_t begin);
    void picture(const Element& e);

    const RtfDocument& d_;
    double dpi_;
    QTextDocument& out_;
    QTextCursor cursor_;
    bool blockFresh_ = true;  // the cursor stands in an empty block not yet used
    bool cellStart_ = false;  // that empty block is a table cell's first
    bool pageBreak_ = false;  // the next block starts a new page
    QString run_;
    std::uint32_t runFormat_ = 0;
    std::map<std::uint32_t, QTextCharFormat> formats_;
    int pictures_ = 0;
};

QTextCharFormat Builder::charFormat(std::uint32_t index) {
    const auto found = formats_.find(index);
    if (found != formats_.end())
        return found->second;
    const CharFormat& c = d_.charFormat(index);
    QTextCharFormat f;
    const Font* font = d_.font(c.font);
    QString family = font && !font->name.empty() ? QString::fromStdString(font->name)
                                                 : QStringLiteral("Times New Roman");
    f.setFontFamilies({family});
    f.setFontPointSize(std::max(1, c.sizeHalfPoints) / 2.0);
    f.setFontWeight(c.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    if (const Colour* k = d_.colour(c.colour))
        f.setForeground(QColor(k->red, k->green, k->blue));
    if (const Colour* k = d_.colour(c.background))
        f.setBackground(QColor(k->red, k->green, k->blue));
    if (c.vertical > 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (c.vertical < 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    formats_.emplace(index, f);
    return f;
}

QTextBlockFormat Builder::blockFormat(const ParagraphFormat& p) const {
    QTextBlockFormat b;
    switch (p.alignment) {
        case Alignment::Left:
            b.setAlignment(Qt::AlignLeft);
            break;
        case Alignment::Centre:
            b.setAlignment(Qt::AlignHCenter);
            break;
        case Alignment::Right:
            b.setAlignment(Qt::AlignRight);
            break;
        case Alignment::Justify:
            b.setAlignment(Qt::AlignJustify);
            break;
    }
    b.setLeftMargin(px(std::max(0, p.leftIndent)));
    b.setRightMargin(px(std::max(0, p.rightIndent)));
    b.setTextIndent(px(p.firstIndent));
    b.setTopMargin(px(std::max(0, p.spaceBefore)));
    b.setBottomMargin(px(std::max(0, p.spaceAfter)));
    if (p.lineSpacing != 0) {
        if (p.lineMultiple && p.lineSpacing > 0)
            b.setLineHeight(p.lineSpacing * 100.0 / 240.0, QTextBlockFormat::ProportionalHeight);
        else if (p.lineSpacing < 0)
            b.setLineHeight(px(-p.lineSpacing), QTextBlockFormat::FixedHeight);
        else
            b.setLineHeight(px(p.lineSpacing), QTextBlockFormat::MinimumHeight);
    }
    QList<QTextOption::Tab> tabs;
    for (const TabStop& t : p.tabs) {
        QTextOption::TabType type = QTextOption::LeftTab;
        if (t.kind.find("\\tqr") != std::string::npos)
            type = QTextOption::RightTab;
        else if (t.kind.find("\\tqc") != std::string::npos)
            type = QTextOption::CenterTab;
        else if (t.kind.find("\\tqdec") != std::string::npos)
            type = QTextOption::DelimiterTab;
        tabs.append(QTextOption::Tab(px(t.positionTwips), type, QChar('.')));
    }
    if (!tabs.isEmpty())
        b.setTabPositions(tabs);
    return b;
}

void Builder::flush() {
    if (run_.isEmpty())
        return;
    cursor_.insertText(run_, charFormat(runFormat_));
    run_.clear();
}

void Builder::startBlock(std::size_t at) {
    QTextBlockFormat b = blockFormat(d_.paragraphAt(at));
    if (pageBreak_) {
        b.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        pageBreak_ = false;
    }
    const QTextCharFormat c = charFormat(d_.elements[at].charFormat);
    if (blockFresh_) {
        cursor_.setBlockFormat(b);
        // A table cell keeps its own format (borders, spans) as the char
        // format of its first block: that one stays.
        if (!cellStart_)
            cursor_.setBlockCharFormat(c);
        cursor_.setCharFormat(c);
    } else {
        cursor_.insertBlock(b, c);
    }
    blockFresh_ = false;
    cellStart_ = false;
}

void Builder::picture(const Element& e) {
    const Picture& p = d_.picture(e.index);
    QImage image;
    if (p.blip == "pngblip" || p.blip == "jpegblip")
        image.loadFromData(reinterpret_cast<const uchar*>(p.data.data()),
                           static_cast<int>(std::min<std::size_t>(p.data.size(), INT32_MAX)));
    double w = px(p.displayWidthTwips());
    double h = px(p.displayHeightTwips());
    if ((w <= 0 || h <= 0) && !image.isNull()) {
        w = px(image.width() * 15.0);
        h = px(image.height() * 15.0);
    }
    // Never wider or taller than a page.
    w = std::clamp(w, 1.0, px(d_.page.paperWidth));
    h = std::clamp(h, 1.0, px(d_.page.paperHeight));
    if (image.isNull()) {
        image = QImage(std::max(1, static_cast<int>(std::min(w, 400.0))),
                       std::max(1, static_cast<int>(std::min(h, 400.0))), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter frame(&image);
        frame.setPen(Qt::gray);
        frame.drawRect(0, 0, image.width() - 1, image.height() - 1);
    }
    const QString name = QStringLiteral("rtfpicture:%1").arg(++pictures_);
    out_.addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat f;
    f.merge(charFormat(e.charFormat));
    f.setName(name);
    f.setWidth(w);
    f.setHeight(h);
    cursor_.insertImage(f);
}

// The row mark of the table row that starts at `i`, or kNone when the
// paragraph is not in a complete table row.
std::size_t Builder::rowEndFrom(std::size_t i) const {
    const auto& els = d_.elements;
    for (std::size_t j = i; j < els.size(); ++j) {
        const ElementKind k = els[j].kind;
        if (k == ElementKind::RowEnd)
            return j;
        if ((k == ElementKind::ParagraphEnd || k == ElementKind::SectionEnd) &&
            !d_.paragraphFormat(els[j].index).inTable)
            return kNone;
    }
    return kNone;
}

std::size_t Builder::table(std::size_t begin) {
    const auto& els = d_.elements;
    struct Row {
        std::size_t begin, end;  // end: the row mark
        std::vector<std::pair<std::size_t, std::size_t>> cells;
        std::vector<CellDef> defs;
        int left = 0;
    };
    std::vector<Row> rows;
    std::size_t i = begin;
    while (i < els.size()) {
        const std::size_t end = rowEndFrom(i);
        if (end == kNone)
            break;
        Row r{
            i, end, {}, d_.rowFormat(els[end].index).cells, d_.rowFormat(els[end].index).leftTwips};
        std::size_t cellStart = i;
        for (std::size_t j = i; j < end; ++j) {
            if (els[j].kind == ElementKind::CellEnd) {
                r.cells.push_back({cellStart, j});
                cellStart = j + 1;
            }
        }
        if (r.cells.empty())
            r.cells.push_back({i, end});
        // Cells without a definition get an inch each.
        int edge = r.defs.empty() ? r.left : r.defs.back().rightTwips;
        while (r.defs.size() < r.cells.size()) {
            edge += 1440;
            CellDef c;
            c.rightTwips = edge;
            r.defs.push_back(c);
        }
        rows.push_back(std::move(r));
        i = end + 1;
        // The table goes on while the next paragraph is a table paragraph too.
        std::size_t next = i;
        while (next < els.size() && els[next].kind == ElementKind::Raw)
            ++next;
        if (next >= els.size() || !d_.paragraphAt(next).inTable)
            break;
    }
    if (rows.empty())
        return begin;

    // The columns: between every cell edge of every row.
    std::vector<int> edges;
    for (const Row& r : rows) {
        int left = r.left;
        edges.push_back(left);
        for (std::size_t c = 0; c < r.cells.size(); ++c) {
            left = std::max(left, r.defs[c].rightTwips);
            edges.push_back(left);
        }
    }
    std::sort(edges.begin(), edges.end());
    std::vector<int> columns;
    for (int e : edges)
        if (columns.empty() || e - columns.back() > 20)
            columns.push_back(e);
    if (columns.size() < 2)
        columns.push_back(columns.empty() ? 1440 : columns.back() + 1440);
    const auto columnOf = [&](int edge) {
        std::size_t best = 0;
        for (std::size_t k = 1; k < columns.size(); ++k)
            if (std::abs(columns[k] - edge) < std::abs(columns[best] - edge))
                best = k;
        return static_cast<int>(best);
    };
    const int nCols = static_cast<int>(columns.size() - 1);

    QTextTableFormat tf;
    tf.setBorderCollapse(true);
    tf.setBorder(0);
    tf.setCellSpacing(0);
    tf.setCellPadding(px(std::max(0, d_.rowFormat(els[rows[0].end].index).gapTwips)));
    tf.setLeftMargin(px(std::max(0, columns.front())));
    QList<QTextLength> widths;
    for (int k = 0; k < nCols; ++k)
        widths.append(QTextLength(QTextLength::FixedLength, px(columns[k + 1] - columns[k])));
    tf.setColumnWidthConstraints(widths);
    tf.setAlignment(Qt::AlignLeft);
    QTextTable* t = cursor_.insertTable(static_cast<int>(rows.size()), nCols, tf);

    for (std::size_t r = 0; r < rows.size(); ++r) {
        const Row& row = rows[r];
        int left = row.left;
        for (std::size_t c = 0; c < row.cells.size(); ++c) {
            const CellDef& def = row.defs[c];
            const int from = columnOf(left);
            const int to = std::max(from + 1, columnOf(std::max(left, def.rightTwips)));
            left = std::max(left, def.rightTwips);
            if (from >= nCols)
                continue;
            const int span = std::min(to, nCols) - from;
            if (span > 1)
                t->mergeCells(static_cast<int>(r), from, 1, span);
            QTextTableCell cell = t->cellAt(static_cast<int>(r), from);
            QTextTableCellFormat cf = cell.format().toTableCellFormat();
            const double border = px(15);
            const QBrush black(Qt::black);
            if (def.borderTop) {
                cf.setTopBorder(border);
                cf.setTopBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                cf.setTopBorderBrush(black);
            }
            if (def.borderBottom) {
                cf.setBottomBorder(border);
                cf.setBottomBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                cf.setBottomBorderBrush(black);
            }
            if (def.borderLeft) {
                cf.setLeftBorder(border);
                cf.setLeftBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                cf.setLeftBorderBrush(black);
            }
            if (def.borderRight) {
                cf.setRightBorder(border);
                cf.setRightBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                cf.setRightBorderBrush(black);
            }
            if (const Colour* k = d_.colour(def.shading))
                cf.setBackground(QColor(k->red, k->green, k->blue));
            cell.setFormat(cf);
            cursor_ = cell.firstCursorPosition();
            blockFresh_ = true;
            cellStart_ = true;
            flow(row.cells[c].first, row.cells[c].second, true);
            flush();
            cellStart_ = false;
        }
    }
    cursor_ = t->lastCursorPosition();
    cursor_.movePosition(QTextCursor::NextBlock);
    blockFresh_ = true;
    return rows.back().end + 1;
}

void Builder::flow(std::size_t begin, std::size_t end, bool inCell) {
    const auto& els = d_.elements;
    bool open = false;
    std::size_t i = begin;
    while (i < end) {
        const Element& e = els[i];
        if (e.kind == ElementKind::Raw) {
            ++i;
            continue;
        }
        if (!open) {
            if (!inCell && e.kind != ElementKind::RowEnd && d_.paragraphAt(i).inTable &&
                rowEndFrom(i) != kNone) {
                flush();
                i = table(i);
                continue;
            }
            startBlock(i);
            open = true;
        }
        switch (e.kind) {
            case ElementKind::Text: {
                if (d_.charFormat(e.charFormat).hidden)
                    break;
                if (e.charFormat != runFormat_)
                    flush();
                runFormat_ = e.charFormat;
                if (e.ch == kPageBreak) {
                    pageBreak_ = true;
                } else if (e.ch == kLineBreak) {
                    run_ += QChar(QChar::LineSeparator);
                } else {
                    const char32_t c = e.ch;
                    run_ += QString::fromUcs4(&c, 1);
                }
                break;
            }
            case ElementKind::Picture:
                flush();
                picture(e);
                break;
            default:
                flush();
                open = false;
                break;
        }
        ++i;
    }
    flush();
}

void Builder::run() {
    const PageSetup& pg = d_.page;
    double w = px(std::clamp(pg.paperWidth, 1440, 1440 * 100));
    double h = px(std::clamp(pg.paperHeight, 1440, 1440 * 100));
    if (pg.landscape && w < h)
        std::swap(w, h);
    out_.setPageSize(QSizeF(w, h));
    out_.setDocumentMargin(0);
    QTextFrameFormat root = out_.rootFrame()->frameFormat();
    const auto margin = [&](int twips, double size) {
        return std::clamp(px(twips), 0.0, size / 3);
    };
    root.setLeftMargin(margin(pg.marginLeft, w));
    root.setRightMargin(margin(pg.marginRight, w));
    root.setTopMargin(margin(pg.marginTop, h));
    root.setBottomMargin(margin(pg.marginBottom, h));
    out_.rootFrame()->setFrameFormat(root);
    QFont base(QStringLiteral("Times New Roman"));
    if (const Font* f = d_.font(d_.defaultFont); f && !f->name.empty())
        base.setFamily(QString::fromStdString(f->name));
    base.setPointSizeF(12);
    out_.setDefaultFont(base);
    flow(0, d_.elements.size(), false);
}

}  // namespace

std::unique_ptr<QTextDocument> toTextDocument(const RtfDocument& doc, double dpi) {
    auto out = std::make_unique<QTextDocument>();
    Builder(doc, dpi > 0 ? dpi : 96, *out).run();
    return out;
}

double layoutDpi() {
    // The resolution Qt lays text out at when no paint device is given: the
    // one that turns font points into the document's pixels.
    if (QCoreApplication::testAttribute(Qt::AA_Use96Dpi))
        return 96;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96;
}

int paintPages(const RtfDocument& doc, QPagedPaintDevice& device) {
    // Laid out as on the screen, then scaled to the device: the way Qt prints
    // a paginated text document.
    std::unique_ptr<QTextDocument> text = toTextDocument(doc, layoutDpi());
    const QSizeF page = text->pageSize();
    QPainter painter(&device);
    if (!painter.isActive() || page.width() <= 0 || page.height() <= 0)
        return 0;
    painter.scale(device.width() / page.width(), device.height() / page.height());
    const int pages = text->pageCount();
    for (int n = 0; n < pages; ++n) {
        if (n > 0)
            device.newPage();
        painter.save();
        const QRectF clip(0, n * page.height(), page.width(), page.height());
        painter.translate(0, -clip.top());
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        text->documentLayout()->draw(&painter, context);
        painter.restore();
    }
    return pages;
}

Status writePdf(const RtfDocument& doc, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure("Не удалось записать файл " + path.toStdString() + ": " +
                               file.errorString().toStdString());
    int pages = 0;
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(300);
        const PageSetup& pg = doc.page;
        QSizeF mm(std::clamp(pg.paperWidth, 1440, 1440 * 100) * 25.4 / 1440,
                  std::clamp(pg.paperHeight, 1440, 1440 * 100) * 25.4 / 1440);
        if (pg.landscape && mm.width() < mm.height())
            mm.transpose();
        pdf.setPageSize(QPageSize(mm, QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setCreator(QStringLiteral("Zelmora"));
        pages = paintPages(doc, pdf);
    }
    if (pages <= 0 || !file.commit())
        return Status::failure("Не удалось записать файл " + path.toStdString() + ": " +
                               file.errorString().toStdString());
    return {};
}

}  // namespace zelmora::rtf
