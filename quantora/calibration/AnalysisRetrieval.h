// Finding the nonlinearity, efficiency and resolution analysis that applies to a measurement
// setup at a date (the setting with the latest VALIDFROM not after the date), and loading an
// efficiency analysis by key.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/calibmodel/ECalibration.h"
#include "quantora/calibmodel/EffCalibration.h"
#include "quantora/calibmodel/FwhmCalibrClass.h"

// The key of the nonlinearity analysis valid for the setup at the date, or -1. When `cal` is
// given its nonlinear part is cleared and, with an analysis found, loaded; `recalcLinear`
// then refits the linear part.
int RetrieveDefaultNonlinCalForMeas(ECalibration* cal, const char* dbName, int measSetupId,
                                    TDateTime measDate, bool recalcLinear);

// The key of the efficiency analysis valid for the setup at the date, or -1; loaded into `cal`
// when given (its analysis key is -1 when none is found). The energy range is not filled.
int RetrieveDefaultEffCalForMeas(EffCalibration* cal, const char* dbName, int measSetupId,
                                 TDateTime measDate);

// Loads efficiency analysis `effAnalysisId` with the energy range of its peaks. False for a
// missing `cal` or alias and for a key below 1 (then the analysis key of `cal` is -1); true
// otherwise, also when no row has the key: cal->Valid tells whether an analysis was loaded.
bool RetrieveEffCal(EffCalibration* cal, int effAnalysisId, const char* dbName);

// The key of the resolution analysis valid for the setup at the date, or -1; loaded into
// `cal` when given (its calibration key is -1 when none is found).
int RetrieveDefaultResolCalForMeas(FwhmCalibrClass* cal, const char* dbName, int measSetupId,
                                   TDateTime measDate);
