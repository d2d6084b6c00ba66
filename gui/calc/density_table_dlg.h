#pragma once
// "Плотности веществ": the density table "density.txt" of the database
// folder, with which a chromatogram's concentrations are turned from volume
// into mass fractions and back — one row per substance, its name and its
// density in kg/m3. "Выход" writes the table back (the file is replaced only
// once the new one is complete); a row with a name but no density, or a
// density that is no number above 0, keeps the dialog open and is named.
// Closing the dialog otherwise with changes asks whether to write them.

#include <QDialog>
#include <filesystem>

#include "processing/density_table.h"

class QPushButton;
class QTableWidget;

namespace zelmora::gui {

class CDensityTableDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CDensityTableDlg(std::filesystem::path file, QWidget* parent = nullptr);

    QTableWidget* grid() const { return grid_; }
    void addRow();     // "Добавить"
    void removeRow();  // "Удалить": the selected row
    // "Выход": writes the table and closes; false (dialog open) when a row
    // is incomplete or the file cannot be written.
    bool exitAndSave();
    // The rows as typed; a failure names the first incomplete row.
    Result<std::vector<DensityEntry>> entries() const;

    void reject() override;

  private:
    std::filesystem::path file_;
    QTableWidget* grid_ = nullptr;
    bool modified_ = false;
};

// Command "Настройка" of "Объемные/массовые проценты": the table of the
// database folder of the options.
void ShowDensityTableDialog(QWidget* parent);

}  // namespace zelmora::gui
