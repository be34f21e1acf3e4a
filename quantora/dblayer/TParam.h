// Query parameters (`:name` in the SQL text): data type, parameter type and value.
#pragma once

#include <memory>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/FieldType.h"
#include "quantora/dblayer/Variant.h"

class TParam {
  public:
    explicit TParam(AnsiString name) : name_(std::move(name)) {}

    const AnsiString& Name() const { return name_; }
    TFieldType DataType() const { return data_type_; }
    // A data type set here decides how the value is bound, whatever setter assigns it.
    void SetDataType(TFieldType t) {
        data_type_ = t;
        explicit_type_ = t != ftUnknown;
    }
    TParamType ParamType() const { return param_type_; }
    void SetParamType(TParamType t) { param_type_ = t; }

    void SetAsInteger(int v) { Set(ftInteger, Variant(v)); }
    void SetAsLargeInt(int64_t v) { Set(ftLargeint, Variant(v)); }
    void SetAsFloat(double v) { Set(ftFloat, Variant(v)); }
    void SetAsDateTime(TDateTime v) { Set(ftDateTime, Variant::FromDate(v)); }
    void SetAsString(const AnsiString& v) { Set(ftString, Variant(v)); }
    void SetAsBlob(const AnsiString& bytes) { Set(ftBlob, Variant::FromBlob(bytes)); }
    void SetValue(const Variant& v) { value_ = v; }
    void Clear() { value_ = Variant(); }

    const Variant& Value() const { return value_; }
    bool IsNull() const { return value_.IsNull(); }

  private:
    void Set(TFieldType t, Variant v) {
        if (!explicit_type_) data_type_ = t;
        value_ = std::move(v);
    }

    AnsiString name_;
    TFieldType data_type_ = ftUnknown;
    bool explicit_type_ = false;
    TParamType param_type_ = ptUnknown;
    Variant value_;
};

class TParams {
  public:
    int Count() const { return static_cast<int>(items_.size()); }
    TParam* Items(int i) const { return items_.at(static_cast<size_t>(i)).get(); }
    TParam* operator[](int i) const { return Items(i); }
    // Case-insensitive; null when there is no such parameter.
    TParam* FindParam(const AnsiString& name) const;
    // Case-insensitive; throws EDatabaseError when there is no such parameter.
    TParam* ParamByName(const AnsiString& name) const;

    // Replaces the list with `names`, keeping the settings of parameters that stay.
    void Rebuild(const std::vector<AnsiString>& names);

  private:
    std::vector<std::unique_ptr<TParam>> items_;
};
