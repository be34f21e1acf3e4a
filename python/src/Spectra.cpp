// Reading stored spectra and spectrum files; the library work runs without the GIL and the
// Python objects are made afterwards.
#include "python/src/Spectra.h"

#include <cmath>

#include "python/src/Calibrations.h"
#include "python/src/Errors.h"
#include "python/src/Values.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/SpectrumImport.h"
#include "quantora/lab/SpectrumRows.h"
#include "quantora/lab/StoredSpectra.h"
#include "quantora/records/Meastables.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

// A spectrum as read, before its counts become a numpy array (which needs the GIL).
struct RawSpectrum {
    Spectrum s;
    std::vector<uint32_t> counts;
};

RawSpectrum FromRow(StoredSpectrumRow& row, const char* alias) {
    SPECTRUMData& rec = row.rec;
    RawSpectrum r;
    r.s.id = rec.SPECTRUM_ID;
    if (rec.MEASUREMENT_ID != -1) r.s.measurementId = rec.MEASUREMENT_ID;  // -1: null
    r.s.name = rec.NAME;
    r.s.liveTime = rec.LIVETIME;
    r.s.realTime = rec.TRUETIME;
    r.s.detector = StoredDetector(rec);
    if (r.s.detector.empty()) r.s.detector = row.setupDetector;
    if (rec.SPECOLLSTARTEDAT > 0)  // null reads as -1; 0: unknown
        r.s.start = rec.SPECOLLSTARTEDAT;
    else if (row.measDate != 0)
        r.s.start = row.measDate;
    try {
        r.s.ecal = ApplicableECal(alias, rec.SPECTRUM_ID, row.measSetupId, row.measDate);
    } catch (const NoneApplies& e) {
        r.s.noCalibration = e.what();
    }
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
    if (!RowExists(alias, table, keyColumn, key))
        throw NotFound(Format("no %s with %s = %d", table, keyColumn, key));
}

Spectrum ReadSpectrum(const DbPtr& db, int spectrumId) {
    RawSpectrum raw;
    {
        py::gil_scoped_release unlocked;
        std::optional<StoredSpectrumRow> row = FindStoredSpectrumRow(db->Alias(), spectrumId);
        if (!row) throw NotFound(Format("no spectrum with SPECTRUM_ID = %d", spectrumId));
        raw = FromRow(*row, db->Alias());
    }
    return Finish(std::move(raw));
}

std::vector<Spectrum> ReadSpectra(const DbPtr& db, int measurementId) {
    std::vector<RawSpectrum> raw;
    {
        py::gil_scoped_release unlocked;
        RequireRow(db->Alias(), "MEASUREMENT", "MEASUREMENT_ID", measurementId);
        for (StoredSpectrumRow& row : ReadMeasurementSpectrumRows(db->Alias(), measurementId))
            raw.push_back(FromRow(row, db->Alias()));
    }
    std::vector<Spectrum> out;
    out.reserve(raw.size());
    for (RawSpectrum& r : raw) out.push_back(Finish(std::move(r)));
    return out;
}

py::array_t<double> Spectrum::Energies() const {
    if (!energies.empty()) return ToArray(std::vector<double>(energies));
    if (!ecal && fileCoeffs.empty()) throw NoneApplies(noCalibration);
    std::vector<double> out(channels);
    {
        py::gil_scoped_release unlocked;
        for (size_t ch = 0; ch < out.size(); ++ch) {
            const auto x = static_cast<double>(ch);
            if (ecal) {
                out[ch] = ecal->Energy(x);
            } else {
                double e = 0;  // Horner, highest power first
                for (size_t k = fileCoeffs.size(); k-- > 0;) e = e * x + fileCoeffs[k];
                out[ch] = e;
            }
        }
    }
    return ToArray(std::move(out));
}

namespace {
py::object OptionalInt(const std::optional<int>& v) {
    return v ? py::object(py::int_(*v)) : py::none();
}
}  // namespace

py::tuple Spectrum::State() const {
    py::object e = py::none();
    try {
        e = Energies();
    } catch (const NoneApplies&) {
    }
    // Text as bytes: a name that is not UTF-8 comes back unchanged.
    return py::make_tuple(
        OptionalInt(id), OptionalInt(measurementId), py::bytes(name), py::bytes(detector), liveTime,
        realTime, start ? DateTimeObject(*start) : py::none(), counts, e, py::bytes(noCalibration));
}

Spectrum Spectrum::FromState(const py::tuple& state) {
    constexpr const char* kNotState = "not the pickled state of a quantora.Spectrum";
    if (state.size() != 10) throw py::value_error(kNotState);
    Spectrum s;
    try {
        if (!state[0].is_none()) s.id = state[0].cast<int>();
        if (!state[1].is_none()) s.measurementId = state[1].cast<int>();
        s.name = state[2].cast<std::string>();
        s.detector = state[3].cast<std::string>();
        s.liveTime = state[4].cast<double>();
        s.realTime = state[5].cast<double>();
        s.start = DateTimeValue(state[6]);
        s.noCalibration = state[9].cast<std::string>();
    } catch (const py::cast_error&) {
        throw py::value_error(kNotState);
    }
    using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;
    auto counts =
        py::array_t<uint32_t, py::array::c_style | py::array::forcecast>::ensure(state[7]);
    const Doubles energies = state[8].is_none() ? Doubles() : Doubles::ensure(state[8]);
    if (!counts || counts.ndim() != 1 ||
        (!state[8].is_none() && (!energies || energies.size() != counts.size())))
        throw py::value_error(kNotState);
    s.channels = static_cast<size_t>(counts.size());
    s.counts = std::move(counts);
    if (energies) s.energies.assign(energies.data(), energies.data() + energies.size());
    return s;
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
        if (HasEnergyCalibration(d))
            s.fileCoeffs = d.energyCoeffs;
        else
            s.noCalibration = "the file has no energy calibration";
        s.detector = d.detector;
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
