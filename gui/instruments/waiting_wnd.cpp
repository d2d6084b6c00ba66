#include "gui/instruments/waiting_wnd.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/program_settings.h"
#include "app/text.h"
#include "instruments/channel.h"
#include "instruments/device.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Run states in which the instrument may start: ready (5), and the state
// after it (6) once the instrument says it may record.
constexpr int kRunStateReadyAfter = 6;

}  // namespace

CWaitingWnd::CWaitingWnd(CChannel& channel, int order, QWidget* parent)
    : QDialog(parent), channel_(channel) {
    setObjectName(QStringLiteral("WaitingWnd"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose, false);
    CDevice& dev = channel.device();
    setWindowTitle(q(
        text::format("Запуск, прибор %d (%s)", dev.deviceIndex() + 1, dev.displayName().c_str())));
    std::string line = text::format("Канал %d", channel.index() + 1);
    if (const std::string detector = dev.detectorName(channel.index()); !detector.empty())
        line += "   Детектор: " + detector;
    if (!channel.methodName().empty())
        line += "   Метод: " + channel.methodName();
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    icon_ = new QLabel(this);
    top->addWidget(icon_);
    auto* lines = new QVBoxLayout;
    auto* channelLine = new QLabel(q(line), this);
    channelLine->setObjectName(QStringLiteral("channelLine"));
    lines->addWidget(channelLine);
    status_ = new QLabel(QStringLiteral("Ожидание запуска"), this);
    status_->setObjectName(QStringLiteral("status"));
    lines->addWidget(status_);
    top->addLayout(lines, 1);
    layout->addLayout(top);
    auto* buttons = new QHBoxLayout;
    start_ = new QPushButton(QStringLiteral("Начать запись"), this);
    prepare_ = new QPushButton(QStringLiteral("Начать подготовку к анализу"), this);
    view_ = new QPushButton(QStringLiteral("Просмотр канала"), this);
    cancel_ = new QPushButton(QStringLiteral("&Отмена"), this);
    for (QPushButton* b : {start_, prepare_, view_, cancel_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    // The channel closes this window when the recording starts or the wait
    // is given up; the buttons only ask it.
    connect(start_, &QPushButton::clicked, this, [this] { channel_.StartFromWaiting(true); });
    connect(view_, &QPushButton::clicked, this, [this] { channel_.StartFromWaiting(false); });
    connect(prepare_, &QPushButton::clicked, this, [this] { channel_.PrepareForAnalysis(); });
    connect(cancel_, &QPushButton::clicked, this, [this] { channel_.CancelWaiting(); });
    if (parent != nullptr) {
        const QPoint corner = parent->mapToGlobal(QPoint(0, 0));
        move(corner + QPoint(10 + 20 * order, 100 + 20 * order));
    }
    timer_ = new QTimer(this);
    timer_->setInterval(std::max(100, programOptions().redrawPeriodMs()));
    connect(timer_, &QTimer::timeout, this, &CWaitingWnd::refresh);
    timer_->start();
    refresh();
    status_->setText(QStringLiteral("Ожидание запуска"));
}

CWaitingWnd::~CWaitingWnd() = default;

void CWaitingWnd::refresh() {
    // A disconnected instrument gives no start signal: the wait ends.
    if (!channel_.available()) {
        QMetaObject::invokeMethod(
            this, [this] { channel_.CancelWaiting(); }, Qt::QueuedConnection);
        return;
    }
    const CDevice& dev = channel_.device();
    status_->setText(q(dev.statusText()));
    const int state = dev.runState();
    ready_ = state == kRunStateReady || (state == kRunStateReadyAfter && dev.isReadyToRecord());
    const QStyle::StandardPixmap icon =
        ready_ ? QStyle::SP_DialogApplyButton : QStyle::SP_MessageBoxInformation;
    icon_->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
    icon_->setProperty("iconId", ready_ ? 171 : 272);
    start_->setVisible(ready_);
    start_->setEnabled(ready_);
    prepare_->setVisible(!ready_);
}

void CWaitingWnd::reject() {
    // Escape and the window's close box give up the start, as "&Отмена".
    channel_.CancelWaiting();
}

}  // namespace zelmora::gui
