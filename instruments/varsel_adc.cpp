#include "instruments/varsel_adc.h"

namespace zelmora {

CVarselAdc::~CVarselAdc() {
    close();
}

void CVarselAdc::onRecordingStarted(int) {
    recordingStartMs_.store(nowMs());
    const auto c = wire::buildVarselCommand(wire::kVarselOpStart);
    write(c.data(), c.size());
}

void CVarselAdc::onRecordingStopped(int) {
    const auto c = wire::buildVarselCommand(wire::kVarselOpStop);
    write(c.data(), c.size());
}

bool CVarselAdc::applyWanted(int wavelengthNm, int division) {
    if (wavelengthNm < 1 || wavelengthNm > 0xFFFF || division < 1 || division > 0xFFFF)
        return false;
    wantedWavelength_.store(wavelengthNm);
    wantedDivision_.store(division);
    haveWanted_.store(true);
    return true;
}

void CVarselAdc::onLinkOpened() {
    parser_ = {};
    firstFrame_ = true;
    sendTurn_ = false;
}

void CVarselAdc::onReceive(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (parser_.feed(bytes[i]) == wire::VarselFrameParser::Event::Frame)
            decodeFrame(parser_.frame());
}

void CVarselAdc::decodeFrame(const wire::VarselFrame& f) {
    countFrame();
    if (firstFrame_) {
        firstFrame_ = false;
        state_ = f.state;
        return;
    }
    if (channelCount() == 0)
        return;
    AcquisitionChannel& ch = channel(0);
    if (f.state != state_) {
        state_ = f.state;
        if (ch.isWaitingForStart())
            ch.triggerStart();
        else if (ch.isRecording() && nowMs() - recordingStartMs_.load() > kStopToggleAfterMs)
            ch.stop(true);
    }
    if (ch.isRecording())
        ch.addSample(wire::varselSample(f.signal));

    currentWavelength_.store(f.wavelength);
    currentDivision_.store(f.division);
    if (f.wavelength == 0 || f.division == 0)
        return;
    if (!haveWanted_.load()) {
        wantedWavelength_.store(f.wavelength);
        wantedDivision_.store(f.division);
        haveWanted_.store(true);
        return;
    }
    sendTurn_ = !sendTurn_;
    if (!sendTurn_)
        return;
    if (wantedWavelength_.load() != f.wavelength) {
        const auto c =
            wire::buildVarselSetpoint(wire::kVarselSetWavelength, wantedWavelength_.load());
        write(c.data(), c.size());
    } else if (wantedDivision_.load() != f.division) {
        const auto c = wire::buildVarselSetpoint(wire::kVarselSetDivision, wantedDivision_.load());
        write(c.data(), c.size());
    }
}

}  // namespace zelmora
