#pragma once
// The report "Отчёт поверки прибора" of repeated injections, filled into the
// laboratory's form "Templates/test.rpt": the chromatograms compared (the
// reference one marked "*"), then for every chosen component a block with
// its value in each chromatogram, the means and RSDs of retention time,
// height, area and concentration and the detection limit, and the noise and
// drift of the baseline.
//
// The component block ("__ComponentSection") is itself a template that
// holds a row template ("__ResultsTemplateSection"): the block is cut once,
// and for each component a copy is put in, its row template cut and pasted
// once per chromatogram. A copy is always filled before the next is put in,
// so the first remaining occurrence of a field belongs to the newest copy.
//
// Everything the report needs is handed in; the filling reads no options and
// no clock of its own. A marker the form does not hold is simply not filled.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/program_settings.h"
#include "processing/injection_statistics.h"
#include "reports/preview.h"

namespace zelmora {

struct StatReportInput {
    const std::vector<StatEntry>* entries = nullptr;  // in list order
    std::optional<std::size_t> current;               // the reference chromatogram
    // The components chosen in the grid, in grid order.
    std::vector<const ComponentStatistics*> components;
    std::string noise;  // the display texts of the window
    std::string drift;
    ProgramOptions options;  // digits of heights, areas and concentrations; "DetType"
    std::time_t now = 0;     // for "__ReportDate"
};

class CReportStat {
  public:
    static constexpr const char* kTitle = "Отчёт поверки прибора";

    // "<program folder>/Templates/test.rpt".
    static std::filesystem::path templatePath(const std::filesystem::path& programFolder);

    // An RSD as the grid and the report show it; "—" where there is none.
    static std::string rsdText(const std::optional<double>& rsd, int kind, const ProgramOptions& o);

    static void fill(CPreview& view, const StatReportInput& in);
};

}  // namespace zelmora
