#pragma once
// What an instrument simulator sends: which instrument, how fast, the
// synthetic chromatogram on each channel, and the scheduled events (start
// buttons, range changes, faults on the line).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelmora::sim {

enum class Instrument { Ostrel, DetectorAdc, Fluorat, Varsel, Ehd };

std::optional<Instrument> parseInstrument(std::string_view name);
const char* instrumentName(Instrument i);
// Frames per second that the instrument sends.
double instrumentFrameRate(Instrument i);
int instrumentChannels(Instrument i);

// A detector trace: baseline + ramp x t + Gaussian peaks, t in seconds of
// the instrument's own time.
struct SimPeak {
    double centreSeconds = 0;
    double height = 0;  // mV (the Флюорат: its own units, 0 ... 1000)
    double sigmaSeconds = 1;
};
struct SyntheticSignal {
    double baseline = 0;
    double rampPerSecond = 0;
    std::vector<SimPeak> peaks;
    double valueAt(double seconds) const;
};

enum class FaultKind { BadCheck, Split, Garbage, Silence };
struct Fault {
    FaultKind kind = FaultKind::BadCheck;
    std::uint64_t frame = 0;  // first frame it applies to
    std::uint64_t every = 0;  // repeat every so many frames (0: once)
    std::uint64_t arg = 0;    // garbage bytes, split pause ms, silence ms
    bool appliesTo(std::uint64_t n) const;
};

struct ButtonPress {
    int channel = 0;  // 0-based
    std::uint64_t frame = 0;
    std::uint64_t holdFrames = 3;
};

struct RangeChange {
    int channel = 0;
    std::uint64_t frame = 0;
    bool high = true;
};

struct SimConfig {
    Instrument instrument = Instrument::Ostrel;
    double speed = 1.0;                    // wall-clock speed-up of the frame rate
    std::vector<SyntheticSignal> signals;  // per channel; missing ones repeat the first
    std::vector<Fault> faults;
    std::vector<ButtonPress> buttons;  // the Varsel: state byte toggles
    std::vector<RangeChange> ranges;   // the Ostrel only
    std::uint64_t frameLimit = 0;      // 0: endless
    // The Флюорат: silent until it receives CR, then sends runFrames frames
    // (0: endless) and falls silent again.
    bool waitForStartKey = false;
    std::uint64_t runFrames = 0;
    int wavelength = 254;  // the Varsel's current setpoints
    int division = 1;
    std::uint32_t seed = 1;

    const SyntheticSignal& signal(int channel) const;
};

// The default trace: three peaks over two minutes on a small baseline.
SyntheticSignal defaultSignal(Instrument i);

// Parses the simulator's options (see zelmora-sim --help); false with
// `error` filled on a bad option.
bool parseSimArgs(const std::vector<std::string>& args, SimConfig& config, std::string* error);
// One "--fault" value: KIND@N[:A] or KIND/P[:A].
bool parseFaultSpec(std::string_view s, Fault& f);
extern const char* const kSimUsage;

}  // namespace zelmora::sim
