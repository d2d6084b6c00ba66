// The Varsel frame and command parsers on arbitrary bytes: an accepted frame
// ends with valid checksums and decodes to the fields it carries.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "instruments/wire/varsel_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora::wire;
    VarselFrameParser p;
    VarselCommandParser c;
    for (std::size_t i = 0; i < size; ++i) {
        if (p.feed(data[i]) == VarselFrameParser::Event::Frame) {
            if (i + 1 < kVarselFrameSize)
                std::abort();
            const std::uint8_t* f = data + i + 1 - kVarselFrameSize;
            unsigned h = 0;
            unsigned d = 0;
            for (int k = 0; k < 9; ++k)
                h += f[k];
            for (int k = 10; k < 38; ++k)
                d += f[k];
            if (f[0] != 0xAB || f[1] != 0xAB || f[2] != 0 || f[9] != h % 256 || f[38] != d % 256 ||
                p.frame().state != f[8])
                std::abort();
            (void)varselSample(p.frame().signal);
        }
        if (auto cmd = c.feed(data[i])) {
            const auto b = buildVarselCommand(cmd->op, cmd->b3, cmd->b4, cmd->b5);
            if (b[6] != data[i])
                std::abort();
        }
    }
    return 0;
}
