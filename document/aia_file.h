#pragma once
// AIA/ANDI chromatography files (ASTM E1947): the netCDF files in which every
// chromatography data system exchanges chromatograms. They are read and
// written with the netCDF library itself (netCDF-3, "classic" layout).
//
// What a file gives:
// - the trace: `ordinate_values` (optionally with `scale_factor` and
//   `add_offset`), one value every `actual_sampling_interval` seconds from
//   `actual_delay_time` seconds on; a file with uneven sampling carries
//   `raw_data_retention` and is resampled onto an even step. The signal
//   unit is the global `detector_unit` (µV, mV and V are turned into mV; a
//   non-voltage unit such as pA or AU keeps its numbers);
// - the passport: `sample_name`, `sample_id`, `operator_name`,
//   `company_method_name`, `detector_name`, `injection_date_time_stamp`
//   ("YYYYMMDDhhmmss±hhmm"), `sample_amount`, comments;
// - the peak table its software reported: `peak_retention_time`,
//   `peak_start_time`, `peak_end_time`, `peak_area`, `peak_height`,
//   `peak_name`, times in the global `retention_unit` (seconds unless it
//   says minutes). A peak without bounds gets the valleys around its apex
//   on the trace. Zelmora measures every peak afresh; the reported values
//   stay as the peak's properties "AIA ..." for comparison.
//
// A file that is not netCDF, or netCDF without `ordinate_values`, is refused
// with the reason; nothing is half-read.
//
// Writing gives the same variables and attributes, the trace in mV, times in
// seconds and areas in mV·s, as other systems expect.

#include <filesystem>
#include <string>
#include <string_view>

#include "app/result.h"
#include "document/imported_chromatogram.h"
#include "document/passport.h"
#include "document/peak_table.h"
#include "document/signal.h"

namespace zelmora::aia {

// Keys of the reported values kept with each imported peak.
inline constexpr std::string_view kReportedRetentionKey = "AIA время, мин";
inline constexpr std::string_view kReportedAreaKey = "AIA площадь";
inline constexpr std::string_view kReportedHeightKey = "AIA высота";

Result<ImportedChromatogram> readFile(const std::filesystem::path& path);
// The same from the bytes of a whole file (netCDF opens it in memory);
// `name` is used in messages and as the passport's file.
Result<ImportedChromatogram> readMemory(std::string_view bytes, const std::string& name);

// The bytes of an AIA file of the chromatogram.
Result<std::string> encode(const Signal& signal, const Passport& passport, const PeakTable& peaks);
// Writes the file, replacing one at `path` only once the new one is complete.
Status writeFile(const std::filesystem::path& path, const Signal& signal, const Passport& passport,
                 const PeakTable& peaks);

// "YYYYMMDDhhmmss±hhmm" (the zone optional, UTC when absent) as seconds since
// 1970; nullopt for a text that is not such a time or lies before 1970.
std::optional<std::time_t> parseTimeStamp(std::string_view text);
std::string formatTimeStamp(std::time_t t);  // in UTC, "+0000"

}  // namespace zelmora::aia
