// MeasTypeInfoData::GetInfo: one query for the spectra of a measurement.
#include "quantora/frame/MeasTypeInfo.h"

#include <memory>
#include <optional>
#include <string>

#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/internal/ThreadQuery.h"

void MeasTypeInfoData::Reset() {
    MEASUREMENT_ID = -1;
    Name.clear();
    MeasType = 0;
    Spectra.clear();
}

namespace {

// Closes the spectra query however GetInfo ends: a prepared query keeps only its statement.
struct ClosesQuery {
    TQuery& q;
    ~ClosesQuery() { q.Close(); }
};

const char kSpectraQuery = 0;  // the key of the thread's spectra query

}  // namespace

void MeasTypeInfoData::GetInfo(const char* dbName, int measurementId, AnsiString name) {
    Reset();
    // Run once per measurement read, on a query the thread keeps prepared: texts that differ only
    // in the measurement's key are one statement, and the fields are reused.
    const AnsiString db = dbName ? dbName : "";
    std::shared_ptr<TQuery> kept =
        db.empty() ? nullptr : quantora::db::ThreadQuery(db, &kSpectraQuery);
    std::optional<TQuery> own;
    TQuery& q = kept ? *kept : own.emplace();
    ClosesQuery closes{q};
    q.SetDatabaseName(db);
    q.SetUniDirectional(true);
    // Put together without a format pass, in storage the thread reuses.
    thread_local AnsiString sql;
    sql.assign(
        "SELECT    s.spectrum_id, s.name as spename, s.spectrumtype_id, s.measurement_id FROM    "
        "spectrum s WHERE    s.measurement_id = ");
    sql += std::to_string(measurementId);
    sql += " ORDER BY spectrumtype_id";
    q.SetSQL(sql);
    if (kept && !q.Prepared()) q.Prepare();
    q.Open();
    if (q.Eof()) return;
    Name = std::move(name);
    MEASUREMENT_ID = measurementId;
    // Looked up by name once per result; a reopened query with the same columns keeps them.
    TField* const* f = q.CachedFields(&kSpectraQuery);
    if (!f)
        f = q.CacheFields(&kSpectraQuery,
                          {q.FieldByName("Spectrum_ID"), q.FieldByName("SpectrumType_ID"),
                           q.FieldByName("spename")});
    TField* id = f[0];
    TField* type = f[1];
    TField* spename = f[2];
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
