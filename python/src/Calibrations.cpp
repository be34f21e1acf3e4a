// Loading calibrations and their Python classes.
#include "python/src/Calibrations.h"

#include <cmath>

#include "python/src/Errors.h"
#include "python/src/Spectra.h"
#include "quantora/base/Format.h"
#include "quantora/calibration/AnalysisRetrieval.h"
#include "quantora/calibration/ECalStorage.h"
#include "quantora/lab/StoredSpectra.h"

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

// T[i][k]: the coefficient of x^i in the basis polynomial P_k(x), from the recurrence of
// NormOrtPol with t = XTrans0 + XTrans1 * x; a curve sum_k c_k P_k(x) is sum_i (T c)_i x^i.
std::vector<std::vector<double>> PowerBasis(const NormOrtPol& pol) {
    const size_t n = static_cast<size_t>(pol.Degree + 1);
    std::vector<std::vector<double>> p(n, std::vector<double>(n, 0.0));  // p[k]: p_k(t(x))
    for (size_t k = 0; k < n; ++k) {
        if (k == 0) {
            p[0][0] = 1.0;
            continue;
        }
        const double a = pol.AVect[static_cast<int>(k - 1)];
        for (size_t i = 0; i < k; ++i) {  // (XTrans0 - a + XTrans1 x) * p_{k-1}
            p[k][i] += (pol.XTrans0 - a) * p[k - 1][i];
            p[k][i + 1] += pol.XTrans1 * p[k - 1][i];
        }
        if (k >= 2)
            for (size_t i = 0; i + 1 < k; ++i)
                p[k][i] -= pol.BVect[static_cast<int>(k - 2)] * p[k - 2][i];
    }
    std::vector<std::vector<double>> t(n, std::vector<double>(n));
    for (size_t i = 0; i < n; ++i)
        for (size_t k = 0; k < n; ++k) t[i][k] = pol.NormVect[static_cast<int>(k)] * p[k][i];
    return t;
}

// The efficiency curve as a power series in ln E: the coefficients T c and their covariance
// T C T' (c, C: the curve's coefficients in the orthogonal basis and their covariance).
py::array_t<double> PowerCoefficients(const EffCalibration& cal) {
    const auto t = PowerBasis(cal.Pol);
    std::vector<double> out(t.size(), 0.0);
    for (size_t i = 0; i < t.size(); ++i)
        for (size_t k = 0; k < t.size(); ++k) out[i] += t[i][k] * cal.FitCoeff[static_cast<int>(k)];
    return ToArray(std::move(out));
}
py::array_t<double> PowerCovariance(const EffCalibration& cal) {
    const auto t = PowerBasis(cal.Pol);
    const auto n = static_cast<py::ssize_t>(t.size());
    py::array_t<double> out({n, n});
    auto v = out.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < n; ++i)
        for (py::ssize_t j = 0; j < n; ++j) {
            double s = 0.0;
            for (py::ssize_t k = 0; k < n; ++k)
                for (py::ssize_t l = 0; l < n; ++l)
                    s +=
                        t[i][k] * cal.FitMatrix(static_cast<int>(k), static_cast<int>(l)) * t[j][l];
            v(i, j) = s;
        }
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

std::shared_ptr<const ECalibration> ApplicableECal(const char* alias, int spectrumId,
                                                   int measSetupId, TDateTime measDate) {
    auto cal = std::make_shared<ECalibration>();
    cal->SpectrumId = spectrumId;
    RetrieveECalForSpectrum(cal.get(), alias, measSetupId, measDate);
    if (cal->ECalId <= 0)
        throw NoneApplies(Format("no energy calibration applies to spectrum %d", spectrumId));
    if (!cal->LinearPart.IsValid())
        throw NoneApplies(Format("the energy calibration %d of spectrum %d is not usable: %s",
                                 cal->ECalId, spectrumId, cal->LinearPart.InvalidReason().c_str()));
    return cal;
}

ECal LoadECal(const DbPtr& db, int spectrumId) {
    py::gil_scoped_release unlocked;
    const std::optional<StoredSpectrumRow> row = FindStoredSpectrumRow(db->Alias(), spectrumId);
    if (!row) throw NotFound(Format("no spectrum with SPECTRUM_ID = %d", spectrumId));
    return ECal{ApplicableECal(db->Alias(), spectrumId, row->measSetupId, row->measDate)};
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
        .def_property_readonly(
            "ecal_id", [](const ECal& c) { return c.cal->ECalId; }, "its ECAL_ID")
        .def_property_readonly(
            "spectrum_id", [](const ECal& c) { return c.cal->SpectrumId; },
            "the spectrum it was retrieved for")
        .def_property_readonly(
            "name", [](const ECal& c) { return c.cal->Name; }, "its name")
        .def_property_readonly(
            "tentative", [](const ECal& c) { return c.cal->Tentative; },
            "True for a calibration not yet confirmed")
        .def_property_readonly(
            "nonlinear", [](const ECal& c) { return c.cal->NonlinValid; },
            "True when a nonlinearity bends the straight line of coefficients")
        .def_property_readonly(
            "coefficients",
            [](const ECal& c) {
                double a, b;
                c.cal->LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
                return ToArray(std::vector<double>{a, b});
            },
            "[offset keV, gain keV per channel] of the straight line; energy() adds the "
            "nonlinearity when `nonlinear` is True")
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

    py::class_<Efficiency>(
        m, "EfficiencyCalibration",
        "A detection efficiency curve: ln eff is a polynomial in ln E (E in keV); "
        "see coefficients.")
        .def_property_readonly(
            "analysis_id", [](const Efficiency& e) { return e.cal->EffAnalysisId; },
            "its EFFANALYSIS_ID")
        .def_property_readonly(
            "name", [](const Efficiency& e) { return e.cal->Name; }, "its name")
        .def_property_readonly(
            "absolute", [](const Efficiency& e) { return e.cal->Absolute; },
            "True for the absolute full-energy-peak efficiency, False for a relative one "
            "(arbitrary scale)")
        .def_property_readonly(
            "energy_range",
            [](const Efficiency& e) {
                return py::make_tuple(e.cal->LowerEnergy, e.cal->UpperEnergy);
            },
            "(lowest, highest) energy in keV of the fitted peaks; outside it at() extrapolates")
        .def_property_readonly(
            "coefficients", [](const Efficiency& e) { return PowerCoefficients(*e.cal); },
            "c[0 .. degree] of ln eff = sum_k c[k] * (ln E)**k with E in keV: "
            "numpy.exp(numpy.polynomial.polynomial.polyval(numpy.log(E), c)) is at(E)[0].")
        .def_property_readonly(
            "covariance", [](const Efficiency& e) { return PowerCovariance(*e.cal); },
            "Covariance matrix of the coefficients: with v = [(ln E)**k], the standard "
            "uncertainty of ln eff is sqrt(v @ covariance @ v), so at(E)[1] is eff times it.")
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
