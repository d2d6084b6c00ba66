#pragma once
// The Kalder chromatograph's settings sheet (`CZelmoraKalderSettings`, on
// the property-sheet base `CPropertySheetMy`): one window for everything
// the chromatograph is told before an analysis.
//
//   "Общие"           column temperature programme, heated zones and
//                     carrier gases, set and measured; the total programme
//                     time; "Охлаждение" and "Прервать темп. прогр."
//   "Дополнительные"  ignition, flame level, detector inversion, bridge
//                     voltages and balances, zone maxima and tolerances,
//                     gas tolerances, channels 5-8, the start buttons, the
//                     readiness delay and the switches, "Состав прибора"
//   "Контроль"        live values of the instrument; "Plug && Play"
//   "Краны/Т.Зоны"    valves and the valve blocks' heated zones
//   "Pelvio"          the autosampler
//   "Наладка"         modules and parameter exchange (access above 3)
//   "Ошибки"          the alarms and "Сброс ошибок"
//
// The sheet holds its own copy of the settings; "Применить" and OK check
// them and write them into the bound chromatograph, "->В метод" stores them
// as a method's instrument block (through the method file's save: questions
// first, then a temporary file renamed over the old one) and "<-Из метода"
// takes them from a method. Without a bound chromatograph the sheet edits a
// method's block (the method editor's "Редактировать").

#include <QDialog>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "instruments/kalder_settings.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace zelmora {
class CKalderInstrument;
}

namespace zelmora::gui {

// A property sheet: pages on tabs, OK, "Отмена" and "Применить", and on
// request "->В метод" and "<-Из метода" left of OK.
class CPropertySheetMy : public QDialog {
    Q_OBJECT
  public:
    CPropertySheetMy(const QString& caption, bool methodButtons, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return tabs_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* toMethodButton() const { return toMethod_; }
    QPushButton* fromMethodButton() const { return fromMethod_; }
    const QString& caption() const { return caption_; }

    void accept() override;

  protected:
    // "Применить" and OK; false keeps the sheet open.
    virtual bool onApply() = 0;
    virtual void onToMethod() {}
    virtual void onFromMethod() {}

  private:
    QString caption_;
    QTabWidget* tabs_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* toMethod_ = nullptr;
    QPushButton* fromMethod_ = nullptr;
};

// "Установки газа-носителя" of one gas channel.
class CGasChannelDlg : public QDialog {
    Q_OBJECT
  public:
    CGasChannelDlg(int channel, const GasChannelSettings& s, QWidget* parent = nullptr);
    GasChannelSettings values() const;
    // The ramp durations as shown: "%.2f мин", "?" for a rate of 0.
    QString rampText(int ramp) const;
    void accept() override;

    QComboBox* gasType = nullptr;
    QComboBox* mode = nullptr;
    QDoubleSpinBox* length = nullptr;
    QDoubleSpinBox* diameter = nullptr;
    std::array<QDoubleSpinBox*, 3> pressure{};
    std::array<QDoubleSpinBox*, 2> hold{};
    std::array<QDoubleSpinBox*, 2> rate{};

  private:
    void update();
    QWidget* programme_ = nullptr;
    std::array<QLabel*, 2> ramps_{};
};

// "Общие".
class DlgKalderCm : public QWidget {
    Q_OBJECT
  public:
    explicit DlgKalderCm(QWidget* parent = nullptr);
    void load(const KalderSheetData& d);
    void store(KalderSheetData& d) const;
    void showLive(CKalderInstrument* device);
    // "Время программы" as shown.
    QString programmeTimeText() const;

    std::array<QDoubleSpinBox*, 5> temperature{};
    std::array<QDoubleSpinBox*, 5> isotherm{};
    std::array<QDoubleSpinBox*, 4> rate{};
    std::array<QLabel*, 8> zoneName{};
    std::array<QDoubleSpinBox*, 8> zoneSet{};  // [0] unused: the column follows the programme
    std::array<QLabel*, 8> zoneMeasured{};
    std::array<QLabel*, 12> gasName{};
    std::array<QDoubleSpinBox*, 12> gasSet{};
    std::array<QLabel*, 12> gasMeasured{};
    std::array<QPushButton*, 12> gasSetup{};
    QLabel* programmeTime = nullptr;
    QPushButton* cooling = nullptr;
    QPushButton* stopProgramme = nullptr;

  private:
    void editGas(int channel);
    void updateProgrammeTime();
    void updateGasLabels();
    std::array<GasChannelSettings, 12> gas_{};
    std::array<int, 8> zoneCode_{};
};

// "Дополнительные".
class DlgKalderDop : public QWidget {
    Q_OBJECT
  public:
    explicit DlgKalderDop(QWidget* parent = nullptr);
    void load(const KalderSheetData& d);
    void store(KalderSheetData& d) const;

    QSpinBox* ignitionAttempts = nullptr;
    QDoubleSpinBox* flameLevel = nullptr;
    std::array<QCheckBox*, 4> invert{};
    std::array<QDoubleSpinBox*, 4> bridge{};
    std::array<QDoubleSpinBox*, 4> balance{};
    std::array<QLabel*, 8> zoneName{};
    std::array<QDoubleSpinBox*, 8> zoneMax{};
    std::array<QDoubleSpinBox*, 8> zoneTolerance{};
    QDoubleSpinBox* carrierTolerance = nullptr;
    QDoubleSpinBox* hydrogenTolerance = nullptr;
    QDoubleSpinBox* airTolerance = nullptr;
    QDoubleSpinBox* pressureTolerance = nullptr;
    std::array<QComboBox*, 4> aux{};
    std::array<QComboBox*, 2> button{};
    QSpinBox* readinessDelay = nullptr;
    QCheckBox* silent = nullptr;
    QCheckBox* closeFlap = nullptr;
    QCheckBox* noWait = nullptr;
    QCheckBox* columnBelowDetector = nullptr;
    QCheckBox* startAll = nullptr;
    QCheckBox* autosampler = nullptr;
    QLineEdit* composition = nullptr;
};

// "Контроль": what the instrument measures now.
class DlgKalderMon : public QWidget {
    Q_OBJECT
  public:
    explicit DlgKalderMon(QWidget* parent = nullptr);
    void showLive(const CKalderInstrument* device);

    QLabel* mains = nullptr;
    QLabel* flap = nullptr;
    std::array<QLabel*, 4> signal{};
    QTableWidget* gases = nullptr;
    QLabel* flame = nullptr;
    QLabel* buttons = nullptr;
    QPushButton* plugAndPlay = nullptr;
};

// "Краны/Т.Зоны".
class DlgKalderKran : public QWidget {
    Q_OBJECT
  public:
    explicit DlgKalderKran(QWidget* parent = nullptr);
    void load(const KalderSheetData& d);
    void store(KalderSheetData& d) const;

    std::array<QComboBox*, 4> mode{};
    std::array<QComboBox*, 4> initial{};
    std::array<QDoubleSpinBox*, 4> time1{};
    std::array<QDoubleSpinBox*, 4> time2{};
    std::array<QComboBox*, 4> channel{};
    std::array<QDoubleSpinBox*, 4> zoneSet{};
    std::array<QDoubleSpinBox*, 4> zoneMax{};
    std::array<QDoubleSpinBox*, 4> zoneTolerance{};
};

// "Pelvio".
class DlgKalderPelvio : public QWidget {
    Q_OBJECT
  public:
    explicit DlgKalderPelvio(QWidget* parent = nullptr);
    void load(const KalderSheetData& d);
    void store(KalderSheetData& d) const;

    QSpinBox* firstVial = nullptr;
    QSpinBox* lastVial = nullptr;
    QSpinBox* injections = nullptr;
    QSpinBox* pumpings = nullptr;
    QSpinBox* washing = nullptr;
    QSpinBox* aspiration = nullptr;
    QSpinBox* injectionSpeed = nullptr;
    QSpinBox* injectionTime = nullptr;
    QDoubleSpinBox* volume = nullptr;
    QComboBox* port = nullptr;
    QComboBox* channel = nullptr;
};

// "Наладка": the modules and the state of the parameter exchange.
class DlgKalderRegulator : public QWidget {
    Q_OBJECT
  public:
    DlgKalderRegulator(int accessLevel, QWidget* parent = nullptr);
    void showLive(const CKalderInstrument* device);

    QTableWidget* modules = nullptr;
    QPlainTextEdit* report = nullptr;

  private:
    int accessLevel_;
};

// "Ошибки".
class DlgKalderErr : public QWidget {
    Q_OBJECT
  public:
    explicit DlgKalderErr(QWidget* parent = nullptr);
    void showLive(CKalderInstrument* device);

    QPlainTextEdit* text = nullptr;
    QPushButton* reset = nullptr;
};

class CZelmoraKalderSettings : public CPropertySheetMy {
    Q_OBJECT
  public:
    // `device` may be null: the sheet then edits a method's block.
    CZelmoraKalderSettings(CKalderInstrument* device, int accessLevel, QWidget* parent = nullptr);

    // The pages' values.
    KalderSheetData values() const;
    void setValues(const KalderSheetData& d);
    // The pages from the bound chromatograph.
    void LoadFromDevice();
    // Writes the sheet into the bound chromatograph as it stands (no checks,
    // no questions); the failure of a refused "Общие" page.
    Status ApplyToDevice();
    // Copies the general, additional, valve and autosampler settings.
    void CopyFrom(const CZelmoraKalderSettings& other);
    // "Применить" as the button does it: the checks, the question during an
    // analysis, then ApplyToDevice. False keeps the sheet open.
    bool apply();
    // "<-Из метода" / "->В метод" with the method named.
    bool copyFromMethod(const std::string& methodName);
    bool copyToMethod(const std::string& methodName);
    bool changed() const { return changed_; }

    DlgKalderCm* general() const { return cm_; }
    DlgKalderDop* additional() const { return dop_; }
    DlgKalderMon* monitor() const { return mon_; }
    DlgKalderKran* valves() const { return kran_; }
    DlgKalderPelvio* pelvio() const { return pelvio_; }
    DlgKalderRegulator* service() const { return regulator_; }
    DlgKalderErr* errors() const { return err_; }

  protected:
    bool onApply() override;
    void onToMethod() override;
    void onFromMethod() override;

  private:
    void refreshLive();
    void updateTitle();
    std::array<bool, 8> zonesPresent() const;

    CKalderInstrument* device_;
    int accessLevel_;
    KalderSheetData data_;  // what the pages do not show
    bool changed_ = false;
    DlgKalderCm* cm_ = nullptr;
    DlgKalderDop* dop_ = nullptr;
    DlgKalderMon* mon_ = nullptr;
    DlgKalderKran* kran_ = nullptr;
    DlgKalderPelvio* pelvio_ = nullptr;
    DlgKalderRegulator* regulator_ = nullptr;
    DlgKalderErr* err_ = nullptr;
    QTimer* timer_ = nullptr;
};

// A method's chromatograph block in the sheet, with OK and "Отмена" (the
// method editor's "Редактировать"); true when it was changed.
bool editMethodKalderSettings(MethodKalderSettings& block, QWidget* parent);

// The channel 5-8 selector texts ("Температура зоны 0", ...) and the start
// button functions ("Не использовать", "Канал 1", ...).
QString auxSelectorText(int selector);
QString buttonFunctionText(int function);

}  // namespace zelmora::gui
