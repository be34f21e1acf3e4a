// PostgreSQL connections: connecting, the transaction block shared by open cursors and explicit
// transactions, transaction control, recovery after failures.
#include "quantora/dblayer/postgres/PgConnection.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/postgres/PgErrors.h"
#include "quantora/dblayer/postgres/PgStatement.h"
#include "quantora/dblayer/postgres/PostgresBackend.h"

namespace quantora::db {

const EngineEntry kPostgresEngine = {
    "postgresql://user@host:port/db",
    [](std::string_view uri) {
        return uri.rfind("postgresql:", 0) == 0 || uri.rfind("postgres://", 0) == 0;
    },
    [](std::string_view) { return std::string_view(); },
    [](std::string_view uri, bool readOnly) -> std::shared_ptr<Connection> {
        // A libpq URI keeps its scheme; "postgresql:host=... dbname=..." is a keyword string
        // after the prefix.
        const bool keywords =
            uri.rfind("postgresql:", 0) == 0 && uri.rfind("postgresql://", 0) != 0;
        return std::make_shared<pg::PgConnection>(AnsiString(keywords ? uri.substr(11) : uri),
                                                  readOnly);
    },
};

namespace pg {
namespace {

constexpr const char* kTxSavepoint = "qdb_tx";

// Output forms the value decoding relies on, whatever the server's defaults are.
constexpr const char* kSessionSetup =
    "SET DateStyle = 'ISO, YMD'; SET IntervalStyle = 'postgres'; SET bytea_output = 'hex'; "
    "SET extra_float_digits = 1; SET client_encoding = 'UTF8'; "
    "SET standard_conforming_strings = on; SET client_min_messages = warning; "
    // What a commit reports is on the server's disk, whatever the server's default.
    "SET synchronous_commit = on";

// Columns of a table's primary key in key order; the name matches like an unquoted name, or
// else without regard to case.
constexpr const char* kPrimaryKeySql =
    "SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND "
    "a.attnum = ANY (i.indkey) WHERE i.indisprimary AND i.indrelid = COALESCE(to_regclass($1), "
    "(SELECT c.oid FROM pg_class c WHERE lower(c.relname) = lower($1) AND "
    "pg_table_is_visible(c.oid) ORDER BY c.oid LIMIT 1)) "
    "ORDER BY array_position(i.indkey::int2[], a.attnum)";

void IgnoreNotice(void*, const char*) {}

AnsiString Trimmed(const char* text) {
    AnsiString s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

AnsiString QuoteIdent(const AnsiString& name) {
    AnsiString q = "\"";
    for (char c : name) {
        q += c;
        if (c == '"') q += '"';
    }
    q += '"';
    return q;
}

const char* kLostMessage =
    "PostgreSQL: the connection to the server was lost and the open transaction with it";

DbErrorInfo Lost(const AnsiString& sql = {}) {
    DbErrorInfo info = SqlStateErrorInfo("", true);
    info.sql = sql;
    return info;
}

// The session settings and the prepared guard commands.
void SetUpSession(PGconn* c, bool readOnly) {
    ServerError e;
    auto run = [&](PGresult* r) {
        const bool done = r && PQresultStatus(r) == PGRES_COMMAND_OK;
        if (!done) e = ErrorOf(c, r);
        PQclear(r);
        return done;
    };
    if (run(PQexec(c, kSessionSetup)) &&
        (!readOnly || run(PQexec(c, "SET default_transaction_read_only = on"))) &&
        run(PQprepare(c, kGuardOpen, kGuardOpenSql, 0, nullptr)) &&
        run(PQprepare(c, kGuardRelease, kGuardReleaseSql, 0, nullptr)))
        return;
    throw EDatabaseError(Format("PostgreSQL: cannot set up the session: %s", e.message.c_str()),
                         SqlStateErrorInfo(e.sqlstate, true));
}

}  // namespace

PgConnection::PgConnection(const AnsiString& conninfo, bool readOnly)
    : conninfo_(conninfo), read_only_(readOnly) {
    pg_ = Connect();
    epoch_ = 1;
}

PgConnection::~PgConnection() {
    ClearStatementCache();
    Settle();
    PQfinish(pg_);
}

PGconn* PgConnection::Connect() {
    // The connection string comes last so that its settings win.
    const char* keys[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
    const char* values[] = {"10", "quantora", conninfo_.c_str(), nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 1);
    if (!c) throw EDatabaseError("PostgreSQL: cannot connect: out of memory");
    if (PQstatus(c) != CONNECTION_OK) {
        AnsiString msg = Trimmed(PQerrorMessage(c));
        PQfinish(c);
        throw EDatabaseError(Format("PostgreSQL: cannot connect: %s", msg.c_str()), Lost());
    }
    PQsetNoticeProcessor(c, IgnoreNotice, nullptr);
    try {
        SetUpSession(c, read_only_);
    } catch (...) {
        PQfinish(c);
        throw;
    }
    return c;
}

void PgConnection::RestoreSession() {
    Settle();
    ++epoch_;
    deallocs_.clear();
    SetUpSession(pg_, read_only_);
}

void PgConnection::Reconnect() {
    PGconn* c = Connect();
    PQfinish(pg_);
    pg_ = c;
    ++epoch_;
    deallocs_.clear();
    detached_syncs_ = 0;
}

AnsiString PgConnection::NewName(const char* prefix) {
    return Format("%s%llu", prefix, static_cast<unsigned long long>(++next_id_));
}

void PgConnection::Throw(const ServerError& e, const AnsiString& sql) {
    AnsiString msg = e.sqlstate.empty()
                         ? Format("PostgreSQL error: %s [SQL: %s]", e.message.c_str(), sql.c_str())
                         : Format("PostgreSQL error %s: %s [SQL: %s]", e.sqlstate.c_str(),
                                  e.message.c_str(), sql.c_str());
    // A failure that could not be reported where it happened goes with this one.
    if (!deferred_error_.empty()) {
        msg += "; ";
        msg += deferred_error_;
        deferred_error_.clear();
    }
    DbErrorInfo info = SqlStateErrorInfo(e.sqlstate, PQstatus(pg_) != CONNECTION_OK);
    info.sql = sql;
    throw EDatabaseError(msg, std::move(info));
}

AnsiString PgConnection::TakeDeferredError() {
    AnsiString msg;
    msg.swap(deferred_error_);
    return msg;
}

void PgConnection::CollectAhead() noexcept {
    if (PgStatement* st = std::exchange(ahead_, nullptr)) st->CollectAhead();
}

Pipeline PgConnection::StartPipeline() {
    CollectAhead();
    int syncs = detached_syncs_;
    detached_syncs_ = 0;
    return Pipeline(pg_, syncs);
}

void PgConnection::Settle() noexcept {
    CollectAhead();
    if (detached_syncs_ == 0) return;
    int syncs = detached_syncs_;
    detached_syncs_ = 0;
    // The only detached command is the COMMIT of a block that changed nothing: its failure
    // loses nothing, a broken connection is noticed here.
    ServerError e;
    if (!DrainDetached(pg_, syncs, e) && PQstatus(pg_) != CONNECTION_OK) ConnectionLost();
}

void PgConnection::Ready() {
    CollectAhead();  // before anyone looks at the block's state
    // A server that ended the session (terminated, shut down) has said so already: outside a
    // block, reading what is waiting (its last message, then the end of the stream) notices it
    // before a command is sent, so the command goes to a new connection. In a block the loss
    // is reported by the command itself.
    for (int i = 0; i < 2 && !block_ && PQstatus(pg_) == CONNECTION_OK; ++i) PQconsumeInput(pg_);
    if (PQstatus(pg_) != CONNECTION_OK) {
        ConnectionLost();
        if (!lost_) Reconnect();
    }
    if (lost_) throw EDatabaseError(kLostMessage, Lost());
    if (!deferred_error_.empty()) {
        AnsiString msg;
        msg.swap(deferred_error_);
        throw EDatabaseError(msg, deferred_info_);
    }
}

void PgConnection::SendDetached(const char* sql) {
    if (PQstatus(pg_) != CONNECTION_OK) return;
    try {
        Pipeline p(pg_);
        p.Command(sql);
        detached_syncs_ += p.SendDetached();
    } catch (...) {
        // A broken connection is noticed at the next use.
    }
}

bool PgConnection::Exec(const AnsiString& sql, ServerError& error) {
    Settle();
    PGresult* r = PQexec(pg_, sql.c_str());
    ExecStatusType st = r ? PQresultStatus(r) : PGRES_FATAL_ERROR;
    bool ok = st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
    if (!ok) {
        error = ErrorOf(pg_, r);
    } else if (sql == "COMMIT" && std::strcmp(PQcmdStatus(r), "ROLLBACK") == 0) {
        // COMMIT of a failed transaction rolls it back without an error.
        ok = false;
        error.message = "the transaction had failed and was rolled back";
        error.sqlstate = "40000";
    }
    PQclear(r);
    return ok;
}

void PgConnection::ExecOrThrow(const AnsiString& sql, const AnsiString& shown) {
    ServerError e;
    if (Exec(sql, e)) return;
    Recover(false);
    Throw(e, shown);
}

bool PgConnection::FetchNeedsGuard(const PgStatement* self) const {
    return block_ &&
           (dirty_ || !explicit_.empty() || cursors_.size() != 1 || cursors_.front() != self);
}

void PgConnection::AddHousekeeping(Pipeline& p) {
    if (block_) {
        for (const AnsiString& name : closes_) {
            AnsiString sql = "CLOSE " + name;
            p.Command(sql.c_str());
        }
        closes_.clear();
        return;
    }
    if (deallocs_.empty()) return;
    for (const AnsiString& name : deallocs_) {
        AnsiString sql = "DEALLOCATE " + name;
        p.Command(sql.c_str(), false);
    }
    p.Sync();
    deallocs_.clear();
}

void PgConnection::FlushCloses() {
    if (!block_ || closes_.empty() || PQstatus(pg_) != CONNECTION_OK) return;
    Pipeline p = StartPipeline();
    AddHousekeeping(p);
    if (!p.Run()) Recover(false);
}

void PgConnection::Forget(const AnsiString& name, uint64_t epoch) {
    if (epoch == epoch_) deallocs_.push_back(name);
}

void PgConnection::CursorOpened(PgStatement* st) {
    st->cursor_depth = static_cast<int>(explicit_.size());
    cursors_.push_back(st);
}

void PgConnection::CursorFinished(PgStatement* st, bool may_throw) {
    auto it = std::find(cursors_.begin(), cursors_.end(), st);
    if (it == cursors_.end()) return;
    cursors_.erase(it);
    if (!block_) return;
    if (explicit_.empty() && cursors_.empty()) {
        EndBlockIfIdle(may_throw);
        return;
    }
    // The block goes on: the CLOSE travels with the next command.
    closes_.push_back(st->cursor_name());
}

void PgConnection::EndBlockIfIdle(bool may_throw) {
    if (!block_ || !explicit_.empty() || !cursors_.empty()) return;
    bool dirty = dirty_;
    BlockEnded();
    if (!dirty) {
        // Nothing but reading happened: no need to wait for the commit.
        SendDetached("COMMIT");
        return;
    }
    // Changes are committed before the caller goes on, so that whatever it does next (tell
    // another thread, say) sees them committed.
    ServerError e;
    if (Exec("COMMIT", e)) return;
    if (PQstatus(pg_) != CONNECTION_OK) ConnectionLost();
    AnsiString msg = Format(
        "PostgreSQL error %s: %s [SQL: COMMIT of the statements run while a "
        "result was open]",
        e.sqlstate.c_str(), e.message.c_str());
    DbErrorInfo info = SqlStateErrorInfo(e.sqlstate, PQstatus(pg_) != CONNECTION_OK);
    if (may_throw) throw EDatabaseError(msg, std::move(info));
    if (deferred_error_.empty()) {
        deferred_error_ = msg;
        deferred_info_ = std::move(info);
    }
}

void PgConnection::KillCursors(int min_depth) {
    auto dead = [min_depth](PgStatement* st) {
        if (st->cursor_depth < min_depth) return false;
        st->KillCursor();
        return true;
    };
    cursors_.erase(std::remove_if(cursors_.begin(), cursors_.end(), dead), cursors_.end());
}

void PgConnection::ClampCursorDepths(int depth) {
    for (PgStatement* st : cursors_) st->cursor_depth = std::min(st->cursor_depth, depth);
}

void PgConnection::ConnectionLost() noexcept {
    CollectAhead();
    if (block_ && dirty_ && explicit_.empty() && deferred_error_.empty()) {
        deferred_error_ =
            "PostgreSQL: the connection to the server was lost before the statements run while "
            "a result was open were committed";
        deferred_info_ = Lost();
    }
    KillCursors(0);
    BlockEnded();
    lost_ = lost_ || !explicit_.empty();
    detached_syncs_ = 0;
    deallocs_.clear();
}

void PgConnection::AbortBlock() noexcept {
    KillCursors(0);
    BlockEnded();
    lost_ = lost_ || !explicit_.empty();
}

void PgConnection::Recover(bool guarded) {
    if (PQstatus(pg_) != CONNECTION_OK) {
        ConnectionLost();
        return;
    }
    PGTransactionStatusType ts = PQtransactionStatus(pg_);
    if (ts == PQTRANS_INERROR) {
        ServerError e;
        if (guarded && Exec(kGuardRollbackSql, e)) return;
        Exec("ROLLBACK", e);
        AbortBlock();
    } else if (ts == PQTRANS_IDLE && block_) {
        AbortBlock();
    }
}

void PgConnection::Reconcile() {
    PGTransactionStatusType ts = PQtransactionStatus(pg_);
    if (ts == PQTRANS_INTRANS && !block_) {
        // A statement the layer does not read as transaction control began a transaction.
        block_ = true;
        explicit_.push_back(Level{});
    } else if (ts == PQTRANS_IDLE && block_) {
        // ... or ended one.
        KillCursors(0);
        explicit_.clear();
        BlockEnded();
    }
}

size_t PgConnection::FindSavepoint(const AnsiString& name, const AnsiString& sql) const {
    for (size_t k = explicit_.size(); k-- > 1;)
        if (explicit_[k].savepoint == name) return k;
    throw EDatabaseError(
        Format("PostgreSQL: no such savepoint '%s' [SQL: %s]", name.c_str(), sql.c_str()));
}

void PgConnection::ControlWhileLost(const ControlStatement& c, const AnsiString& sql) {
    // The server has rolled the transaction back already; what is left is to end it here.
    if (c.op == ControlStatement::Op::Rollback) {
        explicit_.clear();
        lost_ = false;
        return;
    }
    if (c.op == ControlStatement::Op::Commit) {
        explicit_.clear();
        lost_ = false;
    }
    throw EDatabaseError(Format("%s [SQL: %s]", kLostMessage, sql.c_str()), Lost(sql));
}

void PgConnection::Control(const ControlStatement& c, const AnsiString& sql) {
    using Op = ControlStatement::Op;
    Settle();
    if (PQstatus(pg_) != CONNECTION_OK) ConnectionLost();
    if (lost_) {
        ControlWhileLost(c, sql);
        return;
    }
    // A savepoint rolled back may take cursors with it: what is owed to them is paid first.
    FlushCloses();
    if (c.op != Op::Begin && explicit_.empty()) {
        const char* what = c.op == Op::Commit     ? "cannot commit"
                           : c.op == Op::Rollback ? "cannot roll back"
                                                  : "cannot use a savepoint";
        throw EDatabaseError(
            Format("PostgreSQL: %s: no transaction is active [SQL: %s]", what, sql.c_str()));
    }
    switch (c.op) {
        case Op::Begin:
            if (!explicit_.empty())
                throw EDatabaseError(
                    Format("PostgreSQL: cannot start a transaction within a transaction [SQL: %s]",
                           sql.c_str()));
            Ready();
            if (!block_) {
                ExecOrThrow(c.begin_sql, sql);
                block_ = true;
                dirty_ = false;
                explicit_.push_back(Level{});
            } else {
                // Open results hold an implicit block: the transaction is a part of it.
                ExecOrThrow(Format("SAVEPOINT %s", kTxSavepoint), sql);
                explicit_.push_back(Level{kTxSavepoint});
            }
            break;
        case Op::Commit:
            if (cursors_.empty()) {
                explicit_.clear();
                BlockEnded();
                ServerError e;
                if (!Exec("COMMIT", e)) {
                    if (PQstatus(pg_) != CONNECTION_OK) ConnectionLost();
                    Throw(e, sql);
                }
            } else {
                // Results opened earlier are still read: the block goes on and commits when
                // they are closed.
                if (!explicit_.front().savepoint.empty())
                    ExecOrThrow(Format("RELEASE SAVEPOINT %s", kTxSavepoint), sql);
                explicit_.clear();
                dirty_ = true;
                ClampCursorDepths(0);
            }
            break;
        case Op::Rollback:
            if (explicit_.front().savepoint.empty()) {
                explicit_.clear();
                KillCursors(0);
                BlockEnded();
                ServerError e;
                if (!Exec("ROLLBACK", e)) {
                    if (PQstatus(pg_) != CONNECTION_OK) ConnectionLost();
                    Throw(e, sql);
                }
            } else {
                ExecOrThrow(Format("ROLLBACK TO SAVEPOINT %s; RELEASE SAVEPOINT %s", kTxSavepoint,
                                   kTxSavepoint),
                            sql);
                explicit_.clear();
                KillCursors(1);
                EndBlockIfIdle(true);
            }
            break;
        case Op::Savepoint:
            ExecOrThrow("SAVEPOINT " + QuoteIdent(c.savepoint), sql);
            explicit_.push_back(Level{c.savepoint});
            break;
        case Op::Release: {
            size_t k = FindSavepoint(c.savepoint, sql);
            ExecOrThrow("RELEASE SAVEPOINT " + QuoteIdent(c.savepoint), sql);
            explicit_.resize(k);
            ClampCursorDepths(static_cast<int>(k));
            break;
        }
        case Op::RollbackTo: {
            size_t k = FindSavepoint(c.savepoint, sql);
            ExecOrThrow("ROLLBACK TO SAVEPOINT " + QuoteIdent(c.savepoint), sql);
            explicit_.resize(k + 1);
            KillCursors(static_cast<int>(k) + 1);
            break;
        }
    }
}

void PgConnection::ExecDirect(const AnsiString& sql) {
    ControlStatement c;
    if (ClassifyStatement(sql) == StatementKind::Control && ParseControl(sql, c)) {
        Control(c, sql);
        return;
    }
    Ready();
    AnsiString text = IsDdl(sql) ? pg::TranslateDdl(sql) : sql;
    if (!block_) {
        ServerError e;
        if (!Exec(text, e)) {
            Recover(false);
            Throw(e, sql);
        }
        Reconcile();
        return;
    }
    Pipeline p = StartPipeline();
    AddHousekeeping(p);
    OpenGuard(p);
    p.Command(text.c_str());
    CloseGuard(p);
    if (!p.Run()) {
        ServerError e = p.error();
        Recover(true);
        Throw(e, sql);
    }
    MarkDirty();
    Reconcile();
}

std::unique_ptr<Statement> PgConnection::Prepare(const AnsiString& sql) {
    return std::make_unique<PgStatement>(*this, sql);
}

void PgConnection::RefuseWrites() {
    // Kept for the sessions of later reconnections too.
    read_only_ = true;
    ExecDirect("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
}

std::vector<AnsiString> PgConnection::TableNames() {
    PgStatement st(*this,
                   "SELECT tablename FROM pg_catalog.pg_tables WHERE schemaname = ANY "
                   "(current_schemas(false)) ORDER BY tablename",
                   true);
    st.Execute();
    std::vector<AnsiString> out;
    while (st.Step()) out.emplace_back(st.GetText(0));
    return out;
}

void PgConnection::LockKeysForTransaction(int space, std::span<const int> keys) {
    std::vector<int> sorted(keys.begin(), keys.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    // The lock function returns void: the query counts its row, an ordinary integer, instead.
    StatementLease st =
        Checkout("SELECT COUNT(*) FROM (SELECT pg_advisory_xact_lock($1, $2)) AS L");
    for (int key : sorted) {
        st->Bind(0, Variant(space));
        st->Bind(1, Variant(key));
        st->Execute();
        while (st->Step()) {
        }
        st->Reset();
    }
}

std::vector<AnsiString> PgConnection::LoadPrimaryKey(const AnsiString& table) {
    PgStatement st(*this, kPrimaryKeySql, true);
    st.Bind(0, Variant(table));
    st.Execute();
    std::vector<AnsiString> out;
    while (st.Step()) out.push_back(ColumnName(AnsiString(st.GetText(0)).c_str()));
    return out;
}

}  // namespace pg
}  // namespace quantora::db
