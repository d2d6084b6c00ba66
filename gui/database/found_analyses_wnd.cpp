#include "gui/database/found_analyses_wnd.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <set>

#include "database/catalogue.h"
#include "gui/database/analysis_dlg.h"
#include "gui/database/analysis_search_dlg.h"
#include "gui/database/db_dialog_support.h"
#include "gui/database/text_table_model.h"
#include "gui/message_box.h"

namespace zelmora::gui {

using dbui::q;

namespace {

// Widths of string 108's columns, in twips.
constexpr int kWidthsTwips[7] = {1500, 1500, 1500, 1500, 1200, 800, 500};

}  // namespace

void runAnalysisDialog(db::Connection& db, int keyAnalys, bool createdEmpty, QWidget* parent) {
    CAnalysisDlg dlg(db, keyAnalys, createdEmpty, parent);
    dlg.exec();
}

CFoundAnalysesWnd::CFoundAnalysesWnd(db::Connection& db, db::AnalysisSearch criteria,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), db_(db), criteria_(std::move(criteria)) {
    setWindowTitle(QStringLiteral("Найденные анализы"));
    setAttribute(Qt::WA_DeleteOnClose);
    model_ = new TextTableModel(
        {QStringLiteral("Дата отбора"), QStringLiteral("Пункт отбора"),
         QStringLiteral("Точка отбора"), QStringLiteral("Проба"), QStringLiteral("Метод"),
         QStringLiteral("Оператор"), QStringLiteral("Комментарий")},
        this);
    grid_ = new QTableView(this);
    grid_->setModel(model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->hide();
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    grid_->horizontalHeader()->setSectionsClickable(true);
    grid_->horizontalHeader()->setStretchLastSection(true);
    std::vector<int> widths;
    for (int twips : kWidthsTwips)
        widths.push_back(twips / 12);
    setGridWidths(grid_, widths, 1);
    grid_->installEventFilter(this);
    grid_->setObjectName(QStringLiteral("grid"));
    connect(grid_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int section) { sortByColumn(section + 1); });
    connect(grid_, &QTableView::doubleClicked, this, [this] { showDetails(); });

    notice_ = new QLabel(this);
    auto* searchButton = new QPushButton(QStringLiteral("&Поиск"), this);
    chromatogram_ = new QPushButton(QStringLiteral("&Хроматограмма"), this);
    delete_ = new QPushButton(QStringLiteral("&Удалить"), this);
    details_ = new QPushButton(QStringLiteral("Подробно"), this);
    auto* newButton = new QPushButton(QStringLiteral("&Новый"), this);
    connect(searchButton, &QPushButton::clicked, this, [this] { search(); });
    connect(chromatogram_, &QPushButton::clicked, this, [this] { openChromatograms(); });
    connect(delete_, &QPushButton::clicked, this, [this] { deleteSelected(); });
    connect(details_, &QPushButton::clicked, this, [this] { showDetails(); });
    connect(newButton, &QPushButton::clicked, this, [this] { newAnalysis(); });
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {searchButton, chromatogram_, details_, newButton, delete_})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(notice_);
    auto* box = new QVBoxLayout(this);
    box->addWidget(grid_, 1);
    box->addLayout(buttons);
    resize(920, 520);

    runSearchDialog = [this](db::AnalysisSearch& c, QWidget* parent) {
        CAnalysisSearchDlg dlg(db_, c, parent);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        c = dlg.criteria();
        return true;
    };
    runAnalysisDialog = [this](int key, bool createdEmpty, QWidget* parent) {
        gui::runAnalysisDialog(db_, key, createdEmpty, parent);
    };
    refill();
}

long long CFoundAnalysesWnd::currentKey() const {
    const QModelIndex i = grid_->currentIndex();
    if (!i.isValid() || i.row() >= model_->rowCount())
        return 0;
    return model_->rows()[static_cast<std::size_t>(i.row())].key;
}

void CFoundAnalysesWnd::selectKey(long long key) {
    const int row = model_->rowOfKey(key);
    if (row < 0)
        return;
    grid_->selectRow(row);
    grid_->setCurrentIndex(model_->index(row, 0));
    grid_->scrollTo(grid_->currentIndex());
}

QString CFoundAnalysesWnd::notice() const {
    return notice_->text();
}

void CFoundAnalysesWnd::refill() {
    const long long current = currentKey();
    const db::Result<db::SearchResult> found = db::findAnalyses(db_, criteria_);
    if (!found) {
        showFailure(this, found.status());
        updateButtons();
        return;
    }
    std::vector<TextRow> rows;
    rows.reserve(found->rows.size());
    for (const db::AnalysisRow& a : found->rows) {
        TextRow r;
        r.key = a.keyAnalys;
        r.cells = {a.date ? q(db::displayTime(*a.date)) : QString(),
                   q(a.station),
                   q(a.place),
                   q(a.sample),
                   q(a.method),
                   q(a.operatorName),
                   q(a.comment)};
        rows.push_back(std::move(r));
    }
    model_->setRows(std::move(rows));
    notice_->setText(q(found->notice));
    if (current != 0)
        selectKey(current);
    updateButtons();
    if (found->truncated) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Information;
        r.text = q(found->notice);
        showMessage(r);
    }
}

void CFoundAnalysesWnd::updateButtons() {
    const bool any = model_->rowCount() > 0;
    chromatogram_->setEnabled(any);
    delete_->setEnabled(any);
    details_->setEnabled(any);
}

bool CFoundAnalysesWnd::search() {
    db::AnalysisSearch c = criteria_;
    if (!runSearchDialog || !runSearchDialog(c, this))
        return false;
    criteria_ = c;
    refill();
    return true;
}

void CFoundAnalysesWnd::sortByColumn(int column) {
    if (criteria_.clickHeader(column))
        refill();
}

void CFoundAnalysesWnd::deleteSelected() {
    const QModelIndexList selected = grid_->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    if (!dbui::askYesNo(this, QStringLiteral("Удалить выделенные анализы ?")))
        return;
    std::vector<int> rows;
    for (const QModelIndex& i : selected)
        rows.push_back(i.row());
    std::sort(rows.rbegin(), rows.rend());
    std::vector<int> keys;
    for (int row : rows)
        keys.push_back(static_cast<int>(model_->rows()[static_cast<std::size_t>(row)].key));
    // Each key is tried; the ones deleted leave the grid, the others stay.
    const db::DeleteOutcome outcome = db::deleteAnalyses(db_, keys);
    for (const std::string& e : outcome.errors)
        showFailure(this, db::Status::failure(e));
    std::vector<std::string> files;
    std::vector<std::string> busy;
    for (const std::string& f : outcome.fileNames) {
        if (isOpenChromatogram && isOpenChromatogram(std::filesystem::path(f)))
            busy.push_back(f);
        else
            files.push_back(f);
    }
    if (!files.empty() && dbui::askYesNo(this, QStringLiteral(" Удалить хроматограмму(ы) ?"))) {
        for (const std::string& e : db::deleteChromatogramFiles(files))
            showFailure(this, db::Status::failure(e));
        for (const std::string& f : busy)
            showFailure(
                this, db::Status::failure("Хроматограмма " + f + " открыта в окне и не удалена."));
    }
    refill();
}

void CFoundAnalysesWnd::newAnalysis() {
    db::AnalysisFields from;
    from.station = criteria_.station;
    from.place = criteria_.place;
    from.method = criteria_.method;
    from.operatorName = criteria_.operatorName;
    const db::Result<int> key = db::newAnalysisFrom(db_, from);
    if (!key) {
        showFailure(this, key.status());
        return;
    }
    if (runAnalysisDialog)
        runAnalysisDialog(*key, true, this);
    refill();
    selectKey(*key);
}

void CFoundAnalysesWnd::showDetails() {
    const long long key = currentKey();
    if (key == 0)
        return;
    grid_->setEnabled(false);
    if (runAnalysisDialog)
        runAnalysisDialog(static_cast<int>(key), false, this);
    grid_->setEnabled(true);
    refill();
    selectKey(key);
}

void CFoundAnalysesWnd::openChromatograms() {
    const QModelIndexList selected = grid_->selectionModel()->selectedRows();
    int opened = 0;
    for (const QModelIndex& i : selected) {
        const long long key = model_->rows()[static_cast<std::size_t>(i.row())].key;
        db::CAnalysSet set(db_);
        const auto found = set.find(static_cast<int>(key));
        if (!found) {
            showFailure(this, found.status());
            continue;
        }
        if (!*found || (*found)->fileName.empty())
            continue;
        const std::filesystem::path file((*found)->fileName);
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec)) {
            // A file that is there but cannot be read has been told about by
            // the opening itself.
            if (openChromatogram && openChromatogram(file))
                ++opened;
            continue;
        }
        MessageRequest r;
        r.parent = this;
        r.text = QStringLiteral(
                     "Хроматограмма не найдена. Файл %1 был удалён, переименован или "
                     "перемещён.")
                     .arg(q(file.string()));
        showMessage(r);
    }
    if (opened > 0)
        showMinimized();
}

bool CFoundAnalysesWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grid_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_Delete) {
            deleteSelected();
            return true;
        }
        if (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_Insert) {
            newAnalysis();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zelmora::gui
