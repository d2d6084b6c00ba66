// An HT300 series end to end on pseudo-terminals: the autosampler's
// simulator injects three vials, each injection starts a recording on the
// Ostrel converter's simulator, and three processed chromatograms come out
// with their vials and sample names in the passport, while the sampler's
// line loses one answer and damages two on the way.

#include <gtest/gtest.h>

#include <deque>

#include "app/paths.h"
#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "instruments/channel.h"
#include "instruments/device_manager.h"
#include "instruments/device_types.h"
#include "instruments/ht300_recording.h"
#include "instruments/ht300_sampler.h"
#include "instruments/sim/ht300_pty_simulator.h"
#include "method/document_method.h"
#include "method/method_file.h"
#include "processing/demo_sample.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

namespace fs = std::filesystem;

// The interface thread of the test: posted work runs when drained.
class SeriesHost : public ChannelHost {
  public:
    explicit SeriesHost(const fs::path& home) : home_(home) {
        opts.autoSave = true;
        opts.openPath = (home / "chrom").string();
    }
    void post(std::function<void()> work) override {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(work));
    }
    void drain() {
        for (;;) {
            std::function<void()> w;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty())
                    return;
                w = std::move(queue_.front());
                queue_.pop_front();
            }
            w();
        }
    }
    MessageSink& messages() override { return sink; }
    ProgramOptions options() const override { return opts; }
    std::time_t startTime() override { return nextTime++; }
    fs::path journalFolder() const override { return home_ / "Recovery"; }
    void chromatogramReady(CChannel&, std::unique_ptr<CZelmoraDoc> doc,
                           const Result<FinishedRecording>& f) override {
        results.push_back(f);
        docs.push_back(std::move(doc));
    }

    ProgramOptions opts;
    RecordingMessageSink sink;
    std::time_t nextTime = 1'765'100'000;
    std::vector<Result<FinishedRecording>> results;
    std::vector<std::unique_ptr<CZelmoraDoc>> docs;

  private:
    fs::path home_;
    std::mutex mutex_;  // guards queue_
    std::deque<std::function<void()>> queue_;
};

TEST(Ht300Series, ThreeVialsGiveThreeChromatogramsWithTheirVials) {
    if (!CWorkLog::instance().active())
        CWorkLog::instance().start({}, "test", "test");
    installFolderMethodLoader();
    test::TempDir tmp;
    SeriesHost host(tmp.path());

    Method m = demoMethod();
    m.capture.analysisTime = 0.25f;  // 15 s of the converter's time
    m.capture.samplingRate = 5.0f;
    const fs::path folder = ProgramOptions().methodFolder();
    ASSERT_TRUE(paths::ensureFolder(folder));
    ASSERT_TRUE(paths::writeFileAtomically(folder / "Ht300Run.mtd", writeMethodFile(m)));

    sim::SimConfig adcConfig;
    adcConfig.instrument = sim::Instrument::Ostrel;
    adcConfig.speed = 20;
    sim::PtySimulator adcSim(adcConfig);
    sim::Ht300SimConfig samplerConfig;
    samplerConfig.faults = {{sim::Ht300FaultKind::NoAnswer, 10, 0},
                            {sim::Ht300FaultKind::BadCheck, 25, 0},
                            {sim::Ht300FaultKind::Short, 40, 0}};
    sim::Ht300PtySimulator samplerSim(samplerConfig);
    std::string error;
    ASSERT_TRUE(adcSim.start(&error)) << error;
    ASSERT_TRUE(samplerSim.start(&error)) << error;

    SettingsStore store(tmp / "settings", true);
    CDeviceManager devices(store);
    devices.setChannelFactory(CChannel::factory(&host));
    CDevice* adc = devices.add(static_cast<int>(DeviceType::Ostrel));
    auto* sampler = dynamic_cast<CHt300Sampler*>(devices.add(static_cast<int>(DeviceType::Ht300)));
    ASSERT_NE(adc, nullptr);
    ASSERT_NE(sampler, nullptr);
    adc->setPortPath(adcSim.path());
    adc->setHandshakeTimeoutMs(2000);
    sampler->setPortPath(samplerSim.path());
    sampler->setAnswerTimeoutMs(200);
    sampler->setStatusPeriodMs(50);
    sampler->setRecordingTarget(std::make_shared<Ht300DeviceListTarget>(
        devices, [&](std::function<void()> w) { host.post(std::move(w)); }));
    auto& channel = static_cast<CChannel&>(adc->channel(0));
    channel.SetMethod("Ht300Run", 1, true);

    Ht300Settings s;
    s.deviceIndex = 0;
    s.startChannelBits0 = 1;  // the converter's first channel
    s.repeat = 1;
    sampler->setSettings(s);
    const int vials[] = {3, 7, 12};
    for (int v : vials)
        sampler->setVial(v - 1, Ht300Vial{text::format("Масло трансформаторное %d", v), true});

    ASSERT_TRUE(test::succeeded(adc->open()));
    ASSERT_TRUE(test::succeeded(sampler->open()));
    ASSERT_TRUE(test::eventually([&] { return sampler->state() == CHt300Sampler::Waiting; }));
    ASSERT_TRUE(test::succeeded(sampler->startSeries()));
    ASSERT_TRUE(test::eventually(
        [&] {
            host.drain();
            return host.results.size() >= 3;
        },
        30000));
    ASSERT_TRUE(test::eventually([&] { return sampler->state() == CHt300Sampler::Waiting; }));
    ASSERT_EQ(host.results.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(host.results[i]) << host.results[i].message();
        ASSERT_TRUE(host.results[i]->saved);
        CZelmoraDoc back;
        ASSERT_TRUE(back.Read(host.results[i]->path));
        EXPECT_EQ(back.passport.vial, vials[i]);
        EXPECT_EQ(back.passport.sample, text::format("Масло трансформаторное %d", vials[i]));
        EXPECT_EQ(back.passport.sample2, "Инжекция 1");
        EXPECT_EQ(back.sampleCount(), 75u);  // 0.25 min at 5 points per second
    }
    // Every fault happened and was survived, each with its line.
    EXPECT_EQ(samplerSim.withModel([](auto& mdl) { return mdl.faultsApplied(); }), 3u);
    EXPECT_EQ(samplerSim.withModel([](auto& mdl) { return mdl.injections(); }), 3);
    EXPECT_EQ(sampler->missedAnswers(), 1u);
    EXPECT_EQ(sampler->badAnswers(), 2u);
    EXPECT_EQ(sampler->commandsGivenUp(), 0u);
    const std::string log = text::fromCp1251(test::readFile(CWorkLog::instance().path()));
    EXPECT_NE(log.find("!!! Нет ответа за 200 мсек"), std::string::npos);
    EXPECT_NE(log.find("отвергнут: ошибка контрольной суммы"), std::string::npos);
    EXPECT_NE(log.find("HT300: Доза: виала 12, ввод 1."), std::string::npos);
    sampler->close();
    adc->close();
}

TEST(Ht300Series, AnArmedChannelStartedByAnInjectionIsNotReadyForTheNext) {
    if (!CWorkLog::instance().active())
        CWorkLog::instance().start({}, "test", "test");
    test::TempDir tmp;
    SeriesHost host(tmp.path());
    SettingsStore store(tmp / "settings", true);
    CDeviceManager devices(store);
    devices.setChannelFactory(CChannel::factory(&host));
    CDevice* adc = devices.add(static_cast<int>(DeviceType::DemoAdc));
    ASSERT_NE(adc, nullptr);
    ASSERT_TRUE(test::succeeded(adc->open()));
    auto& channel = static_cast<CChannel&>(adc->channel(0));
    ASSERT_TRUE(channel.Arm().ok());
    host.drain();
    Ht300DeviceListTarget target(devices,
                                 [&](std::function<void()> w) { host.post(std::move(w)); });

    // Before the injection: the armed channel is ready.
    (void)target.readyToRecord(0, 1);
    host.drain();
    ASSERT_TRUE(target.readyToRecord(0, 1));
    host.drain();

    // The injection's start is posted, and the sampler looks again before
    // the interface thread came to either: that look is answered after the
    // start and must find the channel recording.
    Ht300Injection inj;
    inj.deviceIndex = 0;
    inj.channelBits = 1;
    inj.vial = 4;
    inj.injection = 1;
    inj.sampleName = "Проба 4";
    target.startRecording(inj);
    EXPECT_FALSE(target.readyToRecord(0, 1));
    host.drain();
    ASSERT_TRUE(channel.isRecording());
    EXPECT_FALSE(target.readyToRecord(0, 1));
    host.drain();
    EXPECT_FALSE(target.readyToRecord(0, 1));
    ASSERT_NE(channel.document(), nullptr);
    EXPECT_EQ(channel.document()->passport.vial, 4);
    EXPECT_EQ(channel.document()->passport.sample, "Проба 4");
    adc->close();
}

}  // namespace
}  // namespace zelmora
