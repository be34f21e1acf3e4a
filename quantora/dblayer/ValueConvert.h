// Conversions between stored values (cells of a result row, variants in a row buffer or a
// parameter) and the forms callers ask for, driven by the field type.
#pragma once

#include <cstdint>
#include <string_view>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/FieldType.h"
#include "quantora/dblayer/Variant.h"

namespace quantora::db {

Cell CellOf(const Variant& v);
inline Cell CellOf(const Statement& st, int column) {
    return st.Read(column);
}

// Each throws EDatabaseError naming `what` (a field or parameter name) when the value has no
// such form.
int64_t CellToInt64(const Cell& c, TFieldType type, const char* what);
double CellToDouble(const Cell& c, TFieldType type, const char* what);
TDateTime CellToDateTime(const Cell& c, const char* what);
void CellToString(const Cell& c, TFieldType type, AnsiString& out);
Variant CellToVariant(const Cell& c, TFieldType type, const char* what);

// The value in the storage form of a column of `type` (ftUnknown keeps it as it is).
Variant ToStorage(Variant v, TFieldType type, const char* what);
// The same in place: a value already in that form is not moved.
void ConvertToStorage(Variant& v, TFieldType type, const char* what);

// Shortest decimal text that reads back as the same double.
AnsiString FloatToText(double v);

}  // namespace quantora::db
