#include "database/analyses_database.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/database/db_fixture.h"

namespace zelmora::db {
namespace {

using test::DbFixture;

// Fills the fixture with analyses of a few results each; the keys.
void addAnalyses(DbFixture& f, int n) {
    Transaction t(f.db());
    for (int i = 0; i < n; ++i) {
        AnalysisRow r;
        r.station = "ГРС-1";
        r.place = "Выход";
        r.date = test::localTime(2024, 1, 1) + i * 60;
        r.sample = "Проба номер " + std::to_string(i) + std::string(40, '.');
        const int key = CAnalysSet(f.db()).add(r).value();
        ASSERT_TRUE(CResultSet(f.db()).add(key, "Метан", 90.0 + i * 1e-3));
        ASSERT_TRUE(CResultSet(f.db()).add(key, "Этан", 5.0));
    }
    ASSERT_TRUE(t.commit());
}

// Overwrites page `page` (1-based) of a database file with garbage.
void damagePage(const std::filesystem::path& file, long long page, long long pageSize) {
    std::fstream io(file, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp((page - 1) * pageSize);
    const std::string junk(static_cast<std::size_t>(pageSize), '\xA5');
    io.write(junk.data(), static_cast<std::streamsize>(junk.size()));
}

// A copy of the fixture's file, beside it, with one leaf page of Analyses
// overwritten; the fixture's connection is closed.
// The leaf pages of the table Analyses in the fixture's file, in order.
std::vector<long long> analysesLeafPages(DbFixture& f) {
    Statement leaf = f.db().prepare(
        "SELECT pageno FROM dbstat WHERE name = 'Analyses' AND pagetype = 'leaf' "
        "ORDER BY pageno");
    std::vector<long long> leaves;
    while (leaf.next())
        leaves.push_back(leaf.int64(0));
    return leaves;
}

std::filesystem::path damagedCopyOf(DbFixture& f, const std::string& name) {
    const long long pageSize = f.count("PRAGMA page_size");
    const std::vector<long long> leaves = analysesLeafPages(f);
    EXPECT_GT(leaves.size(), 10u);
    f.database.close();
    const std::filesystem::path copy = f.dir / name;
    std::filesystem::copy_file(f.file, copy);
    damagePage(copy, leaves[leaves.size() / 2], pageSize);
    return copy;
}

TEST(AnalysesDatabase, CompactionKeepsTheDataAndTheFile) {
    DbFixture f;
    addAnalyses(f, 300);
    ASSERT_TRUE(f.db().exec("DELETE FROM Analyses WHERE KeyAnalys % 2 = 0"));
    const auto before = std::filesystem::file_size(f.file);
    ASSERT_TRUE(f.database.compact());
    EXPECT_TRUE(f.database.isOpen());
    EXPECT_LT(std::filesystem::file_size(f.file), before);
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 150);
    EXPECT_EQ(f.count("SELECT count(*) FROM Results"), 300);
    // Compaction while another workstation reads fails with the engine's text,
    // and the connection stays usable.
    Connection other = Connection::open(f.file, Connection::Mode::ReadOnly).value();
    Statement reading = other.prepare("SELECT * FROM Results");
    ASSERT_TRUE(reading.next());
    const Status busy = f.database.compact();
    EXPECT_FALSE(busy);
    EXPECT_NE(busy.message().find("locked"), std::string::npos) << busy.message();
    EXPECT_EQ(f.count("SELECT count(*) FROM Analyses"), 150);
}

TEST(AnalysesDatabase, RepairSalvagesADamagedFileAndKeepsTheOriginal) {
    DbFixture f;
    addAnalyses(f, 2000);
    // A sound file is left as it is.
    Result<RepairReport> sound = f.database.repair();
    ASSERT_TRUE(sound) << sound.message();
    EXPECT_FALSE(sound->wasDamaged);
    EXPECT_TRUE(f.database.isOpen());

    const long long pageSize = f.count("PRAGMA page_size");
    const std::vector<long long> leaves = analysesLeafPages(f);
    ASSERT_GT(leaves.size(), 10u);
    const long long maxKey = f.count("SELECT max(KeyAnalys) FROM Analyses");
    f.database.close();
    const std::filesystem::path copy = f.dir / "copy.db";
    std::filesystem::copy_file(f.file, copy);
    damagePage(copy, leaves[leaves.size() / 2], pageSize);

    CAnalysesDatabase damaged(copy);
    EXPECT_FALSE(damaged.open());  // the start-up check finds it
    Result<RepairReport> r = damaged.repair();
    ASSERT_TRUE(r) << r.message();
    EXPECT_TRUE(r->wasDamaged);
    EXPECT_FALSE(r->findings.empty());
    ASSERT_TRUE(damaged.isOpen());
    EXPECT_TRUE(integrityCheck(damaged.connection()));
    // The damaged original is kept beside the repaired file.
    EXPECT_TRUE(std::filesystem::exists(r->damagedCopy));
    EXPECT_NE(r->damagedCopy, copy);
    Connection& c = damaged.connection();
    const long long intact =
        c.scalar("SELECT count(*) FROM Analyses WHERE Station = 'ГРС-1'").value();
    EXPECT_LT(intact, 2000);  // one page of analyses is lost ...
    EXPECT_GT(intact, 1900);  // ... and nothing more
    // Every result is still there: those of lost analyses under placeholder rows.
    EXPECT_EQ(c.scalar("SELECT count(*) FROM Results").value(), 4000);
    EXPECT_EQ(r->salvage.placeholderAnalyses, 2000 - intact);
    EXPECT_EQ(c.scalar("SELECT count(*) FROM Analyses").value(), 2000);
    EXPECT_EQ(c.scalar("SELECT count(*) FROM Stations").value(), 2);
    EXPECT_EQ(c.scalar("SELECT count(*) FROM CritValues").value(), 2);
    // Keys are not handed out again.
    EXPECT_GT(CAnalysSet(c).add(AnalysisRow{}).value(), maxKey);
    EXPECT_TRUE(storedQuerySql(c, kLeftResultsQuery));

    // A file that is not a database at all cannot be repaired and is left alone.
    test::writeFile(f.dir / "junk.db", std::string(8192, 'j'));
    CAnalysesDatabase junk(f.dir / "junk.db");
    EXPECT_FALSE(junk.repair());
    EXPECT_EQ(test::readFile(f.dir / "junk.db"), std::string(8192, 'j'));
}

TEST(AnalysesDatabase, FailedRepairLeavesTheConnectionOpenOnTheOriginal) {
    DbFixture f;
    addAnalyses(f, 2000);
    const std::filesystem::path copy = damagedCopyOf(f, "copy.db");
    const std::string damagedBytes = test::readFile(copy);

    // The damaged original cannot be moved aside (the first move), or the
    // salvaged file cannot take its place (the second move).
    for (int failingMove : {1, 2}) {
        SCOPED_TRACE(failingMove);
        CAnalysesDatabase damaged(copy);
        int moves = 0;
        damaged.setMoveFile([&](const std::filesystem::path& from, const std::filesystem::path& to,
                                std::error_code& ec) {
            if (++moves == failingMove)
                ec = std::make_error_code(std::errc::read_only_file_system);
            else
                std::filesystem::rename(from, to, ec);
        });
        Result<RepairReport> r = damaged.repair();
        ASSERT_FALSE(r);
        EXPECT_NE(r.message().find("Read-only file system"), std::string::npos) << r.message();
        // The original is back in place, untouched, and no salvaged file is left over.
        EXPECT_TRUE(test::readFile(copy) == damagedBytes);
        EXPECT_FALSE(std::filesystem::exists(copy.string() + ".repair"));
        // The program goes on with the connection open on the original.
        ASSERT_TRUE(damaged.isOpen());
        EXPECT_EQ(damaged.connection().scalar("SELECT count(*) FROM Stations").value(), 2);
    }
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(f.dir.path()))
        files += entry.path().filename().string().find(".damaged-") != std::string::npos;
    EXPECT_EQ(files, 0);

    // A sound SQLite file that lacks a table of the analyses database: the
    // repair says which one, and the file is left as it was.
    {
        Connection other =
            Connection::open(f.dir / "other.db", Connection::Mode::ReadWriteCreate).value();
        ASSERT_TRUE(other.exec("CREATE TABLE Analyses (KeyAnalys INTEGER PRIMARY KEY)"));
    }
    const std::string otherBytes = test::readFile(f.dir / "other.db");
    CAnalysesDatabase other(f.dir / "other.db");
    Result<RepairReport> r = other.repair();
    ASSERT_FALSE(r);
    EXPECT_NE(r.message().find("Results"), std::string::npos) << r.message();
    EXPECT_FALSE(other.isOpen());
    EXPECT_TRUE(test::readFile(f.dir / "other.db") == otherBytes);
}

}  // namespace
}  // namespace zelmora::db
