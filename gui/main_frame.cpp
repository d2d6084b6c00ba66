#include "gui/main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>

#include "app/program_settings.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "gui/app/programm_setup_sheet.h"
#include "gui/command_ids.h"
#include "gui/document/child_frame.h"
#include "gui/document/chromatogram_browser_dlg.h"
#include "gui/document/zelmora_view.h"
#include "gui/file_dialogs.h"
#include "gui/instruments/device_list_dlg.h"
#include "gui/instruments/instrument_controls.h"
#include "gui/message_box.h"
#include "instruments/device_manager.h"
#include "processing/chromatogram_commands.h"

namespace zelmora::gui {
namespace fs = std::filesystem;

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

int doc(DocCommand c) {
    return static_cast<int>(c);
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

// Commands of windows and dialogs that are not part of the program yet:
// shown, but disabled.
bool notAvailableYet(int id) {
    using namespace command;
    switch (id) {
        case kMethodOpen:
        case kMethodNew:
        case kOpenReport:
        case kHelpContents:
        case kLicense:
        // The database windows and dialogs are not part of the desktop
        // program yet (the chromatograms save their results already).
        case kAnalyses:
        case kSamplingPoints:
        case kComponents:
        case kNewAnalysis:
        case kReportForPoint:
        case kReportForParam:
        case kReportForDate:
        case kCompactDatabase:
        case kRepairDatabase:
        case kStatistics:
        case kTransformerOil:
        case kNaturalGas:
        case kDensities:
        case kQueue:
        // The recording and report windows.
        case kStopRecording:
        case kStopSeries:
        case kAddFiveMinutes:
        case kReportSaveAs:
        case kReportPrint:
        case kZoomPage:
        case kZoomWidth:
        case kZoomNormal:
        case kPageNext:
        case kPagePrevious:
        case kPageFirst:
        case kPageLast:
            return true;
        default:
            return false;
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

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent), recent_(userSettings()) {
    setWindowTitle(QStringLiteral("Zelmora"));
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_);
    recent_.load();
    instruments_ = new CInstrumentControls(this, [this](int id) { return runCommand(id); });
    instruments_->setListChanged([this] { deviceListChanged(); });
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

CMainFrame::~CMainFrame() {
    // The windows outlive this object's members while QWidget deletes them:
    // nothing of theirs may call back.
    mdi_->disconnect(this);
    for (QMdiSubWindow* w : mdi_->subWindowList())
        w->disconnect(this);
}

QAction* CMainFrame::addAction(int id, const QString& text, const QString& tip, int icon,
                               bool checkable) {
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    const QString label = tab < 0 ? text : text.left(tab);
    auto* a = new QAction(label, this);
    if (tab >= 0)
        a->setShortcut(QKeySequence::fromString(text.mid(tab + 1), QKeySequence::PortableText));
    QString hint = tip;
    if (hint.isEmpty()) {
        hint = label;
        hint.remove(QLatin1Char('&'));
    }
    a->setToolTip(hint);
    a->setStatusTip(hint);
    if (icon >= 0)
        a->setIcon(style()->standardIcon(static_cast<QStyle::StandardPixmap>(icon)));
    a->setCheckable(checkable);
    a->setData(id);
    // Shortcuts work while the menu that shows them is hidden, too.
    QWidget::addAction(a);
    connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
    actions_.insert(id, a);
    return a;
}

void CMainFrame::createActions() {
    using namespace command;
    namespace vc = view_command;
    // File
    addAction(kFileOpen, QStringLiteral("&Открыть...\tCtrl+O"),
              QStringLiteral("Открыть хроматограмму"), QStyle::SP_DialogOpenButton);
    addAction(kFileClose, QStringLiteral("&Закрыть"), QStringLiteral("Закрыть хроматограмму"));
    addAction(kFileSave, QStringLiteral("&Сохранить\tCtrl+S"),
              QStringLiteral("Сохранить хроматограмму"), QStyle::SP_DialogSaveButton);
    addAction(kFileSaveAs, QStringLiteral("Сохранить &как..."),
              QStringLiteral("Сохранить хроматограмму под другим именем"));
    addAction(kOpenReport, QStringLiteral("Открыть &отчет..."));
    addAction(kFilePrint, QStringLiteral("&Печать..."));
    addAction(kFilePrintPreview, QStringLiteral("Пред&варительный просмотр"), {},
              QStyle::SP_FileDialogContentsView);
    addAction(kAppExit, QStringLiteral("&Выход"), QStringLiteral("Завершить работу с программой"));
    addAction(doc(DocCommand::ExportText), QStringLiteral("Э&кспорт хроматограммы"));
    addAction(doc(DocCommand::SaveToDatabase), QStringLiteral("Сохранить в &БД\tCtrl+Alt+S"));
    for (int i = 0; i < recent_.size(); ++i) {
        QAction* a = addAction(kRecentFile1 + i, QString::number(i + 1));
        recentActions_ << a;
    }
    // Edit and view
    addAction(doc(DocCommand::Undo), QStringLiteral("&Отменить\tCtrl+Z"), {}, QStyle::SP_ArrowBack);
    addAction(vc::kCopyTable, QStringLiteral("&Копировать таблицу пиков\tCtrl+C"))
        ->setShortcuts(
            {QKeySequence(QStringLiteral("Ctrl+C")), QKeySequence(QStringLiteral("Ctrl+Ins"))});
    addAction(vc::kShowAll, QStringLiteral("&Показать всё"))->setIconText(QStringLiteral("Всё"));
    addAction(vc::kAllByTime, QStringLiteral("Bсё по в&ремени"))->setIconText(QStringLiteral("↔"));
    addAction(vc::kAllByHeight, QStringLiteral("Bсё по &высоте"))->setIconText(QStringLiteral("↕"));
    addAction(doc(DocCommand::Passport), QStringLiteral("&Паспорт..."), {},
              QStyle::SP_FileDialogInfoView);
    addAction(doc(DocCommand::ChromatogramMethod), QStringLiteral("&Метод хроматограммы..."), {},
              QStyle::SP_FileDialogDetailedView);
    addAction(doc(DocCommand::ToggleGroups), {}, QStringLiteral("Показать/спрятать группы"), -1,
              true)
        ->setIconText(QStringLiteral("Гр"));
    // Peaks
    addAction(doc(DocCommand::Filter), QStringLiteral("&Фильтрация..."),
              QStringLiteral("Фильтрация хроматограммы"));
    addAction(doc(DocCommand::AutoMark), QStringLiteral("&Автоматически ..."),
              QStringLiteral("Автоматическая переразметка пиков"))
        ->setIconText(QStringLiteral("Авто"));
    addAction(vc::kAddPeak, QStringLiteral("&Добавить пик\tIns"), {}, -1, true)
        ->setIconText(QStringLiteral("+Пик"));
    addAction(vc::kUnresolvedLeft, QStringLiteral("Неразделённый слева"), {}, -1, true)
        ->setIconText(QStringLiteral("◁+"));
    addAction(vc::kUnresolvedRight, QStringLiteral("Неразделённый справа"), {}, -1, true)
        ->setIconText(QStringLiteral("+▷"));
    addAction(vc::kDeletePeak, QStringLiteral("&Удалить пик\tDel"))
        ->setIconText(QStringLiteral("−Пик"));
    addAction(doc(DocCommand::DeleteAll), QStringLiteral("Удалить &все\tAlt+Del"),
              QStringLiteral("Удалить все пики"))
        ->setIconText(QStringLiteral("−Все"));
    addAction(vc::kEventInterval, QStringLiteral("Событийность"),
              QStringLiteral("Событийность: событие разметки на интервале"), -1, true)
        ->setIconText(QStringLiteral("Соб"));
    addAction(vc::kCropInterval, {}, QStringLiteral("Обрезать хроматограмму по интервалу"), -1,
              true)
        ->setIconText(QStringLiteral("Обр"));
    addAction(vc::kInvertPeak, QStringLiteral("Инвертировать пик"));
    addAction(doc(DocCommand::DriftCompensation), {}, QStringLiteral("Компенсация дрейфа"))
        ->setIconText(QStringLiteral("Дрейф"));
    addAction(kApproximateClip, {}, QStringLiteral("Апроксимация урезанных пиков"))
        ->setIconText(QStringLiteral("Апр"));
    addAction(doc(DocCommand::Identify), QStringLiteral("&Идентификация"))
        ->setIconText(QStringLiteral("Ид"));
    addAction(doc(DocCommand::Concentrations), QStringLiteral("&Концентрации"))
        ->setIconText(QStringLiteral("Конц"));
    addAction(doc(DocCommand::CopyConcentrations), QStringLiteral("Скопировать концентрации"));
    addAction(doc(DocCommand::AddComponents), QStringLiteral("+ Ко&мпоненты"));
    addAction(doc(DocCommand::AddCalibrationLevel), QStringLiteral("+ Точка &градуировки"));
    addAction(doc(DocCommand::ExportToProgram), {}, QStringLiteral("Экспорт во внешнюю программу"))
        ->setIconText(QStringLiteral("XML"));
    addAction(kQueue, {}, QStringLiteral("Очередь КЖК"))->setIconText(QStringLiteral("КЖК"));
    // Report
    addAction(vc::kReport, QStringLiteral("О&тчёт...\tCtrl+P"), QStringLiteral("Отчёт"),
              QStyle::SP_FileIcon);
    addAction(vc::kReportPrint, {}, QStringLiteral("Печать отчёта"))
        ->setIconText(QStringLiteral("Печ"));
    // Method
    addAction(kMethodOpen, QStringLiteral("&Открыть..."), QStringLiteral("Открыть метод"));
    addAction(kMethodNew, QStringLiteral("&Новый"), QStringLiteral("Новый метод"));
    // Database
    addAction(kAnalyses, QStringLiteral("&Анализы"));
    addAction(kSamplingPoints, QStringLiteral("&Точки отбора"));
    addAction(kComponents, QStringLiteral("&Компоненты"));
    addAction(kNewAnalysis, QStringLiteral("&Новый анализ"));
    addAction(kReportForPoint, QStringLiteral("&точки отбора"),
              QStringLiteral("Отчёт для точки отбора"));
    addAction(kReportForParam, QStringLiteral("&компонента"),
              QStringLiteral("Отчёт для параметра"));
    addAction(kReportForDate, QStringLiteral("&даты"), QStringLiteral("Отчёт для даты"));
    addAction(doc(DocCommand::FindInDatabase), QStringLiteral("&Найти в БД"));
    addAction(doc(DocCommand::CriticalValues), QStringLiteral("Крит. значения"));
    addAction(kCompactDatabase, QStringLiteral("&Сжатие БД"));
    addAction(kRepairDatabase, QStringLiteral("&Реставрация БД"));
    // Data
    addAction(kStatistics, QStringLiteral("Стат&истика..."));
    addAction(kCombine, QStringLiteral("&Объединить..."));
    addAction(kTransformerOil, QStringLiteral("Расчет &трансформаторного масла..."));
    addAction(kNaturalGas, QStringLiteral("Природный газ"));
    addAction(doc(DocCommand::VolumeToMass), QStringLiteral("Объемные -> Массовые"));
    addAction(doc(DocCommand::MassToVolume), QStringLiteral("Массовые -> Объемные"));
    addAction(kDensities, QStringLiteral("Настройка"), QStringLiteral("Плотности веществ"));
    // Service, windows, help
    addAction(kConnection, QStringLiteral("По&дключение..."));
    addAction(kOptions, QStringLiteral("&Опции ..."));
    addAction(kWindowCascade, QStringLiteral("&Каскадом"));
    addAction(kWindowTile, QStringLiteral("&Мозаикой"));
    addAction(kHelpContents, QStringLiteral("&Содержание"), QStringLiteral("Справка"))
        ->setIconText(QStringLiteral("?"));
    addAction(kLicense, QStringLiteral("Лицензионное соглашение"));
    addAction(kAppAbout, QStringLiteral("&О программе..."));
    // The recording window
    addAction(kStopRecording, QStringLiteral("Остановить запись"), {}, QStyle::SP_MediaStop);
    addAction(kStopSeries, QStringLiteral("Остановить запись серии анализов"))
        ->setIconText(QStringLiteral("Серия"));
    addAction(kAddFiveMinutes, QStringLiteral("Добавить 5 минут"))
        ->setIconText(QStringLiteral("+5"));
    // The report windows
    addAction(kReportSaveAs, QStringLiteral("&Сохранить в формате..."), {}, QStyle::SP_DriveFDIcon);
    addAction(kReportPrint, QStringLiteral("&Печатать"))->setIconText(QStringLiteral("Печ"));
    addAction(kZoomNormal, QStringLiteral("Показать в нормальном масштабе"))
        ->setIconText(QStringLiteral("1:1"));
    addAction(kZoomWidth, QStringLiteral("Показать всю страницу по ширине"))
        ->setIconText(QStringLiteral("↔"));
    addAction(kZoomPage, QStringLiteral("Показать всю страницу"))->setIconText(QStringLiteral("□"));
    addAction(kPageFirst, QStringLiteral("Первая страница"), {}, QStyle::SP_MediaSkipBackward);
    addAction(kPagePrevious, QStringLiteral("Предыдущая страница"), {},
              QStyle::SP_MediaSeekBackward);
    addAction(kPageNext, QStringLiteral("Следующая страница"), {}, QStyle::SP_MediaSeekForward);
    addAction(kPageLast, QStringLiteral("Последняя страница"), {}, QStyle::SP_MediaSkipForward);
}

void CMainFrame::buildMenus() {
    using namespace command;
    namespace vc = view_command;
    QMenuBar* bar = menuBar();
    const auto add = [this](QMenu* menu, int id, bool chromatogramOnly = false) {
        menu->addAction(action(id));
        if (chromatogramOnly)
            chromatogramOnly_ << action(id);
    };
    const auto chromatogramMenu = [this, bar](const QString& title) {
        QMenu* m = bar->addMenu(title);
        chromatogramOnly_ << m->menuAction();
        return m;
    };

    fileMenu_ = bar->addMenu(QStringLiteral("&Файл"));
    add(fileMenu_, kFileOpen);
    add(fileMenu_, kFileClose, true);
    add(fileMenu_, kFileSave, true);
    add(fileMenu_, kFileSaveAs, true);
    chromatogramOnly_ << fileMenu_->addSeparator();
    add(fileMenu_, doc(DocCommand::ExportText), true);
    add(fileMenu_, doc(DocCommand::SaveToDatabase), true);
    fileMenu_->addSeparator();
    add(fileMenu_, kOpenReport);
    recentSeparator_ = fileMenu_->addSeparator();
    recentPlaceholder_ = fileMenu_->addAction(QStringLiteral("Последний файл"));
    recentPlaceholder_->setEnabled(false);
    for (QAction* a : recentActions_)
        fileMenu_->addAction(a);
    fileMenu_->addSeparator();
    add(fileMenu_, kAppExit);
    updateRecentFilesMenu();

    QMenu* edit = chromatogramMenu(QStringLiteral("&Правка"));
    add(edit, doc(DocCommand::Undo));
    edit->addSeparator();
    add(edit, vc::kCopyTable);

    QMenu* view = chromatogramMenu(QStringLiteral("&Вид"));
    add(view, vc::kShowAll);
    add(view, vc::kAllByTime);
    add(view, vc::kAllByHeight);
    view->addSeparator();
    add(view, doc(DocCommand::Passport));
    add(view, doc(DocCommand::ChromatogramMethod));

    QMenu* peaks = chromatogramMenu(QStringLiteral("П&ики"));
    add(peaks, doc(DocCommand::Filter));
    add(peaks, doc(DocCommand::AutoMark));
    peaks->addSeparator();
    add(peaks, vc::kAddPeak);
    add(peaks, vc::kUnresolvedLeft);
    add(peaks, vc::kUnresolvedRight);
    add(peaks, vc::kDeletePeak);
    add(peaks, doc(DocCommand::DeleteAll));
    peaks->addSeparator();
    add(peaks, vc::kEventInterval);
    add(peaks, vc::kInvertPeak);
    peaks->addSeparator();
    add(peaks, doc(DocCommand::Identify));
    add(peaks, doc(DocCommand::Concentrations));
    add(peaks, doc(DocCommand::CopyConcentrations));
    peaks->addSeparator();
    add(peaks, doc(DocCommand::AddComponents));
    add(peaks, doc(DocCommand::AddCalibrationLevel));

    QMenu* report = chromatogramMenu(QStringLiteral("О&тчёт"));
    add(report, vc::kReport);

    QMenu* method = bar->addMenu(QStringLiteral("&Метод"));
    add(method, kMethodOpen);
    add(method, kMethodNew);

    QMenu* database = bar->addMenu(QStringLiteral("&База данных"));
    add(database, kAnalyses);
    add(database, kSamplingPoints);
    add(database, kComponents);
    add(database, kNewAnalysis);
    QMenu* reportFor = database->addMenu(QStringLiteral("Отчёт для"));
    add(reportFor, kReportForPoint);
    add(reportFor, kReportForParam);
    add(reportFor, kReportForDate);
    chromatogramOnly_ << database->addSeparator();
    add(database, doc(DocCommand::FindInDatabase), true);
    add(database, doc(DocCommand::CriticalValues), true);
    database->addSeparator();
    add(database, kCompactDatabase);
    add(database, kRepairDatabase);

    QMenu* data = bar->addMenu(QStringLiteral("&Данные"));
    add(data, kStatistics);
    add(data, kCombine);
    add(data, kTransformerOil);
    add(data, kNaturalGas);
    QMenu* percents = data->addMenu(QStringLiteral("Объемные/массовые проценты"));
    add(percents, doc(DocCommand::VolumeToMass), true);
    add(percents, doc(DocCommand::MassToVolume), true);
    chromatogramOnly_ << percents->addSeparator();
    add(percents, kDensities);

    bar->addMenu(instruments_->menu());

    QMenu* service = bar->addMenu(QStringLiteral("&Сервис"));
    add(service, kConnection);
    service->addSeparator();
    add(service, kOptions);

    windowMenu_ = bar->addMenu(QStringLiteral("&Окно"));
    connect(windowMenu_, &QMenu::aboutToShow, this, &CMainFrame::updateWindowMenu);
    updateWindowMenu();

    QMenu* help = bar->addMenu(QStringLiteral("&Справка"));
    add(help, kHelpContents);
    add(help, kLicense);
    help->addSeparator();
    add(help, kAppAbout);

    // Every menu shows the states of the moment it opens.
    for (QMenu* m : bar->findChildren<QMenu*>())
        connect(m, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);
}

void CMainFrame::updateWindowMenu() {
    windowMenu_->clear();
    windowMenu_->addAction(action(command::kWindowCascade));
    windowMenu_->addAction(action(command::kWindowTile));
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
    for (QAction* a : std::as_const(chromatogramOnly_))
        a->setVisible(child != nullptr);
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
    CChildFrame* raw = child.release();
    mdi_->addSubWindow(raw);
    connectChromatogram(raw);
    const QSize area = mdi_->viewport()->size();
    if (area.width() > 200 && area.height() > 150)
        raw->resize(area * 0.85);
    raw->show();
    mdi_->setActiveSubWindow(raw);
    recent_.add(p);
    updateRecentFilesMenu();
    activeWindowChanged();
    return raw;
}

void CMainFrame::openWithDialog() {
    // "Добавить в БД" saves a chromatogram that is open here with its window.
    CChromatogramBrowserDlg::saveOpenChromatogram =
        [this](const fs::path& file) -> std::optional<bool> {
        for (CChildFrame* c : chromatograms())
            if (c->document().pathName() == file.lexically_normal())
                return c->saveTo(file);
        return std::nullopt;
    };
    const std::vector<fs::path> files = BrowseChromatograms(CChromatogramBrowserDlg::Open, this);
    CChromatogramBrowserDlg::saveOpenChromatogram = nullptr;
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

bool CMainFrame::isCommandEnabled(int id) const {
    using namespace command;
    if (notAvailableYet(id))
        return false;
    switch (id) {
        case kFileOpen:
        case kAppExit:
        case kAppAbout:
        case kOptions:
        case kRebuildBars:
            return true;
        case kConnection:
            return devices_ != nullptr;
        case kWindowCascade:
        case kWindowTile:
            return !mdi_->subWindowList().isEmpty();
        default:
            break;
    }
    if (id >= kRecentFile1 && id < kRecentFile1 + recent_.size())
        return id - kRecentFile1 < static_cast<int>(recent_.files().size());
    if (CInstrumentControls::isDeviceCommand(id))
        return instruments_->isEnabled(id);
    if (const CChildFrame* c = activeChromatogram())
        return c->isCommandEnabled(id);
    return false;
}

bool CMainFrame::isCommandChecked(int id) const {
    if (CInstrumentControls::isDeviceCommand(id))
        return instruments_->isChecked(id);
    if (const CChildFrame* c = activeChromatogram())
        return c->isCommandChecked(id);
    return false;
}

bool CMainFrame::runCommand(int id) {
    using namespace command;
    if (!isCommandEnabled(id)) {
        updateCommandStates();
        return false;
    }
    bool done = true;
    if (id == kFileOpen) {
        openWithDialog();
    } else if (id == kAppExit) {
        done = close();
    } else if (id == kAppAbout) {
        const QString text = QStringLiteral("Zelmora\n%1 от %2\nСтабильная версия")
                                 .arg(q(versionText()), q(buildDateText()));
        QMessageBox::about(this, QStringLiteral("О программе"), text);
    } else if (id == kOptions) {
        showOptions();
    } else if (id == kConnection) {
        showDeviceList();
    } else if (id == kRebuildBars) {
        rebuildBands();
    } else if (CInstrumentControls::isDeviceCommand(id)) {
        done = instruments_->run(id);
    } else if (id == kWindowCascade) {
        mdi_->cascadeSubWindows();
    } else if (id == kWindowTile) {
        mdi_->tileSubWindows();
    } else if (id >= kRecentFile1 && id < kRecentFile1 + recent_.size()) {
        done = openRecent(id - kRecentFile1);
    } else if (CChildFrame* c = activeChromatogram()) {
        done = c->runCommand(id);
    } else {
        done = false;
    }
    updateCommandStates();
    return done;
}

void CMainFrame::updateCommandStates() {
    // The queue's buttons show only while the queue is in use.
    const bool queue = programOptions().enableKGK;
    for (auto it = actions_.cbegin(); it != actions_.cend(); ++it) {
        const int id = it.key();
        QAction* a = it.value();
        a->setEnabled(isCommandEnabled(id));
        if (a->isCheckable())
            a->setChecked(isCommandChecked(id));
        if (id == command::kQueue || id == static_cast<int>(DocCommand::ExportToProgram))
            a->setVisible(queue);
    }
    instruments_->updateStates();
}

bool CMainFrame::queryClose() {
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
    return true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!queryClose()) {
        event->ignore();
        return;
    }
    for (CChildFrame* c : chromatograms())
        c->setCloseConfirmed(true);
    mdi_->closeAllSubWindows();
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
        openDocument(f);
}

void CMainFrame::showOptions() {
    auto& settings = CProgramSettings::instance();
    CProgrammSetupSheet sheet(settings.options(), {}, this);
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
