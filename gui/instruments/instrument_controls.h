#pragma once
// What the main window shows of the instruments of the device list: the
// "&Приборы" menu (per device "%d. %s" with "&Подключить", "&Установки..."
// and, per channel in use, "Канал &%d" with its four commands), one toolbar
// band per device with the text "%d (%s): " and its connect button, and one
// status-bar pane per device with its name (left click: its settings, right
// click: its popup menu at the mouse). The commands' prompts name the device
// and the channel.
//
// A chromatograph's band also repeats its front-panel lamps and its
// readiness, and its pane follows the run state.
//
// The channel commands (record, run a method, stop, the channel monitor,
// the panel start) are carried out by the recording controller.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <string>

class QAction;
class QLabel;
class QMainWindow;
class QMenu;
class QTimer;
class QToolBar;

namespace zelmora {
class CDeviceManager;
class CKalderInstrument;
}  // namespace zelmora

namespace zelmora::gui {

class CRecordingController;
class CLampStrip;

// The prompt of a device command (40000–40339) with the device's number and
// name; empty for other commands and devices that are not in the list.
std::string devicePrompt(const CDeviceManager& devices, int commandId);
// The prompt as a tooltip or status tip: none when empty or longer than 79
// characters.
QString promptTip(const std::string& prompt);

class CInstrumentControls : public QObject {
    Q_OBJECT
  public:
    // `runCommand` runs a command of the main window (with its enabled
    // check); the panes post their commands to it.
    CInstrumentControls(QMainWindow* frame, std::function<bool(int)> runCommand);
    ~CInstrumentControls() override;

    // The "&Приборы" menu; its items follow the device list from rebuild().
    QMenu* menu() const { return menu_; }
    // Builds the menu, the bands (added to the frame's top area now, so
    // that bands added later stand after them) and the panes anew.
    void rebuild(CDeviceManager* devices);

    static bool isDeviceCommand(int id);
    bool isEnabled(int id) const;
    bool isChecked(int id) const;
    // Connect/disconnect and the settings of a device; false when the
    // command failed, was refused or is not available.
    bool run(int id);
    void updateStates();

    QAction* action(int id) const { return actions_.value(id, nullptr); }
    QToolBar* band(int device) const { return bands_.value(device, nullptr); }
    QLabel* pane(int device) const { return panes_.value(device, nullptr); }
    // The lamps and readiness of a chromatograph on its band; none for
    // other instruments.
    CLampStrip* lamps(int device) const { return lamps_.value(device, nullptr); }
    // Lamps, readiness and the panes' state texts, once per refresh.
    void updateReadiness();
    // The popup of device i in the menu (also the pane's context menu).
    QMenu* devicePopup(int device) const { return popups_.value(device, nullptr); }

    // Where the channel commands go; without it they are disabled.
    void setRecording(CRecordingController* recording) { recording_ = recording; }

    // Called after a device's settings changed the list.
    void setListChanged(std::function<void()> f) { listChanged_ = std::move(f); }

  private:
    void clear();
    bool toggleConnection(int device);
    // "&Установки..." of a connected chromatograph: the parameters loaded
    // from the instrument ("Загрузка", with plug-and-play offered after a
    // cancel), then its settings sheet.
    bool showChromatographParameters(CKalderInstrument& device);
    QAction* makeAction(int id, const QString& text, bool checkable);
    void post(int id);

    QMainWindow* frame_;
    std::function<bool(int)> runCommand_;
    std::function<void()> listChanged_;
    CDeviceManager* devices_ = nullptr;
    CRecordingController* recording_ = nullptr;
    QMenu* menu_ = nullptr;
    QHash<int, QAction*> actions_;
    QList<QMenu*> popups_;
    QList<QToolBar*> bands_;
    QList<QLabel*> panes_;
    QList<CLampStrip*> lamps_;  // per device, owned by the bands
    bool blinkPhase_ = false;
    // Devices close by themselves when their instrument falls silent; the
    // connect buttons follow.
    QTimer* refresh_ = nullptr;
};

}  // namespace zelmora::gui
