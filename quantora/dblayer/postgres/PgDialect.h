// What the PostgreSQL engine needs to know about SQL text and result values: how a statement is
// run (through a cursor, directly, or as transaction control), the portable DDL types, and the
// text forms of result values (bytea hex, ISO date-times, folded column names).
#pragma once

#include <cstdint>
#include <string_view>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"

namespace quantora::db::pg {

enum class StatementKind {
    Rows,     // a query that can be read through a server-side cursor
    Direct,   // anything else: run at once, its result (if any) read whole
    Control,  // transaction control: BEGIN, COMMIT, ROLLBACK, SAVEPOINT, RELEASE
};

StatementKind ClassifyStatement(std::string_view sql);

// A transaction-control statement taken apart.
struct ControlStatement {
    enum class Op { Begin, Commit, Rollback, Savepoint, Release, RollbackTo };
    Op op = Op::Begin;
    AnsiString savepoint;  // for Savepoint, Release and RollbackTo; unquoted names lower-cased
    AnsiString begin_sql;  // for Begin: the statement to send (engine-specific modes dropped)
};

// Fails (returns false) for texts that are not one of the forms above or name a savepoint that
// is not a plain or quoted identifier.
bool ParseControl(std::string_view sql, ControlStatement& out);

// True when the statement creates or alters schema objects (and so gets the DDL translation).
bool IsDdl(std::string_view sql);

// True for DEALLOCATE and DISCARD, which drop the session's prepared statements.
bool DropsPreparedStatements(std::string_view sql);

// Portable DDL types in PostgreSQL terms: DOUBLE → DOUBLE PRECISION, BLOB → BYTEA (whole words
// outside literals and comments). Idempotent.
AnsiString TranslateDdl(std::string_view sql);

// The highest positional parameter number ($n) in the text, 0 when there is none.
int HighestPlaceholder(std::string_view sql);

// How a result column's values are decoded.
enum class Decoder : uint8_t { Int, Float, Bool, DateTime, Bpchar, Bytea, Text };

struct ResultColumn {
    ColumnInfo info;
    Decoder decoder = Decoder::Text;
};

// Field type, size and decoder from a column's type oid and modifier. Columns that are not a
// plain table column (`from_table` false) take the type of their value the way expression
// columns do on every engine: integers as Largeint, text as String.
ResultColumn DescribeColumn(const char* name, unsigned type_oid, int type_mod, bool from_table);

// The server folds unquoted names to lower case; such names are returned in upper case, as the
// schema writes them. Names holding an upper-case letter (quoted aliases) stay as they are.
AnsiString ColumnName(const char* name);

// bytea text output ("\x" and hex digits, or the escape form). False for malformed text.
bool DecodeBytea(std::string_view text, AnsiString& out);

// timestamp, timestamptz or date text in ISO style in the layer's fixed-width form
// "YYYY-MM-DD HH:MM:SS.ffffff" (a zone offset is dropped: the value is the session's local
// time). False for anything else: infinity, BC, years past 9999.
bool NormalizeDateTime(std::string_view text, AnsiString& out);

// The same text as days since 1899-12-30.
bool ParseDateTime(std::string_view text, double& out);

// Parameter type oids used when the server cannot infer a parameter's type.
constexpr unsigned kInt8Oid = 20, kTextOid = 25, kFloat8Oid = 701, kByteaOid = 17,
                   kTimestampOid = 1114;

}  // namespace quantora::db::pg
