// SOURCE, SOURCEISOMER, PROJECT, DOCUMENT and ORDERS: columns, the isomer update, deletion rules.
#include "quantora/records/Othertables.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"

using quantora::Col;
using quantora::DateCol;

const SOURCEData::ColumnList& SOURCEData::Columns() {
    using R = SOURCEData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("SOURCE_ID", &R::SOURCE_ID).Key(),
        Col("NAME", &R::NAME),
        Col("OWNER", &R::OWNER),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const quantora::DeletionRules& SOURCEData::Deletion() {
    static constexpr quantora::CheckStep checks[] = {
        {"SELECT measurement_id, name FROM measurement WHERE source_id = %d",
         "MEASUREMENT ID=%d of '%s'", NullOnDelete},
    };
    static constexpr quantora::DetailStep details[] = {
        {"delete from sourceisomer where source_id = %d"},
    };
    // The measurements of the source become measurements of no object (type 1).
    static constexpr const char* deletes[] = {
        "UPDATE MEASUREMENT \r\n   SET \r\n       SOURCE_ID = NULL, \r\n       MEASOBJTYPE_ID = 1 "
        "\r\nWHERE \r\n   SOURCE_ID = %d",
        "delete from source where source_id = %d",
    };
    static const quantora::DeletionRules rules{"SOURCE", nullptr, details, checks, deletes};
    return rules;
}

// Written in this order on insert; Read looks every column up by name.
const SOURCEISOMERData::ColumnList& SOURCEISOMERData::Columns() {
    using R = SOURCEISOMERData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("SOURCE_ID", &R::SOURCE_ID),
        Col("ISOMER_ID", &R::ISOMER_ID),
        Col("ACTIVITYCALIBRATED", &R::ACTIVITYCALIBRATED),
        Col("ACTIVITY", &R::ACTIVITY).IfPositive(),
        Col("ACTIVITYUNC", &R::ACTIVITYUNC).IfPositive(),
        Col("CALIBRATOR", &R::CALIBRATOR).IfNotEmpty(),
        DateCol("CALIBRDATE", &R::CALIBRDATE).IfPositive(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

bool SOURCEISOMERData::Update(TQuery* q) {
    if (!q) throw quantora::MisuseError("SOURCEISOMERData::Update: no query given");
    q->ParamByName("SOURCE_ID")->SetAsInteger(SOURCE_ID);
    q->ParamByName("ISOMER_ID")->SetAsInteger(ISOMER_ID);
    q->ParamByName("ACTIVITYCALIBRATED")->SetAsString(ACTIVITYCALIBRATED ? "Y" : "N");
    if (ACTIVITY > 0.0) q->ParamByName("ACTIVITY")->SetAsFloat(ACTIVITY);
    if (ACTIVITYUNC > 0.0) q->ParamByName("ACTIVITYUNC")->SetAsFloat(ACTIVITYUNC);
    if (CALIBRDATE > 0.0) q->ParamByName("CALIBRDATE")->SetAsDateTime(CALIBRDATE);
    if (!CALIBRATOR.empty()) q->ParamByName("CALIBRATOR")->SetAsString(CALIBRATOR);
    if (!CMT.empty()) q->ParamByName("CMT")->SetAsString(CMT);
    q->ExecSQL();
    return q->RowsAffected() == 1;
}

const PROJECTData::ColumnList& PROJECTData::Columns() {
    using R = PROJECTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("PROJECT_ID", &R::PROJECT_ID).Key(),
        Col("SUPERPROJECT_ID", &R::SUPERPROJECT_ID).IfPositive(),
        Col("NAME", &R::NAME),
        DateCol("STARTDATE", &R::STARTDATE),
        DateCol("ENDDATE", &R::ENDDATE).IfPositive(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const quantora::DeletionRules& PROJECTData::Deletion() {
    static constexpr ReferringTableInfo_t referrers[] = {
        {Blocking, "PROJECT", "NAME", "SUPERPROJECT_ID"},
        {Blocking, "IRRADIATION", "NAME", nullptr},
        {Blocking, "MEASUREMENT", "NAME", nullptr},
        {Blocking, "LOT", "NAME", nullptr},
        {Blocking, "BKGANALYSIS", "NAME", nullptr},
        {Blocking, "RESOLANALYSIS", "NAME", nullptr},
        {Blocking, "EFFANALYSIS", "NAME", nullptr},
        {Blocking, "NONLINANALYSIS", "NAME", nullptr},
        {Blocking, "MONITORANALYSIS", "NAME", nullptr},
        {Blocking, "ADCANALYSIS", "NAME", nullptr},
        {Blocking, "ORDERS", "NAME", nullptr},
        {Blocking, "SCHEDULEDTASK", "NAME", nullptr},
        {Blocking, "DOCUMENT", "NAME", nullptr},
        {Blocking, nullptr, nullptr, nullptr},
    };
    static const quantora::DeletionRules rules{"PROJECT", referrers};
    return rules;
}

const DOCUMENTData::ColumnList& DOCUMENTData::Columns() {
    using R = DOCUMENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("DOCUMENT_ID", &R::DOCUMENT_ID).Key(),
        Col("DOCUMENTCATEGORY_ID", &R::DOCUMENTCATEGORY_ID),
        Col("PROJECT_ID", &R::PROJECT_ID),
        Col("FILETYPE_ID", &R::FILETYPE_ID),
        Col("OWNER_ID", &R::OWNER_ID).IfPositive(),
        Col("NAME", &R::NAME),
        Col("DATA", &R::DATA),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("DATAFORMAT", &R::DATAFORMAT),
        Col("ORIGSIZE", &R::ORIGSIZE),
        Col("DATASIZE", &R::DATASIZE),
        Col("CRC32", &R::CRC32),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
    });
    return cols;
}

// Nothing refers to a document, so the check runs no query; it still empties the sets it is
// given, like every other table's check, so that a caller never sees reports of an earlier
// object.
const quantora::DeletionRules& DOCUMENTData::Deletion() {
    // Every chunk of the content in one statement, whatever OWNERID2 and DATATYPE they carry.
    static constexpr quantora::DetailStep details[] = {
        {" DELETE FROM blobchunk WHERE    OWNERTYPE = 'pDocument'  AND    OWNERID1  = %d"},
    };
    static constexpr const char* deletes[] = {"delete from document where document_id = %d"};
    static const quantora::DeletionRules rules{"DOCUMENT", nullptr, details, {}, deletes};
    return rules;
}

const ORDERSData::ColumnList& ORDERSData::Columns() {
    using R = ORDERSData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("ORDERS_ID", &R::ORDERS_ID).Key(),
        Col("CLIENT_ID", &R::CLIENT_ID),
        Col("NAME", &R::NAME),
        DateCol("ORDERDATE", &R::ORDERDATE),
        DateCol("COMPLETEDDATE", &R::COMPLETEDDATE).IfPositive(),
        Col("SPECIALREQUEST", &R::SPECIALREQUEST).IfNotEmpty(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PROJECT_ID", &R::PROJECT_ID),
    });
    return cols;
}

const quantora::DeletionRules& ORDERSData::Deletion() {
    static constexpr const char* deletes[] = {"delete from ORDERS where ORDERS_id = %d"};
    static const quantora::DeletionRules rules{"ORDERS", nullptr, {}, {}, deletes};
    return rules;
}
