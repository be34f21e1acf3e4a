// The interface an engine implements: connections, prepared statements and their result rows.
// TQuery and Transaction work only through it, so every engine behaves the same to callers.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/FieldType.h"
#include "quantora/dblayer/Variant.h"

namespace quantora::db {

// How an engine writes positional parameters in SQL text.
enum class PlaceholderStyle { QuestionNumber /* ?1 */, DollarNumber /* $1 */ };

struct ColumnInfo {
    AnsiString name;
    TFieldType type = ftUnknown;
    int size = 0;  // declared length of character columns
};

// How an engine reads quoted text in SQL, for code that must find where a literal or a quoted
// name ends. Every engine quotes literals with '...' and names with "..." (a doubled quote stays
// inside); these flags tell what an engine reads besides.
struct SqlQuoting {
    // A backslash escapes the next byte inside an E'...' literal.
    bool backslash_escapes_in_e_literals = false;
    // Names may also be quoted with `...` and [...].
    bool backtick_and_bracket_names = false;
};

// Storage class of one value of the current row.
enum class CellKind : uint8_t { Null, Int, Float, Text, Blob };

// One value of the current row, borrowed from a statement or a row buffer.
struct Cell {
    CellKind kind = CellKind::Null;
    int64_t i = 0;
    double d = 0.0;
    std::string_view text;
};

// A prepared statement. One execution at a time; rows are produced one step at a time.
class Statement {
  public:
    virtual ~Statement() = default;

    virtual const AnsiString& Sql() const = 0;
    // Binds parameter `index` (0-based) for the next Execute. Date values arrive as Kind::Date.
    virtual void Bind(int index, const Variant& value) = 0;
    // Binds a value that stays alive and unchanged until the next Reset (a row buffer posted and
    // then reset): an engine may read it in place instead of copying it.
    virtual void BindUntilReset(int index, const Variant& value) { Bind(index, value); }
    // Runs the statement; a statement that returns rows is then positioned before its first row.
    virtual void Execute() = 0;
    // Moves to the next row; false when there is none.
    virtual bool Step() = 0;
    // Ends the current execution (releases locks and cursors); bindings may be reused.
    virtual void Reset() = 0;
    // Rows the caller means to read soon after the next Execute (0: no idea). An engine that
    // reads ahead in batches sizes its first batch by it; Reset forgets it.
    virtual void SetReadAhead(int rows) { (void)rows; }
    // Rows changed by the last Execute of a modifying statement.
    virtual int64_t Changes() const = 0;

    virtual int ColumnCount() const = 0;
    // Column metadata; valid after Execute (expression columns take the type of the first row).
    virtual const ColumnInfo& Column(int i) const = 0;

    virtual CellKind Kind(int i) const = 0;
    virtual int64_t GetInt64(int i) const = 0;
    virtual double GetDouble(int i) const = 0;
    // Text and blob bytes; valid until the next Step or Reset.
    virtual std::string_view GetText(int i) const = 0;
    // The value of column `i` as the four above give it, in one call (an engine may do it in one).
    virtual Cell Read(int i) const;
};

class Connection;

// A statement checked out of a connection's cache; returns it on destruction.
class StatementLease {
  public:
    StatementLease() = default;
    StatementLease(Connection* owner, std::unique_ptr<Statement> stmt)
        : owner_(owner), stmt_(std::move(stmt)) {}
    StatementLease(StatementLease&& o) noexcept : owner_(o.owner_), stmt_(std::move(o.stmt_)) {
        o.owner_ = nullptr;
    }
    StatementLease& operator=(StatementLease&& o) noexcept;
    StatementLease(const StatementLease&) = delete;
    StatementLease& operator=(const StatementLease&) = delete;
    ~StatementLease() { Release(); }

    void Release() noexcept;
    Statement* get() const { return stmt_.get(); }
    Statement* operator->() const { return stmt_.get(); }
    explicit operator bool() const { return stmt_ != nullptr; }

  private:
    Connection* owner_ = nullptr;
    std::unique_ptr<Statement> stmt_;
};

// One connection of one thread to a database. Caches prepared statements by SQL text; a
// statement in use by an open query is never handed out a second time.
class Connection {
  public:
    virtual ~Connection() = default;

    // The engine's name as shown to people ("SQLite").
    virtual const char* EngineName() const = 0;
    // The file that holds the database; empty when the database is not a file (a server).
    virtual AnsiString DatabaseFile() const { return {}; }
    virtual PlaceholderStyle Placeholders() const = 0;
    virtual SqlQuoting Quoting() const = 0;

    // Prepared statement for engine SQL (placeholders already translated).
    StatementLease Checkout(const AnsiString& sql);
    // Statements prepared so far (cache misses of Checkout).
    uint64_t PreparedCount() const { return prepared_count_; }

    // Runs a statement without parameters and without result rows.
    virtual void ExecDirect(const AnsiString& sql) = 0;
    // Begins the outermost transaction (nested ones are savepoints).
    virtual void Begin() { ExecDirect("BEGIN"); }
    // Makes the connection refuse every write from now on, so that a SELECT calling a function
    // with side effects changes nothing either. Meant for use outside a transaction: one open
    // now may keep the mode it began with.
    virtual void RefuseWrites() = 0;
    // The names of the database's tables (on a server, those in the schemas searched), sorted.
    virtual std::vector<AnsiString> TableNames() = 0;
    // Columns of the table's primary key, in key order (cached by the caller's connection).
    const std::vector<AnsiString>& PrimaryKey(const AnsiString& table);
    // Engine DDL from the portable schema text.
    virtual AnsiString TranslateDdl(const AnsiString& portable) const = 0;
    // Whether a commit waits until it is on disk (the default). Engines whose commits are always
    // on disk ignore this.
    virtual void SetFlushEachCommit(bool /*on*/) {}
    // Puts every commit so far on disk.
    virtual void FlushCommits() {}
    // Locks each of `keys` in the lock space `space` until the open transaction ends, so that
    // transactions locking a common key run one after the other (a check and a write made one
    // step for concurrent writers). Keys are taken in ascending order, so two transactions never
    // wait for each other crosswise. An engine whose transaction already holds the database's
    // write lock needs none and does nothing.
    virtual void LockKeysForTransaction(int /*space*/, std::span<const int> /*keys*/) {}

    // Nesting depth of the open Transaction objects on this connection.
    int transaction_depth = 0;

  protected:
    virtual std::unique_ptr<Statement> Prepare(const AnsiString& sql) = 0;
    virtual std::vector<AnsiString> LoadPrimaryKey(const AnsiString& table) = 0;
    // Drops every cached statement; an engine calls this before it closes its handle.
    void ClearStatementCache() { idle_.clear(); }

  private:
    friend class StatementLease;
    void Return(std::unique_ptr<Statement> stmt) noexcept;

    static constexpr size_t kMaxIdle = 256;
    std::unordered_map<std::string, std::vector<std::unique_ptr<Statement>>> idle_;
    size_t idle_count_ = 0;
    uint64_t prepared_count_ = 0;
    std::unordered_map<std::string, std::vector<AnsiString>> primary_keys_;
};

}  // namespace quantora::db
