#include "gui/command_ids.h"

namespace zelmora::gui::band {
namespace {
constexpr int kNoDocumentButtons[] = {57601, 33171, 0, 57667};
constexpr int kChromatogramButtons[] = {
    57601, 57603, 0,     33154, 0,     32795, 32805, 57643, 0,     32812, 32864, 32865,
    32877, 0,     32779, 32818, 32831, 0,     32855, 32841, 32856, 32810, 32813, 0,
    33143, 0,     33153, 33145, 33150, 33151, 0,     33171, 33170, 0,     57667};
constexpr int kReportButtons[] = {57601, 33123, 0, 57609, 33124, 0, 57667};
constexpr int kPrintReportButtons[] = {57601, 33123, 0,     33124, 0,     33116, 33115, 33114,
                                       0,     33119, 33118, 33117, 33120, 0,     57667};
constexpr int kRecordingButtons[] = {57601, 33171, 0,     32795, 0,     32779, 32818,
                                     32831, 0,     32871, 33167, 33148, 57667};
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
