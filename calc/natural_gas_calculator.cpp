#include "calc/natural_gas_calculator.h"

#include <cmath>
#include <optional>

#include "app/text.h"
#include "calc/repeatability.h"

namespace zelmora {
namespace {

// Methane by difference may come out a few units in the last place below
// zero when the other components sum to exactly 100 %; only a real excess
// is refused.
constexpr double kSumTolerance = 1e-9;

// The measured component a peak name stands for: not methane (by
// difference) nor water vapour (typed in); the first one of that name.
std::optional<std::size_t> measuredComponent(std::string_view peakName,
                                             const GasComponentNames& names) {
    const std::string_view name = text::trim(peakName);
    if (name.empty() || text::equalsNoCase(name, text::trim(names.names[kGasMethane])))
        return std::nullopt;
    for (std::size_t i = 1; i < kGasWater; ++i) {
        if (text::equalsNoCase(name, text::trim(names.names[i])))
            return i;
    }
    return std::nullopt;
}

std::string sourceOf(const GasChromatogram& a) {
    return a.file.empty() ? std::string("составе") : a.file.filename().string();
}

}  // namespace

Result<NaturalGasResult> computeNaturalGas(const std::vector<GasChromatogram>& analyses,
                                           const GasComponentNames& names,
                                           const GasConditions& conditions) {
    if (Status s = names.validate(); !s)
        return s;
    if (!std::isfinite(conditions.waterPercent) || conditions.waterPercent < 0 ||
        conditions.waterPercent > 100)
        return Status::failure(text::format("Содержание воды %g об.%% вне пределов от 0 до 100",
                                            conditions.waterPercent));

    NaturalGasResult r;
    r.conditions = conditions;
    auto& comp = r.components;

    for (const GasChromatogram& a : analyses) {
        for (const GasPeak& p : a.peaks) {
            const std::optional<std::size_t> i = measuredComponent(p.name, names);
            if (!i)
                continue;
            if (!std::isfinite(p.concentration) || p.concentration < 0)
                return Status::failure(
                    text::format("Концентрация компонента \"%s\" в %s — %g %%: доля не может быть "
                                 "отрицательной",
                                 p.name.c_str(), sourceOf(a).c_str(), p.concentration));
            GasComponentResult& c = comp[*i];
            const double x = p.concentration / 100;
            c.mean = (c.mean * c.count + x) / (c.count + 1);
            c.largest = c.count == 0 ? x : std::max(c.largest, x);
            c.smallest = c.count == 0 ? x : std::min(c.smallest, x);
            ++c.count;
        }
    }

    comp[kGasWater].mean = conditions.waterPercent / 100;
    double others = 0;
    for (std::size_t i = 1; i < kGasComponentCount; ++i)
        others += comp[i].mean;
    if (1 - others < -kSumTolerance)
        return Status::failure(
            text::format("Сумма компонентов без метана %.5f %% больше 100 %%: метан по разности "
                         "отрицателен, расчёт невозможен",
                         others * 100));
    GasComponentResult& methane = comp[kGasMethane];
    methane.mean = methane.largest = methane.smallest = std::max(0.0, 1 - others);

    const GasTemperature t = conditions.temperature;
    const HeatUnit u = conditions.unit;
    for (std::size_t i = 0; i < kGasComponentCount; ++i)
        r.relativeDensity += relativeDensityOf(kGasComponents[i], t) * comp[i].mean;

    // Mole fractions from the volume fractions, methane again as the rest,
    // and back to volume fractions. The means sum to 1 and every Z is near
    // 1, so neither sum can be 0.
    double byZ = 0;
    for (std::size_t i = 0; i < kGasComponentCount; ++i)
        byZ += comp[i].mean / kGasComponents[i].z;
    double restMole = 0;
    for (std::size_t i = 1; i < kGasComponentCount; ++i) {
        comp[i].moleFraction = comp[i].mean / kGasComponents[i].z / byZ;
        restMole += comp[i].moleFraction;
    }
    comp[kGasMethane].moleFraction = 1 - restMole;
    double timesZ = 0;
    for (std::size_t i = 0; i < kGasComponentCount; ++i)
        timesZ += comp[i].moleFraction * kGasComponents[i].z;
    for (std::size_t i = 0; i < kGasComponentCount; ++i)
        comp[i].volumeFraction = comp[i].moleFraction * kGasComponents[i].z / timesZ;

    double densityHigher = 0, densityLower = 0;
    for (std::size_t i = 0; i < kGasComponentCount; ++i) {
        const GasComponentConstants& k = kGasComponents[i];
        const double d = relativeDensityOf(k, t);
        const double e = i == kGasWater ? comp[i].moleFraction : comp[i].volumeFraction;
        r.higherHeat += higherHeatOf(k, t, u) * e;
        densityHigher += d * e;
        if (i != kGasWater)
            r.lowerHeat += lowerHeatOf(k, t, u) * comp[i].volumeFraction;
        densityLower += d * comp[i].volumeFraction;
    }
    r.higherWobbe = r.higherHeat / std::sqrt(densityHigher);
    r.lowerWobbe = r.lowerHeat / std::sqrt(densityLower);

    r.airDensity = airDensity(conditions.air, t);
    r.absoluteDensity = r.relativeDensity * r.airDensity;

    for (std::size_t i = 0; i < kGasComponentCount; ++i)
        comp[i].verdict = repeatabilityVerdict(comp[i].count, comp[i].range(), names.limits[i]);
    return r;
}

std::vector<std::string> unmatchedPeakNames(const std::vector<GasChromatogram>& analyses,
                                            const GasComponentNames& names) {
    std::vector<std::string> out;
    for (const GasChromatogram& a : analyses) {
        for (const GasPeak& p : a.peaks) {
            const std::string_view name = text::trim(p.name);
            if (name.empty() || measuredComponent(name, names) ||
                text::equalsNoCase(name, text::trim(names.names[kGasMethane])))
                continue;
            bool seen = false;
            for (const std::string& s : out)
                seen = seen || text::equalsNoCase(s, name);
            if (!seen)
                out.emplace_back(name);
        }
    }
    return out;
}

std::vector<GasCompositionRow> compositionRows(const NaturalGasResult& result,
                                               const GasComponentNames& names) {
    std::vector<GasCompositionRow> rows;
    for (std::size_t i = 0; i < kGasComponentCount; ++i) {
        const GasComponentResult& c = result.components[i];
        if (c.mean == 0)
            continue;
        rows.push_back({i, names.names[i], text::format("%.5f", c.mean * 100),
                        text::format("%.5f", c.range() * 100), c.verdict});
    }
    return rows;
}

std::string formatRelativeDensity(double d) {
    return text::format("%.4f", d);
}

std::string formatAbsoluteDensity(double rho) {
    return text::format("%.4f кг/м3", rho);
}

}  // namespace zelmora
