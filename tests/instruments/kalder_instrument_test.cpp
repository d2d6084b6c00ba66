// The chromatograph driver against the simulated chromatograph on a
// pseudo-terminal: baud-rate detection, samples on the detector and
// auxiliary channels, the parameter exchange with its write check and
// time-outs, plug-and-play over the line, damaged and silent lines.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/device_manager.h"
#include "instruments/kalder_instrument.h"
#include "instruments/kalder_modules.h"
#include "instruments/serial_storehouse.h"
#include "instruments/sim/kalder_pty_simulator.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using namespace kalder;
using test::eventually;
using test::samples;

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

sim::KalderSimModule simModule(std::uint8_t address, std::uint32_t serial, int slot) {
    sim::KalderSimModule m;
    m.address = address;
    m.serial = serial;
    m.pollSlot = slot;
    m.params[kParamSerial] = serial;
    m.params[kParamFirmware] = 0x105;
    for (std::uint16_t p : identificationParams(address))
        m.params.emplace(p, 0);
    return m;
}

sim::SyntheticSignal ramp(double base, double perSecond) {
    sim::SyntheticSignal s;
    s.baseline = base;
    s.rampPerSecond = perSecond;
    return s;
}

class KalderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CWorkLog::instance().active())
            CWorkLog::instance().start({}, "test", "test");
    }
    std::unique_ptr<CKalderInstrument> connect(sim::KalderPtySimulator& sim, int receiveMs = 3000) {
        auto d = std::make_unique<CKalderInstrument>(1);
        EXPECT_TRUE(d->init(0));
        d->setPortPath(sim.path());
        d->setReceiveTimeoutMs(receiveMs);
        d->setWriterPeriodsMs(5, 20);
        d->setStorehouseStore(&store_);
        return d;
    }
    test::TempDir dir_;
    SettingsStore store_{dir_ / "user.reg", true};
};

// The recorded samples of a detector channel are consecutive samples of
// the simulator, packets with a bad checksum left out.
void expectConsecutive(const std::vector<double>& got, sim::KalderPtySimulator& sim, int channel,
                       std::uint64_t badPacket = ~0ull) {
    ASSERT_GE(got.size(), 8u);
    const std::uint64_t limit = sim.nextPacket() + 2;
    // A packet the line could not take (the reader fell behind on a busy
    // machine) is missing too.
    const auto dropped = sim.droppedPackets();
    auto skipped = [&](std::uint64_t n) {
        return n == badPacket || std::find(dropped.begin(), dropped.end(), n) != dropped.end();
    };
    for (std::uint64_t n0 = 0; n0 < limit; ++n0) {
        const float first =
            sim.withModel([&](auto& m) { return m.expectedSample(channel, n0, 0); });
        if (static_cast<double>(first) != got[0])
            continue;
        std::uint64_t n = n0;
        std::size_t i = 0;
        bool ok = true;
        sim.withModel([&](auto& m) {
            for (; i < got.size() && ok; ++n) {
                if (skipped(n))
                    continue;
                for (int k = 0; k < 4 && i < got.size(); ++k, ++i)
                    ok = static_cast<double>(m.expectedSample(channel, n, k)) == got[i];
            }
            return 0;
        });
        if (ok)
            return;
    }
    ADD_FAILURE() << "the " << got.size() << " samples of channel " << channel + 1
                  << " are not consecutive samples of the simulator";
}

TEST_F(KalderTest, ConnectsAtEitherRateLoadsTheCompositionAndRecords) {
    for (int baud : {9600, 19200}) {
        SCOPED_TRACE(baud);
        sim::KalderSimConfig c = sim::defaultKalderConfig();
        c.baud = baud;
        c.speed = 20;
        c.signals = {ramp(1, 0.5), ramp(-3, 0.25)};
        sim::KalderPtySimulator sim(c);
        std::string error;
        ASSERT_TRUE(sim.start(&error)) << error;
        auto d = connect(sim);
        ASSERT_TRUE(test::succeeded(d->open()));
        EXPECT_EQ(d->baudRate(), baud);
        EXPECT_TRUE(d->linkReady());
        // The control unit's stack names the modules; their parameters and
        // the control unit's are read.
        ASSERT_TRUE(eventually([&] { return d->compositionKnown(); }, 8000));
        EXPECT_EQ(d->compositionText(), "ИМТ1 ДТП1 ГН12 Крн12");
        ASSERT_TRUE(eventually([&] { return d->remainingToLoad(5) == 0; }, 15000))
            << d->paramStatistics(5);
        const auto serial = d->queue().find(kControlUnitAddress, kParamSerial);
        ASSERT_TRUE(serial);
        EXPECT_EQ(serial->raw(), 0x00C0FFEEu);
        EXPECT_EQ(d->queue().find(kControlUnitAddress, 322)->asInt(), 2096);
        EXPECT_TRUE(d->notAnsweringModules().empty());
        // The run states add their own exchange (lamps, fault words): wait
        // until the queue has nothing left to send.
        eventually([&] { return d->paramStatistics(0).rfind("\r\n\r\nПараметры:", 0) == 0; },
                   10000);
        EXPECT_EQ(d->paramStatistics(0).rfind("\r\n\r\nПараметры:", 0), 0u)
            << d->paramStatistics(0);

        // Recording: channels 1 and 2 four samples a packet, channel 5 the
        // selected zone temperature, channel 6 the mains voltage.
        d->setAuxSelector(0, 3);
        d->setAuxSelector(1, 85);
        for (int ch : {0, 1, 4, 5})
            samples(*d, ch).recordNow(false);
        ASSERT_TRUE(samples(*d, 0).waitForSamples(200, 5000));
        for (int ch : {0, 1, 4, 5})
            samples(*d, ch).stop(false);
        expectConsecutive(samples(*d, 0).samples(), sim, 0);
        expectConsecutive(samples(*d, 1).samples(), sim, 1);
        const auto aux = samples(*d, 4).samples();
        ASSERT_FALSE(aux.empty());
        EXPECT_DOUBLE_EQ(aux.front(), 103.0);
        EXPECT_NEAR(static_cast<double>(samples(*d, 0).sampleCount()) / 4.0,
                    static_cast<double>(aux.size()), 2.0);
        EXPECT_DOUBLE_EQ(samples(*d, 5).samples().front(), 220.0);
        const auto live = d->live();
        EXPECT_FLOAT_EQ(live.zoneTemp[2], 102.0f);
        EXPECT_DOUBLE_EQ(live.flow[8], 30.8);
        EXPECT_EQ(d->checksumErrors(), 0u);
        d->close();
        EXPECT_FALSE(d->isRunning());
        EXPECT_EQ(d->queue().size(), 0u);  // the modules are forgotten with the link
    }
}

TEST_F(KalderTest, WritesAreCheckedAndMissingModulesTimeOut) {
    sim::KalderSimConfig c = sim::defaultKalderConfig();
    c.speed = 100;
    // The regulator keeps its own value of parameter 11; the valve block
    // does not answer at all.
    c.modules[2].stuck[11] = 0x11;
    c.modules[2].params[11] = 0x11;
    c.modules[3].answers = false;
    sim::KalderPtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto d = connect(sim);
    ASSERT_TRUE(test::succeeded(d->open()));
    ASSERT_TRUE(eventually([&] { return d->compositionKnown(); }, 8000));

    // A column temperature written to the control unit arrives there.
    auto t1 = d->queue().registerParam(kControlUnitAddress, 8, 7, param_kind::kSetting);
    t1->setFloat(180.5f);
    ASSERT_TRUE(eventually([&] { return !t1->pending(); }, 8000));
    EXPECT_EQ(sim.withModel([](auto& m) { return m.cpuParam(8); }),
              std::bit_cast<std::uint32_t>(180.5f));

    // A write the module does not take is tried ten times, then given up.
    auto cal =
        d->queue().registerParam(moduleAddress(kClassGasPair, 0), 11, 7, param_kind::kSetting);
    cal->setInt(0x22);
    ASSERT_TRUE(eventually([&] { return cal->retries() >= kParamRetryLimit; }, 15000));
    EXPECT_GE(d->queue().stats().writeMismatches, 10u);

    // The silent valve block: every parameter times out, and the reports
    // say so.
    ASSERT_TRUE(eventually([&] { return d->moduleNotAnswering(72); }, 30000))
        << d->paramStatistics(5);
    EXPECT_NE(d->notAnsweringModules().find("Блок двух кранов 1"), std::string::npos);
    EXPECT_NE(d->paramStatistics(5).find("Параметры с ошибками:"), std::string::npos);
    EXPECT_GE(d->queue().stats().timeouts, 10u);
    d->close();
    const std::string log = workLogText();
    EXPECT_NE(log.find("Записан неверно. Задано:00000022h Ответ:00000011h"), std::string::npos);
    EXPECT_NE(log.find("БУ:   Термостат колонок Т1   180.50 Записан ОК"), std::string::npos);
    EXPECT_NE(log.find(" Таймаут"), std::string::npos);
}

TEST_F(KalderTest, PlugAndPlayOverTheLine) {
    sim::KalderSimConfig c;
    // Ten times real time: a pseudo-terminal holds about 30 packets, so a
    // reader held up on a busy machine for less than half a second loses
    // none (a lost answer ends the procedure, as it would on the real line).
    c.speed = 10;
    // Two amplifiers at one address, a virtual device, an empty stack.
    c.modules = {simModule(moduleAddress(kClassFlame, 0), 0x000A01, 2),
                 simModule(moduleAddress(kClassFlame, 0), 0x000A02, 5),
                 simModule(moduleAddress(kClassGasPair, 0), 0x000B01, 9)};
    auto ghost = simModule(moduleAddress(kClassConductivity, 0), 0x000DDD, 12);
    ghost.confirms = false;
    c.modules.push_back(ghost);
    sim::KalderPtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto d = connect(sim);
    ASSERT_TRUE(test::succeeded(d->open()));
    ASSERT_TRUE(eventually([&] { return d->compositionKnown(); }, 8000));
    EXPECT_EQ(d->compositionText(), "");
    // A channel waits for its start while the composition changes.
    std::mutex mutex;
    std::vector<std::string> messages;
    d->setMessageSink([&](const std::string& m) {
        std::lock_guard lock(mutex);
        messages.push_back(m);
    });
    samples(*d, 2).arm();
    d->startPlugAndPlay(true);
    EXPECT_TRUE(d->plugAndPlay().active());
    ASSERT_TRUE(eventually([&] { return d->plugAndPlay().completed(); }, 60000))
        << d->plugAndPlay().progressText() << "\nlost packets: " << sim.droppedPackets().size();
    ASSERT_TRUE(eventually([&] { return d->modules().size() == 3; }));
    EXPECT_EQ(d->compositionText(), "ИМТ1 ИМТ2 ГН12");
    // The message comes on the reader thread just after the composition.
    EXPECT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return !messages.empty();
    }));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(messages, (std::vector<std::string>{
                                "Был подключен новый прибор.\r\nРекомендуется запустить методику "
                                "ещё раз."}));
    }
    samples(*d, 2).cancelArm();
    const auto stack = sim.withModel([](auto& m) { return m.stack(); });
    EXPECT_EQ(stack[0], 4);
    EXPECT_EQ(stack[1], 5);
    EXPECT_EQ(stack[2], 64);
    EXPECT_EQ(stack[3], 0);
    EXPECT_EQ(sim.withModel([](auto& m) { return m.moduleBySerial(0xA02)->address; }), 5);
    // The new composition was remembered and the moved amplifier answers at
    // its new address.
    const auto records = CSerialStorehouse(store_).records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], "00c0ffee04000a0105000a0240000b01");
    ASSERT_TRUE(eventually([&] { return d->remainingToLoad(0) == 0; }, 15000))
        << d->paramStatistics(5);
    EXPECT_EQ(d->queue().find(5, kParamSerial)->raw(), 0xA02u);
    d->close();
    const std::string log = workLogText();
    EXPECT_NE(log.find("# Начало Plug-and-Play (Прибор 1)"), std::string::npos);
    EXPECT_NE(log.find("# P&P Найдено виртуальное устройство - отбросим serial=08000ddd"),
              std::string::npos);
    EXPECT_NE(log.find("# P&P Найдено 3 устройств: 04000a01 04000a02 40000b01 "),
              std::string::npos);
    EXPECT_NE(log.find("# Завершение Plug-and-Play"), std::string::npos);
}

TEST_F(KalderTest, DamagedLineKeepsTheLinkAndSilenceClosesIt) {
    sim::KalderSimConfig c = sim::defaultKalderConfig();
    c.speed = 20;
    c.signals = {ramp(2, 1.0)};
    c.faults = {{sim::FaultKind::Garbage, 30, 17, 60},
                {sim::FaultKind::Split, 25, 13, 4},
                {sim::FaultKind::BadCheck, 70, 0, 0}};
    c.dataEvery = 9;
    c.shortStatusEvery = 7;
    c.answerPackets = true;
    sim::KalderPtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto d = connect(sim, 1500);
    ASSERT_TRUE(test::succeeded(d->open()));
    samples(*d, 0).recordNow(false);
    ASSERT_TRUE(eventually([&] { return sim.nextPacket() > 120; }, 10000));
    // Answers in their own packets still reach the queue.
    ASSERT_TRUE(eventually([&] { return d->compositionKnown(); }, 8000));
    EXPECT_GE(d->alarms().count(kAlarmChecksum), 1u);
    EXPECT_GE(d->checksumErrors(), 1u);
    EXPECT_TRUE(d->isRunning());

    // The line falls silent: the recording stops as interrupted and the
    // device closes itself.
    sim.setSilent(true);
    ASSERT_TRUE(samples(*d, 0).waitStopped(5000));
    EXPECT_TRUE(samples(*d, 0).lastStopInterrupted());
    ASSERT_TRUE(eventually([&] { return !d->isRunning(); }, 3000));
    expectConsecutive(samples(*d, 0).samples(), sim, 0, 70);
    EXPECT_NE(workLogText().find("Синхронизация текущей посылки"), std::string::npos);
}

TEST_F(KalderTest, SilentLineFailsToOpen) {
    sim::KalderSimConfig c = sim::defaultKalderConfig();
    sim::KalderPtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    sim.setSilent(true);
    auto d = connect(sim);
    const Status opened = d->open();
    EXPECT_FALSE(opened);
    EXPECT_FALSE(d->isRunning());
    EXPECT_NE(opened.message().find("Zelmora Kalder"), std::string::npos);
    EXPECT_NE(opened.message().find("19200"), std::string::npos);
}

TEST_F(KalderTest, DeviceManagerMakesChromatographsAndKeepsTheirValues) {
    {
        CDeviceManager m(store_);
        CDevice* d = m.add(0);
        ASSERT_NE(d, nullptr);
        EXPECT_NE(dynamic_cast<CKalderInstrument*>(d), nullptr);
        EXPECT_EQ(d->displayName(), "Zelmora Sovant");
        EXPECT_EQ(d->channelCount(), 8);
        EXPECT_DOUBLE_EQ(d->sampleRate(0), 20.0);
        EXPECT_DOUBLE_EQ(d->sampleRate(7), 5.0);
        dynamic_cast<CKalderInstrument*>(d)->setAuxSelector(2, 85);
        ASSERT_TRUE(m.save());
    }
    // A value another part of the program keeps with the chromatograph.
    store_.setString(CDeviceManager::deviceKey(0), "GaseSet_64_0", "12.5");
    CDeviceManager m(store_);
    m.load();
    ASSERT_EQ(m.count(), 1);
    auto& k = dynamic_cast<CKalderInstrument&>(m.device(0));
    EXPECT_EQ(k.type(), 0);
    EXPECT_EQ(k.auxSelector(2), 85);
    EXPECT_EQ(k.auxSelector(3), 3);
    ASSERT_TRUE(m.save());
    EXPECT_EQ(store_.readString(CDeviceManager::deviceKey(0), "GaseSet_64_0"), "12.5");
    EXPECT_EQ(store_.readInt(CDeviceManager::deviceKey(0), "DopCHOut2", 0), 85);
}

TEST_F(KalderTest, UnknownCompositionIsReportedOnce) {
    sim::KalderSimConfig c = sim::defaultKalderConfig();
    c.speed = 20;
    c.cpuAnswers = false;  // the control unit never tells its stack
    sim::KalderPtySimulator sim(c);
    std::string error;
    ASSERT_TRUE(sim.start(&error)) << error;
    auto d = connect(sim);
    test::ManualClock clock;
    d->setClock(clock.fn());
    std::mutex mutex;
    std::vector<std::string> messages;
    d->setMessageSink([&](const std::string& m) {
        std::lock_guard lock(mutex);
        messages.push_back(m);
    });
    ASSERT_TRUE(test::succeeded(d->open()));
    ASSERT_TRUE(sim.waitPacketsSent(sim.packetsSent() + 20, 3000));
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(messages.empty());
    }
    clock.ms += kKalderCompositionMs + 1;
    ASSERT_TRUE(eventually([&] {
        std::lock_guard lock(mutex);
        return !messages.empty();
    }));
    ASSERT_TRUE(sim.waitPacketsSent(sim.packetsSent() + 20, 3000));
    d->close();
    std::lock_guard lock(mutex);
    EXPECT_EQ(messages, (std::vector<std::string>{"Не могу определить состав прибора."}));
}

TEST(KalderAux, SelectorsPickTheValues) {
    KalderLiveValues v;
    v.zoneTemp[0] = 150;
    v.zoneTemp[3] = 80;
    v.programmeSetPoint = 148;
    v.zoneSetTemp[3] = 85;
    v.heatingPower[1] = 42;
    v.flow[11] = 30;
    v.flowSet[11] = 28.5;
    v.inletPressure[2] = 2.5;
    v.outletPressure[4] = 1.25;
    v.valveVolts[0] = 7.5;
    v.flapPercent = 40;
    v.mainsVolts = 221;
    v.service = {1, 2, 3};
    EXPECT_DOUBLE_EQ(kalderAuxValue(0, v), 150);
    EXPECT_DOUBLE_EQ(kalderAuxValue(9, v), 42);
    EXPECT_DOUBLE_EQ(kalderAuxValue(16, v), 2);   // zone 0 against the programme
    EXPECT_DOUBLE_EQ(kalderAuxValue(19, v), -5);  // zone 3 against its set value
    EXPECT_DOUBLE_EQ(kalderAuxValue(35, v), 30);
    EXPECT_DOUBLE_EQ(kalderAuxValue(47, v), 1.5);
    EXPECT_DOUBLE_EQ(kalderAuxValue(50, v), 2.5);
    EXPECT_DOUBLE_EQ(kalderAuxValue(64, v), 1.25);
    EXPECT_DOUBLE_EQ(kalderAuxValue(72, v), 7.5);
    EXPECT_DOUBLE_EQ(kalderAuxValue(84, v), 40);
    EXPECT_DOUBLE_EQ(kalderAuxValue(85, v), 221);
    EXPECT_DOUBLE_EQ(kalderAuxValue(88, v), 3);
    EXPECT_DOUBLE_EQ(kalderAuxValue(89, v), 0);
    EXPECT_DOUBLE_EQ(kalderAuxValue(-1, v), 0);
}

}  // namespace
}  // namespace zelmora
