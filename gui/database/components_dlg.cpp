#include "gui/database/components_dlg.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/text.h"
#include "database/catalogue.h"
#include "database/recordsets.h"
#include "gui/database/db_dialog_support.h"
#include "gui/message_box.h"

namespace zelmora::gui {

using dbui::q;
using dbui::s;

CComponentsDlg::CComponentsDlg(db::Connection& db, QWidget* parent) : QDialog(parent), db_(db) {
    setWindowTitle(QStringLiteral("Компоненты"));
    component_ = dbui::editableCombo(this, db::kParametrMaxChars, "component");
    unit_ = dbui::editableCombo(this, db::kQuantMaxChars, "unit");
    critical_ = new QLineEdit(this);
    critical_->setObjectName(QStringLiteral("critical"));
    auto* add = new QPushButton(QStringLiteral("Добавить"), this);
    auto* del = new QPushButton(QStringLiteral("Удалить"), this);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    for (QPushButton* b : {add, del})
        b->setAutoDefault(false);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Поиск / добавление"), component_);
    form->addRow(QStringLiteral("Единицы измерения"), unit_);
    form->addRow(QStringLiteral("Критическое значение"), critical_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add);
    buttons->addWidget(del);
    buttons->addStretch();
    buttons->addWidget(close);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addLayout(buttons);
    connect(add, &QPushButton::clicked, this, [this] { addComponent(); });
    connect(del, &QPushButton::clicked, this, [this] { deleteComponent(); });
    connect(close, &QPushButton::clicked, this, &CComponentsDlg::accept);
    refill(QString());
    connect(component_, &QComboBox::currentIndexChanged, this, [this](int index) {
        storeShown();
        showComponent(index);
    });
    showComponent(component_->currentIndex());
}

void CComponentsDlg::refill(const QString& select) {
    const QSignalBlocker block(component_);
    const QSignalBlocker blockUnits(unit_);
    component_->clear();
    unit_->clear();
    db::CParametrSet set(db_);
    if (const db::Status st = set.open(); !st)
        showFailure(this, st);
    for (const auto& r : set.rows)
        component_->addItem(q(r.parametr), r.keyParametr);
    db::CQuantSet units(db_);
    if (const db::Status st = units.open(); !st)
        showFailure(this, st);
    for (const std::string& u : units.rows)
        unit_->addItem(q(u));
    component_->setCurrentIndex(component_->findText(select, Qt::MatchFixedString));
}

void CComponentsDlg::showComponent(int index) {
    shownKey_ = 0;
    unit_->setEditText(QString());
    critical_->clear();
    if (index < 0)
        return;
    shownKey_ = component_->itemData(index).toInt();
    db::CParametrSet set(db_);
    if (!set.open())
        return;
    for (const auto& r : set.rows)
        if (r.keyParametr == shownKey_) {
            unit_->setEditText(q(r.quant));
            critical_->setText(q(text::format("%.5g", r.defValue)));
        }
}

bool CComponentsDlg::storeShown() {
    if (shownKey_ == 0)
        return true;
    db::CParametrSet set(db_);
    if (const db::Status st = set.open(); !st) {
        showFailure(this, st);
        return false;
    }
    for (const auto& r : set.rows) {
        if (r.keyParametr != shownKey_)
            continue;
        db::CParametrSet::Row row = r;
        row.quant = s(unit_->currentText());
        const QString typed = critical_->text().trimmed();
        if (!typed.isEmpty()) {
            const std::optional<double> v = db::parseTypedValue(s(typed));
            if (!v) {
                QApplication::beep();
                critical_->setFocus();
                return false;
            }
            row.defValue = *v;
        }
        if (row.quant == r.quant && row.defValue == r.defValue)
            return true;
        if (const db::Status st = set.update(row); !st) {
            showFailure(this, st);
            return false;
        }
        return true;
    }
    return true;
}

bool CComponentsDlg::addComponent() {
    const QString name = component_->currentText().trimmed();
    if (name.isEmpty() || component_->findText(name, Qt::MatchFixedString) >= 0)
        return false;
    double defValue = 0;
    const QString typed = critical_->text().trimmed();
    if (!typed.isEmpty()) {
        const std::optional<double> v = db::parseTypedValue(s(typed));
        if (!v) {
            QApplication::beep();
            return false;
        }
        defValue = *v;
    }
    const db::Result<int> added = db::addParametr(db_, s(name), s(unit_->currentText()), defValue);
    if (!added) {
        showFailure(this, added.status());
        return false;
    }
    shownKey_ = 0;
    refill(name);
    showComponent(component_->currentIndex());
    return true;
}

bool CComponentsDlg::deleteComponent() {
    const int index = component_->currentIndex();
    if (index < 0 || component_->itemText(index) != component_->currentText()) {
        QApplication::beep();
        return false;
    }
    if (!dbui::askYesNo(this,
                        QStringLiteral("Удалить компонент %1 ?").arg(component_->itemText(index))))
        return false;
    db::CParametrSet set(db_);
    if (const db::Status st = set.remove(component_->itemData(index).toInt()); !st) {
        showFailure(this, st);
        return false;
    }
    shownKey_ = 0;
    refill(QString());
    component_->setEditText(QString());
    showComponent(-1);
    return true;
}

void CComponentsDlg::accept() {
    if (storeShown())
        QDialog::accept();
}

void CComponentsDlg::reject() {
    if (storeShown())
        QDialog::reject();
}

}  // namespace zelmora::gui
