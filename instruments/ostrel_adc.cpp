#include "instruments/ostrel_adc.h"

#include "app/settings_store.h"
#include "app/text.h"

namespace zelmora {

COstrelAdc::~COstrelAdc() {
    close();
}

void COstrelAdc::saveSettings(SettingsStore& store, const std::string& key) const {
    CDevice::saveSettings(store, key);
    for (int i = 0; i < 4; ++i)
        store.setInt(key, text::format("CheckChn%d", i + 1), invert(i) ? 1 : 0);
}

void COstrelAdc::loadSettings(const SettingsStore& store, const std::string& key) {
    CDevice::loadSettings(store, key);
    for (int i = 0; i < 4; ++i)
        setInvert(i, store.readInt(key, text::format("CheckChn%d", i + 1), 0) != 0);
}

std::string COstrelAdc::rangeText(int channel) const {
    return factor(channel) == 1.0f ? "10В    " : "1мВ    ";
}

std::string COstrelAdc::statusLine() const {
    return "Канал 1: " + rangeText(0) + "Канал 2: " + rangeText(1);
}

double COstrelAdc::convert(int channel, std::uint32_t raw) const {
    double v = wire::ostrelMillivolts(raw) * static_cast<double>(factor(channel));
    return invert(channel) ? -v : v;
}

void COstrelAdc::onLinkOpened() {
    parser_.reset();
    buttons_.reset();
}

void COstrelAdc::onReceive(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        switch (parser_.feed(bytes[i])) {
            case wire::OstrelFrameParser::Event::Frame:
                decodeFrame(parser_.frame());
                break;
            case wire::OstrelFrameParser::Event::CheckFailed:
                alarms().report(kAlarmChecksum);
                break;
            case wire::OstrelFrameParser::Event::None:
                break;
        }
    }
}

void COstrelAdc::decodeFrame(const wire::OstrelFrame& f) {
    countFrame();
    // Every range frame sets both factors, so a channel that leaves the
    // high-sensitivity range is scaled back to 1.
    if (f.hasRangeFlags)
        for (std::size_t c = 0; c < 2; ++c)
            factor_[c].store(f.highSensitivity[c] ? wire::kOstrelHighSensitivityFactor : 1.0f);
    for (int c = 0; c < 2 && c < channelCount(); ++c) {
        AcquisitionChannel& ch = channel(c);
        if (ch.isRecording())
            ch.addSample(convert(c, f.raw[static_cast<std::size_t>(c)]));
    }
    buttons_.update(*this, f.button);
}

}  // namespace zelmora
