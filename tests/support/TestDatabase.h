// A throwaway database for one test: a fresh SQLite file, or a fresh schema on the PostgreSQL
// server named by QUANTORA_TEST_PG. Registered under a unique alias; removed afterwards.
#pragma once

#include <string>

#include "quantora/base/Types.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora::test {

// The engines tests run on.
enum class TestEngine { SQLite, PostgreSQL };

// Points `q` at the database `alias` with `sql`, live when asked, and opens it; Exec runs `sql`.
TQuery& Open(TQuery& q, const AnsiString& alias, const AnsiString& sql, bool live = false);
void Exec(const AnsiString& alias, const AnsiString& sql);

class TestDatabase {
  public:
    // Opens the alias; with `schema` the lab schema is created too; `sqlite` whatever the suite
    // runs on.
    explicit TestDatabase(bool schema = false, bool sqlite = false);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const AnsiString& alias() const { return alias_; }
    const char* name() const { return alias_.c_str(); }
    const AnsiString& uri() const { return uri_; }
    TestEngine engine() const { return engine_; }

    // Runs statements directly (test set-up).
    void Exec(const AnsiString& sql) const;
    // The single value of a one-row, one-column query, as text ("" for null).
    AnsiString Scalar(const AnsiString& sql) const;
    // The number of rows of `from` ("TABLE [WHERE ...]").
    int Count(const AnsiString& from) const {
        return std::stoi(Scalar("SELECT COUNT(*) FROM " + from));
    }
    // Scalar on a connection of another thread: what another workstation sees.
    AnsiString Elsewhere(const AnsiString& sql) const;
    // Every row of a query: the columns' texts joined by '|' ("NULL" for null), each row ended
    // by '\n'.
    AnsiString Rows(const AnsiString& sql) const;
    // Points `q` at this database with `sql`, live when asked; Open opens it too.
    void Prep(TQuery& q, const AnsiString& sql, bool live = false) const;
    TQuery& Open(TQuery& q, const AnsiString& sql, bool live = false) const {
        return test::Open(q, alias_, sql, live);
    }

  private:
    AnsiString alias_, uri_, file_, pg_schema_;
    TestEngine engine_ = TestEngine::SQLite;
};

// The engine the suite runs on: PostgreSQL when QUANTORA_TEST_PG names a server.
TestEngine SuiteEngine();

}  // namespace quantora::test
