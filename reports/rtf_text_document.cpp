#include "reports/rtf_text_document.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QSaveFile>
#include <QScreen>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>
#include <algorithm>
#include <cmath>
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

QSizeF paperSize(const PageSetup& pg, double dpi) {
    QSizeF size(std::clamp(pg.paperWidth, 1440, 1440 * 100) * dpi / 1440.0,
                std::clamp(pg.paperHeight, 1440, 1440 * 100) * dpi / 1440.0);
    if (pg.landscape && size.width() < size.height())
        size.transpose();
    return size;
}

namespace {

int paintLaidOut(QTextDocument& text, QPagedPaintDevice& device) {
    // Laid out as on the screen, then scaled to the device: the way Qt prints
    // a paginated text document.
    const QSizeF page = text.pageSize();
    QPainter painter(&device);
    if (!painter.isActive() || page.width() <= 0 || page.height() <= 0)
        return 0;
    painter.scale(device.width() / page.width(), device.height() / page.height());
    const int pages = text.pageCount();
    for (int n = 0; n < pages; ++n) {
        if (n > 0)
            device.newPage();
        painter.save();
        const QRectF clip(0, n * page.height(), page.width(), page.height());
        painter.translate(0, -clip.top());
        painter.setClipRect(clip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        text.documentLayout()->draw(&painter, context);
        painter.restore();
    }
    return pages;
}

// Opens a PDF writer of the report's paper on `file`, lets `paint` fill it
// and commits the file only when at least one page was painted.
template <typename Paint>
Status writePdfWith(const PageSetup& pg, const QString& path, Paint paint) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Status::failure("Не удалось записать файл " + path.toStdString() + ": " +
                               file.errorString().toStdString());
    int pages = 0;
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(300);
        const QSizeF mm = paperSize(pg, 25.4);
        pdf.setPageSize(QPageSize(mm, QPageSize::Millimeter));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setCreator(QStringLiteral("Zelmora"));
        pages = paint(pdf);
    }
    if (pages <= 0 || !file.commit())
        return Status::failure("Не удалось записать файл " + path.toStdString() + ": " +
                               file.errorString().toStdString());
    return {};
}

}  // namespace

int paintPages(const RtfDocument& doc, QPagedPaintDevice& device) {
    std::unique_ptr<QTextDocument> text = toTextDocument(doc, layoutDpi());
    return paintLaidOut(*text, device);
}

int paintPages(const QTextDocument& text, QSizeF paper, QPagedPaintDevice& device) {
    // A copy, so that the window's own layout (one long page as wide as the
    // paper) stays as it is.
    std::unique_ptr<QTextDocument> copy(text.clone());
    copy->setPageSize(paper);
    return paintLaidOut(*copy, device);
}

Status writePdf(const RtfDocument& doc, const QString& path) {
    return writePdfWith(doc.page, path,
                        [&](QPagedPaintDevice& device) { return paintPages(doc, device); });
}

Status writePdf(const QTextDocument& text, const PageSetup& page, const QString& path) {
    const QSizeF paper = paperSize(page, layoutDpi());
    return writePdfWith(page, path,
                        [&](QPagedPaintDevice& device) { return paintPages(text, paper, device); });
}

// --- back from a text document

namespace {

class Reverse {
  public:
    Reverse(const QTextDocument& text, double dpi, const PageSetup& page)
        : t_(text), dpi_(dpi > 0 ? dpi : 96) {
        out_.codePage = 1251;
        out_.page = page;
        out_.fonts.clear();
        defaultFamily_ = text.defaultFont().family();
        out_.defaultFont = fontNumber(defaultFamily_);
    }

    RtfDocument run() {
        frame(t_.rootFrame(), false);
        // The last paragraph of the text needs no mark of its own.
        if (!out_.elements.empty() && out_.elements.back().kind == ElementKind::ParagraphEnd) {
            out_.trailingParagraph = out_.paragraphFormat(out_.elements.back().index);
            out_.elements.pop_back();
        }
        return std::move(out_);
    }

  private:
    int twips(double px) const { return static_cast<int>(std::lround(px * 1440.0 / dpi_)); }
    int fontNumber(const QString& family);
    int colour(const QBrush& brush);
    std::uint32_t charIndex(const QTextCharFormat& f);
    std::uint32_t paragraphIndex(const QTextBlockFormat& b, bool inTable);
    void frame(QTextFrame* f, bool inTable);
    void blockContent(const QTextBlock& b);
    void picture(const QTextImageFormat& f);
    void table(QTextTable* t);

    const QTextDocument& t_;
    double dpi_;
    RtfDocument out_;
    QString defaultFamily_;
};

int Reverse::fontNumber(const QString& family) {
    const std::string name =
        (family.isEmpty() ? QStringLiteral("Times New Roman") : family).toStdString();
    for (const Font& f : out_.fonts)
        if (f.name == name)
            return f.number;
    Font f;
    f.number = static_cast<int>(out_.fonts.size());
    f.family = "fnil";
    f.charset = 204;
    f.name = name;
    out_.fonts.push_back(f);
    return f.number;
}

int Reverse::colour(const QBrush& brush) {
    if (brush.style() == Qt::NoBrush)
        return 0;
    const QColor c = brush.color();
    return out_.addColour({static_cast<std::uint8_t>(c.red()), static_cast<std::uint8_t>(c.green()),
                           static_cast<std::uint8_t>(c.blue())});
}

std::uint32_t Reverse::charIndex(const QTextCharFormat& f) {
    CharFormat c;
    const QStringList families = f.fontFamilies().toStringList();
    c.font = fontNumber(families.isEmpty() ? defaultFamily_ : families.front());
    const double points = f.fontPointSize() > 0 ? f.fontPointSize() : t_.defaultFont().pointSizeF();
    c.sizeHalfPoints = std::max(1, static_cast<int>(std::lround((points > 0 ? points : 12) * 2)));
    c.bold = f.fontWeight() >= QFont::DemiBold;
    c.italic = f.fontItalic();
    c.underline = f.fontUnderline();
    c.strike = f.fontStrikeOut();
    c.colour = f.hasProperty(QTextFormat::ForegroundBrush) ? colour(f.foreground()) : 0;
    c.background = f.hasProperty(QTextFormat::BackgroundBrush) ? colour(f.background()) : 0;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        c.vertical = 1;
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        c.vertical = -1;
    return out_.addCharFormat(c);
}

std::uint32_t Reverse::paragraphIndex(const QTextBlockFormat& b, bool inTable) {
    ParagraphFormat p;
    const Qt::Alignment a = b.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignJustify)
        p.alignment = Alignment::Justify;
    else if (a & Qt::AlignHCenter)
        p.alignment = Alignment::Centre;
    else if (a & (Qt::AlignRight | Qt::AlignTrailing))
        p.alignment = Alignment::Right;
    p.leftIndent = twips(b.leftMargin());
    p.rightIndent = twips(b.rightMargin());
    p.firstIndent = twips(b.textIndent());
    p.spaceBefore = twips(b.topMargin());
    p.spaceAfter = twips(b.bottomMargin());
    switch (b.lineHeightType()) {
        case QTextBlockFormat::ProportionalHeight:
            p.lineSpacing = static_cast<int>(std::lround(b.lineHeight() * 240.0 / 100.0));
            p.lineMultiple = true;
            break;
        case QTextBlockFormat::FixedHeight:
            p.lineSpacing = -twips(b.lineHeight());
            break;
        case QTextBlockFormat::MinimumHeight:
            p.lineSpacing = twips(b.lineHeight());
            break;
        default:
            break;
    }
    if (p.lineMultiple && p.lineSpacing == 240) {
        p.lineSpacing = 0;
        p.lineMultiple = false;
    }
    p.inTable = inTable;
    for (const QTextOption::Tab& tab : b.tabPositions()) {
        TabStop stop;
        stop.positionTwips = twips(tab.position);
        if (tab.type == QTextOption::RightTab)
            stop.kind = "\\tqr";
        else if (tab.type == QTextOption::CenterTab)
            stop.kind = "\\tqc";
        else if (tab.type == QTextOption::DelimiterTab)
            stop.kind = "\\tqdec";
        p.tabs.push_back(stop);
    }
    return out_.addParagraphFormat(p);
}

void Reverse::picture(const QTextImageFormat& f) {
    const QVariant resource = t_.resource(QTextDocument::ImageResource, QUrl(f.name()));
    QImage image = resource.value<QImage>();
    if (image.isNull())
        image = resource.value<QPixmap>().toImage();
    if (image.isNull())
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return;
    Picture p;
    p.blip = "pngblip";
    p.width = image.width();
    p.height = image.height();
    p.goalWidthTwips = twips(f.width() > 0 ? f.width() : image.width() * dpi_ / 96.0);
    p.goalHeightTwips = twips(f.height() > 0 ? f.height() : image.height() * dpi_ / 96.0);
    p.data.assign(png.constData(), static_cast<std::size_t>(png.size()));
    out_.elements.push_back({ElementKind::Picture, 0, charIndex(f), out_.addPicture(std::move(p))});
}

void Reverse::blockContent(const QTextBlock& b) {
    if (b.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
        out_.elements.push_back({ElementKind::Text, kPageBreak, charIndex(b.charFormat()), 0});
    for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat f = fragment.charFormat();
        if (f.isImageFormat()) {
            picture(f.toImageFormat());
            continue;
        }
        const std::uint32_t format = charIndex(f);
        for (const char32_t ch : fragment.text().toUcs4()) {
            char32_t c = ch;
            if (c == QChar::LineSeparator)
                c = kLineBreak;
            else if (c == QChar::ObjectReplacementCharacter || (c < 0x20 && c != U'\t'))
                continue;
            out_.elements.push_back({ElementKind::Text, c, format, 0});
        }
    }
}

void Reverse::frame(QTextFrame* f, bool inTable) {
    for (auto it = f->begin(); !it.atEnd(); ++it) {
        if (QTextFrame* child = it.currentFrame()) {
            if (auto* t = qobject_cast<QTextTable*>(child); t && !inTable)
                table(t);
            else
                frame(child, inTable);
            continue;
        }
        const QTextBlock b = it.currentBlock();
        blockContent(b);
        out_.elements.push_back({ElementKind::ParagraphEnd, 0, charIndex(b.charFormat()),
                                 paragraphIndex(b.blockFormat(), inTable)});
    }
}

void Reverse::table(QTextTable* t) {
    const QTextTableFormat tf = t->format();
    const int columns = t->columns();
    // Column widths in pixels: fixed ones as they are, percentages of the
    // text width, the rest sharing what is left.
    const QTextFrameFormat root = t_.rootFrame()->frameFormat();
    const double textWidth = std::max(
        100.0, paperSize(out_.page, dpi_).width() - root.leftMargin() - root.rightMargin());
    QList<QTextLength> constraints = tf.columnWidthConstraints();
    std::vector<double> widths(static_cast<std::size_t>(columns), 0);
    double fixed = 0;
    int variable = 0;
    for (int c = 0; c < columns; ++c) {
        const QTextLength l = c < constraints.size() ? constraints[c] : QTextLength();
        if (l.type() == QTextLength::FixedLength)
            widths[c] = l.rawValue();
        else if (l.type() == QTextLength::PercentageLength)
            widths[c] = l.rawValue() * textWidth / 100.0;
        else
            ++variable;
        fixed += widths[c];
    }
    for (int c = 0; c < columns; ++c)
        if (widths[c] <= 0)
            widths[c] = std::max(20.0, (textWidth - fixed) / std::max(1, variable));

    RowFormat row;
    row.leftTwips = twips(tf.leftMargin());
    row.gapTwips = twips(tf.cellPadding());
    for (int r = 0; r < t->rows(); ++r) {
        row.cells.clear();
        double right = tf.leftMargin();
        int lastFormat = 0;
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            right += widths[c];
            // A merged cell is written once, at its last column.
            if (cell.row() != r || cell.column() + cell.columnSpan() - 1 != c)
                continue;
            const QTextTableCellFormat cf = cell.format().toTableCellFormat();
            CellDef def;
            def.rightTwips = twips(right);
            const auto drawn = [](double width, QTextFrameFormat::BorderStyle style) {
                return width > 0 && style != QTextFrameFormat::BorderStyle_None;
            };
            def.borderTop = drawn(cf.topBorder(), cf.topBorderStyle());
            def.borderLeft = drawn(cf.leftBorder(), cf.leftBorderStyle());
            def.borderBottom = drawn(cf.bottomBorder(), cf.bottomBorderStyle());
            def.borderRight = drawn(cf.rightBorder(), cf.rightBorderStyle());
            if (cf.hasProperty(QTextFormat::BackgroundBrush))
                def.shading = colour(cf.background());
            row.cells.push_back(def);
            // The cell's paragraphs; its last one ends with the cell mark.
            const std::size_t cellBegin = out_.elements.size();
            for (auto it = cell.begin(); !it.atEnd(); ++it) {
                if (QTextFrame* inner = it.currentFrame()) {
                    frame(inner, true);
                    continue;
                }
                const QTextBlock b = it.currentBlock();
                blockContent(b);
                out_.elements.push_back({ElementKind::ParagraphEnd, 0, charIndex(b.charFormat()),
                                         paragraphIndex(b.blockFormat(), true)});
            }
            if (out_.elements.size() == cellBegin) {
                out_.elements.push_back(
                    {ElementKind::CellEnd, 0, 0, paragraphIndex(QTextBlockFormat(), true)});
            } else {
                out_.elements.back().kind = ElementKind::CellEnd;
            }
            lastFormat = static_cast<int>(out_.elements.back().charFormat);
        }
        out_.elements.push_back({ElementKind::RowEnd, 0, static_cast<std::uint32_t>(lastFormat),
                                 out_.addRowFormat(row)});
    }
}

}  // namespace

RtfDocument fromTextDocument(const QTextDocument& text, double dpi, const PageSetup& page) {
    return Reverse(text, dpi, page).run();
}

}  // namespace zelmora::rtf
