#pragma once
// The "Дозатор HT300" autosampler's windows:
// - "HT300Main": the tray's vials with their sample names and use marks,
//   the sampler's state, and the series' start and stop;
// - "HT300Settings": the dose, speeds and times, the washes, the internal
//   standard and where the injections start recordings (device, channels
//   of the near and far injectors); OK checks every rule of the sampler and,
//   on a broken one, says which and stays open;
// - "HT300Setup1": the solvents, washing counts and modes, the removal of
//   bubbles and the hand wash of the syringe.
// Volumes are entered in microlitres and kept in hundredths.

#include <QDialog>

#include "instruments/ht300_sampler.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace zelmora {
class CDeviceManager;
}

namespace zelmora::gui {

class CHt300SettingsDlg : public QDialog {
    Q_OBJECT
  public:
    // `devices` may be null (no device list: the recording device is not
    // offered and not checked).
    CHt300SettingsDlg(CHt300Sampler& sampler, CDeviceManager* devices, QWidget* parent = nullptr);

    // The values of the dialog over the sampler's settings.
    Ht300Settings values() const;
    // The first broken rule, as the operator is told; none when usable.
    std::optional<std::string> check() const;
    void accept() override;

    QDoubleSpinBox* doseBox() const { return dose_; }
    QDoubleSpinBox* aspirationSpeedBox() const { return aspSpeed_; }
    QDoubleSpinBox* injectionSpeedBox() const { return ejeSpeed_; }
    QDoubleSpinBox* preTimeBox() const { return preTime_; }
    QDoubleSpinBox* preWashBox() const { return preVol_; }
    QDoubleSpinBox* internalStandardBox() const { return isVol_; }
    QCheckBox* internalStandardCheck() const { return isoEnab_; }
    QComboBox* deviceBox() const { return device_; }
    QCheckBox* nearChannel(int c) const { return near_[c]; }
    QCheckBox* farChannel(int c) const { return far_[c]; }
    QSpinBox* repeatBox() const { return repeat_; }

  private:
    void showChannels();

    CHt300Sampler& sampler_;
    CDeviceManager* devices_;
    Ht300Settings base_;
    QDoubleSpinBox* dose_ = nullptr;
    QDoubleSpinBox* aspSpeed_ = nullptr;
    QDoubleSpinBox* ejeSpeed_ = nullptr;
    QDoubleSpinBox* preTime_ = nullptr;
    QDoubleSpinBox* posTime_ = nullptr;
    QSpinBox* repeat_ = nullptr;
    QComboBox* injectors_ = nullptr;
    QDoubleSpinBox* preVol_ = nullptr;
    QDoubleSpinBox* volFill_ = nullptr;
    QDoubleSpinBox* postVol_ = nullptr;
    QDoubleSpinBox* volAir_ = nullptr;
    QCheckBox* isoEnab_ = nullptr;
    QDoubleSpinBox* isVol_ = nullptr;
    QSpinBox* isVial_ = nullptr;
    QComboBox* device_ = nullptr;
    QCheckBox* near_[8] = {};
    QCheckBox* far_[8] = {};
};

class CHt300Setup1Dlg : public QDialog {
    Q_OBJECT
  public:
    explicit CHt300Setup1Dlg(CHt300Sampler& sampler, QWidget* parent = nullptr);

    Ht300Settings values() const;
    std::optional<std::string> check() const;
    void accept() override;
    // "Промыть": the hand wash with the dialog's values (kept on success).
    bool washNow();

    QDoubleSpinBox* handWashVolumeBox() const { return handVol_; }
    QPushButton* washButton() const { return wash_; }

  private:
    CHt300Sampler& sampler_;
    Ht300Settings base_;
    QSpinBox* predSolvent_ = nullptr;
    QSpinBox* postSolvent_ = nullptr;
    QSpinBox* clnCountPre_ = nullptr;
    QSpinBox* clnCountPost_ = nullptr;
    QSpinBox* clnModePre_ = nullptr;
    QSpinBox* clnModePost_ = nullptr;
    QSpinBox* clnSamp_ = nullptr;
    QSpinBox* bubbleDelay_ = nullptr;
    QSpinBox* bubbleStrokes_ = nullptr;
    QSpinBox* handSolvent_ = nullptr;
    QDoubleSpinBox* handVol_ = nullptr;
    QSpinBox* handCount_ = nullptr;
    QSpinBox* isSolv_ = nullptr;
    QPushButton* wash_ = nullptr;
};

class CHt300MainDlg : public QDialog {
    Q_OBJECT
  public:
    CHt300MainDlg(CHt300Sampler& sampler, CDeviceManager* devices, QWidget* parent = nullptr);

    // The table's names and marks into the sampler.
    void storeVials();
    // "Пуск" / "Стоп"; false when the series did not start.
    bool startSeries();
    void stopSeries();
    void refresh();

    QTableWidget* table() const { return table_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }

  protected:
    void done(int r) override;

  private:
    void fillTable();

    CHt300Sampler& sampler_;
    CDeviceManager* devices_;
    QTableWidget* table_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* tray_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QTimer* timer_ = nullptr;
    int places_ = 0;
};

}  // namespace zelmora::gui
