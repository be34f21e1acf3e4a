// MeasTypeInfoData::GetInfo: one query for the spectra of a measurement.
#include "quantora/frame/MeasTypeInfo.h"

#include <string>

#include "quantora/dblayer/TQuery.h"

void MeasTypeInfoData::Reset() {
    MEASUREMENT_ID = -1;
    Name.clear();
    MeasType = 0;
    Spectra.clear();
}

void MeasTypeInfoData::GetInfo(const char* dbName, int measurementId, AnsiString name) {
    Reset();
    TQuery q;
    q.SetDatabaseName(dbName ? dbName : "");
    q.SetUniDirectional(true);
    // Once per measurement read: put together without a format pass.
    q.SetSQL(
        "SELECT    s.spectrum_id, s.name as spename, s.spectrumtype_id, s.measurement_id FROM    "
        "spectrum s WHERE    s.measurement_id = " +
        std::to_string(measurementId) + " ORDER BY spectrumtype_id");
    q.Open();
    if (q.Eof()) return;
    Name = std::move(name);
    MEASUREMENT_ID = measurementId;
    TField* id = q.FieldByName("Spectrum_ID");
    TField* type = q.FieldByName("SpectrumType_ID");
    TField* spename = q.FieldByName("spename");
    for (; !q.Eof(); q.Next())
        Spectra.push_back({id->AsInteger(), type->AsInteger(), spename->AsString()});

    int t1 = Spectra[0].SPECTRUMTYPE_ID;
    int t2 = Spectra.size() > 1 ? Spectra[1].SPECTRUMTYPE_ID : -1;
    if (t1 == 1)
        MeasType = t2 == 2 ? 2 : t2 == 3 ? 3 : 1;
    else if (t1 == 3 && t2 == 4)
        MeasType = 4;
    else
        MeasType = 0;
}
