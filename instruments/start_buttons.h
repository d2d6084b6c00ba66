#pragma once
// The start buttons on the converters' front panel (one per channel, a bit
// in the frame). A press is a rising edge: set now, clear in the previous
// frame, so a button held down for many frames presses once. A press stops
// a recording that has run for more than 0.1 min, starts a channel that
// waits for its start signal, and otherwise asks for a new recording, but
// not within 5 s of a press that stopped one (the operator's second press of
// a double click).
//
// Used on the device's reader thread only; no lock.

#include <array>
#include <cstdint>
#include <optional>

namespace zelmora {

class CDevice;

class StartButtons {
  public:
    static constexpr double kMinRecordedMinutes = 0.1;
    static constexpr std::int64_t kRestartBlockMs = 5000;

    // The button states of one decoded frame.
    void update(CDevice& device, const std::array<bool, 2>& pressed);
    void reset() { previous_ = {}; }

  private:
    void press(CDevice& device, int channel);

    std::array<bool, 2> previous_{};
    std::array<std::optional<std::int64_t>, 2> lastStopMs_{};
};

}  // namespace zelmora
