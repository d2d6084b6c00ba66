#pragma once
// The "Флюорат" fluorimeter's 4-byte sample frame and its key codes.
//
// Byte 0 has bit 7 set; bytes 1-3 carry 7 data bits each. The value is
// assembled with every 7-bit group bit-reversed: bit (6 - i) of byte 3 is
// value bit i, of byte 2 bit 7 + i, of byte 1 bit 14 + i; bit 2 of byte 0 is
// value bit 21. The sample is value x 1000 / 4194303 (0x3FFFFF).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelmora::wire {

inline constexpr std::size_t kFluoratFrameSize = 4;
inline constexpr std::uint32_t kFluoratFullScale = 0x3FFFFF;

// Key codes sent to the instrument.
inline constexpr std::uint8_t kFluoratKeyStart = 13;  // CR when recording starts
inline constexpr std::uint8_t kFluoratKeyStop = 27;   // ESC when it stops
inline constexpr std::array<std::uint8_t, 10> kFluoratMethodKeys = {27, 27, 27, 28, 28,
                                                                    28, 13, 13, 27, 13};

std::array<std::uint8_t, kFluoratFrameSize> buildFluoratFrame(std::uint32_t value);
std::uint32_t fluoratValue(const std::array<std::uint8_t, kFluoratFrameSize>& frame);
double fluoratSample(std::uint32_t value);
// The value nearest to a sample (0 ... 1000), for the simulator.
std::uint32_t fluoratValueFromSample(double sample);

// A byte without bit 7 where a frame must begin is dropped; a byte with bit
// 7 inside a frame cannot be data and begins a new frame.
class FluoratFrameParser {
  public:
    // The frame's value once its fourth byte arrives.
    std::optional<std::uint32_t> feed(std::uint8_t byte);
    std::uint64_t droppedBytes() const { return dropped_; }

  private:
    std::array<std::uint8_t, kFluoratFrameSize> buf_{};
    std::size_t pos_ = 0;
    std::uint64_t dropped_ = 0;
};

}  // namespace zelmora::wire
