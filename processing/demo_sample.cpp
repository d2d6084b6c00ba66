#include "processing/demo_sample.h"

namespace zelmora {

SyntheticChromatogram demoChromatogram() {
    SyntheticChromatogram spec;
    spec.dt = 1.0 / 600;  // 10 points a second
    spec.samples = static_cast<std::int64_t>(8.0 / spec.dt);
    spec.level = 1.0;
    spec.drift = 0.05;
    spec.noise = 0.01;
    spec.seed = 2026;
    for (const DemoComponent& c : kDemoComponents)
        spec.peaks.push_back({c.time, c.height, c.sigma});
    return spec;
}

void fillDemoDocument(CZelmoraDoc& doc, const std::string& method, std::time_t analysisTime) {
    const SyntheticChromatogram spec = demoChromatogram();
    doc.signal = makeSyntheticSignal(spec);
    doc.passport.method = method;
    doc.passport.sample = kDemoSampleText;
    doc.passport.analysisTime = analysisTime;
    doc.passport.duration = static_cast<double>(spec.samples) * spec.dt;
}

Method demoMethod() {
    Method m;
    m.info.description = "Демонстрационный метод: природный газ, простая нормировка";
    m.capture.analysisTime = 8.0f;
    m.capture.samplingRate = 10.0f;
    m.filter.kind = 3;  // a light running mean
    m.filter.window = 0.5f;
    m.marking.Width = 0.1f;
    m.marking.MinHeight = 0.2f;
    m.marking.MinArea = 0.01f;
    m.marking.MarkingStart = 0.5f;
    m.calculation.kind = 4;      // "Простая нормировка"
    m.calculation.response = 1;  // by area
    for (const DemoComponent& c : kDemoComponents) {
        MethodComponent mc;
        mc.name = c.name;
        mc.retentionTime = c.time;
        mc.window = 5.0;
        m.calculation.components.push_back(mc);
    }
    return m;
}

}  // namespace zelmora
