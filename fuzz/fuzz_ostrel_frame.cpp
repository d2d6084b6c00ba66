// The converter frame parser (Ostrel and "КД+АЦП") and the detector command
// parser on arbitrary bytes. Every frame it accepts must be exactly the
// last 18 bytes it was fed (but for
// bit 7 of the last two check bytes, which carries nothing).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "instruments/wire/ostrel_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora::wire;
    OstrelFrameParser p;
    DetectorCommandParser c;
    for (std::size_t i = 0; i < size; ++i) {
        if (p.feed(data[i]) == OstrelFrameParser::Event::Frame) {
            if (i + 1 < kOstrelFrameSize)
                std::abort();
            // Bit 7 of the last two check bytes carries nothing.
            auto b = buildOstrelFrame(p.frame());
            const std::uint8_t* in = data + i + 1 - kOstrelFrameSize;
            b[13] |= in[13] & 0x80;
            b[17] |= in[17] & 0x80;
            if (std::memcmp(b.data(), in, kOstrelFrameSize) != 0)
                std::abort();
            (void)ostrelMillivolts(p.frame().raw[0]);
            (void)detectorAdcMillivolts(p.frame().raw[1], 0);
        }
        if (p.position() >= kOstrelFrameSize)
            std::abort();
        if (auto cmd = c.feed(data[i])) {
            const auto b = buildDetectorCommand(cmd->offset, cmd->temperature);
            if (i + 1 < kDetectorCommandSize ||
                std::memcmp(b.data(), data + i + 1 - kDetectorCommandSize, b.size()) != 0)
                std::abort();
        }
    }
    return 0;
}
