// Failures reach the caller as categories with the engine's code, the same on both engines:
// constraint, busy, syntax, corrupt file, full disk. The lost connection is PostgresTest's.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <memory>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/Raised.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::Raised;
using quantora::test::TestDatabase;

namespace {

TEST(ErrorCategory, EachFailureIsReportedWithItsCategoryAndCode) {
    TestDatabase db;
    const bool pg = db.postgres();
    db.Exec("CREATE TABLE E (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER NOT NULL)");
    db.Exec("INSERT INTO E (ID, V) VALUES (1, 1)");
    db.Exec(pg ? "SET lock_timeout = 200" : "PRAGMA busy_timeout = 200");
    const AnsiString other = db.alias() + "_other";
    OpenDatabase(other, db.uri());
    using C = DbErrorCategory;
    struct Case {
        const char* sql;
        C category;
        int sqliteCode;  // extended result code
        const char* sqlstate;
    };
    const Case cases[] = {
        {"INSERT INTO E (ID, V) VALUES (1, 2)", C::Constraint, SQLITE_CONSTRAINT_PRIMARYKEY,
         "23505"},
        {"INSERT INTO E (ID, V) VALUES (2, NULL)", C::Constraint, SQLITE_CONSTRAINT_NOTNULL,
         "23502"},
        {"SELEC ID FROM E", C::Syntax, SQLITE_ERROR, "42601"},
        {"INSERT INTO E (ID, V) VALUES (3, 3)", C::Busy, SQLITE_BUSY, "55P03"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sql);
        // For the busy case another connection holds the write lock (SQLite) or key 3
        // (PostgreSQL); this one gives up after a short wait.
        std::unique_ptr<Transaction> holder;
        if (c.category == C::Busy) {
            holder = std::make_unique<Transaction>(other);
            TQuery q;
            q.SetDatabaseName(other);
            q.SetSQL("INSERT INTO E (ID, V) VALUES (3, 0)");
            q.ExecSQL();
        }
        const EDatabaseError e = Raised<EDatabaseError>([&] { db.Exec(c.sql); });
        EXPECT_EQ(e.Category(), c.category)
            << DbErrorCategoryName(e.Category()) << ": " << e.what();
        EXPECT_EQ(e.Retryable(), c.category == C::Busy);
        EXPECT_EQ(e.EngineCode(), pg ? 0 : c.sqliteCode);
        EXPECT_EQ(e.SqlState(), pg ? c.sqlstate : "");
    }
    // The failures changed nothing.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) || ':' || SUM(V) FROM E"), "1:1");
    CloseDatabase(other);
    if (pg) return;
    const AnsiString garbage = db.alias() + "_garbage.db";
    std::ofstream(garbage) << "a text file, not a database, and long enough for SQLite to tell";
    const auto e = Raised<EDatabaseError>([&] { OpenDatabase(garbage, "sqlite:" + garbage); });
    EXPECT_EQ(e.Category(), C::Corrupt) << e.what();
    EXPECT_EQ(e.EngineCode(), SQLITE_NOTADB);
    std::remove(garbage.c_str());
}

// Limits the size files of this process may grow to; restores the old limit.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit lim{bytes, old.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        ok = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
    rlimit old{};
    bool ok = false;
};

TEST(ErrorCategory, AFullDiskRollsTheTransactionBack) {
    TestDatabase db;
    if (db.postgres()) GTEST_SKIP() << "the server's disk cannot be filled from a client test";
    db.Exec("CREATE TABLE B (ID INTEGER NOT NULL PRIMARY KEY, DATA BLOB)");
    db.Exec("INSERT INTO B (ID, DATA) VALUES (1, randomblob(1000))");
    {
        Transaction tr(db.alias());
        FileSizeLimit limit(256 * 1024);
        if (!limit.ok) GTEST_SKIP() << "the file size limit cannot be set here";
        const EDatabaseError e = Raised<EDatabaseError>([&] {
            for (int id = 2; id < 10; ++id)
                db.Exec(Format("INSERT INTO B (ID, DATA) VALUES (%d, randomblob(400000))", id));
            tr.Commit();
        });
        EXPECT_EQ(e.Category(), DbErrorCategory::Io) << e.what();
        // The transaction is gone: nothing runs as if it went on, nothing can be committed.
        EXPECT_THROW(db.Exec("INSERT INTO B (ID, DATA) VALUES (20, NULL)"), EDatabaseError);
        EXPECT_THROW(tr.Commit(), EDatabaseError);
    }
    db.Exec("INSERT INTO B (ID, DATA) VALUES (2, randomblob(400000))");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM B") + db.Scalar("PRAGMA integrity_check"), "2ok");
}

}  // namespace
