// The Pelvio autosampler's link, with the test playing the sampler frame by
// frame through the simulator on a pseudo-terminal (passive: it sends and
// acknowledges only what the test says): identification and its acknowledgement, parameters and
// start code repeated until acknowledged, injections, status answers that
// follow the chromatograph's run state, faults that end the series, damaged
// frames, and the silence after which the sampler must identify again.

#include <gtest/gtest.h>

#include <chrono>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/alarm_collector.h"
#include "instruments/pelvio_sampler.h"
#include "instruments/sim/pelvio_pty_simulator.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using Payload = std::vector<std::uint8_t>;
using wire::PelvioFrameParser;

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

class PelvioTest : public ::testing::Test {
  protected:
    static sim::PelvioSimConfig passive() {
        sim::PelvioSimConfig c;
        c.passive = true;
        return c;
    }
    void SetUp() override {
        if (!CWorkLog::instance().active())
            CWorkLog::instance().start({}, "test", "test");
        std::string error;
        ASSERT_TRUE(peer_.start(&error)) << error;
        sampler_.setClock(clock_.fn());
        sampler_.setCommandIntervalMs(0);
        PelvioSettings s;
        s.use = true;
        s.firstVial = 2;
        s.lastVial = 5;
        s.volumeTenths = 15;
        s.syncChannel = 1;
        sampler_.setSettings(s);
        ASSERT_TRUE(test::succeeded(sampler_.open(peer_.path())));
    }
    // Every frame of the program had a good check byte.
    void TearDown() override {
        EXPECT_EQ(peer_.withModel([](auto& m) { return m.badFramesReceived(); }), 0u);
    }
    void identify() {
        peer_.send({2, 0, 0});
        ASSERT_TRUE(peer_.expectReceived({0, 2}));
        ASSERT_TRUE(test::eventually([&] { return sampler_.isIdentified(); }));
    }

    sim::PelvioPtySimulator peer_{passive()};
    AlarmCollector alarms_;
    test::ManualClock clock_;
    CPelvioSampler sampler_{alarms_};
};

TEST(PelvioFrame, BuildsAndChecksFrames) {
    const std::vector<std::uint8_t> injection = {0x55, 0x02, 0x01, 0x00, 0x03};
    EXPECT_EQ(wire::buildPelvioFrame({1, 0}), injection);
    EXPECT_EQ(wire::buildPelvioFrame({0, 1}), (std::vector<std::uint8_t>{0x55, 2, 0, 1, 3}));

    PelvioFrameParser p;
    EXPECT_EQ(p.feed(0x13), PelvioFrameParser::Event::None);  // not a frame start
    PelvioFrameParser::Event last = PelvioFrameParser::Event::None;
    for (std::uint8_t b : injection)
        last = p.feed(b);
    ASSERT_EQ(last, PelvioFrameParser::Event::Frame);
    EXPECT_EQ(p.payload(), (Payload{1, 0}));

    for (std::uint8_t b : {0x55, 0x02, 0x01, 0x00})
        EXPECT_EQ(p.feed(b), PelvioFrameParser::Event::None);
    EXPECT_EQ(p.feed(0x07), PelvioFrameParser::Event::BadCheck);

    // A length the sampler never sends: cut at the sixth byte.
    for (std::uint8_t b : {0x55, 0x09, 1, 2, 3})
        EXPECT_EQ(p.feed(b), PelvioFrameParser::Event::None);
    EXPECT_EQ(p.feed(4), PelvioFrameParser::Event::TooLong);
    for (std::uint8_t b : injection)
        last = p.feed(b);
    EXPECT_EQ(last, PelvioFrameParser::Event::Frame);
}

// The sampler's side: the program's frames run up to ten payload bytes; a
// length byte that cannot be one makes the search start again there.
TEST(PelvioFrame, SamplerSideReadsTheProgramsFrames) {
    using wire::PelvioRequestParser;
    PelvioRequestParser p;
    std::vector<std::uint8_t> bytes = {0x55, 0x55, 0x0B, 0x13};  // no frame here
    const auto params = wire::buildPelvioFrame({3, 1, 3, 10, 2, 9, 5, 0, 4, 1});
    bytes.insert(bytes.end(), params.begin(), params.end());
    int good = 0;
    for (std::uint8_t b : bytes)
        good += p.feed(b) == PelvioRequestParser::Event::Frame;
    EXPECT_EQ(good, 1);
    EXPECT_EQ(p.payload(), (Payload{3, 1, 3, 10, 2, 9, 5, 0, 4, 1}));
    PelvioRequestParser::Event last = PelvioRequestParser::Event::None;
    for (std::uint8_t b : {0x55, 0x02, 0x00, 0x02, 0x01})
        last = p.feed(b);
    EXPECT_EQ(last, PelvioRequestParser::Event::BadCheck);
}

TEST(PelvioSettingsTest, KeptInTheChromatographsKey) {
    test::TempDir dir;
    SettingsStore store(dir / "settings", true);
    PelvioSettings s;
    EXPECT_FALSE(s.use);
    EXPECT_EQ(s.volumeTenths, 10);
    s.use = true;
    s.lastVial = 12;
    s.injectionsPerVial = 3;
    s.syncChannel = 1;
    s.save(store, "Dev");
    EXPECT_EQ(store.readInt("Dev", "Pelvio_EndViala", 0), 12);
    PelvioSettings back;
    back.load(store, "Dev");
    EXPECT_EQ(back, s);
    store.setInt("Dev", "Pelvio_SyncCannel", 7);
    back.load(store, "Dev");
    EXPECT_EQ(back.syncChannel, 0);
}

TEST_F(PelvioTest, SendsParametersAndStartUntilAcknowledged) {
    identify();
    // Parameters once identified: first and last vial, volume, speeds,
    // washing, injection time, pumpings, injections per vial.
    const Payload parameters = {3, 2, 5, 15, 2, 9, 5, 0, 4, 1};
    sampler_.poke();
    ASSERT_TRUE(peer_.expectReceived(parameters));
    sampler_.poke();
    ASSERT_TRUE(peer_.expectReceived(parameters));  // not acknowledged: again
    peer_.send({0, 3});
    ASSERT_TRUE(test::eventually([&] {
        sampler_.poke();
        return peer_.countReceived(parameters) >= 2;
    }));

    // The run begins: the start code until the sampler takes it.
    sampler_.reset();
    EXPECT_TRUE(sampler_.isActive());
    ASSERT_TRUE(test::eventually([&] {
        sampler_.poke();
        return peer_.countReceived({2, 1}) >= 1;
    }));
    peer_.send({0, 2});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int starts = peer_.countReceived({2, 1});
    EXPECT_LE(starts, 2);
    for (int i = 0; i < 5; ++i) {
        sampler_.poke();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(peer_.countReceived({2, 1}), starts);
    EXPECT_NE(workLogText().find("  Pelvio:   Передача параметров."), std::string::npos);
    EXPECT_NE(workLogText().find("  Pelvio:   Старт."), std::string::npos);
}

TEST_F(PelvioTest, InjectionsStatusAndTheEndOfTheSeries) {
    identify();
    sampler_.reset();
    // Status follows the chromatograph: ready, analysis, other.
    sampler_.step(5);
    peer_.send({3});
    ASSERT_TRUE(peer_.expectReceived({1, 3, 0}));
    sampler_.step(8);
    peer_.send({3});
    ASSERT_TRUE(peer_.expectReceived({1, 5, 0}));
    sampler_.step(20);
    peer_.send({3});
    ASSERT_TRUE(peer_.expectReceived({1, 1, 0}));

    peer_.send({1, 0});
    ASSERT_TRUE(peer_.expectReceived({0, 1}));
    ASSERT_TRUE(test::eventually([&] { return sampler_.injectionCount() == 1; }));
    EXPECT_TRUE(sampler_.takeInjection());
    EXPECT_FALSE(sampler_.takeInjection());
    EXPECT_EQ(sampler_.syncChannel(), 1);

    peer_.send({1, 2});
    ASSERT_TRUE(peer_.expectReceived({0, 1}));
    ASSERT_TRUE(test::eventually([&] { return !sampler_.isActive(); }));
    // Inactive: the status is 1 whatever the chromatograph does.
    sampler_.step(5);
    peer_.send({3});
    ASSERT_TRUE(peer_.expectReceived({1, 1, 0}));
    sampler_.poke();
    EXPECT_TRUE(peer_.expectReceived({2, 3}));
    EXPECT_NE(workLogText().find("  Pelvio:   Конец серии анализов."), std::string::npos);
}

TEST_F(PelvioTest, FaultsDamagedFramesAndSilence) {
    identify();
    sampler_.reset();
    peer_.send({2, 0, 4});
    ASSERT_TRUE(test::eventually([&] { return sampler_.faultCode() == 4; }));
    EXPECT_EQ(alarms_.count(CPelvioSampler::kAlarmPelvio), 1u);
    EXPECT_FALSE(sampler_.isActive());
    sampler_.poke();
    EXPECT_TRUE(peer_.expectReceived({2, 3}));
    EXPECT_NE(workLogText().find("Нет  датчика  среднего  положения  каретки"), std::string::npos);

    // A damaged injection is not an injection.
    peer_.sendBytes({0x55, 0x02, 0x01, 0x00, 0x07});
    ASSERT_TRUE(test::eventually(
        [&] { return workLogText().find("! Pelvio:   Ошибка CRC") != std::string::npos; }));
    EXPECT_FALSE(sampler_.takeInjection());

    // Six seconds of silence: identify again, and the parameters go out anew.
    clock_.ms += 6500;
    sampler_.poke();
    ASSERT_TRUE(test::eventually([&] { return !sampler_.isIdentified(); }));
    EXPECT_NE(workLogText().find("В течении большого времени нет посылок от Pelvio."),
              std::string::npos);
    identify();
    sampler_.poke();
    EXPECT_TRUE(peer_.expectReceived({3, 2, 5, 15, 2, 9, 5, 0, 4, 1}));
    sampler_.close();
}

}  // namespace
}  // namespace zelmora
