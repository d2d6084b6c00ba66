// The chromatograph link's parsers on arbitrary bytes: the packet parser
// (every packet it accepts is exactly the last bytes it was fed, decodes,
// and rebuilds to the same bytes), the request parser of the simulator and
// the handshake's baud-rate probe.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "instruments/wire/kalder_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora::wire;
    KalderFrameParser p;
    KalderRequestParser r;
    KalderBaudProbe probe;
    for (std::size_t i = 0; i < size; ++i) {
        for (const auto& f : p.feed(data[i])) {
            if (f.length == 0 || f.length > kKalderMaxFrame)
                std::abort();
            const auto packet = decodeKalderPacket(f.span());
            if (!packet)
                std::abort();
            const auto again = buildKalderPacket(*packet);
            if (again.size() != f.length ||
                std::memcmp(again.data(), f.bytes.data(), f.length) != 0)
                std::abort();
        }
        if (p.position() >= kKalderMaxFrame)
            std::abort();
        for (const auto& q : r.feed(data[i])) {
            const auto b = buildKalderRequest(q.address, q.number, q.value, q.write);
            if (i + 1 < b.size() || std::memcmp(b.data(), data + i + 1 - b.size(), b.size()) != 0)
                std::abort();
        }
        (void)probe.feed(data[i]);
    }
    // The whole input as one packet must decode only when it is consistent.
    if (const auto one = decodeKalderPacket({data, size})) {
        if (kalderFrameLength(data[2]) != size)
            std::abort();
    }
    return 0;
}
