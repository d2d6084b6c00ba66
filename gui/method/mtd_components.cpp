#include "gui/method/mtd_components.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/text.h"
#include "database/recordsets.h"
#include "gui/document/passport_dlg.h"
#include "gui/method/calibration_dlg.h"
#include "gui/method/modal_runner.h"
#include "gui/number_edit.h"
#include "method/method_editing.h"
#include "processing/calibration.h"

namespace zelmora::gui {
namespace {

QComboBox* comboOf(std::initializer_list<const char*> texts, QWidget* parent) {
    auto* c = new QComboBox(parent);
    for (const char* t : texts)
        c->addItem(QString::fromUtf8(t));
    return c;
}

void select(QComboBox* c, int index) {
    c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
}

QString cellText(int column, const MethodComponent& c, int row) {
    switch (column) {
        case CMtdComponents::kNumber:
            return QString::number(row + 1);
        case CMtdComponents::kName:
            return QString::fromStdString(c.name);
        case CMtdComponents::kTime:
            return QString::fromStdString(text::format("%.4g", c.retentionTime));
        case CMtdComponents::kWindow:
            return QString::fromStdString(text::format("%g", c.window));
        case CMtdComponents::kReference:
            return c.reference ? QStringLiteral("Да") : QStringLiteral("Нет");
        default:
            return QString::fromStdString(text::format("%g", c.retentionIndex));
    }
}

}  // namespace

QStringList databaseComponentNames() {
    QStringList names;
    if (db::Connection* catalogue = passportCatalogue()) {
        db::CParametrSet set(*catalogue);
        if (set.open())
            for (const db::CParametrSet::Row& r : set.rows)
                names << QString::fromStdString(r.parametr);
    }
    return names;
}

std::optional<QString> askComponentName(const QString& current, const QStringList& names,
                                        QWidget* parent) {
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Компонент"));
    auto* layout = new QVBoxLayout(&dlg);
    auto* list = new QComboBox(&dlg);
    list->setEditable(true);
    list->addItems(names);
    list->setEditText(current);
    list->setObjectName(QStringLiteral("componentName"));
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    if (runModal(dlg) != QDialog::Accepted)
        return std::nullopt;
    return list->currentText().trimmed();
}

CMtdComponents::CMtdComponents(CalculationSettings& settings, const std::string& methodName,
                               QWidget* parent)
    : QWidget(parent), settings_(settings), methodName_(methodName) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    kind_ = new QComboBox(this);
    for (int k = 0; k < kCalculationKinds; ++k)
        kind_->addItem(QString::fromUtf8(calculationKindName(k)));
    response_ = comboOf({"Высота", "Площадь"}, this);
    standard_ = new QComboBox(this);
    referenceId_ = comboOf({"Высоте", "Площади", "Времени", "Номеру"}, this);
    identification_ = comboOf({"времени", "линейным индексам", "логарифмическим индексам"}, this);
    top->addWidget(new QLabel(QStringLiteral("Метод расчёта"), this), 0, 0);
    top->addWidget(kind_, 0, 1, 1, 3);
    top->addWidget(new QLabel(QStringLiteral("Отклик"), this), 1, 0);
    top->addWidget(response_, 1, 1);
    top->addWidget(new QLabel(QStringLiteral("Стандарт"), this), 1, 2);
    top->addWidget(standard_, 1, 3);
    top->addWidget(new QLabel(QStringLiteral("Идентификация реперных по"), this), 2, 0);
    top->addWidget(referenceId_, 2, 1);
    top->addWidget(new QLabel(QStringLiteral("Идентификация по"), this), 2, 2);
    top->addWidget(identification_, 2, 3);
    mainByDifference_ =
        new QCheckBox(QStringLiteral("Вычислять основное вещество как 100 - примеси"), this);
    top->addWidget(mainByDifference_, 3, 0, 1, 2);
    top->addWidget(new QLabel(QStringLiteral("Основное вещество"), this), 3, 2);
    mainSubstance_ = new QLineEdit(this);
    top->addWidget(mainSubstance_, 3, 3);
    top->addWidget(new QLabel(QStringLiteral("Тм"), this), 4, 2);
    deadTime_ = new NumberEdit(0, 1e10, this);
    top->addWidget(deadTime_, 4, 3);
    top->setColumnStretch(1, 1);
    top->setColumnStretch(3, 1);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    table_ = new QTableWidget(0, kColumnCount, this);
    table_->setHorizontalHeaderLabels(
        QStringLiteral("N\tНазвание\tВремя, мин\tОкно\tРепер\tИндекс").split(u'\t'));
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    table_->setColumnWidth(kNumber, 32);
    middle->addWidget(table_, 1);
    auto* buttons = new QVBoxLayout;
    add_ = new QPushButton(QStringLiteral("&Добавить"), this);
    delete_ = new QPushButton(QStringLiteral("&Удалить"), this);
    deleteAll_ = new QPushButton(QStringLiteral("Удалить &все"), this);
    calibrate_ = new QPushButton(QStringLiteral("&Калибровка"), this);
    for (QPushButton* b : {add_, delete_, deleteAll_, calibrate_})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(new QLabel(QStringLiteral("Калибровочных\nхроматограмм"), this));
    levels_ = new QLineEdit(this);
    levels_->setReadOnly(true);
    buttons->addWidget(levels_);
    middle->addLayout(buttons);
    layout->addLayout(middle, 1);

    select(kind_, settings.kind);
    select(response_, settings.response);
    select(referenceId_, settings.referenceIdentification);
    select(identification_, settings.identification);
    mainByDifference_->setChecked(settings.mainByDifference);
    mainSubstance_->setText(QString::fromStdString(settings.mainSubstance));
    deadTime_->setValue(settings.deadTime);

    askName = [this](const QString& current) {
        return askComponentName(current, databaseComponentNames(), window());
    };
    calibrate = [this](CalculationSettings& s, int component) {
        CCalibrationDlg dlg(s, component, window());
        runModal(dlg);
    };

    fill();

    connect(kind_, &QComboBox::currentIndexChanged, this, [this] { refit(); });
    connect(response_, &QComboBox::currentIndexChanged, this, [this] { refit(); });
    connect(standard_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_)
            refit();
    });
    connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_)
            editCell(item->row(), item->column(), item->text());
    });
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
        if (column == kName && askName)
            if (std::optional<QString> name = askName(table_->item(row, kName)->text()))
                renameComponent(row, *name);
    });
    connect(table_, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column == kReference)
            toggleReference(row);
    });
    connect(table_, &QTableWidget::currentCellChanged, this, [this] { updateEnabling(); });
    connect(add_, &QPushButton::clicked, this, &CMtdComponents::addComponent);
    connect(delete_, &QPushButton::clicked, this, &CMtdComponents::deleteCurrent);
    connect(deleteAll_, &QPushButton::clicked, this, &CMtdComponents::deleteAll);
    connect(calibrate_, &QPushButton::clicked, this, &CMtdComponents::openCalibration);
}

void CMtdComponents::activated() {
    sortComponentsByTime(settings_);
    fill();
}

void CMtdComponents::fillStandards() {
    const QSignalBlocker block(standard_);
    standard_->clear();
    standard_->addItem(QString());
    for (const MethodComponent& c : settings_.components)
        standard_->addItem(QString::fromStdString(c.name));
    const int at = standard_->findText(QString::fromStdString(settings_.standard));
    if (at >= 0) {
        standard_->setCurrentIndex(at);
    } else {
        // A standard the table no longer has is still the method's choice.
        standard_->addItem(QString::fromStdString(settings_.standard));
        standard_->setCurrentIndex(standard_->count() - 1);
    }
}

void CMtdComponents::fill() {
    filling_ = true;
    const int row = table_->currentRow();
    table_->setRowCount(static_cast<int>(settings_.components.size()));
    for (int r = 0; r < int(settings_.components.size()); ++r)
        for (int col = 0; col < kColumnCount; ++col) {
            auto* item = new QTableWidgetItem(cellText(col, settings_.components[r], r));
            if (col != kTime && col != kWindow && col != kIndex)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            table_->setItem(r, col, item);
        }
    // The first component is current until the operator picks another.
    if (table_->rowCount() > 0)
        table_->setCurrentCell(std::clamp(row, 0, table_->rowCount() - 1),
                               table_->currentColumn() >= 0 ? table_->currentColumn() : 0);
    fillStandards();
    levels_->setText(QString::number(levelCount(settings_)));
    filling_ = false;
    updateEnabling();
}

void CMtdComponents::updateEnabling() {
    const int kind = kind_->currentIndex();
    const bool any = !settings_.components.empty();
    standard_->setEnabled(usesStandard(kind));
    referenceId_->setEnabled(hasReferenceComponent(settings_));
    delete_->setEnabled(any);
    deleteAll_->setEnabled(any);
    const int row = table_->currentRow();
    calibrate_->setEnabled(calibrationApplies(kind) && row >= 0 &&
                           row < int(settings_.components.size()));
}

void CMtdComponents::takeCombos() {
    if (kind_->currentIndex() >= 0)
        settings_.kind = kind_->currentIndex();
    if (response_->currentIndex() >= 0)
        settings_.response = response_->currentIndex();
    settings_.standard = standard_->currentText().toStdString();
    if (referenceId_->currentIndex() >= 0)
        settings_.referenceIdentification = referenceId_->currentIndex();
    if (identification_->currentIndex() >= 0)
        settings_.identification = identification_->currentIndex();
    settings_.mainByDifference = mainByDifference_->isChecked();
    settings_.mainSubstance = mainSubstance_->text().toStdString();
}

void CMtdComponents::refit() {
    takeCombos();
    FitAllComponents(settings_);
    fill();
}

bool CMtdComponents::takeValues() {
    const std::optional<double> dead = deadTime_->take();
    if (!dead)
        return false;
    takeCombos();
    settings_.deadTime = *dead;
    return true;
}

bool CMtdComponents::editCell(int row, int column, const QString& text) {
    if (row < 0 || row >= int(settings_.components.size()))
        return false;
    MethodComponent& c = settings_.components[row];
    const std::optional<double> v = parseTableNumber(text.toStdString());
    double* field = column == kTime     ? &c.retentionTime
                    : column == kWindow ? &c.window
                    : column == kIndex  ? &c.retentionIndex
                                        : nullptr;
    if (field != nullptr && v)
        *field = *v;
    else
        QApplication::beep();
    filling_ = true;
    table_->item(row, column)->setText(cellText(column, c, row));
    filling_ = false;
    return field != nullptr && v;
}

bool CMtdComponents::renameComponent(int row, const QString& name) {
    if (row < 0 || !zelmora::renameComponent(settings_, static_cast<std::size_t>(row),
                                             name.trimmed().toStdString())) {
        QApplication::beep();
        return false;
    }
    fill();
    return true;
}

void CMtdComponents::toggleReference(int row) {
    if (row < 0 || row >= int(settings_.components.size()))
        return;
    settings_.components[row].reference = !settings_.components[row].reference;
    fill();
}

void CMtdComponents::addComponent() {
    const std::size_t added = zelmora::addComponent(settings_);
    fill();
    table_->setCurrentCell(static_cast<int>(added), kName);
    table_->setFocus();
}

bool CMtdComponents::deleteCurrent() {
    const int row = table_->currentRow();
    if (row < 0 || !deleteComponent(settings_, static_cast<std::size_t>(row), methodName_))
        return false;
    fill();
    return true;
}

bool CMtdComponents::deleteAll() {
    if (!deleteAllComponents(settings_, methodName_))
        return false;
    fill();
    return true;
}

bool CMtdComponents::openCalibration() {
    const int row = table_->currentRow();
    if (!calibrationApplies(kind_->currentIndex()) || row < 0 ||
        row >= int(settings_.components.size()) || !takeValues())
        return false;
    if (calibrate)
        calibrate(settings_, row);
    fill();
    return true;
}

}  // namespace zelmora::gui
