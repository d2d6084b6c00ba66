#pragma once
// The numbers of the commands of the main window and its document windows,
// as the menus, the toolbars and the tests know them, and the document
// toolbars: one band per kind of document window, identified by the
// toolbar's resource number, with its buttons in order (0 = separator).
// What a command is called, where it stands and what it does is written in
// the command table (gui/command_table.cpp); the instruments' commands
// 40000–40339 are numbered by the device list (instruments/device_menu.h).

#include <array>
#include <span>

namespace zelmora::gui {

namespace command {
// The file and window commands of the framework.
inline constexpr int kFileOpen = 57601;
inline constexpr int kFileClose = 57602;
inline constexpr int kFileSave = 57603;
inline constexpr int kFileSaveAs = 57604;
inline constexpr int kFilePrint = 57607;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kRecentFile1 = 57616;  // the recent files, 57616 + index
inline constexpr int kUndo = 57643;
inline constexpr int kWindowCascade = 57650;
inline constexpr int kWindowTile = 57651;
inline constexpr int kAppAbout = 57664;
inline constexpr int kAppExit = 57665;
inline constexpr int kHelpContents = 57667;
inline constexpr int kExportText = 65535;

// The chromatogram: its document, method and peaks.
inline constexpr int kPassport = 32795;
inline constexpr int kChromatogramMethod = 32805;
inline constexpr int kAddComponents = 32863;
inline constexpr int kAddCalibrationLevel = 32861;
inline constexpr int kFilter = 32872;
inline constexpr int kAutoMark = 32812;
inline constexpr int kDeleteAll = 32813;
inline constexpr int kIdentify = 32864;
inline constexpr int kConcentrations = 32865;
inline constexpr int kCopyConcentrations = 33169;
inline constexpr int kDriftCompensation = 33145;
inline constexpr int kExportToProgram = 33170;
inline constexpr int kSaveToDatabase = 33104;
inline constexpr int kFindInDatabase = 33109;
inline constexpr int kCriticalValues = 33111;
inline constexpr int kVolumeToMass = 33163;
inline constexpr int kMassToVolume = 33164;
inline constexpr int kToggleGroups = 33153;
inline constexpr int kApproximateClip = 33150;

// The chromatogram view: zoom, the peak tools, the report.
inline constexpr int kShowAll = 32779;
inline constexpr int kAllByTime = 32818;
inline constexpr int kAllByHeight = 32831;
inline constexpr int kAddPeak = 32841;
inline constexpr int kUnresolvedLeft = 32855;
inline constexpr int kUnresolvedRight = 32856;
inline constexpr int kDeletePeak = 32810;
inline constexpr int kEventInterval = 33143;
inline constexpr int kCropInterval = 33151;
inline constexpr int kInvertPeak = 33157;
inline constexpr int kChromatogramReport = 32877;
inline constexpr int kPrintChromatogramReport = 33154;
inline constexpr int kCopyTable = 33168;

// The methods menu (the method editor).
inline constexpr int kMethodOpen = 32817;
inline constexpr int kMethodNew = 32850;

// Commands of the main window that open windows and dialogs of their own.
inline constexpr int kAnalyses = 33105;
inline constexpr int kSamplingPoints = 33106;
inline constexpr int kComponents = 33107;
inline constexpr int kNewAnalysis = 33108;
inline constexpr int kReportForPoint = 33126;
inline constexpr int kReportForParam = 33127;
inline constexpr int kReportForDate = 33128;
inline constexpr int kStatistics = 33132;
inline constexpr int kConnection = 33135;
inline constexpr int kCombine = 33138;
inline constexpr int kTransformerOil = 33152;
inline constexpr int kNaturalGas = 33156;
inline constexpr int kDensities = 33165;
inline constexpr int kRebuildBars = 39000;  // rebuild the instrument and document bands
inline constexpr int kQueue = 33171;

// Commands of the recording window.
inline constexpr int kStopRecording = 32871;
inline constexpr int kStopSeries = 33167;
inline constexpr int kAddFiveMinutes = 33148;

// Commands of the report windows.
inline constexpr int kReportSaveAs = 33123;
inline constexpr int kReportPrint = 33124;
inline constexpr int kZoomPage = 33114;
inline constexpr int kZoomWidth = 33115;
inline constexpr int kZoomNormal = 33116;
inline constexpr int kPageNext = 33117;
inline constexpr int kPagePrevious = 33118;
inline constexpr int kPageFirst = 33119;
inline constexpr int kPageLast = 33120;

// Commands of the application without a number of their own in the
// resources; numbered here above every resource number.
inline constexpr int kOptions = 34001;
inline constexpr int kOpenReport = 34002;
inline constexpr int kCompactDatabase = 34003;
inline constexpr int kRepairDatabase = 34004;
inline constexpr int kLicense = 34005;
inline constexpr int kImport = 34006;     // "&Импорт...": AIA/ANDI and CSV files
inline constexpr int kExportAia = 34007;  // "Экспорт в AIA/ANDI..."
inline constexpr int kWorkLog = 34008;    // "Журнал работы"
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
