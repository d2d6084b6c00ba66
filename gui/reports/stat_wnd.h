#pragma once
// The window "Статистическая обработка": repeated injections of one sample
// compared to check an instrument. It holds the list of chromatograms (one of
// them current: the reference for the detection limits, marked "*" in the
// report), an optional zero-line chromatogram whose noise and drift are used
// instead of the current one's, the converter coefficient "K ацп" that
// converts the noise and drift into the detector's unit, and a grid with the
// mean and RSD of retention time, height, area, concentration and retention
// index and the detection limit of every component. Everything is computed
// anew after each change. "&Отчёт" makes "Отчёт поверки прибора" from the
// form "Templates/test.rpt" with the chosen grid rows.
//
// There is at most one such window; ShowStatisticsWindow opens or activates
// it. The coefficient is read from the settings value "Kacp" when the window
// opens and written when it closes.

#include <QPointer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>

#include "processing/injection_statistics.h"
#include "reports/rtf_document.h"

class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace zelmora {
class SettingsStore;
}

namespace zelmora::gui {

class CStatWnd : public QWidget {
    Q_OBJECT
  public:
    // Where a chromatogram comes from (an open window's document, or its
    // file), and how one is opened in a window ("Открыть").
    using Loader = std::function<Result<StatEntry>(const std::filesystem::path&)>;
    using Opener = std::function<bool(const std::filesystem::path&)>;
    // The detection-limit parameters dialog; true when it was accepted.
    using LimitEditor = std::function<bool(QWidget*)>;

    explicit CStatWnd(SettingsStore& settings, QWidget* parent = nullptr);
    ~CStatWnd() override;

    void setLoader(Loader loader) { loader_ = std::move(loader); }
    void setOpener(Opener opener) { opener_ = std::move(opener); }
    void setLimitEditor(LimitEditor editor) { limitEditor_ = std::move(editor); }
    // Files below this folder are listed by their path relative to it.
    void setDataFolder(std::filesystem::path folder) { dataFolder_ = std::move(folder); }

    // "&Добавить" with the chosen files: files that cannot be read are not
    // added and are named in one message. Returns how many were added.
    int addFiles(const std::vector<std::filesystem::path>& files);
    void addWithDialog();
    void removeSelected();  // "&Удалить"
    void removeAll();       // "Удалить &все"
    void openSelected();    // "Открыть"
    // ". . ." of "Нулевая линия:"; an empty path clears the zero line.
    bool setZeroLine(const std::filesystem::path& file);
    void chooseZeroLine();
    void setCoefficient(const QString& text);  // "K ацп"
    // Makes the entry at `row` of the list the current one.
    void setCurrentRow(int row);
    void recompute();   // "&Перерасчёт": every file read again
    void editLimits();  // "Предел детектирования"
    bool makeReport();  // "&Отчёт"
    // The report as it would be shown, for the selected grid rows.
    rtf::RtfDocument buildReport() const;

    const StatEntryList& entries() const { return list_; }
    const StatisticsResult& statistics() const { return stats_; }
    std::optional<std::size_t> current() const { return list_.indexOf(currentPath_); }
    QTreeWidget* chromatogramList() const { return chromatograms_; }
    QTableWidget* grid() const { return grid_; }
    QLineEdit* zeroLineBox() const { return zeroLine_; }
    QLineEdit* coefficientBox() const { return coefficient_; }
    QLineEdit* noiseBox() const { return noise_; }
    QLineEdit* driftBox() const { return drift_; }
    QPushButton* reportButton() const { return report_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void calculate();
    void fillList();
    void fillGrid();
    void saveCoefficient();
    std::optional<StatEntry> load(const std::filesystem::path& file, QStringList& failed);

    SettingsStore& settings_;
    Loader loader_;
    Opener opener_;
    LimitEditor limitEditor_;
    std::filesystem::path dataFolder_;
    StatEntryList list_;
    std::string currentPath_;  // the reference chromatogram's list path
    std::optional<StatEntry> zeroEntry_;
    QString coefficientText_;
    StatisticsResult stats_;
    bool coefficientSaved_ = false;

    QTreeWidget* chromatograms_ = nullptr;
    QTableWidget* grid_ = nullptr;
    QLineEdit* zeroLine_ = nullptr;
    QLineEdit* coefficient_ = nullptr;
    QLineEdit* noise_ = nullptr;
    QLineEdit* drift_ = nullptr;
    QPushButton* report_ = nullptr;
};

// Opens the one statistics window over `mainWindow` (the main frame, whose
// open chromatograms it reads and opens files in), or restores and
// activates it when it is open already.
CStatWnd* ShowStatisticsWindow(QWidget* mainWindow);
CStatWnd* statisticsWindow();

}  // namespace zelmora::gui
