#pragma once
// Identification of components: gives the peaks of a chromatogram the names
// of the components of its method.
//
// By retention time: the reference components ("Репер") are found first,
// each as the peak inside its window chosen by height, area, nearness or
// list position; the found references give the retention factor
//   f = sum(a - Tm) / sum(e - Tm)
// (a the found apex times, e the expected times, Tm the dead time), with
// which every other component is looked for at e' = Tm + f * (e - Tm)
// inside the window |e' - a| <= e' * w / 100.
//
// By retention indices: the reference peaks carry their components' indices;
// every other peak between two references L and R gets
//   I = IL + (IR - IL) * (x - xL) / (xR - xL)
// with x the apex time (linear indices) or ln(t - Tm) (logarithmic indices),
// kept in the peak and, as text, in its property "Индекс". Components are
// then matched by index within |Ic - Ip| <= w.
//
// Component names are compared without regard to letter case, Cyrillic
// included. A peak is claimed by one component only.

#include <optional>
#include <string>
#include <utility>

#include "document/peak_table.h"
#include "method/method_records.h"

namespace zelmora {

// Identification modes of the calculation settings.
enum IdentificationMode : int {
    kIdentifyByTime = 0,
    kIdentifyByLinearIndex = 1,
    kIdentifyByLogarithmicIndex = 2,
};

// Rules that choose the peak of a reference component.
enum ReferenceRule : int {
    kReferenceByHeight = 0,
    kReferenceByArea = 1,
    kReferenceByTime = 2,
    kReferenceByNumber = 3,
};

// Texts of the "Индекс" property of a peak that got no index.
inline constexpr const char* kNoReferenceRight = "нет репера справа";
inline constexpr const char* kNoReferenceLeft = "нет репера слева";
inline constexpr const char* kNoReferenceBoth = "нет репера слева и справа";
// A logarithmic index needs the peak and its references after the dead time.
inline constexpr const char* kNotAfterDeadTime = "время не больше Тм";

// True when apex time a lies in the window of expected time e and window w
// percent: |e - a| <= e * w / 100.
bool InsideTimeWindow(double e, double w, double a);

// The reference step of identification by time: names the reference peaks
// (reference mark 1) and returns the retention factor f (1 when no
// reference was found or the found references sum to zero expected time
// after the dead time).
double IdentifyReferences(PeakTable& table, const CalculationSettings& settings);

// Clears every name, finds the references and then every other component at
// its scaled time. Returns the retention factor.
double IdentifyByTime(PeakTable& table, const CalculationSettings& settings);

// Clears every name, index and "Индекс" property, names the references,
// interpolates the index of every other peak and matches the components by
// index. Mode 1 linear, mode 2 logarithmic.
void IdentifyByIndex(PeakTable& table, const CalculationSettings& settings);

// Where identification by index looks for component `c`: the times whose
// interpolated index lies within c's window around its index, mapped back
// through each pair of neighbouring reference peaks of the table (linear or
// logarithmic by the settings' mode) and joined into one interval. Nothing
// when no pair of reference peaks covers any of the window.
std::optional<std::pair<double, double>> IndexWindowTimes(const PeakTable& table,
                                                          const CalculationSettings& settings,
                                                          const MethodComponent& c);

// Dispatches on the identification mode. `retentionFactor` is set by
// identification by time and kept otherwise.
void IdentifyPeaks(PeakTable& table, const CalculationSettings& settings, double& retentionFactor);

}  // namespace zelmora
