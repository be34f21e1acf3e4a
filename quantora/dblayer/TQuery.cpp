// TQuery: statements from the connection's cache, parameters bound by name, and live results
// posted as INSERT or UPDATE-by-primary-key statements.
#include "quantora/dblayer/TQuery.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/LiteralParams.h"
#include "quantora/dblayer/ValueConvert.h"
#include "quantora/dblayer/internal/FaultInjection.h"
#include "quantora/dblayer/internal/SqlShapes.h"

using quantora::Format;
using namespace quantora::db;

namespace {

void AppendPlaceholder(AnsiString& sql, PlaceholderStyle style, int n) {
    sql += style == PlaceholderStyle::QuestionNumber ? '?' : '$';
    sql += std::to_string(n);
}

// Ends the failed execution of a statement the query keeps (prepared, or its last post), so
// that it takes new bindings: an engine may refuse to bind while a failed run is pending.
void ResetAfterFailure(Statement* stmt) noexcept {
    try {
        stmt->Reset();
    } catch (...) {
    }
}

}  // namespace

TQuery::~TQuery() {
    Close();
    UnPrepare();
}

void TQuery::SetSQL(const AnsiString& sql) {
    Close();
    const bool prepared = prepared_ && stmt_;
    if (prepared) engine_before_ = EngineSql();
    sql_ = sql;
    // Translated once here for the parameter list, in the style of the prepared statement or else
    // `?n` (reused by an engine that writes those).
    try {
        Translate(prepared ? translated_style_ : PlaceholderStyle::QuestionNumber);
    } catch (...) {
        UnPrepare();
        throw;
    }
    // The same statement with other bound literals (a key printed into the text): it stays
    // prepared and takes the new values, and the parameters are the same.
    if (prepared && EngineSql() == engine_before_ && SameParams()) return;
    UnPrepare();
    params_.Rebuild(translated_.param_names);
}

bool TQuery::SameParams() const {
    const std::vector<AnsiString>& names = translated_.param_names;
    if (static_cast<int>(names.size()) != params_.Count()) return false;
    for (size_t i = 0; i < names.size(); ++i)
        if (params_[static_cast<int>(i)]->Name() != names[i]) return false;
    return true;
}

void TQuery::Translate(PlaceholderStyle style) {
    translated_style_ = style;
    AnalyseSql(sql_, style, &translated_, &literals_);
}

const AnsiString& TQuery::EngineSql() const {
    return literals_.text.empty() ? translated_.text : literals_.text;
}

// The engine names the statement it prepared. The error names the caller's text instead, and
// its message shows the literals the layer bound as they were written.
void TQuery::RethrowForCaller() const {
    try {
        throw;
    } catch (const EDatabaseError& e) {
        const AnsiString& bound = literals_.text;
        const size_t at = bound.empty() ? AnsiString::npos : e.Message.find(bound);
        if (e.Sql() != EngineSql() && at == AnsiString::npos) throw;
        AnsiString message = e.Message;
        if (at != AnsiString::npos) message.replace(at, bound.size(), translated_.text);
        DbErrorInfo info = e.Info();
        if (info.sql == EngineSql()) info.sql = sql_;
        throw EDatabaseError(std::move(message), std::move(info));
    }
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
    if (conn->Placeholders() != translated_style_) Translate(conn->Placeholders());
    try {
        stmt_ = conn->Checkout(EngineSql());
    } catch (...) {
        RethrowForCaller();
    }
    placeholder_params_.clear();
    for (const AnsiString& name : translated_.param_names)
        placeholder_params_.push_back(params_.FindParam(name));
    conn_ = std::move(conn);
}

void TQuery::ReleaseStatement() noexcept {
    post_stmt_.Release();
    stmt_.Release();
    placeholder_params_.clear();
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
    for (size_t i = 0; i < placeholder_params_.size(); ++i) {
        const TParam* p = placeholder_params_[i];
        if (!p || p->IsNull()) {
            stmt_->Bind(static_cast<int>(i), Variant());
            continue;
        }
        stmt_->Bind(static_cast<int>(i), ToStorage(p->Value(), p->DataType(), p->Name().c_str()));
    }
    int n = static_cast<int>(placeholder_params_.size());
    for (const Variant& v : literals_.values) stmt_->Bind(n++, v);
}

void TQuery::ExecSQL() {
    Close();
    rows_affected_ = -1;  // a statement that fails to prepare must not report the last count
    EnsureStatement();
    try {
        BindParams();
        BeforeStatement(sql_);
        stmt_->Execute();
        rows_affected_ = stmt_->Changes();
        stmt_->Reset();
    } catch (...) {
        rows_affected_ = -1;
        if (prepared_)
            ResetAfterFailure(stmt_.get());
        else
            ReleaseStatement();
        RethrowForCaller();
    }
    if (!prepared_) ReleaseStatement();
}

void TQuery::InternalOpen(std::vector<ColumnSpec>& cols) {
    rows_affected_ = -1;
    EnsureStatement();
    try {
        BindParams();
        ReadAhead();
        BeforeStatement(sql_);
        stmt_->Execute();
        int n = stmt_->ColumnCount();
        cols.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            const ColumnInfo& c = stmt_->Column(i);
            cols.push_back({std::string_view(c.name), c.type, c.size});
        }
    } catch (...) {
        if (prepared_)
            ResetAfterFailure(stmt_.get());
        else
            ReleaseStatement();
        RethrowForCaller();
    }
    cursor_ = stmt_.get();
    live_table_ = request_live_ ? SingleSelectTable(sql_) : AnsiString();
}

void TQuery::InternalClose() noexcept {
    if (stmt_) {
        try {
            stmt_->Reset();
        } catch (...) {
        }
    }
    post_stmt_.Release();
    post_assigned_.clear();
    if (!prepared_) ReleaseStatement();
    live_table_.clear();
}

void TQuery::InternalRestart() {
    try {
        stmt_->Reset();
        BindParams();
        ReadAhead();
        BeforeStatement(sql_);
        stmt_->Execute();
    } catch (...) {
        RethrowForCaller();
    }
}

void TQuery::ReadAhead() {
    // A live result is mostly opened to insert a row: reading one row is enough.
    stmt_->SetReadAhead(request_live_ ? 1 : 0);
}

bool TQuery::InternalStep() {
    try {
        return stmt_ && stmt_->Step();
    } catch (...) {
        RethrowForCaller();
    }
}

bool TQuery::CanModify() const {
    return Active() && !live_table_.empty();
}

void TQuery::InternalPost(bool inserting, const std::vector<Variant>& values,
                          const AssignedColumns& assigned, const std::vector<Variant>& old_values) {
    // The statement is rebuilt only when the kind of post or the set of assigned columns
    // changes, so a run of inserts reuses one prepared statement.
    if (!post_stmt_ || inserting != post_inserting_ || assigned != post_assigned_) {
        post_stmt_.Release();
        post_inserting_ = inserting;
        post_assigned_ = assigned;
        post_key_fields_.clear();
        AnsiString sql = inserting ? BuildInsertSql(assigned) : BuildUpdateSql(assigned);
        if (sql.empty()) return;  // an edit that changed nothing
        post_stmt_ = conn_->Checkout(sql);
    }
    int n = 0;
    for (size_t i = 0; i < values.size(); ++i)
        if (assigned[i]) post_stmt_->BindUntilReset(n++, values[i]);
    for (int k : post_key_fields_)
        post_stmt_->BindUntilReset(n++, old_values[static_cast<size_t>(k)]);
    try {
        BeforeStatement(post_stmt_->Sql());
        post_stmt_->Execute();
    } catch (...) {
        ResetAfterFailure(post_stmt_.get());
        throw;
    }
    int64_t changed = post_stmt_->Changes();
    post_stmt_->Reset();
    if (!inserting && changed != 1)
        throw EDatabaseError(Format(
            "Update of %s changed %lld rows instead of one: the row was "
            "changed or deleted by another user [SQL: %s]",
            live_table_.c_str(), static_cast<long long>(changed), post_stmt_->Sql().c_str()));
}

AnsiString TQuery::BuildInsertSql(const AssignedColumns& assigned) const {
    const PlaceholderStyle style = conn_->Placeholders();
    AnsiString names, marks;
    int n = 0;
    for (int i = 0; i < FieldCount(); ++i) {
        if (!assigned[static_cast<size_t>(i)]) continue;
        if (n) {
            names += ", ";
            marks += ", ";
        }
        names += Fields()[i]->FieldName();
        AppendPlaceholder(marks, style, ++n);
    }
    if (!n) return Format("INSERT INTO %s DEFAULT VALUES", live_table_.c_str());
    return Format("INSERT INTO %s (%s) VALUES (%s)", live_table_.c_str(), names.c_str(),
                  marks.c_str());
}

AnsiString TQuery::BuildUpdateSql(const AssignedColumns& assigned) {
    const std::vector<AnsiString>& key = conn_->PrimaryKey(live_table_);
    if (key.empty())
        throw EDatabaseError(Format("Table %s has no primary key: cannot update a row [SQL: %s]",
                                    live_table_.c_str(), sql_.c_str()));
    const PlaceholderStyle style = conn_->Placeholders();
    AnsiString sql = Format("UPDATE %s SET ", live_table_.c_str());
    int n = 0;
    for (int i = 0; i < FieldCount(); ++i) {
        if (!assigned[static_cast<size_t>(i)]) continue;
        if (n) sql += ", ";
        sql += Fields()[i]->FieldName();
        sql += " = ";
        AppendPlaceholder(sql, style, ++n);
    }
    if (!n) return AnsiString();
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
        AppendPlaceholder(sql, style, ++n);
        post_key_fields_.push_back(f->Index());
    }
    return sql;
}
