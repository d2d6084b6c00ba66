// The converters' frame decoders on byte strings built here.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "instruments/wire/demo_signal.h"
#include "instruments/wire/fluorat_frame.h"
#include "instruments/wire/ostrel_frame.h"
#include "instruments/wire/varsel_frame.h"

namespace zelmora::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameBytes(const OstrelFrame& f) {
    const auto a = buildOstrelFrame(f);
    return {a.begin(), a.end()};
}

OstrelFrame frameOf(std::uint32_t raw1, std::uint32_t raw2) {
    OstrelFrame f;
    f.raw = {raw1, raw2};
    return f;
}

// Every frame the parser completes while eating the bytes.
std::vector<OstrelFrame> parseAll(OstrelFrameParser& p, const Bytes& bytes) {
    std::vector<OstrelFrame> out;
    for (std::uint8_t b : bytes)
        if (p.feed(b) == OstrelFrameParser::Event::Frame)
            out.push_back(p.frame());
    return out;
}

TEST(OstrelFrame, ChecksAndScalesCounts) {
    EXPECT_EQ(ostrelCheck(0x7F, 0xFF, 0xFF), 126);
    EXPECT_EQ(ostrelCheck(0, 0, 0), 1);
    EXPECT_EQ(ostrelCheck(0xFF, 0xFF, 0xFF), (3 * 255 + 1) % 128);

    EXPECT_DOUBLE_EQ(ostrelMillivolts(0x7FFFFF), 0.0);
    EXPECT_DOUBLE_EQ(ostrelMillivolts(0xFFFFFF), 10850.0 * 8388608 / 8388607);
    EXPECT_NEAR(ostrelMillivolts(0xFFFFFF), 10850.0, 0.01);
    EXPECT_NEAR(ostrelMillivolts(0), -10850.0, 1e-9);
    EXPECT_NEAR(detectorAdcMillivolts(0xFFFFFF, 1), 11000.0, 0.01);
    EXPECT_NEAR(detectorAdcMillivolts(0xFFFFFF, 0), 110000.0, 0.1);
    EXPECT_DOUBLE_EQ(detectorAdcMillivolts(0x7FFFFF, 0), 0.0);
    // The products exceed 32 bits; computed in double they keep their sign.
    EXPECT_LT(detectorAdcMillivolts(0x000001, 0), -109999.0);

    EXPECT_EQ(rawFromMillivolts(0, kOstrelFullScaleMv), 0x7FFFFFu);
    EXPECT_EQ(rawFromMillivolts(1e9, kOstrelFullScaleMv), 0xFFFFFFu);
    EXPECT_EQ(rawFromMillivolts(-1e9, kOstrelFullScaleMv), 0u);
    EXPECT_NEAR(ostrelMillivolts(rawFromMillivolts(123.456, kOstrelFullScaleMv)), 123.456, 0.001);
}

TEST(OstrelFrame, DecodesFramesWithControlBytesAndButtons) {
    // Samples made of the bytes a cooked terminal acts on: ^C, XON, XOFF, CR.
    OstrelFrame f = frameOf(0x031113, 0x0D0D03);
    f.button = {true, false};
    f.reserved = {0x11, 0x13, 0x0D};
    const Bytes b = frameBytes(f);
    ASSERT_EQ(b.size(), 18u);
    EXPECT_EQ(b[0], 0x37);
    EXPECT_EQ(b[2], 0x03);
    EXPECT_EQ(b[3], 0x11);
    EXPECT_EQ(b[4], 0x13);
    EXPECT_EQ(b[5], ostrelCheck(0x03, 0x11, 0x13) | 0x80);

    OstrelFrameParser p;
    const auto frames = parseAll(p, b);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].raw[0], 0x031113u);
    EXPECT_EQ(frames[0].raw[1], 0x0D0D03u);
    EXPECT_TRUE(frames[0].button[0]);
    EXPECT_FALSE(frames[0].button[1]);
    EXPECT_FALSE(frames[0].hasRangeFlags);
    EXPECT_EQ(p.checkFailures(), 0u);

    OstrelFrame r = frameOf(1, 2);
    r.hasRangeFlags = true;
    r.highSensitivity = {false, true};
    const auto ranged = parseAll(p, frameBytes(r));
    ASSERT_EQ(ranged.size(), 1u);
    EXPECT_TRUE(ranged[0].hasRangeFlags);
    EXPECT_FALSE(ranged[0].highSensitivity[0]);
    EXPECT_TRUE(ranged[0].highSensitivity[1]);
}

TEST(OstrelFrame, DropsBadFramesAndResynchronises) {
    OstrelFrameParser p;
    Bytes bad = frameBytes(frameOf(0x123456, 0x654321));
    bad[9] ^= 0x01;  // check of channel 2 wrong: the whole frame goes
    const Bytes good = frameBytes(frameOf(0x7FFFFF, 0x800000));
    Bytes stream = bad;
    stream.insert(stream.end(), good.begin(), good.end());
    auto frames = parseAll(p, stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].raw[0], 0x7FFFFFu);
    EXPECT_GE(p.checkFailures(), 1u);

    // Garbage with sync look-alikes, a lone '7' right before the frame, and
    // a frame that is cut short: the following frames are all found.
    Bytes noisy = {0x37, 0x00, 0x37, 0x37, 0x03, 0x11, 0x13, 0x0D, 0xFF, 0x65, 0x37};
    for (int i = 0; i < 3; ++i) {
        const Bytes fb = frameBytes(frameOf(0x100000 + i, 0x200000 + i));
        noisy.insert(noisy.end(), fb.begin(), fb.end());
        if (i == 0) {
            noisy.insert(noisy.end(), fb.begin(), fb.begin() + 7);  // truncated copy
        }
    }
    OstrelFrameParser q;
    frames = parseAll(q, noisy);
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(frames[static_cast<std::size_t>(i)].raw[0], 0x100000u + i);

    // Split anywhere: feeding one byte at a time is the worst split.
    OstrelFrameParser r;
    int complete = 0;
    for (int i = 0; i < 50; ++i)
        for (std::uint8_t byte : frameBytes(frameOf(i * 1000, i)))
            complete += r.feed(byte) == OstrelFrameParser::Event::Frame;
    EXPECT_EQ(complete, 50);
}

TEST(DetectorCommand, BuildsAndRecognisesOffsetAndTemperature) {
    const auto c = buildDetectorCommand(1022, 100);
    EXPECT_EQ(c[0], ':');
    EXPECT_EQ(c[1], ':');
    EXPECT_EQ(c[2], 0xFE);
    EXPECT_EQ(c[3], 0x03);
    EXPECT_EQ(c[4], 100);
    EXPECT_EQ(c[5], (0xFE + 0x03 + 100) % 256);

    DetectorCommandParser p;
    std::optional<DetectorCommand> got;
    for (std::uint8_t b : Bytes{0x00, ':', 0x05})
        EXPECT_FALSE(p.feed(b));
    for (std::uint8_t b : c)
        got = p.feed(b);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->offset, 1022);
    EXPECT_EQ(got->temperature, 100);
    auto broken = buildDetectorCommand(7, 8);
    broken[5] ^= 1;
    for (std::uint8_t b : broken)
        got = p.feed(b);
    EXPECT_FALSE(got);
}

TEST(FluoratFrame, AssemblesBitReversedGroups) {
    using A = std::array<std::uint8_t, 4>;
    EXPECT_EQ(buildFluoratFrame(1), (A{0x80, 0x00, 0x00, 0x40}));
    EXPECT_EQ(buildFluoratFrame(2), (A{0x80, 0x00, 0x00, 0x20}));
    EXPECT_EQ(buildFluoratFrame(1u << 7), (A{0x80, 0x00, 0x40, 0x00}));
    EXPECT_EQ(buildFluoratFrame(1u << 14), (A{0x80, 0x40, 0x00, 0x00}));
    EXPECT_EQ(buildFluoratFrame(1u << 21), (A{0x84, 0x00, 0x00, 0x00}));
    EXPECT_EQ(buildFluoratFrame(0x3FFFFF), (A{0x84, 0x7F, 0x7F, 0x7F}));
    EXPECT_EQ(fluoratValue(A{0x80, 0x01, 0x01, 0x01}), (1u << 6) | (1u << 13) | (1u << 20));
    EXPECT_DOUBLE_EQ(fluoratSample(0x3FFFFF), 1000.0);
    EXPECT_DOUBLE_EQ(fluoratSample(0), 0.0);
    for (std::uint32_t v : {0u, 3u, 0x11u, 0x13u, 0x0Du, 12345u, 0x2AAAAAu, 0x3FFFFFu})
        EXPECT_EQ(fluoratValue(buildFluoratFrame(v)), v);

    FluoratFrameParser p;
    std::vector<std::uint32_t> got;
    // Plain bytes before a frame are dropped; a frame cut short by a new
    // start byte is dropped; the frames after are found.
    Bytes stream = {0x03, 0x11, 0x13, 0x0D, 0x80, 0x01};
    for (std::uint32_t v : {100u, 200u})
        for (std::uint8_t b : buildFluoratFrame(v))
            stream.push_back(b);
    for (std::uint8_t b : stream)
        if (auto v = p.feed(b))
            got.push_back(*v);
    EXPECT_EQ(got, (std::vector<std::uint32_t>{100, 200}));
    EXPECT_EQ(p.droppedBytes(), 6u);
}

TEST(VarselFrame, DecodesChecksAndResynchronises) {
    VarselFrame f;
    f.signal = -123456;
    f.state = 0x13;
    f.wavelength = 254;
    f.division = 0x0D;
    f.header3 = 0x11;
    const auto a = buildVarselFrame(f);
    EXPECT_EQ(a[0], 0xAB);
    EXPECT_EQ(a[1], 0xAB);
    EXPECT_EQ(a[2], 0x00);
    unsigned sum = 0;
    for (int i = 0; i < 9; ++i)
        sum += a[static_cast<std::size_t>(i)];
    EXPECT_EQ(a[9], sum % 256);
    EXPECT_EQ(a[22], 254);
    EXPECT_EQ(a[30], 0x0D);
    EXPECT_DOUBLE_EQ(varselSample(-123456), -123.456);

    VarselFrameParser p;
    Bytes stream = {0xAB, 0xAB, 0xAB, 0x00, 0x03};  // a false start
    Bytes badHeader(a.begin(), a.end());
    badHeader[9] ^= 0x20;
    Bytes badData(a.begin(), a.end());
    badData[38] ^= 0x01;
    stream.insert(stream.end(), badHeader.begin(), badHeader.end());
    stream.insert(stream.end(), badData.begin(), badData.end());
    stream.insert(stream.end(), a.begin(), a.end());
    int frames = 0;
    for (std::uint8_t b : stream)
        frames += p.feed(b) == VarselFrameParser::Event::Frame;
    EXPECT_EQ(frames, 1);
    EXPECT_GE(p.checkFailures(), 2u);
    EXPECT_EQ(p.frame().signal, -123456);
    EXPECT_EQ(p.frame().state, 0x13);
    EXPECT_EQ(p.frame().wavelength, 254);
    EXPECT_EQ(p.frame().division, 0x0D);

    const auto start = buildVarselCommand(kVarselOpStart);
    EXPECT_EQ(start, (VarselCommand{0xAB, 0xAB, 3, 0, 0, 0, (0xAB + 0xAB + 3) % 256}));
    const auto wl = buildVarselSetpoint(kVarselSetWavelength, 0x1234);
    EXPECT_EQ(wl,
              (VarselCommand{0xAB, 0xAB, 0, 1, 0x34, 0x12, (0xAB + 0xAB + 1 + 0x34 + 0x12) % 256}));
    VarselCommandParser cp;
    std::optional<VarselCommandFields> got;
    for (std::uint8_t b : wl)
        got = cp.feed(b);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->b3, 1);
    EXPECT_EQ(got->b4 | got->b5 << 8, 0x1234);
}

TEST(DemoSignal, MovesPeaksForward) {
    DemoSignalGenerator g;
    const auto first = g.next(0.5, 0.5);
    // t = 0: the peaks sit at 500, 890, 900 with heights 3, 5, 4.
    const double p1 = 3 * std::exp(-500.0 * 500 / 10000);
    const double p2 = 5 * std::exp(-890.0 * 890 / 10000);
    const double p3 = 4 * std::exp(-900.0 * 900 / 10000);
    EXPECT_DOUBLE_EQ(first[0], p1 + p2 + p3);
    EXPECT_DOUBLE_EQ(first[1], p1 + p2);
    EXPECT_DOUBLE_EQ(first[2], first[0]);  // noise 0.5 gives tan(0) = 0
    std::array<double, 3> at500{};
    for (int t = 1; t <= 500; ++t)
        at500 = g.next(0.5, 0.5);
    EXPECT_NEAR(at500[0] - at500[1], 4 * std::exp(-400.0 * 400 / 10000), 1e-15);
    EXPECT_NEAR(at500[1], 3.0, 1e-3);  // the first peak's apex
    for (int t = 501; t <= 1001; ++t)
        g.next(0.5, 0.5);
    // t = 1001 > 500 + 500: the first peak moved to 1001 + 1.5 x 500.
    EXPECT_DOUBLE_EQ(g.centres()[0], 1001 + 750);
    EXPECT_DOUBLE_EQ(g.heights()[0], 4.5);
    EXPECT_NE(g.next(0.5, 0.9)[2], g.next(0.5, 0.5)[2]);
}

}  // namespace
}  // namespace zelmora::wire
