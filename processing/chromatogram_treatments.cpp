#include "processing/chromatogram_treatments.h"

#include "document/zelmora_doc.h"
#include "method/method_records.h"
#include "processing/signal_edits.h"

namespace zelmora {

std::vector<BaselineSpan> baselineSpans(const CZelmoraDoc& doc) {
    std::vector<BaselineSpan> spans;
    spans.reserve(doc.peaks.size());
    for (const Peak& p : doc.peaks.peaks) {
        spans.push_back({p.startTime, p.endTime, p.baselineAtStart, p.baselineAtEnd,
                         (p.flags & Peak::kRider) != 0});
    }
    return spans;
}

bool ApplyFilter(CZelmoraDoc& doc, const FilterSettings& page) {
    std::vector<float> y;
    const FilterParameters p{page.kind, page.threshold, page.window};
    if (!applyFilter(doc.signal.samples, doc.signal.dt, p, y))
        return false;
    ReplaceTrace(doc, std::move(y));
    return true;
}

Status CompensateDrift(CZelmoraDoc& doc, DriftMode mode) {
    const std::string tooShort = "Слишком короткая хроматограмма для компенсации дрейфа.";
    if (doc.signal.size() < 3)
        return Status::failure(tooShort);
    if (mode == DriftMode::MarkedBaseline && doc.peaks.empty())
        return Status::failure(
            "На хроматограмме нет размеченных пиков: компенсация дрейфа по размеченой "
            "базовой линии невозможна.");
    std::vector<float> y;
    // The two refusals of the compensation are those checked above.
    if (!compensateDrift(doc.signal.samples, doc.signal.t0, doc.signal.dt, mode, baselineSpans(doc),
                         y))
        return Status::failure(tooShort);
    ReplaceTrace(doc, std::move(y));
    return {};
}

NoiseAndDrift EstimateNoiseAndDrift(const CZelmoraDoc& doc, int processor, bool maxExcursion) {
    return estimateNoiseAndDrift(doc.signal.samples, doc.signal.t0, doc.signal.dt,
                                 baselineSpans(doc), processor, maxExcursion);
}

}  // namespace zelmora
