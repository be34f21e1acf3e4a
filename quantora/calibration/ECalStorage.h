// Energy calibrations of spectra between the database (ECAL, ECALPOINT, and the nonlinearity
// analysis an ECAL row or the measurement setup names) and ECalibration objects. A spectrum may
// have several; the one that applies is the non-tentative one before tentative ones, the most
// recently modified within each group. Storing always adds a new calibration and marks the
// spectrum's earlier ones tentative.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/calibmodel/ECalibration.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/frame/MeasTypeInfo.h"

// Fills the selected parts of `cal` for the calibration whose key cal->ECalId holds. The linear
// part comes from the points in channel order (default with fewer than two points, or when no
// row has the key); the nonlinear part from the analysis the row names, or, with
// `nonlinFromCaller`, the one cal->NonlinAnalysisId names; with none, from the setup's analysis
// valid at `measDate`. The line is always refitted at the end.
void RetrieveECalParts(ECalibration* cal, const char* dbName, int measSetupId, TDateTime measDate,
                       bool linearPart, bool nonlinPart, bool nonlinFromCaller);
void RetrieveECal(ECalibration* cal, const char* dbName, int measSetupId, TDateTime measDate);
// The linear part only.
void RetrieveLinearECal(ECalibration* cal, const char* dbName);
// The nonlinear part only.
void RetrieveNonlinCal(ECalibration* cal, const char* dbName, int measSetupId, TDateTime measDate);

// The applicable calibration of the spectrum cal->SpectrumId; `cal` is Init()ed first and stays
// so when the spectrum has none.
void RetrieveECalForSpectrum(ECalibration* cal, const char* dbName, int measSetupId,
                             TDateTime measDate);
// The applicable calibration of the measurement's main spectrum (`info` filled for it).
void RetrieveLinECalForMeasurement(ECalibration* cal, const char* dbName, MeasTypeInfoData* info);

// Adds `cal` as a new ECAL row with its points; cal->ECalId and the point keys receive the new
// keys. The queries may be null. Throws, before anything is written, when the linear part is
// not a valid fit.
void StoreECal(ECalibration* cal, IntKeyGen* ecalKeys, IntKeyGen* pointKeys, const char* dbName,
               TQuery* ecalQuery, TQuery* pointQuery);
