// The electrochemical detector: its frame and command codes, the code grids
// of its settings, and the driver against its simulator — brought to the
// wanted settings and temperatures, started by readiness, the switching
// transient of an analysis start held back, the analysis flag following the
// recording.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/settings_store.h"
#include "instruments/ehd_detector.h"
#include "method/instrument_settings.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using test::eventually;
using test::samples;
using namespace wire;

TEST(EhdWire, CodeGridsClampAndSnap) {
    EXPECT_EQ(ehdTemperatureCode(20), 819);
    EXPECT_EQ(ehdTemperatureCode(60), ehdTemperatureCode(50));  // 50 °C is the top
    EXPECT_EQ(ehdTemperatureCode(50), 2047);
    EXPECT_EQ(ehdTemperatureCode(-5), 0);
    EXPECT_NEAR(ehdTemperatureCelsius(819), 20.0, 0.01);
    EXPECT_EQ(ehdPotentialCode(0), 2047);
    EXPECT_EQ(ehdPotentialCode(2.5), 4095);
    EXPECT_EQ(ehdPotentialCode(-3), 0);
    EXPECT_NEAR(ehdPotentialVolts(2047), 0.0, 0.002);
    EXPECT_DOUBLE_EQ(ehdPotentialVolts(4095), 2.5);
    EXPECT_EQ(ehdTimeCode(119), 2);
    EXPECT_EQ(ehdTimeCode(1000), 20);
    EXPECT_DOUBLE_EQ(ehdTimeSeconds(3), 120);
    // Not a number (an empty field) is not an arbitrary code.
    EXPECT_EQ(ehdTemperatureCode(std::nan("")), 0);
    EXPECT_EQ(ehdPotentialCode(std::nan("")), 2047);
}

TEST(EhdWire, FramesCarryEverySettingByKind) {
    for (int kind = 0; kind < 4; ++kind) {
        EhdFrame f;
        f.kind = kind;
        f.range = kind % 2;
        f.ready = kind != 2;
        f.mode = 2;
        f.analysis = true;
        f.detectorThermostat = true;
        f.raw = 0xABCDEF;
        f.detectorTemperatureMeasured = kind % 2 == 0;
        f.measuredTemperatureCode = 1234;
        if (kind == 0) {
            f.cleaningTime = 7;
            f.restoringTime = 20;
            f.delayTime = 63;
        } else if (kind == 1) {
            f.measuringPotential = 4095;
            f.columnTemperature = 1000;
        } else if (kind == 2) {
            f.cleaningPotential = 1;
            f.restoringPotential = 2048;
        } else {
            f.detectorTemperature = 2047;
        }
        const auto bytes = buildEhdFrame(f);
        for (std::uint8_t b : bytes)
            EXPECT_EQ(b & 0x80, 0) << "kind " << kind;
        const EhdFrame back = decodeEhdFrame(bytes);
        EXPECT_EQ(back.raw, f.raw);
        EXPECT_EQ(back.kind, kind);
        EXPECT_EQ(back.range, f.range);
        EXPECT_EQ(back.ready, f.ready);
        EXPECT_EQ(back.mode, 2);
        EXPECT_TRUE(back.analysis);
        EXPECT_TRUE(back.detectorThermostat);
        EXPECT_FALSE(back.columnThermostat);
        EXPECT_EQ(back.detectorTemperatureMeasured, f.detectorTemperatureMeasured);
        EXPECT_EQ(back.measuredTemperatureCode, 1234);
        EXPECT_EQ(back.cleaningTime, f.cleaningTime);
        EXPECT_EQ(back.delayTime, f.delayTime);
        EXPECT_EQ(back.measuringPotential, f.measuringPotential);
        EXPECT_EQ(back.columnTemperature, f.columnTemperature);
        EXPECT_EQ(back.restoringPotential, f.restoringPotential);
        EXPECT_EQ(back.detectorTemperature, f.detectorTemperature);
    }
    // The signal over the full count, by range and mode.
    EXPECT_DOUBLE_EQ(ehdSignal(0, 0, 0), -10000);
    EXPECT_DOUBLE_EQ(ehdSignal(0xFFFFFF, 0, 1), 10000);
    EXPECT_DOUBLE_EQ(ehdSignal(0xFFFFFF, 1, 1), 80000);
    EXPECT_DOUBLE_EQ(ehdSignal(0, 1, 2), -20000);
    EXPECT_NEAR(ehdSignal(ehdRawFromSignal(12.5, 0, 0), 0, 0), 12.5, 0.001);
}

TEST(EhdWire, ParserSkipsBytesThatCannotStartAFrameAndResynchronises) {
    EhdFrame f;
    f.raw = 777;
    f.kind = 1;
    const auto bytes = buildEhdFrame(f);
    EhdFrameParser p;
    EXPECT_FALSE(p.feed(0x80));  // never starts a frame
    EXPECT_FALSE(p.feed(0xC5));
    EXPECT_EQ(p.droppedBytes(), 2u);
    int frames = 0;
    for (std::uint8_t b : bytes)
        frames += p.feed(b);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(p.frame().raw, 777u);

    // A stray byte, then the pause before the next frame: the frame
    // after the pause is read whole, not shifted.
    EXPECT_FALSE(p.feed(0x11));
    p.restartFrame();
    EXPECT_EQ(p.resyncs(), 1u);
    frames = 0;
    for (std::uint8_t b : bytes)
        frames += p.feed(b);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(p.frame().raw, 777u);

    const EhdCommandBytes c = buildEhdCommand(kEhdDetectorTemperature, 0x3F);
    EXPECT_EQ(c[0], 22);
    EXPECT_EQ(c[1], 0xBF);
    EhdCommandParser cp;
    EXPECT_FALSE(cp.feed(0x85));  // a value without a command
    EXPECT_FALSE(cp.feed(c[0]));
    const auto got = cp.feed(c[1]);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->number, 22);
    EXPECT_EQ(got->value, 0x3F);
}

TEST(EhdDetector, KeepsItsSettingsAndTakesAMethodsBlock) {
    test::TempDir dir;
    SettingsStore store(dir / "settings", true);
    CEhdDetector d;
    ASSERT_TRUE(d.init(0));
    EXPECT_EQ(d.channelCount(), 1);
    EXPECT_DOUBLE_EQ(d.sampleRate(0), 14.06);
    EhdSettings s;
    s.measuringPotential = 3000;
    s.detectorTemperature = ehdTemperatureCode(35);
    s.delayTime = 5;
    s.mode = 2;
    s.range = 1;
    s.columnThermostat = false;
    s.invert = true;
    d.applyWanted(s);
    d.saveSettings(store, "Dev");
    EXPECT_EQ(store.readInt("Dev", "Urel", -1), 3000);
    EXPECT_EQ(store.readInt("Dev", "TermostatKEnable", -1), 0);

    CEhdDetector e;
    ASSERT_TRUE(e.init(0));
    e.loadSettings(store, "Dev");
    EXPECT_EQ(e.wanted(), s);
    // Values the instrument cannot take read as the defaults.
    store.setInt("Dev", "Diapazon", 5);
    store.setInt("Dev", "Tdet", 4000);
    store.setInt("Dev", "DetRezhim", 3);
    e.loadSettings(store, "Dev");
    EXPECT_EQ(e.wanted().range, 0);
    EXPECT_EQ(e.wanted().detectorTemperature, 819);
    EXPECT_EQ(e.wanted().mode, 0);

    MethodEhdSettings m;
    m.mode = 1;
    m.detectorTemperature = 60;  // above the detector's 50 °C
    m.measuringPotential = 0.7;
    m.cleaningTime = 200;
    const EhdSettings fromMethod = EhdSettings::fromMethod(m, false);
    EXPECT_EQ(fromMethod.detectorTemperature, 2047);
    EXPECT_EQ(fromMethod.cleaningTime, 5);
    const MethodEhdSettings back = fromMethod.toMethod();
    EXPECT_NEAR(back.detectorTemperature, 50, 0.03);
    EXPECT_NEAR(back.measuringPotential, 0.7, 0.0013);
    EXPECT_DOUBLE_EQ(back.cleaningTime, 200);
    EXPECT_EQ(back.mode, 1);
}

TEST(EhdDetector, BringsTheDetectorToReadinessAndRecordsAnAnalysis) {
    sim::SimConfig c;
    c.instrument = sim::Instrument::Ehd;
    c.speed = 8;
    sim::SyntheticSignal ramp;
    ramp.baseline = -20;
    ramp.rampPerSecond = 1.5;
    c.signals = {ramp};
    sim::PtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto dev = test::makeDevice<CEhdDetector>(sim.path());
    dev->setSweepPauseMs(0);
    test::ManualClock clock;
    dev->setClock(clock.fn());
    ASSERT_TRUE(test::succeeded(dev->open()));
    EXPECT_EQ(dev->runState(), 1);
    EXPECT_EQ(dev->statusText(), "Установка параметров");

    // The writer brings the instrument to the wanted settings.
    const EhdSettings want = dev->wanted();
    ASSERT_TRUE(eventually(
        [&] {
            const wire::EhdFrame s = sim.snapshot().ehd().settings;
            return s.measuringPotential == want.measuringPotential &&
                   s.cleaningPotential == want.cleaningPotential &&
                   s.restoringPotential == want.restoringPotential &&
                   s.cleaningTime == want.cleaningTime && s.delayTime == want.delayTime &&
                   s.range == 0 && s.detectorThermostat && s.columnThermostat;
        },
        10000));
    // Two seconds in "setting parameters", then the thermostats.
    EXPECT_EQ(dev->runState(), 1);
    clock.ms += 2100;
    ASSERT_TRUE(eventually([&] { return dev->runState() == 4 || dev->runState() == 5; }));
    ASSERT_TRUE(eventually([&] { return dev->runState() == 5; }, 10000));
    EXPECT_NEAR(dev->reported().detectorTemperatureAverage, 20, 0.3);

    // A method started on the channel sets the parameters again; once
    // ready, the waiting channel starts and the analysis flag follows.
    samples(*dev, 0).arm();
    EXPECT_EQ(dev->runState(), 1);
    EXPECT_FALSE(samples(*dev, 0).isRecording());
    clock.ms += 2100;
    ASSERT_TRUE(eventually([&] { return samples(*dev, 0).isRecording(); }));
    EXPECT_EQ(dev->runState(), 6);
    EXPECT_EQ(dev->statusText(), "Анализ");
    // Nothing for 55 frames (half a second here), then the 56th frame's
    // value 56 times.
    EXPECT_EQ(samples(*dev, 0).sampleCount(), 0u);
    ASSERT_TRUE(eventually([&] { return sim.snapshot().ehd().settings.analysis; }, 5000));
    ASSERT_TRUE(samples(*dev, 0).waitForSamples(80, 10000));
    samples(*dev, 0).stop(false);
    const std::vector<double> got = samples(*dev, 0).samples();
    for (int i = 1; i < CEhdDetector::kSkipFrames; ++i)
        ASSERT_EQ(got[static_cast<std::size_t>(i)], got[0]) << i;
    const std::vector<double> after(got.begin() + CEhdDetector::kSkipFrames - 1, got.end());
    test::expectConsecutiveFrames(after, sim.snapshot(), 0, sim.nextFrame(), 1.0, 0.01);

    // The recording ended: analysis ended, then waiting; the flag goes off.
    ASSERT_TRUE(eventually([&] { return dev->runState() == 0; }));
    EXPECT_EQ(dev->statusText(), "Ожидание");
    ASSERT_TRUE(eventually([&] { return !sim.snapshot().ehd().settings.analysis; }, 5000));

    // New settings from the page: a 60 °C wish is the detector's 50 °C.
    EhdSettings hot = dev->wanted();
    hot.detectorTemperature = wire::ehdTemperatureCode(60);
    hot.mode = 1;
    dev->applyWanted(hot);
    EXPECT_EQ(dev->runState(), 1);
    ASSERT_TRUE(eventually(
        [&] {
            const wire::EhdFrame s = sim.snapshot().ehd().settings;
            return s.detectorTemperature == 2047 && s.mode == 1 && s.range == 0;
        },
        10000));
    dev->close();
}

// The detector with its received bytes handed over by the test, on a
// thread the test controls, instead of a line.
class FedEhdDetector : public CEhdDetector {
  public:
    using CEhdDetector::onReceive;
};

TEST(EhdDetector, AStepDoesNotUndoARecordingStartedMeanwhile) {
    // Without thermostats the temperatures are always right: a step in
    // state 4 moves on to ready (5). The recording starts (6) while that
    // step is between looking at the state and moving it on.
    FedEhdDetector dev;
    EhdSettings s = dev.wanted();
    s.detectorThermostat = false;
    s.columnThermostat = false;
    dev.applyWanted(s);
    dev.setRunState(4);

    // The reader calls the clock once per delivery and then once in the
    // step, right after reading the state: the second call waits there.
    std::mutex m;
    std::condition_variable cv;
    bool paused = false;
    bool resume = false;
    std::atomic<std::thread::id> reader{};
    int readerCalls = 0;
    dev.setClock([&]() -> std::int64_t {
        if (std::this_thread::get_id() == reader.load() && ++readerCalls == 2) {
            std::unique_lock lock(m);
            paused = true;
            cv.notify_all();
            cv.wait(lock, [&] { return resume; });
        }
        return 1'000'000;
    });
    wire::EhdFrame f;
    f.ready = true;
    const auto bytes = wire::buildEhdFrame(f);
    std::thread t([&] {
        reader.store(std::this_thread::get_id());
        dev.onReceive(bytes.data(), bytes.size());
    });
    bool reached = false;
    {
        std::unique_lock lock(m);
        reached = cv.wait_for(lock, std::chrono::seconds(10), [&] { return paused; });
    }
    if (reached) {
        EXPECT_EQ(dev.runState(), 4);
        dev.onRecordingStarted(0);
        EXPECT_EQ(dev.runState(), 6);
    }
    {
        std::lock_guard lock(m);
        resume = true;
    }
    cv.notify_all();
    t.join();
    ASSERT_TRUE(reached);
    EXPECT_EQ(dev.runState(), 6);
    EXPECT_EQ(dev.statusText(), "Анализ");
    EXPECT_TRUE(dev.wantedAnalysis());
}

}  // namespace
}  // namespace zelmora
