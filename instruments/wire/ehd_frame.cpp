#include "instruments/wire/ehd_frame.h"

#include <algorithm>
#include <cmath>

namespace zelmora::wire {

namespace {

constexpr double kFullCount = 16777215.0;  // 2^24 - 1

std::uint8_t six(int v) {
    return static_cast<std::uint8_t>(v & 0x3F);
}

int code12(std::uint8_t high, std::uint8_t low) {
    return (high & 0x3F) << 6 | (low & 0x3F);
}

}  // namespace

std::array<std::uint8_t, kEhdFrameSize> buildEhdFrame(const EhdFrame& f) {
    std::array<std::uint8_t, kEhdFrameSize> b{};
    b[0] = static_cast<std::uint8_t>((f.range == 0 ? 0x40 : 0) | (f.ready ? 0 : 0x20) |
                                     (f.mode & 3) << 3 | (f.analysis ? 0x04 : 0) | (f.kind & 3));
    const std::uint32_t r = f.raw & 0xFFFFFF;
    b[1] = static_cast<std::uint8_t>(six(r >> 16) | (f.detectorThermostat ? 0x40 : 0));
    b[2] = static_cast<std::uint8_t>(six(r >> 8) | (f.columnThermostat ? 0x40 : 0));
    b[3] = static_cast<std::uint8_t>(six(r) | (f.detectorTemperatureMeasured ? 0x40 : 0));
    b[4] = static_cast<std::uint8_t>((r >> 6 & 3) | (r >> 14 & 3) << 2 | (r >> 22 & 3) << 4);
    b[5] = six(f.measuredTemperatureCode >> 6);
    b[6] = six(f.measuredTemperatureCode);
    auto pair = [&](std::size_t at, int code) {
        b[at] = six(code >> 6);
        b[at + 1] = six(code);
    };
    switch (f.kind & 3) {
        case 0:
            b[7] = six(f.cleaningTime);
            b[8] = six(f.restoringTime);
            b[9] = six(f.delayTime);
            break;
        case 1:
            pair(7, f.measuringPotential);
            pair(9, f.columnTemperature);
            break;
        case 2:
            pair(7, f.cleaningPotential);
            pair(9, f.restoringPotential);
            break;
        case 3:
            pair(9, f.detectorTemperature);
            break;
    }
    return b;
}

EhdFrame decodeEhdFrame(const std::array<std::uint8_t, kEhdFrameSize>& b) {
    EhdFrame f;
    f.range = (b[0] & 0x40) ? 0 : 1;
    f.ready = (b[0] & 0x20) == 0;
    f.mode = (b[0] >> 3) & 3;
    f.analysis = (b[0] & 0x04) != 0;
    f.kind = b[0] & 3;
    f.detectorThermostat = (b[1] & 0x40) != 0;
    f.columnThermostat = (b[2] & 0x40) != 0;
    f.raw = static_cast<std::uint32_t>((b[3] & 0x3F) | (b[4] & 3) << 6 | (b[2] & 0x3F) << 8 |
                                       ((b[4] >> 2) & 3) << 14 | (b[1] & 0x3F) << 16 |
                                       ((b[4] >> 4) & 3) << 22);
    f.detectorTemperatureMeasured = (b[3] & 0x40) != 0;
    f.measuredTemperatureCode = code12(b[5], b[6]);
    switch (f.kind) {
        case 0:
            f.cleaningTime = b[7] & 0x3F;
            f.restoringTime = b[8] & 0x3F;
            f.delayTime = b[9] & 0x3F;
            break;
        case 1:
            f.measuringPotential = code12(b[7], b[8]);
            f.columnTemperature = code12(b[9], b[10]);
            break;
        case 2:
            f.cleaningPotential = code12(b[7], b[8]);
            f.restoringPotential = code12(b[9], b[10]);
            break;
        default:
            f.detectorTemperature = code12(b[9], b[10]);
            break;
    }
    return f;
}

bool EhdFrameParser::feed(std::uint8_t byte) {
    if (pos_ == 0 && (byte & 0x80) != 0) {
        ++dropped_;
        return false;
    }
    buf_[pos_++] = byte;
    if (pos_ < kEhdFrameSize)
        return false;
    pos_ = 0;
    frame_ = decodeEhdFrame(buf_);
    return true;
}

void EhdFrameParser::restartFrame() {
    if (pos_ != 0) {
        ++resyncs_;
        dropped_ += pos_;
        pos_ = 0;
    }
}

EhdCommandBytes buildEhdCommand(int number, int value) {
    return {static_cast<std::uint8_t>(number & 0x3F),
            static_cast<std::uint8_t>(0x80 | (value & 0x3F))};
}

std::optional<EhdCommandFields> EhdCommandParser::feed(std::uint8_t byte) {
    if ((byte & 0x80) == 0) {
        number_ = byte & 0x3F;
        return std::nullopt;
    }
    if (!number_)
        return std::nullopt;
    const EhdCommandFields c{*number_, byte & 0x3F};
    number_.reset();
    return c;
}

double ehdFullScale(int range, int mode) {
    if (range != 1)
        return 10000;
    return mode == 1 ? 80000 : 20000;
}

double ehdSignal(std::uint32_t raw, int range, int mode) {
    const double f = ehdFullScale(range, mode);
    return f * 2 * static_cast<double>(raw & 0xFFFFFF) / kFullCount - f;
}

std::uint32_t ehdRawFromSignal(double value, int range, int mode) {
    const double f = ehdFullScale(range, mode);
    if (!std::isfinite(value))
        value = 0;
    const double raw = std::round((value + f) * kFullCount / (2 * f));
    return static_cast<std::uint32_t>(std::clamp(raw, 0.0, kFullCount));
}

int ehdPotentialCode(double volts) {
    if (!std::isfinite(volts))
        volts = 0;
    const double x = std::clamp(volts, -2.5, 2.5);
    return static_cast<int>(std::floor((x / 2 / 2.5 + 0.5) * kEhdCodeMax));
}

double ehdPotentialVolts(int code) {
    return 2.5 * code * 2 / kEhdCodeMax - 2.5;
}

int ehdTemperatureCode(double celsius) {
    if (!std::isfinite(celsius))
        celsius = 0;
    const double x = std::clamp(celsius, 0.0, 50.0);
    return static_cast<int>(std::floor(x * kEhdCodeMax / 100));
}

double ehdTemperatureCelsius(int code) {
    return 100.0 * code / kEhdCodeMax;
}

int ehdTimeCode(double seconds) {
    if (!std::isfinite(seconds))
        seconds = 0;
    const double x = std::clamp(seconds, 0.0, 800.0);
    return static_cast<int>(std::floor(x / 40));
}

double ehdTimeSeconds(int code) {
    return code * 40.0;
}

}  // namespace zelmora::wire
