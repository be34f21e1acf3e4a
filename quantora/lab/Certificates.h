// Certified sources: a calibration certificate (CSV, activity per nuclide or emission rate per
// line) read with its uncertainties as standard uncertainties and its reference time in UTC,
// stored as SOURCE and SOURCEISOMER rows tied to the nuclide tables, and read back.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

struct CertifiedLine {  // emission-rate certificates: one certified line
    double energyKeV = 0;
    double rate = 0, rateUnc = 0;  // photons per second at the reference time, standard uncertainty
};

struct CertifiedNuclide {
    AnsiString nuclide;                      // as in the certificate, e.g. "Cs-137"
    int isomerId = -1;                       // the ISOMER row it names (StoreSource, LoadSource)
    double halfLife = -1, halfLifeUnc = -1;  // seconds, from ISOMER (LoadSource)
    double activity = -1, activityUnc = -1;  // Bq at the reference time, standard uncertainty;
                                             // -1 for emission-rate nuclides
    std::vector<CertifiedLine> lines;        // emission-rate form only
    TDateTime reference = 0;                 // UTC
    int csvLine = 0;                         // line of the certificate file (header = 1)
};

struct Certificate {
    bool emissionRate = false;               // which of the two forms
    std::vector<CertifiedNuclide> nuclides;  // one per nuclide (emission-rate lines grouped)
};

// Reads a certificate CSV in either form, told apart by its header:
//   nuclide,activity_bq,total_uncertainty_percent,confidence_level,reference_time
//   nuclide,energy_kev,emission_rate_per_s,expanded_uncertainty_percent,coverage_k,reference_time
// Columns are found by name, in any order, extra ones ignored; an activity certificate may give
// "uncertainty_percent" (a standard uncertainty) in place of the total uncertainty with its
// confidence level. Uncertainties become standard uncertainties: a confidence level of 0.99
// divides by 2.576, 0.95 by 1.960, 0.6827 or 0.68 by 1; a coverage factor k divides by k.
// Reference times are ISO 8601 with their offset from UTC ("...T12:00:00-05:00", "...Z") and
// become UTC. Throws an Exception "<path>:<line>: ..." for an empty file, an unknown header, a
// value that is not a positive number, an unknown confidence level, a missing or unparsable
// reference time, a nuclide (or a nuclide's line) certified twice.
Certificate ReadCertificate(const AnsiString& path);

// Stores a SOURCE row named `name` and one SOURCEISOMER row per nuclide (ACTIVITY and
// ACTIVITYUNC as standard uncertainty, ACTIVITYCALIBRATED, CALIBRDATE = the reference time,
// CALIBRATOR = the file name of `path`) in one transaction; returns SOURCE_ID. An emission-rate
// nuclide gets as ACTIVITY what its strongest certified line implies (rate over the emission
// probability of the nuclide's RADIATION row nearest the line, within 1 keV; the uncertainty
// combines both), and every certified line kept exactly in CMT as
// "emission rates: <keV>=<rate>+-<unc>; ...". A nuclide the ISOMER table does not hold, or an
// emission-rate nuclide none of whose lines is in its RADIATION rows, throws
// "<path>:<line>: ..." with nothing stored.
int StoreSource(const char* dbName, const AnsiString& name, const Certificate& certificate,
                const AnsiString& path);

// The certificate of a stored source, in ISOMER_ID order, with isomerId and half-lives filled
// from ISOMER (csvLine stays 0). Throws "no source with SOURCE_ID = %d" when there is none.
Certificate LoadSource(const char* dbName, int sourceId);

}  // namespace quantora
