#include "instruments/wire/fluorat_frame.h"

#include <algorithm>
#include <cmath>

namespace zelmora::wire {
namespace {

// The seven low bits of b in reverse order.
std::uint32_t reverse7(std::uint32_t b) {
    std::uint32_t r = 0;
    for (int i = 0; i < 7; ++i)
        if (b & (1u << (6 - i)))
            r |= 1u << i;
    return r;
}

}  // namespace

std::array<std::uint8_t, kFluoratFrameSize> buildFluoratFrame(std::uint32_t value) {
    return {static_cast<std::uint8_t>(0x80 | ((value >> 21) & 1) << 2),
            static_cast<std::uint8_t>(reverse7((value >> 14) & 0x7F)),
            static_cast<std::uint8_t>(reverse7((value >> 7) & 0x7F)),
            static_cast<std::uint8_t>(reverse7(value & 0x7F))};
}

std::uint32_t fluoratValue(const std::array<std::uint8_t, kFluoratFrameSize>& f) {
    return reverse7(f[3] & 0x7F) | reverse7(f[2] & 0x7F) << 7 | reverse7(f[1] & 0x7F) << 14 |
           ((f[0] >> 2) & 1u) << 21;
}

double fluoratSample(std::uint32_t value) {
    return static_cast<double>(value) * 1000.0 / kFluoratFullScale;
}

std::uint32_t fluoratValueFromSample(double sample) {
    if (!std::isfinite(sample))
        return 0;
    const double v = std::round(sample * kFluoratFullScale / 1000.0);
    return static_cast<std::uint32_t>(std::clamp(v, 0.0, double{kFluoratFullScale}));
}

std::optional<std::uint32_t> FluoratFrameParser::feed(std::uint8_t byte) {
    if (byte & 0x80) {
        if (pos_ != 0)
            dropped_ += pos_;
        buf_[0] = byte;
        pos_ = 1;
        return std::nullopt;
    }
    if (pos_ == 0) {
        ++dropped_;
        return std::nullopt;
    }
    buf_[pos_++] = byte;
    if (pos_ < kFluoratFrameSize)
        return std::nullopt;
    pos_ = 0;
    return fluoratValue(buf_);
}

}  // namespace zelmora::wire
