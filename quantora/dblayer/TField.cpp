// Field getters and setters: values come from the dataset's current row or row buffer.
#include "quantora/dblayer/TField.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TDataSet.h"
#include "quantora/dblayer/ValueConvert.h"

using namespace quantora::db;

namespace quantora {

int FieldDataSize(TFieldType type, int size) {
    switch (type) {
        case ftString:
        case ftFixedChar:
        case ftWideString:
            return size + 1;
        case ftSmallint:
        case ftWord:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
        case ftLargeint:
            return 8;
        case ftBCD:
            return 34;
        default:
            return 0;  // blobs and memos live outside the row buffer
    }
}

}  // namespace quantora

TField::TField(TDataSet* dataset, int index, AnsiString name, TFieldType type, int size)
    : dataset_(dataset), index_(index), name_(std::move(name)), type_(type), size_(size) {}

int TField::DataSize() const {
    return quantora::FieldDataSize(type_, size_);
}

bool TField::IsNull() const {
    return dataset_->ReadCell(index_).kind == CellKind::Null;
}

int64_t TField::AsLargeInt() const {
    return CellToInt64(dataset_->ReadCell(index_), type_, name_.c_str());
}

namespace {

int IntegerOf(const Cell& c, TFieldType type, const AnsiString& name) {
    if (c.kind == CellKind::Int && c.i >= INT32_MIN && c.i <= INT32_MAX)
        return static_cast<int>(c.i);
    int64_t v = CellToInt64(c, type, name.c_str());
    if (v < INT32_MIN || v > INT32_MAX)
        throw EDatabaseError(quantora::Format("Value %lld of field '%s' is out of integer range",
                                              static_cast<long long>(v), name.c_str()));
    return static_cast<int>(v);
}

}  // namespace

int TField::AsInteger() const {
    return IntegerOf(dataset_->ReadCell(index_), type_, name_);
}

bool TField::ReadInteger(int& out) const {
    const Cell c = dataset_->ReadCell(index_);
    if (c.kind == CellKind::Null) return false;
    out = IntegerOf(c, type_, name_);
    return true;
}

bool TField::ReadFloat(double& out) const {
    const Cell c = dataset_->ReadCell(index_);
    if (c.kind == CellKind::Null) return false;
    out = CellToDouble(c, type_, name_.c_str());
    return true;
}

bool TField::ReadDateTime(TDateTime& out) const {
    const Cell c = dataset_->ReadCell(index_);
    if (c.kind == CellKind::Null) return false;
    out = CellToDateTime(c, name_.c_str());
    return true;
}

double TField::AsFloat() const {
    return CellToDouble(dataset_->ReadCell(index_), type_, name_.c_str());
}

TDateTime TField::AsDateTime() const {
    return CellToDateTime(dataset_->ReadCell(index_), name_.c_str());
}

AnsiString TField::AsString() const {
    AnsiString out;
    CellToString(dataset_->ReadCell(index_), type_, out);
    return out;
}

bool TField::ReadString(AnsiString& out) const {
    const Cell c = dataset_->ReadCell(index_);
    if (c.kind == CellKind::Null) return false;
    CellToString(c, type_, out);
    return true;
}

bool TField::AsBoolean() const {
    Cell c = dataset_->ReadCell(index_);
    if (c.kind == CellKind::Text && !c.text.empty())
        return c.text[0] == 'Y' || c.text[0] == 'y' || c.text[0] == 'T' || c.text[0] == 't' ||
               c.text == "1";
    return CellToInt64(c, type_, name_.c_str()) != 0;
}

Variant TField::AsVariant() const {
    return CellToVariant(dataset_->ReadCell(index_), type_, name_.c_str());
}

// A value already in the column's storage form goes straight into the row buffer's cell, reusing
// its text storage; any other is converted first.
void TField::SetAsLargeInt(int64_t value) {
    if (quantora::IsIntegerType(type_)) return dataset_->StoredCell(*this).SetInt(value);
    Assign(Variant(value));
}

void TField::SetAsFloat(double value) {
    if (quantora::IsFloatType(type_)) return dataset_->StoredCell(*this).SetFloat(value);
    Assign(Variant(value));
}

void TField::SetAsDateTime(TDateTime value) {
    if (quantora::IsDateType(type_)) return dataset_->StoredCell(*this).SetDate(value);
    Assign(Variant::FromDate(value));
}

void TField::SetAsString(const AnsiString& value) {
    if (quantora::IsBinaryType(type_))
        return dataset_->StoredCell(*this).SetText(value, Variant::Kind::Blob);
    if (quantora::IsTextType(type_))
        return dataset_->StoredCell(*this).SetText(value, Variant::Kind::String);
    Assign(Variant(value));
}

void TField::Assign(Variant&& value) {
    dataset_->WriteCell(*this, std::move(value));
}
