#pragma once
// A report's rich text shown and printed through Qt: turned into a
// QTextDocument for the report window, and laid out on the pages of a printer
// or a PDF file with the report's paper size and margins.
//
// Paragraph and character formats, tab stops, tables (rows of one table with
// different cell edges share the columns between all their edges, a wider
// cell spanning several) with their cell borders and shading, and PNG or JPEG
// pictures at their size are shown; raw RTF the program does not understand
// (headers, fields, bookmarks) is not shown, and a picture in a format Qt
// cannot draw is shown as an empty frame of its size.

#include <QString>
#include <QTextDocument>
#include <memory>

#include "app/result.h"
#include "reports/rtf_document.h"

class QPagedPaintDevice;

namespace zelmora::rtf {

// The text document with lengths in pixels of `dpi` dots per inch, its page
// size set to the report's paper so that it lays out in pages.
std::unique_ptr<QTextDocument> toTextDocument(const RtfDocument& doc, double dpi);

// The resolution Qt lays text out at when no paint device is given (the
// screen's): the one a report window shows its text at.
double layoutDpi();

// The paper of a report in pixels of `dpi` dots per inch, turned for a
// landscape page.
QSizeF paperSize(const PageSetup& page, double dpi);

// The rich text of a report as it stands in a text document (after the
// operator edited it in the report window): paragraphs with their alignment,
// indents, spacing and tab stops, characters with their font, size, weight,
// slant, underline and colours, tables with their cells, borders and shading,
// and pictures as PNG at their size. Lengths in the text document are pixels
// of `dpi` dots per inch; the page setup is taken as given. Raw RTF that the
// text document cannot hold (headers, fields, bookmarks) is not there.
RtfDocument fromTextDocument(const QTextDocument& text, double dpi, const PageSetup& page);

// Lays the report out on the device's pages (a QPrinter or a QPdfWriter,
// already given its page size) and paints them; the number of pages.
int paintPages(const RtfDocument& doc, QPagedPaintDevice& device);
// The same for a text document laid out at layoutDpi() whose page is `paper`
// pixels (the report window's text); the document itself is not changed.
int paintPages(const QTextDocument& text, QSizeF paper, QPagedPaintDevice& device);

// Writes the report as a PDF file with the report's paper size, through a
// temporary file renamed over the target.
Status writePdf(const RtfDocument& doc, const QString& path);
// The same for a report window's text document (see paintPages).
Status writePdf(const QTextDocument& text, const PageSetup& page, const QString& path);

}  // namespace zelmora::rtf
