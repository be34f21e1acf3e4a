// IRRADIATION, IRRADIATIONLOCATION, LOT, SAMPLE, SAMPLEGEOM (with its parameter values),
// SAMPLEGEOMMATRIX and CLIENT: columns, parameter reading and storing, deletion rules.
#include "quantora/records/Sampletables.h"

#include <utility>

#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"

using quantora::CheckStep;
using quantora::Col;
using quantora::DateCol;
using quantora::DeletionRules;
using quantora::DetailStep;
using quantora::Format;

namespace {

const ReferringTableInfo_t kClientReferrers[] = {
    {Blocking, "ORDERS", "NAME", nullptr},
    {Blocking, nullptr, nullptr, nullptr},
};

// The database alias of a query handed to the parameter functions.
const AnsiString& AliasOf(TQuery* q, const char* operation) {
    if (!q) throw quantora::MisuseError(Format("SAMPLEGEOMData::%s: no query given", operation));
    return q->DatabaseName();
}

// Sets a pointer for the length of a scope and puts the old value back.
class PointerScope {
  public:
    PointerScope(IntKeyGen*& slot, IntKeyGen* value)
        : slot_(slot), old_(std::exchange(slot, value)) {}
    ~PointerScope() { slot_ = old_; }
    PointerScope(const PointerScope&) = delete;
    PointerScope& operator=(const PointerScope&) = delete;

  private:
    IntKeyGen*& slot_;
    IntKeyGen* old_;
};

}  // namespace

// --- IRRADIATION, IRRADIATIONLOCATION, LOT ---

const IRRADIATIONData::ColumnList& IRRADIATIONData::Columns() {
    using R = IRRADIATIONData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("IRRADIATION_ID", &R::IRRADIATION_ID).Key(),
        Col("PROJECT_ID", &R::PROJECT_ID),
        Col("MONITOREVAL_ID", &R::MONITOREVAL_ID).IfPositive(),
        Col("IRRADIATIONLOCATION_ID", &R::IRRADIATIONLOCATION_ID),
        Col("NAME", &R::NAME),
        DateCol("STARTDATE", &R::STARTDATE),
        DateCol("ENDDATE", &R::ENDDATE),
        Col("IRRADLENGTH", &R::IRRADLENGTH),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& IRRADIATIONData::Deletion() {
    // The irradiated samples lose only their link, which goes with the irradiation.
    static constexpr CheckStep checks[] = {
        {" SELECT s.sample_id, s.name FROM sample s, sampleirradiation si WHERE     "
         "si.SAMPLE_id=s.sample_id   AND     si.irradiation_id = %d",
         "SAMPLE ID=%d of '%s'", NullOnDelete},
    };
    static constexpr DetailStep details[] = {
        {"delete from sampleirradiation where irradiation_id = %d"},
    };
    static constexpr const char* deletes[] = {"DELETE FROM irradiation WHERE irradiation_id = %d"};
    static const DeletionRules rules{"IRRADIATION", nullptr, details, checks, deletes};
    return rules;
}

const IRRADIATIONLOCATIONData::ColumnList& IRRADIATIONLOCATIONData::Columns() {
    using R = IRRADIATIONLOCATIONData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("IRRADIATIONLOCATION_ID", &R::IRRADIATIONLOCATION_ID).Key(),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& IRRADIATIONLOCATIONData::Deletion() {
    static constexpr CheckStep checks[] = {
        {"SELECT irradiation_id, name FROM irradiation WHERE irradiationlocation_id = %d",
         "IRRADIATION ID=%d of '%s'", Blocking},
    };
    static constexpr const char* deletes[] = {
        "DELETE FROM irradiationlocation WHERE irradiationlocation_id = %d"};
    static const DeletionRules rules{"IRRADIATIONLOCATION", nullptr, {}, checks, deletes};
    return rules;
}

const LOTData::ColumnList& LOTData::Columns() {
    using R = LOTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("LOT_ID", &R::LOT_ID).Key(),
        Col("PROJECT_ID", &R::PROJECT_ID),
        Col("COMPOSITION_ID", &R::COMPOSITION_ID).IfPositive(),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("SAMPLESUBTYPE_ID", &R::SAMPLESUBTYPE_ID).IfPositive(),
    });
    return cols;
}

const DeletionRules& LOTData::Deletion() {
    // Samples keep their LOT_ID: they block the deletion until resolved.
    static constexpr CheckStep checks[] = {
        {"SELECT quantanalysis_id, name FROM quantanalysis WHERE LOT_id = %d",
         "QUANTANALYSIS ID=%d of '%s'", Blocking},
        {"SELECT sample_id, name FROM sample WHERE lot_id = %d", "SAMPLE ID=%d of '%s'", Blocking},
    };
    static constexpr const char* deletes[] = {"delete from LOT where LOT_id = %d"};
    static const DeletionRules rules{"LOT", nullptr, {}, checks, deletes};
    return rules;
}

// --- SAMPLE ---

const SAMPLEData::ColumnList& SAMPLEData::Columns() {
    using R = SAMPLEData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("SAMPLE_ID", &R::SAMPLE_ID).Key(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        Col("LOT_ID", &R::LOT_ID),
        Col("NAME", &R::NAME),
        Col("MASSABSFACT", &R::MASSABSFACT),
        Col("ASSIGNEDCOST", &R::ASSIGNEDCOST),
        DateCol("DISPOSALDATE", &R::DISPOSALDATE).IfPositive(),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("SAMPLEGEOMMATRIX_ID", &R::SAMPLEGEOMMATRIX_ID),
        Col("SAMP_COMPOSITION_ID", &R::SAMP_COMPOSITION_ID).IfPositive(),
        Col("SUPP_COMPOSITION_ID", &R::SUPP_COMPOSITION_ID).IfPositive(),
        Col("DILU_COMPOSITION_ID", &R::DILU_COMPOSITION_ID).IfPositive(),
        Col("SAMPLEUSERCATEGORY_ID", &R::SAMPLEUSERCATEGORY_ID),
        Col("SAMPLEWEIGHT", &R::SAMPLEWEIGHT),
        Col("SUPPORTWEIGHT", &R::SUPPORTWEIGHT).IfPositive(),
        Col("DILUENTWEIGHT", &R::DILUENTWEIGHT).IfPositive(),
        Col("ISSUPPORTRADIATING", &R::ISSUPPORTRADIATING),
        Col("ISDILUENTRADIATING", &R::ISDILUENTRADIATING),
        Col("SAMPLESUBTYPE_ID", &R::SAMPLESUBTYPE_ID),
    });
    return cols;
}

const DeletionRules& SAMPLEData::Deletion() {
    // The measurements of the sample survive it without a measured object.
    static constexpr CheckStep checks[] = {
        {"SELECT measurement_id, name FROM measurement WHERE sample_id = %d",
         "MEASUREMENT ID=%d of '%s'", NullOnDelete},
    };
    static constexpr DetailStep details[] = {
        {"delete from SAMPLEIRRADIATION where sample_id = %d"},
    };
    // Object type 1: the measurement has no measured object.
    static constexpr const char* deletes[] = {
        "UPDATE MEASUREMENT \r\n   SET \r\n       SAMPLE_ID = NULL, \r\n       MEASOBJTYPE_ID = 1 "
        "\r\nWHERE \r\n   SAMPLE_ID = %d",
        "delete from sample where sample_id = %d",
    };
    static const DeletionRules rules{"SAMPLE", nullptr, details, checks, deletes};
    return rules;
}

// --- SAMPLEGEOM ---

const SAMPLEGEOMData::ColumnList& SAMPLEGEOMData::Columns() {
    using R = SAMPLEGEOMData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("SAMPLEGEOM_ID", &R::SAMPLEGEOM_ID).Key(),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("SAMPLEGEOMTYPE_ID", &R::SAMPLEGEOMTYPE_ID),
        Col("DATA", &R::DATA).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& SAMPLEGEOMData::Deletion() {
    static constexpr CheckStep checks[] = {
        {"SELECT SAMPLEGEOMMATRIX_id, name FROM SAMPLEGEOMMATRIX WHERE SAMPLEGEOM_id = %d",
         "SAMPLE GEOM. & MATRIX ID=%d of '%s'", Blocking},
    };
    static constexpr DetailStep details[] = {
        {"delete from SAMPLEGEOMPARAM where SAMPLEGEOM_id = %d"},
    };
    static constexpr const char* deletes[] = {"delete from SAMPLEGEOM where SAMPLEGEOM_id = %d"};
    static const DeletionRules rules{"SAMPLEGEOM", nullptr, details, checks, deletes};
    return rules;
}

void SAMPLEGEOMData::SetData(TQuery* q, IntKeyGen* paramKeyGen) {
    PointerScope scope(param_key_gen_, paramKeyGen);
    CachedRecord::SetData(q);  // AfterSetData stores the parameters
}

void SAMPLEGEOMData::Insert(IntKeyGen* keyGen, IntKeyGen* paramKeyGen, const char* dbName,
                            TQuery* q) {
    PointerScope scope(param_key_gen_, paramKeyGen);
    CachedRecord::Insert(keyGen, dbName, q);
}

void SAMPLEGEOMData::RetrieveParams(TQuery* q) {
    Params.clear();
    TQuery p;
    p.SetDatabaseName(AliasOf(q, "RetrieveParams"));
    p.SetRequestLive(false);
    p.SetUniDirectional(true);
    // Values are matched to this geometry only, so a database with several geometries of one
    // type still gives one entry per required parameter and StoreParams round-trips what is
    // read here. Ordered by definition, so the list is the same on every engine.
    p.SetSQL(Format(
        " SELECT    sgrp.samplegeomreqparam_id ,sgrp.name ,sgrp.symbol "
        ",sgrp.samplegeomparamtype_id "
        "   ,sgp.samplegeomparam_id ,sgp.numvalue1 ,sgp.numvalue2 ,sgp.intvalue1 ,sgp.intvalue2 "
        ",sgp.textvalue FROM    samplegeomreqparam sgrp LEFT OUTER JOIN    samplegeomparam sgp ON "
        "sgp.samplegeomreqparam_id = sgrp.samplegeomreqparam_id AND sgp.samplegeom_id = %d WHERE  "
        "  sgrp.samplegeomtype_id = %d ORDER BY sgrp.samplegeomreqparam_id, sgp.samplegeomparam_id",
        SAMPLEGEOM_ID, SAMPLEGEOMTYPE_ID));
    p.Open();
    // Columns by position, in the order selected above.
    enum { kReqParam, kName, kSymbol, kParamType, kParam, kNum1, kNum2, kInt1, kInt2, kText };
    const TFields& f = p.Fields();
    auto int_if = [&f](int i, int& out) {
        if (!f[i]->IsNull()) out = f[i]->AsInteger();
    };
    auto float_if = [&f](int i, double& out) {
        if (!f[i]->IsNull()) out = f[i]->AsFloat();
    };
    for (; !p.Eof(); p.Next()) {
        SAMPLEGEOMPARAM_EditData& e = Params.emplace_back();
        // The definition's columns are read as they stand: a null type is the null integer.
        e.SAMPLEGEOMREQPARAM_ID = f[kReqParam]->AsInteger();
        e.SAMPLEGEOMPARAMTYPE_ID = f[kParamType]->AsInteger();
        e.NAME = f[kName]->AsString();
        e.SYMBOL = f[kSymbol]->AsString();
        int_if(kParam, e.SAMPLEGEOMPARAM_ID);
        int_if(kInt1, e.INTVALUE1);
        int_if(kInt2, e.INTVALUE2);
        float_if(kNum1, e.NUMVALUE1);
        float_if(kNum2, e.NUMVALUE2);
        if (!f[kText]->IsNull()) e.TEXTVALUE = f[kText]->AsString();
    }
}

void SAMPLEGEOMData::StoreParams(TQuery* q, IntKeyGen* paramKeyGen) {
    const AnsiString& alias = AliasOf(q, "StoreParams");
    // Refused before anything is written rather than half-way through the list.
    if (!paramKeyGen)
        for (const SAMPLEGEOMPARAM_EditData& e : Params)
            if (e.SAMPLEGEOMPARAM_ID <= 0)
                throw quantora::MisuseError(
                    "SAMPLEGEOMData::StoreParams: a new parameter value needs a key generator");

    TQuery p;
    p.SetDatabaseName(alias);
    p.SetRequestLive(true);
    AnsiString stored;
    for (const SAMPLEGEOMPARAM_EditData& e : Params) {
        p.Close();
        int id;
        if (e.SAMPLEGEOMPARAM_ID > 0) {
            id = e.SAMPLEGEOMPARAM_ID;
            p.SetSQL(Format("select * from samplegeomparam where samplegeomparam_id=%d", id));
            p.Open();
            p.Edit();  // a listed key that no longer exists is an error here
        } else {
            // New keys are not written back: Params keeps -1 for appended values.
            id = paramKeyGen->NextKey();
            p.SetSQL("select * from samplegeomparam");
            p.Open();
            p.Append();
            p.FieldByName("SAMPLEGEOMPARAM_ID")->SetAsInteger(id);
            p.FieldByName("SAMPLEGEOM_ID")->SetAsInteger(SAMPLEGEOM_ID);
            p.FieldByName("SAMPLEGEOMREQPARAM_ID")->SetAsInteger(e.SAMPLEGEOMREQPARAM_ID);
        }
        p.FieldByName("INTVALUE1")->SetAsFloat(e.INTVALUE1);
        p.FieldByName("INTVALUE2")->SetAsFloat(e.INTVALUE2);
        p.FieldByName("TEXTVALUE")->SetAsString(e.TEXTVALUE);
        p.FieldByName("NUMVALUE1")->SetAsFloat(e.NUMVALUE1);
        p.FieldByName("NUMVALUE2")->SetAsFloat(e.NUMVALUE2);
        p.FieldByName("EMPLOYEE_ID")->SetAsInteger(EMPLOYEE_ID);
        p.FieldByName("CREATIONDATE")->SetAsDateTime(CREATIONDATE);
        p.Post();
        stored += Format("%s%d", stored.empty() ? "" : ",", id);
    }
    if (stored.empty()) return;  // an empty list removes nothing
    p.Close();
    p.SetSQL(Format(
        " DELETE FROM samplegeomparam WHERE    samplegeom_id = %d AND    samplegeomparam_id NOT "
        "IN (%s)",
        SAMPLEGEOM_ID, stored.c_str()));
    p.ExecSQL();
}

// --- SAMPLEGEOMMATRIX, CLIENT ---

const SAMPLEGEOMMATRIXData::ColumnList& SAMPLEGEOMMATRIXData::Columns() {
    using R = SAMPLEGEOMMATRIXData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("SAMPLEGEOMMATRIX_ID", &R::SAMPLEGEOMMATRIX_ID).Key(),
        Col("SAMP_COMP_ID", &R::SAMP_COMP_ID).IfPositive(),
        Col("SUPP_COMP_ID", &R::SUPP_COMP_ID).IfPositive(),
        Col("DILU_COMP_ID", &R::DILU_COMP_ID).IfPositive(),
        Col("SAMPLEGEOM_ID", &R::SAMPLEGEOM_ID),
        Col("NAME", &R::NAME),
        Col("ISSUPPORTRADIATINGDEF", &R::ISSUPPORTRADIATINGDEF),
        Col("ISDILUENTRADIATINGDEF", &R::ISDILUENTRADIATINGDEF),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        Col("SAMPLEDENSITY", &R::SAMPLEDENSITY).IfPositive(),
    });
    return cols;
}

const DeletionRules& SAMPLEGEOMMATRIXData::Deletion() {
    static constexpr CheckStep checks[] = {
        {"SELECT SAMPLE_id, name FROM SAMPLE WHERE SAMPLEGEOMMATRIX_id = %d",
         "SAMPLE ID=%d of '%s'", Blocking},
        {"SELECT RADIATIONCORRLIST_id, name FROM RADIATIONCORRLIST WHERE SAMPLEGEOMMATRIX_id = "
         "%d",
         "RADIATION CORR. LIST ID=%d of '%s'", Blocking},
    };
    static constexpr const char* deletes[] = {
        "delete from SAMPLEGEOMMATRIX where SAMPLEGEOMMATRIX_id = %d"};
    static const DeletionRules rules{"SAMPLEGEOMMATRIX", nullptr, {}, checks, deletes};
    return rules;
}

const CLIENTData::ColumnList& CLIENTData::Columns() {
    using R = CLIENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("CLIENT_ID", &R::CLIENT_ID).Key(),
        Col("CLIENTINSTITUTION_ID", &R::CLIENTINSTITUTION_ID).IfPositive(),
        Col("CLIENTCATEGORY_ID", &R::CLIENTCATEGORY_ID),
        Col("NAME", &R::NAME),
        Col("ADDRESS", &R::ADDRESS).IfNotEmpty(),
        Col("EMAIL", &R::EMAIL).IfNotEmpty(),
        Col("TEL", &R::TEL).IfNotEmpty(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& CLIENTData::Deletion() {
    // The standard check and row deletion; orders block, nothing is nulled.
    static const DeletionRules rules{"CLIENT", kClientReferrers};
    return rules;
}
