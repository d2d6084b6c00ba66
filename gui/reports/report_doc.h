#pragma once
// A report as the laboratory sees it in its window: the rich text of a
// filled report form (or of a report saved before), shown and edited as a
// text document at the screen's resolution, one page wide. What was made or
// read is kept as it came, so that a report saved without edits keeps every
// word the word processor had put in its form (headers, fields, bookmarks);
// once the operator has edited it, the edited text is what is saved, printed
// and written as PDF.
//
// Printing and the PDF lay the text out on the report's paper with the
// report's margins, whatever size its window has.

#include <QTextDocument>
#include <filesystem>
#include <memory>

#include "app/result.h"
#include "reports/rtf_document.h"

class QPagedPaintDevice;

namespace zelmora::gui {

class CReportDoc {
  public:
    // A report made by the program; it has no file yet.
    explicit CReportDoc(rtf::RtfDocument rich);
    // A report saved before (an ".rtf" file); the failure names the file.
    static Result<std::unique_ptr<CReportDoc>> open(const std::filesystem::path& file);

    CReportDoc(const CReportDoc&) = delete;
    CReportDoc& operator=(const CReportDoc&) = delete;
    ~CReportDoc();

    // The text the window shows and edits; owned here.
    QTextDocument* text() const { return text_.get(); }
    const rtf::PageSetup& page() const { return original_.page; }
    // The paper in pixels of the text's layout.
    QSizeF paper() const;
    // The text's width on the page: the window wraps its lines there.
    double paperWidth() const { return paper().width(); }

    // The report's rich text now: as made or read while nobody edited it,
    // the edited text afterwards.
    rtf::RtfDocument richText() const;
    // The text was edited since it was made, read or last saved.
    bool isEdited() const { return text_->isModified(); }

    // The file the report was read from or last saved to as RTF; empty for
    // a report not saved yet.
    const std::filesystem::path& pathName() const { return path_; }

    // Writes the report as RTF through a temporary file renamed over the
    // target; afterwards the report belongs to that file and counts as saved.
    Status saveRtf(const std::filesystem::path& file);
    // Writes the report as PDF (the same way); the report keeps its file.
    Status savePdf(const std::filesystem::path& file) const;

    // Lays the report out on the device's pages (a printer or a PDF writer
    // of the report's paper) and paints them; the number of pages.
    int paint(QPagedPaintDevice& device) const;
    int pageCount() const;

  private:
    rtf::RtfDocument original_;
    std::unique_ptr<QTextDocument> text_;
    std::filesystem::path path_;
    double dpi_ = 96;
};

}  // namespace zelmora::gui
