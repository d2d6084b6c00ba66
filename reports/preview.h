#pragma once
// The report being made from a template: a rich-text document that the
// laboratory designed in its word processor, with marker words where the
// data of a chromatogram go. A marker is a word beginning with two
// underscores, found case-sensitively as a whole word — also when the word
// processor split it into several runs of different formatting, or put a
// bookmark inside it.
//
// The primitives the chromatogram, statistics and natural-gas reports are
// built from:
//  - a section is the stretch between two occurrences of one marker, from the
//    beginning of the line (paragraph) of the first. Kept: the first
//    occurrence's whole line and the second occurrence's word are removed and
//    the kept content stays selected. Removed: everything from the start of
//    the first line through the end of the second occurrence's line, its
//    line break included.
//  - a field is replaced by a value text in the marker's formatting; only the
//    first occurrence counted from the start of the document, so a field that
//    stands several times is replaced once per call. A line feed in the value
//    starts a new paragraph, a tab stays a tab.
//  - a picture replaces its marker.
//  - cut and paste: the selection is cut into the row buffer; the buffer is
//    pasted at the caret, which then stands after the pasted copy. A table
//    row of a template section is cut once and pasted per row of data, each
//    copy's fields filled right after its paste; edits before the caret move
//    it along, so the copies follow one another top to bottom.
//
// A line break that ends a table cell or row is never removed with a line:
// only the line's content goes, so that the table stays whole.

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "reports/rtf_document.h"

namespace zelmora {

// The report's page margins on all four sides, in twips (about 15 mm).
inline constexpr int kReportMarginTwips = 855;

class CPreview {
  public:
    CPreview() = default;
    explicit CPreview(rtf::RtfDocument doc) : doc_(std::move(doc)) {}

    // Reads a template file as the report's content and sets the report's
    // margins. A file error leaves the report empty and is returned.
    Status loadTemplate(const std::filesystem::path& file);
    void setMargins(int twips);

    rtf::RtfDocument& document() { return doc_; }
    const rtf::RtfDocument& document() const { return doc_; }

    // Keeps or removes a section; false (and nothing changed) unless the
    // marker was found twice.
    bool keepSection(std::string_view marker, bool keep);
    // Replaces the first occurrence of a field; false when there is none.
    bool replaceField(std::string_view marker, std::string_view value);
    // Replaces the first occurrence of the marker with the picture; with
    // `alsoInsideWord`, a marker that is not a whole word is looked for next.
    bool insertPicture(std::string_view marker, const rtf::Picture& picture,
                       bool alsoInsideWord = false);
    // Keeps a template section and cuts its content into the row buffer;
    // false when the section is not there.
    bool cutTemplateSection(std::string_view marker);

    void cut();
    void paste();
    std::size_t caret() const { return caret_; }
    std::size_t selectionStart() const { return selStart_; }
    std::size_t selectionEnd() const { return selEnd_; }
    const std::vector<rtf::Element>& rowBuffer() const { return buffer_; }

    // Where a marker stands: elements [begin, end).
    struct Span {
        std::size_t begin = 0, end = 0;
    };
    std::optional<Span> find(std::string_view marker, std::size_t from = 0,
                             bool wholeWord = true) const;

  private:
    void erase(std::size_t begin, std::size_t end);
    void insert(std::size_t at, const std::vector<rtf::Element>& elements);
    std::size_t lineStart(std::size_t pos) const;
    // The end of the line holding `pos`: past its line break when that ends a
    // plain paragraph, at the break when it ends a table cell or row.
    std::size_t lineEnd(std::size_t pos) const;

    rtf::RtfDocument doc_;
    std::vector<rtf::Element> buffer_;
    std::size_t caret_ = 0;
    std::size_t selStart_ = 0, selEnd_ = 0;
};

}  // namespace zelmora
