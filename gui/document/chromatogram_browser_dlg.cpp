#include "gui/document/chromatogram_browser_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <set>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "document/results_store.h"
#include "document/zelmora_doc.h"
#include "gui/document/qt_message_sink.h"
#include "gui/message_box.h"
#include "processing/chromatogram_open.h"

namespace zelmora::gui {

namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

ChromatogramBrowser& browserHook() {
    static ChromatogramBrowser hook;
    return hook;
}

fs::path openPath() {
    return programOptions().chromatogramFolder();
}

bool isBelow(const fs::path& folder, const fs::path& root) {
    const std::string f = folder.lexically_normal().string();
    const std::string r = root.lexically_normal().string();
    return f.compare(0, r.size(), r) == 0 &&
           (f.size() == r.size() || f[r.size()] == '/' || (!r.empty() && r.back() == '/'));
}

void tell(QWidget* parent, const QString& text, QMessageBox::Icon icon = QMessageBox::Warning) {
    MessageRequest r;
    r.parent = parent;
    r.icon = icon;
    r.text = text;
    showMessage(r);
}

}  // namespace

std::function<QString(const QString&, QWidget*)> CChromatogramBrowserDlg::chooseFolder =
    [](const QString& title, QWidget* parent) {
        QFileDialog dlg(parent, title);
        dlg.setFileMode(QFileDialog::Directory);
        dlg.setOption(QFileDialog::ShowDirsOnly);
        dlg.setLabelText(QFileDialog::FileName, QStringLiteral("Папка"));
        if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
            return QString();
        return dlg.selectedFiles().front();
    };

std::function<std::optional<bool>(const fs::path&)> CChromatogramBrowserDlg::saveOpenChromatogram;
std::function<bool(const fs::path&)> CChromatogramBrowserDlg::isOpenChromatogram;

CChromatogramBrowserDlg::CChromatogramBrowserDlg(int mode, QWidget* parent)
    : QDialog(parent), mode_(mode) {
    setWindowTitle(QStringLiteral("Открытие хроматограммы"));
    setSizeGripEnabled(true);

    auto* filters = new QHBoxLayout;
    auto makeFilter = [&](const char* label, QComboBox*& box) {
        filters->addWidget(new QLabel(QString::fromUtf8(label), this));
        box = new QComboBox(this);
        box->setMinimumWidth(110);
        filters->addWidget(box, 1);
    };
    makeFilter("Метод:", method_);
    makeFilter("Тип:", type_);
    makeFilter("Пункт отбора:", place_);
    makeFilter("Точка отбора:", point_);
    type_->addItems(
        {QStringLiteral("Все"), QStringLiteral("Градуировочные"), QStringLiteral("Остальные")});

    path_ = new QLabel(this);
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    folders_ = new QFileSystemModel(this);
    folders_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    tree_ = new QTreeView(this);
    tree_->setModel(folders_);
    for (int c = 1; c < folders_->columnCount(); ++c)
        tree_->hideColumn(c);
    tree_->setHeaderHidden(true);

    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels(
        {QStringLiteral("Дата"), QStringLiteral("Проба"), QStringLiteral("Файл")});
    // Wide enough for the whole date in any font.
    list_->setColumnWidth(
        0, std::max(50, list_->fontMetrics().horizontalAdvance(QStringLiteral("00.00.00")) + 16));
    list_->setColumnWidth(1, 180);
    list_->setColumnWidth(2, 230);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(mode_ == OneFile ? QAbstractItemView::SingleSelection
                                             : QAbstractItemView::ExtendedSelection);
    preview_ = new QPlainTextEdit(this);
    preview_->setReadOnly(true);
    preview_->setMaximumHeight(150);

    auto* right = new QWidget(this);
    auto* rv = new QVBoxLayout(right);
    rv->setContentsMargins(0, 0, 0, 0);
    rv->addWidget(path_);
    rv->addWidget(list_, 1);
    rv->addWidget(preview_);
    auto* split = new QSplitter(this);
    split->addWidget(tree_);
    split->addWidget(right);
    split->setStretchFactor(1, 1);

    auto* buttons = new QVBoxLayout;
    auto button = [&](const char* text, auto slot) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    QPushButton* open = button("Открыть", [this] { accept(); });
    open->setDefault(true);
    button("&Отмена", [this] { reject(); });
    buttons->addSpacing(12);
    button("&Копировать", [this] { copySelected(false); });
    button("&Перенести", [this] { copySelected(true); });
    button("&Удалить", [this] { deleteSelected(); });
    addToDb_ = button("Добавить в БД", [this] { addSelectedToDatabase(); });
    addToDb_->setEnabled(resultsStore() != nullptr);
    button("&Справка", [this] {
        const fs::path page = paths::programFolder() / "Html" / "Opencrm.html";
        std::error_code ec;
        if (!fs::exists(page, ec) ||
            !QDesktopServices::openUrl(QUrl::fromLocalFile(q(page.string()))))
            tell(this, QStringLiteral("Файл справки %1 не найден.").arg(q(page.string())));
    });
    buttons->addSpacing(12);
    joint_ = new QCheckBox(QStringLiteral("Совместный выбор"), this);
    whole_ = new QCheckBox(QStringLiteral("Вся файловая система"), this);
    buttons->addWidget(joint_);
    buttons->addWidget(whole_);
    buttons->addStretch();

    auto* body = new QHBoxLayout;
    body->addWidget(split, 1);
    body->addLayout(buttons);
    auto* top = new QVBoxLayout(this);
    top->addLayout(filters);
    top->addLayout(body, 1);
    resize(860, 520);

    const SettingsStore& settings = userSettings();
    joint_->setChecked(settings.readDword(kRootKey, "MultiSelectMode", 0) != 0);
    whole_->setChecked(settings.readDword(kRootKey, "OpenDirType", 0) != 0);
    joint_->setEnabled(mode_ != OneFile);

    connect(tree_, &QTreeView::clicked, this, [this](const QModelIndex& i) {
        setFolder(fs::path(folders_->filePath(i).toStdString()));
    });
    connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (filling_)
            return;
        updatePreview();
    });
    connect(list_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { selectEntry(list_->indexOfTopLevelItem(item)); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { activateEntry(list_->indexOfTopLevelItem(item)); });
    connect(type_, &QComboBox::currentIndexChanged, this, [this] {
        if (!filling_)
            refill();
    });
    for (QComboBox* c : {method_, place_, point_})
        connect(c, &QComboBox::currentIndexChanged, this, [this] {
            if (!filling_)
                applyFilters();
        });
    connect(whole_, &QCheckBox::toggled, this, [this] { rootTree(); });
    rootTree();
}

void CChromatogramBrowserDlg::rootTree() {
    const SettingsStore& settings = userSettings();
    const fs::path root = openPath();
    fs::path start;
    if (whole_->isChecked()) {
        folders_->setRootPath(QStringLiteral("/"));
        tree_->setRootIndex(folders_->index(QStringLiteral("/")));
        start = settings.readString(kRootKey, "LastOpenPath1", root.string());
    } else {
        folders_->setRootPath(q(root.string()));
        tree_->setRootIndex(folders_->index(q(root.string())));
        start = settings.readString(kRootKey, "LastOpenPath2", root.string());
        if (!isBelow(start, root))
            start = root;
    }
    std::error_code ec;
    if (!fs::is_directory(start, ec))
        start = root;
    setFolder(start);
}

void CChromatogramBrowserDlg::setFolder(const fs::path& folder) {
    fs::path f = folder.lexically_normal();
    // Below "OpenPath" the tree does not go higher than its root.
    if (!whole_->isChecked() && !isBelow(f, openPath()))
        f = openPath();
    folder_ = f;
    path_->setText(q(folder_.string()));
    const QModelIndex i = folders_->index(q(folder_.string()));
    if (i.isValid()) {
        tree_->setCurrentIndex(i);
        tree_->scrollTo(i);
    }
    refill();
}

void CChromatogramBrowserDlg::refill() {
    entries_ = listFolder(folder_, static_cast<BrowserType>(std::max(0, type_->currentIndex())));
    if (!whole_->isChecked() && samePathNoCase(folder_, openPath()) && !entries_.empty() &&
        entries_.front().name == "..")
        entries_.erase(entries_.begin());
    // The text filters offer what the folder has.
    filling_ = true;
    auto offer = [this](QComboBox* box, const char* any, std::string BrowserEntry::*field) {
        const QString keep = box->currentText();
        std::set<std::string> seen;
        std::vector<std::string> values;
        for (const BrowserEntry& e : entries_) {
            const std::string& v = e.*field;
            if (!e.isFolder && !v.empty() && seen.insert(text::foldCase(v)).second)
                values.push_back(v);
        }
        std::sort(values.begin(), values.end(), [](const std::string& a, const std::string& b) {
            return text::compareNoCase(a, b) < 0;
        });
        box->clear();
        box->addItem(QString::fromUtf8(any));
        for (const std::string& v : values)
            box->addItem(q(v));
        const int i = box->findText(keep);
        box->setCurrentIndex(i >= 0 ? i : 0);
    };
    offer(method_, kAnyMethod, &BrowserEntry::method);
    offer(place_, kAnyPlace, &BrowserEntry::place);
    offer(point_, kAnyPoint, &BrowserEntry::point);
    filling_ = false;
    applyFilters();
}

void CChromatogramBrowserDlg::applyFilters() {
    BrowserFilter f;
    f.method = method_->currentText().toStdString();
    f.place = place_->currentText().toStdString();
    f.point = point_->currentText().toStdString();
    shown_.clear();
    for (const BrowserEntry& e : entries_)
        if (filterPasses(f, e))
            shown_.push_back(e);
    filling_ = true;
    list_->clear();
    for (const BrowserEntry& e : shown_) {
        auto* item = new QTreeWidgetItem(list_);
        if (e.isFolder) {
            item->setText(2, q(e.name));
            item->setIcon(2, style()->standardIcon(QStyle::SP_DirIcon));
        } else {
            item->setText(0, q(formatLocalTime(e.analysisTime, "%d.%m.%y")));
            item->setText(1, q(e.sample));
            item->setText(2, q(e.name));
        }
    }
    filling_ = false;
    preview_->clear();
}

void CChromatogramBrowserDlg::selectEntry(int index) {
    if (index < 0 || index >= static_cast<int>(shown_.size()))
        return;
    filling_ = true;
    list_->clearSelection();
    list_->setCurrentItem(list_->topLevelItem(index));
    std::vector<std::size_t> chosen = {static_cast<std::size_t>(index)};
    if (joint_->isChecked() && mode_ != OneFile)
        chosen = zelmora::jointSelection(shown_, static_cast<std::size_t>(index));
    for (std::size_t i : chosen)
        list_->topLevelItem(static_cast<int>(i))->setSelected(true);
    filling_ = false;
    updatePreview();
}

void CChromatogramBrowserDlg::activateEntry(int index) {
    if (index < 0 || index >= static_cast<int>(shown_.size()))
        return;
    const BrowserEntry& e = shown_[static_cast<std::size_t>(index)];
    if (e.isFolder) {
        setFolder(entryPath(folder_, e));
        return;
    }
    selectEntry(index);
    accept();
}

void CChromatogramBrowserDlg::updatePreview() {
    QTreeWidgetItem* current = list_->currentItem();
    const int i = current != nullptr ? list_->indexOfTopLevelItem(current) : -1;
    if (i < 0 || i >= static_cast<int>(shown_.size())) {
        preview_->clear();
        return;
    }
    preview_->setPlainText(
        q(zelmora::previewText(folder_, shown_[static_cast<std::size_t>(i)])).replace(u'\r', ""));
}

QString CChromatogramBrowserDlg::previewText() const {
    return preview_->toPlainText();
}

std::vector<fs::path> CChromatogramBrowserDlg::selectedFiles() const {
    std::vector<fs::path> out;
    std::set<int> rows;
    for (QTreeWidgetItem* item : list_->selectedItems())
        rows.insert(list_->indexOfTopLevelItem(item));
    // The focused entry counts as selected.
    if (QTreeWidgetItem* c = list_->currentItem())
        rows.insert(list_->indexOfTopLevelItem(c));
    if (mode_ == OneFile && list_->currentItem() != nullptr)
        rows = {list_->indexOfTopLevelItem(list_->currentItem())};
    for (int r : rows) {
        if (r < 0 || r >= static_cast<int>(shown_.size()))
            continue;
        const BrowserEntry& e = shown_[static_cast<std::size_t>(r)];
        if (!e.isFolder)
            out.push_back(entryPath(folder_, e));
    }
    return out;
}

std::vector<fs::path> CChromatogramBrowserDlg::chosenFiles() const {
    return selectedFiles();
}

std::vector<fs::path> CChromatogramBrowserDlg::filesNotOpen(
    std::vector<std::string>& refused) const {
    std::vector<fs::path> out;
    for (const fs::path& f : selectedFiles()) {
        if (isOpenChromatogram && isOpenChromatogram(f))
            refused.push_back(f.string() + ": хроматограмма открыта в окне");
        else
            out.push_back(f);
    }
    return out;
}

void CChromatogramBrowserDlg::copySelected(bool move) {
    std::vector<std::string> refused;
    // A copy leaves the open chromatogram where it is; a move would not.
    const std::vector<fs::path> files = move ? filesNotOpen(refused) : selectedFiles();
    if (files.empty()) {
        if (const Status none = joinFailures(refused); !none)
            showFailure(this, none, QStringLiteral("Не удалось перенести:\n%1"));
        return;
    }
    const QString target = chooseFolder ? chooseFolder(move ? QStringLiteral("Перенести в папку")
                                                            : QStringLiteral("Скопировать в папку"),
                                                       this)
                                        : QString();
    if (target.isEmpty())
        return;
    auto ask = [this](const fs::path& existing) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Question;
        r.text = QStringLiteral("Файл %1 уже есть. Заменить ?").arg(q(existing.string()));
        r.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        r.defaultButton = QMessageBox::No;
        switch (showMessage(r)) {
            case QMessageBox::Yes:
                return OverwriteAnswer::Replace;
            case QMessageBox::No:
                return OverwriteAnswer::Skip;
            default:
                return OverwriteAnswer::Stop;
        }
    };
    TransferReport report =
        transferFiles(files, folder_, fs::path(target.toStdString()), move, ask);
    report.failures.insert(report.failures.end(), refused.begin(), refused.end());
    if (const Status done = joinFailures(report.failures); !done)
        showFailure(this, done,
                    move ? QStringLiteral("Не удалось перенести:\n%1")
                         : QStringLiteral("Не удалось скопировать:\n%1"));
    refill();
}

void CChromatogramBrowserDlg::deleteSelected() {
    std::vector<std::string> refused;
    const std::vector<fs::path> files = filesNotOpen(refused);
    if (files.empty()) {
        if (const Status none = joinFailures(refused); !none)
            showFailure(this, none, QStringLiteral("Не удалось удалить:\n%1"));
        return;
    }
    MessageRequest r;
    r.parent = this;
    r.icon = QMessageBox::Question;
    r.text = q(deleteQuestion(files));
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    r.defaultButton = QMessageBox::No;
    if (showMessage(r) != QMessageBox::Yes)
        return;
    DeleteReport report = moveFilesToTrash(files);
    std::vector<std::string>& failures = report.failures;
    failures.insert(failures.end(), refused.begin(), refused.end());
    if (!report.noTrash.empty()) {
        MessageRequest forGood;
        forGood.parent = this;
        forGood.icon = QMessageBox::Warning;
        forGood.text = q(deleteForGoodQuestion(report.noTrash));
        forGood.buttons = QMessageBox::Yes | QMessageBox::No;
        forGood.defaultButton = QMessageBox::No;
        if (showMessage(forGood) == QMessageBox::Yes) {
            const std::vector<std::string> more = deleteFiles(report.noTrash);
            failures.insert(failures.end(), more.begin(), more.end());
        }
    }
    if (const Status deleted = joinFailures(failures); !deleted)
        showFailure(this, deleted, QStringLiteral("Не удалось удалить:\n%1"));
    refill();
}

void CChromatogramBrowserDlg::addSelectedToDatabase() {
    const std::shared_ptr<ResultsStore> store = resultsStore();
    if (store == nullptr)
        return;
    QtMessageSink sink(this);
    for (const fs::path& file : selectedFiles()) {
        if (saveOpenChromatogram) {
            if (const std::optional<bool> saved = saveOpenChromatogram(file)) {
                if (!*saved)
                    return;
                continue;
            }
        }
        CZelmoraDoc doc;
        if (!OpenChromatogram(doc, file, sink))
            return;
        if (!store->saveResults(doc, file, sink))
            return;
    }
    refill();
}

void CChromatogramBrowserDlg::accept() {
    if (selectedFiles().empty())
        return;
    SettingsStore& settings = userSettings();
    settings.setString(kRootKey, whole_->isChecked() ? "LastOpenPath1" : "LastOpenPath2",
                       folder_.string());
    settings.setDword(kRootKey, "MultiSelectMode", joint_->isChecked() ? 1 : 0);
    settings.setDword(kRootKey, "OpenDirType", whole_->isChecked() ? 1 : 0);
    QDialog::accept();
}

std::vector<fs::path> BrowseChromatograms(int mode, QWidget* parent) {
    if (browserHook())
        return browserHook()(mode, parent);
    CChromatogramBrowserDlg dlg(mode, parent);
    if (dlg.exec() != QDialog::Accepted)
        return {};
    return dlg.chosenFiles();
}

ScopedChromatogramBrowser::ScopedChromatogramBrowser(ChromatogramBrowser browser)
    : previous_(std::move(browserHook())) {
    browserHook() = std::move(browser);
}

ScopedChromatogramBrowser::~ScopedChromatogramBrowser() {
    browserHook() = std::move(previous_);
}

}  // namespace zelmora::gui
