#include "gui/instruments/converter_settings_dlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "gui/message_box.h"
#include "instruments/detector_adc.h"
#include "instruments/device_manager.h"
#include "instruments/ostrel_adc.h"
#include "instruments/varsel_adc.h"

namespace zelmora::gui {
namespace {

constexpr int kLampSize = 14;

QPixmap lampPixmap(bool lit) {
    QPixmap p(kLampSize, kLampSize);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(lit ? QColor(40, 170, 60) : QColor(190, 190, 190));
    painter.drawEllipse(QRectF(1.5, 1.5, kLampSize - 3, kLampSize - 3));
    return p;
}

QDialogButtonBox* okCancel(QDialog* dlg) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dlg);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    QObject::connect(box, &QDialogButtonBox::accepted, dlg, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dlg, &QDialog::reject);
    return box;
}

QLineEdit* intBox(int lo, int hi, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    // The validator lets the operator type freely within the digits; the
    // range itself is checked, with its message, when the values are taken.
    box->setValidator(new QIntValidator(0, 99999, box));
    box->setMaxLength(5);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    box->setToolTip(QStringLiteral("от %1 до %2").arg(lo).arg(hi));
    return box;
}

}  // namespace

std::optional<bool> showConverterSettings(CDeviceManager& devices, int index, QWidget* parent) {
    if (index < 0 || index >= devices.count())
        return std::nullopt;
    CDevice& d = devices.device(index);
    std::unique_ptr<CConverterSettingsDlg> dlg;
    if (auto* ostrel = dynamic_cast<COstrelAdc*>(&d))
        dlg = std::make_unique<COstrelSettingsDlg>(*ostrel, devices, parent);
    else if (auto* detector = dynamic_cast<CDetectorAdc*>(&d))
        dlg = std::make_unique<CDetectorAdcSettingsDlg>(*detector, devices, parent);
    else if (auto* varsel = dynamic_cast<CVarselAdc*>(&d))
        dlg = std::make_unique<CVarselSettingsDlg>(*varsel, devices, parent);
    else
        return std::nullopt;
    dlg->exec();
    return dlg->applied();
}

CConverterSettingsDlg::CConverterSettingsDlg(CDevice& device, CDeviceManager& devices,
                                             const QString& title, QWidget* parent)
    : QDialog(parent), device_(device), devices_(devices) {
    setWindowTitle(title);
    lampsRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(lampsRow_);
    row->setContentsMargins(0, 0, 0, 0);
    connectedLamp_ = new QLabel(lampsRow_);
    exchangeLamp_ = new QLabel(lampsRow_);
    connectedLamp_->setObjectName(QStringLiteral("ConnectedLamp"));
    exchangeLamp_->setObjectName(QStringLiteral("ExchangeLamp"));
    row->addWidget(connectedLamp_);
    row->addWidget(new QLabel(QStringLiteral("Связь"), lampsRow_));
    row->addSpacing(12);
    row->addWidget(exchangeLamp_);
    row->addWidget(new QLabel(QStringLiteral("Обмен данными"), lampsRow_));
    row->addStretch();
    lastFrames_ = device_.framesDecoded();
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        refreshLamps();
        refresh();
    });
    timer_->start();
    refreshLamps();
}

void CConverterSettingsDlg::refreshLamps() {
    connectedLit_ = device_.isRunning();
    const std::uint64_t frames = device_.framesDecoded();
    exchangeLit_ = connectedLit_ && frames != lastFrames_;
    lastFrames_ = frames;
    connectedLamp_->setPixmap(lampPixmap(connectedLit_));
    exchangeLamp_->setPixmap(lampPixmap(exchangeLit_));
    connectedLamp_->setToolTip(connectedLit_ ? QStringLiteral("Прибор подключён")
                                             : QStringLiteral("Прибор не подключён"));
    exchangeLamp_->setToolTip(exchangeLit_ ? QStringLiteral("Данные от прибора поступают")
                                           : QStringLiteral("Данные от прибора не поступают"));
}

void CConverterSettingsDlg::keepSettings() {
    // The whole list, as every change of it is written: the list in the
    // file then always matches the one the operator sees.
    const Status kept = devices_.save();
    if (!kept)
        showFailure(this, kept, QStringLiteral("Установки переданы прибору, но не сохранены: %1"),
                    QMessageBox::Warning, windowTitle());
}

std::optional<int> CConverterSettingsDlg::takeInt(QLineEdit* box, const QString& field, int lo,
                                                  int hi, const QString& unit) {
    bool ok = false;
    const int v = box->text().trimmed().toInt(&ok);
    if (ok && v >= lo && v <= hi)
        return v;
    MessageRequest r;
    r.parent = this;
    r.icon = QMessageBox::Warning;
    r.caption = windowTitle();
    r.text = QStringLiteral("%1: введите целое число от %2 до %3%4.")
                 .arg(field)
                 .arg(lo)
                 .arg(hi)
                 .arg(unit.isEmpty() ? QString() : QStringLiteral(" ") + unit);
    showMessage(r);
    box->setFocus();
    box->selectAll();
    return std::nullopt;
}

// --- "Параметры работы АЦП4"

COstrelSettingsDlg::COstrelSettingsDlg(COstrelAdc& device, CDeviceManager& devices, QWidget* parent)
    : CConverterSettingsDlg(device, devices, QStringLiteral("Параметры работы АЦП4"), parent),
      device_(device) {
    auto* group = new QGroupBox(QStringLiteral(" Инвертировать сигнал "), this);
    auto* grid = new QGridLayout(group);
    for (int c = 0; c < 4; ++c) {
        auto* box = new QCheckBox(QStringLiteral("Канал %1").arg(c + 1), group);
        box->setChecked(device_.invert(c));
        grid->addWidget(box, c / 2, c % 2);
        invert_[static_cast<std::size_t>(c)] = box;
    }
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("RangeStatus"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(status_);
    layout->addWidget(lampsRow());
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    refresh();
}

void COstrelSettingsDlg::refresh() {
    status_->setText(QString::fromStdString(device_.statusLine()));
}

void COstrelSettingsDlg::accept() {
    for (int c = 0; c < 4; ++c)
        device_.setInvert(c, invert_[static_cast<std::size_t>(c)]->isChecked());
    markApplied();
    keepSettings();
    QDialog::accept();
}

// --- "Параметры работы КД+АЦП"

CDetectorAdcSettingsDlg::CDetectorAdcSettingsDlg(CDetectorAdc& device, CDeviceManager& devices,
                                                 QWidget* parent)
    : CConverterSettingsDlg(device, devices, QStringLiteral("Параметры работы КД+АЦП"), parent),
      device_(device) {
    const DetectorAdcSettings s = device_.settings();
    offset_ = intBox(CDetectorAdc::kMinOffset, CDetectorAdc::kMaxOffset, this);
    temperature_ = intBox(0, CDetectorAdc::kMaxTemperature, this);
    offset_->setText(QString::number(s.offset));
    temperature_->setText(QString::number(s.temperature));
    checksum_ = new QLabel(this);
    checksum_->setMinimumWidth(offset_->width());
    invert_ = new QCheckBox(QStringLiteral("Инвертировать сигнал"), this);
    invert_->setChecked(s.invert);
    apply_ = new QPushButton(QStringLiteral("Применить"), this);
    connect(apply_, &QPushButton::clicked, this, [this] { apply(); });
    connect(offset_, &QLineEdit::textChanged, this, &CDetectorAdcSettingsDlg::showChecksum);
    connect(temperature_, &QLineEdit::textChanged, this, &CDetectorAdcSettingsDlg::showChecksum);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Смещение"), this), 0, 0);
    grid->addWidget(offset_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("(1...1022)"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Температура"), this), 1, 0);
    grid->addWidget(temperature_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("°C (0...100)"), this), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Контрольная сумма"), this), 2, 0);
    grid->addWidget(checksum_, 2, 1);
    grid->setColumnStretch(3, 1);
    auto* applyRow = new QHBoxLayout;
    applyRow->addWidget(invert_);
    applyRow->addStretch();
    applyRow->addWidget(apply_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(applyRow);
    layout->addWidget(lampsRow());
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    showChecksum();
}

void CDetectorAdcSettingsDlg::showChecksum() {
    bool okOffset = false;
    bool okTemperature = false;
    const int offset = offset_->text().trimmed().toInt(&okOffset);
    const int temperature = temperature_->text().trimmed().toInt(&okTemperature);
    // The checksum of the command that "Применить" would send; none while
    // a value is out of its range and would be refused.
    if (okOffset && okTemperature && offset >= CDetectorAdc::kMinOffset &&
        offset <= CDetectorAdc::kMaxOffset && temperature >= 0 &&
        temperature <= CDetectorAdc::kMaxTemperature)
        checksum_->setText(QString::number(CDetectorAdc::checksum(offset, temperature)));
    else
        checksum_->setText(QStringLiteral("—"));
}

bool CDetectorAdcSettingsDlg::apply() {
    const auto offset = takeInt(offset_, QStringLiteral("Смещение"), CDetectorAdc::kMinOffset,
                                CDetectorAdc::kMaxOffset);
    if (!offset)
        return false;
    const auto temperature = takeInt(temperature_, QStringLiteral("Температура"), 0,
                                     CDetectorAdc::kMaxTemperature, QStringLiteral("°C"));
    if (!temperature)
        return false;
    if (!device_.applySettings({*offset, *temperature, invert_->isChecked()}))
        return false;  // the ranges above are the converter's own
    markApplied();
    keepSettings();
    return true;
}

void CDetectorAdcSettingsDlg::accept() {
    // Values left as they were need no command (and a stored offset that is
    // out of range does not keep the window from closing).
    const DetectorAdcSettings s = device_.settings();
    const bool unchanged = offset_->text().trimmed() == QString::number(s.offset) &&
                           temperature_->text().trimmed() == QString::number(s.temperature) &&
                           invert_->isChecked() == s.invert;
    if (unchanged || apply())
        QDialog::accept();
}

// --- "Параметры работы Varsel"

CVarselSettingsDlg::CVarselSettingsDlg(CVarselAdc& device, CDeviceManager& devices, QWidget* parent)
    : CConverterSettingsDlg(device, devices, QStringLiteral("Параметры работы Varsel"), parent),
      device_(device) {
    wavelength_ = intBox(1, 65535, this);
    division_ = intBox(1, 65535, this);
    current_ = new QLabel(this);
    current_->setObjectName(QStringLiteral("CurrentValues"));
    apply_ = new QPushButton(QStringLiteral("Применить"), this);
    connect(apply_, &QPushButton::clicked, this, [this] { apply(); });

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Длина волны"), this), 0, 0);
    grid->addWidget(wavelength_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("нм"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Коэффициент деления"), this), 1, 0);
    grid->addWidget(division_, 1, 1);
    grid->setColumnStretch(3, 1);
    auto* applyRow = new QHBoxLayout;
    applyRow->addStretch();
    applyRow->addWidget(apply_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(current_);
    layout->addLayout(applyRow);
    layout->addWidget(lampsRow());
    layout->addWidget(okCancel(this));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    showWanted();
    refresh();
}

void CVarselSettingsDlg::showWanted() {
    if (!device_.hasWanted())
        return;
    wavelength_->setText(QString::number(device_.wantedWavelength()));
    division_->setText(QString::number(device_.wantedDivision()));
    wavelength_->setModified(false);
    division_->setModified(false);
}

void CVarselSettingsDlg::refresh() {
    // The wanted values arrive with the detector's first frames after the
    // connection: they fill the boxes the operator has not started editing.
    if (device_.hasWanted() && !wavelength_->isModified() && !division_->isModified() &&
        (wavelength_->text().isEmpty() || division_->text().isEmpty()))
        showWanted();
    const int wl = device_.currentWavelength();
    const int div = device_.currentDivision();
    if (device_.isRunning() && wl != 0 && div != 0)
        current_->setText(
            QStringLiteral("Прибор: длина волны %1 нм, коэффициент деления %2").arg(wl).arg(div));
    else
        current_->setText(QStringLiteral("Прибор: значения не получены"));
}

bool CVarselSettingsDlg::apply() {
    const auto wl =
        takeInt(wavelength_, QStringLiteral("Длина волны"), 1, 65535, QStringLiteral("нм"));
    if (!wl)
        return false;
    const auto div = takeInt(division_, QStringLiteral("Коэффициент деления"), 1, 65535);
    if (!div)
        return false;
    if (!device_.applyWanted(*wl, *div))
        return false;
    wavelength_->setModified(false);
    division_->setModified(false);
    markApplied();
    return true;
}

void CVarselSettingsDlg::accept() {
    // Boxes that hold what the driver already wants (or nothing, before the
    // detector reported) need no new setpoints.
    const QString wl = wavelength_->text().trimmed();
    const QString div = division_->text().trimmed();
    const bool unchanged = device_.hasWanted()
                               ? wl == QString::number(device_.wantedWavelength()) &&
                                     div == QString::number(device_.wantedDivision())
                               : wl.isEmpty() && div.isEmpty();
    if (unchanged || apply())
        QDialog::accept();
}

}  // namespace zelmora::gui
