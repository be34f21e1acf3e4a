// The database-backed key generator: several processes at once, taking over from MAX(key),
// blocks, and keys taken inside a caller's transaction.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"
#include "tests/support/TestDatabase.h"

using quantora::DbKeyGen;
using quantora::test::TestDatabase;

namespace {

constexpr int kProcesses = 4;
constexpr int kKeysEach = 2000;

// One client on its own connection: waits until the parent closes `go`, then writes its keys.
[[noreturn]] void RunClient(const AnsiString& uri, int go, int out) {
    int status = 0;
    try {
        OpenDatabase("keygen_client", uri);
        if (uri.rfind("sqlite:", 0) == 0) {  // distinctness is measured, not durability
            TQuery q;
            q.SetDatabaseName("keygen_client");
            q.SetSQL("PRAGMA synchronous=NORMAL");
            q.ExecSQL();
        }
        DbKeyGen gen("keygen_client", "EMPLOYEE", "EMPLOYEE");
        char byte;
        while (read(go, &byte, 1) > 0) {
        }
        int keys[kKeysEach];
        for (int& k : keys) k = gen.NextKey();
        if (write(out, keys, sizeof keys) != static_cast<ssize_t>(sizeof keys)) status = 3;
    } catch (const Exception& e) {
        std::fprintf(stderr, "key client: %s\n", e.Message.c_str());
        status = 2;
    }
    _exit(status);  // no destructors: the connections copied from the parent are not ours
}

}  // namespace

TEST(DbKeyGen, FourProcessesGetDistinctKeys) {
    TestDatabase db(true);
    db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (500, 'b')");
    CloseDatabase(db.alias());  // nothing open across fork (SQLite keeps per-process locks)
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    std::vector<std::pair<pid_t, int>> clients;
    for (int c = 0; c < kProcesses; ++c) {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(go[1]);
            RunClient(db.uri(), go[0], out[1]);
        }
        close(out[1]);
        clients.emplace_back(pid, out[0]);
    }
    close(go[0]);
    close(go[1]);  // all go at once

    std::set<int> distinct;
    for (auto [pid, fd] : clients) {
        int key;
        while (read(fd, &key, sizeof key) == static_cast<ssize_t>(sizeof key)) distinct.insert(key);
        close(fd);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "client status " << status;
    }
    // One key per statement: no duplicates, no gaps, above the table's keys.
    const int total = kProcesses * kKeysEach;
    EXPECT_EQ(distinct.size(), static_cast<size_t>(total));
    EXPECT_EQ(*distinct.begin(), 501);
    EXPECT_EQ(*distinct.rbegin(), 500 + total);
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
    EXPECT_EQ(free.NextKey(), 1);
    EXPECT_EQ(free.NextKey(), 2);
    EXPECT_EQ(b.NextKey(), 46);

    // A block is taken with one statement and handed out from memory.
    DbKeyGen blocks(db.alias(), "blocks", {}, {}, 5), single(db.alias(), "blocks");
    EXPECT_EQ(blocks.NextKey(), 1);
    EXPECT_EQ(db.Scalar("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = 'blocks'"), "5");
    EXPECT_EQ(single.NextKey(), 6);
    for (int k = 2; k <= 5; ++k) EXPECT_EQ(blocks.NextKey(), k);
    EXPECT_EQ(blocks.NextKey(), 7);
    EXPECT_EQ(db.Scalar("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = 'blocks'"), "11");
}

TEST(DbKeyGen, KeysInACallersTransactionFollowIt) {
    TestDatabase db(true);
    DbKeyGen gen(db.alias(), "EMPLOYEE", "EMPLOYEE", "EMPLOYEE_ID", 10);
    EXPECT_EQ(gen.NextKey(), 1);  // a block of 10 outside: keys 1..10
    for (int k = 2; k <= 10; ++k) gen.NextKey();
    {
        // Inside: one key per statement, part of the transaction.
        Transaction tr(db.alias());
        EXPECT_EQ(gen.NextKey(), 11);
        EXPECT_EQ(gen.NextKey(), 12);
        EXPECT_EQ(db.Scalar("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = 'EMPLOYEE'"), "12");
        db.Exec("INSERT INTO EMPLOYEE (EMPLOYEE_ID, NAME) VALUES (11, 'rolled back')");
    }
    // Rolled back: the row and the keys are gone, so the keys are given again.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM EMPLOYEE"), "0");
    EXPECT_EQ(db.Scalar("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = 'EMPLOYEE'"), "10");
    {
        Transaction tr(db.alias());
        EXPECT_EQ(gen.NextKey(), 11);
        tr.Commit();
    }
    EXPECT_EQ(db.Scalar("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = 'EMPLOYEE'"), "11");
    EXPECT_EQ(gen.NextKey(), 12);  // outside again: a new block
    EXPECT_EQ(db.Scalar("SELECT LASTKEY FROM KEYSEQUENCE WHERE SEQNAME = 'EMPLOYEE'"), "21");

    // A sequence first used in a transaction that rolls back is made again later.
    {
        Transaction tr(db.alias());
        EXPECT_EQ(DbKeyGen(db.alias(), "later").NextKey(), 1);
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM KEYSEQUENCE WHERE SEQNAME = 'later'"), "0");
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
