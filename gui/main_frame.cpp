#include "gui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QSet>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "gui/app/programm_setup_sheet.h"
#include "gui/app/work_log_wnd.h"
#include "gui/command_ids.h"
#include "gui/command_table.h"
#include "gui/database/database_windows.h"
#include "gui/document/child_frame.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/document/zelmora_view.h"
#include "gui/file_dialogs.h"
#include "gui/instruments/alarm_wnd.h"
#include "gui/instruments/analysis_queue_dlg.h"
#include "gui/instruments/device_list_dlg.h"
#include "gui/instruments/instrument_controls.h"
#include "gui/instruments/recording_controller.h"
#include "gui/instruments/recording_wnd.h"
#include "gui/instruments/sound_player.h"
#include "gui/message_box.h"
#include "gui/reports/report_wnd.h"
#include "instruments/analysis_queue.h"
#include "instruments/device_manager.h"

namespace zelmora::gui {
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QString bandTitle(int id) {
    switch (id) {
        case band::kNoDocument:
            return QStringLiteral("Стандартная");
        case band::kChromatogram:
            return QStringLiteral("Хроматограмма");
        case band::kReport:
            return QStringLiteral("Отчёт");
        case band::kPrintReport:
            return QStringLiteral("Отчёт базы данных");
        case band::kRecording:
            return QStringLiteral("Запись");
        default:
            return QString::number(id);
    }
}

// A long path in the recent-files menu keeps its start and its file name.
QString shortPath(const fs::path& p) {
    const QString full = q(p.string());
    if (full.size() <= 60)
        return full;
    const QString name = q(p.filename().string());
    return full.left(std::max<qsizetype>(3, 56 - name.size())) + QStringLiteral("…/") + name;
}

}  // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent),
      recent_(userSettings()),
      databaseWindows_(std::make_unique<CDatabaseWindows>(*this)) {
    setWindowTitle(QStringLiteral("Zelmora"));
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    recent_.load();
    loadAnalysisQueue();
    instruments_ = new CInstrumentControls(this, [this](int id) { return runCommand(id); });
    instruments_->setListChanged([this] { deviceListChanged(); });
    alarmWnd_ = new CAlarmWnd(this, [](bool on) {
        if (on)
            CSoundPlayer::instance().play(QStringLiteral("error.wav"), true);
        else
            CSoundPlayer::instance().stop(QStringLiteral("error.wav"));
    });
    createActions();
    buildMenus();
    buildStatusBar();
    rebuildBands();
    setAcceptDrops(true);
    connect(mdi_, &QMdiArea::subWindowActivated, this, [this] { activeWindowChanged(); });
    statusBar()->showMessage(QStringLiteral("Готово"));
    resize(1280, 800);
    activeWindowChanged();
}

// The queue as the last run left it. A sample that was in work then never
// finished its recording: it is run again, and the work log says so.
void CMainFrame::loadAnalysisQueue() {
    queue_ = std::make_unique<AnalysisQueue>(AnalysisQueue::defaultWorkingCopy());
    int interrupted = 0;
    const Status loaded = queue_->loadWorkingCopy(&interrupted);
    if (!loaded.ok())
        CWorkLog::instance().write("! " + loaded.message());
    if (interrupted > 0)
        CWorkLog::instance().write(text::format(
            ". Очередь КЖК: проб, не завершённых при прошлой работе программы: %d; они "
            "будут выполнены заново",
            interrupted));
    // Recording threads change the queue too: the window redraws on the
    // user-interface thread.
    queue_->setChangedCallback([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (queueDlg_)
                    queueDlg_->refresh();
            },
            Qt::QueuedConnection);
    });
    if (!loaded.ok() && programOptions().enableKGK)
        QMetaObject::invokeMethod(
            this, [this, loaded] { showFailure(this, loaded); }, Qt::QueuedConnection);
}

CAnalysisQueueDlg* CMainFrame::showQueue() {
    if (!queueDlg_)
        queueDlg_ = new CAnalysisQueueDlg(*queue_, userSettings(), devices_, this);
    queueDlg_->refresh();
    queueDlg_->show();
    queueDlg_->raise();
    queueDlg_->activateWindow();
    return queueDlg_;
}

CMainFrame::~CMainFrame() {
    // The windows outlive this object's members while QWidget deletes them:
    // nothing of theirs may call back.
    mdi_->disconnect(this);
    for (QMdiSubWindow* w : mdi_->subWindowList())
        w->disconnect(this);
}

void CMainFrame::addCommandAction(int id, QAction* a) {
    // Shortcuts work while the menu that shows them is hidden, too.
    QWidget::addAction(a);
    connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_.insert(id, a);
}

void CMainFrame::createActions() {
    for (const CommandEntry& c : commandTable()) {
        // A command with nothing to show is run by its number only.
        if (c.id != 0 && (*c.label != '\0' || *c.hint != '\0'))
            addCommandAction(c.id, makeCommandAction(c, this));
    }
    for (int i = 0; i < recent_.size(); ++i) {
        const QString number = QString::number(i + 1);
        auto* a = new QAction(number, this);
        a->setToolTip(number);
        a->setStatusTip(number);
        a->setData(command::kRecentFile1 + i);
        addCommandAction(command::kRecentFile1 + i, a);
        recentActions_ << a;
    }
}

void CMainFrame::buildMenus() {
    QMenuBar* bar = menuBar();
    QHash<Menu, QMenu*> menus;
    for (const MenuDescription& m : menuBarLayout()) {
        if (m.parent != Menu::None)
            continue;
        if (m.menu == Menu::Devices) {
            bar->addMenu(instruments_->menu());
            continue;
        }
        menus.insert(m.menu, bar->addMenu(QString::fromUtf8(m.title)));
    }
    // A submenu stands in its parent where its first command does.
    const auto menuOf = [&](Menu which) {
        QMenu* m = menus.value(which, nullptr);
        if (m == nullptr) {
            for (const MenuDescription& d : menuBarLayout()) {
                if (d.menu == which)
                    m = menus.value(d.parent)->addMenu(QString::fromUtf8(d.title));
            }
            menus.insert(which, m);
        }
        return m;
    };
    for (const CommandEntry& c : commandTable()) {
        if (c.menu == Menu::None)
            continue;
        QMenu* m = menuOf(c.menu);
        if (c.separator != Separator::None) {
            QAction* s = m->addSeparator();
            if (c.separator == Separator::WithChromatogram)
                chromatogramSeparators_ << s;
        }
        if (c.recentFiles) {
            recentPlaceholder_ = m->addAction(commandText(c));
            recentPlaceholder_->setEnabled(false);
            for (QAction* a : std::as_const(recentActions_))
                m->addAction(a);
        } else if (c.menu == Menu::Window) {
            // Rebuilt with the list of windows each time it opens.
            windowCommands_ << action(c.id);
        } else {
            m->addAction(action(c.id));
        }
    }
    // The menus of the chromatogram window show only while one is active;
    // in the menus the program has anyway, its commands hide instead.
    QSet<Menu> programMenus;
    for (const CommandEntry& c : commandTable()) {
        if (c.needs == Needs::Frame)
            programMenus.insert(c.menu);
    }
    for (const CommandEntry& c : commandTable()) {
        if (c.menu == Menu::None || c.needs == Needs::Frame)
            continue;
        if (c.needs == Needs::Report)
            reportItems_ << action(c.id);
        else if (programMenus.contains(c.menu))
            chromatogramItems_ << action(c.id);
        else if (!chromatogramMenus_.contains(menus.value(c.menu)))
            chromatogramMenus_ << menus.value(c.menu);
    }
    fileMenu_ = menus.value(Menu::File);
    windowMenu_ = menus.value(Menu::Window);
    updateRecentFilesMenu();
    connect(windowMenu_, &QMenu::aboutToShow, this, &CMainFrame::updateWindowMenu);
    updateWindowMenu();

    // Every menu shows the states of the moment it opens.
    for (QMenu* m : bar->findChildren<QMenu*>())
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
}

void CMainFrame::updateWindowMenu() {
    windowMenu_->clear();
    windowMenu_->addActions(windowCommands_);
    const QList<QMdiSubWindow*> windows = mdi_->subWindowList();
    if (windows.isEmpty())
        return;
    windowMenu_->addSeparator();
    for (int i = 0; i < windows.size(); ++i) {
        QMdiSubWindow* w = windows[i];
        QString title = w->windowTitle();
        title.remove(QStringLiteral("[*]"));
        QAction* a = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(title));
        a->setCheckable(true);
        a->setChecked(w == mdi_->currentSubWindow());
        connect(a, &QAction::triggered, this, [this, w] {
            if (mdi_->subWindowList().contains(w))
                mdi_->setActiveSubWindow(w);
        });
    }
}

void CMainFrame::buildStatusBar() {
    cursorPane_ = new QLabel(statusBar());
    spanPane_ = new QLabel(statusBar());
    // Each pane is as wide as its text for 1000.8 mV and 100.9 min.
    const QFontMetrics fm(cursorPane_->font());
    const int margin = 2 * fm.horizontalAdvance(QLatin1Char(' ')) + 4;
    cursorPane_->setMinimumWidth(
        fm.horizontalAdvance(q(text::format("%.1f мВ; %.2f мин", 1000.8, 100.9))) + margin);
    spanPane_->setMinimumWidth(
        fm.horizontalAdvance(q(text::format("[%.5f мВ %.2f мин]", 1000.8, 100.9))) + margin);
    statusBar()->addPermanentWidget(cursorPane_);
    statusBar()->addPermanentWidget(spanPane_);
}

void CMainFrame::rebuildBands() {
    // The instrument bands come first, one per instrument of the device
    // list, with the menu and the panes of the instruments.
    instruments_->rebuild(devices_);
    alarmWnd_->setDevices(devices_);
    for (QToolBar* tb : std::as_const(bands_)) {
        removeToolBar(tb);
        delete tb;
    }
    bands_.clear();
    const int shown = shownBand_;
    shownBand_ = 0;
    for (int id : band::kAll) {
        auto* tb = new QToolBar(bandTitle(id), this);
        tb->setObjectName(QStringLiteral("Band%1").arg(id));
        tb->setToolButtonStyle(Qt::ToolButtonIconOnly);
        for (int command : band::buttons(id)) {
            if (command == 0)
                tb->addSeparator();
            else if (QAction* a = action(command))
                tb->addAction(a);
        }
        addToolBar(Qt::TopToolBarArea, tb);
        tb->hide();
        bands_.insert(id, tb);
    }
    showBand(shown != 0 ? shown : band::kNoDocument);
}

void CMainFrame::showBand(int id) {
    if (id == shownBand_ || !bands_.contains(id))
        return;
    setUpdatesEnabled(false);
    if (QToolBar* old = bands_.value(shownBand_))
        old->hide();
    bands_.value(id)->show();
    shownBand_ = id;
    setUpdatesEnabled(true);
}

QMenu* CMainFrame::createPopupMenu() {
    // The document bands follow the active window; they are not switched by hand.
    return nullptr;
}

QAction* CMainFrame::action(int id) const {
    if (QAction* a = actions_.value(id, nullptr))
        return a;
    return instruments_ != nullptr ? instruments_->action(id) : nullptr;
}

QToolBar* CMainFrame::band(int id) const {
    return bands_.value(id, nullptr);
}

QList<CChildFrame*> CMainFrame::chromatograms() const {
    QList<CChildFrame*> list;
    for (QMdiSubWindow* w : mdi_->subWindowList()) {
        if (auto* c = qobject_cast<CChildFrame*>(w))
            list << c;
    }
    return list;
}

const CZelmoraDoc* CMainFrame::openDocumentOf(const fs::path& file) const {
    for (CChildFrame* child : chromatograms()) {
        std::error_code ec;
        const fs::path open = child->document().pathName();
        if (!open.empty() && fs::equivalent(open, file, ec))
            return &child->document();
    }
    return nullptr;
}

CChildFrame* CMainFrame::activeChromatogram() const {
    // The current window stays current while the program is in the
    // background; a window being closed has left the list already.
    QMdiSubWindow* w = mdi_->currentSubWindow();
    if (w == nullptr || !mdi_->subWindowList().contains(w))
        return nullptr;
    return qobject_cast<CChildFrame*>(w);
}

void CMainFrame::activeWindowChanged() {
    CChildFrame* child = activeChromatogram();
    QMdiSubWindow* w = mdi_->currentSubWindow();
    int id = band::kNoDocument;
    if (child != nullptr) {
        id = band::kChromatogram;
    } else if (w != nullptr && mdi_->subWindowList().contains(w)) {
        // Windows of other kinds name their band.
        id = w->property("zelmoraBand").toInt();
        if (!bands_.contains(id))
            id = band::kNoDocument;
    }
    showBand(id);
    cursorPane_->clear();
    spanPane_->setText(child != nullptr ? child->property("spanText").toString() : QString());
    setWindowTitle(child != nullptr ? QStringLiteral("Zelmora - ") + child->titleText()
                                    : QStringLiteral("Zelmora"));
    updateCommandStates();
}

void CMainFrame::connectChromatogram(CChildFrame* child) {
    connect(child, &CChildFrame::commandStatesChanged, this, [this, child] {
        if (child != activeChromatogram())
            return;
        setWindowTitle(QStringLiteral("Zelmora - ") + child->titleText());
        updateCommandStates();
    });
    connect(child, &CChildFrame::cursorTextChanged, this, [this, child](const QString& t) {
        if (child == activeChromatogram())
            cursorPane_->setText(t);
    });
    connect(child, &CChildFrame::spanTextChanged, this, [this, child](const QString& t) {
        child->setProperty("spanText", t);
        if (child == activeChromatogram())
            spanPane_->setText(t);
    });
    connect(child, &CChildFrame::fileSaved, this, [this](const QString& path) {
        recent_.add(fs::path(path.toStdString()));
        updateRecentFilesMenu();
    });
}

CChildFrame* CMainFrame::openDocument(const fs::path& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    p = (ec ? path : p).lexically_normal();
    const std::string ext = p.extension().string();
    if (text::equalsNoCase(ext, ".cdf") || text::equalsNoCase(ext, ".csv"))
        return importDocument(p);
    for (CChildFrame* c : chromatograms()) {
        if (c->document().pathName() == p) {
            mdi_->setActiveSubWindow(c);
            recent_.add(p);
            updateRecentFilesMenu();
            return c;
        }
    }
    auto child = std::make_unique<CChildFrame>(this);
    if (!child->openFile(p))
        return nullptr;
    CChildFrame* raw = addChromatogramWindow(std::move(child));
    recent_.add(p);
    updateRecentFilesMenu();
    return raw;
}

bool CMainFrame::openAnyFile(const fs::path& path) {
    if (text::equalsNoCase(path.extension().string(), ".rtf"))
        return openReportFile(this, path) != nullptr;
    return openDocument(path) != nullptr;
}

CChildFrame* CMainFrame::addChromatogramWindow(std::unique_ptr<CChildFrame> child) {
    CChildFrame* raw = child.release();  // owned by the work area from here on
    mdi_->addSubWindow(raw);
    connectChromatogram(raw);
    const QSize area = mdi_->viewport()->size();
    if (area.width() > 200 && area.height() > 150)
        raw->resize(area * 0.85);
    raw->show();
    mdi_->setActiveSubWindow(raw);
    activeWindowChanged();
    return raw;
}

void CMainFrame::setRecordingController(CRecordingController* recording) {
    recording_ = recording;
    instruments_->setRecording(recording);
}

void CMainFrame::addRecordingWindow(CRecordingWnd* window) {
    mdi_->addSubWindow(window);
    connect(window, &CRecordingWnd::commandStatesChanged, this, &CMainFrame::updateCommandStates);
    const QSize area = mdi_->viewport()->size();
    if (area.width() > 200 && area.height() > 150)
        window->resize(area * 0.85);
    window->show();
    mdi_->setActiveSubWindow(window);
    activeWindowChanged();
}

CRecordingWnd* CMainFrame::activeRecording() const {
    QMdiSubWindow* w = mdi_->currentSubWindow();
    if (w == nullptr || !mdi_->subWindowList().contains(w))
        return nullptr;
    return qobject_cast<CRecordingWnd*>(w);
}

CChildFrame* CMainFrame::openRecordedDocument(CZelmoraDoc&& doc) {
    auto child = std::make_unique<CChildFrame>(this);
    if (!child->openRecorded(std::move(doc)))
        return nullptr;
    return addChromatogramWindow(std::move(child));
}

CChildFrame* CMainFrame::importDocument(const fs::path& path) {
    auto child = std::make_unique<CChildFrame>(this);
    if (!child->openImported(path))
        return nullptr;
    return addChromatogramWindow(std::move(child));
}

void CMainFrame::importWithDialog() {
    FileRequest r;
    r.parent = this;
    r.caption = QStringLiteral("Импорт хроматограммы");
    r.start = QString::fromStdString(programOptions().chromatogramFolder().string());
    r.filter = QStringLiteral(
        "Хроматограммы других систем (*.cdf *.CDF *.csv *.CSV);;AIA/ANDI (*.cdf *.CDF);;"
        "CSV (*.csv *.CSV *.txt)");
    const QString chosen = chooseFile(r);
    if (!chosen.isEmpty())
        importDocument(fs::path(chosen.toStdString()));
}

void CMainFrame::openWithDialog() {
    // "Добавить в БД" saves a chromatogram that is open here with its window.
    CChromatogramBrowserDlg::saveOpenChromatogram =
        [this](const fs::path& file) -> std::optional<bool> {
        for (CChildFrame* c : chromatograms())
            if (c->document().pathName() == file.lexically_normal()) {
                // The save puts the results into the database, as the button says.
                c->document().databaseSaveRequest = true;
                return c->saveTo(file);
            }
        return std::nullopt;
    };
    // Files open in a window are neither moved nor deleted from under it.
    CChromatogramBrowserDlg::isOpenChromatogram = [this](const fs::path& file) {
        std::error_code ec;
        for (CChildFrame* c : chromatograms())
            if (fs::equivalent(c->document().pathName(), file, ec))
                return true;
        return false;
    };
    const std::vector<fs::path> files = BrowseChromatograms(CChromatogramBrowserDlg::Open, this);
    CChromatogramBrowserDlg::saveOpenChromatogram = nullptr;
    CChromatogramBrowserDlg::isOpenChromatogram = nullptr;
    for (const fs::path& file : files)
        openDocument(file);
}

bool CMainFrame::openRecent(int index) {
    if (index < 0 || index >= static_cast<int>(recent_.files().size()))
        return false;
    const fs::path p = recent_.files()[static_cast<std::size_t>(index)];
    if (openDocument(p) != nullptr)
        return true;
    recent_.remove(p);
    updateRecentFilesMenu();
    return false;
}

void CMainFrame::updateRecentFilesMenu() {
    const auto& files = recent_.files();
    for (int i = 0; i < recentActions_.size(); ++i) {
        QAction* a = recentActions_[i];
        const bool used = i < static_cast<int>(files.size());
        a->setVisible(used);
        if (used) {
            const fs::path& p = files[static_cast<std::size_t>(i)];
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(shortPath(p)));
            a->setToolTip(q(p.string()));
            a->setStatusTip(q(p.string()));
        }
    }
    recentPlaceholder_->setVisible(files.empty());
}

CommandTarget CMainFrame::commandTarget() const {
    CommandTarget t;
    // The rules only look; the handlers run on the same target.
    t.frame = const_cast<CMainFrame*>(this);
    t.window = activeChromatogram();
    if (t.window != nullptr)
        t.view = t.window->view();
    if (QMdiSubWindow* w = mdi_->currentSubWindow();
        w != nullptr && t.window == nullptr && mdi_->subWindowList().contains(w))
        t.report = qobject_cast<CReportWnd*>(w);
    return t;
}

bool CMainFrame::isRecentFileCommand(int id) const {
    return id >= command::kRecentFile1 && id < command::kRecentFile1 + recent_.size();
}

bool CMainFrame::isCommandEnabled(int id) const {
    if (CRecordingWnd* r = activeRecording(); r != nullptr && CRecordingWnd::handles(id))
        return r->isCommandEnabled(id);
    if (const CommandEntry* c = findCommand(id))
        return zelmora::gui::isCommandEnabled(*c, commandTarget());
    if (isRecentFileCommand(id))
        return id - command::kRecentFile1 < static_cast<int>(recent_.files().size());
    if (CInstrumentControls::isDeviceCommand(id))
        return instruments_->isEnabled(id);
    return false;
}

bool CMainFrame::isCommandChecked(int id) const {
    if (activeRecording() != nullptr && CRecordingWnd::handles(id))
        return false;
    if (const CommandEntry* c = findCommand(id))
        return zelmora::gui::isCommandChecked(*c, commandTarget());
    if (CInstrumentControls::isDeviceCommand(id))
        return instruments_->isChecked(id);
    return false;
}

bool CMainFrame::runCommand(int id) {
    if (!isCommandEnabled(id)) {
        updateCommandStates();
        return false;
    }
    bool done = false;
    if (CRecordingWnd* r = activeRecording(); r != nullptr && CRecordingWnd::handles(id))
        done = r->runCommand(id);
    else if (const CommandEntry* c = findCommand(id))
        done = zelmora::gui::runCommand(*c, commandTarget());
    else if (isRecentFileCommand(id))
        done = openRecent(id - command::kRecentFile1);
    else if (CInstrumentControls::isDeviceCommand(id))
        done = instruments_->run(id);
    updateCommandStates();
    return done;
}

void CMainFrame::updateCommandStates() {
    const CommandTarget target = commandTarget();
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it) {
        QAction* a = it.value();
        const CommandEntry* c = findCommand(it.key());
        if (activeRecording() != nullptr && CRecordingWnd::handles(it.key())) {
            a->setEnabled(isCommandEnabled(it.key()));
            a->setVisible(true);
            continue;
        }
        if (c == nullptr) {
            a->setEnabled(isCommandEnabled(it.key()));
            continue;
        }
        a->setEnabled(zelmora::gui::isCommandEnabled(*c, target));
        if (a->isCheckable())
            a->setChecked(zelmora::gui::isCommandChecked(*c, target));
        a->setVisible(isCommandShown(*c, target) &&
                      (target.window != nullptr || !chromatogramItems_.contains(a)) &&
                      (target.report != nullptr || !reportItems_.contains(a)));
    }
    for (QAction* s : std::as_const(chromatogramSeparators_))
        s->setVisible(target.window != nullptr);
    for (QMenu* m : std::as_const(chromatogramMenus_))
        m->menuAction()->setVisible(target.window != nullptr);
    instruments_->updateStates();
}

void CMainFrame::closeUnattended() {
    unattended_ = true;
    // A dialog waiting for the operator would keep its own event loop, and
    // with it the program, running: cancel them, innermost first.
    for (int i = 0; i < 32; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }
    // Closed once the dialogs' loops have returned.
    QMetaObject::invokeMethod(
        this, [this] { close(); }, Qt::QueuedConnection);
}

bool CMainFrame::queryClose() {
    if (unattended_) {
        // The instruments are disconnected when the program ends; unsaved
        // chromatograms are kept as copies, their files left as they were.
        for (CChildFrame* c : chromatograms())
            c->keepChangesUnattended();
        for (QMdiSubWindow* w : mdi_->subWindowList()) {
            if (auto* r = qobject_cast<CReportWnd*>(w))
                r->keepChangesUnattended();
        }
        return true;
    }
    if (devices_ != nullptr && devices_->anyChannelRecording()) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Warning;
        r.text = QStringLiteral("Для завершения работы с программой необхоимо остановить запись.");
        showMessage(r);
        return false;
    }
    if (programOptions().confirmDisconnect && devices_ != nullptr && devices_->anyDeviceRunning()) {
        MessageRequest r;
        r.parent = this;
        r.icon = QMessageBox::Warning;
        r.caption = QStringLiteral("Предупреждение");
        r.text =
            QStringLiteral("Не все приборы отключены.\nВы действительно хотите завершить работу?");
        r.buttons = QMessageBox::Ok | QMessageBox::Cancel;
        if (showMessage(r) != QMessageBox::Ok)
            return false;
    }
    // The analysis queue's working copy is saved here once the queue is part
    // of the program.
    for (CChildFrame* c : chromatograms()) {
        if (!c->queryClose())
            return false;
    }
    // Reports edited and not saved are asked about as well.
    for (QMdiSubWindow* w : mdi_->subWindowList()) {
        if (auto* r = qobject_cast<CReportWnd*>(w); r != nullptr && !r->queryClose())
            return false;
    }
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!queryClose()) {
        event->ignore();
        return;
    }
    for (CChildFrame* c : chromatograms())
        c->setCloseConfirmed(true);
    for (QMdiSubWindow* w : mdi_->subWindowList()) {
        if (auto* r = qobject_cast<CReportWnd*>(w))
            r->setCloseConfirmed(true);
    }
    mdi_->closeAllSubWindows();
    if (const Status saved = queue_->save(); !saved.ok())
        CWorkLog::instance().write("! " + saved.message());
    event->accept();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData()->hasUrls())
        return;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    QList<fs::path> files;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files << fs::path(url.toLocalFile().toStdString());
    }
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    activateWindow();
    for (const fs::path& f : files)
        openAnyFile(f);
}

void CMainFrame::showOptions() {
    auto& settings = CProgramSettings::instance();
    CProgrammSetupSheet::Hooks hooks;
    // The access level may not change past "Наладчик КИПа" while an
    // instrument is connected.
    hooks.anyInstrumentConnected = [this] {
        return devices_ != nullptr && devices_->anyDeviceRunning();
    };
    CProgrammSetupSheet sheet(settings.options(), std::move(hooks), this);
    if (sheet.exec() != QDialog::Accepted)
        return;
    settings.setOptions(sheet.result());
    if (const Status saved = settings.save(); !saved)
        showFailure(this, saved, QStringLiteral("Не удалось сохранить настройки: %1"));
    // Every view redraws with the new display options.
    for (CChildFrame* c : chromatograms())
        c->updateViews();
    updateCommandStates();
}

void CMainFrame::showAbout() {
    const QString text = QStringLiteral("Zelmora\n%1 от %2\nСтабильная версия")
                             .arg(q(versionText()), q(buildDateText()));
    QMessageBox::about(this, QStringLiteral("О программе"), text);
}

void CMainFrame::setDeviceManager(CDeviceManager* devices) {
    devices_ = devices;
    rebuildBands();
    updateCommandStates();
}

void CMainFrame::showDeviceList() {
    if (devices_ == nullptr)
        return;
    CDeviceListDlg dlg(*devices_, this);
    dlg.exec();
    // The dialog changes the list as it goes: whatever was done stays.
    if (dlg.changed())
        deviceListChanged();
}

void CMainFrame::deviceListChanged() {
    if (devices_ != nullptr) {
        if (const Status saved = devices_->save(); !saved)
            showFailure(this, saved, QStringLiteral("Не удалось сохранить список приборов: %1"));
    }
    // The menu item that asked for the change may still be running.
    QMetaObject::invokeMethod(
        this, [this] { runCommand(command::kRebuildBars); }, Qt::QueuedConnection);
}

}  // namespace zelmora::gui

namespace zelmora::gui {

void CMainFrame::setDatabase(db::CAnalysesDatabase* database) {
    databaseWindows_->setDatabase(database);
    updateCommandStates();
}

void CMainFrame::showWorkLog() {
    if (workLog_ != nullptr) {
        workLog_->showNormal();
        workLog_->raise();
        workLog_->activateWindow();
        return;
    }
    fs::path file = CWorkLog::instance().path();
    if (file.empty())
        file = programOptions().logFolder() / CWorkLog::kFileName;
    auto* wnd = new CWorkLogWnd(file, this);
    workLog_ = wnd;
    wnd->show();
}

CWorkLogWnd* CMainFrame::workLogWindow() const {
    return static_cast<CWorkLogWnd*>(workLog_.data());
}

}  // namespace zelmora::gui
