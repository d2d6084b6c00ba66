#pragma once
// CPeekView: the peak table, the second view of a chromatogram beside its
// picture. Each peak with apex time, height, area, width, reference mark,
// concentration, unit and component, grouped by the method's component
// groups with their totals, a bar in the concentration cell against the
// component's critical value at the sampling point, and the method's
// components that were not found. The rows are computed by buildPeakGrid
// (processing/peak_grid.h); this window shows them and keeps the selection in
// step with the chromatogram view.
//
// In a calibration chromatogram the operator edits here: the known amount in
// "Концентрация" (strictly a number, "1,5" is 1.5), the component (the
// picker "Компонент"), the reference mark (a click), the unit (kept in the
// analyses database) and the property values. Every other chromatogram's
// table is read-only. The peak commands of its context menu go through the
// command table, like the chromatogram view's.

#include <QTableView>
#include <functional>
#include <memory>

namespace zelmora {
class CZelmoraDoc;
class ChromatogramCommands;
namespace db {
class Connection;
}
}  // namespace zelmora

namespace zelmora::gui {

class PeekGridModel;

class CPeekView : public QTableView {
    Q_OBJECT
  public:
    // The document and its commands must outlive the view. `catalogue` gives
    // the units and critical values; null shows none and keeps units unedited.
    CPeekView(CZelmoraDoc& doc, ChromatogramCommands& commands, db::Connection* catalogue,
              QWidget* parent = nullptr);
    ~CPeekView() override;

    // Rebuilds the grid from the document (every update of the document).
    void refill();
    // Selects the row of peak k (-1: no row), without emitting peakSelected.
    void selectPeak(int k);
    // The peak of the selected row, -1 for none (a total or "не найден" row).
    int selectedPeak() const;
    // The grid row of peak k, -1 when not shown.
    int rowOfPeak(int k) const;

    // Runs a command of the command table by number for the context menu;
    // set by the chromatogram window with the rule that enables it.
    std::function<bool(int)> runCommand;
    std::function<bool(int)> isCommandEnabled;
    // The component picker of a calibration chromatogram: the chosen name,
    // or empty on cancel. Replaced by tests.
    std::function<QString(const QString& current, QWidget* parent)> pickComponent;

  signals:
    void peakSelected(int peak);
    // A failed edit: the window beeps.
    void editFailed();

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void cellClicked(const QModelIndex& index);
    void cellDoubleClicked(const QModelIndex& index);
    void rowChanged();

    CZelmoraDoc& doc_;
    ChromatogramCommands& commands_;
    db::Connection* catalogue_;
    PeekGridModel* model_ = nullptr;
    int subscription_ = 0;
    bool selecting_ = false;
};

}  // namespace zelmora::gui
