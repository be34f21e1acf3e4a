// Record classes of the sample tables: IRRADIATION, IRRADIATIONLOCATION and LOT (how sample
// material was activated and grouped), SAMPLE, SAMPLEGEOM (a counting geometry with its
// parameter values), SAMPLEGEOMMATRIX and CLIENT.
#pragma once

#include <array>
#include <vector>

#include "quantora/frame/CachedRecord.h"

struct IRRADIATIONData : CachedRecord<IRRADIATIONData, 11> {
    int IRRADIATION_ID, PROJECT_ID, MONITOREVAL_ID, IRRADIATIONLOCATION_ID;
    AnsiString NAME;
    TDateTime STARTDATE, ENDDATE;
    double IRRADLENGTH;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "IRRADIATION";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    IRRADIATIONData() { Reset(); }
};

struct IRRADIATIONLOCATIONData : CachedRecord<IRRADIATIONLOCATIONData, 5> {
    int IRRADIATIONLOCATION_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "IRRADIATIONLOCATION";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    IRRADIATIONLOCATIONData() { Reset(); }
};

struct LOTData : CachedRecord<LOTData, 8> {
    int LOT_ID, PROJECT_ID, COMPOSITION_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int SAMPLESUBTYPE_ID;

    static constexpr const char* Table = "LOT";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    LOTData() { Reset(); }
};

struct SAMPLEData : CachedRecord<SAMPLEData, 20> {
    int SAMPLE_ID, EMPLOYEE_ID, LOT_ID;
    AnsiString NAME;
    double MASSABSFACT, ASSIGNEDCOST;
    TDateTime DISPOSALDATE, CREATIONDATE;
    AnsiString CMT;
    int SAMPLEGEOMMATRIX_ID, SAMP_COMPOSITION_ID, SUPP_COMPOSITION_ID, DILU_COMPOSITION_ID,
        SAMPLEUSERCATEGORY_ID;
    double SAMPLEWEIGHT, SUPPORTWEIGHT, DILUENTWEIGHT;
    AnsiString ISSUPPORTRADIATING, ISDILUENTRADIATING;  // "Y" / "N"
    int SAMPLESUBTYPE_ID;

    static constexpr const char* Table = "SAMPLE";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    SAMPLEData() { Reset(); }
};

// One parameter of a geometry: the definition its type requires (SAMPLEGEOMREQPARAM) with the
// geometry's value (SAMPLEGEOMPARAM), or the starting values when none is stored yet.
struct SAMPLEGEOMPARAM_EditData {
    int SAMPLEGEOMPARAM_ID = -1;  // -1: the value is not stored yet
    int SAMPLEGEOMREQPARAM_ID = -1;
    int SAMPLEGEOMPARAMTYPE_ID = -1;
    int INTVALUE1 = 0;
    int INTVALUE2 = 0;
    AnsiString TEXTVALUE;
    double NUMVALUE1 = 0.0;
    double NUMVALUE2 = 0.0;
    AnsiString NAME;
    AnsiString SYMBOL;
};

struct SAMPLEGEOMData : CachedRecord<SAMPLEGEOMData, 7> {
    int SAMPLEGEOM_ID;
    AnsiString NAME;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int SAMPLEGEOMTYPE_ID;  // selects the required parameters
    AnsiString DATA;
    // The parameters the geometry's type requires, with their values.
    std::vector<SAMPLEGEOMPARAM_EditData> Params;

    static constexpr const char* Table = "SAMPLEGEOM";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    SAMPLEGEOMData() { Reset(); }

    // Writes the columns, then the parameter values (new values get keys from
    // `paramKeyGen`), when `q` is in edit or insert state; the geometry row is posted after.
    void SetData(TQuery* q, IntKeyGen* paramKeyGen);
    // Adds the geometry as a new row of SAMPLEGEOM, its parameter values first.
    void Insert(IntKeyGen* keyGen, IntKeyGen* paramKeyGen, const char* dbName, TQuery* q);
    // Fills Params from the database of `q`: one entry per parameter the type requires.
    void RetrieveParams(TQuery* q);
    // Makes the geometry's stored values match Params in the database of `q`: listed rows are
    // updated, new entries appended, the geometry's other value rows removed.
    void StoreParams(TQuery* q, IntKeyGen* paramKeyGen);

    // Framework hooks.
    void AfterResetData() { Params.clear(); }
    void AfterGetData(TQuery* q) { RetrieveParams(q); }
    void AfterSetData(TQuery* q) { StoreParams(q, param_key_gen_); }

  private:
    // The parameter key generator of the SetData or Insert call in progress.
    IntKeyGen* param_key_gen_ = nullptr;
};

struct SAMPLEGEOMMATRIXData : CachedRecord<SAMPLEGEOMMATRIXData, 12> {
    int SAMPLEGEOMMATRIX_ID, SAMP_COMP_ID, SUPP_COMP_ID, DILU_COMP_ID, SAMPLEGEOM_ID;
    AnsiString NAME;
    AnsiString ISSUPPORTRADIATINGDEF, ISDILUENTRADIATINGDEF;  // defaults for samples, "Y" / "N"
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int EMPLOYEE_ID;
    double SAMPLEDENSITY;

    static constexpr const char* Table = "SAMPLEGEOMMATRIX";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    SAMPLEGEOMMATRIXData() { Reset(); }
};

struct CLIENTData : CachedRecord<CLIENTData, 10> {
    int CLIENT_ID, CLIENTINSTITUTION_ID, CLIENTCATEGORY_ID;
    AnsiString NAME, ADDRESS, EMAIL, TEL;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "CLIENT";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    CLIENTData() { Reset(); }

    // A client has no detail rows: Delete removes the row alone.
    void RemoveDetails(const AnsiString&) = delete;
};
