// Record classes of nuclide identifications (NUCLIDEIDENT: one per quantification of an
// evaluated spectrum), the peaks they assign to nuclides (NUCLIDEPEAK) and the activities they
// find (ACTIVITYRESULT: one per nuclide, with decision threshold and detection limit).
#pragma once

#include <array>

#include "quantora/frame/CachedRecord.h"

struct NUCLIDEIDENTData : CachedRecord<NUCLIDEIDENTData, 5> {
    int NUCLIDEIDENT_ID, PEAKEVAL_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "NUCLIDEIDENT";
    static const ColumnList& Columns();
    // Its peak assignments and activity results go with it.
    static const quantora::DeletionRules& Deletion();

    NUCLIDEIDENTData() { Reset(); }
};

struct NUCLIDEPEAKData : CachedRecord<NUCLIDEPEAKData, 6> {
    int NUCLIDEPEAK_ID, NUCLIDEIDENT_ID, PEAK_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;  // the nuclide and line the peak is

    static constexpr const char* Table = "NUCLIDEPEAK";
    static const ColumnList& Columns();

    NUCLIDEPEAKData() { Reset(); }
};

struct ACTIVITYRESULTData : CachedRecord<ACTIVITYRESULTData, 16> {
    int ACTIVITYRESULT_ID, NUCLIDEIDENT_ID, SPECTRUM_ID, ISOMER_ID, EFFANALYSIS_ID;
    TDateTime REFERENCEDATE;
    double ACTIVITY, ACTIVITYUNC, DECISIONTHRESHOLD, DETECTIONLIMIT;  // limit -1: none exists
    bool DETECTED;                                                    // "Y"/"N"
    AnsiString UNIT;
    int LINES, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "ACTIVITYRESULT";
    static const ColumnList& Columns();

    ACTIVITYRESULTData() { Reset(); }
};
