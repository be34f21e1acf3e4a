// The layer's reading of SQL text: `:name` parameters, the dialect step, and whether a SELECT
// reads one table (and so can be live).
#pragma once

#include <string_view>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"

namespace quantora::db {

struct TranslatedSql {
    AnsiString text;                      // engine SQL with positional placeholders
    std::vector<AnsiString> param_names;  // distinct parameter names, in order of first use
};

// Parameter names found in `sql`, distinct, in order of first use. String literals, quoted
// identifiers, comments and `::` casts are skipped.
std::vector<AnsiString> ParameterNames(const AnsiString& sql);

// Replaces each `:name` with the engine's positional placeholder (the same number for every
// use of one name) and rewrites the few statements the engines do not accept as the system
// writes them: `DELETE table WHERE ...` gains its FROM.
TranslatedSql TranslateSql(const AnsiString& sql, PlaceholderStyle style);

// The table of a `SELECT ... FROM table [WHERE ...] [ORDER BY ...]` that reads exactly one
// table without joins, grouping or set operations; empty otherwise.
AnsiString SingleSelectTable(const AnsiString& sql);

// ASCII character classes of SQL text, whatever the C locale (and without its calls: the
// scanners run for every statement).
constexpr bool IsSqlSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
constexpr bool IsSqlDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool IsSqlLetter(char c) {
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}
constexpr char SqlUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Length of the string literal, quoted identifier or comment starting at `i`, or 0.
size_t OpaqueLength(std::string_view s, size_t i);

// Case-insensitive equality of ASCII names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace quantora::db
