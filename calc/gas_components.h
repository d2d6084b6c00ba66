#pragma once
// The components of natural gas that the heat-of-combustion calculation
// knows, with their constants for the additive method of GOST 22667-82: per
// component the higher (Hs) and lower (Hi) heat of combustion of one cubic
// metre at 101.325 kPa, in MJ/m³ and in kcal/m³, and the density relative
// to dry air, each at 0 °C and at 20 °C, and the compressibility factor Z.
//
// The 22 components keep a fixed order: methane (0) is always taken by
// difference, water vapour (21) is never measured — its content is typed in.
//
// Benzene: the heats of the table are 162.15 MJ/m³ (= 38730 kcal/m³ ×
// 4.1868 kJ/kcal, as every other row of the table agrees with its kcal value)
// and the relative density 2.697 (molar mass 78.11 g/mol over 28.96 g/mol of
// air, as the other hydrocarbons' densities follow their molar masses).

#include <array>
#include <cstddef>
#include <string>

namespace zelmora {

inline constexpr std::size_t kGasComponentCount = 22;
inline constexpr std::size_t kGasMethane = 0;
inline constexpr std::size_t kGasWater = 21;

struct GasComponentConstants {
    const char* name;
    const char* formula;
    double hs0, hi0;    // MJ/m³ at 0 °C
    double hs0k, hi0k;  // kcal/m³ at 0 °C
    double d0;          // relative density at 0 °C
    double hs20, hi20;  // MJ/m³ at 20 °C
    double hs20k, hi20k;
    double d20;
    double z;  // compressibility factor
};

extern const std::array<GasComponentConstants, kGasComponentCount> kGasComponents;

// The reference temperature of the volume (the pressure is 101.325 kPa).
enum class GasTemperature { C20, C0 };
enum class HeatUnit { MJ, Kcal };
// The source of the density of dry air, in the order of the window's list
// "Плотность воздуха по".
enum class AirDensityReference { Gost17310 = 0, Gost30319 = 1 };

// What a calculation is asked for besides the composition.
struct GasConditions {
    GasTemperature temperature = GasTemperature::C20;
    HeatUnit unit = HeatUnit::MJ;
    double waterPercent = 0;  // water vapour, volume per cent (typed in)
    AirDensityReference air = AirDensityReference::Gost17310;
};

// The component's constants for the chosen temperature and unit.
double higherHeatOf(const GasComponentConstants& c, GasTemperature t, HeatUnit u);
double lowerHeatOf(const GasComponentConstants& c, GasTemperature t, HeatUnit u);
double relativeDensityOf(const GasComponentConstants& c, GasTemperature t);

// Density of dry air in kg/m³ at 101.325 kPa: GOST 17310-2002 gives 1.2047 at
// 20 °C and 1.2929 at 0 °C; GOST 30319.1-96 gives 1.20445 at 20 °C and no
// value at 0 °C, where the normal-conditions value 1.2929 (the same air
// brought from 20 °C to 0 °C with its compressibility) is taken rather than
// an absolute density of 0.
double airDensity(AirDensityReference ref, GasTemperature t);

// "20°C" or "0°C"; "МДж/м3" or "ккал/м3"; the air-density list's texts.
std::string temperatureText(GasTemperature t);
std::string unitText(HeatUnit u);
const char* airDensityReferenceText(AirDensityReference ref);

// A heat or Wobbe number as the window shows it: "%.2f МДж/м3" or
// "%.0f ккал/м3".
std::string formatHeat(double value, HeatUnit u);
// A component's heat constant in the names dialog: "%.2f" or "%.0f".
std::string formatHeatConstant(double value, HeatUnit u);

}  // namespace zelmora
