// Background analyses: a background measurement of a setup evaluated and kept as a BKGANALYSIS
// with its measurement (BKGMEASUREMENT, naming the evaluation) and its peaks (BKGPEAK, each with
// its rate per live second), valid for the setup from the measurement's date (MEASSETUPBKG). A
// quantification without a background spectrum of its own takes the analysis valid for its
// measurement's setup at its date.
#pragma once

#include <vector>

#include "quantora/base/Types.h"
#include "quantora/lab/LineCounts.h"

namespace quantora {

struct BackgroundAnalysisOptions {
    int spectrumId = -1;
    std::vector<int> libraryIds;  // for the recalibration of the background spectrum
    int settingId = -1;
    AnsiString name;  // empty: from the spectrum
    int employeeId = -1;
};

// Evaluates the background spectrum and stores the analysis in one transaction; returns its
// BKGANALYSIS_ID. Throws (nothing stored) for a missing spectrum or one without live time.
int StoreBackgroundAnalysis(const char* dbName, const BackgroundAnalysisOptions& options);

// The lines of the background analysis valid for `measSetupId` at `date` (empty when none is);
// its key in *analysisId (-1 when none).
std::vector<BackgroundLine> ValidBackground(const char* dbName, int measSetupId, TDateTime date,
                                            int* analysisId);

}  // namespace quantora
