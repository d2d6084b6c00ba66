#pragma once
// "Группы": which components the report and the view sum into groups — a
// table of pairs (peak, group) filled from the lists of the method's
// components and of the group names. A pair joins its group's other pairs.

#include <QWidget>

#include "method/method_records.h"

class QComboBox;
class QPushButton;
class QTableWidget;

namespace zelmora::gui {

class CMtdPeekGroupPg : public QWidget {
    Q_OBJECT
  public:
    CMtdPeekGroupPg(std::vector<ComponentGroup>& groups, const CalculationSettings& calculation,
                    QWidget* parent = nullptr);

    // The component list follows the method's components each time the
    // page is shown.
    void activated();

    // "Добавить": the pair of the two lists' texts; "Удалить": the selected
    // pair. False when nothing changed.
    bool addPair();
    bool deleteSelected();

    QComboBox* components() const { return components_; }
    QComboBox* groupNames() const { return groupNames_; }
    QTableWidget* pairs() const { return pairs_; }

  private:
    void fill();

    std::vector<ComponentGroup>& groups_;
    const CalculationSettings& calculation_;
    QComboBox* components_ = nullptr;
    QComboBox* groupNames_ = nullptr;
    QTableWidget* pairs_ = nullptr;
};

}  // namespace zelmora::gui
