#include "gui/database/analysis_search_dlg.h"

#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/catalogue.h"
#include "gui/database/db_dialog_support.h"
#include "gui/message_box.h"

namespace zelmora::gui {

using dbui::q;
using dbui::s;

namespace {

QDate qdate(const db::CalendarDay& d) {
    return QDate(d.year, d.month, d.day);
}
db::CalendarDay day(const QDate& d) {
    return {d.year(), d.month(), d.day()};
}

}  // namespace

CAnalysisSearchDlg::CAnalysisSearchDlg(db::Connection& db, const db::AnalysisSearch& criteria,
                                       QWidget* parent)
    : QDialog(parent), db_(db), base_(criteria) {
    setWindowTitle(QStringLiteral("Поиск анализа"));
    station_ = dbui::editableCombo(this, db::kStationMaxChars, "station");
    point_ = dbui::editableCombo(this, db::kPlaceMaxChars, "point");
    method_ = dbui::editableCombo(this, db::kMethodMaxChars, "method");
    operator_ = new QLineEdit(this);
    operator_->setMaxLength(static_cast<int>(db::kOperatorMaxChars));
    operator_->setObjectName(QStringLiteral("operator"));
    from_ = new QDateEdit(qdate(criteria.from), this);
    to_ = new QDateEdit(qdate(criteria.to), this);
    for (QDateEdit* d : {from_, to_}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        d->setMinimumDate(QDate(1970, 1, 1));
    }
    from_->setObjectName(QStringLiteral("from"));
    to_->setObjectName(QStringLiteral("to"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Пункт отбора:"), station_);
    form->addRow(QStringLiteral("Точка отбора:"), point_);
    form->addRow(QStringLiteral("Дата отбора с:"), from_);
    form->addRow(QStringLiteral("по:"), to_);
    form->addRow(QStringLiteral("Метод:"), method_);
    form->addRow(QStringLiteral("Оператор:"), operator_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(buttons);

    station_->setEditText(q(criteria.station));
    dbui::fillStations(db_, station_, this);
    point_->setEditText(q(criteria.place));
    dbui::fillPoints(db_, station_->currentText(), point_, this);
    db::CMethodSet methods(db_);
    if (const db::Status st = methods.open(); !st)
        showFailure(this, st);
    for (const std::string& m : methods.rows)
        method_->addItem(q(m));
    method_->setCurrentIndex(-1);
    method_->setEditText(q(criteria.method));
    operator_->setText(q(criteria.operatorName));
    // The points follow the station; a station that is not in the list has none.
    connect(station_, &QComboBox::currentTextChanged, this, [this](const QString& st) {
        point_->setEditText(QString());
        dbui::fillPoints(db_, st, point_, this);
    });
}

db::AnalysisSearch CAnalysisSearchDlg::criteria() const {
    db::AnalysisSearch c = base_;
    c.station = s(station_->currentText());
    c.place = s(point_->currentText());
    c.method = s(method_->currentText());
    c.operatorName = s(operator_->text());
    c.from = day(from_->date());
    c.to = day(to_->date());
    return c;
}

}  // namespace zelmora::gui
