// Reading stored spectra and spectrum files; the library work runs without the GIL and the
// Python objects are made afterwards.
#include "python/src/Spectra.h"

#include <cmath>

#include "python/src/Calibrations.h"
#include "python/src/Errors.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/records/Meastables.h"
#include "quantora/spectrumfiles/SpectrumImport.h"
#include "quantora/spectrumfiles/SpectrumRows.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

constexpr const char* kSpectrumSelect =
    "SELECT S.SPECTRUM_ID, S.MEASUREMENT_ID, S.NAME, S.SPECOLLSTARTEDAT, S.LIVETIME, S.TRUETIME, "
    "S.CHANNELS, S.STARTCOUNT, S.COUNTDATAFORMAT, S.COUNTDATA, M.MEASSETUP_ID AS QDB_SETUP, "
    "M.STARTDATE AS QDB_START FROM SPECTRUM S "
    "LEFT JOIN MEASUREMENT M ON M.MEASUREMENT_ID = S.MEASUREMENT_ID ";

// A spectrum as read, before its counts become a numpy array (which needs the GIL).
struct RawSpectrum {
    Spectrum s;
    std::vector<uint32_t> counts;
};

RawSpectrum FromRow(TQuery& q, SPECTRUMData& rec, const DbPtr& db) {
    rec.GetData(&q);
    RawSpectrum r;
    r.s.id = rec.SPECTRUM_ID;
    if (!q.FieldByName("MEASUREMENT_ID")->IsNull()) r.s.measurementId = rec.MEASUREMENT_ID;
    r.s.name = rec.NAME;
    r.s.liveTime = rec.LIVETIME;
    r.s.realTime = rec.TRUETIME;
    TField* setup = q.FieldByName("QDB_SETUP");
    TField* start = q.FieldByName("QDB_START");
    if (!setup->IsNull()) r.s.measSetupId = setup->AsInteger();
    if (!start->IsNull()) r.s.measDate = start->AsDateTime();
    if (!q.FieldByName("SPECOLLSTARTEDAT")->IsNull())
        r.s.start = rec.SPECOLLSTARTEDAT;
    else if (!start->IsNull())
        r.s.start = r.s.measDate;
    r.s.db = db;
    std::vector<unsigned long> counts;
    try {
        rec.UncompressCounts(&counts);
    } catch (const std::exception& e) {
        throw Exception(
            Format("spectrum %d: the counts cannot be read: %s", rec.SPECTRUM_ID, e.what()));
    }
    r.counts.assign(counts.begin(), counts.end());
    return r;
}

Spectrum Finish(RawSpectrum&& r) {
    r.s.channels = r.counts.size();
    r.s.counts = ToArray(std::move(r.counts));
    return std::move(r.s);
}

}  // namespace

void RequireRow(const char* alias, const char* table, const char* keyColumn, int key) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(Format("SELECT 1 FROM %s WHERE %s = :k", table, keyColumn));
    q.ParamByName("k")->SetAsInteger(key);
    q.Open();
    if (q.Eof()) throw NotFound(Format("no %s with %s = %d", table, keyColumn, key));
}

Spectrum ReadSpectrum(const DbPtr& db, int spectrumId) {
    RawSpectrum raw;
    {
        py::gil_scoped_release unlocked;
        TQuery q;
        q.SetDatabaseName(db->Alias());
        q.SetSQL(AnsiString(kSpectrumSelect) + "WHERE S.SPECTRUM_ID = :id");
        q.ParamByName("id")->SetAsInteger(spectrumId);
        q.Open();
        if (q.Eof()) throw NotFound(Format("no spectrum with SPECTRUM_ID = %d", spectrumId));
        SPECTRUMData rec;
        raw = FromRow(q, rec, db);
    }
    return Finish(std::move(raw));
}

std::vector<Spectrum> ReadSpectra(const DbPtr& db, int measurementId) {
    std::vector<RawSpectrum> raw;
    {
        py::gil_scoped_release unlocked;
        RequireRow(db->Alias(), "MEASUREMENT", "MEASUREMENT_ID", measurementId);
        TQuery q;
        q.SetDatabaseName(db->Alias());
        q.SetSQL(AnsiString(kSpectrumSelect) +
                 "WHERE S.MEASUREMENT_ID = :m ORDER BY S.SPECTRUM_ID");
        q.ParamByName("m")->SetAsInteger(measurementId);
        SPECTRUMData rec;
        for (q.Open(); !q.Eof(); q.Next()) raw.push_back(FromRow(q, rec, db));
    }
    std::vector<Spectrum> out;
    out.reserve(raw.size());
    for (RawSpectrum& r : raw) out.push_back(Finish(std::move(r)));
    return out;
}

py::array_t<double> Spectrum::Energies() const {
    const size_t n = channels;
    std::vector<double> energies(n);
    if (fromFile) {
        if (fileCoeffs.empty()) throw NoneApplies("the file has no energy calibration");
        for (size_t ch = 0; ch < n; ++ch) {
            double e = 0;  // Horner, highest power first
            for (size_t k = fileCoeffs.size(); k-- > 0;)
                e = e * static_cast<double>(ch) + fileCoeffs[k];
            energies[ch] = e;
        }
        return ToArray(std::move(energies));
    }
    {
        py::gil_scoped_release unlocked;
        ECalibration cal;
        cal.SpectrumId = *id;
        RetrieveECalForSpectrum(&cal, db->Alias(), measSetupId, measDate);
        RequireUsableECal(cal, *id);
        for (size_t ch = 0; ch < n; ++ch) energies[ch] = cal.Energy(static_cast<double>(ch));
    }
    return ToArray(std::move(energies));
}

SpectrumFileResult ReadSpectrumFileForPython(const AnsiString& path) {
    SpectrumFile file;
    std::vector<std::vector<uint32_t>> counts;
    {
        py::gil_scoped_release unlocked;
        file = ReadSpectrumFile(path);
        for (const SpectrumFileData& d : file.spectra) {
            const std::vector<unsigned long> c = CountsFromChannelZero(d);
            counts.emplace_back(c.begin(), c.end());
        }
    }
    SpectrumFileResult out{file.format, {}, file.warnings};
    for (size_t i = 0; i < file.spectra.size(); ++i) {
        const SpectrumFileData& d = file.spectra[i];
        Spectrum s;
        s.name = d.title;
        s.liveTime = d.liveTime;
        s.realTime = d.realTime;
        if (d.startTime != 0.0) s.start = d.startTime;
        s.channels = counts[i].size();
        s.counts = ToArray(std::move(counts[i]));
        s.fromFile = true;
        if (HasEnergyCalibration(d)) s.fileCoeffs = d.energyCoeffs;
        s.detector = d.detector;
        s.format = d.format;
        out.spectra.push_back(std::move(s));
    }
    return out;
}

std::vector<int> ImportSpectrum(const DbPtr& db, const AnsiString& path, int measurementId,
                                bool fast) {
    py::gil_scoped_release unlocked;
    RequireRow(db->Alias(), "MEASUREMENT", "MEASUREMENT_ID", measurementId);
    SpectrumImportTarget target;
    target.measurementId = measurementId;
    target.fastCompression = fast;
    return ImportSpectrumFile(db->Alias(), path, target).spectrumIds;
}

}  // namespace quantora::python
