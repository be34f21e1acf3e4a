// The cached record variant: a record class derives from CachedRecord<Self, N>, declares its N
// columns in `static const ColumnList& Columns()` (defined with quantora::MakeColumns, so the
// count N is written once) and its table name in `static constexpr const char* Table`, and gets
// Reset, GetFieldPtrs, GetData, SetData and Insert. The field of each column is looked up once per
// result and record type and kept by the query (TDataSet::CachedFields), not by the record: a
// record is its members and nothing else, so sets of records cost no more than their values, and a
// record follows any change of query. Optional hooks in the record class (found by name, no virtual
// calls):
//   void AfterResetData(); void AfterGetData(TQuery*); void AfterSetData(TQuery*);
//   static const quantora::DeletionRules& Deletion();     (CheckBeforeDeletion, RemoveDetails,
//                                                          Delete)
#pragma once

#include <array>
#include <set>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/ColumnIO.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/QueryGuards.h"

template <class R, size_t N>
class CachedRecord {
  public:
    // The number of columns, given once in the base; Columns() returns a ColumnList built by
    // quantora::MakeColumns, which checks that the list names that many.
    static constexpr size_t kColumnCount = N;
    using ColumnList = std::array<quantora::Column<R>, N>;

    void Reset() {
        ResetFieldPtrs();
        ResetData();
    }
    // The lookups belong to the query's result and go with it; the record holds none.
    void ResetFieldPtrs() {}
    void ResetData() {
        for (const auto& c : Cols()) quantora::detail::ResetMember(self(), c);
        if constexpr (requires(R & r) { r.AfterResetData(); }) self().AfterResetData();
    }

    // Looks up the field of every column on `q` again (null where the result has none).
    void GetFieldPtrs(TQuery* q) { LookUpFields(q); }

    // Reads the current row; false (members reset) at the end of the result.
    bool GetData(TQuery* q) {
        ResetData();
        quantora::detail::CheckOpen(q, R::Table);
        if (q->Eof()) return false;
        TField* const* fields = Fields(q);
        const auto& cols = Cols();
        for (size_t i = 0; i < N; ++i)
            if (!cols[i].hook_read) quantora::detail::ReadIfPresent(self(), cols[i], fields[i]);
        if constexpr (requires(R & r, TQuery * t) { r.AfterGetData(t); }) self().AfterGetData(q);
        return true;
    }

    // Writes the members into the row being edited or inserted; nothing in browse state.
    void SetData(TQuery* q) {
        if (q->State() != dsEdit && q->State() != dsInsert) return;
        TField* const* fields = Fields(q);
        const auto& cols = Cols();
        for (size_t i = 0; i < N; ++i)
            if (fields[i] && quantora::detail::ShouldWrite(self(), cols[i]))
                quantora::detail::WriteMember(self(), cols[i], fields[i]);
        if constexpr (requires(R & r, TQuery * t) { r.AfterSetData(t); }) self().AfterSetData(q);
    }

    // Adds the record as a new row: on `q`, or on a live query of its own on `dbName`. A key
    // of 0 or less is taken from `keyGen` when it can give one.
    void Insert(IntKeyGen* keyGen, const char* dbName, TQuery* q) {
        AutoQuery aq(q, dbName, R::Table);
        OpenerCloser oc(aq.get());
        aq->Insert();
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
    static const ColumnList& Cols() { return R::Columns(); }

    // The field of each column on `q`, in column order (null where absent).
    static TField* const* Fields(const TQuery* q) {
        if (TField* const* f = q->CachedFields(&Cols())) return f;
        return LookUpFields(q);
    }
    static TField* const* LookUpFields(const TQuery* q) {
        std::vector<TField*> fields(N);
        for (size_t i = 0; i < N; ++i) fields[i] = q->FindField(Cols()[i].name);
        return q->CacheFields(&Cols(), std::move(fields));
    }
    // The field of column `i` on `q`, for the table's hooks.
    static TField* Field(const TQuery* q, size_t i) { return Fields(q)[i]; }

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
