#include "database/sqlite_db.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace zelmora::db {
namespace {

TEST(SqliteDb, BoundValuesRoundTripAndErrorsCarryTheEngineText) {
    test::TempDir dir;
    Result<Connection> opened = Connection::open(dir / "t.db", Connection::Mode::ReadWriteCreate);
    ASSERT_TRUE(opened) << opened.message();
    Connection& c = opened.value();
    ASSERT_TRUE(
        c.exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT COLLATE RUNOCASE, v REAL)"));

    const std::string tricky = "O'Brien \"x\"; DROP TABLE t; --";
    Statement ins = c.prepare("INSERT INTO t (name, v) VALUES (:name, :v)");
    ASSERT_TRUE(ins.bind(":name", tricky).bind(":v", 0.1).run());
    EXPECT_EQ(c.lastInsertRowId(), 1);

    Statement sel = c.prepare("SELECT name, v FROM t WHERE name = ?");
    sel.bind(1, tricky);
    ASSERT_TRUE(sel.next());
    EXPECT_EQ(sel.text(0), tricky);
    EXPECT_EQ(sel.real(1), 0.1);  // stored as a double, not through single precision
    EXPECT_FALSE(sel.next());
    EXPECT_TRUE(sel.ok());

    // A syntax error and a missing parameter name fail with a message and stay failed.
    Statement bad = c.prepare("SELEC 1");
    EXPECT_FALSE(bad.valid());
    EXPECT_NE(bad.status().message().find("syntax error"), std::string::npos);
    EXPECT_FALSE(bad.next());
    Statement missing = c.prepare("SELECT :a");
    missing.bind(":b", 1);
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.next());

    // The collation folds Cyrillic case in comparisons and sorting.
    ASSERT_TRUE(c.exec("INSERT INTO t (name) VALUES ('метан'), ('Азот'), ('ЭТАН'), ('ёж')"));
    EXPECT_EQ(c.scalar("SELECT count(*) FROM t WHERE name = 'МЕТАН'").value(), 1);
    Statement order = c.prepare("SELECT name FROM t WHERE id > 1 ORDER BY name");
    std::vector<std::string> names;
    while (order.next())
        names.push_back(order.text(0));
    EXPECT_EQ(names, (std::vector<std::string>{"Азот", "метан", "ЭТАН", "ёж"}));
}

TEST(SqliteDb, TransactionRollsBackUnlessCommitted) {
    test::TempDir dir;
    Connection c = Connection::open(dir / "t.db", Connection::Mode::ReadWriteCreate).value();
    ASSERT_TRUE(c.exec("CREATE TABLE t (x)"));
    {
        Transaction t(c);
        ASSERT_TRUE(t.status());
        ASSERT_TRUE(c.exec("INSERT INTO t VALUES (1)"));
    }
    EXPECT_EQ(c.scalar("SELECT count(*) FROM t").value(), 0);
    {
        Transaction t(c);
        ASSERT_TRUE(c.exec("INSERT INTO t VALUES (1)"));
        EXPECT_TRUE(t.commit());
        EXPECT_FALSE(t.commit());
    }
    EXPECT_EQ(c.scalar("SELECT count(*) FROM t").value(), 1);
    EXPECT_FALSE(c.inTransaction());

    // Opening a missing file read-write does not create it.
    Result<Connection> none = Connection::open(dir / "none.db", Connection::Mode::ReadWrite);
    EXPECT_FALSE(none);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.db"));
}

}  // namespace
}  // namespace zelmora::db
