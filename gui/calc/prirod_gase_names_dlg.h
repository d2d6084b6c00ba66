#pragma once
// The dialog "Имена" of the natural-gas window: the 22 components of the
// table with their formulas, the names under which the laboratory's
// chromatograms carry them, their heats of combustion and relative density
// at the chosen temperature and unit, and their repeatability limits. Only
// the name and the limit can be edited; OK keeps them only when every name
// is given once and every limit is a number above 0.

#include <QDialog>

#include "calc/gas_component_names.h"

class QPushButton;
class QTableWidget;

namespace zelmora::gui {

class CPrirodGaseNamesDlg : public QDialog {
    Q_OBJECT
  public:
    CPrirodGaseNamesDlg(const GasComponentNames& names, const GasConditions& conditions,
                        QWidget* parent = nullptr);

    const GasComponentNames& names() const { return names_; }
    const GasConditions& conditions() const { return conditions_; }
    QTableWidget* grid() const { return grid_; }
    QPushButton* temperatureButton() const { return temperature_; }
    QPushButton* unitButton() const { return unit_; }

    void accept() override;

  private:
    void fillConstants();

    GasComponentNames names_;
    GasConditions conditions_;
    QTableWidget* grid_ = nullptr;
    QPushButton* temperature_ = nullptr;
    QPushButton* unit_ = nullptr;
};

}  // namespace zelmora::gui
