// Commands sent to the PostgreSQL server in one round trip (libpq pipeline mode), their results
// read back in order. A guard savepoint, a DECLARE and its first FETCH cost one round trip.
#pragma once

#include <libpq-fe.h>

#include <memory>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora::db::pg {

struct ResultDeleter {
    void operator()(PGresult* r) const noexcept { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Parameter values of one execution, as libpq takes them.
struct ParamSet {
    int count = 0;
    const Oid* types = nullptr;
    const char* const* values = nullptr;
    const int* lengths = nullptr;
    const int* formats = nullptr;
};

// The server's message of a failed result ("message (detail)") and its SQLSTATE; for a missing
// result the connection's message.
struct ServerError {
    AnsiString message;
    AnsiString sqlstate;
};
ServerError ErrorOf(PGconn* conn, const PGresult* r);

class Pipeline {
  public:
    // Enters pipeline mode. `pending_syncs` sync points of detached commands sent earlier are
    // still unread: Run reads (and disregards) their results before this pipeline's own, so
    // their round trip is shared.
    explicit Pipeline(PGconn* conn, int pending_syncs = 0);
    // Reads whatever was not read and leaves pipeline mode.
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Each returns the command's index. A command that need not succeed (housekeeping) does
    // not make Run fail.
    int Command(const char* sql, bool must_succeed = true);
    int Query(const char* sql, const ParamSet& params);
    int Prepare(const char* name, const char* sql, int count, const Oid* types);
    int QueryPrepared(const char* name, const ParamSet& params);
    // Ends a segment: the commands since the last sync run as one implicit transaction when no
    // transaction block is open.
    void Sync();

    // Sends everything and reads every result. False when a command failed or the connection
    // broke; error() tells why.
    bool Run();
    // Sends everything and returns without reading: the results are read by the next pipeline
    // or by DrainDetached. The number of sync points left unread is returned.
    int SendDetached();

    bool Succeeded(int index) const;
    PGresult* Get(int index) const { return entries_[static_cast<size_t>(index)].result.get(); }
    Result Take(int index) { return std::move(entries_[static_cast<size_t>(index)].result); }
    const ServerError& error() const { return error_; }

  private:
    int Add(int ok, bool must_succeed = true);
    void Fail(const PGresult* r);

    // A command (its index is its position) or a sync point, in sending order.
    struct Entry {
        Result result;
        bool sync = false;
        bool optional = false;
    };

    PGconn* conn_;
    std::vector<Entry> entries_;
    size_t read_ = 0;  // entries read so far
    int pending_syncs_ = 0;
    bool detached_ = false, failed_ = false;
    ServerError error_;
};

// Reads the results of detached pipelines up to `syncs` sync points. False when one of their
// commands failed or the connection broke.
bool ReadSyncs(PGconn* conn, int syncs, ServerError& error);
// The same, then leaves pipeline mode.
bool DrainDetached(PGconn* conn, int syncs, ServerError& error);

}  // namespace quantora::db::pg
