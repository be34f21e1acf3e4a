// Scope guards and functors around queries: keep a dataset open for an operation, own or borrow
// a query, run prepared DELETE and UPDATE statements, run SQL with optional logging, copy rows.
#pragma once

#include <memory>

#include "quantora/base/Types.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/StringLogger.h"

// Opens a dataset for the length of a scope and puts it back in the state it was found in.
class OpenerCloser {
  public:
    explicit OpenerCloser(TDataSet* ds = nullptr);
    ~OpenerCloser();
    OpenerCloser(const OpenerCloser&) = delete;
    OpenerCloser& operator=(const OpenerCloser&) = delete;

    // Takes over `ds` (a dataset taken over earlier is not restored first) and opens it.
    void SetTable(TDataSet* ds);
    // Restores the held dataset's remembered state and forgets it.
    void ReleaseTable();
    // Closes and reopens the held dataset.
    void Refresh();

    TDataSet* Table = nullptr;
    bool WasOpen = false;
};

// A query borrowed from the caller, or created and owned by the guard: a live, forward-only
// "SELECT * FROM table" on the database alias. Table and column names given to the guards go
// into SQL text and must be plain identifiers (quantora::IsSqlName); others throw an Exception.
class AutoQuery {
  public:
    AutoQuery(TQuery* q, const char* dbName, const char* table);
    ~AutoQuery();
    AutoQuery(const AutoQuery&) = delete;
    AutoQuery& operator=(const AutoQuery&) = delete;

    TQuery* operator->() const { return Query; }
    TQuery& operator*() const { return *Query; }
    TQuery* get() const { return Query; }

    TQuery* Query = nullptr;
    bool Owned = false;
};

// This thread's live query for inserting rows into `table` (a plain identifier) on the alias: a
// SELECT of no row, so that it holds no lock while it stays open. It is kept open with the
// thread's connection to the alias, and the records' Inserts given it share one prepared INSERT:
// for writers of many rows. Hold it only while inserting.
std::shared_ptr<TQuery> ThreadInsertQuery(const char* dbName, const char* table);

// An owned "DELETE FROM table" statement; the caller runs it with ExecSQL.
class AutoDeleteQuery : public AutoQuery {
  public:
    AutoDeleteQuery(const char* dbName, const char* table);
};

// A prepared "update table set column = :p1 where table_ID = :p2".
class SimpleAutoUpdateQuery : public AutoQuery {
  public:
    SimpleAutoUpdateQuery(const char* dbName, const char* table, const char* column);
    // Sets `column` to `value` in the row `id`; returns the number of rows changed.
    int Update(int id, int value);
};

// Runs SQL text on a query, logging each statement and catching every failure.
struct ExecQuery {
    // Carried for callers; the operations below do not read it.
    bool Flag = false;
    TQuery* Query = nullptr;
    StringLogger* Logger = nullptr;

    // Runs `sql` (opens it when `open`, else executes it); returns RowsAffected, -1 without a
    // query or SQL. Never throws: failures go to the logger.
    int operator()(const char* sql, bool open);
    // Copies every row of `table` from the source's database into this one's; a table name that
    // is not a plain identifier throws an Exception before anything runs.
    bool copy(ExecQuery* source, const char* table);
    // Copies the rows of the source's result, from its current row on, into this result.
    bool copy(ExecQuery* source);
};
