#include "calc/gas_components.h"

#include "app/text.h"

namespace zelmora {

// clang-format off
const std::array<GasComponentConstants, kGasComponentCount> kGasComponents = {{
    // name                formula     Hs0      Hi0     Hs0k   Hi0k   d0      Hs20    Hi20    Hs20k  Hi20k  d20     Z
    {"Метан",              "CH4",      39.82,   35.88,  9510,  8570,  0.5548, 37.1,   33.41,  8860,  7980,  0.5546, 0.9981},
    {"Этан",               "C2H6",     70.31,   64.36,  16790, 15370, 1.048,  65.38,  59.85,  15620, 14300, 1.046,  0.992},
    {"Пропан",             "C3H8",     101.21,  93.18,  24170, 22260, 1.554,  93.98,  86.53,  22450, 20670, 1.549,  0.9834},
    {"н-Бутан",            "н-C4H10",  133.8,   123.57, 31960, 29510, 2.09,   123.72, 114.27, 29550, 27290, 2.071,  0.9682},
    {"и-Бутан",            "и-C4H10",  132.96,  122.78, 31760, 29320, 2.081,  123.25, 113.81, 29440, 27180, 2.068,  0.971},
    {"н-Пентан",           "C5H12",    169.27,  156.63, 40430, 37410, 2.671,  155.65, 144.02, 37180, 34400, 2.637,  0.945},
    {"и-Пентан",           "C5H12",    169.27,  156.63, 40430, 37410, 2.671,  155.65, 144.02, 37180, 34400, 2.637,  0.953},
    {"нео-Пентан",         "C5H12",    169.27,  156.63, 40430, 37410, 2.671,  155.65, 144.02, 37180, 34400, 2.637,  0.953},
    {"Гексан",             "C6H14",    187.4,   173.17, 44760, 41360, 2.976,  174.62, 161.36, 41710, 38540, 2.976,  0.919},
    {"Гептан",             "C7H16",    216.88,  200.55, 51800, 47900, 3.46,   202.1,  186.87, 48270, 44630, 3.46,   0.876},
    {"Октан",              "C8H18",    246.18,  227.76, 58800, 54400, 3.945,  229.38, 212.22, 54790, 50690, 3.945,  0.817},
    {"Нонан",              "C9H20",    276.33,  256.23, 66000, 61200, 4.41,   257.48, 238.76, 61500, 57030, 4.41,   0.8},
    {"Бензол",             "C6H6",     162.15,  155.67, 38730, 37180, 2.697,  151.09, 145.05, 36090, 34640, 2.697,  0.936},
    {"Толуол",             "C7H8",     176.26,  168.18, 42100, 40170, 3.18,   164.24, 156.71, 39230, 37430, 3.18,   0.892},
    {"Водород",            "H2",       12.75,   10.79,  3040,  2580,  0.0695, 11.87,  10.05,  2840,  2400,  0.0695, 1.0006},
    {"Окись углерода",     "CO",       12.64,   12.64,  3020,  3020,  0.9671, 11.78,  11.78,  2810,  2810,  0.9671, 0.9996},
    {"Сероводород",        "H2S",      25.35,   23.37,  6050,  5580,  1.188,  23.6,   21.75,  5640,  5200,  1.188,  0.99},
    {"Диоксид углерода",   "CO2",      0,       0,      0,     0,     1.529,  0,      0,      0,     0,     1.528,  0.9947},
    {"Азот",               "N2",       0,       0,      0,     0,     0.967,  0,      0,      0,     0,     0.967,  0.9997},
    {"Кислород",           "O2",       0,       0,      0,     0,     1.105,  0,      0,      0,     0,     1.105,  0.9993},
    {"Гелий",              "He",       0,       0,      0,     0,     0.138,  0,      0,      0,     0,     0.138,  1.0005},
    {"Водяной пар",        "H2O",      2.11,    0,      504,   0,     0.5292, 1.92,   0,      458.6, 0,     0.529,  0.952},
}};
// clang-format on

double higherHeatOf(const GasComponentConstants& c, GasTemperature t, HeatUnit u) {
    if (t == GasTemperature::C20)
        return u == HeatUnit::MJ ? c.hs20 : c.hs20k;
    return u == HeatUnit::MJ ? c.hs0 : c.hs0k;
}

double lowerHeatOf(const GasComponentConstants& c, GasTemperature t, HeatUnit u) {
    if (t == GasTemperature::C20)
        return u == HeatUnit::MJ ? c.hi20 : c.hi20k;
    return u == HeatUnit::MJ ? c.hi0 : c.hi0k;
}

double relativeDensityOf(const GasComponentConstants& c, GasTemperature t) {
    return t == GasTemperature::C20 ? c.d20 : c.d0;
}

double airDensity(AirDensityReference ref, GasTemperature t) {
    if (t == GasTemperature::C0)
        return 1.2929;
    return ref == AirDensityReference::Gost17310 ? 1.2047 : 1.20445;
}

std::string temperatureText(GasTemperature t) {
    return t == GasTemperature::C20 ? "20°C" : "0°C";
}

std::string unitText(HeatUnit u) {
    return u == HeatUnit::MJ ? "МДж/м3" : "ккал/м3";
}

const char* airDensityReferenceText(AirDensityReference ref) {
    return ref == AirDensityReference::Gost17310 ? "ГОСТ 17310-2002" : "ГОСТ 30319.1-96";
}

std::string formatHeat(double value, HeatUnit u) {
    return formatHeatConstant(value, u) + " " + unitText(u);
}

std::string formatHeatConstant(double value, HeatUnit u) {
    return u == HeatUnit::MJ ? text::format("%.2f", value) : text::format("%.0f", value);
}

}  // namespace zelmora
