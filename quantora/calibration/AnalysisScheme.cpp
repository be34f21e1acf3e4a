// Statement texts of an analysis kind, built from its names, and the setup lookup.
#include "quantora/calibration/AnalysisScheme.h"

#include "quantora/dblayer/TQuery.h"

namespace quantora {

AnalysisTexts::AnalysisTexts(const AnalysisNames& n)
    : keyColumn(Format("%s_ID", n.table)),
      updateSelect(Format("select * from %s where %s_ID = %%d", n.table, n.table)),
      updateMissing(Format("Could not update %s record: ID=%%d not found", n.table)),
      deletion(n.table) {
    if (n.referrerReport) deletion.Check(n.referrerReport, n.referrerFormat, NullOnDelete);
    deletion.Check(Format(" SELECT msnl.MEASSETUP_ID, ms.name FROM %s msnl, MEASSETUP ms WHERE     "
                          "msnl.%s_ID = %%d   AND     msnl.MEASSETUP_ID = ms.MEASSETUP_ID",
                          n.setupTable, n.table),
                   Format("%s ID=%%d of '%%s'", n.setupLabel), NullOnDelete);

    deletion.Detail(Format("DELETE    FROM %s WHERE    %s_ID = %%d ", n.setupTable, n.table));
    deletion.Detail(
        Format("DELETE    FROM %s WHERE    %s_ID IN    (SELECT ep.%s_ID     FROM   %s ep, %s em    "
               "WHERE         ep.%s_ID = em.%s_ID           AND        em.%s_ID=%%d)",
               n.peakTable, n.peakTable, n.peakTable, n.peakTable, n.measTable, n.measTable,
               n.measTable, n.table));
    deletion.Detail(Format("DELETE    FROM %s WHERE    %s_ID = %%d ", n.measTable, n.table));

    if (n.referrerNulling) deletion.Delete(n.referrerNulling);
    deletion.Delete(Format("DELETE FROM %s WHERE %s_id = %%d", n.rowSpelling, n.rowSpelling));
}

void OpenSetupLookup(TQuery& q, const AnalysisNames& names, const char* dbName, int measSetupId,
                     TDateTime measDate) {
    q.SetDatabaseName(dbName ? dbName : "");
    q.SetSQL(names.setupLookup);
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
    TParam* setup = q.Params()[0];
    setup->SetDataType(ftInteger);
    setup->SetParamType(ptInput);
    setup->SetAsInteger(measSetupId);
    TParam* date = q.Params()[1];
    date->SetDataType(ftDateTime);
    date->SetParamType(ptInput);
    date->SetAsDateTime(measDate);
    q.Open();
}

void InsertSetupValidity(const AnalysisNames& names, const char* dbName, int measSetupId,
                         TDateTime validFrom, int analysisId) {
    TQuery q;
    q.SetDatabaseName(dbName ? dbName : "");
    q.SetSQL(Format("INSERT INTO %s (MEASSETUP_ID, VALIDFROM, %s_ID) VALUES (:s, :v, :a)",
                    names.setupTable, names.table));
    q.ParamByName("s")->SetAsInteger(measSetupId);
    q.ParamByName("v")->SetAsDateTime(validFrom);
    q.ParamByName("a")->SetAsInteger(analysisId);
    q.ExecSQL();
}

}  // namespace quantora
