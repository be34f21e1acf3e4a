// Failures reach the caller as categories with the engine's code, the same on both engines:
// constraint, busy, syntax, corrupt file, full disk. The lost connection is PostgresTest's.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <functional>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;
using quantora::test::TestDatabase;

namespace {

// The error `provoke` raises; fails the test when it raises none.
EDatabaseError Raised(const std::function<void()>& provoke) {
    try {
        provoke();
    } catch (const EDatabaseError& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return EDatabaseError("none");
}

TEST(ErrorCategory, EachFailureIsReportedWithItsCategoryAndCode) {
    TestDatabase db;
    const bool pg = db.postgres();
    db.Exec("CREATE TABLE E (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER NOT NULL)");
    db.Exec("INSERT INTO E (ID, V) VALUES (1, 1)");
    const AnsiString other = db.alias() + "_other";
    OpenDatabase(other, db.uri());
    const AnsiString notADatabase = db.alias() + "_garbage.db";
    if (FILE* f = std::fopen(notADatabase.c_str(), "w")) {
        std::fputs("this is a text file, not a database, and it is long enough to tell", f);
        std::fclose(f);
    }
    auto exec = [&](const AnsiString& alias, const AnsiString& sql) {
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL(sql);
        q.ExecSQL();
    };
    struct Case {
        const char* name;
        AnsiString sql;  // what provoke sends (empty: no statement ran)
        std::function<void()> provoke;
        DbErrorCategory category;
        bool retryable;
        int sqliteCode;        // extended result code; 0: the case is PostgreSQL's only
        const char* sqlstate;  // nullptr: the case is SQLite's only
    };
    const AnsiString dup = "INSERT INTO E (ID, V) VALUES (1, 2)";
    const AnsiString nul = "INSERT INTO E (ID, V) VALUES (2, NULL)";
    const AnsiString typo = "SELEC ID FROM E";
    const AnsiString missing = "SELECT ID FROM NO_SUCH_TABLE";
    const AnsiString locked = "INSERT INTO E (ID, V) VALUES (3, 3)";
    const Case cases[] = {
        {"duplicate key", dup, [&] { exec(db.alias(), dup); }, DbErrorCategory::Constraint, false,
         SQLITE_CONSTRAINT_PRIMARYKEY, "23505"},
        {"null in a NOT NULL column", nul, [&] { exec(db.alias(), nul); },
         DbErrorCategory::Constraint, false, SQLITE_CONSTRAINT_NOTNULL, "23502"},
        {"syntax error", typo, [&] { exec(db.alias(), typo); }, DbErrorCategory::Syntax, false,
         SQLITE_ERROR, "42601"},
        {"undefined table", missing, [&] { exec(db.alias(), missing); }, DbErrorCategory::Syntax,
         false, SQLITE_ERROR, "42P01"},
        {"lock held by another connection", locked,
         [&] {
             // The other connection holds the write lock (SQLite) or the row's key (PostgreSQL);
             // this one waits briefly, then gives up.
             Transaction holder(other);
             exec(other, "INSERT INTO E (ID, V) VALUES (3, 0)");
             exec(db.alias(), pg ? "SET lock_timeout = 200" : "PRAGMA busy_timeout = 200");
             exec(db.alias(), locked);
         },
         DbErrorCategory::Busy, true, SQLITE_BUSY, "55P03"},
        {"not a database", "",
         [&] { OpenDatabase(db.alias() + "_garbage", "sqlite:" + notADatabase); },
         DbErrorCategory::Corrupt, false, SQLITE_NOTADB, nullptr},
    };
    for (const Case& c : cases) {
        if (pg ? c.sqlstate == nullptr : c.sqliteCode == 0) continue;
        SCOPED_TRACE(c.name);
        const EDatabaseError e = Raised(c.provoke);
        EXPECT_EQ(e.Category(), c.category)
            << DbErrorCategoryName(e.Category()) << ": " << e.what();
        EXPECT_EQ(e.Retryable(), c.retryable);
        EXPECT_EQ(e.EngineCode(), pg ? 0 : c.sqliteCode);
        EXPECT_EQ(e.SqlState(), pg ? c.sqlstate : "");
        if (!c.sql.empty()) {
            EXPECT_EQ(e.Sql(), c.sql);
        }
    }
    // The failures changed nothing.
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) || ':' || SUM(V) FROM E"), "1:1");
    CloseDatabase(other);
    std::remove(notADatabase.c_str());
}

// Keeps the size files of this process may grow to, and restores the old limit.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        ok_ = setrlimit(RLIMIT_FSIZE, &lim) == 0;
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old_); }
    bool ok() const { return ok_; }

  private:
    rlimit old_{};
    bool ok_ = false;
};

TEST(ErrorCategory, AFullDiskRollsTheTransactionBack) {
    TestDatabase db;
    if (db.postgres()) GTEST_SKIP() << "the server's disk cannot be filled from a client test";
    db.Exec("CREATE TABLE B (ID INTEGER NOT NULL PRIMARY KEY, DATA BLOB)");
    db.Exec("INSERT INTO B (ID, DATA) VALUES (1, randomblob(1000))");
    {
        Transaction tr(db.alias());
        FileSizeLimit limit(256 * 1024);
        if (!limit.ok()) GTEST_SKIP() << "the file size limit cannot be set here";
        const EDatabaseError e = Raised([&] {
            for (int id = 2; id < 10; ++id)
                db.Exec(Format("INSERT INTO B (ID, DATA) VALUES (%d, randomblob(400000))", id));
            tr.Commit();
        });
        EXPECT_EQ(e.Category(), DbErrorCategory::Io) << e.what();
        // The transaction is gone: nothing runs as if it went on, nothing can be committed.
        EXPECT_THROW(db.Exec("INSERT INTO B (ID, DATA) VALUES (20, NULL)"), EDatabaseError);
        EXPECT_THROW(tr.Commit(), EDatabaseError);
    }
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM B"), "1");
    EXPECT_EQ(db.Scalar("PRAGMA integrity_check"), "ok");
    db.Exec("INSERT INTO B (ID, DATA) VALUES (2, randomblob(400000))");
    EXPECT_EQ(db.Scalar("SELECT COUNT(*) FROM B"), "2");
}

}  // namespace
