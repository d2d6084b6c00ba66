#include "gui/reports/chromatogram_report.h"

#include <QDialog>
#include <memory>

#include "app/paths.h"
#include "app/work_log.h"
#include "database/analyses_database.h"
#include "database/recordsets.h"
#include "document/zelmora_doc.h"
#include "gui/message_box.h"
#include "gui/reports/report_settings_dlg.h"
#include "gui/reports/report_wnd.h"
#include "method/document_method.h"
#include "processing/chromatogram_commands.h"
#include "reports/report_chrm.h"
#include "reports/report_pictures.h"

namespace zelmora::gui {

namespace {

// Used on the user-interface thread only.
db::CAnalysesDatabase* reportDatabase = nullptr;

}  // namespace

void setReportDatabase(db::CAnalysesDatabase* database) {
    reportDatabase = database;
}

UnitLookup databaseUnits() {
    if (reportDatabase == nullptr || !reportDatabase->isOpen())
        return {};
    // The table is read once per report: a report of many peaks asks it for
    // every one of them.
    auto table = std::make_shared<db::CParametrSet>(reportDatabase->connection());
    if (!table->open())
        return {};
    return [table](std::string_view component) -> std::optional<std::string> {
        if (const db::CParametrSet::Row* row = table->findName(component))
            return row->quant;
        return std::nullopt;
    };
}

ChromatogramReportContext programReportContext() {
    ChromatogramReportContext c;
    c.programFolder = paths::programFolder();
    c.options = programOptions();
    c.now = std::time(nullptr);
    c.unitOf = databaseUnits();
    return c;
}

ReportOutcome openChromatogramReport(QWidget* near, CZelmoraDoc& doc,
                                     const QString& chromatogramTitle, int request) {
    ReportOutcome outcome;
    Method* method = doc.hasMethod ? documentMethod(doc) : nullptr;
    ReportSettings settings = method != nullptr ? method->report : defaultMethod().report;
    if (request == kReportInteractive && programOptions().checkViewReport) {
        std::vector<std::string> components;
        if (method != nullptr)
            for (const MethodComponent& c : method->calculation.components)
                components.push_back(c.name);
        CReportSettingsDlg dialog(settings, components, near);
        if (dialog.exec() != QDialog::Accepted)
            return outcome;
        settings = dialog.result();
        // A chromatogram without a method keeps the choice for the next one.
        if (method == nullptr)
            defaultMethod().report = settings;
    }

    const QString title = QStringLiteral("Отчёт по %1").arg(chromatogramTitle);
    Result<rtf::RtfDocument> made = makeChromatogramReport(doc, settings, programReportContext());
    if (!made.ok()) {
        if (request == kReportInteractive) {
            showFailure(near, made.status(), QStringLiteral("Отчёт не сделан: %1"),
                        QMessageBox::Warning, title);
        } else {
            CWorkLog::instance().write("! " + title.toStdString() +
                                       ": отчёт не сделан: " + made.message());
        }
        return outcome;
    }
    outcome.made = true;
    outcome.window = showReport(near, std::move(*made), title);
    if (request == kReportPrintAndClose || request == kReportGenerateAndPrint) {
        outcome.printed = outcome.window->printWithoutDialog();
        if (request == kReportPrintAndClose && outcome.printed) {
            outcome.window->closeWithoutAsking();
            outcome.window = nullptr;
        }
    }
    return outcome;
}

}  // namespace zelmora::gui
