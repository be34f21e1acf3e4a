// The measurement list's query.
#include "quantora/lab/MeasurementList.h"

namespace quantora {

void SelectMeasurements(TQuery& q, std::optional<int> projectId) {
    const AnsiString sql =
        "SELECT MEASUREMENT_ID, NAME, PROJECT_ID, SAMPLE_ID, SOURCE_ID, MEASSETUP_ID AS "
        "MEAS_SETUP_ID, STARTDATE AS START_DATE, ENDDATE AS END_DATE, CMT AS COMMENT "
        "FROM MEASUREMENT";
    if (!projectId) {
        q.SetSQL(sql + " ORDER BY MEASUREMENT_ID");
        return;
    }
    q.SetSQL(sql + " WHERE PROJECT_ID = :p ORDER BY MEASUREMENT_ID");
    q.ParamByName("p")->SetAsInteger(*projectId);
}

}  // namespace quantora
