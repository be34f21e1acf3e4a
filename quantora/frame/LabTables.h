// The lab's tables in schema order, each with its record class (NoRecord for a table that has
// none): the one list that the schema check, the lab-schema name check of imported and
// user-given table names, the deletable tables (quantora/lab/DeletableTables.h) and the fault
// sweep all read. Every table that schema/quantora.sql creates is listed here; a test holds the
// two in step.
//
// QUANTORA_LAB_TABLES(X) expands X(TABLE, RecordClass) once per table. The record classes are
// declared in records/, calibration/ and nuclides/; a user that names them includes those.
#pragma once

#include <string_view>
#include <type_traits>

// Stands in the registry for a table without a record class (record classes are global too).
struct NoRecord;

namespace quantora {

// True when record class R stores its rows in `table` (always for NoRecord): a user of the
// classes checks the registry with static_assert(RecordOfTable<R>("TABLE")).
template <class R>
constexpr bool RecordOfTable(std::string_view table) {
    if constexpr (std::is_same_v<R, NoRecord>)
        return true;
    else
        return std::string_view(R::Table) == table;
}

}  // namespace quantora

// clang-format off
#define QUANTORA_LAB_TABLES(X) \
    X(EMPLOYEE,             NoRecord) \
    X(PROJECT,              PROJECTData) \
    X(DOCUMENT,             DOCUMENTData) \
    X(CLIENT,               CLIENTData) \
    X(ORDERS,               ORDERSData) \
    X(SCHEDULEDTASK,        NoRecord) \
    X(MEASUREMENT,          MEASUREMENTData) \
    X(SPECTRUM,             SPECTRUMData) \
    X(MEAS_KEYWORD,         NoRecord) \
    X(PEAKEVAL,             PEAKEVALData) \
    X(PEAK,                 PEAKData) \
    X(PEAKEVALREGION,       PEAKEVALREGIONData) \
    X(PEAKEVALPEAK,         PEAKEVALPEAKData) \
    X(PEAKPARAMVALUE,       PEAKPARAMVALUEData) \
    X(REGIONPARAMVALUE,     REGIONPARAMVALUEData) \
    X(NUCLIDEIDENT,         NUCLIDEIDENTData) \
    X(NUCLIDEPEAK,          NUCLIDEPEAKData) \
    X(ACTIVITYRESULT,       ACTIVITYRESULTData) \
    X(SOURCE,               SOURCEData) \
    X(SOURCEISOMER,         SOURCEISOMERData) \
    X(ADC,                  ADCData) \
    X(DETECTOR,             DETECTORData) \
    X(DETPARAM,             NoRecord) \
    X(MEASPOSITION,         MEASPOSITIONData) \
    X(MEASRANGE,            MEASRANGEData) \
    X(MEASSETUP,            MEASSETUPData) \
    X(MEASDEVICE,           MEASDEVICEData) \
    X(MEASDEVICE_MSETUP,    NoRecord) \
    X(MEASSETUPNONLIN,      NoRecord) \
    X(MEASSETUPEFF,         NoRecord) \
    X(MEASSETUPRESOL,       NoRecord) \
    X(MEASSETUPBKG,         NoRecord) \
    X(IRRADIATIONLOCATION,  IRRADIATIONLOCATIONData) \
    X(IRRADIATION,          IRRADIATIONData) \
    X(LOT,                  LOTData) \
    X(SAMPLEIRRADIATION,    NoRecord) \
    X(SAMPLEGEOM,           SAMPLEGEOMData) \
    X(SAMPLEGEOMREQPARAM,   NoRecord) \
    X(SAMPLEGEOMPARAM,      NoRecord) \
    X(SAMPLEGEOMMATRIX,     SAMPLEGEOMMATRIXData) \
    X(SAMPLE,               SAMPLEData) \
    X(ECAL,                 ECALData) \
    X(ECALPOINT,            ECALPOINTData) \
    X(FWHMCAL,              FWHMCALData) \
    X(FWHMCALPOINT,         FWHMCALPOINTData) \
    X(NONLINANALYSIS,       NONLINANALYSISData) \
    X(NONLINMEASUREMENT,    NONLINMEASUREMENTData) \
    X(NONLINPEAK,           NONLINPEAKData) \
    X(EFFANALYSIS,          EFFANALYSISData) \
    X(EFFMEASUREMENT,       EFFMEASUREMENTData) \
    X(EFFPEAK,              EFFPEAKData) \
    X(RESOLANALYSIS,        RESOLANALYSISData) \
    X(RESOLMEASUREMENT,     RESOLMEASUREMENTData) \
    X(RESOLPEAK,            RESOLPEAKData) \
    X(BKGANALYSIS,          NoRecord) \
    X(BKGMEASUREMENT,       NoRecord) \
    X(BKGPEAK,              NoRecord) \
    X(PEAKEVALCAL,          PEAKEVALCALData) \
    X(PEAKEVALCALPARAMLIST, NoRecord) \
    X(ADCANALYSIS,          NoRecord) \
    X(QAANALYSIS,           NoRecord) \
    X(RADIATIONCORRLIST,    NoRecord) \
    X(QUANTANALYSIS,        NoRecord) \
    X(MONITORANALYSIS,      NoRecord) \
    X(BLOBCHUNK,            NoRecord) \
    X(SETTING,              NoRecord) \
    X(USERSETTINGS,         NoRecord) \
    X(ISOMER,               ISOMERData) \
    X(DECAY,                DECAYData) \
    X(RADIATION,            RADIATIONData) \
    X(RADIATIONLIBRARY,     NoRecord) \
    X(RADLIB_TRANSFORM,     NoRecord) \
    X(KEYSEQUENCE,          NoRecord) \
    X(SCHEMAVERSION,        NoRecord)
// clang-format on

namespace quantora {

// The lab's tables as constants, in schema order: a list that names its tables by these cannot
// name one the registry lacks.
enum class LabTable {
#define QUANTORA_LAB_TABLE_CONSTANT(table, record) table,
    QUANTORA_LAB_TABLES(QUANTORA_LAB_TABLE_CONSTANT)
#undef QUANTORA_LAB_TABLE_CONSTANT
};

// The table's name as the schema writes it.
constexpr const char* LabTableName(LabTable table) {
#define QUANTORA_LAB_TABLE_NAME(table, record) #table,
    constexpr const char* kNames[] = {QUANTORA_LAB_TABLES(QUANTORA_LAB_TABLE_NAME)};
#undef QUANTORA_LAB_TABLE_NAME
    return kNames[static_cast<int>(table)];
}

}  // namespace quantora
