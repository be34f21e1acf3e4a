// Transactions and savepoints on this thread's connection to an alias.
#include "quantora/dblayer/Transaction.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"

using quantora::Format;

Transaction::Transaction(const AnsiString& alias) : conn_(quantora::db::ConnectionFor(alias)) {
    depth_ = conn_->transaction_depth + 1;
    if (depth_ == 1) {
        conn_->Begin();
    } else {
        conn_->ExecDirect(Format("SAVEPOINT quantora_sp%d", depth_));
    }
    conn_->transaction_depth = depth_;
    active_ = true;
}

Transaction::~Transaction() {
    if (!active_) return;
    try {
        Rollback();
    } catch (...) {
        // A failed rollback leaves nothing to do here; the engine discards the work.
    }
}

void Transaction::Commit() {
    if (!active_) throw EDatabaseError("Transaction: Commit called on a finished transaction");
    if (conn_->transaction_depth != depth_)
        throw EDatabaseError("Transaction: an inner transaction is still open");
    active_ = false;
    conn_->transaction_depth = depth_ - 1;
    try {
        conn_->ExecDirect(depth_ == 1 ? AnsiString("COMMIT")
                                      : Format("RELEASE SAVEPOINT quantora_sp%d", depth_));
    } catch (...) {
        // A commit that failed must not leave the connection inside the transaction.
        try {
            conn_->ExecDirect(depth_ == 1 ? AnsiString("ROLLBACK")
                                          : Format("ROLLBACK TO SAVEPOINT quantora_sp%d", depth_));
        } catch (...) {
        }
        throw;
    }
}

void Transaction::Rollback() {
    if (!active_) throw EDatabaseError("Transaction: Rollback called on a finished transaction");
    active_ = false;
    conn_->transaction_depth = depth_ - 1;
    if (depth_ == 1) {
        conn_->ExecDirect("ROLLBACK");
    } else {
        conn_->ExecDirect(Format("ROLLBACK TO SAVEPOINT quantora_sp%d", depth_));
        conn_->ExecDirect(Format("RELEASE SAVEPOINT quantora_sp%d", depth_));
    }
}
