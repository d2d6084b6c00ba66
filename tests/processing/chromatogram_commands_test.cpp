#include "processing/chromatogram_commands.h"

#include <gtest/gtest.h>

#include <cmath>

#include "app/paths.h"
#include "app/program_settings.h"
#include "app/text.h"
#include "document/message_sink.h"
#include "method/method_sheet.h"
#include "processing/chromatogram_processing.h"
#include "processing/peak_detector.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

const char* const kNames[3] = {"Метан", "Этан", "Пропан"};
const double kTimes[3] = {2.0, 4.0, 6.0};

Method gasMethod() {
    Method m;
    m.marking.Width = 0.1;
    m.marking.MinHeight = 0.5;
    m.calculation.kind = 0;  // absolute calibration
    for (int i = 0; i < 3; ++i) {
        MethodComponent c;
        c.name = kNames[i];
        c.retentionTime = kTimes[i];
        c.window = 3;
        c.curveType = 0;
        c.k1 = 0.1 * (i + 1);
        m.calculation.components.push_back(c);
    }
    return m;
}

// Three Gaussian peaks on a flat baseline of 1 mV, 10 minutes at dt 0.01.
void fillSignal(CZelmoraDoc& doc) {
    SyntheticChromatogram spec;
    spec.dt = 0.01;
    spec.samples = 1000;
    spec.level = 1;
    for (int i = 0; i < 3; ++i)
        spec.peaks.push_back({kTimes[i], 10.0 * (i + 1), 0.05});
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    doc.keepUndoCopy();
}

// Answers the dialogs as a test wants them answered.
class ScriptedPrompts : public CommandPrompts {
  public:
    bool editEvent(EventRequest& r) override {
        if (!event)
            return false;
        r.choice = event->choice;
        r.value = event->value;
        return true;
    }
    std::optional<fs::path> chooseChromatogram() override { return chosen; }
    std::optional<EventRequest> event;
    std::optional<fs::path> chosen;
};

class ChromatogramCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(paths::ensureFolder(methodFilePath("Газ").parent_path()));
        std::string error;
        ASSERT_TRUE(writeMethodTo(methodFilePath("Газ"), gasMethod(), error)) << error;
        installFolderMethodLoader();
        options.openPath = (dir / "chrom").string();
        options.pathSaveDb = (dir / "db").string();
        options.checkViewAutoMark = false;
        options.autoSave = false;
        options.saveFolderType = 0;
    }

    // The options a command sees are the test's own, read when it starts.
    OptionsSource ownOptions() {
        return [this] { return options; };
    }

    // A processed chromatogram of the method "Газ".
    void processed(bool calibration = false) {
        fillSignal(doc);
        doc.passport.method = "Газ";
        doc.passport.calibration = calibration ? 1 : 0;
        ASSERT_TRUE(doc.reloadMethod(sink));
        ProcessChromatogram(doc);
        ASSERT_EQ(doc.peakCount(), 3u);
        doc.setModified(false);
    }

    test::TempDir dir;
    ProgramOptions options;
    RecordingMessageSink sink;
    ScriptedPrompts prompts;
    CZelmoraDoc doc;
    ChromatogramCommands commands{doc, sink, prompts, ownOptions()};
};

TEST_F(ChromatogramCommandsTest, ManualEditsRunTheAfterEditChain) {
    processed();
    EXPECT_EQ(doc.peak(1)->componentName, "Этан");
    const double ethane = doc.peak(1)->concentration;
    EXPECT_GT(ethane, 0);

    // Deleting the ethane peak: its neighbours take over its range and are
    // identified again (the widened peak may lose its component).
    ASSERT_TRUE(commands.DeletePeakAt(1));
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.findPeakByName("Этан"), -1);

    // Marking again and then re-adding the peak by hand gives it back its name
    // and its concentration.
    commands.DeleteAll();
    EXPECT_EQ(doc.peakCount(), 0u);
    ASSERT_TRUE(commands.AddPeakBetween(4.25, 3.75));  // either order
    ASSERT_EQ(doc.peakCount(), 1u);
    EXPECT_EQ(doc.peak(0)->componentName, "Этан");
    EXPECT_NEAR(doc.peak(0)->concentration, ethane, 0.05 * ethane);

    // A peak of no width and a bound move past the neighbours fail and leave
    // the table alone.
    EXPECT_FALSE(commands.AddPeakBetween(5.0, 5.0));
    EXPECT_FALSE(commands.SetPeakBoundsAt(0, 4.3, 4.1));
    EXPECT_FALSE(commands.AddAdjacentPeakAt(5, 4.5, kAdjacentRight));
    EXPECT_EQ(doc.peakCount(), 1u);
    EXPECT_TRUE(commands.AddAdjacentPeakAt(0, 4.6, kAdjacentRight));
    EXPECT_EQ(doc.peakCount(), 2u);
}

TEST_F(ChromatogramCommandsTest, CalibrationChromatogramKeepsItsAmountsOnEdit) {
    processed(true);
    for (Peak& p : doc.peaks.peaks)
        p.concentration = 7;
    ASSERT_TRUE(commands.DeletePeakAt(2));
    for (const Peak& p : doc.peaks.peaks)
        EXPECT_EQ(p.concentration, 7);
    // "+ Ко&мпоненты" and "+ Точка &градуировки" share this rule.
    EXPECT_TRUE(commands.canAddToMethod());
}

TEST_F(ChromatogramCommandsTest, EnableRulesFollowMethodUndoAndCalibration) {
    fillSignal(doc);
    EXPECT_FALSE(commands.canUndo());
    // Identification, concentrations and the chromatogram's method.
    EXPECT_FALSE(commands.hasMethod());
    EXPECT_FALSE(commands.canAddToMethod());
    EXPECT_FALSE(commands.Identify());
    doc.passport.method = "Газ";
    ASSERT_TRUE(doc.reloadMethod(sink));
    EXPECT_TRUE(commands.hasMethod());
    EXPECT_FALSE(commands.canAddToMethod());  // not a calibration
}

TEST_F(ChromatogramCommandsTest, CropKeepsThePeaksOnTheirSamplesAndUndoesConsistently) {
    fillSignal(doc);
    const std::vector<float> before = doc.signal.samples;
    ASSERT_TRUE(AddPeak(doc.peaks, 1.5, 1.7, true, 0));
    ASSERT_TRUE(AddPeak(doc.peaks, 1.8, 2.2, true, 0));
    ASSERT_TRUE(AddPeak(doc.peaks, 2.9, 3.2, true, 0));  // reaches past the crop

    ASSERT_TRUE(commands.CropTo(3.0, 1.0));  // either order
    ASSERT_EQ(doc.sampleCount(), 200u);
    EXPECT_EQ(doc.signal.samples.front(), before[100]);
    EXPECT_EQ(doc.signal.samples.back(), before[299]);
    EXPECT_EQ(doc.t0(), 0);
    ASSERT_EQ(doc.peakCount(), 2u);
    EXPECT_NEAR(doc.peak(0)->startTime, 0.5, 1e-9);
    EXPECT_NEAR(doc.peak(0)->endTime, 0.7, 1e-9);
    EXPECT_NEAR(doc.peak(1)->apexTime, 1.0, 0.011);  // the methane apex, moved with its samples
    EXPECT_TRUE(doc.isModified());
    EXPECT_FALSE(doc.undo.available);  // cropping leaves the availability as it was

    // With undo available (a filter ran before), undo gives back the whole
    // trace and the peaks where they lay on it.
    doc.undo.available = true;
    ASSERT_TRUE(commands.Undo());
    EXPECT_EQ(doc.signal.samples, before);
    EXPECT_NEAR(doc.peak(0)->startTime, 1.5, 1e-9);
    EXPECT_NEAR(doc.peak(1)->apexTime, 2.0, 0.011);

    // A crop reaching past the end is clamped to the samples; an empty one is refused.
    ASSERT_TRUE(commands.CropTo(9.5, 40.0));
    EXPECT_EQ(doc.sampleCount(), 50u);
    EXPECT_EQ(doc.peakCount(), 0u);
    EXPECT_FALSE(commands.CropTo(20.0, 30.0));
    EXPECT_FALSE(commands.CropTo(0.2, 0.205));
    EXPECT_EQ(doc.sampleCount(), 50u);
}

TEST_F(ChromatogramCommandsTest, InvertMirrorsAboutTheBaselineAndCanBeUndone) {
    // A negative peak on a flat baseline at 0.
    SyntheticChromatogram spec;
    spec.dt = 0.01;
    spec.samples = 300;
    spec.peaks.push_back({1.5, -5.0, 0.05});
    doc.signal = makeSyntheticSignal(spec);
    doc.peaks.attach(&doc.signal);
    const std::vector<float> before = doc.signal.samples;
    ASSERT_TRUE(AddPeak(doc.peaks, 1.0, 2.0, true, 0));
    doc.peak(0)->baselineAtStart = doc.peak(0)->baselineAtEnd = 0;

    ASSERT_TRUE(commands.InvertPeak(0));
    for (std::size_t n = 100; n < 200; ++n)
        EXPECT_FLOAT_EQ(doc.sample(n), -before[n]) << n;
    EXPECT_EQ(doc.sample(200), before[200]);
    EXPECT_TRUE(doc.isModified());
    EXPECT_GT(doc.peak(0)->height, 4.9);  // measured again
    ASSERT_TRUE(commands.Undo());
    EXPECT_EQ(doc.signal.samples, before);

    // A peak reaching past the trace is clamped; an invalid one is refused.
    doc.peak(0)->endTime = 50;
    EXPECT_TRUE(commands.InvertPeak(0));
    EXPECT_FALSE(commands.InvertPeak(3));
    EXPECT_FALSE(commands.InvertPeak(-1));
}

TEST_F(ChromatogramCommandsTest, UndoRestoresTheSameSamplesEveryTime) {
    processed();
    EXPECT_FALSE(commands.Undo());  // nothing to undo after opening
    const std::vector<float> before = doc.signal.samples;
    ASSERT_TRUE(commands.CompensateDrift());
    EXPECT_TRUE(doc.undo.available);
    ASSERT_TRUE(commands.Undo());
    EXPECT_EQ(doc.signal.samples, before);
    ASSERT_TRUE(commands.Undo());
    EXPECT_EQ(doc.signal.samples, before);
    EXPECT_TRUE(commands.canUndo());
}

TEST_F(ChromatogramCommandsTest, FilterOfKindNoneChangesNothing) {
    fillSignal(doc);
    EXPECT_FALSE(isDone(commands.Filter()));  // the default method filters with "Нет"
    EXPECT_FALSE(doc.isModified());
    EXPECT_FALSE(doc.undo.available);

    defaultMethod().filter = {1, 0.1f, 3.0f};
    const std::vector<float> before = doc.signal.samples;
    EXPECT_TRUE(commands.Filter());
    EXPECT_TRUE(doc.isModified());
    EXPECT_TRUE(doc.undo.available);
    EXPECT_EQ(doc.undo.samples, before);
    defaultMethod() = Method{};
}

TEST_F(ChromatogramCommandsTest, DriftCompensationWithoutPeaksIsRefused) {
    fillSignal(doc);
    EXPECT_FALSE(commands.CompensateDrift());
    ASSERT_FALSE(sink.entries.empty());
    EXPECT_FALSE(doc.isModified());
}

TEST_F(ChromatogramCommandsTest, CopyConcentrationsMatchesNamesWithoutCase) {
    processed();
    CZelmoraDoc other;
    fillSignal(other);
    ASSERT_TRUE(AddPeak(other.peaks, 1.8, 2.2, true, 0));
    ASSERT_TRUE(AddPeak(other.peaks, 3.8, 4.2, true, 0));
    other.peak(0)->componentName = "метан";
    other.peak(0)->concentration = 42;
    other.peak(1)->concentration = 99;  // no name: never copied
    const fs::path file = dir / "other.stg";
    ASSERT_TRUE(other.Write(file, sink, false));

    doc.peak(1)->componentName.clear();
    doc.peak(1)->concentration = 5;
    prompts.chosen = file;
    ASSERT_TRUE(commands.CopyConcentrations());
    EXPECT_EQ(doc.peak(0)->concentration, 42);
    EXPECT_EQ(doc.peak(1)->concentration, 5);
    EXPECT_TRUE(doc.isModified());

    EXPECT_FALSE(commands.CopyConcentrationsFrom(dir / "missing.stg"));
    EXPECT_EQ(doc.peak(0)->concentration, 42);
}

TEST_F(ChromatogramCommandsTest, DensityConversionAgainstHandComputedFractions) {
    processed();
    doc.peak(0)->concentration = 50;
    doc.peak(1)->concentration = 30;
    doc.peak(2)->concentration = 20;
    doc.peak(2)->componentName = "Бутан";  // not in the table
    ASSERT_TRUE(paths::ensureFolder(dir / "db"));
    // CR LF lines, the table ends at the empty name.
    test::writeFile(dir / "db" / "density.txt",
                    text::toCp1251("Метан\r\n0.72\r\nЭтан\r\n1,36\r\n\r\nБутан\r\n2.5\r\n"));
    doc.setModified(false);
    ASSERT_TRUE(commands.ConvertConcentrations(DensityConversion::VolumeToMass));
    EXPECT_DOUBLE_EQ(doc.peak(0)->concentration, 50 * 0.72);
    EXPECT_DOUBLE_EQ(doc.peak(1)->concentration, 30 * 1.36);
    EXPECT_EQ(doc.peak(2)->concentration, 0);
    EXPECT_TRUE(doc.isModified());

    // LF lines; letter case counts; density 0 gives 0.
    test::writeFile(dir / "db" / "density.txt", text::toCp1251("Метан\n2\nэтан\n3\nБутан\n0\n"));
    doc.peak(2)->concentration = 4;
    ASSERT_TRUE(commands.ConvertConcentrations(DensityConversion::MassToVolume));
    EXPECT_DOUBLE_EQ(doc.peak(0)->concentration, 50 * 0.72 / 2);
    EXPECT_EQ(doc.peak(1)->concentration, 0);
    EXPECT_EQ(doc.peak(2)->concentration, 0);

    // Without the table every concentration stays.
    fs::remove(dir / "db" / "density.txt");
    doc.peak(0)->concentration = 1;
    EXPECT_FALSE(commands.ConvertConcentrations(DensityConversion::VolumeToMass));
    EXPECT_EQ(doc.peak(0)->concentration, 1);
}

TEST_F(ChromatogramCommandsTest, EventOverAnIntervalForbidsMarkingThere) {
    fillSignal(doc);
    prompts.event = EventRequest{0, 0, 0, 0};  // forbidden zone
    ASSERT_TRUE(commands.AddEventOver(4.5, 3.5));
    const auto& events = defaultMethod().marking.events;
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0], (PeakEvent{kForbidMarking, 3.5, 0, 0}));
    EXPECT_EQ(events[1], (PeakEvent{kAllowMarking, 4.5, 0, 0}));
    EXPECT_EQ(doc.peakCount(), 2u);  // the ethane peak lies in the zone
    for (const Peak& p : doc.peaks.peaks)
        EXPECT_GT(std::abs(p.apexTime - 4.0), 1.0);

    // A parameter event closes with the value the settings hold, in the
    // event's units (the maximum width in seconds).
    prompts.event = EventRequest{0, 0, 2, 30};
    ASSERT_TRUE(commands.AddEventOver(7, 8));
    ASSERT_EQ(defaultMethod().marking.events.size(), 4u);
    EXPECT_EQ(defaultMethod().marking.events[3],
              (PeakEvent{kSetMaxWidth, 8, defaultMethod().marking.MaxWidth * 60.0, 1}));
    prompts.event.reset();
    EXPECT_FALSE(commands.AddEventOver(1, 2));  // cancelled
    defaultMethod() = Method{};
}

TEST_F(ChromatogramCommandsTest, AutoMarkWithAMethodUsesItsParameters) {
    processed();
    commands.DeleteAll();
    doc.setModified(false);
    ASSERT_TRUE(commands.AutoMark());
    EXPECT_EQ(doc.peakCount(), 3u);
    EXPECT_EQ(doc.peak(2)->componentName, "Пропан");
    EXPECT_TRUE(doc.isModified());
}

TEST_F(ChromatogramCommandsTest, ClippedTopIsRebuiltFromTheFlanks) {
    // A Gaussian of 100 mV on a baseline of 1 mV, cut off at 60 mV by a
    // saturated converter, next to a smaller peak.
    SyntheticChromatogram spec;
    spec.dt = 0.005;
    spec.samples = 1200;
    spec.level = 1;
    spec.peaks = {{2.0, 100.0, 0.15}, {4.5, 10.0, 0.05}};
    const Signal truth = makeSyntheticSignal(spec);
    doc.signal = truth;
    for (float& y : doc.signal.samples)
        y = std::min(y, 61.0f);
    doc.peaks.attach(&doc.signal);
    ASSERT_TRUE(AddPeak(doc.peaks, 1.2, 2.8, true, 0));
    ASSERT_TRUE(AddPeak(doc.peaks, 4.2, 4.8, true, 0));
    const std::vector<float> clipped = doc.signal.samples;

    EXPECT_FALSE(commands.ApproximateClippedPeak(1));  // not the tallest
    EXPECT_EQ(doc.signal.samples, clipped);
    ASSERT_TRUE(commands.ApproximateClippedPeak(0));
    EXPECT_EQ(doc.undo.samples, clipped);
    EXPECT_TRUE(doc.undo.available);
    EXPECT_TRUE(doc.isModified());
    // The rebuilt top rises well above the cut and the flanks stay.
    const std::size_t apex = 400;
    EXPECT_NEAR(doc.sample(apex), truth.samples[apex], 0.05 * truth.samples[apex]);
    EXPECT_EQ(doc.sample(200), clipped[200]);
    EXPECT_GT(doc.peak(0)->height, 70);  // measured again
    ASSERT_TRUE(commands.Undo());
    EXPECT_EQ(doc.signal.samples, clipped);

    // A peak whose top is its whole range has no flanks to fit.
    doc.peaks.clear();
    ASSERT_TRUE(AddPeak(doc.peaks, 1.9, 2.1, true, 0));
    for (std::size_t i = 370; i <= 430; ++i)
        doc.signal.samples[i] = 61.0f;
    const std::vector<float> flat = doc.signal.samples;
    EXPECT_FALSE(commands.ApproximateClippedPeak(0));
    EXPECT_EQ(doc.signal.samples, flat);
}

TEST_F(ChromatogramCommandsTest, ConfirmedMarkingSavesTheMethodAndReloadsTheCopy) {
    processed();
    MethodReloadLink link(doc, sink);  // as every open chromatogram window keeps
    options.checkViewAutoMark = true;
    options.accessLevel = 2;
    class WiderPeaks : public CommandPrompts {
      public:
        bool editMarking(MarkingParameters& m) override {
            m.MinHeight = 15;  // keeps only the two larger peaks
            return true;
        }
    } wider;
    ChromatogramCommands marking(doc, sink, wider, ownOptions());
    ASSERT_TRUE(marking.AutoMark());
    EXPECT_EQ(doc.peakCount(), 2u);
    // The method file has the new parameters and the document's copy was
    // read again from it.
    CMethodSheet saved;
    ASSERT_TRUE(saved.ReadMethod("Газ"));
    EXPECT_FLOAT_EQ(saved.method().marking.MinHeight, 15);
    ASSERT_NE(documentMethod(doc), nullptr);
    EXPECT_FLOAT_EQ(documentMethod(doc)->marking.MinHeight, 15);
}

TEST_F(ChromatogramCommandsTest, MarkingSavesTheMethodOnlyWhenConfirmedAndAllowed) {
    processed();
    const fs::path file = methodFilePath("Газ");
    const std::string before = test::readFile(file);
    class WiderPeaks : public CommandPrompts {
      public:
        bool editMarking(MarkingParameters& m) override {
            m.MinHeight = 15;
            return true;
        }
    } wider;

    // Without the sheet the parameters are not the person's choice.
    options.checkViewAutoMark = false;
    options.accessLevel = 5;
    ASSERT_TRUE(commands.AutoMark());
    EXPECT_EQ(test::readFile(file), before);

    // Confirmed, but the access level does not allow saving methods.
    options.checkViewAutoMark = true;
    options.accessLevel = 0;
    ChromatogramCommands marking(doc, sink, wider, ownOptions());
    ASSERT_TRUE(marking.AutoMark());
    EXPECT_EQ(doc.peakCount(), 2u);
    EXPECT_EQ(test::readFile(file), before);
    EXPECT_TRUE(sink.entries.empty());

    // Allowed, but the file on disk is damaged: it is kept, and the person is
    // told that the method still has its old parameters.
    options.accessLevel = 2;
    test::writeFile(file, "не метод");
    ASSERT_TRUE(marking.AutoMark());
    EXPECT_EQ(test::readFile(file), "не метод");
    ASSERT_EQ(sink.entries.size(), 1u);
    EXPECT_EQ(sink.entries[0].caption, "Авторазметка");
    EXPECT_NE(sink.entries[0].text.find("не сохранены в методе \"Газ\""), std::string::npos);
}

TEST_F(ChromatogramCommandsTest, RecordingBecomesAProcessedSavedChromatogram) {
    options.autoSave = true;
    options.saveFolderType = 2;
    auto record = [&](CZelmoraDoc& d, const std::string& method) {
        fillSignal(d);
        d.undo.samples.clear();
        d.passport.method = method;
        d.passport.analysisTime = 1'800'000'000;
    };
    record(doc, "Газ");
    const Result<RecordedChromatogram> r = CreateFromRecording(doc, sink, options);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_TRUE(r->saved);
    EXPECT_EQ(r->path.parent_path(), dir / "chrom" / "Газ");
    EXPECT_EQ(r->path.filename().string(), recordingFileName(1'800'000'000, "Газ"));
    EXPECT_TRUE(fs::exists(r->path));
    EXPECT_EQ(doc.undo.samples, doc.signal.samples);
    EXPECT_FLOAT_EQ(static_cast<float>(doc.passport.duration), 10.0f);  // last sample 9.99 min
    EXPECT_EQ(doc.peakCount(), 3u);
    EXPECT_EQ(doc.peak(0)->componentName, "Метан");
    EXPECT_GT(doc.peak(0)->concentration, 0);
    EXPECT_FALSE(doc.isModified());

    // The same analysis time again does not overwrite the first chromatogram.
    CZelmoraDoc second;
    record(second, "Газ");
    const Result<RecordedChromatogram> r2 = CreateFromRecording(second, sink, options);
    ASSERT_TRUE(r2.ok());
    EXPECT_NE(r2->path, r->path);
    EXPECT_TRUE(fs::exists(r2->path));

    // Without a method: "Zelmora", no processing.
    CZelmoraDoc third;
    record(third, "Нет такого");
    const Result<RecordedChromatogram> r3 = CreateFromRecording(third, sink, options);
    ASSERT_TRUE(r3.ok());
    EXPECT_EQ(r3->path.filename().string().rfind("Zelmora_", 0), 0u);
    EXPECT_EQ(third.peakCount(), 0u);

    // Nothing recorded: refused.
    CZelmoraDoc empty;
    const Result<RecordedChromatogram> r4 = CreateFromRecording(empty, sink, options);
    EXPECT_FALSE(r4.ok());
    EXPECT_FALSE(r4.message().empty());
}

TEST_F(ChromatogramCommandsTest, RecordingGoesToTheMethodsOwnFolder) {
    Method m = gasMethod();
    m.capture.saveToFolder = true;
    m.capture.folder = (dir / "own").string() + "/";
    std::string error;
    ASSERT_TRUE(writeMethodTo(methodFilePath("Свой"), m, error)) << error;
    fillSignal(doc);
    doc.passport.method = "Свой";
    const Result<RecordedChromatogram> r = CreateFromRecording(doc, sink, options);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r->path.parent_path(), dir / "own");
    EXPECT_TRUE(fs::is_directory(dir / "own"));
    EXPECT_FALSE(r->saved);  // "AutoSave" off
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.pathName(), r->path);
}

TEST_F(ChromatogramCommandsTest, TextExportAsksForAFileOnlyWithoutASaveName) {
    processed();
    // No save name and the dialog cancelled: nothing is written.
    EXPECT_FALSE(commands.ExportText());
    // A recorded chromatogram exports under its save name into "Data".
    doc.saveName = "Газ_081226_143005.stg";
    ASSERT_TRUE(commands.ExportText());
    EXPECT_TRUE(fs::exists(paths::defaultDataFolder() / "Data" / "Газ_081226_143005data.txt"));
    // Without an outside program nothing is closed.
    EXPECT_FALSE(commands.ExportToProgram());
    EXPECT_FALSE(commands.closeRequested());
}

}  // namespace
}  // namespace zelmora
