#include "document/peak_table.h"

#include <numeric>

namespace zelmora {

Peak* PeakTable::at(long long i) {
    if (i < 0 || static_cast<unsigned long long>(i) >= peaks.size())
        return nullptr;
    return &peaks[static_cast<std::size_t>(i)];
}

const Peak* PeakTable::at(long long i) const {
    if (i < 0 || static_cast<unsigned long long>(i) >= peaks.size())
        return nullptr;
    return &peaks[static_cast<std::size_t>(i)];
}

bool PeakTable::hasAnyProperty() const {
    if (!properties.empty())
        return true;
    for (const Peak& p : peaks)
        if (!p.properties.empty())
            return true;
    return false;
}

void PeakTable::renumber() {
    for (std::size_t k = 0; k < peaks.size(); ++k)
        peaks[k].ownIndex = static_cast<std::int32_t>(k);
}

void PeakTable::relinkFromRightLinks() {
    const std::size_t n = peaks.size();
    // Each chain accepted so far is one set; a link i -> r between peaks of
    // the same set would close a loop.
    std::vector<std::size_t> parent(n);
    std::iota(parent.begin(), parent.end(), std::size_t{0});
    auto find = [&](std::size_t x) {
        while (parent[x] != x) {
            parent[x] = parent[parent[x]];
            x = parent[x];
        }
        return x;
    };
    for (Peak& p : peaks)
        p.prevInGroup = -1;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t r = peaks[i].nextInGroup;
        const bool valid = r >= 0 && static_cast<std::size_t>(r) < n &&
                           static_cast<std::size_t>(r) != i &&
                           peaks[static_cast<std::size_t>(r)].prevInGroup == -1;
        if (!valid) {
            peaks[i].nextInGroup = -1;
            continue;
        }
        const std::size_t a = find(i), b = find(static_cast<std::size_t>(r));
        if (a == b) {
            peaks[i].nextInGroup = -1;
            continue;
        }
        parent[b] = a;
        peaks[static_cast<std::size_t>(r)].prevInGroup = static_cast<std::int32_t>(i);
    }
}

}  // namespace zelmora
