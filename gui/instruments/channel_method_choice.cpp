#include "gui/instruments/channel_method_choice.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/program_settings.h"

namespace zelmora::gui {

std::optional<ChannelMethodChoice> chooseChannelMethod(QWidget* parent, const QString& preset) {
    QDialog dlg(parent);
    dlg.setObjectName(QStringLiteral("ChannelMethodChoice"));
    dlg.setWindowTitle(QStringLiteral("Выбор метода"));
    auto* layout = new QVBoxLayout(&dlg);
    auto* list = new QListWidget(&dlg);
    list->setObjectName(QStringLiteral("methods"));
    const QDir folder(QString::fromStdString(programOptions().methodFolder().string()));
    const QStringList names = folder.entryList({QStringLiteral("*.mtd"), QStringLiteral("*.MTD")},
                                               QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& n : names) {
        list->addItem(QFileInfo(n).completeBaseName());
        if (QFileInfo(n).completeBaseName() == preset)
            list->setCurrentRow(list->count() - 1);
    }
    if (list->currentRow() < 0 && list->count() > 0)
        list->setCurrentRow(0);
    layout->addWidget(new QLabel(QStringLiteral("Методы:"), &dlg));
    layout->addWidget(list);
    auto* form = new QFormLayout;
    auto* count = new QSpinBox(&dlg);
    count->setObjectName(QStringLiteral("repetitions"));
    count->setRange(1, 1000);
    form->addRow(QStringLiteral("Число анализов:"), count);
    layout->addLayout(form);
    auto* settings =
        new QCheckBox(QStringLiteral("Использовать установки прибора из метода"), &dlg);
    settings->setObjectName(QStringLiteral("useMethodSettings"));
    settings->setChecked(true);
    layout->addWidget(settings);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dlg, &QDialog::accept);
    layout->addWidget(buttons);
    if (dlg.exec() != QDialog::Accepted || list->currentItem() == nullptr)
        return std::nullopt;
    return ChannelMethodChoice{list->currentItem()->text(), count->value(), settings->isChecked()};
}

}  // namespace zelmora::gui
