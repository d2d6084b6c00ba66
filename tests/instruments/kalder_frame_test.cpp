// The chromatograph link's packets and requests on byte strings built here
// by hand, field by field.

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <vector>

#include "instruments/wire/kalder_frame.h"

namespace zelmora::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void putF(Bytes& b, std::size_t at, float v) {
    put32(b, at, std::bit_cast<std::uint32_t>(v));
}
void seal(Bytes& b) {
    unsigned s = 0;
    for (std::size_t i = 0; i + 1 < b.size(); ++i)
        s += b[i];
    b.back() = static_cast<std::uint8_t>(s & 0xFF);
}

// A type 0 status packet written byte by byte after the instrument's table.
Bytes handStatus(std::uint8_t seq, float ch1First, std::uint8_t answerAddr,
                 std::uint16_t answerNumber, std::int32_t answerValue) {
    Bytes b(138, 0);
    b[0] = b[1] = 0xDE;
    b[2] = 0;
    b[3] = seq;
    b[4] = 7;                                       // state
    b[5] = 0x02;                                    // button 2
    b[6] = 0x40;                                    // error byte
    put16(b, 7, static_cast<std::uint16_t>(-125));  // gas channel 0 flow -12.5
    put16(b, 7 + 2 * 4, 301);                       // gas channel 8 flow 30.1
    b[19 + 5] = 87;                                 // gas channel 9 valve 8.7 V
    put16(b, 25, 2500);                             // inlet 2.5
    put16(b, 37 + 2, 1234);                         // channel 1 outlet 1.234
    putF(b, 49, 150.25f);                           // zone 0
    putF(b, 49 + 16, 99.5f);                        // zone 4
    b[69 + 2] = 55;                                 // zone 2 power
    putF(b, 74, 148.0f);
    put16(b, 78, 2201);  // 220.1 V
    b[80] = 100;         // 40 %
    putF(b, 81, ch1First);
    putF(b, 81 + 12, -1.5f);
    putF(b, 97 + 4, 3.25f);
    b[113] = 0xFF;
    b[114] = static_cast<std::uint8_t>(answerAddr | 0x80);  // bit 7 is ignored
    put16(b, 115, answerNumber);
    put32(b, 117, static_cast<std::uint32_t>(answerValue));
    put16(b, 121, 0x8001);
    put32(b, 125, static_cast<std::uint32_t>(-7));
    put32(b, 133, 9);
    seal(b);
    return b;
}

std::vector<KalderPacket> parseAll(KalderFrameParser& p, const Bytes& bytes) {
    std::vector<KalderPacket> out;
    for (std::uint8_t b : bytes)
        for (const auto& f : p.feed(b)) {
            auto d = decodeKalderPacket(f.span());
            EXPECT_TRUE(d.has_value());
            if (d)
                out.push_back(*d);
        }
    return out;
}

TEST(KalderFrame, RequestBytes) {
    // Write 150.0 °C to parameter 8 of the control unit.
    const auto w = buildKalderRequest(124, 8, std::bit_cast<std::uint32_t>(150.0f), true);
    const Bytes expected = {0xDE, 0xDE, 0xFC, 0x08, 0x80, 0x00, 0x00, 0x16, 0x43, 0};
    unsigned s = 0;
    for (int i = 0; i < 9; ++i)
        s += expected[static_cast<std::size_t>(i)];
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 9), Bytes(expected.begin(), expected.begin() + 9));
    EXPECT_EQ(w[9], s % 256);
    // A read of parameter 16383 (the serial) carries the stored value.
    const auto r = buildKalderRequest(1, 16383, 0x12345678, false);
    EXPECT_EQ(r[2], 0x81);
    EXPECT_EQ(r[3], 0xFF);
    EXPECT_EQ(r[4], 0x3F);
    EXPECT_EQ(r[5], 0x78);
    EXPECT_EQ(r[8], 0x12);

    // The instrument's side finds both, through garbage and a damaged copy.
    KalderRequestParser p;
    Bytes stream = {0x00, 0xDE, 0x13};
    auto bad = w;
    bad[6] ^= 1;
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), w.begin(), w.end());
    stream.push_back(0xDE);
    stream.insert(stream.end(), r.begin(), r.end());
    std::vector<KalderRequest> got;
    for (auto b : stream)
        for (const auto& q : p.feed(b))
            got.push_back(q);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].address, 124);
    EXPECT_EQ(got[0].number, 8);
    EXPECT_TRUE(got[0].write);
    EXPECT_EQ(std::bit_cast<float>(got[0].value), 150.0f);
    EXPECT_EQ(got[1].address, 1);
    EXPECT_EQ(got[1].number, 16383);
    EXPECT_FALSE(got[1].write);
    // The damaged copy, and a false start in "0xDE" + the read's header.
    EXPECT_EQ(p.checksumErrors(), 2u);
}

TEST(KalderFrame, DecodesAHandBuiltStatusPacket) {
    const Bytes b = handStatus(41, 12.5f, 124, 0x4000 | 176, -2);
    const auto p = decodeKalderPacket(b);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->type, 0);
    EXPECT_TRUE(p->hasSequence);
    EXPECT_EQ(p->sequence, 41);
    EXPECT_EQ(p->state, 7);
    EXPECT_EQ(p->buttons, 2);
    EXPECT_EQ(p->errByte, 0x40);
    EXPECT_DOUBLE_EQ(p->flow(0), -12.5);
    EXPECT_DOUBLE_EQ(p->flow(8), 30.1);
    EXPECT_DOUBLE_EQ(p->valveVolts(9), 8.7);
    EXPECT_DOUBLE_EQ(p->inletPressure(0), 2.5);
    EXPECT_DOUBLE_EQ(p->outletPressure(1), 1.234);
    EXPECT_EQ(p->flowMask, 0x030F);  // channels 0-3, 8, 9
    EXPECT_EQ(p->zoneCount, 5);
    EXPECT_EQ(p->zoneTemp[0], 150.25f);
    EXPECT_EQ(p->zoneTemp[4], 99.5f);
    EXPECT_EQ(p->heatingPower[2], 55);
    EXPECT_EQ(p->programmeSetPoint, 148.0f);
    EXPECT_DOUBLE_EQ(p->mainsVolts(), 220.1);
    EXPECT_DOUBLE_EQ(p->flapPercent(), 40.0);
    EXPECT_EQ(p->detectorCount, 2);
    EXPECT_EQ(p->detector[0][0], 12.5f);
    EXPECT_EQ(p->detector[0][3], -1.5f);
    EXPECT_EQ(p->detector[1][1], 3.25f);
    EXPECT_EQ(p->panelMethod, 0xFF);
    ASSERT_TRUE(p->answer);
    EXPECT_EQ(p->answer->address, 124);
    EXPECT_EQ(p->answer->number(), 176);
    EXPECT_TRUE(p->answer->error());
    EXPECT_EQ(p->answer->value, -2);
    EXPECT_EQ(p->alarmBits, 0x8001);
    EXPECT_EQ(p->service[0], -7);
    EXPECT_EQ(p->service[2], 9);
    // Rebuilt from its fields, the packet is the same bytes but for bit 7
    // of the answer's address, which carries nothing.
    Bytes plain = b;
    plain[114] &= 0x7F;
    seal(plain);
    EXPECT_EQ(buildKalderPacket(*p), plain);

    // One bit wrong anywhere, or a wrong length, and it is refused.
    Bytes damaged = b;
    damaged[60] ^= 0x10;
    EXPECT_FALSE(decodeKalderPacket(damaged));
    EXPECT_FALSE(decodeKalderPacket(std::span(b).first(137)));
    Bytes wrongType = b;
    wrongType[2] = 2;  // an answer packet is 11 bytes
    seal(wrongType);
    EXPECT_FALSE(decodeKalderPacket(wrongType));
}

TEST(KalderFrame, DecodesAnswerDataAndShortStatusPackets) {
    Bytes a(11, 0);
    a[0] = a[1] = 0xDE;
    a[2] = 2;
    a[3] = 40;
    put16(a, 4, 16353);
    put32(a, 6, 0x04ABCDEF);
    seal(a);
    auto pa = decodeKalderPacket(a);
    ASSERT_TRUE(pa);
    EXPECT_FALSE(pa->hasSequence);
    EXPECT_FALSE(pa->hasStatus);
    EXPECT_EQ(pa->answer->address, 40);
    EXPECT_EQ(pa->answer->number(), 16353);
    EXPECT_EQ(pa->answer->value, 0x04ABCDEF);

    Bytes d(151, 0);
    d[0] = d[1] = 0xDE;
    d[2] = 3;
    d[3] = 200;
    put16(d, 4 + 2 * 11, 555);                                 // gas module 11 flow 55.5
    put16(d, 36 + 2 * 10, static_cast<std::uint16_t>(-1000));  // module 10 inlet -1.0
    for (int c = 0; c < 4; ++c)
        for (int s = 0; s < 4; ++s)
            putF(d, static_cast<std::size_t>(68 + 16 * c + 4 * s), static_cast<float>(10 * c + s));
    put16(d, 132, 0x0102);
    put32(d, 134 + 8, 77);
    d[30] = 0x55;  // unused bytes are carried by the checksum only
    seal(d);
    auto pd = decodeKalderPacket(d);
    ASSERT_TRUE(pd);
    EXPECT_EQ(pd->sequence, 200);
    EXPECT_FALSE(pd->answer.has_value());
    EXPECT_DOUBLE_EQ(pd->flow(11), 55.5);
    EXPECT_DOUBLE_EQ(pd->inletPressure(10), -1.0);
    EXPECT_EQ(pd->detectorCount, 4);
    EXPECT_EQ(pd->detector[3][2], 32.0f);
    EXPECT_EQ(pd->alarmBits, 0x0102);
    EXPECT_EQ(pd->service[2], 77);

    Bytes s(120, 0);
    s[0] = s[1] = 0xDE;
    s[2] = 4;
    s[4] = 3;
    s[5] = 1;
    s[7 + 11] = 120;              // module 11 valve 12.0 V
    put16(s, 23 + 2 * 5, 4321);   // module 5 outlet 4.321
    putF(s, 55 + 4 * 7, 301.5f);  // zone 7
    s[87 + 6] = 99;               // zone 6 power
    putF(s, 95, 60.0f);
    put16(s, 99, 2300);
    s[101] = 250;
    s[102] = 4;
    seal(s);
    auto ps = decodeKalderPacket(s);
    ASSERT_TRUE(ps);
    EXPECT_FALSE(ps->answer.has_value());
    EXPECT_EQ(ps->zoneCount, 8);
    EXPECT_EQ(ps->zoneTemp[7], 301.5f);
    EXPECT_EQ(ps->heatingPower[6], 99);
    EXPECT_DOUBLE_EQ(ps->valveVolts(11), 12.0);
    EXPECT_DOUBLE_EQ(ps->outletPressure(5), 4.321);
    EXPECT_DOUBLE_EQ(ps->mainsVolts(), 230.0);
    EXPECT_DOUBLE_EQ(ps->flapPercent(), 100.0);
    EXPECT_EQ(ps->panelMethod, 4);
    EXPECT_EQ(buildKalderPacket(*ps), s);
}

TEST(KalderFrame, ParserResynchronisesOnDamage) {
    const Bytes good1 = handStatus(1, 1.0f, 0, 0, 0);
    const Bytes good2 = handStatus(2, 2.0f, 124, 16383, 0x123456);
    Bytes bad = handStatus(3, 3.0f, 0, 0, 0);
    bad.back() ^= 0xFF;  // wrong checksum
    Bytes answer(11, 0);
    answer[0] = answer[1] = 0xDE;
    answer[2] = 2;
    seal(answer);

    KalderFrameParser p;
    Bytes stream = {0x13, 0xDE, 0x00, 0xDE, 0xDE, 0x05};  // garbage, a type 5 header
    stream.insert(stream.end(), good1.begin(), good1.end());
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), good2.begin(), good2.end());
    // A packet that lost a byte swallows the start of the next one; the next
    // one must still be found.
    Bytes shortened = handStatus(4, 4.0f, 0, 0, 0);
    shortened.erase(shortened.begin() + 50);
    stream.insert(stream.end(), shortened.begin(), shortened.end());
    stream.insert(stream.end(), answer.begin(), answer.end());
    const Bytes good5 = handStatus(5, 5.0f, 0, 0, 0);
    stream.insert(stream.end(), good5.begin(), good5.end());

    const auto got = parseAll(p, stream);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].sequence, 1);
    EXPECT_EQ(got[1].sequence, 2);
    EXPECT_EQ(got[1].answer->value, 0x123456);
    EXPECT_EQ(got[2].type, 2);
    EXPECT_EQ(got[3].sequence, 5);
    EXPECT_GE(p.checksumErrors(), 2u);
    EXPECT_GE(p.headerErrors(), 2u);

    // Long random noise never wedges the parser: a good packet after it is
    // found.
    std::uint32_t x = 12345;
    Bytes noise;
    for (int i = 0; i < 5000; ++i) {
        x = x * 1103515245u + 12345u;
        const auto r = static_cast<std::uint8_t>(x >> 16);
        noise.push_back(r % 3 == 0 ? 0xDE : r);
    }
    parseAll(p, noise);
    EXPECT_LT(p.position(), kKalderMaxFrame);
    // A false header near the end of the noise may hold the first packet
    // back until it fails its checksum, but no packet is lost for good.
    Bytes three;
    for (int k = 0; k < 3; ++k)
        three.insert(three.end(), good1.begin(), good1.end());
    const auto after = parseAll(p, three);
    EXPECT_GE(after.size(), 2u);
    for (const auto& a : after)
        EXPECT_EQ(a.sequence, 1);
}

TEST(KalderFrame, BaudProbeWantsTwoHeaders) {
    const Bytes s1 = handStatus(1, 1.0f, 0, 0, 0);
    const Bytes s2 = handStatus(2, 1.0f, 0, 0, 0);
    Bytes stream = {0x01, 0xDE, 0x02};
    const std::size_t lead = stream.size();
    stream.insert(stream.end(), s1.begin(), s1.end());
    stream.insert(stream.end(), s2.begin(), s2.end());
    KalderBaudProbe probe;
    std::size_t at = 0;
    for (std::size_t i = 0; i < stream.size(); ++i)
        if (probe.feed(stream[i])) {
            at = i;
            break;
        }
    // Proved by the second header's second byte.
    EXPECT_EQ(at, lead + 139);

    // Two answer packets prove it at the 13th byte of the first.
    Bytes a(11, 0);
    a[0] = a[1] = 0xDE;
    a[2] = 2;
    seal(a);
    KalderBaudProbe p2;
    bool ok = false;
    std::size_t n = 0;
    for (int k = 0; k < 2 && !ok; ++k)
        for (auto b : a) {
            ++n;
            if (p2.feed(b)) {
                ok = true;
                break;
            }
        }
    EXPECT_TRUE(ok);
    EXPECT_EQ(n, 13u);

    // Bytes at the wrong rate (no two headers in place) never prove it.
    KalderBaudProbe p3;
    std::uint32_t x = 7;
    bool proved = false;
    for (int i = 0; i < 700; ++i) {
        x = x * 1103515245u + 12345u;
        auto b = static_cast<std::uint8_t>(x >> 16);
        if (b == 0xDE)
            b = 0xDD;
        proved = proved || p3.feed(b);
    }
    EXPECT_FALSE(proved);
    EXPECT_EQ(p3.examined(), 700u);
}

TEST(KalderFrame, TypeByteFiveRestartsAtOnce) {
    KalderFrameParser p;
    for (auto b : Bytes{0xDE, 0xDE, 0x05})
        EXPECT_TRUE(p.feed(b).empty());
    EXPECT_EQ(p.position(), 0u);
    EXPECT_GE(p.headerErrors(), 1u);
    Bytes a(11, 0);
    a[0] = a[1] = 0xDE;
    a[2] = 2;
    a[3] = 124;
    seal(a);
    EXPECT_EQ(parseAll(p, a).size(), 1u);
}

}  // namespace
}  // namespace zelmora::wire
