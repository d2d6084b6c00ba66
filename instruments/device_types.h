#pragma once
// The instrument kinds that can sit in the device list, by the type code
// stored with each device, and the command ids of the "Приборы" menu.
//
//   0 "Zelmora Sovant"  8 channels   1 "Zelmora Kalder"  8 channels
//   2 "Zelmora Ostrel"  2 channels   3 "Zelmora КД+АЦП"  2 channels
//   4 "Дозатор HT300"   0 channels   5 "Демо АЦП"        3 channels (no port)
//   6 "ЭХД+КД"          1 channel    7 "Флюорат"         1 channel
//   8 "Varsel"          1 channel

#include <optional>
#include <string>
#include <string_view>

namespace zelmora {

enum class DeviceType : int {
    Sovant = 0,
    Kalder = 1,
    Ostrel = 2,
    DetectorAdc = 3,
    Ht300 = 4,
    DemoAdc = 5,
    Ehd = 6,
    Fluorat = 7,
    Varsel = 8,
};

inline constexpr int kDeviceTypeCount = 9;
inline constexpr int kMaxDevices = 10;
inline constexpr int kMaxChannelsPerDevice = 8;

bool isValidDeviceType(int code);
// The display name; "???" for any other code.
const char* deviceTypeName(int code);
int deviceChannelCount(int code);
bool deviceHasPort(int code);
// Points per second that the instrument delivers on a channel (0-based).
double deviceSampleRate(int code, int channel);
// A type given by its code or its display name (case-insensitive).
std::optional<int> parseDeviceType(std::string_view text);

// Command ids of the device menu; d is the device index, k = 8 d + channel.
namespace command {
inline constexpr int kConnect = 40000;
inline constexpr int kSettings = 40010;
inline constexpr int kRecord = 40020;
inline constexpr int kRunMethod = 40100;
inline constexpr int kStop = 40180;
inline constexpr int kMonitor = 40260;
inline constexpr int kPanelStart = 40340;

constexpr int channelKey(int device, int channel) {
    return device * kMaxChannelsPerDevice + channel;
}

enum class Kind { Connect, Settings, Record, RunMethod, Stop, Monitor, PanelStart };
struct Decoded {
    Kind kind;
    int device = 0;
    int channel = -1;  // -1 for the device commands
};
// The meaning of a command id of the device ranges, if it is one.
std::optional<Decoded> decode(int id);
}  // namespace command

}  // namespace zelmora
