#pragma once
// The table combination dialog ("&Объединить..."): the peaks of one
// chromatogram (the source table) and a second table of volume
// concentrations — permanent gases typed in or read from an ".et" file or
// another chromatogram (the manual table) — combined into the result table,
// rescaled to 100 % and given in volume or mass per cent with the densities
// of the density map. The map is the user's "Denseness.den"; it changes only
// through "Сохранить таблицу плотностей". Tables are saved as ".et" files.
//
// A chromatogram open in a window is taken as it is there, unsaved edits
// included, and is never read again from its file. A file that cannot be
// read is reported and leaves the table and its title as they were; a
// damaged density map is reported and replaced only when confirmed.

#include <QDialog>
#include <filesystem>
#include <functional>

#include "calc/composition_table.h"

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTableWidget;

namespace zelmora::gui {

class CCombineTablesDlg : public QDialog {
    Q_OBJECT
  public:
    // A chromatogram's table and its sample text.
    struct Chromatogram {
        CompositionTable table;
        std::string sample;
    };
    using Loader = std::function<Result<Chromatogram>(const std::filesystem::path&)>;

    // `densityMapFile` the user's "Denseness.den"; `dataFolder` the folder
    // "Data" whose files the source title names relative to it.
    CCombineTablesDlg(std::filesystem::path densityMapFile, std::filesystem::path dataFolder,
                      QWidget* parent = nullptr);

    void setLoader(Loader loader) { loader_ = std::move(loader); }

    void openSource();     // "Открыть исходную таблицу"
    void openSecond();     // "Открыть вторую таблицу"
    void addRows();        // "Добавить"
    void removeEmpty();    // "Удалить пустые строки"
    void addDensities();   // "Добавить плотности"
    void recalculate();    // "Перерасчет..."
    void saveManual();     // "Сохранить данные рукописного ввода"
    void saveResult();     // "Сохранить итоговую таблицу"
    void saveDensities();  // "Сохранить таблицу плотностей"

    CompositionTable sourceTable() const;
    CompositionTable manualTable() const;
    CompositionTable resultTable() const;
    const DensityMap& densities() const { return densities_; }

    QTableWidget* sourceGrid() const { return source_; }
    QTableWidget* manualGrid() const { return manual_; }
    QTableWidget* resultGrid() const { return result_; }
    QLabel* sourceTitle() const { return sourceTitle_; }
    QLabel* manualTitle() const { return manualTitle_; }
    QLabel* resultTitle() const { return resultTitle_; }
    QSpinBox* rowsBox() const { return rows_; }
    QRadioButton* volumeButton() const { return volume_; }
    QRadioButton* massButton() const { return mass_; }

  private:
    void cellEdited(QTableWidget* grid, int row, int column);

    std::filesystem::path densityMapFile_;
    std::filesystem::path dataFolder_;
    Loader loader_;
    DensityMap densities_;
    bool mapDamaged_ = false;  // the map file exists but could not be read
    bool filling_ = false;

    QTableWidget* source_ = nullptr;
    QTableWidget* manual_ = nullptr;
    QTableWidget* result_ = nullptr;
    QLabel* sourceTitle_ = nullptr;
    QLabel* manualTitle_ = nullptr;
    QLabel* resultTitle_ = nullptr;
    QSpinBox* rows_ = nullptr;
    QRadioButton* volume_ = nullptr;
    QRadioButton* mass_ = nullptr;
};

// Reads a chromatogram file into a table.
Result<CCombineTablesDlg::Chromatogram> readChromatogramTable(const std::filesystem::path& file);

// "&Объединить..." over the main window, whose open chromatograms it reads.
void ShowCombineTablesDialog(QWidget* mainWindow);

}  // namespace zelmora::gui
