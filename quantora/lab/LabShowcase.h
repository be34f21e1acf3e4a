// What pictures of a lab's data show first: the spectrum with the most found peaks, the first
// radiation library and the first efficiency analysis.
#pragma once

namespace quantora {

struct LabShowcase {
    int spectrumId = -1;    // the spectrum whose measurement's evaluations found the most
                            // peaks (lowest key of equals); -1 when no spectrum has peaks
    int libraryId = 0;      // lowest RADIATIONLIBRARY_ID; 0 when none
    int effAnalysisId = 0;  // lowest EFFANALYSIS_ID; 0 when none
};

LabShowcase FindLabShowcase(const char* dbName);

}  // namespace quantora
