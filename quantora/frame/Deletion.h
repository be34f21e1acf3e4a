// Deletion checking and referential clean-up. A table describes the tables that refer to it in
// a constant descriptor array and its dependent rows as a list of detail steps; one engine
// reports referring rows, deletes details, nulls references and deletes the row.
#pragma once

#include <deque>
#include <set>
#include <span>
#include <vector>

#include "quantora/base/Types.h"

enum ReferenceKind : unsigned char {
    Blocking = 0,      // reported as a blocking problem; nothing is done to the row
    NullOnDelete = 1,  // reported; the deletion sets the reference to null
    Detail = 2,        // neither reported nor nulled; RemoveDetails deletes the row
};

struct ReferringTableInfo_t {
    ReferenceKind Kind;
    const char* TableName;      // null or empty ends the array
    const char* DisplayColumn;  // shown in reports, usually NAME
    const char* RefColumn;      // null or empty: "<table>_ID"
};

// Table and column names (the table argument and the descriptors' names) go into SQL text and
// must be plain identifiers (quantora::IsSqlName); others throw an Exception before the
// statement that would use them runs.
//
// Fills `blocking` with the kind-0 referrers and `nulled` with the kind-1 referrers of row
// `key` of `table`, as "%s ID=%d of '%s'" reports. Either set may be null.
void CheckBeforeDeletion_IntKey(AnsiString dbName, AnsiString table, int key,
                                const ReferringTableInfo_t* info, std::set<AnsiString>* blocking,
                                std::set<AnsiString>* nulled);
// Sets every kind-1 reference to row `key` to null.
void NullReferences_IntKey(AnsiString dbName, AnsiString table, int key,
                           const ReferringTableInfo_t* info);
// Deletes row `key` of `table`.
void DeleteRecord_IntKey(AnsiString dbName, AnsiString table, int key);

namespace quantora {

// One step of a table's RemoveDetails, run with the record's key as the "%d" of `sql`.
struct DetailStep {
    const char* sql;
    // When set, `sql` selects the keys of child rows (first column), each deleted through this
    // function with its own cascade; otherwise `sql` is executed.
    void (*delete_child)(const AnsiString& dbName, int childKey) = nullptr;
};

// A check of a table's own: `sql` run with the record's key as its "%d"; every row gives the
// report `message` filled with the first column as an integer and the second as a string.
struct CheckStep {
    const char* sql;
    const char* message;   // e.g. "MEASUREMENT ID=%d of '%s'"
    ReferenceKind target;  // Blocking: into the blocking set; NullOnDelete: into the nulled set
};

struct DeletionRules {
    const char* table;
    const ReferringTableInfo_t* referrers = nullptr;  // standard check and nulling
    std::span<const DetailStep> details{};            // RemoveDetails, in order
    std::span<const CheckStep> checks{};              // own checks, after the referrers'
    // The statements of Delete after RemoveDetails, each with the key as its "%d"; when empty,
    // the references are nulled and the row deleted by the standard statements.
    std::span<const char* const> deletes{};
};

// Deletion rules whose texts are made at run time (repeated per table or per analysis kind):
// keeps the texts and the step lists alive and hands out the rules pointing at them. The table
// must be a plain identifier, every statement must take exactly one "%d" and every report
// format a "%d" and at most one "%s" after it ("%%" aside); others throw an Exception.
class DeletionRulesBuilder {
  public:
    explicit DeletionRulesBuilder(AnsiString table,
                                  const ReferringTableInfo_t* referrers = nullptr);
    DeletionRulesBuilder(const DeletionRulesBuilder&) = delete;
    DeletionRulesBuilder& operator=(const DeletionRulesBuilder&) = delete;

    DeletionRulesBuilder& Check(AnsiString sql, AnsiString message, ReferenceKind target);
    DeletionRulesBuilder& Detail(AnsiString sql,
                                 void (*deleteChild)(const AnsiString&, int) = nullptr);
    DeletionRulesBuilder& Delete(AnsiString sql);

    // Valid as long as the builder; steps added later show in it.
    const DeletionRules& Rules() const { return rules_; }

  private:
    const char* Keep(AnsiString text);

    std::deque<AnsiString> texts_;  // stable addresses while growing
    std::vector<CheckStep> checks_;
    std::vector<DetailStep> details_;
    std::vector<const char*> deletes_;
    DeletionRules rules_;
};

void CheckBeforeDeletion(const DeletionRules& rules, const AnsiString& dbName, int key,
                         std::set<AnsiString>* blocking, std::set<AnsiString>* nulled);
void RemoveDetails(const DeletionRules& rules, const AnsiString& dbName, int key);
// RemoveDetails, then the nulling of the references, then the row itself. Never checks.
void DeleteWithDetails(const DeletionRules& rules, const AnsiString& dbName, int key);

}  // namespace quantora
