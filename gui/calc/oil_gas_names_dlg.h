#pragma once
// "Соотнесение веществ и названий": the seven dissolved gases of the
// transformer-oil analysis, the component under which each is saved in the
// analyses database, and its boundary concentration (% by volume; 0 for none).
// The formula is fixed; the name is chosen from the database's components
// with the picker "Компонент" (a double click on it); the boundary is typed
// in place and must be a number of 0 or more — anything else puts the
// previous value back. The dialog works on a copy: OK hands the edited list
// back, "Отмена" drops it.

#include <QDialog>
#include <functional>
#include <optional>

#include "calc/transformer_oil.h"

class QTableWidget;

namespace zelmora::gui {

class COilGasNamesDlg : public QDialog {
    Q_OBJECT
  public:
    explicit COilGasNamesDlg(const OilGasList& gases, QWidget* parent = nullptr);

    const OilGasList& gases() const { return gases_; }
    QTableWidget* grid() const { return grid_; }

    // Double click on the name of gas `row`.
    void chooseName(int row);

    // The picker "Компонент": the current name in, the chosen one out, or
    // nothing for "Отмена". Tests put their own in its place.
    using ComponentPicker =
        std::function<std::optional<std::string>(const std::string& current, QWidget* parent)>;
    static ComponentPicker pickComponent;

  private:
    void boundaryEdited(int row, int column);

    OilGasList gases_;
    QTableWidget* grid_ = nullptr;
    bool filling_ = false;
};

// The picker over the components of the analyses database the program has
// open; without one it says so and gives nothing.
std::optional<std::string> pickDatabaseComponent(const std::string& current, QWidget* parent);

// Page "Другое..." of the options: opens the editor on a copy of `gases`;
// the edited list on OK.
std::optional<OilGasList> editOilGases(const OilGasList& gases, QWidget* parent);

}  // namespace zelmora::gui
