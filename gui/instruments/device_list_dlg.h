#pragma once
// "Подключение приборов": the instruments of this workstation in list order
// with their ports; devices are added, removed, moved and given another port
// here, and the channels of the selected device are switched in and out of
// use. Every change goes to the device list at once; the list is written by
// whoever opened the dialog. A device that is connected or records is never
// removed or replaced.

#include <QDialog>
#include <QList>

class QCheckBox;
class QGroupBox;
class QPushButton;
class QTreeWidget;

namespace zelmora {
class CDeviceManager;
}

namespace zelmora::gui {

class CDeviceListDlg : public QDialog {
    Q_OBJECT
  public:
    enum Button { Add, Remove, RemoveAll, Up, Down, Port, ButtonCount };

    explicit CDeviceListDlg(CDeviceManager& devices, QWidget* parent = nullptr);

    // True once the list or a device of it was changed.
    bool changed() const { return changed_; }

    QTreeWidget* list() const { return list_; }
    QPushButton* button(Button b) const { return buttons_.value(b); }
    // The check boxes "Канал %d" of the selected device (all eight; those
    // beyond its channel count are hidden).
    const QList<QCheckBox*>& channelBoxes() const { return channels_; }
    int currentDevice() const;
    void setCurrentDevice(int i);

    // The buttons' work.
    void addDevice();
    void removeDevice();
    void removeAllDevices();
    void moveUp();
    void moveDown();
    void editPort();

  private:
    void refill(int select);
    void selectionChanged();
    void channelToggled(int channel, bool on);
    // A device that may leave the list or be moved; otherwise the reason
    // has been shown.
    bool mayChange(int i, const char* what);

    CDeviceManager& devices_;
    QTreeWidget* list_ = nullptr;
    QList<QPushButton*> buttons_;
    QGroupBox* channelGroup_ = nullptr;
    QList<QCheckBox*> channels_;
    bool changed_ = false;
    bool filling_ = false;
};

}  // namespace zelmora::gui
