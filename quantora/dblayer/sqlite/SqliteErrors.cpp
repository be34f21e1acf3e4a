// A declarative table from SQLite's result codes to error categories.
#include "quantora/dblayer/sqlite/SqliteErrors.h"

#include <sqlite3.h>

namespace quantora::db {
namespace {

using C = DbErrorCategory;

struct SqliteCode {
    int primary;
    C category;
    bool retryable;
};

// By primary code (the low byte of an extended one); codes not listed are Other.
constexpr SqliteCode kSqliteCodes[] = {
    {SQLITE_BUSY, C::Busy, true},
    {SQLITE_LOCKED, C::Busy, true},
    {SQLITE_PROTOCOL, C::Busy, true},
    {SQLITE_CONSTRAINT, C::Constraint, false},
    {SQLITE_MISMATCH, C::Constraint, false},
    {SQLITE_CORRUPT, C::Corrupt, false},
    {SQLITE_NOTADB, C::Corrupt, false},
    {SQLITE_FORMAT, C::Corrupt, false},
    {SQLITE_IOERR, C::Io, false},
    {SQLITE_FULL, C::Io, false},
    {SQLITE_CANTOPEN, C::Io, false},
    {SQLITE_NOLFS, C::Io, false},
    {SQLITE_PERM, C::Io, false},
    {SQLITE_READONLY, C::Io, false},
};

}  // namespace

DbErrorInfo SqliteErrorInfo(int code, bool preparing) {
    DbErrorInfo info;
    info.engine_code = code;
    const int primary = code & 0xFF;
    if (primary == SQLITE_ERROR && code == SQLITE_ERROR && preparing) info.category = C::Syntax;
    for (const SqliteCode& c : kSqliteCodes)
        if (c.primary == primary) {
            info.category = c.category;
            info.retryable = c.retryable;
        }
    return info;
}

}  // namespace quantora::db
