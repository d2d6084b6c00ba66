// The chromatogram's records: peaks and their properties, the table's group
// links, the passport's text, and the document's searches, title and
// change notification.

#include <gtest/gtest.h>

#include <cstdlib>

#include "document/passport.h"
#include "document/peak_table.h"
#include "document/zelmora_doc.h"

namespace zelmora {
namespace {

Peak named(double a, double b, const char* name) {
    Peak p(a, b);
    p.componentName = name;
    return p;
}

TEST(PeakTest, ConstructionAndProperties) {
    const Peak swapped(3.0, 1.0);
    EXPECT_EQ(swapped.startTime, 1.0);
    EXPECT_EQ(swapped.endTime, 3.0);
    const Peak point(2.0, 2.0);
    EXPECT_EQ(point.startTime, point.endTime);
    EXPECT_EQ(swapped.prevInGroup, -1);
    EXPECT_EQ(swapped.nextInGroup, -1);

    const PeakProperty fresh;
    EXPECT_EQ(fresh.key, "noname");
    EXPECT_EQ(fresh.value, "novalue");

    Peak p;
    EXPECT_EQ(p.indexProperty(), 0);
    setProperty(p.properties, "Индекс", "812.5");
    setProperty(p.properties, "Индекс", "815.25");
    ASSERT_EQ(p.properties.size(), 1u);
    EXPECT_DOUBLE_EQ(p.indexProperty(), 815.25);
    setProperty(p.properties, "Индекс", "восемьсот");
    EXPECT_EQ(p.indexProperty(), 0);
    EXPECT_EQ(findProperty(p.properties, "индекс"), nullptr);  // keys compare exactly
    EXPECT_TRUE(removeProperty(p.properties, "Индекс"));
    EXPECT_FALSE(removeProperty(p.properties, "Индекс"));
}

TEST(PeakTableTest, AccessAndRelinking) {
    PeakTable t;
    for (int i = 0; i < 6; ++i)
        t.peaks.emplace_back(i, i + 0.5);
    EXPECT_NE(t.at(5), nullptr);
    EXPECT_EQ(t.at(6), nullptr);
    EXPECT_EQ(t.at(-1), nullptr);

    // 0 -> 2 is kept and mirrored; 1 -> 1 is a self-link; 3 -> 2 names a peak
    // that 0 already names; 4 -> 5 -> 4 would close a loop.
    t.peaks[0].nextInGroup = 2;
    t.peaks[1].nextInGroup = 1;
    t.peaks[3].nextInGroup = 2;
    t.peaks[4].nextInGroup = 5;
    t.peaks[5].nextInGroup = 4;
    t.peaks[2].prevInGroup = 4;  // stale left link, rebuilt from the right links
    t.relinkFromRightLinks();
    EXPECT_EQ(t.peaks[0].nextInGroup, 2);
    EXPECT_EQ(t.peaks[2].prevInGroup, 0);
    EXPECT_EQ(t.peaks[1].nextInGroup, -1);
    EXPECT_EQ(t.peaks[1].prevInGroup, -1);
    EXPECT_EQ(t.peaks[3].nextInGroup, -1);
    EXPECT_EQ(t.peaks[4].nextInGroup, 5);
    EXPECT_EQ(t.peaks[5].prevInGroup, 4);
    EXPECT_EQ(t.peaks[5].nextInGroup, -1);
    EXPECT_EQ(t.peaks[4].prevInGroup, -1);

    // Every chain ends, also for a long ring 0 -> 1 -> ... -> n-1 -> 0.
    PeakTable ring;
    const int n = 1000;
    for (int i = 0; i < n; ++i) {
        ring.peaks.emplace_back(i, i + 1);
        ring.peaks.back().nextInGroup = (i + 1) % n;
    }
    ring.relinkFromRightLinks();
    int steps = 0;
    for (int k = 0; k != -1 && steps <= n; k = ring.peaks[static_cast<std::size_t>(k)].nextInGroup)
        ++steps;
    EXPECT_EQ(steps, n);
    for (int i = 0; i < n; ++i) {
        const Peak& p = ring.peaks[static_cast<std::size_t>(i)];
        if (p.nextInGroup >= 0) {
            EXPECT_EQ(ring.peaks[static_cast<std::size_t>(p.nextInGroup)].prevInGroup, i);
        }
    }
}

class LocalTimeUtc : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        if (tz != nullptr)
            saved_ = tz;
        hadTz_ = tz != nullptr;
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
    void TearDown() override {
        if (hadTz_)
            ::setenv("TZ", saved_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

  private:
    std::string saved_;
    bool hadTz_ = false;
};

using PassportTest = LocalTimeUtc;

TEST_F(PassportTest, DefaultsAndTextForm) {
    const std::time_t now = 1796740205;  // 2026-12-08 14:30:05 UTC
    Passport p(now);
    EXPECT_EQ(p.analysisTime, now);
    EXPECT_EQ(p.samplingTime, 1796688000);  // the same day at 00:00:00
    EXPECT_EQ(p.sampleAmount, 1.0);
    EXPECT_EQ(p.norm, 100.0);
    EXPECT_EQ(p.vial, 1);
    EXPECT_EQ(p.numberInSeries, -1);
    EXPECT_EQ(p.deadTime, -1.0);
    EXPECT_TRUE(p.isGas());

    p.sample = "Газ природный";
    p.sample2 = "скв. 12";
    p.sampleAmount = 0.5;
    p.standardAmount = 2;
    p.norm = 99.5;
    p.samplingTime = 1796731200;  // 12:00
    p.point = "Точка 3";
    p.operatorName = "Иванова";
    p.method = "Газ";
    p.duration = 12.5;
    p.numberInSeries = 4;
    p.eluent = "Газовые параметры";
    p.reagent = "Температурные праметры";
    p.comment = std::string(300, 'x');
    EXPECT_EQ(p.text(),
              "ПРОБА: \tГаз природный\r\n\tскв. 12\r\n"
              "Объём: 0.5        Разведение: 2        Норма: 99.5\r\n"
              "Дата / Время: 08.12.26   12:00         Точка отбора:  Точка 3\r\n\r\n"
              "АНАЛИЗ\r\nОператор: Иванова        Метод: Газ\r\n"
              "Продолжительность: 12.5 мин        Номер в серии: 4\r\n"
              "Дата / Время анализа: 08.12.26   14:30:05\r\n"
              "Элюент: Газовые параметры        Реагент: Температурные праметры\r\n\r\n"
              "КОММЕНТАРИЙ: " +
                  std::string(255, 'x'));
    // A Cyrillic comment is cut after 255 letters, not inside one.
    std::string cyr;
    for (int i = 0; i < 300; ++i)
        cyr += "ж";
    p.comment = cyr;
    const std::string t = p.text();
    EXPECT_EQ(t.substr(t.find("КОММЕНТАРИЙ: ") + std::string("КОММЕНТАРИЙ: ").size()),
              cyr.substr(0, 255 * 2));

    Passport other(now);
    other.comment = "своё";
    other.assignExceptComment(p);
    EXPECT_EQ(other.comment, "своё");
    EXPECT_EQ(other.sample, p.sample);
    EXPECT_EQ(other.numberInSeries, 4);
}

TEST(ZelmoraDocTest, SearchesTitleAndNotification) {
    CZelmoraDoc doc;
    EXPECT_EQ(doc.sampleCount(), 0u);
    EXPECT_EQ(doc.t0(), 0);
    EXPECT_EQ(doc.dt(), 1.0);
    EXPECT_EQ(doc.carriedStep, 1.0);
    EXPECT_EQ(doc.retentionFactor, 1.0);
    EXPECT_EQ(doc.peaks.signal(), &doc.signal);

    doc.signal.t0 = 0.5;
    doc.signal.dt = 0.25;
    EXPECT_DOUBLE_EQ(doc.sampleTime(2.5), 1.125);

    doc.peaks.peaks = {named(1, 2, ""), named(2.5, 3, "Метан"), named(2.8, 4, "ЭТАН"),
                       named(5, 6, "метан")};
    EXPECT_EQ(doc.findPeakByName("МЕТАН"), 1);
    EXPECT_EQ(doc.findPeakByName("этан"), 2);
    EXPECT_EQ(doc.findPeakByName(""), -1);  // unidentified peaks never match
    EXPECT_EQ(doc.findPeakByName("Пропан"), -1);
    EXPECT_EQ(doc.peakByName("Пропан"), nullptr);
    EXPECT_EQ(doc.peak(4), nullptr);
    EXPECT_EQ(doc.peak(3)->componentName, "метан");

    // [2.9, 3.5] overlaps peak 1 (a inside) and peak 2 (a inside), then nothing.
    EXPECT_EQ(doc.FindPeak(2.9, 3.5), 1);
    EXPECT_EQ(doc.findCursor, 2);
    EXPECT_EQ(doc.FindNextPeak(2.9, 3.5), 2);
    EXPECT_EQ(doc.FindNextPeak(2.9, 3.5), -1);
    EXPECT_EQ(doc.FindPeak(4.5, 6.5), 3);  // the peak lies within the interval
    EXPECT_EQ(doc.FindPeak(0.5, 1.0), 0);  // b on the start
    EXPECT_EQ(doc.FindPeak(6.5, 7.0), -1);
    EXPECT_EQ(doc.FindPeak(6.5, 4.5), 3);  // interval given backwards

    int calls = 0;
    const int id = doc.subscribe([&](CZelmoraDoc::Change) { ++calls; });
    EXPECT_FALSE(doc.isModified());
    doc.changed(CZelmoraDoc::Change::Peaks);
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(calls, 1);
    doc.unsubscribe(id);
    doc.changed();
    EXPECT_EQ(calls, 1);

    doc.state().setPathName("/data/хроматограммы/Газ_081226_143005.stg");
    EXPECT_EQ(doc.makeTitle(), "Газ_081226_143005");
    struct Named : MethodAttachment {
        std::string name() const override { return "Газ"; }
    };
    doc.reloadMethod(std::make_unique<Named>());
    EXPECT_TRUE(doc.hasMethod);
    EXPECT_EQ(doc.makeTitle(), "Газ_081226_143005; Метод: Газ");
    doc.reloadMethod(nullptr);
    EXPECT_FALSE(doc.hasMethod);
    SilentMessageSink silent;
    EXPECT_FALSE(doc.reloadMethod(silent));  // no loader installed
}

}  // namespace
}  // namespace zelmora
