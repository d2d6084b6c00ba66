#include "gui/reports/report_doc.h"

#include <QAbstractTextDocumentLayout>
#include <QTextFrame>

#include "reports/rtf_reader.h"
#include "reports/rtf_text_document.h"
#include "reports/rtf_writer.h"

namespace zelmora::gui {

CReportDoc::CReportDoc(rtf::RtfDocument rich) : original_(std::move(rich)), dpi_(rtf::layoutDpi()) {
    text_ = rtf::toTextDocument(original_, dpi_);
    // The paper is white in the window's grey.
    QTextFrameFormat root = text_->rootFrame()->frameFormat();
    root.setBackground(Qt::white);
    text_->rootFrame()->setFrameFormat(root);
    // "Отменить" in the window undoes the operator's edits, not the making
    // of the report.
    text_->clearUndoRedoStacks();
    text_->setModified(false);
}

CReportDoc::~CReportDoc() = default;

Result<std::unique_ptr<CReportDoc>> CReportDoc::open(const std::filesystem::path& file) {
    Result<rtf::RtfDocument> read = rtf::readRtfFile(file);
    if (!read.ok())
        return Status::failure(read.message());
    auto doc = std::make_unique<CReportDoc>(std::move(*read));
    doc->path_ = file;
    return doc;
}

QSizeF CReportDoc::paper() const {
    return rtf::paperSize(original_.page, dpi_);
}

rtf::RtfDocument CReportDoc::richText() const {
    if (!text_->isModified())
        return original_;
    return rtf::fromTextDocument(*text_, dpi_, original_.page);
}

Status CReportDoc::saveRtf(const std::filesystem::path& file) {
    rtf::RtfDocument rich = richText();
    if (const Status written = rtf::writeRtfFile(rich, file); !written)
        return written;
    // What is in the file is the report from now on.
    original_ = std::move(rich);
    path_ = file;
    text_->setModified(false);
    return {};
}

Status CReportDoc::savePdf(const std::filesystem::path& file) const {
    return rtf::writePdf(*text_, original_.page, QString::fromStdString(file.string()));
}

int CReportDoc::paint(QPagedPaintDevice& device) const {
    return rtf::paintPages(*text_, paper(), device);
}

int CReportDoc::pageCount() const {
    std::unique_ptr<QTextDocument> copy(text_->clone());
    copy->setPageSize(paper());
    return copy->pageCount();
}

}  // namespace zelmora::gui
