// A declarative table from SQLSTATEs to error categories.
#include "quantora/dblayer/postgres/PgErrors.h"

namespace quantora::db {
namespace {

using C = DbErrorCategory;

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
