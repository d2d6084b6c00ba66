#include "instruments/start_buttons.h"

#include "instruments/device.h"
#include "instruments/device_types.h"

namespace zelmora {

void StartButtons::update(CDevice& device, const std::array<bool, 2>& pressed) {
    for (int c = 0; c < 2; ++c) {
        const auto i = static_cast<std::size_t>(c);
        if (pressed[i] && !previous_[i] && c < device.channelCount())
            press(device, c);
        previous_[i] = pressed[i];
    }
}

void StartButtons::press(CDevice& device, int c) {
    AcquisitionChannel& ch = device.channel(c);
    const int k = command::channelKey(device.deviceIndex(), c);
    if (ch.isRecording()) {
        if (ch.recordedMinutes() > kMinRecordedMinutes) {
            lastStopMs_[static_cast<std::size_t>(c)] = device.nowMs();
            device.postCommand(command::kStop + k);
        }
        return;
    }
    if (ch.isWaitingForStart()) {
        ch.triggerStart();
        return;
    }
    const auto& last = lastStopMs_[static_cast<std::size_t>(c)];
    if (!last || device.nowMs() - *last > kRestartBlockMs)
        device.postCommand(command::kRecord + k);
}

}  // namespace zelmora
