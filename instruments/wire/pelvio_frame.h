#pragma once
// The Pelvio autosampler's frame, the same in both directions: 0x55 ('U'),
// the payload length L, L payload bytes (message type, subtype, value), and
// a check byte, the XOR of L and the payload. The sampler's frames carry at
// most three payload bytes (six bytes in all).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zelmora::wire {

inline constexpr std::uint8_t kPelvioSync = 0x55;
inline constexpr std::size_t kPelvioMaxFrame = 6;
// The program's longest frame: the parameters, type 3 and nine settings.
inline constexpr std::size_t kPelvioMaxRequestPayload = 10;
inline constexpr std::size_t kPelvioMaxRequest = kPelvioMaxRequestPayload + 3;

std::vector<std::uint8_t> buildPelvioFrame(const std::vector<std::uint8_t>& payload);

// Collects the sampler's frames. A byte other than 'U' where a frame would
// start is dropped; a frame that is not complete at its sixth byte is too
// long; a wrong check drops the frame.
class PelvioFrameParser {
  public:
    enum class Event { None, Frame, TooLong, BadCheck };
    Event feed(std::uint8_t byte);
    // The payload of the last frame.
    const std::vector<std::uint8_t>& payload() const { return payload_; }

  private:
    std::uint8_t buf_[kPelvioMaxFrame] = {};
    std::size_t pos_ = 0;
    std::vector<std::uint8_t> payload_;
};

// The sampler's side of the line: collects the program's frames, which may
// be longer than the sampler's own (the parameters carry ten payload bytes).
// A length of zero or above ten cannot start a frame: the 'U' is dropped and
// the search goes on from the length byte. A wrong check drops the frame.
class PelvioRequestParser {
  public:
    enum class Event { None, Frame, BadCheck };
    Event feed(std::uint8_t byte);
    const std::vector<std::uint8_t>& payload() const { return payload_; }

  private:
    std::uint8_t buf_[kPelvioMaxRequest] = {};
    std::size_t pos_ = 0;
    std::vector<std::uint8_t> payload_;
};

}  // namespace zelmora::wire
