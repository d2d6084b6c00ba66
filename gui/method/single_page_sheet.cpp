#include "gui/method/single_page_sheet.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace zelmora::gui {

CSinglePageSheet::CSinglePageSheet(const QString& caption, QWidget* page, const QString& tabTitle,
                                   std::function<bool()> takeValues, QWidget* parent)
    : QDialog(parent), takeValues_(std::move(takeValues)) {
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    tabs->addTab(page, tabTitle);
    layout->addWidget(tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSinglePageSheet::tryAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

bool CSinglePageSheet::tryAccept() {
    if (takeValues_ && !takeValues_())
        return false;
    accept();
    return true;
}

}  // namespace zelmora::gui
