#pragma once
// The report window: one report in a window of the main window's work area,
// with the report band (132) of the main window while it is active. The
// report shows as its page looks — as wide as the paper, with its margins —
// and is edited in place like a text in a word processor. From here it is
// saved as ".rtf" (or written as PDF), printed through the desktop's printer
// dialog, and looked at page by page ("Предварительный просмотр") with the
// zoom and page commands of the report bands.
//
// A report edited and not saved is asked about when its window closes,
// unless the window closes itself after printing automatically. Closing the
// chromatogram a report was made from does not close the report.
//
// The window takes any report: the chromatogram report, the statistics
// report and the natural-gas report all come here through showReport().
//
// A database report ("Отчёт для даты", "Отчёт для точки отбора", "Отчёт для
// параметра") is a summary of saved analyses, not a text to edit: its window
// shows the pages with the database-report band (133), offers the rows as CSV
// beside RTF and PDF, and closes once the report has been written to a file.

#include <QMdiSubWindow>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "gui/reports/report_doc.h"

class QAction;
class QPrinter;
class QPrintPreviewWidget;
class QStackedWidget;
class QTextEdit;
class QToolBar;

namespace zelmora::gui {

class CReportWnd : public QMdiSubWindow {
    Q_OBJECT
  public:
    CReportWnd(std::unique_ptr<CReportDoc> report, const QString& title, QWidget* parent = nullptr);
    ~CReportWnd() override;

    CReportDoc& document() { return *report_; }
    const CReportDoc& document() const { return *report_; }
    QTextEdit* editor() const { return editor_; }
    QString title() const { return title_; }

    // Makes this the window of a database report: pages only, band 133,
    // `csv` (the report's rows) offered as a third format when given.
    void setDatabaseReport(std::optional<std::string> csv);
    bool isDatabaseReport() const { return databaseReport_; }

    // "&Сохранить в формате...": the save dialog with RTF and PDF (and CSV
    // for a database report that has its rows), then saveTo.
    bool saveAs();
    // A ".pdf" name gets the PDF, a ".csv" name the rows of a database
    // report, any other the RTF; a failure is shown. A database report's
    // window closes once its file is written.
    bool saveTo(const std::filesystem::path& file);
    // "&Печатать": through the printer dialog. A failure is shown.
    bool print();
    // Printing without a dialog on the default printer (a report printed
    // automatically): a failure goes to the work log and the report stays.
    bool printWithoutDialog();

    // "Предварительный просмотр": the pages as they will be printed, in
    // place of the editable text, and back.
    void setPageView(bool on);
    bool pageView() const;
    // In the page view: the zoom and the page shown.
    void zoomNormal();
    void zoomWidth();
    void zoomPage();
    void firstPage();
    void previousPage();
    void nextPage();
    void lastPage();
    int currentPage() const;  // from 1; 0 outside the page view
    int pageCount() const;
    double zoomFactor() const;  // 0 outside the page view

    // Closes without asking about unsaved edits (after automatic printing).
    void closeWithoutAsking();
    // The program ends with nobody to answer: an edited report is kept as
    // "<name> (несохранённые изменения).rtf" beside its file (or in the
    // chromatograms folder), its own file left as it was; the work log says
    // where. True when there was nothing to keep or it was kept.
    bool keepChangesUnattended();
    // The question has been answered (the program is closing).
    void setCloseConfirmed(bool confirmed) { closeConfirmed_ = confirmed; }
    // The question about unsaved edits; true when the window may close.
    bool queryClose();

  signals:
    // Enabled states of the window's commands may have changed.
    void commandStatesChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void updateTitle();
    // The page commands of the window's own bar follow the page shown.
    void updatePageActions();
    void showPage(int page);

    std::unique_ptr<CReportDoc> report_;
    QString title_;
    QStackedWidget* stack_ = nullptr;
    QTextEdit* editor_ = nullptr;
    QWidget* pages_ = nullptr;
    QToolBar* pageBar_ = nullptr;
    QPrintPreviewWidget* preview_ = nullptr;
    std::unique_ptr<QPrinter> previewPrinter_;
    bool closeConfirmed_ = false;
    bool databaseReport_ = false;
    std::optional<std::string> csv_;  // the rows of a database report
    QAction* backToText_ = nullptr;
    QAction* firstPage_ = nullptr;
    QAction* previousPage_ = nullptr;
    QAction* nextPage_ = nullptr;
    QAction* lastPage_ = nullptr;
};

// Opens a report in a new report window of the work area that `near`
// belongs to (the main window's), or in a window of its own when there is
// none; the window is shown and active.
CReportWnd* showReport(QWidget* near, rtf::RtfDocument report, const QString& title);
CReportWnd* showReport(QWidget* near, std::unique_ptr<CReportDoc> report, const QString& title);
// The same for a database report (see CReportWnd::setDatabaseReport).
CReportWnd* showDatabaseReport(QWidget* near, rtf::RtfDocument report, const QString& title,
                               std::optional<std::string> csv);

// "Открыть отчет...": a report saved before, chosen in the file dialog, in a
// new report window; a file that cannot be read is named in a message.
CReportWnd* openReportFile(QWidget* near, const std::filesystem::path& file);
CReportWnd* openReportWithDialog(QWidget* near);

}  // namespace zelmora::gui
