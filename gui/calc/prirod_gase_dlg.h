#pragma once
// The window "Расчёт определения параметров природных горючих газов": the
// list of chromatograms of one natural-gas sample (repeated analyses), their
// mean composition with methane by difference and the repeatability verdict
// of every component, and the gas's heats of combustion, Wobbe numbers and
// densities at 20 °C or 0 °C in MJ/m³ or kcal/m³. Everything is computed
// anew after each change of the list, the water content, the air density,
// the temperature, the unit and the names. A composition the calculation
// refuses (components above 100 %) leaves the results empty and says why.
//
// There is at most one such window; ShowNaturalGasWindow opens or activates
// it. The laboratory's component names and limits are read from the
// settings when it opens and written when it closes.

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "calc/natural_gas_calculator.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace zelmora {
class SettingsStore;
}

namespace zelmora::gui {

class NumberEdit;
class CReportWnd;

class CPrirodGaseDlg : public QWidget {
    Q_OBJECT
  public:
    // Where a chromatogram comes from (an open window's document, or its
    // file), and how one is opened in a window ("Открыть").
    using Loader = std::function<Result<GasChromatogram>(const std::filesystem::path&)>;
    using Opener = std::function<bool(const std::filesystem::path&)>;

    CPrirodGaseDlg(SettingsStore& settings, QWidget* parent = nullptr);
    ~CPrirodGaseDlg() override;

    void setLoader(Loader loader) { loader_ = std::move(loader); }
    void setOpener(Opener opener) { opener_ = std::move(opener); }

    // "&Добавить" with the chosen files: files that cannot be read are not
    // added, and are named in one message. Returns how many were added.
    int addFiles(const std::vector<std::filesystem::path>& files);
    void addWithDialog();
    void removeSelected();  // "&Удалить"
    void removeAll();       // "Удалить &все"
    void openSelected();    // "Открыть"
    void toggleTemperature();
    void toggleUnit();
    void setWaterPercent(double percent);
    void setAirReference(AirDensityReference ref);
    void editNames();  // "Имена"
    // "&Отчёт": the report "Расчёт свойств природного газа" in a report
    // window, to be printed, saved as RTF or written as PDF there; null when
    // the form could not be read (the reason has been shown).
    CReportWnd* makeReport();

    const GasConditions& conditions() const { return conditions_; }
    const GasComponentNames& names() const { return names_; }
    const GasChromatogramList& analyses() const { return list_; }
    // The last successful calculation; empty after a refused one.
    const std::optional<NaturalGasResult>& result() const { return result_; }

    QTreeWidget* chromatogramList() const { return chromatograms_; }
    QTableWidget* compositionGrid() const { return grid_; }
    QLineEdit* higherHeatBox() const { return higherHeat_; }
    QLineEdit* lowerHeatBox() const { return lowerHeat_; }
    QLineEdit* higherWobbeBox() const { return higherWobbe_; }
    QLineEdit* lowerWobbeBox() const { return lowerWobbe_; }
    QLineEdit* relativeDensityBox() const { return relativeDensity_; }
    QLineEdit* absoluteDensityBox() const { return absoluteDensity_; }
    QPushButton* temperatureButton() const { return temperature_; }
    QPushButton* unitButton() const { return unit_; }
    QPushButton* reportButton() const { return report_; }
    NumberEdit* waterBox() const { return water_; }
    QComboBox* airBox() const { return air_; }
    // The reason the last calculation was refused, or empty.
    QString problemText() const;

    // Names dialog stand-in for tests: gets the window's names and
    // conditions, returns the edited ones or nothing for "Отмена".
    using NamesEditor = std::function<std::optional<std::pair<GasComponentNames, GasConditions>>(
        const GasComponentNames&, const GasConditions&, QWidget*)>;
    static NamesEditor namesEditor;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void recalculate();
    void fillList();
    void fillResults();
    void onWaterEdited();
    Status saveNames();

    SettingsStore& settings_;
    Loader loader_;
    Opener opener_;
    GasComponentNames names_;
    GasConditions conditions_;
    GasChromatogramList list_;
    std::optional<NaturalGasResult> result_;
    bool namesSaved_ = false;

    QTreeWidget* chromatograms_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QLineEdit* higherHeat_ = nullptr;
    QLineEdit* lowerHeat_ = nullptr;
    QLineEdit* higherWobbe_ = nullptr;
    QLineEdit* lowerWobbe_ = nullptr;
    QLineEdit* relativeDensity_ = nullptr;
    QLineEdit* absoluteDensity_ = nullptr;
    QLabel* problem_ = nullptr;
    QPushButton* temperature_ = nullptr;
    QPushButton* unit_ = nullptr;
    QPushButton* report_ = nullptr;
    NumberEdit* water_ = nullptr;
    QComboBox* air_ = nullptr;
};

// Opens the one natural-gas window over `mainWindow` (the main frame, whose
// open chromatograms it reads and opens files in), or restores and activates
// it when it is open already. Returns the window.
CPrirodGaseDlg* ShowNaturalGasWindow(QWidget* mainWindow);
// The open window, or null.
CPrirodGaseDlg* naturalGasWindow();

}  // namespace zelmora::gui
