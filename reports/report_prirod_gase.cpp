#include "reports/report_prirod_gase.h"

#include "app/text.h"
#include "calc/gas_components.h"
#include "document/passport.h"

namespace zelmora {

namespace {

// The file's name after the last folder separator, whichever system wrote it.
std::string fileNameOf(const std::filesystem::path& file) {
    const std::string s = file.string();
    const std::size_t slash = s.find_last_of("/\\");
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

}  // namespace

std::filesystem::path CReportPrirodGase::templatePath(const std::filesystem::path& programFolder) {
    return programFolder / "Templates" / "PrGase.rpt";
}

std::string CReportPrirodGase::conditionsText(const GasConditions& c) {
    std::string out = "Расчёт по ГОСТ 22667-82 при давлении 101,325 кПа и температуре " +
                      temperatureText(c.temperature);
    if (c.waterPercent != 0)
        out += "\nРасчёт поправки на концентрацию паров воды по ГОСТ Р 8.577-2000";
    return out;
}

void CReportPrirodGase::fill(CPreview& v, const NaturalGasReportInput& in) {
    v.replaceField("__ReportDate", formatLocalTime(in.now, "%d.%m.%Y, %H:%M:%S"));

    // The chromatograms the mean was taken over.
    if (v.cutTemplateSection("__ChrmTemplateSection") && in.analyses != nullptr) {
        int number = 0;
        for (const GasChromatogram& e : *in.analyses) {
            v.paste();
            v.replaceField("__Num", text::format("%d", ++number));
            v.replaceField("__File", fileNameOf(e.file));
            v.replaceField("__Sample", e.sample);
        }
    }

    // The composition: every component with a mean other than 0.
    if (v.cutTemplateSection("__ResultsTemplateSection") && in.result != nullptr &&
        in.names != nullptr) {
        int number = 0;
        for (const GasCompositionRow& row : compositionRows(*in.result, *in.names)) {
            v.paste();
            v.replaceField("__Number", text::format("%d", ++number));
            v.replaceField("__Param", row.name);
            v.replaceField("__C", row.percent);
            v.replaceField("__Delta", row.range);
            v.replaceField("__Shod", row.verdict);
        }
    }

    if (in.result == nullptr)
        return;
    const NaturalGasResult& r = *in.result;
    const HeatUnit u = r.conditions.unit;
    v.replaceField("__Conditions", conditionsText(r.conditions));
    v.replaceField("__Qn", formatHeat(r.lowerHeat, u));
    v.replaceField("__Qv", formatHeat(r.higherHeat, u));
    v.replaceField("__Vn", formatHeat(r.lowerWobbe, u));
    v.replaceField("__Vv", formatHeat(r.higherWobbe, u));
    v.replaceField("__Ro", formatRelativeDensity(r.relativeDensity));
    v.replaceField("__ARo", text::format("%.4f", r.absoluteDensity));
}

}  // namespace zelmora
