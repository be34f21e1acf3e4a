// The record framework on a table of its own, the database-backed key generator, and the
// deletion engine on the lab schema (the record classes' own rules: RecordClassesTest).
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <thread>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/DeletionInfo.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/PlainRecord.h"
#include "quantora/frame/QueryGuards.h"
#include "tests/support/TestDatabase.h"

using quantora::Col;
using quantora::DateCol;
using quantora::DbKeyGen;
using quantora::Format;
using quantora::test::TestDatabase;
using quantora::test::TestEngine;

namespace {

// A record with every column type and write rule.
struct SAMPLEROWData : CachedRecord<SAMPLEROWData, 7> {
    int SAMPLEROW_ID, REF_ID;
    short SHORTV;
    double VAL, WHEN_AT;
    AnsiString NAME, CMT;
    static constexpr const char* Table = "SAMPLEROW";
    static const auto& Columns() {
        using R = SAMPLEROWData;
        static constexpr auto cols = quantora::MakeColumns<R>(
            {Col("SAMPLEROW_ID", &R::SAMPLEROW_ID).Key(), Col("REF_ID", &R::REF_ID).IfPositive(),
             Col("SHORTV", &R::SHORTV).ResetTo(7), Col("VAL", &R::VAL).IfPositive(),
             DateCol("WHEN_AT", &R::WHEN_AT).IfPositive(), Col("NAME", &R::NAME),
             Col("CMT", &R::CMT).IfNotEmpty()});
        return cols;
    }
    SAMPLEROWData() { Reset(); }
    AnsiString Text() const {
        return Format("%d|%d|%d|%g|%g|%s|%s", SAMPLEROW_ID, REF_ID, SHORTV, VAL, WHEN_AT,
                      NAME.c_str(), CMT.c_str());
    }
};

// The plain variant on the same table.
struct PLAINROWData : PlainRecord<PLAINROWData, 3> {
    int SAMPLEROW_ID;
    AnsiString NAME, CMT;
    static constexpr const char* Table = "SAMPLEROW";
    static const auto& Columns() {
        using R = PLAINROWData;
        static constexpr auto cols =
            quantora::MakeColumns<R>({Col("SAMPLEROW_ID", &R::SAMPLEROW_ID).Key(),
                                      Col("NAME", &R::NAME), Col("CMT", &R::CMT).IfNotEmpty()});
        return cols;
    }
    PLAINROWData() { Reset(); }
    AnsiString Text() const { return Format("%d|%s|%s", SAMPLEROW_ID, NAME.c_str(), CMT.c_str()); }
};

// Counts its calls; CanGenerate as configured.
struct ScriptedKeyGen : IntKeyGen {
    explicit ScriptedKeyGen(bool can) : can_(can) {}
    int NextKey() override { return 100 + ++calls; }
    bool CanGenerate() override { return can_; }
    int calls = 0;
    bool can_;
};

class RecordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db.Exec(
            "CREATE TABLE SAMPLEROW (SAMPLEROW_ID INTEGER NOT NULL PRIMARY KEY, REF_ID INTEGER, "
            "SHORTV SMALLINT, VAL DOUBLE, WHEN_AT TIMESTAMP, NAME VARCHAR(40), CMT TEXT)");
        q.SetDatabaseName(db.alias());
    }
    TestDatabase db;
    TQuery q;
};

}  // namespace

TEST_F(RecordTest, ReadingLeavesAbsentAndNullColumnsAtReset) {
    SAMPLEROWData r;
    q.SetSQL("SELECT * FROM SAMPLEROW");
    EXPECT_THROW(r.GetData(&q), EDatabaseError);  // closed: a mistake, not an empty result
    q.Open();
    EXPECT_FALSE(r.GetData(&q));  // empty result
    EXPECT_EQ(r.Text(), "-1|-1|7|-1|-1||");

    db.Exec("INSERT INTO SAMPLEROW (SAMPLEROW_ID, SHORTV, NAME, VAL) VALUES (1, -3, 'one', 2.5)");
    db.Exec("INSERT INTO SAMPLEROW (SAMPLEROW_ID, NAME) VALUES (2, 'two')");
    // Stored zeros are values, not nulls: they replace the reset values.
    db.Exec("INSERT INTO SAMPLEROW VALUES (3, 0, 0, 0.0, NULL, '', NULL)");
    db.Open(q, "SELECT SAMPLEROW_ID, NAME, VAL, SHORTV, 42 AS EXTRA FROM SAMPLEROW ORDER BY 1");
    ASSERT_TRUE(r.GetData(&q));
    EXPECT_EQ(r.Text(), "1|-1|-3|2.5|-1|one|");
    q.Next();
    ASSERT_TRUE(r.GetData(&q));
    EXPECT_EQ(r.Text(), "2|-1|7|-1|-1|two|");

    // The record follows the reopened query, other columns in another order, without a reset.
    db.Open(q, "SELECT * FROM SAMPLEROW WHERE SAMPLEROW_ID = 3");
    ASSERT_TRUE(r.GetData(&q));
    EXPECT_EQ(r.Text(), "3|0|0|0|-1||");
}

TEST_F(RecordTest, WriteRulesAndKeysFromMembersAndGenerators) {
    SAMPLEROWData r;
    ScriptedKeyGen cannot(false), can(true);
    r.SAMPLEROW_ID = 0;    // key 0 is written as 0
    r.VAL = std::nan("");  // not written
    r.WHEN_AT = 0.0;       // not written
    r.NAME = "";           // always written: empty, not null
    r.Insert(&cannot, db.name(), nullptr);
    r.Reset();
    r.SAMPLEROW_ID = 17;  // an explicit key never calls the generator
    r.REF_ID = 9;
    r.VAL = 0.5;
    r.WHEN_AT = 45000.25;
    r.CMT = "note";
    r.Insert(&can, db.name(), nullptr);
    EXPECT_EQ(can.calls + cannot.calls, 0);
    r.Reset();
    r.Insert(&can, db.name(), nullptr);
    EXPECT_EQ(r.SAMPLEROW_ID, 101);
    // On the caller's live query, which stays open.
    db.Open(q, "SELECT * FROM SAMPLEROW", true);
    r.Reset();
    r.NAME = "batch";
    r.Insert(&can, nullptr, &q);
    EXPECT_TRUE(q.Active());
    EXPECT_EQ(db.Rows("SELECT * FROM SAMPLEROW ORDER BY 1"),
              "0|NULL|7|NULL|NULL||NULL\n17|9|7|0.5|2023-03-15 06:00:00.000000||note\n"
              "101|NULL|7|NULL|NULL||NULL\n102|NULL|7|NULL|NULL|batch|NULL\n");

    // A failing insert passes the layer's error on.
    r.SAMPLEROW_ID = 17;
    EXPECT_THROW(r.Insert(nullptr, db.name(), nullptr), EDatabaseError);
    EXPECT_THROW(r.Insert(nullptr, nullptr, nullptr), Exception);

    // Read back exactly.
    db.Open(q, "SELECT * FROM SAMPLEROW WHERE SAMPLEROW_ID = 17");
    ASSERT_TRUE(r.GetData(&q));
    EXPECT_EQ(r.WHEN_AT, 45000.25);
}

TEST_F(RecordTest, PlainVariantReadsByNameAndWritesTheKeyRule) {
    PLAINROWData p;
    quantora::CountingKeyGen keys(40);
    p.NAME = "first";
    p.Insert(&keys, db.name(), nullptr);
    EXPECT_EQ(p.SAMPLEROW_ID, 40);
    p.Reset();
    p.SAMPLEROW_ID = 3;
    p.CMT = "c";
    p.Insert(&keys, db.name(), nullptr);
    EXPECT_EQ(p.SAMPLEROW_ID, 3);

    db.Open(q, "SELECT NAME, SAMPLEROW_ID FROM SAMPLEROW ORDER BY SAMPLEROW_ID");
    AnsiString read;
    for (; p.Read(&q); q.Next()) read += p.Text() + ",";  // NAME null, CMT not selected
    EXPECT_EQ(read + p.Text(), "3||,40|first|,-1||");

    // The generator's key is written whatever its value; the member takes it only once the
    // row is posted.
    quantora::CountingKeyGen zero(0), taken(40);
    p.Insert(&zero, db.name(), nullptr);
    EXPECT_EQ(p.SAMPLEROW_ID, 0);
    EXPECT_EQ(db.Count("SAMPLEROW WHERE SAMPLEROW_ID = 0"), 1);
    p.Reset();
    EXPECT_THROW(p.Insert(&taken, db.name(), nullptr), EDatabaseError);
    EXPECT_EQ(p.SAMPLEROW_ID, -1);

    quantora::MaxKeyGen max(db.alias(), "SAMPLEROW");
    EXPECT_EQ(max.NextKey(), 41);
    EXPECT_EQ(max.NextKey(), 42);  // never a key it gave before

    // The thread's kept insert query: a row whose post failed is not posted again by the next
    // insert, and the open query holds no read lock (a checkpoint can empty the log).
    p.Reset();
    p.SAMPLEROW_ID = 3;  // taken
    EXPECT_THROW(p.Insert(nullptr, db.name(), ThreadInsertQuery(db.name(), "samplerow").get()),
                 EDatabaseError);
    p.SAMPLEROW_ID = 50;
    p.Insert(nullptr, db.name(), ThreadInsertQuery(db.name(), "SAMPLEROW").get());
    EXPECT_EQ(db.Count("SAMPLEROW WHERE SAMPLEROW_ID IN (3, 50)"), 2);
    if (db.engine() == TestEngine::SQLite) {
        EXPECT_EQ(db.Rows("PRAGMA wal_checkpoint(TRUNCATE)").substr(0, 2), "0|");
    }
}

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
                if (db.engine() == TestEngine::SQLite)
                    db.Exec("PRAGMA synchronous=NORMAL");  // not durability
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
    {
        // Inside: one key per statement, part of the transaction, gone with its rollback.
        Transaction tr(db.alias());
        EXPECT_EQ(gen.NextKey() + gen.NextKey(), 49 + 50);
        EXPECT_EQ(DbKeyGen(db.alias(), "later").NextKey(), 1);
    }
    EXPECT_EQ(Last(db, "EMPLOYEE") + Last(db, "later"), "48");
    EXPECT_EQ(gen.NextKey(), 49);
    EXPECT_EQ(Last(db, "EMPLOYEE"), "53");
    // A row keyed by another writer: the block in memory is handed out, the next one starts
    // above the table's keys.
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (100, 'c')");
    for (int k = 50; k <= 53; ++k) EXPECT_EQ(gen.NextKey(), k);
    EXPECT_EQ(gen.NextKey(), 101);
}

TEST(DbKeyGen, RejectsBadArgumentsAndAMissingTable) {
    TestDatabase db(true);
    EXPECT_THROW(DbKeyGen(db.alias(), ""), Exception);
    EXPECT_THROW(DbKeyGen(db.alias(), "s", "EMPLOYEE; DROP TABLE EMPLOYEE"), Exception);
    // A missing key column fails when the row is made.
    EXPECT_THROW(DbKeyGen(db.alias(), "wrong", "EMPLOYEE", "NOPE_ID").NextKey(), EDatabaseError);
    // The last key an INTEGER holds is handed out; the one after is refused.
    db.Exec("INSERT INTO KEYSEQUENCE (SEQNAME, LASTKEY) VALUES ('full', 2147483646)");
    DbKeyGen full(db.alias(), "full");
    EXPECT_EQ(full.NextKey(), 2147483647);
    EXPECT_THROW(full.NextKey(), Exception);
}

// Report texts and hostile names: FrameSecurityTest; every table's reports and
// cascade: RecordClassesTest; a cascade stopping at a failure: the fault sweep.
TEST(Deletion, ReportsOnlyIntoGivenSetsAndByTheDescriptorsOwnColumn) {
    TestDatabase db(true);
    // Both sets null: no SQL at all (a broken descriptor would otherwise throw).
    const ReferringTableInfo_t broken[] = {{Blocking, "NO_SUCH_TABLE", "NAME", nullptr},
                                           {Blocking, "", nullptr, nullptr}};
    EXPECT_NO_THROW(
        CheckBeforeDeletion_IntKey(db.alias(), "MEASUREMENT", 1, broken, nullptr, nullptr));
    std::set<AnsiString> blocking{"stale"}, nulled{"stale"};
    EXPECT_THROW(
        CheckBeforeDeletion_IntKey(db.alias(), "MEASUREMENT", 1, broken, &blocking, &nulled),
        EDatabaseError);
    EXPECT_TRUE(blocking.empty() && nulled.empty());
    const quantora::CheckStep brokenCheck[] = {
        {"SELECT X FROM NO_SUCH_TABLE WHERE K = %d", "%d", Blocking}};
    EXPECT_NO_THROW(quantora::CheckBeforeDeletion({"MEASUREMENT", nullptr, {}, brokenCheck, {}},
                                                  db.alias(), 1, nullptr, nullptr));

    // A descriptor with its own referring column.
    db.Exec("INSERT INTO PROJECT (PROJECT_ID, SUPERPROJECT_ID, NAME) VALUES (4, 2, 'child')");
    const ReferringTableInfo_t projects[] = {{Blocking, "PROJECT", "NAME", "SUPERPROJECT_ID"},
                                             {Blocking, nullptr, nullptr, nullptr}};
    CheckBeforeDeletion_IntKey(db.alias(), "PROJECT", 2, projects, &blocking, nullptr);
    EXPECT_EQ(blocking, std::set<AnsiString>{"PROJECT ID=4 of 'child'"});
}
