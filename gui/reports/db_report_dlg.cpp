#include "gui/reports/db_report_dlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "database/recordsets.h"
#include "database/schema.h"
#include "gui/message_box.h"
#include "gui/reports/report_wnd.h"

namespace zelmora::gui {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

db::CalendarDay dayOf(const QDate& d) {
    return {d.year(), d.month(), d.day()};
}

QDateEdit* dateEdit(QDate date, QWidget* parent) {
    auto* box = new QDateEdit(date, parent);
    box->setCalendarPopup(true);
    box->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    return box;
}

}  // namespace

CDbReportDlg::CDbReportDlg(DbReportKind kind, db::Connection& db, QDate today, QWidget* parent)
    : QDialog(parent), kind_(kind), db_(db) {
    setWindowTitle(QString::fromUtf8(dbReportTitle(kind)));
    auto* form = new QFormLayout;

    method_ = new QComboBox(this);
    method_->addItem(QString::fromUtf8(kAnyMethod));
    db::CMethodSet methods(db_);
    if (methods.open())
        for (const std::string& m : methods.rows)
            if (!m.empty())
                method_->addItem(qs(m));
    method_->setCurrentIndex(0);
    form->addRow(QStringLiteral("Метод:"), method_);

    if (kind == DbReportKind::Date) {
        from_ = dateEdit(today, this);
        form->addRow(QStringLiteral("Дата отбора:"), from_);
    } else {
        from_ = dateEdit(QDate(today.year(), today.month(), 1), this);
        to_ = dateEdit(today, this);
    }
    if (kind == DbReportKind::Place) {
        station_ = new QComboBox(this);
        place_ = new QComboBox(this);
        // Every station and point that has results, whatever the date.
        DbReportSelection all;
        all.from = {1900, 1, 1};
        all.to = {9999, 12, 31};
        if (Result<std::vector<DbReportPoint>> p = dbReportPoints(db_, all))
            allPoints_ = std::move(p).value();
        std::vector<std::string> stations;
        for (const DbReportPoint& p : allPoints_)
            if (stations.empty() || !text::equalsNoCase(stations.back(), p.station))
                stations.push_back(p.station);
        for (const std::string& s : stations)
            station_->addItem(qs(s));
        form->addRow(QStringLiteral("Пункт отбора:"), station_);
        form->addRow(QStringLiteral("Точка отбора:"), place_);
        fillPlaces();
        connect(station_, &QComboBox::currentIndexChanged, this, [this] {
            fillPlaces();
            refill();
        });
        connect(place_, &QComboBox::currentIndexChanged, this, [this] { refill(); });
    }
    if (kind == DbReportKind::Parametr) {
        component_ = new QComboBox(this);
        DbReportSelection all;
        all.from = {1900, 1, 1};
        all.to = {9999, 12, 31};
        if (Result<std::vector<std::string>> c = dbReportComponents(db_, all))
            for (const std::string& name : *c)
                component_->addItem(qs(name));
        component_->setCurrentIndex(-1);
        form->addRow(QStringLiteral("&Компонент:"), component_);
        connect(component_, &QComboBox::currentIndexChanged, this, [this] { refill(); });
    }
    if (to_ != nullptr) {
        form->addRow(QStringLiteral("С:"), from_);
        form->addRow(QStringLiteral("По:"), to_);
        connect(to_, &QDateEdit::dateChanged, this, [this] { refill(); });
    }
    connect(from_, &QDateEdit::dateChanged, this, [this] { refill(); });
    connect(method_, &QComboBox::currentIndexChanged, this, [this] { refill(); });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    if (kind != DbReportKind::Parametr) {
        components_ = new QListWidget(this);
        components_->setSelectionMode(QAbstractItemView::MultiSelection);
        components_->setMinimumHeight(140);
        layout->addWidget(new QLabel(QStringLiteral("Компоненты:"), this));
        layout->addWidget(components_);
    }
    if (kind != DbReportKind::Place) {
        points_ = new QTreeWidget(this);
        points_->setHeaderLabels({QStringLiteral("Точка отбора"), QStringLiteral("пункта отбора")});
        points_->setColumnWidth(0, 200);
        points_->setColumnWidth(1, 200);
        points_->setRootIsDecorated(false);
        points_->setSelectionMode(QAbstractItemView::MultiSelection);
        points_->setMinimumHeight(140);
        layout->addWidget(points_);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDbReportDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(460, 520);
    refill();
}

void CDbReportDlg::fillPlaces() {
    const QSignalBlocker block(place_);
    place_->clear();
    const std::string station = station_->currentText().toStdString();
    for (const DbReportPoint& p : allPoints_)
        if (text::equalsNoCase(p.station, station))
            place_->addItem(qs(p.place));
}

DbReportSelection CDbReportDlg::baseSelection() const {
    DbReportSelection s;
    s.from = dayOf(from_->date());
    s.to = to_ != nullptr ? dayOf(to_->date()) : s.from;
    s.method = method_->currentIndex() <= 0 ? std::string() : method_->currentText().toStdString();
    if (station_ != nullptr) {
        // A point saved without a name holds "-нет-", which selects it.
        s.station = station_->currentText().isEmpty() ? std::string(db::kNoName)
                                                      : station_->currentText().toStdString();
        s.place = place_->currentText().isEmpty() ? std::string(db::kNoName)
                                                  : place_->currentText().toStdString();
    }
    if (component_ != nullptr)
        s.parametr = component_->currentText().toStdString();
    return s;
}

void CDbReportDlg::refill() {
    const DbReportSelection s = baseSelection();
    Status failed;
    if (components_ != nullptr) {
        components_->clear();
        if (Result<std::vector<std::string>> list = dbReportComponents(db_, s)) {
            for (const std::string& name : *list)
                components_->addItem(qs(name));
            components_->selectAll();
        } else {
            failed = list.status();
        }
    }
    if (points_ != nullptr) {
        points_->clear();
        DbReportSelection forPoints = s;
        if (kind_ == DbReportKind::Parametr && s.parametr.empty())
            forPoints.parametr.clear();
        if (Result<std::vector<DbReportPoint>> list = dbReportPoints(db_, forPoints)) {
            for (const DbReportPoint& p : *list)
                new QTreeWidgetItem(points_, {qs(p.place), qs(p.station)});
            points_->selectAll();
        } else {
            failed = list.status();
        }
    }
    if (!failed)
        showFailure(this, failed, {}, QMessageBox::Warning, windowTitle());
}

DbReportSelection CDbReportDlg::selection() const {
    DbReportSelection s = baseSelection();
    if (components_ != nullptr)
        for (int i = 0; i < components_->count(); ++i)
            if (!components_->item(i)->isSelected())
                s.excludedComponents.push_back(components_->item(i)->text().toStdString());
    if (points_ != nullptr)
        for (int i = 0; i < points_->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* item = points_->topLevelItem(i);
            if (!item->isSelected())
                s.excludedPoints.emplace_back(item->text(1).toStdString(),
                                              item->text(0).toStdString());
        }
    return s;
}

void CDbReportDlg::accept() {
    if (kind_ == DbReportKind::Parametr && component_->currentText().trimmed().isEmpty()) {
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Необходимо указать компонент")});
        return;
    }
    if (to_ != nullptr && to_->date() < from_->date()) {
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Начало периода позже его конца")});
        return;
    }
    QDialog::accept();
}

Result<DbReport> makeDbReport(db::Connection& db, DbReportKind kind, const DbReportSelection& sel,
                              const std::filesystem::path& programFolder) {
    const std::filesystem::path file = dbReportPath(programFolder, kind);
    std::error_code ec;
    Result<DbReportDefinition> def =
        std::filesystem::exists(file, ec)
            ? DbReportDefinition::load(file)
            : DbReportDefinition::parse(defaultDbReportDefinition(kind));
    if (!def)
        return def.status();
    return runDbReport(db, *def, sel);
}

bool runDbReportCommand(DbReportKind kind, QWidget* parent) {
    const QString title = QString::fromUtf8(dbReportTitle(kind));
    // A connection of its own that only reads: a report never writes.
    Result<db::Connection> db =
        db::Connection::open(programOptions().databaseFile(), db::Connection::Mode::ReadOnly);
    if (!db) {
        showFailure(parent, db.status(), QStringLiteral("Не удалось открыть базу данных: %1"),
                    QMessageBox::Warning, title);
        return false;
    }
    CDbReportDlg dlg(kind, *db, QDate::currentDate(), parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const Result<DbReport> report =
        makeDbReport(*db, kind, dlg.selection(), paths::programFolder());
    if (!report) {
        showFailure(parent, report.status(), {}, QMessageBox::Warning, title);
        return false;
    }
    return showDbReport(parent, *report, title) != nullptr;
}

CReportWnd* showDbReport(QWidget* near, const DbReport& report, const QString& title) {
    return showDatabaseReport(near, dbReportToRtf(report), title, dbReportToCsv(report));
}

}  // namespace zelmora::gui
