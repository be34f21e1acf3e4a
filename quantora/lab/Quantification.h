// Quantification of a stored spectrum: for each nuclide of the radiation libraries, its activity
// at a reference time from its lines (ISO 11929 decision threshold and detection limit with the
// setting's quantiles), through the efficiency analysis named or the one valid for the
// measurement's setup at its date, a background spectrum subtracted when one is given, per
// kilogram when the measurement's sample has a mass. The spectra's current stored peak
// evaluations are used where they exist; a spectrum without one is evaluated. A line that two
// nuclides share is counted for neither when both have lines of their own; a nuclide whose only
// lines are shared gets the shared counts less what the other nuclides' activities put there.
// The lines of the members of a series in equilibrium with a nuclide (radium from its radon
// daughters) count for it too. Stored as a nuclide identification of the spectrum's peak
// evaluation, with its peaks and ACTIVITYRESULT rows.
#pragma once

#include <string>
#include <vector>

#include "quantora/analysis/Activity.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/lab/LineCounts.h"
#include "quantora/lab/PeakEvalRun.h"
#include "quantora/records/Resulttables.h"

namespace quantora {

struct QuantifyOptions {
    int spectrumId = -1;
    std::vector<int> libraryIds;
    int effAnalysisId = -1;         // -1: the analysis valid for the setup at the measurement date
    int backgroundSpectrumId = -1;  // -1: the background analysis valid for the setup, if any
    int settingId = -1;             // peak evaluation setting; -1 the stored default
    TDateTime reference = 0;        // activities at this time; 0: the start of the count
    double minIntensity = 0.01;     // weaker lines are not used
    bool reevaluate = false;        // evaluate anew even where a current stored evaluation exists
    bool store = true;
    int employeeId = -1;
};

struct QuantifiedLine {
    int line = -1;  // in run.lines
    double energy = 0;
    LineCounts counts;
    analysis::LineActivity activity;
    bool shared = false;  // another nuclide has a line there
    bool used = false;    // in the nuclide's activity
    // A line of a member of the nuclide's series in equilibrium with it: that member, and the
    // fraction of the nuclide's decays that reach it.
    std::string progeny;
    int progenyIsomer = -1;
    double branching = 1;
};

struct QuantifiedNuclide {
    std::string nuclide;
    int isomerId = -1;
    analysis::NuclideActivity activity;
    std::vector<QuantifiedLine> lines;
    bool cascade = false;     // every line it comes from loses counts to coincidence summing
    std::string supportedBy;  // the parent it is in equilibrium with (its decay), empty for none
    int resultId = -1;        // stored ACTIVITYRESULT_ID
    bool FromProgeny() const {
        for (const QuantifiedLine& l : lines)
            if (l.used && !l.progeny.empty()) return true;
        return false;
    }
};

struct Quantification {
    PeakEvalRun run;
    EffCalibration efficiency;
    TDateTime reference = 0, start = 0;
    double mass = 0;  // kg; 0 none
    std::string unit = "Bq";
    std::vector<QuantifiedNuclide> nuclides;  // by name
    int backgroundAnalysisId = -1;  // the BKGANALYSIS used when no background spectrum was named
    int nuclideIdentId = -1;
};

// Throws an Exception (nothing stored) when the spectrum, a library or the efficiency analysis
// is missing, or the spectrum has no live time or start.
Quantification Quantify(const char* dbName, const QuantifyOptions& options);

// The activity results of the spectrum's newest quantification, by nuclide (empty when it has
// none). Each row's CMT names the nuclide.
std::vector<ACTIVITYRESULTData> StoredActivities(const char* dbName, int spectrumId);

}  // namespace quantora
