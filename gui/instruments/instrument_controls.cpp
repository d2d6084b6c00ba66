#include "gui/instruments/instrument_controls.h"

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/program_settings.h"
#include "app/text.h"
#include "gui/instruments/connect_device_dlg.h"
#include "gui/instruments/converter_settings_dlg.h"
#include "gui/instruments/ehd_settings_pg.h"
#include "gui/instruments/ht300_dialogs.h"
#include "gui/instruments/kalder_dialogs.h"
#include "gui/instruments/kalder_settings_sheet.h"
#include "gui/instruments/lamp_strip.h"
#include "gui/instruments/recording_controller.h"
#include "gui/instruments/sound_player.h"
#include "gui/message_box.h"
#include "instruments/device_manager.h"
#include "instruments/device_menu.h"
#include "instruments/device_types.h"
#include "instruments/ehd_detector.h"
#include "instruments/ht300_sampler.h"
#include "instruments/kalder_instrument.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr int kRefreshMs = 1000;

// The status-bar pane of one instrument.
class CDevicePane : public QLabel {
  public:
    CDevicePane(const QString& name, std::function<void()> left, std::function<void(QPoint)> right,
                QWidget* parent)
        : QLabel(name, parent), left_(std::move(left)), right_(std::move(right)) {
        const QFontMetrics fm(font());
        setMinimumWidth(fm.horizontalAdvance(name) + 2 * fm.horizontalAdvance(QLatin1Char(' ')) +
                        4);
        setAlignment(Qt::AlignCenter);
    }

  protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            left_();
        else if (e->button() == Qt::RightButton)
            right_(e->globalPosition().toPoint());
        e->accept();
    }

  private:
    std::function<void()> left_;
    std::function<void(QPoint)> right_;
};

}  // namespace

std::string devicePrompt(const CDeviceManager& devices, int id) {
    const auto cmd = command::decode(id);
    if (!cmd || cmd->device >= devices.count())
        return {};
    const std::string name = devices.device(cmd->device).displayName();
    const int d = cmd->device + 1;
    const int c = cmd->channel + 1;
    using K = command::Kind;
    switch (cmd->kind) {
        case K::Connect:
            return text::format("Подключить/отключить прибор %d (%s)", d, name.c_str());
        case K::Settings:
            return text::format("Режим работы прибор %d (%s)", d, name.c_str());
        case K::Record:
            return text::format("Включить запись на канале %d прибора %d (%s)", c, d, name.c_str());
        case K::RunMethod:
            return text::format("Запустить метод на канале %d прибора %d (%s)", c, d, name.c_str());
        case K::Stop:
            return text::format("Стоп, канал %d прибора %d (%s)", c, d, name.c_str());
        case K::Monitor:
            return text::format("Окно записи канала %d прибора %d (%s)", c, d, name.c_str());
        case K::PanelStart:
            break;
    }
    return {};
}

QString promptTip(const std::string& prompt) {
    const QString tip = q(prompt);
    if (tip.isEmpty() || tip.size() > 79)
        return {};
    return tip.left(80);
}

CInstrumentControls::CInstrumentControls(QMainWindow* frame, std::function<bool(int)> runCommand)
    : QObject(frame), frame_(frame), runCommand_(std::move(runCommand)) {
    menu_ = new QMenu(QStringLiteral("&Приборы"), frame);
    connect(menu_, &QMenu::aboutToShow, this, &CInstrumentControls::updateStates);
    refresh_ = new QTimer(this);
    refresh_->setInterval(kRefreshMs);
    connect(refresh_, &QTimer::timeout, this, &CInstrumentControls::updateStates);
}

CInstrumentControls::~CInstrumentControls() {
    refresh_->stop();
}

bool CInstrumentControls::isDeviceCommand(int id) {
    return id >= command::kConnect &&
           id < command::kPanelStart + kMaxDevices * kMaxChannelsPerDevice;
}

void CInstrumentControls::post(int id) {
    QMetaObject::invokeMethod(
        frame_, [run = runCommand_, id] { run(id); }, Qt::QueuedConnection);
}

QAction* CInstrumentControls::makeAction(int id, const QString& text, bool checkable) {
    auto* a = new QAction(text, this);
    a->setData(id);
    a->setCheckable(checkable);
    const QString tip = promptTip(devicePrompt(*devices_, id));
    a->setToolTip(tip);
    a->setStatusTip(tip);
    connect(a, &QAction::triggered, this, [this, id] { runCommand_(id); });
    actions_.insert(id, a);
    return a;
}

void CInstrumentControls::clear() {
    for (QToolBar* tb : std::as_const(bands_)) {
        frame_->removeToolBar(tb);
        delete tb;
    }
    bands_.clear();
    lamps_.clear();
    for (QLabel* p : std::as_const(panes_)) {
        frame_->statusBar()->removeWidget(p);
        delete p;
    }
    panes_.clear();
    menu_->clear();
    qDeleteAll(popups_);
    popups_.clear();
    qDeleteAll(actions_);
    actions_.clear();
}

void CInstrumentControls::rebuild(CDeviceManager* devices) {
    clear();
    devices_ = devices;
    if (devices_ == nullptr) {
        refresh_->stop();
        menu_->menuAction()->setEnabled(false);
        return;
    }
    menu_->menuAction()->setEnabled(true);
    const std::vector<MenuItem> items = buildDeviceMenu(*devices_);
    // Builds a popup of the data, with the actions for its commands.
    std::function<void(QMenu*, const std::vector<MenuItem>&)> fill =
        [&](QMenu* m, const std::vector<MenuItem>& children) {
            for (const MenuItem& item : children) {
                if (item.separator) {
                    m->addSeparator();
                } else if (item.commandId == 0) {
                    QMenu* sub = m->addMenu(q(item.text));
                    connect(sub, &QMenu::aboutToShow, this, &CInstrumentControls::updateStates);
                    fill(sub, item.children);
                } else {
                    const bool checkable =
                        command::decode(item.commandId)->kind == command::Kind::Connect;
                    m->addAction(makeAction(item.commandId, q(item.text), checkable));
                }
            }
        };
    for (int i = 0; i < static_cast<int>(items.size()); ++i) {
        auto* popup = new QMenu(q(items[static_cast<std::size_t>(i)].text), menu_);
        connect(popup, &QMenu::aboutToShow, this, &CInstrumentControls::updateStates);
        fill(popup, items[static_cast<std::size_t>(i)].children);
        menu_->addMenu(popup);
        popups_ << popup;
    }
    if (items.empty()) {
        QAction* none = menu_->addAction(QStringLiteral("Список приборов пуст"));
        none->setEnabled(false);
    }

    for (int i = 0; i < devices_->count(); ++i) {
        const std::string name = devices_->device(i).displayName();
        auto* tb = new QToolBar(q(text::format("%d (%s)", i + 1, name.c_str())), frame_);
        tb->setObjectName(QStringLiteral("Device%1").arg(i + 1));
        tb->addWidget(new QLabel(q(text::format("%d (%s): ", i + 1, name.c_str())), tb));
        QAction* connectAction = action(command::kConnect + i);
        connectAction->setIconText(QStringLiteral("Подключить"));
        tb->addAction(connectAction);
        CLampStrip* strip = nullptr;
        if (auto* kalder = dynamic_cast<CKalderInstrument*>(&devices_->device(i))) {
            strip = new CLampStrip(tb);
            strip->setObjectName(QStringLiteral("Lamps%1").arg(i + 1));
            tb->addWidget(strip);
            // "ready.wav" when the chromatograph becomes ready, posted from
            // its reader thread to this one.
            kalder->setSoundSink([frame = frame_](const char* name) {
                const QString n = QString::fromUtf8(name);
                QMetaObject::invokeMethod(
                    frame,
                    [n] {
                        if (programOptions().useSound)
                            CSoundPlayer::instance().play(n);
                    },
                    Qt::QueuedConnection);
            });
        }
        lamps_ << strip;
        frame_->addToolBar(Qt::TopToolBarArea, tb);
        bands_ << tb;

        auto* pane = new CDevicePane(
            q(name), [this, i] { post(command::kSettings + i); },
            [this, i](QPoint at) {
                QMenu* m = devicePopup(i);
                if (m == nullptr)
                    return;
                updateStates();
                // The menu's bottom-right corner at the mouse.
                const QSize size = m->sizeHint();
                m->popup(at - QPoint(size.width(), size.height()));
            },
            frame_->statusBar());
        pane->setObjectName(QStringLiteral("DevicePane%1").arg(i + 1));
        pane->setToolTip(promptTip(devicePrompt(*devices_, command::kSettings + i)));
        frame_->statusBar()->addPermanentWidget(pane);
        panes_ << pane;
    }
    updateStates();
    refresh_->start();
}

bool CInstrumentControls::isEnabled(int id) const {
    if (devices_ == nullptr)
        return false;
    const auto cmd = command::decode(id);
    const auto state = deviceCommandState(*devices_, id);
    if (!cmd || !state)
        return false;
    switch (cmd->kind) {
        case command::Kind::Connect:
        case command::Kind::Settings:
            return state->enabled;
        default:
            return recording_ != nullptr && recording_->isEnabled(id);
    }
}

bool CInstrumentControls::isChecked(int id) const {
    if (devices_ == nullptr)
        return false;
    const auto state = deviceCommandState(*devices_, id);
    return state && state->checked;
}

void CInstrumentControls::updateStates() {
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it) {
        it.value()->setEnabled(isEnabled(it.key()));
        if (it.value()->isCheckable())
            it.value()->setChecked(isChecked(it.key()));
    }
    updateReadiness();
}

void CInstrumentControls::updateReadiness() {
    if (devices_ == nullptr)
        return;
    blinkPhase_ = !blinkPhase_;
    for (int i = 0; i < devices_->count() && i < panes_.size(); ++i) {
        CDevice& d = devices_->device(i);
        auto* kalder = dynamic_cast<CKalderInstrument*>(&d);
        CLampStrip* strip = i < lamps_.size() ? lamps_[i] : nullptr;
        QString pane = q(d.displayName());
        if (kalder != nullptr && kalder->isRunning()) {
            const QString status = q(kalder->statusText());
            if (strip != nullptr)
                strip->display(kalder->runStates().lampWord(), status, blinkPhase_);
            pane += QStringLiteral(": ") + status.section(QStringLiteral("\r\n"), 0, 0);
        } else if (strip != nullptr) {
            strip->clear();
        }
        if (panes_[i]->text() != pane)
            panes_[i]->setText(pane);
    }
}

bool CInstrumentControls::run(int id) {
    if (!isEnabled(id)) {
        updateStates();
        return false;
    }
    const auto cmd = command::decode(id);
    bool done = false;
    if (cmd->kind == command::Kind::Connect) {
        done = toggleConnection(cmd->device);
    } else if (cmd->kind == command::Kind::Settings) {
        auto* kalder = dynamic_cast<CKalderInstrument*>(&devices_->device(cmd->device));
        auto* ehd = dynamic_cast<CEhdDetector*>(&devices_->device(cmd->device));
        if (kalder != nullptr && kalder->isRunning()) {
            done = showChromatographParameters(*kalder);
        } else if (ehd != nullptr && ehd->isRunning()) {
            CEhdSettingsDlg dlg(*ehd, frame_);
            done = dlg.exec() == QDialog::Accepted;
        } else if (auto* ht300 = dynamic_cast<CHt300Sampler*>(&devices_->device(cmd->device));
                   ht300 != nullptr && ht300->isRunning()) {
            CHt300MainDlg dlg(*ht300, devices_, frame_);
            dlg.exec();
            done = true;
        } else if (const auto applied = showConverterSettings(*devices_, cmd->device, frame_)) {
            // A converter's own settings, connected or not; its line and
            // type stay in "Сервис" > "Подключение...".
            done = *applied;
        } else if (editDeviceConnection(*devices_, cmd->device, frame_)) {
            done = true;
            if (listChanged_)
                listChanged_();
        }
    } else if (recording_ != nullptr) {
        done = recording_->run(id);
    }
    updateStates();
    return done;
}

bool CInstrumentControls::showChromatographParameters(CKalderInstrument& device) {
    const int level = programOptions().accessLevel;
    if (loadAllParameters(device, level, frame_) == 1) {
        // Everything is loaded: the chromatograph's settings sheet.
        CZelmoraKalderSettings sheet(&device, level, frame_);
        return sheet.exec() == QDialog::Accepted;
    }
    // A cancelled load may have started plug-and-play at the operator's
    // word: its window follows the procedure and asks for the confirmation.
    if (device.plugAndPlay().active())
        return runPlugAndPlayDialog(device, frame_) == 1;
    return false;
}

bool CInstrumentControls::toggleConnection(int i) {
    CDevice& d = devices_->device(i);
    if (d.isRunning()) {
        if (programOptions().confirmDisconnect) {
            MessageRequest r;
            r.parent = frame_;
            r.icon = QMessageBox::Warning;
            r.caption = QStringLiteral("Предупреждение");
            r.text = QStringLiteral("Вы действительно хотите отключить прибор?");
            r.buttons = QMessageBox::Ok | QMessageBox::Cancel;
            if (showMessage(r) != QMessageBox::Ok)
                return false;
        }
        devices_->disconnect(i);
        return true;
    }
    const Status connected = devices_->connect(i);
    if (connected)
        return true;
    QString context = QStringLiteral("Подключить прибор не удалось.");
    context += q(text::format("\nПрибор %d (%s)", i + 1, d.displayName().c_str()));
    if (deviceHasPort(d.type()))
        context += q(text::format(" на COM%d", d.portIndex() + 1));
    showFailure(frame_, connected, context + QStringLiteral(": %1"));
    return false;
}

}  // namespace zelmora::gui
