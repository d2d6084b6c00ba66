#pragma once
// The report of one chromatogram, filled into the laboratory's report form
// ("Templates/report.rpt", or "Templates/reporti.rpt" for a method that
// identifies components by retention indices): the passport's fields, the
// optional sections chosen on the method's report page, the peak table one
// row per peak with a retention time of zero or more, the group table with
// the summed heights, areas and concentrations of each component group, the
// calibration formulas of the chosen components, and the chromatogram and
// calibration pictures at their markers.
//
// Everything the report needs is handed in; the filling reads no options and
// no clock of its own. A marker the form does not hold is simply not filled;
// a picture not given is left out together with its marker.

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/program_settings.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "method/method_records.h"
#include "reports/preview.h"

namespace zelmora {

struct ChromatogramReportInput {
    const Passport* passport = nullptr;
    const PeakTable* peaks = nullptr;
    // The chromatogram's method when its file was loaded; nullptr otherwise.
    const Method* method = nullptr;
    // The report page in force: the method's, or the program's default one.
    ReportSettings report;
    std::string fileName;    // the chromatogram file's path
    std::time_t now = 0;     // for "__ReportDate"
    ProgramOptions options;  // digits and notation of heights, areas, concentrations
    // The unit of a component from the database's parameter table; nullopt
    // when the component is not there.
    std::function<std::optional<std::string>(std::string_view component)> unitOf;
    const rtf::Picture* chromatogramPicture = nullptr;
    const rtf::Picture* calibrationPicture = nullptr;
};

class CReportChrm {
  public:
    // The form for a chromatogram: "reporti.rpt" when its loaded method
    // identifies components by retention indices, "report.rpt" otherwise.
    static std::filesystem::path templatePath(const std::filesystem::path& programFolder,
                                              const Method* method);

    // Fills a loaded form, in the order: common part, peak table, group
    // table, calibration formulas, chromatogram picture, calibration picture.
    static void fill(CPreview& view, const ChromatogramReportInput& in);

    // The report name of a calculation kind (the string table's texts).
    static const char* countMethodName(int kind);
    // A component's calibration formula, highest term first, ending in a line
    // feed: " + 1.0000 * X^2 - 0.5000 * X + 0.1000\n"; "0\n" when all are zero.
    static std::string formulaText(const MethodComponent& c);
    // "__Volume": the sample quantities the calculation kind uses.
    static std::string volumeText(const Passport& p, const Method* method);
};

}  // namespace zelmora
