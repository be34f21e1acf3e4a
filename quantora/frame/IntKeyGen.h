// Primary-key generators: the caller's abstract IntKeyGen, and two of our own.
#pragma once

#include "quantora/base/Types.h"

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
    int NextKey() override;
    bool CanGenerate() override { return true; }

  private:
    AnsiString table_, key_column_;
    int last_ = 0;
};

}  // namespace quantora
