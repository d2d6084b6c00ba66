#pragma once
// The processing chain of a chromatogram with its own method copy: filter
// the trace, mark the peaks, identify the components and compute the
// concentrations, as a finished recording and the chromatogram commands run
// it. A calibration chromatogram is marked and identified but keeps its
// concentrations: they are the amounts the operator entered.

#include <filesystem>
#include <memory>
#include <string>

#include "document/method_link.h"
#include "document/zelmora_doc.h"
#include "method/document_method.h"
#include "method/method_records.h"
#include "processing/calibration.h"
#include "processing/quantitation.h"

namespace zelmora {

// The document's method copy made from a method already in memory (one
// given on the command line, or one being calibrated).
std::unique_ptr<MethodAttachment> methodCopyOf(const Method& method);

// Reads the method file at `path`, or the method `name` of the methods folder.
bool readMethodAt(const std::filesystem::path& path, Method& method, std::string& error);
bool readMethodByName(const std::string& name, Method& method, std::string& error);
// Reads a method given as the path of an existing file or as a name in the
// methods folder. `name` becomes the method's name (the file name without
// folder and extension).
bool readMethodFrom(const std::string& given, Method& method, std::string& name, std::string& error,
                    std::filesystem::path* file = nullptr);
// Writes `method` to `file`, replacing it only once the new file is complete,
// and notes it in the work log.
bool writeMethodTo(const std::filesystem::path& file, const Method& method, std::string& error);

// Identification of the document's peaks by its method; nothing without one.
void IdentifyPeaks(CZelmoraDoc& doc);
// Concentrations of the document's peaks by its method; a failure without one.
Status CalculateConcentrations(CZelmoraDoc& doc);

struct ProcessingOutcome {
    bool filtered = false;
    bool identified = false;
    bool quantitated = false;
    Status quantitation;  // failed when the method's kind computes no concentrations
};

// Filter (with the method's filter, or none without a method), mark (with
// the method's marking, or the defaults), identify and, unless the
// chromatogram is a calibration chromatogram, compute the concentrations.
// The filter reads the samples as they were and keeps them as the undo copy.
ProcessingOutcome ProcessChromatogram(CZelmoraDoc& doc);

// Adds a calibration chromatogram to `method` as one calibration level (the
// chromatogram's own level when it was used before) and refits it.
CalibrationPointResult CalibrateWith(Method& method, const CZelmoraDoc& calibrationDoc,
                                     MessageSink* sink);

}  // namespace zelmora
