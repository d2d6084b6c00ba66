#include "gui/calc/prirod_gase_names_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/text.h"
#include "gui/message_box.h"

namespace zelmora::gui {
namespace {

enum Column { kName, kFormula, kLabName, kHigher, kLower, kDensity, kLimit, kColumns };

// Widths of the grid's columns in twips, shown at 15 twips a pixel.
constexpr int kWidthsTwips[kColumns] = {1600, 900, 1600, 700, 700, 800, 800};

QTableWidgetItem* fixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

}  // namespace

CPrirodGaseNamesDlg::CPrirodGaseNamesDlg(const GasComponentNames& names,
                                         const GasConditions& conditions, QWidget* parent)
    : QDialog(parent), names_(names), conditions_(conditions) {
    setWindowTitle(QStringLiteral("Имена"));
    grid_ = new QTableWidget(static_cast<int>(kGasComponentCount), kColumns, this);
    grid_->setHorizontalHeaderLabels({QStringLiteral("Компонент"), QStringLiteral("Формула"),
                                      QStringLiteral("Имя"), QStringLiteral("Q высш"),
                                      QStringLiteral("Q низш"), QStringLiteral("Отн.Плотн."),
                                      QStringLiteral("Пред.повтор.")});
    grid_->verticalHeader()->hide();
    grid_->setWordWrap(false);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    for (int i = 0; i < static_cast<int>(kGasComponentCount); ++i) {
        const auto k = static_cast<std::size_t>(i);
        grid_->setItem(i, kName, fixedItem(QString::fromUtf8(kGasComponents[k].name)));
        grid_->setItem(i, kFormula, fixedItem(QString::fromUtf8(kGasComponents[k].formula)));
        grid_->setItem(i, kLabName, new QTableWidgetItem(QString::fromStdString(names_.names[k])));
        grid_->setItem(
            i, kLimit,
            new QTableWidgetItem(QString::fromStdString(text::format("%.4f", names_.limits[k]))));
    }

    temperature_ = new QPushButton(this);
    unit_ = new QPushButton(this);
    connect(temperature_, &QPushButton::clicked, this, [this] {
        conditions_.temperature = conditions_.temperature == GasTemperature::C20
                                      ? GasTemperature::C0
                                      : GasTemperature::C20;
        fillConstants();
    });
    connect(unit_, &QPushButton::clicked, this, [this] {
        conditions_.unit = conditions_.unit == HeatUnit::MJ ? HeatUnit::Kcal : HeatUnit::MJ;
        fillConstants();
    });
    fillConstants();
    // The set widths, or wider where the texts need it.
    grid_->resizeColumnsToContents();
    int width = 0;
    for (int c = 0; c < kColumns; ++c) {
        grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), kWidthsTwips[c] / 15));
        width += grid_->columnWidth(c);
    }
    grid_->setMinimumWidth(width + 24);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CPrirodGaseNamesDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CPrirodGaseNamesDlg::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(temperature_);
    bottom->addWidget(unit_);
    bottom->addStretch();
    bottom->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_);
    layout->addLayout(bottom);
    resize(width + 48, grid_->verticalHeader()->defaultSectionSize() * 23 + 90);
}

void CPrirodGaseNamesDlg::fillConstants() {
    const GasTemperature t = conditions_.temperature;
    const HeatUnit u = conditions_.unit;
    temperature_->setText(QString::fromStdString(temperatureText(t)));
    unit_->setText(QString::fromStdString(unitText(u)));
    for (int i = 0; i < static_cast<int>(kGasComponentCount); ++i) {
        const GasComponentConstants& k = kGasComponents[static_cast<std::size_t>(i)];
        grid_->setItem(
            i, kHigher,
            fixedItem(QString::fromStdString(formatHeatConstant(higherHeatOf(k, t, u), u))));
        grid_->setItem(
            i, kLower,
            fixedItem(QString::fromStdString(formatHeatConstant(lowerHeatOf(k, t, u), u))));
        grid_->setItem(
            i, kDensity,
            fixedItem(QString::fromStdString(text::format("%.4f", relativeDensityOf(k, t)))));
    }
}

void CPrirodGaseNamesDlg::accept() {
    GasComponentNames edited;
    for (int i = 0; i < static_cast<int>(kGasComponentCount); ++i) {
        const auto k = static_cast<std::size_t>(i);
        edited.names[k] = std::string(text::trim(grid_->item(i, kLabName)->text().toStdString()));
        const std::optional<double> r =
            text::parseDouble(grid_->item(i, kLimit)->text().toStdString(), true);
        edited.limits[k] = r ? *r : -1;
    }
    if (const Status s = edited.validate(); !s) {
        showMessage({this, QMessageBox::Warning, QStringLiteral("Имена"),
                     QString::fromStdString(s.message())});
        return;
    }
    names_ = edited;
    QDialog::accept();
}

}  // namespace zelmora::gui
