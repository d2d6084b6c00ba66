#include "processing/chromatogram_open.h"

#include <gtest/gtest.h>

#include "app/paths.h"
#include "method/method_sheet.h"
#include "processing/chromatogram_processing.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

// A method that expects methane at 2 min as its reference and ethane at
// 4 min, and a chromatogram whose column ran 5 % slow: the peaks come at
// 2.1 and 4.2 min. The file keeps the peaks' names and marks but not the
// retention factor; opening must find it again.
TEST(ChromatogramOpen, FindsTheRetentionFactorAndReferencesAgain) {
    test::TempDir dir;
    Method m;
    m.marking.Width = 0.06;
    m.marking.MinHeight = 0.5;
    for (const auto& [name, t, reference] :
         {std::tuple{"Метан", 2.0, true}, std::tuple{"Этан", 4.0, false}}) {
        MethodComponent c;
        c.name = name;
        c.retentionTime = t;
        c.window = 10;
        c.reference = reference;
        m.calculation.components.push_back(c);
    }
    ASSERT_TRUE(paths::ensureFolder(methodFilePath("Сдвиг").parent_path()));
    std::string error;
    ASSERT_TRUE(writeMethodTo(methodFilePath("Сдвиг"), m, error)) << error;
    installFolderMethodLoader();
    installIntegrationAfterRead();  // apex times are measured again on reading

    SyntheticChromatogram spec;
    spec.dt = 0.002;
    spec.samples = 3000;
    spec.level = 1;
    spec.peaks = {{2.1, 10, 0.03}, {4.2, 20, 0.03}};
    CZelmoraDoc written;
    written.signal = makeSyntheticSignal(spec);
    written.peaks.attach(&written.signal);
    written.keepUndoCopy();
    written.passport.method = "Сдвиг";
    SilentMessageSink sink;
    ASSERT_TRUE(written.reloadMethod(sink));
    ProcessChromatogram(written);
    ASSERT_EQ(written.peaks.size(), 2u);
    EXPECT_NEAR(written.retentionFactor, 1.05, 0.002);
    // What the operator may have done since: the reference mark taken away.
    written.peaks.peaks[0].isReference = 0;
    const std::filesystem::path file = dir / "сдвиг.stg";
    ASSERT_TRUE(written.Write(file, sink, false));

    CZelmoraDoc doc;
    ASSERT_TRUE(OpenChromatogram(doc, file, sink));
    ASSERT_TRUE(doc.hasMethod);
    EXPECT_NEAR(doc.retentionFactor, 1.05, 0.002);
    ASSERT_EQ(doc.peaks.size(), 2u);
    EXPECT_EQ(doc.peaks.peaks[0].componentName, "Метан");
    EXPECT_EQ(doc.peaks.peaks[0].isReference, 1);
    EXPECT_EQ(doc.peaks.peaks[1].componentName, "Этан");
    EXPECT_EQ(doc.peaks.peaks[1].isReference, 0);
    EXPECT_FALSE(doc.isModified());

    // Without its method the chromatogram has no factor to find.
    CZelmoraDoc plain;
    installMethodLoader(nullptr);
    ASSERT_TRUE(OpenChromatogram(plain, file, sink));
    EXPECT_EQ(plain.retentionFactor, 1.0);

    // A file that is no chromatogram is not opened.
    CZelmoraDoc none;
    EXPECT_FALSE(OpenChromatogram(none, dir / "нет.stg", sink));
}

}  // namespace
}  // namespace zelmora
