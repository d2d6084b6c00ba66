#pragma once
// The report of a chromatogram in the desktop program: the report page of
// the chromatogram's method (or of the program's default method when it has
// none), asked in "Параметры отчёта" when the operator made the report and
// the option "CheckViewReport" is on, the laboratory's form filled with the
// chromatogram, its peaks, the units of the components from the analyses
// database and the chromatogram picture, shown in a report window titled
// "Отчёт по <chromatogram>".
//
// The report request of a recording (set when the method asks for an
// automatic report): 0 is the operator's report (the dialog), 1 opens the
// report without asking, 2 opens it, prints it on the default printer without
// the printer dialog and closes it, 3 (generate and print) prints it and
// leaves it open. A report printed automatically that the printer did not
// take stays open, so that nothing is lost; the work log says why.
//
// Everything runs on the user-interface thread.

#include <QString>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/program_settings.h"
#include "app/result.h"
#include "method/method_records.h"
#include "reports/chromatogram_report_maker.h"
#include "reports/rtf_document.h"

class QWidget;

namespace zelmora {
class CZelmoraDoc;
}
namespace zelmora::db {
class CAnalysesDatabase;
}

namespace zelmora::gui {

class CReportWnd;

// The report requests of a chromatogram (CZelmoraDoc::reportState).
inline constexpr int kReportInteractive = 0;
inline constexpr int kReportGenerate = 1;
inline constexpr int kReportPrintAndClose = 2;
inline constexpr int kReportGenerateAndPrint = 3;

using zelmora::ChromatogramReportContext;
using zelmora::makeChromatogramReport;
using zelmora::UnitLookup;

// The context of the desktop program: its folder, its options, the clock and
// the units of the analyses database when it is open.
ChromatogramReportContext programReportContext();

// The analyses database the units of the components are read from; null
// when there is none (then the units are left blank). Set by the program
// when it opens its database and cleared before it closes it.
void setReportDatabase(db::CAnalysesDatabase* database);
// The units of the components from that database; empty when it is closed
// or its table of components cannot be read.
UnitLookup databaseUnits();

struct ReportOutcome {
    CReportWnd* window = nullptr;  // the report window left open, or null
    bool made = false;             // the report was made
    bool printed = false;          // it went to the printer
};

// Makes the report of the chromatogram `doc` (whose window title is
// `chromatogramTitle`) for `request` and shows it in a report window of the
// work area that `near` belongs to. The operator cancelling "Параметры
// отчёта" makes no report; a form that cannot be read is shown to the
// operator (request 0) or written to the work log (the automatic requests).
ReportOutcome openChromatogramReport(QWidget* near, CZelmoraDoc& doc,
                                     const QString& chromatogramTitle, int request);

// The report a finished recording asks for when its method prints reports
// automatically: made, printed on the default printer without a dialog and
// closed (request 2).
inline ReportOutcome printReportAutomatically(QWidget* near, CZelmoraDoc& doc,
                                              const QString& chromatogramTitle) {
    return openChromatogramReport(near, doc, chromatogramTitle, kReportPrintAndClose);
}

}  // namespace zelmora::gui
