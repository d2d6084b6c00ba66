#include "gui/document/peek_view.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyledItemDelegate>

#include "app/program_settings.h"
#include "app/text.h"
#include "database/component_values.h"
#include "document/zelmora_doc.h"
#include "gui/command_ids.h"
#include "gui/command_table.h"
#include "gui/database/component_picker_dlg.h"
#include "gui/message_box.h"
#include "method/document_method.h"
#include "processing/chromatogram_commands.h"
#include "processing/peak_grid.h"

namespace zelmora::gui {

namespace {

constexpr int kBarRole = Qt::UserRole + 1;      // per cent of the bar, or invalid
constexpr int kBarFullRole = Qt::UserRole + 2;  // the critical value is reached

const QColor kTotalTint(0xd8, 0xf5, 0xd0);
const QColor kNotFoundTint(0xfa, 0xd4, 0xd4);
const QColor kBarFull(0xe0, 0x30, 0x30);
const QColor kBarPart(0xf4, 0xb0, 0x80);

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// Grid units of the column widths to pixels.
int pixels(int units) {
    return units * 3 / 40;
}

// The bar drawn under the concentration text.
class BarDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant bar = index.data(kBarRole);
        if (bar.isValid()) {
            const bool full = index.data(kBarFullRole).toBool();
            QRect r = option.rect.adjusted(1, 2, -1, -2);
            r.setWidth(r.width() * std::clamp(bar.toInt(), 0, 100) / 100);
            painter->fillRect(r, full ? kBarFull : kBarPart);
        }
        QStyledItemDelegate::paint(painter, option, index);
    }
};

}  // namespace

class PeekGridModel : public QAbstractTableModel {
  public:
    PeakGrid grid;
    // Applies a typed edit of a cell; false when it was refused.
    std::function<bool(int row, int column, const QString& text)> edit;
    bool unitsEditable = false;

    void setGrid(PeakGrid g) {
        beginResetModel();
        grid = std::move(g);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(grid.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(grid.headers.size());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole)
            return {};
        if (o == Qt::Vertical)
            return {};
        if (section < 0 || section >= columnCount())
            return {};
        return q(grid.headers[static_cast<std::size_t>(section)]);
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
            return {};
        const PeakGridRow& row = grid.rows[static_cast<std::size_t>(index.row())];
        switch (role) {
            case Qt::DisplayRole:
            case Qt::EditRole:
                return q(row.cells[static_cast<std::size_t>(index.column())]);
            case Qt::BackgroundRole:
                if (row.kind == PeakGridRow::Kind::GroupTotal)
                    return kTotalTint;
                if (row.kind == PeakGridRow::Kind::NotFound)
                    return kNotFoundTint;
                return {};
            case Qt::TextAlignmentRole:
                return index.column() == kGridComponent || index.column() == kGridUnit
                           ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                           : QVariant(Qt::AlignRight | Qt::AlignVCenter);
            case kBarRole:
                if (index.column() == kGridConcentration && row.barPercent)
                    return *row.barPercent;
                return {};
            case kBarFullRole:
                return row.barFull;
            default:
                return {};
        }
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = QAbstractTableModel::flags(index);
        if (!index.isValid() || !grid.editable)
            return f;
        const PeakGridRow& row = grid.rows[static_cast<std::size_t>(index.row())];
        if (row.kind != PeakGridRow::Kind::Peak)
            return f;
        const int c = index.column();
        const bool editable = c == kGridConcentration || (c == kGridUnit && unitsEditable) ||
                              (c >= kGridFixedColumns && !row.inGroup);
        return editable ? f | Qt::ItemIsEditable : f;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable) || !edit)
            return false;
        return edit(index.row(), index.column(), value.toString());
    }
};

CPeekView::CPeekView(CZelmoraDoc& doc, ChromatogramCommands& commands, db::Connection* catalogue,
                     QWidget* parent)
    : QTableView(parent), doc_(doc), commands_(commands), catalogue_(catalogue) {
    model_ = new PeekGridModel;
    model_->setParent(this);
    model_->unitsEditable = catalogue_ != nullptr;
    model_->edit = [this](int row, int column, const QString& typed) {
        const PeakGridRow& r = model_->grid.rows[static_cast<std::size_t>(row)];
        const int k = r.peak;
        const bool calibration = doc_.passport.calibration != 0;
        bool done = false;
        if (column == kGridConcentration) {
            done = setPeakAmountTyped(doc_.peaks, calibration, k, typed.toStdString());
        } else if (column == kGridUnit) {
            const Peak* p = doc_.peaks.at(k);
            if (catalogue_ != nullptr && p != nullptr && !p->componentName.empty()) {
                const Status s = db::setParametrUnit(*catalogue_, p->componentName,
                                                     typed.trimmed().toStdString());
                if (!s)
                    showFailure(this, s);
                done = s.ok();
            }
            // The unit lives in the database: the chromatogram is unchanged.
            if (done) {
                QMetaObject::invokeMethod(
                    this, [this] { doc_.redraw(CZelmoraDoc::Change::Peaks); },
                    Qt::QueuedConnection);
                return true;
            }
        } else if (column >= kGridFixedColumns) {
            done = setPeakPropertyValue(doc_.peaks, calibration, k,
                                        model_->grid.headers[static_cast<std::size_t>(column)],
                                        typed.toStdString());
        }
        if (!done) {
            emit editFailed();
            // The cell shows the old value again.
            QMetaObject::invokeMethod(
                this, [this] { refill(); }, Qt::QueuedConnection);
            return false;
        }
        // The grid is rebuilt once the editor has closed.
        QMetaObject::invokeMethod(
            this, [this] { doc_.changed(CZelmoraDoc::Change::Peaks); }, Qt::QueuedConnection);
        return true;
    };
    setModel(model_);
    setItemDelegate(new BarDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setHighlightSections(false);
    pickComponent = [this](const QString& current, QWidget* parent) {
        if (catalogue_ == nullptr)
            return QString();
        CComponentPickerDlg dlg(*catalogue_, parent);
        dlg.setCurrent(current);
        if (dlg.exec() != QDialog::Accepted)
            return QString();
        return dlg.chosen();
    };
    connect(this, &QTableView::clicked, this, &CPeekView::cellClicked);
    connect(this, &QTableView::doubleClicked, this, &CPeekView::cellDoubleClicked);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { rowChanged(); });
    subscription_ = doc_.subscribe([this](CZelmoraDoc::Change what) {
        if (what != CZelmoraDoc::Change::Title)
            refill();
    });
    refill();
}

CPeekView::~CPeekView() {
    doc_.unsubscribe(subscription_);
}

void CPeekView::refill() {
    const int previousRow = currentIndex().isValid() ? currentIndex().row() : -1;
    PeakGridLookup lookup;
    if (catalogue_ != nullptr) {
        db::Result<db::ComponentValues> values =
            db::componentValuesAt(*catalogue_, doc_.passport.place, doc_.passport.point);
        // The table keeps what it has without the database's part.
        if (values) {
            lookup.units = std::move(values->units);
            lookup.criticalValues = std::move(values->criticalValues);
        }
    }
    const ProgramOptions options = programOptions();
    PeakGrid grid = buildPeakGrid(doc_.peaks, documentMethod(doc_), doc_.passport, options, lookup);
    const int oldColumns = model_->columnCount();
    selecting_ = true;
    model_->setGrid(std::move(grid));
    if (oldColumns != model_->columnCount() || oldColumns == 0) {
        const QFontMetrics header(horizontalHeader()->font());
        for (int c = 0; c < model_->columnCount(); ++c) {
            const QString title = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
            setColumnWidth(
                c, std::max(pixels(peakGridColumnWidth(c)), header.horizontalAdvance(title) + 16));
        }
    }
    selecting_ = false;
    if (previousRow >= 0 && previousRow < model_->rowCount())
        selectRow(previousRow);
}

void CPeekView::selectPeak(int k) {
    if (selecting_)
        return;
    selecting_ = true;
    const int row = model_->grid.rowOfPeak(k);
    if (row < 0) {
        clearSelection();
        setCurrentIndex(QModelIndex());
    } else if (currentIndex().row() != row) {
        setCurrentIndex(model_->index(row, currentIndex().isValid() ? currentIndex().column() : 0));
        scrollTo(currentIndex());
    }
    selecting_ = false;
}

int CPeekView::selectedPeak() const {
    const QModelIndex i = currentIndex();
    if (!i.isValid() || i.row() >= model_->rowCount())
        return -1;
    const PeakGridRow& r = model_->grid.rows[static_cast<std::size_t>(i.row())];
    return r.kind == PeakGridRow::Kind::Peak ? r.peak : -1;
}

int CPeekView::rowOfPeak(int k) const {
    return model_->grid.rowOfPeak(k);
}

void CPeekView::rowChanged() {
    if (selecting_)
        return;
    const int k = selectedPeak();
    if (k < 0)
        return;
    selecting_ = true;
    emit peakSelected(k);
    selecting_ = false;
}

void CPeekView::cellClicked(const QModelIndex& index) {
    if (!index.isValid() || index.column() != kGridReference || !model_->grid.editable)
        return;
    const int k = selectedPeak();
    if (k < 0)
        return;
    if (!togglePeakReference(doc_.peaks, doc_.passport.calibration != 0, k)) {
        emit editFailed();
        return;
    }
    doc_.changed(CZelmoraDoc::Change::Peaks);
}

void CPeekView::cellDoubleClicked(const QModelIndex& index) {
    if (!index.isValid() || index.column() != kGridComponent || !model_->grid.editable)
        return;
    const int k = selectedPeak();
    const Peak* p = doc_.peaks.at(k);
    if (p == nullptr || !pickComponent)
        return;
    const QString chosen = pickComponent(q(p->componentName), this);
    if (chosen.isEmpty())
        return;
    if (!setPeakComponent(doc_.peaks, doc_.passport.calibration != 0, k, chosen.toStdString())) {
        emit editFailed();
        return;
    }
    if (catalogue_ != nullptr) {
        const db::Result<bool> added = db::ensureParametr(*catalogue_, chosen.toStdString());
        if (!added)
            showFailure(this, added.status());
    }
    doc_.changed(CZelmoraDoc::Change::Peaks);
}

void CPeekView::contextMenuEvent(QContextMenuEvent* event) {
    if (!runCommand)
        return;
    static constexpr int kForwarded[] = {command::kDeletePeak,
                                         command::kAddPeak,
                                         command::kUnresolvedLeft,
                                         command::kUnresolvedRight,
                                         0,
                                         command::kShowAll,
                                         command::kAllByTime,
                                         command::kAllByHeight,
                                         0,
                                         command::kChromatogramReport,
                                         command::kApproximateClip,
                                         command::kEventInterval};
    QMenu menu(this);
    for (int id : kForwarded) {
        if (id == 0) {
            menu.addSeparator();
            continue;
        }
        const CommandEntry* c = findCommand(id);
        if (c == nullptr)
            continue;
        QString text = commandText(*c);
        if (text.isEmpty())
            text = QString::fromUtf8(c->hint);
        QAction* a = menu.addAction(text);
        a->setEnabled(!isCommandEnabled || isCommandEnabled(id));
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    }
    menu.exec(event->globalPos());
}

}  // namespace zelmora::gui
