// Four simulated converters at once, ten minutes of each instrument's time
// at a high speed-up: no frame may be lost.
//
// The speed-up is what a loaded machine (or one running the tests under
// the address sanitizer) keeps up with. The pseudo-terminal holds some
// 20 KB; the Varsel's 39-byte frames at 600 times filled it within 90 ms
// of its driver being held off the processor, and the simulator then
// dropped frames as a real converter would. At 20 times the line holds
// two and a half seconds of frames, and the frames sent before the
// handshake's purge (a tenth of the run is allowed) take seconds.

#include <gtest/gtest.h>

#include <memory>

#include "instruments/detector_adc.h"
#include "instruments/fluorat_adc.h"
#include "instruments/ostrel_adc.h"
#include "instruments/varsel_adc.h"
#include "tests/instruments/sim_rig.h"

namespace zelmora {
namespace {

using sim::Instrument;

struct Station {
    std::unique_ptr<sim::PtySimulator> sim;
    std::unique_ptr<CDevice> dev;
};

template <class D>
Station station(Instrument i, double speed) {
    sim::SimConfig c;
    c.instrument = i;
    c.speed = speed;
    const std::uint64_t frames =
        static_cast<std::uint64_t>(10 * 60 * sim::instrumentFrameRate(i));  // ten minutes
    c.frameLimit = frames;
    sim::SyntheticSignal s;
    s.baseline = 1;
    s.rampPerSecond = 0.5;  // unique per frame, so a lost frame shows
    s.peaks = {{120, 40, 5}, {300, 90, 8}, {480, 30, 4}};
    c.signals = {s};
    Station st;
    st.sim = std::make_unique<sim::PtySimulator>(c);
    std::string error;
    EXPECT_TRUE(st.sim->start(&error)) << error;
    st.dev = test::makeDevice<D>(st.sim->path(), kDefaultReceiveTimeoutMs);
    // Record from the first frame the driver sees. The device opens right
    // after its converter starts sending, not after the other stations are
    // up, so that few frames go by before the handshake.
    for (int ch = 0; ch < st.dev->channelCount(); ++ch)
        test::samples(*st.dev, ch).recordNow(false);
    EXPECT_TRUE(test::succeeded(st.dev->open()));
    return st;
}

TEST(InstrumentLoad, FourConvertersTenMinutesWithoutLoss) {
    constexpr double kSpeed = 20;
    std::vector<Station> all;
    all.push_back(station<COstrelAdc>(Instrument::Ostrel, kSpeed));
    all.push_back(station<CDetectorAdc>(Instrument::DetectorAdc, kSpeed));
    all.push_back(station<CFluoratAdc>(Instrument::Fluorat, kSpeed));
    all.push_back(station<CVarselAdc>(Instrument::Varsel, kSpeed));
    for (Station& s : all)
        ASSERT_TRUE(s.dev->isRunning()) << s.dev->displayName();
    for (Station& s : all) {
        ASSERT_TRUE(test::eventually([&] { return s.sim->finished(); }, 60000));
        EXPECT_EQ(s.sim->framesDropped(), 0u) << s.dev->displayName();
        const auto src = s.sim->snapshot();
        const std::uint64_t limit = src.config().frameLimit;
        // Frames sent before the handshake's purge never reach the driver;
        // from the first one that did, every frame must arrive, in order.
        auto& ch0 = test::samples(*s.dev, 0);
        ASSERT_TRUE(ch0.waitForSamples(1, 10000));
        const auto first = src.findFrame(0, ch0.samples().front(), 1e-9, limit);
        ASSERT_TRUE(first) << s.dev->displayName();
        EXPECT_LT(*first, limit / 10);
        const std::uint64_t expected = limit - *first;
        EXPECT_TRUE(test::eventually([&] { return ch0.sampleCount() >= expected; }, 30000))
            << s.dev->displayName() << ": " << ch0.sampleCount() << " of " << expected;
        s.dev->close();
        // The Varsel's first frame only sets its state byte.
        EXPECT_EQ(s.dev->framesDecoded(), expected + (s.dev->type() == 8 ? 1 : 0))
            << s.dev->displayName();
        for (int c = 0; c < s.dev->channelCount(); ++c) {
            const auto got = test::samples(*s.dev, c).samples();
            EXPECT_EQ(got.size(), expected) << s.dev->displayName();
            EXPECT_EQ(test::expectConsecutiveFrames(got, src, c, limit),
                      static_cast<long long>(*first));
        }
    }
}

}  // namespace
}  // namespace zelmora
