#include "instruments/wire/kalder_frame.h"

#include <algorithm>
#include <bit>
#include <numeric>

#include "instruments/wire/resync.h"

namespace zelmora::wire {
namespace {

std::uint16_t getU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t getU32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
float getF32(const std::uint8_t* p) {
    return std::bit_cast<float>(getU32(p));
}
void putU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void putU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putF32(std::uint8_t* p, float v) {
    putU32(p, std::bit_cast<std::uint32_t>(v));
}

void decodeAnswer(const std::uint8_t* p, KalderPacket& out) {
    KalderAnswer a;
    a.address = p[0] & 0x7F;
    a.numberField = getU16(p + 1);
    a.value = static_cast<std::int32_t>(getU32(p + 3));
    out.answer = a;
}

void encodeAnswer(std::uint8_t* p, const KalderPacket& in) {
    const KalderAnswer a = in.answer.value_or(KalderAnswer{});
    p[0] = a.address;
    putU16(p + 1, a.numberField);
    putU32(p + 3, static_cast<std::uint32_t>(a.value));
}

void decodeSamples(const std::uint8_t* p, std::array<float, kKalderSamplesPerFrame>& out) {
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = getF32(p + 4 * i);
}

void encodeSamples(std::uint8_t* p, const std::array<float, kKalderSamplesPerFrame>& in) {
    for (std::size_t i = 0; i < in.size(); ++i)
        putF32(p + 4 * i, in[i]);
}

void decodeService(const std::uint8_t* p, KalderPacket& out) {
    for (std::size_t i = 0; i < 3; ++i)
        out.service[i] = static_cast<std::int32_t>(getU32(p + 4 * i));
}

void encodeService(std::uint8_t* p, const KalderPacket& in) {
    for (std::size_t i = 0; i < 3; ++i)
        putU32(p + 4 * i, static_cast<std::uint32_t>(in.service[i]));
}

std::uint16_t bit(int m) {
    return static_cast<std::uint16_t>(1u << m);
}

}  // namespace

std::size_t kalderFrameLength(std::uint8_t type) {
    switch (type) {
        case 0:
        case 1:
            return 138;
        case 2:
            return 11;
        case 3:
            return 151;
        case 4:
            return 120;
        default:
            return 0;
    }
}

std::uint8_t kalderChecksum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(std::accumulate(bytes.begin(), bytes.end(), 0u) & 0xFF);
}

std::array<std::uint8_t, kKalderRequestSize> buildKalderRequest(std::uint8_t address,
                                                                std::uint16_t number,
                                                                std::uint32_t value, bool write) {
    std::array<std::uint8_t, kKalderRequestSize> b{};
    b[0] = kKalderSync;
    b[1] = kKalderSync;
    b[2] = static_cast<std::uint8_t>(address | 0x80);
    putU16(&b[3], static_cast<std::uint16_t>((number & 0x3FFF) | (write ? 0x8000 : 0)));
    putU32(&b[5], value);
    b[9] = kalderChecksum({b.data(), 9});
    return b;
}

const std::vector<KalderRequest>& KalderRequestParser::feed(std::uint8_t byte) {
    done_.clear();
    std::array<std::uint8_t, kKalderRequestSize + 1> queue{};
    std::size_t head = 0;
    std::size_t tail = 0;
    queue[tail++] = byte;
    while (head < tail) {
        const std::uint8_t b = queue[head++];
        buf_[pos_] = b;
        bool bad = false;
        if (pos_ < 2)
            bad = b != kKalderSync;
        else if (pos_ == 2)
            bad = (b & 0x80) == 0;
        else if (pos_ == kKalderRequestSize - 1 && kalderChecksum({buf_.data(), 9}) != b) {
            bad = true;
            ++checksumErrors_;
        }
        if (bad) {
            if (pos_ == 0)
                continue;
            requeueAfterFirstByte(buf_, pos_, queue, head, tail);
            pos_ = 0;
            continue;
        }
        if (pos_ == kKalderRequestSize - 1) {
            const std::uint16_t field = getU16(&buf_[3]);
            done_.push_back({static_cast<std::uint8_t>(buf_[2] & 0x7F),
                             static_cast<std::uint16_t>(field & 0x3FFF), getU32(&buf_[5]),
                             (field & 0x8000) != 0});
            pos_ = 0;
            continue;
        }
        ++pos_;
    }
    return done_;
}

std::optional<KalderPacket> decodeKalderPacket(std::span<const std::uint8_t> b) {
    if (b.size() < kKalderHeaderLength || b[0] != kKalderSync || b[1] != kKalderSync)
        return std::nullopt;
    const std::size_t length = kalderFrameLength(b[2]);
    if (length == 0 || b.size() != length)
        return std::nullopt;
    if (kalderChecksum(b.first(length - 1)) != b[length - 1])
        return std::nullopt;
    const std::uint8_t* p = b.data();
    KalderPacket out;
    out.type = b[2];
    switch (out.type) {
        case 0:
        case 1:
            out.hasSequence = true;
            out.sequence = p[3];
            out.hasStatus = true;
            out.state = p[4];
            out.buttons = p[5];
            out.errByte = p[6];
            for (std::size_t i = 0; i < kKalderStatusGasChannels.size(); ++i) {
                const int m = kKalderStatusGasChannels[i];
                const auto mi = static_cast<std::size_t>(m);
                out.flowRaw[mi] = static_cast<std::int16_t>(getU16(p + 7 + 2 * i));
                out.valveRaw[mi] = p[19 + i];
                out.inletRaw[mi] = static_cast<std::int16_t>(getU16(p + 25 + 2 * i));
                out.outletRaw[mi] = static_cast<std::int16_t>(getU16(p + 37 + 2 * i));
                out.flowMask |= bit(m);
                out.valveMask |= bit(m);
                out.inletMask |= bit(m);
                out.outletMask |= bit(m);
            }
            out.zoneCount = 5;
            for (std::size_t z = 0; z < 5; ++z) {
                out.zoneTemp[z] = getF32(p + 49 + 4 * z);
                out.heatingPower[z] = p[69 + z];
            }
            out.programmeSetPoint = getF32(p + 74);
            out.mainsRaw = getU16(p + 78);
            out.flapRaw = p[80];
            out.detectorCount = 2;
            decodeSamples(p + 81, out.detector[0]);
            decodeSamples(p + 97, out.detector[1]);
            out.panelMethod = p[113];
            decodeAnswer(p + 114, out);
            out.hasAlarms = true;
            out.alarmBits = getU16(p + 121);
            decodeService(p + 125, out);
            break;
        case 2:
            decodeAnswer(p + 3, out);
            break;
        case 3:
            out.hasSequence = true;
            out.sequence = p[3];
            for (int m = 0; m < kKalderGasModules; ++m) {
                const auto mi = static_cast<std::size_t>(m);
                out.flowRaw[mi] = static_cast<std::int16_t>(getU16(p + 4 + 2 * mi));
                out.inletRaw[mi] = static_cast<std::int16_t>(getU16(p + 36 + 2 * mi));
            }
            out.flowMask = out.inletMask = 0x0FFF;
            out.detectorCount = 4;
            for (std::size_t c = 0; c < 4; ++c)
                decodeSamples(p + 68 + 16 * c, out.detector[c]);
            out.hasAlarms = true;
            out.alarmBits = getU16(p + 132);
            decodeService(p + 134, out);
            break;
        case 4:
            out.hasStatus = true;
            out.state = p[4];
            out.buttons = p[5];
            out.errByte = p[6];
            for (int m = 0; m < kKalderGasModules; ++m) {
                const auto mi = static_cast<std::size_t>(m);
                out.valveRaw[mi] = p[7 + mi];
                out.outletRaw[mi] = static_cast<std::int16_t>(getU16(p + 23 + 2 * mi));
            }
            out.valveMask = out.outletMask = 0x0FFF;
            out.zoneCount = 8;
            for (std::size_t z = 0; z < 8; ++z) {
                out.zoneTemp[z] = getF32(p + 55 + 4 * z);
                out.heatingPower[z] = p[87 + z];
            }
            out.programmeSetPoint = getF32(p + 95);
            out.mainsRaw = getU16(p + 99);
            out.flapRaw = p[101];
            out.panelMethod = p[102];
            break;
        default:
            return std::nullopt;
    }
    return out;
}

std::vector<std::uint8_t> buildKalderPacket(const KalderPacket& in) {
    const std::size_t length = kalderFrameLength(in.type);
    if (length == 0)
        return {};
    std::vector<std::uint8_t> b(length, 0);
    std::uint8_t* p = b.data();
    p[0] = p[1] = kKalderSync;
    p[2] = in.type;
    switch (in.type) {
        case 0:
        case 1:
            p[3] = in.sequence;
            p[4] = in.state;
            p[5] = in.buttons;
            p[6] = in.errByte;
            for (std::size_t i = 0; i < kKalderStatusGasChannels.size(); ++i) {
                const auto mi = static_cast<std::size_t>(kKalderStatusGasChannels[i]);
                putU16(p + 7 + 2 * i, static_cast<std::uint16_t>(in.flowRaw[mi]));
                p[19 + i] = in.valveRaw[mi];
                putU16(p + 25 + 2 * i, static_cast<std::uint16_t>(in.inletRaw[mi]));
                putU16(p + 37 + 2 * i, static_cast<std::uint16_t>(in.outletRaw[mi]));
            }
            for (std::size_t z = 0; z < 5; ++z) {
                putF32(p + 49 + 4 * z, in.zoneTemp[z]);
                p[69 + z] = in.heatingPower[z];
            }
            putF32(p + 74, in.programmeSetPoint);
            putU16(p + 78, in.mainsRaw);
            p[80] = in.flapRaw;
            encodeSamples(p + 81, in.detector[0]);
            encodeSamples(p + 97, in.detector[1]);
            p[113] = in.panelMethod;
            encodeAnswer(p + 114, in);
            putU16(p + 121, in.alarmBits);
            encodeService(p + 125, in);
            break;
        case 2:
            encodeAnswer(p + 3, in);
            break;
        case 3:
            p[3] = in.sequence;
            for (std::size_t m = 0; m < kKalderGasModules; ++m) {
                putU16(p + 4 + 2 * m, static_cast<std::uint16_t>(in.flowRaw[m]));
                putU16(p + 36 + 2 * m, static_cast<std::uint16_t>(in.inletRaw[m]));
            }
            for (std::size_t c = 0; c < 4; ++c)
                encodeSamples(p + 68 + 16 * c, in.detector[c]);
            putU16(p + 132, in.alarmBits);
            encodeService(p + 134, in);
            break;
        case 4:
            p[4] = in.state;
            p[5] = in.buttons;
            p[6] = in.errByte;
            for (std::size_t m = 0; m < kKalderGasModules; ++m) {
                p[7 + m] = in.valveRaw[m];
                putU16(p + 23 + 2 * m, static_cast<std::uint16_t>(in.outletRaw[m]));
            }
            for (std::size_t z = 0; z < 8; ++z) {
                putF32(p + 55 + 4 * z, in.zoneTemp[z]);
                p[87 + z] = in.heatingPower[z];
            }
            putF32(p + 95, in.programmeSetPoint);
            putU16(p + 99, in.mainsRaw);
            p[101] = in.flapRaw;
            p[102] = in.panelMethod;
            break;
        default:
            break;
    }
    b[length - 1] = kalderChecksum({b.data(), length - 1});
    return b;
}

const std::vector<KalderFrameParser::Frame>& KalderFrameParser::feed(std::uint8_t byte) {
    done_.clear();
    // Bytes held plus bytes queued never exceed one packet and the new byte.
    std::array<std::uint8_t, kKalderMaxFrame + 1> queue{};
    std::size_t head = 0;
    std::size_t tail = 0;
    queue[tail++] = byte;
    while (head < tail) {
        const std::uint8_t b = queue[head++];
        buf_[pos_] = b;
        bool bad = false;
        if (pos_ < 2) {
            if (b != kKalderSync) {
                ++headerErrors_;
                bad = true;
            }
        } else if (pos_ == 2) {
            expected_ = kalderFrameLength(b);
            if (expected_ == 0) {
                ++headerErrors_;
                bad = true;
            }
        } else if (pos_ + 1 == expected_) {
            if (kalderChecksum({buf_.data(), pos_}) != b) {
                ++checksumErrors_;
                bad = true;
            } else {
                Frame f;
                std::copy_n(buf_.begin(), expected_, f.bytes.begin());
                f.length = expected_;
                done_.push_back(f);
                reset();
                continue;
            }
        }
        if (bad) {
            if (pos_ > 0)
                requeueAfterFirstByte(buf_, pos_, queue, head, tail);
            reset();
            continue;
        }
        ++pos_;
    }
    return done_;
}

bool KalderBaudProbe::feed(std::uint8_t b) {
    ++examined_;
    const bool de = b == kKalderSync;
    switch (pos_) {
        case 0:
        case 1:
        case 138:
            if (!de) {
                pos_ = 0;
                return false;
            }
            if (pos_ == 138)
                deAt138_ = true;
            ++pos_;
            return false;
        case 139:
            if (!de) {
                pos_ = 0;
                return false;
            }
            return deAt138_;
        default:
            break;
    }
    // Positions 2 to 137 take any byte; an answer packet's second header
    // sits at 11 and 12.
    if (pos_ == 11)
        deAt11_ = de;
    if (pos_ == 12 && de && deAt11_)
        return true;
    ++pos_;
    return false;
}

}  // namespace zelmora::wire
