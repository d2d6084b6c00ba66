// The simulated Pelvio autosampler: its bytes against a clock the test
// moves (identification, acknowledgements, the series with its injections
// and end, the damaged reports and the faults on request), its options, and
// end to end with the simulated chromatograph: a series of injections, each
// starting the bound channel, with every fault of the line survived and
// written to the work log.

#include <gtest/gtest.h>

#include <algorithm>

#include "app/text.h"
#include "app/work_log.h"
#include "instruments/device_types.h"
#include "instruments/kalder_instrument.h"
#include "instruments/sim/kalder_pty_simulator.h"
#include "instruments/sim/pelvio_pty_simulator.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using sim::PelvioDamage;
using sim::PelvioModel;
using sim::PelvioPayload;
using sim::PelvioSimConfig;
using sim::PelvioSimFault;
using Bytes = std::vector<std::uint8_t>;

Bytes frame(const PelvioPayload& p) {
    return wire::buildPelvioFrame(p);
}

Bytes frames(std::initializer_list<PelvioPayload> ps) {
    Bytes out;
    for (const PelvioPayload& p : ps) {
        const Bytes f = frame(p);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

// The program's side, fed to the model.
void hear(PelvioModel& m, const PelvioPayload& p, std::int64_t t) {
    const Bytes f = frame(p);
    m.receive(f.data(), f.size(), t);
}

// Parameters of vials 2-3, two injections each: four in the series.
const PelvioPayload kParameters = {3, 2, 3, 15, 2, 9, 5, 0, 4, 2};

// A sampler whose heartbeat (identification, status request) comes only at
// its first poll, so that the series' frames stand alone.
PelvioSimConfig quietHeartbeat() {
    PelvioSimConfig c;
    c.heartbeatMs = 1'000'000;
    c.aliveMs = 1'000'000;
    return c;
}

TEST(PelvioModelTest, IdentifiesTakesParametersAndWorksThroughTheSeries) {
    // Identification and a status request at once; identification again
    // every second until acknowledged, then every three seconds.
    PelvioModel m{PelvioSimConfig{}};
    EXPECT_EQ(m.poll(0), frames({{2, 0, 0}, {3}}));
    EXPECT_TRUE(m.poll(500).empty());
    EXPECT_EQ(m.poll(1000), frames({{2, 0, 0}, {3}}));
    hear(m, {0, 2}, 1100);
    EXPECT_TRUE(m.identified());
    EXPECT_EQ(m.poll(2000), frame({3}));
    EXPECT_EQ(m.poll(4000), frames({{2, 0, 0}, {3}}));

    PelvioSimConfig c = quietHeartbeat();
    c.injectEverySeconds = 5;
    c.speed = 2;  // every 2.5 s
    PelvioModel s(c);
    EXPECT_EQ(s.poll(0), frames({{2, 0, 0}, {3}}));
    hear(s, {0, 2}, 10);
    // Parameters and the start code are acknowledged; the status answers
    // are remembered.
    hear(s, kParameters, 100);
    hear(s, {2, 1}, 200);
    hear(s, {1, 3, 0}, 300);
    EXPECT_EQ(s.poll(300), frames({{0, 3}, {0, 2}}));
    EXPECT_EQ(s.parameters(), PelvioPayload(kParameters.begin() + 1, kParameters.end()));
    EXPECT_EQ(s.injectionsPlanned(), 4);
    EXPECT_TRUE(s.seriesRunning());
    EXPECT_EQ(s.lastStatus(), 3);

    // The first injection 2.5 s after the start; repeated every second
    // until acknowledged, and no other while it waits.
    EXPECT_TRUE(s.poll(2600).empty());
    EXPECT_EQ(s.poll(2700), frame({1, 0}));
    EXPECT_TRUE(s.poll(3600).empty());
    EXPECT_EQ(s.poll(3700), frame({1, 0}));
    hear(s, {0, 1}, 3750);
    EXPECT_EQ(s.injectionsDone(), 1);
    // The chromatograph analyses: no injection while it says so, nor for
    // the interval after it last did.
    hear(s, {1, 5, 0}, 4000);
    EXPECT_TRUE(s.poll(5300).empty());
    hear(s, {1, 5, 0}, 8000);
    hear(s, {1, 3, 0}, 9000);
    EXPECT_TRUE(s.poll(10400).empty());
    EXPECT_EQ(s.poll(10500), frame({1, 0}));
    hear(s, {0, 1}, 10600);
    // The interval runs from the acknowledgement.
    for (std::int64_t t : {13100, 15610}) {
        EXPECT_TRUE(s.poll(t - 100).empty()) << t;
        EXPECT_EQ(s.poll(t), frame({1, 0})) << t;
        hear(s, {0, 1}, t + 10);
    }
    EXPECT_EQ(s.injectionsDone(), 4);
    // After the fourth the end of the series, repeated until acknowledged.
    EXPECT_TRUE(s.poll(18100).empty());
    EXPECT_EQ(s.poll(18120), frame({1, 2}));
    EXPECT_FALSE(s.seriesRunning());
    EXPECT_TRUE(s.seriesEnded());
    EXPECT_EQ(s.poll(19120), frame({1, 2}));
    hear(s, {0, 1}, 19200);
    EXPECT_TRUE(s.poll(25000).empty());
    hear(s, {2, 3}, 25100);
    EXPECT_EQ(s.poll(25100), frame({0, 2}));
    EXPECT_EQ(s.badFramesReceived(), 0u);
}

TEST(PelvioModelTest, DamagedReportsSilenceUnansweredCommandsAndFaults) {
    PelvioSimConfig c = quietHeartbeat();
    c.injectEverySeconds = 1;
    c.injections = 4;
    c.waitForAnalysis = false;
    c.faults = {{PelvioSimFault::Kind::NoAnswer, 1, 2},   {PelvioSimFault::Kind::BadCheck, 1, 0},
                {PelvioSimFault::Kind::Short, 2, 0},      {PelvioSimFault::Kind::Long, 3, 0},
                {PelvioSimFault::Kind::Silence, 3, 4000}, {PelvioSimFault::Kind::Sampler, 4, 6}};
    PelvioModel m(c);
    m.poll(0);
    hear(m, {0, 2}, 10);
    // The first two commands are not heard; the third is.
    hear(m, kParameters, 100);
    hear(m, kParameters, 200);
    EXPECT_TRUE(m.poll(300).empty());
    EXPECT_FALSE(m.parametersKnown());
    hear(m, kParameters, 400);
    hear(m, {2, 1}, 500);
    EXPECT_EQ(m.poll(500), frames({{0, 3}, {0, 2}}));
    EXPECT_EQ(m.commandsIgnored(), 2);

    // Injection 1 with a wrong check byte, then intact.
    Bytes bad = frame({1, 0});
    bad.back() ^= 0x5A;
    EXPECT_EQ(m.poll(1500), bad);
    EXPECT_EQ(m.poll(2500), frame({1, 0}));
    hear(m, {0, 1}, 2600);
    // Injection 2 without its check byte.
    Bytes cut = frame({1, 0});
    cut.pop_back();
    EXPECT_EQ(m.poll(3600), cut);
    EXPECT_EQ(m.poll(4600), frame({1, 0}));
    hear(m, {0, 1}, 4700);
    // Injection 3 declaring five payload bytes; once acknowledged the
    // sampler falls silent, hears nothing, and identifies itself again.
    EXPECT_EQ(m.poll(5700), frame({1, 0, 0, 0, 0}));
    EXPECT_EQ(m.poll(6700), frame({1, 0}));
    hear(m, {0, 1}, 6800);
    EXPECT_TRUE(m.poll(8000).empty());
    hear(m, {2, 3}, 9000);
    EXPECT_TRUE(m.poll(10700).empty());
    EXPECT_TRUE(m.seriesRunning());
    EXPECT_EQ(m.poll(10800), frame({2, 0, 0}));
    EXPECT_FALSE(m.identified());
    hear(m, {0, 2}, 10900);
    // Instead of injection 4 the sampler's own fault 6; nothing follows.
    EXPECT_EQ(m.poll(11000), frame({2, 0, 6}));
    EXPECT_EQ(m.samplerFault(), 6);
    EXPECT_FALSE(m.seriesRunning());
    EXPECT_TRUE(m.poll(14000).empty());
    EXPECT_EQ(m.injectionsDone(), 3);

    // On request: an injection (even outside a series), an end, a fault.
    m.requestInjection(PelvioDamage::BadCheck);
    EXPECT_EQ(m.poll(14100), bad);
    hear(m, {0, 1}, 14200);
    m.requestSamplerFault(2);
    EXPECT_EQ(m.poll(14300), frame({2, 0, 2}));
    m.requestEnd();
    EXPECT_EQ(m.poll(14400), frame({1, 2}));
    hear(m, {0, 1}, 14500);

    // The same typed to the simulator.
    for (const char* wrong :
         {"inject twice", "fault 7", "fault", "silence 0", "end now", "no-answer -1", "jump"})
        EXPECT_FALSE(sim::applyPelvioCommand(m, wrong, 15000)) << wrong;
    EXPECT_TRUE(m.poll(15000).empty());
    ASSERT_TRUE(sim::applyPelvioCommand(m, "inject long", 15000));
    EXPECT_EQ(m.poll(15000), frame({1, 0, 0, 0, 0}));
    hear(m, {0, 1}, 15100);
    ASSERT_TRUE(sim::applyPelvioCommand(m, " fault 5 ", 15200));
    EXPECT_EQ(m.poll(15200), frame({2, 0, 5}));
    ASSERT_TRUE(sim::applyPelvioCommand(m, "no-answer", 15300));
    hear(m, {2, 1}, 15300);
    hear(m, {2, 1}, 15400);
    EXPECT_EQ(m.poll(15400), frame({0, 2}));
    ASSERT_TRUE(sim::applyPelvioCommand(m, "silence 500", 15500));
    hear(m, {2, 3}, 15600);
    EXPECT_TRUE(m.poll(15900).empty());
    EXPECT_TRUE(m.seriesRunning());

    // The passive sampler records and answers nothing.
    PelvioSimConfig quiet;
    quiet.passive = true;
    PelvioModel p(quiet);
    EXPECT_TRUE(p.poll(0).empty());
    hear(p, kParameters, 10);
    const Bytes damaged = {0x55, 2, 0, 2, 0x07};
    p.receive(damaged.data(), damaged.size(), 20);
    EXPECT_TRUE(p.poll(5000).empty());
    ASSERT_EQ(p.received().size(), 1u);
    EXPECT_EQ(p.badFramesReceived(), 1u);
    p.sendPayload({1, 0});
    EXPECT_EQ(p.poll(5001), frame({1, 0}));
}

TEST(PelvioModelTest, Options) {
    PelvioSimConfig c;
    std::string error;
    ASSERT_TRUE(
        sim::parsePelvioArgs({"pelvio", "--speed", "4", "--inject-every", "3", "--injections", "6",
                              "--ignore-status", "--fault", "bad-check@2", "--fault", "silence@0",
                              "--fault", "no-answer@1:3", "--fault", "sampler@5:4"},
                             c, &error))
        << error;
    EXPECT_EQ(c.speed, 4);
    EXPECT_EQ(c.injectEverySeconds, 3);
    EXPECT_EQ(c.injections, 6);
    EXPECT_FALSE(c.waitForAnalysis);
    ASSERT_EQ(c.faults.size(), 4u);
    EXPECT_EQ(c.faults[1].kind, PelvioSimFault::Kind::Silence);
    EXPECT_EQ(c.faults[1].arg, 7000);
    EXPECT_EQ(c.faults[2].arg, 3);
    EXPECT_EQ(c.faults[3].arg, 4);
    PelvioSimConfig manual;
    ASSERT_TRUE(sim::parsePelvioArgs({"pelvio", "--manual"}, manual, &error));
    EXPECT_EQ(manual.injectEverySeconds, 0);
    for (const char* bad : {"sampler@1:7", "sampler@1:0", "bad-check@0", "short", "noise@1",
                            "long@x", "silence@1:-5"}) {
        PelvioSimConfig d;
        EXPECT_FALSE(sim::parsePelvioArgs({"pelvio", "--fault", bad}, d, &error)) << bad;
    }
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"pelvio", "--speed", "0"},
                                               {"pelvio", "--inject-every"},
                                               {"pelvio", "--bogus", "1"}}) {
        PelvioSimConfig d;
        EXPECT_FALSE(sim::parsePelvioArgs(bad, d, &error)) << bad[1];
    }
}

// --- end to end --------------------------------------------------------------

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

std::size_t occurrences(const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (auto at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        ++n;
    return n;
}

// The chromatograph with its sampler on two pseudo-terminals. The test
// stands for the main window: a "Записать хроматограмму" command the
// driver posts starts a short recording on that channel.
class PelvioSeriesTest : public ::testing::Test {
  protected:
    static constexpr std::size_t kRunSamples = 60;
    // The sampler's link runs on a clock three times as fast as the wall
    // clock, so that six seconds of silence take two.
    static constexpr int kClockScale = 3;

    void SetUp() override {
        if (!CWorkLog::instance().active())
            CWorkLog::instance().start({}, "test", "test");
        logFrom_ = workLogText().size();
    }

    std::unique_ptr<CKalderInstrument> connect(sim::KalderPtySimulator& gc,
                                               sim::PelvioPtySimulator& sampler) {
        auto d = std::make_unique<CKalderInstrument>(1);
        EXPECT_TRUE(d->init(0));
        d->setPortPath(gc.path());
        d->setReceiveTimeoutMs(3000);
        d->setWriterPeriodsMs(5, 20);
        PelvioSettings s;
        s.use = true;
        s.firstVial = 1;
        s.lastVial = 3;
        s.injectionsPerVial = 1;
        s.syncChannel = 1;
        d->pelvio().setSettings(s);
        d->pelvio().setClock([start = std::chrono::steady_clock::now()] {
            return std::int64_t{1'000'000} +
                   kClockScale * std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count();
        });
        d->setPelvioPortPath(sampler.path());
        d->setCommandSink(commands_.sink());
        return d;
    }

    // Plays the main window until `done`: every record command of the
    // sampler's channel starts a recording of kRunSamples points.
    template <class F>
    bool serve(CKalderInstrument& d, F done, int timeoutMs) {
        const int record = command::kRecord + command::channelKey(0, 1);
        return test::eventually(
            [&] {
                const auto ids = commands_.get();
                for (; served_ < ids.size(); ++served_) {
                    if (ids[served_] != record)
                        continue;
                    ++recordCommands_;
                    test::samples(d, 1).recordNow(true, kRunSamples);
                }
                return done();
            },
            timeoutMs);
    }
    std::string newLog() const { return workLogText().substr(logFrom_); }
    // The sampler's lines and the recordings', for a failure's message.
    std::string story() const {
        std::string out;
        const std::string log = newLog();
        for (std::size_t at = 0; at < log.size();) {
            const auto end = std::min(log.find('\n', at), log.size());
            const std::string line = log.substr(at, end - at);
            if (line.find("Pelvio") != std::string::npos ||
                line.find("записи") != std::string::npos)
                out += line + "\n";
            at = end + 1;
        }
        return out;
    }

    std::size_t logFrom_ = 0;
    test::CommandLog commands_;
    std::size_t served_ = 0;
    int recordCommands_ = 0;
};

TEST_F(PelvioSeriesTest, InjectionsStartTheBoundChannelAndFaultsAreSurvived) {
    sim::KalderSimConfig gcConfig = sim::defaultKalderConfig();
    gcConfig.speed = 10;
    sim::KalderPtySimulator gc(gcConfig);
    PelvioSimConfig c;
    c.injectEverySeconds = 0.6;
    c.faults = {{PelvioSimFault::Kind::NoAnswer, 1, 1},  // the parameters, once
                {PelvioSimFault::Kind::BadCheck, 1, 0},
                {PelvioSimFault::Kind::Short, 2, 0},
                {PelvioSimFault::Kind::Silence, 2, 2500},
                {PelvioSimFault::Kind::Long, 3, 0}};
    sim::PelvioPtySimulator sampler(c);
    std::string error;
    ASSERT_TRUE(gc.start(&error)) << error;
    ASSERT_TRUE(sampler.start(&error)) << error;
    auto d = connect(gc, sampler);
    d->pelvio().setCommandIntervalMs(300);
    ASSERT_TRUE(test::succeeded(d->open()));
    ASSERT_TRUE(d->pelvio().isOpen());

    // Identified, the parameters given (the first went unanswered).
    ASSERT_TRUE(sampler.waitFor([](const PelvioModel& m) { return m.parametersKnown(); }, 8000));
    EXPECT_TRUE(d->pelvio().isIdentified());
    EXPECT_EQ(sampler.withModel([](auto& m) { return m.parameters(); }),
              (PelvioPayload{1, 3, 10, 2, 9, 5, 0, 4, 1}));
    EXPECT_GE(sampler.countReceived({3, 1, 3, 10, 2, 9, 5, 0, 4, 1}), 2);

    // Channel 2 waits for its start; the operator starts the run: the
    // chromatograph waits for the sampler, which gets its start code.
    test::samples(*d, 1).arm(kRunSamples);
    EXPECT_FALSE(d->beginRun());
    EXPECT_EQ(d->runState(), run_state::kAutosampler);
    ASSERT_TRUE(sampler.waitFor([](const PelvioModel& m) { return m.seriesRunning(); }, 5000));

    // Three injections, each one recording on channel 2 (the first starts
    // the waiting channel, the others ask for "Записать хроматограмму"),
    // then the end of the series and the stop code.
    ASSERT_TRUE(serve(
        *d, [&] { return sampler.withModel([](auto& m) { return m.seriesEnded(); }); }, 40000))
        << "injections " << sampler.withModel([](auto& m) { return m.injectionsDone(); });
    serve(
        *d,
        [&] {
            return recordCommands_ == 2 && !d->pelvio().isActive() &&
                   !test::samples(*d, 1).isRecording();
        },
        5000);
    ASSERT_TRUE(sampler.expectReceived({2, 3}, 5000));
    EXPECT_EQ(sampler.withModel([](auto& m) { return m.injectionsDone(); }), 3);
    EXPECT_EQ(d->pelvio().injectionCount(), 3);
    EXPECT_EQ(recordCommands_, 2) << story();
    EXPECT_EQ(test::samples(*d, 1).startCount(), 3);
    EXPECT_EQ(test::samples(*d, 1).sampleCount(), kRunSamples);
    EXPECT_EQ(test::samples(*d, 0).startCount(), 0);
    // Back to ready once the sampler is done.
    ASSERT_TRUE(test::eventually([&] { return d->runState() != run_state::kAutosampler; }, 5000));
    // An acknowledgement does not say which code it answers: let the stop's
    // reach the driver before the next start is to be sent.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // A fault of the sampler raises alarm 45 and ends a new series at once.
    EXPECT_FALSE(d->beginRun());
    ASSERT_TRUE(sampler.waitFor([](const PelvioModel& m) { return m.seriesRunning(); }, 5000))
        << story();
    sampler.withModel([](auto& m) { m.requestSamplerFault(3); });
    ASSERT_TRUE(test::eventually([&] { return d->pelvio().faultCode() == 3; }, 5000));
    EXPECT_TRUE(d->alarms().has(CPelvioSampler::kAlarmPelvio));
    EXPECT_FALSE(d->pelvio().isActive());
    ASSERT_TRUE(sampler.expectReceived({2, 3}, 5000));
    EXPECT_EQ(sampler.withModel([](auto& m) { return m.badFramesReceived(); }), 0u);
    d->close();

    const std::string log = newLog();
    EXPECT_EQ(occurrences(log, "  Pelvio:   Доза."), 3u) << log;
    EXPECT_GE(occurrences(log, "  Pelvio:   Передача параметров."), 2u);
    EXPECT_GE(occurrences(log, "  Pelvio:   Старт."), 2u);
    EXPECT_GE(occurrences(log, "  Pelvio:   Стоп."), 2u);
    EXPECT_EQ(occurrences(log, "  Pelvio:   Конец серии анализов."), 1u);
    // Wrong check byte and short frame; the long frame; the silence, after
    // which the sampler identifies again.
    EXPECT_GE(occurrences(log, "! Pelvio:   Ошибка CRC"), 2u);
    EXPECT_GE(occurrences(log, "! Pelvio:   Сбой синхронизации - пакет данных слишком длинный."),
              1u);
    EXPECT_EQ(occurrences(log, "! Pelvio:   В течении большого времени нет посылок от Pelvio."),
              1u);
    EXPECT_EQ(occurrences(log, "  Pelvio:   Идентификация Pelvio."), 2u);
    EXPECT_NE(log.find("! Pelvio:   Ошибка Pelvio - Нет датчика  верхнего  положения  каретки"),
              std::string::npos);
    EXPECT_EQ(occurrences(log, "  Начало записи по 2 каналу на приборе 1 (Zelmora Kalder)"), 3u);
}

}  // namespace
}  // namespace zelmora
