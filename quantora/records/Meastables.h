// Record classes of the measurement tables: MEASUREMENT (one acquisition of a measured object)
// and SPECTRUM (its spectra, with the channel counts stored compressed).
#pragma once

#include <array>
#include <vector>

#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/MeasTypeInfo.h"

struct MEASUREMENTData : CachedRecord<MEASUREMENTData, 16> {
    int MEASMETHOD_ID, MEASUREMENT_ID, MEASSETUP_ID, SOURCE_ID, SOURCELIST_ID, PROJECT_ID;
    AnsiString NAME;
    // 1 none, 2 sample (SAMPLE_ID), 3 source (SOURCE_ID), 4 source list (SOURCELIST_ID).
    int MEASOBJTYPE_ID, SAMPLE_ID, MEASUREDBY_EMP_ID;
    TDateTime STARTDATE, ENDDATE;
    int ENTEREDBY_EMP_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT, EXPORTFILENAME;
    // The measurement's spectra and the type derived from them (one more query per read).
    MeasTypeInfoData MeasTypeInfo;

    static constexpr const char* Table = "MEASUREMENT";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    MEASUREMENTData() { Reset(); }

    // Only the object column that MEASOBJTYPE_ID selects is read and written.
    void AfterResetData() { MeasTypeInfo.Reset(); }
    void AfterGetData(TQuery* q);
    void AfterSetData(TQuery* q);
};

struct SPECTRUMData : CachedRecord<SPECTRUMData, 23> {
    int SPECTRUM_ID, SPECTRUMTYPE_ID, MEASUREMENT_ID;
    AnsiString NAME;
    TDateTime SPECOLLSTARTEDAT, SPECOLLENDEDAT;
    double LIVETIME, TRUETIME;
    int CHANNELS;
    double MAXCOUNT, MINCOUNT, SUMCOUNT;
    int STARTCOUNT, CRC32;
    short COUNTDATAFORMAT;
    int COUNTDATASIZE;
    AnsiString COUNTDATA;  // the compressed counts
    int SPECIFICDATASIZE;
    AnsiString SPECIFICDATA;
    AnsiString SPEFILETYPE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "SPECTRUM";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    SPECTRUMData() { Reset(); }
    ~SPECTRUMData();

    // Fills CHANNELS, STARTCOUNT, COUNTDATAFORMAT, COUNTDATASIZE and COUNTDATA from the counts;
    // `option` picks the compressor's fast mode.
    void CompressCounts(std::vector<unsigned long>* counts, bool option);
    // The counts back from the stored columns; a damaged stream throws.
    void UncompressCounts(std::vector<unsigned long>* counts);
};
