#pragma once
// A device of a kind whose driver this build does not contain (the
// chromatographs, the HT300 autosampler, the "ЭХД+КД" until their drivers
// are registered). It keeps its place in the device list and every value
// and subkey stored with it, so that loading and saving the list loses
// nothing, even when the device moves to another place; opening it fails
// with a clear message.

#include <string>
#include <utility>
#include <vector>

#include "app/settings_store.h"
#include "instruments/device.h"

namespace zelmora {

class CPlaceholderDevice : public CDevice {
  public:
    explicit CPlaceholderDevice(int type) : type_(type) {}
    int type() const override { return type_; }

    void saveSettings(SettingsStore& store, const std::string& key) const override;
    void loadSettings(const SettingsStore& store, const std::string& key) override;

  protected:
    bool openDevice() override;
    void onReceive(const std::uint8_t*, std::size_t) override {}

  private:
    struct StoredValue {
        std::string subkey;  // relative to the device's key; empty for the key itself
        std::string name;
        SettingsValue value;
    };
    const int type_;
    std::vector<StoredValue> stored_;  // interface thread only
};

}  // namespace zelmora
