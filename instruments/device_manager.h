#pragma once
// The list of instruments connected to this workstation, kept in the
// settings under the program's root key: "ADCCount" devices, each in the key
// "ADC_%d" (0-based place) with "ID" = its type code and then the device's
// own values. At most ten devices; the place in the list is the device
// index that menus and work-log lines show (counted from 1).
//
// The port number of a device names a line "COM<n>" (n = port index + 1);
// the key "Ports" maps each to the device file that stands for it here
// ("COM1" = "/dev/ttyUSB0"); a line without a mapping is /dev/ttyS<index>.
//
// The list is changed on the interface thread only and has no lock; the
// devices' threads never touch it.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/result.h"
#include "instruments/device.h"

namespace zelmora {

class SettingsStore;

class CDeviceManager {
  public:
    using DeviceFactory = std::function<std::unique_ptr<CDevice>()>;

    explicit CDeviceManager(SettingsStore& store);
    // Closes every device; the list is written only by save().
    ~CDeviceManager();
    CDeviceManager(const CDeviceManager&) = delete;
    CDeviceManager& operator=(const CDeviceManager&) = delete;

    // The driver of a type (replacing the built-in one or the placeholder).
    void registerType(int code, DeviceFactory factory);
    // Channels of devices created from now on.
    void setChannelFactory(ChannelFactory f) { channelFactory_ = std::move(f); }
    // Given to every device: where start buttons send menu commands.
    void setCommandSink(std::function<void(int)> sink);

    // Reads the list from the settings (replacing the current one).
    void load();
    // Writes the list and flushes the settings file; a failure says why the
    // file cannot be written.
    Status save();

    // Adds a device of the type at the end; nullptr when the list is full
    // or the type is unknown.
    CDevice* add(int type);
    // False when the index is wrong or a channel of the device records.
    bool remove(int i);
    bool removeAll();
    bool moveUp(int i);
    bool moveDown(int i);
    // Puts a device of another type in place i; nullptr (and the old device
    // kept) when the type is unknown or the old device records.
    CDevice* replace(int i, int type);

    int count() const { return static_cast<int>(devices_.size()); }
    CDevice& device(int i) { return *devices_.at(static_cast<std::size_t>(i)); }
    const CDevice& device(int i) const { return *devices_.at(static_cast<std::size_t>(i)); }

    bool anyChannelRecording() const;
    bool allInUseChannelsIdle() const;
    bool anyDeviceRunning() const;

    std::string portPath(int portIndex) const;
    bool setPortPath(int portIndex, const std::string& path);

    // Connects device i with the work-log lines of a connection; a failure
    // (logged as well) says why it cannot be opened.
    Status connect(int i);
    void disconnect(int i);

    static std::string deviceKey(int i);

  private:
    std::unique_ptr<CDevice> create(int type, int index);
    void renumber();

    SettingsStore& store_;
    std::map<int, DeviceFactory> factories_;
    ChannelFactory channelFactory_;
    std::function<void(int)> commandSink_;
    std::vector<std::unique_ptr<CDevice>> devices_;
};

}  // namespace zelmora
