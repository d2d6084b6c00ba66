#pragma once
// Opening a chromatogram file as every window and command does: the
// document's open hook (the file, its method copy, the title), then the
// retention factor and the reference marks found again from the peaks read
// and the method's reference components. The factor is not stored in the
// file; without it the retention windows drawn for a chromatogram whose
// references drifted would sit at the unscaled times until the next
// identification.

#include <filesystem>

#include "document/message_sink.h"
#include "document/zelmora_doc.h"

namespace zelmora {

// False when the file is not opened (the open hook has told why).
bool OpenChromatogram(CZelmoraDoc& doc, const std::filesystem::path& path, MessageSink& sink);

// The reference step of identification by time on the peaks as they stand:
// the references' names and marks and the document's retention factor. The
// document stays unmodified. Nothing without a method, or when the method
// identifies by retention indices (their references are the stored marks).
void RestoreReferences(CZelmoraDoc& doc);

}  // namespace zelmora
