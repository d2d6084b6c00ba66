#include "gui/reports/report_settings_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace zelmora::gui {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CReportSettingsDlg::CReportSettingsDlg(const ReportSettings& settings,
                                       const std::vector<std::string>& components, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Параметры отчёта"));
    auto* tabs = new QTabWidget(this);
    auto* page = new QWidget(tabs);
    tabs->addTab(page, QStringLiteral("Отчёт"));
    auto* grid = new QGridLayout(page);

    auto* sectionsBox = new QGroupBox(QStringLiteral("Разделы отчёта"), page);
    auto* sectionsLayout = new QVBoxLayout(sectionsBox);
    for (int i = 0; i < kReportSections; ++i) {
        sections_[i] = new QCheckBox(QString::fromUtf8(reportSectionName(i)), sectionsBox);
        sections_[i]->setChecked(settings.sections[static_cast<std::size_t>(i)]);
        sectionsLayout->addWidget(sections_[i]);
    }
    groups_ = new QCheckBox(QStringLiteral("Группы"), sectionsBox);
    groups_->setChecked(settings.groups);
    sectionsLayout->addWidget(groups_);
    calibration_ = new QCheckBox(QStringLiteral("Калибровка"), sectionsBox);
    calibration_->setChecked(settings.calibration);
    sectionsLayout->addWidget(calibration_);
    grid->addWidget(sectionsBox, 0, 0, 3, 1);

    auto* sizeBox = new QGroupBox(QStringLiteral("Размер хроматограммы"), page);
    auto* sizeLayout = new QVBoxLayout(sizeBox);
    chartSize_ = new QButtonGroup(this);
    const char* sizes[] = {"6 x 8 см", "9 x 12 см", "13.5 x 18 см"};
    for (int i = 0; i < 3; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(sizes[i]), sizeBox);
        chartSize_->addButton(b, i);
        sizeLayout->addWidget(b);
    }
    if (QAbstractButton* b = chartSize_->button(std::clamp(settings.chartSize, 0, 2)))
        b->setChecked(true);
    grid->addWidget(sizeBox, 0, 1);

    auto* labelBox = new QGroupBox(QStringLiteral("Подписи пиков"), page);
    auto* labelLayout = new QVBoxLayout(labelBox);
    labelNumber_ = new QCheckBox(QStringLiteral("Номер"), labelBox);
    labelNumber_->setChecked(settings.labelNumber);
    labelName_ = new QCheckBox(QStringLiteral("Название"), labelBox);
    labelName_->setChecked(settings.labelName);
    labelTime_ = new QCheckBox(QStringLiteral("Время выхода"), labelBox);
    labelTime_->setChecked(settings.labelTime);
    labelLayout->addWidget(labelNumber_);
    labelLayout->addWidget(labelName_);
    labelLayout->addWidget(labelTime_);
    grid->addWidget(labelBox, 1, 1);

    auto* orientationBox = new QGroupBox(QStringLiteral("Ориентация"), page);
    auto* orientationLayout = new QHBoxLayout(orientationBox);
    orientation_ = new QButtonGroup(this);
    const char* orientations[] = {"Горизонтально", "Вертикально"};
    for (int i = 0; i < 2; ++i) {
        auto* b = new QRadioButton(QString::fromUtf8(orientations[i]), orientationBox);
        orientation_->addButton(b, i);
        orientationLayout->addWidget(b);
    }
    if (QAbstractButton* b = orientation_->button(std::clamp(settings.orientation, 0, 1)))
        b->setChecked(true);
    grid->addWidget(orientationBox, 2, 1);

    auto* calibrationBox = new QGroupBox(QStringLiteral("Калибровка компонентов"), page);
    auto* calibrationLayout = new QVBoxLayout(calibrationBox);
    components_ = new QListWidget(calibrationBox);
    std::vector<std::pair<std::string, bool>> listed = settings.calibrationComponents;
    for (const std::string& name : components) {
        bool known = false;
        for (const auto& entry : listed)
            known = known || entry.first == name;
        if (!known)
            listed.emplace_back(name, false);
    }
    for (const auto& [name, ticked] : listed) {
        auto* item = new QListWidgetItem(q(name), components_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }
    calibrationLayout->addWidget(components_);
    grid->addWidget(calibrationBox, 0, 2, 3, 1);
    // The list matters only for the calibration part.
    components_->setEnabled(settings.calibration);
    connect(calibration_, &QCheckBox::toggled, components_, &QWidget::setEnabled);

    auto* autoBox = new QGroupBox(QStringLiteral("После записи хроматограммы"), page);
    auto* autoLayout = new QVBoxLayout(autoBox);
    autoGenerate_ = new QCheckBox(QStringLiteral("Автоматически генерировать отчет"), autoBox);
    autoGenerate_->setChecked(settings.autoGenerate);
    autoPrint_ = new QCheckBox(QStringLiteral("Автоматически печатать отчет"), autoBox);
    autoPrint_->setChecked(settings.autoPrint);
    autoExport_ = new QCheckBox(QStringLiteral("Автоматически экспортировать отчет"), autoBox);
    autoExport_->setChecked(settings.autoExport);
    autoLayout->addWidget(autoGenerate_);
    autoLayout->addWidget(autoPrint_);
    autoLayout->addWidget(autoExport_);
    grid->addWidget(autoBox, 3, 0, 1, 3);

    // A property sheet without an apply button.
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

ReportSettings CReportSettingsDlg::result() const {
    ReportSettings r = settings_;
    for (int i = 0; i < kReportSections; ++i)
        r.sections[static_cast<std::size_t>(i)] = sections_[i]->isChecked();
    r.chartSize = std::max(0, chartSize_->checkedId());
    r.orientation = std::max(0, orientation_->checkedId());
    r.labelNumber = labelNumber_->isChecked();
    r.labelName = labelName_->isChecked();
    r.labelTime = labelTime_->isChecked();
    r.groups = groups_->isChecked();
    r.calibration = calibration_->isChecked();
    r.autoGenerate = autoGenerate_->isChecked();
    r.autoPrint = autoPrint_->isChecked();
    r.autoExport = autoExport_->isChecked();
    r.calibrationComponents.clear();
    for (int i = 0; i < components_->count(); ++i) {
        const QListWidgetItem* item = components_->item(i);
        r.calibrationComponents.emplace_back(item->text().toStdString(),
                                             item->checkState() == Qt::Checked);
    }
    return r;
}

}  // namespace zelmora::gui
