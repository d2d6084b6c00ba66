// The combined-table file (".et") and the density map ("Denseness.den") on
// arbitrary bytes: whatever either reader accepts, written out and read
// again, gives the same table or map.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "calc/et_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (auto table = parseEtTable(bytes)) {
        auto again = parseEtTable(serializeEtTable(*table));
        if (!again || !(*again == *table))
            std::abort();
    }
    if (auto map = parseDensityMap(bytes)) {
        auto again = parseDensityMap(serializeDensityMap(*map));
        if (!again || *again != *map)
            std::abort();
    }
    return 0;
}
