#pragma once
// The byte-level behaviour of a simulated instrument, without any line: the
// bytes of frame n (its samples from the synthetic chromatogram, its button
// and range bits, a scheduled bad check byte), the sample that a correct
// driver decodes from it, the garbage the line adds, and the instrument's
// reaction to the commands it receives. Deterministic for a given
// configuration; used by one thread at a time.

#include <cstdint>
#include <random>
#include <vector>

#include "instruments/sim/sim_config.h"
#include "instruments/wire/ehd_frame.h"
#include "instruments/wire/ostrel_frame.h"
#include "instruments/wire/varsel_frame.h"

namespace zelmora::sim {

// The "ЭХД+КД" detector's own state: the settings it works with (codes, as
// its frames report them), its thermostats' temperatures, which follow
// their set points by a quarter of a degree per frame (towards 20 °C when
// switched off), and the commands it received.
struct EhdInstrumentState {
    wire::EhdFrame settings;  // the settings fields and flags of the frames
    double detectorCelsius = 18;
    double columnCelsius = 18;
    int sweepCommands = 0;
    std::vector<wire::EhdCommandFields> commands;  // every command but the sweep
};

class FrameSource {
  public:
    explicit FrameSource(SimConfig config);
    const SimConfig& config() const { return config_; }

    // Seconds of the instrument's own time at frame n.
    double frameTime(std::uint64_t n) const;
    std::vector<std::uint8_t> frameBytes(std::uint64_t n) const;
    // True when a fault of the kind is scheduled on frame n; the first
    // such fault's argument in `arg`.
    bool faultAt(FaultKind kind, std::uint64_t n, std::uint64_t* arg = nullptr) const;
    // The sample a driver decodes from frame n on the channel (0-based);
    // meaningless for a frame with a bad check.
    double expectedSample(int channel, std::uint64_t n) const;
    // The frame whose expected sample on the channel is `value` (within
    // tol), searching frames 0 ... limit - 1.
    std::optional<std::uint64_t> findFrame(int channel, double value, double tol,
                                           std::uint64_t limit) const;
    // Line noise: bytes that look like sync, check and control bytes.
    std::vector<std::uint8_t> garbage(std::size_t count);

    // Whether the instrument sends now (the Флюорат may wait for its start
    // key and stop after a number of frames); frameSent() counts one.
    bool sending() const;
    void frameSent();

    // Bytes from the driver.
    void receive(const std::uint8_t* bytes, std::size_t count);
    const std::vector<wire::DetectorCommand>& detectorCommands() const { return detectorCommands_; }
    const std::vector<std::uint8_t>& keys() const { return keys_; }
    const std::vector<wire::VarselCommandFields>& varselCommands() const { return varselCommands_; }
    int wavelength() const { return wavelength_; }
    const EhdInstrumentState& ehd() const { return ehd_; }
    int division() const { return division_; }

  private:
    bool buttonDown(int channel, std::uint64_t n) const;
    bool highRange(int channel, std::uint64_t n) const;
    bool rangeFrame(std::uint64_t n) const;
    std::uint8_t varselState(std::uint64_t n) const;
    std::uint32_t rawCount(int channel, std::uint64_t n) const;

    SimConfig config_;
    std::minstd_rand rng_;
    bool started_;
    std::uint64_t runSent_ = 0;
    int wavelength_;
    int division_;
    wire::DetectorCommandParser detectorParser_;
    wire::VarselCommandParser varselParser_;
    wire::EhdCommandParser ehdParser_;
    EhdInstrumentState ehd_;
    void ehdCommand(const wire::EhdCommandFields& c);
    std::vector<wire::DetectorCommand> detectorCommands_;
    std::vector<std::uint8_t> keys_;
    std::vector<wire::VarselCommandFields> varselCommands_;
};

}  // namespace zelmora::sim
