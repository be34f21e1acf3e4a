// Finding the showcase items of a lab.
#include "quantora/lab/LabShowcase.h"

#include "quantora/dblayer/TQuery.h"

namespace quantora {

LabShowcase FindLabShowcase(const char* dbName) {
    LabShowcase s;
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT S.SPECTRUM_ID, COUNT(P.PEAK_ID) AS N FROM SPECTRUM S JOIN PEAKEVAL E ON "
        "E.MEASUREMENT_ID = S.MEASUREMENT_ID JOIN PEAK P ON P.PEAKEVAL_ID = E.PEAKEVAL_ID "
        "GROUP BY S.SPECTRUM_ID ORDER BY N DESC, S.SPECTRUM_ID");
    q.Open();
    if (!q.Eof()) s.spectrumId = q.Fields()[0]->AsInteger();
    q.Close();
    q.SetSQL(
        "SELECT MIN(RADIATIONLIBRARY_ID), (SELECT MIN(EFFANALYSIS_ID) FROM EFFANALYSIS) "
        "FROM RADIATIONLIBRARY");
    q.Open();
    s.libraryId = q.Fields()[0]->IsNull() ? 0 : q.Fields()[0]->AsInteger();
    s.effAnalysisId = q.Fields()[1]->IsNull() ? 0 : q.Fields()[1]->AsInteger();
    return s;
}

}  // namespace quantora
