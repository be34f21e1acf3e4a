// Deferred disk flushes of commits on this thread's connection to an alias.
#include "quantora/dblayer/DeferredFlush.h"

#include "quantora/dblayer/Database.h"

DeferredFlush::DeferredFlush(const AnsiString& alias) : conn_(quantora::db::ConnectionFor(alias)) {
    conn_->SetFlushEachCommit(false);
}

DeferredFlush::~DeferredFlush() {
    try {
        conn_->FlushCommits();
    } catch (...) {
        // A caller that reports commits to its user called Flush() first and saw this error.
    }
    try {
        conn_->SetFlushEachCommit(true);
    } catch (...) {
        // A connection that cannot take the setting cannot commit either.
    }
}

void DeferredFlush::Flush() {
    conn_->FlushCommits();
}
