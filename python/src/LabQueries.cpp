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
#include "quantora/calibration/ECalStorage.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/lab/StoredSpectra.h"
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

// The energy calibration of a peak evaluation: the ECAL row it names, else the one that applies
// to `spectrumId` (when given) at the evaluation's measurement; null when none is usable.
std::shared_ptr<const ECalibration> EvaluationECal(const char* alias, int evalId,
                                                   std::optional<int> spectrumId) {
    TQuery q;
    q.SetDatabaseName(alias);
    q.SetSQL(
        "SELECT E.ECAL_ID, M.MEASSETUP_ID, M.STARTDATE FROM PEAKEVAL E LEFT JOIN MEASUREMENT M "
        "ON M.MEASUREMENT_ID = E.MEASUREMENT_ID WHERE E.PEAKEVAL_ID = :e");
    q.ParamByName("e")->SetAsInteger(evalId);
    q.Open();
    if (q.Eof()) return nullptr;
    const int setup = q.Fields()[1]->IsNull() ? -1 : q.Fields()[1]->AsInteger();
    const TDateTime date = q.Fields()[2]->IsNull() ? 0 : q.Fields()[2]->AsDateTime();
    if (!q.Fields()[0]->IsNull()) {
        auto cal = std::make_shared<ECalibration>();
        cal->ECalId = q.Fields()[0]->AsInteger();
        RetrieveECal(cal.get(), alias, setup, date);
        if (cal->LinearPart.IsValid()) return cal;
    }
    if (!spectrumId) return nullptr;
    try {
        return ApplicableECal(alias, *spectrumId, setup, date);
    } catch (const NoneApplies&) {
        return nullptr;
    }
}

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
    std::vector<std::pair<AnsiString, int64_t>> counts;
    {
        py::gil_scoped_release unlocked;
        const char* alias = db->Alias();
        for (AnsiString& table : UserTableNames(alias)) counts.emplace_back(std::move(table), 0);
        TQuery q;
        q.SetDatabaseName(alias);
        for (auto& [table, n] : counts) {
            // The name comes from the catalogue; quoted as it stands there.
            q.SetSQL(Format("SELECT COUNT(*) FROM \"%s\"", table.c_str()));
            q.Open();
            n = q.Fields()[0]->AsLargeInt();
            q.Close();
        }
    }
    py::dict out;
    for (const auto& [table, n] : counts) out[TextObject(Lower(table))] = n;
    return out;
}

py::list Measurements(const DbPtr& db, std::optional<int> projectId) {
    TQuery q;
    q.SetDatabaseName(db->Alias());
    AnsiString sql =
        "SELECT MEASUREMENT_ID, NAME, PROJECT_ID, SAMPLE_ID, SOURCE_ID, MEASSETUP_ID AS "
        "MEAS_SETUP_ID, STARTDATE AS START_DATE, ENDDATE AS END_DATE, CMT AS COMMENT "
        "FROM MEASUREMENT";
    if (projectId) {
        {
            py::gil_scoped_release unlocked;
            RequireRow(db->Alias(), "PROJECT", "PROJECT_ID", *projectId);
        }
        q.SetSQL(sql + " WHERE PROJECT_ID = :p ORDER BY MEASUREMENT_ID");
        q.ParamByName("p")->SetAsInteger(*projectId);
    } else {
        q.SetSQL(sql + " ORDER BY MEASUREMENT_ID");
    }
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
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL(
            "SELECT PEAK_ID, E, EUNC, AREA, AREAUNC, FWHM, POS FROM PEAK WHERE PEAKEVAL_ID = :e "
            "ORDER BY POS, PEAK_ID");
        q.ParamByName("e")->SetAsInteger(evalId);
        const auto cal = EvaluationECal(alias, evalId, spectrumId);
        for (q.Open(); !q.Eof(); q.Next()) {
            auto f = [&](int i) {
                return q.Fields()[i]->IsNull() ? std::nan("") : q.Fields()[i]->AsFloat();
            };
            const double width = f(5), position = f(6);
            // The energies the peak's half maximum spans, which a curved calibration bends.
            const double keV = cal ? std::fabs(cal->Energy(position + width / 2) -
                                               cal->Energy(position - width / 2))
                                   : std::nan("");
            rows.push_back(
                {q.Fields()[0]->AsLargeInt(), f(1), f(2), f(3), f(4), keV, width, position});
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
