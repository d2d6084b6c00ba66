#pragma once
// The faults a simulated instrument's fault plan puts on the line around a
// frame (a pause before it, garbage ahead of it, a split), read from any
// model with faultAt() and garbage(): the converters' FrameSource and the
// chromatograph's KalderModel. Kept out of simulator_line.h, which Qt code
// includes: sim_config.h has a field named `signals`, a Qt keyword macro.

#include <cstdint>

#include "instruments/sim/sim_config.h"
#include "instruments/sim/simulator_line.h"

namespace zelmora::sim {

// The pause that a model's fault plan schedules before frame n (0: none).
// For a model with faultAt(); the caller holds the model's lock.
template <class Model>
std::uint64_t scheduledSilenceMs(const Model& model, std::uint64_t n) {
    std::uint64_t ms = 0;
    return model.faultAt(FaultKind::Silence, n, &ms) ? ms : 0;
}

// Adds the line faults a model's fault plan schedules on frame n: garbage
// ahead of it and a split. For a model with faultAt() and garbage(); the
// caller holds the model's lock.
template <class Model>
void addLineFaults(Model& model, std::uint64_t n, SimulatedFrame& frame) {
    std::uint64_t garbageCount = 0;
    if (model.faultAt(FaultKind::Garbage, n, &garbageCount))
        frame.noise = model.garbage(static_cast<std::size_t>(garbageCount));
    frame.split = model.faultAt(FaultKind::Split, n, &frame.splitMs);
}

}  // namespace zelmora::sim
