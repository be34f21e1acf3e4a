// The contents of a measurement's report.
#include "quantora/lab/ReportData.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/Quantification.h"

namespace quantora {
namespace {

// The first row of `sql` with parameter :k, or an open query at its end.
void OpenWith(TQuery& q, const char* db, const char* sql, int key) {
    q.Close();
    q.SetDatabaseName(db);
    q.SetSQL(sql);
    q.ParamByName("k")->SetAsInteger(key);
    q.Open();
}

std::string Text(TQuery& q, const char* field) {
    TField* f = q.FieldByName(field);
    return f->IsNull() ? std::string() : std::string(f->AsString());
}

}  // namespace

ReportData LoadReportData(const char* db, int measurementId) {
    ReportData r;
    r.measurementId = measurementId;
    TQuery q;
    OpenWith(q, db,
             "SELECT M.NAME AS MNAME, M.STARTDATE, S.NAME AS SNAME, S.SAMPLEWEIGHT, "
             "U.NAME AS UNAME, P.NAME AS PNAME, E.NAME AS ENAME, M.PROJECT_ID FROM MEASUREMENT M "
             "LEFT JOIN SAMPLE S ON S.SAMPLE_ID = M.SAMPLE_ID LEFT JOIN MEASSETUP U ON "
             "U.MEASSETUP_ID = M.MEASSETUP_ID LEFT JOIN PROJECT P ON P.PROJECT_ID = M.PROJECT_ID "
             "LEFT JOIN EMPLOYEE E ON E.EMPLOYEE_ID = M.MEASUREDBY_EMP_ID WHERE "
             "M.MEASUREMENT_ID = :k",
             measurementId);
    if (q.Eof())
        throw quantora::NotFoundError(
            Format("no measurement with MEASUREMENT_ID = %d", measurementId));
    r.measurement = Text(q, "MNAME");
    r.sample = Text(q, "SNAME");
    if (!q.FieldByName("SAMPLEWEIGHT")->IsNull())
        r.sampleMass = q.FieldByName("SAMPLEWEIGHT")->AsFloat();
    r.setup = Text(q, "UNAME");
    r.project = Text(q, "PNAME");
    r.measuredBy = Text(q, "ENAME");
    const int project =
        q.FieldByName("PROJECT_ID")->IsNull() ? -1 : q.FieldByName("PROJECT_ID")->AsInteger();
    OpenWith(q, db,
             "SELECT O.NAME AS ONAME, C.NAME AS CNAME FROM ORDERS O LEFT JOIN CLIENT C ON "
             "C.CLIENT_ID = O.CLIENT_ID WHERE O.PROJECT_ID = :k ORDER BY O.ORDERS_ID",
             project);
    if (!q.Eof()) r.order = Text(q, "ONAME"), r.client = Text(q, "CNAME");
    OpenWith(q, db,
             "SELECT SPECTRUM_ID, SPECOLLSTARTEDAT, LIVETIME, TRUETIME FROM SPECTRUM WHERE "
             "MEASUREMENT_ID = :k ORDER BY SPECTRUM_ID",
             measurementId);
    if (q.Eof()) throw Exception(Format("measurement %d has no spectrum", measurementId));
    r.spectrumId = q.Fields()[0]->AsInteger();
    if (!q.Fields()[1]->IsNull()) r.start = q.Fields()[1]->AsDateTime();
    if (!q.Fields()[2]->IsNull()) r.liveTime = q.Fields()[2]->AsFloat();
    if (!q.Fields()[3]->IsNull()) r.realTime = q.Fields()[3]->AsFloat();
    r.activities = StoredActivities(db, r.spectrumId);
    if (r.activities.empty())
        throw Exception(
            Format("spectrum %d of measurement %d has not been quantified (qdb quantify)",
                   r.spectrumId, measurementId));
    const ACTIVITYRESULTData& first = r.activities.front();
    r.reference = first.REFERENCEDATE;
    r.unit = first.UNIT;
    OpenWith(q, db, "SELECT NAME, CREATIONDATE FROM EFFANALYSIS WHERE EFFANALYSIS_ID = :k",
             first.EFFANALYSIS_ID);
    if (!q.Eof()) {
        r.efficiency = Text(q, "NAME");
        if (!q.Fields()[1]->IsNull()) r.efficiencyDate = q.Fields()[1]->AsDateTime();
    }
    // The energy calibration and the identified peaks of the evaluation the results come from.
    OpenWith(q, db,
             "SELECT C.NAME, C.CREATIONDATE FROM NUCLIDEIDENT N JOIN PEAKEVAL E ON E.PEAKEVAL_ID "
             "= N.PEAKEVAL_ID JOIN ECAL C ON C.ECAL_ID = E.ECAL_ID WHERE N.NUCLIDEIDENT_ID = :k",
             first.NUCLIDEIDENT_ID);
    if (!q.Eof()) {
        r.energyCalibration = q.Fields()[0]->AsString();
        if (!q.Fields()[1]->IsNull()) r.energyCalibrationDate = q.Fields()[1]->AsDateTime();
    }
    OpenWith(q, db,
             "SELECT P.POS, NP.CMT FROM NUCLIDEPEAK NP JOIN PEAK P ON P.PEAK_ID = NP.PEAK_ID "
             "WHERE NP.NUCLIDEIDENT_ID = :k ORDER BY P.POS",
             first.NUCLIDEIDENT_ID);
    for (; !q.Eof(); q.Next()) {
        const std::string cmt = q.Fields()[1]->AsString();
        r.identified.push_back({q.Fields()[0]->AsFloat(), cmt.substr(0, cmt.find(' '))});
    }
    return r;
}

}  // namespace quantora
