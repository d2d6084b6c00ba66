// The method file reader on arbitrary bytes: it must never read out of
// bounds, and whatever it accepts must be written and read back to the same
// bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "method/method_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    Method method;
    const Method untouched = method;
    if (!readMethodFile(bytes, method)) {
        // A refused file leaves the method alone.
        if (!(writeMethodFile(method) == writeMethodFile(untouched)))
            std::abort();
        return 0;
    }
    const std::string written = writeMethodFile(method);
    Method again;
    if (!readMethodFile(written, again))
        std::abort();
    if (writeMethodFile(again) != written)
        std::abort();
    return 0;
}
