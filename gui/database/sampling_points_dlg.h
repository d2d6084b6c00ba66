#pragma once
// The sampling-points dialog "Точки отбора": the catalogue of stations
// ("Пункт отбора") and their points ("Точка отбора"), and for the chosen
// point the components under control with their critical values
// ("Контролируемые компоненты") beside the components not yet controlled
// ("Все компоненты"). Deleting a station takes its points and their critical
// values with it; analyses keep their station and point names.

#include <QDialog>

class QComboBox;
class QListWidget;
class QTableView;

namespace zelmora::db {
class Connection;
}

namespace zelmora::gui {

class TextTableModel;

class CSamplingPointsDlg : public QDialog {
    Q_OBJECT
  public:
    // Opened with a station and point name, it selects them.
    CSamplingPointsDlg(db::Connection& db, const QString& station = {}, const QString& point = {},
                       QWidget* parent = nullptr);

    bool addStation();
    bool deleteStation();
    bool addPoint();
    bool deletePoint();
    // "+  Параметр" and "-  Параметр".
    bool controlSelected();
    bool uncontrolSelected();

    QComboBox* station() const { return station_; }
    QComboBox* point() const { return point_; }
    QTableView* controlled() const { return grid_; }
    TextTableModel* controlledModel() const { return model_; }
    QListWidget* left() const { return left_; }
    // Key of the selected point, 0 for none.
    int pointKey() const;
    int stationKey() const;

  private:
    void refillStations();
    void refillPoints();
    void refillComponents();

    db::Connection& db_;
    QComboBox* station_ = nullptr;
    QComboBox* point_ = nullptr;
    QTableView* grid_ = nullptr;
    TextTableModel* model_ = nullptr;
    QListWidget* left_ = nullptr;
};

}  // namespace zelmora::gui
