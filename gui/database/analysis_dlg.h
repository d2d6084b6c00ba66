#pragma once
// The analysis dialog "Анализ": one analysis of the database with its
// station and point, sampling date and time, method, sample and operator,
// and its results, each value shaded against the component's critical value
// at the point. The operator corrects values, adds components from "Все
// компоненты", removes results, opens the point's critical values, deletes
// the analysis. Closing takes the fields over; an analysis made by "Новый
// анализ" and left empty is deleted.

#include <QDialog>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace zelmora::db {
class Connection;
}

namespace zelmora::gui {

class TextTableModel;

class CAnalysisDlg : public QDialog {
    Q_OBJECT
  public:
    CAnalysisDlg(db::Connection& db, int keyAnalys, bool createdEmpty, QWidget* parent = nullptr);

    int keyAnalys() const { return key_; }
    bool deleted() const { return deleted_; }

    // Writes the fields into the analysis when one changed; false (with the
    // reason shown) when they cannot be taken.
    bool takeFields();
    void refillResults();
    void refillLeft();
    // "&Добавить": the selected components of "Все компоненты" as results.
    void addSelectedComponents();
    // "&Удалить": the selected results.
    void removeSelectedResults();
    // "Удалить анализ", asked with `ask`.
    void deleteAnalysis(bool ask = true);
    // "Крит. значения": the sampling-points dialog on the point.
    void showCriticalValues();

    void accept() override;
    void reject() override;

    QComboBox* station() const { return station_; }
    QComboBox* point() const { return point_; }
    QComboBox* method() const { return method_; }
    QLineEdit* date() const { return date_; }
    QLineEdit* sample() const { return sample_; }
    QLineEdit* operatorName() const { return operator_; }
    QTableView* results() const { return results_; }
    TextTableModel* resultsModel() const { return model_; }
    QListWidget* left() const { return left_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void load();
    // Closing: the fields taken over, then the empty new analysis removed.
    bool finish();

    db::Connection& db_;
    int key_;
    bool createdEmpty_;
    bool deleted_ = false;
    std::string fileName_;
    QComboBox* station_ = nullptr;
    QComboBox* point_ = nullptr;
    QComboBox* method_ = nullptr;
    QLineEdit* date_ = nullptr;
    QLineEdit* sample_ = nullptr;
    QLineEdit* operator_ = nullptr;
    QTableView* results_ = nullptr;
    TextTableModel* model_ = nullptr;
    QListWidget* left_ = nullptr;
};

}  // namespace zelmora::gui
