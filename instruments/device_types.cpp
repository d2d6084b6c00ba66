#include "instruments/device_types.h"

#include <array>

#include "app/text.h"

namespace zelmora {
namespace {

struct TypeInfo {
    const char* name;
    int channels;
    bool port;
};

constexpr std::array<TypeInfo, kDeviceTypeCount> kTypes = {{
    {"Zelmora Sovant", 8, true},
    {"Zelmora Kalder", 8, true},
    {"Zelmora Ostrel", 2, true},
    {"Zelmora КД+АЦП", 2, true},
    {"Дозатор HT300", 0, true},
    {"Демо АЦП", 3, false},
    {"ЭХД+КД", 1, true},
    {"Флюорат", 1, true},
    {"Varsel", 1, true},
}};

}  // namespace

bool isValidDeviceType(int code) {
    return code >= 0 && code < kDeviceTypeCount;
}

const char* deviceTypeName(int code) {
    return isValidDeviceType(code) ? kTypes[static_cast<std::size_t>(code)].name : "???";
}

int deviceChannelCount(int code) {
    return isValidDeviceType(code) ? kTypes[static_cast<std::size_t>(code)].channels : 0;
}

bool deviceHasPort(int code) {
    return isValidDeviceType(code) && kTypes[static_cast<std::size_t>(code)].port;
}

double deviceSampleRate(int code, int channel) {
    switch (static_cast<DeviceType>(code)) {
        case DeviceType::Sovant:
        case DeviceType::Kalder:
            return channel < 4 ? 20.0 : 5.0;
        case DeviceType::Ehd:
            return 14.06;
        case DeviceType::Fluorat:
            return 4.0;
        default:
            return 10.0;
    }
}

std::optional<int> parseDeviceType(std::string_view s) {
    s = text::trim(s);
    if (const auto n = text::parseInt(s); n && isValidDeviceType(static_cast<int>(*n)))
        return static_cast<int>(*n);
    for (int code = 0; code < kDeviceTypeCount; ++code) {
        const std::string_view name = kTypes[static_cast<std::size_t>(code)].name;
        if (text::equalsNoCase(name, s))
            return code;
        // "Ostrel" for "Zelmora Ostrel".
        if (name.starts_with("Zelmora ") && text::equalsNoCase(name.substr(8), s))
            return code;
    }
    return std::nullopt;
}

namespace command {

std::optional<Decoded> decode(int id) {
    if (id >= kConnect && id < kConnect + 10)
        return Decoded{Kind::Connect, id - kConnect, -1};
    if (id >= kSettings && id < kSettings + 10)
        return Decoded{Kind::Settings, id - kSettings, -1};
    struct Range {
        int base;
        Kind kind;
    };
    static constexpr std::array<Range, 5> kRanges = {{{kRecord, Kind::Record},
                                                      {kRunMethod, Kind::RunMethod},
                                                      {kStop, Kind::Stop},
                                                      {kMonitor, Kind::Monitor},
                                                      {kPanelStart, Kind::PanelStart}}};
    for (const Range& r : kRanges) {
        const int k = id - r.base;
        if (k >= 0 && k < kMaxDevices * kMaxChannelsPerDevice)
            return Decoded{r.kind, k / kMaxChannelsPerDevice, k % kMaxChannelsPerDevice};
    }
    return std::nullopt;
}

}  // namespace command
}  // namespace zelmora
