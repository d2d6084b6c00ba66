#include "instruments/placeholder_device.h"

#include "app/text.h"

namespace zelmora {
namespace {

void collect(const SettingsStore& store, const std::string& key, const std::string& rel,
             std::vector<std::pair<std::string, std::string>>& keys) {
    keys.emplace_back(key, rel);
    for (const std::string& sub : store.subkeys(key))
        collect(store, key + "\\" + sub, rel.empty() ? sub : rel + "\\" + sub, keys);
}

}  // namespace

void CPlaceholderDevice::saveSettings(SettingsStore& store, const std::string& key) const {
    for (const StoredValue& v : stored_) {
        const std::string k = v.subkey.empty() ? key : key + "\\" + v.subkey;
        store.createKey(k);
        if (!v.name.empty())
            store.setValue(k, v.name, v.value);
    }
    CDevice::saveSettings(store, key);
}

void CPlaceholderDevice::loadSettings(const SettingsStore& store, const std::string& key) {
    CDevice::loadSettings(store, key);
    stored_.clear();
    std::vector<std::pair<std::string, std::string>> keys;
    collect(store, key, {}, keys);
    for (const auto& [full, rel] : keys) {
        const auto names = store.valueNames(full);
        if (names.empty() && !rel.empty())
            stored_.push_back({rel, {}, {}});
        for (const std::string& name : names) {
            if (rel.empty() && text::equalsNoCase(name, "ID"))
                continue;
            if (auto v = store.value(full, name))
                stored_.push_back({rel, name, std::move(*v)});
        }
    }
}

bool CPlaceholderDevice::openDevice() {
    setLastError(
        text::format("драйвер прибора «%s» в этой программе отсутствует", displayName().c_str()));
    return false;
}

}  // namespace zelmora
