#include "gui/calc/prirod_gase_dlg.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/paths.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "gui/calc/prirod_gase_names_dlg.h"
#include "gui/document/child_frame.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"
#include "gui/number_edit.h"
#include "gui/reports/report_wnd.h"
#include "reports/report_prirod_gase.h"

namespace zelmora::gui {
namespace {

namespace fs = std::filesystem;

QPointer<CPrirodGaseDlg> theWindow;

// Grid column widths in twips, shown at 15 twips a pixel.
constexpr int kGridWidthsTwips[] = {1600, 1000, 800, 1200};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLineEdit* resultBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setReadOnly(true);
    box->setMinimumWidth(120);
    return box;
}

std::optional<std::pair<GasComponentNames, GasConditions>> runNamesDialog(
    const GasComponentNames& names, const GasConditions& conditions, QWidget* parent) {
    CPrirodGaseNamesDlg dlg(names, conditions, parent);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return std::make_pair(dlg.names(), dlg.conditions());
}

}  // namespace

CPrirodGaseDlg::NamesEditor CPrirodGaseDlg::namesEditor = runNamesDialog;

CPrirodGaseDlg::CPrirodGaseDlg(SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(settings),
      loader_(readGasChromatogram),
      names_(GasComponentNames::load(settings)) {
    setWindowTitle(QStringLiteral("Расчёт определения параметров природных горючих газов"));

    chromatograms_ = new QTreeWidget(this);
    chromatograms_->setHeaderLabels({QStringLiteral("Файл"), QStringLiteral("Проба")});
    chromatograms_->setColumnWidth(0, 240);
    chromatograms_->setColumnWidth(1, 240);
    chromatograms_->setRootIsDecorated(false);
    chromatograms_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chromatograms_->setMinimumHeight(110);
    chromatograms_->setMaximumHeight(160);
    auto* add = new QPushButton(QStringLiteral("&Добавить"), this);
    auto* remove = new QPushButton(QStringLiteral("&Удалить"), this);
    auto* removeAll = new QPushButton(QStringLiteral("Удалить &все"), this);
    auto* open = new QPushButton(QStringLiteral("Открыть"), this);
    connect(add, &QPushButton::clicked, this, &CPrirodGaseDlg::addWithDialog);
    connect(remove, &QPushButton::clicked, this, &CPrirodGaseDlg::removeSelected);
    connect(removeAll, &QPushButton::clicked, this, &CPrirodGaseDlg::removeAll);
    connect(open, &QPushButton::clicked, this, &CPrirodGaseDlg::openSelected);
    connect(chromatograms_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem*, int) { openSelected(); });
    auto* listButtons = new QVBoxLayout;
    for (QPushButton* b : {add, remove, removeAll, open})
        listButtons->addWidget(b);
    listButtons->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(chromatograms_, 1);
    listRow->addLayout(listButtons);

    grid_ = new QTableWidget(0, 4, this);
    grid_->setHorizontalHeaderLabels({QStringLiteral("Компонент"), QStringLiteral("Об. доля %"),
                                      QStringLiteral("Расхожд."), QStringLiteral("Норматив")});
    grid_->verticalHeader()->hide();
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setWordWrap(false);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    int gridWidth = 0;
    for (int c = 0; c < 4; ++c) {
        grid_->setColumnWidth(c, kGridWidthsTwips[c] / 15);
        gridWidth += kGridWidthsTwips[c] / 15;
    }
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setMinimumWidth(gridWidth + 160);

    higherHeat_ = resultBox(this);
    lowerHeat_ = resultBox(this);
    higherWobbe_ = resultBox(this);
    lowerWobbe_ = resultBox(this);
    relativeDensity_ = resultBox(this);
    absoluteDensity_ = resultBox(this);
    auto* results = new QGroupBox(this);
    auto* form = new QGridLayout(results);
    form->addWidget(new QLabel(QStringLiteral("Высшие"), results), 0, 1, Qt::AlignHCenter);
    form->addWidget(new QLabel(QStringLiteral("Низшие"), results), 0, 2, Qt::AlignHCenter);
    form->addWidget(new QLabel(QStringLiteral("Теплота сгорания:"), results), 1, 0);
    form->addWidget(higherHeat_, 1, 1);
    form->addWidget(lowerHeat_, 1, 2);
    form->addWidget(new QLabel(QStringLiteral("Число Воббе:"), results), 2, 0);
    form->addWidget(higherWobbe_, 2, 1);
    form->addWidget(lowerWobbe_, 2, 2);
    form->addWidget(new QLabel(QStringLiteral("Относительная плотность:"), results), 3, 0);
    form->addWidget(relativeDensity_, 3, 1);
    form->addWidget(new QLabel(QStringLiteral("Абсолютная плотность:"), results), 4, 0);
    form->addWidget(absoluteDensity_, 4, 1);

    temperature_ = new QPushButton(this);
    unit_ = new QPushButton(this);
    connect(temperature_, &QPushButton::clicked, this, &CPrirodGaseDlg::toggleTemperature);
    connect(unit_, &QPushButton::clicked, this, &CPrirodGaseDlg::toggleUnit);
    water_ = new NumberEdit(0, 100, this);
    water_->setValue(0);
    water_->setMaximumWidth(80);
    connect(water_, &QLineEdit::editingFinished, this, &CPrirodGaseDlg::onWaterEdited);
    air_ = new QComboBox(this);
    air_->addItem(QString::fromUtf8(airDensityReferenceText(AirDensityReference::Gost17310)));
    air_->addItem(QString::fromUtf8(airDensityReferenceText(AirDensityReference::Gost30319)));
    connect(air_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            setAirReference(static_cast<AirDensityReference>(index));
    });
    auto* conditionsRow = new QHBoxLayout;
    conditionsRow->addWidget(temperature_);
    conditionsRow->addWidget(unit_);
    conditionsRow->addSpacing(12);
    conditionsRow->addWidget(new QLabel(QStringLiteral("Вода, об%"), this));
    conditionsRow->addWidget(water_);
    conditionsRow->addSpacing(12);
    conditionsRow->addWidget(new QLabel(QStringLiteral("Плотность воздуха по"), this));
    conditionsRow->addWidget(air_);
    conditionsRow->addStretch();

    problem_ = new QLabel(this);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    problem_->hide();

    auto* names = new QPushButton(QStringLiteral("Имена"), this);
    report_ = new QPushButton(QStringLiteral("&Отчёт"), this);
    // Enabled while chromatograms are listed and their calculation succeeded.
    report_->setEnabled(false);
    report_->setToolTip(
        QStringLiteral("Отчёт \"Расчёт свойств природного газа\" в файл RTF или PDF"));
    connect(report_, &QPushButton::clicked, this, &CPrirodGaseDlg::makeReport);
    auto* close = new QPushButton(QStringLiteral("&Закрыть"), this);
    connect(names, &QPushButton::clicked, this, &CPrirodGaseDlg::editNames);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(names);
    buttons->addStretch();
    buttons->addWidget(report_);
    buttons->addWidget(close);

    auto* right = new QVBoxLayout;
    right->addWidget(results);
    right->addLayout(conditionsRow);
    right->addWidget(problem_);
    right->addStretch();
    auto* middle = new QHBoxLayout;
    middle->addWidget(grid_, 3);
    middle->addLayout(right, 2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(listRow);
    layout->addLayout(middle, 1);
    layout->addLayout(buttons);
    resize(1040, 540);
    recalculate();
}

// A window that goes with the main window, without being closed itself,
// keeps the names too.
CPrirodGaseDlg::~CPrirodGaseDlg() {
    if (!namesSaved_)
        saveNames();
}

Status CPrirodGaseDlg::saveNames() {
    if (!names_.save(settings_))
        return Status::failure("настройки только для чтения");
    if (Status flushed = settings_.flush(); !flushed)
        return flushed;
    namesSaved_ = true;
    return {};
}

int CPrirodGaseDlg::addFiles(const std::vector<fs::path>& files) {
    int added = 0;
    QStringList failed;
    for (const fs::path& file : files) {
        Result<GasChromatogram> entry = loader_(file);
        if (!entry) {
            failed << qs(entry.message());
            continue;
        }
        list_.add(std::move(entry).value());
        ++added;
    }
    if (added > 0) {
        fillList();
        recalculate();
    }
    if (!failed.isEmpty())
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Не добавлены хроматограммы:\n") + failed.join('\n')});
    return added;
}

CReportWnd* CPrirodGaseDlg::makeReport() {
    if (!result_ || list_.empty())
        return nullptr;
    CPreview view;
    const Status loaded =
        view.loadTemplate(CReportPrirodGase::templatePath(paths::programFolder()));
    if (!loaded) {
        showFailure(this, loaded, QStringLiteral("Не удалось прочитать шаблон отчёта: %1"),
                    QMessageBox::Warning, windowTitle());
        return nullptr;
    }
    NaturalGasReportInput in;
    in.analyses = &list_.entries();
    in.result = &*result_;
    in.names = &names_;
    in.now = std::time(nullptr);
    CReportPrirodGase::fill(view, in);
    // Printed, saved as RTF or written as PDF from its window.
    return showReport(this, std::move(view.document()),
                      QString::fromUtf8(CReportPrirodGase::kTitle));
}

void CPrirodGaseDlg::addWithDialog() {
    const std::vector<fs::path> files = BrowseChromatograms(CChromatogramBrowserDlg::Open, this);
    if (!files.empty())
        addFiles(files);
}

void CPrirodGaseDlg::removeSelected() {
    const QList<QTreeWidgetItem*> chosen = chromatograms_->selectedItems();
    if (chosen.isEmpty())
        return;
    for (QTreeWidgetItem* item : chosen)
        list_.remove(fs::path(item->data(0, Qt::UserRole).toString().toStdString()));
    fillList();
    recalculate();
}

void CPrirodGaseDlg::removeAll() {
    list_.clear();
    fillList();
    recalculate();
}

void CPrirodGaseDlg::openSelected() {
    if (!opener_)
        return;
    bool opened = false;
    for (QTreeWidgetItem* item : chromatograms_->selectedItems())
        opened = opener_(fs::path(item->data(0, Qt::UserRole).toString().toStdString())) || opened;
    if (opened)
        showMinimized();
}

void CPrirodGaseDlg::toggleTemperature() {
    conditions_.temperature =
        conditions_.temperature == GasTemperature::C20 ? GasTemperature::C0 : GasTemperature::C20;
    recalculate();
}

void CPrirodGaseDlg::toggleUnit() {
    conditions_.unit = conditions_.unit == HeatUnit::MJ ? HeatUnit::Kcal : HeatUnit::MJ;
    recalculate();
}

void CPrirodGaseDlg::setWaterPercent(double percent) {
    water_->setValue(percent);
    onWaterEdited();
}

void CPrirodGaseDlg::onWaterEdited() {
    const std::optional<double> w = water_->value();
    if (!w) {
        // Not a number from 0 to 100: the range message, and the last good
        // content back in the box.
        water_->take();
        water_->setValue(conditions_.waterPercent);
        return;
    }
    if (*w == conditions_.waterPercent)
        return;
    conditions_.waterPercent = *w;
    recalculate();
}

void CPrirodGaseDlg::setAirReference(AirDensityReference ref) {
    if (air_->currentIndex() != static_cast<int>(ref)) {
        air_->setCurrentIndex(static_cast<int>(ref));  // comes back here
        return;
    }
    conditions_.air = ref;
    recalculate();
}

void CPrirodGaseDlg::editNames() {
    const auto edited = namesEditor(names_, conditions_, this);
    if (!edited)
        return;
    names_ = edited->first;
    namesSaved_ = false;
    conditions_.temperature = edited->second.temperature;
    conditions_.unit = edited->second.unit;
    recalculate();
}

QString CPrirodGaseDlg::problemText() const {
    return problem_->isHidden() ? QString() : problem_->text();
}

void CPrirodGaseDlg::fillList() {
    chromatograms_->clear();
    for (const GasChromatogram& e : list_.entries()) {
        auto* item =
            new QTreeWidgetItem(chromatograms_, {qs(e.file.filename().string()), qs(e.sample)});
        item->setData(0, Qt::UserRole, QString::fromStdString(e.file.string()));
        item->setToolTip(0, QString::fromStdString(e.file.string()));
    }
}

void CPrirodGaseDlg::recalculate() {
    Result<NaturalGasResult> r = computeNaturalGas(list_.entries(), names_, conditions_);
    if (r) {
        result_ = std::move(r).value();
        problem_->hide();
        problem_->clear();
    } else {
        result_.reset();
        problem_->setText(qs(r.message()));
        problem_->show();
    }
    fillResults();
}

void CPrirodGaseDlg::fillResults() {
    const HeatUnit u = conditions_.unit;
    temperature_->setText(qs(temperatureText(conditions_.temperature)));
    unit_->setText(qs(unitText(u)));
    grid_->setRowCount(0);
    for (QLineEdit* box :
         {higherHeat_, lowerHeat_, higherWobbe_, lowerWobbe_, relativeDensity_, absoluteDensity_})
        box->clear();
    report_->setEnabled(result_.has_value() && !list_.empty());
    if (!result_)
        return;
    const std::vector<GasCompositionRow> rows = compositionRows(*result_, names_);
    grid_->setRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const GasCompositionRow& row = rows[static_cast<std::size_t>(i)];
        grid_->setItem(i, 0, new QTableWidgetItem(qs(row.name)));
        grid_->setItem(i, 1, new QTableWidgetItem(qs(row.percent)));
        grid_->setItem(i, 2, new QTableWidgetItem(qs(row.range)));
        grid_->setItem(i, 3, new QTableWidgetItem(qs(row.verdict)));
        for (int c = 1; c < 3; ++c)
            grid_->item(i, c)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    // The set widths, or wider where the texts need it.
    grid_->resizeColumnsToContents();
    for (int c = 0; c < 4; ++c)
        grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), kGridWidthsTwips[c] / 15));
    higherHeat_->setText(qs(formatHeat(result_->higherHeat, u)));
    lowerHeat_->setText(qs(formatHeat(result_->lowerHeat, u)));
    higherWobbe_->setText(qs(formatHeat(result_->higherWobbe, u)));
    lowerWobbe_->setText(qs(formatHeat(result_->lowerWobbe, u)));
    relativeDensity_->setText(qs(formatRelativeDensity(result_->relativeDensity)));
    absoluteDensity_->setText(qs(formatAbsoluteDensity(result_->absoluteDensity)));
}

void CPrirodGaseDlg::closeEvent(QCloseEvent* event) {
    if (const Status s = saveNames(); !s)
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Не удалось сохранить имена компонентов: ") + qs(s.message())});
    QWidget::closeEvent(event);
}

CPrirodGaseDlg* naturalGasWindow() {
    return theWindow;
}

CPrirodGaseDlg* ShowNaturalGasWindow(QWidget* mainWindow) {
    if (theWindow) {
        if (theWindow->isMinimized())
            theWindow->showNormal();
        theWindow->show();
        theWindow->raise();
        theWindow->activateWindow();
        return theWindow;
    }
    auto* window = new CPrirodGaseDlg(userSettings(), mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* frame = qobject_cast<CMainFrame*>(mainWindow)) {
        QPointer<CMainFrame> guard(frame);
        // A chromatogram open in a window is taken as it is there, unsaved
        // changes included.
        window->setLoader([guard](const fs::path& file) -> Result<GasChromatogram> {
            if (const CZelmoraDoc* open = guard ? guard->openDocumentOf(file) : nullptr)
                return gasChromatogramOf(*open, file);
            return readGasChromatogram(file);
        });
        window->setOpener([guard](const fs::path& file) {
            return guard && guard->openDocument(file) != nullptr;
        });
    }
    theWindow = window;
    window->show();
    return window;
}

}  // namespace zelmora::gui
