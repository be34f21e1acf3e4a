// Energy calibration retrieval and storage.
#include "quantora/calibration/ECalStorage.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/Flags.h"

using quantora::Format;
using quantora::IsYes;
using quantora::YesNo;

namespace {

void Require(const ECalibration* cal, const char* function) {
    if (!cal)
        throw quantora::MisuseError(Format("%s: no energy calibration object given", function));
}

// A query of our own for reading: not live, forward-only.
void OpenReading(TQuery& q, const char* dbName, const AnsiString& sql) {
    q.SetDatabaseName(dbName ? dbName : "");
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
    q.SetSQL(sql);
    q.Open();
}

void ReadPoints(ECalibration* cal, const char* dbName, int ecalId) {
    TQuery q;
    OpenReading(q, dbName,
                Format("select * from ecalpoint where ECAL_ID = %d order by chpos", ecalId));
    ECALPOINTData p;
    for (int i = 0; p.GetData(&q); ++i, q.Next())
        cal->LinearPart.Set(i, p.CHPOS, p.ENERGY, p.CHPOSUNC, p.ENERGYUNC, p.ECALPOINT_ID,
                            p.DESCRIPTION.c_str(), true);
}

}  // namespace

void RetrieveECalParts(ECalibration* cal, const char* dbName, int measSetupId, TDateTime measDate,
                       bool linearPart, bool nonlinPart, bool nonlinFromCaller) {
    Require(cal, "RetrieveECalParts");
    const int callerNonlinKey = cal->NonlinAnalysisId;

    ECALData row;
    bool found = false;
    {
        TQuery q;
        OpenReading(q, dbName, Format("select * from ecal where ECAL_ID = %d", cal->ECalId));
        found = row.GetData(&q);
    }

    if (linearPart) {
        cal->LinearPart.SetToDefault();
        if (found) {
            cal->ECalId = row.ECAL_ID;
            cal->SpectrumId = row.SPECTRUM_ID;
            cal->Name = row.NAME;
            cal->Tentative = IsYes(row.TENTATIVE);
            cal->CreationDate = row.CREATIONDATE;
            cal->CreatedByEmpId = row.CREATEDBY_EMP_ID;
            cal->LastModifiedDate = row.LASTMODIFIEDDATE;
            cal->LastModByEmpId = row.LASTMODBY_EMP_ID;
            cal->Comment = row.CMT;
            ReadPoints(cal, dbName, row.ECAL_ID);
            if (cal->LinearPart.GetPointCount() < 2) cal->LinearPart.SetToDefault();
        }
        // Without a row the record holds its reset values: no nonlinear part named.
    }

    if (nonlinPart) {
        cal->NonlinValid = false;
        if (nonlinFromCaller) {
            cal->UseNonlinPart = true;
            cal->NonlinAnalysisId = callerNonlinKey;
        } else {
            cal->UseNonlinPart = IsYes(row.USENONLINPART);
            cal->NonlinAnalysisId = row.NONLINANALYSIS_ID;
        }
        if (cal->UseNonlinPart && cal->NonlinAnalysisId < 1)
            RetrieveDefaultNonlinCalForMeas(cal, dbName, measSetupId, measDate, true);
        if (cal->UseNonlinPart && cal->NonlinAnalysisId > 0) {
            TQuery q;
            OpenReading(q, dbName,
                        Format("select * from nonlinanalysis where nonlinanalysis_id = %d",
                               cal->NonlinAnalysisId));
            NONLINANALYSISData analysis;
            if (analysis.GetData(&q))
                analysis.CopyToNonlinECalibr(cal);
            else
                cal->NonlinAnalysisId = -1;
        }
        if (cal->NonlinAnalysisId < 1) cal->UseNonlinPart = false;
    }

    cal->LinearPart.CalcCoeff();
}

void RetrieveECal(ECalibration* cal, const char* dbName, int measSetupId, TDateTime measDate) {
    RetrieveECalParts(cal, dbName, measSetupId, measDate, true, true, true);
}

void RetrieveLinearECal(ECalibration* cal, const char* dbName) {
    RetrieveECalParts(cal, dbName, -1, 0.0, true, false, true);
}

void RetrieveNonlinCal(ECalibration* cal, const char* dbName, int measSetupId, TDateTime measDate) {
    RetrieveECalParts(cal, dbName, measSetupId, measDate, false, true, true);
}

void RetrieveECalForSpectrum(ECalibration* cal, const char* dbName, int measSetupId,
                             TDateTime measDate) {
    Require(cal, "RetrieveECalForSpectrum");
    cal->Init();
    {
        TQuery q;
        OpenReading(q, dbName,
                    Format("select * from ecal where spectrum_id = %d order by tentative, "
                           "LASTMODIFIEDDATE desc",
                           cal->SpectrumId));
        if (q.Eof()) return;
        cal->ECalId = q.FieldByName("ECAL_ID")->AsInteger();
    }
    RetrieveECalParts(cal, dbName, measSetupId, measDate, true, true, false);
}

void RetrieveLinECalForMeasurement(ECalibration* cal, const char* dbName, MeasTypeInfoData* info) {
    Require(cal, "RetrieveLinECalForMeasurement");
    // Every known measurement type has its main spectrum first.
    const bool hasIndex = info && info->MeasType >= 1 && info->MeasType <= 4;
    if (!hasIndex || info->Spectra.empty()) {
        cal->Init();
        return;
    }
    cal->SpectrumId = info->Spectra[0].SPECTRUM_ID;
    RetrieveECalForSpectrum(cal, dbName, -1, 0.0);
}

void StoreECal(ECalibration* cal, IntKeyGen* ecalKeys, IntKeyGen* pointKeys, const char* dbName,
               TQuery* ecalQuery, TQuery* pointQuery) {
    Require(cal, "StoreECal");
    ECALData row;
    // An invalid fit (e.g. all points at one channel) is refused before anything is written.
    cal->LinearPart.GetParams(&row.PARAMA, &row.PARAMB, &row.AVAR, &row.BVAR, &row.COVAR);

    {
        TQuery q;
        q.SetDatabaseName(dbName ? dbName : "");
        q.SetSQL(Format("UPDATE ecal SET tentative = 'Y' WHERE spectrum_id = %d", cal->SpectrumId));
        q.ExecSQL();
    }

    row.ECAL_ID = -1;
    row.NAME = cal->Name;
    row.TENTATIVE = YesNo(cal->Tentative);
    row.SPECTRUM_ID = cal->SpectrumId;
    row.CREATIONDATE = cal->CreationDate;
    row.CREATEDBY_EMP_ID = cal->CreatedByEmpId;
    row.LASTMODIFIEDDATE = cal->LastModifiedDate > 0.0 ? cal->LastModifiedDate : cal->CreationDate;
    row.LASTMODBY_EMP_ID = cal->LastModByEmpId;
    row.USENONLINPART = YesNo(cal->UseNonlinPart);
    row.NONLINANALYSIS_ID = cal->NonlinAnalysisId;
    row.CMT = cal->Comment;
    row.Insert(ecalKeys, dbName, ecalQuery);
    cal->ECalId = row.ECAL_ID;

    ECALPOINTData p;
    for (ECalibrPoint& point : cal->LinearPart.Points) {
        p.Reset();
        p.ECALPOINT_ID = -1;
        p.ECAL_ID = row.ECAL_ID;
        p.CHPOS = point.ChPos;
        p.CHPOSUNC = point.ChPosUnc;
        p.ENERGY = point.Energy;
        p.ENERGYUNC = point.EnergyUnc;
        p.DESCRIPTION = point.Description;
        p.CREATIONDATE = cal->CreationDate;
        p.EMPLOYEE_ID = cal->LastModByEmpId;
        p.Insert(pointKeys, dbName, pointQuery);
        point.PointId = p.ECALPOINT_ID;
    }
}
