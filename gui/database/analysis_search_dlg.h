#pragma once
// The search dialog "Поиск анализа": station, point of the chosen station,
// sampling dates from and to, method and operator. Its criteria persist in
// the found-analyses window between searches; OK writes them back.

#include <QDialog>

#include "database/analysis_search.h"

class QComboBox;
class QDateEdit;
class QLineEdit;

namespace zelmora::gui {

class CAnalysisSearchDlg : public QDialog {
    Q_OBJECT
  public:
    CAnalysisSearchDlg(db::Connection& db, const db::AnalysisSearch& criteria,
                       QWidget* parent = nullptr);
    // The criteria as the dialog has them now.
    db::AnalysisSearch criteria() const;

    QComboBox* station() const { return station_; }
    QComboBox* point() const { return point_; }
    QComboBox* method() const { return method_; }
    QLineEdit* operatorName() const { return operator_; }
    QDateEdit* from() const { return from_; }
    QDateEdit* to() const { return to_; }

  private:
    db::Connection& db_;
    db::AnalysisSearch base_;
    QComboBox* station_ = nullptr;
    QComboBox* point_ = nullptr;
    QComboBox* method_ = nullptr;
    QLineEdit* operator_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
};

}  // namespace zelmora::gui
