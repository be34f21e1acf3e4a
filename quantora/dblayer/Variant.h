// A small tagged value: what a field or parameter holds when read or set as a variant.
#pragma once

#include <cstdint>

#include "quantora/base/Types.h"

class Variant {
  public:
    enum class Kind : uint8_t { Null, Int, Float, Date, String, Blob };

    Variant() = default;
    Variant(int v) : kind_(Kind::Int), int_(v) {}
    Variant(int64_t v) : kind_(Kind::Int), int_(v) {}
    Variant(double v) : kind_(Kind::Float), float_(v) {}
    Variant(const char* v) : kind_(Kind::String), text_(v) {}
    Variant(AnsiString v) : kind_(Kind::String), text_(std::move(v)) {}

    static Variant FromDate(TDateTime v) {
        Variant r(v);
        r.kind_ = Kind::Date;
        return r;
    }
    static Variant FromBlob(AnsiString bytes) {
        Variant r(std::move(bytes));
        r.kind_ = Kind::Blob;
        return r;
    }

    // Null again; keeps the text's storage for the next value.
    void SetNull() {
        kind_ = Kind::Null;
        text_.clear();
    }

    // In-place setters; the text's storage is kept for the next value.
    void SetInt(int64_t v) {
        kind_ = Kind::Int;
        int_ = v;
        text_.clear();
    }
    void SetFloat(double v) {
        kind_ = Kind::Float;
        float_ = v;
        text_.clear();
    }
    void SetDate(TDateTime v) {
        SetFloat(v);
        kind_ = Kind::Date;
    }
    // kind is String or Blob.
    void SetText(const AnsiString& v, Kind kind) {
        kind_ = kind;
        text_.assign(v);
    }

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::Null; }
    bool IsNumeric() const {
        return kind_ == Kind::Int || kind_ == Kind::Float || kind_ == Kind::Date;
    }
    bool IsText() const { return kind_ == Kind::String || kind_ == Kind::Blob; }

    // Raw members; valid for the matching kind.
    int64_t int_value() const { return int_; }
    double float_value() const { return float_; }
    const AnsiString& text_value() const { return text_; }
    AnsiString TakeText() && { return std::move(text_); }

    // Numeric view: Int, Float and Date as a double (0.0 for other kinds).
    double ToDouble() const {
        return kind_ == Kind::Int ? static_cast<double>(int_) : IsNumeric() ? float_ : 0.0;
    }

    bool operator==(const Variant& o) const {
        if (kind_ != o.kind_) return false;
        switch (kind_) {
            case Kind::Null:
                return true;
            case Kind::Int:
                return int_ == o.int_;
            case Kind::Float:
            case Kind::Date:
                return float_ == o.float_;
            default:
                return text_ == o.text_;
        }
    }

  private:
    Kind kind_ = Kind::Null;
    int64_t int_ = 0;
    double float_ = 0.0;
    AnsiString text_;
};
