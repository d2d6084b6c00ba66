#include "instruments/sim/kalder_model.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "app/text.h"
#include "instruments/kalder_modules.h"

namespace zelmora::sim {

using namespace kalder;

namespace {

std::uint32_t bitsOf(float f) {
    return std::bit_cast<std::uint32_t>(f);
}

KalderSimModule module(std::uint8_t address, std::uint32_t serial, int slot) {
    KalderSimModule m;
    m.address = address;
    m.serial = serial;
    m.pollSlot = slot;
    m.params[kParamBoard] = 2;
    m.params[kParamFirmware] = 0x0105;
    m.params[kParamSerial] = serial;
    for (std::uint16_t p : identificationParams(address))
        m.params.emplace(p, 0);
    return m;
}

}  // namespace

KalderSimConfig defaultKalderConfig() {
    KalderSimConfig c;
    c.modules.push_back(module(moduleAddress(kClassFlame, 0), 0x012345, 3));
    c.modules.back().params[3] = bitsOf(0.0f);
    c.modules.push_back(module(moduleAddress(kClassConductivity, 0), 0x023456, 7));
    c.modules.push_back(module(moduleAddress(kClassGasPair, 0), 0x034567, 12));
    c.modules.back().params[1] = bitsOf(30.0f);
    c.modules.push_back(module(moduleAddress(kClassValves2, 0), 0x045678, 20));
    for (std::size_t i = 0; i < c.modules.size(); ++i)
        c.stack[i] = c.modules[i].address;
    SyntheticSignal s;
    s.baseline = 0.25;
    s.peaks = {{20, 40, 2}, {45, 90, 3}};
    c.signals = {s};
    return c;
}

KalderModel::KalderModel(KalderSimConfig config)
    : config_(std::move(config)), modules_(config_.modules), rng_(config_.seed) {
    cpu_[kParamSerial] = config_.cpuSerial;
    cpu_[kParamFirmware] = config_.cpuFirmware;
    cpu_[kParamBoard] = 3;
    cpu_[kParamDeviceType] = config_.cpuType;
    for (int k = 0; k < kStackSize; ++k)
        cpu_[static_cast<std::uint16_t>(kParamStack + k)] =
            config_.stack[static_cast<std::size_t>(k)];
    for (int z = 0; z < 8; ++z)
        cpu_[static_cast<std::uint16_t>(kParamZoneName + z)] =
            static_cast<std::uint32_t>(defaultZoneCode(z));
    for (int t = 0; t < 5; ++t) {
        cpu_[static_cast<std::uint16_t>(8 + t)] = bitsOf(50.0f + 25.0f * static_cast<float>(t));
        cpu_[static_cast<std::uint16_t>(16 + t)] = bitsOf(1.0f);
    }
    for (int z = 0; z < 4; ++z)
        cpu_[static_cast<std::uint16_t>(33 + z)] = bitsOf(150.0f);
    cpu_[8200] = 0;
    if (config_.physics.on) {
        const KalderPhysics& ph = config_.physics;
        zoneT_.fill(ph.ambient);
        for (std::size_t i = 0; i < 3; ++i)
            cpu_[static_cast<std::uint16_t>(96 + i)] = ph.errWords[i];
        int channel = 0;
        for (auto& m : modules_) {
            const int cls = moduleClass(m.address);
            if (isDetectorClass(cls)) {
                if (cls == kClassFlame && flameChannel_ < 0)
                    flameChannel_ = channel;
                if (cls == kClassConductivity)
                    for (std::uint16_t n : {1, 2, 3, 4, 5, 6})
                        m.params.emplace(n, 0);
                ++channel;
            } else if (cls == kClassGasPair || cls == kClassHydrogenAir) {
                for (std::uint16_t second : {0, 8192})
                    for (std::uint16_t n : {1, 5, 6, 10, 14})
                        m.params.emplace(static_cast<std::uint16_t>(n + second), 0);
            } else if (cls == kClassValves2 || cls == kClassValves4) {
                const int valves = cls == kClassValves4 ? 4 : 2;
                m.params[1] = (1u << valves) - 1;
                m.params.emplace(4, 0);
                for (int v = 0; v < valves; ++v) {
                    const auto sel = static_cast<std::uint16_t>(v << 12);
                    m.params[static_cast<std::uint16_t>(14 | sel)] = 3;
                    m.params.emplace(static_cast<std::uint16_t>(2 | sel), 0);
                }
            }
        }
    }
}

float KalderModel::cpuFloat(std::uint16_t number) const {
    const auto it = cpu_.find(number);
    return it == cpu_.end() ? 0.0f : std::bit_cast<float>(it->second);
}

float KalderModel::moduleFloat(std::uint8_t address, std::uint16_t number) const {
    for (const auto& m : modules_) {
        if (m.address != address)
            continue;
        const auto it = m.params.find(number);
        return it == m.params.end() ? 0.0f : std::bit_cast<float>(it->second);
    }
    return 0.0f;
}

namespace {

// The column programme as segments of (minutes, from, to).
struct Segment {
    double minutes, from, to;
};

std::vector<Segment> programmeSegments(const std::array<float, 5>& temp,
                                       const std::array<float, 5>& hold,
                                       const std::array<float, 4>& rate) {
    std::vector<Segment> out;
    for (std::size_t k = 0; k < 5; ++k) {
        out.push_back({std::max(0.0f, hold[k]) * 1.0, temp[k] * 1.0, temp[k] * 1.0});
        if (k == 4 || rate[k] == 0)
            break;
        out.push_back(
            {std::fabs((temp[k + 1] - temp[k]) / rate[k]) * 1.0, temp[k] * 1.0, temp[k + 1] * 1.0});
    }
    return out;
}

}  // namespace

double KalderModel::programmeSetPoint(double minutes) const {
    std::array<float, 5> temp{}, hold{};
    std::array<float, 4> rate{};
    for (std::size_t k = 0; k < 5; ++k) {
        temp[k] = cpuFloat(static_cast<std::uint16_t>(8 + k));
        hold[k] = cpuFloat(static_cast<std::uint16_t>(16 + k));
    }
    for (std::size_t k = 0; k < 4; ++k)
        rate[k] = cpuFloat(static_cast<std::uint16_t>(24 + k));
    double t = minutes;
    double last = temp[0];
    for (const Segment& seg : programmeSegments(temp, hold, rate)) {
        if (t < seg.minutes)
            return seg.minutes > 0 ? seg.from + (seg.to - seg.from) * t / seg.minutes : seg.to;
        t -= seg.minutes;
        last = seg.to;
    }
    return last;
}

int KalderModel::analysisPhase(double minutes) const {
    std::array<float, 5> temp{}, hold{};
    std::array<float, 4> rate{};
    for (std::size_t k = 0; k < 5; ++k) {
        temp[k] = cpuFloat(static_cast<std::uint16_t>(8 + k));
        hold[k] = cpuFloat(static_cast<std::uint16_t>(16 + k));
    }
    for (std::size_t k = 0; k < 4; ++k)
        rate[k] = cpuFloat(static_cast<std::uint16_t>(24 + k));
    double t = minutes;
    int phase = 0;
    for (const Segment& seg : programmeSegments(temp, hold, rate)) {
        if (t < seg.minutes)
            return std::min(phase, 7);
        t -= seg.minutes;
        ++phase;
    }
    return 8;  // the programme is over: state 14
}

void KalderModel::advance(std::uint64_t n) {
    const KalderPhysics& ph = config_.physics;
    constexpr double dt = 1.0 / kKalderPacketRate;
    for (; advancedTo_ < n; ++advancedTo_) {
        const double t = static_cast<double>(advancedTo_ + 1) * dt;
        const bool analysis = cpu_[8200] != 0;
        if (analysis && analysisStart_ < 0)
            analysisStart_ = t;
        if (!analysis)
            analysisStart_ = -1;
        const double minutes = analysisStart_ >= 0 ? (t - analysisStart_) / 60.0 : 0.0;
        const double heat = 1.0 - std::exp(-ph.heatRate * dt);
        for (int z = 0; z < 8; ++z) {
            double set = 0;
            if (z == 0)
                set = analysis ? programmeSetPoint(minutes) : cpuFloat(8);
            else if (z <= 4)
                set = cpuFloat(static_cast<std::uint16_t>(32 + z));
            if (set <= 0 || z == ph.coldZone)
                set = ph.ambient;
            auto& T = zoneT_[static_cast<std::size_t>(z)];
            T += (set - T) * heat;
        }
        const double gas = 1.0 - std::exp(-ph.gasRate * dt);
        for (const auto& m : modules_) {
            const int cls = moduleClass(m.address);
            if (cls != kClassGasPair && cls != kClassHydrogenAir)
                continue;
            for (int c = 0; c < 2; ++c) {
                const int ch = (cls == kClassGasPair ? 0 : 8) + 2 * moduleIndex(m.address) + c;
                const auto second = static_cast<std::uint16_t>(c ? 8192 : 0);
                double flowSet = moduleFloat(m.address, static_cast<std::uint16_t>(1 + second));
                const bool pressure =
                    moduleFloat(m.address, static_cast<std::uint16_t>(6 + second)) != 0;
                double pSet = moduleFloat(m.address, static_cast<std::uint16_t>(14 + second));
                if (ch == ph.stuckGas) {
                    flowSet /= 2;
                    pSet /= 2;
                }
                auto& f = flow_[static_cast<std::size_t>(ch)];
                auto& o = outlet_[static_cast<std::size_t>(ch)];
                const double fTarget = pressure ? pSet * 20.0 : flowSet;
                const double oTarget = pressure ? pSet : flowSet / 100.0;
                f += (fTarget - f) * gas;
                o += (oTarget - o) * gas;
            }
        }
        if (ph.flameOutAt >= 0 && t >= ph.flameOutAt && flame_) {
            flame_ = false;
            config_.physics.flameOutAt = -1;
        }
        if (!analysis)
            stateByte_ = 5;
        else
            stateByte_ = static_cast<std::uint8_t>(
                analysisPhase(minutes) >= 8 ? 14 : 6 + analysisPhase(minutes));
    }
}

void KalderModel::fillPhysics(wire::KalderPacket& p, std::uint64_t n) const {
    const KalderPhysics& ph = config_.physics;
    const double t = static_cast<double>(n) / kKalderPacketRate;
    p.state = stateByte_;
    p.errByte = t >= ph.errAt ? ph.errByte : 0;
    const bool analysis = analysisStart_ >= 0;
    for (int z = 0; z < wire::kKalderZones; ++z) {
        const auto zi = static_cast<std::size_t>(z);
        const bool frozen = z == ph.frozenZone && t >= ph.frozenAt;
        // A real reading never stands still: a hundredth of a degree of noise.
        const double noise =
            frozen ? 0.0 : ((n + static_cast<std::uint64_t>(z)) % 2 ? 0.01 : -0.01);
        p.zoneTemp[zi] = static_cast<float>(frozen ? std::round(zoneT_[zi]) : zoneT_[zi] + noise);
        double set =
            z == 0 ? cpuFloat(8) : (z <= 4 ? cpuFloat(static_cast<std::uint16_t>(32 + z)) : 0);
        if (z == ph.coldZone)
            set = 0;
        p.heatingPower[zi] =
            static_cast<std::uint8_t>(std::clamp((set - zoneT_[zi]) * 2.0 + 10.0, 0.0, 100.0));
    }
    const double minutes = analysis ? (t - analysisStart_) / 60.0 : 0.0;
    p.programmeSetPoint = static_cast<float>(analysis ? programmeSetPoint(minutes) : cpuFloat(8));
    p.mainsRaw = static_cast<std::uint16_t>(std::lround(ph.mains * 10.0));
    for (int m = 0; m < wire::kKalderGasModules; ++m) {
        const auto mi = static_cast<std::size_t>(m);
        p.flowRaw[mi] = static_cast<std::int16_t>(std::lround(flow_[mi] * 10.0));
        p.outletRaw[mi] = static_cast<std::int16_t>(std::lround(outlet_[mi] * 1000.0));
        p.inletRaw[mi] = static_cast<std::int16_t>(std::lround(outlet_[mi] * 1000.0 + 300.0));
    }
    if (flameChannel_ >= 0 && !flame_)
        p.detector[static_cast<std::size_t>(flameChannel_)].fill(0.0f);
}

std::array<std::uint8_t, 16> KalderModel::stack() const {
    std::array<std::uint8_t, 16> s{};
    for (int k = 0; k < kStackSize; ++k) {
        const auto it = cpu_.find(static_cast<std::uint16_t>(kParamStack + k));
        s[static_cast<std::size_t>(k)] =
            it == cpu_.end() ? 0 : static_cast<std::uint8_t>(it->second);
    }
    return s;
}

KalderSimModule* KalderModel::moduleBySerial(std::uint32_t serial) {
    for (auto& m : modules_)
        if (m.serial == serial)
            return &m;
    return nullptr;
}

std::optional<std::uint32_t> KalderModel::cpuParam(std::uint16_t number) const {
    const auto it = cpu_.find(number);
    if (it == cpu_.end())
        return std::nullopt;
    return it->second;
}

bool KalderModel::faultAt(FaultKind kind, std::uint64_t n, std::uint64_t* arg) const {
    for (const Fault& f : config_.faults) {
        if (f.kind == kind && f.appliesTo(n)) {
            if (arg)
                *arg = f.arg;
            return true;
        }
    }
    return false;
}

std::vector<std::uint8_t> KalderModel::garbage(std::size_t count) {
    std::vector<std::uint8_t> out(count);
    for (auto& b : out) {
        const unsigned r = static_cast<unsigned>(rng_());
        // Header look-alikes followed by the answer type (whose false
        // packets are short) or an unknown one, and plain noise.
        b = (r & 3) == 0   ? wire::kKalderSync
            : (r & 3) == 1 ? static_cast<std::uint8_t>((r >> 2) & 1 ? 2 : 5)
                           : static_cast<std::uint8_t>(r >> 8);
    }
    return out;
}

float KalderModel::expectedSample(int channel, std::uint64_t n, int k) const {
    const double t = static_cast<double>(4 * n + static_cast<std::uint64_t>(k)) / kKalderSampleRate;
    if (config_.signals.empty())
        return 0.0f;
    const auto i = static_cast<std::size_t>(channel);
    const SyntheticSignal& s = i < config_.signals.size() ? config_.signals[i] : config_.signals[0];
    // Each channel is offset so that channels cannot be mistaken for another.
    return static_cast<float>(s.valueAt(t) + 1000.0 * channel);
}

wire::KalderPacket KalderModel::statusPacket(std::uint64_t n, std::uint8_t type) {
    wire::KalderPacket p;
    p.type = type;
    p.sequence = static_cast<std::uint8_t>(n & 0xFF);
    p.state = 5;
    p.panelMethod = 0xFF;
    for (int m = 0; m < wire::kKalderGasModules; ++m) {
        const auto mi = static_cast<std::size_t>(m);
        p.flowRaw[mi] = static_cast<std::int16_t>(300 + m);
        p.valveRaw[mi] = static_cast<std::uint8_t>(50 + m);
        p.inletRaw[mi] = static_cast<std::int16_t>(2500 + m);
        p.outletRaw[mi] = static_cast<std::int16_t>(1000 + m);
    }
    for (int z = 0; z < wire::kKalderZones; ++z) {
        p.zoneTemp[static_cast<std::size_t>(z)] = 100.0f + static_cast<float>(z);
        p.heatingPower[static_cast<std::size_t>(z)] = static_cast<std::uint8_t>(10 * z);
    }
    p.programmeSetPoint = 100.0f;
    p.mainsRaw = 2200;
    p.flapRaw = 25;
    for (int c = 0; c < wire::kKalderDetectors; ++c)
        for (int k = 0; k < 4; ++k)
            p.detector[static_cast<std::size_t>(c)][static_cast<std::size_t>(k)] =
                expectedSample(c, n, k);
    p.service = {static_cast<std::int32_t>(n), 2, 3};
    if (config_.physics.on)
        fillPhysics(p, n);
    return p;
}

std::vector<std::uint8_t> KalderModel::packetBytes(std::uint64_t n) {
    if (config_.physics.on)
        advance(n);
    std::uint8_t type = 0;
    if (config_.dataEvery != 0 && n % config_.dataEvery == config_.dataEvery - 1)
        type = 3;
    wire::KalderPacket p = statusPacket(n, type);
    const bool slot = type == 0;
    std::vector<std::uint8_t> out;
    std::optional<wire::KalderAnswer> a;
    if ((slot || config_.answerPackets) && !answers_.empty()) {
        a = answers_.front();
        answers_.erase(answers_.begin());
    }
    if (slot && !config_.answerPackets)
        p.answer = a.value_or(wire::KalderAnswer{});
    else if (slot)
        p.answer = wire::KalderAnswer{};
    out = wire::buildKalderPacket(p);
    if (faultAt(FaultKind::BadCheck, n))
        out.back() ^= 0x01;
    if (config_.answerPackets && a) {
        wire::KalderPacket q;
        q.type = 2;
        q.answer = *a;
        const auto b = wire::buildKalderPacket(q);
        out.insert(out.end(), b.begin(), b.end());
    }
    if (config_.shortStatusEvery != 0 &&
        n % config_.shortStatusEvery == config_.shortStatusEvery - 1) {
        const auto b = wire::buildKalderPacket(statusPacket(n, 4));
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

void KalderModel::receive(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t crcBefore = parser_.checksumErrors();
        for (const auto& r : parser_.feed(bytes[i])) {
            requests_.push_back(r);
            if (auto a = answer(r))
                answers_.push_back(*a);
        }
        if (parser_.checksumErrors() != crcBefore && config_.cpuAnswers)
            answers_.push_back({kControlUnitAddress, 0x4000, -4});
    }
    // An instrument keeps one answer slot; a flood of requests loses the
    // oldest answers rather than growing without bound.
    if (answers_.size() > 16)
        answers_.erase(answers_.begin(), answers_.end() - 16);
}

std::optional<wire::KalderAnswer> KalderModel::busService(const wire::KalderRequest& r) {
    const auto none = wire::KalderAnswer{kBusServiceAddress, r.number, 0};
    switch (r.number) {
        case kBusReset:
            for (auto& m : modules_)
                m.enumerated = false;
            return none;
        case kBusPoll:
            lastPolled_ = -1;
            for (std::size_t i = 0; i < modules_.size(); ++i) {
                const auto& m = modules_[i];
                if (!m.enumerated && m.pollSlot == static_cast<int>(r.value)) {
                    lastPolled_ = static_cast<int>(i);
                    return wire::KalderAnswer{kBusServiceAddress, r.number,
                                              static_cast<std::int32_t>(m.word())};
                }
            }
            return none;
        case kBusEcho:
        case kBusFound: {
            // The module whose turn it is, else the first with the serial
            // (two modules with one serial both hear it).
            KalderSimModule* target = nullptr;
            if (lastPolled_ >= 0 &&
                modules_[static_cast<std::size_t>(lastPolled_)].serial == (r.value & 0xFFFFFF))
                target = &modules_[static_cast<std::size_t>(lastPolled_)];
            for (auto& m : modules_)
                if (!target && m.serial == (r.value & 0xFFFFFF) &&
                    (r.number == kBusFound || m.confirms))
                    target = &m;
            if (r.number == kBusFound) {
                if (target)
                    target->enumerated = true;
                return wire::KalderAnswer{kBusServiceAddress, r.number,
                                          static_cast<std::int32_t>(r.value)};
            }
            if (!target || !target->confirms)
                return std::nullopt;
            target->address = static_cast<std::uint8_t>(r.value >> 24);
            return wire::KalderAnswer{kBusServiceAddress, r.number,
                                      static_cast<std::int32_t>(target->word())};
        }
        default:
            return wire::KalderAnswer{kBusServiceAddress,
                                      static_cast<std::uint16_t>(r.number | 0x4000), -2};
    }
}

std::optional<wire::KalderAnswer> KalderModel::answer(const wire::KalderRequest& r) {
    if (r.address == kBusServiceAddress)
        return config_.busService ? busService(r) : std::nullopt;
    if (r.address == kControlUnitAddress) {
        if (!config_.cpuAnswers)
            return std::nullopt;
        auto it = cpu_.find(r.number);
        if (it == cpu_.end()) {
            if (!r.write)
                return wire::KalderAnswer{r.address, static_cast<std::uint16_t>(r.number | 0x4000),
                                          -2};
            it = cpu_.emplace(r.number, 0).first;
        }
        if (r.write)
            it->second = r.value;
        // The ignition pulse lights the flame, unless it is told to fail.
        if (r.write && r.number == 8240 && config_.physics.on) {
            ++pulses_;
            if (!config_.physics.flameFails && std::bit_cast<float>(r.value) > 0)
                flame_ = true;
        }
        return wire::KalderAnswer{r.address, r.number, static_cast<std::int32_t>(it->second)};
    }
    for (auto& m : modules_) {
        if (m.address != r.address)
            continue;
        if (!m.answers)
            return std::nullopt;
        auto it = m.params.find(r.number);
        if (it == m.params.end())
            return wire::KalderAnswer{r.address, static_cast<std::uint16_t>(r.number | 0x4000), -2};
        if (r.write)
            it->second = r.value;
        const auto stuck = m.stuck.find(r.number);
        if (stuck != m.stuck.end())
            it->second = stuck->second;
        return wire::KalderAnswer{r.address, r.number, static_cast<std::int32_t>(it->second)};
    }
    // The control unit answers for an address where no module sits.
    if (!config_.cpuAnswers)
        return std::nullopt;
    return wire::KalderAnswer{r.address, static_cast<std::uint16_t>(r.number | 0x4000), -1};
}

}  // namespace zelmora::sim
