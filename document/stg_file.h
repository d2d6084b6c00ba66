#pragma once
// The chromatogram file ".stg": a compound file (OLE structured storage) whose
// root holds, created in this order, the streams
//   "Raw_data"  the samples as float32 mV,
//   "Time"      t0, t0 + dt and t0 + dt + carried step as three float32,
//   "Table"     the peak table (signatures 0x125FFE11 0xA2D28C45, version 0..4),
//   "Passport"  the passport (signature 0xE04561CC, version 0..3).
// Heights, areas, apex times and baselines are not stored; they are
// recomputed from the samples after reading. The method is named by the
// passport and loaded from the methods folder.
//
// The stream codecs here work on bytes, so that they can be tested and fuzzed
// without files; every count and length is checked against the bytes left.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "document/signal.h"

namespace zelmora {

class MessageSink;

namespace stg {

inline constexpr const char* kRawDataStream = "Raw_data";
inline constexpr const char* kTimeStream = "Time";
inline constexpr const char* kTableStream = "Table";
inline constexpr const char* kPassportStream = "Passport";

inline constexpr std::uint32_t kTableSignature1 = 0x125FFE11;
inline constexpr std::uint32_t kTableSignature2 = 0xA2D28C45;
inline constexpr std::uint32_t kPassportSignature = 0xE04561CC;
inline constexpr int kTableVersionPlain = 2;       // written without property lists
inline constexpr int kTableVersionProperties = 4;  // written with property lists
inline constexpr int kTableVersionMax = 4;
inline constexpr int kPassportVersion = 3;
inline constexpr std::size_t kVersion0RecordSize = 112;
inline constexpr std::size_t kVersion0NameSize = 32;

// The time base as read from "Time": t0, dt and the carried step.
struct TimeBase {
    double t0 = 0;
    double dt = 1.0;
    double carriedStep = 1.0;
};

std::string encodeSamples(const Signal& signal);
// Fills `samples` from a "Raw_data" stream; trailing 1 to 3 bytes are ignored.
void decodeSamples(std::string_view bytes, std::vector<float>& samples);

std::string encodeTime(const Signal& signal, double carriedStep);
// A stream shorter than 12 bytes gives the defaults.
TimeBase decodeTime(std::string_view bytes);

// Version 4 when the table or a peak has a property, else version 2.
std::string encodeTable(const PeakTable& table);
// Reads the peaks, their right links, reference flags and properties; the
// table is linked (left links rebuilt, bad links dropped) but not measured.
// A damaged stream is a failure saying why; `table` is then unchanged.
Status decodeTable(std::string_view bytes, PeakTable& table);

std::string encodePassport(const Passport& passport);
// A damaged stream is a failure saying why; `passport` is then unchanged.
Status decodePassport(std::string_view bytes, Passport& passport);

// Reads only the "Passport" stream of a file; a failure says why and leaves
// `passport` unchanged. The passport's file field is set to `path`.
Status ReadPassport(const std::filesystem::path& path, Passport& passport);

// Stores `passport` in an existing file, the other streams unchanged. The file
// is rebuilt under a temporary name and renamed over the old one, so a failure
// leaves the old file as it was. Failure to open the file returns false
// silently; a failure after that shows message 176.
bool RewritePassport(const std::filesystem::path& path, const Passport& passport,
                     MessageSink& sink);

}  // namespace stg
}  // namespace zelmora
