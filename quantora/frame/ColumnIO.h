// Moving one declared column between a record member and a field: reset, read, write rules.
#pragma once

#include <array>
#include <cmath>

#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TDataSet.h"
#include "quantora/dblayer/TField.h"
#include "quantora/frame/RecordColumns.h"

namespace quantora::detail {

template <class R>
void ResetMember(R& r, const Column<R>& c) {
    switch (c.type) {
        case ColumnType::Int:
            r.*c.member.i = static_cast<int>(c.reset);
            break;
        case ColumnType::Short:
            r.*c.member.s = static_cast<short>(c.reset);
            break;
        case ColumnType::Float:
        case ColumnType::DateTime:
            r.*c.member.d = c.reset;
            break;
        case ColumnType::String:
            (r.*c.member.str).clear();
            break;
        case ColumnType::Flag:
            r.*c.member.b = c.reset != 0.0;
            break;
    }
}

// A flag text is true when it is "Y" in any case; anything else ("N", "yes", "") is false.
inline bool FlagIsSet(const AnsiString& text) {
    return text.size() == 1 && (text[0] == 'Y' || text[0] == 'y');
}

// `f` is a present, non-null field.
template <class R>
void ReadMember(R& r, const Column<R>& c, const TField* f) {
    switch (c.type) {
        case ColumnType::Int:
            r.*c.member.i = f->AsInteger();
            break;
        case ColumnType::Short:
            r.*c.member.s = static_cast<short>(f->AsInteger());
            break;
        case ColumnType::Float:
            r.*c.member.d = f->AsFloat();
            break;
        case ColumnType::DateTime:
            r.*c.member.d = f->AsDateTime();
            break;
        case ColumnType::String:
            if (!f->ReadString(r.*c.member.str)) (r.*c.member.str).clear();
            break;
        case ColumnType::Flag:
            r.*c.member.b = FlagIsSet(f->AsString());
            break;
    }
}

// Reads the field when it is present and not null; otherwise the member keeps its value. Each
// field is looked at once; texts are read into the member's own storage.
template <class R>
void ReadIfPresent(R& r, const Column<R>& c, const TField* f) {
    if (!f) return;
    switch (c.type) {
        case ColumnType::Int:
        case ColumnType::Short: {
            int v = 0;
            if (!f->ReadInteger(v)) return;
            if (c.type == ColumnType::Int)
                r.*c.member.i = v;
            else
                r.*c.member.s = static_cast<short>(v);
            return;
        }
        case ColumnType::Float:
        case ColumnType::DateTime: {
            double v = 0.0;
            if (c.type == ColumnType::Float ? f->ReadFloat(v) : f->ReadDateTime(v))
                r.*c.member.d = v;
            return;
        }
        case ColumnType::String:
            f->ReadString(r.*c.member.str);
            return;
        case ColumnType::Flag: {
            AnsiString v;  // one character: no allocation
            if (f->ReadString(v)) r.*c.member.b = FlagIsSet(v);
            return;
        }
    }
}

// Integers above 0, floats and dates above 0.0 (a NaN is not), texts not empty, flags always.
template <class R>
bool IsPositive(const R& r, const Column<R>& c) {
    switch (c.type) {
        case ColumnType::Int:
            return r.*c.member.i > 0;
        case ColumnType::Short:
            return r.*c.member.s > 0;
        case ColumnType::Float:
        case ColumnType::DateTime:
            return r.*c.member.d > 0.0;  // false for a NaN
        case ColumnType::String:
            return !(r.*c.member.str).empty();
        case ColumnType::Flag:
            return true;
    }
    return true;
}

template <class R>
bool ShouldWrite(const R& r, const Column<R>& c) {
    switch (c.write) {
        case WriteRule::Always:
        case WriteRule::OrNull:
            return true;
        case WriteRule::Hook:
            return false;
        case WriteRule::IfNotEmpty:
            return c.type != ColumnType::String || !(r.*c.member.str).empty();
        case WriteRule::IfPositive:
            return IsPositive(r, c);
    }
    return true;
}

template <class R>
void WriteMember(const R& r, const Column<R>& c, TField* f) {
    if (c.write == WriteRule::OrNull && !IsPositive(r, c)) {
        f->Clear();
        return;
    }
    switch (c.type) {
        case ColumnType::Int:
            f->SetAsInteger(r.*c.member.i);
            break;
        case ColumnType::Short:
            f->SetAsInteger(r.*c.member.s);
            break;
        case ColumnType::Float:
            f->SetAsFloat(r.*c.member.d);
            break;
        case ColumnType::DateTime:
            f->SetAsDateTime(r.*c.member.d);
            break;
        case ColumnType::String:
            f->SetAsString(r.*c.member.str);
            break;
        case ColumnType::Flag:
            f->SetAsString(r.*c.member.b ? "Y" : "N");
            break;
    }
}

// A record reads only from an open result: a closed one is a caller's mistake, not an empty
// result.
inline void CheckOpen(const TDataSet* q, const char* table) {
    if (!q || !q->Active())
        throw EDatabaseError(AnsiString("Cannot read a ") + table +
                             " record: the query is not open");
}

// Index of the first column marked as key; N when there is none.
template <class R, size_t N>
size_t KeyIndex(const std::array<Column<R>, N>& cols) {
    for (size_t i = 0; i < N; ++i)
        if (cols[i].key) return i;
    return N;
}

}  // namespace quantora::detail
