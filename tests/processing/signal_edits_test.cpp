#include "processing/signal_edits.h"

#include <gtest/gtest.h>

#include "document/zelmora_doc.h"
#include "method/method_records.h"
#include "processing/chromatogram_treatments.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"

namespace zelmora {
namespace {

// Two Gaussian peaks at 2 and 4 min on a flat baseline, 6 minutes at dt 0.01.
void twoPeaks(CZelmoraDoc& doc) {
    SyntheticChromatogram spec;
    spec.dt = 0.01;
    spec.samples = 600;
    spec.level = 1;
    spec.peaks = {{2.0, 10.0, 0.05}, {4.0, 20.0, 0.05}};
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    doc.keepUndoCopy();
    ASSERT_TRUE(AddPeak(doc.peaks, 1.7, 2.3, true, 0));
    ASSERT_TRUE(AddPeak(doc.peaks, 3.7, 4.3, true, 0));
}

// The undo record holds the trace and the crop's shift together: whatever
// edit comes last decides what "Отменить" restores, and the peaks follow
// their samples both ways.
TEST(TraceUndo, TheLastEditDecidesWhatUndoRestores) {
    CZelmoraDoc doc;
    twoPeaks(doc);
    const std::vector<float> whole = doc.signal.samples;
    EXPECT_FALSE(UndoTraceEdit(doc));  // nothing offered after opening

    // A crop is kept but not offered; once undo is offered it moves the
    // peaks back onto the whole trace, also through another commands object.
    ASSERT_TRUE(CropChromatogram(doc, 3.0, 6.0));
    EXPECT_FALSE(doc.undo.available);
    EXPECT_NEAR(doc.undo.peakShift, 3.0, 0.011);
    ASSERT_EQ(doc.peakCount(), 1u);
    EXPECT_NEAR(doc.peak(0)->apexTime, 1.0, 0.011);
    doc.undo.available = true;
    ASSERT_TRUE(UndoTraceEdit(doc));
    EXPECT_EQ(doc.signal.samples, whole);
    EXPECT_NEAR(doc.peak(0)->apexTime, 4.0, 0.011);
    // Undone twice, the peaks do not move a second time.
    ASSERT_TRUE(UndoTraceEdit(doc));
    EXPECT_NEAR(doc.peak(0)->apexTime, 4.0, 0.011);

    // A filter after a crop: undo gives the cropped trace back and leaves the
    // peaks where they are.
    ASSERT_TRUE(CropChromatogram(doc, 3.0, 6.0));
    const std::vector<float> cropped = doc.signal.samples;
    const double apex = doc.peak(0)->apexTime;
    ASSERT_TRUE(ApplyFilter(doc, FilterSettings{1, 0.1f, 3.0f}));
    EXPECT_DOUBLE_EQ(doc.undo.peakShift, 0);
    ASSERT_TRUE(UndoTraceEdit(doc));
    EXPECT_EQ(doc.signal.samples, cropped);
    EXPECT_DOUBLE_EQ(doc.peak(0)->apexTime, apex);

    // A copy of another length without a shift cannot be put back.
    doc.undo.samples = whole;
    doc.undo.peakShift = 0;
    EXPECT_FALSE(UndoTraceEdit(doc));
    EXPECT_EQ(doc.signal.samples, cropped);
}

}  // namespace
}  // namespace zelmora
