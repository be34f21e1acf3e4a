// MEASSETUP, MEASDEVICE, MEASPOSITION, MEASRANGE, ADC and DETECTOR: columns and deletion rules.
#include "quantora/records/Devicetables.h"

using quantora::CheckStep;
using quantora::Col;
using quantora::DateCol;
using quantora::DeletionRules;
using quantora::DetailStep;

namespace {

const ReferringTableInfo_t kAdcReferrers[] = {
    {Blocking, "MEASSETUP", "NAME", nullptr},
    {Blocking, "ADCANALYSIS", "NAME", nullptr},
    {Blocking, nullptr, nullptr, nullptr},
};

// Parameter rows are reported as dropped references, shown by their own key; RemoveDetails
// deletes them before the detector.
const ReferringTableInfo_t kDetectorReferrers[] = {
    {Blocking, "MEASSETUP", "NAME", nullptr},
    {NullOnDelete, "DETPARAM", "DETPARAM_ID", nullptr},
    {Blocking, nullptr, nullptr, nullptr},
};

}  // namespace

const MEASSETUPData::ColumnList& MEASSETUPData::Columns() {
    using R = MEASSETUPData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("MEASSETUP_ID", &R::MEASSETUP_ID).Key(),
        Col("ADC_ID", &R::ADC_ID).IfPositive(),
        Col("DETECTOR_ID", &R::DETECTOR_ID),
        Col("MEASPOSITION_ID", &R::MEASPOSITION_ID),
        Col("MEASRANGE_ID", &R::MEASRANGE_ID),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& MEASSETUPData::Deletion() {
    static constexpr CheckStep checks[] = {
        {"SELECT measurement_id, name FROM measurement WHERE meassetup_id = %d",
         "MEASUREMENT ID=%d of '%s'", Blocking},
        {"SELECT QAANALYSIS_id, name FROM QAANALYSIS WHERE meassetup_id = %d",
         "Q.A. ANALYSIS ID=%d of '%s'", Blocking},
        {"SELECT RADIATIONCORRLIST_id, name FROM RADIATIONCORRLIST WHERE meassetup_id = %d",
         "RADIATION CORR. LIST ID=%d of '%s'", Blocking},
    };
    // Calibration and background assignments and device links live and die with the setup.
    static constexpr DetailStep details[] = {
        {"delete from MEASSETUPNONLIN WHERE MEASSETUP_ID=%d"},
        {"delete from MEASSETUPEFF WHERE MEASSETUP_ID=%d"},
        {"delete from MEASSETUPRESOL WHERE MEASSETUP_ID=%d"},
        {"delete from MEASSETUPBKG WHERE MEASSETUP_ID=%d"},
        {"delete from MEASDEVICE_MSETUP WHERE MEASSETUP_ID=%d"},
    };
    static constexpr const char* deletes[] = {"delete from MEASSETUP where MEASSETUP_id = %d"};
    static const DeletionRules rules{"MEASSETUP", nullptr, details, checks, deletes};
    return rules;
}

const MEASDEVICEData::ColumnList& MEASDEVICEData::Columns() {
    using R = MEASDEVICEData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("MEASDEVICE_ID", &R::MEASDEVICE_ID).Key(),
        Col("MEASDEVTYPE_ID", &R::MEASDEVTYPE_ID),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID).IfPositive(),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& MEASDEVICEData::Deletion() {
    // The setups a device is linked to lose only the link, which goes with the device.
    static constexpr CheckStep checks[] = {
        {" SELECT ms.meassetup_id, ms.name FROM meassetup ms, MEASDEVICE_MSETUP mdms WHERE     "
         "mdms.MEASSETUP_ID = ms.MEASSETUP_ID   AND     mdms.MEASDEVICE_ID = %d",
         "MEAS. SETUP ID=%d of '%s'", NullOnDelete},
    };
    static constexpr DetailStep details[] = {
        {"delete from MEASDEVICE_MSETUP where MEASDEVICE_id = %d"},
    };
    static constexpr const char* deletes[] = {"delete from MEASDEVICE where MEASDEVICE_ID = %d"};
    static const DeletionRules rules{"MEASDEVICE", nullptr, details, checks, deletes};
    return rules;
}

const MEASPOSITIONData::ColumnList& MEASPOSITIONData::Columns() {
    using R = MEASPOSITIONData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("MEASPOSITION_ID", &R::MEASPOSITION_ID).Key(),
        Col("NAME", &R::NAME),
        Col("DETSAMPLEDISTANCE", &R::DETSAMPLEDISTANCE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID).IfPositive(),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& MEASPOSITIONData::Deletion() {
    static constexpr CheckStep checks[] = {
        {"SELECT meassetup_id, name FROM meassetup WHERE measposition_id = %d",
         "MEAS. SETUP ID=%d of '%s'", Blocking},
    };
    static constexpr const char* deletes[] = {
        "DELETE FROM measposition WHERE measposition_id = %d"};
    static const DeletionRules rules{"MEASPOSITION", nullptr, {}, checks, deletes};
    return rules;
}

const MEASRANGEData::ColumnList& MEASRANGEData::Columns() {
    using R = MEASRANGEData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("MEASRANGE_ID", &R::MEASRANGE_ID).Key(),
        Col("NAME", &R::NAME),
        Col("STARTE", &R::STARTE),
        Col("ENDE", &R::ENDE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& MEASRANGEData::Deletion() {
    static constexpr CheckStep checks[] = {
        {"SELECT meassetup_id, name FROM meassetup WHERE measrange_id = %d",
         "MEAS. SETUP ID=%d of '%s'", Blocking},
    };
    static constexpr const char* deletes[] = {"DELETE FROM measrange WHERE measrange_id = %d"};
    static const DeletionRules rules{"MEASRANGE", nullptr, {}, checks, deletes};
    return rules;
}

const ADCData::ColumnList& ADCData::Columns() {
    using R = ADCData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("ADC_ID", &R::ADC_ID).Key(),
        Col("NAME", &R::NAME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DeletionRules& ADCData::Deletion() {
    // The standard check and row deletion; no referrer is nulled.
    static const DeletionRules rules{"ADC", kAdcReferrers};
    return rules;
}

const DETECTORData::ColumnList& DETECTORData::Columns() {
    using R = DETECTORData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("DETECTOR_ID", &R::DETECTOR_ID).Key(),
        Col("NAME", &R::NAME),
        Col("VOLUME", &R::VOLUME),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("DETECTORSUBTYPE_ID", &R::DETECTORSUBTYPE_ID),
    });
    return cols;
}

const DeletionRules& DETECTORData::Deletion() {
    static constexpr DetailStep details[] = {
        {"DELETE FROM detparam WHERE detector_id = %d"},
    };
    // The parameter rows are gone after RemoveDetails, so the row is deleted without nulling
    // them first: the standard "delete from %s where %s_id = %d" for DETECTOR.
    static constexpr const char* deletes[] = {"delete from DETECTOR where DETECTOR_id = %d"};
    static const DeletionRules rules{"DETECTOR", kDetectorReferrers, details, {}, deletes};
    return rules;
}
