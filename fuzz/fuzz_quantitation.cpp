// Calibration, identification and quantitation of a method read from
// outside bytes (a method file) on peaks made from the rest of the input:
// nothing may crash, and no fit or concentration may become NaN or infinite.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "method/method_file.h"
#include "processing/calibration.h"
#include "processing/identification.h"
#include "processing/quantitation.h"

namespace {

// Names the broken expectation before stopping, so a crash input explains itself.
void check(bool ok, const char* what) {
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_quantitation: broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelmora;
    FuzzedDataProvider in(data, size);
    const std::size_t methodBytes = in.ConsumeIntegralInRange<std::size_t>(0, in.remaining_bytes());
    const std::string bytes = in.ConsumeBytesAsString(methodBytes);
    Method method;
    if (!readMethodFile(bytes, method)) {
        // Still exercise the processing with a default method built from the input.
        method.calculation.kind = in.ConsumeIntegralInRange<int>(-1, 9);
        method.calculation.identification = in.ConsumeIntegralInRange<int>(0, 2);
        method.calculation.referenceIdentification = in.ConsumeIntegralInRange<int>(0, 3);
        for (int i = in.ConsumeIntegralInRange<int>(0, 5); i > 0; --i) {
            MethodComponent c;
            c.name = in.ConsumeRandomLengthString(8);
            c.retentionTime = in.ConsumeFloatingPoint<double>();
            c.window = in.ConsumeFloatingPoint<double>();
            c.curveType = in.ConsumeIntegralInRange<int>(-1, 18);
            c.reference = in.ConsumeBool();
            c.retentionIndex = in.ConsumeFloatingPoint<double>();
            for (int j = in.ConsumeIntegralInRange<int>(0, 4); j > 0; --j) {
                CalibrationPoint p;
                p.height = in.ConsumeFloatingPoint<double>();
                p.area = in.ConsumeFloatingPoint<double>();
                p.amount = in.ConsumeFloatingPoint<double>();
                c.points.push_back(p);
            }
            method.calculation.components.push_back(c);
        }
        method.calculation.standard = in.ConsumeRandomLengthString(8);
    }
    CalculationSettings& s = method.calculation;
    // Finite coefficients must stay finite through every fit.
    bool finiteInput = true;
    for (const MethodComponent& c : s.components)
        for (const CalibrationPoint& p : c.points)
            finiteInput = finiteInput && std::isfinite(p.height) && std::isfinite(p.area) &&
                          std::isfinite(p.amount) && std::fabs(p.amount) < 1e100 &&
                          std::fabs(p.area) < 1e100 && std::fabs(p.height) < 1e100;
    std::vector<bool> finiteBefore;
    for (const MethodComponent& c : s.components)
        finiteBefore.push_back(std::isfinite(c.k0) && std::isfinite(c.k2) && std::isfinite(c.k3));
    FitAllComponents(s);
    if (finiteInput)
        for (std::size_t i = 0; i < s.components.size(); ++i) {
            const MethodComponent& c = s.components[i];
            check(!finiteBefore[i] ||
                      (std::isfinite(c.k0) && std::isfinite(c.k2) && std::isfinite(c.k3)),
                  "finite coefficients after the fits");
        }

    PeakTable table;
    for (int i = in.ConsumeIntegralInRange<int>(0, 8); i > 0; --i) {
        Peak p;
        p.apexTime = in.ConsumeFloatingPointInRange<double>(0, 100);
        p.height = in.ConsumeFloatingPointInRange<double>(-1e6, 1e6);
        p.area = in.ConsumeFloatingPointInRange<double>(-1e6, 1e6);
        table.peaks.push_back(p);
    }
    double f = 1;
    IdentifyPeaks(table, s, f);
    for (const Peak& p : table.peaks)
        check(!std::isnan(p.retentionIndex), "a retention index that is a number");
    Passport passport(0);
    CalculateConcentrations(table, method, passport);
    for (int i = 0; i < 20; ++i)
        for (const MethodComponent& c : s.components)
            check(std::isfinite(EvaluateCurve(c, i - 5.0)), "a finite calibration curve");
    return 0;
}
