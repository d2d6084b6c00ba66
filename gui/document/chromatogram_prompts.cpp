#include "gui/document/chromatogram_prompts.h"

#include <QDialog>
#include <QStringList>

#include "app/program_settings.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/document/passport_dlg.h"
#include "gui/file_dialogs.h"
#include "gui/method/add_event_dlg.h"
#include "gui/method/method_sheet_dlg.h"
#include "gui/method/mtd_filtering_pg.h"
#include "gui/method/mtd_peeks_pg.h"
#include "gui/method/single_page_sheet.h"

namespace zelmora::gui {

int ChromatogramPrompts::run(QDialog& dialog) {
    return runDialog ? runDialog(dialog) : dialog.exec();
}

bool ChromatogramPrompts::editFilter(FilterSettings& settings) {
    auto* page = new CMtdFilteringPg(settings);
    CSinglePageSheet sheet(
        QStringLiteral("Фильтрация хромотограммы"), page, QStringLiteral("Фильтрация"),
        [page] { return page->takeValues(); }, owner_);
    if (run(sheet) != QDialog::Accepted)
        return false;
    settings = page->settings();
    return true;
}

bool ChromatogramPrompts::editMarking(MarkingParameters& parameters) {
    auto* page = new CMtdPeeksPg(parameters);
    page->setTrace(trace_);
    CSinglePageSheet sheet(
        QStringLiteral("Авторазметка"), page, QStringLiteral("Авторазметка"),
        [page] { return page->takeValues(); }, owner_);
    if (run(sheet) != QDialog::Accepted)
        return false;
    parameters = page->parameters();
    return true;
}

bool ChromatogramPrompts::editEvent(EventRequest& request) {
    CAddEventDlg dlg(CAddEventDlg::Mode::Interval, owner_);
    dlg.setFrom(request.from);
    dlg.setTo(request.to);
    dlg.setChoice(request.choice);
    dlg.setValue(request.value);
    if (run(dlg) != QDialog::Accepted)
        return false;
    request.from = dlg.from();
    request.to = dlg.to();
    request.choice = dlg.choice();
    request.value = dlg.value();
    return true;
}

bool ChromatogramPrompts::editPassport(CZelmoraDoc& doc) {
    CPassportDlg dlg(doc, passportCatalogue(), owner_);
    return run(dlg) == QDialog::Accepted;
}

SheetClose ChromatogramPrompts::showMethodSheet(CMethodSheet& sheet, int page) {
    CMethodSheetDlg dlg(sheet, programOptions().accessLevel, owner_, page);
    const int result = run(dlg);
    if (result == static_cast<int>(MethodSheetResult::Ok))
        return SheetClose::Ok;
    if (result == static_cast<int>(MethodSheetResult::SavedAs) || sheet.newNameFlag())
        return SheetClose::SavedAs;
    return SheetClose::Cancel;
}

std::optional<std::filesystem::path> ChromatogramPrompts::chooseChromatogram() {
    const std::vector<std::filesystem::path> files =
        BrowseChromatograms(CChromatogramBrowserDlg::OneFile, owner_);
    if (files.empty())
        return std::nullopt;
    return files.front();
}

// "label|pattern|label|pattern||" as Qt's "label;;label" (the labels name
// their patterns already).
QString qtFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(u'|', Qt::SkipEmptyParts);
    QStringList labels;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        labels << parts[i];
    return labels.join(QStringLiteral(";;"));
}

std::optional<std::filesystem::path> ChromatogramPrompts::chooseSaveFile(
    const SaveFileRequest& request) {
    FileRequest r;
    r.parent = owner_;
    r.save = true;
    r.caption = QString::fromStdString(request.title);
    r.start = QString::fromStdString((request.initialFolder / request.fileName).string());
    r.filter = qtFilter(request.filter);
    r.defaultSuffix = QString::fromStdString(request.defaultExtension);
    const QString file = chooseFile(r);
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

}  // namespace zelmora::gui
