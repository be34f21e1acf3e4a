// Pipelined command batches over libpq.
#include "quantora/dblayer/postgres/PgPipeline.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/postgres/PgErrors.h"

namespace quantora::db::pg {
namespace {

// Room for the usual pipelines (guard, command, release, sync) without growing: one allocation
// per round trip.
constexpr size_t kUsualEntries = 8;

AnsiString Trimmed(const char* text) {
    AnsiString s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

bool IsOk(const PGresult* r) {
    if (!r) return false;
    ExecStatusType st = PQresultStatus(r);
    return st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK;
}

[[noreturn]] void SendFailed(PGconn* conn) {
    throw EDatabaseError(
        Format("PostgreSQL: cannot send to the server: %s", Trimmed(PQerrorMessage(conn)).c_str()),
        SqlStateErrorInfo("", PQstatus(conn) != CONNECTION_OK));
}

}  // namespace

ServerError ErrorOf(PGconn* conn, const PGresult* r) {
    ServerError e;
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    if (primary) {
        e.message = primary;
        if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL)) {
            e.message += " (";
            e.message += detail;
            e.message += ")";
        }
        if (const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE)) e.sqlstate = state;
    } else {
        e.message = Trimmed(r ? PQresultErrorMessage(r) : nullptr);
        if (e.message.empty()) e.message = Trimmed(PQerrorMessage(conn));
        if (e.message.empty()) e.message = "the server sent no result";
    }
    return e;
}

Pipeline::Pipeline(PGconn* conn, int pending_syncs) : conn_(conn), pending_syncs_(pending_syncs) {
    if (!PQenterPipelineMode(conn_)) SendFailed(conn_);
    entries_.reserve(kUsualEntries);
}

Pipeline::~Pipeline() {
    if (detached_) return;
    try {
        Run();
    } catch (...) {
        // The connection is in trouble; its owner notices at the next use.
    }
}

int Pipeline::Add(int ok, bool must_succeed) {
    if (!ok) SendFailed(conn_);
    entries_.push_back(Entry{Result(), false, !must_succeed});
    return static_cast<int>(entries_.size() - 1);
}

int Pipeline::Command(const char* sql, bool must_succeed) {
    return Add(PQsendQueryParams(conn_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0),
               must_succeed);
}

int Pipeline::Query(const char* sql, const ParamSet& p) {
    return Add(PQsendQueryParams(conn_, sql, p.count, p.types, p.values, p.lengths, p.formats, 0));
}

int Pipeline::Prepare(const char* name, const char* sql, int count, const Oid* types) {
    return Add(PQsendPrepare(conn_, name, sql, count, types));
}

int Pipeline::QueryPrepared(const char* name, const ParamSet& p) {
    return Add(PQsendQueryPrepared(conn_, name, p.count, p.values, p.lengths, p.formats, 0));
}

void Pipeline::Sync() {
    if (!PQpipelineSync(conn_)) SendFailed(conn_);
    entries_.push_back(Entry{Result(), true, false});
}

void Pipeline::Fail(const PGresult* r) {
    if (failed_) return;
    failed_ = true;
    error_ = ErrorOf(conn_, r);
}

bool Pipeline::Run() {
    if (entries_.empty() || !entries_.back().sync) Sync();
    if (pending_syncs_ > 0) {
        int syncs = pending_syncs_;
        pending_syncs_ = 0;
        ServerError ignored;
        if (!ReadSyncs(conn_, syncs, ignored) && PQstatus(conn_) != CONNECTION_OK) {
            Fail(nullptr);
            read_ = entries_.size();
        }
    }
    while (read_ < entries_.size()) {
        Entry& e = entries_[read_];
        PGresult* r = PQgetResult(conn_);
        if (!r) {
            // Nothing where a result belongs: the connection broke.
            Fail(nullptr);
            read_ = entries_.size();
            break;
        }
        if (e.sync) {
            PQclear(r);
            ++read_;
            continue;
        }
        ExecStatusType st = PQresultStatus(r);
        e.result.reset(r);
        if (e.optional) {
            // A failed optional command leaves the rest of its segment aborted; fine.
        } else if (st == PGRES_FATAL_ERROR || st == PGRES_BAD_RESPONSE) {
            Fail(r);
        } else if (st == PGRES_PIPELINE_ABORTED) {
            failed_ = true;
        }
        // Each command's results end with a null.
        while (PGresult* extra = PQgetResult(conn_)) PQclear(extra);
        ++read_;
    }
    if (PQstatus(conn_) == CONNECTION_OK) PQexitPipelineMode(conn_);
    if (PQstatus(conn_) != CONNECTION_OK) Fail(nullptr);
    return !failed_;
}

int Pipeline::SendDetached() {
    if (entries_.empty() || !entries_.back().sync) Sync();
    detached_ = true;
    int syncs = 0;
    for (const Entry& e : entries_) syncs += e.sync;
    return syncs;
}

bool Pipeline::Succeeded(int index) const {
    return IsOk(entries_[static_cast<size_t>(index)].result.get());
}

bool ReadSyncs(PGconn* conn, int syncs, ServerError& error) {
    bool ok = true, after_null = false;
    while (syncs > 0) {
        PGresult* r = PQgetResult(conn);
        if (!r) {
            // A null ends the results of one command; two in a row mean nothing is coming.
            if (PQstatus(conn) != CONNECTION_OK || after_null) {
                if (ok) error = ErrorOf(conn, nullptr);
                return false;
            }
            after_null = true;
            continue;
        }
        after_null = false;
        ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_PIPELINE_SYNC) {
            --syncs;
        } else if (st == PGRES_FATAL_ERROR || st == PGRES_BAD_RESPONSE) {
            if (ok) error = ErrorOf(conn, r);
            ok = false;
        }
        PQclear(r);
    }
    return ok;
}

bool DrainDetached(PGconn* conn, int syncs, ServerError& error) {
    bool ok = ReadSyncs(conn, syncs, error);
    if (PQstatus(conn) == CONNECTION_OK) PQexitPipelineMode(conn);
    return ok;
}

}  // namespace quantora::db::pg
