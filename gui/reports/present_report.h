#pragma once
// Showing a finished report to the operator. Until reports open in a window
// of their own, a report is saved where the operator chooses: as rich text
// (".rtf", opens in any word processor), as PDF, or — for the database
// reports — as CSV for a spreadsheet. Every report of the statistics and
// database windows goes through this one function, so that the way a report
// is shown changes in one place.

#include <QString>
#include <optional>
#include <string>

#include "reports/rtf_document.h"

class QWidget;

namespace zelmora::gui {

struct ReportExtras {
    QString suggestedFile;           // proposed path, without or with an extension
    std::optional<std::string> csv;  // the rows as CSV, offered as a third format
};

// Asks for the file and writes the report in the format of its extension
// (".pdf", ".csv" when offered, RTF otherwise). False when cancelled or when
// writing failed (the operator has been told why).
bool presentReport(QWidget* parent, const rtf::RtfDocument& report, const QString& title,
                   const ReportExtras& extras = {});

}  // namespace zelmora::gui
