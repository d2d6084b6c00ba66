#pragma once
// "Калибровка": the calibration of one component of a method — its levels
// (the calibration chromatograms' peaks and the amounts entered for them),
// the curve form, the coefficients fitted from the levels or entered by hand
// ("Вручную"), the spread of the classic fit (ОСКО and R) and the graph of
// the levels with the fitted curve. Every change refits every component of
// the method by its calculation kind, so what is shown is always the fit of
// what is entered.

#include <QDialog>
#include <array>

#include "method/method_records.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QTableWidget;

namespace zelmora::gui {

// Draws the levels of `component` as points (level `selected` highlighted)
// and its fitted curve into `area`, with the axis titles "Отклик детектора"
// and "Количество".
void drawCalibrationGraph(QPainter& painter, const QRectF& area,
                          const CalculationSettings& settings, int component, int selected);

class CCalibrationGraph : public QWidget {
    Q_OBJECT
  public:
    CCalibrationGraph(const CalculationSettings& settings, QWidget* parent = nullptr);
    void show(int component, int selected);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    const CalculationSettings& settings_;
    int component_ = -1;
    int selected_ = -1;
};

class CCalibrationDlg : public QDialog {
    Q_OBJECT
  public:
    enum Column { kLevel, kTime, kHeight, kArea, kCoefficient, kAmount, kColumnCount };

    CCalibrationDlg(CalculationSettings& settings, int component, QWidget* parent = nullptr);

    int component() const { return component_; }
    void setComponent(int component);

    // The operator's edits, as the controls do them.
    // A level cell (time, height, area, amount): false (and a beep) for a
    // text that is not a number.
    bool editLevel(int level, int column, const QString& text);
    void setCurveType(int type);
    void setManual(bool manual);
    // A coefficient field k`j` in manual mode: false (and a beep) for a text
    // that is not a number or a coefficient the curve form does not use.
    bool editCoefficient(int j, const QString& text);
    void addLevel();
    bool deleteSelectedLevel();
    bool deleteAllLevels();
    // Refits every component and shows the current one.
    void refresh();

    QComboBox* components() const { return components_; }
    QComboBox* curveForms() const { return curveForm_; }
    QCheckBox* manual() const { return manual_; }
    QLineEdit* coefficient(int j) const { return k_[j]; }
    QLabel* statistics() const { return statistics_; }
    QTableWidget* levels() const { return levels_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* deleteButton() const { return delete_; }
    QPushButton* deleteAllButton() const { return deleteAll_; }
    CCalibrationGraph* graph() const { return graph_; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    MethodComponent& current();

    CalculationSettings& settings_;
    int component_ = 0;
    QComboBox* components_ = nullptr;
    QComboBox* curveForm_ = nullptr;
    QLabel* curveLabel_ = nullptr;
    QCheckBox* manual_ = nullptr;
    std::array<QLineEdit*, 4> k_{};
    std::array<QLabel*, 4> kLabels_{};
    QLabel* statistics_ = nullptr;
    QTableWidget* levels_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* deleteAll_ = nullptr;
    CCalibrationGraph* graph_ = nullptr;
    bool filling_ = false;
};

}  // namespace zelmora::gui
