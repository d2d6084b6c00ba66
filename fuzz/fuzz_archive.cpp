// Reads arbitrary bytes as a mix of archive fields, driven by the bytes
// themselves: nothing may read out of bounds or allocate without bound.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "document/archive/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    zelmora::ArchiveReader r(std::string_view(reinterpret_cast<const char*>(data), size));
    while (r.ok() && !r.atEnd()) {
        switch (r.u8() % 7) {
            case 0: r.string(); break;
            case 1: r.rawString(); break;
            case 2: r.i32(); break;
            case 3: r.f64(); break;
            case 4: r.count(r.i32(), 8, "элементов"); break;
            case 5: r.bytes(r.u8()); break;
            case 6: r.dateTime(); break;
        }
    }
    return 0;
}
