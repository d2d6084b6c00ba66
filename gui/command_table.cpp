#include "gui/command_table.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMessageBox>
#include <QStyle>
#include <QWidget>
#include <type_traits>

#include "app/program_settings.h"
#include "gui/calc/combine_tables_dlg.h"
#include "gui/calc/density_table_dlg.h"
#include "gui/calc/prirod_gase_dlg.h"
#include "gui/calc/transform_oil_dlg.h"
#include "gui/command_ids.h"
#include "gui/database/database_windows.h"
#include "gui/document/child_frame.h"
#include "gui/document/zelmora_view.h"
#include "gui/main_frame.h"
#include "gui/method/method_commands.h"
#include "gui/reports/chromatogram_report.h"
#include "gui/reports/db_report_dlg.h"
#include "gui/reports/report_wnd.h"
#include "gui/reports/stat_wnd.h"
#include "processing/chromatogram_commands.h"
#include "processing/peak_integration.h"

namespace zelmora::gui {
namespace {

using namespace command;
using Tool = CZelmoraView::Tool;

ChromatogramCommands& commands(const CommandTarget& t) {
    return t.window->commands();
}

// The peak selected in the view, or null.
const Peak* selectedPeak(const CommandTarget& t) {
    return t.view->document().peak(t.view->selectedPeak());
}

bool queueInUse(const CommandTarget&) {
    return programOptions().enableKGK;
}

bool viewIdle(const CommandTarget& t) {
    return t.view->idle();
}

bool anyWindow(const CommandTarget& t) {
    return !t.frame->mdiArea()->subWindowList().isEmpty();
}

bool withMethod(const CommandTarget& t) {
    return commands(t).hasMethod();
}

bool addsToMethod(const CommandTarget& t) {
    return commands(t).canAddToMethod();
}

bool databaseOpen(const CommandTarget& t) {
    return t.frame != nullptr && t.frame->databaseWindows().isOpen();
}

// The database commands, on the frame's database windows.
template <bool (CDatabaseWindows::*f)()>
bool onDatabase(const CommandTarget& t) {
    return (t.frame->databaseWindows().*f)();
}

template <bool (CDatabaseWindows::*f)(CChildFrame&)>
bool onDatabaseWindow(const CommandTarget& t) {
    return t.frame != nullptr && (t.frame->databaseWindows().*f)(*t.window);
}

bool withSelectedPeak(const CommandTarget& t) {
    return selectedPeak(t) != nullptr;
}

// The report of the view's chromatogram with request `request`.
template <int request>
bool chromatogramReport(const CommandTarget& t) {
    QWidget* near = t.window != nullptr ? static_cast<QWidget*>(t.window) : t.view;
    const QString title = t.window != nullptr
                              ? t.window->titleText()
                              : QString::fromStdString(t.view->document().makeTitle());
    return openChromatogramReport(near, t.view->document(), title, request).made;
}

bool inPageView(const CommandTarget& t) {
    return t.report->pageView();
}

// A database report's page commands go as far as its pages: none on a
// one-page report. In other reports they stop at the first and last page.
bool hasPageBefore(const CommandTarget& t) {
    return inPageView(t) && (!t.report->isDatabaseReport() || t.report->currentPage() > 1);
}

bool hasPageAfter(const CommandTarget& t) {
    return inPageView(t) &&
           (!t.report->isDatabaseReport() || t.report->currentPage() < t.report->pageCount());
}

// A member of the report window that only moves its page view.
template <void (CReportWnd::*f)()>
bool onPages(const CommandTarget& t) {
    (t.report->*f)();
    return true;
}

// Handlers that call one member of the frame, the chromatogram window, its
// commands or its view; a member without a result always succeeds.
template <auto f, typename T>
bool call(T* object) {
    using R = decltype((object->*f)());
    if constexpr (std::is_void_v<R>) {
        (object->*f)();
        return true;
    } else if constexpr (std::is_same_v<R, CommandResult>) {
        // The commands have shown their failure already.
        return isDone((object->*f)());
    } else {
        return (object->*f)();
    }
}

template <auto f>
bool onFrame(const CommandTarget& t) {
    return call<f>(t.frame);
}

template <auto f>
bool onWindow(const CommandTarget& t) {
    return call<f>(t.window);
}

template <auto f>
bool onDocument(const CommandTarget& t) {
    return call<f>(&commands(t));
}

template <auto f>
bool onView(const CommandTarget& t) {
    return call<f>(t.view);
}

// The two-click tools: adding a peak, a marking event, cropping.
template <Tool tool>
bool toolActive(const CommandTarget& t) {
    return t.view->tool() == tool;
}

template <Tool tool>
bool startTool(const CommandTarget& t) {
    t.view->enterTool(tool, 1);
    return true;
}

// The unresolved peak on side `side` of the selected one, which must not
// have a neighbour there already.
template <int side>
bool canAddUnresolved(const CommandTarget& t) {
    const Peak* p = selectedPeak(t);
    return t.view->idle() && p != nullptr &&
           (side == kAdjacentLeft ? p->prevInGroup : p->nextInGroup) < 0;
}

template <int side>
bool unresolvedActive(const CommandTarget& t) {
    return t.view->unresolvedSide() == side;
}

template <int side>
bool startUnresolved(const CommandTarget& t) {
    t.view->enterTool(Tool::Unresolved, side);
    return true;
}

constexpr MenuDescription kMenus[] = {
    {Menu::File, Menu::None, "&Файл"},
    {Menu::Edit, Menu::None, "&Правка"},
    {Menu::View, Menu::None, "&Вид"},
    {Menu::Peaks, Menu::None, "П&ики"},
    {Menu::Report, Menu::None, "О&тчёт"},
    {Menu::Method, Menu::None, "&Метод"},
    {Menu::Database, Menu::None, "&База данных"},
    {Menu::Data, Menu::None, "&Данные"},
    {Menu::Devices, Menu::None, nullptr},  // CInstrumentControls::menu()
    {Menu::Service, Menu::None, "&Сервис"},
    {Menu::Window, Menu::None, "&Окно"},
    {Menu::Help, Menu::None, "&Справка"},
    {Menu::DatabaseReportFor, Menu::Database, "Отчёт для"},
    {Menu::DataPercents, Menu::Data, "Объемные/массовые проценты"},
};

// In menu order; commands that stand in no menu beside their kin.
const CommandEntry kCommands[] = {
    // --- "&Файл"
    {.id = kFileOpen,
     .label = "&Открыть...\tCtrl+O",
     .hint = "Открыть хроматограмму",
     .icon = QStyle::SP_DialogOpenButton,
     .menu = Menu::File,
     .run = onFrame<&CMainFrame::openWithDialog>},
    {.id = kImport,
     .label = "&Импорт...",
     .hint = "Открыть хроматограмму другой системы: AIA/ANDI (*.cdf) или CSV",
     .menu = Menu::File,
     .run = onFrame<&CMainFrame::importWithDialog>},
    {.id = kFileClose,
     .label = "&Закрыть",
     .hint = "Закрыть хроматограмму",
     .needs = Needs::Chromatogram,
     .menu = Menu::File,
     .run = onWindow<&CChildFrame::close>},
    {.id = kFileSave,
     .label = "&Сохранить\tCtrl+S",
     .hint = "Сохранить хроматограмму",
     .icon = QStyle::SP_DialogSaveButton,
     .needs = Needs::Chromatogram,
     .menu = Menu::File,
     .run = onWindow<&CChildFrame::save>},
    {.id = kFileSaveAs,
     .label = "Сохранить &как...",
     .hint = "Сохранить хроматограмму под другим именем",
     .needs = Needs::Chromatogram,
     .menu = Menu::File,
     .run = onWindow<&CChildFrame::saveAs>},
    {.id = kExportText,
     .label = "Э&кспорт хроматограммы",
     .needs = Needs::Chromatogram,
     .menu = Menu::File,
     .separator = Separator::WithChromatogram,
     .run = [](const CommandTarget& t) { return commands(t).ExportText(); }},
    {.id = kExportAia,
     .label = "Экспорт в AIA/ANDI...",
     .hint = "Записать хроматограмму с пиками и паспортом в файл AIA/ANDI (netCDF)",
     .needs = Needs::Chromatogram,
     .menu = Menu::File,
     .run = onWindow<&CChildFrame::exportAia>},
    {.id = kSaveToDatabase,
     .label = "Сохранить в &БД\tCtrl+Alt+S",
     .needs = Needs::Chromatogram,
     .menu = Menu::File,
     .run = onDocument<&ChromatogramCommands::SaveToDatabase>},
    {.id = kOpenReport,
     .label = "Открыть &отчет...",
     .hint = "Открыть сохранённый отчёт (*.rtf)",
     .menu = Menu::File,
     .separator = Separator::Always,
     .run = [](const CommandTarget& t) { return openReportWithDialog(t.frame) != nullptr; }},
    // The report window's file commands.
    {.id = kReportSaveAs,
     .label = "&Сохранить в формате...",
     .hint = "Сохранить отчёт как RTF или PDF",
     .icon = QStyle::SP_DriveFDIcon,
     .needs = Needs::Report,
     .menu = Menu::File,
     .run = [](const CommandTarget& t) { return t.report->saveAs(); }},
    {.id = kFilePrintPreview,
     .label = "Пред&варительный просмотр",
     .hint = "Страницы отчёта, как они будут напечатаны",
     .icon = QStyle::SP_FileDialogContentsView,
     .checkable = true,
     .needs = Needs::Report,
     .menu = Menu::File,
     .checked = inPageView,
     .run =
         [](const CommandTarget& t) {
             t.report->setPageView(!t.report->pageView());
             return true;
         }},
    {.id = kReportPrint,
     .label = "&Печатать",
     .hint = "Печатать отчёт",
     .toolbarText = "Печ",
     .needs = Needs::Report,
     .menu = Menu::File,
     .run = [](const CommandTarget& t) { return t.report->print(); }},
    {.label = "Последний файл",
     .menu = Menu::File,
     .separator = Separator::Always,
     .recentFiles = true},
    {.id = kAppExit,
     .label = "&Выход",
     .hint = "Завершить работу с программой",
     .menu = Menu::File,
     .separator = Separator::Always,
     .run = onFrame<&CMainFrame::close>},
    // Never enabled: a report prints with "&Печатать" of its window.
    {.id = kFilePrint, .label = "&Печать..."},

    // --- "&Правка"
    {.id = kUndo,
     .label = "&Отменить\tCtrl+Z",
     .icon = QStyle::SP_ArrowBack,
     .needs = Needs::Chromatogram,
     .menu = Menu::Edit,
     .enabled = [](const CommandTarget& t) { return commands(t).canUndo(); },
     .run = onDocument<&ChromatogramCommands::Undo>},
    {.id = kCopyTable,
     .label = "&Копировать таблицу пиков\tCtrl+C",
     .moreKeys = "Ctrl+Ins",
     .needs = Needs::View,
     .menu = Menu::Edit,
     .separator = Separator::Always,
     .run = onView<&CZelmoraView::copyTable>},

    // --- "&Вид"
    {.id = kShowAll,
     .label = "&Показать всё",
     .toolbarText = "Всё",
     .needs = Needs::View,
     .menu = Menu::View,
     .enabled =
         [](const CommandTarget& t) { return !(t.view->timeFull() && t.view->signalFull()); },
     .run = onView<&CZelmoraView::showAll>},
    {.id = kAllByTime,
     .label = "Bсё по в&ремени",
     .toolbarText = "↔",
     .needs = Needs::View,
     .menu = Menu::View,
     .enabled = [](const CommandTarget& t) { return !t.view->timeFull(); },
     .run = onView<&CZelmoraView::showAllTimes>},
    {.id = kAllByHeight,
     .label = "Bсё по &высоте",
     .toolbarText = "↕",
     .needs = Needs::View,
     .menu = Menu::View,
     .enabled = [](const CommandTarget& t) { return !t.view->signalFull(); },
     .run = onView<&CZelmoraView::showAllHeights>},
    {.id = kPassport,
     .label = "&Паспорт...",
     .icon = QStyle::SP_FileDialogInfoView,
     .needs = Needs::Chromatogram,
     .menu = Menu::View,
     .separator = Separator::Always,
     .run = onDocument<&ChromatogramCommands::EditPassport>},
    {.id = kChromatogramMethod,
     .label = "&Метод хроматограммы...",
     .icon = QStyle::SP_FileDialogDetailedView,
     .needs = Needs::Chromatogram,
     .menu = Menu::View,
     .enabled = withMethod,
     .run = onDocument<&ChromatogramCommands::ShowMethod>},
    {.id = kToggleGroups,
     .hint = "Показать/спрятать группы",
     .toolbarText = "Гр",
     .checkable = true,
     .needs = Needs::Chromatogram,
     .checked = [](const CommandTarget& t) { return commands(t).showGroups(); },
     .run = onDocument<&ChromatogramCommands::ToggleGroups>},

    // --- "П&ики"
    {.id = kFilter,
     .label = "&Фильтрация...",
     .hint = "Фильтрация хроматограммы",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .run = onDocument<&ChromatogramCommands::Filter>},
    {.id = kAutoMark,
     .label = "&Автоматически ...",
     .hint = "Автоматическая переразметка пиков",
     .toolbarText = "Авто",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .run = onDocument<&ChromatogramCommands::AutoMark>},
    {.id = kAddPeak,
     .label = "&Добавить пик\tIns",
     .toolbarText = "+Пик",
     .checkable = true,
     .needs = Needs::View,
     .menu = Menu::Peaks,
     .separator = Separator::Always,
     .enabled = viewIdle,
     .checked = toolActive<Tool::AddPeak>,
     .run = startTool<Tool::AddPeak>},
    {.id = kUnresolvedLeft,
     .label = "Неразделённый слева",
     .toolbarText = "◁+",
     .checkable = true,
     .needs = Needs::View,
     .menu = Menu::Peaks,
     .enabled = canAddUnresolved<kAdjacentLeft>,
     .checked = unresolvedActive<kAdjacentLeft>,
     .run = startUnresolved<kAdjacentLeft>},
    {.id = kUnresolvedRight,
     .label = "Неразделённый справа",
     .toolbarText = "+▷",
     .checkable = true,
     .needs = Needs::View,
     .menu = Menu::Peaks,
     .enabled = canAddUnresolved<kAdjacentRight>,
     .checked = unresolvedActive<kAdjacentRight>,
     .run = startUnresolved<kAdjacentRight>},
    {.id = kDeletePeak,
     .label = "&Удалить пик\tDel",
     .toolbarText = "−Пик",
     .needs = Needs::View,
     .menu = Menu::Peaks,
     .enabled = withSelectedPeak,
     .run = onView<&CZelmoraView::deleteSelectedPeak>},
    {.id = kDeleteAll,
     .label = "Удалить &все\tAlt+Del",
     .hint = "Удалить все пики",
     .toolbarText = "−Все",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .run = onDocument<&ChromatogramCommands::DeleteAll>},
    {.id = kEventInterval,
     .label = "Событийность",
     .hint = "Событийность: событие разметки на интервале",
     .toolbarText = "Соб",
     .checkable = true,
     .needs = Needs::View,
     .menu = Menu::Peaks,
     .separator = Separator::Always,
     .enabled = viewIdle,
     .checked = toolActive<Tool::EventInterval>,
     .run = startTool<Tool::EventInterval>},
    {.id = kInvertPeak,
     .label = "Инвертировать пик",
     .needs = Needs::View,
     .menu = Menu::Peaks,
     .enabled = withSelectedPeak,
     .run = onView<&CZelmoraView::invertSelectedPeak>},
    {.id = kCropInterval,
     .hint = "Обрезать хроматограмму по интервалу",
     .toolbarText = "Обр",
     .checkable = true,
     .needs = Needs::View,
     .enabled = viewIdle,
     .checked = toolActive<Tool::CropInterval>,
     .run = startTool<Tool::CropInterval>},
    {.id = kDriftCompensation,
     .hint = "Компенсация дрейфа",
     .toolbarText = "Дрейф",
     .needs = Needs::Chromatogram,
     .run = onDocument<&ChromatogramCommands::CompensateDrift>},
    {.id = kApproximateClip,
     .hint = "Апроксимация урезанных пиков",
     .toolbarText = "Апр",
     .needs = Needs::View,
     .enabled = [](const CommandTarget& t) { return t.view->selectedPeak() >= 0; },
     .run =
         [](const CommandTarget& t) {
             // Only the tallest peak can be rebuilt: any other is a failed edit.
             const bool done = t.view->commands().ApproximateClippedPeak(t.view->selectedPeak());
             if (!done)
                 QApplication::beep();
             return done;
         }},
    {.id = kIdentify,
     .label = "&Идентификация",
     .toolbarText = "Ид",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .separator = Separator::Always,
     .enabled = withMethod,
     .run = onDocument<&ChromatogramCommands::Identify>},
    {.id = kConcentrations,
     .label = "&Концентрации",
     .toolbarText = "Конц",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .enabled = withMethod,
     .run = onDocument<&ChromatogramCommands::Concentrations>},
    {.id = kCopyConcentrations,
     .label = "Скопировать концентрации",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .run = onDocument<&ChromatogramCommands::CopyConcentrations>},
    {.id = kAddComponents,
     .label = "+ Ко&мпоненты",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .separator = Separator::Always,
     .enabled = addsToMethod,
     .run = onDocument<&ChromatogramCommands::AddComponents>},
    {.id = kAddCalibrationLevel,
     .label = "+ Точка &градуировки",
     .needs = Needs::Chromatogram,
     .menu = Menu::Peaks,
     .enabled = addsToMethod,
     .run = onDocument<&ChromatogramCommands::AddCalibrationLevel>},
    {.id = kExportToProgram,
     .hint = "Экспорт во внешнюю программу",
     .toolbarText = "XML",
     .needs = Needs::Chromatogram,
     .shown = queueInUse,
     .run =
         [](const CommandTarget& t) {
             if (!commands(t).ExportToProgram())
                 return false;
             // The outside program took the results and the chromatogram is saved.
             if (commands(t).closeRequested())
                 t.window->close();
             return true;
         }},
    {.id = kQueue,
     .hint = "Очередь КЖК",
     .toolbarText = "КЖК",
     .shown = queueInUse,
     .run =
         [](const CommandTarget& t) {
             t.frame->showQueue();
             return true;
         }},

    // --- "О&тчёт"
    {.id = kChromatogramReport,
     .label = "О&тчёт...\tCtrl+P",
     .hint = "Отчёт",
     .icon = QStyle::SP_FileIcon,
     .needs = Needs::View,
     .menu = Menu::Report,
     .run = chromatogramReport<kReportInteractive>},
    {.id = kPrintChromatogramReport,
     .hint = "Печать отчёта",
     .toolbarText = "Печ",
     .needs = Needs::View,
     .run = chromatogramReport<kReportPrintAndClose>},

    // --- "&Метод"
    {.id = kMethodOpen,
     .label = "&Открыть...",
     .hint = "Открыть метод",
     .menu = Menu::Method,
     .run = [](const CommandTarget& t) { return openMethod(t.frame).has_value(); }},
    {.id = kMethodNew,
     .label = "&Новый",
     .hint = "Новый метод",
     .menu = Menu::Method,
     .run =
         [](const CommandTarget& t) { return newMethod(t.frame) != MethodSheetResult::Cancelled; }},

    // --- "&База данных"
    {.id = kAnalyses,
     .label = "&Анализы",
     .menu = Menu::Database,
     .enabled = databaseOpen,
     .run = onDatabase<&CDatabaseWindows::showAnalyses>},
    {.id = kSamplingPoints,
     .label = "&Точки отбора",
     .menu = Menu::Database,
     .enabled = databaseOpen,
     .run = onDatabase<&CDatabaseWindows::showSamplingPoints>},
    {.id = kComponents,
     .label = "&Компоненты",
     .menu = Menu::Database,
     .enabled = databaseOpen,
     .run = onDatabase<&CDatabaseWindows::showComponents>},
    {.id = kNewAnalysis,
     .label = "&Новый анализ",
     .menu = Menu::Database,
     .enabled = databaseOpen,
     .run = onDatabase<&CDatabaseWindows::newAnalysis>},
    // The database reports are not part of the program yet.
    {.id = kReportForPoint,
     .label = "&точки отбора",
     .hint = "Отчёт для точки отбора",
     .menu = Menu::DatabaseReportFor,
     .run =
         [](const CommandTarget& t) { return runDbReportCommand(DbReportKind::Place, t.frame); }},
    {.id = kReportForParam,
     .label = "&компонента",
     .hint = "Отчёт для параметра",
     .menu = Menu::DatabaseReportFor,
     .run =
         [](const CommandTarget& t) {
             return runDbReportCommand(DbReportKind::Parametr, t.frame);
         }},
    {.id = kReportForDate,
     .label = "&даты",
     .hint = "Отчёт для даты",
     .menu = Menu::DatabaseReportFor,
     .run = [](const CommandTarget& t) { return runDbReportCommand(DbReportKind::Date, t.frame); }},
    {.id = kFindInDatabase,
     .label = "&Найти в БД",
     .needs = Needs::Chromatogram,
     .menu = Menu::Database,
     .separator = Separator::WithChromatogram,
     .enabled =
         [](const CommandTarget& t) {
             return databaseOpen(t) && t.window->document().passport.databaseKey > 0;
         },
     .run = onDatabaseWindow<&CDatabaseWindows::findInDatabase>},
    {.id = kCriticalValues,
     .label = "Крит. значения",
     .needs = Needs::Chromatogram,
     .menu = Menu::Database,
     .enabled = databaseOpen,
     .run = onDatabaseWindow<&CDatabaseWindows::criticalValues>},
    {.id = kCompactDatabase,
     .label = "&Сжатие БД",
     .menu = Menu::Database,
     .separator = Separator::Always,
     .enabled =
         [](const CommandTarget& t) { return t.frame->databaseWindows().database() != nullptr; },
     .run = onDatabase<&CDatabaseWindows::compact>},
    {.id = kRepairDatabase,
     .label = "&Реставрация БД",
     .menu = Menu::Database,
     .enabled =
         [](const CommandTarget& t) { return t.frame->databaseWindows().database() != nullptr; },
     .run = onDatabase<&CDatabaseWindows::repair>},

    // --- "&Данные"
    {.id = kStatistics,
     .label = "Стат&истика...",
     .hint = "Статистическая обработка",
     .menu = Menu::Data,
     .run =
         [](const CommandTarget& t) {
             ShowStatisticsWindow(t.frame);
             return true;
         }},
    {.id = kCombine,
     .label = "&Объединить...",
     .menu = Menu::Data,
     .run =
         [](const CommandTarget& t) {
             ShowCombineTablesDialog(t.frame);
             return true;
         }},
    {.id = kTransformerOil,
     .label = "Расчет &трансформаторного масла...",
     .menu = Menu::Data,
     .enabled = [](const CommandTarget&) { return programOptions().transformOil; },
     .run =
         [](const CommandTarget& t) {
             ShowTransformOilDialog(t.frame);
             return true;
         }},
    {.id = kNaturalGas,
     .label = "Природный газ",
     .hint = "Расчёт определения параметров природных горючих газов",
     .menu = Menu::Data,
     .run =
         [](const CommandTarget& t) {
             ShowNaturalGasWindow(t.frame);
             return true;
         }},
    {.id = kVolumeToMass,
     .label = "Объемные -> Массовые",
     .needs = Needs::Chromatogram,
     .menu = Menu::DataPercents,
     .run =
         [](const CommandTarget& t) {
             return isDone(commands(t).ConvertConcentrations(DensityConversion::VolumeToMass));
         }},
    {.id = kMassToVolume,
     .label = "Массовые -> Объемные",
     .needs = Needs::Chromatogram,
     .menu = Menu::DataPercents,
     .run =
         [](const CommandTarget& t) {
             return isDone(commands(t).ConvertConcentrations(DensityConversion::MassToVolume));
         }},
    {.id = kDensities,
     .label = "Настройка",
     .hint = "Плотности веществ",
     .menu = Menu::DataPercents,
     .separator = Separator::WithChromatogram,
     .run =
         [](const CommandTarget& t) {
             ShowDensityTableDialog(t.frame);
             return true;
         }},

    // --- "&Сервис"
    {.id = kConnection,
     .label = "По&дключение...",
     .menu = Menu::Service,
     .enabled = [](const CommandTarget& t) { return t.frame->devices() != nullptr; },
     .run = onFrame<&CMainFrame::showDeviceList>},
    {.id = kOptions,
     .label = "&Опции ...",
     .menu = Menu::Service,
     .separator = Separator::Always,
     .run = onFrame<&CMainFrame::showOptions>},
    {.id = kWorkLog,
     .label = "&Журнал работы",
     .hint = "Журнал работы программы и приборов",
     .menu = Menu::Service,
     .run = onFrame<&CMainFrame::showWorkLog>},
    {.id = kRebuildBars, .run = onFrame<&CMainFrame::rebuildBands>},

    // --- "&Окно"
    {.id = kWindowCascade,
     .label = "&Каскадом",
     .menu = Menu::Window,
     .enabled = anyWindow,
     .run =
         [](const CommandTarget& t) {
             t.frame->mdiArea()->cascadeSubWindows();
             return true;
         }},
    {.id = kWindowTile,
     .label = "&Мозаикой",
     .menu = Menu::Window,
     .enabled = anyWindow,
     .run =
         [](const CommandTarget& t) {
             t.frame->mdiArea()->tileSubWindows();
             return true;
         }},

    // --- "&Справка"
    {.id = kHelpContents,
     .label = "&Содержание",
     .hint = "Справка",
     .toolbarText = "?",
     .menu = Menu::Help},
    {.id = kLicense, .label = "Лицензионное соглашение", .menu = Menu::Help},
    {.id = kAppAbout,
     .label = "&О программе...",
     .menu = Menu::Help,
     .separator = Separator::Always,
     .run = onFrame<&CMainFrame::showAbout>},

    // --- the recording window (not part of the program yet)
    {.id = kStopRecording, .label = "Остановить запись", .icon = QStyle::SP_MediaStop},
    {.id = kStopSeries, .label = "Остановить запись серии анализов", .toolbarText = "Серия"},
    {.id = kAddFiveMinutes, .label = "Добавить 5 минут", .toolbarText = "+5"},

    // --- the pages of a report window in its page view (also on the band of
    // the database reports)
    {.id = kZoomNormal,
     .label = "Показать в нормальном масштабе",
     .toolbarText = "1:1",
     .needs = Needs::Report,
     .enabled = inPageView,
     .run = onPages<&CReportWnd::zoomNormal>},
    {.id = kZoomWidth,
     .label = "Показать всю страницу по ширине",
     .toolbarText = "↔",
     .needs = Needs::Report,
     .enabled = inPageView,
     .run = onPages<&CReportWnd::zoomWidth>},
    {.id = kZoomPage,
     .label = "Показать всю страницу",
     .toolbarText = "□",
     .needs = Needs::Report,
     .enabled = inPageView,
     .run = onPages<&CReportWnd::zoomPage>},
    {.id = kPageFirst,
     .label = "Первая страница",
     .icon = QStyle::SP_MediaSkipBackward,
     .needs = Needs::Report,
     .enabled = hasPageBefore,
     .run = onPages<&CReportWnd::firstPage>},
    {.id = kPagePrevious,
     .label = "Предыдущая страница",
     .icon = QStyle::SP_MediaSeekBackward,
     .needs = Needs::Report,
     .enabled = hasPageBefore,
     .run = onPages<&CReportWnd::previousPage>},
    {.id = kPageNext,
     .label = "Следующая страница",
     .icon = QStyle::SP_MediaSeekForward,
     .needs = Needs::Report,
     .enabled = hasPageAfter,
     .run = onPages<&CReportWnd::nextPage>},
    {.id = kPageLast,
     .label = "Последняя страница",
     .icon = QStyle::SP_MediaSkipForward,
     .needs = Needs::Report,
     .enabled = hasPageAfter,
     .run = onPages<&CReportWnd::lastPage>},
};

bool hasWhatItNeeds(const CommandEntry& c, const CommandTarget& t) {
    switch (c.needs) {
        case Needs::Frame:
            return t.frame != nullptr;
        case Needs::Chromatogram:
            return t.window != nullptr;
        case Needs::View:
            return t.view != nullptr;
        case Needs::Report:
            return t.report != nullptr;
    }
    return false;
}

}  // namespace

std::span<const MenuDescription> menuBarLayout() {
    return kMenus;
}

std::span<const CommandEntry> commandTable() {
    return kCommands;
}

const CommandEntry* findCommand(int id) {
    if (id == 0)
        return nullptr;
    for (const CommandEntry& c : kCommands) {
        if (c.id == id)
            return &c;
    }
    return nullptr;
}

bool isCommandEnabled(const CommandEntry& c, const CommandTarget& t) {
    return c.run != nullptr && hasWhatItNeeds(c, t) && (c.enabled == nullptr || c.enabled(t));
}

bool isCommandChecked(const CommandEntry& c, const CommandTarget& t) {
    return c.checked != nullptr && hasWhatItNeeds(c, t) && c.checked(t);
}

bool isCommandShown(const CommandEntry& c, const CommandTarget& t) {
    return c.shown == nullptr || c.shown(t);
}

bool runCommand(const CommandEntry& c, const CommandTarget& t) {
    return isCommandEnabled(c, t) && c.run(t);
}

QString commandText(const CommandEntry& c) {
    const QString label = QString::fromUtf8(c.label);
    const qsizetype tab = label.indexOf(QLatin1Char('\t'));
    return tab < 0 ? label : label.left(tab);
}

QList<QKeySequence> commandKeys(const CommandEntry& c) {
    QList<QKeySequence> keys;
    const QString label = QString::fromUtf8(c.label);
    const qsizetype tab = label.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        keys << QKeySequence::fromString(label.mid(tab + 1), QKeySequence::PortableText);
    if (*c.moreKeys != '\0')
        keys << QKeySequence::listFromString(QString::fromUtf8(c.moreKeys),
                                             QKeySequence::PortableText);
    return keys;
}

QAction* makeCommandAction(const CommandEntry& c, QWidget* owner) {
    const QString text = commandText(c);
    auto* a = new QAction(text, owner);
    a->setShortcuts(commandKeys(c));
    QString hint = QString::fromUtf8(c.hint);
    if (hint.isEmpty()) {
        hint = text;
        hint.remove(QLatin1Char('&'));
    }
    a->setToolTip(hint);
    a->setStatusTip(hint);
    if (*c.toolbarText != '\0')
        a->setIconText(QString::fromUtf8(c.toolbarText));
    if (c.icon >= 0)
        a->setIcon(owner->style()->standardIcon(static_cast<QStyle::StandardPixmap>(c.icon)));
    a->setCheckable(c.checkable);
    a->setData(c.id);
    return a;
}

const CommandEntry* viewCommandForKey(const QKeySequence& key) {
    for (const CommandEntry& c : kCommands) {
        if (c.needs == Needs::View && commandKeys(c).contains(key))
            return &c;
    }
    return nullptr;
}

}  // namespace zelmora::gui
