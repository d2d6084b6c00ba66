#pragma once
// "Подключение прибора %d": the type and the port of one device of the list
// (or of a device about to be added), and the device file that the chosen
// port stands for on this workstation. The type cannot be changed while the
// device is connected; a converter without a line has no port to choose.

#include <QDialog>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;

namespace zelmora {
class CDeviceManager;
}

namespace zelmora::gui {

// Port lines offered in the port combo ("COM1" ... "COM32").
inline constexpr int kPortChoices = 32;

struct DeviceChoice {
    int type = 0;
    int port = 0;          // 0-based: 0 = "COM1"
    std::string portPath;  // the device file of the port; empty = the default one
};

class CConnectDeviceDlg : public QDialog {
    Q_OBJECT
  public:
    // `deviceIndex` -1 for a new device.
    CConnectDeviceDlg(const CDeviceManager& devices, int deviceIndex, QWidget* parent = nullptr);

    DeviceChoice choice() const;
    QComboBox* typeBox() const { return type_; }
    QComboBox* portBox() const { return port_; }
    QLineEdit* pathEdit() const { return path_; }

    // Refuses a device file that is not a full path.
    void accept() override;

  private:
    void typeChanged();
    void portChanged();

    const CDeviceManager& devices_;
    int index_;
    QComboBox* type_ = nullptr;
    QComboBox* port_ = nullptr;
    QLineEdit* path_ = nullptr;
    QLabel* note_ = nullptr;
};

// The text of a device file fit for a port mapping: empty (the default) or
// a full path; otherwise the reason it is refused.
std::string checkPortPath(const std::string& path);

// Puts the choice into the list: adds a device (index -1) or changes device
// `index` (another type replaces the device). Refusals and failures are
// shown; true when the list changed.
bool applyDeviceChoice(CDeviceManager& devices, int index, const DeviceChoice& choice,
                       QWidget* parent);
// The dialog for device `index` (-1: a new one), then applyDeviceChoice.
bool editDeviceConnection(CDeviceManager& devices, int index, QWidget* parent);

}  // namespace zelmora::gui
