#include "reports/rtf_writer.h"

#include "app/paths.h"
#include "app/text.h"

namespace zelmora::rtf {

namespace {

class Writer {
  public:
    explicit Writer(const RtfDocument& doc) : doc_(doc) {}

    std::string run();

  private:
    // A control word (or several): the next text needs a delimiting blank.
    void word(std::string_view w) {
        out_ += w;
        pendingWord_ = true;
    }
    void word(std::string_view w, long long n) {
        out_ += w;
        out_ += std::to_string(n);
        pendingWord_ = true;
    }
    // Punctuation of RTF itself: braces, symbols, line breaks.
    void raw(std::string_view s) {
        out_ += s;
        pendingWord_ = false;
    }
    void textByte(char c) {
        if (pendingWord_)
            out_ += ' ';
        pendingWord_ = false;
        out_ += c;
    }
    void character(char32_t c);
    void unicodeText(std::string_view utf8);
    void charFormat(std::uint32_t index);
    void paragraphFormat(const ParagraphFormat& p);
    void rowFormat(const RowFormat& r);
    void picture(const Picture& p);
    void fontTable();
    void colourTable();
    void startParagraph(std::size_t i);

    const RtfDocument& doc_;
    std::string out_;
    bool pendingWord_ = false;
    std::int64_t currentCf_ = -1;
    bool inParagraph_ = false;
    bool atRowStart_ = true;
    bool rowOpen_ = false;
};

void Writer::character(char32_t c) {
    switch (c) {
        case U'\\':
        case U'{':
        case U'}':
            raw("\\");
            out_ += static_cast<char>(c);
            return;
        case U'\t':
            word("\\tab");
            return;
        case kLineBreak:
            word("\\line");
            return;
        case kPageBreak:
            word("\\page");
            return;
        case 0x00A0:
            raw("\\~");
            return;
        case 0x00AD:
            raw("\\-");
            return;
        case 0x2011:
            raw("\\_");
            return;
        default:
            break;
    }
    if (c < 0x80) {
        textByte(static_cast<char>(c));
        return;
    }
    auto unit = [this](long v, std::string_view fallback) {
        word("\\u", v > 32767 ? v - 65536 : v);
        raw(fallback);
    };
    if (c > 0xFFFF) {
        const char32_t v = c - 0x10000;
        unit(static_cast<long>(0xD800 + (v >> 10)), "?");
        unit(static_cast<long>(0xDC00 + (v & 0x3FF)), "?");
        return;
    }
    // The fallback for readers without Unicode: the byte of the document's
    // code page, or '?'.
    std::string fallback = "?";
    std::string utf8;
    text::appendUtf8(utf8, c);
    if (doc_.codePage == 1251) {
        const std::string b = text::toCp1251(utf8);
        if (b.size() == 1 && b != "?")
            fallback = text::format("\\'%02x", static_cast<unsigned char>(b[0]));
    } else if (c >= 0xA0 && c <= 0xFF) {
        fallback = text::format("\\'%02x", static_cast<unsigned>(c));
    }
    unit(static_cast<long>(c), fallback);
}

void Writer::unicodeText(std::string_view utf8) {
    std::size_t i = 0;
    while (i < utf8.size())
        character(text::decodeUtf8(utf8, i));
}

void Writer::charFormat(std::uint32_t index) {
    if (currentCf_ == index)
        return;
    currentCf_ = index;
    const CharFormat& f = doc_.charFormat(index);
    word("\\plain");
    word("\\f", f.font);
    word("\\fs", f.sizeHalfPoints);
    if (f.bold)
        word("\\b");
    if (f.italic)
        word("\\i");
    if (f.underline)
        word("\\ul");
    if (f.strike)
        word("\\strike");
    if (f.hidden)
        word("\\v");
    if (f.colour > 0)
        word("\\cf", f.colour);
    if (f.background > 0)
        word("\\highlight", f.background);
    if (f.vertical > 0)
        word("\\super");
    else if (f.vertical < 0)
        word("\\sub");
    if (!f.extra.empty())
        word(f.extra);
}

void Writer::paragraphFormat(const ParagraphFormat& p) {
    word("\\pard");
    if (!p.extra.empty())
        word(p.extra);
    switch (p.alignment) {
        case Alignment::Left:
            word("\\ql");
            break;
        case Alignment::Centre:
            word("\\qc");
            break;
        case Alignment::Right:
            word("\\qr");
            break;
        case Alignment::Justify:
            word("\\qj");
            break;
    }
    if (p.leftIndent)
        word("\\li", p.leftIndent);
    if (p.rightIndent)
        word("\\ri", p.rightIndent);
    if (p.firstIndent)
        word("\\fi", p.firstIndent);
    if (p.spaceBefore)
        word("\\sb", p.spaceBefore);
    if (p.spaceAfter)
        word("\\sa", p.spaceAfter);
    if (p.lineSpacing) {
        word("\\sl", p.lineSpacing);
        word("\\slmult", p.lineMultiple ? 1 : 0);
    }
    for (const TabStop& t : p.tabs) {
        if (!t.kind.empty())
            word(t.kind);
        word("\\tx", t.positionTwips);
    }
    if (p.inTable)
        word("\\intbl");
}

void Writer::rowFormat(const RowFormat& r) {
    word("\\trowd");
    word("\\trgaph", r.gapTwips);
    word("\\trleft", r.leftTwips);
    if (r.alignment == Alignment::Centre)
        word("\\trqc");
    else if (r.alignment == Alignment::Right)
        word("\\trqr");
    if (!r.extra.empty())
        word(r.extra);
    for (const CellDef& c : r.cells) {
        if (!c.extra.empty())
            word(c.extra);
        // Borders and shading given in code rather than read with the cell.
        const struct {
            bool on;
            const char* w;
        } sides[] = {{c.borderTop, "\\clbrdrt"},
                     {c.borderLeft, "\\clbrdrl"},
                     {c.borderBottom, "\\clbrdrb"},
                     {c.borderRight, "\\clbrdrr"}};
        for (const auto& s : sides) {
            if (s.on && c.extra.find(s.w) == std::string::npos) {
                word(s.w);
                word("\\brdrs\\brdrw10");
            }
        }
        if (c.shading > 0 && c.extra.find("\\clcbpat") == std::string::npos)
            word("\\clcbpat", c.shading);
        word("\\cellx", c.rightTwips);
    }
}

void Writer::picture(const Picture& p) {
    raw("{");
    word("\\pict");
    if (p.width)
        word("\\picw", p.width);
    if (p.height)
        word("\\pich", p.height);
    if (p.goalWidthTwips)
        word("\\picwgoal", p.goalWidthTwips);
    if (p.goalHeightTwips)
        word("\\pichgoal", p.goalHeightTwips);
    if (p.scaleX != 100)
        word("\\picscalex", p.scaleX);
    if (p.scaleY != 100)
        word("\\picscaley", p.scaleY);
    if (!p.extra.empty()) {
        out_ += p.extra;
        pendingWord_ = p.extra.back() != '}';
    }
    word("\\" + p.blip);
    raw("\n");
    static const char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < p.data.size(); ++i) {
        const auto b = static_cast<unsigned char>(p.data[i]);
        out_ += kHex[b >> 4];
        out_ += kHex[b & 15];
        if (i % 64 == 63)
            out_ += '\n';
    }
    raw("}");
}

void Writer::fontTable() {
    raw("{");
    word("\\fonttbl");
    if (doc_.fonts.empty()) {
        raw("{");
        word("\\f0\\fswiss\\fcharset204");
        textByte('A');
        out_ += "rial;}";
    }
    for (const Font& f : doc_.fonts) {
        raw("{");
        word("\\f", f.number);
        word("\\" + f.family);
        if (f.charset >= 0)
            word("\\fcharset", f.charset);
        if (f.pitch >= 0)
            word("\\fprq", f.pitch);
        if (!f.extra.empty()) {
            out_ += f.extra;
            pendingWord_ = f.extra.back() != '}';
        }
        unicodeText(f.name);
        textByte(';');
        raw("}");
    }
    raw("}\n");
}

void Writer::colourTable() {
    raw("{");
    word("\\colortbl");
    textByte(';');
    for (const Colour& c : doc_.colours) {
        word("\\red", c.red);
        word("\\green", c.green);
        word("\\blue", c.blue);
        textByte(';');
    }
    raw("}\n");
}

void Writer::startParagraph(std::size_t i) {
    const auto& els = doc_.elements;
    ParagraphFormat p = doc_.paragraphAt(i);
    if (p.inTable && atRowStart_) {
        // The row definition goes in front of the row's first paragraph.
        for (std::size_t j = i; j < els.size(); ++j) {
            const ElementKind k = els[j].kind;
            if (k == ElementKind::RowEnd) {
                rowFormat(doc_.rowFormat(els[j].index));
                rowOpen_ = true;
                break;
            }
            if ((k == ElementKind::ParagraphEnd || k == ElementKind::SectionEnd) &&
                !doc_.paragraphFormat(els[j].index).inTable)
                break;
        }
    }
    paragraphFormat(p);
    atRowStart_ = false;
    inParagraph_ = true;
}

std::string Writer::run() {
    word("{\\rtf1\\ansi");
    word("\\ansicpg", doc_.codePage);
    word("\\deff", doc_.defaultFont);
    word("\\uc1");
    raw("\n");
    fontTable();
    colourTable();
    const PageSetup& pg = doc_.page;
    word("\\paperw", pg.paperWidth);
    word("\\paperh", pg.paperHeight);
    word("\\margl", pg.marginLeft);
    word("\\margr", pg.marginRight);
    word("\\margt", pg.marginTop);
    word("\\margb", pg.marginBottom);
    if (pg.landscape)
        word("\\landscape");
    raw("\n");

    for (std::size_t i = 0; i < doc_.elements.size(); ++i) {
        const Element& e = doc_.elements[i];
        if (e.kind == ElementKind::Raw) {
            const std::string& r = doc_.raw(e.index);
            if (r.empty())
                continue;
            if (r[0] == '\\') {
                word(r);
            } else {
                raw(r);
            }
            continue;
        }
        if (e.kind == ElementKind::RowEnd) {
            if (!rowOpen_) {
                // A row mark with no row written before it: give it its definition.
                rowFormat(doc_.rowFormat(e.index));
            }
            charFormat(e.charFormat);
            word("\\row");
            raw("\n");
            inParagraph_ = false;
            atRowStart_ = true;
            rowOpen_ = false;
            continue;
        }
        if (!inParagraph_)
            startParagraph(i);
        charFormat(e.charFormat);
        switch (e.kind) {
            case ElementKind::Text:
                character(e.ch);
                break;
            case ElementKind::Picture:
                picture(doc_.picture(e.index));
                break;
            case ElementKind::ParagraphEnd:
            case ElementKind::SectionEnd: {
                word(e.kind == ElementKind::SectionEnd ? "\\sect" : "\\par");
                raw("\n");
                inParagraph_ = false;
                if (!doc_.paragraphFormat(e.index).inTable) {
                    atRowStart_ = true;
                    rowOpen_ = false;
                }
                break;
            }
            case ElementKind::CellEnd:
                word("\\cell");
                inParagraph_ = false;
                break;
            default:
                break;
        }
    }
    raw("}\n");
    return std::move(out_);
}

}  // namespace

std::string writeRtf(const RtfDocument& doc) {
    return Writer(doc).run();
}

Status writeRtfFile(const RtfDocument& doc, const std::filesystem::path& path) {
    if (const Status written = paths::writeFileAtomically(path, writeRtf(doc)); !written)
        return Status::failure("Не удалось записать файл " + path.string() + ": " +
                               written.message());
    return {};
}

}  // namespace zelmora::rtf
