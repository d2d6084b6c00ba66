// The simulators' option parsers on arbitrary argument lists (NUL-separated).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "instruments/sim/kalder_model.h"
#include "instruments/sim/sim_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    zelmora::sim::SimConfig c;
    std::string error;
    if (zelmora::sim::parseSimArgs(args, c, &error)) {
        for (int ch = 0; ch < zelmora::sim::instrumentChannels(c.instrument); ++ch)
            (void)c.signal(ch).valueAt(1.0);
    }
    // The chromatograph simulator's options on the same list.
    zelmora::sim::KalderSimConfig k;
    if (zelmora::sim::parseKalderArgs(args, k, &error)) {
        zelmora::sim::KalderModel model(k);
        const auto bytes = model.packetBytes(0);
        if (bytes.empty())
            __builtin_trap();
    }
    return 0;
}
