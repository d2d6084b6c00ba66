#pragma once
// The physical properties of a natural gas from its composition, by the
// additive method of GOST 22667-82, at 101.325 kPa and 20 °C or 0 °C.
//
// Composition. The analyses (one or more chromatograms of one sample) give
// for every component i the mean x̄ᵢ of its concentrations as a mole fraction,
// over the peaks found under its laboratory name; the water vapour x̄₂₁ is the
// content typed in; methane is by difference, x̄₀ = 1 − Σ₁..₂₁ x̄ᵢ. Peaks named
// like methane or water vapour are not counted.
//
// Properties, with the table's constants for the chosen temperature and unit:
//   relative density    d  = Σ dᵢ x̄ᵢ
//   absolute density    ρ  = d × ρ(air)
//   compressibility     b′ᵢ = (x̄ᵢ / Zᵢ) / Σ(x̄ₖ / Zₖ),  cᵢ = eᵢ = b′ᵢ Zᵢ / Σ b′ₖ Zₖ
//   higher heat         Hs = Σᵢ≠₂₁ Hsᵢ eᵢ + Hs₂₁ b′₂₁
//   lower heat          Hi = Σᵢ≠₂₁ Hiᵢ cᵢ
//   Wobbe numbers       Ws = Hs / √dₛ with dₛ = Σᵢ≠₂₁ dᵢ eᵢ + d₂₁ b′₂₁,
//                       Wi = Hi / √dᵢₙ with dᵢₙ = Σ dᵢ cᵢ.
// The pass from volume to mole fractions and back returns the dry
// components' fractions (c = e = x̄ up to rounding); the water vapour alone
// enters the higher heat and its density with its mole fraction b′₂₁.
//
// Refused, with the reason: a component sum above 100 % (methane by
// difference would be negative), a negative or non-finite concentration, a
// water content outside 0 … 100 %, an invalid set of names.

#include <array>
#include <string>
#include <vector>

#include "app/result.h"
#include "calc/gas_chromatogram.h"
#include "calc/gas_component_names.h"
#include "calc/gas_components.h"

namespace zelmora {

struct GasComponentResult {
    double mean = 0;  // mole fraction, 0..1
    double largest = 0, smallest = 0;
    int count = 0;  // values found
    // Largest − smallest as a fraction; 0 without values.
    double range() const { return count > 0 ? largest - smallest : 0; }
    // The repeatability verdict ("" for fewer than two values).
    std::string verdict;
    // Fractions of the compressibility step: b′ (mole) and c = e (volume).
    double moleFraction = 0, volumeFraction = 0;
};

struct NaturalGasResult {
    GasConditions conditions;
    std::array<GasComponentResult, kGasComponentCount> components;
    double relativeDensity = 0;
    double airDensity = 0;                 // kg/m³
    double absoluteDensity = 0;            // kg/m³
    double higherHeat = 0, lowerHeat = 0;  // in the unit of the conditions
    double higherWobbe = 0, lowerWobbe = 0;
};

Result<NaturalGasResult> computeNaturalGas(const std::vector<GasChromatogram>& analyses,
                                           const GasComponentNames& names,
                                           const GasConditions& conditions);

// Peak names of the analyses that name no component of the table (first
// spelling of each, in order of appearance), and those named like water
// vapour, which is typed in rather than measured.
std::vector<std::string> unmatchedPeakNames(const std::vector<GasChromatogram>& analyses,
                                            const GasComponentNames& names);

// One line of the composition grid (and of the report): a component with a
// mean other than 0, in table order.
struct GasCompositionRow {
    std::size_t component = 0;
    std::string name;     // the laboratory's name
    std::string percent;  // "%.5f" of x̄ × 100
    std::string range;    // "%.5f" of the range × 100
    std::string verdict;
};
std::vector<GasCompositionRow> compositionRows(const NaturalGasResult& result,
                                               const GasComponentNames& names);

// "%.4f" and "%.4f кг/м3".
std::string formatRelativeDensity(double d);
std::string formatAbsoluteDensity(double rho);

}  // namespace zelmora
