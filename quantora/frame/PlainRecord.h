// The plain record variant, without a field cache: Reset, Read (fields looked up by name on
// every call) and Insert (columns written by FieldByName). A record class derives from
// PlainRecord<Self, N> and declares `Columns()` and `Table` as for CachedRecord; optional
// hooks: void AfterRead(TQuery*); void AfterWrite(TQuery*) (after the declared columns);
// static const quantora::DeletionRules& Deletion() (CheckBeforeDeletion, RemoveDetails, Delete).
#pragma once

#include <array>
#include <optional>
#include <set>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/ColumnIO.h"
#include "quantora/frame/Deletion.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/QueryGuards.h"

template <class R, size_t N>
class PlainRecord {
  public:
    // The number of columns, given once in the base; Columns() returns a ColumnList built by
    // quantora::MakeColumns, which checks that the list names that many.
    static constexpr size_t kColumnCount = N;
    using ColumnList = std::array<quantora::Column<R>, N>;

    void Reset() {
        for (const auto& c : R::Columns()) quantora::detail::ResetMember(self(), c);
    }

    bool Read(TQuery* q) {
        Reset();
        quantora::detail::CheckOpen(q, R::Table);
        if (q->Eof()) return false;
        for (const auto& c : R::Columns())
            if (!c.hook_read) quantora::detail::ReadIfPresent(self(), c, q->FindField(c.name));
        if constexpr (requires(R & r, TQuery * t) { r.AfterRead(t); }) self().AfterRead(q);
        return true;
    }

    // A key member above 0 is written as the key; else, when `keyGen` can give one, the key
    // it gives, whatever its value; else the key column is left alone. The member takes the
    // written key only once the row is posted, so a failed post leaves it unchanged.
    void Insert(IntKeyGen* keyGen, const char* dbName, TQuery* q) {
        AutoQuery aq(q, dbName, R::Table);
        OpenerCloser oc(aq.get());
        aq->Insert();
        int* keyMember = nullptr;
        std::optional<int> written;
        for (const auto& c : R::Columns()) {
            if (c.key && c.type == quantora::ColumnType::Int) {
                keyMember = &(self().*c.member.i);
                if (*keyMember > 0)
                    written = *keyMember;
                else if (keyGen && keyGen->CanGenerate())
                    written = keyGen->NextKey();
                if (written) aq->FieldByName(c.name)->SetAsInteger(*written);
                continue;
            }
            if (quantora::detail::ShouldWrite(self(), c))
                quantora::detail::WriteMember(self(), c, aq->FieldByName(c.name));
        }
        if constexpr (requires(R & r, TQuery * t) { r.AfterWrite(t); }) self().AfterWrite(aq.get());
        aq->Post();
        if (written) *keyMember = *written;
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

    // The member of the integer key column.
    int IntKey() const {
        for (const auto& c : R::Columns())
            if (c.key && c.type == quantora::ColumnType::Int)
                return static_cast<const R&>(*this).*c.member.i;
        throw Exception(AnsiString(R::Table) + " has no integer key column");
    }
};
