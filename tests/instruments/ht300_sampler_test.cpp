// The HT300 autosampler against its simulator on a pseudo-terminal: the
// link's initialisation (identification, tray and syringe), a series that
// works through the marked vials and starts a recording after every
// injection, lost and damaged answers that are retried and logged, a
// command given up after its retries, short and unknown reports; and the
// command data, whose volumes must reach the sampler whole.

#include <gtest/gtest.h>

#include <mutex>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/ht300_sampler.h"
#include "instruments/sim/ht300_pty_simulator.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

int word(const std::vector<std::uint8_t>& d, std::size_t at) {
    return d.at(at) * 256 + d.at(at + 1);
}

// The recording side: ready when told, and every injection kept.
class FakeTarget : public Ht300RecordingTarget {
  public:
    bool readyToRecord(int, unsigned) override { return ready.load(); }
    void startRecording(const Ht300Injection& inj) override {
        std::lock_guard lock(mutex);
        injections.push_back(inj);
    }
    std::vector<Ht300Injection> taken() {
        std::lock_guard lock(mutex);
        return injections;
    }
    std::atomic<bool> ready{true};
    std::mutex mutex;
    std::vector<Ht300Injection> injections;
};

class Ht300Link : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CWorkLog::instance().active())
            CWorkLog::instance().start({}, "test", "test");
    }

    // Opens the sampler on a simulator with `config`; fast time-outs.
    void open(sim::Ht300SimConfig config = {}) {
        sim_ = std::make_unique<sim::Ht300PtySimulator>(config);
        std::string error;
        ASSERT_TRUE(sim_->start(&error)) << error;
        sampler_ = test::makeDevice<CHt300Sampler>(sim_->path());
        ASSERT_TRUE(sampler_);
        sampler_->setAnswerTimeoutMs(150);
        sampler_->setStatusPeriodMs(40);
        sampler_->setRecordingTarget(target_);
        ASSERT_TRUE(test::succeeded(sampler_->open()));
        ASSERT_TRUE(test::eventually([&] { return sampler_->state() == CHt300Sampler::Waiting; }));
    }

    void TearDown() override {
        if (sampler_)
            sampler_->close();
        if (sim_)
            sim_->stop();
    }

    void markVials(std::initializer_list<int> oneBased) {
        for (int v : oneBased)
            sampler_->setVial(v - 1, Ht300Vial{text::format("Образец %d", v), true});
    }

    std::shared_ptr<FakeTarget> target_ = std::make_shared<FakeTarget>();
    std::unique_ptr<sim::Ht300PtySimulator> sim_;
    std::unique_ptr<CHt300Sampler> sampler_;
};

TEST_F(Ht300Link, InitialisationReportsTraySyringeAndIdentification) {
    sim::Ht300SimConfig c;
    c.trayCode = 153;
    c.syringeCode = 5;
    open(c);
    EXPECT_EQ(sampler_->identification(), "HT300");
    EXPECT_EQ(sampler_->vialPlaces(), 110);
    EXPECT_DOUBLE_EQ(sampler_->syringeUl(), 100.0);
    EXPECT_EQ(sampler_->statusText(), "Ожидание");
    // 3, 17 and 2 (with its byte 1) first, then the status every period.
    ASSERT_TRUE(test::eventually(
        [&] { return sim_->withModel([](auto& m) { return m.requests().size(); }) >= 6; }));
    const auto req = sim_->withModel([](auto& m) { return m.requests(); });
    // The handshake's own command 3 comes first.
    ASSERT_GE(req.size(), 6u);
    EXPECT_EQ(req[0].command, 3);
    EXPECT_EQ(req[1].command, 3);
    EXPECT_EQ(req[2].command, 17);
    EXPECT_EQ(req[3].command, 2);
    EXPECT_EQ(req[3].data, std::vector<std::uint8_t>{1});
    EXPECT_EQ(req[4].command, 5);
    EXPECT_EQ(sampler_->missedAnswers(), 0u);
}

TEST_F(Ht300Link, SeriesStartsARecordingAfterEachInjection) {
    open();
    Ht300Settings s = sampler_->settings();
    s.repeat = 2;
    s.volSamp = 300;  // 3 µl
    s.deviceIndex = 1;
    s.startChannelBits0 = 3;
    sampler_->setSettings(s);
    markVials({2, 5});
    target_->ready.store(false);
    ASSERT_TRUE(test::succeeded(sampler_->startSeries()));
    EXPECT_FALSE(sampler_->startSeries().ok());  // busy
    // Not a vial is selected while the recording device is not ready.
    ASSERT_TRUE(test::eventually([&] { return sampler_->state() == CHt300Sampler::AwaitReady; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sampler_->state(), CHt300Sampler::AwaitReady);
    EXPECT_EQ(sampler_->statusText(), "Ожидание готовности хроматографа; дозатор: Ожидание");
    target_->ready.store(true);
    ASSERT_TRUE(test::eventually([&] { return target_->taken().size() == 4; }, 10000));
    ASSERT_TRUE(test::eventually([&] { return sampler_->state() == CHt300Sampler::Waiting; }));
    const auto inj = target_->taken();
    const int vials[] = {2, 2, 5, 5};
    const int numbers[] = {1, 2, 1, 2};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(inj[i].vial, vials[i]);
        EXPECT_EQ(inj[i].injection, numbers[i]);
        EXPECT_EQ(inj[i].deviceIndex, 1);
        EXPECT_EQ(inj[i].channelBits, 3u);
        EXPECT_EQ(inj[i].sampleName, text::format("Образец %d", vials[i]));
    }
    EXPECT_EQ(sim_->withModel([](auto& m) { return m.injections(); }), 4);
    EXPECT_EQ(sim_->withModel([](auto& m) { return m.lastVial(); }), 5);
    EXPECT_EQ(sampler_->injectionsDone(), 4);
    // The dose of 3 µl went out as 30 tenths in every inject command, the
    // settings block whole.
    const auto req = sim_->withModel([](auto& m) { return m.requests(); });
    int injects = 0;
    for (const auto& r : req) {
        if (r.command == 7) {
            ++injects;
            ASSERT_EQ(r.data.size(), 6u);
            EXPECT_EQ(word(r.data, 1), 30);
        }
        if (r.command == 19) {
            EXPECT_EQ(r.data.size(), 29u);
        }
    }
    EXPECT_EQ(injects, 4);
    const std::string log = workLogText();
    EXPECT_NE(log.find("HT300: Доза: виала 5, ввод 2."), std::string::npos);
    EXPECT_NE(log.find("HT300: Конец серии анализов."), std::string::npos);
}

TEST_F(Ht300Link, LostAndDamagedAnswersAreRetriedAndLogged) {
    sim::Ht300SimConfig c;
    // Requests 0-3 are the handshake and the initialisation; the series'
    // commands and status requests follow.
    c.faults = {{sim::Ht300FaultKind::NoAnswer, 8, 0},
                {sim::Ht300FaultKind::BadCheck, 12, 0},
                {sim::Ht300FaultKind::Short, 16, 0}};
    open(c);
    markVials({1});
    Ht300Settings s = sampler_->settings();
    s.repeat = 3;  // some thirty requests: every fault falls inside the series
    sampler_->setSettings(s);
    ASSERT_TRUE(test::succeeded(sampler_->startSeries()));
    ASSERT_TRUE(test::eventually([&] { return target_->taken().size() == 3; }, 10000));
    ASSERT_TRUE(test::eventually([&] { return sampler_->state() == CHt300Sampler::Waiting; }));
    EXPECT_EQ(sim_->withModel([](auto& m) { return m.faultsApplied(); }), 3u);
    EXPECT_EQ(sampler_->missedAnswers(), 1u);
    EXPECT_EQ(sampler_->badAnswers(), 2u);
    EXPECT_EQ(sampler_->commandsGivenUp(), 0u);
    EXPECT_TRUE(sampler_->isRunning());
    const std::string log = workLogText();
    EXPECT_NE(log.find("!!! Нет ответа за 150 мсек"), std::string::npos);
    EXPECT_NE(log.find("отвергнут: ошибка контрольной суммы"), std::string::npos);
    // A cut answer is too short for its header or for its length field.
    EXPECT_TRUE(log.find("отвергнут: посылка короче заголовка") != std::string::npos ||
                log.find("отвергнут: длина посылки не совпадает") != std::string::npos);
}

TEST_F(Ht300Link, ACommandWithoutAnswerIsGivenUpAndTheSeriesStops) {
    sim::Ht300SimConfig c;
    // From the series' first command on the sampler hears nothing.
    c.faults = {{sim::Ht300FaultKind::NoAnswer, 6, 1}};
    open(c);
    markVials({1});
    ASSERT_TRUE(test::succeeded(sampler_->startSeries()));
    ASSERT_TRUE(test::eventually([&] { return sampler_->commandsGivenUp() >= 1; }, 5000));
    ASSERT_TRUE(test::eventually([&] { return sampler_->state() == CHt300Sampler::Waiting; }));
    EXPECT_TRUE(target_->taken().empty());
    EXPECT_GE(sampler_->missedAnswers(), 3u);
    // The link lives on: silence does not close the device.
    EXPECT_TRUE(sampler_->isRunning());
    const std::string log = workLogText();
    EXPECT_NE(log.find("не выполнена после 3 попыток"), std::string::npos);
    EXPECT_NE(log.find("Серия анализов остановлена: дозатор не принял команду."),
              std::string::npos);
}

TEST_F(Ht300Link, ARefusedStepEndsTheSeriesWithItsErrorText) {
    sim::Ht300SimConfig c;
    // After the initialisation every command but the status is refused.
    c.faults = {{sim::Ht300FaultKind::Refuse, 4, 1}};
    open(c);
    markVials({1});
    ASSERT_TRUE(test::succeeded(sampler_->startSeries()));
    ASSERT_TRUE(test::eventually([&] {
        return sim_->withModel([](auto& m) { return m.faultsApplied(); }) >= 1 &&
               sampler_->state() == CHt300Sampler::Waiting;
    }));
    EXPECT_TRUE(target_->taken().empty());
    EXPECT_EQ(sampler_->commandsGivenUp(), 0u);
    const std::string log = workLogText();
    EXPECT_NE(log.find("! HT300: команда 10: Error=4"), std::string::npos);
    EXPECT_NE(log.find("! HT300: ===ERR=== Команду невозможно выполнить"), std::string::npos);
    EXPECT_NE(log.find("Серия анализов остановлена: дозатор не выполнил команду 10."),
              std::string::npos);
    // The link goes on, and a new series can be started.
    EXPECT_TRUE(sampler_->isRunning());
    EXPECT_TRUE(test::succeeded(sampler_->startSeries()));
}

TEST_F(Ht300Link, AnInjectionWhoseAnswerWasLostIsNotRefusedTwice) {
    sim::Ht300SimConfig c;
    // The sampler injects on the first command 4, but its answer is damaged:
    // the repeat finds nothing to inject.
    sim::Ht300Fault f;
    ASSERT_TRUE(sim::parseHt300Fault("badcheck@c4:0", f));
    EXPECT_EQ(f.command, 4);
    c.faults = {f};
    open(c);
    markVials({6});
    Ht300Settings s = sampler_->settings();
    s.repeat = 1;
    sampler_->setSettings(s);
    ASSERT_TRUE(test::succeeded(sampler_->startSeries()));
    ASSERT_TRUE(test::eventually([&] { return target_->taken().size() == 1; }, 5000));
    EXPECT_EQ(target_->taken()[0].vial, 6);
    EXPECT_EQ(sim_->withModel([](auto& m) { return m.injections(); }), 1);
    const std::string log = workLogText();
    EXPECT_NE(log.find("? HT300: повтор команды 4 отвергнут: она уже выполнена"),
              std::string::npos);
    sim::Ht300Fault bad;
    EXPECT_FALSE(sim::parseHt300Fault("badcheck@c:1", bad));
    EXPECT_FALSE(sim::parseHt300Fault("loud@1", bad));
}

TEST_F(Ht300Link, UnknownTrayAndShortReportsAreReportedNotTrusted) {
    sim::Ht300SimConfig c;
    c.trayCode = 99;
    c.syringeCode = 12;
    open(c);
    EXPECT_EQ(sampler_->vialPlaces(), 10);
    EXPECT_DOUBLE_EQ(sampler_->syringeUl(), 10.0);
    std::string log = workLogText();
    EXPECT_NE(log.find("неизвестный код лотка 99; список виал оставлен (10 мест)"),
              std::string::npos);
    EXPECT_NE(log.find("неизвестный код шприца 12"), std::string::npos);
    sampler_->close();
    sim_->stop();

    sim::Ht300SimConfig shortTray;
    shortTray.trayCode = 153;
    shortTray.trayAnswerBytes = 4;
    open(shortTray);
    EXPECT_EQ(sampler_->vialPlaces(), 10);
    log = workLogText();
    EXPECT_NE(log.find("короткий ответ на команду 17 (4 байт из 9)"), std::string::npos);
}

TEST_F(Ht300Link, HandWashSendsItsVolumeWhole) {
    sim::Ht300SimConfig c;
    c.syringeCode = 7;  // 500 µl
    open(c);
    Ht300Settings s = sampler_->settings();
    s.handWashVolume = 3000;  // 30 µl
    s.handWashSolvent = 2;
    s.handWashCount = 4;
    sampler_->setSettings(s);
    ASSERT_TRUE(test::succeeded(sampler_->handWash()));
    ASSERT_TRUE(test::eventually([&] {
        const auto r = sim_->withModel([](auto& m) { return m.requests(); });
        return std::any_of(r.begin(), r.end(), [](auto& q) { return q.command == 11; });
    }));
    const auto r = sim_->withModel([](auto& m) { return m.requests(); });
    const auto it = std::find_if(r.begin(), r.end(), [](auto& q) { return q.command == 11; });
    ASSERT_EQ(it->data.size(), 4u);
    EXPECT_EQ(it->data[0], 2);
    EXPECT_EQ(word(it->data, 1), 300);  // tenths of a µl: not 300 & 0xFF
    EXPECT_EQ(it->data[3], 4);
    // More than the syringe holds is refused before anything is sent.
    s.handWashVolume = 60000;
    sampler_->setSettings(s);
    EXPECT_FALSE(sampler_->handWash().ok());
}

TEST(Ht300Commands, VolumesAndParametersGoOutWhole) {
    Ht300Settings s;
    s.volSamp = 3000;   // 30 µl
    s.volFill = 12345;  // 123.45 µl: whole microlitres from 100 µl on
    s.preVol = 999;     // 9.99 µl: tenths below 100 µl
    s.ejeSpeed = 100;
    s.preTime = 99;
    s.posTime = 7;
    const auto inject = ht300InjectData(s, true);
    ASSERT_EQ(inject.size(), 6u);
    EXPECT_EQ(inject[0], 1);  // far injector
    EXPECT_EQ(word(inject, 1), 300);
    EXPECT_EQ(inject[3], 100);
    EXPECT_EQ(inject[4], 99);
    EXPECT_EQ(inject[5], 7);

    const auto block = ht300SettingsBlock(s);
    ASSERT_EQ(block.size(), 29u);
    EXPECT_EQ(word(block, 0), 300);
    EXPECT_EQ(word(block, 2), 1230);
    EXPECT_EQ(word(block, 6), 100);
    EXPECT_EQ(ht300VolumeTenths(50000), 5000);
    EXPECT_EQ(ht300VolumeTenths(9994), 999);
    EXPECT_EQ(ht300VolumeTenths(9996), 1000);

    // Select sample: 9, the vial (the far pass of two takes the second half).
    s.injectors = 2;
    EXPECT_EQ(ht300SelectSampleData(s, 3, 40, false), (std::vector<std::uint8_t>{9, 3, 9, 0, 9}));
    EXPECT_EQ(ht300SelectSampleData(s, 3, 40, true)[1], 23);

    // Values a byte cannot hold are refused, not cut.
    EXPECT_FALSE(checkHt300Ranges(Ht300Settings{}));
    Ht300Settings big;
    big.bubbleStrokes = 300;
    ASSERT_TRUE(checkHt300Ranges(big));
    EXPECT_NE(checkHt300Ranges(big)->find("(300)"), std::string::npos);
    big = {};
    big.volSamp = 70000;
    EXPECT_TRUE(checkHt300Ranges(big));
}

TEST(Ht300Commands, SettingsRulesGiveTheirMessages) {
    const Ht300Settings ok;
    EXPECT_FALSE(validateHt300Settings(ok, 10, true));
    auto message = [](auto edit, double syringe = 10, bool device = true) {
        Ht300Settings s;
        edit(s);
        return validateHt300Settings(s, syringe, device).value_or("");
    };
    EXPECT_EQ(message([](auto& s) { s.volSamp = 1500; }),
              "Объём дозы (15.00 мкл) больше, чем объём шприца (10.00)\nУменьшите объём дозы.");
    EXPECT_NE(message([](auto& s) { s.aspSpeed = 101; }).find("(101.00 мкл/сек) очень большаяя"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) { s.ejeSpeed = 0; }).find("Скорость дозирования (0.00"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) { s.preTime = 100; }).find("Время перед дозированием (100.00"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) { s.posTime = -1; }).find("Время внутри испарителя"),
              std::string::npos);
    EXPECT_EQ(message([](auto&) {}, 10, false),
              "Выбор прибора для запуска анализа не верен\nПопробуйте выбрать другой прибор для "
              "записи.");
    EXPECT_NE(message([](auto& s) { s.preVol = 2000; }).find("промывки перед дозированием (20.00"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) { s.volFill = 2000; }).find("Объём промывки пробой"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) { s.postVol = 2000; }).find("промывки после дозирования"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) { s.handWashVolume = 2000; }).find("ручной промывки (20.00"),
              std::string::npos);
    EXPECT_NE(message([](auto& s) {
                  s.isoEnab = 1;
                  s.isVol = 600;
              }).find("составляет (11.00 мкл)"),
              std::string::npos);
    // The aspiration speed 0 leaves the sampler's own speed.
    EXPECT_EQ(message([](auto& s) { s.aspSpeed = 0; }), "");
}

TEST(Ht300Commands, SettingsAndVialsSurviveTheRegistryAndStartRulesHold) {
    test::TempDir dir;
    SettingsStore store(dir / "settings", true);
    const std::string key = "Software\\Quendal\\Zelmora\\ADC_0";
    {
        CHt300Sampler a;
        ASSERT_TRUE(a.init(0));
        EXPECT_EQ(a.channelCount(), 0);
        EXPECT_EQ(a.vials()[0].name, "Проба 1");
        EXPECT_EQ(a.vials()[109].name, "Проба 110");
        // No injections per vial, then no vial in use.
        Ht300Settings s;
        s.repeat = 0;
        a.setSettings(s);
        EXPECT_EQ(a.startSeries().message(),
                  "Количество дозирований одной пробы должно быть больше нуля.");
        s.repeat = 3;
        s.volSamp = 250;
        s.deviceIndex = 2;
        a.setSettings(s);
        EXPECT_EQ(a.startSeries().message(), "Ни одна из проб не помечена как рабочая.");
        // A vial beyond the tray the sampler reported (10 places) is not used.
        a.setVial(39, Ht300Vial{"Бензин АИ-95", true});
        EXPECT_EQ(a.startSeries().message(), "Ни одна из проб не помечена как рабочая.");
        a.setVial(2, Ht300Vial{"Проба 3", true});
        EXPECT_EQ(a.startSeries().message(), "Дозатор HT300 не подключён.");
        a.saveSettings(store, key);
    }
    EXPECT_EQ(store.readInt(key, "VOLSAMP", 0), 250);
    EXPECT_EQ(store.readInt(key, "StartChannelBits1", 0), 2);
    EXPECT_EQ(store.readInt(key, "SampleUse_39", 0), 1);
    CHt300Sampler b;
    ASSERT_TRUE(b.init(0));
    b.loadSettings(store, key);
    EXPECT_EQ(b.settings().volSamp, 250);
    EXPECT_EQ(b.settings().deviceIndex, 2);
    EXPECT_EQ(b.settings().ejeSpeed, 100);
    EXPECT_EQ(b.vials()[39].name, "Бензин АИ-95");
    EXPECT_TRUE(b.vials()[39].use);
    EXPECT_FALSE(b.vials()[38].use);
}

}  // namespace
}  // namespace zelmora
