#pragma once
// The report "Расчёт свойств природного газа": the natural-gas properties of
// a sample filled into the laboratory's form "Templates/PrGase.rpt" — the
// chromatograms the mean was taken over, one row per component found (its
// mean mole per cent, the range of its single values and the repeatability
// verdict), the reference conditions, the heats of combustion and Wobbe
// numbers with their unit, and the relative and absolute density.
//
// Everything the report needs is handed in; the filling reads no options and
// no clock of its own. A marker the form does not hold is simply not filled.

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "calc/gas_chromatogram.h"
#include "calc/gas_component_names.h"
#include "calc/natural_gas_calculator.h"
#include "reports/preview.h"

namespace zelmora {

struct NaturalGasReportInput {
    // The chromatograms of the sample, in the window's order.
    const std::vector<GasChromatogram>* analyses = nullptr;
    const NaturalGasResult* result = nullptr;
    // The laboratory's component names, shown in the composition rows.
    const GasComponentNames* names = nullptr;
    std::time_t now = 0;  // for "__ReportDate"
};

class CReportPrirodGase {
  public:
    static constexpr const char* kTitle = "Расчёт свойств природного газа";

    // "<program folder>/Templates/PrGase.rpt".
    static std::filesystem::path templatePath(const std::filesystem::path& programFolder);

    // "Расчёт по ГОСТ 22667-82 при давлении 101,325 кПа и температуре 20°C",
    // with the water-vapour correction's line when water was typed in.
    static std::string conditionsText(const GasConditions& conditions);

    // Fills a loaded form: chromatogram rows, composition rows, conditions
    // and results, report date.
    static void fill(CPreview& view, const NaturalGasReportInput& in);
};

}  // namespace zelmora
