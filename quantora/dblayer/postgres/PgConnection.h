// A PostgreSQL connection: the libpq handle, the transaction block that open cursors and
// explicit transactions share, and the housekeeping of cursors and prepared statements.
// PostgresBackend.h describes the design.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <vector>

#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/postgres/PgDialect.h"
#include "quantora/dblayer/postgres/PgPipeline.h"

namespace quantora::db::pg {

class PgStatement;

// Every statement run inside a block goes between a savepoint and its release. Both commands are
// prepared with the session, so the server does not parse them for every statement.
inline constexpr const char* kGuardOpen = "qdb_guard_open";
inline constexpr const char* kGuardOpenSql = "SAVEPOINT qdb_guard";
inline constexpr const char* kGuardRelease = "qdb_guard_release";
inline constexpr const char* kGuardReleaseSql = "RELEASE SAVEPOINT qdb_guard";
// After a failed statement: undoes it and ends the savepoint (sent as text, once per failure).
inline constexpr const char* kGuardRollbackSql =
    "ROLLBACK TO SAVEPOINT qdb_guard; RELEASE SAVEPOINT qdb_guard";

class PgConnection final : public Connection {
  public:
    explicit PgConnection(const AnsiString& conninfo, bool readOnly = false);
    ~PgConnection() override;

    const char* EngineName() const override { return "PostgreSQL"; }
    PlaceholderStyle Placeholders() const override { return PlaceholderStyle::DollarNumber; }
    SqlQuoting Quoting() const override {
        return {.backslash_escapes_in_e_literals = true, .backtick_and_bracket_names = false};
    }
    void ExecDirect(const AnsiString& sql) override;
    void RefuseWrites() override;
    std::vector<AnsiString> TableNames() override;
    AnsiString TranslateDdl(const AnsiString& portable) const override {
        return pg::TranslateDdl(portable);
    }
    // Transaction-level advisory locks (pg_advisory_xact_lock), one per key.
    void LockKeysForTransaction(int space, std::span<const int> keys) override;

    // What statements use.
    PGconn* handle() const { return pg_; }
    // A pipeline that first reads the results of commands sent without waiting.
    Pipeline StartPipeline();
    uint64_t epoch() const { return epoch_; }
    AnsiString NewName(const char* prefix);
    // Readies the connection for a command: re-establishes a broken connection and reports a
    // failure that could not be reported where it happened. Results of detached commands are
    // left for the next pipeline to read.
    void Ready();
    // `st` has a FETCH in flight: its answer is read before the connection does anything else.
    void ReadingAhead(PgStatement* st) { ahead_ = st; }
    void CollectAhead() noexcept;
    bool InBlock() const { return block_; }
    static void OpenGuard(Pipeline& p) { p.QueryPrepared(kGuardOpen, {}); }
    // After a statement that drops prepared statements, the release goes as text.
    static void CloseGuard(Pipeline& p, bool as_text = false) {
        if (as_text) {
            p.Command(kGuardReleaseSql);
        } else {
            p.QueryPrepared(kGuardRelease, {});
        }
    }
    // After DEALLOCATE or DISCARD: prepares the layer's statements again, as for a new session.
    void RestoreSession();
    // Whether a FETCH on `self` needs a guard savepoint: something besides that cursor lives in
    // the block.
    bool FetchNeedsGuard(const PgStatement* self) const;
    // Adds what is owed to the server: in a block the CLOSEs of finished cursors, outside one
    // the DEALLOCATEs of dropped statements (in a segment of their own).
    void AddHousekeeping(Pipeline& p);
    // After a pipeline that began the block (BEGIN) succeeded.
    void BlockBegun() { block_ = true; }
    // A statement other than a cursor ran inside the block: its work must be committed.
    void MarkDirty() {
        if (block_) dirty_ = true;
    }
    void CursorOpened(PgStatement* st);
    // The cursor of `st` is done (read to its end, closed, or failed): it is closed, and the
    // block ends when nothing needs it any more. Without `may_throw`, a failure is reported at
    // the next use of the connection.
    void CursorFinished(PgStatement* st, bool may_throw);
    // Restores a usable state after a failed pipeline; `guarded` tells whether the failed
    // commands ran inside the guard savepoint.
    void Recover(bool guarded);
    // Brings the block state in line with the server after a statement ran.
    void Reconcile();
    void Control(const ControlStatement& c, const AnsiString& sql);
    // A prepared statement is no longer needed.
    void Forget(const AnsiString& name, uint64_t epoch);
    [[noreturn]] void Throw(const ServerError& e, const AnsiString& sql);
    // A failure noted for the next use of the connection, taken to be reported now.
    AnsiString TakeDeferredError();

  protected:
    std::unique_ptr<Statement> Prepare(const AnsiString& sql) override;
    std::vector<AnsiString> LoadPrimaryKey(const AnsiString& table) override;

  private:
    struct Level {
        AnsiString savepoint;  // empty for a level begun with BEGIN
    };

    PGconn* Connect();
    void Reconnect();
    // Reads the results of detached commands; never throws.
    void Settle() noexcept;
    void SendDetached(const char* sql);
    // Runs one command synchronously; false with `error` set when it failed.
    bool Exec(const AnsiString& sql, ServerError& error);
    void ExecOrThrow(const AnsiString& sql, const AnsiString& shown);
    void EndBlockIfIdle(bool may_throw);
    void KillCursors(int min_depth);
    void ClampCursorDepths(int depth);
    void ConnectionLost() noexcept;
    // The server's block is gone (or unusable): every cursor in it is dead.
    void AbortBlock() noexcept;
    void ControlWhileLost(const ControlStatement& c, const AnsiString& sql);
    void FlushCloses();
    void BlockEnded() {
        block_ = false;
        dirty_ = false;
        closes_.clear();
    }
    size_t FindSavepoint(const AnsiString& name, const AnsiString& sql) const;

    AnsiString conninfo_;
    bool read_only_ = false;
    PGconn* pg_ = nullptr;
    uint64_t epoch_ = 0;    // counts (re)connections; prepared statements belong to one
    uint64_t next_id_ = 0;  // generated statement and cursor names
    bool block_ = false;    // a transaction block is open on the server
    bool dirty_ = false;    // the block holds work that must be committed
    bool lost_ = false;     // the connection broke while an explicit transaction was open
    std::vector<Level> explicit_;
    std::vector<PgStatement*> cursors_;  // statements whose server cursor is open
    std::vector<AnsiString> deallocs_;
    std::vector<AnsiString> closes_;  // cursors read to their end, closed with the next command
    int detached_syncs_ = 0;
    PgStatement* ahead_ = nullptr;
    AnsiString deferred_error_;
    DbErrorInfo deferred_info_;
};

}  // namespace quantora::db::pg
