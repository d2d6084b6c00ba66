#include "gui/database/sampling_points_dlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "app/text.h"
#include "database/catalogue.h"
#include "database/recordsets.h"
#include "gui/database/db_dialog_support.h"
#include "gui/database/text_table_model.h"
#include "gui/message_box.h"

namespace zelmora::gui {

using dbui::q;
using dbui::s;

CSamplingPointsDlg::CSamplingPointsDlg(db::Connection& db, const QString& station,
                                       const QString& point, QWidget* parent)
    : QDialog(parent), db_(db) {
    setWindowTitle(QStringLiteral("Точки отбора"));
    station_ = dbui::editableCombo(this, db::kStationMaxChars, "station");
    point_ = dbui::editableCombo(this, db::kPlaceMaxChars, "point");
    auto* addStationButton = new QPushButton(QStringLiteral("Добавить"), this);
    auto* delStationButton = new QPushButton(QStringLiteral("Удалить"), this);
    auto* addPointButton = new QPushButton(QStringLiteral("Добавить"), this);
    auto* delPointButton = new QPushButton(QStringLiteral("Удалить"), this);
    auto* plus = new QPushButton(QStringLiteral("+  Параметр"), this);
    auto* minus = new QPushButton(QStringLiteral("-  Параметр"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    for (QPushButton* b :
         {addStationButton, delStationButton, addPointButton, delPointButton, plus, minus, close})
        b->setAutoDefault(false);

    model_ = new TextTableModel({QStringLiteral("Компонент"), QStringLiteral("Ед. измерения"),
                                 QStringLiteral("Крит. знач-е")},
                                this);
    model_->editableColumn = 2;
    model_->edit = [this](int row, const QString& typed) {
        const std::optional<double> v = db::parseTypedValue(s(typed));
        if (!v) {
            QApplication::beep();
            return false;
        }
        db::CCritValuesSet set(db_);
        const db::Status st = set.setCritValue(
            pointKey(), static_cast<int>(model_->rows()[static_cast<std::size_t>(row)].key), *v);
        if (!st) {
            showFailure(this, st);
            return false;
        }
        QMetaObject::invokeMethod(
            this, [this] { refillComponents(); }, Qt::QueuedConnection);
        return true;
    };
    grid_ = new QTableView(this);
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    setGridWidths(grid_, {150, 70, 80});
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setObjectName(QStringLiteral("controlled"));
    left_ = new QListWidget(this);
    left_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left_->setObjectName(QStringLiteral("left"));

    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("Пункт отбора"), this), 0, 0);
    top->addWidget(station_, 0, 1);
    top->addWidget(addStationButton, 0, 2);
    top->addWidget(delStationButton, 0, 3);
    top->addWidget(new QLabel(QStringLiteral("Точка отбора"), this), 1, 0);
    top->addWidget(point_, 1, 1);
    top->addWidget(addPointButton, 1, 2);
    top->addWidget(delPointButton, 1, 3);
    top->setColumnStretch(1, 1);
    auto* lists = new QHBoxLayout;
    auto* gridBox = new QVBoxLayout;
    gridBox->addWidget(new QLabel(QStringLiteral("Контролируемые компоненты"), this));
    gridBox->addWidget(grid_);
    lists->addLayout(gridBox, 3);
    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(plus);
    middle->addWidget(minus);
    middle->addStretch();
    lists->addLayout(middle);
    auto* leftBox = new QVBoxLayout;
    leftBox->addWidget(new QLabel(QStringLiteral("Все компоненты"), this));
    leftBox->addWidget(left_);
    lists->addLayout(leftBox, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addLayout(top);
    box->addLayout(lists, 1);
    box->addLayout(bottom);
    resize(680, 460);

    connect(addStationButton, &QPushButton::clicked, this, [this] { addStation(); });
    connect(delStationButton, &QPushButton::clicked, this, [this] { deleteStation(); });
    connect(addPointButton, &QPushButton::clicked, this, [this] { addPoint(); });
    connect(delPointButton, &QPushButton::clicked, this, [this] { deletePoint(); });
    connect(plus, &QPushButton::clicked, this, [this] { controlSelected(); });
    connect(minus, &QPushButton::clicked, this, [this] { uncontrolSelected(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    station_->setEditText(station);
    refillStations();
    const int si = station_->findText(station, Qt::MatchFixedString);
    if (si >= 0)
        station_->setCurrentIndex(si);
    refillPoints();
    point_->setEditText(point);
    const int pi = point_->findText(point, Qt::MatchFixedString);
    if (pi >= 0)
        point_->setCurrentIndex(pi);
    refillComponents();
    connect(station_, &QComboBox::currentIndexChanged, this, [this] {
        point_->setEditText(QString());
        refillPoints();
        refillComponents();
    });
    connect(point_, &QComboBox::currentIndexChanged, this, [this] { refillComponents(); });
}

int CSamplingPointsDlg::stationKey() const {
    if (station_->currentIndex() < 0 ||
        station_->itemText(station_->currentIndex()) != station_->currentText())
        return 0;
    return station_->currentData().toInt();
}

int CSamplingPointsDlg::pointKey() const {
    if (point_->currentIndex() < 0 ||
        point_->itemText(point_->currentIndex()) != point_->currentText())
        return 0;
    return point_->currentData().toInt();
}

void CSamplingPointsDlg::refillStations() {
    dbui::fillStations(db_, station_, this);
    const int i = station_->findText(station_->currentText(), Qt::MatchFixedString);
    if (i >= 0) {
        const QSignalBlocker block(station_);
        station_->setCurrentIndex(i);
    }
}

void CSamplingPointsDlg::refillPoints() {
    const QSignalBlocker block(point_);
    dbui::fillPoints(db_, stationKey() != 0 ? station_->currentText() : QString(), point_, this);
    const int i = point_->findText(point_->currentText(), Qt::MatchFixedString);
    if (i >= 0)
        point_->setCurrentIndex(i);
}

void CSamplingPointsDlg::refillComponents() {
    const int place = pointKey();
    std::vector<TextRow> rows;
    left_->clear();
    if (place != 0) {
        db::CCritValuesSet set(db_);
        if (const db::Status st = set.open(place); !st)
            showFailure(this, st);
        for (const auto& r : set.rows) {
            TextRow row;
            row.key = r.keyParametr;
            row.cells = {q(r.parametr), q(r.quant),
                         r.critValue ? q(text::format("%.5g", *r.critValue)) : QString()};
            rows.push_back(std::move(row));
        }
        db::CLeftCritValuesSet left(db_);
        if (const db::Status st = left.open(place); !st)
            showFailure(this, st);
        for (const auto& r : left.rows) {
            auto* item = new QListWidgetItem(q(r.parametr), left_);
            item->setData(Qt::UserRole, r.keyParametr);
        }
    }
    model_->setRows(std::move(rows));
}

bool CSamplingPointsDlg::addStation() {
    const std::string name = s(station_->currentText());
    if (name.empty() || stationKey() != 0)
        return false;
    const db::Result<int> added = db::addStation(db_, name);
    if (!added) {
        showFailure(this, added.status());
        return false;
    }
    refillStations();
    refillPoints();
    refillComponents();
    return true;
}

bool CSamplingPointsDlg::deleteStation() {
    const int key = stationKey();
    if (key == 0) {
        QApplication::beep();
        return false;
    }
    if (!dbui::askYesNo(this,
                        QStringLiteral("Удалить пункт отбора %1 ?").arg(station_->currentText())))
        return false;
    db::CStationSet set(db_);
    if (const db::Status st = set.remove(key); !st) {
        showFailure(this, st);
        return false;
    }
    station_->setEditText(QString());
    refillStations();
    point_->setEditText(QString());
    refillPoints();
    refillComponents();
    return true;
}

bool CSamplingPointsDlg::addPoint() {
    const int station = stationKey();
    const std::string name = s(point_->currentText());
    if (station == 0) {
        QApplication::beep();
        return false;
    }
    if (name.empty() || pointKey() != 0)
        return false;
    const db::Result<int> added = db::addPlace(db_, station, name);
    if (!added) {
        showFailure(this, added.status());
        return false;
    }
    refillPoints();
    refillComponents();
    return true;
}

bool CSamplingPointsDlg::deletePoint() {
    const int key = pointKey();
    if (key == 0) {
        QApplication::beep();
        return false;
    }
    if (!dbui::askYesNo(this,
                        QStringLiteral("Удалить точку отбора %1 ?").arg(point_->currentText())))
        return false;
    db::CPlaceSet set(db_);
    if (const db::Status st = set.remove(key); !st) {
        showFailure(this, st);
        return false;
    }
    point_->setEditText(QString());
    refillPoints();
    refillComponents();
    return true;
}

bool CSamplingPointsDlg::controlSelected() {
    const int place = pointKey();
    if (place == 0) {
        QApplication::beep();
        return false;
    }
    std::vector<int> keys;
    for (const QListWidgetItem* i : left_->selectedItems())
        keys.push_back(i->data(Qt::UserRole).toInt());
    if (keys.empty())
        return false;
    if (const db::Status st = db::controlComponents(db_, place, keys); !st) {
        showFailure(this, st);
        return false;
    }
    refillComponents();
    const int row = model_->rowOfKey(keys.back());
    if (row >= 0)
        grid_->setCurrentIndex(model_->index(row, 2));
    return true;
}

bool CSamplingPointsDlg::uncontrolSelected() {
    const QModelIndexList selected = grid_->selectionModel()->selectedRows();
    if (model_->rowCount() == 0 || selected.isEmpty()) {
        QApplication::beep();
        return false;
    }
    if (!dbui::askYesNo(this, QStringLiteral("Отменить контроль выделенных компонентов ?")))
        return false;
    std::vector<int> rows;
    for (const QModelIndex& i : selected)
        rows.push_back(i.row());
    std::sort(rows.rbegin(), rows.rend());
    db::CCritValuesSet set(db_);
    for (int row : rows) {
        const int key = static_cast<int>(model_->rows()[static_cast<std::size_t>(row)].key);
        if (const db::Status st = set.remove(pointKey(), key); !st)
            showFailure(this, st);
    }
    refillComponents();
    return true;
}

}  // namespace zelmora::gui
