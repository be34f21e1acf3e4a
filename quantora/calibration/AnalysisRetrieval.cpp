// The analyses valid for a measurement setup, and efficiency analyses by key.
#include "quantora/calibration/AnalysisRetrieval.h"

#include <cmath>

#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/dblayer/TQuery.h"

using quantora::Format;

int RetrieveDefaultNonlinCalForMeas(ECalibration* cal, const char* dbName, int measSetupId,
                                    TDateTime measDate, bool recalcLinear) {
    if (cal) cal->NonlinValid = false;
    return quantora::RetrieveSetupAnalysis<NONLINANALYSISData>(
        dbName, measSetupId, measDate, cal != nullptr, [&](NONLINANALYSISData& a) {
            a.CopyToNonlinECalibr(cal);
            if (recalcLinear) cal->LinearPart.CalcCoeff();
        });
}

int RetrieveDefaultEffCalForMeas(EffCalibration* cal, const char* dbName, int measSetupId,
                                 TDateTime measDate) {
    if (cal) cal->EffAnalysisId = -1;
    return quantora::RetrieveSetupAnalysis<EFFANALYSISData>(
        dbName, measSetupId, measDate, cal != nullptr,
        [&](EFFANALYSISData& a) { a.CopyToEffCalibr(cal); });
}

int RetrieveDefaultResolCalForMeas(FwhmCalibrClass* cal, const char* dbName, int measSetupId,
                                   TDateTime measDate) {
    if (cal) cal->FwhmCalId = -1;
    return quantora::RetrieveSetupAnalysis<RESOLANALYSISData>(
        dbName, measSetupId, measDate, cal != nullptr,
        [&](RESOLANALYSISData& a) { a.CopyToResolCalibr(cal); });
}

bool RetrieveEffCal(EffCalibration* cal, int effAnalysisId, const char* dbName) {
    if (!cal || !dbName) return false;
    cal->Valid = false;
    if (effAnalysisId < 1) {
        cal->EffAnalysisId = -1;
        return false;
    }
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
    q.SetSQL(Format("select * from EFFANALYSIS where EFFANALYSIS_ID = %d", effAnalysisId));
    q.Open();
    if (q.Eof()) return true;
    cal->EffAnalysisId = effAnalysisId;
    EFFANALYSISData analysis;
    analysis.GetData(&q);
    analysis.CopyToEffCalibr(cal);
    q.Close();

    // MEASE holds ln E: the range of the fitted peaks. Without peaks the aggregates are null,
    // read as 0.0, and both bounds become 1 keV.
    q.SetSQL(
        Format(" select     max(ep.MeasE) as MaxLogE, min(ep.MeasE) as MinLogE from     "
               "EFFPEAK ep, Effmeasurement em  where     em.EFFANALYSIS_ID = %d     AND     "
               "ep.EFFMEASUREMENT_ID = em.EFFMEASUREMENT_ID",
               effAnalysisId));
    q.Open();
    if (!q.Eof()) {
        cal->LowerEnergy = std::exp(q.FieldByName("MinLogE")->AsFloat());
        cal->UpperEnergy = std::exp(q.FieldByName("MaxLogE")->AsFloat());
    }
    return true;
}
