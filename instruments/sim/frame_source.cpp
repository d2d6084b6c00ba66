#include "instruments/sim/frame_source.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "instruments/wire/fluorat_frame.h"

namespace zelmora::sim {

FrameSource::FrameSource(SimConfig config)
    : config_(std::move(config)),
      rng_(config_.seed),
      started_(!config_.waitForStartKey),
      wavelength_(config_.wavelength),
      division_(config_.division) {
    // The detector is switched on with settings of its own: the driver has
    // to bring it to the wanted ones.
    wire::EhdFrame& s = ehd_.settings;
    s.range = 1;
    s.detectorTemperature = s.columnTemperature = wire::ehdTemperatureCode(20);
}

double FrameSource::frameTime(std::uint64_t n) const {
    return static_cast<double>(n) / instrumentFrameRate(config_.instrument);
}

bool FrameSource::faultAt(FaultKind kind, std::uint64_t n, std::uint64_t* arg) const {
    for (const Fault& f : config_.faults) {
        if (f.kind == kind && f.appliesTo(n)) {
            if (arg)
                *arg = f.arg;
            return true;
        }
    }
    return false;
}

bool FrameSource::buttonDown(int channel, std::uint64_t n) const {
    for (const ButtonPress& b : config_.buttons)
        if (b.channel == channel && n >= b.frame && n < b.frame + b.holdFrames)
            return true;
    return false;
}

bool FrameSource::highRange(int channel, std::uint64_t n) const {
    const RangeChange* last = nullptr;
    for (const RangeChange& r : config_.ranges)
        if (r.channel == channel && r.frame <= n && (!last || r.frame >= last->frame))
            last = &r;
    return last && last->high;
}

bool FrameSource::rangeFrame(std::uint64_t n) const {
    if (config_.ranges.empty())
        return false;
    std::uint64_t first = std::numeric_limits<std::uint64_t>::max();
    for (const RangeChange& r : config_.ranges) {
        if (r.frame == n)
            return true;
        first = std::min(first, r.frame);
    }
    return n >= first && n % 10 == 0;
}

std::uint8_t FrameSource::varselState(std::uint64_t n) const {
    unsigned toggles = 0;
    for (const ButtonPress& b : config_.buttons)
        if (b.frame <= n)
            ++toggles;
    return static_cast<std::uint8_t>(toggles & 0xFF);
}

std::uint32_t FrameSource::rawCount(int channel, std::uint64_t n) const {
    const double s = config_.signal(channel).valueAt(frameTime(n));
    switch (config_.instrument) {
        case Instrument::Ostrel:
            return wire::rawFromMillivolts(s * (highRange(channel, n) ? 270.0 : 1.0),
                                           wire::kOstrelFullScaleMv);
        case Instrument::DetectorAdc:
            return wire::rawFromMillivolts(channel == 0 ? s / 10.0 : s,
                                           wire::kDetectorAdcFullScaleMv);
        case Instrument::Fluorat:
            return wire::fluoratValueFromSample(s);
        case Instrument::Varsel: {
            const double v = std::clamp(std::round(s * 1000.0), -2147483647.0, 2147483647.0);
            return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
        }
        case Instrument::Ehd:
            return wire::ehdRawFromSignal(s, ehd_.settings.range, ehd_.settings.mode);
    }
    return 0;
}

std::vector<std::uint8_t> FrameSource::frameBytes(std::uint64_t n) const {
    const bool bad = faultAt(FaultKind::BadCheck, n);
    switch (config_.instrument) {
        case Instrument::Ostrel:
        case Instrument::DetectorAdc: {
            wire::OstrelFrame f;
            for (int c = 0; c < 2; ++c) {
                f.raw[static_cast<std::size_t>(c)] = rawCount(c, n);
                f.button[static_cast<std::size_t>(c)] = buttonDown(c, n);
            }
            if (config_.instrument == Instrument::Ostrel && rangeFrame(n)) {
                f.hasRangeFlags = true;
                f.highSensitivity = {highRange(0, n), highRange(1, n)};
            }
            f.reserved = {static_cast<std::uint8_t>(n & 0xFF), 0x11, 0x13};
            auto b = wire::buildOstrelFrame(f);
            if (bad)
                b[9] ^= 0x01;
            return {b.begin(), b.end()};
        }
        case Instrument::Fluorat: {
            auto b = wire::buildFluoratFrame(rawCount(0, n));
            if (bad)
                b[2] |= 0x80;
            return {b.begin(), b.end()};
        }
        case Instrument::Varsel: {
            wire::VarselFrame f;
            f.signal = static_cast<std::int32_t>(rawCount(0, n));
            f.state = varselState(n);
            f.wavelength = wavelength_;
            f.division = division_;
            f.header3 = 0x03;
            auto b = wire::buildVarselFrame(f);
            if (bad)
                b[n % 2 == 0 ? 38 : 9] ^= 0x01;
            return {b.begin(), b.end()};
        }
        case Instrument::Ehd: {
            wire::EhdFrame f = ehd_.settings;
            f.kind = static_cast<int>(n % 4);
            f.raw = rawCount(0, n);
            f.detectorTemperatureMeasured = n % 2 == 0;
            f.measuredTemperatureCode = wire::ehdTemperatureCode(
                f.detectorTemperatureMeasured ? ehd_.detectorCelsius : ehd_.columnCelsius);
            auto near = [](bool on, double measured, int code) {
                return !on || std::fabs(measured - wire::ehdTemperatureCelsius(code)) < 0.5;
            };
            f.ready = near(f.detectorThermostat, ehd_.detectorCelsius, f.detectorTemperature) &&
                      near(f.columnThermostat, ehd_.columnCelsius, f.columnTemperature);
            auto b = wire::buildEhdFrame(f);
            // The frame has no check: a bad one starts with a byte that
            // cannot begin a frame, so that the driver skips it.
            if (bad)
                b[0] |= 0x80;
            return {b.begin(), b.end()};
        }
    }
    return {};
}

double FrameSource::expectedSample(int channel, std::uint64_t n) const {
    const std::uint32_t raw = rawCount(channel, n);
    switch (config_.instrument) {
        case Instrument::Ostrel:
            return wire::ostrelMillivolts(raw) *
                   static_cast<double>(highRange(channel, n) ? wire::kOstrelHighSensitivityFactor
                                                             : 1.0f);
        case Instrument::DetectorAdc:
            return wire::detectorAdcMillivolts(raw, channel);
        case Instrument::Fluorat:
            return wire::fluoratSample(raw);
        case Instrument::Varsel:
            return wire::varselSample(static_cast<std::int32_t>(raw));
        case Instrument::Ehd:
            return wire::ehdSignal(raw, ehd_.settings.range, ehd_.settings.mode);
    }
    return 0;
}

std::optional<std::uint64_t> FrameSource::findFrame(int channel, double value, double tol,
                                                    std::uint64_t limit) const {
    for (std::uint64_t n = 0; n < limit; ++n)
        if (std::fabs(expectedSample(channel, n) - value) <= tol)
            return n;
    return std::nullopt;
}

std::vector<std::uint8_t> FrameSource::garbage(std::size_t count) {
    // Sync and check look-alikes and the bytes a cooked terminal would act on.
    static constexpr std::array<std::uint8_t, 10> kNasty = {0x37, 0x37, 0xAB, 0x00, 0x03,
                                                            0x11, 0x13, 0x0D, 0x0A, 0x65};
    std::vector<std::uint8_t> out(count);
    for (auto& b : out) {
        const unsigned r = static_cast<unsigned>(rng_());
        b = (r & 1) ? kNasty[(r >> 1) % kNasty.size()] : static_cast<std::uint8_t>(r >> 8);
        // The Флюорат's frame has no check: a byte with bit 7 followed by
        // three plain bytes would be a frame. Its line noise stays 7-bit.
        if (config_.instrument == Instrument::Fluorat)
            b &= 0x7F;
    }
    return out;
}

bool FrameSource::sending() const {
    if (!started_)
        return false;
    return !(config_.waitForStartKey && config_.runFrames != 0 && runSent_ >= config_.runFrames);
}

void FrameSource::frameSent() {
    ++runSent_;
    if (config_.instrument != Instrument::Ehd)
        return;
    auto follow = [](double& t, bool on, int code) {
        const double target = on ? wire::ehdTemperatureCelsius(code) : 20.0;
        t += std::clamp(target - t, -0.25, 0.25);
    };
    follow(ehd_.detectorCelsius, ehd_.settings.detectorThermostat,
           ehd_.settings.detectorTemperature);
    follow(ehd_.columnCelsius, ehd_.settings.columnThermostat, ehd_.settings.columnTemperature);
}

void FrameSource::ehdCommand(const wire::EhdCommandFields& c) {
    wire::EhdFrame& s = ehd_.settings;
    if (c.number == wire::kEhdLinkSweep) {
        ++ehd_.sweepCommands;
        return;
    }
    ehd_.commands.push_back(c);
    // A 12-bit code: the even command sets its low 6 bits, the odd one the high.
    auto half = [&](int& code, int first) {
        code = c.number == first ? (code & ~0x3F) | c.value : (code & 0x3F) | c.value << 6;
    };
    switch (c.number) {
        case 0:
        case 1:
            half(s.measuringPotential, 0);
            break;
        case 2:
        case 3:
            half(s.cleaningPotential, 2);
            break;
        case 4:
        case 5:
            half(s.restoringPotential, 4);
            break;
        case 6:
        case 7:
            half(s.columnTemperature, 6);
            break;
        case 22:
        case 23:
            half(s.detectorTemperature, 22);
            break;
        case 8:
            s.cleaningTime = c.value;
            break;
        case 9:
            s.restoringTime = c.value;
            break;
        case 10:
            s.delayTime = c.value;
            break;
        case 11:
        case 12:
        case 13:
            s.mode = c.number - 11;
            s.range = 1;
            break;
        case 14:
        case 15:
            s.analysis = c.number == 14;
            break;
        case 16:
            s.range = 0;
            break;
        case 17:
        case 18:
            s.detectorThermostat = c.number == 17;
            break;
        case 20:
        case 21:
            s.columnThermostat = c.number == 20;
            break;
        default:
            break;
    }
}

void FrameSource::receive(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        switch (config_.instrument) {
            case Instrument::DetectorAdc:
                if (auto c = detectorParser_.feed(b))
                    detectorCommands_.push_back(*c);
                break;
            case Instrument::Fluorat:
                keys_.push_back(b);
                if (b == 13 && config_.waitForStartKey && !sending()) {
                    started_ = true;
                    runSent_ = 0;
                }
                break;
            case Instrument::Varsel:
                if (auto c = varselParser_.feed(b)) {
                    varselCommands_.push_back(*c);
                    const int value = c->b4 | (c->b5 << 8);
                    if (c->op == 0 && c->b3 == wire::kVarselSetWavelength)
                        wavelength_ = value;
                    else if (c->op == 0 && c->b3 == wire::kVarselSetDivision)
                        division_ = value;
                }
                break;
            case Instrument::Ehd:
                if (auto c = ehdParser_.feed(b))
                    ehdCommand(*c);
                break;
            case Instrument::Ostrel:
                break;
        }
    }
}

}  // namespace zelmora::sim
