// The deletion engine: descriptor-driven checks and nulling, detail steps, row deletion.
#include "quantora/frame/Deletion.h"

#include <string_view>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/SqlNames.h"

using quantora::CheckedSqlName;
using quantora::Format;

namespace {

// A query of the library's own: not live, forward-only.
void Prepare(TQuery& q, const AnsiString& dbName) {
    q.SetDatabaseName(dbName);
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
}

bool Ends(const ReferringTableInfo_t& d) {
    return !d.TableName || !*d.TableName;
}

// The names of a descriptor go into SQL text: plain identifiers only.
void CheckDescriptor(const ReferringTableInfo_t& d, const char* context, bool display) {
    CheckedSqlName(d.TableName, context);
    if (display) CheckedSqlName(d.DisplayColumn, context, "column name");
    if (d.RefColumn && *d.RefColumn) CheckedSqlName(d.RefColumn, context, "column name");
}

}  // namespace

void CheckBeforeDeletion_IntKey(AnsiString dbName, AnsiString table, int key,
                                const ReferringTableInfo_t* info, std::set<AnsiString>* blocking,
                                std::set<AnsiString>* nulled) {
    if (blocking) blocking->clear();
    if (nulled) nulled->clear();
    if (!blocking && !nulled) return;
    if (!info) return;
    CheckedSqlName(table, "CheckBeforeDeletion_IntKey");
    TQuery q;
    Prepare(q, dbName);
    for (const ReferringTableInfo_t* d = info; !Ends(*d); ++d) {
        CheckDescriptor(*d, "CheckBeforeDeletion_IntKey", true);
        q.Close();
        AnsiString ref = d->RefColumn && *d->RefColumn ? AnsiString(d->RefColumn)
                                                       : Format("%s_ID", table.c_str());
        q.SetSQL(Format("SELECT %s_ID, %s FROM %s WHERE %s = %d", d->TableName, d->DisplayColumn,
                        d->TableName, ref.c_str(), key));
        q.Open();
        std::set<AnsiString>* target = d->Kind == Blocking       ? blocking
                                       : d->Kind == NullOnDelete ? nulled
                                                                 : nullptr;
        for (; !q.Eof(); q.Next()) {
            AnsiString shown = q.Fields()[1]->AsString();
            int id = q.Fields()[0]->AsInteger();
            if (target) target->insert(Format("%s ID=%d of '%s'", d->TableName, id, shown.c_str()));
        }
    }
}

void NullReferences_IntKey(AnsiString dbName, AnsiString table, int key,
                           const ReferringTableInfo_t* info) {
    if (!info) return;
    CheckedSqlName(table, "NullReferences_IntKey");
    TQuery q;
    Prepare(q, dbName);
    for (const ReferringTableInfo_t* d = info; !Ends(*d); ++d) {
        if (d->Kind != NullOnDelete) continue;
        CheckDescriptor(*d, "NullReferences_IntKey", false);
        q.SetSQL(Format("update %s set %s_ID=NULL where %s_ID=%d", d->TableName, table.c_str(),
                        table.c_str(), key));
        q.ExecSQL();
    }
}

void DeleteRecord_IntKey(AnsiString dbName, AnsiString table, int key) {
    CheckedSqlName(table, "DeleteRecord_IntKey");
    TQuery q;
    Prepare(q, dbName);
    q.SetSQL(Format("delete from %s where %s_id = %d", table.c_str(), table.c_str(), key));
    q.ExecSQL();
}

namespace quantora {

namespace {

// Texts made at run time are used as printf formats: each must take exactly the key (and, for a
// report, the display text), or filling it would read arguments that are not there.
const char* CheckedFormat(const AnsiString& text, std::string_view conversions,
                          std::string_view alternative, const char* what) {
    if (FormatTakes(text.c_str(), conversions) ||
        (!alternative.empty() && FormatTakes(text.c_str(), alternative)))
        return text.c_str();
    throw quantora::MisuseError(
        Format("DeletionRulesBuilder: the %s '%s' must take %s", what, ShownName(text).c_str(),
               alternative.empty() ? "one %d" : "one %d and at most one %s after it"));
}

}  // namespace

DeletionRulesBuilder::DeletionRulesBuilder(AnsiString table,
                                           const ReferringTableInfo_t* referrers) {
    CheckedSqlName(table, "DeletionRulesBuilder");
    rules_.table = Keep(std::move(table));
    rules_.referrers = referrers;
}

const char* DeletionRulesBuilder::Keep(AnsiString text) {
    return texts_.emplace_back(std::move(text)).c_str();
}

DeletionRulesBuilder& DeletionRulesBuilder::Check(AnsiString sql, AnsiString message,
                                                  ReferenceKind target) {
    CheckedFormat(sql, "d", "", "statement");
    CheckedFormat(message, "ds", "d", "report format");
    const char* s = Keep(std::move(sql));
    checks_.push_back({s, Keep(std::move(message)), target});
    rules_.checks = checks_;
    return *this;
}

DeletionRulesBuilder& DeletionRulesBuilder::Detail(AnsiString sql,
                                                   void (*deleteChild)(const AnsiString&, int)) {
    CheckedFormat(sql, "d", "", "statement");
    details_.push_back({Keep(std::move(sql)), deleteChild});
    rules_.details = details_;
    return *this;
}

DeletionRulesBuilder& DeletionRulesBuilder::Delete(AnsiString sql) {
    CheckedFormat(sql, "d", "", "statement");
    deletes_.push_back(Keep(std::move(sql)));
    rules_.deletes = deletes_;
    return *this;
}

void CheckBeforeDeletion(const DeletionRules& rules, const AnsiString& dbName, int key,
                         std::set<AnsiString>* blocking, std::set<AnsiString>* nulled) {
    CheckBeforeDeletion_IntKey(dbName, rules.table, key, rules.referrers, blocking, nulled);
    if (rules.checks.empty() || (!blocking && !nulled)) return;
    TQuery q;
    Prepare(q, dbName);
    for (const CheckStep& step : rules.checks) {
        std::set<AnsiString>* target = step.target == Blocking ? blocking : nulled;
        q.Close();
        q.SetSQL(Format(step.sql, key));
        q.Open();
        for (; !q.Eof(); q.Next()) {
            if (!target) continue;
            int id = q.Fields()[0]->AsInteger();
            // A report without a display column ("... ID=%d") ignores the empty text.
            AnsiString shown = q.FieldCount() > 1 ? q.Fields()[1]->AsString() : AnsiString();
            target->insert(Format(step.message, id, shown.c_str()));
        }
    }
}

void RemoveDetails(const DeletionRules& rules, const AnsiString& dbName, int key) {
    TQuery q;
    Prepare(q, dbName);
    for (const DetailStep& step : rules.details) {
        q.Close();
        q.SetSQL(Format(step.sql, key));
        if (!step.delete_child) {
            q.ExecSQL();
            continue;
        }
        // The child keys are read first: the children's own cascades then change the table.
        std::vector<int> children;
        for (q.Open(); !q.Eof(); q.Next()) children.push_back(q.Fields()[0]->AsInteger());
        q.Close();
        for (int child : children) step.delete_child(dbName, child);
    }
}

void DeleteWithDetails(const DeletionRules& rules, const AnsiString& dbName, int key) {
    // A bad table name stops the cascade before its first statement, not half-way.
    if (rules.deletes.empty()) CheckedSqlName(rules.table, "DeleteWithDetails");
    RemoveDetails(rules, dbName, key);
    if (rules.deletes.empty()) {
        NullReferences_IntKey(dbName, rules.table, key, rules.referrers);
        DeleteRecord_IntKey(dbName, rules.table, key);
        return;
    }
    TQuery q;
    Prepare(q, dbName);
    for (const char* sql : rules.deletes) {
        q.Close();
        q.SetSQL(Format(sql, key));
        q.ExecSQL();
    }
}

}  // namespace quantora
