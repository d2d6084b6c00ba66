#pragma once
// Marking parameters proposed from the chromatogram's own trace ("Подобрать"):
// one default set cannot serve traces recorded at 0.4 to 50 points per second
// with noise from microvolts to millivolts, so the trace is asked first.
//
// The rule, in the chromatographer's terms:
// - Baseline noise σ: the trace is cut into stretches of about 0.2 min (at
//   least 16 samples); in each the straight line of least squares is taken
//   off and the RMS of the rest computed; σ is the lower quartile of these,
//   i.e. the noise of the quiet stretches between peaks (a stretch holding a
//   peak only raises its own RMS).
// - Drift: the slope between the medians of the first and the last tenth of
//   the record, mV/min.
// - Peak widths: every local maximum whose prominence (its height above the
//   higher of the two lowest points before a higher maximum on either side)
//   exceeds 20 σ is a clear peak; its width at half height (FWHM) is measured
//   by linear interpolation. The narrow peaks' width W is the lower fifth of
//   these widths. In isothermal gas chromatography widths grow linearly with
//   retention time: a least-squares line W(t) = a + b·(t − t0) over the clear
//   peaks, when it at least doubles the width from the first clear peak to the
//   last, gives the doubling time a / b; W is then a.
// - The proposal:
//   Width = 2 W (the detection window spans the peak's base, about 1.7 FWHM
//     for a Gaussian), at least 4 samples;
//   MinHeight = 10 σ: the limit of quantitation (signal-to-noise 10). The limit
//     of detection (3.3 σ) is too low for automatic marking: the window scan
//     looks at the largest excursion of many stretches of noise, and among a
//     thousand windows of white noise several reach 3.3 σ;
//   MinArea = 0.5 × MinHeight × W: half the area of the lowest acceptable
//     Gaussian of the narrow width (its area is 1.064 × height × FWHM);
//   MaxWidth = the larger of 10 × the widest clear peak's FWHM and 5 × Width,
//     at most the length of the record;
//   WidthDoublingTime = a / b as above, else 0.
// The other parameters and the events are kept from the method given.
// Nothing is changed in the chromatogram; the operator confirms.

#include <string>
#include <vector>

#include "app/result.h"
#include "document/signal.h"
#include "method/method_records.h"

namespace zelmora {

// What the trace says about itself.
struct TraceCharacter {
    double noise = 0;         // σ of the baseline, mV
    double drift = 0;         // mV/min
    double narrowWidth = 0;   // FWHM of the narrow peaks, min; 0 when no clear peak
    double widestWidth = 0;   // FWHM of the widest clear peak, min
    double doublingTime = 0;  // min; 0 when the widths do not grow
    int clearPeaks = 0;       // local maxima of more than 20 σ prominence
};

struct MarkingProposal {
    MarkingParameters parameters;
    TraceCharacter trace;
    std::vector<std::string> reasons;  // one line per proposed value
};

// Fails for a record of fewer than 20 samples or without a valid step.
Result<MarkingProposal> ProposeMarking(const Signal& signal, const MarkingParameters& base);

}  // namespace zelmora
