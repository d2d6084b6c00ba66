#pragma once
// The modules of the Kalder chromatograph and the names the laboratory sees
// for them and their parameters.
//
// A module sits on the chromatograph's internal bus at an address of one
// byte: bits 2-6 are its class, bits 0-1 its index within the class
// (address = class x 4 + index). The control unit (column thermostat and up
// to eight heated zones) answers at 124; the bus service that
// plug-and-play talks to is at 40. During plug-and-play a module is known
// by its module word: the address in bits 24-31 and the module's 24-bit
// serial number in bits 0-23.
//
//   class  1  flame-ionisation amplifier "ИМТ"     one detector channel
//   class  2  thermal-conductivity detector "ДТП"  one detector channel
//   class 16  gas-flow regulator, two carrier channels "ГН"
//   class 17  hydrogen and air regulator "ВВ"
//   class 18  block of two valves, class 19 block of four valves "Крн"
//   class 31  control unit "БУ"
//
// describeParam() is the parameter catalogue: the text after "  Прибор %d: "
// in the work log for every parameter number a module has.

#include <cstdint>
#include <string>
#include <vector>

namespace zelmora::kalder {

inline constexpr std::uint8_t kControlUnitAddress = 124;
inline constexpr std::uint8_t kBusServiceAddress = 40;

inline constexpr int kClassFlame = 1;
inline constexpr int kClassConductivity = 2;
inline constexpr int kClassBusService = 10;
inline constexpr int kClassGasPair = 16;
inline constexpr int kClassHydrogenAir = 17;
inline constexpr int kClassValves2 = 18;
inline constexpr int kClassValves4 = 19;
inline constexpr int kClassControlUnit = 31;

// Parameter numbers every module has.
inline constexpr std::uint16_t kParamBoard = 16380;
inline constexpr std::uint16_t kParamFirmware = 16381;
inline constexpr std::uint16_t kParamSerial = 16383;
// The control unit's address stack: 16 entries from 176.
inline constexpr std::uint16_t kParamStack = 176;
inline constexpr int kStackSize = 16;
inline constexpr std::uint16_t kParamZoneName = 320;
inline constexpr std::uint16_t kParamDeviceType = 170;
// Bus service (address 40) parameters of plug-and-play.
inline constexpr std::uint16_t kBusReset = 16352;
inline constexpr std::uint16_t kBusPoll = 16353;
inline constexpr std::uint16_t kBusFound = 16354;
inline constexpr std::uint16_t kBusEcho = 16355;

constexpr int moduleClass(std::uint8_t address) {
    return (address >> 2) & 0x1F;
}
constexpr int moduleIndex(std::uint8_t address) {
    return address & 3;
}
constexpr std::uint8_t moduleAddress(int cls, int index) {
    return static_cast<std::uint8_t>(((cls & 0x1F) << 2) | (index & 3));
}
constexpr std::uint8_t wordAddress(std::uint32_t word) {
    return static_cast<std::uint8_t>(word >> 24);
}
constexpr std::uint32_t wordSerial(std::uint32_t word) {
    return word & 0xFFFFFF;
}
constexpr std::uint32_t makeWord(std::uint8_t address, std::uint32_t serial) {
    return (std::uint32_t{address} << 24) | (serial & 0xFFFFFF);
}
constexpr bool isDetectorClass(int cls) {
    return cls == kClassFlame || cls == kClassConductivity;
}

// "Измеритель малых токов 1", ...; "Неизвестное устройство addr=%d".
std::string moduleLongName(std::uint8_t address);
// "ИМТ1", "ГН12", "Крн58", "БУ", "???%d".
std::string moduleShortName(std::uint8_t address);
// One line of the plug-and-play listing, "ИМТ-M1 serial=012345 tact=17\r\n".
std::string moduleListingLine(std::uint32_t word, int tact);
// The short names of the modules separated by " ".
std::string compositionText(const std::vector<std::uint8_t>& addresses);

// The zone name of a control-unit zone-name code (parameter 320 + zone):
// group code / 16 and number code mod 16 + 1.
std::string zoneName(int code);
// The code a zone has when the control unit does not report one.
int defaultZoneCode(int zone);
// Short zone names, as the settings list them.
const std::vector<std::string>& zoneShortNames();

std::string gasTypeName(std::uint32_t value);

// The catalogue text of a parameter with its value.
std::string describeParam(std::uint8_t address, std::uint16_t number, std::uint32_t value);

// Parameters the loading progress waits for, and (access level 4 and
// above) the extended set.
bool inIdentificationSet(std::uint8_t address, std::uint16_t number);
bool inExtendedSet(std::uint8_t address, std::uint16_t number);
// The identification parameters of a module of the address's class.
std::vector<std::uint16_t> identificationParams(std::uint8_t address);

// A serial number for a module found without one: the time in tens of
// seconds since 1 January 2004, 24 bits, at least 11, strictly above the
// last one given in this run, never 11095900.
std::uint32_t newSerialNumber(std::int64_t unixSeconds, std::uint32_t lastGiven);

}  // namespace zelmora::kalder
