#pragma once
// Command numbers of the main window's menus and toolbars that are not
// chromatogram commands (those are DocCommand and view_command), and the
// document toolbars: one band per kind of document window, identified by the
// toolbar's resource number, with its buttons in order (0 = separator).

#include <array>
#include <span>

namespace zelmora::gui {

namespace command {
// The file and window commands of the framework.
inline constexpr int kFileOpen = 57601;          // "&Открыть...\tCtrl+O"
inline constexpr int kFileClose = 57602;         // "&Закрыть"
inline constexpr int kFileSave = 57603;          // "&Сохранить\tCtrl+S"
inline constexpr int kFileSaveAs = 57604;        // "Сохранить &как..."
inline constexpr int kFilePrint = 57607;         // never enabled in a chromatogram
inline constexpr int kFilePrintPreview = 57609;  // never enabled in a chromatogram
inline constexpr int kRecentFile1 = 57616;       // the recent files, 57616 + index
inline constexpr int kWindowCascade = 57650;
inline constexpr int kWindowTile = 57651;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kHelpContents = 57667;

// The methods menu (the method editor).
inline constexpr int kMethodOpen = 32817;  // "&Открыть..."
inline constexpr int kMethodNew = 32850;   // "&Новый"

// Commands of the main window that open windows and dialogs of their own.
inline constexpr int kAnalyses = 33105;        // "&Анализы"
inline constexpr int kSamplingPoints = 33106;  // "&Точки отбора"
inline constexpr int kComponents = 33107;      // "&Компоненты"
inline constexpr int kNewAnalysis = 33108;     // "&Новый анализ"
inline constexpr int kReportForPoint = 33126;  // "&точки отбора"
inline constexpr int kReportForParam = 33127;  // "&компонента"
inline constexpr int kReportForDate = 33128;   // "&даты"
inline constexpr int kStatistics = 33132;      // "Стат&истика..."
inline constexpr int kConnection = 33135;      // "По&дключение..."
inline constexpr int kCombine = 33138;         // "&Объединить..."
inline constexpr int kTransformerOil = 33152;  // "Расчет &трансформаторного масла..."
inline constexpr int kNaturalGas = 33156;   // "Природный газ"
inline constexpr int kDensities = 33165;    // "Настройка"
inline constexpr int kRebuildBars = 39000;  // rebuild the instrument and document bands
inline constexpr int kQueue = 33171;        // the analysis queue window "Очередь КЖК"
inline constexpr int kApproximateClip = 33150;  // "Апроксимация урезанных пиков"

// Commands of the recording window.
inline constexpr int kStopRecording = 32871;  // "Остановить запись"
inline constexpr int kStopSeries = 33167;  // "Остановить запись серии анализов"
inline constexpr int kAddFiveMinutes = 33148;  // "Добавить 5 минут"

// Commands of the report windows.
inline constexpr int kReportSaveAs = 33123;  // "&Сохранить в формате..."
inline constexpr int kReportPrint = 33124;   // "&Печатать"
inline constexpr int kZoomPage = 33114;      // "Показать всю страницу"
inline constexpr int kZoomWidth = 33115;  // "Показать всю страницу по ширине"
inline constexpr int kZoomNormal = 33116;  // "Показать в нормальном масштабе"
inline constexpr int kPageNext = 33117;
inline constexpr int kPagePrevious = 33118;
inline constexpr int kPageFirst = 33119;
inline constexpr int kPageLast = 33120;

// Commands of the application without a number of their own in the
// resources; numbered here above every resource number.
inline constexpr int kOptions = 34001;          // "&Опции ..."
inline constexpr int kOpenReport = 34002;       // "Открыть &отчет..."
inline constexpr int kCompactDatabase = 34003;  // "&Сжатие БД"
inline constexpr int kRepairDatabase = 34004;   // "&Реставрация БД"
inline constexpr int kLicense = 34005;          // "Лицензионное соглашение"
}  // namespace command

// Toolbar bands of the document windows.
namespace band {
inline constexpr int kNoDocument = 128;
inline constexpr int kChromatogram = 129;
inline constexpr int kReport = 132;
inline constexpr int kPrintReport = 133;
inline constexpr int kRecording = 183;
inline constexpr std::array<int, 5> kAll = {kNoDocument, kChromatogram, kReport, kPrintReport,
                                            kRecording};

// The buttons of band `id` in order, 0 for a separator; empty for an
// unknown band.
std::span<const int> buttons(int id);
}  // namespace band

}  // namespace zelmora::gui
