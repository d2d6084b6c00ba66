#pragma once
// The peak table of a chromatogram as its second view shows it: one row per
// peak with apex time, height, area, width, reference mark, concentration,
// unit and component, grouped by the method's component groups with a total
// row per group, a bar in the concentration cell against the critical value
// of the component at the chromatogram's sampling point, and a "не найден"
// row for every method component that no peak was identified as.
//
// The grid is computed here, from the document's peaks, its method copy, the
// options and what the analyses database says about units and critical
// values (passed in); the window only draws the rows.
//
// Bars: full (and red) when concentration >= critical; otherwise
// trunc(concentration * 100 / critical) per cent, kept within 0..100 so that
// a negative concentration or critical value never draws outside its cell.
// Under the internal-standard kinds (2, 3) the standard's own peak gets no
// bar: its concentration is the amount added, not a finding.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_settings.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "method/method_records.h"

namespace zelmora {

// The fixed columns of the grid; the property columns follow them.
enum PeakGridColumn : int {
    kGridNumber = 0,
    kGridTime,
    kGridHeight,
    kGridArea,
    kGridWidth,
    kGridReference,
    kGridConcentration,
    kGridUnit,
    kGridComponent,
    kGridFixedColumns
};

// String 103 and the widths of the columns, in grid units.
const char* peakGridHeader(int column);
inline constexpr int kPropertyColumnWidth = 1050;
int peakGridColumnWidth(int column);

inline constexpr const char* kNotFoundText = "не найден";

// What the analyses database knows about the chromatogram's components:
// units by component name and the critical values at its sampling point.
// Names are matched without regard to letter case.
struct PeakGridLookup {
    std::map<std::string, std::string> units;      // key: folded name
    std::map<std::string, double> criticalValues;  // key: folded name
    // Looks a name up; nullptr / nullopt when absent.
    const std::string* unitOf(std::string_view component) const;
    std::optional<double> criticalOf(std::string_view component) const;
};

struct PeakGridRow {
    enum class Kind { Peak, GroupTotal, NotFound };
    Kind kind = Kind::Peak;
    int peak = -1;                   // index into the peak table for Peak rows
    bool inGroup = false;            // a peak row under a group: no width or property cells
    std::vector<std::string> cells;  // one per column
    // The bar in the concentration cell: absent when the component has no
    // critical value; full = at or above it.
    std::optional<int> barPercent;
    bool barFull = false;
};

struct PeakGrid {
    std::vector<std::string> headers;  // fixed columns, then the property keys
    std::vector<PeakGridRow> rows;
    bool editable = false;  // a calibration chromatogram
    bool groupsShown = false;
    // The first row that shows peak k, or -1.
    int rowOfPeak(int k) const;
};

// Whether the groups are shown for this chromatogram ("ViewGroup", unless a
// calibration chromatogram and "NoViewGroupCalib").
bool peakGridShowsGroups(const ProgramOptions& options, bool calibration);

// `method` is the chromatogram's method copy, null without one.
PeakGrid buildPeakGrid(const PeakTable& table, const Method* method, const Passport& passport,
                       const ProgramOptions& options, const PeakGridLookup& lookup);

// The bar of a concentration against a critical value; nullopt without a
// usable critical value (|c| <= 1e-50). `full` is set for c reached.
std::optional<int> criticalBar(double concentration, double critical, bool& full);

// Edits of a calibration chromatogram's grid. Each returns false, leaving
// the peak as it was, when the chromatogram is not a calibration one, the
// peak does not exist or (concentration) the text is not wholly a number;
// "1,5" is read as 1.5.
bool setPeakAmountTyped(PeakTable& table, bool calibration, int peak, std::string_view typed);
bool togglePeakReference(PeakTable& table, bool calibration, int peak);
bool setPeakComponent(PeakTable& table, bool calibration, int peak, std::string_view name);
bool setPeakPropertyValue(PeakTable& table, bool calibration, int peak, std::string_view key,
                          std::string_view value);

}  // namespace zelmora
