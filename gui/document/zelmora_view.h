#pragma once
// CZelmoraView: the picture of one chromatogram in its window — the signal
// curve with zoom and scroll, the baselines and boundary marks of the peaks,
// their labels and the method's retention windows — and the place where
// peaks are selected and edited with the mouse. Every edit goes through the
// document's commands; the view only turns mouse positions into times. Its
// menu and toolbar commands (zoom, the peak tools) are entries of the command
// table (gui/command_table.h), whose rules read the state below; its keys run
// them through the table too.

#include <QWidget>

#include <memory>

class QPainter;

namespace zelmora {
class CZelmoraDoc;
class ChromatogramCommands;
}  // namespace zelmora

namespace zelmora::gui {

class CZelmoraView : public QWidget {
    Q_OBJECT
  public:
    enum class Tool { None, AddPeak, Unresolved, EventInterval, CropInterval };

    // The document and its commands must outlive the view.
    CZelmoraView(CZelmoraDoc& doc, ChromatogramCommands& commands, QWidget* parent = nullptr);
    ~CZelmoraView() override;

    CZelmoraDoc& document() const;
    ChromatogramCommands& commands() const;

    int selectedPeak() const;
    // Selects peak k (-1 for none; an invalid index selects none) and redraws.
    void setSelectedPeak(int k);
    Tool tool() const;
    // No tool is active and no peak boundary is being dragged.
    bool idle() const;
    // The side of the unresolved-peak tool (kAdjacentLeft or kAdjacentRight),
    // 0 while it is not active.
    int unresolvedSide() const;
    // Starts a tool: `step` 1 for the two-click tools, the side for the
    // unresolved-peak tool.
    void enterTool(Tool tool, int step);
    // Deletes or inverts the selected peak; a failed edit sounds.
    bool deleteSelectedPeak();
    bool invertSelectedPeak();
    // The peak table on the clipboard as text.
    void copyTable();

    // Whether the whole trace shows in time and in height, and the zoom
    // commands that show it so.
    bool timeFull() const;
    bool signalFull() const;
    void showAll();
    void showAllTimes();
    void showAllHeights();

    // The visible ranges (minutes, mV), for the report picture and the tests.
    double visibleTimeFrom() const;
    double visibleTimeTo() const;
    double visibleSignalFrom() const;
    double visibleSignalTo() const;
    void setVisibleRange(double t0, double t1, double y0, double y1);
    // The plot rectangle of the last drawing, in widget pixels.
    QRect plotRect() const;
    // Widget x for time t and y for signal value v, and back, in the current zoom.
    double xOfTime(double t) const;
    double yOfValue(double v) const;
    double timeOfX(double x) const;

  signals:
    // String 384 "%.1f мВ; %.2f мин" under the mouse, or empty outside the plot.
    void cursorTextChanged(const QString& text);
    // String 395 "[%.5f мВ %.2f мин]" with the visible spans, after each drawing.
    void spanTextChanged(const QString& text);
    void selectionChanged(int peak);
    // Enabled or checked states of the view's commands may have changed.
    void commandStatesChanged();
    // The report window with request 0, 2 (print) or the document's request.
    void reportRequested(int request);
    // A failed edit: the frame plays the exclamation sound.
    void editFailed();
    // First display of a chromatogram whose method asks for the automatic
    // export: the frame runs the text export.
    void autoExportRequested();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct State;
    // The view update after every change of the document.
    void viewUpdate(int change);
    void leaveTools();
    void selectPeak(int k);
    void failEdit();
    void statesChanged();
    void setRanges(double t0, double t1, double y0, double y1);
    void computeFullRanges();
    void scrollTime(double lines);
    void scrollSignal(double lines);
    void widenTime(double fractionEachSide);
    void moveTop(double fractionOfSpan);
    void zoomToFrame(const QRect& frame);
    bool insidePlot(QPointF pos) const;
    void findGrip(QPointF pos);
    void moveTrack(double x, bool shown);
    void overlayUpdate(const QRect& rect);
    QRect trackStrip(double x) const;
    void updateCursorShape();
    void showCursorText(const QString& text);
    void renderPicture();
    void drawOverlay(QPainter& painter) const;

    std::unique_ptr<State> s_;
};

}  // namespace zelmora::gui
