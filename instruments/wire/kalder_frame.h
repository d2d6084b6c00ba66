#pragma once
// The Kalder chromatograph's serial link, as bytes.
//
// The instrument streams packets on its own: each starts with 0xDE 0xDE and
// a type byte, its length follows from the type, and its last byte is the
// sum of all bytes before it, modulo 256.
//
//   type 0, 1   138 bytes   full status: two detector channels of four
//                           samples, gases, zones, the answer slot
//   type 2       11 bytes   the answer slot alone
//   type 3      151 bytes   data: four detector channels, twelve gas flows
//                           and inlet pressures
//   type 4      120 bytes   status without samples: eight zones, twelve
//                           valve voltages and outlet pressures
//
// Multi-byte fields are little-endian; flows are 0.1 units per count,
// pressures 0.001, valve and mains voltages 0.1 V, the flap 0.4 %.
// In type 0/1 packets the six gas fields belong to the gas channels 0, 1,
// 2, 3, 8 and 9 of the chromatograph's twelve.
//
// The computer sends 10-byte requests: 0xDE 0xDE, module address with bit
// 7 set, the 14-bit parameter number (bit 15 set for a write), the 32-bit
// value, and the sum of the nine bytes. The answer comes back in the answer
// slot of a later packet: module address, number with bit 14 set on an
// error, and the value (or an error code).
//
// Everything here is a pure function of bytes: the link's port code feeds
// the parsers and sends what the builders return.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zelmora::wire {

inline constexpr std::uint8_t kKalderSync = 0xDE;
inline constexpr std::size_t kKalderRequestSize = 10;
inline constexpr std::size_t kKalderMaxFrame = 151;
inline constexpr std::size_t kKalderHeaderLength = 11;  // expected until the type is known
inline constexpr int kKalderGasModules = 12;
inline constexpr int kKalderZones = 8;
inline constexpr int kKalderDetectors = 4;
inline constexpr int kKalderSamplesPerFrame = 4;
// The gas channels that a type 0/1 packet carries, in field order.
inline constexpr std::array<int, 6> kKalderStatusGasChannels = {0, 1, 2, 3, 8, 9};
// Rates tried by the handshake, in this order.
inline constexpr std::array<int, 2> kKalderBaudRates = {19200, 9600};

// Length of a packet of the type; 0 for a type the instrument never sends.
std::size_t kalderFrameLength(std::uint8_t type);
std::uint8_t kalderChecksum(std::span<const std::uint8_t> bytes);

std::array<std::uint8_t, kKalderRequestSize> buildKalderRequest(std::uint8_t address,
                                                                std::uint16_t number,
                                                                std::uint32_t value, bool write);

struct KalderRequest {
    std::uint8_t address = 0;  // without bit 7
    std::uint16_t number = 0;  // 14 bits
    std::uint32_t value = 0;
    bool write = false;
};

// Finds requests in the byte stream (the instrument's side, for the
// simulator): a request with a bad checksum is dropped and the search goes
// on in its bytes after the first one.
class KalderRequestParser {
  public:
    // The requests completed by this byte (usually none or one).
    const std::vector<KalderRequest>& feed(std::uint8_t byte);
    std::uint64_t checksumErrors() const { return checksumErrors_; }

  private:
    std::array<std::uint8_t, kKalderRequestSize> buf_{};
    std::size_t pos_ = 0;
    std::vector<KalderRequest> done_;
    std::uint64_t checksumErrors_ = 0;
};

// The answer slot of a type 0, 1 or 2 packet.
struct KalderAnswer {
    std::uint8_t address = 0;       // bit 7 cleared
    std::uint16_t numberField = 0;  // bits 0-13 the number, bit 14 the error mark
    std::int32_t value = 0;

    std::uint16_t number() const { return numberField & 0x3FFF; }
    bool error() const { return (numberField & 0x4000) != 0; }
    bool empty() const { return address == 0 && number() == 0; }
};

// One decoded packet. Fields the type does not carry stay zero and their
// presence flags false; raw counts are kept so that a packet built from a
// decoded one is byte for byte the same.
struct KalderPacket {
    std::uint8_t type = 0;
    bool hasSequence = false;  // types 0, 1, 3
    std::uint8_t sequence = 0;
    bool hasStatus = false;  // types 0, 1, 4: state, buttons, error byte, zones
    std::uint8_t state = 0;
    std::uint8_t buttons = 0;
    std::uint8_t errByte = 0;

    // Per gas module 0-11; a bit of the mask says the packet carries it.
    std::array<std::int16_t, kKalderGasModules> flowRaw{};
    std::array<std::uint8_t, kKalderGasModules> valveRaw{};
    std::array<std::int16_t, kKalderGasModules> inletRaw{};
    std::array<std::int16_t, kKalderGasModules> outletRaw{};
    std::uint16_t flowMask = 0, valveMask = 0, inletMask = 0, outletMask = 0;

    int zoneCount = 0;  // 5 in types 0/1, 8 in type 4
    std::array<float, kKalderZones> zoneTemp{};
    std::array<std::uint8_t, kKalderZones> heatingPower{};
    float programmeSetPoint = 0;
    std::uint16_t mainsRaw = 0;
    std::uint8_t flapRaw = 0;
    std::uint8_t panelMethod = 0xFF;

    int detectorCount = 0;  // 2 in types 0/1, 4 in type 3
    std::array<std::array<float, kKalderSamplesPerFrame>, kKalderDetectors> detector{};

    std::optional<KalderAnswer> answer;  // types 0, 1, 2
    bool hasAlarms = false;              // types 0, 1, 3
    std::uint16_t alarmBits = 0;
    std::array<std::int32_t, 3> service{};

    double flow(int m) const { return flowRaw[static_cast<std::size_t>(m)] * 0.1; }
    double valveVolts(int m) const { return valveRaw[static_cast<std::size_t>(m)] * 0.1; }
    double inletPressure(int m) const { return inletRaw[static_cast<std::size_t>(m)] * 0.001; }
    double outletPressure(int m) const { return outletRaw[static_cast<std::size_t>(m)] * 0.001; }
    double mainsVolts() const { return mainsRaw * 0.1; }
    double flapPercent() const { return flapRaw * 0.4; }
};

// Decodes one whole packet: false when the length does not belong to the
// type, the header is wrong or the checksum fails.
std::optional<KalderPacket> decodeKalderPacket(std::span<const std::uint8_t> bytes);
// The bytes of a packet of p.type (0 to 4) with the header and checksum.
std::vector<std::uint8_t> buildKalderPacket(const KalderPacket& p);

// Splits the instrument's stream into packets. Two 0xDE bytes, a known type,
// then as many bytes as the type needs; the checksum decides. A wrong header
// byte or an unknown type restarts the search; a failed checksum drops the
// packet and the search resumes in its bytes after its first one, so that a
// lost byte costs one packet, not two, and garbage never swallows a good
// packet that follows it.
class KalderFrameParser {
  public:
    struct Frame {
        std::array<std::uint8_t, kKalderMaxFrame> bytes{};
        std::size_t length = 0;
        std::span<const std::uint8_t> span() const { return {bytes.data(), length}; }
    };

    KalderFrameParser() { done_.reserve(4); }
    // The packets completed by this byte, each with a good checksum.
    const std::vector<Frame>& feed(std::uint8_t byte);
    void reset() {
        pos_ = 0;
        expected_ = kKalderHeaderLength;
    }

    std::uint64_t checksumErrors() const { return checksumErrors_; }
    std::uint64_t headerErrors() const { return headerErrors_; }
    std::size_t position() const { return pos_; }

  private:
    std::array<std::uint8_t, kKalderMaxFrame> buf_{};
    std::size_t pos_ = 0;
    std::size_t expected_ = kKalderHeaderLength;
    std::vector<Frame> done_;
    std::uint64_t checksumErrors_ = 0;
    std::uint64_t headerErrors_ = 0;
};

// The handshake's test of a baud rate: a counter follows the bytes; 0xDE is
// wanted at positions 0, 1, 138 and 139 (and at 11, 12 for an answer
// packet), any byte is taken at 2 to 137; a byte out of place restarts the
// count. Two packet headers 11 or 138 bytes apart prove the rate.
class KalderBaudProbe {
  public:
    // True once the stream proved the rate.
    bool feed(std::uint8_t byte);
    std::size_t examined() const { return examined_; }
    void reset() { *this = {}; }

  private:
    std::size_t pos_ = 0;
    bool deAt11_ = false;
    bool deAt138_ = false;
    std::size_t examined_ = 0;
};

}  // namespace zelmora::wire
