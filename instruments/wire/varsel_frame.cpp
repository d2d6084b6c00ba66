#include "instruments/wire/varsel_frame.h"

#include <numeric>

#include "instruments/wire/resync.h"

namespace zelmora::wire {
namespace {

void putLe32(std::uint8_t* p, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t getLe32(const std::uint8_t* p) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= std::uint32_t{p[i]} << (8 * i);
    return static_cast<std::int32_t>(u);
}

std::uint8_t sum8(const std::uint8_t* begin, const std::uint8_t* end) {
    return static_cast<std::uint8_t>(std::accumulate(begin, end, 0u) % 256);
}

}  // namespace

std::array<std::uint8_t, kVarselFrameSize> buildVarselFrame(const VarselFrame& f) {
    std::array<std::uint8_t, kVarselFrameSize> b{};
    b[0] = kVarselSync;
    b[1] = kVarselSync;
    b[2] = 0;
    b[3] = f.header3;
    putLe32(&b[4], f.signal);
    b[8] = f.state;
    b[9] = sum8(&b[0], &b[9]);
    putLe32(&b[22], f.wavelength);
    putLe32(&b[30], f.division);
    b[38] = sum8(&b[10], &b[38]);
    return b;
}

VarselCommand buildVarselCommand(std::uint8_t op, std::uint8_t b3, std::uint8_t b4,
                                 std::uint8_t b5) {
    VarselCommand c{kVarselSync, kVarselSync, op, b3, b4, b5, 0};
    c[6] = sum8(&c[0], &c[6]);
    return c;
}

VarselCommand buildVarselSetpoint(std::uint8_t sub, int value) {
    return buildVarselCommand(0, sub, static_cast<std::uint8_t>(value & 0xFF),
                              static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

VarselFrameParser::Event VarselFrameParser::feed(std::uint8_t byte) {
    // As in the converter frame parser: bytes held plus bytes queued never
    // exceed one frame, so one frame's room is enough for the queue.
    std::array<std::uint8_t, kVarselFrameSize + 1> queue{};
    std::size_t head = 0;
    std::size_t tail = 0;
    queue[tail++] = byte;
    Event result = Event::None;
    while (head < tail) {
        const std::uint8_t b = queue[head++];
        buf_[pos_] = b;
        bool bad = false;
        if (pos_ < 2)
            bad = b != kVarselSync;
        else if (pos_ == 2)
            bad = b != 0;
        else if (pos_ == 9 || pos_ == 38) {
            const std::size_t from = pos_ == 9 ? 0 : 10;
            if (sum8(&buf_[from], &buf_[pos_]) != b) {
                bad = true;
                ++checkFailures_;
                if (result == Event::None)
                    result = Event::CheckFailed;
            }
        }
        if (bad) {
            wire::requeueAfterFirstByte(buf_, pos_, queue, head, tail);
            pos_ = 0;
            continue;
        }
        if (pos_ == kVarselFrameSize - 1) {
            frame_.header3 = buf_[3];
            frame_.signal = getLe32(&buf_[4]);
            frame_.state = buf_[8];
            frame_.wavelength = getLe32(&buf_[22]);
            frame_.division = getLe32(&buf_[30]);
            pos_ = 0;
            result = Event::Frame;
            continue;
        }
        ++pos_;
    }
    return result;
}

std::optional<VarselCommandFields> VarselCommandParser::feed(std::uint8_t byte) {
    if (pos_ < 2) {
        buf_[pos_] = byte;
        pos_ = byte == kVarselSync ? pos_ + 1 : 0;
        return std::nullopt;
    }
    buf_[pos_++] = byte;
    if (pos_ < kVarselCommandSize)
        return std::nullopt;
    pos_ = 0;
    if (sum8(&buf_[0], &buf_[6]) != buf_[6])
        return std::nullopt;
    return VarselCommandFields{buf_[2], buf_[3], buf_[4], buf_[5]};
}

}  // namespace zelmora::wire
