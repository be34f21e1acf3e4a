// TQuery: statements from the connection's cache, parameters bound by name, and live results
// posted as INSERT or UPDATE-by-primary-key statements.
#include "quantora/dblayer/TQuery.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/ValueConvert.h"

using quantora::Format;
using namespace quantora::db;

namespace {

void AppendPlaceholder(AnsiString& sql, PlaceholderStyle style, int n) {
    sql += style == PlaceholderStyle::QuestionNumber ? '?' : '$';
    sql += std::to_string(n);
}

}  // namespace

TQuery::~TQuery() {
    Close();
    UnPrepare();
}

void TQuery::SetSQL(const AnsiString& sql) {
    Close();
    UnPrepare();
    sql_ = sql;
    params_.Rebuild(ParameterNames(sql_));
}

void TQuery::SetRequestLive(bool live) {
    if (Active()) Close();
    request_live_ = live;
}

void TQuery::EnsureStatement() {
    if (stmt_) return;
    if (DatabaseName().empty())
        throw EDatabaseError(Format("TQuery: no database name is set [SQL: %s]", sql_.c_str()));
    if (sql_.find_first_not_of(" \t\r\n") == AnsiString::npos)
        throw EDatabaseError("TQuery: the SQL text is empty");
    std::shared_ptr<Connection> conn = ConnectionFor(DatabaseName());
    translated_ = TranslateSql(sql_, conn->Placeholders());
    stmt_ = conn->Checkout(translated_.text);
    conn_ = std::move(conn);
}

void TQuery::ReleaseStatement() noexcept {
    stmt_.Release();
    conn_.reset();
}

void TQuery::Prepare() {
    EnsureStatement();
    prepared_ = true;
}

void TQuery::UnPrepare() noexcept {
    prepared_ = false;
    if (!Active()) ReleaseStatement();
}

void TQuery::BindParams() {
    for (size_t i = 0; i < translated_.param_names.size(); ++i) {
        const TParam* p = params_.FindParam(translated_.param_names[i]);
        if (!p || p->IsNull()) {
            stmt_->Bind(static_cast<int>(i), Variant());
            continue;
        }
        AnsiString what = Format("parameter '%s'", p->Name().c_str());
        stmt_->Bind(static_cast<int>(i), ToStorage(p->Value(), p->DataType(), what.c_str()));
    }
}

void TQuery::ExecSQL() {
    Close();
    EnsureStatement();
    try {
        BindParams();
        stmt_->Execute();
        rows_affected_ = stmt_->Changes();
        stmt_->Reset();
    } catch (...) {
        rows_affected_ = -1;
        if (!prepared_) ReleaseStatement();
        throw;
    }
    if (!prepared_) ReleaseStatement();
}

std::vector<TDataSet::ColumnSpec> TQuery::InternalOpen() {
    rows_affected_ = -1;
    EnsureStatement();
    std::vector<ColumnSpec> cols;
    try {
        BindParams();
        stmt_->Execute();
        int n = stmt_->ColumnCount();
        cols.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const ColumnInfo& c = stmt_->Column(i);
            cols.push_back({c.name, c.type, c.size});
        }
    } catch (...) {
        if (!prepared_) ReleaseStatement();
        throw;
    }
    cursor_ = stmt_.get();
    live_table_ = request_live_ ? SingleSelectTable(sql_) : AnsiString();
    return cols;
}

void TQuery::InternalClose() noexcept {
    if (stmt_) {
        try {
            stmt_->Reset();
        } catch (...) {
        }
    }
    if (!prepared_) ReleaseStatement();
    live_table_.clear();
}

void TQuery::InternalRestart() {
    stmt_->Reset();
    BindParams();
    stmt_->Execute();
}

bool TQuery::InternalStep() {
    return stmt_ && stmt_->Step();
}

bool TQuery::CanModify() const {
    return Active() && !live_table_.empty();
}

void TQuery::InternalPost(bool inserting, const std::vector<Variant>& values,
                          const std::vector<bool>& assigned,
                          const std::vector<Variant>& old_values) {
    const PlaceholderStyle style = conn_->Placeholders();
    AnsiString sql;
    std::vector<const Variant*> binds;
    if (inserting) {
        AnsiString names, marks;
        for (int i = 0; i < FieldCount(); ++i) {
            if (!assigned[static_cast<size_t>(i)]) continue;
            if (!binds.empty()) {
                names += ", ";
                marks += ", ";
            }
            names += Fields()[i]->FieldName();
            binds.push_back(&values[static_cast<size_t>(i)]);
            AppendPlaceholder(marks, style, static_cast<int>(binds.size()));
        }
        sql = binds.empty() ? Format("INSERT INTO %s DEFAULT VALUES", live_table_.c_str())
                            : Format("INSERT INTO %s (%s) VALUES (%s)", live_table_.c_str(),
                                     names.c_str(), marks.c_str());
    } else {
        const std::vector<AnsiString>& key = conn_->PrimaryKey(live_table_);
        if (key.empty())
            throw EDatabaseError(
                Format("Table %s has no primary key: cannot update a row [SQL: %s]",
                       live_table_.c_str(), sql_.c_str()));
        sql = Format("UPDATE %s SET ", live_table_.c_str());
        for (int i = 0; i < FieldCount(); ++i) {
            if (!assigned[static_cast<size_t>(i)]) continue;
            if (!binds.empty()) sql += ", ";
            sql += Fields()[i]->FieldName();
            sql += " = ";
            binds.push_back(&values[static_cast<size_t>(i)]);
            AppendPlaceholder(sql, style, static_cast<int>(binds.size()));
        }
        if (binds.empty()) return;  // nothing was changed
        sql += " WHERE ";
        for (size_t k = 0; k < key.size(); ++k) {
            TField* f = FindField(key[k]);
            if (!f)
                throw EDatabaseError(
                    Format("Cannot update %s: key column %s is not in the result "
                           "[SQL: %s]",
                           live_table_.c_str(), key[k].c_str(), sql_.c_str()));
            if (k) sql += " AND ";
            sql += key[k];
            sql += " = ";
            binds.push_back(&old_values[static_cast<size_t>(f->Index())]);
            AppendPlaceholder(sql, style, static_cast<int>(binds.size()));
        }
    }
    StatementLease st = conn_->Checkout(sql);
    for (size_t i = 0; i < binds.size(); ++i) st->Bind(static_cast<int>(i), *binds[i]);
    st->Execute();
    if (!inserting && st->Changes() != 1)
        throw EDatabaseError(
            Format("Update of %s changed %lld rows instead of one: the row was "
                   "changed or deleted by another user [SQL: %s]",
                   live_table_.c_str(), static_cast<long long>(st->Changes()), sql.c_str()));
}
