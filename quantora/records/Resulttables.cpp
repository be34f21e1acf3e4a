// NUCLIDEIDENT, NUCLIDEPEAK and ACTIVITYRESULT: columns; an identification's deletion.
#include "quantora/records/Resulttables.h"

using quantora::Col;
using quantora::DateCol;

const NUCLIDEIDENTData::ColumnList& NUCLIDEIDENTData::Columns() {
    using R = NUCLIDEIDENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("NUCLIDEIDENT_ID", &R::NUCLIDEIDENT_ID).Key(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
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

const NUCLIDEPEAKData::ColumnList& NUCLIDEPEAKData::Columns() {
    using R = NUCLIDEPEAKData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("NUCLIDEPEAK_ID", &R::NUCLIDEPEAK_ID).Key(),
        Col("NUCLIDEIDENT_ID", &R::NUCLIDEIDENT_ID),
        Col("PEAK_ID", &R::PEAK_ID),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const ACTIVITYRESULTData::ColumnList& ACTIVITYRESULTData::Columns() {
    using R = ACTIVITYRESULTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
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
    });
    return cols;
}
