// A column of an open dataset: name, type, and its value in the current row or row buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/FieldType.h"
#include "quantora/dblayer/Variant.h"

class TDataSet;

class TField {
  public:
    TField(TDataSet* dataset, int index, AnsiString name, TFieldType type, int size);
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    const AnsiString& FieldName() const { return name_; }
    TFieldType DataType() const { return type_; }
    int Size() const { return size_; }
    // Bytes the value takes in the layer's row buffer.
    int DataSize() const;
    int Index() const { return index_; }
    TDataSet* DataSet() const { return dataset_; }

    // Reading. A null value reads as 0, 0.0, the empty text or a null variant.
    bool IsNull() const;
    int AsInteger() const;
    int64_t AsLargeInt() const;
    double AsFloat() const;
    TDateTime AsDateTime() const;
    AnsiString AsString() const;
    // The text of a non-null value into `out`, reusing its storage (no allocation when it is
    // big enough); false, with `out` untouched, when the value is null.
    bool ReadString(AnsiString& out) const;
    // The same for numbers and dates: one look at the value, false (`out` untouched) for a null.
    bool ReadInteger(int& out) const;
    bool ReadFloat(double& out) const;
    bool ReadDateTime(TDateTime& out) const;
    bool AsBoolean() const;
    Variant AsVariant() const;

    // Writing; only in the edit and insert states.
    void SetAsInteger(int value) { SetAsLargeInt(value); }
    void SetAsLargeInt(int64_t value);
    void SetAsFloat(double value);
    void SetAsDateTime(TDateTime value);
    void SetAsString(const AnsiString& value);
    void SetAsBoolean(bool value) { Assign(Variant(value ? 1 : 0)); }
    void SetAsVariant(const Variant& value) { Assign(Variant(value)); }
    void Clear() { Assign(Variant()); }

  private:
    void Assign(Variant&& value);
    [[noreturn]] void ConversionError(const char* what, const AnsiString& text) const;

    TDataSet* dataset_;
    int index_;
    AnsiString name_;
    TFieldType type_;
    int size_;
};

// The fields of a dataset, by position.
class TFields {
  public:
    int Count() const { return static_cast<int>(items_.size()); }
    TField* Fields(int i) const { return items_.at(static_cast<size_t>(i)); }
    TField* operator[](int i) const { return Fields(i); }

  private:
    friend class TDataSet;
    std::vector<TField*> items_;
};
