// Making the report of a chromatogram of 200 identified peaks: the
// laboratory's form read and filled (200 rows pasted and filled), the
// chromatogram picture of the 10^6-sample trace and the calibration picture
// of ten components drawn and embedded, and the filled report written as a
// PDF through its report window's text. Both run as the desktop program
// runs them (offscreen).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include "app/paths.h"
#include "app/text.h"
#include "document/zelmora_doc.h"
#include "gui/reports/chromatogram_report.h"
#include "gui/reports/report_doc.h"
#include "method/document_method.h"
#include "processing/chromatogram_processing.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"
#include "reports/report_pictures.h"

namespace {

using namespace zelmora;

constexpr int kPeaks = 200;

struct Fixture {
    CZelmoraDoc doc;
    ReportSettings settings;
    gui::ChromatogramReportContext context;

    Fixture() {
        SyntheticChromatogram spec;
        spec.samples = 1'000'000;
        spec.dt = 60.0 / static_cast<double>(spec.samples);
        spec.level = 2;
        spec.noise = 0.05;
        spec.peaks = evenlySpacedPeaks(spec, kPeaks, 40, 0.03);
        doc.signal = makeSyntheticSignal(spec);
        doc.peaks.attach(&doc.signal);
        for (const SyntheticPeak& p : spec.peaks)
            AddPeak(doc.peaks, p.apexTime - 4 * p.sigma, p.apexTime + 4 * p.sigma, false, 0);
        NormalizePeaks(doc.peaks);
        Method m;
        m.calculation.kind = 4;
        m.calculation.response = 1;
        for (std::size_t k = 0; k < doc.peaks.size(); ++k) {
            Peak& p = doc.peaks.peaks[k];
            p.componentName = text::format("Компонент %zu", k + 1);
            p.concentration = 100.0 / kPeaks;
            MethodComponent c;
            c.name = p.componentName;
            c.retentionTime = p.apexTime;
            c.k1 = 0.01 * static_cast<double>(k % 7 + 1);
            for (double amount : {1.0, 2.0, 5.0}) {
                CalibrationPoint level;
                level.amount = amount;
                level.area = amount / c.k1;
                c.points.push_back(level);
            }
            m.calculation.components.push_back(c);
            if (k < 10)
                settings.calibrationComponents.emplace_back(c.name, true);
        }
        settings.calibration = true;
        settings.chartSize = 2;
        doc.method = methodCopyOf(m);
        doc.hasMethod = true;
        context.programFolder = paths::programFolder();
        context.now = 0;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_ChromatogramReport200Peaks(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        Result<rtf::RtfDocument> made = gui::makeChromatogramReport(f.doc, f.settings, f.context);
        if (!made.ok()) {
            state.SkipWithError(made.message().c_str());
            return;
        }
        benchmark::DoNotOptimize(made->elements.size());
    }
}

// The two pictures alone: what of the report's time is drawing.
void BM_ChromatogramPicture(benchmark::State& state) {
    Fixture& f = fixture();
    ChromatogramPictureOptions options;
    options.chartSize = f.settings.chartSize;
    options.labelName = state.range(0) & 1;
    PeakTable none;
    const PeakTable& peaks = state.range(0) & 2 ? f.doc.peaks : none;
    for (auto _ : state)
        benchmark::DoNotOptimize(chromatogramPicture(f.doc.signal, peaks, options).data);
}

void BM_CalibrationPicture(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(calibrationPicture(*documentMethod(f.doc), f.settings, 200).data);
}

void BM_ReportPdf200Peaks(benchmark::State& state) {
    Fixture& f = fixture();
    Result<rtf::RtfDocument> made = gui::makeChromatogramReport(f.doc, f.settings, f.context);
    if (!made.ok()) {
        state.SkipWithError(made.message().c_str());
        return;
    }
    const gui::CReportDoc report(std::move(*made));
    QTemporaryDir dir;
    const std::filesystem::path pdf = dir.filePath(QStringLiteral("report.pdf")).toStdString();
    for (auto _ : state) {
        if (!report.savePdf(pdf)) {
            state.SkipWithError("PDF not written");
            return;
        }
    }
    state.counters["pages"] = report.pageCount();
}

BENCHMARK(BM_ChromatogramReport200Peaks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ChromatogramPicture)
    ->Arg(0)
    ->Arg(2)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_CalibrationPicture)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReportPdf200Peaks)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    // Fonts and painting need an application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
