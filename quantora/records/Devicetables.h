// Record classes of the measurement setup tables: MEASSETUP (the hardware chain a spectrum is
// taken with), its parts MEASDEVICE, MEASPOSITION, MEASRANGE, ADC and DETECTOR.
#pragma once

#include <array>

#include "quantora/frame/CachedRecord.h"

struct MEASSETUPData : CachedRecord<MEASSETUPData, 9> {
    int MEASSETUP_ID, ADC_ID, DETECTOR_ID, MEASPOSITION_ID, MEASRANGE_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "MEASSETUP";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    MEASSETUPData() { Reset(); }
};

struct MEASDEVICEData : CachedRecord<MEASDEVICEData, 6> {
    int MEASDEVICE_ID, MEASDEVTYPE_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "MEASDEVICE";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    MEASDEVICEData() { Reset(); }
};

struct MEASPOSITIONData : CachedRecord<MEASPOSITIONData, 6> {
    int MEASPOSITION_ID;
    AnsiString NAME;
    double DETSAMPLEDISTANCE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "MEASPOSITION";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    MEASPOSITIONData() { Reset(); }
};

struct MEASRANGEData : CachedRecord<MEASRANGEData, 7> {
    int MEASRANGE_ID;
    AnsiString NAME;
    double STARTE, ENDE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "MEASRANGE";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    MEASRANGEData() { Reset(); }
};

struct ADCData : CachedRecord<ADCData, 5> {
    int ADC_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "ADC";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    ADCData() { Reset(); }

    // An ADC has no detail rows: Delete removes the row alone.
    void RemoveDetails(const AnsiString&) = delete;
};

struct DETECTORData : CachedRecord<DETECTORData, 7> {
    int DETECTOR_ID;
    AnsiString NAME;
    double VOLUME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int DETECTORSUBTYPE_ID;

    static constexpr const char* Table = "DETECTOR";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    DETECTORData() { Reset(); }
};
