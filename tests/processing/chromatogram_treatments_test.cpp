#include "processing/chromatogram_treatments.h"

#include <gtest/gtest.h>

#include <cmath>

#include "document/zelmora_doc.h"
#include "method/method_records.h"
#include "processing/peak_detector.h"
#include "processing/signal_edits.h"
#include "processing/synthetic.h"

namespace zelmora {
namespace {

void loadSynthetic(CZelmoraDoc& doc, double drift, double noise) {
    SyntheticChromatogram spec;
    spec.samples = 6000;
    spec.dt = 1.0 / 600;
    spec.level = 2;
    spec.drift = drift;
    spec.noise = noise;
    spec.peaks = {{3.0, 20, 0.03}, {6.0, 10, 0.04}};
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    MarkingParameters m;
    m.Width = 0.1f;
    m.MinHeight = 0.5f;
    m.MinArea = 0.05f;
    AutoMarkPeaks(doc.peaks, m);
    doc.setModified(false);
}

TEST(Treatments, FilterKeepsAnUndoCopyAndRemeasuresThePeaks) {
    CZelmoraDoc doc;
    loadSynthetic(doc, 0, 0.05);
    ASSERT_EQ(doc.peaks.size(), 2u);
    const std::vector<float> before = doc.signal.samples;
    const double area = doc.peaks.peaks[0].area;
    FilterSettings page;
    page.kind = 3;
    page.window = 1.0f;
    ASSERT_TRUE(ApplyFilter(doc, page));
    EXPECT_TRUE(doc.undo.available);
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.undo.samples, before);
    EXPECT_NE(doc.signal.samples, before);
    EXPECT_EQ(doc.peaks.size(), 2u);
    // Smoothing takes out the noise that widening otherwise turns into area:
    // the filtered area is close to the analytical 20 * 0.03 * sqrt(2 pi).
    const double analytical = 20 * 0.03 * std::sqrt(2 * M_PI);
    EXPECT_NEAR(doc.peaks.peaks[0].area, analytical, analytical * 0.01);
    ASSERT_TRUE(UndoTraceEdit(doc));
    EXPECT_EQ(doc.signal.samples, before);  // exactly
    EXPECT_NEAR(doc.peaks.peaks[0].area, area, 1e-9);
    EXPECT_TRUE(doc.undo.available);
    // Kind 0 does nothing and leaves the undo copy alone.
    page.kind = 0;
    EXPECT_FALSE(ApplyFilter(doc, page));
}

TEST(Treatments, DriftCompensationFlattensAKnownDriftAndRefusesAnUnmarkedTrace) {
    CZelmoraDoc doc;
    loadSynthetic(doc, 0.5, 0);
    ASSERT_EQ(doc.peaks.size(), 2u);
    const Status r = CompensateDrift(doc, DriftMode::MarkedBaseline);
    ASSERT_TRUE(r.ok()) << r.message();
    for (const Peak& p : doc.peaks.peaks) {
        EXPECT_NEAR(p.baselineAtStart, 0, 0.01);
        EXPECT_NEAR(p.baselineAtEnd, 0, 0.01);
    }
    EXPECT_EQ(doc.signal.samples.front(), 0.0f);
    EXPECT_EQ(doc.signal.samples.back(), 0.0f);

    CZelmoraDoc bare;
    bare.signal.samples = {1, 2, 3, 4, 5};
    bare.signal.dt = 0.1;
    const Status refused = CompensateDrift(bare, DriftMode::MarkedBaseline);
    EXPECT_FALSE(refused.ok());
    EXPECT_FALSE(refused.message().empty());
    EXPECT_EQ(bare.signal.samples, (std::vector<float>{1, 2, 3, 4, 5}));
    EXPECT_FALSE(bare.undo.available);
    EXPECT_TRUE(CompensateDrift(bare, DriftMode::EndPoints).ok());
}

TEST(Treatments, NoiseOfTheDocumentIgnoresItsPeaks) {
    CZelmoraDoc doc;
    loadSynthetic(doc, 0, 0.02);
    const NoiseAndDrift r = EstimateNoiseAndDrift(doc, 7, false);
    const NoiseAndDrift unmarked =
        estimateNoiseAndDrift(doc.signal.samples, doc.signal.t0, doc.signal.dt, {}, 7, false);
    EXPECT_GT(r.noise, 0.015);
    EXPECT_LT(r.noise, unmarked.noise / 2);
    // With peaks the drift comes from the end samples: noise only here.
    EXPECT_LT(std::fabs(r.drift), 1.0);
}

}  // namespace
}  // namespace zelmora
