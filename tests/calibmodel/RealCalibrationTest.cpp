// Energy calibrations fitted to real peaks: Eu-152 channel/energy tables reproduce their
// reference energies, and calibrations made from reference lines of real spectra put the
// Cs-137 and Co-60 lines at their tabulated energies.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "TestData.h"
#include "quantora/calibmodel/LinearECalibr.h"

using namespace calibtest;

namespace {

struct CalPoint {
    double ch, chUnc, e, eUnc;
};

void Fit(LinearECalibr& cal, const std::vector<CalPoint>& pts, double sys, size_t skip = SIZE_MAX) {
    cal.SetToDefault();
    int k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        if (i == skip) continue;
        cal.Set(k++, pts[i].ch, pts[i].e, pts[i].chUnc, std::hypot(pts[i].eUnc, sys), -1, "", true);
    }
    cal.CalcCoeff();
}

// Real centroids scatter more than their counting uncertainties (peak shape, background
// choice). The systematic energy uncertainty that, added to every point, brings chi2/dof to 1.
double SystematicUnc(const std::vector<CalPoint>& pts) {
    LinearECalibr cal;
    Fit(cal, pts, 0.0);
    if (cal.GetChiSquare() <= cal.GetDegreesOfFreedom()) return 0.0;
    double lo = 0, hi = 10;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        Fit(cal, pts, mid);
        (cal.GetChiSquare() > cal.GetDegreesOfFreedom() ? lo : hi) = mid;
    }
    return hi;
}

// Net-count centroid of the peak near `guess` with a linear background from equal windows on
// both sides, re-centred until stable.
struct Peak {
    double ch = 0, unc = 0, net = 0, netUnc = 0;
};
Peak Centroid(const std::vector<double>& counts, double guess, int hw) {
    Peak p;
    double c = guess;
    for (int iter = 0; iter < 10; ++iter) {
        const long i0 = std::lround(c), lo = i0 - hw, hi = i0 + hw, bw = hw;
        if (lo - bw < 0 || hi + bw >= static_cast<long>(counts.size())) return Peak{};
        double bl = 0, br = 0;
        for (long i = lo - bw; i < lo; ++i) bl += counts[i] / bw;
        for (long i = hi + 1; i <= hi + bw; ++i) br += counts[i] / bw;
        const double xl = lo - (bw + 1) / 2.0, xr = hi + (bw + 1) / 2.0;
        double net = 0, moment = 0, gross = 0;
        for (long i = lo; i <= hi; ++i) {
            const double t = (i - xl) / (xr - xl), b = bl + (br - bl) * t;
            net += counts[i] - b;
            moment += i * (counts[i] - b);
            gross += counts[i];
        }
        const double cn = moment / net;
        double var = 0;
        for (long i = lo; i <= hi; ++i) {
            const double t = (i - xl) / (xr - xl);
            const double vb = ((1 - t) * (1 - t) * bl + t * t * br) / bw;
            var += (i - cn) * (i - cn) * (counts[i] + vb);
        }
        const double n = static_cast<double>(hi - lo + 1);
        p = {cn, std::sqrt(var) / net, net, std::sqrt(gross + n * n * (bl + br) / (4 * bw))};
        if (std::fabs(cn - c) < 1e-4) break;
        c = cn;
    }
    return p;
}

double ManifestChannel(const std::vector<double>& c, double e) {
    double ch = (e - c[0]) / c[1];
    for (int i = 0; i < 50; ++i) {
        double f = -e, d = 0;
        for (size_t k = 0; k < c.size(); ++k) {
            f += c[k] * std::pow(ch, static_cast<double>(k));
            if (k > 0) d += k * c[k] * std::pow(ch, static_cast<double>(k - 1));
        }
        ch -= f / d;
    }
    return ch;
}

struct Line {
    const char* nuclide;
    double approxKeV;
};

// Calibrates `spectrum` from the reference lines and checks every line of `check`; the
// manifest's stored calibration only places the search windows.
void CheckSpectrum(const std::string& spectrum, const std::vector<Line>& reference,
                   const std::vector<Line>& check) {
    const std::vector<double> counts = ReadCounts(spectrum);
    const std::vector<double> manifest = ManifestCalibration(spectrum);
    ASSERT_GE(manifest.size(), 2u);
    auto measure = [&](const Line& l, GammaLine& g) {
        g = FindGammaLine(l.nuclide, l.approxKeV);
        const int hw = static_cast<int>(std::ceil(1.3 * (1.0 + 0.0008 * g.energy) / manifest[1]));
        return Centroid(counts, ManifestChannel(manifest, g.energy), hw);
    };

    std::vector<CalPoint> pts;
    for (const Line& l : reference) {
        GammaLine g;
        const Peak p = measure(l, g);
        ASSERT_GT(p.net, 10 * p.netUnc) << spectrum << ": " << l.nuclide << " " << g.energy;
        pts.push_back({p.ch, p.unc, g.energy, g.unc});
    }
    const double sys = SystematicUnc(pts);
    LinearECalibr cal;
    Fit(cal, pts, sys);
    ASSERT_TRUE(cal.IsValid());
    for (const Line& l : check) {
        GammaLine g;
        const Peak p = measure(l, g);
        ASSERT_GT(p.net, 3 * p.netUnc) << spectrum << ": no " << l.nuclide << " peak";
        const double e = cal.Energy(p.ch);
        const double u =
            std::sqrt(std::pow(cal.EnergyUnc(p.ch, p.unc), 2) + sys * sys + g.unc * g.unc);
        EXPECT_LT(std::fabs(e - g.energy), 3 * u) << spectrum << ": " << l.nuclide << " at " << e
                                                  << " +- " << u << " keV, tabulated " << g.energy;
    }
}

}  // namespace

TEST(RealCalibration, Eu152ReferenceEnergiesArePredictedFromTheOtherPoints) {
    for (const char* file :
         {"calib/AA170825_1cm_Eu152_channel_energy.csv", "calib/eu_calib_7cm_channel_energy.csv"}) {
        const Table t = ReadTable(DataPath(file));
        std::vector<CalPoint> pts;
        for (size_t r = 0; r < t.rows.size(); ++r)
            pts.push_back({t.Number(r, "channel"), t.Number(r, "channel_unc"),
                           t.Number(r, "energy_keV"), t.Number(r, "energy_unc_keV")});
        ASSERT_GE(pts.size(), 10u) << file;
        const double sys = SystematicUnc(pts);
        // Each reference energy from a calibration that never saw it.
        for (size_t i = 0; i < pts.size(); ++i) {
            LinearECalibr cal;
            Fit(cal, pts, sys, i);
            ASSERT_TRUE(cal.IsValid()) << cal.InvalidReason();
            const double e = cal.Energy(pts[i].ch);
            const double u = std::sqrt(std::pow(cal.EnergyUnc(pts[i].ch, pts[i].chUnc), 2) +
                                       sys * sys + pts[i].eUnc * pts[i].eUnc);
            EXPECT_LT(std::fabs(e - pts[i].e), 3 * u)
                << file << ": " << pts[i].e << " keV predicted " << e << " +- " << u;
            // The channel of the tabulated energy, back through the same calibration.
            EXPECT_LT(
                std::fabs(cal.Channel(pts[i].e) - pts[i].ch),
                3 * cal.ChannelUnc(pts[i].e, std::hypot(pts[i].eUnc, sys)) + 3 * pts[i].chUnc);
        }
    }
}

TEST(RealCalibration, Co60FromTheEu152LinesOfAnActivatedSample) {
    // Neutron-activated pottery: europium and cobalt activation in one HPGe spectrum.
    CheckSpectrum("1110C_NAA_cave_pottery_Spe",
                  {{"Eu-152", 121.78},
                   {"Eu-152", 244.70},
                   {"Eu-152", 344.28},
                   {"Eu-152", 778.90},
                   {"Eu-152", 964.06},
                   {"Eu-152", 1112.08},
                   {"Eu-152", 1408.01}},
                  {{"Co-60", 1173.23}, {"Co-60", 1332.49}});
}

TEST(RealCalibration, Cs137AndCo60FromNaturalBackgroundLines) {
    // Kelp in a Marinelli beaker: calibrated from the natural radionuclides only.
    CheckSpectrum("Mendocino_07-10-13_Acq-10-10-13_Spe",
                  {{"Pb-212", 238.63},
                   {"Pb-214", 351.93},
                   {"Tl-208", 583.19},
                   {"Bi-214", 609.32},
                   {"Ac-228", 911.20},
                   {"K-40", 1460.82},
                   {"Bi-214", 1764.49},
                   {"Tl-208", 2614.51}},
                  {{"Cs-137", 661.66}, {"Co-60", 1173.23}, {"Co-60", 1332.49}});
}
