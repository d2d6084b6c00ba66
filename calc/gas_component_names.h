#pragma once
// The laboratory's own names of the natural-gas components and their
// repeatability limits: the name under which a component's peak appears in
// the chromatograms (by default the table's name, "Метан", "Этан", ...) and
// the repeatability limit r in mole per cent (default 2). They are kept per
// user under "Software\Quendal\Zelmora\PrirGase" as "Param%d" (the name) and
// "Param%d_predel" (r written with "%f"), read when the natural-gas window
// opens and written when it closes.
//
// Invariant of a valid set: every name is non-empty and no two components
// share a name (compared without regard to case), so that a peak counts for
// one component only; every limit is a finite number above 0.

#include <array>
#include <string>

#include "app/result.h"
#include "calc/gas_components.h"

namespace zelmora {

class SettingsStore;

inline constexpr const char* kGasNamesKey = "Software\\Quendal\\Zelmora\\PrirGase";
inline constexpr double kDefaultRepeatabilityLimit = 2.0;

struct GasComponentNames {
    std::array<std::string, kGasComponentCount> names;
    std::array<double, kGasComponentCount> limits;  // r, mole per cent

    // The table's names and r = 2 for every component.
    GasComponentNames();

    // Why the set cannot be used (an empty or repeated name, a limit that is
    // not a number above 0), naming the component.
    Status validate() const;

    // The stored names and limits; a missing value, an empty name, a limit
    // that is no number above 0 or a name already taken by an earlier
    // component keeps its default.
    static GasComponentNames load(const SettingsStore& store);
    // Writes all 22 names and limits; false when the store refuses them.
    bool save(SettingsStore& store) const;
};

}  // namespace zelmora
