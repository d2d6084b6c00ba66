// Bytes from the Pelvio autosampler's line, whatever they are, through both
// ends of the link: the program's parser of the sampler's frames and the
// sampler's parser of the program's frames. Neither may crash; every frame
// either accepts is the last bytes it was fed and builds back to them; a
// frame the program's parser calls too long really declared more than the
// sampler's three payload bytes; a bad check is a frame with a wrong XOR.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "instruments/wire/pelvio_frame.h"

namespace {

using namespace zelmora::wire;

// The frame that ends at data[end - 1] is the payload framed anew.
void expectFramed(const std::uint8_t* data, std::size_t end,
                  const std::vector<std::uint8_t>& payload, std::size_t maxPayload) {
    if (payload.size() > maxPayload)
        std::abort();
    const std::vector<std::uint8_t> again = buildPelvioFrame(payload);
    if (again.size() > end || std::memcmp(again.data(), data + end - again.size(), again.size()))
        std::abort();
}

// Some frame ends at data[end - 1] whose check byte is not the XOR of its
// length and payload.
void expectBadCheck(const std::uint8_t* data, std::size_t end) {
    if (end < 3)
        std::abort();
    for (std::size_t length = 0; length + 3 <= end; ++length) {
        const std::uint8_t* f = data + end - (length + 3);
        if (f[0] != kPelvioSync || f[1] != length)
            continue;
        std::uint8_t x = f[1];
        for (std::size_t i = 0; i < length; ++i)
            x ^= f[2 + i];
        if (x != f[length + 2])
            return;
    }
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PelvioFrameParser fromSampler;
    PelvioRequestParser fromProgram;
    for (std::size_t i = 0; i < size; ++i) {
        switch (fromSampler.feed(data[i])) {
            case PelvioFrameParser::Event::Frame:
                expectFramed(data, i + 1, fromSampler.payload(), kPelvioMaxFrame - 3);
                break;
            case PelvioFrameParser::Event::BadCheck:
                expectBadCheck(data, i + 1);
                break;
            case PelvioFrameParser::Event::TooLong: {
                // Cut at the sixth byte of a frame that declared more.
                if (i + 1 < kPelvioMaxFrame)
                    std::abort();
                const std::uint8_t* f = data + i + 1 - kPelvioMaxFrame;
                if (f[0] != kPelvioSync || f[1] + 3u <= kPelvioMaxFrame)
                    std::abort();
                break;
            }
            case PelvioFrameParser::Event::None:
                break;
        }
        switch (fromProgram.feed(data[i])) {
            case PelvioRequestParser::Event::Frame:
                expectFramed(data, i + 1, fromProgram.payload(), kPelvioMaxRequestPayload);
                if (fromProgram.payload().empty())
                    std::abort();
                break;
            case PelvioRequestParser::Event::BadCheck:
                expectBadCheck(data, i + 1);
                break;
            case PelvioRequestParser::Event::None:
                break;
        }
    }
    return 0;
}
