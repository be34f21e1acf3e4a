// Transactions: commit, rollback on destruction, savepoints for nested scopes.
#include <gtest/gtest.h>

#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/TestDatabase.h"

using quantora::test::TestDatabase;

TEST(Transaction, CommitRollbackAndNesting) {
    TestDatabase db;
    db.Exec("CREATE TABLE T (T_ID INTEGER NOT NULL PRIMARY KEY)");
    {
        Transaction tr(db.alias());
        db.Exec("INSERT INTO T (T_ID) VALUES (1)");
        tr.Commit();
        EXPECT_THROW(tr.Commit(), EDatabaseError);
    }
    {
        Transaction tr(db.alias());
        db.Exec("INSERT INTO T (T_ID) VALUES (2)");
    }  // rolled back
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "1");

    try {
        Transaction tr(db.alias());
        db.Exec("INSERT INTO T (T_ID) VALUES (3)");
        db.Exec("INSERT INTO T (T_ID) VALUES (1)");  // duplicate key
        tr.Commit();
    } catch (const EDatabaseError&) {
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T"), "1");

    {
        Transaction outer(db.alias());
        db.Exec("INSERT INTO T (T_ID) VALUES (10)");
        {
            Transaction inner(db.alias());
            db.Exec("INSERT INTO T (T_ID) VALUES (11)");
            EXPECT_THROW(outer.Commit(), EDatabaseError);  // inner still open
        }                                                  // inner rolled back alone
        {
            Transaction inner(db.alias());
            db.Exec("INSERT INTO T (T_ID) VALUES (12)");
            inner.Commit();
        }
        outer.Commit();
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T WHERE T_ID >= 10"), "2");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM T WHERE T_ID = 11"), "0");
    EXPECT_THROW(Transaction("no_such_alias"), EDatabaseError);
}
