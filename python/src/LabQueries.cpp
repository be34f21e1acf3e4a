// Queries run without the GIL into C++ values, then turned into Python objects.
#include "python/src/LabQueries.h"

#include <cctype>
#include <cmath>
#include <map>

#include "python/src/Calibrations.h"
#include "python/src/Errors.h"
#include "python/src/Spectra.h"
#include "python/src/Values.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/EvaluationPeaks.h"
#include "quantora/lab/MeasurementList.h"
#include "quantora/lab/SpectrumCalibrations.h"
#include "quantora/lab/StoredSpectra.h"
#include "quantora/lab/TableRowCounts.h"
#include "quantora/nuclides/Radlib.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

struct PeakRow {
    int64_t peak_id;
    double energy, energy_unc, area, area_unc;
    double fwhm;           // keV, NaN without a usable energy calibration
    double fwhm_channels;  // as stored
    double position;       // channel
};

struct Rows {
    std::vector<AnsiString> names;
    std::vector<std::vector<Variant>> values;
};

// Opens `q` (GIL released) and reads every row.
Rows ReadAll(TQuery& q) {
    Rows r;
    py::gil_scoped_release unlocked;
    q.Open();
    for (int i = 0; i < q.FieldCount(); ++i) r.names.push_back(q.Fields()[i]->FieldName());
    for (; !q.Eof() && q.FieldCount() > 0; q.Next()) {
        std::vector<Variant>& row = r.values.emplace_back();
        row.reserve(r.names.size());
        for (int i = 0; i < q.FieldCount(); ++i) row.push_back(q.Fields()[i]->AsVariant());
    }
    return r;
}

AnsiString Lower(AnsiString s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Rows as dicts keyed by lower-case column name. Two columns of one name would silently become
// one key: ValueError instead.
py::list ToDicts(const Rows& rows) {
    std::vector<py::str> keys;
    std::map<AnsiString, size_t> seen;
    for (const AnsiString& name : rows.names) {
        const AnsiString key = Lower(name);
        if (const auto [at, fresh] = seen.emplace(key, keys.size() + 1); !fresh)
            throw py::value_error(Format(
                "columns %zu and %zu of the result are both named '%s': give one an alias (AS)",
                at->second, keys.size() + 1, key.c_str()));
        keys.push_back(TextObject(key));
    }
    py::list out;
    for (const std::vector<Variant>& row : rows.values) {
        py::dict d;
        for (size_t i = 0; i < row.size(); ++i) d[keys[i]] = ToPython(row[i]);
        out.append(std::move(d));
    }
    return out;
}

}  // namespace

void RegisterLabTypes() {
    PYBIND11_NUMPY_DTYPE(PeakRow, peak_id, energy, energy_unc, area, area_unc, fwhm, fwhm_channels,
                         position);
}

py::list RunQuery(const DbPtr& db, const AnsiString& sql, const py::object& params) {
    TQuery q;
    q.SetDatabaseName(db->Alias());
    q.SetSQL(sql);
    if (!params.is_none()) {
        if (!PyDict_Check(params.ptr())) throw py::type_error("params must be a dict or None");
        for (auto [key, value] : py::reinterpret_borrow<py::dict>(params)) {
            if (!PyUnicode_Check(key.ptr())) throw py::type_error("parameter names must be str");
            const AnsiString name = key.cast<std::string>();
            TParam* p = q.Params().FindParam(name);
            if (!p) throw py::value_error("the SQL has no parameter :" + name);
            BindParam(*p, value);
        }
    }
    for (int i = 0; i < q.ParamCount(); ++i) {
        const AnsiString& name = q.Params()[i]->Name();
        if (params.is_none() || !py::reinterpret_borrow<py::dict>(params).contains(name))
            throw py::value_error("no value given for parameter :" + name);
    }
    return ToDicts(ReadAll(q));
}

py::dict TableCounts(const DbPtr& db) {
    std::vector<TableRowCount> counts;
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        counts = CatalogueTableRowCounts(alias, UserTableNames(alias));
    }
    py::dict out;
    for (const TableRowCount& c : counts) out[TextObject(Lower(c.table))] = c.rows;
    return out;
}

py::list Measurements(const DbPtr& db, std::optional<int> projectId) {
    TQuery q;
    q.SetDatabaseName(db->Alias());
    if (projectId) {
        py::gil_scoped_release unlocked;
        RequireRow(db->Alias(), "PROJECT", "PROJECT_ID", *projectId);
    }
    SelectMeasurements(q, projectId);
    return ToDicts(ReadAll(q));
}

py::array Peaks(const DbPtr& db, std::optional<int> spectrumId, std::optional<int> peakEvalId) {
    if (spectrumId.has_value() == peakEvalId.has_value())
        throw py::value_error("give either a spectrum id or peakeval_id=");
    std::vector<PeakRow> rows;
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        int evalId = -1;
        if (spectrumId) {
            RequireRow(alias, "SPECTRUM", "SPECTRUM_ID", *spectrumId);
            evalId = ApplicablePeakEval(alias, *spectrumId);
        } else {
            RequireRow(alias, "PEAKEVAL", "PEAKEVAL_ID", *peakEvalId);
            evalId = *peakEvalId;
        }
        const auto cal = PeakEvalECal(alias, evalId, spectrumId.value_or(-1));
        for (const StoredPeak& p : ReadEvaluationPeaks(alias, evalId)) {
            // The energies the peak's half maximum spans, which a curved calibration bends.
            const double keV = cal ? std::fabs(cal->Energy(p.channel + p.fwhm / 2) -
                                               cal->Energy(p.channel - p.fwhm / 2))
                                   : std::nan("");
            rows.push_back(
                {p.peakId, p.energy, p.energyUnc, p.area, p.areaUnc, keV, p.fwhm, p.channel});
        }
    }
    return ToArray(std::move(rows));
}

py::list Match(const DbPtr& db, const std::vector<double>& energies,
               const std::vector<double>& uncertainties, const std::vector<int>& libraryIds) {
    if (energies.size() != uncertainties.size())
        throw py::value_error(
            Format("%zu energies but %zu uncertainties", energies.size(), uncertainties.size()));
    if (libraryIds.empty()) throw py::value_error("no radiation library ids given");
    for (size_t i = 0; i < energies.size(); ++i)
        if (!std::isfinite(energies[i]) || !(uncertainties[i] >= 0) ||
            !std::isfinite(uncertainties[i]))
            throw py::value_error(
                Format("energy %g +- %g: expected a finite energy and a "
                       "non-negative uncertainty",
                       energies[i], uncertainties[i]));
    struct Line {
        AnsiString radiationId, nuclide;
        double energy, energyUnc, intensity, intensityUnc;
    };
    std::vector<std::vector<Line>> found(energies.size());
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        for (int id : libraryIds) RequireRow(alias, "RADIATIONLIBRARY", "RADIATIONLIBRARY_ID", id);
        DbHandle::Library held = db->LockLibrary();
        RadiationLibrary& lib = held.library;
        if (lib.DatabaseAlias() != alias || lib.LibraryIds() != libraryIds) {
            lib.Load(alias, libraryIds);
            lib.GenerateBounds();
        }
        std::vector<AnsiString> ids;
        for (size_t i = 0; i < energies.size(); ++i) {
            ids.clear();
            lib.GetMatchingRadiations(energies[i], uncertainties[i], ids);
            for (const AnsiString& rid : ids) {
                const RADIATIONData* r = lib.GetRadiationData(rid);
                if (!r) continue;
                const DECAYData* d = lib.GetDecayData(r->DECAY_ID);
                const ISOMERData* iso = d ? lib.GetIsomerData(d->ISOMER_ID) : nullptr;
                AnsiString nuclide = iso ? iso->SYMBOL + (iso->ISOMERNUM > 0 ? "m" : "") : "";
                found[i].push_back(
                    {rid, std::move(nuclide), r->E, r->EUNC, r->INTENSITY, r->INTENSITYUNC});
            }
        }
    }
    py::list out;
    for (const std::vector<Line>& lines : found) {
        py::list l;
        for (const Line& x : lines)
            l.append(py::dict(py::arg("radiation_id") = TextObject(x.radiationId),
                              py::arg("nuclide") = TextObject(x.nuclide),
                              py::arg("energy") = x.energy, py::arg("energy_unc") = x.energyUnc,
                              py::arg("intensity") = x.intensity,
                              py::arg("intensity_unc") = x.intensityUnc));
        out.append(std::move(l));
    }
    return out;
}

}  // namespace quantora::python
