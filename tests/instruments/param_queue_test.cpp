// The chromatograph's parameter queue: one request at a time, round robin in
// priority order, writes confirmed by their echo, time-outs counted in
// status packets, and the work-log lines of each exchange.

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "app/text.h"
#include "instruments/param_queue.h"
#include "instruments/wire/kalder_frame.h"

namespace zelmora {
namespace {

using namespace param_kind;

struct Rig {
    std::vector<std::string> lines;  // each entry with its continuations
    CParamQueue q{3,
                  [](std::uint8_t a, std::uint16_t n, std::uint32_t v) {
                      return text::format("P%d/%d=%x", a, n, v);
                  },
                  ParamLog{[this](std::string_view s) { lines.emplace_back(s); },
                           [this](std::string_view s) {
                               if (lines.empty())
                                   lines.emplace_back();
                               lines.back() += s;
                           }}};

    // The next request as the instrument reads it.
    std::optional<wire::KalderRequest> next() {
        const auto b = q.buildRequest();
        if (!b)
            return std::nullopt;
        wire::KalderRequestParser p;
        for (auto byte : *b)
            for (const auto& r : p.feed(byte))
                return r;
        ADD_FAILURE() << "the queue built a request the instrument cannot read";
        return std::nullopt;
    }
    void answer(std::uint8_t a, std::uint16_t n, std::uint32_t v, bool error = false) {
        q.onAnswer(static_cast<std::uint8_t>(a | 0x80),
                   static_cast<std::uint16_t>(n | (error ? 0x4000 : 0)),
                   static_cast<std::int32_t>(v));
    }
    void empty(int packets = 1) {
        for (int i = 0; i < packets; ++i)
            q.onAnswer(0, 0, 0);
    }
};

TEST(ParamQueue, ReadsSettingsFirstThenWritesChanges) {
    Rig r;
    auto temp = r.q.registerParam(124, 8, 5, kSetting | kLoadFirst);
    auto meas = r.q.registerParam(124, 33, 5, kMeasurement);
    auto cmd = r.q.registerParam(124, 8200, 9, kCommand);
    EXPECT_TRUE(temp->pending());
    EXPECT_TRUE(temp->loadFirst());
    EXPECT_FALSE(cmd->pending());                             // a command waits to be set
    EXPECT_EQ(r.q.registerParam(124, 8, 1, kSetting), temp);  // registered once

    // Load-first: the set temperature is read, not written.
    auto rq = r.next();
    ASSERT_TRUE(rq);
    EXPECT_EQ(rq->number, 8);
    EXPECT_FALSE(rq->write);
    EXPECT_FALSE(r.next());  // one request outstanding
    r.answer(124, 8, std::bit_cast<std::uint32_t>(120.0f));
    EXPECT_EQ(temp->asFloat(), 120.0f);
    EXPECT_FALSE(temp->pending());
    EXPECT_FALSE(temp->loadFirst());
    EXPECT_EQ(r.lines.back(), "  Прибор 3: Загрузка: P124/8=0 Зачитан ОК  42f00000");

    rq = r.next();
    ASSERT_TRUE(rq);
    EXPECT_EQ(rq->number, 33);
    r.answer(124, 33, 0x1234);
    EXPECT_EQ(meas->raw(), 0x1234u);
    EXPECT_EQ(r.lines.back(), "  Прибор 3: Чтение:   P124/33=0 Зачитан ОК  00001234");
    meas->setRaw(5);  // a measurement cannot be set
    EXPECT_FALSE(meas->pending());
    EXPECT_FALSE(r.next());  // nothing left

    // A changed setting is written and confirmed by its echo.
    temp->setFloat(150.0f);
    temp->setFloat(150.0f);
    rq = r.next();
    ASSERT_TRUE(rq);
    EXPECT_TRUE(rq->write);
    EXPECT_EQ(std::bit_cast<float>(rq->value), 150.0f);
    r.answer(124, 8, rq->value);
    EXPECT_FALSE(temp->pending());
    EXPECT_EQ(r.lines.back(), "  Прибор 3: Запись:   P124/8=43160000 Записан ОК");

    // A command goes every time it is set, even with the same value.
    for (int k = 0; k < 2; ++k) {
        cmd->setInt(1);
        rq = r.next();
        ASSERT_TRUE(rq) << k;
        EXPECT_TRUE(rq->write);
        EXPECT_EQ(rq->number, 8200);
        r.answer(124, 8200, 1);
    }
    EXPECT_EQ(r.lines.back(), "  Прибор 3: Комманда: P124/8200=1 Записан ОК");
    const auto st = r.q.stats();
    EXPECT_EQ(st.readsOk, 2u);
    EXPECT_EQ(st.writtenOk, 3u);
    EXPECT_EQ(st.timeouts, 0u);
}

TEST(ParamQueue, PriorityOrderAndRoundRobin) {
    Rig r;
    r.q.registerParam(1, 1, 1, kMeasurement);
    r.q.registerParam(1, 2, 9, kMeasurement);
    r.q.registerParam(1, 3, 5, kMeasurement);
    r.q.registerParam(1, 4, 9, kMeasurement);
    std::vector<int> order;
    for (int i = 0; i < 4; ++i) {
        auto rq = r.next();
        ASSERT_TRUE(rq);
        order.push_back(rq->number);
        // No answer: after 10 packets the next one goes; the timed-out one
        // stays pending for the next round.
        r.empty(10);
    }
    EXPECT_EQ(order, (std::vector<int>{2, 4, 3, 1}));
    auto rq = r.next();
    ASSERT_TRUE(rq);
    EXPECT_EQ(rq->number, 2);  // round robin starts again at the top
    EXPECT_EQ(r.q.stats().timeouts, 4u);
    EXPECT_NE(r.lines[0].find(" Таймаут"), std::string::npos);
}

TEST(ParamQueue, TimeoutsCountedInPacketsThenGivenUp) {
    Rig r;
    auto p = r.q.registerParam(4, 16383, 5, kMeasurement);
    for (int round = 0; round < 10; ++round) {
        auto rq = r.next();
        ASSERT_TRUE(rq) << round;
        r.empty(9);
        EXPECT_FALSE(r.next()) << "nine packets are not yet a time-out";
        r.empty(1);
    }
    // Ten time-outs: the parameter is no longer asked for, and the report
    // counts it as erroneous.
    EXPECT_EQ(p->retries(), kParamRetryLimit);
    EXPECT_EQ(r.lines.back(), "  Прибор 3: Чтение:   P4/16383=0 Таймаут");
    EXPECT_FALSE(r.next());
    r.empty(30);
    EXPECT_FALSE(r.next());
    EXPECT_EQ(r.q.stats().timeouts, 10u);
    EXPECT_NE(r.q.statistics(0, {}).find("Параметры с ошибками:1"), std::string::npos);
    // Re-armed when the link opens again.
    r.q.rearm();
    EXPECT_TRUE(p->pending());
    EXPECT_EQ(p->retries(), 0);
    EXPECT_TRUE(r.next());
}

TEST(ParamQueue, WriteMismatchIsSentAgainAtMostTenTimes) {
    Rig r;
    auto p = r.q.registerParam(64, 1, 5, kSetting);
    p->setInt(100);
    int sent = 0;
    while (auto rq = r.next()) {
        ++sent;
        EXPECT_EQ(rq->value, 100u);
        r.answer(64, 1, 99);  // the module keeps another value
        ASSERT_LT(sent, 50);
    }
    EXPECT_EQ(sent, 10);
    EXPECT_EQ(p->retries(), kParamRetryLimit);
    EXPECT_EQ(r.q.stats().writeMismatches, 10u);
    EXPECT_EQ(r.lines.back(),
              "  Прибор 3: Запись:   P64/1=64 Записан неверно. Задано:00000064h Ответ:00000063h");
    // A parameter given up after errors is sent again when set, even to
    // the same value.
    p->setInt(100);
    EXPECT_EQ(p->retries(), 0);
    EXPECT_TRUE(r.next());
}

TEST(ParamQueue, ValueChangedDuringTheWriteGoesNext) {
    Rig r;
    auto p = r.q.registerParam(64, 2, 5, kSetting);
    p->setInt(7);
    auto rq = r.next();
    ASSERT_TRUE(rq);
    p->setInt(8);  // the operator changed it while the write was on the line
    r.answer(64, 2, 7);
    EXPECT_TRUE(p->pending());
    EXPECT_NE(r.lines.back().find("Записан ОК, Во время записи значение изменилось."),
              std::string::npos);
    rq = r.next();
    ASSERT_TRUE(rq);
    EXPECT_EQ(rq->value, 8u);
    r.answer(64, 2, 8);
    EXPECT_FALSE(p->pending());
}

TEST(ParamQueue, ErrorAnswersAndStrangeAnswers) {
    Rig r;
    auto gone = r.q.registerParam(8, 3, 5, kMeasurement);
    auto slow = r.q.registerParam(8, 4, 4, kMeasurement);
    auto odd = r.q.registerParam(8, 5, 3, kMeasurement);

    ASSERT_TRUE(r.next());
    r.answer(8, 3, static_cast<std::uint32_t>(-2), true);
    EXPECT_FALSE(gone->pending());
    EXPECT_EQ(gone->retries(), kParamNonExistent);
    EXPECT_NE(r.lines.back().find(" Параметр не существует"), std::string::npos);

    ASSERT_TRUE(r.next());
    r.answer(8, 4, static_cast<std::uint32_t>(-1), true);
    EXPECT_TRUE(slow->pending());
    EXPECT_EQ(slow->retries(), 1);
    EXPECT_NE(r.lines.back().find(" Таймаут доп устройства"), std::string::npos);

    // A damaged request: sent again, nothing counted against it.
    auto rq = r.next();
    ASSERT_TRUE(rq);
    EXPECT_EQ(rq->number, 5);
    r.answer(8, 5, static_cast<std::uint32_t>(-4), true);
    EXPECT_FALSE(r.q.awaitingAnswer());
    EXPECT_EQ(odd->retries(), 0);
    EXPECT_NE(r.lines.back().find("сбой CRC"), std::string::npos);

    // An answer nobody asked for counts against the last request.
    rq = r.next();
    ASSERT_TRUE(rq);
    const int asked = rq->number;
    r.answer(9, 77, 0x55);
    EXPECT_NE(r.lines.back().find(" Странный ответ. Addr:9 NParam:77 Value:00000055h"),
              std::string::npos);
    EXPECT_EQ(r.q.find(8, static_cast<std::uint16_t>(asked))->retries(), asked == 4 ? 2 : 1);

    r.q.removeAddress(8);
    EXPECT_EQ(r.q.size(), 0u);
    EXPECT_FALSE(r.next());
    odd->setInt(3);
    EXPECT_EQ(odd->asInt(), 0);  // a measurement stays as read
    auto setting = r.q.registerParam(9, 1, 5, kSetting);
    r.q.removeAddress(9);
    setting->setInt(3);  // a forgotten parameter only keeps its value
    EXPECT_EQ(setting->asInt(), 3);
    EXPECT_FALSE(setting->pending());
    EXPECT_FALSE(r.next());
}

TEST(ParamQueue, UnknownErrorsAreGivenUp) {
    Rig r;
    auto p = r.q.registerParam(8, 6, 5, kMeasurement);
    int sent = 0;
    while (r.next()) {
        r.answer(8, 6, 0x77, true);
        ASSERT_LT(++sent, 50);
    }
    EXPECT_EQ(sent, 10);
    EXPECT_EQ(p->retries(), kParamRetryLimit);
    EXPECT_NE(r.lines.back().find(" Неизвестная ошибка  00000077"), std::string::npos);
}

TEST(ParamQueue, StatisticsReport) {
    Rig r;
    r.q.registerParam(124, 170, 5, kMeasurement);
    auto unsupported = r.q.registerParam(124, 171, 5, kMeasurement);
    r.q.registerParam(4, 16383, 5, kMeasurement);
    ASSERT_TRUE(r.next());
    r.answer(124, 170, 1);
    ASSERT_TRUE(r.next());
    r.answer(124, 171, static_cast<std::uint32_t>(-2), true);
    const std::string low = r.q.statistics(2, {});
    EXPECT_EQ(low, "\r\n\r\nПараметров:3 Пока ещё не зачитано/не записано:1, \r\nP4/16383=0");
    const std::string high = r.q.statistics(5, [](std::uint8_t a) { return a == 4; });
    EXPECT_EQ(high,
              "\r\n\r\nПараметры:3\r\n\r\nПараметры с ошибками:1\r\nP4/16383=0"
              "\r\n\r\nНеподдерживаемые параметры:1\r\nP124/171=0");
    EXPECT_EQ(unsupported->retries(), kParamNonExistent);
}

}  // namespace
}  // namespace zelmora
