// RadiationLibrary: the isomers, decays and radiation lines of one or more radiation libraries of
// the database, held in memory, and the matching of a measured energy (a peak energy with its
// uncertainty) against the line energies through an interval index. One object serves one
// thread: even the lookups write into the object.
#pragma once

#include <map>
#include <set>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/nuclides/Nuclibtables.h"
#include "quantora/nuclides/RadiationBounds.h"

class RadiationLibrary {
  public:
    RadiationLibrary() { Reset(); }

    // Loads the lines of the libraries `ids` (RADIATIONLIBRARY_ID values) from the database
    // `alias`, with every isomer and decay. Does nothing when the same ids in the same order are
    // already loaded from the same alias. Lines without a positive energy, energy uncertainty,
    // intensity and intensity uncertainty are not loaded. Always true; database errors throw.
    bool Load(const AnsiString& alias, const std::vector<int>& ids);
    // Empties the library and puts the tolerance factor back to 4.0.
    void Reset();

    // The loaded record with that key, or null; valid until the next reloading Load or Reset.
    const ISOMERData* GetIsomerData(int isomerId);
    const DECAYData* GetDecayData(int decayId);
    const RADIATIONData* GetRadiationData(const AnsiString& radiationId);

    // Rebuilds the interval index from the loaded lines; a factor that is not a positive number
    // becomes 4.0 first.
    void GenerateBounds();
    // Appends to `result` (not cleared) the RADIATION_ID of every line whose interval
    // [E - f*EUNC, E + f*EUNC] meets [energy - f*energyUnc, energy + f*energyUnc] and that
    // passes ((E - energy) / f)^2 <= (f*EUNC)^2 + energyUnc^2, each line once. Order: lines
    // beginning inside the query interval by ascending lower end, then those ending inside it
    // by descending upper end, then those enclosing it by ascending upper end.
    void GetMatchingRadiations(double energy, double energyUnc, std::vector<AnsiString>& result);

    // Multiplies uncertainties into half-widths; takes effect at the next GenerateBounds.
    double ToleranceFactor = 4.0;

    // The largest EUNC among the lines of the last Load that have their decay and isomer.
    double LargestLineUncertainty() const { return largest_unc_; }
    bool BoundsValid() const { return bounds_valid_; }
    const std::vector<int>& LibraryIds() const { return library_ids_; }
    // The NAME values of the loaded libraries, joined with ",".
    const AnsiString& LibraryNames() const { return library_names_; }
    // The alias of the last completed load; empty while none has completed.
    const AnsiString& DatabaseAlias() const { return alias_; }

    const std::set<ISOMERData>& Isomers() const { return isomers_; }
    const std::set<DECAYData>& Decays() const { return decays_; }
    const std::set<RADIATIONData>& Radiations() const { return radiations_; }
    // DECAY_ID to RADIATION_ID, and ISOMER_ID to RADIATION_ID (lines with a known isomer only).
    const std::multimap<int, AnsiString>& RadiationsByDecay() const { return by_decay_; }
    const std::multimap<int, AnsiString>& RadiationsByIsomer() const { return by_isomer_; }
    const quantora::RadiationBoundSets& Bounds() const { return bounds_; }

  private:
    void ReadIsomers(TQuery& q);
    void ReadDecays(TQuery& q);
    void ReadLibraryNames(TQuery& q, const AnsiString& idList);
    void ReadRadiations(TQuery& q, const AnsiString& idList);

    bool bounds_valid_ = false;
    double largest_unc_ = 0.0;

    ISOMERData isomer_key_;
    DECAYData decay_key_;
    RADIATIONData radiation_key_;

    std::vector<int> library_ids_;
    AnsiString library_names_;
    AnsiString alias_;

    std::set<ISOMERData> isomers_;
    std::set<DECAYData> decays_;
    std::set<RADIATIONData> radiations_;
    std::multimap<int, AnsiString> by_decay_;
    std::multimap<int, AnsiString> by_isomer_;
    quantora::RadiationBoundSets bounds_;
};
