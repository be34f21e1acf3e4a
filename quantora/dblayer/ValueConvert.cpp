// Value conversions of the database layer. Text that is not a number (or a date) where one is
// asked for is an error, never a silent 0.
#include "quantora/dblayer/ValueConvert.h"

#include <charconv>
#include <climits>
#include <cmath>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"

namespace quantora::db {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool ParseDouble(std::string_view s, double& out) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool ParseInt64(std::string_view s, int64_t& out) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    if (r.ec == std::errc() && r.ptr == s.data() + s.size()) return true;
    double d;  // "3.0" or "1e3" read as integers when they are whole numbers
    if (ParseDouble(s, d) && std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9.2e18) {
        out = static_cast<int64_t>(d);
        return true;
    }
    return false;
}

[[noreturn]] void NotA(const char* kind, std::string_view text, const char* what) {
    throw EDatabaseError(Format("'%.*s' is not a valid %s value for '%s'",
                                static_cast<int>(std::min<size_t>(text.size(), 64)), text.data(),
                                kind, what));
}

int64_t RoundToInt64(double d, const char* what) {
    if (!std::isfinite(d) || std::fabs(d) >= 9.2e18)
        throw EDatabaseError(Format("Float value %g is out of integer range for '%s'", d, what));
    return std::llround(d);
}

}  // namespace

AnsiString FloatToText(double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return AnsiString(buf, r.ptr);
}

Cell CellOf(const Variant& v) {
    Cell c;
    switch (v.kind()) {
        case Variant::Kind::Null:
            break;
        case Variant::Kind::Int:
            c.kind = CellKind::Int;
            c.i = v.int_value();
            break;
        case Variant::Kind::Float:
        case Variant::Kind::Date:
            c.kind = CellKind::Float;
            c.d = v.float_value();
            break;
        case Variant::Kind::String:
            c.kind = CellKind::Text;
            c.text = v.text_value();
            break;
        case Variant::Kind::Blob:
            c.kind = CellKind::Blob;
            c.text = v.text_value();
            break;
    }
    return c;
}

int64_t CellToInt64(const Cell& c, TFieldType type, const char* what) {
    switch (c.kind) {
        case CellKind::Null:
            return 0;
        case CellKind::Int:
            return c.i;
        case CellKind::Float:
            return RoundToInt64(c.d, what);
        default: {
            int64_t v;
            if (ParseInt64(c.text, v)) return v;
            TDateTime dt;
            if (IsDateType(type) && ParseIsoDateTime(c.text, dt))
                return RoundToInt64(std::floor(dt), what);
            NotA("integer", c.text, what);
        }
    }
}

double CellToDouble(const Cell& c, TFieldType type, const char* what) {
    switch (c.kind) {
        case CellKind::Null:
            return 0.0;
        case CellKind::Int:
            return static_cast<double>(c.i);
        case CellKind::Float:
            return c.d;
        default: {
            double v;
            if (IsDateType(type) && ParseIsoDateTime(Trim(c.text), v)) return v;
            if (ParseDouble(c.text, v)) return v;
            NotA(IsDateType(type) ? "date and time" : "floating point", c.text, what);
        }
    }
}

TDateTime CellToDateTime(const Cell& c, const char* what) {
    return CellToDouble(c, ftDateTime, what);
}

void CellToString(const Cell& c, TFieldType type, AnsiString& out) {
    switch (c.kind) {
        case CellKind::Null:
            out.clear();
            break;
        case CellKind::Int:
            out = std::to_string(c.i);
            break;
        case CellKind::Float:
            out = IsDateType(type) ? FormatIsoDateTime(c.d) : FloatToText(c.d);
            break;
        default:
            out.assign(c.text.data(), c.text.size());
            break;
    }
}

Variant CellToVariant(const Cell& c, TFieldType type, const char* what) {
    if (c.kind == CellKind::Null) return Variant();
    if (IsIntegerType(type)) return Variant(CellToInt64(c, type, what));
    if (IsFloatType(type)) return Variant(CellToDouble(c, type, what));
    if (IsDateType(type)) return Variant::FromDate(CellToDateTime(c, what));
    if (IsBinaryType(type) || c.kind == CellKind::Blob)
        return Variant::FromBlob(AnsiString(c.text.data(), c.text.size()));
    if (type == ftUnknown) {
        if (c.kind == CellKind::Int) return Variant(c.i);
        if (c.kind == CellKind::Float) return Variant(c.d);
    }
    AnsiString s;
    CellToString(c, type, s);
    return Variant(std::move(s));
}

void ConvertToStorage(Variant& v, TFieldType type, const char* what) {
    if (v.IsNull() || type == ftUnknown) return;
    const Variant::Kind k = v.kind();
    if ((k == Variant::Kind::Int && IsIntegerType(type)) ||
        (k == Variant::Kind::Float && IsFloatType(type)) ||
        (k == Variant::Kind::Date && IsDateType(type)) ||
        (k == Variant::Kind::Blob && IsBinaryType(type)) ||
        (k == Variant::Kind::String && !IsIntegerType(type) && !IsFloatType(type) &&
         !IsDateType(type) && !IsBinaryType(type)))
        return;  // already in the column's storage form
    const Cell c = CellOf(v);
    if (IsIntegerType(type)) {
        v = k == Variant::Kind::Date ? Variant(RoundToInt64(std::floor(v.float_value()), what))
                                     : Variant(CellToInt64(c, type, what));
        return;
    }
    if (IsFloatType(type)) {
        v = Variant(CellToDouble(c, type, what));
        return;
    }
    if (IsDateType(type)) {
        v = Variant::FromDate(CellToDateTime(c, what));
        return;
    }
    if (k == Variant::Kind::String) {  // to a binary column: the bytes as they are
        v = Variant::FromBlob(std::move(v).TakeText());
        return;
    }
    AnsiString s;
    CellToString(c, k == Variant::Kind::Date ? ftDateTime : type, s);
    v = IsBinaryType(type) ? Variant::FromBlob(std::move(s)) : Variant(std::move(s));
}

Variant ToStorage(Variant v, TFieldType type, const char* what) {
    ConvertToStorage(v, type, what);
    return v;
}

}  // namespace quantora::db
