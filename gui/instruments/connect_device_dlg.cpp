#include "gui/instruments/connect_device_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/text.h"
#include "gui/message_box.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string defaultPortPath(int port) {
    return text::format("/dev/ttyS%d", port);
}

void warn(QWidget* parent, const std::string& message) {
    MessageRequest r;
    r.parent = parent;
    r.icon = QMessageBox::Warning;
    r.caption = QStringLiteral("Подключение приборов");
    r.text = q(message);
    showMessage(r);
}

std::string deviceTitle(const CDevice& d) {
    return text::format("Прибор %d (%s)", d.deviceIndex() + 1, d.displayName().c_str());
}

}  // namespace

CConnectDeviceDlg::CConnectDeviceDlg(const CDeviceManager& devices, int deviceIndex,
                                     QWidget* parent)
    : QDialog(parent), devices_(devices), index_(deviceIndex) {
    const bool existing = deviceIndex >= 0 && deviceIndex < devices.count();
    if (!existing)
        index_ = -1;
    setWindowTitle(existing ? q(text::format("Подключение прибора %d", deviceIndex + 1))
                            : QStringLiteral("Подключение нового прибора"));
    type_ = new QComboBox(this);
    for (int code = 0; code < kDeviceTypeCount; ++code)
        type_->addItem(q(deviceTypeName(code)), code);
    port_ = new QComboBox(this);
    for (int p = 0; p < kPortChoices; ++p)
        port_->addItem(q(text::format("COM%d", p + 1)), p);
    path_ = new QLineEdit(this);
    path_->setPlaceholderText(QStringLiteral("/dev/ttyUSB0"));
    note_ = new QLabel(this);
    note_->setWordWrap(true);

    int type = static_cast<int>(DeviceType::DemoAdc);
    int port = kDefaultPortIndex;
    if (existing) {
        const CDevice& d = devices.device(index_);
        type = d.type();
        port = d.portIndex();
        // The type of a connected device stays as it is.
        type_->setEnabled(!d.isRunning());
        if (d.isRunning())
            note_->setText(QStringLiteral(
                "Прибор подключён: тип прибора можно изменить только после отключения, "
                "новый порт будет использован при следующем подключении."));
    }
    if (port < 0)
        port = kDefaultPortIndex;
    if (port >= kPortChoices)
        port_->addItem(q(text::format("COM%d", port + 1)), port);
    type_->setCurrentIndex(type_->findData(type));
    port_->setCurrentIndex(port_->findData(port));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Прибор:"), type_);
    form->addRow(QStringLiteral("Порт:"), port_);
    form->addRow(QStringLiteral("Файл устройства:"), path_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CConnectDeviceDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConnectDeviceDlg::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note_);
    layout->addWidget(buttons);
    note_->setVisible(!note_->text().isEmpty());
    setMinimumWidth(360);

    connect(type_, &QComboBox::currentIndexChanged, this, &CConnectDeviceDlg::typeChanged);
    connect(port_, &QComboBox::currentIndexChanged, this, &CConnectDeviceDlg::portChanged);
    portChanged();
    typeChanged();
}

void CConnectDeviceDlg::typeChanged() {
    // The simulated converter has no line.
    const bool port = deviceHasPort(type_->currentData().toInt());
    port_->setEnabled(port);
    path_->setEnabled(port);
}

void CConnectDeviceDlg::portChanged() {
    path_->setText(q(devices_.portPath(port_->currentData().toInt())));
}

DeviceChoice CConnectDeviceDlg::choice() const {
    DeviceChoice c;
    c.type = type_->currentData().toInt();
    c.port = port_->currentData().toInt();
    c.portPath = std::string(text::trim(path_->text().toStdString()));
    if (c.portPath == defaultPortPath(c.port))
        c.portPath.clear();
    return c;
}

void CConnectDeviceDlg::accept() {
    if (path_->isEnabled()) {
        const std::string problem = checkPortPath(choice().portPath);
        if (!problem.empty()) {
            warn(this, problem);
            path_->setFocus();
            return;
        }
    }
    QDialog::accept();
}

std::string checkPortPath(const std::string& path) {
    if (path.empty() || path.front() == '/')
        return {};
    return "Файл устройства \"" + path +
           "\" указан не полностью: укажите полный путь, например /dev/ttyUSB0.";
}

bool applyDeviceChoice(CDeviceManager& devices, int index, const DeviceChoice& c, QWidget* parent) {
    if (!isValidDeviceType(c.type)) {
        warn(parent, text::format("Неизвестный тип прибора %d.", c.type));
        return false;
    }
    const bool port = deviceHasPort(c.type);
    if (port) {
        const std::string problem = checkPortPath(c.portPath);
        if (!problem.empty()) {
            warn(parent, problem);
            return false;
        }
    }
    CDevice* d = nullptr;
    bool changed = false;
    if (index < 0) {
        if (devices.count() >= kMaxDevices) {
            warn(parent,
                 text::format("В списке уже %d приборов: больше добавить нельзя.", kMaxDevices));
            return false;
        }
        d = devices.add(c.type);
        if (d == nullptr) {
            warn(parent, text::format("Не удалось создать прибор \"%s\".", deviceTypeName(c.type)));
            return false;
        }
        changed = true;
    } else {
        if (index >= devices.count())
            return false;
        d = &devices.device(index);
        if (d->type() != c.type) {
            if (d->anyChannelRecording()) {
                warn(parent, deviceTitle(*d) + " ведёт запись: заменить его другим нельзя.");
                return false;
            }
            if (d->isRunning()) {
                warn(parent, deviceTitle(*d) +
                                 " подключён: отключите его, чтобы выбрать другой тип прибора.");
                return false;
            }
            d = devices.replace(index, c.type);
            if (d == nullptr) {
                warn(parent,
                     text::format("Не удалось создать прибор \"%s\".", deviceTypeName(c.type)));
                return false;
            }
            changed = true;
        }
    }
    if (port && d->portIndex() != c.port) {
        d->setPortIndex(c.port);
        changed = true;
    }
    if (port) {
        // The mapping belongs to the line, for every device that uses it.
        const std::string current = devices.portPath(c.port);
        const std::string wanted = c.portPath.empty() ? defaultPortPath(c.port) : c.portPath;
        if (current != wanted) {
            if (!devices.setPortPath(c.port, c.portPath)) {
                warn(parent,
                     text::format("Не удалось запомнить файл устройства для COM%d.", c.port + 1));
                return changed;
            }
            changed = true;
        }
    }
    return changed;
}

bool editDeviceConnection(CDeviceManager& devices, int index, QWidget* parent) {
    CConnectDeviceDlg dlg(devices, index, parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    return applyDeviceChoice(devices, index, dlg.choice(), parent);
}

}  // namespace zelmora::gui
