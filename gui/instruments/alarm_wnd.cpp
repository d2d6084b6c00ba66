#include "gui/instruments/alarm_wnd.h"

#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/text.h"
#include "app/work_log.h"
#include "instruments/device_manager.h"

namespace zelmora::gui {

CAlarmWnd::CAlarmWnd(QWidget* owner, std::function<void(bool)> sound,
                     std::function<std::int64_t()> nowMs)
    : QDialog(owner), sound_(std::move(sound)), nowMs_(std::move(nowMs)) {
    setWindowTitle(QStringLiteral("Выявлены ошибки в работе с приборами"));
    setObjectName(QStringLiteral("AlarmWnd"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("AlarmText"));
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setMinimumWidth(420);
    text_->setWordWrap(true);
    auto* row = new QHBoxLayout;
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text_, 1);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* skip =
        buttons->addButton(QStringLiteral("Пропустить"), QDialogButtonBox::RejectRole);
    skip->setObjectName(QStringLiteral("Dismiss"));
    connect(buttons, &QDialogButtonBox::rejected, this, &CAlarmWnd::dismiss);
    layout->addWidget(buttons);
    timer_ = new QTimer(this);
    timer_->setInterval(kCheckMs);
    connect(timer_, &QTimer::timeout, this, &CAlarmWnd::check);
    timer_->start();
}

std::int64_t CAlarmWnd::now() const {
    if (nowMs_)
        return nowMs_();
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

QString CAlarmWnd::alarmText() const {
    QString out;
    if (devices_ == nullptr)
        return out;
    for (int i = 0; i < devices_->count(); ++i) {
        CDevice& d = devices_->device(i);
        const std::string a = d.alarms().alarmText();
        if (a.empty())
            continue;
        out += QString::fromStdString(
            text::format("Прибор %d (%s):", i + 1, d.displayName().c_str()) + a + "\r\n");
    }
    return out;
}

void CAlarmWnd::setSound(bool on) {
    if (on == soundOn_)
        return;
    soundOn_ = on;
    if (sound_)
        sound_(on);
}

void CAlarmWnd::check() {
    const QString text = alarmText();
    if (text.isEmpty()) {
        setSound(false);
        hide();
        return;
    }
    text_->setText(QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).trimmed());
    if (!isVisible() && (!dismissed_ || now() - dismissedAt_ > kReshowMs)) {
        show();
        raise();
        setSound(true);
    }
}

void CAlarmWnd::dismiss() {
    dismissed_ = true;
    dismissedAt_ = now();
    setSound(false);
    hide();
    CWorkLog::instance().write("~ Все ошибки временно пропущены оператором");
}

}  // namespace zelmora::gui
