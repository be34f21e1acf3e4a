// The cached record variant: a record class derives from CachedRecord<Self, N>, declares its N
// columns in `static const std::array<quantora::Column<Self>, N>& Columns()` and its table name
// in `static constexpr const char* Table`, and gets Reset, GetFieldPtrs, GetData, SetData and
// Insert. Optional hooks in the record class (found by name, no virtual calls):
//   void AfterResetData(); void AfterGetData(TQuery*); void AfterSetData(TQuery*);
//   static constexpr bool kLookUpFieldsEveryRead = true;   (follow a change of query)
//   static const quantora::DeletionRules& Deletion();     (CheckBeforeDeletion, RemoveDetails,
//                                                          Delete)
#pragma once

#include <array>
#include <set>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/ColumnIO.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/QueryGuards.h"

template <class R, size_t N>
class CachedRecord {
  public:
    // Whether FieldPtrs belong to the current result.
    bool FieldPtrsValid = false;
    // One field per column in column order; null where the result has no such column.
    std::array<TField*, N> FieldPtrs{};

    void Reset() {
        ResetFieldPtrs();
        ResetData();
    }
    void ResetFieldPtrs() {
        FieldPtrs.fill(nullptr);
        FieldPtrsValid = false;
    }
    void ResetData() {
        for (const auto& c : Cols()) quantora::detail::ResetMember(self(), c);
        if constexpr (requires(R & r) { r.AfterResetData(); }) self().AfterResetData();
    }

    void GetFieldPtrs(TQuery* q) {
        const auto& cols = Cols();
        for (size_t i = 0; i < N; ++i) FieldPtrs[i] = q->FindField(cols[i].name);
        FieldPtrsValid = true;
    }

    // Reads the current row; false (members reset) at the end of the result.
    bool GetData(TQuery* q) {
        ResetData();
        quantora::detail::CheckOpen(q, R::Table);
        if (q->Eof()) return false;
        bool every_read = false;
        if constexpr (requires { R::kLookUpFieldsEveryRead; })
            every_read = R::kLookUpFieldsEveryRead;
        if (!FieldPtrsValid || every_read) GetFieldPtrs(q);
        const auto& cols = Cols();
        for (size_t i = 0; i < N; ++i)
            if (!cols[i].hook_read) quantora::detail::ReadIfPresent(self(), cols[i], FieldPtrs[i]);
        if constexpr (requires(R & r, TQuery * t) { r.AfterGetData(t); }) self().AfterGetData(q);
        return true;
    }

    // Writes the members into the row being edited or inserted; nothing in browse state.
    void SetData(TQuery* q) {
        if (q->State() != dsEdit && q->State() != dsInsert) return;
        if (!FieldPtrsValid) GetFieldPtrs(q);
        const auto& cols = Cols();
        for (size_t i = 0; i < N; ++i)
            if (FieldPtrs[i] && quantora::detail::ShouldWrite(self(), cols[i]))
                quantora::detail::WriteMember(self(), cols[i], FieldPtrs[i]);
        if constexpr (requires(R & r, TQuery * t) { r.AfterSetData(t); }) self().AfterSetData(q);
    }

    // Adds the record as a new row: on `q`, or on a live query of its own on `dbName`. A key
    // of 0 or less is taken from `keyGen` when it can give one.
    void Insert(IntKeyGen* keyGen, const char* dbName, TQuery* q) {
        AutoQuery aq(q, dbName, R::Table);
        OpenerCloser oc(aq.get());
        aq->Insert();
        if (!q || q->Eof()) GetFieldPtrs(aq.get());
        const size_t key = KeyColumn();
        if (key < N && Cols()[key].type == quantora::ColumnType::Int) {
            int& k = self().*(Cols()[key].member.i);
            if (k <= 0 && keyGen && keyGen->CanGenerate()) k = keyGen->NextKey();
        }
        SetData(aq.get());
        aq->Post();
    }

    // Most tables have nothing to update in place.
    void UpdateData(const char*, TQuery*) {}

    // Records kept in ordered sets compare by key alone.
    bool operator<(const R& other) const {
        const auto& c = Cols()[KeyColumn()];
        if (c.type == quantora::ColumnType::String)
            return self().*c.member.str < other.*c.member.str;
        return self().*c.member.i < other.*c.member.i;
    }

    // The deletion trio, for tables that declare their deletion rules.
    void CheckBeforeDeletion(const AnsiString& dbName, std::set<AnsiString>* blocking,
                             std::set<AnsiString>* nulled) {
        quantora::CheckBeforeDeletion(R::Deletion(), dbName, IntKey(), blocking, nulled);
    }
    void RemoveDetails(const AnsiString& dbName) {
        quantora::RemoveDetails(R::Deletion(), dbName, IntKey());
    }
    void Delete(const AnsiString& dbName) {
        quantora::DeleteWithDetails(R::Deletion(), dbName, IntKey());
    }

  protected:
    R& self() { return static_cast<R&>(*this); }
    const R& self() const { return static_cast<const R&>(*this); }
    static const std::array<quantora::Column<R>, N>& Cols() { return R::Columns(); }

    // The field of column `i` (after GetFieldPtrs), for the table's hooks.
    TField* Field(size_t i) const { return FieldPtrs[i]; }

    // Index of the key column (N when the table declares none).
    static size_t KeyColumn() {
        static const size_t key = quantora::detail::KeyIndex(Cols());
        return key;
    }
    int IntKey() const {
        const size_t k = KeyColumn();
        if (k >= N || Cols()[k].type != quantora::ColumnType::Int)
            throw Exception(AnsiString(R::Table) + " has no integer key column");
        return self().*(Cols()[k].member.i);
    }
};
