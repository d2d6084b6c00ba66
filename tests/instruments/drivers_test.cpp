// Each converter driver against its simulator on a pseudo-terminal.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "app/text.h"
#include "app/work_log.h"
#include "instruments/demo_adc.h"
#include "instruments/detector_adc.h"
#include "instruments/device_types.h"
#include "instruments/fluorat_adc.h"
#include "instruments/ostrel_adc.h"
#include "instruments/varsel_adc.h"
#include "instruments/wire/demo_signal.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using namespace std::chrono_literals;
using sim::FaultKind;
using sim::Instrument;
using test::eventually;
using test::expectConsecutiveFrames;
using test::samples;

sim::SyntheticSignal ramp(double baseline, double perSecond, double peakHeight = 0) {
    sim::SyntheticSignal s;
    s.baseline = baseline;
    s.rampPerSecond = perSecond;
    if (peakHeight != 0)
        s.peaks.push_back({12, peakHeight, 1.5});
    return s;
}

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CWorkLog::instance().active())
            CWorkLog::instance().start({}, "test", "test");  // below ZELMORA_HOME
    }
};

TEST_F(DriverTest, OstrelRecordsThroughGarbageSplitsAndBadChecks) {
    sim::SimConfig c;
    c.instrument = Instrument::Ostrel;
    c.speed = 100;
    // Ramps make every frame's sample unique; a peak rises well above it.
    c.signals = {ramp(1, 0.37, 300), ramp(-2, 0.11, 0.5)};
    c.faults = {{FaultKind::Garbage, 50, 50, 23},
                {FaultKind::Split, 37, 41, 3},
                {FaultKind::BadCheck, 120, 0, 0},
                {FaultKind::BadCheck, 333, 0, 0}};
    // Channel 2 switches to the high-sensitivity range and back.
    c.ranges = {{1, 200, true}, {1, 300, false}};
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<COstrelAdc>(sim.path());
    dev->setInvert(1, true);
    ASSERT_TRUE(test::succeeded(dev->open()));
    EXPECT_FALSE(dev->open());  // already running
    samples(*dev, 0).recordNow();
    samples(*dev, 1).recordNow();
    ASSERT_TRUE(eventually([&] { return sim.nextFrame() > 420; }, 5000));
    ASSERT_TRUE(samples(*dev, 0).waitForSamples(250, 3000));
    const auto alarms = dev->alarms().count(kAlarmChecksum);
    const float factorAfter = dev->factor(1);
    const std::string status = dev->statusLine();
    samples(*dev, 0).stop(false);
    samples(*dev, 1).stop(false);
    dev->close();
    EXPECT_FALSE(dev->isRunning());
    dev->close();  // twice is harmless

    const auto src = sim.snapshot();
    const auto s0 = samples(*dev, 0).samples();
    const auto s1 = samples(*dev, 1).samples();
    const long long n0 = expectConsecutiveFrames(s0, src, 0, sim.nextFrame());
    EXPECT_EQ(expectConsecutiveFrames(s1, src, 1, sim.nextFrame(), -1.0), n0);
    EXPECT_GE(alarms, 1u);
    // The range frames after frame 300 put channel 2 back on the normal range.
    EXPECT_EQ(factorAfter, 1.0f);
    EXPECT_EQ(status, "Канал 1: 10В    Канал 2: 10В    ");
    // The high-sensitivity stretch was scaled by 1/270 (the simulator sent
    // 270 times the signal there).
    if (n0 >= 0 && n0 < 200 && s1.size() > static_cast<std::size_t>(260 - n0)) {
        // Frame 250 is at index 250 - n0, less one when the bad frame 120
        // fell inside the recording.
        const long long at = 250 - n0 - (n0 <= 120 ? 1 : 0);
        EXPECT_NEAR(s1[static_cast<std::size_t>(at)], -c.signals[1].valueAt(25.0), 0.01);
    }
}

TEST_F(DriverTest, OstrelStartButtons) {
    sim::SimConfig c;
    c.instrument = Instrument::Ostrel;
    c.speed = 60;
    c.signals = {ramp(0, 1)};
    // Each press is held for several frames: one press each.
    c.buttons = {{0, 30, 6}, {0, 110, 6}, {0, 150, 6}, {0, 250, 6}};
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<COstrelAdc>(sim.path());
    test::ManualClock clock;
    dev->setClock(clock.fn());
    test::CommandLog log;
    CDevice* d = dev.get();
    dev->setCommandSink(log.sink([d](int id) {
        if (id == command::kStop)
            d->channel(0).stop(true);
    }));
    ASSERT_TRUE(test::succeeded(dev->open()));
    samples(*dev, 0).arm();
    ASSERT_TRUE(eventually([&] { return samples(*dev, 0).startCount() == 1; }));
    ASSERT_TRUE(eventually([&] { return !samples(*dev, 0).isRecording(); }));
    EXPECT_TRUE(samples(*dev, 0).lastStopInterrupted());
    ASSERT_TRUE(eventually([&] { return sim.nextFrame() > 200; }));
    clock.ms += 6000;  // the third press came within 5 s of the stop; the fourth does not
    ASSERT_TRUE(eventually([&] { return log.get().size() >= 2; }));
    dev->close();
    EXPECT_EQ(log.get(), (std::vector<int>{command::kStop, command::kRecord}));
    EXPECT_EQ(samples(*dev, 0).startCount(), 1);
    // The recording ran from the first press to the second (80 frames).
    EXPECT_NEAR(static_cast<double>(samples(*dev, 0).sampleCount()), 80, 3);
}

TEST_F(DriverTest, SilenceClosesTheDeviceAndCloseWakesTheReader) {
    sim::SimConfig c;
    c.instrument = Instrument::Ostrel;
    c.speed = 10;
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<COstrelAdc>(sim.path(), 300);
    dev->setDeviceIndex(3);
    ASSERT_TRUE(test::succeeded(dev->open()));
    samples(*dev, 1).recordNow();
    ASSERT_TRUE(samples(*dev, 1).waitForSamples(5, 2000));
    sim.setSilent(true);
    ASSERT_TRUE(eventually([&] { return !dev->isRunning(); }, 3000));
    EXPECT_FALSE(samples(*dev, 1).isRecording());
    EXPECT_TRUE(samples(*dev, 1).lastStopInterrupted());
    EXPECT_FALSE(dev->channel(0).active());
    EXPECT_NE(workLogText().find("! Прибор 4 (Zelmora Ostrel): нет данных от прибора 300 мс"),
              std::string::npos);

    // A silent instrument fails the handshake.
    dev->setHandshakeTimeoutMs(100);
    EXPECT_FALSE(dev->open());
    EXPECT_FALSE(dev->isRunning());

    // Reopen with the default time-out; close while the reader waits.
    sim.setSilent(false);
    dev->setReceiveTimeoutMs(kDefaultReceiveTimeoutMs);
    ASSERT_TRUE(test::succeeded(dev->open()));
    sim.setSilent(true);
    std::this_thread::sleep_for(100ms);
    const auto t0 = std::chrono::steady_clock::now();
    dev->close();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
    EXPECT_FALSE(dev->isRunning());

    sim.stop();
}

TEST_F(DriverTest, CloseFromTheReaderThread) {
    sim::SimConfig c;
    c.instrument = Instrument::DetectorAdc;
    c.speed = 20;
    c.buttons = {{1, 20, 2}};
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<CDetectorAdc>(sim.path());
    CDevice* d = dev.get();
    std::atomic<int> posted{0};
    dev->setCommandSink([d, &posted](int) {
        ++posted;
        d->close();  // on the reader thread
    });
    ASSERT_TRUE(test::succeeded(dev->open()));
    ASSERT_TRUE(eventually([&] { return posted.load() == 1 && !dev->isRunning(); }));
    dev->close();
    EXPECT_FALSE(dev->isRunning());
    ASSERT_TRUE(test::succeeded(dev->open()));  // and it opens again
    dev->close();
}

TEST_F(DriverTest, DetectorAdcScalesAndSendsItsSettings) {
    sim::SimConfig c;
    c.instrument = Instrument::DetectorAdc;
    c.speed = 60;
    c.signals = {ramp(5, 3.3, 900), ramp(-1, 0.21)};
    c.faults = {{FaultKind::Garbage, 10, 30, 40}};
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<CDetectorAdc>(sim.path());
    dev->setWriterPeriodMs(20);
    ASSERT_TRUE(test::succeeded(dev->open()));
    samples(*dev, 0).recordNow();
    samples(*dev, 1).recordNow();
    ASSERT_TRUE(dev->applySettings({300, 55, false}));
    ASSERT_TRUE(eventually([&] {
        const auto cmds = sim.snapshot().detectorCommands();
        return std::any_of(cmds.begin(), cmds.end(),
                           [](auto& x) { return x.offset == 300 && x.temperature == 55; });
    }));
    EXPECT_TRUE(eventually([&] { return !dev->pendingCommand(); }));
    ASSERT_TRUE(samples(*dev, 0).waitForSamples(150, 3000));
    samples(*dev, 0).stop(false);
    samples(*dev, 1).stop(false);
    dev->close();
    const auto src = sim.snapshot();
    const auto s0 = samples(*dev, 0).samples();
    const long long n0 = expectConsecutiveFrames(s0, src, 0, sim.nextFrame());
    EXPECT_EQ(expectConsecutiveFrames(samples(*dev, 1).samples(), src, 1, sim.nextFrame()), n0);
    // Channel 1 carries ten times the converter's range.
    EXPECT_GT(*std::max_element(s0.begin(), s0.end()), 800.0);
}

TEST_F(DriverTest, FluoratStartsOnDataAndStopsOnSilence) {
    sim::SimConfig c;
    c.instrument = Instrument::Fluorat;
    c.speed = 40;
    c.signals = {ramp(10, 1.7, 400)};
    c.waitForStartKey = true;
    c.runFrames = 40;
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<CFluoratAdc>(sim.path(), 150);
    ASSERT_TRUE(test::succeeded(dev->open()));  // a silent instrument: no handshake
    samples(*dev, 0).setMethodName("Флюорат.mtd");
    samples(*dev, 0).arm();
    ASSERT_TRUE(eventually([&] { return samples(*dev, 0).startCount() == 1; }));
    ASSERT_TRUE(eventually([&] { return !samples(*dev, 0).isRecording(); }, 4000));
    EXPECT_TRUE(samples(*dev, 0).lastStopInterrupted());
    // Silence ends the run, not the connection.
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(dev->isRunning());
    EXPECT_EQ(dev->lastLoadMethod(), "Флюорат.mtd");
    ASSERT_TRUE(eventually([&] { return sim.snapshot().keys().size() >= 12; }));
    dev->close();
    const auto src = sim.snapshot();
    std::vector<std::uint8_t> expectKeys(wire::kFluoratMethodKeys.begin(),
                                         wire::kFluoratMethodKeys.end());
    expectKeys.push_back(13);
    expectKeys.push_back(27);
    EXPECT_EQ(src.keys(), expectKeys);
    const auto got = samples(*dev, 0).samples();
    ASSERT_EQ(got.size(), 40u);
    // The instrument's clock ran while it was silent: any 40 consecutive frames.
    EXPECT_GE(expectConsecutiveFrames(got, src, 0, sim.nextFrame()), 0);
    EXPECT_NE(workLogText().find("  Запущен метод Флюорат.mtd на приборе 1 (Флюорат) на канале 1"),
              std::string::npos);
}

TEST_F(DriverTest, VarselFollowsTheStateByteAndItsSetpoints) {
    sim::SimConfig c;
    c.instrument = Instrument::Varsel;
    c.speed = 80;
    c.signals = {ramp(-50, 2.9, 70)};
    c.buttons = {{0, 20, 1}, {0, 150, 1}, {0, 300, 1}};
    c.faults = {{FaultKind::BadCheck, 60, 0, 0},
                {FaultKind::Garbage, 25, 25, 50},
                {FaultKind::Split, 33, 0, 2}};
    c.wavelength = 254;
    c.division = 1;
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<CVarselAdc>(sim.path());
    test::ManualClock clock;
    dev->setClock(clock.fn());
    ASSERT_TRUE(test::succeeded(dev->open()));
    ASSERT_TRUE(eventually([&] { return dev->wantedWavelength() == 254; }));
    EXPECT_EQ(dev->wantedDivision(), 1);
    EXPECT_FALSE(dev->applyWanted(0, 1));
    ASSERT_TRUE(dev->applyWanted(280, 4));
    samples(*dev, 0).arm();
    ASSERT_TRUE(eventually([&] { return samples(*dev, 0).isRecording(); }));
    ASSERT_TRUE(eventually([&] { return sim.nextFrame() > 200; }));
    // The toggle at frame 150 came less than 5 s after the start.
    EXPECT_TRUE(samples(*dev, 0).isRecording());
    clock.ms += 6000;
    ASSERT_TRUE(eventually([&] { return !samples(*dev, 0).isRecording(); }));
    EXPECT_TRUE(samples(*dev, 0).lastStopInterrupted());
    ASSERT_TRUE(eventually([&] {
        const auto s = sim.snapshot();
        return s.wavelength() == 280 && s.division() == 4;
    }));
    // The stop command reaches the instrument.
    EXPECT_TRUE(eventually([&] {
        const auto cmds = sim.snapshot().varselCommands();
        return std::any_of(cmds.begin(), cmds.end(), [](auto& x) { return x.op == 7; });
    }));
    dev->close();
    const auto src = sim.snapshot();
    std::vector<int> ops;
    for (const auto& cmd : src.varselCommands())
        if (cmd.op != 0)
            ops.push_back(cmd.op);
    EXPECT_EQ(ops, (std::vector<int>{3, 7}));
    EXPECT_EQ(dev->currentWavelength(), 280);
    const auto got = samples(*dev, 0).samples();
    // Recording began with the toggled frame 20 and ended before frame 300.
    EXPECT_EQ(expectConsecutiveFrames(got, src, 0, sim.nextFrame()), 20);
    EXPECT_NEAR(static_cast<double>(got.size()), 279, 2);
}

TEST_F(DriverTest, DemoAdcGeneratesThePeaksAndStartsChannelThree) {
    CDemoAdc dev;
    ASSERT_TRUE(dev.init(0));
    dev.setPeriodMs(0);
    dev.setRandomSource([] { return std::pair{0.25, 0.5}; });
    samples(dev, 0).recordNow(true, 1200);
    samples(dev, 2).arm();
    ASSERT_TRUE(dev.open());
    EXPECT_TRUE(dev.channel(1).active());
    ASSERT_TRUE(samples(dev, 0).waitStopped(5000));
    EXPECT_FALSE(samples(dev, 0).lastStopInterrupted());  // full: completed
    EXPECT_TRUE(samples(dev, 2).isRecording());
    dev.close();
    EXPECT_FALSE(dev.channel(1).active());
    wire::DemoSignalGenerator g;
    const auto got = samples(dev, 0).samples();
    ASSERT_EQ(got.size(), 1200u);
    for (std::size_t i = 0; i < got.size(); ++i)
        ASSERT_DOUBLE_EQ(got[i], g.next(0.25, 0.5)[0]) << i;
    EXPECT_GT(samples(dev, 2).sampleCount(), 0u);
}

}  // namespace
}  // namespace zelmora
