#include "gui/method/mtd_report.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QRadioButton>
#include <QVBoxLayout>

#include "method/method_editing.h"

namespace zelmora::gui {
namespace {

QCheckBox* checkBox(const char* text, bool checked, QWidget* parent) {
    auto* b = new QCheckBox(QString::fromUtf8(text), parent);
    b->setChecked(checked);
    return b;
}

QButtonGroup* radios(std::initializer_list<const char*> texts, int checked, QGroupBox* box,
                     QWidget* owner) {
    auto* group = new QButtonGroup(owner);
    auto* layout = new QVBoxLayout(box);
    int id = 0;
    for (const char* t : texts) {
        auto* b = new QRadioButton(QString::fromUtf8(t), box);
        group->addButton(b, id++);
        layout->addWidget(b);
    }
    if (QAbstractButton* b = group->button(checked))
        b->setChecked(true);
    return group;
}

}  // namespace

CMtdReport::CMtdReport(ReportSettings& report, const CalculationSettings& calculation,
                       QWidget* parent)
    : QWidget(parent), report_(report), calculation_(calculation) {
    auto* layout = new QHBoxLayout(this);

    auto* sectionBox = new QGroupBox(QStringLiteral("Разделы"), this);
    auto* sectionLayout = new QVBoxLayout(sectionBox);
    for (int i = 0; i < kReportSections; ++i) {
        sections_[i] = checkBox(reportSectionName(i), report.sections[i], sectionBox);
        sectionLayout->addWidget(sections_[i]);
    }
    groups_ = checkBox("Группы", report.groups, sectionBox);
    sectionLayout->addWidget(groups_);
    sectionLayout->addStretch();
    layout->addWidget(sectionBox);

    auto* middle = new QVBoxLayout;
    auto* sizeBox = new QGroupBox(QStringLiteral("Размер хроматограммы"), this);
    chartSizes_ =
        radios({"6 x 8 см", "9 x 12 см", "13.5 x 18 см"}, report.chartSize, sizeBox, this);
    middle->addWidget(sizeBox);
    auto* labelBox = new QGroupBox(QStringLiteral("Метки пиков"), this);
    auto* labelLayout = new QVBoxLayout(labelBox);
    labelNumber_ = checkBox("Номер", report.labelNumber, labelBox);
    labelName_ = checkBox("Название", report.labelName, labelBox);
    labelTime_ = checkBox("Время выхода", report.labelTime, labelBox);
    labelLayout->addWidget(labelNumber_);
    labelLayout->addWidget(labelName_);
    labelLayout->addWidget(labelTime_);
    middle->addWidget(labelBox);
    auto* orientationBox = new QGroupBox(QStringLiteral("Ориентация"), this);
    orientations_ =
        radios({"Горизонтально", "Вертикально"}, report.orientation, orientationBox, this);
    middle->addWidget(orientationBox);
    middle->addStretch();
    layout->addLayout(middle);

    auto* right = new QVBoxLayout;
    calibration_ = checkBox("Калибровка", report.calibration, this);
    components_ = new QListWidget(this);
    components_->setSelectionMode(QAbstractItemView::MultiSelection);
    right->addWidget(calibration_);
    right->addWidget(components_, 1);
    autoGenerate_ = checkBox("Автоматически генерировать отчет", report.autoGenerate, this);
    autoPrint_ = checkBox("Автоматически печатать отчет", report.autoPrint, this);
    autoExport_ = checkBox("Автоматически экспортировать отчет", report.autoExport, this);
    right->addWidget(autoGenerate_);
    right->addWidget(autoPrint_);
    right->addWidget(autoExport_);
    layout->addLayout(right, 1);

    connect(calibration_, &QCheckBox::toggled, components_, &QWidget::setEnabled);
    components_->setEnabled(report.calibration);
    connect(components_, &QListWidget::itemSelectionChanged, this, [this] {
        const int n = components_->count();
        for (int i = 0; i < n && i < int(report_.calibrationComponents.size()); ++i)
            report_.calibrationComponents[i].second = components_->item(i)->isSelected();
    });
}

void CMtdReport::activated() {
    rebuildCalibrationComponents(report_, calculation_);
    const QSignalBlocker block(components_);
    components_->clear();
    for (const auto& [name, flag] : report_.calibrationComponents) {
        auto* item = new QListWidgetItem(QString::fromStdString(name), components_);
        item->setSelected(flag);
    }
}

bool CMtdReport::takeValues() {
    for (int i = 0; i < kReportSections; ++i)
        report_.sections[i] = sections_[i]->isChecked();
    if (chartSizes_->checkedId() >= 0)
        report_.chartSize = chartSizes_->checkedId();
    report_.labelNumber = labelNumber_->isChecked();
    report_.labelName = labelName_->isChecked();
    report_.labelTime = labelTime_->isChecked();
    report_.groups = groups_->isChecked();
    report_.calibration = calibration_->isChecked();
    report_.autoGenerate = autoGenerate_->isChecked();
    report_.autoPrint = autoPrint_->isChecked();
    report_.autoExport = autoExport_->isChecked();
    if (orientations_->checkedId() >= 0)
        report_.orientation = orientations_->checkedId();
    return true;
}

}  // namespace zelmora::gui
