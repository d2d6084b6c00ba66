#include "document/table_normalisation.h"

#include <mutex>

#include "document/peak_table.h"

namespace zelmora {
namespace {

std::mutex measurerMutex;  // guards measurer()
TableMeasurer& measurer() {
    static TableMeasurer m;
    return m;
}

}  // namespace

void normaliseAfterRead(PeakTable& table) {
    table.renumber();
    table.relinkFromRightLinks();
    TableMeasurer step;
    {
        std::lock_guard lock(measurerMutex);
        step = measurer();
    }
    if (step)
        step(table);
}

void installTableMeasurer(TableMeasurer m) {
    std::lock_guard lock(measurerMutex);
    measurer() = std::move(m);
}

}  // namespace zelmora
