// Bytes from the electrochemical detector's line, whatever they are: the
// frame collector and the command reader must never crash, every decoded
// frame must encode back to the same fields, and a signal count must stay
// within the detector's full scale.

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "instruments/wire/ehd_frame.h"

using namespace zelmora::wire;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EhdFrameParser frames;
    EhdCommandParser commands;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF)
            frames.restartFrame();
        (void)commands.feed(data[i]);
        if (!frames.feed(data[i]))
            continue;
        const EhdFrame& f = frames.frame();
        const EhdFrame again = decodeEhdFrame(buildEhdFrame(f));
        if (again.raw != f.raw || again.kind != f.kind || again.range != f.range ||
            again.mode != f.mode || again.measuredTemperatureCode != f.measuredTemperatureCode ||
            again.measuringPotential != f.measuringPotential ||
            again.detectorTemperature != f.detectorTemperature)
            std::abort();
        const double v = ehdSignal(f.raw, f.range, f.mode);
        if (!(std::fabs(v) <= ehdFullScale(f.range, f.mode)))
            std::abort();
    }
    return 0;
}
