#pragma once
// The settings windows of the converters, opened by a converter's
// "&Установки..." whether it is connected or not:
// - "Параметры работы АЦП4" (Ostrel): which channels' signals are inverted;
//   OK gives the flags to the converter at once, so that the samples it
//   decodes from then on change sign;
// - "Параметры работы КД+АЦП": the detector's offset (1 ... 1022) and
//   temperature (0 ... 100), the checksum of the command that carries them,
//   and the inversion; "Применить" checks the ranges and marks the command
//   for the converter's writer thread, which sends it within a second;
// - "Параметры работы Varsel": the wanted wavelength and division factor
//   that the driver brings the detector to, next to what the detector
//   reports now.
// Each shows two lamps, refreshed on a timer: the converter is connected,
// and frames arrive from it. What the operator applies is written to the
// device's key of the settings at once ("CheckChn1" ... "CheckChn4";
// "OffSet", "Temperature", "Invert" also in the key "Ostrel"), so that it
// is kept even when the program does not end normally. The Varsel's wanted
// values are not stored: the detector keeps its own setpoints, and on
// connection the driver takes them from it.

#include <QDialog>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace zelmora {
class CDevice;
class CDeviceManager;
class COstrelAdc;
class CDetectorAdc;
class CVarselAdc;
}  // namespace zelmora

namespace zelmora::gui {

// The settings window of device `index` when its type has one of the
// windows above: true when the operator applied settings. None for the other
// types (the caller offers what it has for them).
std::optional<bool> showConverterSettings(CDeviceManager& devices, int index, QWidget* parent);

// What the two lamps have in common in the three windows.
class CConverterSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    // The lamps' refresh period.
    static constexpr int kRefreshMs = 500;

    bool connectedLit() const { return connectedLit_; }
    bool exchangeLit() const { return exchangeLit_; }
    // True once settings were applied to the converter.
    bool applied() const { return applied_; }

  protected:
    CConverterSettingsDlg(CDevice& device, CDeviceManager& devices, const QString& title,
                          QWidget* parent);
    // The lamps row, for the window's layout.
    QWidget* lampsRow() const { return lampsRow_; }
    // Writes the device list with the device's key and reports a failure;
    // the values stay in the converter either way.
    void keepSettings();
    // A whole number of the box in [lo, hi]; otherwise the message names the
    // field and its range and the box gets the focus.
    std::optional<int> takeInt(QLineEdit* box, const QString& field, int lo, int hi,
                               const QString& unit = {});
    // Called on every refresh after the lamps.
    virtual void refresh() {}
    void markApplied() { applied_ = true; }

  private:
    void refreshLamps();

    CDevice& device_;
    CDeviceManager& devices_;
    QWidget* lampsRow_ = nullptr;
    QLabel* connectedLamp_ = nullptr;
    QLabel* exchangeLamp_ = nullptr;
    QTimer* timer_ = nullptr;
    bool connectedLit_ = false;
    bool exchangeLit_ = false;
    bool applied_ = false;
    std::uint64_t lastFrames_ = 0;
};

// "Параметры работы АЦП4".
class COstrelSettingsDlg : public CConverterSettingsDlg {
    Q_OBJECT
  public:
    COstrelSettingsDlg(COstrelAdc& device, CDeviceManager& devices, QWidget* parent = nullptr);
    QCheckBox* invertBox(int channel) const {
        return invert_.at(static_cast<std::size_t>(channel));
    }
    QLabel* statusLabel() const { return status_; }
    // OK: the flags into the converter and the settings.
    void accept() override;

  protected:
    void refresh() override;

  private:
    COstrelAdc& device_;
    std::array<QCheckBox*, 4> invert_{};
    QLabel* status_ = nullptr;
};

// "Параметры работы КД+АЦП".
class CDetectorAdcSettingsDlg : public CConverterSettingsDlg {
    Q_OBJECT
  public:
    CDetectorAdcSettingsDlg(CDetectorAdc& device, CDeviceManager& devices,
                            QWidget* parent = nullptr);
    QLineEdit* offsetBox() const { return offset_; }
    QLineEdit* temperatureBox() const { return temperature_; }
    QLabel* checksumLabel() const { return checksum_; }
    QCheckBox* invertBox() const { return invert_; }
    QPushButton* applyButton() const { return apply_; }
    // "Применить": false (with the message shown) when a value is refused.
    bool apply();
    // OK applies first and stays open when a value is refused.
    void accept() override;

  private:
    void showChecksum();

    CDetectorAdc& device_;
    QLineEdit* offset_ = nullptr;
    QLineEdit* temperature_ = nullptr;
    QLabel* checksum_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QPushButton* apply_ = nullptr;
};

// "Параметры работы Varsel".
class CVarselSettingsDlg : public CConverterSettingsDlg {
    Q_OBJECT
  public:
    CVarselSettingsDlg(CVarselAdc& device, CDeviceManager& devices, QWidget* parent = nullptr);
    QLineEdit* wavelengthBox() const { return wavelength_; }
    QLineEdit* divisionBox() const { return division_; }
    QLabel* currentLabel() const { return current_; }
    QPushButton* applyButton() const { return apply_; }
    bool apply();
    void accept() override;

  protected:
    void refresh() override;

  private:
    void showWanted();

    CVarselAdc& device_;
    QLineEdit* wavelength_ = nullptr;
    QLineEdit* division_ = nullptr;
    QLabel* current_ = nullptr;
    QPushButton* apply_ = nullptr;
};

}  // namespace zelmora::gui
