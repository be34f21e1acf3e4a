// Declarative tables from engine codes to error categories.
#include "quantora/dblayer/ErrorCodes.h"

#include <sqlite3.h>

#include <iterator>

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

struct SqlStateRule {
    std::string_view prefix;  // a whole SQLSTATE or its class; the longest match wins
    C category;
    bool retryable;
};

constexpr SqlStateRule kSqlStates[] = {
    {"08", C::ConnectionLost, true},     // connection exception
    {"23", C::Constraint, false},        // integrity constraint violation
    {"40", C::Serialization, false},     // transaction rollback
    {"40001", C::Serialization, true},   // serialization failure
    {"40P01", C::Serialization, true},   // deadlock detected
    {"40002", C::Constraint, false},     // a deferred constraint failed at commit
    {"42", C::Syntax, false},            // syntax error or access rule violation
    {"53", C::Io, false},                // insufficient resources (53100: disk full)
    {"53300", C::Busy, true},            // too many connections
    {"55P03", C::Busy, true},            // lock not available
    {"57", C::Other, false},             // operator intervention (57014: statement cancelled)
    {"57P01", C::ConnectionLost, true},  // the server is shutting down or
    {"57P02", C::ConnectionLost, true},  // crashed, or terminated this backend;
    {"57P03", C::ConnectionLost, true},  // it cannot accept connections yet
    {"XX", C::Other, false},             // internal error
    {"XX001", C::Corrupt, false},        // data corrupted
    {"XX002", C::Corrupt, false},        // index corrupted
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

DbErrorInfo SqlStateErrorInfo(std::string_view sqlstate, bool connection_bad) {
    DbErrorInfo info;
    info.sqlstate = AnsiString(sqlstate);
    size_t best = 0;
    for (const SqlStateRule& r : kSqlStates)
        if (r.prefix.size() > best && sqlstate.substr(0, r.prefix.size()) == r.prefix) {
            best = r.prefix.size();
            info.category = r.category;
            info.retryable = r.retryable;
        }
    if (connection_bad && info.category == C::Other) {
        info.category = C::ConnectionLost;
        info.retryable = true;
    }
    return info;
}

}  // namespace quantora::db

const char* DbErrorCategoryName(DbErrorCategory category) {
    // In the order of the enumerators.
    static constexpr const char* kNames[] = {"connection lost",
                                             "busy",
                                             "constraint violation",
                                             "serialization failure",
                                             "syntax error",
                                             "corrupt data",
                                             "I/O error",
                                             "other"};
    static_assert(std::size(kNames) == static_cast<size_t>(DbErrorCategory::Other) + 1);
    const auto i = static_cast<size_t>(category);
    return i < std::size(kNames) ? kNames[i] : "other";
}
