#include "reports/preview.h"

#include <algorithm>

#include "app/text.h"
#include "reports/rtf_reader.h"

namespace zelmora {

using rtf::Element;
using rtf::ElementKind;

namespace {

// Letters of any script, digits and the underscore make up a word; marks,
// pictures and line breaks end one.
bool isWordChar(char32_t c) {
    if (c == U'_' || (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') ||
        (c >= U'A' && c <= U'Z'))
        return true;
    if (c < 0xC0 || c == 0xD7 || c == 0xF7)
        return false;
    if ((c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) || c == 0xFFFC ||
        (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF0F))
        return false;
    return true;
}

std::u32string decode(std::string_view utf8) {
    std::u32string out;
    std::size_t i = 0;
    while (i < utf8.size())
        out += text::decodeUtf8(utf8, i);
    return out;
}

}  // namespace

Status CPreview::loadTemplate(const std::filesystem::path& file) {
    Result<rtf::RtfDocument> r = rtf::readRtfFile(file);
    buffer_.clear();
    caret_ = selStart_ = selEnd_ = 0;
    if (!r) {
        doc_ = rtf::RtfDocument{};
        return r.status();
    }
    doc_ = std::move(r).value();
    setMargins(kReportMarginTwips);
    return {};
}

void CPreview::setMargins(int twips) {
    doc_.page.marginLeft = doc_.page.marginRight = twips;
    doc_.page.marginTop = doc_.page.marginBottom = twips;
}

std::optional<CPreview::Span> CPreview::find(std::string_view marker, std::size_t from,
                                             bool wholeWord) const {
    const std::u32string m = decode(marker);
    const auto& els = doc_.elements;
    if (m.empty())
        return std::nullopt;
    for (std::size_t i = from; i < els.size(); ++i) {
        if (els[i].kind != ElementKind::Text || els[i].ch != m[0])
            continue;
        if (wholeWord) {
            std::size_t p = i;
            while (p > 0 && els[p - 1].kind == ElementKind::Raw)
                --p;
            if (p > 0 && els[p - 1].kind == ElementKind::Text && isWordChar(els[p - 1].ch))
                continue;
        }
        // Raw RTF inside the word (a bookmark, a revision mark) does not
        // interrupt it.
        std::size_t j = i, k = 0;
        while (k < m.size() && j < els.size()) {
            if (els[j].kind == ElementKind::Raw && k > 0) {
                ++j;
                continue;
            }
            if (els[j].kind != ElementKind::Text || els[j].ch != m[k])
                break;
            ++k;
            ++j;
        }
        if (k < m.size())
            continue;
        if (wholeWord) {
            std::size_t q = j;
            while (q < els.size() && els[q].kind == ElementKind::Raw)
                ++q;
            if (q < els.size() && els[q].kind == ElementKind::Text && isWordChar(els[q].ch))
                continue;
        }
        return Span{i, j};
    }
    return std::nullopt;
}

std::size_t CPreview::lineStart(std::size_t pos) const {
    const auto& els = doc_.elements;
    while (pos > 0 && !rtf::endsParagraph(els[pos - 1].kind))
        --pos;
    return pos;
}

std::size_t CPreview::lineEnd(std::size_t pos) const {
    const auto& els = doc_.elements;
    while (pos < els.size() && !rtf::endsParagraph(els[pos].kind))
        ++pos;
    if (pos < els.size() &&
        (els[pos].kind == ElementKind::ParagraphEnd || els[pos].kind == ElementKind::SectionEnd))
        ++pos;
    return pos;
}

void CPreview::erase(std::size_t begin, std::size_t end) {
    auto& els = doc_.elements;
    end = std::min(end, els.size());
    if (begin >= end)
        return;
    els.erase(els.begin() + static_cast<std::ptrdiff_t>(begin),
              els.begin() + static_cast<std::ptrdiff_t>(end));
    const auto shift = [&](std::size_t& p) {
        if (p >= end)
            p -= end - begin;
        else if (p > begin)
            p = begin;
    };
    shift(caret_);
    shift(selStart_);
    shift(selEnd_);
}

void CPreview::insert(std::size_t at, const std::vector<Element>& elements) {
    auto& els = doc_.elements;
    at = std::min(at, els.size());
    els.insert(els.begin() + static_cast<std::ptrdiff_t>(at), elements.begin(), elements.end());
    const auto shift = [&](std::size_t& p) {
        if (p > at)
            p += elements.size();
    };
    shift(caret_);
    shift(selStart_);
    shift(selEnd_);
}

bool CPreview::keepSection(std::string_view marker, bool keep) {
    const std::optional<Span> first = find(marker);
    if (!first)
        return false;
    const std::optional<Span> second = find(marker, first->end);
    if (!second)
        return false;
    const std::size_t start = lineStart(first->begin);
    if (!keep) {
        erase(start, lineEnd(second->begin));
        caret_ = selStart_ = selEnd_ = start;
        return true;
    }
    const std::size_t firstLineEnd = lineEnd(first->begin);
    erase(second->begin, second->end);
    std::size_t contentEnd = second->begin;
    if (contentEnd < firstLineEnd) {
        // Both on one line: the line goes and nothing stays between them.
        erase(start, std::min(firstLineEnd - (second->end - second->begin), doc_.elements.size()));
        contentEnd = start;
    } else {
        erase(start, firstLineEnd);
        contentEnd -= firstLineEnd - start;
    }
    selStart_ = start;
    selEnd_ = contentEnd;
    caret_ = contentEnd;
    return true;
}

bool CPreview::replaceField(std::string_view marker, std::string_view value) {
    const std::optional<Span> at = find(marker);
    if (!at)
        return false;
    const std::uint32_t format = doc_.elements[at->begin].charFormat;
    erase(at->begin, at->end);
    const std::vector<Element> added = doc_.textElements(at->begin, value, format);
    insert(at->begin, added);
    selStart_ = selEnd_ = at->begin + added.size();
    return true;
}

bool CPreview::insertPicture(std::string_view marker, const rtf::Picture& picture,
                             bool alsoInsideWord) {
    std::optional<Span> at = find(marker);
    if (!at && alsoInsideWord)
        at = find(marker, 0, false);
    if (!at)
        return false;
    const std::uint32_t format = doc_.elements[at->begin].charFormat;
    erase(at->begin, at->end);
    insert(at->begin, {Element{ElementKind::Picture, 0, format, doc_.addPicture(picture)}});
    selStart_ = selEnd_ = at->begin + 1;
    return true;
}

bool CPreview::cutTemplateSection(std::string_view marker) {
    if (!keepSection(marker, true))
        return false;
    cut();
    return true;
}

void CPreview::cut() {
    const auto& els = doc_.elements;
    const std::size_t b = std::min(selStart_, els.size());
    const std::size_t e = std::clamp(selEnd_, b, els.size());
    buffer_.assign(els.begin() + static_cast<std::ptrdiff_t>(b),
                   els.begin() + static_cast<std::ptrdiff_t>(e));
    erase(b, e);
    caret_ = selStart_ = selEnd_ = b;
}

void CPreview::paste() {
    const std::size_t at = std::min(caret_, doc_.elements.size());
    insert(at, buffer_);
    caret_ = selStart_ = selEnd_ = at + buffer_.size();
}

}  // namespace zelmora
