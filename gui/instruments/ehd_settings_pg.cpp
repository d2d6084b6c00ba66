#include "gui/instruments/ehd_settings_pg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "app/program_settings.h"
#include "gui/file_dialogs.h"
#include "gui/message_box.h"
#include "gui/method/method_chooser.h"
#include "instruments/ehd_detector.h"
#include "method/method_sheet.h"

namespace zelmora::gui {

namespace {

QDoubleSpinBox* numberBox(QWidget* parent, double lo, double hi, double step, int decimals,
                          const QString& suffix) {
    auto* b = new QDoubleSpinBox(parent);
    b->setRange(lo, hi);
    b->setSingleStep(step);
    b->setDecimals(decimals);
    b->setSuffix(suffix);
    return b;
}

// The value the detector will work with, as the page shows it.
double onGrid(double v, double step) {
    return roundUpToStep(v, step);
}

}  // namespace

double roundUpToStep(double value, double step) {
    // A value already on the step (up to the binary fraction's error) stays.
    return step * std::ceil(value / step - 1e-9);
}

CEhdSettingsPage::CEhdSettingsPage(CEhdDetector* device, QWidget* parent)
    : QWidget(parent), device_(device) {
    auto* modeBox = new QGroupBox(QStringLiteral("Режим работы детектора"), this);
    auto* modeLayout = new QVBoxLayout(modeBox);
    mode_ = new QButtonGroup(this);
    const QStringList modes = {QStringLiteral("Пост. токовый ЭХД"),
                               QStringLiteral("Импульсный ЭХД"), QStringLiteral("Кондуктометр")};
    for (int i = 0; i < modes.size(); ++i) {
        auto* r = new QRadioButton(modes[i], modeBox);
        mode_->addButton(r, i);
        modeLayout->addWidget(r);
    }
    auto* rangeBox = new QGroupBox(QStringLiteral("Диапазон"), this);
    auto* rangeLayout = new QVBoxLayout(rangeBox);
    range_ = new QButtonGroup(this);
    const QStringList ranges = {QStringLiteral("Точный"), QStringLiteral("Грубый")};
    for (int i = 0; i < ranges.size(); ++i) {
        auto* r = new QRadioButton(ranges[i], rangeBox);
        range_->addButton(r, i);
        rangeLayout->addWidget(r);
    }
    rangeLayout->addStretch();

    detectorTemperature_ = numberBox(this, 0, 50, 0.1, 1, QStringLiteral(" °C"));
    columnTemperature_ = numberBox(this, 0, 50, 0.1, 1, QStringLiteral(" °C"));
    detectorMeasured_ = new QLabel(this);
    columnMeasured_ = new QLabel(this);
    measuringPotential_ = numberBox(this, -2.5, 2.5, 0.01, 2, QStringLiteral(" В"));
    cleaningPotential_ = numberBox(this, -2.5, 2.5, 0.01, 2, QStringLiteral(" В"));
    restoringPotential_ = numberBox(this, -2.5, 2.5, 0.01, 2, QStringLiteral(" В"));
    delayTime_ = numberBox(this, 0, 800, 40, 0, QStringLiteral(" с"));
    cleaningTime_ = numberBox(this, 0, 800, 40, 0, QStringLiteral(" с"));
    restoringTime_ = numberBox(this, 0, 800, 40, 0, QStringLiteral(" с"));
    detectorThermostat_ = new QCheckBox(QStringLiteral("Использовать термостат детектора"), this);
    columnThermostat_ = new QCheckBox(QStringLiteral("Использовать термостат колонок"), this);
    invert_ = new QCheckBox(QStringLiteral("Инвертировать сигнал"), this);
    adc_ = new QLabel(this);
    scale_ = new QLabel(this);
    status_ = new QLabel(this);

    auto* grid = new QGridLayout;
    int row = 0;
    auto line = [&](const QString& label, QWidget* w, QWidget* extra = nullptr) {
        grid->addWidget(new QLabel(label, this), row, 0);
        grid->addWidget(w, row, 1);
        if (extra)
            grid->addWidget(extra, row, 2);
        ++row;
    };
    line(QStringLiteral("Температура детектора"), detectorTemperature_, detectorMeasured_);
    line(QStringLiteral("Температура колонок"), columnTemperature_, columnMeasured_);
    line(QStringLiteral("Напряжение рабочего электрода"), measuringPotential_);
    line(QStringLiteral("Напряжение очистки"), cleaningPotential_);
    line(QStringLiteral("Напряжение восстановления"), restoringPotential_);
    line(QStringLiteral("Время задержки"), delayTime_);
    line(QStringLiteral("Время очистки"), cleaningTime_);
    line(QStringLiteral("Время восстановления"), restoringTime_);
    line(QStringLiteral("Текущее значение АЦП"), adc_, scale_);

    apply_ = new QPushButton(QStringLiteral("Применить"), this);
    fromMethod_ = new QPushButton(QStringLiteral("<- Из метода"), this);
    toMethod_ = new QPushButton(QStringLiteral("-> В метод"), this);
    connect(apply_, &QPushButton::clicked, this, &CEhdSettingsPage::apply);
    connect(fromMethod_, &QPushButton::clicked, this, [this] {
        const std::string name = chooseMethod();
        if (!name.empty())
            copyFromMethod(name);
    });
    connect(toMethod_, &QPushButton::clicked, this, [this] {
        const std::string name = chooseMethod();
        if (!name.empty())
            copyToMethod(name);
    });

    auto* top = new QHBoxLayout;
    top->addWidget(modeBox);
    top->addWidget(rangeBox);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(apply_);
    buttons->addStretch();
    buttons->addWidget(fromMethod_);
    buttons->addWidget(toMethod_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid);
    layout->addWidget(detectorThermostat_);
    layout->addWidget(columnThermostat_);
    layout->addWidget(invert_);
    layout->addWidget(status_);
    layout->addLayout(buttons);

    const bool connected = device_ != nullptr && device_->isRunning();
    apply_->setVisible(connected);
    fromMethod_->setVisible(connected);
    toMethod_->setVisible(connected);
    if (device_) {
        loadFromDevice();
        timer_ = new QTimer(this);
        connect(timer_, &QTimer::timeout, this, &CEhdSettingsPage::refreshMeasured);
        timer_->start(500);
    } else {
        setValues(MethodEhdSettings{}, false);
    }
    refreshMeasured();
}

MethodEhdSettings CEhdSettingsPage::values() const {
    MethodEhdSettings m;
    m.mode = std::max(0, mode_->checkedId());
    m.range = std::max(0, range_->checkedId());
    m.detectorTemperature = detectorTemperature_->value();
    m.columnTemperature = columnTemperature_->value();
    m.measuringPotential = measuringPotential_->value();
    m.cleaningPotential = cleaningPotential_->value();
    m.restoringPotential = restoringPotential_->value();
    m.delayTime = delayTime_->value();
    m.cleaningTime = cleaningTime_->value();
    m.restoringTime = restoringTime_->value();
    m.detectorThermostat = detectorThermostat_->isChecked() ? 1 : 0;
    m.columnThermostat = columnThermostat_->isChecked() ? 1 : 0;
    return m;
}

bool CEhdSettingsPage::invert() const {
    return invert_->isChecked();
}

void CEhdSettingsPage::setValues(const MethodEhdSettings& v, bool invert) {
    if (QAbstractButton* b = mode_->button(std::clamp(v.mode, 0, 2)))
        b->setChecked(true);
    range_->button(v.range == 1 ? 1 : 0)->setChecked(true);
    detectorTemperature_->setValue(onGrid(v.detectorTemperature, 0.1));
    columnTemperature_->setValue(onGrid(v.columnTemperature, 0.1));
    measuringPotential_->setValue(onGrid(v.measuringPotential, 0.01));
    cleaningPotential_->setValue(onGrid(v.cleaningPotential, 0.01));
    restoringPotential_->setValue(onGrid(v.restoringPotential, 0.01));
    delayTime_->setValue(onGrid(v.delayTime, 10));
    cleaningTime_->setValue(onGrid(v.cleaningTime, 10));
    restoringTime_->setValue(onGrid(v.restoringTime, 10));
    detectorThermostat_->setChecked(v.detectorThermostat != 0);
    columnThermostat_->setChecked(v.columnThermostat != 0);
    invert_->setChecked(invert);
}

void CEhdSettingsPage::loadFromDevice() {
    if (!device_)
        return;
    const EhdSettings w = device_->wanted();
    setValues(w.toMethod(), w.invert);
}

void CEhdSettingsPage::apply() {
    if (!device_)
        return;
    device_->applyWanted(EhdSettings::fromMethod(values(), invert()));
    loadFromDevice();
}

std::string CEhdSettingsPage::chooseMethod() {
    return gui::chooseMethod(this, {}).value_or(std::string());
}

bool CEhdSettingsPage::copyFromMethod(const std::string& methodName) {
    CMethodSheet sheet;
    if (Status s = sheet.ReadMethod(methodName); !s.ok()) {
        showFailure(this, s);
        return false;
    }
    if (!sheet.hasEhdSettings()) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Warning;
        r.caption = QStringLiteral("Предупреждение");
        r.text = QStringLiteral("Метод не содержит настроек пибора");
        showMessage(r);
        return false;
    }
    setValues(*sheet.method().ehd, invert());
    return true;
}

bool CEhdSettingsPage::copyToMethod(const std::string& methodName) {
    CMethodSheet sheet;
    if (Status s = sheet.ReadMethod(methodName); !s.ok()) {
        showFailure(this, s);
        return false;
    }
    // The block holds what the detector will do: the values on its grids.
    sheet.method().ehd = EhdSettings::fromMethod(values(), false).toMethod();
    if (Status s = sheet.WriteMethod(methodName); !s.ok()) {
        showFailure(this, s);
        return false;
    }
    return true;
}

void CEhdSettingsPage::refreshMeasured() {
    if (!device_ || !device_->isRunning()) {
        status_->setText(QStringLiteral("Прибор не подключён"));
        detectorMeasured_->clear();
        columnMeasured_->clear();
        adc_->clear();
        scale_->clear();
        return;
    }
    const EhdReported r = device_->reported();
    detectorMeasured_->setText(QString::asprintf("%.1f °C", r.detectorTemperatureAverage));
    columnMeasured_->setText(QString::asprintf("%.1f °C", r.columnTemperatureAverage));
    adc_->setText(QString::asprintf("%.3f", r.signalAverage));
    scale_->setText(
        QString::asprintf("шкала ±%g", wire::ehdFullScale(r.settings.range, r.settings.mode)));
    status_->setText(QString::fromStdString(device_->statusText()));
}

CEhdSettingsDlg::CEhdSettingsDlg(CEhdDetector& device, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Электро-химический детектор"));
    page_ = new CEhdSettingsPage(&device, this);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page_);
    layout->addWidget(box);
}

bool editMethodEhdSettings(MethodEhdSettings& block, QWidget* parent) {
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Электро-химический детектор"));
    auto* page = new CEhdSettingsPage(nullptr, &dlg);
    page->setValues(block, false);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    QObject::connect(box, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(page);
    layout->addWidget(box);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const MethodEhdSettings edited = EhdSettings::fromMethod(page->values(), false).toMethod();
    if (edited == block)
        return false;
    block = edited;
    return true;
}

void CEhdSettingsDlg::accept() {
    page_->apply();
    QDialog::accept();
}

}  // namespace zelmora::gui
