// TComponent, TDataSet and TDBDataSet: the dataset state machine (browse, edit, insert), the
// current row and the row buffer. TQuery supplies the rows.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/FieldType.h"
#include "quantora/dblayer/TField.h"
#include "quantora/dblayer/ValueConvert.h"
#include "quantora/dblayer/Variant.h"

class TComponent {
  public:
    explicit TComponent(TComponent* owner = nullptr) : owner_(owner) {}
    virtual ~TComponent() = default;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;
    TComponent* Owner() const { return owner_; }

  private:
    TComponent* owner_;
};

class TDataSet : public TComponent {
  public:
    using TComponent::TComponent;
    ~TDataSet() override;

    void Open();
    void Close() noexcept;
    bool Active() const { return state_ != dsInactive; }
    void SetActive(bool active) { active ? Open() : Close(); }

    // First re-runs the statement unless the dataset already stands on its first row.
    void First();
    void Next();
    bool Eof() const { return eof_; }

    TField* FindField(const AnsiString& name) const;
    TField* FieldByName(const AnsiString& name) const;
    // Field lookups shared by every reader of this result that uses the same `key` (a record
    // type's column table): the list stored last under `key`, or null. Dropped on Close, unless
    // the next Open has the same columns and so keeps the same fields.
    TField* const* CachedFields(const void* key) const {
        for (const FieldLookup& l : lookups_)
            if (l.key == key) return l.fields.data();
        return nullptr;
    }
    TField* const* CacheFields(const void* key, std::vector<TField*> fields) const;
    int FieldCount() const { return static_cast<int>(fields_.size()); }
    const TFields& Fields() const { return field_list_; }

    void Insert();
    void Append() { Insert(); }
    void Edit();
    void Post();
    void Cancel();
    TDataSetState State() const { return state_; }
    virtual bool CanModify() const { return false; }

  protected:
    struct ColumnSpec {
        std::string_view name;  // valid until Close
        TFieldType type;
        int size;
    };
    // Runs the statement and fills `columns` with its columns. Rows then come from Step().
    virtual void InternalOpen(std::vector<ColumnSpec>& columns) = 0;
    virtual void InternalClose() noexcept = 0;
    virtual void InternalRestart() = 0;
    virtual bool InternalStep() = 0;
    // One flag per column: set when the row buffer's value was assigned. Bytes, not bits, so that
    // setting a flag and comparing two sets (once per Post) cost a store and a memcmp.
    using AssignedColumns = std::vector<uint8_t>;
    // Writes the row buffer: an insert of the assigned columns, or an update of them by key.
    virtual void InternalPost(bool inserting, const std::vector<Variant>& values,
                              const AssignedColumns& assigned,
                              const std::vector<Variant>& old_values) = 0;
    // The SQL text (or another description) named in error messages.
    virtual AnsiString Describe() const = 0;

    // The statement whose current row the fields show when no row buffer is in use.
    quantora::db::Statement* cursor_ = nullptr;

  private:
    friend class TField;
    quantora::db::Cell ReadCell(int index) const;
    void WriteCell(const TField& field, Variant&& value);
    // The row buffer's cell of `field`, marked as assigned, for a value in its storage form.
    Variant& StoredCell(const TField& field);
    void CheckWritable(const TField& field) const;
    void CheckActive(const char* operation) const;
    void CheckBrowseMode();
    [[noreturn]] void Fail(const AnsiString& what) const;
    static bool SameColumns(const std::vector<std::unique_ptr<TField>>& fields,
                            const std::vector<ColumnSpec>& columns);

    TDataSetState state_ = dsInactive;
    bool eof_ = true;
    bool at_first_ = false;     // standing on the first row of the statement
    bool from_buffer_ = false;  // the current row is the row buffer (just posted)
    std::vector<std::unique_ptr<TField>> fields_;
    struct FieldLookup {
        const void* key;
        std::vector<TField*> fields;
    };
    mutable std::vector<FieldLookup> lookups_;
    TFields field_list_;
    // The fields and lookups of the last result, kept after Close so that reopening with the same
    // columns (a query run again for the next key) allocates none of them again.
    std::vector<std::unique_ptr<TField>> spare_fields_;
    std::vector<FieldLookup> spare_lookups_;
    std::vector<ColumnSpec> columns_;
    std::vector<Variant> buffer_, old_row_, saved_buffer_;
    AssignedColumns assigned_;
    bool saved_eof_ = true, saved_from_buffer_ = false;
};

class TDBDataSet : public TDataSet {
  public:
    using TDataSet::TDataSet;
    const AnsiString& DatabaseName() const { return database_name_; }
    void SetDatabaseName(const AnsiString& name);

  private:
    AnsiString database_name_;
};
