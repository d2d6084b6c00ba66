#include "gui/database/component_picker_dlg.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "database/catalogue.h"
#include "database/recordsets.h"
#include "gui/message_box.h"

namespace zelmora::gui {

CComponentPickerDlg::CComponentPickerDlg(db::Connection& db, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Компонент"));
    combo_ = new QComboBox(this);
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->lineEdit()->setMaxLength(static_cast<int>(db::kParametrMaxChars));
    combo_->setMinimumWidth(240);
    combo_->setObjectName(QStringLiteral("component"));
    db::CParametrSet set(db);
    if (const db::Status s = set.open(); !s)
        showFailure(this, s);
    for (const auto& r : set.rows)
        combo_->addItem(QString::fromStdString(r.parametr));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* box = new QVBoxLayout(this);
    box->addWidget(combo_);
    box->addWidget(buttons);
}

void CComponentPickerDlg::setCurrent(const QString& name) {
    const int i = combo_->findText(name, Qt::MatchFixedString);
    if (i >= 0)
        combo_->setCurrentIndex(i);
    else
        combo_->setEditText(name);
}

QString CComponentPickerDlg::chosen() const {
    return combo_->currentText().trimmed();
}

}  // namespace zelmora::gui
