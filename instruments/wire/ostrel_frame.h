#pragma once
// The 18-byte frame that the Ostrel converter and the "КД+АЦП" detector
// converter send continuously, and the 6-byte command that sets the
// detector's offset and temperature.
//
//   0, 1    '7' '7'
//   2-4     channel 1 sample, 24 bits, most significant byte first, offset
//           binary (0x7FFFFF is zero)
//   5       check of bytes 2-4 in bits 0-6; bit 7 = start button of channel 1
//   6-8     channel 2 sample
//   9       check of bytes 6-8; bit 7 = start button of channel 2
//   10-12   auxiliary group: byte 10 'e' carries range flags in byte 12
//           (bit 0 channel 1, bit 1 channel 2 on the high-sensitivity range)
//   13      check of bytes 10-12
//   14-16   reserved group
//   17      check of bytes 14-16
//
// The check of three bytes d0 d1 d2 is (d0 + d1 + d2 + 1) mod 128.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace zelmora::wire {

inline constexpr std::size_t kOstrelFrameSize = 18;
inline constexpr std::uint8_t kOstrelSync = 0x37;         // '7'
inline constexpr std::uint8_t kOstrelRangeMarker = 0x65;  // 'e'
inline constexpr std::int32_t kOstrelZero = 0x7FFFFF;

std::uint8_t ostrelCheck(std::uint8_t d0, std::uint8_t d1, std::uint8_t d2);

struct OstrelFrame {
    std::array<std::uint32_t, 2> raw{};  // 24-bit counts, offset binary
    std::array<bool, 2> button{};        // start button held down
    bool hasRangeFlags = false;          // auxiliary group carries 'e'
    std::array<bool, 2> highSensitivity{};
    std::array<std::uint8_t, 3> aux{};
    std::array<std::uint8_t, 3> reserved{};
};

// The frame's 18 bytes with correct check bytes.
std::array<std::uint8_t, kOstrelFrameSize> buildOstrelFrame(const OstrelFrame& f);

// Splits the continuous byte stream into frames. Each byte goes to the
// current position: the two sync bytes must be '7', and at positions 5, 9,
// 13 and 17 the check of the three preceding bytes must match. A failed
// check drops the frame; the parser then looks for a new frame start in the
// bytes it had already taken after the failed header, so that a frame that
// began inside garbage is still found.
class OstrelFrameParser {
  public:
    enum class Event { None, Frame, CheckFailed };

    // Feeds one byte. On Event::Frame, frame() holds the decoded frame.
    // CheckFailed may be reported more than once per byte during a rescan;
    // the count is in checkFailures().
    Event feed(std::uint8_t byte);
    const OstrelFrame& frame() const { return frame_; }
    std::size_t position() const { return pos_; }
    std::uint64_t checkFailures() const { return checkFailures_; }
    void reset() { pos_ = 0; }

  private:
    Event step(std::uint8_t byte);

    std::array<std::uint8_t, kOstrelFrameSize> buf_{};
    std::size_t pos_ = 0;
    OstrelFrame frame_;
    std::uint64_t checkFailures_ = 0;
};

// Ostrel: millivolts of a raw count, (raw - 8388607) x 10850 / 8388607,
// computed in double so that no count can overflow.
double ostrelMillivolts(std::uint32_t raw);
// "КД+АЦП": (raw - 8388607) x 11000 / 8388607; channel 1 (index 0) is
// multiplied by 10.
double detectorAdcMillivolts(std::uint32_t raw, int channelIndex);
// The raw count nearest to a value in millivolts for the given full scale
// (10850 or 11000 mV), clamped to 24 bits. Used by the simulators.
std::uint32_t rawFromMillivolts(double mv, double fullScaleMv);

inline constexpr double kOstrelFullScaleMv = 10850.0;
inline constexpr double kDetectorAdcFullScaleMv = 11000.0;
// The factor that the high-sensitivity range flag applies (1/270).
inline constexpr float kOstrelHighSensitivityFactor = 1.0f / 270.0f;

// Offset and temperature command of the "КД+АЦП":
// ':' ':' offset-low offset-high temperature checksum,
// checksum = (offset-low + offset-high + temperature) mod 256.
inline constexpr std::size_t kDetectorCommandSize = 6;
std::array<std::uint8_t, kDetectorCommandSize> buildDetectorCommand(int offset, int temperature);

struct DetectorCommand {
    int offset = 0;
    int temperature = 0;
};
// Recognises the command in the byte stream (for the simulator); bytes
// that do not form a command with a correct checksum are skipped.
class DetectorCommandParser {
  public:
    std::optional<DetectorCommand> feed(std::uint8_t byte);

  private:
    std::array<std::uint8_t, kDetectorCommandSize> buf_{};
    std::size_t pos_ = 0;
};

}  // namespace zelmora::wire
