#include "instruments/wire/ostrel_frame.h"

#include <algorithm>
#include <cmath>

#include "instruments/wire/resync.h"

namespace zelmora::wire {

std::uint8_t ostrelCheck(std::uint8_t d0, std::uint8_t d1, std::uint8_t d2) {
    return static_cast<std::uint8_t>((unsigned{d0} + d1 + d2 + 1) % 128);
}

std::array<std::uint8_t, kOstrelFrameSize> buildOstrelFrame(const OstrelFrame& f) {
    std::array<std::uint8_t, kOstrelFrameSize> b{};
    b[0] = kOstrelSync;
    b[1] = kOstrelSync;
    for (int c = 0; c < 2; ++c) {
        const std::size_t at = 2 + 4 * static_cast<std::size_t>(c);
        const std::uint32_t raw = f.raw[c] & 0xFFFFFF;
        b[at] = static_cast<std::uint8_t>(raw >> 16);
        b[at + 1] = static_cast<std::uint8_t>(raw >> 8);
        b[at + 2] = static_cast<std::uint8_t>(raw);
        b[at + 3] = static_cast<std::uint8_t>(ostrelCheck(b[at], b[at + 1], b[at + 2]) |
                                              (f.button[c] ? 0x80 : 0));
    }
    std::array<std::uint8_t, 3> aux = f.aux;
    if (f.hasRangeFlags) {
        aux[0] = kOstrelRangeMarker;
        aux[2] = static_cast<std::uint8_t>((aux[2] & ~3u) | (f.highSensitivity[0] ? 1 : 0) |
                                           (f.highSensitivity[1] ? 2 : 0));
    }
    std::copy(aux.begin(), aux.end(), b.begin() + 10);
    b[13] = ostrelCheck(b[10], b[11], b[12]);
    std::copy(f.reserved.begin(), f.reserved.end(), b.begin() + 14);
    b[17] = ostrelCheck(b[14], b[15], b[16]);
    return b;
}

OstrelFrameParser::Event OstrelFrameParser::feed(std::uint8_t byte) {
    // Bytes waiting to be parsed: the new byte, and after a failed check the
    // bytes that followed the failed frame's first sync byte. The bytes held
    // in buf_ plus those queued never exceed one frame.
    std::array<std::uint8_t, 2 * kOstrelFrameSize> queue{};
    std::size_t head = 0;
    std::size_t tail = 0;
    queue[tail++] = byte;
    Event result = Event::None;
    while (head < tail) {
        const std::uint8_t b = queue[head++];
        buf_[pos_] = b;
        if (pos_ < 2) {
            pos_ = b == kOstrelSync ? pos_ + 1 : 0;
            continue;
        }
        if (pos_ % 4 == 1) {  // 5, 9, 13, 17: check bytes
            if ((b & 0x7F) != ostrelCheck(buf_[pos_ - 3], buf_[pos_ - 2], buf_[pos_ - 1])) {
                ++checkFailures_;
                if (result == Event::None)
                    result = Event::CheckFailed;
                wire::requeueAfterFirstByte(buf_, pos_, queue, head, tail);
                pos_ = 0;
                continue;
            }
            if (pos_ == kOstrelFrameSize - 1) {
                for (int c = 0; c < 2; ++c) {
                    const std::size_t at = 2 + 4 * static_cast<std::size_t>(c);
                    frame_.raw[c] = (std::uint32_t{buf_[at]} << 16) |
                                    (std::uint32_t{buf_[at + 1]} << 8) | buf_[at + 2];
                    frame_.button[c] = (buf_[at + 3] & 0x80) != 0;
                }
                std::copy(buf_.begin() + 10, buf_.begin() + 13, frame_.aux.begin());
                std::copy(buf_.begin() + 14, buf_.begin() + 17, frame_.reserved.begin());
                frame_.hasRangeFlags = buf_[10] == kOstrelRangeMarker;
                frame_.highSensitivity[0] = frame_.hasRangeFlags && (buf_[12] & 1) != 0;
                frame_.highSensitivity[1] = frame_.hasRangeFlags && (buf_[12] & 2) != 0;
                pos_ = 0;
                result = Event::Frame;
                continue;
            }
        }
        ++pos_;
    }
    return result;
}

double ostrelMillivolts(std::uint32_t raw) {
    return (static_cast<double>(raw & 0xFFFFFF) - kOstrelZero) * kOstrelFullScaleMv / kOstrelZero;
}

double detectorAdcMillivolts(std::uint32_t raw, int channelIndex) {
    const double v =
        (static_cast<double>(raw & 0xFFFFFF) - kOstrelZero) * kDetectorAdcFullScaleMv / kOstrelZero;
    return channelIndex == 0 ? v * 10.0 : v;
}

std::uint32_t rawFromMillivolts(double mv, double fullScaleMv) {
    if (!std::isfinite(mv))
        return kOstrelZero;
    const double raw = std::round(mv * kOstrelZero / fullScaleMv) + kOstrelZero;
    return static_cast<std::uint32_t>(std::clamp(raw, 0.0, 16777215.0));
}

std::array<std::uint8_t, kDetectorCommandSize> buildDetectorCommand(int offset, int temperature) {
    const auto lo = static_cast<std::uint8_t>(offset & 0xFF);
    const auto hi = static_cast<std::uint8_t>((offset >> 8) & 0xFF);
    const auto t = static_cast<std::uint8_t>(temperature & 0xFF);
    return {':', ':', lo, hi, t, static_cast<std::uint8_t>((lo + hi + t) % 256)};
}

std::optional<DetectorCommand> DetectorCommandParser::feed(std::uint8_t byte) {
    if (pos_ < 2) {
        pos_ = byte == ':' ? pos_ + 1 : 0;
        buf_[0] = ':';
        return std::nullopt;
    }
    buf_[pos_++] = byte;
    if (pos_ < kDetectorCommandSize)
        return std::nullopt;
    pos_ = 0;
    if (static_cast<std::uint8_t>((buf_[2] + buf_[3] + buf_[4]) % 256) != buf_[5])
        return std::nullopt;
    return DetectorCommand{buf_[2] | (buf_[3] << 8), buf_[4]};
}

}  // namespace zelmora::wire
