#include "instruments/detector_adc.h"

#include <chrono>
#include <system_error>

#include "app/settings_store.h"

namespace zelmora {
namespace {

const std::string kSharedKey = std::string(kRootKey) + "\\Ostrel";

}  // namespace

CDetectorAdc::CDetectorAdc() {
    pendingCommand_ = wire::buildDetectorCommand(settings_.offset, settings_.temperature);
}

CDetectorAdc::~CDetectorAdc() {
    close();
}

void CDetectorAdc::saveSettings(SettingsStore& store, const std::string& key) const {
    CDevice::saveSettings(store, key);
    const DetectorAdcSettings s = settings();
    for (const std::string& k : {key, kSharedKey}) {
        store.createKey(k);
        store.setInt(k, "OffSet", s.offset);
        store.setInt(k, "Temperature", s.temperature);
        store.setInt(k, "Invert", s.invert ? 1 : 0);
    }
}

void CDetectorAdc::loadCommonSettings(const SettingsStore& store) {
    DetectorAdcSettings s;
    s.offset = store.readInt(kSharedKey, "OffSet", 0);
    s.temperature = store.readInt(kSharedKey, "Temperature", 0);
    s.invert = store.readInt(kSharedKey, "Invert", 0) != 0;
    std::lock_guard lock(mutex_);
    settings_ = s;
    invert_.store(s.invert);
    pendingCommand_ = wire::buildDetectorCommand(s.offset, s.temperature);
}

void CDetectorAdc::loadSettings(const SettingsStore& store, const std::string& key) {
    CDevice::loadSettings(store, key);
    auto read = [&](const char* name) {
        if (store.value(key, name))
            return store.readInt(key, name, 0);
        return store.readInt(kSharedKey, name, 0);
    };
    DetectorAdcSettings s;
    s.offset = read("OffSet");
    s.temperature = read("Temperature");
    s.invert = read("Invert") != 0;
    std::lock_guard lock(mutex_);
    settings_ = s;
    invert_.store(s.invert);
    pendingCommand_ = wire::buildDetectorCommand(s.offset, s.temperature);
}

DetectorAdcSettings CDetectorAdc::settings() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

bool CDetectorAdc::applySettings(const DetectorAdcSettings& s) {
    if (s.offset < kMinOffset || s.offset > kMaxOffset || s.temperature < 0 ||
        s.temperature > kMaxTemperature)
        return false;
    {
        std::lock_guard lock(mutex_);
        settings_ = s;
        invert_.store(s.invert);
        pendingCommand_ = wire::buildDetectorCommand(s.offset, s.temperature);
    }
    return true;
}

int CDetectorAdc::checksum(int offset, int temperature) {
    return wire::buildDetectorCommand(offset, temperature)[5];
}

std::optional<std::array<std::uint8_t, wire::kDetectorCommandSize>> CDetectorAdc::pendingCommand()
    const {
    std::lock_guard lock(mutex_);
    return pendingCommand_;
}

double CDetectorAdc::convert(int channel, std::uint32_t raw) const {
    const double v = wire::detectorAdcMillivolts(raw, channel);
    return invert_.load() ? -v : v;
}

void CDetectorAdc::onLinkOpened() {
    parser_.reset();
    buttons_.reset();
}

void CDetectorAdc::onReceive(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        if (parser_.feed(bytes[i]) == wire::OstrelFrameParser::Event::Frame)
            decodeFrame(parser_.frame());
}

void CDetectorAdc::decodeFrame(const wire::OstrelFrame& f) {
    countFrame();
    for (int c = 0; c < 2 && c < channelCount(); ++c) {
        AcquisitionChannel& ch = channel(c);
        if (ch.isRecording())
            ch.addSample(convert(c, f.raw[static_cast<std::size_t>(c)]));
    }
    buttons_.update(*this, f.button);
}

bool CDetectorAdc::startWorkers() {
    if (writer_.joinable())
        writer_.join();
    {
        std::lock_guard lock(mutex_);
        writerStop_ = false;
    }
    try {
        writer_ = std::thread([this] { writerLoop(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void CDetectorAdc::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        writerStop_ = true;
    }
    writerWake_.notify_all();
    if (writer_.joinable() && writer_.get_id() != std::this_thread::get_id())
        writer_.join();
}

void CDetectorAdc::writerLoop() {
    std::unique_lock lock(mutex_);
    while (!writerStop_) {
        writerWake_.wait_for(lock, std::chrono::milliseconds(writerPeriodMs_.load()),
                             [&] { return writerStop_; });
        if (writerStop_ || !pendingCommand_)
            continue;
        const auto frame = *pendingCommand_;
        lock.unlock();
        const bool ok = write(frame.data(), frame.size());
        lock.lock();
        // A newer command applied meanwhile stays pending; a failed write is
        // tried again on the next tick.
        if (ok && pendingCommand_ == frame)
            pendingCommand_.reset();
    }
    lock.unlock();
    addCpuOfThisThread();
}

}  // namespace zelmora
