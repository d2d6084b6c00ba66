// The chromatograph's run states fed with decoded status packets and a
// clock the test moves: cold start to ready, ignition with its retries and
// pulse lengths, the delay before readiness, fault detection and the
// alarms, the lamps, and the recording hooks.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "instruments/kalder_modules.h"
#include "instruments/kalder_run_state.h"

namespace zelmora {
namespace {

using namespace kalder;
using namespace run_state;

const std::uint8_t kFlame = moduleAddress(kClassFlame, 0);
const std::uint8_t kCarrier = moduleAddress(kClassGasPair, 0);
const std::uint8_t kHydrogen = moduleAddress(kClassHydrogenAir, 0);
const std::uint8_t kValves = moduleAddress(kClassValves2, 0);

// A chromatograph as its status packets describe it, with a clock.
struct Rig {
    CParamQueue queue{1};
    AlarmCollector alarms;
    std::int64_t now = 1'000'000;
    std::vector<std::string> log;
    std::vector<std::string> sounds;
    std::array<bool, 8> recording{};
    std::array<bool, 8> inUse{true, true, true, true, true, true, true, true};
    CKalderRunState rs;
    wire::KalderPacket packet;
    KalderLiveValues live;
    int tick = 0;
    std::array<bool, 8> held{};  // zones whose reading stands still
    bool samplerActive = false;  // the autosampler works through its series

    Rig() : rs(queue, alarms, hooks()) {
        alarms.setDevice(1, "Zelmora Kalder");
        alarms.setLog([this](std::string_view s) { log.emplace_back(s); });
        rs.setDevice(1, "Zelmora Kalder");
        packet.type = 0;
        packet.hasStatus = true;
        packet.zoneCount = 5;
        packet.detectorCount = 2;
        packet.mainsRaw = 2200;
        packet.state = 5;
        for (int z = 0; z < 5; ++z)
            packet.zoneTemp[static_cast<std::size_t>(z)] = 25.0f;
    }
    KalderRunHooks hooks() {
        KalderRunHooks h;
        h.nowMs = [this] { return now; };
        h.log = [this](std::string_view s) { log.emplace_back(s); };
        h.playSound = [this](const char* s) { sounds.emplace_back(s); };
        h.recording = [this](int c) { return c >= 0 && c < 8 && recording[c]; };
        h.inUse = [this](int c) { return c >= 0 && c < 8 && inUse[c]; };
        h.recordedMinutes = [](int) { return 0.0; };
        h.autosamplerActive = [this] { return samplerActive; };
        return h;
    }
    // The link opens, the composition and the zone names arrive.
    void start(const KalderRunSettings& s, std::vector<std::uint8_t> modules, int zones = 8) {
        rs.setSettings(s);
        rs.linkStarted();
        rs.setComposition(modules);
        queue.onAnswer(kControlUnitAddress, kParamFirmware, 0x0801);
        for (int z = 0; z < zones; ++z)
            queue.onAnswer(kControlUnitAddress, static_cast<std::uint16_t>(kParamZoneName + z),
                           defaultZoneCode(z));
        // A zone beyond `zones` is not there: the error mark.
        for (int z = zones; z < 8; ++z)
            queue.onAnswer(kControlUnitAddress,
                           static_cast<std::uint16_t>((kParamZoneName + z) | 0x4000),
                           kAnswerNoSuchParam);
    }
    // One packet every 200 ms for the given seconds (or until done()).
    template <class F>
    bool run(double seconds, F done) {
        for (int i = 0; i < static_cast<int>(seconds * 5); ++i) {
            now += 200;
            // The readings move a little, as real ones do.
            for (int z = 0; z < 5; ++z)
                if (!held[static_cast<std::size_t>(z)])
                    packet.zoneTemp[static_cast<std::size_t>(z)] += (tick % 2 ? 0.01f : -0.01f);
            ++tick;
            live.update(packet);
            rs.step(live);
            if (done())
                return true;
        }
        return false;
    }
    void run(double seconds) {
        run(seconds, [] { return false; });
    }
    void setFlame(bool on) { packet.detector[0].fill(on ? 5.0f : 0.0f); }
    int count(const std::string& piece) const {
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& s) {
            return s.find(piece) != std::string::npos;
        }));
    }
    float cu(std::uint16_t n) const { return queue.find(kControlUnitAddress, n)->asFloat(); }
    std::uint32_t cuRaw(std::uint16_t n) const { return queue.find(kControlUnitAddress, n)->raw(); }
};

std::string attemptLine(int a) {
    return "? Прибор 1 - Нет пламени (попытка " + std::to_string(a) + ") ТЕМПЕРАТУРЫ";
}

KalderRunSettings warmSettings(int attempts) {
    KalderRunSettings s;
    s.given = true;
    s.ignitionAttempts = attempts;
    s.readyDelaySeconds = 10;
    s.zones[1].setTemp = 25.0;
    s.gas[0].flowSet = 0;
    return s;
}

TEST(RunStates, ColdStartCountsDownTheDelayAndBecomesReady) {
    Rig r;
    KalderRunSettings s = warmSettings(0);
    s.zones[1].setTemp = 150.0;  // the evaporator is still cold
    r.start(s, {kFlame, kCarrier});
    EXPECT_EQ(r.rs.runState(), kPreparing);
    EXPECT_EQ(r.rs.lampWord(), lamp::kPreparing | (lamp::kPreparing << 8));
    // Nothing happens in the first five seconds after the link came up.
    r.run(4.8);
    EXPECT_EQ(r.rs.runState(), kPreparing);
    r.run(0.4);
    EXPECT_EQ(r.rs.runState(), kSettling);
    EXPECT_EQ(r.count("  Прибор 1 - подготовка температур и газов"), 1);
    r.run(5);
    EXPECT_NE(r.rs.readinessText().find("Температуры вне нормы."), std::string::npos);
    EXPECT_NE(r.rs.statusText().find("Установка заданных температур и газов\r\nТемпературы"),
              std::string::npos);

    // The zone reaches its set point: the delay counts down from 10.
    r.packet.zoneTemp[1] = 150.2f;
    r.run(0.2);
    EXPECT_EQ(r.rs.readinessText(), "Задержка перед готовностью 10 сек.\r\n");
    const std::int64_t within = r.now;
    r.run(4);
    EXPECT_EQ(r.rs.readinessText(), "Задержка перед готовностью 6 сек.\r\n");
    ASSERT_TRUE(r.run(10, [&] { return r.rs.runState() == kReady; }));
    EXPECT_GE(r.now - within, 10000);
    EXPECT_LE(r.now - within, 10400);
    EXPECT_EQ(r.rs.statusText(), "Прибор готов к записи");
    EXPECT_EQ(r.sounds, std::vector<std::string>{"ready.wav"});
    EXPECT_EQ(r.rs.lampWord(), lamp::kReady);
    EXPECT_EQ(r.cuRaw(80), lamp::kReady);
    EXPECT_EQ(r.count("  Прибор 1 - готов к записи"), 1);
    // The periodic line is written while preparing, never while ready.
    const int periodic = r.count("текущие значения: ТЕМПЕРАТУРЫ { Колонки=");
    EXPECT_GE(periodic, 1);
    r.run(65);
    EXPECT_EQ(r.count("текущие значения"), periodic);

    // A zone that leaves its tolerance takes readiness away.
    r.packet.zoneTemp[1] = 140.0f;
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), kSettling);
}

TEST(RunStates, ReadyChromatographWaitsForTheAutosamplersInjection) {
    Rig r;
    r.start(warmSettings(0), {kFlame, kCarrier});
    ASSERT_TRUE(r.run(30, [&] { return r.rs.runState() == kReady; }));
    // The sampler's series begins: the chromatograph waits for its injection.
    r.samplerActive = true;
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), kAutosampler);
    EXPECT_EQ(r.rs.statusText(), "Ожидание ввода дозатором");
    r.run(2);
    EXPECT_EQ(r.rs.runState(), kAutosampler);
    // The series is over: ready again.
    r.samplerActive = false;
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), kReady);
}

TEST(RunStates, IgnitionWithoutAttemptsPassesStraightOn) {
    Rig r;
    r.start(warmSettings(0), {kFlame, kHydrogen});
    r.setFlame(false);
    r.rs.setRunState(kIgnition);
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), kSettling);
}

TEST(RunStates, ThreeFailedAttemptsEndInAlarm89) {
    Rig r;
    KalderRunSettings s = warmSettings(3);
    s.gas[8].mode = 6;
    s.gas[8].gasType = 3;
    s.gas[8].flowSet = 30;
    s.gas[9].gasType = 4;
    s.gas[9].flowSet = 300;
    r.start(s, {kFlame, kHydrogen});
    r.setFlame(false);
    r.packet.flowRaw[8] = 300;  // hydrogen at 30 см3/мин
    r.packet.flowRaw[9] = 3000;
    r.packet.flowMask = (1 << 8) | (1 << 9);
    ASSERT_TRUE(r.run(6, [&] { return r.rs.runState() == kBeforeIgnition; }));
    r.run(0.2);
    EXPECT_EQ(r.rs.readinessText(), "Ожидание прогрева детектора\r\n");
    // The detector zone must have been warm for a minute, then the delay.
    ASSERT_TRUE(r.run(90, [&] { return r.rs.runState() == kIgnition; }));
    EXPECT_EQ(r.rs.statusText().find("Осуществляется поджиг, попытка №1"), 0u);

    std::vector<float> pulses;
    std::vector<float> hydrogenDuringIgnition;
    const auto ignition = r.queue.find(kControlUnitAddress, 8240);
    const auto hydrogen = r.queue.find(kHydrogen, CGasChannel::kParamFlow);
    ASSERT_TRUE(ignition && hydrogen);
    bool ended = r.run(200, [&] {
        if (ignition->pending()) {
            pulses.push_back(ignition->asFloat());
            hydrogenDuringIgnition.push_back(hydrogen->asFloat());
            // The instrument took the pulse.
            r.queue.onAnswer(kControlUnitAddress, 8240, static_cast<std::int32_t>(ignition->raw()));
        }
        return r.rs.runState() != kIgnition;
    });
    ASSERT_TRUE(ended);
    ASSERT_EQ(pulses.size(), 3u);
    EXPECT_FLOAT_EQ(pulses[0], 0.7f);
    EXPECT_FLOAT_EQ(pulses[1], 0.75f);
    EXPECT_FLOAT_EQ(pulses[2], 0.8f);
    // Hydrogen doubled plus 2.5 per attempt already made while the pulse goes.
    EXPECT_FLOAT_EQ(hydrogenDuringIgnition[0], 60.0f);
    EXPECT_FLOAT_EQ(hydrogenDuringIgnition[1], 62.5f);
    EXPECT_FLOAT_EQ(hydrogenDuringIgnition[2], 65.0f);
    for (int a = 1; a <= 3; ++a)
        EXPECT_EQ(r.count(attemptLine(a)), 1) << a;
    EXPECT_EQ(r.count("Нет пламени"), 3);

    EXPECT_EQ(r.rs.runState(), kError);
    EXPECT_TRUE(r.alarms.has(89));
    EXPECT_EQ(r.count("! Прибор 1 (Zelmora Kalder) Невозможно поджечь пламя"), 1);
    EXPECT_NE(r.alarms.stopReasonText().find("Невозможно поджечь пламя"), std::string::npos);
    EXPECT_NE(r.rs.statusText().find("Ошибка в приборе\r\nНевозможно поджечь пламя"),
              std::string::npos);
    EXPECT_EQ(r.rs.lampWord(), lamp::kAlarm | (lamp::kAlarm << 8));
    // The error stop leaves no hydrogen flowing and no heater on.
    EXPECT_FLOAT_EQ(hydrogen->asFloat(), 0.0f);
    EXPECT_FLOAT_EQ(r.cu(34), 0.0f);
    // It stays there on its own.
    r.run(60);
    EXPECT_EQ(r.rs.runState(), kError);
}

TEST(RunStates, FlameLitAtTheSecondPulseLeadsToReady) {
    Rig r;
    r.start(warmSettings(3), {kFlame});
    r.setFlame(false);
    ASSERT_TRUE(r.run(100, [&] { return r.rs.runState() == kIgnition; }));
    const auto ignition = r.queue.find(kControlUnitAddress, 8240);
    int pulses = 0;
    ASSERT_TRUE(r.run(100, [&] {
        if (ignition->pending()) {
            ++pulses;
            r.queue.onAnswer(kControlUnitAddress, 8240, static_cast<std::int32_t>(ignition->raw()));
            if (pulses == 2)
                r.setFlame(true);
        }
        return r.rs.runState() == kSettling;
    }));
    EXPECT_EQ(pulses, 2);
    EXPECT_EQ(r.count("Нет пламени (попытка 1)"), 1);
    EXPECT_EQ(r.count("Нет пламени (попытка 2)"), 0);
    ASSERT_TRUE(r.run(12, [&] { return r.rs.runState() == kReady; }));
    // The flame goes out: back to the ignition preparation.
    r.setFlame(false);
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), kBeforeIgnition);
    EXPECT_EQ(r.count("? Прибор 1 - Неожиданно пропало пламя: ТЕМПЕРАТУРЫ"), 1);
}

TEST(RunStates, ErrorByteIsLoggedOnceAndItsZonesRaiseAlarms) {
    Rig r;
    r.start(warmSettings(0), {kCarrier});
    ASSERT_TRUE(r.run(20, [&] { return r.rs.runState() == kReady; }));
    r.packet.errByte = 0x01;  // overheat
    r.run(1);
    EXPECT_EQ(r.count("Ошибка в приборе ErrByte=01"), 1);
    // The overheat word is read: zone 2 overheated.
    const auto word = r.queue.find(kControlUnitAddress, 96);
    ASSERT_TRUE(word->pending());
    EXPECT_EQ(r.rs.runState(), kReady);
    r.queue.onAnswer(kControlUnitAddress, 96, 0x04);
    r.run(1);
    EXPECT_EQ(r.rs.runState(), kError);
    EXPECT_TRUE(r.alarms.has(50));
    EXPECT_EQ(
        r.count("! Прибор 1 (Zelmora Kalder) Перегрев зоны 2 Перегрев Детектор-1  U220=220.00"), 1);
    EXPECT_EQ(r.count("Ошибка в приборе ErrByte=01"), 1);
    EXPECT_EQ(r.alarms.alarmText(), "Перегрев зоны 2 Перегрев Детектор-1  U220=220.00");
    // Nothing recorded: the relay stays off.
    EXPECT_EQ(r.cuRaw(169), 0u);

    // A method start clears the alarms; the standing error byte is read and
    // reported again.
    r.rs.onMethodStarted(0);
    EXPECT_EQ(r.rs.runState(), kPreparing);
    EXPECT_FALSE(r.alarms.hasAlarms());
    EXPECT_EQ(r.count("- Все ошибки сброшены"), 1);
    r.run(0.4);
    EXPECT_EQ(r.count("Ошибка в приборе ErrByte=01"), 2);
    r.queue.onAnswer(kControlUnitAddress, 96, 0x00);  // no zone bit: general overheat
    r.run(0.4);
    EXPECT_TRUE(r.alarms.has(1));
    EXPECT_TRUE(r.alarms.has(38));
    EXPECT_EQ(r.rs.runState(), kError);
}

TEST(RunStates, MainsAndFrozenZones) {
    Rig r;
    r.start(warmSettings(0), {kCarrier});
    r.packet.mainsRaw = 1870;
    r.run(200);
    EXPECT_EQ(r.alarms.count(88), 0u);
    r.packet.mainsRaw = 1860;
    r.run(150);
    // At 0, 60 and 120 s.
    EXPECT_EQ(r.alarms.count(88), 3u);
    EXPECT_EQ(r.count("! Прибор 1 (Zelmora Kalder) Плохая сеть 220В U220=186.00"), 1);
    EXPECT_FALSE(r.alarms.hasAlarms());  // bad mains does not stop the instrument
    r.packet.mainsRaw = 2200;

    // A zone switched off may read the same forever.
    CParamQueue& q = r.queue;
    r.rs.onMethodStarted(0);
    q.find(kControlUnitAddress, kParamZoneName + 4)->requestRead();
    q.onAnswer(kControlUnitAddress, kParamZoneName + 4, 2064);
    ASSERT_TRUE(r.run(20, [&] { return r.rs.runState() == kReady; })) << r.rs.statusText();
    r.held[4] = true;
    r.run(40);
    EXPECT_FALSE(r.alarms.has(43));
    EXPECT_EQ(r.rs.runState(), kReady);
    // A present zone that stops moving is a failed converter.
    bool frozen = false;
    r.held[3] = true;
    for (int i = 0; i < 160 && !frozen; ++i) {
        r.run(0.2);
        frozen = r.alarms.has(43);
    }
    EXPECT_TRUE(frozen);
    EXPECT_EQ(r.rs.runState(), kError);
    EXPECT_EQ(r.cuRaw(169), 1u);  // the protection relay
    EXPECT_NE(
        r.alarms.alarmText().find("Выявлен сбой АЦП по следующим зонам:Зона-3 (Испаритель-2)"),
        std::string::npos);
}

TEST(RunStates, ConductivityBridgeFollowsItsZone) {
    Rig r;
    const std::uint8_t tcd = moduleAddress(kClassConductivity, 0);
    KalderRunSettings s = warmSettings(0);
    s.zones[2].setTemp = 100;  // "Детектор-1", the detector's heated zone
    s.zones[2].tolerance = 5;
    s.bridgeVoltage[0] = 6;
    r.start(s, {tcd});
    auto p = [&](std::uint16_t n) { return r.queue.find(tcd, n); };
    r.run(0.2);
    EXPECT_NE(r.rs.readinessText().find("Определяется версия усилителя ДТП"), std::string::npos);
    r.queue.onAnswer(tcd, kParamFirmware, 0x105);
    r.queue.onAnswer(tcd, 6, 4);  // "70 Ом Rhenium-Tungsten"
    r.packet.zoneTemp[2] = 25;
    r.run(0.2);
    EXPECT_NE(r.rs.readinessText().find("Ожидание стабилизации температуры ДТП-1"),
              std::string::npos);
    EXPECT_FLOAT_EQ(p(1)->asFloat(), 0.0f);
    // Warm: the filament limit 180 °C above the zone, then the bridge on.
    r.packet.zoneTemp[2] = 100;
    r.run(0.2);
    EXPECT_FLOAT_EQ(p(1)->asFloat(), 6.0f);
    EXPECT_NEAR(p(4)->asFloat(), 280.0f, 0.05f);
    // A small move keeps the limit, 3 °C make a new one.
    r.packet.zoneTemp[2] = 100.6f;
    r.run(0.2);
    EXPECT_NEAR(p(4)->asFloat(), 280.0f, 0.05f);
    r.packet.zoneTemp[2] = 103.5f;
    r.run(0.2);
    EXPECT_NEAR(p(4)->asFloat(), 283.5f, 0.05f);
    // The status register: filament overheat, then the protection trips.
    r.queue.onAnswer(tcd, 5, 1);
    r.run(0.2);
    EXPECT_NE(r.rs.readinessText().find("Перегрев спирали ДТП-1"), std::string::npos);
    r.run(10);  // read again after 10 s
    r.queue.onAnswer(tcd, 5, 4);
    r.run(0.2);
    EXPECT_TRUE(r.alarms.has(37));
    EXPECT_NE(r.alarms.alarmText().find("Напряжение моста ДТП слишком велико. Um="),
              std::string::npos);
    EXPECT_EQ(r.rs.runState(), kError);
    // The error stop switched the bridge off; a channel not in use keeps it off.
    EXPECT_FLOAT_EQ(p(1)->asFloat(), 0.0f);
    r.rs.onMethodStarted(0);
    r.inUse[0] = false;
    r.run(1);
    EXPECT_FLOAT_EQ(p(1)->asFloat(), 0.0f);
}

TEST(RunStates, ZoneTableFaults) {
    // Five of eight zones from firmware that should report eight.
    Rig r;
    r.start(warmSettings(0), {kCarrier}, 5);
    r.run(0.4);
    EXPECT_TRUE(r.alarms.has(47));
    EXPECT_NE(r.alarms.alarmText().find("Некорректная прошивки CPU"), std::string::npos);
    EXPECT_EQ(r.rs.runState(), kStopped);
    EXPECT_EQ(r.rs.statusText().find("Прибор остановлен"), 0u);

    // A flame amplifier without a heated zone of its own.
    Rig f;
    f.start(warmSettings(0), {kFlame});
    for (int z = 0; z < 8; ++z) {
        f.queue.find(kControlUnitAddress, static_cast<std::uint16_t>(kParamZoneName + z))
            ->requestRead();
        f.queue.onAnswer(kControlUnitAddress, static_cast<std::uint16_t>(kParamZoneName + z),
                         z == 0 ? 16 : 2064);
    }
    f.run(6);
    EXPECT_TRUE(f.alarms.has(46));
    EXPECT_NE(
        f.alarms.alarmText().find(" В приборе нет зоны нагрева детектора, подключенного к ИМТ 1"),
        std::string::npos);
    EXPECT_EQ(f.rs.runState(), kError);
}

// The waiting window names the detector of each detector channel: the
// detector modules in the order of the composition.
TEST(RunStates, DetectorChannelsFollowTheDetectorModules) {
    Rig r;
    EXPECT_EQ(r.rs.detectorName(0), "");  // composition not known yet
    r.start(warmSettings(0), {kCarrier, kFlame, kHydrogen, moduleAddress(kClassConductivity, 0)});
    EXPECT_EQ(r.rs.detectorName(0), "Измеритель малых токов 1");
    EXPECT_EQ(r.rs.detectorName(1), "Детектор по теплопроводности 1");
    EXPECT_EQ(r.rs.detectorName(2), "");
    EXPECT_EQ(r.rs.detectorName(5), "");
}

TEST(RunStates, RecordingHooksDriveTheAnalysisAndTheValves) {
    Rig r;
    KalderRunSettings s = warmSettings(0);
    s.valveAvailability = {3};
    s.valves = {{ValveConfig{0, 0, 0, 0, 0}, ValveConfig{1, 0, 1, 0, 0}}};
    r.start(s, {kFlame, kValves});
    r.queue.onAnswer(kValves, CValveBlock::kParamValveType, 4);
    r.queue.onAnswer(kValves, CValveBlock::kParamValveType | 0x1000, 4);
    ASSERT_TRUE(r.run(20, [&] { return r.rs.runState() == kReady; }));
    EXPECT_TRUE(r.rs.isReadyToRecord());

    r.recording[0] = true;
    r.rs.onRecordingStarted(0);
    EXPECT_EQ(r.rs.runState(), kAnalysis);
    EXPECT_EQ(r.cuRaw(8200), 1u);
    EXPECT_EQ(r.queue.find(kValves, CValveBlock::kParamPosition)->raw(), 1u);
    EXPECT_EQ(r.count("  Начало записи по 1 каналу на приборе 1 (Zelmora Kalder)"), 1);
    EXPECT_EQ(r.rs.lampWord(), lamp::kReady | lamp::kAnalysis1);
    EXPECT_EQ(r.rs.statusText(), "Анализ");
    // The instrument goes through its phases.
    r.packet.state = 7;
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), 7);
    r.packet.state = 9;  // a phase is not skipped
    r.run(0.2);
    EXPECT_EQ(r.rs.runState(), 7);

    r.recording[0] = false;
    r.rs.onRecordingStopped(0);
    EXPECT_EQ(r.cuRaw(8200), 0u);
    EXPECT_EQ(r.queue.find(kValves, CValveBlock::kParamPosition)->raw(), 0u);
    EXPECT_EQ(r.rs.runState(), kReady);
    EXPECT_EQ(r.count("Попытка изменить положения кранов кран=1 новое положение кранов=01"), 1);
    EXPECT_EQ(r.count("Попытка изменить положения кранов кран=1 новое положение кранов=00"), 1);

    // A programme that heats makes the end of a recording start over.
    s.programRate[0] = 10;
    r.rs.setSettings(s);
    r.recording[0] = true;
    r.rs.onRecordingStarted(0);
    EXPECT_EQ(r.rs.lampWord(), lamp::kAnalysis1);
    r.recording[0] = false;
    r.rs.onRecordingStopped(0);
    EXPECT_EQ(r.rs.runState(), kPreparing);

    // Cooling switches the heaters off.
    r.rs.setCooling(true);
    EXPECT_EQ(r.rs.runState(), kCooling);
    EXPECT_FLOAT_EQ(r.cu(33), 0.0f);
    EXPECT_EQ(r.rs.statusText(), "Охлаждение прибора");
    r.rs.setCooling(false);
    EXPECT_FLOAT_EQ(r.cu(33), 25.0f);
}

}  // namespace
}  // namespace zelmora
