// Primary-key generators: the caller's abstract IntKeyGen, and three of our own.
#pragma once

#include <cstdint>
#include <memory>

#include "quantora/base/Types.h"

class TQuery;

class IntKeyGen {
  public:
    virtual ~IntKeyGen() = default;
    // The next free key.
    virtual int NextKey() = 0;
    // True when a key can be given.
    virtual bool CanGenerate() = 0;

    // The alias of the database whose keys this generator gives.
    AnsiString DbName;
};

namespace quantora {

// Counts up from a start value (tests, imports into an empty database).
class CountingKeyGen : public IntKeyGen {
  public:
    explicit CountingKeyGen(int start = 1, AnsiString db = {}) : next_(start) {
        DbName = std::move(db);
    }
    int NextKey() override { return next_++; }
    bool CanGenerate() override { return true; }

  private:
    int next_;
};

// Gives MAX(key)+1 of a table, read from the database at every call, and never a key it gave
// before; good for one writer at a time.
class MaxKeyGen : public IntKeyGen {
  public:
    MaxKeyGen(AnsiString db, AnsiString table, AnsiString keyColumn = {});
    ~MaxKeyGen() override;
    int NextKey() override;
    bool CanGenerate() override { return true; }

  private:
    AnsiString table_, key_column_;
    int last_ = 0;
    std::unique_ptr<TQuery> query_;  // kept between calls: one query made, its statement cached
};

// Keys from a named row of the KEYSEQUENCE table, taken with one atomic
// "UPDATE ... SET LASTKEY = LASTKEY + n ... RETURNING LASTKEY" per key (or per block of keys),
// so any number of clients sharing the database, in other processes or on other machines, never
// get the same key. Works on every engine; the table comes with CreateSchema.
//
// The sequence row is made on first use (an INSERT that does nothing when another client made it
// first). With a table given it never gives a key below that table's MAX(key) (the primary key's
// index makes that cheap), so the generator can take over from MaxKeyGen, and keys stay free when
// other writers add rows with keys of their own between its calls; without one it starts at 0.
//
// Outside a Transaction each block is its own short statement, committed at once (on SQLite the
// layer's busy timeout waits for other writers; a "database is locked" that still comes through is
// retried a bounded number of times). Inside the caller's Transaction the key is part of that
// transaction: the sequence row stays locked until it ends, so other clients asking for keys of
// the same sequence wait for its commit or rollback (on SQLite every writer waits anyway), and a
// rollback gives the keys taken in it out again. That is safe for rows written in the rolled-back
// transaction, not for a key the caller kept elsewhere. Keys are taken one at a time inside a
// transaction, so no block of them can outlive a rollback.
//
// On PostgreSQL a result left open on the same thread's connection keeps an implicit transaction
// around the statements run meanwhile: a key taken then is committed (and its row lock released)
// when the last open result is closed.
class DbKeyGen : public IntKeyGen {
  public:
    // `sequence` names the KEYSEQUENCE row (at most 64 characters). `table` (optional) is the
    // table whose MAX(keyColumn) the sequence starts from; `keyColumn` defaults to table + "_ID".
    // `blockSize` keys are taken per statement outside transactions and handed out from memory;
    // keys of a block not used before the generator is destroyed are lost (gaps, never repeats).
    DbKeyGen(AnsiString db, AnsiString sequence, AnsiString table = {}, AnsiString keyColumn = {},
             int blockSize = 1);
    int NextKey() override;
    bool CanGenerate() override { return true; }

    const AnsiString& Sequence() const { return sequence_; }
    int BlockSize() const { return block_size_; }

  private:
    // Advances the sequence by `n`; returns the last key of the block.
    int TakeBlock(int n);
    // Makes the sequence row unless it exists.
    void CreateRow();

    AnsiString sequence_, table_, key_column_;
    int block_size_ = 1;
    int64_t next_ = 1, end_ = 0;  // keys of the current block not handed out: [next_, end_]
};

}  // namespace quantora
