// The deletion engine: descriptor-driven checks and nulling, detail steps, row deletion.
#include "quantora/frame/Deletion.h"

#include <vector>

#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"

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

}  // namespace

void CheckBeforeDeletion_IntKey(AnsiString dbName, AnsiString table, int key,
                                const ReferringTableInfo_t* info, std::set<AnsiString>* blocking,
                                std::set<AnsiString>* nulled) {
    if (blocking) blocking->clear();
    if (nulled) nulled->clear();
    if (!blocking && !nulled) return;
    if (!info) return;
    TQuery q;
    Prepare(q, dbName);
    for (const ReferringTableInfo_t* d = info; !Ends(*d); ++d) {
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
    TQuery q;
    Prepare(q, dbName);
    for (const ReferringTableInfo_t* d = info; !Ends(*d); ++d) {
        if (d->Kind != NullOnDelete) continue;
        q.SetSQL(Format("update %s set %s_ID=NULL where %s_ID=%d", d->TableName, table.c_str(),
                        table.c_str(), key));
        q.ExecSQL();
    }
}

void DeleteRecord_IntKey(AnsiString dbName, AnsiString table, int key) {
    TQuery q;
    Prepare(q, dbName);
    q.SetSQL(Format("delete from %s where %s_id = %d", table.c_str(), table.c_str(), key));
    q.ExecSQL();
}

namespace quantora {

DeletionRulesBuilder::DeletionRulesBuilder(AnsiString table,
                                           const ReferringTableInfo_t* referrers) {
    rules_.table = Keep(std::move(table));
    rules_.referrers = referrers;
}

const char* DeletionRulesBuilder::Keep(AnsiString text) {
    return texts_.emplace_back(std::move(text)).c_str();
}

DeletionRulesBuilder& DeletionRulesBuilder::Check(AnsiString sql, AnsiString message,
                                                  ReferenceKind target) {
    const char* s = Keep(std::move(sql));
    checks_.push_back({s, Keep(std::move(message)), target});
    rules_.checks = checks_;
    return *this;
}

DeletionRulesBuilder& DeletionRulesBuilder::Detail(AnsiString sql,
                                                   void (*deleteChild)(const AnsiString&, int)) {
    details_.push_back({Keep(std::move(sql)), deleteChild});
    rules_.details = details_;
    return *this;
}

DeletionRulesBuilder& DeletionRulesBuilder::Delete(AnsiString sql) {
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
