#include "gui/method/method_sheet_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/program_settings.h"
#include "gui/file_dialogs.h"
#include "gui/message_box.h"
#include "gui/method/modal_runner.h"
#include "gui/method/mtd_capture.h"
#include "gui/method/mtd_components.h"
#include "gui/method/mtd_dop_calc.h"
#include "gui/method/mtd_filtering_pg.h"
#include "gui/method/mtd_info_pg.h"
#include "gui/method/mtd_peek_group_pg.h"
#include "gui/method/mtd_peeks_pg.h"
#include "gui/method/mtd_report.h"
#include "gui/number_edit.h"

namespace zelmora::gui {

CMethodSheetDlg::CMethodSheetDlg(CMethodSheet& sheet, int accessLevel, QWidget* parent, int page)
    : QDialog(parent), sheet_(sheet), previousPrompts_(sheet.prompts()), accessLevel_(accessLevel) {
    sheet_.clearNewNameFlag();
    sheet_.setPrompts(this);
    Method& m = sheet_.method();

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    info_ = new CMtdInfoPg(m.info);
    capture_ = new CMtdCapture(m);
    filtering_ = new CMtdFilteringPg(m.filter);
    marking_ = new CMtdPeeksPg(m.marking);
    components_ = new CMtdComponents(m.calculation, sheet_.name());
    report_ = new CMtdReport(m.report, m.calculation);
    extra_ = new CMtdDopCalc(m.extra);
    groups_ = new CMtdPeekGroupPg(m.groups, m.calculation);
    tabs_->addTab(info_, QStringLiteral("Информация"));
    tabs_->addTab(capture_, QStringLiteral("Сбор данных"));
    tabs_->addTab(filtering_, QStringLiteral("Фильтрация"));
    tabs_->addTab(marking_, QStringLiteral("Авторазметка"));
    tabs_->addTab(components_, QStringLiteral("Расчёт"));
    tabs_->addTab(report_, QStringLiteral("Отчёт"));
    tabs_->addTab(extra_, QStringLiteral("Доп. расчёт"));
    tabs_->addTab(groups_, QStringLiteral("Группы"));
    layout->addWidget(tabs_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("&Отмена"), this);
    saveAs_ = new QPushButton(QStringLiteral("Записать как"), this);
    for (QPushButton* b : {ok_, cancel_, saveAs_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    const bool maySave = methodSaveRule(accessLevel_) != MethodSaveRule::Refused;
    ok_->setEnabled(maySave);
    saveAs_->setEnabled(maySave);

    connect(ok_, &QPushButton::clicked, this, &CMethodSheetDlg::pressOk);
    connect(cancel_, &QPushButton::clicked, this, &CMethodSheetDlg::pressCancel);
    connect(saveAs_, &QPushButton::clicked, this, &CMethodSheetDlg::saveAs);

    shownPage_ = page >= 0 && page < tabs_->count() ? page : 0;
    tabs_->setCurrentIndex(shownPage_);
    connect(tabs_, &QTabWidget::currentChanged, this, &CMethodSheetDlg::pageChanged);
    if (shownPage_ == kComponents)
        components_->activated();
    else if (shownPage_ == kReport)
        report_->activated();
    else if (shownPage_ == kGroups)
        groups_->activated();
    updateCaption();
    resize(760, 560);
}

CMethodSheetDlg::~CMethodSheetDlg() {
    sheet_.setPrompts(previousPrompts_);
}

void CMethodSheetDlg::updateCaption() {
    setWindowTitle(QString::fromStdString(sheet_.caption()));
}

bool CMethodSheetDlg::takeCurrentPage() {
    Method& m = sheet_.method();
    switch (shownPage_) {
        case kInfo:
            return info_->takeValues();
        case kCapture:
            return capture_->takeValues();
        case kFiltering:
            if (!filtering_->takeValues())
                return false;
            m.filter = filtering_->settings();
            return true;
        case kMarking:
            if (!marking_->takeValues())
                return false;
            m.marking = marking_->parameters();
            return true;
        case kComponents:
            return components_->takeValues();
        case kReport:
            return report_->takeValues();
        case kExtra:
            return extra_->takeValues();
        default:
            return true;
    }
}

void CMethodSheetDlg::pageChanged(int index) {
    if (switching_)
        return;
    if (!takeCurrentPage()) {
        // The page left holds a value out of range: it stays shown.
        switching_ = true;
        tabs_->setCurrentIndex(shownPage_);
        switching_ = false;
        return;
    }
    shownPage_ = index;
    if (index == kComponents)
        components_->activated();
    else if (index == kReport)
        report_->activated();
    else if (index == kGroups)
        groups_->activated();
}

bool CMethodSheetDlg::showPage(int page) {
    tabs_->setCurrentIndex(page);
    return shownPage_ == page;
}

void CMethodSheetDlg::finish(MethodSheetResult result) {
    done(static_cast<int>(result));
}

void CMethodSheetDlg::pressOk() {
    const MethodSaveRule rule = methodSaveRule(accessLevel_);
    if (rule == MethodSaveRule::Refused) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = QString::fromUtf8(kBeginnerMaySaveNot);
        showMessage(r);
        pressCancel();
        return;
    }
    if (!takeCurrentPage())
        return;
    if (rule == MethodSaveRule::Ask) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = QString::fromUtf8(kAskSaveMethod);
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        r.defaultButton = QMessageBox::No;
        if (showMessage(r) != QMessageBox::Yes) {
            // Nothing is written: the sheet ends as Cancel ends it.
            pressCancel();
            return;
        }
    }
    if (!sheet_.SaveMethod())
        return;
    updateCaption();
    finish(sheet_.newNameFlag() ? MethodSheetResult::SavedAs : MethodSheetResult::Ok);
}

void CMethodSheetDlg::pressCancel() {
    finish(sheet_.newNameFlag() ? MethodSheetResult::SavedAs : MethodSheetResult::Cancelled);
}

void CMethodSheetDlg::reject() {
    pressCancel();
}

bool CMethodSheetDlg::saveAs() {
    if (methodSaveRule(accessLevel_) == MethodSaveRule::Refused)
        return false;
    if (!takeCurrentPage())
        return false;
    if (!sheet_.SaveMethodAs())
        return false;
    // The save may have lengthened the analysis time to the instrument's
    // temperature programme; the page shows what was saved.
    capture_->analysisTime()->setValue(sheet_.method().capture.analysisTime);
    updateCaption();
    return true;
}

bool CMethodSheetDlg::askOkCancel(const std::string& text, const std::string& caption) {
    MessageRequest r;
    r.parent = this;
    r.icon = QMessageBox::Warning;
    r.caption = QString::fromStdString(caption);
    r.text = QString::fromStdString(text);
    r.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    return showMessage(r) == QMessageBox::Ok;
}

void CMethodSheetDlg::showError(const std::string& text) {
    MessageRequest r;
    r.parent = this;
    r.icon = QMessageBox::Warning;
    r.text = QString::fromStdString(text);
    showMessage(r);
}

std::optional<std::filesystem::path> CMethodSheetDlg::askSaveFile(
    const std::filesystem::path& folder, const std::string&, const std::string& defaultExtension) {
    FileRequest r;
    r.parent = this;
    r.save = true;
    r.caption = QStringLiteral("Записать как");
    r.start = QString::fromStdString(folder.string());
    r.filter = QStringLiteral("Метод (*.mtd)");
    r.defaultSuffix = QString::fromStdString(defaultExtension);
    const QString file = chooseFile(r);
    if (file.isEmpty())
        return std::nullopt;
    return std::filesystem::path(file.toStdString());
}

MethodSheetResult runMethodSheet(CMethodSheet& sheet, int page, QWidget* parent) {
    CMethodSheetDlg dlg(sheet, programOptions().accessLevel, parent, page);
    const int result = runModal(dlg);
    if (result == static_cast<int>(MethodSheetResult::Ok) ||
        result == static_cast<int>(MethodSheetResult::SavedAs))
        return static_cast<MethodSheetResult>(result);
    return sheet.newNameFlag() ? MethodSheetResult::SavedAs : MethodSheetResult::Cancelled;
}

}  // namespace zelmora::gui
