#pragma once
// Quantitation: turns the identified peaks of a chromatogram into
// concentrations by the method's calculation kind, each component's
// calibration curve (amount as a function of the detector response X, its
// height or its area) and the passport's sample amount V, standard amount or
// dilution D and norm N.
//
//   0, 1  absolute calibration        c = Y(X) / V * D / (N / 100)
//   2, 3  internal standard           c = cs * Y(X) / Y(Xs),  cs = D / V * 100
//   4     normalisation               c = X * N / sum(X)
//   5, 6  normalisation with absolute or relative factors: X * k1 in place of X
//   7     external standard           c = Y(X) * k1 of the standard
//   8     one component plus relative factors: no concentrations are computed
//
// Curves by group g = type / 6: g 0 Y = k0 + k1 X + k2 X^2 + k3 X^3, g 1 the
// same in 1/X, g 2 ln Y the same in ln X. A curve never yields NaN or an
// infinity: a response it cannot take (X = 0 for g 1, X <= 0 for g 2) and a
// result out of range give 0.
//
// Component names are compared without regard to letter case, Cyrillic
// included.

#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "method/method_records.h"

namespace zelmora {

enum CalculationKind : int {
    kAbsoluteClassic = 0,
    kAbsoluteLeastSquares = 1,
    kInternalStandardClassic = 2,
    kInternalStandardAbsolute = 3,
    kSimpleNormalisation = 4,
    kNormalisationAbsolute = 5,
    kNormalisationRelative = 6,
    kExternalStandard = 7,
    kOneComponentRelative = 8,
};

inline constexpr int kCurveTypes = 18;
// "Y=k1*X" ... "ln(Y)=k3*ln(X)^3 + k2*ln(X)^2 + k1*ln(X) + k0"; "" out of range.
const char* curveTypeCaption(int curveType);
// The name of a calculation kind in reports ("неизвестен" for 7, 8 and others).
const char* calculationKindReportName(int kind);
// "высота" or "площадь".
const char* responseReportName(int response);

// Labels of the passport's three values for a calculation kind; empty for a
// value that is hidden.
struct PassportLabels {
    std::string sampleAmount, standardAmount, norm;
};
PassportLabels passportLabels(int kind, int extraKind, bool calibration);

// The component of this name, or nullptr.
const MethodComponent* findComponent(const CalculationSettings& settings, std::string_view name);
MethodComponent* findComponent(CalculationSettings& settings, std::string_view name);

// The amount that the component's curve gives for the response X.
double EvaluateCurve(const MethodComponent& component, double x);

// The amount of the component `name` for a peak of this height and area. A
// name without a component gives 0, except under kinds 2, 3 and 6 with a
// standard named, where the standard's curve stands in.
double Response(const CalculationSettings& settings, std::string_view name, double height,
                double area);

// Writes the concentration of every peak, then applies the main substance
// by difference (a peak of that name is appended when there is none). A
// kind that cannot compute concentrations (8, or 7 without its standard
// component) sets them to 0 and says why in the work log and the failed
// status.
Status CalculateConcentrations(PeakTable& table, const Method& method, const Passport& passport);

// The method's component groups: the runs of equal consecutive group names
// of its list, each with the sums over the peaks whose component belongs to
// it (a component belongs to the group of its first pair).
struct ComponentGroupTotal {
    std::string name;
    int peaks = 0;
    double height = 0, area = 0, concentration = 0;
};
// The index of the group `component` belongs to, or -1.
int componentGroupOf(const std::vector<ComponentGroup>& groups, std::string_view component);
std::vector<ComponentGroupTotal> componentGroupTotals(const std::vector<ComponentGroup>& groups,
                                                      const PeakTable& table);

}  // namespace zelmora
