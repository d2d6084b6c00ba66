#include "gui/instruments/kalder_dialogs.h"

#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/text.h"
#include "app/work_log.h"
#include "gui/instruments/progress_wnd.h"
#include "gui/message_box.h"
#include "instruments/kalder_instrument.h"
#include "instruments/kalder_modules.h"

namespace zelmora::gui {

namespace {

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

CPlugAndPlayDlg::CPlugAndPlayDlg(CKalderInstrument& device, QWidget* parent)
    : QDialog(parent), device_(device) {
    setWindowTitle(QStringLiteral("Инициализация PnP..."));
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    text_->setMinimumWidth(420);
    text_->setMinimumHeight(120);
    text_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    text_->setTextFormat(Qt::PlainText);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, CPlugAndPlay::kIdle);
    layout->addWidget(text_);
    layout->addWidget(bar_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    confirm_ = new QPushButton(QStringLiteral("Записать состав"), this);
    confirm_->setEnabled(false);
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    row->addWidget(confirm_);
    row->addWidget(cancel_);
    layout->addLayout(row);
    connect(cancel_, &QPushButton::clicked, this, &CPlugAndPlayDlg::reject);
    connect(confirm_, &QPushButton::clicked, this, [this] {
        confirmed_ = true;
        confirm_->setEnabled(false);
        device_.plugAndPlay().confirm();
        timer_->setInterval(500);
        tick();
    });
    timer_ = new QTimer(this);
    timer_->setInterval(500);
    connect(timer_, &QTimer::timeout, this, &CPlugAndPlayDlg::tick);
    device_.startPlugAndPlay(false);
    timer_->start();
    tick();
}

QString CPlugAndPlayDlg::text() const {
    return text_->text();
}

void CPlugAndPlayDlg::tick() {
    CPlugAndPlay& pnp = device_.plugAndPlay();
    const int state = pnp.state();
    text_->setText(fromUtf8(pnp.progressText()));
    bar_->setValue(state);
    if (state == 6 && !confirmed_) {
        // The composition found waits for the operator.
        std::string listing;
        for (const FoundModule& m : pnp.modules())
            listing += kalder::moduleListingLine(m.word, m.tact);
        text_->setText(fromUtf8(pnp.progressText() + "\n" + listing));
        confirm_->setEnabled(true);
        timer_->setInterval(100);
        return;
    }
    if (!pnp.active()) {
        timer_->stop();
        if (pnp.completed())
            accept();
        else
            QDialog::reject();
    }
}

void CPlugAndPlayDlg::reject() {
    if (device_.plugAndPlay().active()) {
        device_.plugAndPlay().cancel();
        CWorkLog::instance().write("# Прользователь оборвал процесс Plug-and-Play");
    }
    timer_->stop();
    QDialog::reject();
}

int runPlugAndPlayDialog(CKalderInstrument& device, QWidget* parent) {
    CPlugAndPlayDlg dlg(device, parent);
    return dlg.exec() == QDialog::Accepted ? 1 : 0;
}

int loadAllParameters(CKalderInstrument& device, int accessLevel, QWidget* parent) {
    CProgressWnd wnd(parent, QStringLiteral("Загрузка"));
    wnd.setText(
        QStringLiteral("Загрузка параметров из прибора...\r\n      Нажмите Esc или Cancel "
                       "для выхода."));
    const std::size_t total = device.remainingToLoad(accessLevel);
    wnd.setRange(0, 100);
    wnd.setPos(0);
    wnd.setModal(true);
    wnd.show();
    QEventLoop loop;
    QTimer timer;
    timer.setInterval(100);
    bool done = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const std::size_t remaining = device.remainingToLoad(accessLevel);
        if (total > 0)
            wnd.setPos(static_cast<int>((total - std::min(total, remaining)) * 100 / total));
        if (accessLevel > 1) {
            std::string exchanged;
            if (const auto p = device.queue().outstanding())
                exchanged = kalder::describeParam(p->address(), p->number(), p->raw());
            wnd.setText(fromUtf8(text::format("Загрузка параметров из прибора...  %d\r\n      %s",
                                              static_cast<int>(remaining), exchanged.c_str())));
        }
        if (remaining == 0 || !device.isRunning()) {
            done = remaining == 0;
            loop.quit();
        }
    });
    QObject::connect(&wnd, &CProgressWnd::cancelRequested, &loop, &QEventLoop::quit);
    timer.start();
    if (total > 0 && device.isRunning())
        loop.exec();
    else
        done = total == 0;
    timer.stop();
    wnd.hide();
    if (wnd.cancelled() && !done) {
        if (accessLevel > 2) {
            MessageRequest q;
            q.parent = parent;
            q.icon = QMessageBox::Question;
            q.text = QStringLiteral(
                "Загрузка параметров отменена.\r\nВозможно вы изменили состав прибора.\r\n\r\nВы "
                "действительно хотите сделать Plug&Play прямо сейчас?");
            q.buttons = QMessageBox::Yes | QMessageBox::No;
            if (showMessage(q) == QMessageBox::Yes)
                device.startPlugAndPlay(false);
        }
        return 0;
    }
    // The chromatograph's settings sheet follows in the program; here the
    // load itself is the result.
    return done ? 1 : 0;
}

CParamReportDlg::CParamReportDlg(const CKalderInstrument& device, int accessLevel, QWidget* parent)
    : QDialog(parent), device_(device), accessLevel_(accessLevel) {
    setWindowTitle(fromUtf8(text::format("Параметры прибора %d", device.deviceIndex() + 1)));
    auto* layout = new QVBoxLayout(this);
    view_ = new QPlainTextEdit(this);
    view_->setReadOnly(true);
    view_->setMinimumSize(520, 360);
    layout->addWidget(view_);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* update = new QPushButton(QStringLiteral("Обновить"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    row->addWidget(update);
    row->addWidget(close);
    layout->addLayout(row);
    connect(update, &QPushButton::clicked, this, &CParamReportDlg::refresh);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    refresh();
}

void CParamReportDlg::refresh() {
    std::string s = device_.compositionText();
    s += device_.paramStatistics(accessLevel_);
    s += device_.notAnsweringModules();
    QString t = fromUtf8(s);
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    view_->setPlainText(t);
}

}  // namespace zelmora::gui
