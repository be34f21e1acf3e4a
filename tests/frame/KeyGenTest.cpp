// The database-backed key generator: several clients at once, taking over from MAX(key),
// blocks, and keys taken inside a caller's transaction.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "tests/support/TestDatabase.h"

using quantora::DbKeyGen;
using quantora::test::TestDatabase;

TEST(DbKeyGen, FourClientsGetDistinctKeys) {
    constexpr int kClients = 4, kKeysEach = 2000;
    TestDatabase db(true);
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (500, 'b')");
    // Each client on a connection of its own (one per thread), all at once.
    std::vector<std::vector<int>> keys(kClients);
    std::vector<std::thread> clients;
    for (auto& mine : keys)
        clients.emplace_back([&] {
            try {
                if (!db.postgres()) db.Exec("PRAGMA synchronous=NORMAL");  // not durability
                DbKeyGen gen(db.alias(), "EMPLOYEE", "EMPLOYEE");
                for (int i = 0; i < kKeysEach; ++i) mine.push_back(gen.NextKey());
            } catch (const Exception& e) {
                ADD_FAILURE() << e.Message;
            }
        });
    for (std::thread& t : clients) t.join();
    std::set<int> distinct;
    for (const auto& mine : keys) distinct.insert(mine.begin(), mine.end());
    // One key per statement: no duplicates, no gaps, above the table's keys.
    const int total = kClients * kKeysEach;
    EXPECT_EQ(distinct.size(), static_cast<size_t>(total));
    EXPECT_EQ(*distinct.begin(), 501);
    EXPECT_EQ(*distinct.rbegin(), 500 + total);
}

// The LASTKEY of a sequence ("" when it has no row).
AnsiString Last(const TestDatabase& db, const char* seq) {
    return db.Scalar(AnsiString("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = '") + seq + "'");
}

TEST(DbKeyGen, TakesOverFromMaxKeyAndSharesTheSequence) {
    TestDatabase db(true);
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (42, 'a')");
    DbKeyGen a(db.alias(), "EMPLOYEE", "EMPLOYEE"), b(db.alias(), "EMPLOYEE", "EMPLOYEE");
    EXPECT_EQ(a.NextKey(), 43);
    EXPECT_EQ(b.NextKey(), 44);
    // The row exists now: later rows of the table do not move it.
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (1000, 'b')");
    EXPECT_EQ(a.NextKey(), 45);

    // Without a table a sequence starts at 1; names are independent.
    DbKeyGen free(db.alias(), "free");
    EXPECT_EQ(free.NextKey() + free.NextKey(), 1 + 2);
    EXPECT_EQ(b.NextKey(), 46);

    // A block is taken with one statement and handed out from memory.
    DbKeyGen blocks(db.alias(), "blocks", {}, {}, 5), single(db.alias(), "blocks");
    EXPECT_EQ(blocks.NextKey(), 1);
    EXPECT_EQ(Last(db, "blocks"), "5");
    EXPECT_EQ(single.NextKey(), 6);
    for (int k = 2; k <= 5; ++k) EXPECT_EQ(blocks.NextKey(), k);
    EXPECT_EQ(blocks.NextKey(), 7);
    EXPECT_EQ(Last(db, "blocks"), "11");
}

TEST(DbKeyGen, KeysInACallersTransactionFollowIt) {
    TestDatabase db(true);
    DbKeyGen gen(db.alias(), "EMPLOYEE", "EMPLOYEE", "EMPLOYEE_ID", 10);
    for (int k = 1; k <= 10; ++k) EXPECT_EQ(gen.NextKey(), k);  // a block of 10 outside
    {
        // Inside: one key per statement, part of the transaction.
        Transaction tr(db.alias());
        EXPECT_EQ(gen.NextKey() + gen.NextKey(), 11 + 12);
        EXPECT_EQ(Last(db, "EMPLOYEE"), "12");
        db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (11, 'rolled back')");
    }
    // Rolled back: the row and the keys are gone, so the keys are given again.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM EMPLOYEE") + Last(db, "EMPLOYEE"), "010");
    {
        Transaction tr(db.alias());
        EXPECT_EQ(gen.NextKey(), 11);
        tr.Commit();
    }
    EXPECT_EQ(Last(db, "EMPLOYEE"), "11");
    EXPECT_EQ(gen.NextKey(), 12);  // outside again: a new block
    EXPECT_EQ(Last(db, "EMPLOYEE"), "21");

    // A sequence first used in a transaction that rolls back is made again later.
    {
        Transaction tr(db.alias());
        EXPECT_EQ(DbKeyGen(db.alias(), "later").NextKey(), 1);
    }
    EXPECT_EQ(Last(db, "later"), "");
    EXPECT_EQ(DbKeyGen(db.alias(), "later").NextKey(), 1);
}

TEST(DbKeyGen, RejectsBadArgumentsAndAMissingTable) {
    TestDatabase db(true);
    EXPECT_THROW(DbKeyGen(db.alias(), ""), Exception);
    EXPECT_THROW(DbKeyGen(db.alias(), AnsiString(65, 'x')), Exception);
    EXPECT_THROW(DbKeyGen(db.alias(), "s", "EMPLOYEE; DROP TABLE EMPLOYEE"), Exception);
    EXPECT_THROW(DbKeyGen(db.alias(), "s", "EMPLOYEE", "1ID"), Exception);
    EXPECT_THROW(DbKeyGen(db.alias(), "s", {}, {}, 0), Exception);

    // A key column that does not exist fails when the row is made, with the server's message.
    DbKeyGen wrong(db.alias(), "wrong", "EMPLOYEE", "NOPE_ID");
    EXPECT_THROW(wrong.NextKey(), EDatabaseError);
    // So does a database without the KEYSEQUENCE table.
    TestDatabase bare;
    DbKeyGen none(bare.alias(), "x");
    EXPECT_THROW(none.NextKey(), EDatabaseError);

    // The last key an INTEGER holds is handed out; the one after is refused.
    db.Exec("INSERT INTO KEYSEQUENCE (SEQNAME, LASTKEY) VALUES ('full', 2147483646)");
    DbKeyGen full(db.alias(), "full");
    EXPECT_EQ(full.NextKey(), 2147483647);
    EXPECT_THROW(full.NextKey(), Exception);
}
