// The Pelvio autosampler's link, with the test playing the sampler on a
// pseudo-terminal: identification and its acknowledgement, parameters and
// start code repeated until acknowledged, injections, status answers that
// follow the chromatograph's run state, faults that end the series, damaged
// frames, and the silence after which the sampler must identify again.

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "app/settings_store.h"
#include "app/text.h"
#include "app/work_log.h"
#include "instruments/alarm_collector.h"
#include "instruments/pelvio_sampler.h"
#include "instruments/pseudo_terminal.h"
#include "tests/instruments/sim_rig.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using Payload = std::vector<std::uint8_t>;
using wire::PelvioFrameParser;

std::string workLogText() {
    return text::fromCp1251(test::readFile(CWorkLog::instance().path()));
}

// The sampler's end of the line: frames out, the program's frames in.
class SamplerPeer {
  public:
    explicit SamplerPeer(PseudoTerminal& pty) : pty_(pty) {}

    void send(const Payload& payload) { sendBytes(wire::buildPelvioFrame(payload)); }
    void sendBytes(const std::vector<std::uint8_t>& b) {
        ASSERT_EQ(::write(pty_.master(), b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }

    // Waits for a frame of the program with this payload; frames before it
    // are kept in seen().
    bool expect(const Payload& want, int timeoutMs = 3000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (std::size_t i = checked_; i < seen_.size(); ++i) {
                if (seen_[i] == want) {
                    checked_ = i + 1;
                    return true;
                }
            }
            checked_ = seen_.size();
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                return false;
            pump(static_cast<int>(std::min<long long>(left, 50)));
        }
    }
    int count(const Payload& want) {
        pump(0);
        int n = 0;
        for (const Payload& p : seen_)
            n += p == want;
        return n;
    }
    void pump(int waitMs) {
        pollfd p{pty_.master(), POLLIN, 0};
        if (::poll(&p, 1, waitMs) <= 0)
            return;
        std::uint8_t buf[256];
        const ssize_t n = ::read(pty_.master(), buf, sizeof buf);
        for (ssize_t i = 0; i < n; ++i)
            take(buf[i]);
    }

  private:
    // The program's frames may be longer than the sampler's own (the
    // parameters carry ten bytes).
    void take(std::uint8_t b) {
        if (in_.empty() && b != wire::kPelvioSync)
            return;
        in_.push_back(b);
        if (in_.size() >= 2 && in_.size() == std::size_t(in_[1]) + 3) {
            std::uint8_t check = in_[1];
            for (std::size_t i = 2; i + 1 < in_.size(); ++i)
                check ^= in_[i];
            EXPECT_EQ(check, in_.back());
            seen_.emplace_back(in_.begin() + 2, in_.end() - 1);
            in_.clear();
        }
    }

    PseudoTerminal& pty_;
    std::vector<std::uint8_t> in_;
    std::vector<Payload> seen_;
    std::size_t checked_ = 0;
};

class PelvioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!CWorkLog::instance().active())
            CWorkLog::instance().start({}, "test", "test");
        ASSERT_TRUE(pty_.open().ok());
        sampler_.setClock(clock_.fn());
        sampler_.setCommandIntervalMs(0);
        PelvioSettings s;
        s.use = true;
        s.firstVial = 2;
        s.lastVial = 5;
        s.volumeTenths = 15;
        s.syncChannel = 1;
        sampler_.setSettings(s);
        ASSERT_TRUE(test::succeeded(sampler_.open(pty_.slavePath())));
    }
    void identify() {
        peer_.send({2, 0, 0});
        ASSERT_TRUE(peer_.expect({0, 2}));
        ASSERT_TRUE(test::eventually([&] { return sampler_.isIdentified(); }));
    }

    PseudoTerminal pty_;
    AlarmCollector alarms_;
    test::ManualClock clock_;
    CPelvioSampler sampler_{alarms_};
    SamplerPeer peer_{pty_};
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
    ASSERT_TRUE(peer_.expect(parameters));
    sampler_.poke();
    ASSERT_TRUE(peer_.expect(parameters));  // not acknowledged: again
    peer_.send({0, 3});
    ASSERT_TRUE(test::eventually([&] {
        sampler_.poke();
        return peer_.count(parameters) >= 2;
    }));

    // The run begins: the start code until the sampler takes it.
    sampler_.reset();
    EXPECT_TRUE(sampler_.isActive());
    ASSERT_TRUE(test::eventually([&] {
        sampler_.poke();
        return peer_.count({2, 1}) >= 1;
    }));
    peer_.send({0, 2});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int starts = peer_.count({2, 1});
    EXPECT_LE(starts, 2);
    for (int i = 0; i < 5; ++i) {
        sampler_.poke();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(peer_.count({2, 1}), starts);
    EXPECT_NE(workLogText().find("  Pelvio:   Передача параметров."), std::string::npos);
    EXPECT_NE(workLogText().find("  Pelvio:   Старт."), std::string::npos);
}

TEST_F(PelvioTest, InjectionsStatusAndTheEndOfTheSeries) {
    identify();
    sampler_.reset();
    // Status follows the chromatograph: ready, analysis, other.
    sampler_.step(5);
    peer_.send({3});
    ASSERT_TRUE(peer_.expect({1, 3, 0}));
    sampler_.step(8);
    peer_.send({3});
    ASSERT_TRUE(peer_.expect({1, 5, 0}));
    sampler_.step(20);
    peer_.send({3});
    ASSERT_TRUE(peer_.expect({1, 1, 0}));

    peer_.send({1, 0});
    ASSERT_TRUE(peer_.expect({0, 1}));
    ASSERT_TRUE(test::eventually([&] { return sampler_.injectionCount() == 1; }));
    EXPECT_TRUE(sampler_.takeInjection());
    EXPECT_FALSE(sampler_.takeInjection());
    EXPECT_EQ(sampler_.syncChannel(), 1);

    peer_.send({1, 2});
    ASSERT_TRUE(peer_.expect({0, 1}));
    ASSERT_TRUE(test::eventually([&] { return !sampler_.isActive(); }));
    // Inactive: the status is 1 whatever the chromatograph does.
    sampler_.step(5);
    peer_.send({3});
    ASSERT_TRUE(peer_.expect({1, 1, 0}));
    sampler_.poke();
    EXPECT_TRUE(peer_.expect({2, 3}));
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
    EXPECT_TRUE(peer_.expect({2, 3}));
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
    EXPECT_TRUE(peer_.expect({3, 2, 5, 15, 2, 9, 5, 0, 4, 1}));
    sampler_.close();
}

}  // namespace
}  // namespace zelmora
