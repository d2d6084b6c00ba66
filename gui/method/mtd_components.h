#pragma once
// "Расчёт": how the concentrations of the method are computed — the
// calculation kind, the response, the internal standard, how references and
// components are identified, the main substance by difference, the dead
// time — and the component table: number, name, retention time, window,
// reference mark and retention index of every component, with "&Калибровка"
// opening the calibration of the current one.
//
// A change of the kind, the response or the standard refits the calibration
// of every component at once, so that the coefficients always follow the
// calculation the method asks for.

#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "method/method_records.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace zelmora::gui {

class NumberEdit;

class CMtdComponents : public QWidget {
    Q_OBJECT
  public:
    enum Column { kNumber, kName, kTime, kWindow, kReference, kIndex, kColumnCount };

    // `methodName` is read when the operator's deletions are written into
    // the work log; it must outlive the page.
    CMtdComponents(CalculationSettings& settings, const std::string& methodName,
                   QWidget* parent = nullptr);

    bool takeValues();
    // The page shown: the components in ascending retention time.
    void activated();

    // The operator's edits, as the table's cells and buttons do them.
    // A number cell ("Время, мин", "Окно", "Индекс"): false (and a beep) for
    // a text that is not a number; the old value is shown again.
    bool editCell(int row, int column, const QString& text);
    bool renameComponent(int row, const QString& name);
    void toggleReference(int row);
    void addComponent();
    bool deleteCurrent();
    bool deleteAll();
    // "&Калибровка" on the current row.
    bool openCalibration();
    // The calculation settings of the page taken and every component refitted.
    void refit();

    QComboBox* kinds() const { return kind_; }
    QComboBox* responses() const { return response_; }
    QComboBox* standards() const { return standard_; }
    QComboBox* referenceIdentification() const { return referenceId_; }
    QComboBox* identification() const { return identification_; }
    QCheckBox* mainByDifference() const { return mainByDifference_; }
    QLineEdit* mainSubstance() const { return mainSubstance_; }
    NumberEdit* deadTime() const { return deadTime_; }
    QTableWidget* table() const { return table_; }
    QLineEdit* levels() const { return levels_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* deleteAllButton() const { return deleteAll_; }
    QPushButton* calibrationButton() const { return calibrate_; }

    // The name dialog "Компонент" (the database's component names), and the
    // calibration dialog on a component; replaced by tests.
    std::function<std::optional<QString>(const QString& current)> askName;
    std::function<void(CalculationSettings&, int component)> calibrate;

  private:
    void fill();
    void fillStandards();
    void updateEnabling();
    void takeCombos();

    CalculationSettings& settings_;
    const std::string& methodName_;
    QComboBox* kind_ = nullptr;
    QComboBox* response_ = nullptr;
    QComboBox* standard_ = nullptr;
    QComboBox* referenceId_ = nullptr;
    QComboBox* identification_ = nullptr;
    QCheckBox* mainByDifference_ = nullptr;
    QLineEdit* mainSubstance_ = nullptr;
    NumberEdit* deadTime_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLineEdit* levels_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* deleteAll_ = nullptr;
    QPushButton* calibrate_ = nullptr;
    bool filling_ = false;
};

// The dialog "Компонент": a name typed or picked from `names`; nothing on cancel.
std::optional<QString> askComponentName(const QString& current, const QStringList& names,
                                        QWidget* parent);
// The component names of the analyses database (table Parametres), empty
// without a database.
QStringList databaseComponentNames();

}  // namespace zelmora::gui
