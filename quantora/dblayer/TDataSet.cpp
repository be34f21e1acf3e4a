// Dataset states and navigation, and the row buffer behind Insert, Edit, Post and Cancel.
#include "quantora/dblayer/TDataSet.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/dblayer/ValueConvert.h"

using quantora::Format;
using namespace quantora::db;

TDataSet::~TDataSet() = default;  // a concrete dataset closes itself in its own destructor

bool TDataSet::SameColumns(const std::vector<std::unique_ptr<TField>>& fields,
                           const std::vector<ColumnSpec>& columns) {
    if (fields.size() != columns.size()) return false;
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i]->FieldName() != columns[i].name || fields[i]->DataType() != columns[i].type ||
            fields[i]->Size() != columns[i].size)
            return false;
    return true;
}

void TDataSet::Fail(const AnsiString& what) const {
    throw EDatabaseError(Format("%s [SQL: %s]", what.c_str(), Describe().c_str()));
}

void TDataSet::CheckActive(const char* operation) const {
    if (state_ == dsInactive) Fail(Format("%s: the dataset is not open", operation));
}

void TDataSet::Open() {
    if (Active()) return;
    columns_.clear();
    InternalOpen(columns_);
    try {
        if (SameColumns(spare_fields_, columns_)) {
            fields_.swap(spare_fields_);
            lookups_.swap(spare_lookups_);
        } else {
            fields_.clear();
            lookups_.clear();
            for (size_t i = 0; i < columns_.size(); ++i)
                fields_.push_back(std::make_unique<TField>(this, static_cast<int>(i),
                                                           AnsiString(columns_[i].name),
                                                           columns_[i].type, columns_[i].size));
        }
        spare_fields_.clear();
        spare_lookups_.clear();
        field_list_.items_.clear();
        for (const auto& f : fields_) field_list_.items_.push_back(f.get());
        state_ = dsBrowse;
        from_buffer_ = false;
        eof_ = !InternalStep();
        at_first_ = true;
    } catch (...) {
        Close();
        throw;
    }
}

void TDataSet::Close() noexcept {
    if (state_ == dsInactive && fields_.empty()) return;
    InternalClose();
    cursor_ = nullptr;
    state_ = dsInactive;
    eof_ = true;
    from_buffer_ = false;
    field_list_.items_.clear();
    fields_.swap(spare_fields_);
    fields_.clear();
    lookups_.swap(spare_lookups_);
    lookups_.clear();
    columns_.clear();
    buffer_.clear();
    old_row_.clear();
    saved_buffer_.clear();
    assigned_.clear();
}

void TDataSet::CheckBrowseMode() {
    if (state_ == dsEdit || state_ == dsInsert) Post();
}

void TDataSet::First() {
    CheckActive("First");
    CheckBrowseMode();
    if (at_first_ && !from_buffer_) return;
    from_buffer_ = false;
    InternalRestart();
    eof_ = !InternalStep();
    at_first_ = true;
}

void TDataSet::Next() {
    CheckActive("Next");
    CheckBrowseMode();
    from_buffer_ = false;
    at_first_ = false;
    if (!eof_ || !cursor_) eof_ = !InternalStep();
}

TField* TDataSet::FindField(const AnsiString& name) const {
    for (const auto& f : fields_)
        if (SameName(f->FieldName(), name)) return f.get();
    return nullptr;
}

TField* const* TDataSet::CacheFields(const void* key, std::vector<TField*> fields) const {
    for (FieldLookup& l : lookups_)
        if (l.key == key) {
            l.fields = std::move(fields);
            return l.fields.data();
        }
    lookups_.push_back({key, std::move(fields)});
    return lookups_.back().fields.data();
}

TField* TDataSet::FieldByName(const AnsiString& name) const {
    TField* f = FindField(name);
    if (!f) Fail(Format("Field '%s' not found", name.c_str()));
    return f;
}

void TDataSet::Insert() {
    CheckActive("Insert");
    CheckBrowseMode();
    if (!CanModify()) Fail("Cannot insert into a read-only dataset");
    saved_eof_ = eof_;
    saved_from_buffer_ = from_buffer_;
    // The shown row is kept for Cancel; the two buffers swap, so no value is reallocated.
    if (from_buffer_) saved_buffer_.swap(buffer_);
    buffer_.resize(fields_.size());
    for (Variant& v : buffer_) v.SetNull();
    assigned_.assign(fields_.size(), 0);
    state_ = dsInsert;
}

void TDataSet::Edit() {
    CheckActive("Edit");
    if (state_ == dsEdit || state_ == dsInsert) return;
    if (!CanModify()) Fail("Cannot modify a read-only dataset");
    if (eof_) Fail("Cannot edit: there is no current row");
    std::vector<Variant> row;
    row.reserve(fields_.size());
    for (const auto& f : fields_)
        row.push_back(CellToVariant(ReadCell(f->Index()), f->DataType(), f->FieldName().c_str()));
    old_row_ = row;
    buffer_ = std::move(row);
    assigned_.assign(fields_.size(), 0);
    saved_eof_ = eof_;
    saved_from_buffer_ = from_buffer_;
    state_ = dsEdit;
}

void TDataSet::Post() {
    if (state_ != dsEdit && state_ != dsInsert)
        Fail("Post: the dataset is not in edit or insert mode");
    InternalPost(state_ == dsInsert, buffer_, assigned_, old_row_);
    state_ = dsBrowse;
    from_buffer_ = true;
    eof_ = false;
}

void TDataSet::Cancel() {
    if (state_ != dsEdit && state_ != dsInsert) return;
    if (state_ == dsInsert && saved_from_buffer_) buffer_.swap(saved_buffer_);
    if (state_ == dsEdit && saved_from_buffer_) buffer_ = old_row_;
    saved_buffer_.clear();
    eof_ = saved_eof_;
    from_buffer_ = saved_from_buffer_;
    state_ = dsBrowse;
}

Cell TDataSet::ReadCell(int index) const {
    if (state_ == dsInactive) Fail("Cannot read a field: the dataset is not open");
    if (state_ != dsBrowse || from_buffer_) return CellOf(buffer_[static_cast<size_t>(index)]);
    if (eof_ || !cursor_) return Cell{};
    return CellOf(*cursor_, index);
}

void TDataSet::CheckWritable(const TField& field) const {
    if (state_ != dsEdit && state_ != dsInsert)
        Fail(Format("Field '%s' cannot be modified: the dataset is not in edit or insert mode",
                    field.FieldName().c_str()));
}

void TDataSet::WriteCell(const TField& field, Variant&& value) {
    CheckWritable(field);
    ConvertToStorage(value, field.DataType(), field.FieldName().c_str());
    StoredCell(field) = std::move(value);
}

Variant& TDataSet::StoredCell(const TField& field) {
    CheckWritable(field);
    const size_t i = static_cast<size_t>(field.Index());
    assigned_[i] = 1;
    return buffer_[i];
}

void TDBDataSet::SetDatabaseName(const AnsiString& name) {
    if (Active()) Close();
    database_name_ = name;
}
