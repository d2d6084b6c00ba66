#pragma once
// What the peak table of a chromatogram asks of the analyses database: the
// unit of every component of the catalogue and the critical values at the
// chromatogram's sampling point (station and point by name), and the two
// catalogue edits a calibration chromatogram's table makes — a component
// chosen for a peak joins the catalogue, a unit typed for it is stored.
//
// Names match without regard to letter case, like everywhere in the
// database; the maps are keyed by the folded name (text::foldCase).

#include <map>
#include <string>
#include <string_view>

#include "database/sqlite_db.h"

namespace zelmora::db {

struct ComponentValues {
    std::map<std::string, std::string> units;      // folded name -> unit
    std::map<std::string, double> criticalValues;  // folded name -> critical value
};

// Units of every component, and the critical values of the point `place` of
// station `station` (none when either is empty or unknown).
Result<ComponentValues> componentValuesAt(Connection& db, std::string_view station,
                                          std::string_view place);

// Adds the component with an empty unit when the catalogue has no component
// of that name; true when it was added. An empty name adds nothing.
Result<bool> ensureParametr(Connection& db, std::string_view name);

// The unit of a component, which is added when missing. An empty unit is
// stored empty. Longer units than the dialogs allow are refused.
Status setParametrUnit(Connection& db, std::string_view name, std::string_view unit);

}  // namespace zelmora::db
