// Query guards and the logging statement runner.
#include <gtest/gtest.h>

#include <stdexcept>

#include "quantora/base/Exception.h"
#include "quantora/frame/QueryGuards.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::MemoryLogger;
using quantora::test::TestDatabase;

namespace {

class QueryGuardsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(255))");
        db.Exec("INSERT INTO T (T_ID, NAME) VALUES (1, 'a')");
        db.Exec("INSERT INTO T (T_ID, NAME) VALUES (2, 'b')");
    }
    TestDatabase db;
};

}  // namespace

TEST_F(QueryGuardsTest, OpenerCloserRestoresTheStateItFound) {
    TQuery q;
    db.Prep(q, "SELECT * FROM T");
    {
        OpenerCloser oc(&q);
        EXPECT_TRUE(q.Active());
        oc.Refresh();
        EXPECT_TRUE(q.Active());
    }
    EXPECT_FALSE(q.Active());  // was closed: closed again

    q.Open();
    {
        OpenerCloser oc(&q);
        oc.ReleaseTable();
        EXPECT_TRUE(q.Active());
        oc.ReleaseTable();  // nothing held any more
    }
    EXPECT_TRUE(q.Active());  // was open: stays open
}

TEST_F(QueryGuardsTest, AutoQueryOwnsOrBorrows) {
    TQuery borrowed;
    db.Prep(borrowed, "SELECT NAME FROM T");
    borrowed.Open();
    {
        AutoQuery aq(&borrowed, "ignored", "ignored");
        EXPECT_FALSE(aq.Owned);
        EXPECT_EQ(aq->SQL(), "SELECT NAME FROM T");
    }
    EXPECT_TRUE(borrowed.Active());  // a borrowed query survives open and unchanged
    EXPECT_FALSE(borrowed.RequestLive());

    {
        AutoQuery aq(nullptr, db.name(), "T");
        EXPECT_TRUE(aq.Owned);
        EXPECT_EQ(aq->SQL(), "SELECT * FROM T");
        EXPECT_TRUE(aq->RequestLive());
        EXPECT_TRUE(aq->UniDirectional());
        aq->Open();
        aq->Insert();
        aq->FieldByName("T_ID")->SetAsInteger(3);
        aq->Post();
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "3");

    {
        AutoQuery aq(nullptr, db.name(), nullptr);
        EXPECT_EQ(aq->SQL(), "");
    }
    EXPECT_EQ(quantora::test::Raised([] { AutoQuery aq(nullptr, nullptr, "T"); }).Message,
              "AutoQuery: database and/or table name is missing - could not create insert query");
    // An owned query is freed when the guarded code throws (checked under the sanitizer).
    EXPECT_THROW(
        {
            AutoQuery aq(nullptr, db.name(), "T");
            aq->Open();
            throw std::runtime_error("guarded code failed");
        },
        std::runtime_error);
}

TEST_F(QueryGuardsTest, DeleteAndUpdateStatements) {
    SimpleAutoUpdateQuery upd(db.name(), "T", "T_ID");
    EXPECT_EQ(upd->SQL(), "update T set T_ID = :p1 where T_ID = :p2");
    EXPECT_EQ(upd.Update(2, 20), 1);
    EXPECT_EQ(upd.Update(2, 30), 0);  // no row 2 any more
    EXPECT_EQ(db.Scalar("SELECT MAX(T_ID) FROM T"), "20");

    AutoDeleteQuery del(db.name(), "T");
    EXPECT_EQ(del->SQL(), "DELETE FROM T");
    EXPECT_FALSE(del->RequestLive());
    del->ExecSQL();
    EXPECT_EQ(del->RowsAffected(), 2);
}

TEST_F(QueryGuardsTest, ExecQueryLogsCutsAndCatches) {
    TQuery q;
    q.SetDatabaseName(db.alias());
    MemoryLogger log;
    ExecQuery exec{false, &q, &log};

    EXPECT_EQ(exec(nullptr, false), -1);
    ExecQuery empty{false, nullptr, &log};
    EXPECT_EQ(empty("SELECT 1", true), -1);
    EXPECT_TRUE(log.entries.empty());

    // 64 characters are logged whole, 65 and more are cut to 65 plus "...".
    auto update = [](size_t length) {
        AnsiString head = "UPDATE T SET NAME = '", tail = "' WHERE T_ID = 1";
        return head + AnsiString(length - head.size() - tail.size(), 'x') + tail;
    };
    AnsiString s64 = update(64), s65 = update(65), s200 = update(200);
    EXPECT_EQ(exec(s64.c_str(), false), 1);
    exec(s65.c_str(), false);
    exec(s200.c_str(), false);
    ASSERT_EQ(log.entries.size(), 3u);
    EXPECT_EQ(log.entries[0].text, s64);
    EXPECT_EQ(log.entries[1].text, s65 + "...");
    EXPECT_EQ(log.entries[2].text, s200.substr(0, 65) + "...");
    EXPECT_EQ(log.flushes, 3);

    log.entries.clear();
    EXPECT_EQ(exec("SELECT * FROM NOPE", true), -1);
    ASSERT_EQ(log.entries.size(), 2u);
    EXPECT_EQ(log.entries[1].kind, MemoryLogger::Kind::Error);
    EXPECT_EQ(log.entries[1].text.rfind("SQL: SELECT * FROM NOPE\r\nERROR: ", 0), 0u)
        << log.entries[1].text;

    ExecQuery silent{false, &q, nullptr};
    EXPECT_NO_THROW(silent("garbage that is no sql", false));
    EXPECT_EQ(silent("SELECT * FROM T", true), -1);
    EXPECT_TRUE(q.Active());
}

TEST(ExecQueryCopy, CopiesBetweenDatabasesByColumnNameRegardlessOfCase) {
    TestDatabase src, dst;
    src.Exec(
        "CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40), ONLYSRC DOUBLE)");
    dst.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), EXTRA TEXT)");
    src.Exec("INSERT INTO T VALUES (1, 'one', 1.5)");
    src.Exec("INSERT INTO T VALUES (2, NULL, 2.5)");
    dst.Exec("INSERT INTO T (T_ID, NAME, EXTRA) VALUES (9, 'kept', 'x')");

    TQuery sq, dq;
    sq.SetDatabaseName(src.alias());
    dq.SetDatabaseName(dst.alias());
    MemoryLogger log;
    ExecQuery from{false, &sq, nullptr}, to{false, &dq, &log};
    ASSERT_TRUE(to.copy(&from, "T"));
    EXPECT_EQ(log.entries.front().text, "Copying table T");

    EXPECT_EQ(dst.Rows("SELECT * FROM T ORDER BY T_ID"), "1|one|NULL\n2|NULL|NULL\n9|kept|x\n");

    // A failing insert passes to the caller; rows posted before stay.
    sq.Close();
    dq.Close();
    src.Exec("INSERT INTO T VALUES (9, 'clash', 0)");
    EXPECT_THROW(to.copy(&from, "T"), Exception);
}
