// The exception of every database-layer failure: the message names the engine's error and the
// SQL; the category, the engine's code and the SQLSTATE let callers decide without reading it.
#pragma once

#include <cstdint>
#include <utility>

#include "quantora/base/Exception.h"

// What kind of failure it was, the same on every engine.
enum class DbErrorCategory : uint8_t {
    ConnectionLost,  // the server cannot be reached or dropped the connection
    Busy,            // a lock held by another connection or process
    Constraint,      // a key, NOT NULL, CHECK or foreign key constraint refused the change
    Serialization,   // a serialization failure or deadlock: the transaction was rolled back
    Syntax,          // the SQL is malformed or names an object that does not exist
    Corrupt,         // the stored data or the file is damaged, or not a database at all
    Io,              // the disk is full or an input/output operation failed
    Other,
};

// "connection lost", "busy", ...: for messages and logs.
const char* DbErrorCategoryName(DbErrorCategory category);

// The details of an engine's failure.
struct DbErrorInfo {
    DbErrorCategory category = DbErrorCategory::Other;
    int engine_code = 0;     // SQLite's extended result code; 0 on PostgreSQL
    AnsiString sqlstate;     // PostgreSQL's SQLSTATE; empty on SQLite
    bool retryable = false;  // running the same work again may succeed
    AnsiString sql;          // the statement as the caller sent it; empty when none ran
};

class EDatabaseError : public Exception {
  public:
    // A failure of the layer itself (misuse, bad input): category Other.
    explicit EDatabaseError(AnsiString message) : Exception(std::move(message)) {}
    EDatabaseError(AnsiString message, DbErrorInfo info)
        : Exception(std::move(message)), info_(std::move(info)) {}

    DbErrorCategory Category() const { return info_.category; }
    int EngineCode() const { return info_.engine_code; }
    const AnsiString& SqlState() const { return info_.sqlstate; }
    bool Retryable() const { return info_.retryable; }
    const AnsiString& Sql() const { return info_.sql; }
    const DbErrorInfo& Info() const { return info_; }

  private:
    DbErrorInfo info_;
};
