// NUCLIDEIDENT, NUCLIDEPEAK and ACTIVITYRESULT: columns; an identification's deletion.
#include "quantora/records/Resulttables.h"

using quantora::Col;
using quantora::DateCol;

const std::array<quantora::Column<NUCLIDEIDENTData>, 5>& NUCLIDEIDENTData::Columns() {
    using R = NUCLIDEIDENTData;
    static constexpr std::array<quantora::Column<R>, 5> cols = {
        Col("NUCLIDEIDENT_ID", &R::NUCLIDEIDENT_ID).Key(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    };
    return cols;
}

const quantora::DeletionRules& NUCLIDEIDENTData::Deletion() {
    static constexpr quantora::DetailStep details[] = {
        {"DELETE FROM nuclidepeak WHERE nuclideident_id = %d"},
        {"DELETE FROM activityresult WHERE nuclideident_id = %d"},
    };
    static const quantora::DeletionRules rules{"NUCLIDEIDENT", nullptr, details};
    return rules;
}

const std::array<quantora::Column<NUCLIDEPEAKData>, 6>& NUCLIDEPEAKData::Columns() {
    using R = NUCLIDEPEAKData;
    static constexpr std::array<quantora::Column<R>, 6> cols = {
        Col("NUCLIDEPEAK_ID", &R::NUCLIDEPEAK_ID).Key(),
        Col("NUCLIDEIDENT_ID", &R::NUCLIDEIDENT_ID),
        Col("PEAK_ID", &R::PEAK_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    };
    return cols;
}

const std::array<quantora::Column<ACTIVITYRESULTData>, 16>& ACTIVITYRESULTData::Columns() {
    using R = ACTIVITYRESULTData;
    static constexpr std::array<quantora::Column<R>, 16> cols = {
        Col("ACTIVITYRESULT_ID", &R::ACTIVITYRESULT_ID).Key(),
        Col("NUCLIDEIDENT_ID", &R::NUCLIDEIDENT_ID),
        Col("SPECTRUM_ID", &R::SPECTRUM_ID),
        Col("ISOMER_ID", &R::ISOMER_ID),
        Col("EFFANALYSIS_ID", &R::EFFANALYSIS_ID).OrNull(),
        DateCol("REFERENCEDATE", &R::REFERENCEDATE),
        Col("ACTIVITY", &R::ACTIVITY),
        Col("ACTIVITYUNC", &R::ACTIVITYUNC),
        Col("DECISIONTHRESHOLD", &R::DECISIONTHRESHOLD),
        Col("DETECTIONLIMIT", &R::DETECTIONLIMIT),
        Col("DETECTED", &R::DETECTED),
        Col("UNIT", &R::UNIT),
        Col("LINES", &R::LINES),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    };
    return cols;
}
