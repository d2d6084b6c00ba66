#include "gui/method/mtd_info_pg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace zelmora::gui {

CMtdInfoPg::CMtdInfoPg(MethodInfo& info, QWidget* parent) : QWidget(parent), info_(info) {
    auto* layout = new QVBoxLayout(this);
    auto* descriptionLabel = new QLabel(QStringLiteral("Краткое &описание:"), this);
    description_ = new QLineEdit(QString::fromStdString(info.description), this);
    descriptionLabel->setBuddy(description_);
    auto* commentLabel = new QLabel(QStringLiteral("&Комментарий:"), this);
    comment_ = new QPlainTextEdit(QString::fromStdString(info.comment), this);
    commentLabel->setBuddy(comment_);
    layout->addWidget(descriptionLabel);
    layout->addWidget(description_);
    layout->addWidget(commentLabel);
    layout->addWidget(comment_, 1);
}

bool CMtdInfoPg::takeValues() {
    info_.description = description_->text().toStdString();
    info_.comment = comment_->toPlainText().toStdString();
    return true;
}

}  // namespace zelmora::gui
