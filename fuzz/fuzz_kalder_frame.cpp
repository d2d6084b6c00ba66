// The chromatograph link's parsers on arbitrary bytes: the packet parser
// (every packet it accepts is bytes it was fed lately, decodes, and
// rebuilds to the same bytes), the request parser of the simulator and
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
            // A packet is bytes that were fed lately: within the last
            // packet's length (a rescan may find one that ended earlier).
            if (f.length == 0 || f.length > kKalderMaxFrame || i + 1 < f.length)
                std::abort();
            const std::size_t from = i + 1 > kKalderMaxFrame ? i + 1 - kKalderMaxFrame : 0;
            bool seen = false;
            for (std::size_t k = from; k + f.length <= i + 1 && !seen; ++k)
                seen = std::memcmp(f.bytes.data(), data + k, f.length) == 0;
            if (!seen)
                std::abort();
            const auto packet = decodeKalderPacket(f.span());
            if (!packet)
                std::abort();
            // Bit 7 of the answer's address carries nothing: compare without
            // it, with the checksum made anew.
            auto want = f.bytes;
            const std::size_t at = packet->type == 2 ? 3 : packet->type <= 1 ? 114 : 0;
            if (at != 0)
                want[at] &= 0x7F;
            // Nor do the bytes a type leaves unused.
            struct Gap {
                std::uint8_t type;
                std::size_t from, to;  // inclusive
            };
            static constexpr Gap kUnused[] = {{0, 123, 124}, {1, 123, 124}, {3, 28, 35},
                                              {3, 60, 67},   {3, 146, 149}, {4, 3, 3},
                                              {4, 19, 22},   {4, 47, 54},   {4, 103, 118}};
            for (const Gap& g : kUnused)
                if (g.type == packet->type)
                    for (std::size_t k = g.from; k <= g.to; ++k)
                        want[k] = 0;
            want[f.length - 1] = kalderChecksum({want.data(), f.length - 1});
            const auto again = buildKalderPacket(*packet);
            if (again.size() != f.length || std::memcmp(again.data(), want.data(), f.length) != 0)
                std::abort();
        }
        if (p.position() >= kKalderMaxFrame)
            std::abort();
        for (const auto& q : r.feed(data[i])) {
            // The request is the last ten bytes, with a good checksum.
            if (i + 1 < kKalderRequestSize)
                std::abort();
            const std::uint8_t* b = data + i + 1 - kKalderRequestSize;
            const unsigned field = b[3] | (b[4] << 8);
            const std::uint32_t value =
                b[5] | (b[6] << 8) | (b[7] << 16) | (static_cast<std::uint32_t>(b[8]) << 24);
            if (b[0] != kKalderSync || b[1] != kKalderSync || kalderChecksum({b, 9}) != b[9] ||
                q.address != (b[2] & 0x7F) || q.number != (field & 0x3FFF) ||
                q.write != ((field & 0x8000) != 0) || q.value != value)
                std::abort();
        }
        (void)probe.feed(data[i]);
    }
    // The whole input as one packet decodes only when its length fits its type.
    if (const auto one = decodeKalderPacket({data, size})) {
        if (kalderFrameLength(data[2]) != size)
            std::abort();
    }
    return 0;
}
