// The HT300 autosampler's ASCII frames: requests built character by
// character as the sampler expects them, answers checked for their length
// field, digits and checksum before anything in them is believed.

#include <gtest/gtest.h>

#include <cstdio>

#include "instruments/wire/ht300_frame.h"

namespace zelmora::wire {
namespace {

// A plain reference: XOR of every character after '$' up to `end`.
std::string withChecksum(const std::string& body) {
    unsigned x = 0;
    for (std::size_t i = 1; i < body.size(); ++i)
        x ^= static_cast<unsigned char>(body[i]);
    char tail[8];
    std::snprintf(tail, sizeof tail, "%02X\r\n", x);
    return body + tail;
}

std::vector<Ht300AnswerParser::Event> feedAll(Ht300AnswerParser& p, const std::string& s) {
    std::vector<Ht300AnswerParser::Event> events;
    for (char c : s) {
        const auto e = p.feed(static_cast<std::uint8_t>(c));
        if (e != Ht300AnswerParser::Event::None)
            events.push_back(e);
    }
    return events;
}

TEST(Ht300Frame, RequestsCarryLengthDataAndChecksum) {
    // Command 5 without data: length 0010, twelve '0' cancel out, '5' ^ '1' = 04.
    EXPECT_EQ(buildHt300Request(5), "$0500000000001004\r\n");
    // Command 2 with the one byte 1: length 2 x 1 + 16 = 18 = 0x12.
    EXPECT_EQ(buildHt300Request(2, {1}), withChecksum("$0200000000001201"));
    // Command 11 with four bytes; a byte above 0x7F keeps both digits.
    EXPECT_EQ(buildHt300Request(0x11, {0x09, 0xC8, 0x01, 0xFF}), withChecksum("$110000000000180"
                                                                              "9C801FF"));
    // The length field is the position of the last checksum character.
    const std::vector<std::uint8_t> block(29, 0xA5);
    const std::string r = buildHt300Request(19, block);
    EXPECT_EQ(r.substr(11, 4), "004A");  // 2 x 29 + 16 = 74
    EXPECT_EQ(r.size(), 74u + 1 + 2);
    EXPECT_EQ(r.substr(1, 2), "13");
}

TEST(Ht300Frame, AnswersDecodeHeaderAndData) {
    const std::string a = withChecksum(
        "$1100120001"
        "0016"
        "0A0B0C");
    Ht300Answer out;
    ASSERT_EQ(parseHt300Frame(a.substr(0, a.size() - 2), out), Ht300Fault::None);
    EXPECT_EQ(out.command, 0x11);
    EXPECT_EQ(out.error, 0);
    EXPECT_EQ(out.mode, 0x12);
    EXPECT_EQ(out.bits, 1);
    EXPECT_EQ(out.data, (std::vector<std::uint8_t>{0x0A, 0x0B, 0x0C}));

    // The builder of the simulator gives the same characters.
    EXPECT_EQ(buildHt300Answer(0x11, 0, 0x12, 1, {0x0A, 0x0B, 0x0C}), a);
    // Lower-case digits are read too.
    const std::string lower = withChecksum(
        "$0a00000000"
        "0010");
    ASSERT_EQ(parseHt300Frame(lower.substr(0, lower.size() - 2), out), Ht300Fault::None);
    EXPECT_EQ(out.command, 10);
}

TEST(Ht300Frame, DamagedAnswersAreRefused) {
    Ht300Answer out;
    out.command = 77;
    const std::string good = buildHt300Answer(5, 0, 15, 0, {1, 2});
    const std::string body = good.substr(0, good.size() - 2);

    std::string badCheck = body;
    badCheck.back() = badCheck.back() == '0' ? '1' : '0';
    EXPECT_EQ(parseHt300Frame(badCheck, out), Ht300Fault::Checksum);

    // A character lost in transit: the length field no longer names the end.
    std::string shorter = body;
    shorter.erase(16, 1);
    EXPECT_EQ(parseHt300Frame(shorter, out), Ht300Fault::Length);
    // An odd number of data characters with a length field that agrees.
    EXPECT_EQ(parseHt300Frame(withChecksum("$0500000000"
                                           "0011"
                                           "A")
                                  .substr(0, 18),
                              out),
              Ht300Fault::Length);

    EXPECT_EQ(parseHt300Frame("$05000000", out), Ht300Fault::Short);
    std::string noise = body;
    noise[5] = 'G';
    EXPECT_EQ(parseHt300Frame(noise, out), Ht300Fault::Digits);
    EXPECT_EQ(parseHt300Frame(std::string(300, '0'), out), Ht300Fault::TooLong);
    // Nothing of a refused frame reaches the answer.
    EXPECT_EQ(out.command, 77);
}

TEST(Ht300Frame, ParserCollectsFromDollarToCr) {
    Ht300AnswerParser p;
    const std::string a1 = buildHt300Answer(3, 0, 0, 0, {1, 2, 'H', 'T', '3', '0', '0'});
    const std::string a2 = buildHt300Answer(5, 0, 15, 0);
    // Noise before, a frame cut off by a new '$', two good frames.
    auto ev = feedAll(p, "xx\n$0500" + a1 + "garbage" + a2);
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0], Ht300AnswerParser::Event::Answer);
    EXPECT_EQ(ev[1], Ht300AnswerParser::Event::Answer);
    EXPECT_EQ(p.answer().command, 5);
    EXPECT_EQ(p.answer().mode, 15);

    // A bad checksum is reported, and the next frame still comes through.
    std::string bad = a2;
    bad[bad.size() - 3] = bad[bad.size() - 3] == '0' ? '1' : '0';
    ev = feedAll(p, bad + a1);
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(ev[0], Ht300AnswerParser::Event::Bad);
    EXPECT_EQ(p.fault(), Ht300Fault::None);  // the second one is good
    EXPECT_EQ(p.answer().command, 3);

    // A line that never ends is dropped at 256 characters.
    ev = feedAll(p, "$" + std::string(400, '0'));
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0], Ht300AnswerParser::Event::Bad);
    EXPECT_EQ(p.fault(), Ht300Fault::TooLong);
    ev = feedAll(p, a2);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0], Ht300AnswerParser::Event::Answer);
}

}  // namespace
}  // namespace zelmora::wire
