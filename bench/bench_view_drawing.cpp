// Drawing a chromatogram window: a trace of 10^7 samples (one hour at
// about 2800 samples a second) with 200 labelled peaks into a 1600 x 900
// picture, zoomed out to the whole trace and zoomed in, with the columns of
// minima and maxima built afresh for every frame ("cold", as after a zoom or
// scroll) and kept from the frame before ("warm", as when the selection or a
// tool changes). The last two run the whole paint path of the view widget.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "app/text.h"
#include "document/zelmora_doc.h"
#include "gui/document/view_drawing.h"
#include "gui/document/zelmora_view.h"
#include "processing/chromatogram_commands.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"

namespace {

using namespace zelmora;
using zelmora::gui::ChromatogramPicture;

constexpr std::int64_t kSamples = 10'000'000;
constexpr int kPeaks = 200;
const QSize kSize(1600, 900);

struct Fixture {
    CZelmoraDoc doc;
    SilentMessageSink sink;
    CommandPrompts prompts;
    ChromatogramCommands commands{doc, sink, prompts, [] { return programOptions(); }};
    double full0 = 0, full1 = 0, lo = 0, hi = 0;

    Fixture() {
        SyntheticChromatogram spec;
        spec.samples = kSamples;
        spec.dt = 60.0 / static_cast<double>(kSamples);
        spec.level = 2;
        spec.drift = 0.05;
        spec.noise = 0.05;
        spec.seed = 7;
        spec.peaks = evenlySpacedPeaks(spec, kPeaks, 40, 0.03);
        for (std::size_t i = 0; i < spec.peaks.size(); ++i)
            spec.peaks[i].height = 10 + static_cast<double>((i * 37) % 90);
        doc.signal = makeSyntheticSignal(spec);
        doc.peaks.attach(&doc.signal);
        for (const SyntheticPeak& p : spec.peaks)
            AddPeak(doc.peaks, p.apexTime - 4 * p.sigma, p.apexTime + 4 * p.sigma, false, 0);
        NormalizePeaks(doc.peaks);
        for (std::size_t k = 0; k < doc.peaks.size(); ++k)
            doc.peaks.peaks[k].componentName = text::format("Компонент %zu", k + 1);
        full0 = doc.signal.t0;
        full1 = doc.signal.timeAt(static_cast<double>(kSamples - 1));
        lo = -5;
        hi = 110;
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void drawFrames(benchmark::State& state, double t0, double t1, bool cold) {
    Fixture& f = fixture();
    ChromatogramPicture picture;
    gui::ViewScene scene;
    scene.doc = &f.doc;
    scene.selected = 100;
    scene.nameNumber = true;
    scene.nameName = true;
    QImage image(kSize, QImage::Format_RGB32);
    const gui::ViewGeometry g = picture.layout(QSizeF(kSize), t0, t1, f.lo, f.hi);
    std::size_t visited = 0;
    for (auto _ : state) {
        if (cold)
            picture.invalidateSignal();
        QPainter p(&image);
        picture.draw(p, QSizeF(kSize), g, scene);
        p.end();
        visited = picture.samplesVisited();
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["samples_visited"] = static_cast<double>(visited);
}

void BM_ZoomedOutCold(benchmark::State& state) {
    drawFrames(state, fixture().full0, fixture().full1, true);
}
void BM_ZoomedOutWarm(benchmark::State& state) {
    drawFrames(state, fixture().full0, fixture().full1, false);
}
// Five minutes of the hour: about 830 000 samples, still min/max columns.
void BM_ZoomedInCold(benchmark::State& state) {
    drawFrames(state, 30, 35, true);
}
// A tenth of a second: fewer samples than pixels, drawn one by one.
void BM_ZoomedInDeep(benchmark::State& state) {
    drawFrames(state, 30, 30 + 0.1 / 60, true);
}

// The widget's own paint path (render() repaints everything); scrolling
// moves the time range by a line each frame, so every frame is cold.
void viewFrames(benchmark::State& state, double span, bool scroll) {
    Fixture& f = fixture();
    gui::CZelmoraView view(f.doc, f.commands);
    view.resize(kSize);
    view.setVisibleRange(f.full0, f.full0 + span, f.lo, f.hi);
    QImage image(kSize, QImage::Format_RGB32);
    double t = f.full0;
    for (auto _ : state) {
        if (scroll) {
            t += span / 10;
            if (t + span > f.full1)
                t = f.full0;
            view.setVisibleRange(t, t + span, f.lo, f.hi);
        }
        view.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_ViewRenderZoomedOut(benchmark::State& state) {
    viewFrames(state, fixture().full1 - fixture().full0, false);
}
void BM_ViewScrollZoomedIn(benchmark::State& state) {
    viewFrames(state, 5, true);
}

BENCHMARK(BM_ZoomedOutCold)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomedOutWarm)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomedInCold)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ZoomedInDeep)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewRenderZoomedOut)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewScrollZoomedIn)->Unit(benchmark::kMillisecond)->UseRealTime();

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
