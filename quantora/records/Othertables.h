// Record classes of sources (SOURCE, and the activities per nuclide isomer in SOURCEISOMER),
// projects (PROJECT, a tree through SUPERPROJECT_ID), documents (DOCUMENT, the head of a
// chunked content) and orders (ORDERS).
#pragma once

#include <array>

#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/PlainRecord.h"

struct SOURCEData : PlainRecord<SOURCEData, 6> {
    int SOURCE_ID;
    AnsiString NAME, OWNER;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "SOURCE";
    static const ColumnList& Columns();
    // A source never blocks its deletion: its measurements become measurements of no object.
    static const quantora::DeletionRules& Deletion();

    SOURCEData() { Reset(); }
};

// Keyed by the pair SOURCE_ID, ISOMER_ID; Insert writes both as they stand and never takes a
// key from the generator.
struct SOURCEISOMERData : PlainRecord<SOURCEISOMERData, 10> {
    int SOURCE_ID, ISOMER_ID;
    bool ACTIVITYCALIBRATED;
    double ACTIVITY, ACTIVITYUNC;
    AnsiString CALIBRATOR;
    TDateTime CALIBRDATE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "SOURCEISOMER";
    static const ColumnList& Columns();

    SOURCEISOMERData() { Reset(); }

    // Fills the parameters of the caller's statement `q` named after the columns (SOURCE_ID,
    // ISOMER_ID, ACTIVITYCALIBRATED; ACTIVITY, ACTIVITYUNC and CALIBRDATE when above 0;
    // CALIBRATOR and CMT when not empty; skipped ones keep their values) and executes it. True
    // exactly when one row was changed.
    bool Update(TQuery* q);
};

struct PROJECTData : CachedRecord<PROJECTData, 8> {
    int PROJECT_ID;
    int SUPERPROJECT_ID;  // null in the row for a top-level project
    AnsiString NAME;
    TDateTime STARTDATE, ENDDATE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "PROJECT";
    static const ColumnList& Columns();
    // Only an empty project can go: sub-projects and member rows block it.
    static const quantora::DeletionRules& Deletion();

    PROJECTData() { Reset(); }
};

// The content beyond DATA lies in BLOBCHUNK rows of owner type "pDocument" and owner id 1 =
// DOCUMENT_ID; they are deleted with the document.
struct DOCUMENTData : CachedRecord<DOCUMENTData, 14> {
    int DOCUMENT_ID, DOCUMENTCATEGORY_ID, PROJECT_ID, FILETYPE_ID, OWNER_ID;
    AnsiString NAME;
    AnsiString DATA;  // bytes
    int EMPLOYEE_ID;
    AnsiString CMT;
    int DATAFORMAT, ORIGSIZE, DATASIZE, CRC32;
    TDateTime CREATIONDATE;

    static constexpr const char* Table = "DOCUMENT";
    static const ColumnList& Columns();
    static const quantora::DeletionRules& Deletion();

    DOCUMENTData() { Reset(); }
};

struct ORDERSData : CachedRecord<ORDERSData, 10> {
    int ORDERS_ID, CLIENT_ID;
    AnsiString NAME;
    TDateTime ORDERDATE, COMPLETEDDATE;
    AnsiString SPECIALREQUEST;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    int PROJECT_ID;

    static constexpr const char* Table = "ORDERS";
    static const ColumnList& Columns();
    // An order never blocks its deletion.
    static const quantora::DeletionRules& Deletion();

    ORDERSData() { Reset(); }
};
