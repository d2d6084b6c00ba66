#pragma once
// Chromatograms recorded on other laboratories' instruments, kept as text in
// tests/data/realdata: a detector trace exported as "minutes,<unit>" rows
// (after "#" lines with its origin) and the peak table the instrument's own
// software reported. A trace becomes a chromatogram document as a recording
// would make it: samples at t0 + i*dt, voltages in mV. A trace in µV or in
// units of 25 µV is converted to mV; a trace in another unit (an FID's pA)
// keeps its numbers, since the chromatogram has no unit of its own for it.

#include <filesystem>
#include <string>
#include <vector>

#include "app/result.h"
#include "document/signal.h"
#include "document/zelmora_doc.h"

namespace zelmora::test {

// A file of tests/data/realdata.
std::filesystem::path realDataFile(const std::string& name);

struct TraceCsv {
    Signal signal;          // in mV where the unit allows, see above
    std::string unit;       // as the header gives it
    double toSignal = 1.0;  // factor from the file's values to the samples
};

// Reads a trace. Fails with the line number for a missing header, a row that
// is not two numbers, fewer than three samples, or times that are not evenly
// spaced and increasing (within a hundredth of a step, as printed times are
// rounded).
Result<TraceCsv> readTraceCsv(const std::filesystem::path& file);

// Fills `doc` with the trace of `file` as a finished recording: its signal,
// an empty peak table attached to it, the run's duration in the passport.
Status loadChromatogramCsv(const std::filesystem::path& file, CZelmoraDoc& doc);

struct ReportedPeak {
    double retentionTime = 0;     // min
    double area = 0;              // the source's signal unit × s
    double height = 0;            // the source's signal unit
    double start = -1, end = -1;  // min; -1 where the report gives none
    std::string name;
};

// Reads a "<name>.peaks.csv" table: rt_min,area,height,start_min,end_min,name.
Result<std::vector<ReportedPeak>> readReportedPeaks(const std::filesystem::path& file);

}  // namespace zelmora::test
