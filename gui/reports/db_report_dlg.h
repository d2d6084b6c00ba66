#pragma once
// The dialogs of the menu "База данных" → "Отчёт для": "Отчёт для даты"
// (one sampling date, its components and sampling points), "Отчёт для
// точки отбора" (one station and point over a period, its components) and
// "Отчёт для параметра" (one component over a period, its sampling points).
// The lists show what the database holds for the chosen method and dates
// and start with every entry selected; what the operator unselects is left
// out of the report. The method "* (любой)" means any method.
//
// runDbReportCommand opens the dialog on the program's database, makes the
// report from its definition file in "Templates" (the shipped definition
// when the laboratory has none) and shows it in a report window, where it is
// paged, zoomed, printed and written as RTF, PDF or CSV.

#include <QDate>
#include <QDialog>

#include "database/sqlite_db.h"
#include "reports/db_report.h"

class QComboBox;
class QDateEdit;
class QListWidget;
class QTreeWidget;

namespace zelmora::gui {

class CReportWnd;

class CDbReportDlg : public QDialog {
    Q_OBJECT
  public:
    // `today` is the date the pickers start from.
    CDbReportDlg(DbReportKind kind, db::Connection& db, QDate today, QWidget* parent = nullptr);

    DbReportKind kind() const { return kind_; }
    // The chosen selection, with the unselected entries as exclusions.
    DbReportSelection selection() const;

    QComboBox* methodBox() const { return method_; }
    QComboBox* stationBox() const { return station_; }
    QComboBox* placeBox() const { return place_; }
    QComboBox* componentBox() const { return component_; }
    QDateEdit* dateBox() const { return from_; }  // the date, or the period's start
    QDateEdit* toBox() const { return to_; }
    QListWidget* componentList() const { return components_; }
    QTreeWidget* pointList() const { return points_; }

    void accept() override;

  private:
    void refill();
    void fillPlaces();
    DbReportSelection baseSelection() const;

    DbReportKind kind_;
    db::Connection& db_;
    QComboBox* method_ = nullptr;
    QComboBox* station_ = nullptr;
    QComboBox* place_ = nullptr;
    QComboBox* component_ = nullptr;
    QDateEdit* from_ = nullptr;
    QDateEdit* to_ = nullptr;
    QListWidget* components_ = nullptr;
    QTreeWidget* points_ = nullptr;
    std::vector<DbReportPoint> allPoints_;
};

// The command of the menu: dialog, report, showing it. False when
// cancelled or failed (the reason has been shown).
bool runDbReportCommand(DbReportKind kind, QWidget* parent);

// A made report in a database-report window of the main window's work area
// (see CReportWnd::setDatabaseReport), shown and active.
CReportWnd* showDbReport(QWidget* near, const DbReport& report, const QString& title);

// The report of a selection over an open database, from the definition in
// `programFolder`'s "Templates" (the shipped one when the file is missing).
Result<DbReport> makeDbReport(db::Connection& db, DbReportKind kind, const DbReportSelection& sel,
                              const std::filesystem::path& programFolder);

}  // namespace zelmora::gui
