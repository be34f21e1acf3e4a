// Peak evaluation algorithm settings: the PEAKEVALCAL record (a named setting) and the movement
// of a whole setting, 61 numbered parameters kept as PEAKEVALCALPARAMLIST rows, between the
// database and a PeakEvalCalibration. Every parameter is stored as a float written with "%15g",
// so stored values keep six significant digits.
#pragma once

#include <array>

#include "quantora/calibmodel/PeakEvalCalibration.h"
#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/StringLogger.h"

// A setting still used by peak evaluations or their regions cannot be deleted.
struct PEAKEVALCALData : CachedRecord<PEAKEVALCALData, 5> {
    int PEAKEVALCAL_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "PEAKEVALCAL";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();
    PEAKEVALCALData() { Reset(); }
};

// Writes the parameters of `cal` under its key (asNew: also a new PEAKEVALCAL row with the
// key of `cal`, posted only when every parameter was written; otherwise the row stays as it
// is). Statements run through ExecQuery: failures are logged to `log` (may be null) and end
// the parameter chain. True when the last parameter was written.
bool StorePeakEvalCal(PeakEvalCalibration* cal, const char* dbName, bool asNew, StringLogger* log);
// Reads setting `peakEvalCalId` (0 or less: the key `cal` holds) into `cal`, starting from the
// defaults; parameters missing from the list keep them. False, with a message to `log`, when
// the setting or its parameter list does not exist.
bool RetrievePeakEvalCal(PeakEvalCalibration* cal, const char* dbName, int peakEvalCalId,
                         StringLogger* log);
