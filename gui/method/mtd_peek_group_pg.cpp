#include "gui/method/mtd_peek_group_pg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "method/method_editing.h"

namespace zelmora::gui {

CMtdPeekGroupPg::CMtdPeekGroupPg(std::vector<ComponentGroup>& groups,
                                 const CalculationSettings& calculation, QWidget* parent)
    : QWidget(parent), groups_(groups), calculation_(calculation) {
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Компонент"), this), 0, 0);
    components_ = new QComboBox(this);
    layout->addWidget(components_, 1, 0);
    layout->addWidget(new QLabel(QStringLiteral("В группу"), this), 0, 1);
    groupNames_ = new QComboBox(this);
    groupNames_->setEditable(true);
    layout->addWidget(groupNames_, 1, 1);
    auto* add = new QPushButton(QStringLiteral("Добавить"), this);
    auto* remove = new QPushButton(QStringLiteral("Удалить"), this);
    layout->addWidget(add, 1, 2);
    layout->addWidget(remove, 2, 2, Qt::AlignTop);
    pairs_ = new QTableWidget(0, 2, this);
    pairs_->setHorizontalHeaderLabels(QStringLiteral("Пик\tГруппа").split(u'\t'));
    pairs_->verticalHeader()->hide();
    pairs_->horizontalHeader()->setStretchLastSection(true);
    pairs_->setSelectionBehavior(QAbstractItemView::SelectRows);
    pairs_->setSelectionMode(QAbstractItemView::SingleSelection);
    pairs_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(pairs_, 2, 0, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    connect(add, &QPushButton::clicked, this, &CMtdPeekGroupPg::addPair);
    connect(remove, &QPushButton::clicked, this, &CMtdPeekGroupPg::deleteSelected);
    fill();
}

void CMtdPeekGroupPg::activated() {
    const QString current = components_->currentText();
    components_->clear();
    for (const MethodComponent& c : calculation_.components)
        components_->addItem(QString::fromStdString(c.name));
    const int keep = components_->findText(current);
    if (keep >= 0)
        components_->setCurrentIndex(keep);
}

void CMtdPeekGroupPg::fill() {
    pairs_->setRowCount(static_cast<int>(groups_.size()));
    for (int r = 0; r < int(groups_.size()); ++r) {
        pairs_->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(groups_[r].component)));
        pairs_->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(groups_[r].group)));
    }
    const QString typed = groupNames_->currentText();
    groupNames_->clear();
    for (const std::string& g : zelmora::groupNames(groups_))
        groupNames_->addItem(QString::fromStdString(g));
    groupNames_->setEditText(typed);
}

bool CMtdPeekGroupPg::addPair() {
    const std::string component = components_->currentText().toStdString();
    const std::string group = groupNames_->currentText().trimmed().toStdString();
    if (!addGroupPair(groups_, component, group))
        return false;
    fill();
    return true;
}

bool CMtdPeekGroupPg::deleteSelected() {
    const int row = pairs_->currentRow();
    if (row < 0 || row >= int(groups_.size()))
        return false;
    groups_.erase(groups_.begin() + row);
    fill();
    return true;
}

}  // namespace zelmora::gui
