#include "instruments/fluorat_adc.h"

namespace zelmora {

CFluoratAdc::~CFluoratAdc() {
    close();
}

void CFluoratAdc::onRecordingStarted(int) {
    writeByte(wire::kFluoratKeyStart);
}

void CFluoratAdc::onRecordingStopped(int) {
    writeByte(wire::kFluoratKeyStop);
}

void CFluoratAdc::onMethodStarted(int channel) {
    CDevice::onMethodStarted(channel);
    write(wire::kFluoratMethodKeys.data(), wire::kFluoratMethodKeys.size());
}

void CFluoratAdc::onLinkOpened() {
    parser_ = {};
    runStarted_.store(false);
}

void CFluoratAdc::onReceive(const std::uint8_t* bytes, std::size_t count) {
    if (count == 0 || channelCount() == 0)
        return;
    AcquisitionChannel& ch = channel(0);
    if (ch.isWaitingForStart()) {
        ch.triggerStart();
        runStarted_.store(true);
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (const auto v = parser_.feed(bytes[i])) {
            countFrame();
            if (ch.isRecording())
                ch.addSample(wire::fluoratSample(*v));
        }
    }
}

bool CFluoratAdc::ignoreReceiveTimeout() {
    if (runStarted_.exchange(false) && channelCount() > 0 && channel(0).isRecording())
        channel(0).stop(true);
    return true;
}

}  // namespace zelmora
