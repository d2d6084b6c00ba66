#include "database/catalogue.h"

#include <gtest/gtest.h>

#include "database/analysis_start_time.h"
#include "tests/database/db_fixture.h"

namespace zelmora::db {
namespace {

using test::DbFixture;

TEST(Catalogue, NamesAreAddedOnlyWhenNewAndExactlyMatched) {
    DbFixture f;
    Connection& c = f.db();
    EXPECT_FALSE(addStation(c, "грс-1"));  // the same name in another case
    EXPECT_FALSE(addStation(c, "  "));
    EXPECT_FALSE(addStation(c, std::string(51, 'x')));
    EXPECT_TRUE(addStation(c, std::string(25, 'x') + "Ж"));
    const int grs = addStation(c, "ГРС").value();  // a prefix of "ГРС-1" is a name of its own
    EXPECT_NE(grs, f.grs);
    EXPECT_EQ(stationKey(c, "грс").value(), grs);
    EXPECT_EQ(stationKey(c, "O'BRIEN").value(), f.obrien);
    EXPECT_FALSE(stationKey(c, "O'Bri").value().has_value());

    EXPECT_FALSE(addPlace(c, f.grs, "выход"));
    EXPECT_TRUE(addPlace(c, grs, "Выход"));  // the same point name at another station
    EXPECT_EQ(placeKey(c, f.obrien, "кран 'a'").value(), f.cranePoint);
    EXPECT_FALSE(addPlace(c, 9999, "Где-то"));  // no such station

    EXPECT_FALSE(addParametr(c, "ЭТАН", "%", 0));
    EXPECT_FALSE(addParametr(c, "Пропан", "слишком длинная", 0));
    const int propane = addParametr(c, "Пропан", "%", 1.5).value();
    CParametrSet params(c);
    ASSERT_TRUE(params.open());
    ASSERT_EQ(params.rows.size(), 4u);
    EXPECT_EQ(params.rows[0].parametr, "Метан");
    EXPECT_EQ(params.findName("пропан")->keyParametr, propane);
    CParametrSet::Row edited = *params.findName("пропан");
    edited.quant = "мг/м3";
    edited.defValue = 2.5;
    ASSERT_TRUE(params.update(edited));

    // "+  Параметр" copies the default critical value and skips controlled ones.
    ASSERT_TRUE(controlComponents(c, f.exitPoint, {propane, f.methane}));
    CCritValuesSet cv(c);
    ASSERT_TRUE(cv.open(f.exitPoint));
    ASSERT_EQ(cv.rows.size(), 3u);
    EXPECT_EQ(cv.rows[0].critValue, 90.0);
    EXPECT_EQ(cv.rows[2].critValue, 2.5);
}

TEST(Catalogue, PassportCheckAsksForUnknownStationAndPoint) {
    DbFixture f;
    Connection& c = f.db();
    std::vector<std::string> asked;
    auto answering = [&](Answer a) {
        return [&asked, a](const std::string& q) {
            asked.push_back(q);
            return a;
        };
    };
    // Known station and point (any case): nothing asked.
    auto r = checkPassportPlace(c, "грс-1", "ВЫХОД", answering(Answer::Yes)).value();
    EXPECT_TRUE(asked.empty());
    EXPECT_FALSE(r.keepDialogOpen);

    // A station that only begins like a known one is unknown.
    r = checkPassportPlace(c, "ГРС", "Выход", answering(Answer::No)).value();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "Пункт отбора ГРС отсутствует в базе данных. Добавить ?");
    EXPECT_FALSE(r.stationAdded);
    EXPECT_FALSE(stationKey(c, "ГРС").value());

    asked.clear();
    r = checkPassportPlace(c, "ГРС", "Выход", answering(Answer::Cancel)).value();
    EXPECT_TRUE(r.keepDialogOpen);
    EXPECT_EQ(asked.size(), 1u);

    asked.clear();
    r = checkPassportPlace(c, "ГРС 'Северная'", "Кран \"1\"", answering(Answer::Yes)).value();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1],
              "Точка отбора Кран \"1\" для пункта отбора ГРС 'Северная' отсутствует в базе "
              "данных. Добавить ?");
    EXPECT_TRUE(r.stationAdded);
    EXPECT_TRUE(r.placeAdded);
    const int north = stationKey(c, "ГРС 'Северная'").value().value();
    EXPECT_TRUE(placeKey(c, north, "кран \"1\"").value().has_value());

    // A known station with an unknown point asks only about the point.
    asked.clear();
    r = checkPassportPlace(c, "O'Brien", "Кран 'B'", answering(Answer::No)).value();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(r.placeAdded);
    // Empty names add nothing and ask nothing.
    asked.clear();
    checkPassportPlace(c, "", "Выход", answering(Answer::Yes)).value();
    checkPassportPlace(c, "ГРС-1", " ", answering(Answer::Yes)).value();
    EXPECT_TRUE(asked.empty());
}

TEST(Catalogue, AnalysisEditingAndTheClosingRule) {
    DbFixture f;
    Connection& c = f.db();
    // An analysis just made and left empty disappears on closing.
    const int empty = newEmptyAnalysis(c).value();
    ASSERT_TRUE(applyAnalysisFields(c, empty, {}));  // writes "-нет-" for both names
    EXPECT_EQ(CAnalysSet(c).find(empty).value()->station, kNoName);
    EXPECT_TRUE(closeAnalysis(c, empty, true).value());
    EXPECT_FALSE(CAnalysSet(c).find(empty).value().has_value());

    // One with only a sample is kept with "-нет-".
    const int sampled = newEmptyAnalysis(c).value();
    AnalysisFields fields;
    fields.sample = "Проба 1";
    EXPECT_TRUE(applyAnalysisFields(c, sampled, fields).value());
    EXPECT_FALSE(applyAnalysisFields(c, sampled, fields).value());  // nothing changed
    EXPECT_FALSE(closeAnalysis(c, sampled, true).value());
    const AnalysisRow kept = CAnalysSet(c).find(sampled).value().value();
    EXPECT_EQ(kept.station, kNoName);
    EXPECT_EQ(kept.place, kNoName);
    EXPECT_EQ(kept.sample, "Проба 1");

    // An existing analysis that happens to be empty is never deleted by closing.
    AnalysisRow old;
    old.station = kNoName;
    old.place = kNoName;
    const int existing = CAnalysSet(c).add(old).value();
    EXPECT_FALSE(closeAnalysis(c, existing, false).value());
    // Nor is a new one with a file name or a comment.
    AnalysisRow withFile;
    withFile.fileName = "/data/x.stg";
    const int filed = CAnalysSet(c).add(withFile).value();
    EXPECT_FALSE(closeAnalysis(c, filed, true).value());

    // Results: typed values strictly, added components, removals.
    ASSERT_TRUE(addEmptyResults(c, sampled, {"Метан", "O'Ксид"}));
    EXPECT_FALSE(addEmptyResults(c, sampled, {"Этан", "метан"}));  // all or nothing
    CResultSet results(c);
    ASSERT_TRUE(results.open(sampled));
    EXPECT_EQ(results.rows.size(), 2u);
    EXPECT_TRUE(setTypedResult(c, sampled, "метан", "93,123456789").value());
    EXPECT_FALSE(setTypedResult(c, sampled, "Метан", "93.1x").value());
    EXPECT_FALSE(setTypedResult(c, sampled, "Метан", "").value());
    EXPECT_TRUE(setTypedResult(c, sampled, "O'Ксид", " 1e-3 ").value());
    EXPECT_FALSE(setTypedResult(c, sampled, "Гелий", "1"));  // no such row
    ASSERT_TRUE(results.requery());
    EXPECT_EQ(results.rows[0].value, 93.123456789);  // not rounded through single precision
    EXPECT_EQ(results.rows[1].value, 0.001);
    ASSERT_TRUE(removeResults(c, sampled, {"O'Ксид"}));
    ASSERT_TRUE(results.requery());
    EXPECT_EQ(results.rows.size(), 1u);

    // Deleting analyses returns their chromatogram files for the question.
    test::writeFile(f.dir / "a.stg", "x");
    AnalysisRow fileRow;
    fileRow.fileName = (f.dir / "a.stg").string();
    const int withChromatogram = CAnalysSet(c).add(fileRow).value();
    const DeleteOutcome gone = deleteAnalyses(c, {sampled, withChromatogram, 424242});
    EXPECT_TRUE(gone.errors.empty());
    EXPECT_EQ(gone.fileNames, std::vector<std::string>{fileRow.fileName});
    EXPECT_EQ(f.count("SELECT count(*) FROM Results"), 0);
    EXPECT_TRUE(deleteChromatogramFiles(gone.fileNames).empty());
    EXPECT_FALSE(std::filesystem::exists(f.dir / "a.stg"));
    EXPECT_EQ(deleteChromatogramFiles(gone.fileNames).size(), 1u);
}

TEST(Catalogue, CriticalValueShading) {
    using K = CellShade::Kind;
    EXPECT_EQ(shadeForCriticalValue(5.0, 5.0), (CellShade{K::Red, 100}));
    EXPECT_EQ(shadeForCriticalValue(7.0, 5.0), (CellShade{K::Red, 100}));
    EXPECT_EQ(shadeForCriticalValue(2.49, 5.0), (CellShade{K::Cyan, 49}));
    EXPECT_EQ(shadeForCriticalValue(-1.0, 5.0), (CellShade{K::Cyan, 0}));
    EXPECT_EQ(shadeForCriticalValue(5.0, 1e-60), CellShade{});
    EXPECT_EQ(shadeForCriticalValue(5.0, std::nullopt), CellShade{});
    EXPECT_EQ(shadeForCriticalValue(std::nullopt, 5.0), CellShade{});
}

TEST(AnalysisStartTime, StartsInTheSameSecondGetDistinctTimes) {
    std::time_t now = 1'700'000'000;
    AnalysisStartTime times([&] { return now; });  // program started at `now`
    now += 100;
    EXPECT_EQ(times.next(), now);
    EXPECT_EQ(times.next(), now + 1);
    EXPECT_EQ(times.next(), now + 2);
    now += 1;  // last is ahead by one second: still corrected
    EXPECT_EQ(times.next(), now + 2);
    now += 10;
    EXPECT_EQ(times.next(), now);
    now -= 30;  // clock set back by more than 10 s: followed
    EXPECT_EQ(times.next(), now);
}

}  // namespace
}  // namespace zelmora::db
