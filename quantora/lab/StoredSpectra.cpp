// Stored spectra with their measurement, calibrations and evaluation.
#include "quantora/lab/StoredSpectra.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/SpectrumRows.h"

namespace quantora {

namespace {

constexpr const char* kRowSelect =
    "SELECT S.*, M.MEASSETUP_ID AS QDB_SETUP, M.STARTDATE AS QDB_START, M.NAME AS QDB_MEAS, "
    "D.NAME AS QDB_DETECTOR FROM SPECTRUM S "
    "LEFT JOIN MEASUREMENT M ON M.MEASUREMENT_ID = S.MEASUREMENT_ID "
    "LEFT JOIN MEASSETUP MS ON MS.MEASSETUP_ID = M.MEASSETUP_ID "
    "LEFT JOIN DETECTOR D ON D.DETECTOR_ID = MS.DETECTOR_ID ";

// The row at the query's cursor; false at the end.
bool ReadRow(TQuery& q, StoredSpectrumRow& r) {
    if (!r.rec.GetData(&q)) return false;
    if (TField* f = q.FieldByName("QDB_SETUP"); !f->IsNull()) r.measSetupId = f->AsInteger();
    if (TField* f = q.FieldByName("QDB_START"); !f->IsNull()) r.measDate = f->AsDateTime();
    r.measName = q.FieldByName("QDB_MEAS")->AsString();
    r.setupDetector = q.FieldByName("QDB_DETECTOR")->AsString();
    return true;
}

}  // namespace

std::optional<StoredSpectrumRow> FindStoredSpectrumRow(const char* dbName, int spectrumId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(AnsiString(kRowSelect) + "WHERE S.SPECTRUM_ID = :id");
    q.ParamByName("id")->SetAsInteger(spectrumId);
    q.Open();
    StoredSpectrumRow r;
    if (!ReadRow(q, r)) return std::nullopt;
    return r;
}

StoredSpectrumRow ReadStoredSpectrumRow(const char* dbName, int spectrumId) {
    std::optional<StoredSpectrumRow> r = FindStoredSpectrumRow(dbName, spectrumId);
    if (!r) throw NotFoundError(Format("no spectrum with SPECTRUM_ID = %d", spectrumId));
    return std::move(*r);
}

std::vector<StoredSpectrumRow> ReadMeasurementSpectrumRows(const char* dbName, int measurementId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(AnsiString(kRowSelect) + "WHERE S.MEASUREMENT_ID = :m ORDER BY S.SPECTRUM_ID");
    q.ParamByName("m")->SetAsInteger(measurementId);
    q.Open();
    std::vector<StoredSpectrumRow> rows;
    for (StoredSpectrumRow r; ReadRow(q, r); r = StoredSpectrumRow()) {
        rows.push_back(std::move(r));
        q.Next();
    }
    return rows;
}

SpectrumFileData LoadStoredSpectrum(const char* dbName, int spectrumId) {
    StoredSpectrumRow row = ReadStoredSpectrumRow(dbName, spectrumId);
    SPECTRUMData& rec = row.rec;
    SpectrumFileData s;
    rec.UncompressCounts(&s.counts);
    s.title = rec.NAME;
    s.format = rec.SPEFILETYPE;
    s.liveTime = rec.LIVETIME < 0 ? -1.0 : rec.LIVETIME;
    s.realTime = rec.TRUETIME < 0 ? -1.0 : rec.TRUETIME;
    s.startTime = rec.SPECOLLSTARTEDAT > 0 ? rec.SPECOLLSTARTEDAT : 0.0;
    s.detector = StoredDetector(rec);
    s.remarks = StoredRemarks(rec);
    ECalibration cal;
    cal.SpectrumId = spectrumId;
    RetrieveECalForSpectrum(&cal, dbName, row.measSetupId, row.measDate);
    s.energyCoeffs = CalibrationCoefficients(cal);
    return s;
}

LabSpectrum LoadLabSpectrum(const char* dbName, int spectrumId) {
    LabSpectrum s;
    s.row = ReadStoredSpectrumRow(dbName, spectrumId);
    try {
        s.row.rec.UncompressCounts(&s.counts);
    } catch (const std::exception& e) {
        throw Exception(Format("spectrum %d: the counts cannot be read: %s", spectrumId, e.what()));
    }
    s.ecal.SpectrumId = spectrumId;
    RetrieveECalForSpectrum(&s.ecal, dbName, s.row.measSetupId, s.row.measDate);
    s.energyCoeffs = CalibrationCoefficients(s.ecal);
    RetrieveLinearFwhmCalForSpectrum(&s.fwhm, dbName, spectrumId, nullptr, nullptr);
    return s;
}

int ApplicablePeakEval(const char* dbName, int spectrumId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT E.PEAKEVAL_ID FROM PEAKEVAL E JOIN SPECTRUM S ON S.MEASUREMENT_ID = "
        "E.MEASUREMENT_ID WHERE S.SPECTRUM_ID = :s AND (E.ECAL_ID IS NULL OR E.ECAL_ID IN "
        "(SELECT ECAL_ID FROM ECAL WHERE SPECTRUM_ID = :s2)) "
        "ORDER BY CASE WHEN E.TENTATIVE = 'Y' THEN 1 ELSE 0 END, E.LASTMODIFIEDDATE DESC, "
        "E.PEAKEVAL_ID DESC");
    q.ParamByName("s")->SetAsInteger(spectrumId);
    q.ParamByName("s2")->SetAsInteger(spectrumId);
    q.Open();
    return q.Eof() ? -1 : q.Fields()[0]->AsInteger();
}

std::vector<int> SpectraOfProject(const char* dbName, int projectId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT S.SPECTRUM_ID FROM SPECTRUM S JOIN MEASUREMENT M ON M.MEASUREMENT_ID = "
        "S.MEASUREMENT_ID WHERE M.PROJECT_ID = :p ORDER BY S.SPECTRUM_ID");
    q.ParamByName("p")->SetAsInteger(projectId);
    std::vector<int> ids;
    for (q.Open(); !q.Eof(); q.Next()) ids.push_back(q.Fields()[0]->AsInteger());
    return ids;
}

std::vector<int> SpectraOfMeasurements(const char* dbName, const std::vector<int>& measurementIds) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT SPECTRUM_ID FROM SPECTRUM WHERE MEASUREMENT_ID = :m ORDER BY SPECTRUM_ID");
    std::vector<int> ids;
    for (int m : measurementIds) {
        q.Close();
        q.ParamByName("m")->SetAsInteger(m);
        for (q.Open(); !q.Eof(); q.Next()) ids.push_back(q.Fields()[0]->AsInteger());
    }
    return ids;
}

}  // namespace quantora
