// Throwaway test databases.
#include "tests/support/TestDatabase.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora::test {
namespace {

std::atomic<int> g_counter{0};

const char* PgUri() {
    const char* uri = std::getenv("QUANTORA_TEST_PG");
    return uri && *uri ? uri : nullptr;
}

}  // namespace

void Exec(const AnsiString& alias, const AnsiString& sql) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(sql);
    q.ExecSQL();
}

TestEngine SuiteEngine() {
    return PgUri() ? TestEngine::PostgreSQL : TestEngine::SQLite;
}

TestDatabase::TestDatabase(bool schema, bool sqlite) {
    alias_ = Format("testdb_%d_%d", static_cast<int>(getpid()), ++g_counter);
    if (const char* pg = sqlite ? nullptr : PgUri()) {
        engine_ = TestEngine::PostgreSQL;
        pg_schema_ = alias_;
        // A schema of its own per test keeps tests apart on one server.
        OpenDatabase(alias_ + "_admin", Format("postgresql:%s", pg));
        test::Exec(alias_ + "_admin", "CREATE SCHEMA " + pg_schema_);
        std::string base(pg);
        uri_ = Format("postgresql:%s%coptions=-csearch_path%%3D%s", pg,
                      base.find('?') == std::string::npos ? '?' : '&', pg_schema_.c_str());
    } else {
        file_ = (std::filesystem::temp_directory_path() / ("quantora_" + alias_ + ".db")).string();
        std::remove(file_.c_str());
        uri_ = "sqlite:" + file_;
    }
    OpenDatabase(alias_, uri_);
    if (schema) CreateSchema(alias_);
}

TestDatabase::~TestDatabase() {
    CloseDatabase(alias_);
    if (engine_ == TestEngine::PostgreSQL) {
        try {
            test::Exec(alias_ + "_admin", "DROP SCHEMA " + pg_schema_ + " CASCADE");
        } catch (...) {
        }
        CloseDatabase(alias_ + "_admin");
    } else {
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((file_ + suffix).c_str());
    }
}

TQuery& Open(TQuery& q, const AnsiString& alias, const AnsiString& sql, bool live) {
    q.SetDatabaseName(alias);
    q.SetSQL(sql);
    q.SetRequestLive(live);
    q.Open();
    return q;
}

void TestDatabase::Prep(TQuery& q, const AnsiString& sql, bool live) const {
    q.SetDatabaseName(alias_);
    q.SetSQL(sql);
    q.SetRequestLive(live);
}

void TestDatabase::Exec(const AnsiString& sql) const {
    test::Exec(alias_, sql);
}

AnsiString TestDatabase::Scalar(const AnsiString& sql) const {
    TQuery q;
    Open(q, sql);
    return q.Eof() ? AnsiString() : q.Fields()[0]->AsString();
}

AnsiString TestDatabase::Elsewhere(const AnsiString& sql) const {
    AnsiString out;
    std::thread([&] { out = Scalar(sql); }).join();
    return out;
}

AnsiString TestDatabase::Rows(const AnsiString& sql) const {
    TQuery q;
    Prep(q, sql);
    AnsiString out;
    for (q.Open(); !q.Eof(); q.Next())
        for (int i = 0; i < q.FieldCount(); ++i) {
            TField* f = q.Fields()[i];
            out += (f->IsNull() ? AnsiString("NULL") : f->AsString()) +
                   (i + 1 < q.FieldCount() ? "|" : "\n");
        }
    return out;
}

}  // namespace quantora::test
