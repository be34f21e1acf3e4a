// SQLite statements and connections. Date-times are stored as fixed-width ISO text.
#include "quantora/dblayer/sqlite/SqliteBackend.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/sqlite/SqliteErrors.h"

namespace quantora::db {
namespace {

constexpr int kBusyTimeoutMs = 30000;

// The message names the primary code; the error carries the extended one.
[[noreturn]] void Raise(sqlite3* db, int rc, const char* msg, const AnsiString& sql,
                        bool preparing) {
    DbErrorInfo info = SqliteErrorInfo(db ? sqlite3_extended_errcode(db) : rc, preparing);
    info.sql = sql;
    AnsiString text = Format("SQLite error %d: %s [SQL: %s]", rc, msg, sql.c_str());
    // After a failed write SQLite may keep the transaction open; when the disk is full or the
    // file is damaged nothing more of it can be trusted to reach the disk: it is rolled back.
    if ((info.category == DbErrorCategory::Io || info.category == DbErrorCategory::Corrupt) && db &&
        !sqlite3_get_autocommit(db))
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw EDatabaseError(std::move(text), std::move(info));
}

[[noreturn]] void Fail(sqlite3* db, int rc, const AnsiString& sql, bool preparing = false) {
    Raise(db, rc, db ? sqlite3_errmsg(db) : sqlite3_errstr(rc), sql, preparing);
}

[[noreturn]] void FailSyntax(const char* what, const AnsiString& sql) {
    throw EDatabaseError(Format("SQLite: %s [SQL: %s]", what, sql.c_str()),
                         DbErrorInfo{DbErrorCategory::Syntax, SQLITE_ERROR, "", false, sql});
}

// Field type and declared length from a column's declared type.
ColumnInfo FromDeclType(const char* name, const char* decl) {
    ColumnInfo c;
    c.name = name ? name : "";
    std::string d;
    for (const char* p = decl; p && *p; ++p) d += static_cast<char>(std::toupper(*p));
    size_t paren = d.find('(');
    std::string base = d.substr(0, paren);
    while (!base.empty() && base.back() == ' ') base.pop_back();
    int len = 0;
    if (paren != std::string::npos) len = std::atoi(d.c_str() + paren + 1);
    auto has = [&](const char* w) { return base.find(w) != std::string::npos; };
    if (base == "SMALLINT" || base == "INT2") {
        c.type = ftSmallint;
    } else if (base == "BIGINT" || base == "INT8") {
        c.type = ftLargeint;
    } else if (has("INT")) {
        c.type = ftInteger;
    } else if (base == "BOOLEAN") {
        c.type = ftBoolean;
    } else if (base == "TIMESTAMP" || base == "DATETIME") {
        c.type = ftDateTime;
    } else if (base == "DATE") {
        c.type = ftDate;
    } else if (base == "TIME") {
        c.type = ftTime;
    } else if (has("CHAR")) {
        // CHAR(n) reads as a string too: flags are one-character texts, not fixed-char numbers.
        c.type = ftString;
        c.size = len > 0 ? len : 255;
    } else if (has("TEXT") || has("CLOB")) {
        c.type = ftMemo;
    } else if (has("BLOB") || base == "BYTEA") {
        c.type = ftBlob;
    } else if (has("DOUB") || has("FLOA") || has("REAL") || has("NUMERIC") || has("DEC")) {
        c.type = ftFloat;
    } else {
        c.type = ftUnknown;  // decided by the first row's value
    }
    return c;
}

// True when the text after a prepared statement holds another statement, not only blanks,
// semicolons and comments.
bool SecondStatementFollows(sqlite3* db, const char* tail, const char* end) {
    while (tail && tail < end) {
        sqlite3_stmt* next = nullptr;
        const char* rest = nullptr;
        if (sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &rest) != SQLITE_OK)
            return true;  // something follows, and not even a valid statement
        if (next) {
            sqlite3_finalize(next);
            return true;
        }
        if (rest == tail) break;
        tail = rest;
    }
    return false;
}

// The cell kind of an SQLite storage class.
CellKind KindOf(int type) {
    switch (type) {
        case SQLITE_INTEGER:
            return CellKind::Int;
        case SQLITE_FLOAT:
            return CellKind::Float;
        case SQLITE_TEXT:
            return CellKind::Text;
        case SQLITE_BLOB:
            return CellKind::Blob;
        default:
            return CellKind::Null;
    }
}

class SqliteStatement final : public Statement {
  public:
    // `tx_depth` is the connection's count of open Transaction objects.
    SqliteStatement(sqlite3* db, const AnsiString& sql, const int* tx_depth)
        : db_(db), sql_(sql), tx_depth_(tx_depth) {
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, &tail);
        if (rc != SQLITE_OK) Fail(db, rc, sql, true);
        if (!stmt_) FailSyntax("empty statement", sql);
        // SQLite would quietly ignore a second statement; one text is one statement here.
        if (SecondStatementFollows(db, tail, sql.data() + sql.size())) {
            sqlite3_finalize(stmt_);
            FailSyntax("the text holds more than one statement", sql);
        }
        int n = sqlite3_column_count(stmt_);
        columns_.reserve(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i)
            columns_.push_back(
                FromDeclType(sqlite3_column_name(stmt_, i), sqlite3_column_decltype(stmt_, i)));
    }
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }

    const AnsiString& Sql() const override { return sql_; }

    void Bind(int index, const Variant& v) override { BindAs(index, v, SQLITE_TRANSIENT); }

    // Text, blobs and formatted dates are bound in place; Reset clears the bindings before the
    // values may change.
    void BindUntilReset(int index, const Variant& v) override { BindAs(index, v, SQLITE_STATIC); }

    void Execute() override {
        if (pending_ || done_ || sqlite3_stmt_busy(stmt_)) sqlite3_reset(stmt_);
        // A Transaction is open but SQLite rolled its work back after a failure: nothing may
        // run as if it went on.
        if (*tx_depth_ > 0 && sqlite3_get_autocommit(db_))
            throw EDatabaseError(
                Format("SQLite: the transaction was rolled back after an error [SQL: %s]",
                       sql_.c_str()),
                DbErrorInfo{DbErrorCategory::Other, SQLITE_ABORT, "", false, sql_});
        changes_ = 0;
        pending_ = false;
        done_ = false;
        // Run until the first row (or the end) so that errors surface here, not at Step.
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) {
            pending_ = true;
            ResolveExpressionTypes();
        } else if (rc == SQLITE_DONE) {
            done_ = true;
            changes_ = sqlite3_changes64(db_);
        } else {
            Fail(db_, rc, sql_);
        }
    }

    bool Step() override {
        if (pending_) {
            pending_ = false;
            return true;
        }
        if (done_) return false;
        int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW) return true;
        if (rc != SQLITE_DONE) Fail(db_, rc, sql_);
        done_ = true;
        return false;
    }

    void Reset() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
        pending_ = false;
        done_ = false;
    }

    int64_t Changes() const override { return changes_; }
    int ColumnCount() const override { return static_cast<int>(columns_.size()); }
    const ColumnInfo& Column(int i) const override { return columns_[static_cast<size_t>(i)]; }

    CellKind Kind(int i) const override { return KindOf(sqlite3_column_type(stmt_, i)); }
    // One lookup of the column's value for its kind and content. The value is unprotected, which
    // is safe here: a connection is opened without SQLite's mutex and used by one thread at a time.
    Cell Read(int i) const override {
        sqlite3_value* v = sqlite3_column_value(stmt_, i);
        Cell c;
        c.kind = KindOf(sqlite3_value_type(v));
        switch (c.kind) {
            case CellKind::Int:
                c.i = sqlite3_value_int64(v);
                break;
            case CellKind::Float:
                c.d = sqlite3_value_double(v);
                break;
            case CellKind::Text:
            case CellKind::Blob:
                c.text = BytesOf(v);
                break;
            case CellKind::Null:
                break;
        }
        return c;
    }
    int64_t GetInt64(int i) const override { return sqlite3_column_int64(stmt_, i); }
    double GetDouble(int i) const override { return sqlite3_column_double(stmt_, i); }
    std::string_view GetText(int i) const override {
        return BytesOf(sqlite3_column_value(stmt_, i));
    }

  private:
    // The bytes of a value as text or blob (empty for an empty one).
    static std::string_view BytesOf(sqlite3_value* v) {
        const void* p = sqlite3_value_blob(v);
        return p ? std::string_view(static_cast<const char*>(p),
                                    static_cast<size_t>(sqlite3_value_bytes(v)))
                 : std::string_view();
    }

    // Binds v to parameter index + 1; `lifetime` is SQLITE_TRANSIENT (SQLite copies text and
    // blobs) or SQLITE_STATIC (they stay valid until Reset).
    void BindAs(int index, const Variant& v, sqlite3_destructor_type lifetime) {
        int i = index + 1, rc = SQLITE_OK;
        if (i > sqlite3_bind_parameter_count(stmt_))
            throw EDatabaseError(
                Format("SQLite: no parameter %d in statement [SQL: %s]", i, sql_.c_str()));
        switch (v.kind()) {
            case Variant::Kind::Null:
                rc = sqlite3_bind_null(stmt_, i);
                break;
            case Variant::Kind::Int:
                rc = sqlite3_bind_int64(stmt_, i, v.int_value());
                break;
            case Variant::Kind::Float:
                rc = sqlite3_bind_double(stmt_, i, v.float_value());
                break;
            case Variant::Kind::Date: {
                // One text per parameter, allocated once, so earlier bindings stay in place.
                if (dates_.empty())
                    dates_.resize(static_cast<size_t>(sqlite3_bind_parameter_count(stmt_)));
                char(&iso)[kIsoDateTimeLength + 1] = dates_[static_cast<size_t>(index)].text;
                FormatIsoDateTime(v.float_value(), iso);
                rc = sqlite3_bind_text(stmt_, i, iso, static_cast<int>(kIsoDateTimeLength),
                                       lifetime);
                break;
            }
            case Variant::Kind::String:
                rc = sqlite3_bind_text64(stmt_, i, v.text_value().data(), v.text_value().size(),
                                         lifetime, SQLITE_UTF8);
                break;
            case Variant::Kind::Blob:
                rc = sqlite3_bind_blob64(stmt_, i, v.text_value().data(), v.text_value().size(),
                                         lifetime);
                break;
        }
        if (rc != SQLITE_OK) Fail(db_, rc, sql_);
    }

    // Columns without a declared type (expressions) take the type of the first row's value.
    void ResolveExpressionTypes() {
        if (resolved_) return;
        resolved_ = true;
        for (size_t i = 0; i < columns_.size(); ++i) {
            ColumnInfo& c = columns_[i];
            if (c.type != ftUnknown) continue;
            switch (sqlite3_column_type(stmt_, static_cast<int>(i))) {
                case SQLITE_INTEGER:
                    c.type = ftLargeint;
                    break;
                case SQLITE_FLOAT:
                    c.type = ftFloat;
                    break;
                case SQLITE_BLOB:
                    c.type = ftBlob;
                    break;
                default:
                    c.type = ftString;
                    c.size = 255;
                    break;
            }
        }
    }

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    AnsiString sql_;
    const int* tx_depth_;
    std::vector<ColumnInfo> columns_;
    // Dates bound in place, as ISO text, one slot per parameter.
    struct IsoText {
        char text[kIsoDateTimeLength + 1];
    };
    std::vector<IsoText> dates_;
    int64_t changes_ = 0;
    bool pending_ = false, done_ = false, resolved_ = false;
};

class SqliteConnection final : public Connection {
  public:
    SqliteConnection(const AnsiString& path, bool readOnly) : read_only_(readOnly) {
        int rc = sqlite3_open_v2(
            path.c_str(), &db_,
            (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                SQLITE_OPEN_NOMUTEX,
            nullptr);
        if (rc != SQLITE_OK) {
            AnsiString msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
            DbErrorInfo info = SqliteErrorInfo(db_ ? sqlite3_extended_errcode(db_) : rc, false);
            sqlite3_close_v2(db_);
            throw EDatabaseError(
                Format("SQLite: cannot open database '%s': %s", path.c_str(), msg.c_str()),
                std::move(info));
        }
        sqlite3_extended_result_codes(db_, 0);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        try {
            // WAL lets readers and one writer of several processes work at once; FULL sync keeps
            // every committed transaction across a power loss. A reader leaves the file's
            // journal mode as it is: opening to look changes nothing.
            if (!readOnly) ExecDirect("PRAGMA journal_mode=WAL");
            ExecDirect("PRAGMA synchronous=FULL");
        } catch (...) {
            sqlite3_close_v2(db_);
            throw;
        }
    }
    ~SqliteConnection() override {
        ClearStatementCache();
        sqlite3_close_v2(db_);
    }

    const char* EngineName() const override { return "SQLite"; }
    // Empty for an in-memory or temporary database.
    AnsiString DatabaseFile() const override {
        const char* path = sqlite3_db_filename(db_, "main");
        return path ? path : "";
    }
    PlaceholderStyle Placeholders() const override { return PlaceholderStyle::QuestionNumber; }
    SqlQuoting Quoting() const override {
        return {.backslash_escapes_in_e_literals = false, .backtick_and_bracket_names = true};
    }

    void ExecDirect(const AnsiString& sql) override {
        char* err = nullptr;
        int rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &err);
        if (rc != SQLITE_OK) {
            AnsiString msg = err ? err : sqlite3_errstr(rc);
            sqlite3_free(err);
            Raise(db_, rc, msg.c_str(), sql, true);
        }
    }

    // IMMEDIATE takes the write lock now, so a concurrent writer waits here instead of failing
    // later when a read lock would have to be upgraded. A connection that cannot write needs no
    // such lock (and query_only refuses to take it).
    void Begin() override { ExecDirect(read_only_ ? "BEGIN" : "BEGIN IMMEDIATE"); }

    void RefuseWrites() override {
        ExecDirect("PRAGMA query_only = ON");
        read_only_ = true;
    }

    std::vector<AnsiString> TableNames() override {
        SqliteStatement st(db_,
                           "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                           "'sqlite\\_%' ESCAPE '\\' ORDER BY name",
                           &transaction_depth);
        st.Execute();
        std::vector<AnsiString> out;
        while (st.Step()) out.emplace_back(st.GetText(0));
        return out;
    }

    AnsiString TranslateDdl(const AnsiString& portable) const override { return portable; }

    // In WAL mode NORMAL still writes every commit to the log, in order, and keeps the database
    // consistent; it only leaves the log's flush to checkpoints or to FlushCommits.
    void SetFlushEachCommit(bool on) override {
        ExecDirect(on ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
    }

    // The log holds every commit in order, so flushing it puts all of them on disk, as a FULL
    // commit does; with no log (nothing written yet, or not in WAL mode) commits are flushed.
    void FlushCommits() override {
        sqlite3_file* log = nullptr;
        if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) != SQLITE_OK ||
            !log || !log->pMethods)
            return;
        const int rc = log->pMethods->xSync(log, SQLITE_SYNC_NORMAL);
        if (rc != SQLITE_OK)
            throw EDatabaseError(
                Format("SQLite: cannot flush the log to disk: %s", sqlite3_errstr(rc)),
                SqliteErrorInfo(rc, false));
    }

  protected:
    std::unique_ptr<Statement> Prepare(const AnsiString& sql) override {
        return std::make_unique<SqliteStatement>(db_, sql, &transaction_depth);
    }

    std::vector<AnsiString> LoadPrimaryKey(const AnsiString& table) override {
        std::vector<std::pair<int, AnsiString>> cols;
        SqliteStatement st(db_, "SELECT name, pk FROM pragma_table_info(?1)", &transaction_depth);
        st.Bind(0, Variant(table));
        st.Execute();
        while (st.Step())
            if (st.GetInt64(1) > 0)
                cols.emplace_back(static_cast<int>(st.GetInt64(1)), AnsiString(st.GetText(0)));
        std::sort(cols.begin(), cols.end());
        std::vector<AnsiString> out;
        for (auto& c : cols) out.push_back(std::move(c.second));
        return out;
    }

  private:
    sqlite3* db_ = nullptr;
    bool read_only_ = false;  // opened read-only or switched by RefuseWrites
};

}  // namespace

const EngineEntry kSqliteEngine = {
    "sqlite:<path>",
    [](std::string_view uri) { return uri.rfind("sqlite:", 0) == 0; },
    [](std::string_view uri) { return uri.substr(7); },
    [](std::string_view uri, bool readOnly) -> std::shared_ptr<Connection> {
        const std::string_view path = kSqliteEngine.file(uri);
        if (path.empty())
            throw EDatabaseError(Format("Malformed database URI '%s': no file path after 'sqlite:'",
                                        AnsiString(uri).c_str()));
        return std::make_shared<SqliteConnection>(AnsiString(path), readOnly);
    },
};

}  // namespace quantora::db
