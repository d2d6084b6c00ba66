#pragma once
// The demonstration analysis: a natural-gas sample of five hydrocarbons as a
// synthetic chromatogram of known peaks, and the method that finds,
// identifies and quantifies them by simple normalisation. The command-line
// demo and the desktop program's tests both use it.

#include <cstddef>
#include <ctime>
#include <string>

#include "document/zelmora_doc.h"
#include "method/method_records.h"
#include "processing/synthetic.h"

namespace zelmora {

struct DemoComponent {
    const char* name;
    double time, height, sigma;  // min, mV, min
};

inline constexpr DemoComponent kDemoComponents[] = {
    {"Метан", 2.0, 40.0, 0.025},  {"Этан", 3.2, 12.0, 0.03},    {"Пропан", 4.6, 6.0, 0.035},
    {"Изобутан", 6.1, 2.0, 0.04}, {"Н-бутан", 6.8, 2.5, 0.045},
};
inline constexpr std::size_t kDemoComponentCount = std::size(kDemoComponents);

inline constexpr const char* kDemoSampleText = "Природный газ (демонстрация)";

// Eight minutes at ten points a second, on a slowly drifting, slightly noisy
// baseline.
SyntheticChromatogram demoChromatogram();

// The demo chromatogram as a recording leaves it: the samples, and a
// passport with the sample, the method, the analysis time and the run's
// duration.
void fillDemoDocument(CZelmoraDoc& doc, const std::string& method, std::time_t analysisTime);

// The demo method: a light running mean, marking that keeps the five peaks,
// identification by retention time and simple normalisation by area.
Method demoMethod();

}  // namespace zelmora
