// FWHM calibration retrieval and storage.
#include "quantora/calibration/FwhmCalStorage.h"

#include <memory>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/Calibrtables.h"
#include "quantora/calibration/Flags.h"

using quantora::Format;
using quantora::IsYes;
using quantora::YesNo;

namespace {

void Require(const FwhmCalibrClass* cal, const char* function) {
    if (!cal) throw quantora::MisuseError(Format("%s: no FWHM calibration object given", function));
}

// The caller's query, or a read-only, forward-only one of our own with `sql`.
class ReadQuery {
  public:
    ReadQuery(TQuery* given, const char* dbName, const AnsiString& sql) : q_(given) {
        if (q_) return;
        own_ = std::make_unique<TQuery>();
        own_->SetDatabaseName(dbName ? dbName : "");
        own_->SetRequestLive(false);
        own_->SetUniDirectional(true);
        own_->SetSQL(sql);
        q_ = own_.get();
    }
    TQuery* operator->() const { return q_; }
    TQuery* get() const { return q_; }

  private:
    std::unique_ptr<TQuery> own_;
    TQuery* q_;
};

}  // namespace

void RetrieveLinearFwhmCal(FwhmCalibrClass* cal, int fwhmCalId, const char* dbName,
                           TQuery* fwhmQuery, TQuery* pointQuery) {
    Require(cal, "RetrieveLinearFwhmCal");
    cal->Valid = false;
    if (fwhmCalId > 0) cal->FwhmCalId = fwhmCalId;
    const int key = cal->FwhmCalId;

    ReadQuery q(fwhmQuery, dbName, Format("select * from FWHMCAL where FWHMCAL_ID = %d", key));
    q->Open();
    FWHMCALData row;
    if (!row.GetData(q.get()))
        throw quantora::NotFoundError(
            Format("Specified Fwhm calibration does not exist: ID = %d", key));
    cal->FwhmCalId = row.FWHMCAL_ID;
    cal->LastModByEmpId = row.LASTMODBY_EMP_ID;
    cal->SpectrumId = row.SPECTRUM_ID;
    cal->CreatedByEmpId = row.CREATEDBY_EMP_ID;
    cal->Name = row.NAME;
    cal->CreationDate = row.CREATIONDATE;
    cal->LastModifiedDate = row.LASTMODIFIEDDATE;
    cal->Tentative = IsYes(row.TENTATIVE);
    cal->Comment = row.CMT;

    // Points of an earlier calibration must not survive an empty point list.
    cal->Points.clear();
    ReadQuery pq(pointQuery, dbName,
                 Format("select * from FWHMCALpoint where FWHMCAL_ID = %d", row.FWHMCAL_ID));
    pq->Open();
    FWHMCALPOINTData p;
    for (int i = 0; p.GetData(pq.get()); ++i, pq->Next())
        cal->Set(i, p.CHPOS, p.FWHM, p.CHPOSUNC, p.FWHMUNC, p.FWHMCALPOINT_ID);
    pq->Close();

    if (cal->GetPointCount() < 2) {
        cal->Valid = false;
        throw Exception(Format(
            "Specified Fwhm calibration does not have at least 2 calibration points: ID = %d",
            cal->FwhmCalId));
    }
}

void RetrieveLinearFwhmCalForSpectrum(FwhmCalibrClass* cal, const char* dbName, int spectrumId,
                                      TQuery* fwhmQuery, TQuery* pointQuery) {
    Require(cal, "RetrieveLinearFwhmCalForSpectrum");
    ReadQuery q(fwhmQuery, dbName,
                Format("select * from fwhmcal where spectrum_id = %d order by tentative, "
                       "LASTMODIFIEDDATE desc",
                       spectrumId));
    q->Open();
    if (q->Eof()) return;
    // The chosen row is read from this open result, without a second query.
    RetrieveLinearFwhmCal(cal, q->FieldByName("FWHMCAL_ID")->AsInteger(), dbName, q.get(),
                          pointQuery);
}

void StoreLinearFwhmCal(FwhmCalibrClass* cal, IntKeyGen* fwhmKeys, IntKeyGen* pointKeys,
                        const char* dbName, TQuery* fwhmQuery, TQuery* pointQuery) {
    Require(cal, "StoreLinearFwhmCal");
    FWHMCALData row;
    // An invalid fit (fewer than two points, all at one channel) is refused before any write.
    cal->GetParams(&row.PARAMA, &row.PARAMB, &row.AVAR, &row.BVAR, &row.COVAR);

    {
        TQuery q;
        q.SetDatabaseName(dbName ? dbName : "");
        q.SetSQL(
            Format("UPDATE FWHMCAL SET tentative = 'Y' WHERE spectrum_id = %d", cal->SpectrumId));
        q.ExecSQL();
    }

    row.FWHMCAL_ID = -1;
    row.SPECTRUM_ID = cal->SpectrumId;
    row.NAME = cal->Name;
    row.LASTMODIFIEDDATE = cal->LastModifiedDate > 0.0 ? cal->LastModifiedDate : cal->CreationDate;
    row.LASTMODBY_EMP_ID = cal->LastModByEmpId;
    row.CREATEDBY_EMP_ID = cal->CreatedByEmpId;
    row.CREATIONDATE = cal->CreationDate;
    row.CMT = cal->Comment;
    row.TENTATIVE = YesNo(cal->Tentative);
    row.Insert(fwhmKeys, dbName, fwhmQuery);
    cal->FwhmCalId = row.FWHMCAL_ID;

    FWHMCALPOINTData p;
    for (FwhmCalibrPoint& point : cal->Points) {
        p.Reset();
        p.FWHMCALPOINT_ID = -1;
        p.FWHMCAL_ID = row.FWHMCAL_ID;
        p.CHPOS = point.ChPos;
        p.CHPOSUNC = point.ChPosUnc;
        p.FWHM = point.Fwhm;
        p.FWHMUNC = point.FwhmUnc;
        p.CREATIONDATE = cal->CreationDate;
        p.EMPLOYEE_ID = cal->LastModByEmpId;
        p.Insert(pointKeys, dbName, pointQuery);
        point.PointId = p.FWHMCALPOINT_ID;
    }
}
