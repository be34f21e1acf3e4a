// The declaration of a record class's columns: name, member, reset value and rules. A record
// class lists its columns once; the record framework reads and writes them from the list.
#pragma once

#include <array>
#include <cstddef>

#include "quantora/base/Types.h"

namespace quantora {

// Flag: a bool member kept as a "Y"/"N" text column (true when the text is "Y" in any case).
enum class ColumnType : unsigned char { Int, Short, Float, DateTime, String, Flag };

enum class WriteRule : unsigned char {
    Always,      // written as it stands, reset values included
    IfPositive,  // integers above 0, floats and dates above 0.0 (a NaN is not written)
    IfNotEmpty,  // strings that are not empty
    Hook,        // written by the table's own AfterSetData
    OrNull,      // integers above 0, floats and dates above 0.0 as they stand, null otherwise
};

template <class R>
struct Column {
    const char* name;
    ColumnType type;
    union Member {
        int R::*i;
        short R::*s;
        double R::*d;
        AnsiString R::*str;
        bool R::*b;
    } member;
    double reset = -1.0;  // strings reset to empty; flags to true when not 0
    WriteRule write = WriteRule::Always;
    bool hook_read = false;  // read by the table's own AfterGetData
    bool key = false;

    constexpr Column Key() const {
        return With([](Column& c) { c.key = true; });
    }
    constexpr Column ResetTo(double v) const {
        return With([v](Column& c) { c.reset = v; });
    }
    constexpr Column WriteIf(WriteRule rule) const {
        return With([rule](Column& c) { c.write = rule; });
    }
    constexpr Column IfPositive() const { return WriteIf(WriteRule::IfPositive); }
    constexpr Column IfNotEmpty() const { return WriteIf(WriteRule::IfNotEmpty); }
    constexpr Column OrNull() const { return WriteIf(WriteRule::OrNull); }
    // Read and written by the table's hooks only.
    constexpr Column Hooked() const {
        return With([](Column& c) {
            c.hook_read = true;
            c.write = WriteRule::Hook;
        });
    }
    constexpr Column HookWrite() const { return WriteIf(WriteRule::Hook); }

  private:
    template <class F>
    constexpr Column With(F f) const {
        Column c = *this;
        f(c);
        return c;
    }
};

// Column builders: the member's type picks the column type; dates are named explicitly.
template <class R>
constexpr Column<R> Col(const char* name, int R::*m) {
    Column<R> c{name, ColumnType::Int, {}};
    c.member.i = m;
    return c;
}
template <class R>
constexpr Column<R> Col(const char* name, short R::*m) {
    Column<R> c{name, ColumnType::Short, {}};
    c.member.s = m;
    return c;
}
template <class R>
constexpr Column<R> Col(const char* name, double R::*m) {
    Column<R> c{name, ColumnType::Float, {}};
    c.member.d = m;
    return c;
}
template <class R>
constexpr Column<R> DateCol(const char* name, double R::*m) {
    Column<R> c{name, ColumnType::DateTime, {}};
    c.member.d = m;
    return c;
}
template <class R>
constexpr Column<R> Col(const char* name, AnsiString R::*m) {
    Column<R> c{name, ColumnType::String, {}};
    c.member.str = m;
    return c;
}
template <class R>
constexpr Column<R> Col(const char* name, bool R::*m) {
    Column<R> c{name, ColumnType::Flag, {}};
    c.member.b = m;
    c.reset = 0.0;
    return c;
}

// The column list of record class R, written as a braced list in the record's Columns():
// exactly R::kColumnCount columns, else a compile error (a std::array initialised with one
// column too few would value-initialise the last one silently).
template <class R, size_t M>
constexpr std::array<Column<R>, M> MakeColumns(const Column<R> (&cols)[M]) {
    static_assert(M == R::kColumnCount, "the column list must name every column of the record");
    return std::to_array(cols);
}

}  // namespace quantora
