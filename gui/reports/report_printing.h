#pragma once
// Printing a report: the printer is set to the report's paper, then either
// the desktop's printer dialog lets the operator choose the printer, the
// copies and the pages, or (a report printed automatically after a
// recording) the default printer is taken as it is. The choice goes through
// one function that the tests replace, so that they print into a PDF file
// without a printer and without a window.

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace zelmora::gui {

class CReportDoc;

// Prepares `printer` (already set to the report's paper): with
// `withDialog` the printer dialog, else the default printer. False when the
// operator cancelled or there is no printer to print on; `reason` then says
// why when it was not the operator's choice.
using PrinterSetup =
    std::function<bool(QPrinter& printer, bool withDialog, QWidget* parent, QString& reason)>;

// Puts `setup` in place of the dialog and the default printer for as long
// as it lives.
class ScopedPrinterSetup {
  public:
    explicit ScopedPrinterSetup(PrinterSetup setup);
    ~ScopedPrinterSetup();
    ScopedPrinterSetup(const ScopedPrinterSetup&) = delete;
    ScopedPrinterSetup& operator=(const ScopedPrinterSetup&) = delete;

  private:
    PrinterSetup previous_;
};

struct PrintOutcome {
    bool printed = false;
    int pages = 0;
    QString failure;  // empty when printed or cancelled by the operator
};

// Prints the report under the print job's name `title`.
PrintOutcome printReport(const CReportDoc& report, const QString& title, bool withDialog,
                         QWidget* parent);

}  // namespace zelmora::gui
