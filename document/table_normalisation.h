#pragma once
// What a peak table needs after it was read from a file: the stored peaks carry
// only their ranges, names, concentrations, links and properties, so baselines,
// apex times, heights and areas are recomputed from the trace. The detection
// code completes this: it installs its measuring step, which runs after the
// renumbering and relinking done here. Without it the stored fields are kept.

#include <functional>

namespace zelmora {

class PeakTable;

using TableMeasurer = std::function<void(PeakTable&)>;

// Renumbers and relinks the table, then runs the installed measuring step.
void normaliseAfterRead(PeakTable& table);

// Installs the measuring step (empty to remove it). Installation is guarded by
// a mutex inside; the step itself runs on the caller's thread.
void installTableMeasurer(TableMeasurer measurer);

}  // namespace zelmora
