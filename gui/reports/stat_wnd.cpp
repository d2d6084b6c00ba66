#include "gui/reports/stat_wnd.h"

#include <QCloseEvent>
#include <QGridLayout>
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
#include "gui/document/child_frame.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"
#include "gui/reports/detection_limit_dlg.h"
#include "gui/reports/report_wnd.h"
#include "reports/report_stat.h"

namespace zelmora::gui {
namespace {

namespace fs = std::filesystem;

QPointer<CStatWnd> theWindow;

constexpr const char* kCoefficientValue = "Kacp";

// Column widths in twips, shown at 15 twips a pixel: 1500 for the name,
// 1000 or 1200 for the others.
constexpr int kWidthsTwips[12] = {1500, 1000, 1000, 1000, 1000, 1200,
                                  1000, 1200, 1200, 1200, 1000, 1000};
// The two header lines: the quantities (string 104) and their units (105).
constexpr const char* kHeaders[12] = {
    "Компонент",   "Ср. время",    "ОСКО времени",     "Ср. высота",        "ОСКО  высоты",
    "Ср. площадь", "ОСКО площади", "Ср. концентрация", "ОСКО концентрации", "Предел детектирования",
    "Ср. индекс",  "ОСКО индексов"};
constexpr const char* kUnits[12] = {"", "мин", "%", "мВ", "%", "мВ·мин", "%", "", "%", "", "", "%"};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

CStatWnd::CStatWnd(SettingsStore& settings, QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(settings),
      loader_([](const fs::path& file) { return readStatEntry(file, programOptions()); }),
      limitEditor_(&CDetectionLimitDlg::edit),
      dataFolder_(programOptions().chromatogramFolder()) {
    setWindowTitle(QStringLiteral("Статистическая обработка"));
    coefficientText_ = qs(settings_.readString(kRootKey, kCoefficientValue, ""));

    chromatograms_ = new QTreeWidget(this);
    chromatograms_->setHeaderLabels({QStringLiteral("Файл"), QStringLiteral("Проба")});
    chromatograms_->setColumnWidth(0, 250);
    chromatograms_->setColumnWidth(1, 180);
    chromatograms_->setRootIsDecorated(false);
    chromatograms_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chromatograms_->setMinimumHeight(110);
    chromatograms_->setMaximumHeight(170);
    connect(chromatograms_, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                if (item != nullptr)
                    setCurrentRow(chromatograms_->indexOfTopLevelItem(item));
            });
    connect(chromatograms_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem*, int) { openSelected(); });
    auto* add = new QPushButton(QStringLiteral("&Добавить"), this);
    auto* remove = new QPushButton(QStringLiteral("&Удалить"), this);
    auto* removeAll = new QPushButton(QStringLiteral("Удалить &все"), this);
    auto* open = new QPushButton(QStringLiteral("Открыть"), this);
    connect(add, &QPushButton::clicked, this, &CStatWnd::addWithDialog);
    connect(remove, &QPushButton::clicked, this, &CStatWnd::removeSelected);
    connect(removeAll, &QPushButton::clicked, this, &CStatWnd::removeAll);
    connect(open, &QPushButton::clicked, this, &CStatWnd::openSelected);
    auto* listButtons = new QVBoxLayout;
    for (QPushButton* b : {add, remove, removeAll, open})
        listButtons->addWidget(b);
    listButtons->addStretch();

    zeroLine_ = new QLineEdit(this);
    zeroLine_->setReadOnly(true);
    zeroLine_->setPlaceholderText(QStringLiteral("нет: шум и дрейф текущей хроматограммы"));
    auto* chooseZero = new QPushButton(QStringLiteral(". . ."), this);
    chooseZero->setToolTip(QStringLiteral("Выбрать хроматограмму нулевой линии"));
    connect(chooseZero, &QPushButton::clicked, this, &CStatWnd::chooseZeroLine);
    auto* clearZero = new QPushButton(QStringLiteral("Нет"), this);
    clearZero->setToolTip(QStringLiteral("Без нулевой линии"));
    connect(clearZero, &QPushButton::clicked, this, [this] { setZeroLine({}); });
    coefficient_ = new QLineEdit(coefficientText_, this);
    coefficient_->setToolTip(
        QStringLiteral("Коэффициент преобразования детектора, например \"0.5 мкг/мВ\""));
    connect(coefficient_, &QLineEdit::editingFinished, this,
            [this] { setCoefficient(coefficient_->text()); });
    noise_ = new QLineEdit(this);
    noise_->setReadOnly(true);
    drift_ = new QLineEdit(this);
    drift_->setReadOnly(true);
    auto* values = new QGridLayout;
    values->addWidget(new QLabel(QStringLiteral("Нулевая линия:"), this), 0, 0);
    auto* zeroRow = new QHBoxLayout;
    zeroRow->addWidget(zeroLine_, 1);
    zeroRow->addWidget(chooseZero);
    zeroRow->addWidget(clearZero);
    values->addLayout(zeroRow, 0, 1);
    values->addWidget(new QLabel(QStringLiteral("K ацп:"), this), 1, 0);
    values->addWidget(coefficient_, 1, 1);
    values->addWidget(new QLabel(QStringLiteral("Шум:"), this), 2, 0);
    values->addWidget(noise_, 2, 1);
    values->addWidget(new QLabel(QStringLiteral("Дрейф:"), this), 3, 0);
    values->addWidget(drift_, 3, 1);
    auto* right = new QVBoxLayout;
    right->addLayout(values);
    right->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(chromatograms_, 3);
    top->addLayout(listButtons);
    top->addLayout(right, 2);

    grid_ = new QTableWidget(0, 12, this);
    QStringList headers;
    for (int c = 0; c < 12; ++c)
        headers << QString::fromUtf8(kHeaders[c]) + QLatin1Char('\n') +
                       QString::fromUtf8(kUnits[c]);
    grid_->setHorizontalHeaderLabels(headers);
    grid_->verticalHeader()->hide();
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::MultiSelection);
    grid_->setWordWrap(false);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    for (int c = 0; c < 12; ++c)
        grid_->setColumnWidth(c, kWidthsTwips[c] / 15);
    grid_->horizontalHeader()->setStretchLastSection(true);
    grid_->setMinimumWidth(900);

    auto* recomputeButton = new QPushButton(QStringLiteral("&Перерасчёт"), this);
    connect(recomputeButton, &QPushButton::clicked, this, &CStatWnd::recompute);
    auto* limits = new QPushButton(QStringLiteral("Предел детектирования"), this);
    connect(limits, &QPushButton::clicked, this, &CStatWnd::editLimits);
    report_ = new QPushButton(QStringLiteral("&Отчёт"), this);
    report_->setToolTip(QStringLiteral("Отчёт поверки прибора по выделенным компонентам"));
    connect(report_, &QPushButton::clicked, this, &CStatWnd::makeReport);
    auto* close = new QPushButton(QStringLiteral("&Закрыть"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(recomputeButton);
    buttons->addWidget(limits);
    buttons->addStretch();
    buttons->addWidget(report_);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(buttons);
    resize(1300, 560);
    calculate();
}

CStatWnd::~CStatWnd() {
    if (!coefficientSaved_)
        saveCoefficient();
}

void CStatWnd::saveCoefficient() {
    if (settings_.setString(kRootKey, kCoefficientValue, coefficientText_.toStdString()) &&
        settings_.flush())
        coefficientSaved_ = true;
}

void CStatWnd::closeEvent(QCloseEvent* event) {
    saveCoefficient();
    if (!coefficientSaved_)
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Не удалось сохранить коэффициент \"K ацп\".")});
    QWidget::closeEvent(event);
}

std::optional<StatEntry> CStatWnd::load(const fs::path& file, QStringList& failed) {
    Result<StatEntry> entry = loader_(file);
    if (!entry) {
        failed << qs(entry.message());
        return std::nullopt;
    }
    StatEntry e = std::move(entry).value();
    e.file = file;
    e.listPath = statListPath(file, dataFolder_);
    return e;
}

int CStatWnd::addFiles(const std::vector<fs::path>& files) {
    int added = 0;
    QStringList failed;
    for (const fs::path& file : files) {
        std::optional<StatEntry> e = load(file, failed);
        if (!e)
            continue;
        list_.add(std::move(*e));
        ++added;
    }
    if (added > 0) {
        // The reference stays what it was; with none, the first of the list.
        if (!current())
            currentPath_ = list_.entries().front().listPath;
        fillList();
        calculate();
    }
    if (!failed.isEmpty())
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Не добавлены хроматограммы:\n") + failed.join('\n')});
    return added;
}

void CStatWnd::addWithDialog() {
    const std::vector<fs::path> files = BrowseChromatograms(CChromatogramBrowserDlg::Open, this);
    if (!files.empty())
        addFiles(files);
}

void CStatWnd::removeSelected() {
    const QList<QTreeWidgetItem*> chosen = chromatograms_->selectedItems();
    if (chosen.isEmpty())
        return;
    for (QTreeWidgetItem* item : chosen)
        list_.remove(item->data(0, Qt::UserRole).toString().toStdString());
    if (!current())
        currentPath_ = list_.empty() ? std::string() : list_.entries().front().listPath;
    fillList();
    calculate();
}

void CStatWnd::removeAll() {
    list_.clear();
    currentPath_.clear();
    fillList();
    calculate();
}

void CStatWnd::openSelected() {
    if (!opener_)
        return;
    bool opened = false;
    for (QTreeWidgetItem* item : chromatograms_->selectedItems()) {
        const auto i = list_.indexOf(item->data(0, Qt::UserRole).toString().toStdString());
        if (i)
            opened = opener_(list_.entries()[*i].file) || opened;
    }
    if (opened)
        showMinimized();
}

bool CStatWnd::setZeroLine(const fs::path& file) {
    if (file.empty()) {
        zeroEntry_.reset();
        zeroLine_->clear();
        calculate();
        return true;
    }
    QStringList failed;
    std::optional<StatEntry> e = load(file, failed);
    if (!e) {
        showMessage({this, QMessageBox::Warning, windowTitle(), failed.join('\n')});
        return false;
    }
    zeroLine_->setText(qs(e->listPath));
    zeroEntry_ = std::move(e);
    calculate();
    return true;
}

void CStatWnd::chooseZeroLine() {
    const std::vector<fs::path> files = BrowseChromatograms(CChromatogramBrowserDlg::Open, this);
    if (!files.empty())
        setZeroLine(files.front());
}

void CStatWnd::setCoefficient(const QString& text) {
    if (coefficient_->text() != text)
        coefficient_->setText(text);
    if (text == coefficientText_)
        return;
    coefficientText_ = text;
    coefficientSaved_ = false;
    calculate();
}

void CStatWnd::setCurrentRow(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= list_.size())
        return;
    const std::string& path = list_.entries()[static_cast<std::size_t>(row)].listPath;
    if (path == currentPath_)
        return;
    currentPath_ = path;
    if (chromatograms_->indexOfTopLevelItem(chromatograms_->currentItem()) != row)
        chromatograms_->setCurrentItem(chromatograms_->topLevelItem(row));
    calculate();
}

void CStatWnd::recompute() {
    // Every file read again; one that no longer reads leaves the list.
    QStringList failed;
    StatEntryList fresh;
    for (const StatEntry& old : list_.entries())
        if (std::optional<StatEntry> e = load(old.file, failed))
            fresh.add(std::move(*e));
    list_ = std::move(fresh);
    if (zeroEntry_) {
        if (std::optional<StatEntry> e = load(zeroEntry_->file, failed))
            zeroEntry_ = std::move(e);
        else {
            zeroEntry_.reset();
            zeroLine_->clear();
        }
    }
    if (!current())
        currentPath_ = list_.empty() ? std::string() : list_.entries().front().listPath;
    fillList();
    calculate();
    if (!failed.isEmpty())
        showMessage({this, QMessageBox::Warning, windowTitle(),
                     QStringLiteral("Убраны из списка хроматограммы, которые не читаются:\n") +
                         failed.join('\n')});
}

void CStatWnd::editLimits() {
    if (limitEditor_ && limitEditor_(this))
        calculate();
}

void CStatWnd::fillList() {
    const QSignalBlocker block(chromatograms_);
    chromatograms_->clear();
    for (std::size_t i = 0; i < list_.size(); ++i) {
        const StatEntry& e = list_.entries()[i];
        auto* item = new QTreeWidgetItem(chromatograms_, {qs(e.listPath), qs(e.sample)});
        item->setData(0, Qt::UserRole, qs(e.listPath));
        item->setToolTip(0, qs(e.file.string()));
    }
    if (const std::optional<std::size_t> c = current())
        chromatograms_->setCurrentItem(chromatograms_->topLevelItem(static_cast<int>(*c)));
}

void CStatWnd::calculate() {
    const ProgramOptions o = programOptions();
    stats_ = computeStatistics(list_.entries(), current(), zeroEntry_ ? &*zeroEntry_ : nullptr, o);
    const ConvertedNoise c =
        convertNoise(coefficientText_.toStdString(), stats_.noise, stats_.drift);
    noise_->setText(qs(noiseText(stats_.noise, c)));
    drift_->setText(qs(driftText(stats_.drift, c)));
    fillGrid();
}

void CStatWnd::fillGrid() {
    const ProgramOptions o = programOptions();
    grid_->clearSelection();
    grid_->setRowCount(static_cast<int>(stats_.components.size()));
    for (int i = 0; i < grid_->rowCount(); ++i) {
        const ComponentStatistics& c = stats_.components[static_cast<std::size_t>(i)];
        const std::string cells[12] = {
            c.name,
            text::format("%.3f", c.meanTime),
            CReportStat::rsdText(c.rsdTime, -1, o),
            FormatValue(c.meanHeight, 1, o),
            CReportStat::rsdText(c.rsdHeight, 1, o),
            FormatValue(c.meanArea, 2, o),
            CReportStat::rsdText(c.rsdArea, 2, o),
            FormatValue(c.meanConcentration, 0, o),
            CReportStat::rsdText(c.rsdConcentration, 0, o),
            detectionLimitText(c.detectionLimit, o),
            c.indexCount > 0 ? text::format("%.2f", c.meanIndex) : std::string("—"),
            c.rsdIndex ? text::format("%.2f", *c.rsdIndex) : std::string("—"),
        };
        for (int col = 0; col < 12; ++col) {
            auto* item = new QTableWidgetItem(qs(cells[col]));
            if (col > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid_->setItem(i, col, item);
        }
        if (c.peakCount < 2)
            grid_->item(i, 0)->setToolTip(
                QStringLiteral("Компонент найден в одной хроматограмме: ОСКО не определено"));
    }
    // The set widths, or wider where the texts and titles need it.
    grid_->resizeColumnsToContents();
    for (int c = 0; c < 12; ++c)
        grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), kWidthsTwips[c] / 15));
    // Every row chosen for the report after each fill.
    grid_->selectAll();
    report_->setEnabled(grid_->rowCount() > 0);
}

rtf::RtfDocument CStatWnd::buildReport() const {
    CPreview view;
    const Status loaded = view.loadTemplate(CReportStat::templatePath(paths::programFolder()));
    if (!loaded)
        return view.document();
    StatReportInput in;
    in.entries = &list_.entries();
    in.current = current();
    for (int row = 0; row < grid_->rowCount(); ++row)
        if (grid_->item(row, 0) != nullptr && grid_->item(row, 0)->isSelected())
            in.components.push_back(&stats_.components[static_cast<std::size_t>(row)]);
    in.noise = noise_->text().toStdString();
    in.drift = drift_->text().toStdString();
    in.options = programOptions();
    in.now = std::time(nullptr);
    CReportStat::fill(view, in);
    return view.document();
}

bool CStatWnd::makeReport() {
    if (grid_->rowCount() == 0)
        return false;
    CPreview probe;
    const Status loaded = probe.loadTemplate(CReportStat::templatePath(paths::programFolder()));
    if (!loaded) {
        showFailure(this, loaded, QStringLiteral("Не удалось прочитать шаблон отчёта: %1"),
                    QMessageBox::Warning, windowTitle());
        return false;
    }
    // The report window prints it, pages through it and saves it as RTF or PDF.
    return showReport(this, buildReport(), QString::fromUtf8(CReportStat::kTitle)) != nullptr;
}

CStatWnd* statisticsWindow() {
    return theWindow;
}

CStatWnd* ShowStatisticsWindow(QWidget* mainWindow) {
    if (theWindow) {
        if (theWindow->isMinimized())
            theWindow->showNormal();
        theWindow->show();
        theWindow->raise();
        theWindow->activateWindow();
        return theWindow;
    }
    auto* window = new CStatWnd(userSettings(), mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* frame = qobject_cast<CMainFrame*>(mainWindow)) {
        QPointer<CMainFrame> guard(frame);
        // A chromatogram open in a window is taken as it is there, unsaved
        // changes included.
        window->setLoader([guard](const fs::path& file) -> Result<StatEntry> {
            if (const CZelmoraDoc* open = guard ? guard->openDocumentOf(file) : nullptr)
                return statEntryOf(*open, file, programOptions());
            return readStatEntry(file, programOptions());
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
