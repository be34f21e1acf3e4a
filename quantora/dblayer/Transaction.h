// RAII transaction on a database alias: begun on construction, rolled back on destruction
// unless committed. Nested transactions on one thread become savepoints.
#pragma once

#include <memory>

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"

class Transaction {
  public:
    explicit Transaction(const AnsiString& alias);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void Commit();
    void Rollback();
    bool Active() const { return active_; }

  private:
    std::shared_ptr<quantora::db::Connection> conn_;
    int depth_ = 0;  // 1 for the outermost transaction
    bool active_ = false;
};
