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

}  // namespace zelmora::wire
