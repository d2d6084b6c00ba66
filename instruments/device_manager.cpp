#include "instruments/device_manager.h"

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/demo_adc.h"
#include "instruments/detector_adc.h"
#include "instruments/device_types.h"
#include "instruments/ehd_detector.h"
#include "instruments/fluorat_adc.h"
#include "instruments/ht300_sampler.h"
#include "instruments/kalder_instrument.h"
#include "instruments/ostrel_adc.h"
#include "instruments/placeholder_device.h"
#include "instruments/varsel_adc.h"

namespace zelmora {
namespace {

const std::string kPortsKey = std::string(kRootKey) + "\\Ports";

}  // namespace

CDeviceManager::CDeviceManager(SettingsStore& store) : store_(store) {
    for (int code = 0; code < kDeviceTypeCount; ++code)
        factories_[code] = [code] { return std::make_unique<CPlaceholderDevice>(code); };
    for (int code : {0, 1}) {
        factories_[code] = [this, code] {
            auto d = std::make_unique<CKalderInstrument>(code);
            d->setStorehouseStore(&store_);
            return d;
        };
    }
    factories_[2] = [] { return std::make_unique<COstrelAdc>(); };
    factories_[3] = [] { return std::make_unique<CDetectorAdc>(); };
    factories_[4] = [] { return std::make_unique<CHt300Sampler>(); };
    factories_[5] = [] { return std::make_unique<CDemoAdc>(); };
    factories_[6] = [] { return std::make_unique<CEhdDetector>(); };
    factories_[7] = [] { return std::make_unique<CFluoratAdc>(); };
    factories_[8] = [] { return std::make_unique<CVarselAdc>(); };
}

CDeviceManager::~CDeviceManager() {
    for (auto& d : devices_)
        d->close();
}

void CDeviceManager::registerType(int code, DeviceFactory factory) {
    if (isValidDeviceType(code) && factory)
        factories_[code] = std::move(factory);
}

void CDeviceManager::setCommandSink(std::function<void(int)> sink) {
    commandSink_ = std::move(sink);
    for (auto& d : devices_)
        d->setCommandSink(commandSink_);
}

std::string CDeviceManager::deviceKey(int i) {
    return text::format("%s\\ADC_%d", kRootKey, i);
}

std::unique_ptr<CDevice> CDeviceManager::create(int type, int index) {
    if (!isValidDeviceType(type))
        return nullptr;
    const auto it = factories_.find(type);
    if (it == factories_.end())
        return nullptr;
    auto d = it->second();
    if (!d || !d->init(index, channelFactory_))
        return nullptr;
    d->setCommandSink(commandSink_);
    return d;
}

void CDeviceManager::load() {
    removeAll();
    const int n = store_.readInt(kRootKey, "ADCCount", 0);
    for (int i = 0; i < n && i < kMaxDevices; ++i) {
        const std::string key = deviceKey(i);
        if (CDevice* d = add(store_.readInt(key, "ID", 0)))
            d->loadSettings(store_, key);
    }
}

Status CDeviceManager::save() {
    const int n = count();
    store_.setInt(kRootKey, "ADCCount", n);
    for (int i = 0; i < n; ++i) {
        const std::string key = deviceKey(i);
        if (devices_[static_cast<std::size_t>(i)]->rewriteSettingsKey())
            store_.deleteKey(key);
        store_.createKey(key);
        store_.setInt(key, "ID", devices_[static_cast<std::size_t>(i)]->type());
        devices_[static_cast<std::size_t>(i)]->saveSettings(store_, key);
    }
    // Keys of devices that left the list would otherwise come back when the
    // list grows again.
    for (int i = n; i < kMaxDevices; ++i)
        if (store_.hasKey(deviceKey(i)))
            store_.deleteKey(deviceKey(i));
    return store_.flush();
}

CDevice* CDeviceManager::add(int type) {
    if (count() >= kMaxDevices)
        return nullptr;
    auto d = create(type, count());
    if (!d)
        return nullptr;
    d->loadCommonSettings(store_);
    devices_.push_back(std::move(d));
    return devices_.back().get();
}

bool CDeviceManager::remove(int i) {
    if (i < 0 || i >= count() || device(i).anyChannelRecording())
        return false;
    device(i).close();
    devices_.erase(devices_.begin() + i);
    renumber();
    return true;
}

bool CDeviceManager::removeAll() {
    if (anyChannelRecording())
        return false;
    for (auto& d : devices_)
        d->close();
    devices_.clear();
    return true;
}

bool CDeviceManager::moveUp(int i) {
    if (i <= 0 || i >= count())
        return false;
    std::swap(devices_[static_cast<std::size_t>(i)], devices_[static_cast<std::size_t>(i - 1)]);
    renumber();
    return true;
}

bool CDeviceManager::moveDown(int i) {
    if (i < 0 || i + 1 >= count())
        return false;
    return moveUp(i + 1);
}

CDevice* CDeviceManager::replace(int i, int type) {
    if (i < 0 || i >= count() || device(i).anyChannelRecording())
        return nullptr;
    auto d = create(type, i);
    if (!d)
        return nullptr;
    d->loadCommonSettings(store_);
    d->setPortIndex(device(i).portIndex());
    device(i).close();
    devices_[static_cast<std::size_t>(i)] = std::move(d);
    return devices_[static_cast<std::size_t>(i)].get();
}

void CDeviceManager::renumber() {
    for (int i = 0; i < count(); ++i)
        device(i).setDeviceIndex(i);
}

bool CDeviceManager::anyChannelRecording() const {
    for (const auto& d : devices_)
        if (d->anyChannelRecording())
            return true;
    return false;
}

bool CDeviceManager::allInUseChannelsIdle() const {
    for (const auto& d : devices_)
        for (int c = 0; c < d->channelCount(); ++c)
            if (d->channel(c).inUse() &&
                (d->channel(c).isRecording() || d->channel(c).isWaitingForStart()))
                return false;
    return true;
}

bool CDeviceManager::anyDeviceRunning() const {
    for (const auto& d : devices_)
        if (d->isRunning())
            return true;
    return false;
}

std::string CDeviceManager::portPath(int portIndex) const {
    const std::string path = store_.readString(kPortsKey, text::format("COM%d", portIndex + 1));
    return path.empty() ? text::format("/dev/ttyS%d", portIndex) : path;
}

bool CDeviceManager::setPortPath(int portIndex, const std::string& path) {
    if (portIndex < 0)
        return false;
    const std::string name = text::format("COM%d", portIndex + 1);
    if (path.empty()) {
        store_.deleteValue(kPortsKey, name);
        return true;
    }
    return store_.setString(kPortsKey, name, path);
}

Status CDeviceManager::connect(int i) {
    if (i < 0 || i >= count())
        return Status::failure(text::format("нет прибора %d", i + 1));
    CDevice& d = device(i);
    if (d.isRunning())
        return {};
    std::string line = text::format(". Подключение прибора %d (%s) на COM%d каналы:", i + 1,
                                    d.displayName().c_str(), d.portIndex() + 1);
    for (int c = 0; c < d.channelCount(); ++c)
        line += d.channel(c).inUse() ? text::format("%d", c + 1) : std::string("-");
    CWorkLog::instance().write(line);
    d.setPortPath(portPath(d.portIndex()));
    Status opened = d.open();
    if (!opened)
        CWorkLog::instance().write(text::format("! Ошибка подключения прибора %d (%s) на COM%d",
                                                i + 1, d.displayName().c_str(), d.portIndex() + 1));
    return opened;
}

void CDeviceManager::disconnect(int i) {
    if (i < 0 || i >= count() || !device(i).isRunning())
        return;
    CDevice& d = device(i);
    CWorkLog::instance().write(text::format(". Отключение прибора %d (%s) от COM%d", i + 1,
                                            d.displayName().c_str(), d.portIndex() + 1));
    d.close();
}

}  // namespace zelmora
