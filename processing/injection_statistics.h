#pragma once
// Statistics of repeated injections of one sample, as an instrument check
// ("Статистическая обработка"): for every component found among the named
// peaks of the chromatograms, the mean and the relative standard deviation
// (RSD, %) of its retention time, height, area, concentration and retention
// index; the noise and drift of the baseline, converted to the unit of the
// detector's converter coefficient ("K ацп"); and each component's detection
// limit from the noise of the reference chromatogram.
//
// Means and standard deviations are taken over the same set — the peaks of
// that component that are present — so that an RSD always describes the
// scatter about the mean it is shown with:
//
//     mean = Σx / n,   RSD = 100 · √(Σ(x − mean)² / (n − 1)) / mean
//
// with n the number of peaks of the component (a chromatogram that lacks
// it does not pull the mean towards zero). A component with fewer than two
// peaks, or with a mean of 0, has no RSD: it is reported as missing, never
// as a division by zero. Retention indices use the same sample form over
// the peaks whose "Индекс" is a number.
//
// Detection limit (g/s, or g/ml with "DetType" 1) of a component with a
// peak in the reference chromatogram and a mean area A (mV·min) ≠ 0:
//
//     DL = 2 · noise · m / (A · 60)
//
// with the injected amount m from the concentration c (the peak's with
// "UseC0" on, else "C0") and the volume "V" by the detector kind "DetType2":
// c·V/1000 times 1, 0.118, 0.122 or 0.154 for kinds 0 to 3, and for kind 4
// V·c·"PDoza"·7.06e-6 / ("TKrana" + 273) (the division skipped at −273 °C).
// "DetType" 1 divides by the carrier flow "Qgn"/60 (ml/s), and "UseKK" with
// a split ratio "KK" ≠ 0 divides by it.

#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/program_settings.h"
#include "app/result.h"

namespace zelmora {

class CZelmoraDoc;

// A peak as the statistics keep it.
struct StatPeak {
    std::string name;  // empty: unidentified, left out of the statistics
    double time = 0;   // retention time, min
    double height = 0;
    double area = 0;
    double concentration = 0;
    std::optional<double> index;  // "Индекс" when it is a number
};

// One chromatogram of the list.
struct StatEntry {
    std::filesystem::path file;  // where it is read from
    std::string listPath;        // as the list shows it (relative in the "Data" folder)
    std::string sample;
    std::time_t analysisTime = 0;
    double noise = 0;  // mV
    double drift = 0;  // mV/h
    std::vector<StatPeak> peaks;

    // The first peak of that component, or null.
    const StatPeak* peakOf(std::string_view component) const;
};

// The path as the list shows it: relative to the program's "Data" folder
// when the file lies below it, otherwise as given.
std::string statListPath(const std::filesystem::path& file,
                         const std::filesystem::path& dataFolder);

// The entry of a chromatogram: its passport's sample and analysis time, its
// peaks and its noise and drift ("NoiseCalcType" 1: the largest excursion).
StatEntry statEntryOf(const CZelmoraDoc& doc, const std::filesystem::path& file,
                      const ProgramOptions& options);
// The same read from the file; a failure names the file.
Result<StatEntry> readStatEntry(const std::filesystem::path& file, const ProgramOptions& options);

struct ComponentStatistics {
    std::string name;
    int peakCount = 0;  // peaks of this component over all chromatograms
    double meanTime = 0, meanHeight = 0, meanArea = 0, meanConcentration = 0;
    // Per cent; empty where there is none (see above).
    std::optional<double> rsdTime, rsdHeight, rsdArea, rsdConcentration;
    int indexCount = 0;
    double meanIndex = 0;
    std::optional<double> rsdIndex;
    double detectionLimit = 0;  // 0: not computed, shown as "?"
};

// Mean and RSD of values by the rule above.
struct MeanAndRsd {
    double mean = 0;
    std::optional<double> rsd;
};
MeanAndRsd meanAndRsd(const std::vector<double>& values);

// The converter coefficient "K ацп" applied to the noise and drift.
struct ConvertedNoise {
    bool converted = false;  // false: the text has no leading number
    double noise = -1;       // in `unit`
    double drift = -1;       // in `unit` per hour
    std::string unit;
};
ConvertedNoise convertNoise(std::string_view coefficient, double noiseMv, double driftMvPerHour);

// "%.4f мВ,  %.4g %s" or "%.4f мВ"; the drift the same per hour.
std::string noiseText(double noiseMv, const ConvertedNoise& c);
std::string driftText(double driftMvPerHour, const ConvertedNoise& c);

// The detection limit of a component whose peak in the reference
// chromatogram has concentration `peakConcentration`; 0 when meanArea is 0.
double detectionLimit(double noiseMv, double meanArea, double peakConcentration,
                      const ProgramOptions& o);
// "%.4g г/мл" or "%.4g г/сек" by "DetType", "?" for 0.
std::string detectionLimitText(double limit, const ProgramOptions& o);

struct StatisticsResult {
    std::vector<ComponentStatistics> components;  // in name order
    double noise = 0;                             // mV, of the zero line or the reference
    double drift = 0;                             // mV/h
};

// The statistics of the entries. `current` is the reference chromatogram
// (for the detection limits), `zeroLine` a chromatogram of the baseline
// whose noise and drift are used when given.
StatisticsResult computeStatistics(const std::vector<StatEntry>& entries,
                                   std::optional<std::size_t> current, const StatEntry* zeroLine,
                                   const ProgramOptions& options);

// The list of chromatograms of the window: one entry per file, in the order
// of the list paths; adding a file that is listed replaces its entry.
class StatEntryList {
  public:
    void add(StatEntry entry);
    bool remove(std::string_view listPath);
    void clear() { entries_.clear(); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    const std::vector<StatEntry>& entries() const { return entries_; }
    std::optional<std::size_t> indexOf(std::string_view listPath) const;

  private:
    std::vector<StatEntry> entries_;
};

}  // namespace zelmora
