#pragma once
// Dissolved-gas analysis of transformer oil. The oil samples of one
// transformer (a sampling point of the analyses database) are analysed for
// seven gases — H2, CO, CO2, CH4, C2H2, C2H4, C2H6, in % by volume — and the
// history of the transformer is the table of those concentrations by
// sampling moment, oldest first.
//
// For a chosen analysis k the diagnosis works out:
//   - each gas's growth rate since analysis k−1, in % by volume per month
//     (a month is 30 days):  rate = (vₖ − vₖ₋₁) / (d / 30), d the whole days
//     between the two samplings, and its relative growth in % per month,
//     rate / vₖ₋₁ × 100 (rate / the gas's minimum significant concentration
//     × 100 when vₖ₋₁ is 0);
//   - the time to the next analysis: 6 months, shortened to the time in which
//     a growing gas gains five times its minimum significant concentration;
//   - the ratios p = C2H2/C2H4, q = CH4/H2, r = C2H4/C2H6, s = CO2/CO, whose
//     ranges name the kind of defect (codes 0 to 8 below), and three flags:
//     solid insulation involved (s outside 5 … 13), a defect developing in
//     depth (some gas decreasing), and removal from service (some gas growing
//     faster than 10 % a month).
// A transformer whose every gas stays below its boundary concentration is
// normal, whatever the growth.
//
// Numerical care the laboratory relies on: two analyses less than a whole
// day apart give no growth rate (the rate is unknown, never infinite, and
// does not shorten the interval nor raise a flag); a ratio whose divisor is 0
// does not exist and matches no range; the history's analyses of one
// sampling moment are merged into one (the mean of those that share a
// measured gas, a true mean over any number of them).

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_settings.h"
#include "app/result.h"

namespace zelmora {

inline constexpr std::size_t kOilGasCount = 7;
enum OilGasIndex : std::size_t { kOilH2, kOilCO, kOilCO2, kOilCH4, kOilC2H2, kOilC2H4, kOilC2H6 };

// The smallest concentration of each gas, % by volume, that the analysis
// tells from zero.
inline constexpr std::array<double, kOilGasCount> kOilMinimumSignificant = {
    0.0005, 0.002, 0.002, 0.0001, 0.0001, 0.00005, 0.0001};

// The gas list of the options: formula, the component name the gas is
// saved under, and its boundary concentration.
using OilGasList = std::array<OilGas, kOilGasCount>;

struct OilGasValue {
    std::string name;  // the component found in the analysis; empty when not measured
    std::string formula;
    double value = 0;  // % by volume; 0 when not measured
    double minimum = 0;
    bool measured() const { return !name.empty(); }
};

struct OilAnalysis {
    std::time_t moment = 0;  // sampling, whole seconds
    bool merged = false;
    std::array<OilGasValue, kOilGasCount> gases;
};

// One analysis of the point as the database holds it: its sampling moment and
// its results by component name.
struct OilSampleResults {
    std::time_t moment = 0;
    struct Value {
        std::string component;
        double value = 0;
    };
    std::vector<Value> results;
};

// An analysis with no gas measured yet (the formulas and minima filled in).
OilAnalysis emptyOilAnalysis(std::time_t moment, const OilGasList& gases);

// The history of a point: every analysis with the values of the components
// named exactly (letter case counts) as the gas list names them, ascending by
// sampling moment (analyses of one moment keep their order).
std::vector<OilAnalysis> buildOilHistory(const std::vector<OilSampleResults>& samples,
                                         const OilGasList& gases);

// True while two neighbours of the (sorted) history share a sampling moment.
bool hasSameMoment(const std::vector<OilAnalysis>& history);

// Merges the analyses of each sampling moment into the first of them. An
// analysis that shares a measured gas with the group is averaged in: every
// gas becomes the mean over the analyses averaged so far (a gas one of them
// did not measure counts 0 there). One that shares none completes the group:
// its values are added. Returns how many analyses were merged away.
int mergeSameMoment(std::vector<OilAnalysis>& history);

// The tint of a concentration's cell: high at or above the boundary
// concentration, notable from a tenth of it; none without a boundary (0).
enum class OilCellTint { None, Notable, High };
OilCellTint oilCellTint(double value, double boundary);

// Whole days between two sampling moments, counted on the wall clock (a
// change to or from summer time does not take an hour off a day); the
// fraction of a day is dropped.
long long oilWholeDays(std::time_t from, std::time_t to);

struct OilGrowth {
    bool known = true;    // false when the previous analysis is less than a day older
    double rate = 0;      // % by volume per month
    double relative = 0;  // % per month
};

struct OilRatios {
    std::optional<double> p, q, r, s;  // C2H2/C2H4, CH4/H2, C2H4/C2H6, CO2/CO
};

// The kinds of defect by the ratio codes, and the codes' parts.
inline constexpr int kOilNoAnalysis = -1;
inline constexpr int kOilNoPattern = -2;
inline constexpr int kOilSolidInsulation = 9;
inline constexpr int kOilDeveloping = 18;
inline constexpr int kOilRemoval = 36;
inline constexpr int kOilBaseCount = 9;
// Texts of base codes 0..8.
const char* oilDefectText(int base);

struct OilDiagnosis {
    // base + 9 solid insulation + 18 developing + 36 removal; kOilNoPattern
    // when no range matched, kOilNoAnalysis for no analysis.
    int code = kOilNoAnalysis;
    bool allBelow = false;  // every gas below its boundary: normal, ratios not used
    double months = 6;      // to the next analysis
    std::array<OilGrowth, kOilGasCount> growth;
    std::optional<OilRatios> ratios;  // absent when all gases are below their boundaries

    int base() const { return code >= 0 ? code % kOilBaseCount : -1; }
    bool solidInsulation() const { return code >= 0 && (code / kOilBaseCount) % 2 == 1; }
    bool developing() const { return code >= 0 && (code / (2 * kOilBaseCount)) % 2 == 1; }
    bool removal() const { return code >= 0 && code / (4 * kOilBaseCount) == 1; }
    // The next analysis in whole months and days.
    int nextMonths() const;
    int nextDays() const;
    // "Норма - следующий анализ через 6 месяцев, 0 дней." and the like.
    std::string text() const;
};

// Ratios of one analysis; a divisor of 0 gives no ratio.
OilRatios oilRatios(const OilAnalysis& a);
// The base code the ratios match (ranges tested 0 to 8, a later match
// replacing an earlier one), or -1.
int oilBasePattern(const OilRatios& r);

// Diagnosis of analysis k of the history; k outside the history gives
// kOilNoAnalysis.
OilDiagnosis DiagnoseOil(const std::vector<OilAnalysis>& history, int k, const OilGasList& gases);

// The three points of gas g drawn for analysis k: for j = k−2, k−1, k the
// whole days from the first analysis and the value of analysis j (the first
// analysis for j ≤ 0). Empty for k or g outside the table.
struct OilChartPoint {
    double days = 0, value = 0;
};
std::vector<OilChartPoint> oilChartPoints(const std::vector<OilAnalysis>& history, int k, int g);

// "%d.%m.%Y" of a sampling moment, local time.
std::string oilDateText(std::time_t moment);

// A history kept outside the database, as CSV text: the header
// "date,H2,CO,CO2,CH4,C2H2,C2H4,C2H6" (the gases in any order, each once),
// dates "YYYY-MM-DD HH:MM:SS" local time, values in % by volume with a decimal
// point, an empty cell for a gas not found. The rows come back sorted as
// buildOilHistory sorts them; a measured gas carries its formula as its name.
Result<std::vector<OilAnalysis>> parseOilHistoryCsv(std::string_view csv);

// "H2=0.01,CO=0.05": boundary concentrations by formula into the list.
Status parseOilBoundaries(std::string_view text, OilGasList& gases);

}  // namespace zelmora
