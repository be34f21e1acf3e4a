// A PostgreSQL statement: parameters in the form libpq sends them, execution through a cursor or
// directly, and the values of the current row decoded from their text form.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/postgres/PgDialect.h"
#include "quantora/dblayer/postgres/PgPipeline.h"

namespace quantora::db::pg {

class PgConnection;

class PgStatement final : public Statement {
  public:
    // `direct` runs even a query without a cursor (small catalog reads).
    PgStatement(PgConnection& conn, const AnsiString& sql, bool direct = false);
    ~PgStatement() override;

    const AnsiString& Sql() const override { return sql_; }
    void Bind(int index, const Variant& value) override;
    void Execute() override;
    bool Step() override;
    void Reset() override;
    void SetReadAhead(int rows) override { read_ahead_ = rows; }
    int64_t Changes() const override { return changes_; }

    int ColumnCount() const override { return static_cast<int>(columns_.size()); }
    const ColumnInfo& Column(int i) const override { return columns_[static_cast<size_t>(i)].info; }
    CellKind Kind(int i) const override;
    int64_t GetInt64(int i) const override;
    double GetDouble(int i) const override;
    std::string_view GetText(int i) const override;

    // What the connection uses.
    const AnsiString& cursor_name() const { return cursor_; }
    int cursor_depth = 0;  // explicit transaction levels open when the cursor was declared
    // The server dropped the cursor (rollback, lost connection); reading on is an error.
    void KillCursor() { cursor_state_ = CursorState::Dead; }
    // Reads the answer to the FETCH sent ahead (the connection calls this before it is used
    // for anything else); a failure is reported when the caller reaches that batch.
    void CollectAhead() noexcept;

  private:
    enum class CursorState { None, Live, Dead };

    // One attempt; false (state restored) when the server refused the statement.
    bool Run(ServerError& error);
    bool FetchMore();
    // Sends the FETCH of the next batch while the caller reads this one.
    void SendAhead();
    void TakeBatch(Result batch, int requested);
    void Describe(const PGresult* r);
    ParamSet Params();
    bool RetryWithTypes(const ServerError& e);
    void ForgetPrepared();
    std::string_view Raw(int i) const;
    struct Decoded;
    const Decoded& Decode(int i) const;

    PgConnection& conn_;
    AnsiString sql_;      // engine SQL as given; named in error messages
    AnsiString text_;     // what is sent (DDL translated)
    AnsiString declare_;  // DECLARE ... FOR text_
    AnsiString cursor_;   // cursor name
    StatementKind kind_;
    bool catalog_read_ = false;    // a query run directly: reads, changes nothing
    bool drops_prepared_ = false;  // DEALLOCATE or DISCARD: the session is set up again after it
    ControlStatement control_;

    // Parameters.
    int nparams_ = 0;
    std::vector<AnsiString> buffers_;
    std::vector<const char*> values_;
    std::vector<int> lengths_, formats_;
    std::vector<Variant::Kind> kinds_;
    std::vector<Oid> types_;  // used once the server could not infer the types
    bool typed_ = false;

    // Server-side prepared statement (made at the second execution).
    AnsiString prepared_;
    uint64_t prepared_epoch_ = 0;
    int executions_ = 0;

    // The current execution.
    Result result_;
    int rows_ = 0, row_ = -1;
    uint64_t batch_serial_ = 0;
    std::vector<ResultColumn> columns_;
    CursorState cursor_state_ = CursorState::None;
    int next_batch_ = 0;
    int read_ahead_ = 0;
    bool done_ = false;
    int64_t changes_ = 0;

    // The FETCH in flight (at most one batch ahead), then its answer once read.
    std::unique_ptr<Pipeline> ahead_;
    int ahead_fetch_ = -1, ahead_requested_ = 0, batches_read_ = 0;
    Result ahead_result_;
    bool ahead_failed_ = false;
    ServerError ahead_error_;

    // Values decoded on demand (bytea bytes, date-time text), kept for the current row.
    struct Decoded {
        uint64_t batch = 0;
        int row = -1;
        bool ok = false;
        AnsiString bytes;
    };
    mutable std::vector<Decoded> decoded_;
};

}  // namespace quantora::db::pg
