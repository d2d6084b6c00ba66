#include "gui/calc/oil_gas_names_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/text.h"
#include "database/recordsets.h"
#include "gui/document/passport_dlg.h"
#include "gui/message_box.h"

namespace zelmora::gui {
namespace {

enum Column { kFormula, kName, kBoundary, kColumns };

QTableWidgetItem* fixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

QString boundaryText(double v) {
    return QString::fromStdString(text::format("%.5f", v));
}

}  // namespace

COilGasNamesDlg::ComponentPicker COilGasNamesDlg::pickComponent = pickDatabaseComponent;

COilGasNamesDlg::COilGasNamesDlg(const OilGasList& gases, QWidget* parent)
    : QDialog(parent), gases_(gases) {
    setWindowTitle(QStringLiteral("Соотнесение веществ и названий"));
    grid_ = new QTableWidget(static_cast<int>(kOilGasCount), kColumns, this);
    grid_->setHorizontalHeaderLabels({QStringLiteral("Вещество"), QStringLiteral("Название"),
                                      QStringLiteral("Гр. концентрация")});
    grid_->verticalHeader()->hide();
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    filling_ = true;
    for (int i = 0; i < static_cast<int>(kOilGasCount); ++i) {
        const OilGas& g = gases_[static_cast<std::size_t>(i)];
        grid_->setItem(i, kFormula, fixedItem(QString::fromStdString(g.formula)));
        grid_->setItem(i, kName, fixedItem(QString::fromStdString(g.name)));
        grid_->setItem(i, kBoundary, new QTableWidgetItem(boundaryText(g.boundary)));
    }
    filling_ = false;
    grid_->setColumnWidth(kFormula, 80);
    grid_->setColumnWidth(kName, 200);
    grid_->setColumnWidth(kBoundary, 130);
    connect(grid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column == kName)
            chooseName(row);
    });
    connect(grid_, &QTableWidget::cellChanged, this, &COilGasNamesDlg::boundaryEdited);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addWidget(buttons);
    const int rowHeight = grid_->verticalHeader()->defaultSectionSize();
    resize(460, rowHeight * 8 + grid_->horizontalHeader()->height() + 70);
}

void COilGasNamesDlg::chooseName(int row) {
    if (row < 0 || row >= static_cast<int>(kOilGasCount) || !pickComponent)
        return;
    const auto k = static_cast<std::size_t>(row);
    const std::optional<std::string> chosen = pickComponent(gases_[k].name, this);
    if (!chosen || chosen->empty())
        return;
    gases_[k].name = *chosen;
    grid_->item(row, kName)->setText(QString::fromStdString(*chosen));
}

void COilGasNamesDlg::boundaryEdited(int row, int column) {
    if (filling_ || column != kBoundary || row < 0 || row >= static_cast<int>(kOilGasCount))
        return;
    const auto k = static_cast<std::size_t>(row);
    QTableWidgetItem* item = grid_->item(row, column);
    const std::string typed(text::trim(item->text().toStdString()));
    const std::optional<double> v =
        typed.empty() ? std::optional<double>(0) : text::parseDouble(typed, true);
    if (v && std::isfinite(*v) && *v >= 0) {
        gases_[k].boundary = *v;
    } else {
        QApplication::beep();
    }
    filling_ = true;
    item->setText(boundaryText(gases_[k].boundary));
    filling_ = false;
}

namespace {

class CComponentPickerDlg : public QDialog {
  public:
    CComponentPickerDlg(const std::vector<std::string>& names, const std::string& current,
                        QWidget* parent)
        : QDialog(parent) {
        setWindowTitle(QStringLiteral("Компонент"));
        combo_ = new QComboBox(this);
        for (const std::string& n : names)
            combo_->addItem(QString::fromStdString(n));
        combo_->setCurrentIndex(combo_->findText(QString::fromStdString(current)));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(combo_);
        layout->addWidget(buttons);
    }
    std::string chosen() const { return combo_->currentText().toStdString(); }

  private:
    QComboBox* combo_ = nullptr;
};

}  // namespace

std::optional<std::string> pickDatabaseComponent(const std::string& current, QWidget* parent) {
    db::Connection* catalogue = passportCatalogue();
    if (catalogue == nullptr) {
        showMessage({parent, QMessageBox::Warning, QStringLiteral("Компонент"),
                     QStringLiteral("База данных не открыта: список компонентов недоступен.")});
        return std::nullopt;
    }
    db::CParametrSet set(*catalogue);
    if (const Status s = set.open(); !s) {
        showFailure(parent, s);
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const auto& row : set.rows)
        names.push_back(row.parametr);
    CComponentPickerDlg dlg(names, current, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.chosen();
}

std::optional<OilGasList> editOilGases(const OilGasList& gases, QWidget* parent) {
    COilGasNamesDlg dlg(gases, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.gases();
}

}  // namespace zelmora::gui
