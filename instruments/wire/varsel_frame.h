#pragma once
// The Varsel spectrophotometric detector's 39-byte frame and its 7-byte
// commands.
//
// Frame: bytes 0, 1 = 0xAB, byte 2 = 0x00, bytes 3-8 header data, byte 9 =
// sum of bytes 0-8 mod 256, bytes 10-37 data, byte 38 = sum of bytes 10-37
// mod 256. The sample is the signed 32-bit little-endian integer at bytes
// 4-7 divided by 1000; byte 8 is the state byte (its changes are the
// instrument's start signal); the 32-bit integers at 22-25 and 30-33 are the
// current wavelength and division factor.
//
// Command: 0xAB 0xAB op b3 b4 b5 checksum (sum of bytes 0-5 mod 256); start
// is op 3, stop op 7; a setpoint is op 0 with b3 = 1 (wavelength) or 2
// (division factor) and the value in b4 (low) and b5 (high).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace zelmora::wire {

inline constexpr std::size_t kVarselFrameSize = 39;
inline constexpr std::size_t kVarselCommandSize = 7;
inline constexpr std::uint8_t kVarselSync = 0xAB;
inline constexpr std::uint8_t kVarselOpStart = 3;
inline constexpr std::uint8_t kVarselOpStop = 7;
inline constexpr std::uint8_t kVarselSetWavelength = 1;
inline constexpr std::uint8_t kVarselSetDivision = 2;

struct VarselFrame {
    std::int32_t signal = 0;  // sample x 1000
    std::uint8_t state = 0;
    std::int32_t wavelength = 0;
    std::int32_t division = 0;
    std::uint8_t header3 = 0;  // header byte 3, not interpreted
};

std::array<std::uint8_t, kVarselFrameSize> buildVarselFrame(const VarselFrame& f);
inline double varselSample(std::int32_t signal) {
    return signal / 1000.0;
}

using VarselCommand = std::array<std::uint8_t, kVarselCommandSize>;
VarselCommand buildVarselCommand(std::uint8_t op, std::uint8_t b3 = 0, std::uint8_t b4 = 0,
                                 std::uint8_t b5 = 0);
VarselCommand buildVarselSetpoint(std::uint8_t sub, int value);

// Finds frames in the stream. A failed header or data checksum drops the
// frame, and the search for the next header resumes in the bytes taken after
// the failed frame's first byte.
class VarselFrameParser {
  public:
    enum class Event { None, Frame, CheckFailed };
    Event feed(std::uint8_t byte);
    const VarselFrame& frame() const { return frame_; }
    std::uint64_t checkFailures() const { return checkFailures_; }

  private:
    std::array<std::uint8_t, kVarselFrameSize> buf_{};
    std::size_t pos_ = 0;
    VarselFrame frame_;
    std::uint64_t checkFailures_ = 0;
};

// Commands as the instrument reads them (for the simulator).
struct VarselCommandFields {
    std::uint8_t op = 0, b3 = 0, b4 = 0, b5 = 0;
};
class VarselCommandParser {
  public:
    std::optional<VarselCommandFields> feed(std::uint8_t byte);

  private:
    std::array<std::uint8_t, kVarselCommandSize> buf_{};
    std::size_t pos_ = 0;
};

}  // namespace zelmora::wire
