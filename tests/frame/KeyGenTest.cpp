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

TEST(DbKeyGen, TakesOverFromMaxKeyInBlocksAndFollowsTheCallersTransaction) {
    TestDatabase db(true);
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (42, 'a')");
    DbKeyGen gen(db.alias(), "EMPLOYEE", "EMPLOYEE", "EMPLOYEE_ID", 5), one(db.alias(), "EMPLOYEE");
    for (int k = 43; k <= 47; ++k) EXPECT_EQ(gen.NextKey(), k);  // one block of 5, from memory
    EXPECT_EQ(Last(db, "EMPLOYEE"), "47");
    EXPECT_EQ(one.NextKey(), 48);  // the row exists now: the table's rows no longer count
    EXPECT_EQ(DbKeyGen(db.alias(), "free").NextKey(), 1);  // without a table it starts at 1
    {
        // Inside: one key per statement, part of the transaction, gone with its rollback.
        Transaction tr(db.alias());
        EXPECT_EQ(gen.NextKey() + gen.NextKey(), 49 + 50);
        EXPECT_EQ(DbKeyGen(db.alias(), "later").NextKey(), 1);
    }
    EXPECT_EQ(Last(db, "EMPLOYEE") + Last(db, "later"), "48");
    EXPECT_EQ(gen.NextKey(), 49);
    EXPECT_EQ(Last(db, "EMPLOYEE"), "53");
}

TEST(DbKeyGen, RejectsBadArgumentsAndAMissingTable) {
    TestDatabase db(true);
    EXPECT_THROW(DbKeyGen(db.alias(), ""), Exception);
    EXPECT_THROW(DbKeyGen(db.alias(), "s", "EMPLOYEE; DROP TABLE EMPLOYEE"), Exception);
    // A missing key column or KEYSEQUENCE table fails when the row is made.
    EXPECT_THROW(DbKeyGen(db.alias(), "wrong", "EMPLOYEE", "NOPE_ID").NextKey(), EDatabaseError);
    TestDatabase bare;
    EXPECT_THROW(DbKeyGen(bare.alias(), "x").NextKey(), EDatabaseError);
    // The last key an INTEGER holds is handed out; the one after is refused.
    db.Exec("INSERT INTO KEYSEQUENCE (SEQNAME, LASTKEY) VALUES ('full', 2147483646)");
    DbKeyGen full(db.alias(), "full");
    EXPECT_EQ(full.NextKey(), 2147483647);
    EXPECT_THROW(full.NextKey(), Exception);
}
