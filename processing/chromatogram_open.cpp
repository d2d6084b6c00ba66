#include "processing/chromatogram_open.h"

#include "method/document_method.h"
#include "processing/identification.h"

namespace zelmora {

bool OpenChromatogram(CZelmoraDoc& doc, const std::filesystem::path& path, MessageSink& sink) {
    if (!doc.OnOpenDocument(path, sink))
        return false;
    RestoreReferences(doc);
    return true;
}

void RestoreReferences(CZelmoraDoc& doc) {
    doc.retentionFactor = 1.0;
    const Method* m = documentMethod(doc);
    if (m == nullptr || m->calculation.identification != kIdentifyByTime)
        return;
    // The reference step as identification by time runs it, on names
    // cleared as it clears them: the factor and the references it found
    // then; the other peaks keep the names they were saved with.
    PeakTable found = doc.peaks;
    for (Peak& p : found.peaks)
        p.componentName.clear();
    doc.retentionFactor = IdentifyReferences(found, m->calculation);
    for (std::size_t i = 0; i < found.peaks.size(); ++i) {
        if (found.peaks[i].componentName.empty())
            continue;
        doc.peaks.peaks[i].componentName = found.peaks[i].componentName;
        doc.peaks.peaks[i].isReference = found.peaks[i].isReference;
    }
}

}  // namespace zelmora
