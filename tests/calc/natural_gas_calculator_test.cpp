// Heats of combustion, Wobbe numbers and densities of natural gas against
// values worked out by hand from the GOST 22667-82 constants (typed again
// below, not taken from the program's table), for pure methane and for a
// typical gas, dry and with water vapour, at 20 °C and 0 °C, in MJ/m³ and
// kcal/m³; the mean of several analyses with methane by difference; and the
// compositions the calculation must refuse.

#include <gtest/gtest.h>

#include <cmath>

#include "calc/natural_gas_calculator.h"

namespace zelmora {
namespace {

GasChromatogram analysis(const char* file, std::vector<GasPeak> peaks) {
    GasChromatogram a;
    a.file = file;
    a.sample = "Газ";
    a.peaks = std::move(peaks);
    return a;
}

// Ethane 3 %, propane 1 %, n- and i-butane 0.2 % each, nitrogen 1 %, carbon
// dioxide 0.5 %; a peak of methane that must be ignored, and an unknown one.
std::vector<GasChromatogram> typicalGas() {
    return {analysis("a.stg", {{"Метан", 93.0},
                               {"Этан", 3.0},
                               {"Пропан", 1.0},
                               {"н-Бутан", 0.2},
                               {"и-Бутан", 0.2},
                               {"Азот", 1.0},
                               {"Диоксид углерода", 0.5},
                               {"Неизвестный", 0.7}})};
}

GasConditions conditions(GasTemperature t, HeatUnit u, double water = 0,
                         AirDensityReference air = AirDensityReference::Gost17310) {
    GasConditions c;
    c.temperature = t;
    c.unit = u;
    c.waterPercent = water;
    c.air = air;
    return c;
}

struct Expected {
    double methane, relative, hs, hi, ws, wi;
};

// Worked out by hand. Dry gas, methane 94.1 %:
//   d20 = 0.941·0.5546 + 0.03·1.046 + 0.01·1.549 + 0.002·2.071 + 0.002·2.068
//         + 0.01·0.967 + 0.005·1.528
//   Hs20 = 0.941·37.1 + 0.03·65.38 + 0.01·93.98 + 0.002·123.72 + 0.002·123.25
// With 1 % water methane is 93.1 %; water adds Hs(H2O)·b′ and d(H2O)·b′ to the
// higher heat and its density, b′ = (0.01/0.952) / Σ xᵢ/Zᵢ.
Expected handValues(GasTemperature t, HeatUnit u, double water) {
    const bool c20 = t == GasTemperature::C20;
    const bool mj = u == HeatUnit::MJ;
    const double x0 = 0.941 - water / 100, xw = water / 100;
    const double x[] = {x0, 0.03, 0.01, 0.002, 0.002, 0.01, 0.005, xw};
    const double z[] = {0.9981, 0.992, 0.9834, 0.9682, 0.971, 0.9997, 0.9947, 0.952};
    const double d20[] = {0.5546, 1.046, 1.549, 2.071, 2.068, 0.967, 1.528, 0.529};
    const double d0[] = {0.5548, 1.048, 1.554, 2.09, 2.081, 0.967, 1.529, 0.5292};
    const double hs20[] = {37.1, 65.38, 93.98, 123.72, 123.25, 0, 0, 1.92};
    const double hi20[] = {33.41, 59.85, 86.53, 114.27, 113.81, 0, 0, 0};
    const double hs20k[] = {8860, 15620, 22450, 29550, 29440, 0, 0, 458.6};
    const double hi20k[] = {7980, 14300, 20670, 27290, 27180, 0, 0, 0};
    const double hs0[] = {39.82, 70.31, 101.21, 133.8, 132.96, 0, 0, 2.11};
    const double hi0[] = {35.88, 64.36, 93.18, 123.57, 122.78, 0, 0, 0};
    const double hs0k[] = {9510, 16790, 24170, 31960, 31760, 0, 0, 504};
    const double hi0k[] = {8570, 15370, 22260, 29510, 29320, 0, 0, 0};
    const double* d = c20 ? d20 : d0;
    const double* hs = c20 ? (mj ? hs20 : hs20k) : (mj ? hs0 : hs0k);
    const double* hi = c20 ? (mj ? hi20 : hi20k) : (mj ? hi0 : hi0k);
    double byZ = 0;
    for (int i = 0; i < 8; ++i)
        byZ += x[i] / z[i];
    const double bw = xw / z[7] / byZ;
    Expected e{x0, 0, 0, 0, 0, 0};
    double ds = 0;
    for (int i = 0; i < 7; ++i) {
        e.relative += d[i] * x[i];
        e.hs += hs[i] * x[i];
        e.hi += hi[i] * x[i];
        ds += d[i] * x[i];
    }
    const double di = e.relative + d[7] * xw;
    e.relative = di;
    e.hs += hs[7] * bw;
    ds += d[7] * bw;
    e.ws = e.hs / std::sqrt(ds);
    e.wi = e.hi / std::sqrt(di);
    return e;
}

TEST(NaturalGas, PureMethaneTakesItsOwnConstants) {
    const GasComponentNames names;
    // No analyses at all: everything is methane by difference.
    Result<NaturalGasResult> r =
        computeNaturalGas({}, names, conditions(GasTemperature::C20, HeatUnit::MJ));
    ASSERT_TRUE(r) << r.message();
    EXPECT_DOUBLE_EQ(r->components[kGasMethane].mean, 1.0);
    EXPECT_NEAR(r->relativeDensity, 0.5546, 1e-12);
    EXPECT_NEAR(r->higherHeat, 37.1, 1e-9);
    EXPECT_NEAR(r->lowerHeat, 33.41, 1e-9);
    EXPECT_NEAR(r->higherWobbe, 37.1 / std::sqrt(0.5546), 1e-9);  // 49.8177
    EXPECT_NEAR(r->lowerWobbe, 33.41 / std::sqrt(0.5546), 1e-9);  // 44.8628
    EXPECT_NEAR(r->absoluteDensity, 0.5546 * 1.2047, 1e-12);
    EXPECT_EQ(formatHeat(r->higherWobbe, HeatUnit::MJ), "49.82 МДж/м3");
    EXPECT_EQ(formatAbsoluteDensity(r->absoluteDensity), "0.6681 кг/м3");
    const std::vector<GasCompositionRow> rows = compositionRows(*r, names);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].name, "Метан");
    EXPECT_EQ(rows[0].percent, "100.00000");
    EXPECT_EQ(rows[0].range, "0.00000");
    EXPECT_EQ(rows[0].verdict, "");

    r = computeNaturalGas({analysis("m.stg", {{"метан", 99.0}})}, names,
                          conditions(GasTemperature::C0, HeatUnit::Kcal));
    ASSERT_TRUE(r) << r.message();
    EXPECT_DOUBLE_EQ(r->components[kGasMethane].mean, 1.0);  // the peak is ignored
    EXPECT_EQ(formatHeat(r->higherHeat, HeatUnit::Kcal), "9510 ккал/м3");
    EXPECT_EQ(formatHeat(r->higherWobbe, HeatUnit::Kcal), "12768 ккал/м3");
    EXPECT_EQ(formatRelativeDensity(r->relativeDensity), "0.5548");
    EXPECT_NEAR(r->absoluteDensity, 0.5548 * 1.2929, 1e-12);
}

TEST(NaturalGas, TypicalGasAtBothTemperaturesInBothUnitsDryAndWet) {
    const GasComponentNames names;
    for (GasTemperature t : {GasTemperature::C20, GasTemperature::C0}) {
        for (HeatUnit u : {HeatUnit::MJ, HeatUnit::Kcal}) {
            for (double water : {0.0, 1.0}) {
                SCOPED_TRACE(temperatureText(t) + " " + unitText(u) + " вода " +
                             std::to_string(water));
                const Result<NaturalGasResult> r =
                    computeNaturalGas(typicalGas(), names, conditions(t, u, water));
                ASSERT_TRUE(r) << r.message();
                const Expected e = handValues(t, u, water);
                const double tol = u == HeatUnit::MJ ? 1e-9 : 1e-6;
                EXPECT_NEAR(r->components[kGasMethane].mean, e.methane, 1e-12);
                EXPECT_NEAR(r->components[kGasWater].mean, water / 100, 1e-15);
                EXPECT_NEAR(r->relativeDensity, e.relative, 1e-12);
                EXPECT_NEAR(r->higherHeat, e.hs, tol);
                EXPECT_NEAR(r->lowerHeat, e.hi, tol);
                EXPECT_NEAR(r->higherWobbe, e.ws, tol);
                EXPECT_NEAR(r->lowerWobbe, e.wi, tol);
                // The digits the window shows.
                EXPECT_EQ(formatHeat(r->higherHeat, u), formatHeat(e.hs, u));
                EXPECT_EQ(formatHeat(r->lowerWobbe, u), formatHeat(e.wi, u));
                EXPECT_TRUE(std::isfinite(r->higherWobbe) && r->higherWobbe > 0);
            }
        }
    }
    // A few of the hand values written out, as the window shows them.
    Result<NaturalGasResult> r =
        computeNaturalGas(typicalGas(), names, conditions(GasTemperature::C20, HeatUnit::MJ));
    ASSERT_TRUE(r);
    EXPECT_EQ(formatHeat(r->higherHeat, HeatUnit::MJ), "38.31 МДж/м3");
    EXPECT_EQ(formatHeat(r->lowerHeat, HeatUnit::MJ), "34.56 МДж/м3");
    EXPECT_EQ(formatHeat(r->higherWobbe, HeatUnit::MJ), "49.69 МДж/м3");
    EXPECT_EQ(formatHeat(r->lowerWobbe, HeatUnit::MJ), "44.82 МДж/м3");
    EXPECT_EQ(formatRelativeDensity(r->relativeDensity), "0.5943");
    EXPECT_EQ(formatAbsoluteDensity(r->absoluteDensity), "0.7160 кг/м3");  // × 1.2047
    r = computeNaturalGas(typicalGas(), names, conditions(GasTemperature::C0, HeatUnit::Kcal, 1));
    ASSERT_TRUE(r);
    EXPECT_EQ(formatHeat(r->higherHeat, HeatUnit::Kcal), "9732 ккал/м3");
    EXPECT_EQ(formatHeat(r->lowerHeat, HeatUnit::Kcal), "8780 ккал/м3");
    EXPECT_NEAR(r->components[kGasMethane].mean, 0.931, 1e-12);
    // Water shows in the grid with the content typed in and no verdict.
    const std::vector<GasCompositionRow> rows = compositionRows(*r, names);
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows.front().name, "Метан");
    EXPECT_EQ(rows.front().percent, "93.10000");
    EXPECT_EQ(rows.back().name, "Водяной пар");
    EXPECT_EQ(rows.back().percent, "1.00000");
    EXPECT_EQ(unmatchedPeakNames(typicalGas(), names), std::vector<std::string>{"Неизвестный"});
}

TEST(NaturalGas, AirDensityReferences) {
    const GasComponentNames names;
    auto absolute = [&](GasTemperature t, AirDensityReference air) {
        const Result<NaturalGasResult> r =
            computeNaturalGas({}, names, conditions(t, HeatUnit::MJ, 0, air));
        EXPECT_TRUE(r);
        return r ? r->absoluteDensity / r->relativeDensity : -1;
    };
    EXPECT_NEAR(absolute(GasTemperature::C20, AirDensityReference::Gost17310), 1.2047, 1e-12);
    EXPECT_NEAR(absolute(GasTemperature::C0, AirDensityReference::Gost17310), 1.2929, 1e-12);
    EXPECT_NEAR(absolute(GasTemperature::C20, AirDensityReference::Gost30319), 1.20445, 1e-12);
    // GOST 30319.1-96 has no 0 °C value: never an absolute density of 0.
    EXPECT_NEAR(absolute(GasTemperature::C0, AirDensityReference::Gost30319), 1.2929, 1e-12);
}

TEST(NaturalGas, MeanOfSeveralAnalysesWithMissingComponents) {
    const GasComponentNames names;
    // Ethane in all three, propane in two, nitrogen in one; a peak without a
    // name and one named in capitals.
    const std::vector<GasChromatogram> three = {
        analysis("1.stg", {{"Этан", 3.0}, {"Пропан", 1.0}, {"", 5.0}}),
        analysis("2.stg", {{"ЭТАН", 3.3}, {"Азот", 0.6}}),
        analysis("3.stg", {{"этан", 3.6}, {"Пропан", 1.2}}),
    };
    const Result<NaturalGasResult> r =
        computeNaturalGas(three, names, conditions(GasTemperature::C20, HeatUnit::MJ));
    ASSERT_TRUE(r) << r.message();
    const auto& c = r->components;
    EXPECT_NEAR(c[1].mean, 0.033, 1e-15);
    EXPECT_EQ(c[1].count, 3);
    EXPECT_NEAR(c[1].range(), 0.006, 1e-15);
    EXPECT_NEAR(c[2].mean, 0.011, 1e-15);  // over the two analyses that have it
    EXPECT_EQ(c[2].count, 2);
    EXPECT_NEAR(c[18].mean, 0.006, 1e-15);
    EXPECT_EQ(c[18].count, 1);
    EXPECT_EQ(c[18].verdict, "");
    EXPECT_EQ(c[3].count, 0);
    EXPECT_EQ(c[3].mean, 0);
    EXPECT_NEAR(c[kGasMethane].mean, 1 - 0.033 - 0.011 - 0.006, 1e-12);
    // Three values: limit 3.3·2/2.8; two: 2.8·2/2.8.
    EXPECT_EQ(c[1].verdict, "2.357 OK (по ГОСТ Р ИСО 5725)");
    EXPECT_EQ(c[2].verdict, "2.000 OK");
    const std::vector<GasCompositionRow> rows = compositionRows(*r, names);
    ASSERT_EQ(rows.size(), 4u);  // methane, ethane, propane, nitrogen
    EXPECT_EQ(rows[1].name, "Этан");
    EXPECT_EQ(rows[1].percent, "3.30000");
    EXPECT_EQ(rows[1].range, "0.60000");

    // One analysis: every count 1, ranges 0, no verdicts.
    const Result<NaturalGasResult> one =
        computeNaturalGas({three[0]}, names, conditions(GasTemperature::C20, HeatUnit::MJ));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->components[1].count, 1);
    EXPECT_EQ(one->components[1].range(), 0);
    for (const GasCompositionRow& row : compositionRows(*one, names))
        EXPECT_EQ(row.verdict, "") << row.name;
}

TEST(NaturalGas, LaboratoryNamesDecideWhichPeaksCount) {
    GasComponentNames names;
    names.names[1] = "C2";  // ethane under the laboratory's name
    names.names[kGasMethane] = "C1";
    const std::vector<GasChromatogram> a = {
        analysis("1.stg", {{"C1", 90}, {"c2", 4.0}, {"Этан", 9.0}, {"Водяной пар", 3.0}})};
    const Result<NaturalGasResult> r =
        computeNaturalGas(a, names, conditions(GasTemperature::C20, HeatUnit::MJ));
    ASSERT_TRUE(r) << r.message();
    EXPECT_NEAR(r->components[1].mean, 0.04, 1e-15);
    // Water vapour is typed in, never taken from a peak.
    EXPECT_EQ(r->components[kGasWater].mean, 0);
    EXPECT_EQ(r->components[kGasWater].count, 0);
    EXPECT_NEAR(r->components[kGasMethane].mean, 0.96, 1e-12);
    EXPECT_EQ(unmatchedPeakNames(a, names), (std::vector<std::string>{"Этан", "Водяной пар"}));
    EXPECT_EQ(compositionRows(*r, names)[1].name, "C2");

    // Two components of one name would count one peak twice.
    names.names[2] = "c2";
    const Result<NaturalGasResult> twice =
        computeNaturalGas(a, names, conditions(GasTemperature::C20, HeatUnit::MJ));
    ASSERT_FALSE(twice);
    EXPECT_NE(twice.message().find("двум компонентам"), std::string::npos) << twice.message();
}

TEST(NaturalGas, RefusesCompositionsThatCannotBeComputed) {
    const GasComponentNames names;
    const GasConditions dry = conditions(GasTemperature::C20, HeatUnit::MJ);
    // Other components summing above 100 %: methane would be negative.
    Result<NaturalGasResult> r =
        computeNaturalGas({analysis("x.stg", {{"Этан", 60}, {"Азот", 45}})}, names, dry);
    ASSERT_FALSE(r);
    EXPECT_NE(r.message().find("105.00000 % больше 100 %"), std::string::npos) << r.message();
    // Water pushing the sum over 100 % likewise.
    r = computeNaturalGas({analysis("x.stg", {{"Азот", 99.5}})}, names,
                          conditions(GasTemperature::C20, HeatUnit::MJ, 1));
    EXPECT_FALSE(r);
    // Exactly 100 % without methane is a gas without methane, not a failure.
    r = computeNaturalGas({analysis("x.stg", {{"Азот", 70}, {"Этан", 30}})}, names, dry);
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->components[kGasMethane].mean, 0);
    EXPECT_NEAR(r->higherHeat, 0.3 * 65.38, 1e-9);
    // A negative or non-finite concentration, a water content out of range.
    EXPECT_FALSE(computeNaturalGas({analysis("x.stg", {{"Этан", -1}})}, names, dry));
    EXPECT_FALSE(computeNaturalGas({analysis("x.stg", {{"Этан", NAN}})}, names, dry));
    EXPECT_FALSE(computeNaturalGas({}, names, conditions(GasTemperature::C20, HeatUnit::MJ, -1)));
    EXPECT_FALSE(
        computeNaturalGas({}, names, conditions(GasTemperature::C20, HeatUnit::MJ, 100.5)));
    // Water content 0 and all water: finite numbers, nothing divided by zero.
    r = computeNaturalGas({}, names, conditions(GasTemperature::C20, HeatUnit::MJ, 100));
    ASSERT_TRUE(r) << r.message();
    EXPECT_EQ(r->components[kGasMethane].mean, 0);
    EXPECT_NEAR(r->higherHeat, 1.92, 1e-12);
    EXPECT_EQ(r->lowerHeat, 0);
    EXPECT_TRUE(std::isfinite(r->higherWobbe));
    EXPECT_EQ(r->lowerWobbe, 0);
}

TEST(NaturalGas, ConstantsTableHoldsTheCheckedValues) {
    // Benzene: 38730 kcal/m³ is 162.15 MJ/m³, and its density follows its
    // molar mass (78.11 / 28.96).
    const GasComponentConstants& benzene = kGasComponents[12];
    EXPECT_STREQ(benzene.name, "Бензол");
    EXPECT_NEAR(benzene.hs0, 38730 * 4.1868e-3, 0.01);
    EXPECT_DOUBLE_EQ(benzene.d0, 2.697);
    EXPECT_DOUBLE_EQ(benzene.d20, 2.697);
    // Every row's MJ heats agree with its kcal heats to the table's rounding.
    for (const GasComponentConstants& c : kGasComponents) {
        EXPECT_NEAR(c.hs0, c.hs0k * 4.1868e-3, 0.03) << c.name;
        EXPECT_NEAR(c.hi0, c.hi0k * 4.1868e-3, 0.03) << c.name;
        EXPECT_NEAR(c.hs20, c.hs20k * 4.1868e-3, 0.03) << c.name;
        EXPECT_NEAR(c.hi20, c.hi20k * 4.1868e-3, 0.03) << c.name;
        EXPECT_GT(c.z, 0.5) << c.name;
    }
    EXPECT_STREQ(kGasComponents[kGasMethane].name, "Метан");
    EXPECT_STREQ(kGasComponents[kGasWater].name, "Водяной пар");
}

}  // namespace
}  // namespace zelmora
