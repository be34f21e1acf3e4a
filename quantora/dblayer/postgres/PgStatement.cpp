// PostgreSQL statements: binding, execution in one round trip (guard savepoint, prepare,
// DECLARE, first FETCH), batches of rows, and value decoding.
#include "quantora/dblayer/postgres/PgStatement.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "quantora/base/DateTime.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/postgres/PgConnection.h"

namespace quantora::db::pg {
namespace {

constexpr int kFirstBatch = 100;
constexpr int kMaxBatch = 8000;
// Rows are fetched in batches of about 128 KiB. The server collects a FETCH's rows in a tuple store
// before it sends them, so a larger batch costs it more per row (and fresh pages on both sides):
// reading 1,000,000 rows of 60 bytes took 1.6 times as long in 1 MiB batches, about as long in
// 64 KiB ones, and 1.3 times as long in 16 KiB ones, where round trips begin to count.
constexpr size_t kBatchBytes = size_t{128} << 10;
constexpr int kSizeSampleRows = 64;

int64_t ParseInt(std::string_view s) {
    int64_t v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc() && r.ptr == s.data() + s.size()) return v;
    double d = 0.0;
    auto rd = std::from_chars(s.data(), s.data() + s.size(), d);
    if (rd.ec == std::errc() && std::isfinite(d) && std::fabs(d) < 9.2e18) return std::llround(d);
    return 0;
}

double ParseFloat(std::string_view s) {
    double v = 0.0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc()) return v;
    // Out of double range (a huge numeric): strtod gives the signed infinity or zero.
    AnsiString copy(s);
    return std::strtod(copy.c_str(), nullptr);
}

AnsiString FetchSql(int rows, const AnsiString& cursor) {
    return Format("FETCH FORWARD %d FROM %s", rows, cursor.c_str());
}

}  // namespace

PgStatement::PgStatement(PgConnection& conn, const AnsiString& sql, bool direct)
    : conn_(conn), sql_(sql), kind_(ClassifyStatement(sql)) {
    if (kind_ == StatementKind::Control && !ParseControl(sql, control_))
        kind_ = StatementKind::Direct;
    if (direct && kind_ == StatementKind::Rows) {
        kind_ = StatementKind::Direct;
        catalog_read_ = true;
    }
    text_ = IsDdl(sql) ? TranslateDdl(sql) : sql;
    drops_prepared_ = kind_ == StatementKind::Direct && DropsPreparedStatements(sql);
    if (kind_ == StatementKind::Rows) {
        cursor_ = conn_.NewName("qdb_c");
        declare_ = Format("DECLARE %s NO SCROLL CURSOR FOR ", cursor_.c_str()) + text_;
    }
    nparams_ = HighestPlaceholder(text_);
    size_t n = static_cast<size_t>(nparams_);
    buffers_.resize(n);
    values_.assign(n, nullptr);
    lengths_.assign(n, 0);
    formats_.assign(n, 0);
    kinds_.assign(n, Variant::Kind::Null);
}

PgStatement::~PgStatement() {
    try {
        Reset();
    } catch (...) {
    }
    ForgetPrepared();
}

void PgStatement::ForgetPrepared() {
    if (!prepared_.empty()) conn_.Forget(prepared_, prepared_epoch_);
    prepared_.clear();
}

void PgStatement::Bind(int index, const Variant& v) {
    if (index < 0 || index >= nparams_)
        throw EDatabaseError(
            Format("PostgreSQL: no parameter %d in statement [SQL: %s]", index + 1, sql_.c_str()));
    size_t i = static_cast<size_t>(index);
    AnsiString& buf = buffers_[i];
    kinds_[i] = v.kind();
    formats_[i] = 0;
    switch (v.kind()) {
        case Variant::Kind::Null:
            buf.clear();
            break;
        case Variant::Kind::Int: {
            char tmp[24];
            auto r = std::to_chars(tmp, tmp + sizeof tmp, v.int_value());
            buf.assign(tmp, r.ptr);
            break;
        }
        case Variant::Kind::Float: {
            double d = v.float_value();
            if (std::isnan(d)) {
                buf = "NaN";
            } else if (std::isinf(d)) {
                buf = d > 0 ? "Infinity" : "-Infinity";
            } else {
                char tmp[32];
                auto r = std::to_chars(tmp, tmp + sizeof tmp, d);
                buf.assign(tmp, r.ptr);
            }
            break;
        }
        case Variant::Kind::Date: {
            char iso[kIsoDateTimeLength + 1];
            FormatIsoDateTime(v.float_value(), iso);
            buf.assign(iso, kIsoDateTimeLength);
            break;
        }
        case Variant::Kind::String:
            buf = v.text_value();
            // Text parameters end at a zero byte: such values go as bytes (fine for bytea).
            if (buf.find('\0') != AnsiString::npos) formats_[i] = 1;
            break;
        case Variant::Kind::Blob:
            buf = v.text_value();
            formats_[i] = 1;
            break;
    }
    lengths_[i] = static_cast<int>(buf.size());
}

ParamSet PgStatement::Params() {
    for (size_t i = 0; i < values_.size(); ++i)
        values_[i] = kinds_[i] == Variant::Kind::Null ? nullptr : buffers_[i].c_str();
    ParamSet p;
    p.count = nparams_;
    p.types = typed_ ? types_.data() : nullptr;
    p.values = values_.data();
    p.lengths = lengths_.data();
    p.formats = formats_.data();
    return p;
}

bool PgStatement::RetryWithTypes(const ServerError& e) {
    if (typed_ || nparams_ == 0 || PQstatus(conn_.handle()) != CONNECTION_OK) return false;
    // 42P18: the server could not determine a type; 42804: uses of a parameter disagree on
    // its type; 22P02: a value does not read as the inferred type; 22003: nor fits it (a large
    // number compared with a SMALLINT column compares as a wider integer).
    bool indeterminate = e.sqlstate == "42P18" || e.sqlstate == "42804";
    bool bad_text = e.sqlstate == "22P02" || e.sqlstate == "22003";
    if (!indeterminate && !bad_text) return false;
    types_.assign(static_cast<size_t>(nparams_), 0);
    bool any = false;
    for (size_t i = 0; i < types_.size(); ++i) {
        switch (kinds_[i]) {
            case Variant::Kind::Int:
                types_[i] = kInt8Oid;
                break;
            case Variant::Kind::Float:
                types_[i] = kFloat8Oid;
                break;
            case Variant::Kind::Date:
                types_[i] = kTimestampOid;
                break;
            case Variant::Kind::Blob:
                types_[i] = kByteaOid;
                break;
            case Variant::Kind::String:
                if (indeterminate) types_[i] = kTextOid;
                break;
            case Variant::Kind::Null:
                break;
        }
        any = any || types_[i] != 0;
    }
    if (!any) return false;
    typed_ = true;
    ForgetPrepared();  // it was prepared with inferred types
    return true;
}

void PgStatement::Execute() {
    int read_ahead = read_ahead_;
    Reset();
    read_ahead_ = read_ahead;
    if (kind_ == StatementKind::Control) {
        // Not after Ready: a ROLLBACK must work after a lost connection.
        conn_.Control(control_, sql_);
        done_ = true;
        return;
    }
    conn_.Ready();
    ServerError error;
    if (!Run(error) && !(RetryWithTypes(error) && Run(error))) conn_.Throw(error, sql_);
    if (drops_prepared_) conn_.RestoreSession();
}

bool PgStatement::Run(ServerError& error) {
    const bool cursor = kind_ == StatementKind::Rows;
    const bool guard = conn_.InBlock();
    const bool begin = cursor && !guard;
    ++executions_;
    if (!prepared_.empty() && prepared_epoch_ != conn_.epoch()) prepared_.clear();

    Pipeline p = conn_.StartPipeline();
    conn_.AddHousekeeping(p);
    if (begin) p.Command("BEGIN");
    if (guard) PgConnection::OpenGuard(p);
    const AnsiString& text = cursor ? declare_ : text_;
    AnsiString name;
    int prepare = -1;
    if (prepared_.empty() && executions_ >= 2) {
        name = conn_.NewName("qdb_p");
        prepare = p.Prepare(name.c_str(), text.c_str(), nparams_, typed_ ? types_.data() : nullptr);
    }
    ParamSet params = Params();
    int exec;
    if (!name.empty())
        exec = p.QueryPrepared(name.c_str(), params);
    else if (!prepared_.empty())
        exec = p.QueryPrepared(prepared_.c_str(), params);
    else
        exec = p.Query(text.c_str(), params);
    int requested = read_ahead_ > 0 ? read_ahead_ : kFirstBatch;
    int fetch = -1;
    AnsiString fetch_sql;
    if (cursor) {
        fetch_sql = FetchSql(requested, cursor_);
        fetch = p.Command(fetch_sql.c_str());
    }
    if (guard) PgConnection::CloseGuard(p, drops_prepared_);
    bool ok = p.Run();
    if (prepare >= 0 && p.Succeeded(prepare)) {
        prepared_ = name;
        prepared_epoch_ = conn_.epoch();
    }
    if (!ok) {
        error = p.error();
        conn_.Recover(guard);
        return false;
    }
    if (begin) conn_.BlockBegun();
    if (!cursor) {
        if (!catalog_read_) conn_.MarkDirty();
        conn_.Reconcile();
        result_ = p.Take(exec);
        const char* tuples = PQcmdTuples(result_.get());
        changes_ = tuples && *tuples ? std::atoll(tuples) : 0;
        if (PQresultStatus(result_.get()) == PGRES_TUPLES_OK) {
            Describe(result_.get());
            rows_ = PQntuples(result_.get());
            ++batch_serial_;
        } else {
            result_.reset();
            columns_.clear();
        }
        return true;
    }
    conn_.CursorOpened(this);
    cursor_state_ = CursorState::Live;
    Result batch = p.Take(fetch);
    Describe(batch.get());
    TakeBatch(std::move(batch), requested);
    return true;
}

void PgStatement::Describe(const PGresult* r) {
    int n = PQnfields(r);
    columns_.clear();
    columns_.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        columns_.push_back(
            DescribeColumn(PQfname(r, i), PQftype(r, i), PQfmod(r, i), PQftable(r, i) != 0));
    decoded_.assign(static_cast<size_t>(n), Decoded{});
}

void PgStatement::TakeBatch(Result batch, int requested) {
    result_ = std::move(batch);
    rows_ = PQntuples(result_.get());
    row_ = -1;
    ++batch_serial_;
    // The next batch holds about kBatchBytes, judged by rows spread over this one (summing
    // every cell of a large batch costs a few percent of reading it).
    size_t bytes = 0;
    int sampled = 0;
    const int cols = PQnfields(result_.get());
    const int stride = rows_ > kSizeSampleRows ? rows_ / kSizeSampleRows : 1;
    for (int r = 0; r < rows_; r += stride, ++sampled)
        for (int c = 0; c < cols; ++c)
            bytes += static_cast<size_t>(PQgetlength(result_.get(), r, c));
    size_t per_row = sampled > 0 ? bytes / static_cast<size_t>(sampled) + 1 : 1;
    size_t next = kBatchBytes / per_row;
    next_batch_ = static_cast<int>(next < 1 ? 1 : next > kMaxBatch ? kMaxBatch : next);
    if (rows_ < requested && cursor_state_ == CursorState::Live) {
        // Read to its end: the cursor is closed now, not when the result is.
        cursor_state_ = CursorState::None;
        conn_.CursorFinished(this, true);
    }
}

void PgStatement::SendAhead() {
    // Only for a caller reading on past the second batch: opening, or reading a few rows,
    // makes the server produce no more than before.
    if (++batches_read_ < 2) return;
    if (cursor_state_ != CursorState::Live || conn_.FetchNeedsGuard(this)) return;
    ahead_requested_ = next_batch_;
    AnsiString sql = FetchSql(ahead_requested_, cursor_);
    try {
        // Constructed in place: a pipeline is not movable.
        ahead_.reset(new Pipeline(conn_.StartPipeline()));
        ahead_fetch_ = ahead_->Command(sql.c_str());
        ahead_->Sync();  // sends it now
        conn_.ReadingAhead(this);
    } catch (...) {
        ahead_.reset();  // the next FETCH goes the ordinary way and reports the trouble
    }
}

void PgStatement::CollectAhead() noexcept {
    if (!ahead_) return;
    ahead_failed_ = !ahead_->Run();
    if (ahead_failed_)
        ahead_error_ = ahead_->error();
    else
        ahead_result_ = ahead_->Take(ahead_fetch_);
    ahead_.reset();
    if (!ahead_failed_) return;
    // The block is unusable until recovered, and the cursor with it. Reading on then reports
    // the server's reason; a lost connection reports itself as such.
    const bool lost = PQstatus(conn_.handle()) != CONNECTION_OK;
    try {
        conn_.Recover(false);
    } catch (...) {
    }
    if (cursor_state_ == CursorState::Live) conn_.CursorFinished(this, false);
    if (!lost) cursor_state_ = CursorState::None;
}

bool PgStatement::FetchMore() {
    conn_.Ready();
    result_.reset();
    rows_ = 0;
    row_ = -1;
    if (ahead_) conn_.CollectAhead();
    if (ahead_failed_) {
        ahead_failed_ = false;
        done_ = true;
        conn_.Throw(ahead_error_, sql_);
    }
    if (ahead_result_) {
        TakeBatch(std::move(ahead_result_), ahead_requested_);
        SendAhead();
        return rows_ > 0;
    }
    if (cursor_state_ != CursorState::Live) return false;
    const bool guard = conn_.FetchNeedsGuard(this);
    int requested = next_batch_;
    AnsiString sql = FetchSql(requested, cursor_);
    Pipeline p = conn_.StartPipeline();
    conn_.AddHousekeeping(p);
    if (guard) PgConnection::OpenGuard(p);
    int fetch = p.Command(sql.c_str());
    if (guard) PgConnection::CloseGuard(p);
    if (!p.Run()) {
        ServerError error = p.error();
        conn_.Recover(guard);
        // A cursor whose FETCH failed cannot be read on.
        if (cursor_state_ == CursorState::Live) {
            cursor_state_ = CursorState::None;
            conn_.CursorFinished(this, false);
        }
        done_ = true;
        conn_.Throw(error, sql_);
    }
    TakeBatch(p.Take(fetch), requested);
    SendAhead();
    return rows_ > 0;
}

bool PgStatement::Step() {
    if (cursor_state_ != CursorState::Dead) {
        if (done_) return false;
        if (row_ + 1 < rows_) {
            ++row_;
            return true;
        }
        const bool ahead = ahead_ || ahead_result_ || ahead_failed_;
        if ((cursor_state_ == CursorState::Live || ahead) && FetchMore()) {
            row_ = 0;
            return true;
        }
    }
    done_ = true;
    result_.reset();
    rows_ = 0;
    row_ = -1;
    if (cursor_state_ == CursorState::Dead) {
        cursor_state_ = CursorState::None;
        AnsiString msg = Format(
            "PostgreSQL: the result was closed when its transaction ended or the connection "
            "was lost [SQL: %s]",
            sql_.c_str());
        AnsiString more = conn_.TakeDeferredError();
        if (!more.empty()) msg += "; " + more;
        throw EDatabaseError(msg);
    }
    return false;
}

void PgStatement::Reset() {
    if (ahead_) conn_.CollectAhead();
    ahead_result_.reset();
    ahead_failed_ = false;
    batches_read_ = 0;
    result_.reset();
    rows_ = 0;
    row_ = -1;
    done_ = false;
    changes_ = 0;
    read_ahead_ = 0;
    if (cursor_state_ == CursorState::Live) {
        cursor_state_ = CursorState::None;
        conn_.CursorFinished(this, false);
    }
    cursor_state_ = CursorState::None;
}

std::string_view PgStatement::Raw(int i) const {
    if (!result_ || row_ < 0 || row_ >= rows_) return {};
    return std::string_view(PQgetvalue(result_.get(), row_, i),
                            static_cast<size_t>(PQgetlength(result_.get(), row_, i)));
}

const PgStatement::Decoded& PgStatement::Decode(int i) const {
    Decoded& d = decoded_[static_cast<size_t>(i)];
    if (d.batch == batch_serial_ && d.row == row_) return d;
    std::string_view raw = Raw(i);
    if (columns_[static_cast<size_t>(i)].decoder == Decoder::Bytea) {
        if (!DecodeBytea(raw, d.bytes))
            throw EDatabaseError(Format("PostgreSQL: malformed bytea value in column %s [SQL: %s]",
                                        columns_[static_cast<size_t>(i)].info.name.c_str(),
                                        sql_.c_str()));
        d.ok = true;
    } else {
        // Date-times read as the fixed-width text the SQLite engine stores; infinity and the
        // like stay as the server wrote them.
        d.ok = NormalizeDateTime(raw, d.bytes);
    }
    d.batch = batch_serial_;
    d.row = row_;
    return d;
}

CellKind PgStatement::Kind(int i) const {
    if (!result_ || row_ < 0 || row_ >= rows_ || PQgetisnull(result_.get(), row_, i))
        return CellKind::Null;
    switch (columns_[static_cast<size_t>(i)].decoder) {
        case Decoder::Int:
        case Decoder::Bool:
            return CellKind::Int;
        case Decoder::Float:
            return CellKind::Float;
        case Decoder::Bytea:
            return CellKind::Blob;
        default:
            return CellKind::Text;
    }
}

// The getters read a null as its empty text: 0, 0.0, "".
int64_t PgStatement::GetInt64(int i) const {
    std::string_view s = Raw(i);
    switch (columns_[static_cast<size_t>(i)].decoder) {
        case Decoder::Bool:
            return s == "t" ? 1 : 0;
        case Decoder::DateTime: {
            double d = 0.0;
            return ParseDateTime(s, d) ? static_cast<int64_t>(std::floor(d)) : 0;
        }
        default:
            return ParseInt(s);
    }
}

double PgStatement::GetDouble(int i) const {
    switch (columns_[static_cast<size_t>(i)].decoder) {
        case Decoder::Bool:
            return Raw(i) == "t" ? 1.0 : 0.0;
        case Decoder::DateTime: {
            double d = 0.0;
            return ParseDateTime(Raw(i), d) ? d : 0.0;
        }
        default:
            return ParseFloat(Raw(i));
    }
}

std::string_view PgStatement::GetText(int i) const {
    std::string_view s = Raw(i);
    switch (columns_[static_cast<size_t>(i)].decoder) {
        case Decoder::Bpchar:
            // Trailing blanks of char(n) carry no meaning.
            while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
            return s;
        case Decoder::Bytea:
            return Decode(i).bytes;
        case Decoder::DateTime: {
            const Decoded& d = Decode(i);
            return d.ok ? std::string_view(d.bytes) : s;
        }
        default:
            return s;
    }
}

}  // namespace quantora::db::pg
