// Loading calibrations and their Python classes.
#include "python/src/Calibrations.h"

#include <algorithm>
#include <cmath>

#include "python/src/Errors.h"
#include "python/src/Spectra.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/dblayer/TQuery.h"

namespace py = pybind11;

namespace quantora::python {
namespace {

double EnergyOf(const void* c, double ch) {
    return static_cast<const ECalibration*>(c)->Energy(ch);
}
double ChannelOf(const void* c, double e) {
    return static_cast<const ECalibration*>(c)->Channel(e);
}
double EnergyUncOf(const void* c, double ch) {
    return static_cast<const ECalibration*>(c)->EnergyUnc(ch);
}
double RequirePositive(double e) {
    if (!(e > 0) || !std::isfinite(e))
        throw py::value_error(Format("efficiency energies must be positive keV, not %g", e));
    return e;
}
double EffOf(const void* c, double e) {
    return static_cast<const EffCalibration*>(c)->Efficiency(RequirePositive(e));
}
double EffUncOf(const void* c, double e) {
    return static_cast<const EffCalibration*>(c)->EfficiencyUnc(RequirePositive(e));
}

// The leading n x n block of the matrix.
py::array_t<double> Matrix(const NumMatrix<double>& m, int n) {
    n = std::max(0, std::min({n, m.Rows(), m.Cols()}));
    py::array_t<double> out({static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(n)});
    auto v = out.mutable_unchecked<2>();
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) v(i, j) = m(i, j);
    return out;
}

}  // namespace

py::object MapValues(py::handle x, double (*f)(const void*, double), const void* ctx) {
    if (PyFloat_Check(x.ptr()) || PyLong_Check(x.ptr()))
        return py::float_(f(ctx, x.cast<double>()));
    if (x.is_none() || PyUnicode_Check(x.ptr()) || PyBytes_Check(x.ptr()))
        throw py::type_error("expected a number or an array of numbers");
    auto in = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(x);
    if (!in) throw py::type_error("expected a number or an array of numbers");
    py::array_t<double> out(std::vector<py::ssize_t>(in.shape(), in.shape() + in.ndim()));
    const double* src = in.data();
    double* dst = out.mutable_data();
    const py::ssize_t n = in.size();
    {
        py::gil_scoped_release unlocked;
        for (py::ssize_t i = 0; i < n; ++i) dst[i] = f(ctx, src[i]);
    }
    if (in.ndim() == 0) return py::float_(dst[0]);
    return out;
}

void RequireUsableECal(const ECalibration& cal, int spectrumId) {
    if (cal.ECalId <= 0)
        throw NoneApplies(Format("no energy calibration applies to spectrum %d", spectrumId));
    if (!cal.LinearPart.IsValid())
        throw NoneApplies(Format("the energy calibration %d of spectrum %d is not usable: %s",
                                 cal.ECalId, spectrumId, cal.LinearPart.InvalidReason().c_str()));
}

ECal LoadECal(const DbPtr& db, int spectrumId) {
    py::gil_scoped_release unlocked;
    TQuery q;
    q.SetDatabaseName(db->Alias());
    q.SetSQL(
        "SELECT M.MEASSETUP_ID, M.STARTDATE FROM SPECTRUM S LEFT JOIN MEASUREMENT M "
        "ON M.MEASUREMENT_ID = S.MEASUREMENT_ID WHERE S.SPECTRUM_ID = :id");
    q.ParamByName("id")->SetAsInteger(spectrumId);
    q.Open();
    if (q.Eof()) throw NotFound(Format("no spectrum with SPECTRUM_ID = %d", spectrumId));
    const int setup = q.Fields()[0]->IsNull() ? -1 : q.Fields()[0]->AsInteger();
    const TDateTime date = q.Fields()[1]->IsNull() ? 0 : q.Fields()[1]->AsDateTime();
    auto cal = std::make_shared<ECalibration>();
    cal->SpectrumId = spectrumId;
    RetrieveECalForSpectrum(cal.get(), db->Alias(), setup, date);
    RequireUsableECal(*cal, spectrumId);
    return ECal{std::move(cal)};
}

Efficiency LoadEfficiency(const DbPtr& db, int analysisId) {
    py::gil_scoped_release unlocked;
    auto cal = std::make_shared<EffCalibration>();
    RetrieveEffCal(cal.get(), analysisId, db->Alias());
    if (!cal->Valid)
        throw NotFound(Format("no efficiency analysis with EFFANALYSIS_ID = %d", analysisId));
    return Efficiency{std::move(cal)};
}

void RegisterCalibrations(py::module_& m) {
    py::class_<ECal>(m, "EnergyCalibration",
                     "The energy calibration of a spectrum: E(channel) = offset + gain * "
                     "(channel - nonlinearity(channel)).")
        .def_property_readonly("ecal_id", [](const ECal& c) { return c.cal->ECalId; })
        .def_property_readonly("spectrum_id", [](const ECal& c) { return c.cal->SpectrumId; })
        .def_property_readonly("name", [](const ECal& c) { return c.cal->Name; })
        .def_property_readonly("tentative", [](const ECal& c) { return c.cal->Tentative; })
        .def_property_readonly("nonlinear", [](const ECal& c) { return c.cal->NonlinValid; })
        .def_property_readonly(
            "coefficients",
            [](const ECal& c) {
                double a, b;
                c.cal->LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
                return ToArray(std::vector<double>{a, b});
            },
            "[offset keV, gain keV per channel]")
        .def_property_readonly(
            "covariance",
            [](const ECal& c) {
                double av, bv, cov;
                c.cal->LinearPart.GetParams(nullptr, nullptr, &av, &bv, &cov);
                py::array_t<double> out({2, 2});
                auto v = out.mutable_unchecked<2>();
                v(0, 0) = av, v(0, 1) = v(1, 0) = cov, v(1, 1) = bv;
                return out;
            },
            "covariance matrix of [offset, gain]")
        .def(
            "energy",
            [](const ECal& c, py::handle ch) { return MapValues(ch, EnergyOf, c.cal.get()); },
            py::arg("channel"), "Energy (keV) at channel positions; numbers or arrays.")
        .def(
            "energy_uncertainty",
            [](const ECal& c, py::handle ch) { return MapValues(ch, EnergyUncOf, c.cal.get()); },
            py::arg("channel"), "Standard uncertainty (keV) of energy(channel).")
        .def(
            "channel",
            [](const ECal& c, py::handle e) { return MapValues(e, ChannelOf, c.cal.get()); },
            py::arg("energy"), "Channel position of energies (keV); numbers or arrays.")
        .def("__repr__", [](const ECal& c) {
            double a, b;
            c.cal->LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
            return Format("<EnergyCalibration %d of spectrum %d: E = %g + %g * ch keV>",
                          c.cal->ECalId, c.cal->SpectrumId, a, b);
        });

    py::class_<Efficiency>(m, "EfficiencyCalibration",
                           "A detection efficiency curve: ln eff is a polynomial in ln E.")
        .def_property_readonly("analysis_id",
                               [](const Efficiency& e) { return e.cal->EffAnalysisId; })
        .def_property_readonly("name", [](const Efficiency& e) { return e.cal->Name; })
        .def_property_readonly("absolute", [](const Efficiency& e) { return e.cal->Absolute; })
        .def_property_readonly("energy_range",
                               [](const Efficiency& e) {
                                   return py::make_tuple(e.cal->LowerEnergy, e.cal->UpperEnergy);
                               })
        .def_property_readonly("coefficients",
                               [](const Efficiency& e) {
                                   // The curve's own: the first degree + 1 of the fit.
                                   const NumVector<double>& v = e.cal->FitCoeff;
                                   const auto n =
                                       std::min<size_t>(v.end() - v.begin(),
                                                        static_cast<size_t>(e.cal->Pol.Degree + 1));
                                   return ToArray(std::vector<double>(v.begin(), v.begin() + n));
                               })
        .def_property_readonly(
            "covariance",
            [](const Efficiency& e) { return Matrix(e.cal->FitMatrix, e.cal->Pol.Degree + 1); })
        .def(
            "at",
            [](const Efficiency& e, py::handle energy) {
                return py::make_tuple(MapValues(energy, EffOf, e.cal.get()),
                                      MapValues(energy, EffUncOf, e.cal.get()));
            },
            py::arg("energy"),
            "(efficiency, standard uncertainty) at energies (keV); numbers or arrays.")
        .def("__repr__", [](const Efficiency& e) {
            return Format("<EfficiencyCalibration %d '%s'%s>", e.cal->EffAnalysisId,
                          e.cal->Name.c_str(), e.cal->Absolute ? "" : " (relative)");
        });
}

}  // namespace quantora::python
