// Bulk writing with fewer disk flushes: while a DeferredFlush lives, commits on this thread's
// connection to an alias are written in order but not each flushed to disk (SQLite in WAL mode);
// Flush() puts every commit so far on disk, and so does the end of the scope. A power cut in
// between can lose the commits since the last flush, never the database's consistency: report a
// commit to the user only after a flush. Engines that flush every commit make this a no-op.
#pragma once

#include <memory>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"

class DeferredFlush {
  public:
    explicit DeferredFlush(const AnsiString& alias);
    ~DeferredFlush();
    DeferredFlush(const DeferredFlush&) = delete;
    DeferredFlush& operator=(const DeferredFlush&) = delete;

    void Flush();

  private:
    std::shared_ptr<quantora::db::Connection> conn_;
};
