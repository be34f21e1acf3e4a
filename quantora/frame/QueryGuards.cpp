// Query guards and the logging statement runner.
#include "quantora/frame/QueryGuards.h"

#include <mutex>
#include <set>
#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/dblayer/internal/ThreadQuery.h"
#include "quantora/frame/SqlNames.h"

using quantora::CheckedSqlName;
using quantora::Format;

OpenerCloser::OpenerCloser(TDataSet* ds) {
    if (ds) SetTable(ds);
}

OpenerCloser::~OpenerCloser() {
    try {
        ReleaseTable();
    } catch (...) {
        // A destructor must not throw; the dataset is left as it is.
    }
}

void OpenerCloser::SetTable(TDataSet* ds) {
    Table = ds;
    WasOpen = ds && ds->Active();
    if (ds) ds->Open();
}

void OpenerCloser::ReleaseTable() {
    if (Table) {
        TDataSet* ds = Table;
        Table = nullptr;
        ds->SetActive(WasOpen);
    }
}

void OpenerCloser::Refresh() {
    if (!Table) return;
    Table->Close();
    Table->Open();
}

AutoQuery::AutoQuery(TQuery* q, const char* dbName, const char* table) {
    if (q) {
        Query = q;
        return;
    }
    if (!dbName)
        throw quantora::MisuseError(
            "AutoQuery: database and/or table name is missing - could not create insert query");
    // The table name is put into SQL text: only a plain identifier is taken.
    if (table) CheckedSqlName(table, "AutoQuery");
    Query = new TQuery(nullptr);
    Owned = true;
    Query->SetDatabaseName(dbName);
    if (table) Query->SetSQL(Format("SELECT * FROM %s", table));
    Query->SetRequestLive(true);
    Query->SetUniDirectional(true);
}

AutoQuery::~AutoQuery() {
    if (!Owned) return;
    Owned = false;
    try {
        Query->Close();
    } catch (...) {
    }
    delete Query;
    Query = nullptr;
}

std::shared_ptr<TQuery> ThreadInsertQuery(const char* dbName, const char* table) {
    CheckedSqlName(table, "ThreadInsertQuery");
    // The thread's queries are found by address: one interned name per table gives one.
    static std::mutex mutex;
    static std::set<AnsiString> names;
    AnsiString name(table);
    for (char& c : name) c = quantora::db::SqlUpper(c);
    const void* key;
    {
        std::lock_guard lock(mutex);
        key = &*names.insert(std::move(name)).first;
    }
    std::shared_ptr<TQuery> q = quantora::db::ThreadQuery(dbName ? dbName : "", key);
    if (!q->Active()) {
        q->SetSQL(Format("SELECT * FROM %s WHERE 1 = 0", table));
        q->SetRequestLive(true);
        q->SetUniDirectional(true);
        q->Open();
    } else if (q->State() != dsBrowse) {
        q->Cancel();  // a row whose post failed is not posted again by the next insert
    }
    return q;
}

AutoDeleteQuery::AutoDeleteQuery(const char* dbName, const char* table)
    : AutoQuery(nullptr, dbName, CheckedSqlName(table, "AutoDeleteQuery")) {
    Query->SetSQL(Format("DELETE FROM %s", table));
    Query->SetRequestLive(false);
    Query->SetUniDirectional(true);
}

SimpleAutoUpdateQuery::SimpleAutoUpdateQuery(const char* dbName, const char* table,
                                             const char* column)
    : AutoQuery(nullptr, dbName, CheckedSqlName(table, "SimpleAutoUpdateQuery")) {
    CheckedSqlName(column, "SimpleAutoUpdateQuery", "column name");
    Query->SetSQL(Format("update %s set %s = :p1 where %s_ID = :p2", table, column, table));
    Query->SetRequestLive(false);
    Query->SetUniDirectional(true);
    for (const char* name : {"p1", "p2"}) {
        TParam* p = Query->ParamByName(name);
        p->SetDataType(ftInteger);
        p->SetParamType(ptInput);
    }
    Query->Prepare();
}

int SimpleAutoUpdateQuery::Update(int id, int value) {
    Query->ParamByName("p1")->SetAsInteger(value);
    Query->ParamByName("p2")->SetAsInteger(id);
    Query->ExecSQL();
    return Query->RowsAffected();
}

int ExecQuery::operator()(const char* sql, bool open) {
    if (!Query || !sql) return -1;
    try {
        Query->Close();
        Query->SetSQL(sql);
        if (Logger) {
            const AnsiString& text = Query->SQL();
            Logger->AddLine(text.size() >= 65 ? (text.substr(0, 65) + "...").c_str()
                                              : text.c_str());
            Logger->Flush();
        }
        if (open)
            Query->Open();
        else
            Query->ExecSQL();
    } catch (const Exception& e) {
        if (Logger) {
            Logger->AddError(Format("SQL: %s\r\nERROR: %s", sql, e.Message.c_str()).c_str(), 0);
            Logger->Flush();
        }
    } catch (const std::exception& e) {
        if (Logger) {
            Logger->AddError(Format("SQL: %s\r\nERROR: %s", sql, e.what()).c_str(), 0);
            Logger->Flush();
        }
    } catch (...) {
        if (Logger) {
            Logger->AddError(Format("SQL: %s\r\nERROR: unhandled exception", sql).c_str(), 0);
            Logger->Flush();
        }
    }
    return Query->RowsAffected();
}

bool ExecQuery::copy(ExecQuery* source, const char* table) {
    CheckedSqlName(table, "ExecQuery::copy");
    if (Logger) {
        Logger->AddLine(Format("Copying table %s", table).c_str());
        Logger->Flush();
    }
    AnsiString sql = Format("select * from %s", table);
    (*this)(sql.c_str(), true);
    (*source)(sql.c_str(), true);
    return copy(source);
}

bool ExecQuery::copy(ExecQuery* source) {
    if (!Query || !source || !source->Query) return false;
    TQuery* src = source->Query;
    src->Open();
    Query->SetRequestLive(true);
    Query->Open();

    // Each source column goes to the first destination column of the same name.
    std::vector<std::pair<TField*, TField*>> map;
    for (int i = 0; i < src->FieldCount(); ++i)
        if (TField* dst = Query->FindField(src->Fields()[i]->FieldName()))
            map.emplace_back(src->Fields()[i], dst);

    while (!src->Eof()) {
        Query->Insert();
        for (auto& [from, to] : map)
            if (!from->IsNull()) to->SetAsVariant(from->AsVariant());
        Query->Post();
        src->Next();
    }
    return true;
}
