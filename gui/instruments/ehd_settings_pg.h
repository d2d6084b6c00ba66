#pragma once
// "Электро-химический детектор": the settings page of the "ЭХД+КД"
// detector — its mode and range, the detector's and the columns'
// temperatures, the three electrode potentials and the three times, the
// thermostats and the inversion, with what the detector measures now. With
// a connected detector "Применить" sends the page to it and the method
// buttons copy the page from or into a method's detector block; without
// one (a method's own page) those buttons are hidden.
//
// The page shows values on the detector's code grids, rounded up to 0.1 °C,
// 0.01 V and 10 s, so that what is shown is what the detector will do.

#include <QDialog>
#include <QWidget>

#include "method/instrument_settings.h"

class QButtonGroup;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTimer;

namespace zelmora {
class CEhdDetector;
}

namespace zelmora::gui {

class CEhdSettingsPage : public QWidget {
    Q_OBJECT
  public:
    // `device` may be null: the page of a method's detector block.
    explicit CEhdSettingsPage(CEhdDetector* device, QWidget* parent = nullptr);

    // The page's values as a method's block, and the inversion.
    MethodEhdSettings values() const;
    bool invert() const;
    void setValues(const MethodEhdSettings& v, bool invert);

    // The device's wanted settings into the page.
    void loadFromDevice();
    // "Применить": the page into the device's wanted settings (through the
    // code grids), the device back to setting parameters, the page reloaded.
    void apply();
    // "<- Из метода" / "-> В метод" with the method named (tests and the
    // buttons after the chooser). A failure or a method without a detector
    // block is reported in a message box; false then.
    bool copyFromMethod(const std::string& methodName);
    bool copyToMethod(const std::string& methodName);

    QPushButton* applyButton() const { return apply_; }
    QPushButton* fromMethodButton() const { return fromMethod_; }
    QPushButton* toMethodButton() const { return toMethod_; }
    QLabel* statusLabel() const { return status_; }
    QDoubleSpinBox* detectorTemperatureBox() const { return detectorTemperature_; }
    QDoubleSpinBox* measuringPotentialBox() const { return measuringPotential_; }
    QDoubleSpinBox* cleaningTimeBox() const { return cleaningTime_; }

  private:
    void refreshMeasured();
    std::string chooseMethod();

    CEhdDetector* device_;
    QButtonGroup* mode_ = nullptr;
    QButtonGroup* range_ = nullptr;
    QDoubleSpinBox* detectorTemperature_ = nullptr;
    QDoubleSpinBox* columnTemperature_ = nullptr;
    QLabel* detectorMeasured_ = nullptr;
    QLabel* columnMeasured_ = nullptr;
    QDoubleSpinBox* measuringPotential_ = nullptr;
    QDoubleSpinBox* cleaningPotential_ = nullptr;
    QDoubleSpinBox* restoringPotential_ = nullptr;
    QDoubleSpinBox* delayTime_ = nullptr;
    QDoubleSpinBox* cleaningTime_ = nullptr;
    QDoubleSpinBox* restoringTime_ = nullptr;
    QCheckBox* detectorThermostat_ = nullptr;
    QCheckBox* columnThermostat_ = nullptr;
    QCheckBox* invert_ = nullptr;
    QLabel* adc_ = nullptr;
    QLabel* scale_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* fromMethod_ = nullptr;
    QPushButton* toMethod_ = nullptr;
    QTimer* timer_ = nullptr;
};

// The device's settings window: the page with OK (which applies) and Cancel.
class CEhdSettingsDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CEhdSettingsDlg(CEhdDetector& device, QWidget* parent = nullptr);
    CEhdSettingsPage* page() const { return page_; }
    void accept() override;

  private:
    CEhdSettingsPage* page_ = nullptr;
};

// A method's detector block in the page, with OK and Cancel (the method
// editor's "Редактировать"); true when it was changed. The block takes the
// values on the detector's grids.
bool editMethodEhdSettings(MethodEhdSettings& block, QWidget* parent);

// Rounds up to a multiple of `step` (values already on it stay).
double roundUpToStep(double value, double step);

}  // namespace zelmora::gui
