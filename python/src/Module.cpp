// The compiled part of the Python package quantora (quantora._quantora): opening a lab database
// and reading its spectra, calibrations, peaks and nuclide lines as Python and numpy objects.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <filesystem>

#include "python/src/Analysis.h"
#include "python/src/Calibrations.h"
#include "python/src/DbHandle.h"
#include "python/src/Errors.h"
#include "python/src/LabQueries.h"
#include "python/src/Spectra.h"
#include "python/src/Values.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/spectrumfiles/SpectrumFileFormats.h"

namespace py = pybind11;
using namespace quantora::python;

namespace {

// A str or os.PathLike as a file system path; TypeError for anything else.
std::string PathArg(py::handle p, const char* what) {
    if (PyUnicode_Check(p.ptr())) return p.cast<std::string>();
    py::object fs = py::module_::import("os").attr("fspath");
    py::object s;
    try {
        s = fs(p);
    } catch (py::error_already_set&) {
        throw py::type_error(std::string(what) + " must be a str or a path, not " +
                             std::string(py::str(p.get_type().attr("__name__"))));
    }
    if (!PyUnicode_Check(s.ptr())) throw py::type_error(std::string(what) + " must be a str path");
    return s.cast<std::string>();
}

DbPtr Open(py::handle target, bool readOnly) {
    const std::string arg = PathArg(target, "the database");
    if (arg.empty() || arg == ":memory:" || arg == "sqlite::memory:")
        throw py::value_error(
            "quantora.open needs a database file or a postgresql:// URI (an in-memory database "
            "would differ from thread to thread)");
    // An SQLite file must exist: opening would otherwise create an empty database at a
    // mistyped path.
    const std::string file = DatabaseFileOf(arg);
    if (!file.empty()) {
        std::error_code ec;
        const auto status = std::filesystem::status(file, ec);
        if (!std::filesystem::exists(status)) {
            PyErr_SetObject(PyExc_FileNotFoundError,
                            py::make_tuple(ENOENT, "no database file", file).ptr());
            throw py::error_already_set();
        }
        if (!std::filesystem::is_regular_file(status))
            throw py::value_error(quantora::Format("'%s' is not a database file", file.c_str()));
    }
    const AnsiString uri = DatabaseUri(arg);
    py::gil_scoped_release unlocked;
    return std::make_shared<DbHandle>(uri, readOnly);
}

py::object OptionalDate(const std::optional<TDateTime>& d) {
    return d ? DateTimeObject(*d) : py::none();
}
py::object OptionalSeconds(double s) {
    return s >= 0 ? py::object(py::float_(s)) : py::none();
}

}  // namespace

PYBIND11_MODULE(_quantora, m) {
    m.doc() = "The compiled part of quantora; import quantora, which re-exports it.";
    m.attr("__version__") = QUANTORA_VERSION;
    InitValues();
    RegisterErrors(m);
    RegisterCalibrations(m);
    RegisterLabTypes();
    RegisterAnalysisTypes();

    py::class_<Spectrum>(m, "Spectrum",
                         "A spectrum: counts per channel from channel 0, with its energy "
                         "calibration. Needs no database once read, and pickles (multiprocessing, "
                         "joblib).")
        .def_readonly("counts", &Spectrum::counts, "numpy uint32 array, one count per channel")
        .def_property_readonly(
            "id", [](const Spectrum& s) { return s.id; },
            "SPECTRUM_ID of a stored spectrum; None for one read from a file")
        .def_property_readonly(
            "measurement_id", [](const Spectrum& s) { return s.measurementId; },
            "MEASUREMENT_ID of a stored spectrum; None without one")
        .def_property_readonly(
            "name", [](const Spectrum& s) { return TextObject(s.name); }, "its name or title")
        .def_property_readonly(
            "channels", [](const Spectrum& s) { return s.channels; }, "number of channels")
        .def_property_readonly(
            "live_time", [](const Spectrum& s) { return OptionalSeconds(s.liveTime); },
            "live time in seconds; None when unknown")
        .def_property_readonly(
            "real_time", [](const Spectrum& s) { return OptionalSeconds(s.realTime); },
            "real (clock) time in seconds; None when unknown")
        .def_property_readonly(
            "start", [](const Spectrum& s) { return OptionalDate(s.start); },
            "start of the count (datetime, naive as stored); None when unknown")
        .def_property_readonly(
            "detector", [](const Spectrum& s) { return TextObject(s.detector); },
            "the detector: the one the file names (for a stored spectrum, the file it was "
            "imported from), else that of the measurement's setup; empty when none is known")
        .def("energies", &Spectrum::Energies,
             "Energy (keV) of every channel as a numpy float64 array, from the energy "
             "calibration that applied when the spectrum was read (a file's: its own "
             "polynomial); LookupError when none does.")
        .def(py::pickle([](const Spectrum& s) { return s.State(); },
                        [](const py::tuple& t) { return Spectrum::FromState(t); }))
        .def(
            "__len__", [](const Spectrum& s) { return s.channels; }, "The number of channels.")
        .def("__repr__", [](const Spectrum& s) {
            return quantora::Format("<Spectrum %s '%s': %zu channels>",
                                    s.id ? std::to_string(*s.id).c_str() : "from a file",
                                    s.name.c_str(), s.channels);
        });

    py::class_<SpectrumFileResult>(m, "SpectrumFile", "What a spectrum file holds.")
        .def_readonly("format", &SpectrumFileResult::format,
                      "the format recognised by content, one of spectrum_formats (N42 as "
                      "N42-2006 or N42-2011)")
        .def_readonly("spectra", &SpectrumFileResult::spectra,
                      "its spectra (several for a file with several detectors)")
        .def_readonly("warnings", &SpectrumFileResult::warnings,
                      "what the reader noticed but read anyway, one line each");

    py::class_<DbHandle, DbPtr>(m, "Database", "A lab database opened with quantora.open().")
        .def("close", &DbHandle::Close, "Closes the database; later calls raise DatabaseError.")
        .def_property_readonly("closed", &DbHandle::Closed, "True once close() was called")
        .def(
            "__enter__", [](DbPtr db) { return db; }, "The database itself.")
        .def(
            "__exit__", [](DbHandle& db, py::args) { db.Close(); }, "Closes the database.")
        .def("tables", &TableCounts, "{table name in lower case: row count}")
        .def("query", &RunQuery, py::arg("sql"), py::arg("params") = py::none(),
             "Runs SQL with named :params from a dict (None, bool, int, float, str, bytes, "
             "datetime, date or numpy numbers); the rows as a list of dicts keyed by column name "
             "in lower case, as every dict of the module is, on every engine. Two result columns "
             "of one name raise ValueError: give one an alias.")
        .def("spectrum", &ReadSpectrum, py::arg("spectrum_id"),
             "The stored spectrum with the key, with the energy calibration that applies to it; "
             "KeyError when there is none.")
        .def("spectra", &ReadSpectra, py::arg("measurement_id"),
             "The stored spectra of a measurement by SPECTRUM_ID; KeyError for an unknown "
             "measurement.")
        .def("measurements", &Measurements, py::arg("project_id") = py::none(),
             "Measurements (of a project when given) as dicts: measurement_id, name, project_id, "
             "sample_id, source_id, meas_setup_id, start_date, end_date, comment.")
        .def("peaks", &Peaks, py::arg("spectrum_id") = py::none(), py::kw_only(),
             py::arg("peakeval_id") = py::none(),
             "The peaks of the evaluation that applies to a spectrum (empty when it has none), or "
             "of the evaluation peakeval_id=, as a numpy structured array: peak_id, energy, "
             "energy_unc and fwhm in keV (fwhm NaN without an energy calibration), area and "
             "area_unc in counts, fwhm_channels and position in channels.")
        .def("analyse", &Analyse, py::arg("spectrum_id"), py::kw_only(),
             py::arg("setting_id") = py::none(), py::arg("library_ids") = std::vector<int>{},
             py::arg("store") = true,
             "Finds and fits the peaks of a stored spectrum with a peak evaluation setting "
             "(default: the stored default setting); with radiation libraries the energy and "
             "FWHM calibrations are fitted anew from the lines found and each peak names its "
             "line's nuclide. Stored unless store=False. The peaks as a numpy structured array: "
             "energy, FWHM and their uncertainties in keV, areas and the decision threshold and "
             "detection limit in counts, channel and FWHM in channels.")
        .def("quantify", &Quantify, py::arg("spectrum_id"), py::arg("library_ids"), py::kw_only(),
             py::arg("efficiency_id") = py::none(), py::arg("background_id") = py::none(),
             py::arg("reference") = py::none(), py::arg("store") = true,
             "The activity of each nuclide of the radiation libraries in a stored spectrum at "
             "the reference datetime (default: the start of the count), through the efficiency "
             "analysis given or the one valid for the measurement's setup, a background spectrum "
             "subtracted when given: a numpy structured array with the activity, its standard "
             "uncertainty, the ISO 11929 decision threshold and detection limit (all in `unit`, "
             "Bq or Bq/kg), the number of lines, whether detected and whether its lines lose "
             "counts to cascade summing. Stored unless store=False.")
        .def("activities", &Activities, py::arg("spectrum_id"),
             "The activities of the spectrum's newest stored quantification, as quantify() "
             "returns them; empty when it has none.")
        .def("ecal", &LoadECal, py::arg("spectrum_id"),
             "The energy calibration that applies to the spectrum.")
        .def("efficiency", &LoadEfficiency, py::arg("analysis_id"),
             "The efficiency curve of an efficiency analysis (EFFANALYSIS_ID); KeyError when "
             "there is none.")
        .def(
            "import_spectrum",
            [](const DbPtr& db, py::handle path, int measurementId, bool fast) {
                return ImportSpectrum(db, PathArg(path, "the file"), measurementId, fast);
            },
            py::arg("path"), py::arg("measurement_id"), py::kw_only(), py::arg("fast") = false,
            "Stores the spectra of a file in a measurement; their new ids (none when every one "
            "of them is in the measurement already). fast=True stores the "
            "counts in the codec's fast mode: quicker to read back, somewhat larger.")
        .def("match", &Match, py::arg("energies"), py::arg("uncertainties"), py::arg("library_ids"),
             "For each energy (keV, with its standard uncertainty) the radiation library lines "
             "it matches: dicts of radiation_id, nuclide, energy and energy_unc in keV, "
             "intensity and intensity_unc in percent (photons per 100 decays).")
        .def("__repr__", [](const DbHandle& db) {
            // A server URI may carry a password: only the engine is shown for it.
            const std::string file = DatabaseFileOf(db.Uri());
            return quantora::Format("<quantora.Database %s%s>",
                                    file.empty() ? "postgresql" : file.c_str(),
                                    db.Closed() ? " (closed)" : "");
        });

    m.def("open", &Open, py::arg("uri"), py::kw_only(), py::arg("readonly") = false,
          "Opens an SQLite file (a path) or a PostgreSQL database (postgresql://user@host/db); "
          "FileNotFoundError when the file does not exist (it is never created). readonly=True "
          "refuses every write and leaves the file as it is (no journal mode change); otherwise "
          "an SQLite file is switched to WAL journaling.");
    static const std::string readDoc = "Reads a spectrum file of any of spectrum_formats (" +
                                       quantora::SpectrumFileFormatNames(", ") +
                                       ", by content); ValueError (BadFileError) for a bad "
                                       "file, FileNotFoundError for a missing one.";
    m.def(
        "read_spectrum_file",
        [](py::handle path) { return ReadSpectrumFileForPython(PathArg(path, "the file")); },
        py::arg("path"), readDoc.c_str());
    py::tuple formats(quantora::SpectrumFileFormats().size());
    for (size_t i = 0; i < formats.size(); ++i)
        formats[i] = py::str(quantora::SpectrumFileFormats()[i].name);
    m.attr("spectrum_formats") = formats;

    // What `from quantora._quantora import *` gives the package: every public name.
    py::list all;
    for (const auto& item : m.attr("__dict__").cast<py::dict>()) {
        const std::string name = py::str(item.first);
        if (name[0] != '_') all.append(name);
    }
    m.attr("__all__") = all;
}
