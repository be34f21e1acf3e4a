// Calibrations found by the key of a spectrum, measurement or peak evaluation.
#include "quantora/lab/SpectrumCalibrations.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/calibration/FwhmCalStorage.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/StoredSpectra.h"

namespace quantora {

ECalibration SpectrumECal(const char* dbName, int spectrumId) {
    const StoredSpectrumRow row = ReadStoredSpectrumRow(dbName, spectrumId);
    ECalibration cal;
    cal.SpectrumId = spectrumId;
    RetrieveECalForSpectrum(&cal, dbName, row.measSetupId, row.measDate);
    return cal;
}

FwhmCalibrClass SpectrumFwhmCal(const char* dbName, int spectrumId) {
    ReadStoredSpectrumRow(dbName, spectrumId);
    FwhmCalibrClass cal;
    RetrieveLinearFwhmCalForSpectrum(&cal, dbName, spectrumId, nullptr, nullptr);
    return cal;
}

ECalibration MeasurementECal(const char* dbName, int measurementId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("SELECT NAME FROM MEASUREMENT WHERE MEASUREMENT_ID = :id");
    q.ParamByName("id")->SetAsInteger(measurementId);
    q.Open();
    if (q.Eof())
        throw NotFoundError(Format("no measurement with MEASUREMENT_ID = %d", measurementId));
    MeasTypeInfoData info;
    info.GetInfo(dbName, measurementId, q.Fields()[0]->AsString());
    if (info.Spectra.empty())
        throw Exception(Format("measurement %d has no spectrum", measurementId));
    ECalibration cal;
    RetrieveLinECalForMeasurement(&cal, dbName, &info);
    return cal;
}

std::optional<ECalibration> PeakEvalECal(const char* dbName, int peakEvalId, int spectrumId) {
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(
        "SELECT E.ECAL_ID, M.MEASSETUP_ID, M.STARTDATE FROM PEAKEVAL E LEFT JOIN MEASUREMENT M "
        "ON M.MEASUREMENT_ID = E.MEASUREMENT_ID WHERE E.PEAKEVAL_ID = :e");
    q.ParamByName("e")->SetAsInteger(peakEvalId);
    q.Open();
    if (q.Eof()) return std::nullopt;
    const int setup = q.Fields()[1]->IsNull() ? -1 : q.Fields()[1]->AsInteger();
    const TDateTime date = q.Fields()[2]->IsNull() ? 0 : q.Fields()[2]->AsDateTime();
    ECalibration cal;
    if (!q.Fields()[0]->IsNull()) {
        cal.ECalId = q.Fields()[0]->AsInteger();
        RetrieveECal(&cal, dbName, setup, date);
        if (cal.LinearPart.IsValid()) return cal;
    }
    if (spectrumId <= 0) return std::nullopt;
    // The evaluation belongs to the spectrum's measurement: its setup and date are the spectrum's.
    cal = ECalibration();
    cal.SpectrumId = spectrumId;
    RetrieveECalForSpectrum(&cal, dbName, setup, date);
    if (cal.ECalId <= 0 || !cal.LinearPart.IsValid()) return std::nullopt;
    return cal;
}

}  // namespace quantora
