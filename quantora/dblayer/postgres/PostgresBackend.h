// The PostgreSQL engine: one libpq connection per Connection (per thread and alias).
//
// Results are read through server-side cursors (DECLARE ... NO SCROLL CURSOR, FETCH n), so a
// result of any size costs bounded memory and other statements can run on the same connection
// while it is open. The first batch is small (one row for a live result, which may be opened
// only to insert a row); later batches hold up to 8,000 rows or about 128 KiB of values, and the
// next one is fetched while the caller reads the current one. A cursor read to its end is closed
// with the next command sent (or by the end of its block).
//
// Cursors live in a transaction block. How blocks are kept:
// - Outside an explicit transaction, opening a cursor begins an implicit block (BEGIN, DECLARE
//   and the first FETCH go in one round trip). The block ends with COMMIT as soon as no open
//   cursor needs it any more: when the last one is read to its end or closed. A block that
//   only read is committed without waiting for the answer; one that changed something is
//   committed before the caller goes on.
// - Every statement run inside a block (explicit or implicit) is wrapped in a savepoint that is
//   released on success and rolled back on failure, all in the same round trip. So a failing
//   statement takes nothing else down: statements that succeeded stay done (autocommit
//   semantics while a cursor is open), other open results stay readable, and an explicit
//   transaction goes on after a failed statement the way it does on SQLite. The savepoint and
//   its release are statements prepared with the session; after an application's DEALLOCATE or
//   DISCARD the session is set up again.
// - Work done while a cursor is open becomes durable and visible to other connections when the
//   block commits, i.e. when the last open result is closed or read to its end; its row locks
//   are held until then. A commit that fails while a result is being closed (where nothing may
//   throw) is reported at the next use of the connection.
// - An explicit transaction (Transaction, or BEGIN/COMMIT/ROLLBACK/SAVEPOINT sent as SQL) begins
//   the block itself when none is open. Begun while an implicit block is open, it becomes a
//   savepoint inside that block. COMMIT commits the block unless results are still open: then
//   the block carries on implicitly and commits when they are closed. ROLLBACK undoes exactly
//   the transaction's work; results opened inside it are closed, and reading them on raises an
//   error (SQLite would go on reading them).
//
// Statements run once go to the server unnamed (parse, bind and execute in one round trip); a
// statement executed a second time is prepared under a generated name. Parameters are sent as
// text with their types inferred by the server (bytea in binary form); when inference fails or a
// value does not read as the inferred type, the statement is sent again with types taken from
// the values. Results arrive as text; bytea is decoded from its hex form, timestamps and dates
// are handed on in the fixed-width ISO form the SQLite engine stores, so they read the same on
// both. A broken connection is re-established at the next use; a transaction that was open on
// it is reported lost until it is rolled back.
#pragma once

#include "quantora/dblayer/internal/EngineList.h"

namespace quantora::db {

// URIs "postgresql://user@host:port/db?options" (or "postgres://..."), or libpq keywords after
// "postgresql:" ("postgresql:host=... dbname=..."). A read-only session refuses every write
// (default_transaction_read_only).
extern const EngineEntry kPostgresEngine;

}  // namespace quantora::db
