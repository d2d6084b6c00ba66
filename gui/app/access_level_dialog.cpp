#include "gui/app/access_level_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/program_settings.h"

namespace zelmora::gui {

CAccessLevelDialog::CAccessLevelDialog(int level, QWidget* parent)
    : QDialog(parent), level_(level) {
    setWindowTitle(QStringLiteral("Изменение уровня доступа"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Введите пароль наладчика"), this));
    edit_ = new QLineEdit(this);
    edit_->setEchoMode(QLineEdit::Password);
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    ok_->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& t) {
        ok_->setEnabled(acceptsPassword(level_, t.toStdString()));
    });
}

}  // namespace zelmora::gui
