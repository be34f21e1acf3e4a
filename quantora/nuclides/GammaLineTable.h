// Loading an evaluated gamma-line table (comma-separated, one line per row, keV and seconds) into
// the nuclide tables as one new radiation library, so a lab can match peaks against it.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/StringLogger.h"

namespace quantora {

struct GammaLineLoad {
    int libraryId = -1;     // RADIATIONLIBRARY_ID of the new library
    int isomers = 0;        // ISOMER rows written
    int decays = 0;         // DECAY rows (and RADLIB_TRANSFORM rows) written
    int lines = 0;          // RADIATION rows written
    int unmatchable = 0;    // of those, lines without energy uncertainty or absolute intensity
                            // with uncertainty: stored, but a RadiationLibrary does not load them
    int withoutEnergy = 0;  // rows without an energy, skipped
    int halfLifeConflicts = 0;  // isomers another data set gives a different half-life
};

// Reads `csvFile` and writes, in one transaction on `alias` (nothing stays on failure):
//  - one ISOMER per nuclide and isomer_state (SYMBOL, ISOMERNUM, HALFLIFE and HALFLIFEUNC in
//    seconds, from the first data set that names it);
//  - one DECAY per data set (the `source` column) with its mode, branching and the data set in
//    CMT, and one RADLIB_TRANSFORM row tying it to the new library;
//  - one RADIATION per row with an energy: E, EUNC in keV and INTENSITY, INTENSITYUNC in photons
//    per 100 decays, as given; unknown values stay null, so the radiation library refuses
//    those lines when it loads;
//  - one RADIATIONLIBRARY named after the file (its name without directory and extension).
// Every key comes from `keyGen`, which must give keys unused in all these tables. A missing
// column, a value that is not a number, a negative value, an energy of 0, a data set given for
// two nuclides, or a key the database refuses throws an Exception naming the file and line.
// Progress and a summary go to `logger` (may be null).
GammaLineLoad LoadGammaLineTable(const AnsiString& alias, const AnsiString& csvFile,
                                 IntKeyGen* keyGen, StringLogger* logger);

// TRANSITIONTYPE_ID of a decay mode: 1 beta minus ("B-"), 2 electron capture or beta plus
// ("EC+B+", "EC", "B+"), 3 alpha ("A"), 4 isomeric transition ("IT"), -1 any other.
int TransitionTypeOfDecayMode(const AnsiString& mode);

}  // namespace quantora
