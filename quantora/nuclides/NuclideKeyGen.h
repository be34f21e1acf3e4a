// The keys the gamma-line loader (GammaLineTable.h) writes with into a database that already
// holds nuclide data: one key sequence unused in every table it writes.
#pragma once

#include "quantora/frame/IntKeyGen.h"

namespace quantora {

// Starts one above the largest key in use in ISOMER, DECAY and RADIATIONLIBRARY and the largest
// numeric RADIATION key (radiation keys are text; the others do not count), 1 in empty tables.
class NuclideKeyGen : public IntKeyGen {
  public:
    explicit NuclideKeyGen(const char* dbName);
    int NextKey() override { return next_++; }
    bool CanGenerate() override { return true; }

  private:
    int next_ = 1;
};

}  // namespace quantora
