#include "gui/calc/combine_tables_dlg.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/paths.h"
#include "app/text.h"
#include "calc/et_file.h"
#include "document/zelmora_doc.h"
#include "gui/document/child_frame.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/file_dialogs.h"
#include "gui/main_frame.h"
#include "gui/message_box.h"

namespace zelmora::gui {
namespace {

namespace fs = std::filesystem;

const QString kSourceTitle = QStringLiteral("Исходная таблица: нет...");
const QString kManualTitle =
    QStringLiteral("Рукописный ввод (постоянные газы, объемные концентрации)");
const QString kResultTitle = QStringLiteral("Итоговая таблица: нет...");
const QString kTableFilter = QStringLiteral("Файлы таблиц (*.et)");

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QTableWidget* makeGrid(QWidget* parent, bool editable) {
    auto* grid = new QTableWidget(0, static_cast<int>(kCompColumns), parent);
    grid->setHorizontalHeaderLabels(QString::fromUtf8(kCompositionHeader).split('\t'));
    grid->verticalHeader()->hide();
    grid->setWordWrap(false);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->setColumnWidth(kCompN, 36);
    grid->setColumnWidth(kCompComponent, 150);
    if (!editable)
        grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return grid;
}

CompositionTable tableOf(const QTableWidget* grid) {
    CompositionTable t;
    t.rows.resize(static_cast<std::size_t>(grid->rowCount()));
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c < static_cast<int>(kCompColumns); ++c) {
            const QTableWidgetItem* item = grid->item(r, c);
            t.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] =
                item != nullptr ? item->text().toStdString() : std::string();
        }
    }
    return t;
}

void fill(QTableWidget* grid, const CompositionTable& t) {
    const QSignalBlocker block(grid);
    grid->setRowCount(static_cast<int>(t.rows.size()));
    for (int r = 0; r < grid->rowCount(); ++r) {
        for (int c = 0; c < static_cast<int>(kCompColumns); ++c) {
            auto* item = new QTableWidgetItem(
                q(t.rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
            if (c != kCompComponent)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(r, c, item);
        }
    }
}

bool hasEtExtension(const QString& file) {
    return QFileInfo(file).suffix().compare(QStringLiteral("et"), Qt::CaseInsensitive) == 0;
}

fs::path pathOf(const QString& file) {
    return fs::path(file.toStdString());
}

}  // namespace

Result<CCombineTablesDlg::Chromatogram> readChromatogramTable(const fs::path& file) {
    CZelmoraDoc doc;
    if (const Status read = doc.Read(file); !read)
        return Status::failure("Не удалось прочитать хроматограмму " + file.string() + ": " +
                               read.message());
    return CCombineTablesDlg::Chromatogram{compositionOf(doc), doc.passport.sample};
}

CCombineTablesDlg::CCombineTablesDlg(fs::path densityMapFile, fs::path dataFolder, QWidget* parent)
    : QDialog(parent),
      densityMapFile_(std::move(densityMapFile)),
      dataFolder_(std::move(dataFolder)),
      loader_(readChromatogramTable) {
    // The dialog has no caption of its own.
    setWindowTitle(QString());
    source_ = makeGrid(this, true);
    manual_ = makeGrid(this, true);
    result_ = makeGrid(this, false);
    sourceTitle_ = new QLabel(kSourceTitle, this);
    manualTitle_ = new QLabel(kManualTitle, this);
    resultTitle_ = new QLabel(kResultTitle, this);

    auto button = [this](const char* text, void (CCombineTablesDlg::*slot)()) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    rows_ = new QSpinBox(this);
    rows_->setRange(0, 255);
    rows_->setValue(1);
    volume_ = new QRadioButton(QStringLiteral("Объемные проценты"), this);
    mass_ = new QRadioButton(QStringLiteral("Массовые проценты"), this);
    mass_->setChecked(true);
    auto* unit = new QButtonGroup(this);
    unit->addButton(volume_);
    unit->addButton(mass_);

    auto* sourceBar = new QHBoxLayout;
    sourceBar->addWidget(button("Открыть исходную таблицу", &CCombineTablesDlg::openSource));
    sourceBar->addWidget(button("Добавить плотности", &CCombineTablesDlg::addDensities));
    sourceBar->addStretch();
    auto* manualBar = new QHBoxLayout;
    manualBar->addWidget(button("Открыть вторую таблицу", &CCombineTablesDlg::openSecond));
    manualBar->addWidget(button("Добавить", &CCombineTablesDlg::addRows));
    manualBar->addWidget(rows_);
    manualBar->addWidget(new QLabel(QStringLiteral("строк"), this));
    manualBar->addWidget(button("Удалить пустые строки", &CCombineTablesDlg::removeEmpty));
    manualBar->addWidget(
        button("Сохранить данные рукописного ввода", &CCombineTablesDlg::saveManual));
    manualBar->addStretch();
    auto* resultBar = new QHBoxLayout;
    resultBar->addWidget(button("Перерасчет...", &CCombineTablesDlg::recalculate));
    resultBar->addWidget(volume_);
    resultBar->addWidget(mass_);
    resultBar->addWidget(button("Сохранить итоговую таблицу", &CCombineTablesDlg::saveResult));
    resultBar->addWidget(button("Сохранить таблицу плотностей", &CCombineTablesDlg::saveDensities));
    resultBar->addStretch();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sourceTitle_);
    layout->addWidget(source_, 1);
    layout->addLayout(sourceBar);
    layout->addWidget(manualTitle_);
    layout->addWidget(manual_, 1);
    layout->addLayout(manualBar);
    layout->addWidget(resultTitle_);
    layout->addWidget(result_, 1);
    layout->addLayout(resultBar);
    layout->addWidget(buttons);

    connect(source_, &QTableWidget::cellChanged, this,
            [this](int r, int c) { cellEdited(source_, r, c); });
    connect(manual_, &QTableWidget::cellChanged, this,
            [this](int r, int c) { cellEdited(manual_, r, c); });

    // A missing map starts empty. A damaged one is reported, and is only
    // replaced when the operator confirms it on saving.
    std::error_code ec;
    if (fs::exists(densityMapFile_, ec)) {
        if (auto map = readDensityMap(densityMapFile_)) {
            densities_ = std::move(map).value();
        } else {
            mapDamaged_ = true;
            showFailure(this, map.status(), QStringLiteral("Карта плотностей не прочитана: %1"));
        }
    }
    resize(820, 720);
}

CompositionTable CCombineTablesDlg::sourceTable() const {
    return tableOf(source_);
}
CompositionTable CCombineTablesDlg::manualTable() const {
    return tableOf(manual_);
}
CompositionTable CCombineTablesDlg::resultTable() const {
    return tableOf(result_);
}

void CCombineTablesDlg::cellEdited(QTableWidget* grid, int row, int column) {
    if (filling_ || (column != kCompComponent && column != kCompDensity) || row < 0)
        return;
    CompositionTable t = tableOf(grid);
    CompositionRow& r = t.rows[static_cast<std::size_t>(row)];
    const std::string before = r[kCompDensity];
    completeDensity(r, densities_);
    if (r[kCompDensity] != before) {
        filling_ = true;
        grid->item(row, kCompDensity)->setText(q(r[kCompDensity]));
        filling_ = false;
    }
}

void CCombineTablesDlg::openSource() {
    const std::vector<fs::path> chosen = BrowseChromatograms(1, this);
    if (chosen.empty())
        return;
    const fs::path& file = chosen.front();
    auto loaded = loader_(file);
    if (!loaded) {
        showFailure(this, loaded.status());
        return;
    }
    fill(source_, loaded->table);
    // Files in the folder "Data" are named relative to it.
    std::string name = file.string();
    const std::string prefix = (dataFolder_ / "").string();
    if (!dataFolder_.empty() && name.starts_with(prefix))
        name = name.substr(prefix.size());
    sourceTitle_->setText(QStringLiteral("Исходная таблица: ") + q(name) + QStringLiteral(" ") +
                          q(loaded->sample));
}

void CCombineTablesDlg::openSecond() {
    FileRequest request;
    request.parent = this;
    request.start = QStringLiteral("постоянные_газы");
    request.filter = kTableFilter + QStringLiteral(";;") + chromatogramFilter();
    request.defaultSuffix = QStringLiteral("et");
    const QString file = chooseFile(request);
    if (file.isEmpty())
        return;
    const QString title = QFileInfo(file).fileName();
    if (hasEtExtension(file)) {
        auto table = readEtTable(pathOf(file));
        if (!table) {
            showFailure(this, table.status());
            return;
        }
        fill(manual_, *table);
        manualTitle_->setText(kManualTitle + QStringLiteral(": ") + title);
        return;
    }
    auto loaded = loader_(pathOf(file));
    if (!loaded) {
        showFailure(this, loaded.status());
        return;
    }
    fill(manual_, loaded->table);
    manualTitle_->setText(QStringLiteral("Постоянные газы, объемные концентрации: ") + title);
}

void CCombineTablesDlg::addRows() {
    CompositionTable t = tableOf(manual_);
    appendEmptyRows(t, rows_->value());
    fill(manual_, t);
}

void CCombineTablesDlg::removeEmpty() {
    CompositionTable t = tableOf(manual_);
    removeEmptyRows(t);
    fill(manual_, t);
}

void CCombineTablesDlg::addDensities() {
    CompositionTable t = tableOf(source_);
    completeDensities(t, densities_);
    fill(source_, t);
}

void CCombineTablesDlg::recalculate() {
    const CompositionUnit unit =
        mass_->isChecked() ? CompositionUnit::Mass : CompositionUnit::Volume;
    auto combined = combineCompositions(tableOf(source_), tableOf(manual_), unit);
    if (!combined) {
        showFailure(this, combined.status());
        return;
    }
    fill(result_, combined->table);
    if (!combined->withoutDensity.empty()) {
        std::string names;
        for (const std::string& n : combined->withoutDensity)
            names += (names.empty() ? "" : ", ") + n;
        resultTitle_->setText(QStringLiteral("Итоговая таблица (объемные проценты)"));
        showMessage({this, QMessageBox::Warning, QStringLiteral("Перерасчет"),
                     QStringLiteral("Нет плотности для: ") + q(names) +
                         QStringLiteral(".\nИтоговая таблица оставлена в объемных процентах.")});
        return;
    }
    resultTitle_->setText(QStringLiteral("Итоговая таблица"));
}

void CCombineTablesDlg::saveManual() {
    removeEmpty();
    FileRequest request;
    request.parent = this;
    request.save = true;
    request.start = QStringLiteral("постоянные_газы");
    request.filter = kTableFilter;
    request.defaultSuffix = QStringLiteral("et");
    const QString file = chooseFile(request);
    if (file.isEmpty())
        return;
    if (const Status s = writeEtTable(pathOf(file), tableOf(manual_)); !s)
        showFailure(this, s);
}

void CCombineTablesDlg::saveResult() {
    FileRequest request;
    request.parent = this;
    request.save = true;
    request.start = QStringLiteral("Итоговая_таблица");
    request.filter = kTableFilter;
    request.defaultSuffix = QStringLiteral("et");
    const QString file = chooseFile(request);
    if (file.isEmpty())
        return;
    if (QFileInfo(file).suffix() != QStringLiteral("et")) {
        showMessage({this, QMessageBox::Warning, QStringLiteral("Zelmora"),
                     QStringLiteral("Итоговая таблица сохраняется только в файл с расширением "
                                    "\"et\".")});
        return;
    }
    if (const Status s = writeEtTable(pathOf(file), tableOf(result_)); !s)
        showFailure(this, s);
}

void CCombineTablesDlg::saveDensities() {
    if (mapDamaged_) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = QStringLiteral(
                     "Карта плотностей %1 не была прочитана. Заменить её плотностями "
                     "этой таблицы?")
                     .arg(QString::fromStdString(densityMapFile_.string()));
        r.buttons = QMessageBox::Yes | QMessageBox::No;
        if (showMessage(r) != QMessageBox::Yes)
            return;
    }
    if (const Status s = writeDensityMap(densityMapFile_, densities_); !s) {
        showFailure(this, s);
        return;
    }
    mapDamaged_ = false;
}

void ShowCombineTablesDialog(QWidget* mainWindow) {
    const fs::path map = userDensityMapFile(paths::defaultDataFolder(), paths::programFolder());
    CCombineTablesDlg dlg(map, paths::programFolder() / "Data", mainWindow);
    if (auto* frame = qobject_cast<CMainFrame*>(mainWindow)) {
        QPointer<CMainFrame> guard(frame);
        dlg.setLoader([guard](const fs::path& file) -> Result<CCombineTablesDlg::Chromatogram> {
            if (const CZelmoraDoc* open = guard ? guard->openDocumentOf(file) : nullptr)
                return CCombineTablesDlg::Chromatogram{compositionOf(*open), open->passport.sample};
            return readChromatogramTable(file);
        });
    }
    dlg.exec();
}

}  // namespace zelmora::gui
