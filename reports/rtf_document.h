#pragma once
// The rich text of a report: what a word processor saves as RTF and what the
// laboratory designs its report forms in. The text is kept the way a
// rich-edit control keeps it — one flat stream of characters, each with its
// character format, in which paragraph marks, table cell marks and row marks
// are elements of their own that carry the paragraph's (or the row's)
// formatting. A report template is filled by finding marker words in that
// stream and replacing, cutting and pasting stretches of it, which a flat
// stream makes simple and safe: formats are held in tables by index and an
// element never points at another element.
//
// What the program does not understand is not lost: unknown destinations
// ({\*\generator ...}, the style sheet, headers, fields, bookmarks) are kept
// as raw RTF at their place in the stream, unknown character and paragraph
// words travel with their format, and unknown words at document level are
// kept where they stood. Reading and writing a template therefore gives a
// file that a word processor shows the same way.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora::rtf {

struct Colour {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};

// One entry of the font table. `name` is UTF-8; `charset` is the Windows
// character set number (204 Cyrillic, 0 ANSI, -1 not given).
struct Font {
    int number = 0;
    std::string family = "fnil";  // froman, fswiss, fmodern, fscript, fdecor, ftech, fbidi
    int charset = -1;
    int pitch = -1;
    std::string name;
    std::string extra;  // nested groups of the entry ({\*\panose ...}, {\*\falt ...}) as RTF
};

struct CharFormat {
    int font = 0;  // font number as in \fN
    int sizeHalfPoints = 24;
    bool bold = false, italic = false, underline = false, strike = false, hidden = false;
    int colour = 0;      // index into the colour table; 0 is the automatic colour
    int background = 0;  // highlight, same indexing
    int vertical = 0;    // 1 superscript, -1 subscript
    std::string extra;   // unmodelled character words in order ("\lang1049\loch")
    bool operator==(const CharFormat&) const = default;
};

enum class Alignment : std::uint8_t { Left, Centre, Right, Justify };

struct TabStop {
    int positionTwips = 0;
    std::string kind;  // the words before \tx ("\tqr\tldot"); empty for a left tab
    bool operator==(const TabStop&) const = default;
};

struct ParagraphFormat {
    Alignment alignment = Alignment::Left;
    int leftIndent = 0, rightIndent = 0, firstIndent = 0;  // twips
    int spaceBefore = 0, spaceAfter = 0;                   // twips
    int lineSpacing = 0;  // \sl: >0 at least, <0 exactly (twips), 0 single
    bool lineMultiple = false;
    bool inTable = false;
    std::vector<TabStop> tabs;
    std::string extra;  // unmodelled paragraph words in order ("\s20\widctlpar")
    bool operator==(const ParagraphFormat&) const = default;
};

// A cell of a table row: its right edge from the page's left margin, and
// which of its sides have a drawn border (read from the cell's border words,
// which are kept whole in `extra`).
struct CellDef {
    int rightTwips = 0;
    std::string extra;  // the cell's words before \cellx, e.g. "\clbrdrt\brdrs\brdrw15"
    bool borderTop = false, borderLeft = false, borderBottom = false, borderRight = false;
    int shading = 0;  // \clcbpat colour index, 0 none
    bool operator==(const CellDef&) const = default;
};

struct RowFormat {
    int leftTwips = 0;  // \trleft
    int gapTwips = 0;   // \trgaph: half the space between cells
    Alignment alignment = Alignment::Left;
    std::string extra;  // the row words after \trowd except the cells, in order
    std::vector<CellDef> cells;
    bool operator==(const RowFormat&) const = default;
};

// An embedded picture with the bytes of its blip (PNG for the pictures this
// program makes; JPEG, EMF, WMF or others as read).
struct Picture {
    std::string blip = "pngblip";  // the blip word without the backslash
    int width = 0, height = 0;     // \picw, \pich: pixels for bitmaps
    int goalWidthTwips = 0, goalHeightTwips = 0;
    int scaleX = 100, scaleY = 100;  // percent
    std::string extra;               // other words and groups of \pict, as RTF
    std::string data;                // the picture bytes

    // The displayed size in twips: the goal size scaled, or the pixel size at
    // 96 dots per inch when no goal size was given.
    int displayWidthTwips() const;
    int displayHeightTwips() const;
};

struct PageSetup {
    int paperWidth = 11906, paperHeight = 16838;  // A4 in twips
    int marginLeft = 1134, marginRight = 1134, marginTop = 1134, marginBottom = 1134;
    bool landscape = false;
    bool operator==(const PageSetup&) const = default;
};

enum class ElementKind : std::uint8_t {
    Text,          // one character: `ch`
    ParagraphEnd,  // \par: `index` is the paragraph format
    CellEnd,       // \cell: ends the last paragraph of a table cell
    RowEnd,        // \row: `index` is the row format
    SectionEnd,    // \sect: ends a paragraph and a section
    Picture,       // `index` is the picture
    Raw,           // kept RTF: `index` is the raw text
};

// Special characters held as Text elements.
inline constexpr char32_t kTab = U'\t';
inline constexpr char32_t kLineBreak = 0x2028;  // \line
inline constexpr char32_t kPageBreak = 0x0C;    // \page

struct Element {
    ElementKind kind = ElementKind::Text;
    char32_t ch = 0;
    std::uint32_t charFormat = 0;  // the character format of a character or a mark
    std::uint32_t index = 0;       // see ElementKind
};

// True for an element that ends a paragraph (and so a "line" of a template).
inline bool endsParagraph(ElementKind k) {
    return k == ElementKind::ParagraphEnd || k == ElementKind::CellEnd ||
           k == ElementKind::RowEnd || k == ElementKind::SectionEnd;
}

class RtfDocument {
  public:
    RtfDocument();

    int codePage = 1252;  // \ansicpgN: the code page of \'xx bytes
    int defaultFont = 0;  // \deffN
    PageSetup page;
    std::vector<Font> fonts;
    std::vector<Colour> colours;  // entries 1..; entry 0 is "automatic" and not stored
    std::vector<Element> elements;
    // The format of a last paragraph that has no mark (text after the final \par).
    ParagraphFormat trailingParagraph;

    // Format tables; a format is stored once and referred to by index.
    const CharFormat& charFormat(std::uint32_t i) const { return charFormats_[i]; }
    const ParagraphFormat& paragraphFormat(std::uint32_t i) const { return paragraphFormats_[i]; }
    const RowFormat& rowFormat(std::uint32_t i) const { return rowFormats_[i]; }
    const Picture& picture(std::uint32_t i) const { return pictures_[i]; }
    const std::string& raw(std::uint32_t i) const { return raws_[i]; }
    std::uint32_t addCharFormat(const CharFormat& f);
    std::uint32_t addParagraphFormat(const ParagraphFormat& f);
    std::uint32_t addRowFormat(const RowFormat& f);
    std::uint32_t addPicture(Picture p);
    std::uint32_t addRaw(std::string rtf);
    void extendRaw(std::uint32_t i, std::string_view more) { raws_[i] += more; }

    // The paragraph format of the paragraph that holds element `pos`: that of
    // the next paragraph mark, or the trailing paragraph's.
    ParagraphFormat paragraphAt(std::size_t pos) const;
    // The colour of a colour-table index; nullptr for automatic or out of range.
    const Colour* colour(int index) const;
    const Font* font(int number) const;
    // Adds a colour to the table (or finds it) and returns its index.
    int addColour(Colour c);

    // Building: characters of UTF-8 text (a line feed starts a new paragraph
    // with the current paragraph's format, a carriage return is dropped, a tab
    // is kept, other control characters are dropped) and marks.
    void appendText(std::string_view utf8, const CharFormat& format);
    void appendParagraphEnd(const ParagraphFormat& p, const CharFormat& format = {});

    // Inserts text before element `pos` in the character format `format`
    // (an index); returns the number of elements inserted. Line feeds split
    // the paragraph, as typing Enter would.
    std::size_t insertText(std::size_t pos, std::string_view utf8, std::uint32_t format);
    // The elements insertText would insert, without inserting them.
    std::vector<Element> textElements(std::size_t pos, std::string_view utf8, std::uint32_t format);

    // The visible text, UTF-8: characters as they are, every paragraph end a
    // line feed, a cell end a tab, a picture U+FFFC; raw RTF is left out.
    std::string plainText() const;

  private:
    std::vector<CharFormat> charFormats_;
    std::vector<ParagraphFormat> paragraphFormats_;
    std::vector<RowFormat> rowFormats_;
    std::vector<Picture> pictures_;
    std::vector<std::string> raws_;
};

}  // namespace zelmora::rtf
