// FWHM calibrations of spectra between the database (FWHMCAL, FWHMCALPOINT) and FwhmCalibrClass
// objects. As with energy calibrations, the applicable one of a spectrum is non-tentative
// before tentative, newest modification first, and storing marks the earlier ones tentative;
// unlike them, a missing calibration or one with fewer than two points is an error.
#pragma once

#include "quantora/calibmodel/FwhmCalibrClass.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/IntKeyGen.h"

// Fills `cal` from FWHMCAL row `fwhmCalId` (0 or less: cal->FwhmCalId) and its points. A query
// given is the caller's (SQL and parameters included) and is opened here; the point query is
// closed again after reading. Throws when the row is missing or has fewer than two points.
void RetrieveLinearFwhmCal(FwhmCalibrClass* cal, int fwhmCalId, const char* dbName,
                           TQuery* fwhmQuery, TQuery* pointQuery);
// The applicable FWHM calibration of the spectrum; without one, `cal` is left untouched.
void RetrieveLinearFwhmCalForSpectrum(FwhmCalibrClass* cal, const char* dbName, int spectrumId,
                                      TQuery* fwhmQuery, TQuery* pointQuery);
// Adds `cal` as a new FWHMCAL row with its points; cal->FwhmCalId and the point keys receive the
// new keys. Throws, before anything is written, when `cal` is not a valid fit.
void StoreLinearFwhmCal(FwhmCalibrClass* cal, IntKeyGen* fwhmKeys, IntKeyGen* pointKeys,
                        const char* dbName, TQuery* fwhmQuery, TQuery* pointQuery);
