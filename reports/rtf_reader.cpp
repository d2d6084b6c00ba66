#include "reports/rtf_reader.h"

#include <algorithm>
#include <array>
#include <climits>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_set>

#include "app/text.h"

namespace zelmora::rtf {

namespace {

constexpr std::string_view kDamaged = "Файл RTF повреждён: ";

// ---- the tokens of RTF -------------------------------------------------------

struct Token {
    enum Type { GroupStart, GroupEnd, Word, Symbol, Hex, Text, End } type = End;
    std::string_view word;  // Word: the letters; Text: the bytes
    bool hasParam = false;
    int param = 0;
    char symbol = 0;
    unsigned char hex = 0;
};

class Lexer {
  public:
    explicit Lexer(std::string_view s) : s_(s) {}

    std::size_t position() const { return pos_; }

    Token next() {
        Token t;
        while (pos_ < s_.size() && (s_[pos_] == '\r' || s_[pos_] == '\n'))
            ++pos_;
        if (pos_ >= s_.size())
            return t;
        const char c = s_[pos_];
        if (c == '{') {
            ++pos_;
            t.type = Token::GroupStart;
            return t;
        }
        if (c == '}') {
            ++pos_;
            t.type = Token::GroupEnd;
            return t;
        }
        if (c != '\\') {
            const std::size_t start = pos_;
            while (pos_ < s_.size() && s_[pos_] != '\\' && s_[pos_] != '{' && s_[pos_] != '}' &&
                   s_[pos_] != '\r' && s_[pos_] != '\n')
                ++pos_;
            t.type = Token::Text;
            t.word = s_.substr(start, pos_ - start);
            return t;
        }
        ++pos_;
        if (pos_ >= s_.size()) {
            t.type = Token::Symbol;
            t.symbol = '\\';
            return t;
        }
        const char d = s_[pos_];
        if (isLetter(d)) {
            const std::size_t start = pos_;
            while (pos_ < s_.size() && isLetter(s_[pos_]) && pos_ - start < 32)
                ++pos_;
            t.type = Token::Word;
            t.word = s_.substr(start, pos_ - start);
            bool negative = false;
            if (pos_ + 1 < s_.size() && s_[pos_] == '-' && isDigit(s_[pos_ + 1])) {
                negative = true;
                ++pos_;
            }
            if (pos_ < s_.size() && isDigit(s_[pos_])) {
                long long v = 0;
                int digits = 0;
                while (pos_ < s_.size() && isDigit(s_[pos_])) {
                    if (digits < 12)
                        v = v * 10 + (s_[pos_] - '0');
                    ++digits;
                    ++pos_;
                }
                if (negative)
                    v = -v;
                t.hasParam = true;
                t.param = static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
            }
            if (pos_ < s_.size() && s_[pos_] == ' ')
                ++pos_;
            return t;
        }
        if (d == '\'') {
            ++pos_;
            t.type = Token::Hex;
            int v = 0;
            for (int k = 0; k < 2; ++k) {
                const int h = pos_ < s_.size() ? hexValue(s_[pos_]) : -1;
                if (h < 0)
                    break;
                v = v * 16 + h;
                ++pos_;
            }
            t.hex = static_cast<unsigned char>(v);
            return t;
        }
        ++pos_;
        t.type = Token::Symbol;
        t.symbol = d;
        return t;
    }

    // The bytes of \binN; nullopt when they run past the end.
    std::optional<std::string_view> binary(int n) {
        const std::size_t len = n > 0 ? static_cast<std::size_t>(n) : 0;
        if (len > s_.size() - pos_)
            return std::nullopt;
        const std::string_view out = s_.substr(pos_, len);
        pos_ += len;
        return out;
    }

    // Moves past the end of the group whose '{' has been read; false when the
    // group is not closed or binary data runs past the end.
    bool skipGroup() {
        int depth = 1;
        while (depth > 0) {
            const Token t = next();
            switch (t.type) {
                case Token::End:
                    return false;
                case Token::GroupStart:
                    ++depth;
                    break;
                case Token::GroupEnd:
                    --depth;
                    break;
                case Token::Word:
                    if (t.word == "bin" && !binary(t.param))
                        return false;
                    break;
                default:
                    break;
            }
        }
        return true;
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(char c) { return c >= '0' && c <= '9'; }
    static int hexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

  private:
    std::string_view s_;
    std::size_t pos_ = 0;
};

// ---- code pages ----------------------------------------------------------------

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char32_t, 32> kHigh1252 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t decodeByte(unsigned char b, int codePage) {
    if (b < 0x80)
        return b;
    if (codePage == 1251) {
        const std::string utf8 = text::fromCp1251(std::string(1, static_cast<char>(b)));
        std::size_t i = 0;
        return text::decodeUtf8(utf8, i);
    }
    if (b < 0xA0)
        return kHigh1252[b - 0x80];
    return b;
}

int codePageOfCharset(int charset, int documentCodePage) {
    switch (charset) {
        case 204:
            return 1251;
        case 238:
            return 1250;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 186:
            return 1257;
        default:
            return documentCodePage;
    }
}

// ---- word lists ----------------------------------------------------------------

using WordSet = std::unordered_set<std::string_view>;

// Destinations whose content the program does not read: kept whole as RTF.
const WordSet kRawDestinations = {"info",
                                  "stylesheet",
                                  "header",
                                  "headerl",
                                  "headerr",
                                  "headerf",
                                  "footer",
                                  "footerl",
                                  "footerr",
                                  "footerf",
                                  "footnote",
                                  "field",
                                  "object",
                                  "listtable",
                                  "listoverridetable",
                                  "revtbl",
                                  "rsidtbl",
                                  "xmlnstbl",
                                  "filetbl",
                                  "pgdsctbl",
                                  "pntext",
                                  "listtext",
                                  "pn",
                                  "annotation",
                                  "atnid",
                                  "atnauthor",
                                  "txe",
                                  "xe",
                                  "tc",
                                  "fldinst",
                                  "fldrslt",
                                  "bkmkstart",
                                  "bkmkend",
                                  "author",
                                  "title",
                                  "subject",
                                  "operator",
                                  "keywords",
                                  "comment",
                                  "doccomm",
                                  "company",
                                  "buptim",
                                  "creatim",
                                  "printim",
                                  "revtim",
                                  "nextfile",
                                  "template",
                                  "private",
                                  "shp",
                                  "shpinst",
                                  "shptxt",
                                  "shprslt",
                                  "do",
                                  "result",
                                  "themedata",
                                  "colorschememapping",
                                  "datastore",
                                  "latentstyles",
                                  "userprops",
                                  "generator",
                                  "ftnsep",
                                  "ftnsepc",
                                  "aftnsep",
                                  "aftnsepc",
                                  "ftncn",
                                  "aftncn",
                                  "upr",
                                  "ud",
                                  "nesttableprops",
                                  "mmathPr",
                                  "docvar",
                                  "formfield",
                                  "datafield",
                                  "background",
                                  "pgdscno"};

// Character words that the model does not interpret: they travel with the
// character format.
const WordSet kCharWords = {
    "lang",      "langfe",     "langnp",   "langfenp",  "loch",       "hich",      "dbch",
    "af",        "afs",        "ab",       "ai",        "alang",      "rtlch",     "ltrch",
    "kerning",   "cgrid",      "noproof",  "fcs",       "expnd",      "expndtw",   "charscalex",
    "insrsid",   "charrsid",   "delrsid",  "cs",        "ulc",        "caps",      "scaps",
    "outl",      "shad",       "embo",     "impr",      "chcbpat",    "chcfpat",   "chshdng",
    "webhidden", "specvanish", "up",       "dn",        "acf",        "aul",       "auld",
    "aulnone",   "astrike",    "asub",     "asuper",    "ltrch",      "rtlch",     "accnone",
    "accdot",    "acccomma",   "animtext", "fittext",   "chbrdr",     "uld",       "uldb",
    "ulw",       "ulth",       "uldash",   "uldashd",   "uldashdd",   "ulwave",    "ulhwave",
    "ulldash",   "ulthd",      "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave"};

// Paragraph words that the model does not interpret: they travel with the
// paragraph format.
const WordSet kParagraphWords = {"s",
                                 "widctlpar",
                                 "nowidctlpar",
                                 "hyphpar",
                                 "keep",
                                 "keepn",
                                 "pagebb",
                                 "aspalpha",
                                 "aspnum",
                                 "faauto",
                                 "adjustright",
                                 "rin",
                                 "lin",
                                 "ltrpar",
                                 "rtlpar",
                                 "noline",
                                 "outlinelevel",
                                 "ls",
                                 "ilvl",
                                 "pararsid",
                                 "sbauto",
                                 "saauto",
                                 "contextualspace",
                                 "nooverflow",
                                 "nosnaplinegrid",
                                 "cbpat",
                                 "cfpat",
                                 "shading",
                                 "wrapdefault",
                                 "yts",
                                 "tb",
                                 "nocwrap",
                                 "nowwrap",
                                 "fahang",
                                 "facenter",
                                 "faroman",
                                 "favar",
                                 "fafixed",
                                 "qd",
                                 "qk",
                                 "qt",
                                 "tlmdot",
                                 "brdrbtw",
                                 "bgbdiag",
                                 "bgfdiag",
                                 "bgcross",
                                 "bgdcross",
                                 "bghoriz",
                                 "bgvert",
                                 "dropcapli",
                                 "dropcapt",
                                 "spv"};

const WordSet kTabKinds = {"tqr",  "tqc",  "tqdec", "tldot", "tlhyph",
                           "tlul", "tlth", "tleq",  "tlmdot"};

bool isBorderDetail(std::string_view w) {
    return w.starts_with("brdr") || w == "brsp";
}

std::string wordText(const Token& t) {
    std::string s = "\\";
    s += t.word;
    if (t.hasParam)
        s += std::to_string(t.param);
    return s;
}

// Sets a word in a list of words, replacing an earlier occurrence of the same
// word so that repeated settings do not pile up.
void setWord(std::string& list, const Token& t) {
    const std::string w = wordText(t);
    std::string key = "\\";
    key += t.word;
    std::size_t at = 0;
    while ((at = list.find(key, at)) != std::string::npos) {
        std::size_t end = at + key.size();
        if (end < list.size() && Lexer::isLetter(list[end])) {
            at = end;
            continue;
        }
        if (end < list.size() && list[end] == '-')
            ++end;
        while (end < list.size() && Lexer::isDigit(list[end]))
            ++end;
        list.replace(at, end - at, w);
        return;
    }
    list += w;
}

// ---- the reader ----------------------------------------------------------------

enum class Dest { Body, FontTable, ColourTable, Picture };
enum class BorderOwner { Paragraph, Cell, Row };

struct State {
    Dest dest = Dest::Body;
    CharFormat cf;
    ParagraphFormat pf;
    int uc = 1;
};

class Reader {
  public:
    explicit Reader(std::string_view bytes) : lex_(bytes), bytes_(bytes) {}

    Result<RtfDocument> run();

  private:
    Status fail(std::string_view why) {
        return Status::failure(std::string(kDamaged) + std::string(why));
    }
    State& st() { return stack_.back(); }

    Status groupStart(std::size_t braceAt);
    void groupEnd();
    Status word(const Token& t);
    void symbol(char c);
    void bytesOut(std::string_view bytes);
    void codePoint(char32_t c);
    void putChar(char32_t c);
    void putEnd(ElementKind k);
    int currentCodePage() const;
    void finishFont();
    void addRaw(std::string rtf);
    std::uint32_t charIndex();

    Lexer lex_;
    std::string_view bytes_;
    RtfDocument doc_;
    std::vector<State> stack_;
    int skip_ = 0;  // fallback characters of \uN still to skip
    char32_t highSurrogate_ = 0;
    std::string pendingTabKind_;
    BorderOwner borderOwner_ = BorderOwner::Paragraph;
    RowFormat row_;
    CellDef cell_;
    // Font table entry being read.
    Font font_;
    bool fontOpen_ = false;
    // Colour table entry being read.
    Colour colour_;
    bool colourSet_ = false;
    bool colourFirst_ = true;
    // Picture being read; the stack depth of its group.
    Picture picture_;
    std::size_t pictureDepth_ = 0;
    int pendingNibble_ = -1;
    // The last character format stored, to spare the table search per character.
    CharFormat lastCf_;
    std::uint32_t lastCfIndex_ = 0;
};

Result<RtfDocument> Reader::run() {
    {
        Lexer probe(bytes_);
        const Token a = probe.next();
        const Token b = probe.next();
        if (a.type != Token::GroupStart || b.type != Token::Word || b.word != "rtf")
            return Status::failure("Файл не является документом RTF");
    }
    lex_.next();  // the opening brace
    stack_.push_back(State{});
    for (;;) {
        const Token t = lex_.next();
        if (t.type == Token::End)
            break;  // unclosed groups at the end: read as far as the file goes
        if (skip_ > 0 && (t.type == Token::Word || t.type == Token::Symbol ||
                          t.type == Token::Hex || t.type == Token::Text)) {
            if (t.type == Token::Text) {
                const std::size_t n = std::min<std::size_t>(t.word.size(), skip_);
                skip_ -= static_cast<int>(n);
                if (n < t.word.size())
                    bytesOut(t.word.substr(n));
                continue;
            }
            if (t.type == Token::Word && t.word == "bin" && !lex_.binary(t.param))
                return fail("двоичные данные выходят за конец файла");
            --skip_;
            continue;
        }
        switch (t.type) {
            case Token::GroupStart: {
                skip_ = 0;
                // The brace just read starts the group's raw text.
                if (Status s = groupStart(lex_.position() - 1); !s)
                    return s;
                break;
            }
            case Token::GroupEnd:
                skip_ = 0;
                groupEnd();
                if (stack_.empty()) {
                    finishFont();
                    return std::move(doc_);
                }
                break;
            case Token::Word:
                if (Status s = word(t); !s)
                    return s;
                break;
            case Token::Symbol:
                symbol(t.symbol);
                break;
            case Token::Hex:
                bytesOut(std::string_view(reinterpret_cast<const char*>(&t.hex), 1));
                break;
            case Token::Text:
                bytesOut(t.word);
                break;
            case Token::End:
                break;
        }
    }
    // A picture cut off by the end of the file is left out.
    doc_.trailingParagraph = stack_.back().pf;
    finishFont();
    return std::move(doc_);
}

Status Reader::groupStart(std::size_t braceAt) {
    if (stack_.size() >= static_cast<std::size_t>(kMaxGroupDepth))
        return fail("слишком глубокая вложенность групп");
    // Look at the group's first word to tell a destination from a formatting group.
    Lexer peek = lex_;
    Token first = peek.next();
    bool ignorable = false;
    if (first.type == Token::Symbol && first.symbol == '*') {
        ignorable = true;
        first = peek.next();
    }
    const Dest dest = st().dest;
    const bool isWord = first.type == Token::Word;
    const std::string_view w = isWord ? first.word : std::string_view{};

    if (dest == Dest::Body && isWord && (w == "shppict" || w == "pict")) {
        stack_.push_back(st());
        if (w == "pict") {
            lex_ = peek;
            st().dest = Dest::Picture;
            picture_ = Picture{};
            picture_.blip.clear();
            pictureDepth_ = stack_.size();
            pendingNibble_ = -1;
        } else {
            lex_ = peek;  // the picture inside is read like any other
        }
        return {};
    }
    if (dest == Dest::Body && isWord && w == "nonshppict") {
        // The old-reader copy of a picture that \shppict already gave.
        if (!lex_.skipGroup())
            return fail("группа не закрыта");
        return {};
    }
    if (dest == Dest::Body && isWord && (w == "fonttbl" || w == "colortbl")) {
        stack_.push_back(st());
        lex_ = peek;
        st().dest = w == "fonttbl" ? Dest::FontTable : Dest::ColourTable;
        colourFirst_ = true;
        colourSet_ = false;
        colour_ = {};
        return {};
    }
    if (ignorable || (isWord && kRawDestinations.contains(w))) {
        if (!lex_.skipGroup())
            return fail("группа не закрыта");
        addRaw(std::string(bytes_.substr(braceAt, lex_.position() - braceAt)));
        return {};
    }
    stack_.push_back(st());
    return {};
}

std::uint32_t Reader::charIndex() {
    if (!(st().cf == lastCf_)) {
        lastCf_ = st().cf;
        lastCfIndex_ = doc_.addCharFormat(lastCf_);
    }
    return lastCfIndex_;
}

void Reader::addRaw(std::string rtf) {
    switch (st().dest) {
        case Dest::Body:
            doc_.elements.push_back(
                {ElementKind::Raw, 0, charIndex(), doc_.addRaw(std::move(rtf))});
            break;
        case Dest::FontTable:
            font_.extra += rtf;
            break;
        case Dest::Picture:
            picture_.extra += rtf;
            break;
        case Dest::ColourTable:
            break;
    }
}

void Reader::groupEnd() {
    const Dest dest = st().dest;
    if (stack_.size() == 1)
        doc_.trailingParagraph = st().pf;
    if (dest == Dest::Picture && stack_.size() == pictureDepth_) {
        pictureDepth_ = 0;
        stack_.pop_back();
        if (picture_.blip.empty())
            picture_.blip = "pngblip";
        if (!stack_.empty() && st().dest == Dest::Body) {
            const std::uint32_t cf = charIndex();
            doc_.elements.push_back(
                {ElementKind::Picture, 0, cf, doc_.addPicture(std::move(picture_))});
        }
        picture_ = Picture{};
        return;
    }
    stack_.pop_back();
    if (dest == Dest::FontTable && (stack_.empty() || st().dest != Dest::FontTable))
        finishFont();
}

void Reader::finishFont() {
    if (!fontOpen_)
        return;
    fontOpen_ = false;
    font_.name = std::string(text::trim(font_.name));
    for (Font& f : doc_.fonts) {
        if (f.number == font_.number) {
            f = font_;
            return;
        }
    }
    doc_.fonts.push_back(font_);
}

int Reader::currentCodePage() const {
    if (stack_.empty())
        return doc_.codePage;
    if (stack_.back().dest == Dest::FontTable)
        return codePageOfCharset(font_.charset, doc_.codePage);
    const Font* f = doc_.font(stack_.back().cf.font);
    return codePageOfCharset(f ? f->charset : -1, doc_.codePage);
}

void Reader::bytesOut(std::string_view bytes) {
    if (st().dest == Dest::Picture) {
        for (char c : bytes) {
            const int h = Lexer::hexValue(c);
            if (h < 0)
                continue;
            if (pendingNibble_ < 0) {
                pendingNibble_ = h;
            } else {
                picture_.data += static_cast<char>(pendingNibble_ * 16 + h);
                pendingNibble_ = -1;
            }
        }
        return;
    }
    const int cp = currentCodePage();
    for (char c : bytes)
        codePoint(decodeByte(static_cast<unsigned char>(c), cp));
}

void Reader::codePoint(char32_t c) {
    switch (st().dest) {
        case Dest::Body:
            putChar(c);
            break;
        case Dest::FontTable:
            if (c == U';') {
                finishFont();
            } else {
                if (!fontOpen_) {
                    fontOpen_ = true;
                    font_ = Font{};
                }
                if (c >= 0x20)
                    text::appendUtf8(font_.name, c);
            }
            break;
        case Dest::ColourTable:
            if (c == U';') {
                if (!(colourFirst_ && !colourSet_))
                    doc_.colours.push_back(colour_);
                colourFirst_ = false;
                colourSet_ = false;
                colour_ = {};
            }
            break;
        case Dest::Picture:
            break;
    }
}

void Reader::putChar(char32_t c) {
    if (c >= 0xD800 && c <= 0xDBFF) {
        highSurrogate_ = c;
        return;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        if (highSurrogate_ == 0)
            return;
        c = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (c - 0xDC00);
    }
    highSurrogate_ = 0;
    if (c == U'\t' || c == kLineBreak || c == kPageBreak || (c >= 0x20 && c != 0x7F)) {
        doc_.elements.push_back({ElementKind::Text, c, charIndex(), 0});
    }
}

void Reader::putEnd(ElementKind k) {
    if (st().dest != Dest::Body)
        return;
    const std::uint32_t cf = charIndex();
    if (k == ElementKind::RowEnd) {
        doc_.elements.push_back({k, 0, cf, doc_.addRowFormat(row_)});
        return;
    }
    doc_.elements.push_back({k, 0, cf, doc_.addParagraphFormat(st().pf)});
}

void Reader::symbol(char c) {
    switch (c) {
        case '\\':
        case '{':
        case '}':
            bytesOut(std::string_view(&c, 1));
            break;
        case '~':
            codePoint(0x00A0);
            break;
        case '-':
            codePoint(0x00AD);
            break;
        case '_':
            codePoint(0x2011);
            break;
        case '\r':
        case '\n':
            putEnd(ElementKind::ParagraphEnd);
            break;
        case '\t':
            codePoint(U'\t');
            break;
        default:
            break;  // \* outside a group start, \:, \| and the like
    }
}

Status Reader::word(const Token& t) {
    const std::string_view w = t.word;
    const int p = t.param;
    State& s = st();
    CharFormat& cf = s.cf;
    ParagraphFormat& pf = s.pf;

    if (w == "bin") {
        const auto data = lex_.binary(p);
        if (!data)
            return fail("двоичные данные выходят за конец файла");
        if (s.dest == Dest::Picture)
            picture_.data.append(*data);
        return {};
    }
    if (w == "u") {
        char32_t c = static_cast<char32_t>(p < 0 ? p + 65536 : p) & 0xFFFFu;
        codePoint(c);
        skip_ = s.uc;
        return {};
    }
    if (w == "uc") {
        s.uc = std::clamp(p, 0, 16);
        return {};
    }

    if (s.dest == Dest::FontTable) {
        if (w == "f") {
            finishFont();
            fontOpen_ = true;
            font_ = Font{};
            font_.number = p;
        } else {
            if (!fontOpen_) {
                fontOpen_ = true;
                font_ = Font{};
            }
            if (w == "fcharset")
                font_.charset = p;
            else if (w == "fprq")
                font_.pitch = p;
            else if (w.size() > 1 && w[0] == 'f' && !t.hasParam)
                font_.family = std::string(w);
            else
                font_.extra += wordText(t);
        }
        return {};
    }
    if (s.dest == Dest::ColourTable) {
        const auto v = static_cast<std::uint8_t>(std::clamp(p, 0, 255));
        if (w == "red")
            colour_.red = v, colourSet_ = true;
        else if (w == "green")
            colour_.green = v, colourSet_ = true;
        else if (w == "blue")
            colour_.blue = v, colourSet_ = true;
        return {};
    }
    if (s.dest == Dest::Picture) {
        if (w == "picw")
            picture_.width = p;
        else if (w == "pich")
            picture_.height = p;
        else if (w == "picwgoal")
            picture_.goalWidthTwips = p;
        else if (w == "pichgoal")
            picture_.goalHeightTwips = p;
        else if (w == "picscalex")
            picture_.scaleX = p;
        else if (w == "picscaley")
            picture_.scaleY = p;
        else if (w == "pngblip" || w == "jpegblip" || w == "emfblip" || w == "wmetafile" ||
                 w == "dibitmap" || w == "wbitmap" || w == "macpict" || w == "pmmetafile")
            picture_.blip = wordText(t).substr(1);
        else
            picture_.extra += wordText(t);
        return {};
    }

    // Body: special characters and marks.
    if (w == "par") {
        putEnd(ElementKind::ParagraphEnd);
    } else if (w == "cell") {
        putEnd(ElementKind::CellEnd);
    } else if (w == "row") {
        putEnd(ElementKind::RowEnd);
    } else if (w == "sect") {
        putEnd(ElementKind::SectionEnd);
    } else if (w == "tab") {
        codePoint(U'\t');
    } else if (w == "line") {
        codePoint(kLineBreak);
    } else if (w == "page") {
        codePoint(kPageBreak);
    } else if (w == "nestcell") {
        codePoint(U'\t');
    } else if (w == "nestrow") {
        codePoint(kLineBreak);
    } else if (w == "emdash") {
        codePoint(0x2014);
    } else if (w == "endash") {
        codePoint(0x2013);
    } else if (w == "emspace") {
        codePoint(0x2003);
    } else if (w == "enspace") {
        codePoint(0x2002);
    } else if (w == "qmspace") {
        codePoint(0x2005);
    } else if (w == "bullet") {
        codePoint(0x2022);
    } else if (w == "lquote") {
        codePoint(0x2018);
    } else if (w == "rquote") {
        codePoint(0x2019);
    } else if (w == "ldblquote") {
        codePoint(0x201C);
    } else if (w == "rdblquote") {
        codePoint(0x201D);
    } else if (w == "zwj") {
        codePoint(0x200D);
    } else if (w == "zwnj") {
        codePoint(0x200C);
    } else if (w == "ltrmark") {
        codePoint(0x200E);
    } else if (w == "rtlmark") {
        codePoint(0x200F);
    }
    // Document.
    else if (w == "rtf" || w == "ansi" || w == "mac" || w == "pc" || w == "pca") {
    } else if (w == "ansicpg") {
        doc_.codePage = p;
    } else if (w == "deff") {
        doc_.defaultFont = p;
        if (stack_.size() == 1)
            cf.font = p;
    } else if (w == "paperw" || w == "pgwsxn") {
        doc_.page.paperWidth = p;
    } else if (w == "paperh" || w == "pghsxn") {
        doc_.page.paperHeight = p;
    } else if (w == "margl" || w == "marglsxn") {
        doc_.page.marginLeft = p;
    } else if (w == "margr" || w == "margrsxn") {
        doc_.page.marginRight = p;
    } else if (w == "margt" || w == "margtsxn") {
        doc_.page.marginTop = p;
    } else if (w == "margb" || w == "margbsxn") {
        doc_.page.marginBottom = p;
    } else if (w == "landscape" || w == "lndscpsxn") {
        doc_.page.landscape = true;
    }
    // Character format.
    else if (w == "plain") {
        cf = CharFormat{};
        cf.font = doc_.defaultFont;
    } else if (w == "f") {
        cf.font = p;
    } else if (w == "fs") {
        cf.sizeHalfPoints = t.hasParam && p > 0 ? std::min(p, 3276) : 24;
    } else if (w == "b") {
        cf.bold = !t.hasParam || p != 0;
    } else if (w == "i") {
        cf.italic = !t.hasParam || p != 0;
    } else if (w == "ul") {
        cf.underline = !t.hasParam || p != 0;
    } else if (w == "ulnone") {
        cf.underline = false;
    } else if (w == "strike") {
        cf.strike = !t.hasParam || p != 0;
    } else if (w == "v") {
        cf.hidden = !t.hasParam || p != 0;
    } else if (w == "cf") {
        cf.colour = std::max(p, 0);
    } else if (w == "highlight" || w == "cb") {
        cf.background = std::max(p, 0);
    } else if (w == "super") {
        cf.vertical = 1;
    } else if (w == "sub") {
        cf.vertical = -1;
    } else if (w == "nosupersub") {
        cf.vertical = 0;
    } else if (kCharWords.contains(w)) {
        if (w.starts_with("ul") && (!t.hasParam || p != 0))
            cf.underline = true;
        setWord(cf.extra, t);
    }
    // Paragraph format.
    else if (w == "pard") {
        pf = ParagraphFormat{};
        pendingTabKind_.clear();
        borderOwner_ = BorderOwner::Paragraph;
    } else if (w == "ql") {
        pf.alignment = Alignment::Left;
    } else if (w == "qc") {
        pf.alignment = Alignment::Centre;
    } else if (w == "qr") {
        pf.alignment = Alignment::Right;
    } else if (w == "qj") {
        pf.alignment = Alignment::Justify;
    } else if (w == "li") {
        pf.leftIndent = p;
    } else if (w == "ri") {
        pf.rightIndent = p;
    } else if (w == "fi") {
        pf.firstIndent = p;
    } else if (w == "sb") {
        pf.spaceBefore = p;
    } else if (w == "sa") {
        pf.spaceAfter = p;
    } else if (w == "sl") {
        pf.lineSpacing = p;
    } else if (w == "slmult") {
        pf.lineMultiple = p != 0;
    } else if (w == "intbl") {
        pf.inTable = true;
    } else if (w == "itap") {
        pf.inTable = p > 0;
    } else if (w == "tx") {
        if (pf.tabs.size() < 256)
            pf.tabs.push_back({p, pendingTabKind_});
        pendingTabKind_.clear();
    } else if (kTabKinds.contains(w)) {
        pendingTabKind_ += wordText(t);
    } else if (w == "brdrt" || w == "brdrb" || w == "brdrl" || w == "brdrr" || w == "brdrbox" ||
               w == "brdrbar" || w == "box") {
        borderOwner_ = BorderOwner::Paragraph;
        pf.extra += wordText(t);
    } else if (isBorderDetail(w)) {
        // The style, width and colour of the border named last: a paragraph's,
        // a cell's or a row's. They repeat per side, so they are appended.
        if (borderOwner_ == BorderOwner::Cell)
            cell_.extra += wordText(t);
        else if (borderOwner_ == BorderOwner::Row)
            row_.extra += wordText(t);
        else
            pf.extra += wordText(t);
    } else if (kParagraphWords.contains(w)) {
        setWord(pf.extra, t);
    }
    // Table rows.
    else if (w == "trowd") {
        row_ = RowFormat{};
        cell_ = CellDef{};
        borderOwner_ = BorderOwner::Row;
    } else if (w == "cellx") {
        cell_.rightTwips = p;
        if (row_.cells.size() < 256)
            row_.cells.push_back(cell_);
        cell_ = CellDef{};
    } else if (w.starts_with("cl")) {
        if (w == "clbrdrt" || w == "clbrdrb" || w == "clbrdrl" || w == "clbrdrr") {
            borderOwner_ = BorderOwner::Cell;
            const char side = w[6];
            (side == 't'   ? cell_.borderTop
             : side == 'b' ? cell_.borderBottom
             : side == 'l' ? cell_.borderLeft
                           : cell_.borderRight) = true;
        }
        if (w == "clcbpat")
            cell_.shading = std::max(p, 0);
        cell_.extra += wordText(t);
    } else if (w.starts_with("tr") || w.starts_with("ts") || w.starts_with("tbl") ||
               w == "ltrrow" || w == "rtlrow" || w.starts_with("tpos") || w.starts_with("tdfrm") ||
               w.starts_with("tabsnoovrlp")) {
        if (w == "trleft") {
            row_.leftTwips = p;
        } else if (w == "trgaph") {
            row_.gapTwips = p;
        } else if (w == "trql") {
            row_.alignment = Alignment::Left;
        } else if (w == "trqc") {
            row_.alignment = Alignment::Centre;
        } else if (w == "trqr") {
            row_.alignment = Alignment::Right;
        } else {
            if (w.starts_with("trbrdr"))
                borderOwner_ = BorderOwner::Row;
            row_.extra += wordText(t);
        }
    } else {
        // A document or section word the model does not know: kept in place.
        if (stack_.size() >= 1 && st().dest == Dest::Body) {
            if (!doc_.elements.empty() && doc_.elements.back().kind == ElementKind::Raw &&
                doc_.raw(doc_.elements.back().index).starts_with("\\")) {
                // Runs of unknown words stay one raw element.
                doc_.extendRaw(doc_.elements.back().index, wordText(t));
            } else {
                addRaw(wordText(t));
            }
        }
    }
    return {};
}

}  // namespace

Result<RtfDocument> readRtf(std::string_view bytes) {
    return Reader(bytes).run();
}

Result<RtfDocument> readRtfFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return Status::failure("Не удалось открыть файл " + path.string());
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return Status::failure("Ошибка чтения файла " + path.string());
    Result<RtfDocument> r = readRtf(bytes);
    if (!r)
        return Status::failure(path.string() + ": " + r.message());
    return r;
}

}  // namespace zelmora::rtf
