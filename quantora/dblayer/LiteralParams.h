// Numeric literals of a statement turned into bound parameters, so that texts which differ only
// in such values (a key printed into the SQL) share one prepared statement.
#pragma once

#include <string_view>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/Variant.h"

namespace quantora::db {

struct BoundLiterals {
    AnsiString text;              // the statement with placeholders; empty when none was bound
    std::vector<Variant> values;  // the literals' values, in placeholder order
};

// Replaces in `sql` (engine SQL whose caller parameters are already the placeholders 1 to
// `params` of `style`) each numeric literal that is the right-hand operand of a comparison with
// a column (`COL = 5`, `T.COL <> -2.5`) by the placeholders `params` + 1, + 2, ...; integers
// are bound as 64-bit integers, reals as doubles. Only
// SELECT, INSERT, UPDATE, DELETE and WITH statements are touched; literals in strings, quoted
// names and comments, parts of names, positions, type arguments and operands of arithmetic stay
// in the text, and so does every literal of a text holding a bare `?` or a placeholder beyond
// `params`.
BoundLiterals ParametrizeLiterals(std::string_view sql, PlaceholderStyle style, int params);

// The two steps of ParametrizeLiterals: the literals it binds (their place in `sql` and value),
// and `sql` with those replaced by the placeholders `params` + 1, + 2, ...
struct LiteralSpan {
    size_t begin, end;
    Variant value;
};
std::vector<LiteralSpan> FindBindableLiterals(std::string_view sql, int params);
BoundLiterals BindLiterals(std::string_view sql, PlaceholderStyle style, int params,
                           const std::vector<LiteralSpan>& spans);
// The same into `out`, whose storage is reused.
void BindLiterals(std::string_view sql, PlaceholderStyle style, int params,
                  const std::vector<LiteralSpan>& spans, BoundLiterals& out);

// The value of a numeric literal's text: a 64-bit integer, or a double when it has a point or
// an exponent; null when it does not fit.
Variant NumericLiteralValue(std::string_view text);

}  // namespace quantora::db
