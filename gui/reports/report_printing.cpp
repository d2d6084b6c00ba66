#include "gui/reports/report_printing.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include "gui/reports/report_doc.h"
#include "reports/rtf_text_document.h"

namespace zelmora::gui {
namespace {

bool desktopPrinter(QPrinter& printer, bool withDialog, QWidget* parent, QString& reason) {
    if (withDialog) {
        QPrintDialog dialog(&printer, parent);
        dialog.setWindowTitle(QStringLiteral("Печать"));
        return dialog.exec() == QDialog::Accepted;
    }
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        reason = QStringLiteral("Принтер по умолчанию не установлен.");
        return false;
    }
    printer.setPrinterName(info.printerName());
    return true;
}

PrinterSetup& currentSetup() {
    static PrinterSetup setup = desktopPrinter;
    return setup;
}

}  // namespace

ScopedPrinterSetup::ScopedPrinterSetup(PrinterSetup setup) : previous_(std::move(currentSetup())) {
    currentSetup() = std::move(setup);
}

ScopedPrinterSetup::~ScopedPrinterSetup() {
    currentSetup() = std::move(previous_);
}

PrintOutcome printReport(const CReportDoc& report, const QString& title, bool withDialog,
                         QWidget* parent) {
    PrintOutcome outcome;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(title);
    printer.setCreator(QStringLiteral("Zelmora"));
    // The report's own margins are in its text: the whole sheet is the page.
    const QSizeF mm = rtf::paperSize(report.page(), 25.4);
    const bool landscape = mm.width() > mm.height();
    const QSizeF portrait = landscape ? mm.transposed() : mm;
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(QPageSize(portrait, QPageSize::Millimeter),
                                      landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                                      QMarginsF(0, 0, 0, 0)));
    QString reason;
    if (!currentSetup()(printer, withDialog, parent, reason)) {
        outcome.failure = reason;
        return outcome;
    }
    outcome.pages = report.paint(printer);
    outcome.printed = outcome.pages > 0;
    if (!outcome.printed)
        outcome.failure = QStringLiteral("Принтер не принял задание.");
    return outcome;
}

}  // namespace zelmora::gui
