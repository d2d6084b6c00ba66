#include "gui/instruments/device_list_dlg.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/text.h"
#include "gui/instruments/connect_device_dlg.h"
#include "gui/message_box.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

void warn(QWidget* parent, const QString& text) {
    MessageRequest r;
    r.parent = parent;
    r.icon = QMessageBox::Warning;
    r.caption = QStringLiteral("Подключение приборов");
    r.text = text;
    showMessage(r);
}

}  // namespace

CDeviceListDlg::CDeviceListDlg(CDeviceManager& devices, QWidget* parent)
    : QDialog(parent), devices_(devices) {
    setWindowTitle(QStringLiteral("Подключение приборов"));
    list_ = new QTreeWidget(this);
    list_->setColumnCount(3);
    list_->setHeaderLabels({QStringLiteral("N"), QStringLiteral("Прибор"), QStringLiteral("Порт")});
    list_->setRootIsDecorated(false);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    list_->setMinimumSize(320, 200);

    const QString texts[ButtonCount] = {QStringLiteral("&Добавить"),    QStringLiteral("&Удалить"),
                                        QStringLiteral("Удалить &все"), QStringLiteral("Вве&рх"),
                                        QStringLiteral("В&низ"),        QStringLiteral("&Порт")};
    auto* side = new QVBoxLayout;
    for (const QString& t : texts) {
        auto* b = new QPushButton(t, this);
        b->setAutoDefault(false);
        buttons_ << b;
        side->addWidget(b);
    }
    side->addStretch();
    connect(buttons_[Add], &QPushButton::clicked, this, &CDeviceListDlg::addDevice);
    connect(buttons_[Remove], &QPushButton::clicked, this, &CDeviceListDlg::removeDevice);
    connect(buttons_[RemoveAll], &QPushButton::clicked, this, &CDeviceListDlg::removeAllDevices);
    connect(buttons_[Up], &QPushButton::clicked, this, &CDeviceListDlg::moveUp);
    connect(buttons_[Down], &QPushButton::clicked, this, &CDeviceListDlg::moveDown);
    connect(buttons_[Port], &QPushButton::clicked, this, &CDeviceListDlg::editPort);

    channelGroup_ = new QGroupBox(QStringLiteral("Используемые каналы:"), this);
    auto* grid = new QGridLayout(channelGroup_);
    for (int c = 0; c < kMaxChannelsPerDevice; ++c) {
        auto* box = new QCheckBox(QStringLiteral("Канал %1").arg(c + 1), channelGroup_);
        grid->addWidget(box, c / 4, c % 4);
        connect(box, &QCheckBox::toggled, this, [this, c](bool on) { channelToggled(c, on); });
        channels_ << box;
    }

    auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(ok, &QDialogButtonBox::accepted, this, &CDeviceListDlg::accept);

    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(side);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(channelGroup_);
    layout->addWidget(ok);

    connect(list_, &QTreeWidget::currentItemChanged, this, &CDeviceListDlg::selectionChanged);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &CDeviceListDlg::editPort);
    refill(0);
}

int CDeviceListDlg::currentDevice() const {
    QTreeWidgetItem* item = list_->currentItem();
    return item == nullptr ? -1 : list_->indexOfTopLevelItem(item);
}

void CDeviceListDlg::setCurrentDevice(int i) {
    if (QTreeWidgetItem* item = list_->topLevelItem(i))
        list_->setCurrentItem(item);
}

void CDeviceListDlg::refill(int select) {
    filling_ = true;
    list_->clear();
    for (int i = 0; i < devices_.count(); ++i) {
        const CDevice& d = devices_.device(i);
        const QString port = deviceHasPort(d.type()) ? q(text::format("COM%d", d.portIndex() + 1))
                                                     : QStringLiteral("—");
        auto* item = new QTreeWidgetItem(list_, {QString::number(i + 1), q(d.displayName()), port});
        if (d.isRunning())
            item->setToolTip(1, QStringLiteral("Прибор подключён"));
    }
    filling_ = false;
    if (devices_.count() > 0)
        setCurrentDevice(std::clamp(select, 0, devices_.count() - 1));
    selectionChanged();
}

void CDeviceListDlg::selectionChanged() {
    if (filling_)
        return;
    const int i = currentDevice();
    const int n = devices_.count();
    buttons_[Add]->setEnabled(n < kMaxDevices);
    buttons_[Remove]->setEnabled(i >= 0);
    buttons_[RemoveAll]->setEnabled(n > 0);
    buttons_[Up]->setEnabled(i > 0);
    buttons_[Down]->setEnabled(i >= 0 && i + 1 < n);
    buttons_[Port]->setEnabled(i >= 0);
    filling_ = true;
    const int channels = i >= 0 ? devices_.device(i).channelCount() : 0;
    for (int c = 0; c < channels_.size(); ++c) {
        QCheckBox* box = channels_[c];
        box->setVisible(c < channels);
        if (c < channels) {
            const AcquisitionChannel& ch = devices_.device(i).channel(c);
            box->setChecked(ch.inUse());
            // A channel that records stays in use until it stops.
            box->setEnabled(!ch.isRecording() && !ch.isWaitingForStart());
        }
    }
    channelGroup_->setEnabled(channels > 0);
    filling_ = false;
}

void CDeviceListDlg::channelToggled(int channel, bool on) {
    if (filling_)
        return;
    const int i = currentDevice();
    if (i < 0 || channel >= devices_.device(i).channelCount())
        return;
    AcquisitionChannel& ch = devices_.device(i).channel(channel);
    if (ch.isRecording() || ch.isWaitingForStart()) {
        selectionChanged();
        return;
    }
    if (ch.inUse() != on) {
        ch.setInUse(on);
        changed_ = true;
    }
}

bool CDeviceListDlg::mayChange(int i, const char* what) {
    const CDevice& d = devices_.device(i);
    const QString name = q(text::format("Прибор %d (%s)", i + 1, d.displayName().c_str()));
    if (d.anyChannelRecording()) {
        warn(this, QStringLiteral("%1 ведёт запись: %2 его нельзя.").arg(name, what));
        return false;
    }
    if (d.isRunning()) {
        warn(this, QStringLiteral("%1 подключён: отключите его, чтобы %2.").arg(name, what));
        return false;
    }
    return true;
}

void CDeviceListDlg::addDevice() {
    if (devices_.count() >= kMaxDevices) {
        warn(this,
             QStringLiteral("В списке уже %1 приборов: больше добавить нельзя.").arg(kMaxDevices));
        return;
    }
    if (editDeviceConnection(devices_, -1, this)) {
        changed_ = true;
        refill(devices_.count() - 1);
    }
}

void CDeviceListDlg::removeDevice() {
    const int i = currentDevice();
    if (i < 0 || !mayChange(i, "удалить"))
        return;
    if (!devices_.remove(i)) {
        warn(this, QStringLiteral("Прибор %1 удалить не удалось.").arg(i + 1));
        return;
    }
    changed_ = true;
    refill(i);
}

void CDeviceListDlg::removeAllDevices() {
    if (devices_.count() == 0)
        return;
    if (devices_.anyChannelRecording()) {
        warn(this, QStringLiteral("Идёт запись: удалить приборы нельзя."));
        return;
    }
    if (devices_.anyDeviceRunning()) {
        warn(this, QStringLiteral("Не все приборы отключены: отключите их, чтобы удалить."));
        return;
    }
    MessageRequest r;
    r.parent = this;
    r.icon = QMessageBox::Question;
    r.caption = QStringLiteral("Подключение приборов");
    r.text = QStringLiteral("Удалить все приборы из списка?");
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    if (showMessage(r) != QMessageBox::Yes)
        return;
    if (!devices_.removeAll()) {
        warn(this, QStringLiteral("Удалить приборы не удалось."));
        return;
    }
    changed_ = true;
    refill(0);
}

void CDeviceListDlg::moveUp() {
    const int i = currentDevice();
    if (i <= 0)
        return;
    // A recording keeps its device's number until it ends.
    if (devices_.device(i).anyChannelRecording() || devices_.device(i - 1).anyChannelRecording()) {
        warn(this, QStringLiteral("Идёт запись: порядок приборов изменить нельзя."));
        return;
    }
    if (devices_.moveUp(i)) {
        changed_ = true;
        refill(i - 1);
    }
}

void CDeviceListDlg::moveDown() {
    const int i = currentDevice();
    if (i < 0 || i + 1 >= devices_.count())
        return;
    if (devices_.device(i).anyChannelRecording() || devices_.device(i + 1).anyChannelRecording()) {
        warn(this, QStringLiteral("Идёт запись: порядок приборов изменить нельзя."));
        return;
    }
    if (devices_.moveDown(i)) {
        changed_ = true;
        refill(i + 1);
    }
}

void CDeviceListDlg::editPort() {
    const int i = currentDevice();
    if (i < 0)
        return;
    if (editDeviceConnection(devices_, i, this)) {
        changed_ = true;
        refill(i);
    }
}

}  // namespace zelmora::gui
