// The guard of queries a user types (qdb csv): one SELECT statement and nothing that could hide
// a second one, run on a connection that refuses every write.
#pragma once

#include <optional>
#include <string>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"

namespace quantora {

// The statement without surrounding white space and trailing semicolons. A trailing semicolon is
// allowed, another statement after it is not. Literals and quoted names are followed as the
// engine reads them (a doubled quote stays inside; on PostgreSQL, `postgres`, a backslash
// escapes the next byte in an E'...' string; on SQLite names may also be quoted with `...` and
// [...]); comments and dollar quoting are refused, so nothing can hide a second statement from
// this check. Throws an Exception saying what was refused.
AnsiString CheckSingleSelect(const std::string& sql, bool postgres);

// A typed query, checked by CheckSingleSelect and opened in a transaction that is never
// committed, on a connection made to refuse every write, on either engine, so that a SELECT that
// calls a function with side effects changes nothing either. Throws the check's refusal, or
// "the query failed: " with the engine's words.
class ReadOnlySelect {
  public:
    ReadOnlySelect(const char* dbName, const std::string& sql);
    TQuery& Query() { return query_; }

  private:
    std::optional<Transaction> transaction_;  // rolled back after the query is closed
    TQuery query_;
};

}  // namespace quantora
