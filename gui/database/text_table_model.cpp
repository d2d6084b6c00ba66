#include "gui/database/text_table_model.h"

#include <QHeaderView>
#include <QPainter>
#include <algorithm>

namespace zelmora::gui {

TextTableModel::TextTableModel(QStringList headers, QObject* parent)
    : QAbstractTableModel(parent), headers_(std::move(headers)) {}

void TextTableModel::setRows(std::vector<TextRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int TextTableModel::rowOfKey(long long key) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].key == key)
            return static_cast<int>(i);
    return -1;
}

int TextTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TextTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant TextTableModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role != Qt::DisplayRole || o != Qt::Horizontal || section < 0 || section >= headers_.size())
        return {};
    return headers_[section];
}

QVariant TextTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TextRow& r = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return index.column() < r.cells.size() ? r.cells[index.column()] : QString();
        case kShadePercentRole:
            if (index.column() == shadedColumn && r.shade.isValid())
                return r.shadePercent;
            return {};
        case kShadeColourRole:
            return r.shade;
        default:
            return {};
    }
}

Qt::ItemFlags TextTableModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == editableColumn && edit)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TextTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    return edit(index.row(), value.toString());
}

void setGridWidths(QTableView* grid, const std::vector<int>& widths, int dateColumns) {
    const QFontMetrics text(grid->font());
    const QFontMetrics header(grid->horizontalHeader()->font());
    const int dateWidth = text.horizontalAdvance(QStringLiteral("00.00.0000 00:00:00")) + 16;
    const QAbstractItemModel* m = grid->model();
    for (int c = 0; c < static_cast<int>(widths.size()) && c < m->columnCount(); ++c) {
        const QString title = m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        int w = std::max(widths[static_cast<std::size_t>(c)], header.horizontalAdvance(title) + 20);
        if (c < dateColumns)
            w = std::max(w, dateWidth);
        grid->setColumnWidth(c, w);
    }
}

void ShadeDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const QVariant percent = index.data(TextTableModel::kShadePercentRole);
    if (percent.isValid()) {
        QRect r = option.rect.adjusted(1, 1, -1, -1);
        r.setWidth(r.width() * std::clamp(percent.toInt(), 0, 100) / 100);
        painter->fillRect(r, index.data(TextTableModel::kShadeColourRole).value<QColor>());
    }
    QStyledItemDelegate::paint(painter, option, index);
}

}  // namespace zelmora::gui
