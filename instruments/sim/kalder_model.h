#pragma once
// A simulated Kalder chromatograph, as bytes: it streams status packets
// (detector samples from synthetic chromatograms, zones, gases), reads the
// computer's 10-byte requests and answers each one in the answer slot of a
// following packet, as the instrument's modules would:
//
// - the control unit (124) with its serial, type, address stack and zone
//   names, keeping every value written to it;
// - the modules on the bus, each with its own parameters; a parameter the
//   module lacks is answered "no such parameter" (-2), an address with no
//   module "module time-out" (-1);
// - the bus service (40) of plug-and-play: poll slots in which each module
//   offers its word, the echo that confirms a word (and moves the module to
//   the address it carries), the end-of-turn mark and the reset;
// - a request with a bad checksum is answered with the CRC error (-4).
//
// Faults for the tests: modules that never answer, a "virtual" module that
// offers a word in its poll slot but never confirms it, parameters that
// keep another value than the one written, a control unit without a bus
// service, and the line faults of the other simulators.
//
// Deterministic; used by one thread at a time (the pseudo-terminal runner
// holds its lock).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "instruments/sim/sim_config.h"
#include "instruments/wire/kalder_frame.h"

namespace zelmora::sim {

struct KalderSimModule {
    std::uint8_t address = 0;  // current bus address
    std::uint32_t serial = 0;  // 24 bits
    int pollSlot = 0;          // the plug-and-play poll at which it offers its word
    bool confirms = true;      // false: a virtual device that never echoes its word
    bool answers = true;       // false: never answers a parameter request
    std::map<std::uint16_t, std::uint32_t> params;
    // Parameters that keep this value whatever is written to them.
    std::map<std::uint16_t, std::uint32_t> stuck;
    bool enumerated = false;  // its plug-and-play turn is over

    std::uint32_t word() const { return (std::uint32_t{address} << 24) | (serial & 0xFFFFFF); }
};

// The instrument's physics, for bringing it to readiness: heated zones that
// move towards their set points (first order), gas flows and pressures that
// follow theirs, a flame lit by an ignition pulse, the analysis phases of
// the column programme, the mains voltage, and faults on request. Time is
// the simulated time of the packets (0.2 s each), so --speed speeds it up.
struct KalderPhysics {
    bool on = false;           // off: the fixed readings of the link tests
    double ambient = 25.0;     // °C at cold start
    double heatRate = 0.05;    // per second: dT/dt = rate * (set - T)
    double gasRate = 1.0;      // per second, flows and pressures
    double mains = 220.0;      // V
    bool flameFails = false;   // ignition pulses never light the flame
    double flameOutAt = -1;    // s of simulated time at which the flame goes out
    int coldZone = -1;         // a zone whose heater does not work
    int frozenZone = -1;       // a zone whose reading stops changing
    double frozenAt = 0;       // s from which it is frozen
    int stuckGas = -1;         // a gas channel that reaches only half its set point
    std::uint8_t errByte = 0;  // error byte that stays set from errAt on
    double errAt = 0;
    std::array<std::uint32_t, 3> errWords{};  // control unit words 96-98
};

struct KalderSimConfig {
    double speed = 1.0;  // wall-clock speed-up of the packet rate
    int baud = 19200;    // the rate the instrument talks at
    std::uint32_t cpuSerial = 0x00C0FFEE;
    std::uint32_t cpuType = 1;
    std::uint32_t cpuFirmware = 0x0801;
    std::array<std::uint8_t, 16> stack{};  // the control unit's address stack
    bool busService = true;                // answers plug-and-play at address 40
    bool cpuAnswers = true;
    std::vector<KalderSimModule> modules;
    std::vector<SyntheticSignal> signals;  // detector channels 1-4
    std::vector<Fault> faults;             // line faults by packet number
    std::uint64_t frameLimit = 0;          // 0: endless
    // Every so many packets a type 3 data packet (channels 1-4) is sent in
    // place of a status packet; 0: never.
    std::uint64_t dataEvery = 0;
    // Every so many packets a type 4 short status follows; 0: never.
    std::uint64_t shortStatusEvery = 0;
    // Answers go in a separate type 2 packet right after the status.
    bool answerPackets = false;
    std::uint32_t seed = 1;
    KalderPhysics physics;
};

// Status packets per second (20 samples per second, four per packet).
inline constexpr double kKalderPacketRate = 5.0;
inline constexpr double kKalderSampleRate = 20.0;

// The composition the simulator starts with when none is given: a flame
// amplifier, a conductivity detector, a gas regulator and a two-valve block.
KalderSimConfig defaultKalderConfig();

// Parses the simulator's kalder options (see zelmora-sim --help).
bool parseKalderArgs(const std::vector<std::string>& args, KalderSimConfig& config,
                     std::string* error);
extern const char* const kKalderSimUsage;

class KalderModel {
  public:
    explicit KalderModel(KalderSimConfig config);
    const KalderSimConfig& config() const { return config_; }

    // The bytes of packet n (one or two packets); a pending answer goes out
    // with it when the packet has an answer slot.
    std::vector<std::uint8_t> packetBytes(std::uint64_t n);
    bool faultAt(FaultKind kind, std::uint64_t n, std::uint64_t* arg = nullptr) const;
    std::vector<std::uint8_t> garbage(std::size_t count);
    // Bytes from the computer.
    void receive(const std::uint8_t* bytes, std::size_t count);

    // Sample k (0-3) of detector channel c (0-3) in packet n.
    float expectedSample(int channel, std::uint64_t n, int k) const;

    const std::vector<wire::KalderRequest>& requests() const { return requests_; }
    const std::vector<KalderSimModule>& modules() const { return modules_; }
    // A module by its serial, to change its behaviour during a run.
    KalderSimModule* moduleBySerial(std::uint32_t serial);
    void setCpuAnswers(bool on) { config_.cpuAnswers = on; }
    std::array<std::uint8_t, 16> stack() const;
    std::optional<std::uint32_t> cpuParam(std::uint16_t number) const;
    std::uint64_t crcErrors() const { return parser_.checksumErrors(); }
    // Physics: the state of the simulated instrument.
    KalderPhysics& physics() { return config_.physics; }
    bool flameLit() const { return flame_; }
    double zoneTemperature(int z) const { return zoneT_[static_cast<std::size_t>(z)]; }
    int ignitionPulses() const { return pulses_; }
    std::uint8_t stateByte() const { return stateByte_; }

  private:
    std::optional<wire::KalderAnswer> answer(const wire::KalderRequest& r);
    std::optional<wire::KalderAnswer> busService(const wire::KalderRequest& r);
    wire::KalderPacket statusPacket(std::uint64_t n, std::uint8_t type);
    void advance(std::uint64_t n);
    void fillPhysics(wire::KalderPacket& p, std::uint64_t n) const;
    float cpuFloat(std::uint16_t number) const;
    float moduleFloat(std::uint8_t address, std::uint16_t number) const;
    double programmeSetPoint(double minutes) const;
    int analysisPhase(double minutes) const;

    KalderSimConfig config_;
    std::vector<KalderSimModule> modules_;
    std::map<std::uint16_t, std::uint32_t> cpu_;
    wire::KalderRequestParser parser_;
    std::vector<wire::KalderRequest> requests_;
    std::vector<wire::KalderAnswer> answers_;  // waiting for a packet with a slot
    int lastPolled_ = -1;                      // the module that offered its word to the last poll
    std::minstd_rand rng_;

    // Physics state, advanced once per packet.
    std::uint64_t advancedTo_ = 0;
    std::array<double, 8> zoneT_{};
    std::array<double, 12> flow_{}, outlet_{};
    bool flame_ = false;
    int pulses_ = 0;
    double analysisStart_ = -1;  // s of simulated time
    std::uint8_t stateByte_ = 5;
    int flameChannel_ = -1;  // detector channel of the first flame amplifier
};

}  // namespace zelmora::sim
