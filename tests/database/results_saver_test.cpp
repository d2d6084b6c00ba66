#include "database/results_saver.h"

#include <gtest/gtest.h>

#include "app/text.h"
#include "app/work_log.h"
#include "document/stg_file.h"
#include "document/zelmora_doc.h"
#include "tests/database/db_fixture.h"

namespace zelmora::db {
namespace {

using test::DbFixture;
using test::localTime;

// A processed chromatogram: a short trace, three peaks of which two are named.
void fill(CZelmoraDoc& doc) {
    doc.signal.samples.assign(100, 1.0f);
    doc.signal.dt = 0.01;
    Peak a(0.1, 0.2);
    a.componentName = "Метан";
    a.concentration = 92.5;
    Peak b(0.3, 0.4);
    Peak c(0.5, 0.6);
    c.componentName = "Этан";
    c.concentration = 4.125;
    doc.peaks.peaks = {a, b, c};
    doc.passport.sample = "Газ 'сухой'";
    doc.passport.place = "ГРС-1";
    doc.passport.point = "";
    doc.passport.operatorName = "Иванов";
    doc.passport.method = "Природный газ";
    doc.passport.comment = "без замечаний";
    doc.passport.samplingTime = localTime(2024, 4, 1, 9, 30);
    doc.passport.analysisTime = localTime(2024, 4, 1, 10, 15, 7);
}

struct SaverFixture : DbFixture {
    std::filesystem::path stg = dir / "run1.stg";
    std::optional<std::vector<std::string>> components;
    RecordingMessageSink sink;
    CZelmoraDoc doc;

    SaverFixture() {
        fill(doc);
        SilentMessageSink quiet;
        EXPECT_TRUE(doc.Write(stg, quiet, false));
    }
    CAnalysesStore store() {
        return CAnalysesStore(database, [this](const CZelmoraDoc&) { return components; });
    }
    int fileKey() {
        Passport p;
        EXPECT_TRUE(stg::ReadPassport(stg, p));
        return p.databaseKey;
    }
    std::vector<std::pair<std::string, double>> results(int key) {
        CResultSet set(db());
        EXPECT_TRUE(set.open(key));
        std::vector<std::pair<std::string, double>> out;
        for (const auto& r : set.rows)
            out.emplace_back(r.parametr, r.value.value_or(-1));
        return out;
    }
};

TEST(ResultsSaver, SavingTwiceUpdatesOneAnalysis) {
    SaverFixture f;
    CAnalysesStore store = f.store();
    ASSERT_TRUE(store.saveResults(f.doc, f.stg, f.sink));
    const int key = f.doc.passport.databaseKey;
    EXPECT_GT(key, 0);
    EXPECT_EQ(f.fileKey(), key);  // the new key went into the file
    const AnalysisRow row = CAnalysSet(f.db()).find(key).value().value();
    EXPECT_EQ(row.station, "ГРС-1");
    EXPECT_EQ(row.place, kNoName);
    EXPECT_EQ(row.sample, "Газ 'сухой'");
    EXPECT_EQ(row.operatorName, "Иванов");
    EXPECT_EQ(row.method, "Природный газ");
    EXPECT_EQ(row.fileName, f.stg.string());
    EXPECT_EQ(row.date, f.doc.passport.samplingTime);
    EXPECT_EQ(row.anDate, f.doc.passport.analysisTime);
    using V = std::vector<std::pair<std::string, double>>;
    EXPECT_EQ(f.results(key), (V{{"Метан", 92.5}, {"Этан", 4.125}}));  // no method: named peaks

    // The file now names its row; reading it keeps the key.
    EXPECT_EQ(store.checkAnalysisKey(key, f.doc.passport.analysisTime, f.doc.passport.samplingTime),
              ResultsStore::KeyCheck::Matches);
    EXPECT_EQ(
        store.checkAnalysisKey(key, f.doc.passport.analysisTime + 1, f.doc.passport.samplingTime),
        ResultsStore::KeyCheck::Mismatch);
    EXPECT_EQ(store.checkAnalysisKey(key + 1, 0, 0), ResultsStore::KeyCheck::Mismatch);

    // Reprocessed with a method: one row per method component, 0 when no peak has
    // it; the old row of a component dropped from the method stays.
    f.doc.hasMethod = true;
    f.components = std::vector<std::string>{"метан", "Пропан", ""};
    f.doc.peaks.peaks[0].concentration = 93.0;
    f.doc.passport.point = "Выход";
    f.doc.passport.samplingTime += 3600;  // an existing row keeps its dates
    ASSERT_TRUE(store.saveResults(f.doc, f.stg, f.sink));
    EXPECT_EQ(f.doc.passport.databaseKey, key);
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 1);
    EXPECT_EQ(f.results(key), (V{{"Метан", 93.0}, {"Этан", 4.125}, {"Пропан", 0.0}}));
    const AnalysisRow again = CAnalysSet(f.db()).find(key).value().value();
    EXPECT_EQ(again.place, "Выход");
    EXPECT_EQ(again.date, row.date);

    // A calibration chromatogram writes its named peaks even with a method.
    f.doc.passport.calibration = 1;
    f.doc.peaks.peaks[2].concentration = 5.0;
    ASSERT_TRUE(store.saveResults(f.doc, f.stg, f.sink));
    EXPECT_EQ(f.results(key), (V{{"Метан", 93.0}, {"Этан", 5.0}, {"Пропан", 0.0}}));
    EXPECT_TRUE(f.sink.entries.empty());

    // The analysis row was deleted meanwhile: the next save makes a new row and
    // stores its key in the file.
    ASSERT_TRUE(CAnalysSet(f.db()).remove(key));
    ASSERT_TRUE(store.saveResults(f.doc, f.stg, f.sink));
    EXPECT_GT(f.doc.passport.databaseKey, key);
    EXPECT_EQ(f.fileKey(), f.doc.passport.databaseKey);
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 1);
}

TEST(ResultsSaver, AFailedSaveLeavesNothingAndKeepsTheFileKey) {
    SaverFixture f;
    test::TempDir logDir;
    CWorkLog::instance().start(logDir.path(), "test", "test");
    CAnalysesStore store = f.store();
    // The engine fails on the second result row.
    ASSERT_TRUE(
        f.db().exec("CREATE TRIGGER fail BEFORE INSERT ON Results "
                    "WHEN NEW.Parametr = 'Этан' BEGIN SELECT RAISE(ABORT, 'сбой'); END"));
    EXPECT_FALSE(store.saveResults(f.doc, f.stg, f.sink));
    EXPECT_EQ(f.doc.passport.databaseKey, 0);
    EXPECT_EQ(f.fileKey(), 0);
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 0);
    EXPECT_EQ(f.count("SELECT count(*) FROM Results"), 0);
    ASSERT_EQ(f.sink.entries.size(), 1u);
    EXPECT_EQ(f.sink.entries[0].icon, MessageIcon::Error);
    EXPECT_NE(f.sink.entries[0].text.find("сбой"), std::string::npos);
    const std::string log = text::fromCp1251(test::readFile(CWorkLog::instance().path()));
    EXPECT_NE(log.find("! Результаты хроматограммы"), std::string::npos);
    ASSERT_TRUE(f.db().exec("DROP TRIGGER fail"));

    // The key cannot be written into the file: nothing is committed either.
    Passport p = f.doc.passport;
    const auto failingWriter = [](const std::filesystem::path&, const Passport&) { return false; };
    Result<SavedAnalysis> r = saveAnalysis(f.db(), p, {{"Метан", 1.0}}, "x", f.stg, failingWriter);
    EXPECT_FALSE(r);
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 0);
    // A chromatogram file that has gone away: the passport rewrite fails.
    CAnalysesStore real(f.database, [](const CZelmoraDoc&) { return std::nullopt; });
    std::filesystem::remove(f.stg);
    EXPECT_FALSE(real.saveResults(f.doc, f.stg, f.sink));
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 0);

    // The retry after the cause is gone makes exactly one analysis.
    SilentMessageSink quiet;
    ASSERT_TRUE(f.doc.Write(f.stg, quiet, false));
    ASSERT_TRUE(store.saveResults(f.doc, f.stg, f.sink));
    ASSERT_TRUE(store.saveResults(f.doc, f.stg, f.sink));
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 1);
    EXPECT_EQ(f.count("SELECT count(*) FROM Results"), 2);
    CWorkLog::instance().stop();

    // A closed database is reported, never taken for success.
    f.database.close();
    EXPECT_FALSE(store.saveResults(f.doc, f.stg, f.sink));
    EXPECT_EQ(store.checkAnalysisKey(1, 0, 0), ResultsStore::KeyCheck::Unavailable);
}

TEST(ResultsSaver, ReadingAFileChecksItsKeyAgainstTheStore) {
    SaverFixture f;
    auto store = std::make_shared<CAnalysesStore>(f.database,
                                                  [](const CZelmoraDoc&) { return std::nullopt; });
    installResultsStore(store);
    SilentMessageSink quiet;
    f.doc.databaseSaveRequest = true;
    ASSERT_TRUE(f.doc.Write(f.stg, quiet));  // the write saves through the installed store
    const int key = f.doc.passport.databaseKey;
    ASSERT_GT(key, 0);
    CZelmoraDoc same;
    ASSERT_TRUE(same.Read(f.stg));
    EXPECT_EQ(same.passport.databaseKey, key);
    // The row now has another analysis time: the file is no longer taken for it.
    Statement s = f.db().prepare("UPDATE Analyses SET AnDate = '2000-01-01 00:00:00'");
    ASSERT_TRUE(s.run());
    CZelmoraDoc other;
    ASSERT_TRUE(other.Read(f.stg));
    EXPECT_EQ(other.passport.databaseKey, 0);
    installResultsStore(nullptr);
}

TEST(ResultsSaver, StoredFileNameIsTheRealPath) {
    EXPECT_EQ(storedFileName("/home/lab/x.stg", "\\\\server\\db", "LAB1"), "/home/lab/x.stg");
    EXPECT_EQ(storedFileName("C:\\Data\\x.stg", "D:\\db", "LAB1"), "C:\\Data\\x.stg");
    EXPECT_EQ(storedFileName("C:\\Data\\x.stg", "\\\\server\\db", "LAB1"),
              "\\\\LAB1\\C\\Data\\x.stg");
    EXPECT_EQ(storedFileName("C:", "\\\\server\\db", "LAB1"), "C:");
}

}  // namespace
}  // namespace zelmora::db
