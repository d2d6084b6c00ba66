#include "gui/command_ids.h"

namespace zelmora::gui::band {
namespace {
using namespace command;
constexpr int kSeparator = 0;
constexpr int kNoDocumentButtons[] = {kFileOpen, kQueue, kSeparator, kHelpContents};
constexpr int kChromatogramButtons[] = {kFileOpen,
                                        kFileSave,
                                        kSeparator,
                                        kPrintChromatogramReport,
                                        kSeparator,
                                        kPassport,
                                        kChromatogramMethod,
                                        kUndo,
                                        kSeparator,
                                        kAutoMark,
                                        kIdentify,
                                        kConcentrations,
                                        kChromatogramReport,
                                        kSeparator,
                                        kShowAll,
                                        kAllByTime,
                                        kAllByHeight,
                                        kSeparator,
                                        kUnresolvedLeft,
                                        kAddPeak,
                                        kUnresolvedRight,
                                        kDeletePeak,
                                        kDeleteAll,
                                        kSeparator,
                                        kEventInterval,
                                        kSeparator,
                                        kToggleGroups,
                                        kDriftCompensation,
                                        kApproximateClip,
                                        kCropInterval,
                                        kSeparator,
                                        kQueue,
                                        kExportToProgram,
                                        kSeparator,
                                        kHelpContents};
constexpr int kReportButtons[] = {kFileOpen,    kReportSaveAs, kSeparator,   kFilePrintPreview,
                                  kReportPrint, kSeparator,    kHelpContents};
constexpr int kPrintReportButtons[] = {kFileOpen,  kReportSaveAs, kSeparator,    kReportPrint,
                                       kSeparator, kZoomNormal,   kZoomWidth,    kZoomPage,
                                       kSeparator, kPageFirst,    kPagePrevious, kPageNext,
                                       kPageLast,  kSeparator,    kHelpContents};
constexpr int kRecordingButtons[] = {kFileOpen,    kQueue,         kSeparator,  kPassport,
                                     kSeparator,   kShowAll,       kAllByTime,  kAllByHeight,
                                     kSeparator,   kStopRecording, kStopSeries, kAddFiveMinutes,
                                     kHelpContents};
}  // namespace

std::span<const int> buttons(int id) {
    switch (id) {
        case kNoDocument:
            return kNoDocumentButtons;
        case kChromatogram:
            return kChromatogramButtons;
        case kReport:
            return kReportButtons;
        case kPrintReport:
            return kPrintReportButtons;
        case kRecording:
            return kRecordingButtons;
        default:
            return {};
    }
}

}  // namespace zelmora::gui::band
