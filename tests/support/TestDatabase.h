// A throwaway database for one test: a fresh SQLite file, or a fresh schema on the PostgreSQL
// server named by QUANTORA_TEST_PG. Registered under a unique alias; removed afterwards.
#pragma once

#include <string>

#include "quantora/base/Types.h"

namespace quantora::test {

class TestDatabase {
  public:
    // Opens the alias; with `schema` the lab schema is created too.
    explicit TestDatabase(bool schema = false);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    const AnsiString& alias() const { return alias_; }
    const char* name() const { return alias_.c_str(); }
    const AnsiString& uri() const { return uri_; }
    bool postgres() const { return postgres_; }

    // Runs statements directly (test set-up).
    void Exec(const AnsiString& sql) const;
    // The single value of a one-row, one-column query, as text ("" for null).
    AnsiString Scalar(const AnsiString& sql) const;

  private:
    AnsiString alias_, uri_, file_, pg_schema_;
    bool postgres_ = false;
};

// True when the suite runs against PostgreSQL.
bool UsingPostgres();

}  // namespace quantora::test
