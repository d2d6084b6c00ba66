#pragma once
// A chromatogram brought in from another system (an AIA/ANDI netCDF file, a
// CSV table of an instrument or a spreadsheet) before it becomes a document:
// the trace already in minutes and millivolts on an even time step, the
// passport fields the file carried, the peaks its own software reported, and
// a line for the operator about everything that was taken or assumed (units,
// scaling, resampling), so that nothing is converted silently.
//
// Units: a signal in µV, mV or V is converted to mV. A detector that does not
// give a voltage (pA of a flame ionisation detector, AU of a UV detector,
// counts) keeps its numbers as they are, shown as if they were mV; the
// original unit is kept in the table's properties ("Единица сигнала").

#include <string>
#include <string_view>
#include <vector>

#include "app/result.h"
#include "document/passport.h"
#include "document/peak.h"
#include "document/signal.h"

namespace zelmora {

class CZelmoraDoc;

// Keys of the table properties an import writes.
inline constexpr std::string_view kImportSourceKey = "Источник";
inline constexpr std::string_view kImportSignalUnitKey = "Единица сигнала";

struct ImportedChromatogram {
    Signal signal;
    Passport passport;
    // The reported peaks with their bounds; heights and areas are measured on
    // the trace when the chromatogram goes into a document. The values the
    // other system reported are kept as peak properties.
    std::vector<Peak> peaks;
    PeakPropertyList tableProperties;
    // What was taken from the file and what was assumed, one line each.
    std::vector<std::string> notes;

    // Moves everything into `doc` (which is left with no path and no method),
    // sorts the peaks by apex and measures them on the trace.
    void moveInto(CZelmoraDoc& doc);
};

// The factor that turns a signal unit into mV and the unit's plain name:
// "uV", "µV", "microvolts" -> 0.001; "mV" -> 1; "V", "volts" -> 1000. A
// leading number scales the unit ("25 µV" -> 0.025, as some instruments
// count in steps of 25 µV). `isVoltage` is false for any other unit (pA, AU,
// mAU, counts, empty): the factor is then 1 times a leading number.
struct SignalUnit {
    double toMillivolts = 1;
    bool isVoltage = false;
    std::string name;  // as given, trimmed
};
SignalUnit parseSignalUnit(std::string_view text);

// A time unit: true for minutes ("min", "minutes", "мин", "time in minutes"),
// false for seconds or anything else containing "s"/"sec"; nullopt-like
// `known` false when the text names neither.
struct TimeUnit {
    bool minutes = false;
    bool known = false;
};
TimeUnit parseTimeUnit(std::string_view text);

// Puts samples taken at uneven times onto an even step by linear
// interpolation. `times` in minutes, strictly increasing (checked); the step
// is the finest of the record (or a little finer, so that the span is a whole
// number of steps). The trapezoidal integral is kept: the resampled trace
// covers the same span and follows the same straight pieces, only the corners
// between two grid points are cut. A record whose finest step would make more
// than ten times its points is refused.
// Fails on fewer than two points, times that are not finite or do not rise.
Result<Signal> resampleEvenly(const std::vector<double>& times, const std::vector<double>& values);

}  // namespace zelmora
