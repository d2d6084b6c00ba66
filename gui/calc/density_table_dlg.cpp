#include "gui/calc/density_table_dlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/program_settings.h"
#include "app/text.h"
#include "gui/message_box.h"

namespace zelmora::gui {
namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CDensityTableDlg::CDensityTableDlg(std::filesystem::path file, QWidget* parent)
    : QDialog(parent), file_(std::move(file)) {
    setWindowTitle(QStringLiteral("Плотности веществ"));
    grid_ = new QTableWidget(0, 2, this);
    grid_->setHorizontalHeaderLabels(
        {QStringLiteral("Наименование"), QStringLiteral("Плотность (кг/м3)")});
    grid_->verticalHeader()->hide();
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->setColumnWidth(0, 260);
    grid_->setColumnWidth(1, 130);
    // A file that cannot be read gives an empty table.
    if (auto rows = readDensityTable(file_)) {
        grid_->setRowCount(static_cast<int>(rows->size()));
        for (int r = 0; r < grid_->rowCount(); ++r) {
            const DensityEntry& e = (*rows)[static_cast<std::size_t>(r)];
            grid_->setItem(r, 0, new QTableWidgetItem(q(e.name)));
            grid_->setItem(r, 1, new QTableWidgetItem(q(text::format("%.10g", e.density))));
        }
    }
    connect(grid_, &QTableWidget::cellChanged, this, [this] { modified_ = true; });

    auto* add = new QPushButton(QStringLiteral("Добавить"), this);
    auto* remove = new QPushButton(QStringLiteral("Удалить"), this);
    auto* exit = new QPushButton(QStringLiteral("Выход"), this);
    connect(add, &QPushButton::clicked, this, &CDensityTableDlg::addRow);
    connect(remove, &QPushButton::clicked, this, &CDensityTableDlg::removeRow);
    connect(exit, &QPushButton::clicked, this, &CDensityTableDlg::exitAndSave);
    auto* bar = new QHBoxLayout;
    bar->addWidget(add);
    bar->addWidget(remove);
    bar->addStretch();
    bar->addWidget(exit);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(bar);
    resize(440, 420);
}

void CDensityTableDlg::addRow() {
    const int r = grid_->rowCount();
    grid_->insertRow(r);
    grid_->setItem(r, 0, new QTableWidgetItem);
    grid_->setItem(r, 1, new QTableWidgetItem);
    grid_->setCurrentCell(r, 0);
    modified_ = true;
}

void CDensityTableDlg::removeRow() {
    const int r = grid_->currentRow();
    if (r < 0)
        return;
    grid_->removeRow(r);
    modified_ = true;
}

Result<std::vector<DensityEntry>> CDensityTableDlg::entries() const {
    std::vector<DensityEntry> out;
    for (int r = 0; r < grid_->rowCount(); ++r) {
        auto cell = [&](int c) {
            const QTableWidgetItem* item = grid_->item(r, c);
            return item != nullptr ? std::string(text::trim(item->text().toStdString()))
                                   : std::string();
        };
        const std::string name = cell(0), density = cell(1);
        // A row left wholly empty is no substance; the file has no room for it.
        if (name.empty() && density.empty())
            continue;
        if (name.empty())
            return Status::failure(text::format("Строка %d: не задано наименование.", r + 1));
        const std::optional<double> v = text::parseDouble(density, true);
        if (!v || !std::isfinite(*v) || *v <= 0)
            return Status::failure(text::format(
                "Строка %d (%s): плотность должна быть числом больше 0.", r + 1, name.c_str()));
        out.push_back({name, *v});
    }
    return out;
}

bool CDensityTableDlg::exitAndSave() {
    auto rows = entries();
    if (!rows) {
        showFailure(this, rows.status(), {}, QMessageBox::Warning,
                    QStringLiteral("Плотности веществ"));
        return false;
    }
    if (const Status s = writeDensityTable(file_, *rows); !s) {
        showFailure(this, s, {}, QMessageBox::Warning, QStringLiteral("Плотности веществ"));
        return false;
    }
    modified_ = false;
    accept();
    return true;
}

void CDensityTableDlg::reject() {
    if (modified_) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.caption = QStringLiteral("Плотности веществ");
        r.text = QStringLiteral("Сохранить изменения таблицы плотностей?");
        r.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        const QMessageBox::StandardButton answer = showMessage(r);
        if (answer == QMessageBox::Cancel)
            return;
        if (answer == QMessageBox::Yes) {
            exitAndSave();
            return;
        }
    }
    QDialog::reject();
}

void ShowDensityTableDialog(QWidget* parent) {
    CDensityTableDlg dlg(densityTablePath(programOptions().databaseFolder()), parent);
    dlg.exec();
}

}  // namespace zelmora::gui
