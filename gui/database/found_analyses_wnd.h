#pragma once
// The found-analyses window "Найденные анализы": the analyses that match the
// criteria of "Поиск анализа" (at most 1000, in the chosen order), from
// which the operator opens chromatograms, inspects and corrects an analysis
// in the dialog "Анализ", adds one and deletes some. One window for the
// program; it keeps its criteria between searches. A grid row is removed
// only once its analysis has been deleted from the database.

#include <QWidget>
#include <filesystem>
#include <functional>

#include "database/analysis_search.h"

class QLabel;
class QPushButton;
class QTableView;

namespace zelmora::gui {

class TextTableModel;

class CFoundAnalysesWnd : public QWidget {
    Q_OBJECT
  public:
    CFoundAnalysesWnd(db::Connection& db, db::AnalysisSearch criteria, QWidget* parent = nullptr);

    const db::AnalysisSearch& criteria() const { return criteria_; }
    // Runs the search again and selects the analysis that was current.
    void refill();
    // "&Поиск": the search dialog; OK searches anew.
    bool search();
    // "&Удалить": the selected analyses (and, when asked, their files).
    void deleteSelected();
    // "&Новый": a new analysis with the criteria's station, point, method and
    // operator, in the analysis dialog.
    void newAnalysis();
    // "Подробно": the analysis dialog on the current row.
    void showDetails();
    // "&Хроматограмма": opens the chromatograms of the selected rows.
    void openChromatograms();
    // A click on a header: sorts by that column as the criteria say.
    void sortByColumn(int column);

    QTableView* grid() const { return grid_; }
    TextTableModel* model() const { return model_; }
    long long currentKey() const;
    void selectKey(long long key);
    QString notice() const;

    // Opens a chromatogram file as a document; false when it failed. Set by
    // the main window.
    std::function<bool(const std::filesystem::path&)> openChromatogram;
    // Whether a chromatogram file is open in a window (it is then not deleted).
    std::function<bool(const std::filesystem::path&)> isOpenChromatogram;
    // Runs the search dialog; replaced by tests. True on OK with new criteria.
    std::function<bool(db::AnalysisSearch& criteria, QWidget* parent)> runSearchDialog;
    // Runs the analysis dialog on an analysis; replaced by tests.
    std::function<void(int keyAnalys, bool createdEmpty, QWidget* parent)> runAnalysisDialog;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void updateButtons();

    db::Connection& db_;
    db::AnalysisSearch criteria_;
    TextTableModel* model_ = nullptr;
    QTableView* grid_ = nullptr;
    QLabel* notice_ = nullptr;
    QPushButton* chromatogram_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* details_ = nullptr;
};

// The analysis dialog run modally on an analysis (what runAnalysisDialog does
// unless replaced).
void runAnalysisDialog(db::Connection& db, int keyAnalys, bool createdEmpty, QWidget* parent);

}  // namespace zelmora::gui
