#include "gui/method/mtd_filtering_pg.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/number_edit.h"

namespace zelmora::gui {
namespace {
constexpr int kSpikeRemoval = 2;
constexpr const char* kKindNames[] = {"Нет", "Медианный", "Выбросы", "Гауссовский", "ФНЧ", "ФСП"};
}  // namespace

CMtdFilteringPg::CMtdFilteringPg(const FilterSettings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings) {
    auto* layout = new QHBoxLayout(this);
    auto* box = new QGroupBox(QStringLiteral("Способ &фильтрации"), this);
    auto* radios = new QVBoxLayout(box);
    kinds_ = new QButtonGroup(this);
    for (int k = 0; k < static_cast<int>(std::size(kKindNames)); ++k) {
        auto* b = new QRadioButton(QString::fromUtf8(kKindNames[k]), box);
        kinds_->addButton(b, k);
        radios->addWidget(b);
        b->setVisible(k != kSpikeRemoval || settings.kind == kSpikeRemoval);
    }
    radios->addStretch();
    layout->addWidget(box);

    auto* fields = new QGridLayout;
    auto* windowLabel = new QLabel(QStringLiteral("&Окно:"), this);
    window_ = new NumberEdit(0, 600, this);
    window_->setValue(settings.window);
    windowLabel->setBuddy(window_);
    fields->addWidget(windowLabel, 0, 0);
    fields->addWidget(window_, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("сек"), this), 0, 2);
    thresholdLabel_ = new QLabel(QStringLiteral("&Порог:"), this);
    threshold_ = new NumberEdit(0, 10, this);
    threshold_->setValue(settings.threshold);
    thresholdLabel_->setBuddy(threshold_);
    fields->addWidget(thresholdLabel_, 1, 0);
    fields->addWidget(threshold_, 1, 1);
    fields->setRowStretch(2, 1);
    layout->addLayout(fields);

    if (QAbstractButton* b = kinds_->button(settings.kind))
        b->setChecked(true);
    connect(kinds_, &QButtonGroup::idToggled, this, [this](int, bool) { updateEnabling(); });
    updateEnabling();
}

void CMtdFilteringPg::updateEnabling() {
    const bool spikes = kinds_->checkedId() == kSpikeRemoval;
    threshold_->setEnabled(spikes);
    thresholdLabel_->setEnabled(spikes);
}

bool CMtdFilteringPg::takeValues() {
    const std::optional<double> window = window_->take();
    if (!window)
        return false;
    const int kind = kinds_->checkedId();
    std::optional<double> threshold = settings_.threshold;
    if (kind == kSpikeRemoval) {
        threshold = threshold_->take();
        if (!threshold)
            return false;
    }
    if (kind >= 0)
        settings_.kind = kind;
    settings_.window = static_cast<float>(*window);
    settings_.threshold = static_cast<float>(*threshold);
    return true;
}

}  // namespace zelmora::gui
