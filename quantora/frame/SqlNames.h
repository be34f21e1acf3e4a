// Text that goes into SQL statements from outside the library's own constants: table and column
// names are accepted only as plain identifiers (or only as tables of the lab schema), string
// values become literals with their quotes doubled, and runtime-made printf formats are checked
// for the conversions they will be filled with.
#pragma once

#include <string_view>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

// Longest name accepted: PostgreSQL cuts longer identifiers, so a longer name could reach a
// different table there.
constexpr std::size_t kMaxSqlNameLength = 63;

// True for a plain SQL identifier: an ASCII letter or underscore, then letters, digits and
// underscores, at most kMaxSqlNameLength bytes. Such a name cannot end, extend or comment out
// the statement it is put in.
bool IsSqlName(std::string_view name);

// Returns `name` when it is a plain identifier; otherwise throws an Exception
// "<context>: '<name>' is not a valid <what>" (the name shown shortened and with control bytes
// escaped).
const char* CheckedSqlName(const char* name, const char* context, const char* what = "table name");
// The same for a name that may hold any byte: one with a zero byte is refused as a whole.
const AnsiString& CheckedSqlName(const AnsiString& name, const char* context,
                                 const char* what = "table name");

// A name as an error message shows it: at most 80 bytes, control bytes and single quotes
// written as \xNN.
AnsiString ShownName(std::string_view name);

// The tables of the lab schema, in schema order.
const std::vector<AnsiString>& SchemaTableNames();
// True when `name` is a table of the lab schema (compared without regard to case).
bool IsSchemaTable(std::string_view name);

// `value` as an SQL string literal: in single quotes, each single quote doubled (both engines
// read backslashes in such a literal as they stand). A zero byte cannot be part of an SQL text:
// it throws the Exception "<what> contains a zero byte".
AnsiString SqlStringLiteral(std::string_view value, const char* what);

// True when the printf format `fmt` takes exactly the conversions of `conversions` in order
// (for example "d" or "ds"), each written without flags, width or precision; "%%" is allowed
// anywhere.
bool FormatTakes(const char* fmt, std::string_view conversions);

}  // namespace quantora
