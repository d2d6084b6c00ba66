#pragma once
// The filled report form of one chromatogram without any window: the form
// chosen for its method, the chromatogram's passport, peaks and groups, the
// chromatogram and calibration pictures. The desktop program shows the
// result in a report window; the command line writes it as RTF or PDF.

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/program_settings.h"
#include "app/result.h"
#include "method/method_records.h"
#include "reports/rtf_document.h"

namespace zelmora {

class CZelmoraDoc;

using UnitLookup = std::function<std::optional<std::string>(std::string_view component)>;

// What making a report needs besides the chromatogram.
struct ChromatogramReportContext {
    std::filesystem::path programFolder;  // the forms are in its "Templates"
    ProgramOptions options;               // digits and notation of the numbers
    std::time_t now = 0;                  // "__ReportDate"
    UnitLookup unitOf;                    // the components' units; none: blanks
    double pictureDpi = 200;              // resolution of the chromatogram picture
};

// The filled form of a chromatogram with the report page `settings`. A form
// that is missing or cannot be read is a failure naming the file; no report
// is made then.
Result<rtf::RtfDocument> makeChromatogramReport(const CZelmoraDoc& doc,
                                                const ReportSettings& settings,
                                                const ChromatogramReportContext& context);

}  // namespace zelmora
