#pragma once
// The database commands of the main window and its chromatogram windows:
// "&Анализы" (the one found-analyses window), "&Точки отбора",
// "&Компоненты", "&Новый анализ", a chromatogram's "&Найти в БД" and "Крит.
// значения", and "&Сжатие БД" / "&Реставрация БД" with their progress and
// result. All of them need the analyses database open.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "database/analysis_search.h"

namespace zelmora::db {
class CAnalysesDatabase;
}

namespace zelmora::gui {

class CChildFrame;
class CFoundAnalysesWnd;
class CMainFrame;

class CDatabaseWindows {
  public:
    explicit CDatabaseWindows(CMainFrame& frame) : frame_(frame) {}

    void setDatabase(db::CAnalysesDatabase* database) { database_ = database; }
    db::CAnalysesDatabase* database() const { return database_; }
    bool isOpen() const;

    bool showAnalyses();
    bool showSamplingPoints();
    bool showComponents();
    bool newAnalysis();
    bool findInDatabase(CChildFrame& window);
    bool criticalValues(CChildFrame& window);
    bool compact();
    bool repair();

    CFoundAnalysesWnd* foundWindow() const;

    // How the analysis dialog is run (tests answer it without showing it).
    std::function<void(int keyAnalys, bool createdEmpty, QWidget* parent)> runAnalysisDialog;
    // How the search dialog of a first "&Анализы" is run; tests fill it in.
    std::function<bool(db::AnalysisSearch& criteria, QWidget* parent)> runSearchDialog;

  private:
    void updateAllViews();
    void analysisDialog(int key, bool createdEmpty, QWidget* parent);

    CMainFrame& frame_;
    db::CAnalysesDatabase* database_ = nullptr;
    QPointer<QWidget> found_;  // the CFoundAnalysesWnd while it is open
};

}  // namespace zelmora::gui
