#pragma once
// Calibration: each component's curve, amount as a function of the detector
// response, fitted from calibration chromatograms of known amounts.
//
// Every component of a method has the same calibration levels: level i of
// each comes from the same calibration chromatogram, known by its analysis
// date-time. The response X of a level is its height or its area, as the
// method's response says; levels with X = 0 take no part in a fit.
//
// Classic fit: the level coefficients amount / X, their mean m is k1 of
// Y = k1 X; R = (max - min) * 100 / m and ОСКО = s * 100 / m (s the sample
// standard deviation). Relative to an internal standard, k1 is divided by
// the standard's own mean (the standard factor), so the standard ends with
// k1 = 1.
//
// Least-squares fit: a polynomial in X, 1/X or ln X (by curve group) through
// the levels' amounts (ln amounts for the logarithmic group), with or
// without constant term, of a degree lowered to what the levels can
// determine. Relative to a standard, each amount is first corrected by the
// standard's own curve at that level.

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/result.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "method/method_records.h"

namespace zelmora {

class MessageSink;

inline constexpr const char* kCalibrationReusedMessage =
    "Данная хроматограмма уже использована в калибровке.";

// The statistics of the classic fit; not stored with the method.
struct ClassicStatistics {
    double mean = 0;   // mean calibration coefficient
    double range = 0;  // R, percent of the mean
    double rsd = 0;    // ОСКО, percent of the mean
    int levels = 0;    // levels with a non-zero coefficient
};

// X of a level: its height (response 0) or its area (response 1).
double LevelResponse(const CalibrationPoint& point, int response);
// amount / X; 0 when X is 0.
double LevelCoefficient(const CalibrationPoint& point, int response);

// The classic fit of `c`, relative to `standard` when given (which may be
// `c` itself). A manual component is left as it is; its statistics are
// still returned.
ClassicStatistics ClassicFit(MethodComponent& c, int response, const MethodComponent* standard);

// The amount of level `level` of `c`, corrected by the standard's own curve
// at that level when a standard is given.
double LevelAmount(const MethodComponent& c, std::size_t level, int response,
                   const MethodComponent* standard);

struct FitOutcome {
    int points = 0;  // levels that took part
    int degree = 0;  // the degree actually fitted
};

// The least-squares fit of `c`. A singular system or an unknown curve form
// keeps the previous coefficients and is a failure that names the component.
Result<FitOutcome> LeastSquaresFit(MethodComponent& c, int response,
                                   const MethodComponent* standard);

struct CalibrationReport {
    std::vector<ClassicStatistics> statistics;  // by component; zero where no classic fit ran
    std::vector<std::string> messages;          // singular fits and the like
};

// Refits every component as the calculation kind asks.
CalibrationReport FitAllComponents(CalculationSettings& settings);

// Levels of the method: the point count of its first component.
std::size_t levelCount(const CalculationSettings& settings);
// The level of this date-time, or -1 (an empty date-time 0 never matches).
int findLevel(const CalculationSettings& settings, std::time_t dateTime);
// The level of this date-time: the existing one (with `existed` set), or a
// new empty level appended to every component.
int AddLevel(CalculationSettings& settings, std::time_t dateTime, bool* existed = nullptr);
// Removes level i, or every level, from every component; the operator's
// deletions are written into the work log.
bool DeleteLevel(CalculationSettings& settings, std::size_t level);
void DeleteAllLevels(CalculationSettings& settings);

// The component of this name, or a new one (defaults of a new component)
// given the method's empty levels with their date-times.
MethodComponent& findOrAddComponent(CalculationSettings& settings, std::string_view name);

struct CalibrationPointResult {
    int level = -1;
    bool reused = false;  // the chromatogram's level existed and was overwritten
    int components = 0;   // components that received a point
    int added = 0;        // components added to the method
    CalibrationReport fit;
};

// Turns a calibration chromatogram into one calibration level of every
// component of `method` and refits. The message about a chromatogram already
// used goes to `sink` when given.
CalibrationPointResult AddCalibrationPoint(Method& method, const PeakTable& peaks,
                                           const Passport& passport, MessageSink* sink);

// Takes every named peak over as a component: its retention time, reference
// flag and retention index. Returns the number of components added.
int AddComponentsFromPeaks(Method& method, const PeakTable& peaks);

// --- what the calibration dialog shows

// "%.6f" for a magnitude of at least 0.0001, else "%.3g".
std::string formatCoefficient(double value);
// Whether k`j` (0 to 3) is used by the curve form, and so editable by hand.
bool coefficientUsed(int curveType, int j);
// "Вручную" ticked: the coefficients the curve form does not use become 0.
void keepUsedCoefficients(MethodComponent& c);
// The coefficient column of level `level`: relative to the standard's
// coefficient at that level for kinds 2, 6 and 7 (except the standard itself
// under kind 7); 0 when the standard's coefficient is 0.
double shownLevelCoefficient(const CalculationSettings& settings, const MethodComponent& c,
                             std::size_t level);
// The fitted curve as the graph draws it: 50 pairs (X, amount) from maxX/50
// in steps of 1.05 maxX / 49, the amount multiplied by the standard factor
// for kinds 2, 6 and 7. Empty when no level has a positive response.
std::vector<std::pair<double, double>> calibrationCurveSamples(const CalculationSettings& settings,
                                                               const MethodComponent& c);

}  // namespace zelmora
