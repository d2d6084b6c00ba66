#include "gui/database/analysis_dlg.h"

#include <QApplication>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <map>

#include "app/text.h"
#include "database/catalogue.h"
#include "database/db_time.h"
#include "database/recordsets.h"
#include "gui/database/db_dialog_support.h"
#include "gui/database/sampling_points_dlg.h"
#include "gui/database/text_table_model.h"
#include "gui/message_box.h"

namespace zelmora::gui {

using dbui::q;
using dbui::s;

namespace {

constexpr const char* kDateFormat = "dd.MM.yyyy HH:mm:ss";

QString dateText(std::optional<std::time_t> t) {
    if (!t)
        return {};
    return QDateTime::fromSecsSinceEpoch(*t).toString(QString::fromLatin1(kDateFormat));
}

}  // namespace

CAnalysisDlg::CAnalysisDlg(db::Connection& db, int keyAnalys, bool createdEmpty, QWidget* parent)
    : QDialog(parent), db_(db), key_(keyAnalys), createdEmpty_(createdEmpty) {
    setWindowTitle(QStringLiteral("Анализ"));
    station_ = dbui::editableCombo(this, db::kStationMaxChars, "station");
    point_ = dbui::editableCombo(this, db::kPlaceMaxChars, "point");
    method_ = dbui::editableCombo(this, db::kMethodMaxChars, "method");
    date_ = new QLineEdit(this);
    date_->setObjectName(QStringLiteral("date"));
    date_->setPlaceholderText(QStringLiteral("дд.мм.гггг чч:мм:сс"));
    sample_ = new QLineEdit(this);
    sample_->setMaxLength(static_cast<int>(db::kSampleMaxChars));
    sample_->setObjectName(QStringLiteral("sample"));
    operator_ = new QLineEdit(this);
    operator_->setMaxLength(static_cast<int>(db::kOperatorMaxChars));
    operator_->setObjectName(QStringLiteral("operator"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Пункт отбора:"), station_);
    form->addRow(QStringLiteral("Точка отбора:"), point_);
    form->addRow(QStringLiteral("Дата отбора:"), date_);
    form->addRow(QStringLiteral("Метод:"), method_);
    form->addRow(QStringLiteral("Проба:"), sample_);
    form->addRow(QStringLiteral("Оператор:"), operator_);

    model_ = new TextTableModel(
        {QStringLiteral("Компонент"), QStringLiteral("Ед. измерения"), QStringLiteral("Значение")},
        this);
    model_->editableColumn = 2;
    model_->shadedColumn = 2;
    model_->edit = [this](int row, const QString& typed) {
        const std::string name = s(model_->rows()[static_cast<std::size_t>(row)].cells[0]);
        const db::Result<bool> set = db::setTypedResult(db_, key_, name, s(typed));
        if (!set) {
            showFailure(this, set.status());
            return false;
        }
        if (!*set) {
            QApplication::beep();
            return false;
        }
        QMetaObject::invokeMethod(
            this, [this] { refillResults(); }, Qt::QueuedConnection);
        return true;
    };
    results_ = new QTableView(this);
    results_->setModel(model_);
    results_->setItemDelegate(new ShadeDelegate(results_));
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    results_->verticalHeader()->hide();
    results_->verticalHeader()->setDefaultSectionSize(results_->fontMetrics().height() + 6);
    setGridWidths(results_, {2200 / 12, 700 / 12, 800 / 12});
    results_->horizontalHeader()->setStretchLastSection(true);
    results_->installEventFilter(this);
    results_->setObjectName(QStringLiteral("results"));

    left_ = new QListWidget(this);
    left_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    left_->installEventFilter(this);
    left_->setObjectName(QStringLiteral("left"));

    auto* add = new QPushButton(QStringLiteral("<- &Добавить"), this);
    auto* remove = new QPushButton(QStringLiteral("&Удалить ->"), this);
    auto* crit = new QPushButton(QStringLiteral("Крит. значения"), this);
    auto* del = new QPushButton(QStringLiteral("Удалить анализ"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setDefault(false);
    close->setAutoDefault(false);
    for (QPushButton* b : {add, remove, crit, del})
        b->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, [this] { addSelectedComponents(); });
    connect(remove, &QPushButton::clicked, this, [this] { removeSelectedResults(); });
    connect(crit, &QPushButton::clicked, this, [this] { showCriticalValues(); });
    connect(del, &QPushButton::clicked, this, [this] { deleteAnalysis(true); });
    connect(close, &QPushButton::clicked, this, &CAnalysisDlg::accept);

    auto* grids = new QHBoxLayout;
    grids->addWidget(results_, 3);
    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addStretch();
    grids->addLayout(middle);
    auto* leftBox = new QVBoxLayout;
    leftBox->addWidget(new QLabel(QStringLiteral("Все компоненты"), this));
    leftBox->addWidget(left_);
    grids->addLayout(leftBox, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(crit);
    buttons->addWidget(del);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addLayout(grids, 1);
    box->addLayout(buttons);
    resize(700, 520);

    load();
    connect(station_, &QComboBox::currentTextChanged, this, [this](const QString& st) {
        dbui::fillPoints(db_, st, point_, this);
        refillResults();
    });
    connect(point_, &QComboBox::currentTextChanged, this, [this] { refillResults(); });
}

void CAnalysisDlg::load() {
    db::CAnalysSet set(db_);
    const auto found = set.find(key_);
    if (!found) {
        showFailure(this, found.status());
        return;
    }
    if (!*found)
        return;
    const db::AnalysisRow& a = **found;
    fileName_ = a.fileName;
    station_->setEditText(q(a.station));
    dbui::fillStations(db_, station_, this);
    point_->setEditText(q(a.place));
    dbui::fillPoints(db_, station_->currentText(), point_, this);
    db::CMethodSet methods(db_);
    if (methods.open())
        for (const std::string& m : methods.rows)
            method_->addItem(q(m));
    method_->setCurrentIndex(-1);
    method_->setEditText(q(a.method));
    date_->setText(dateText(a.date));
    sample_->setText(q(a.sample));
    operator_->setText(q(a.operatorName));
    refillResults();
    refillLeft();
}

void CAnalysisDlg::refillResults() {
    const QModelIndex current = results_->currentIndex();
    db::CResultSet set(db_);
    if (const db::Status st = set.open(key_); !st) {
        showFailure(this, st);
        return;
    }
    std::map<std::string, double> critical;
    if (const std::optional<int> place =
            dbui::pointKey(db_, station_->currentText(), point_->currentText())) {
        db::CCritValues0Set cv(db_);
        if (const db::Status st = cv.open(*place); !st)
            showFailure(this, st);
        for (const auto& r : cv.rows)
            if (r.critValue)
                critical[text::foldCase(r.parametr)] = *r.critValue;
    }
    db::CParametrSet parametres(db_);
    if (const db::Status st = parametres.open(); !st)
        showFailure(this, st);
    std::vector<TextRow> rows;
    for (const auto& r : set.rows) {
        TextRow row;
        const auto* p = parametres.findName(r.parametr);
        row.cells = {q(r.parametr), p != nullptr ? q(p->quant) : QString(),
                     r.value ? q(text::format("%.5g", *r.value)) : QString()};
        std::optional<double> c;
        if (auto it = critical.find(text::foldCase(r.parametr)); it != critical.end())
            c = it->second;
        const db::CellShade shade = db::shadeForCriticalValue(r.value, c);
        if (shade.kind != db::CellShade::Kind::None) {
            row.shadePercent = shade.percent;
            row.shade = shade.kind == db::CellShade::Kind::Red ? QColor(0xf0, 0x40, 0x40)
                                                               : QColor(0x70, 0xe0, 0xf0);
        }
        rows.push_back(std::move(row));
    }
    model_->setRows(std::move(rows));
    if (current.isValid() && current.row() < model_->rowCount())
        results_->setCurrentIndex(model_->index(current.row(), current.column()));
}

void CAnalysisDlg::refillLeft() {
    left_->clear();
    db::CLeftResultsSet set(db_);
    if (const db::Status st = set.open(key_); !st) {
        showFailure(this, st);
        return;
    }
    for (const std::string& name : set.rows)
        left_->addItem(q(name));
}

void CAnalysisDlg::addSelectedComponents() {
    std::vector<std::string> names;
    for (const QListWidgetItem* i : left_->selectedItems())
        names.push_back(s(i->text()));
    // The first result of an analysis is added from here too: only an empty
    // choice is refused.
    if (names.empty()) {
        QApplication::beep();
        return;
    }
    if (const db::Status st = db::addEmptyResults(db_, key_, names); !st)
        showFailure(this, st);
    refillLeft();
    refillResults();
    for (int row = 0; row < model_->rowCount(); ++row)
        if (s(model_->rows()[static_cast<std::size_t>(row)].cells[0]) == names.back())
            results_->setCurrentIndex(model_->index(row, 2));
}

void CAnalysisDlg::removeSelectedResults() {
    const QModelIndexList selected = results_->selectionModel()->selectedRows();
    if (model_->rowCount() == 0 || selected.isEmpty()) {
        QApplication::beep();
        return;
    }
    std::vector<std::string> names;
    for (const QModelIndex& i : selected)
        names.push_back(s(model_->rows()[static_cast<std::size_t>(i.row())].cells[0]));
    if (const db::Status st = db::removeResults(db_, key_, names); !st)
        showFailure(this, st);
    refillResults();
    refillLeft();
}

bool CAnalysisDlg::takeFields() {
    db::AnalysisFields f;
    f.station = s(station_->currentText());
    f.place = s(point_->currentText());
    f.method = s(method_->currentText());
    f.sample = s(sample_->text());
    f.operatorName = s(operator_->text());
    const QString typed = date_->text().trimmed();
    if (!typed.isEmpty()) {
        const QDateTime t = QDateTime::fromString(typed, QString::fromLatin1(kDateFormat));
        if (!t.isValid()) {
            MessageRequest r;
            r.parent = this;
            r.text = QStringLiteral("Неверная дата отбора. Введите её в виде %1.")
                         .arg(QStringLiteral("дд.мм.гггг чч:мм:сс"));
            showMessage(r);
            date_->setFocus();
            return false;
        }
        f.date = static_cast<std::time_t>(t.toSecsSinceEpoch());
    } else {
        db::CAnalysSet set(db_);
        if (auto found = set.find(key_); found && *found)
            f.date = (*found)->date;
    }
    const db::Result<bool> written = db::applyAnalysisFields(db_, key_, f);
    if (!written) {
        showFailure(this, written.status());
        return false;
    }
    return true;
}

void CAnalysisDlg::showCriticalValues() {
    if (!takeFields())
        return;
    CSamplingPointsDlg dlg(db_, station_->currentText(), point_->currentText(), this);
    dlg.exec();
    refillResults();
}

void CAnalysisDlg::deleteAnalysis(bool ask) {
    if (ask && !dbui::askYesNo(this, QStringLiteral("Удалить анализ ?")))
        return;
    const db::DeleteOutcome out = db::deleteAnalyses(db_, {key_});
    if (!out.errors.empty()) {
        showFailure(this, db::Status::failure(out.errors.front()));
        return;
    }
    deleted_ = true;
    if (!out.fileNames.empty() &&
        dbui::askYesNo(this, QStringLiteral(" Удалить хроматограмму(ы) ?")))
        for (const std::string& e : db::deleteChromatogramFiles(out.fileNames))
            showFailure(this, db::Status::failure(e));
    QDialog::reject();
}

bool CAnalysisDlg::finish() {
    if (deleted_)
        return true;
    if (!takeFields())
        return false;
    // An analysis just made by "Новый анализ" and left empty goes again; it
    // has no chromatogram file to ask about.
    const db::Result<bool> closed = db::closeAnalysis(db_, key_, createdEmpty_);
    if (!closed)
        showFailure(this, closed.status());
    else if (*closed)
        deleted_ = true;
    return true;
}

void CAnalysisDlg::accept() {
    if (finish())
        QDialog::accept();
}

void CAnalysisDlg::reject() {
    if (finish())
        QDialog::reject();
}

bool CAnalysisDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == left_ && key->key() == Qt::Key_Insert) {
            addSelectedComponents();
            return true;
        }
        // While a cell is edited its keys go to the editor, not here.
        if (watched == results_ && key->key() == Qt::Key_Delete) {
            removeSelectedResults();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace zelmora::gui
