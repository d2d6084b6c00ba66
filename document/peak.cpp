#include "document/peak.h"

#include <algorithm>

#include "app/text.h"

namespace zelmora {

const std::string* findProperty(const PeakPropertyList& list, std::string_view key) {
    for (const PeakProperty& p : list)
        if (p.key == key)
            return &p.value;
    return nullptr;
}

void setProperty(PeakPropertyList& list, std::string_view key, std::string_view value) {
    for (PeakProperty& p : list) {
        if (p.key == key) {
            p.value = value;
            return;
        }
    }
    list.emplace_back(std::string(key), std::string(value));
}

bool removeProperty(PeakPropertyList& list, std::string_view key) {
    const auto it =
        std::find_if(list.begin(), list.end(), [&](const PeakProperty& p) { return p.key == key; });
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

Peak::Peak(double a, double b) : startTime(std::min(a, b)), endTime(std::max(a, b)) {}

double Peak::indexProperty() const {
    const std::string* v = findProperty(properties, kRetentionIndexKey);
    if (v == nullptr)
        return 0;
    return text::parseDouble(*v).value_or(0);
}

}  // namespace zelmora
