// The gamma lines of nuclides as the nuclide tables give them, with what an efficiency fit and
// a quantification need beside them: the nuclide's half-life and whether a line is in cascade
// with another line of its decay (a level it starts from is fed by another line, or it feeds the
// level another starts from), which makes it lose counts to true-coincidence summing in close
// geometries.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

struct NuclideLine {
    AnsiString radiationId;
    int isomerId = -1, decayId = -1;
    std::string nuclide;                     // "Cs-137", "Ag-110m"
    double energy = 0, energyUnc = 0;        // keV
    double intensity = 0, intensityUnc = 0;  // photons per decay (fractions)
    double levelFrom = -1, levelTo = -1;     // keV, -1 unknown
};

struct NuclideInfo {
    std::string nuclide;
    double halfLife = -1, halfLifeUnc = 0;  // s; -1 unknown (no decay correction)
    // A short-lived member of a decay series is measured in equilibrium with its long-lived
    // parent: its activity follows the parent's half-life. The parent's name, empty for none.
    std::string supportedBy;
    double supportHalfLife = -1, supportHalfLifeUnc = 0;  // s; -1: the parent is not in the tables
    double supportBranching = 1;  // the fraction of the parent's decays that reach it
    // The half-life (and its uncertainty) the nuclide's activity decays with.
    double DecayHalfLife() const { return supportedBy.empty() ? halfLife : supportHalfLife; }
    double DecayHalfLifeUnc() const {
        return supportedBy.empty() ? halfLifeUnc : supportHalfLifeUnc;
    }
};

struct NuclideLines {
    std::vector<NuclideLine> lines;      // by energy, each line of a nuclide once
    std::map<int, NuclideInfo> isomers;  // ISOMER_ID
    // True when a line of the same decay emitted in at least a tenth of the decays lies on a
    // level path through `line`: it feeds the level `line` starts from, directly or through
    // other lines, or the level `line` ends on decays through it.
    bool InCascade(const NuclideLine& line) const;
};

// The lines of radiation libraries (RADIATIONLIBRARY_IDs); throws for a library that does not
// exist. Lines without an energy or an intensity are left out.
NuclideLines LinesOfLibraries(const char* dbName, const std::vector<int>& libraryIds);
// The lines of every decay of the isomers given.
NuclideLines LinesOfIsomers(const char* dbName, const std::vector<int>& isomerIds);

}  // namespace quantora
