// The substance density table ("density.txt") on arbitrary bytes: whatever
// it reads has non-empty names and, written out and read again, gives the
// same table.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/text.h"
#include "processing/density_table.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<DensityEntry> rows = parseDensityTable(bytes);
    std::string written;
    for (const DensityEntry& r : rows) {
        if (r.name.empty())
            std::abort();
        written += text::toCp1251(r.name) + "\r\n" + text::format("%.17g", r.density) + "\r\n";
    }
    const std::vector<DensityEntry> again = parseDensityTable(written);
    if (again.size() != rows.size())
        std::abort();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool same = again[i].density == rows[i].density ||
                          (std::isnan(again[i].density) && std::isnan(rows[i].density));
        if (again[i].name != rows[i].name || !same)
            std::abort();
    }
    return 0;
}
