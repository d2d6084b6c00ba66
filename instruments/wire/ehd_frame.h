#pragma once
// The "ЭХД+КД" electrochemical and conductivity detector's 11-byte frame,
// its 2-byte commands and the code grids of its settings.
//
// Frame b0 ... b10, every byte 7-bit (a frame starts on a byte with bit 7
// clear; a byte with bit 7 set where a frame would start is dropped):
//   b0   bit 6 clear: coarse range (1) reported, set: fine range (0);
//        bit 5 clear: the detector is ready; bits 3-4: detector mode;
//        bit 2: analysis running; bits 0-1: frame kind
//   b1   bit 6: detector thermostat on;   b2 bit 6: column thermostat on
//   b1-b4  the 24-bit signal count in 6-bit and 2-bit pieces (see ehdRaw)
//   b3   bit 6 set: b5, b6 carry the measured detector temperature code,
//        clear: the measured column temperature code (12 bits, high 6 first)
//   b7-b10 by frame kind: 0 cleaning, restoring and delay times (b7, b8, b9,
//        6 bits each); 1 measuring potential (b7, b8) and column
//        temperature setting (b9, b10); 2 cleaning potential (b7, b8) and
//        restoring potential (b9, b10); 3 detector temperature setting
//        (b9, b10).
//
// Command: the command number (bits 0-5, bit 7 clear), then the value
// (bits 0-5) with bit 7 set. A 12-bit code is two commands: the low 6 bits
// with the first number, the high 6 bits with the next.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelmora::wire {

inline constexpr std::size_t kEhdFrameSize = 11;
inline constexpr double kEhdSampleRate = 14.06;  // frames (points) per second
inline constexpr int kEhdCodeMax = 4095;         // 12-bit codes
inline constexpr int kEhdTimeCodeMax = 63;       // 6-bit codes

// Command numbers.
enum EhdCommand : std::uint8_t {
    kEhdMeasuringPotential = 0,  // 0, 1
    kEhdCleaningPotential = 2,   // 2, 3
    kEhdRestoringPotential = 4,  // 4, 5
    kEhdColumnTemperature = 6,   // 6, 7
    kEhdCleaningTime = 8,
    kEhdRestoringTime = 9,
    kEhdDelayTime = 10,
    kEhdMode0 = 11,  // 11, 12, 13: detector mode 0, 1, 2 (also the coarse range)
    kEhdAnalysisOn = 14,
    kEhdAnalysisOff = 15,
    kEhdFineRange = 16,
    kEhdDetectorThermostatOn = 17,
    kEhdDetectorThermostatOff = 18,
    kEhdLinkSweep = 19,
    kEhdColumnThermostatOn = 20,
    kEhdColumnThermostatOff = 21,
    kEhdDetectorTemperature = 22,  // 22, 23
};

struct EhdFrame {
    int kind = 0;   // 0 ... 3
    int range = 0;  // 0 fine, 1 coarse
    bool ready = false;
    int mode = 0;  // 0 ... 3 as reported
    bool analysis = false;
    bool detectorThermostat = false;
    bool columnThermostat = false;
    std::uint32_t raw = 0;                     // 24-bit signal count
    bool detectorTemperatureMeasured = false;  // b3 bit 6: which temperature b5, b6 carry
    int measuredTemperatureCode = 0;
    // By kind (the others stay 0).
    int cleaningTime = 0, restoringTime = 0, delayTime = 0;  // kind 0
    int measuringPotential = 0, columnTemperature = 0;       // kind 1
    int cleaningPotential = 0, restoringPotential = 0;       // kind 2
    int detectorTemperature = 0;                             // kind 3
};

std::array<std::uint8_t, kEhdFrameSize> buildEhdFrame(const EhdFrame& f);
EhdFrame decodeEhdFrame(const std::array<std::uint8_t, kEhdFrameSize>& b);

// Collects frames from the stream. The frame has no sync byte and no
// check: a byte lost or added on the line would shift every later frame.
// The instrument pauses between frames (11 bytes take 11.5 ms at 9600 baud,
// a frame comes every 71 ms), so the reader restarts the frame at the first
// byte after a pause.
class EhdFrameParser {
  public:
    // True when the byte completed a frame; frame() then holds it.
    bool feed(std::uint8_t byte);
    // The line was quiet: the next byte starts a frame.
    void restartFrame();
    const EhdFrame& frame() const { return frame_; }
    std::uint64_t droppedBytes() const { return dropped_; }
    // Frames cut short by a pause.
    std::uint64_t resyncs() const { return resyncs_; }

  private:
    std::array<std::uint8_t, kEhdFrameSize> buf_{};
    std::size_t pos_ = 0;
    EhdFrame frame_;
    std::uint64_t dropped_ = 0;
    std::uint64_t resyncs_ = 0;
};

using EhdCommandBytes = std::array<std::uint8_t, 2>;
EhdCommandBytes buildEhdCommand(int number, int value);

// Commands as the instrument reads them (for the simulator): a number byte
// followed by a value byte; anything else is skipped.
struct EhdCommandFields {
    int number = 0;
    int value = 0;
};
class EhdCommandParser {
  public:
    std::optional<EhdCommandFields> feed(std::uint8_t byte);

  private:
    std::optional<int> number_;
};

// The signal in the detector's unit: F × 2 × raw / 16777215 − F, F = 10000
// on the fine range, 80000 (mode 1) or 20000 (other modes) on the coarse one.
double ehdSignal(std::uint32_t raw, int range, int mode);
double ehdFullScale(int range, int mode);
// The count a signal value gives (for the simulator); clamped to 24 bits.
std::uint32_t ehdRawFromSignal(double value, int range, int mode);

// Code grids. Potentials ±2.5 V, temperatures 0 ... 50 °C on a 100 °C
// 12-bit scale, times 0 ... 800 s in 40 s steps. Values outside are clamped.
int ehdPotentialCode(double volts);
double ehdPotentialVolts(int code);
int ehdTemperatureCode(double celsius);
double ehdTemperatureCelsius(int code);
int ehdTimeCode(double seconds);
double ehdTimeSeconds(int code);

}  // namespace zelmora::wire
