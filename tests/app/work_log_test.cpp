#include "app/work_log.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <thread>
#include <vector>

#include "app/text.h"
#include "tests/support/temp_dir.h"

namespace zelmora {
namespace {

// 2026-12-09 12:34:56 local time.
std::time_t fixedTime() {
    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 11;
    tm.tm_mday = 9;
    tm.tm_hour = 12;
    tm.tm_min = 34;
    tm.tm_sec = 56;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TEST(WorkLog, EntriesContinuationsStartAndStopLines) {
    test::TempDir dir;
    CWorkLog log;
    log.write("ignored before start");
    log.setFixedTime(fixedTime());
    log.start(dir.path(), "Версия 1.2.3", "9 декабря 2026");
    log.write("! Ошибка подключения прибора 1");
    log.append(" Записан ОК");
    log.write("line\nnext");
    log.stop();
    log.write("ignored after stop");
    const std::string expected =
        "\r\n09/12/2026 12:34:56 . Программа запущена - версия Версия 1.2.3 от 9 декабря 2026"
        "\r\n09/12/2026 12:34:56 ! Ошибка подключения прибора 1 Записан ОК"
        "\r\n09/12/2026 12:34:56 line\r\nnext"
        "\r\n09/12/2026 12:34:56 . Программа остановлена\r\n"
        "-------------------------------------------------";
    EXPECT_EQ(test::readFile(dir / "Zelmora.log"), text::toCp1251(expected));
    EXPECT_TRUE(log.path().empty());
}

TEST(WorkLog, ASourcesContinuationNeverLandsOnAnotherLine) {
    test::TempDir dir;
    CWorkLog log;
    log.setFixedTime(fixedTime());
    log.start(dir.path(), "v", "d");
    CWorkLogSource chromatograph(log);
    chromatograph.write("  Прибор 1 Запрос 1");
    chromatograph.append(" ответ 1");
    chromatograph.write("  Прибор 1 Запрос 2");
    log.write("  Pelvio:   Доза.");  // another thread, in between
    chromatograph.append(" ответ 2");
    chromatograph.append(" и ещё");
    log.stop();
    const std::string expected =
        "\r\n09/12/2026 12:34:56 . Программа запущена - версия v от d"
        "\r\n09/12/2026 12:34:56   Прибор 1 Запрос 1 ответ 1"
        "\r\n09/12/2026 12:34:56   Прибор 1 Запрос 2"
        "\r\n09/12/2026 12:34:56   Pelvio:   Доза."
        "\r\n09/12/2026 12:34:56   Прибор 1 Запрос 2 ответ 2 и ещё"
        "\r\n09/12/2026 12:34:56 . Программа остановлена\r\n"
        "-------------------------------------------------";
    EXPECT_EQ(test::readFile(dir / "Zelmora.log"), text::toCp1251(expected));

    // Two threads writing requests and answers at once: every answer ends
    // up on a line of its own request.
    test::TempDir busy;
    CWorkLog shared;
    shared.start(busy.path(), "v", "d");
    CWorkLogSource a(shared), b(shared);
    auto run = [&shared](CWorkLogSource& s, char name) {
        for (int i = 0; i < 300; ++i) {
            s.write(text::format("req %c%d", name, i));
            shared.write("other");
            s.append(text::format(" ans %c%d", name, i));
        }
    };
    std::thread ta(run, std::ref(a), 'a');
    std::thread tb(run, std::ref(b), 'b');
    ta.join();
    tb.join();
    shared.stop();
    const std::string all = test::readFile(busy / "Zelmora.log");
    std::size_t answers = 0;
    for (std::size_t at = all.find(" ans "); at != std::string::npos;
         at = all.find(" ans ", at + 1)) {
        const std::size_t lineStart = all.rfind('\n', at);
        const std::string line = all.substr(lineStart, at - lineStart);
        const std::string ans = all.substr(at + 5, all.find_first_of("\r", at) - at - 5);
        EXPECT_NE(line.find("req " + ans), std::string::npos) << line << " /" << ans;
        ++answers;
    }
    EXPECT_EQ(answers, 600u);
}

TEST(WorkLog, AMissingFolderLosesEntriesSilently) {
    test::TempDir dir;
    CWorkLog log;
    test::writeFile(dir / "plainfile", "x");
    log.start(dir / "plainfile" / "sub", "v", "d");  // cannot be created
    log.write("lost");
    log.stop();
    SUCCEED();
}

TEST(WorkLog, TrimmingKeepsWholeLinesAndOnlyAboveTheCap) {
    test::TempDir dir;
    const auto logFile = dir / "Zelmora.log";
    const auto rotation = dir / "Zelmora.lo1";
    // Below the cap: untouched.
    test::writeFile(logFile, std::string(99, 'a'));
    EXPECT_FALSE(CWorkLog::trim(logFile, rotation, 100));
    EXPECT_EQ(test::readFile(logFile).size(), 99u);
    // At the cap, with a line feed before the cut: the kept part starts after it.
    // Bytes: "0123456789\n" (11) + 90 x 'b' (101 bytes), cap 100 -> cut at 1.
    test::writeFile(logFile, "0123456789\n" + std::string(90, 'b'));
    EXPECT_TRUE(CWorkLog::trim(logFile, rotation, 100));
    // No line feed at or before the cut: the kept part starts at the cut.
    EXPECT_EQ(test::readFile(logFile), "123456789\n" + std::string(90, 'b'));
    EXPECT_FALSE(std::filesystem::exists(rotation));
    test::writeFile(logFile, "ab\ncd\n" + std::string(100, 'x'));  // 106 bytes, cut at 6
    EXPECT_TRUE(CWorkLog::trim(logFile, rotation, 100));
    EXPECT_EQ(test::readFile(logFile), std::string(100, 'x'));
    test::writeFile(logFile, "first\nsecond line\n" + std::string(95, 'y'));  // cut in "second"
    EXPECT_TRUE(CWorkLog::trim(logFile, rotation, 100));
    EXPECT_EQ(test::readFile(logFile), "second line\n" + std::string(95, 'y'));
    // Exactly at the cap: trimmed, and the whole content kept.
    test::writeFile(logFile, std::string(100, 'z'));
    EXPECT_TRUE(CWorkLog::trim(logFile, rotation, 100));
    EXPECT_EQ(test::readFile(logFile), std::string(100, 'z'));
}

TEST(WorkLog, TrimmingAtStartUsesTheRealCap) {
    test::TempDir dir;
    const auto logFile = dir / "Zelmora.log";
    {
        std::string big(CWorkLog::kSizeCap - 1, 'a');
        test::writeFile(logFile, big);
    }
    CWorkLog log;
    log.start(dir.path(), "v", "d");
    log.stop();
    // 19 999 999 bytes are not trimmed: the old content is still there.
    EXPECT_GT(std::filesystem::file_size(logFile), CWorkLog::kSizeCap - 1);
    std::string big(CWorkLog::kSizeCap + 10, 'a');
    big[5] = '\n';
    test::writeFile(logFile, big);
    CWorkLog log2;
    log2.start(dir.path(), "v", "d");
    log2.stop();
    // The kept part starts after the line feed at offset 5, then come the
    // start and stop lines.
    const std::string kept = test::readFile(logFile);
    EXPECT_EQ(kept.find_first_not_of('a'), CWorkLog::kSizeCap + 4);
    EXPECT_LT(kept.size(), CWorkLog::kSizeCap + 4 + 300);
    EXPECT_FALSE(std::filesystem::exists(dir / "Zelmora.lo1"));
}

TEST(WorkLog, EightThreadsWriteWholeLinesAndLoseNone) {
    test::TempDir dir;
    CWorkLog log;
    log.start(dir.path(), "v", "d");
    constexpr int kThreads = 8, kEach = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i) {
                log.write(text::format("  Поток %d запись %d конец", t, i));
            }
        });
    }
    for (auto& th : threads)
        th.join();
    log.stop();
    const std::string content = text::fromCp1251(test::readFile(dir / "Zelmora.log"));
    std::set<std::string> seen;
    std::size_t pos = 0;
    int lines = 0;
    while ((pos = content.find("\r\n", pos)) != std::string::npos) {
        pos += 2;
        const auto end = content.find("\r\n", pos);
        const std::string line = content.substr(pos, end == std::string::npos ? end : end - pos);
        ++lines;
        const auto p = line.find("Поток");
        if (p == std::string::npos)
            continue;
        EXPECT_EQ(line.substr(line.size() - 10), "конец") << line;
        EXPECT_TRUE(seen.insert(line.substr(p)).second) << line;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(lines, kThreads * kEach + 3);  // start, stop and the rule after it
}

}  // namespace
}  // namespace zelmora
