#pragma once
// A detector trace from a CSV table, as instruments, other programs and
// spreadsheets give it: one row per sample with a time column and a signal
// column.
//
// What is recognised without being told:
// - lines starting with '#' are notes (they go into the passport's comment),
//   blank lines are skipped, a UTF-8 byte-order mark is dropped;
// - the separator: ';' or a tab when the rows hold one, else ',', else
//   blanks;
// - the decimal comma ("0,25"), when the separator is not a comma;
// - a header row (a first row whose values are not numbers) and the units in
//   it: the time column's "min"/"мин" or "s"/"sec"/"с", the signal column's
//   "mV", "µV"/"uV"/"мкВ", "V", or another unit such as "pA" (kept as it is),
//   also written as "Signal (mV)", "Сигнал, мкВ" or "25uV" (steps of 25 µV).
// Options given by the operator win over what is recognised; without either,
// times are minutes and the signal is mV, and the import says so.
//
// Times printed with few digits are a little uneven: rows whose steps stay
// within 1 % of their median give t0 = the first time and dt = the whole
// span / (n - 1). Really uneven times are resampled onto an even step by
// linear interpolation, which keeps the trace's integral.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "app/result.h"
#include "document/imported_chromatogram.h"

namespace zelmora {

struct CsvImportOptions {
    std::optional<char> separator;          // detected when not given
    std::optional<bool> decimalComma;       // detected when not given
    std::optional<bool> timeInMinutes;      // else from the header, else minutes
    std::optional<std::string> signalUnit;  // else from the header, else mV
    int timeColumn = 0;                     // 0-based
    int signalColumn = 1;
};

Result<ImportedChromatogram> readCsv(std::string_view bytes, const std::string& name,
                                     const CsvImportOptions& options = {});
Result<ImportedChromatogram> readCsvFile(const std::filesystem::path& path,
                                         const CsvImportOptions& options = {});

// Any chromatogram of another system: an AIA/ANDI file (recognised by its
// netCDF signature, whatever its extension) or else a CSV table.
Result<ImportedChromatogram> importChromatogramFile(const std::filesystem::path& path,
                                                    const CsvImportOptions& csvOptions = {});

}  // namespace zelmora
