#pragma once
// The grids of the database windows: rows of text cells under fixed headers,
// one key per row (an analysis, a component), one column that may be
// editable, and an optional shade per row drawn in one cell (the value
// against its critical value). A typed edit goes to the window's callback,
// which writes the database and refills the grid.

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <vector>

namespace zelmora::gui {

struct TextRow {
    QStringList cells;
    long long key = 0;
    // Shade of the shaded column: per cent of the cell's width in `shade`.
    int shadePercent = 0;
    QColor shade;
};

class TextTableModel : public QAbstractTableModel {
  public:
    static constexpr int kShadePercentRole = Qt::UserRole + 1;
    static constexpr int kShadeColourRole = Qt::UserRole + 2;

    explicit TextTableModel(QStringList headers, QObject* parent = nullptr);

    void setRows(std::vector<TextRow> rows);
    const std::vector<TextRow>& rows() const { return rows_; }
    // The row holding `key`, or -1.
    int rowOfKey(long long key) const;

    int editableColumn = -1;
    int shadedColumn = -1;
    // A typed edit of the editable column; false when refused.
    std::function<bool(int row, const QString& text)> edit;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

  private:
    QStringList headers_;
    std::vector<TextRow> rows_;
};

// Sets the column widths of a grid: `widths` in pixels, never narrower than
// the column's header text, and the first `dateColumns` wide enough for a
// date and time.
void setGridWidths(QTableView* grid, const std::vector<int>& widths, int dateColumns = 0);

// Draws the shade of a cell under its text.
class ShadeDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

}  // namespace zelmora::gui
