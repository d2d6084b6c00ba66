#include "reports/rtf_document.h"

#include <algorithm>

#include "app/text.h"

namespace zelmora::rtf {

namespace {

template <typename T>
std::uint32_t intern(std::vector<T>& table, const T& value) {
    const auto it = std::find(table.begin(), table.end(), value);
    if (it != table.end())
        return static_cast<std::uint32_t>(it - table.begin());
    table.push_back(value);
    return static_cast<std::uint32_t>(table.size() - 1);
}

// A picture is never drawn larger than this (about 7 metres), whatever its
// words say.
constexpr long long kMaxPictureTwips = 10'000'000;

int scaled(long long twips, int percent) {
    // In floating point: a damaged file's size and scale words together
    // overflow any integer product.
    const double v = static_cast<double>(twips) * (percent > 0 ? percent : 100) / 100.0;
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(kMaxPictureTwips)));
}

}  // namespace

int Picture::displayWidthTwips() const {
    // 96 pixels an inch, 1440 twips an inch.
    const long long base = goalWidthTwips > 0 ? goalWidthTwips : 15LL * std::max(width, 0);
    return scaled(base, scaleX);
}

int Picture::displayHeightTwips() const {
    const long long base = goalHeightTwips > 0 ? goalHeightTwips : 15LL * std::max(height, 0);
    return scaled(base, scaleY);
}

RtfDocument::RtfDocument() {
    charFormats_.push_back(CharFormat{});
    paragraphFormats_.push_back(ParagraphFormat{});
}

std::uint32_t RtfDocument::addCharFormat(const CharFormat& f) {
    return intern(charFormats_, f);
}
std::uint32_t RtfDocument::addParagraphFormat(const ParagraphFormat& f) {
    return intern(paragraphFormats_, f);
}
std::uint32_t RtfDocument::addRowFormat(const RowFormat& f) {
    return intern(rowFormats_, f);
}

std::uint32_t RtfDocument::addPicture(Picture p) {
    pictures_.push_back(std::move(p));
    return static_cast<std::uint32_t>(pictures_.size() - 1);
}

std::uint32_t RtfDocument::addRaw(std::string rtf) {
    raws_.push_back(std::move(rtf));
    return static_cast<std::uint32_t>(raws_.size() - 1);
}

ParagraphFormat RtfDocument::paragraphAt(std::size_t pos) const {
    for (std::size_t i = pos; i < elements.size(); ++i) {
        const Element& e = elements[i];
        if (e.kind == ElementKind::RowEnd) {
            // Text between the last cell and the row mark: a table paragraph.
            ParagraphFormat p;
            p.inTable = true;
            return p;
        }
        if (endsParagraph(e.kind))
            return paragraphFormats_[e.index];
    }
    return trailingParagraph;
}

const Colour* RtfDocument::colour(int index) const {
    if (index <= 0 || index > static_cast<int>(colours.size()))
        return nullptr;
    return &colours[static_cast<std::size_t>(index - 1)];
}

const Font* RtfDocument::font(int number) const {
    for (const Font& f : fonts)
        if (f.number == number)
            return &f;
    return nullptr;
}

int RtfDocument::addColour(Colour c) {
    for (std::size_t i = 0; i < colours.size(); ++i)
        if (colours[i] == c)
            return static_cast<int>(i + 1);
    colours.push_back(c);
    return static_cast<int>(colours.size());
}

void RtfDocument::appendText(std::string_view utf8, const CharFormat& format) {
    insertText(elements.size(), utf8, addCharFormat(format));
}

void RtfDocument::appendParagraphEnd(const ParagraphFormat& p, const CharFormat& format) {
    elements.push_back(
        {ElementKind::ParagraphEnd, 0, addCharFormat(format), addParagraphFormat(p)});
}

std::size_t RtfDocument::insertText(std::size_t pos, std::string_view utf8, std::uint32_t format) {
    pos = std::min(pos, elements.size());
    const std::vector<Element> added = textElements(pos, utf8, format);
    elements.insert(elements.begin() + static_cast<std::ptrdiff_t>(pos), added.begin(),
                    added.end());
    return added.size();
}

std::vector<Element> RtfDocument::textElements(std::size_t pos, std::string_view utf8,
                                               std::uint32_t format) {
    std::vector<Element> added;
    std::uint32_t paragraph = 0;
    bool paragraphKnown = false;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t c = text::decodeUtf8(utf8, i);
        if (c == U'\n') {
            if (!paragraphKnown) {
                ParagraphFormat p = paragraphAt(pos);
                paragraph = addParagraphFormat(p);
                paragraphKnown = true;
            }
            added.push_back({ElementKind::ParagraphEnd, 0, format, paragraph});
        } else if (c == U'\t' || c >= 0x20) {
            if (c != 0x7F)
                added.push_back({ElementKind::Text, c, format, 0});
        }
    }
    return added;
}

std::string RtfDocument::plainText() const {
    std::string out;
    for (const Element& e : elements) {
        switch (e.kind) {
            case ElementKind::Text:
                text::appendUtf8(out, e.ch == kLineBreak ? U'\n' : e.ch);
                break;
            case ElementKind::ParagraphEnd:
            case ElementKind::SectionEnd:
            case ElementKind::RowEnd:
                out += '\n';
                break;
            case ElementKind::CellEnd:
                out += '\t';
                break;
            case ElementKind::Picture:
                text::appendUtf8(out, 0xFFFC);
                break;
            case ElementKind::Raw:
                break;
        }
    }
    return out;
}

}  // namespace zelmora::rtf
