// Column lists of the calibration tables, the names of the three analysis kinds, their hooks and
// the copies between analysis rows and calibration objects.
#include "quantora/calibration/Calibrtables.h"

#include "quantora/calibration/EncodedFit.h"
#include "quantora/calibration/Flags.h"

using quantora::Col;
using quantora::DateCol;
using quantora::IsYes;
using quantora::YesNo;

const ECALData::ColumnList& ECALData::Columns() {
    using R = ECALData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("ECAL_ID", &R::ECAL_ID).Key(),
        Col("SPECTRUM_ID", &R::SPECTRUM_ID),
        Col("NAME", &R::NAME),
        Col("TENTATIVE", &R::TENTATIVE),
        Col("PARAMA", &R::PARAMA),
        Col("PARAMB", &R::PARAMB),
        Col("AVAR", &R::AVAR),
        Col("BVAR", &R::BVAR),
        Col("COVAR", &R::COVAR),
        Col("USENONLINPART", &R::USENONLINPART),
        Col("NONLINANALYSIS_ID", &R::NONLINANALYSIS_ID).IfPositive(),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CREATEDBY_EMP_ID", &R::CREATEDBY_EMP_ID),
        DateCol("LASTMODIFIEDDATE", &R::LASTMODIFIEDDATE),
        Col("LASTMODBY_EMP_ID", &R::LASTMODBY_EMP_ID),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const ECALPOINTData::ColumnList& ECALPOINTData::Columns() {
    using R = ECALPOINTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("ECALPOINT_ID", &R::ECALPOINT_ID).Key(),
        Col("ECAL_ID", &R::ECAL_ID),
        Col("CHPOS", &R::CHPOS),
        Col("CHPOSUNC", &R::CHPOSUNC),
        Col("ENERGY", &R::ENERGY),
        Col("ENERGYUNC", &R::ENERGYUNC),
        Col("DESCRIPTION", &R::DESCRIPTION).IfNotEmpty(),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const FWHMCALData::ColumnList& FWHMCALData::Columns() {
    using R = FWHMCALData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("FWHMCAL_ID", &R::FWHMCAL_ID).Key(),
        Col("SPECTRUM_ID", &R::SPECTRUM_ID),
        Col("NAME", &R::NAME),
        Col("TENTATIVE", &R::TENTATIVE),
        Col("LASTMODBY_EMP_ID", &R::LASTMODBY_EMP_ID),
        DateCol("LASTMODIFIEDDATE", &R::LASTMODIFIEDDATE),
        Col("CREATEDBY_EMP_ID", &R::CREATEDBY_EMP_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PARAMA", &R::PARAMA),
        Col("PARAMB", &R::PARAMB),
        Col("AVAR", &R::AVAR),
        Col("BVAR", &R::BVAR),
        Col("COVAR", &R::COVAR),
    });
    return cols;
}

const FWHMCALPOINTData::ColumnList& FWHMCALPOINTData::Columns() {
    using R = FWHMCALPOINTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("FWHMCALPOINT_ID", &R::FWHMCALPOINT_ID).Key(),
        Col("FWHMCAL_ID", &R::FWHMCAL_ID),
        Col("CHPOS", &R::CHPOS),
        Col("CHPOSUNC", &R::CHPOSUNC),
        Col("FWHM", &R::FWHM),
        Col("FWHMUNC", &R::FWHMUNC),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

// ---- Nonlinearity analyses ----

const NONLINANALYSISData::ColumnList& NONLINANALYSISData::Columns() {
    using R = NONLINANALYSISData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("NONLINANALYSIS_ID", &R::NONLINANALYSIS_ID).Key().HookWrite(),
        Col("NAME", &R::NAME),
        Col("CHISQUARE", &R::CHISQUARE).IfPositive(),
        Col("ORTPOLDEGREE", &R::ORTPOLDEGREE).IfPositive(),
        Col("ORTPOLAVECT", &R::ORTPOLAVECT).IfNotEmpty(),
        Col("ORTPOLBVECT", &R::ORTPOLBVECT).IfNotEmpty(),
        Col("XAXISTRANS0", &R::XAXISTRANS0),
        Col("XAXISTRANS1", &R::XAXISTRANS1),
        Col("BASELINETRANS0", &R::BASELINETRANS0),
        Col("BASELINETRANS1", &R::BASELINETRANS1),
        Col("PEAKIDENTLIMITCH", &R::PEAKIDENTLIMITCH).IfPositive(),
        Col("FITMATR", &R::FITMATR).IfNotEmpty(),
        Col("ORTPOLNORMVECT", &R::ORTPOLNORMVECT).IfNotEmpty(),
        Col("FITCOEFFVECT", &R::FITCOEFFVECT).IfNotEmpty(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PROJECT_ID", &R::PROJECT_ID).IfPositive(),
        Col("TENTATIVE", &R::TENTATIVE),
        Col("BASELINETYPE", &R::BASELINETYPE).IfNotEmpty(),
        Col("MEASNUM", &R::MEASNUM).IfPositive(),
        Col("NONLINEARITY", &R::NONLINEARITY),
        Col("PEAKINTLIMIT", &R::PEAKINTLIMIT).ResetTo(0.0),
    });
    return cols;
}

const quantora::AnalysisNames& NONLINANALYSISData::Names() {
    static const quantora::AnalysisNames names{
        .table = "NONLINANALYSIS",
        .setupTable = "MEASSETUPNONLIN",
        .measTable = "NONLINMEASUREMENT",
        .peakTable = "NONLINPEAK",
        .rowSpelling = "NONLINanalysis",
        .setupLabel = "MEAS. SETUP NONLIN SETTING",
        .setupLookup =
            "select msn.validfrom, na.* from    meassetupnonlin msn, nonlinanalysis na "
            "where    msn.meassetup_id      = :meassetup_id        AND    "
            "msn.nonlinanalysis_id = na.nonlinanalysis_id AND    :measdate >= "
            "validfrom order by    validfrom desc ",
        // Energy calibrations that use the analysis are reported; every one naming it loses
        // the reference.
        .referrerReport =
            " SELECT ecal_id, name FROM ecal WHERE     NONLINANALYSIS_ID = %d   "
            "AND     USENONLINPART = 'Y'",
        .referrerFormat = "ENERGY CALIBRATION ID=%d of '%s'",
        .referrerNulling =
            " UPDATE ecal SET nonlinanalysis_id = NULL WHERE    nonlinanalysis_id "
            "= %d",
    };
    return names;
}

void NONLINANALYSISData::AfterSetData(TQuery* q) {
    TField* key = Field(q, KeyColumn());
    if (key && (key->IsNull() || key->AsInteger() != NONLINANALYSIS_ID))
        key->SetAsInteger(NONLINANALYSIS_ID);
}

void NONLINANALYSISData::CopyToNonlinECalibr(NonlinECalibr* cal) {
    cal->NonlinValid = false;
    quantora::OrtPolFit fit;
    const int n = ORTPOLDEGREE + 2 * MEASNUM - 1;
    if (!quantora::DecodeFit(quantora::EncodedFit::Of(*this), n, fit)) return;
    cal->Set(fit.pol, fit.matrix, fit.coeff);
    cal->NonlinAnalysisId = NONLINANALYSIS_ID;
    cal->NonlinName = NAME;
    cal->NonlinEmployeeId = EMPLOYEE_ID;
    cal->NonlinCreationDate = CREATIONDATE;
    cal->NonlinComment = CMT;
    cal->NonlinTentative = IsYes(TENTATIVE);
}

void NONLINANALYSISData::CopyFromNonlinECalibr(NonlinECalibr* cal) {
    quantora::EncodeFit(*this, cal->NonlinPol, cal->NonlinFitMatrix, cal->NonlinFitCoeff);
}

const NONLINMEASUREMENTData::ColumnList& NONLINMEASUREMENTData::Columns() {
    using R = NONLINMEASUREMENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("NONLINMEASUREMENT_ID", &R::NONLINMEASUREMENT_ID).Key(),
        Col("NONLINANALYSIS_ID", &R::NONLINANALYSIS_ID),
        Col("MEASUREMENT_ID", &R::MEASUREMENT_ID),
        Col("CHISQUARE", &R::CHISQUARE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
    });
    return cols;
}

const NONLINPEAKData::ColumnList& NONLINPEAKData::Columns() {
    using R = NONLINPEAKData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("NONLINPEAK_ID", &R::NONLINPEAK_ID).Key(),
        Col("NONLINMEASUREMENT_ID", &R::NONLINMEASUREMENT_ID),
        Col("PEAK_ID", &R::PEAK_ID),
        Col("RADIATION_ID", &R::RADIATION_ID),
        Col("MEASCH", &R::MEASCH),
        Col("MEASCHUNC", &R::MEASCHUNC),
        Col("NONLINVALUE", &R::NONLINVALUE),
        Col("NONLINVALUEUNC", &R::NONLINVALUEUNC),
        Col("CHI", &R::CHI),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("CMT", &R::CMT),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
    });
    return cols;
}

// ---- Efficiency analyses ----

const EFFANALYSISData::ColumnList& EFFANALYSISData::Columns() {
    using R = EFFANALYSISData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("EFFANALYSIS_ID", &R::EFFANALYSIS_ID).Key(),
        Col("NAME", &R::NAME),
        Col("CHISQUARE", &R::CHISQUARE).IfPositive(),
        Col("ORTPOLDEGREE", &R::ORTPOLDEGREE).IfPositive(),
        Col("ORTPOLAVECT", &R::ORTPOLAVECT).IfNotEmpty(),
        Col("ORTPOLBVECT", &R::ORTPOLBVECT).IfNotEmpty(),
        Col("ORTPOLNORMVECT", &R::ORTPOLNORMVECT).IfNotEmpty(),
        Col("XAXISTRANS0", &R::XAXISTRANS0),
        Col("XAXISTRANS1", &R::XAXISTRANS1),
        Col("PEAKIDENTLIMIT", &R::PEAKIDENTLIMIT).IfPositive(),
        Col("FITMATR", &R::FITMATR).IfNotEmpty(),
        Col("FITCOEFFVECT", &R::FITCOEFFVECT).IfNotEmpty(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PROJECT_ID", &R::PROJECT_ID).IfPositive(),
        Col("TENTATIVE", &R::TENTATIVE),
        Col("MEASNUM", &R::MEASNUM).IfPositive(),
        Col("ISABSOLUTE", &R::ISABSOLUTE),
        Col("EFFICIENCY", &R::EFFICIENCY).IfPositive(),
        Col("EFFICIENCYUNC", &R::EFFICIENCYUNC).IfPositive(),
        Col("PEAKINTLIMIT", &R::PEAKINTLIMIT).ResetTo(0.0),
    });
    return cols;
}

const quantora::AnalysisNames& EFFANALYSISData::Names() {
    static const quantora::AnalysisNames names{
        .table = "EFFANALYSIS",
        .setupTable = "MEASSETUPEFF",
        .measTable = "EFFMEASUREMENT",
        .peakTable = "EFFPEAK",
        .rowSpelling = "effanalysis",
        .setupLabel = "MEAS. SETUP EFF. SETTING",
        .setupLookup =
            "select mse.meassetup_id, mse.validfrom, ea.* from    meassetupeff mse, "
            "effanalysis ea where    mse.meassetup_id   = :meassetup_id     AND    "
            "mse.effanalysis_id = ea.effanalysis_id AND    :measdate >= "
            "mse.validfrom order by    validfrom desc ",
        // Activities found through the analysis are reported and keep their values without it.
        .referrerReport =
            "SELECT activityresult_id, cmt FROM activityresult WHERE effanalysis_id = %d",
        .referrerFormat = "ACTIVITYRESULT ID=%d of '%s'",
        .referrerNulling =
            "UPDATE activityresult SET effanalysis_id = NULL WHERE effanalysis_id = %d",
    };
    return names;
}

void EFFANALYSISData::CopyToEffCalibr(EffCalibration* cal) {
    cal->Valid = false;
    quantora::OrtPolFit fit;
    const int n = static_cast<int>(FITCOEFFVECT.size() / 8);
    if (!quantora::DecodeFit(quantora::EncodedFit::Of(*this), n, fit)) return;
    cal->Set(fit.pol, fit.matrix, fit.coeff, ISABSOLUTE);
    cal->EffAnalysisId = EFFANALYSIS_ID;
    cal->Name = NAME;
    cal->CreationDate = CREATIONDATE;
}

void EFFANALYSISData::CopyFromEffCalibr(EffCalibration* cal) {
    quantora::EncodeFit(*this, cal->Pol, cal->FitMatrix, cal->FitCoeff);
    ISABSOLUTE = cal->Absolute;
}

const EFFMEASUREMENTData::ColumnList& EFFMEASUREMENTData::Columns() {
    using R = EFFMEASUREMENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("EFFMEASUREMENT_ID", &R::EFFMEASUREMENT_ID).Key(),
        Col("MEASUREMENT_ID", &R::MEASUREMENT_ID),
        Col("EFFANALYSIS_ID", &R::EFFANALYSIS_ID),
        Col("CHISQUARE", &R::CHISQUARE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
    });
    return cols;
}

const EFFPEAKData::ColumnList& EFFPEAKData::Columns() {
    using R = EFFPEAKData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("EFFPEAK_ID", &R::EFFPEAK_ID).Key(),
        Col("PEAK_ID", &R::PEAK_ID),
        Col("RADIATION_ID", &R::RADIATION_ID),
        Col("EFFMEASUREMENT_ID", &R::EFFMEASUREMENT_ID),
        Col("MEASE", &R::MEASE),
        Col("MEASEUNC", &R::MEASEUNC),
        Col("AREA", &R::AREA),
        Col("AREAUNC", &R::AREAUNC),
        Col("CHI", &R::CHI),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("CMT", &R::CMT),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
    });
    return cols;
}

// ---- Resolution analyses ----

const RESOLANALYSISData::ColumnList& RESOLANALYSISData::Columns() {
    using R = RESOLANALYSISData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("RESOLANALYSIS_ID", &R::RESOLANALYSIS_ID).Key(),
        Col("NAME", &R::NAME),
        Col("CHISQUARE", &R::CHISQUARE).IfPositive(),
        Col("PEAKIDENTLIMITSIGMA", &R::PEAKIDENTLIMITSIGMA).IfPositive(),
        Col("PARAMA", &R::PARAMA).IfPositive(),
        Col("PARAMB", &R::PARAMB),
        Col("PARAMAVAR", &R::PARAMAVAR).IfPositive(),
        Col("PARAMBVAR", &R::PARAMBVAR).IfPositive(),
        Col("PARAMCOVAR", &R::PARAMCOVAR),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PROJECT_ID", &R::PROJECT_ID).IfPositive(),
        Col("TENTATIVE", &R::TENTATIVE),
        Col("RESOLUTION", &R::RESOLUTION).IfPositive(),
        Col("PEAKINTLIMIT", &R::PEAKINTLIMIT).ResetTo(0.0),
    });
    return cols;
}

const quantora::AnalysisNames& RESOLANALYSISData::Names() {
    static const quantora::AnalysisNames names{
        .table = "RESOLANALYSIS",
        .setupTable = "MEASSETUPRESOL",
        .measTable = "RESOLMEASUREMENT",
        .peakTable = "RESOLPEAK",
        .rowSpelling = "RESOLanalysis",
        .setupLabel = "MEAS. SETUP RESOL. SETTING",
        .setupLookup =
            "select msr.meassetup_id, msr.validfrom, ra.* from    meassetupresol msr, "
            "resolanalysis ra where    msr.meassetup_id   = :meassetup_id     AND    "
            "msr.resolanalysis_id = ra.resolanalysis_id AND    :measdate >= "
            "msr.validfrom order by    validfrom desc ",
    };
    return names;
}

void RESOLANALYSISData::CopyToResolCalibr(FwhmCalibrClass* cal) {
    cal->Valid = false;
    cal->FwhmCalId = RESOLANALYSIS_ID;
    cal->Name = NAME;
    cal->CreationDate = CREATIONDATE;
    cal->A = PARAMA;
    cal->B = PARAMB;
    cal->AVar = PARAMAVAR;
    cal->BVar = PARAMBVAR;
    cal->Covar = PARAMCOVAR;
    cal->Valid = true;
}

void RESOLANALYSISData::CopyFromResolCalibr(FwhmCalibrClass* cal) {
    PARAMA = cal->A;
    PARAMB = cal->B;
    PARAMAVAR = cal->AVar;
    PARAMBVAR = cal->BVar;
    PARAMCOVAR = cal->Covar;
}

const RESOLMEASUREMENTData::ColumnList& RESOLMEASUREMENTData::Columns() {
    using R = RESOLMEASUREMENTData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("RESOLMEASUREMENT_ID", &R::RESOLMEASUREMENT_ID).Key(),
        Col("RESOLANALYSIS_ID", &R::RESOLANALYSIS_ID),
        Col("MEASUREMENT_ID", &R::MEASUREMENT_ID),
        Col("CHISQUARE", &R::CHISQUARE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
        Col("PEAKEVAL_ID", &R::PEAKEVAL_ID),
    });
    return cols;
}

const RESOLPEAKData::ColumnList& RESOLPEAKData::Columns() {
    using R = RESOLPEAKData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("RESOLPEAK_ID", &R::RESOLPEAK_ID).Key(),
        Col("RESOLMEASUREMENT_ID", &R::RESOLMEASUREMENT_ID),
        Col("PEAK_ID", &R::PEAK_ID),
        Col("RADIATION_ID", &R::RADIATION_ID),
        Col("MEASE", &R::MEASE),
        Col("MEASEUNC", &R::MEASEUNC),
        Col("RESOLVALUE", &R::RESOLVALUE),
        Col("RESOLVALUEUNC", &R::RESOLVALUEUNC),
        Col("CHI", &R::CHI),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("CMT", &R::CMT),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
    });
    return cols;
}
