// The "Флюорат" frame parser on arbitrary bytes: every value it returns
// re-encodes to the last four bytes fed and scales into 0 ... 1000.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "instruments/wire/fluorat_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora::wire;
    FluoratFrameParser p;
    for (std::size_t i = 0; i < size; ++i) {
        const auto v = p.feed(data[i]);
        if (!v)
            continue;
        if (i + 1 < kFluoratFrameSize || *v > kFluoratFullScale)
            std::abort();
        auto b = buildFluoratFrame(*v);
        // Bits of byte 0 other than 7 and 2 carry nothing.
        const std::uint8_t* in = data + i + 1 - kFluoratFrameSize;
        if (b[0] != (in[0] & 0x84) || std::memcmp(b.data() + 1, in + 1, 3) != 0)
            std::abort();
        const double s = fluoratSample(*v);
        if (s < 0 || s > 1000)
            std::abort();
    }
    return 0;
}
