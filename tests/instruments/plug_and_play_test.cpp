// Plug-and-play of the chromatograph against the simulated instrument's
// bus, packet by packet (no line in between), the module ordering rules,
// the serial storehouse and the module catalogue.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "app/settings_store.h"
#include "app/text.h"
#include "instruments/kalder_modules.h"
#include "instruments/plug_and_play.h"
#include "instruments/serial_storehouse.h"
#include "instruments/sim/kalder_model.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

using namespace kalder;

sim::KalderSimModule simModule(std::uint8_t address, std::uint32_t serial, int slot) {
    sim::KalderSimModule m;
    m.address = address;
    m.serial = serial;
    m.pollSlot = slot;
    m.params[kParamSerial] = serial;
    return m;
}

struct Bench {
    test::TempDir dir;
    SettingsStore store{dir / "user.reg", true};
    CSerialStorehouse house{store};
    sim::KalderModel model;
    std::vector<std::string> log;
    std::vector<std::string> messages;
    CPlugAndPlay pnp{&house,
                     {[this](std::string_view s) { log.emplace_back(s); },
                      [this](std::string_view s) {
                          if (log.empty())
                              log.emplace_back();
                          log.back() += s;
                      },
                      [this](std::string_view s) { messages.emplace_back(s); }}};
    wire::KalderFrameParser parser;
    std::uint64_t n = 0;

    explicit Bench(sim::KalderSimConfig c) : model(std::move(c)) {}

    // Runs until the procedure stops or waits for the operator; a request
    // goes out at most every second packet, as the writer's 300 ms allow.
    void run(std::uint64_t maxPackets = 20000) {
        for (std::uint64_t i = 0; i < maxPackets && pnp.active() && pnp.state() != 6; ++i, ++n) {
            if (n % 2 == 0)
                if (auto r = pnp.buildRequest())
                    model.receive(r->data(), r->size());
            for (auto b : model.packetBytes(n))
                for (const auto& f : parser.feed(b))
                    if (auto p = wire::decodeKalderPacket(f.span()); p && p->answer)
                        pnp.onPacket(*p->answer);
        }
    }
    // The same with a reader that is `lag` packets behind the line, as on a
    // busy computer: packets wait on the line while requests go out. With
    // `marked`, the writer tells where the received stream stood when each
    // request went out. With `catchUp`, the reader takes every packet
    // waiting on the line while a request is still being written, before
    // the writer marks it.
    void runLagging(std::size_t lag, bool marked, std::uint64_t maxPackets = 20000,
                    bool catchUp = false) {
        std::deque<std::vector<std::uint8_t>> line;
        std::uint64_t emitted = 0;
        std::uint64_t taken = 0;
        auto read = [&](std::size_t behind) {
            while (line.size() > behind) {
                for (auto b : line.front()) {
                    ++taken;
                    for (const auto& f : parser.feed(b))
                        if (auto p = wire::decodeKalderPacket(f.span()); p && p->answer)
                            pnp.onPacket(*p->answer, taken);
                }
                line.pop_front();
            }
        };
        for (std::uint64_t i = 0; i < maxPackets && pnp.active() && pnp.state() != 6; ++i, ++n) {
            line.push_back(model.packetBytes(n));
            emitted += line.back().size();
            if (n % 2 == 0)
                if (auto r = pnp.buildRequest(marked)) {
                    model.receive(r->data(), r->size());
                    if (catchUp)
                        read(0);
                    if (marked)
                        pnp.markSent(emitted);
                }
            read(lag);
        }
    }
    std::vector<std::uint32_t> polls() const {
        std::vector<std::uint32_t> t;
        for (const auto& r : model.requests())
            if (r.address == kBusServiceAddress && r.number == kBusPoll)
                t.push_back(r.value);
        return t;
    }
    bool logged(const std::string& s) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& l) { return l.find(s) != std::string::npos; });
    }
};

sim::KalderSimConfig composition(std::vector<sim::KalderSimModule> modules, bool withStack) {
    sim::KalderSimConfig c;
    c.modules = std::move(modules);
    if (withStack)
        for (std::size_t i = 0; i < c.modules.size(); ++i)
            c.stack[i] = c.modules[i].address;
    return c;
}

TEST(PlugAndPlay, FindsConfirmsAndRemembersAKnownComposition) {
    Bench b(composition({simModule(moduleAddress(kClassGasPair, 0), 0x034567, 12),
                         simModule(moduleAddress(kClassFlame, 0), 0x012345, 3),
                         simModule(moduleAddress(kClassValves2, 0), 0x045678, 20)},
                        true));
    b.pnp.start(true);
    b.run();
    EXPECT_FALSE(b.pnp.active());
    ASSERT_TRUE(b.pnp.completed()) << b.pnp.progressText();
    EXPECT_TRUE(b.messages.empty());
    EXPECT_EQ(b.pnp.cpuSerial(), 0x00C0FFEEu);
    // Polling ran to 8 x floor(20 / 8) + 32 = 48.
    const auto polls = b.polls();
    ASSERT_FALSE(polls.empty());
    EXPECT_EQ(polls.front(), 0u);
    EXPECT_EQ(polls.back(), 48u);
    EXPECT_TRUE(b.logged("# P&P Найдено устройство serial=04012345"));
    EXPECT_TRUE(b.logged("# P&P Найдено 3 устройств: "));
    // The detector first, then the others by word; addresses kept.
    const auto mods = b.pnp.modules();
    ASSERT_EQ(mods.size(), 3u);
    EXPECT_EQ(mods[0].word, 0x04012345u);
    EXPECT_EQ(mods[1].word, 0x40034567u);
    EXPECT_EQ(mods[2].word, 0x48045678u);
    EXPECT_EQ(mods[0].poll, 3);
    // The control unit's stack holds the addresses in that order.
    const auto stack = b.model.stack();
    EXPECT_EQ(stack[0], 4);
    EXPECT_EQ(stack[1], 64);
    EXPECT_EQ(stack[2], 72);
    EXPECT_EQ(stack[3], 0);
    // The storehouse holds the composition; a second run does not add it
    // again.
    const auto records = b.house.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], "00c0ffee040123454003456748045678");
    b.pnp.start(true);
    b.run();
    EXPECT_TRUE(b.pnp.completed());
    EXPECT_EQ(b.house.records().size(), 1u);
    EXPECT_NE(b.pnp.progressText().find("Конец  PnP\n\n04012345 40034567 48045678 "),
              std::string::npos);
}

TEST(PlugAndPlay, AReaderBehindTheLineStillFindsTheComposition) {
    auto modules = [] {
        return composition({simModule(moduleAddress(kClassGasPair, 0), 0x034567, 12),
                            simModule(moduleAddress(kClassFlame, 0), 0x012345, 3)},
                           true);
    };
    // Eight packets behind, each answer comes later than a step may wait
    // when the packets already on the line are counted against it.
    Bench unmarked(modules());
    unmarked.pnp.start(true);
    unmarked.runLagging(8, false);
    EXPECT_FALSE(unmarked.pnp.completed());
    EXPECT_FALSE(unmarked.messages.empty());

    // With the line's position noted once each request is out, the same
    // reader finds the composition; also when it catches up while the
    // request is still being written (what it takes then left the
    // instrument before the request reached it).
    for (const bool catchUp : {false, true}) {
        Bench b(modules());
        b.pnp.start(true);
        b.runLagging(8, true, 20000, catchUp);
        ASSERT_TRUE(b.pnp.completed()) << catchUp << b.pnp.progressText();
        EXPECT_TRUE(b.messages.empty());
        EXPECT_EQ(b.pnp.cpuSerial(), 0x00C0FFEEu);
        const auto mods = b.pnp.modules();
        ASSERT_EQ(mods.size(), 2u);
        EXPECT_EQ(mods[0].word, 0x04012345u);
        EXPECT_EQ(mods[1].word, 0x40034567u);
        EXPECT_EQ(b.model.stack()[0], 4);
        EXPECT_EQ(b.model.stack()[1], 64);
    }
}

TEST(PlugAndPlay, EmptyBusPollsZeroToThirtyTwo) {
    Bench b(composition({}, false));
    b.pnp.start(true);
    b.run();
    EXPECT_TRUE(b.pnp.completed());
    const auto polls = b.polls();
    ASSERT_EQ(polls.size(), 33u);
    EXPECT_EQ(polls.back(), 32u);
    EXPECT_TRUE(b.pnp.modules().empty());
    EXPECT_EQ(b.model.stack(), (std::array<std::uint8_t, 16>{}));
}

TEST(PlugAndPlay, DropsVirtualDevicesDuplicatesAndSilentModules) {
    auto ghost = simModule(moduleAddress(kClassConductivity, 0), 0x0BAD00, 5);
    ghost.confirms = false;
    auto twin = simModule(moduleAddress(kClassFlame, 1), 0x011111, 9);
    Bench b(composition({simModule(moduleAddress(kClassFlame, 0), 0x011111, 2), ghost, twin,
                         simModule(moduleAddress(kClassHydrogenAir, 0), 0x077777, 14)},
                        false));
    b.pnp.start(false);
    b.run();
    ASSERT_EQ(b.pnp.state(), 6);  // waits for the operator
    EXPECT_TRUE(b.logged("# P&P Найдено виртуальное устройство - отбросим serial=080bad00"));
    EXPECT_TRUE(
        b.logged("# P&P Найдено устройство serial=05011111 Такой серийный номер (05011111) "
                 "уже был! Отбросим."));
    auto mods = b.pnp.modules();
    ASSERT_EQ(mods.size(), 2u);
    // The regulator stops answering before it is told its address.
    b.model.moduleBySerial(0x077777)->confirms = false;
    b.pnp.confirm();
    b.run();
    EXPECT_TRUE(b.pnp.completed());
    EXPECT_TRUE(b.logged("# P&P Устройство serial=44077777 не отвечает, отбросим"));
    mods = b.pnp.modules();
    ASSERT_EQ(mods.size(), 1u);
    EXPECT_EQ(b.model.stack()[0], 4);
    EXPECT_EQ(b.model.stack()[1], 0);
}

TEST(PlugAndPlay, GivesTwoDetectorsOfOneClassTheirOwnAddresses) {
    // Both amplifiers sit at index 0 and the stack knows nothing.
    Bench b(composition({simModule(moduleAddress(kClassFlame, 0), 0x000222, 4),
                         simModule(moduleAddress(kClassFlame, 0), 0x000111, 6)},
                        false));
    b.pnp.start(true);
    b.run();
    ASSERT_TRUE(b.pnp.completed());
    const auto mods = b.pnp.modules();
    ASSERT_EQ(mods.size(), 2u);
    // By word, then the second takes the next free index of its class.
    EXPECT_EQ(mods[0].word, 0x04000111u);
    EXPECT_EQ(mods[1].word, 0x05000222u);
    // ... and its new address on the bus.
    EXPECT_EQ(b.model.moduleBySerial(0x000222)->address, 5);
    EXPECT_EQ(b.model.moduleBySerial(0x000111)->address, 4);
    EXPECT_EQ(b.model.stack()[0], 4);
    EXPECT_EQ(b.model.stack()[1], 5);
}

TEST(PlugAndPlay, StorehouseOrdersAnInconsistentStack) {
    Bench b(composition({simModule(moduleAddress(kClassFlame, 0), 0x0000A1, 4),
                         simModule(moduleAddress(kClassFlame, 1), 0x0000B2, 6),
                         simModule(moduleAddress(kClassGasPair, 0), 0x0000C3, 8)},
                        false));
    // A record of this instrument with the amplifiers the other way round
    // and a fourth module since taken out.
    b.store.setInt(CSerialStorehouse::key(), "NumRecords", 2);
    b.store.setString(CSerialStorehouse::key(), "Record-0", "0012345604000999");
    b.store.setString(CSerialStorehouse::key(), "Record-1",
                      "00c0ffee040000b2050000a1400000c3480000d4");
    b.pnp.start(true);
    b.run();
    ASSERT_TRUE(b.pnp.completed());
    const auto mods = b.pnp.modules();
    ASSERT_EQ(mods.size(), 3u);
    EXPECT_EQ(mods[0].word, 0x040000B2u);
    EXPECT_EQ(mods[1].word, 0x050000A1u);
    EXPECT_TRUE(mods[0].placed);
    // The matching record was replaced by the new composition.
    const auto records = b.house.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], "0012345604000999");
    EXPECT_EQ(records[1], "00c0ffee040000b2050000a1400000c3");
}

TEST(PlugAndPlay, ControlUnitTimeoutsEndTheProcedure) {
    auto c = composition({}, false);
    c.cpuAnswers = false;
    Bench b(c);
    b.pnp.start(true);
    b.run(500);
    EXPECT_FALSE(b.pnp.active());
    EXPECT_FALSE(b.pnp.completed());
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0], "Таймаут. Ошибка чтения серийного номера CPU.");
    EXPECT_LT(b.n, 40u);

    // The control unit falls silent while the stack is written.
    Bench w(composition({simModule(moduleAddress(kClassFlame, 0), 0x0000A1, 1)}, false));
    w.pnp.start(false);
    w.run();
    ASSERT_EQ(w.pnp.state(), 6);
    w.model.setCpuAnswers(false);
    w.pnp.confirm();
    w.run();
    EXPECT_FALSE(w.pnp.active());
    EXPECT_FALSE(w.pnp.completed());
    ASSERT_FALSE(w.messages.empty());
    EXPECT_EQ(w.messages.back(), "Таймаут. Ошибка записи стека.");
    EXPECT_TRUE(w.house.records().empty());
}

TEST(PlugAndPlay, CancelAndGarbageAnswers) {
    Bench b(composition({simModule(moduleAddress(kClassFlame, 0), 0x0000A1, 1)}, false));
    b.pnp.start(false);
    for (int i = 0; i < 20; ++i) {
        (void)b.pnp.buildRequest();
        b.pnp.onPacket({});
    }
    b.pnp.cancel();
    EXPECT_FALSE(b.pnp.active());
    EXPECT_FALSE(b.pnp.buildRequest());

    // Answers of every kind at random never wedge the procedure: it ends
    // (or waits for the operator) within a bounded number of packets.
    std::mt19937 rng(5);
    for (int round = 0; round < 20; ++round) {
        b.pnp.start(true);
        int packets = 0;
        while (b.pnp.active() && packets < 100000) {
            (void)b.pnp.buildRequest();
            wire::KalderAnswer a;
            const unsigned r = rng();
            if (r % 3 != 0) {
                static constexpr std::array<std::uint8_t, 4> kAddr = {0, 40, 124, 4};
                a.address = kAddr[r % 4];
                a.numberField = static_cast<std::uint16_t>((r >> 4) % 2 ? 16353 + (r >> 8) % 4
                                                                        : 176 + (r >> 8) % 16);
                a.value = static_cast<std::int32_t>(rng() % 3 == 0 ? 0 : rng());
            }
            b.pnp.onPacket(a);
            ++packets;
        }
        EXPECT_LT(packets, 100000) << round;
    }
}

TEST(PlugAndPlay, OrderingRules) {
    auto fm = [](std::uint32_t w) { return FoundModule{w, 0, 0, false}; };
    // Two at index 3 and one at 1 in class 2: unique and compact.
    std::vector<FoundModule> m = {fm(0x0B000001), fm(0x0B000002), fm(0x09000003), fm(0x40000009),
                                  fm(0x40000004)};
    ASSERT_TRUE(checkAndSetAddresses(m));
    std::vector<std::uint32_t> words;
    for (const auto& x : m)
        words.push_back(x.word);
    EXPECT_EQ(words, (std::vector<std::uint32_t>{0x0A000001, 0x08000002, 0x09000003, 0x40000004,
                                                 0x41000009}));
    // Five of a class: given up, nothing changed.
    std::vector<FoundModule> five;
    for (std::uint32_t i = 0; i < 5; ++i)
        five.push_back(fm(0x04000000 | i));
    const auto before = five;
    EXPECT_FALSE(checkAndSetAddresses(five));
    EXPECT_EQ(five.size(), before.size());
    EXPECT_EQ(five[4].word, before[4].word);

    std::array<std::uint8_t, 16> stack{};
    stack[0] = 0x40;
    stack[1] = 0x04;
    std::vector<FoundModule> two = {fm(0x04000001), fm(0x40000002)};
    EXPECT_TRUE(stackConsistent(stack, two));
    orderByStack(stack, two);
    EXPECT_EQ(two[0].word, 0x40000002u);
    EXPECT_TRUE(two[0].placed);
    stack[2] = 0x04;  // an entry twice
    EXPECT_FALSE(stackConsistent(stack, two));
    stack[2] = 0x08;  // more entries than modules
    EXPECT_FALSE(stackConsistent(stack, two));
}

TEST(SerialStorehouse, SimilarityAndRecords) {
    const std::string comp =
        "00000001"
        "04aaaaaa"
        "05bbbbbb"
        "40cccccc"
        "48dddddd";
    EXPECT_DOUBLE_EQ(CSerialStorehouse::similarity(comp, comp), 1.0);
    // The address byte does not count: the same serials elsewhere match.
    EXPECT_DOUBLE_EQ(CSerialStorehouse::similarity(comp,
                                                   "ff000001"
                                                   "07aaaaaa"
                                                   "00bbbbbb"
                                                   "00eeeeee"
                                                   "00ffffff"),
                     0.6);
    const std::string two =
        "00000009"
        "00aaaaaa"
        "00bbbbbb"
        "00eeeeee"
        "00ffffff";
    const std::string one =
        "00000009"
        "00aaaaaa"
        "00999999"
        "00eeeeee"
        "00ffffff";
    EXPECT_DOUBLE_EQ(CSerialStorehouse::similarity(comp, two), 0.4);
    EXPECT_DOUBLE_EQ(CSerialStorehouse::similarity(comp, one), 0.2);
    EXPECT_DOUBLE_EQ(CSerialStorehouse::similarity(comp, ""), 0.0);
    EXPECT_DOUBLE_EQ(CSerialStorehouse::similarity(comp, "zz"), 0.0);
    EXPECT_EQ(CSerialStorehouse::groups("0000000104aaaaaa05bb").size(), 2u);
    EXPECT_EQ(CSerialStorehouse::composition(0xC0FFEE, {0x04012345}), "00c0ffee04012345");

    test::TempDir dir;
    SettingsStore store(dir / "s.reg", true);
    CSerialStorehouse h(store);
    EXPECT_FALSE(h.findSimilar(comp));
    EXPECT_TRUE(h.remember(one));
    EXPECT_FALSE(h.findSimilar(comp));  // 1 of 5 is not the same instrument
    EXPECT_TRUE(h.remember(two));       // 0.4 with `one`'s serials: replaces it
    EXPECT_EQ(h.records(), (std::vector<std::string>{two}));
    const auto m = h.findSimilar(comp);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->index, 0);
    EXPECT_FALSE(h.remember(two));  // equal: not stored again
    EXPECT_TRUE(
        h.remember("12345678"
                   "00111111"));
    EXPECT_EQ(h.records().size(), 2u);
    EXPECT_EQ(store.readInt(CSerialStorehouse::key(), "NumRecords", 0), 2);
}

TEST(KalderModules, NamesAndCatalogue) {
    EXPECT_EQ(moduleShortName(4), "ИМТ1");
    EXPECT_EQ(moduleShortName(9), "ДТП2");
    EXPECT_EQ(moduleShortName(65), "ГН34");
    EXPECT_EQ(moduleShortName(77), "Крн58");
    EXPECT_EQ(moduleShortName(124), "БУ");
    EXPECT_EQ(moduleShortName(100), "???100");
    EXPECT_EQ(moduleLongName(66), "Регулятор потока газов 5,6");
    EXPECT_EQ(moduleLongName(100), "Неизвестное устройство addr=100");
    EXPECT_EQ(moduleListingLine(0x4D0000FF, 17), "Кр4-58 serial=0000ff tact=17\r\n");
    EXPECT_EQ(moduleListingLine(0x05ABCDEF, 3), "ИМТ-M2 serial=abcdef tact=3\r\n");
    EXPECT_EQ(compositionText({4, 8, 64, 124}), "ИМТ1 ДТП1 ГН12 БУ");

    EXPECT_EQ(zoneName(16), "Колонки");
    EXPECT_EQ(zoneName(32), "Испаритель-1");
    EXPECT_EQ(zoneName(2096), "Детектор-1");
    EXPECT_EQ(zoneName(2097), "Детектор-2");
    EXPECT_EQ(zoneName(2064), "Выкл");
    EXPECT_EQ(zoneName(5), "Зона 5");
    EXPECT_EQ(zoneName(16 * 40 + 2), "Неизвестный-3");
    EXPECT_EQ(defaultZoneCode(2), 2096);
    EXPECT_EQ(defaultZoneCode(7), 2064);

    const auto f = [](float v) { return std::bit_cast<std::uint32_t>(v); };
    EXPECT_EQ(describeParam(124, 9, f(150.5f)), "БУ:   Термостат колонок Т2   150.50");
    EXPECT_EQ(describeParam(124, 25, f(10.0f)), "БУ:   Скорость прогр. V23   10.00");
    EXPECT_EQ(describeParam(124, 178, 0x40), "БУ:   Стек  2   40");
    EXPECT_EQ(describeParam(124, 321, 32),
              "БУ:   Название температурной зоны 1    20 (Испаритель-1)");
    EXPECT_EQ(describeParam(124, 80, 0x103),
              "БУ:   Светодиоды            000103 Подготовка:миг Готов");
    EXPECT_EQ(describeParam(124, 16383, 0xC0FFEE), "БУ:   Серийный номер. c0ffee");
    EXPECT_EQ(describeParam(124, 5000, 7), "БУ:   Параметр  5000 7");
    EXPECT_EQ(describeParam(5, 2, f(1.5f)), "ИМТ2: Фильтр - постоянная времени   1.50");
    EXPECT_EQ(describeParam(8, 3, f(0.25f)), "ДТП1: Ток моста измерено            0.2500");
    EXPECT_EQ(describeParam(73, 1, 3), "Крн34: Доступность кранов            03h");
    EXPECT_EQ(describeParam(76, 0x2000 | 14, 5), "Крн14: Кран-2  Тип крана - #5");
    EXPECT_EQ(describeParam(64, 0x2000 | 5, 1), "ГН-2: Тип газа Гелий");
    EXPECT_EQ(describeParam(68, 1, f(20.0f)), "Водр: Расход               20.00");
    EXPECT_EQ(describeParam(68, 16383, 0x77), "ВВ-1: Серийный номер.   77");
    EXPECT_EQ(describeParam(100, 3, 0x10), "Параметр 100:3 10");

    EXPECT_TRUE(inIdentificationSet(124, 176));
    EXPECT_TRUE(inIdentificationSet(4, 3));
    EXPECT_TRUE(inIdentificationSet(76, 0x2000 | 19));
    EXPECT_TRUE(inIdentificationSet(76, 16380));
    EXPECT_FALSE(inIdentificationSet(72, 16380));  // two-valve blocks have no board query
    EXPECT_TRUE(inExtendedSet(124, 160));
    EXPECT_TRUE(inExtendedSet(64, 8208));
    EXPECT_FALSE(inExtendedSet(8, 5));
}

TEST(KalderModules, NewSerialNumbers) {
    constexpr std::int64_t k2004 = 1072915200;
    EXPECT_EQ(newSerialNumber(k2004, 0), 11u);                    // at least 11
    EXPECT_EQ(newSerialNumber(k2004 + 1000, 0), 100u);            // tens of seconds
    EXPECT_EQ(newSerialNumber(k2004 + 1000, 100), 101u);          // strictly above the last
    EXPECT_EQ(newSerialNumber(k2004 + 110959000, 0), 11095901u);  // the one value skipped
    EXPECT_LE(newSerialNumber(k2004 + (std::int64_t{1} << 30), 0), 0xFFFFFFu);
}

}  // namespace
}  // namespace zelmora
