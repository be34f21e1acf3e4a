// Energy calibrations fitted to real Eu-152 centroids: every reference energy is predicted from
// a calibration that never saw it, and its channel comes back through the same line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "quantora/calibmodel/LinearECalibr.h"

namespace {

struct CalPoint {
    double ch, chUnc, e, eUnc;
};

// The first four columns (channel, channel_unc, energy_keV, energy_unc_keV) of the rows of
// calib/<file> (the header and comments do not read as numbers).
std::vector<CalPoint> ReadPoints(const std::string& file) {
    std::ifstream in(std::string(QUANTORA_SHARED_DATA) + "/calib/" + file);
    std::vector<CalPoint> pts;
    CalPoint p;
    for (std::string line; std::getline(in, line);)
        if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf", &p.ch, &p.chUnc, &p.e, &p.eUnc) == 4)
            pts.push_back(p);
    return pts;
}

void Fit(LinearECalibr& cal, const std::vector<CalPoint>& pts, double sys, size_t skip) {
    cal.SetToDefault();
    int k = 0;
    for (size_t i = 0; i < pts.size(); ++i)
        if (i != skip)
            cal.Set(k++, pts[i].ch, pts[i].e, pts[i].chUnc, std::hypot(pts[i].eUnc, sys), -1, "",
                    true);
    cal.CalcCoeff();
}

// Real centroids scatter more than their counting uncertainties: the systematic energy
// uncertainty that, added to every point, brings chi2/dof to 1.
double SystematicUnc(const std::vector<CalPoint>& pts) {
    LinearECalibr cal;
    double lo = 0, hi = 10;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        Fit(cal, pts, mid, SIZE_MAX);
        (cal.GetChiSquare() > cal.GetDegreesOfFreedom() ? lo : hi) = mid;
    }
    return hi;
}

}  // namespace

TEST(RealCalibration, Eu152ReferenceEnergiesArePredictedFromTheOtherPoints) {
    for (const char* file :
         {"AA170825_1cm_Eu152_channel_energy.csv", "eu_calib_7cm_channel_energy.csv"}) {
        const std::vector<CalPoint> pts = ReadPoints(file);
        ASSERT_GE(pts.size(), 10u) << file;
        const double sys = SystematicUnc(pts);
        for (size_t i = 0; i < pts.size(); ++i) {
            LinearECalibr cal;
            Fit(cal, pts, sys, i);
            ASSERT_TRUE(cal.IsValid()) << cal.InvalidReason();
            const double e = cal.Energy(pts[i].ch);
            const double u = std::sqrt(std::pow(cal.EnergyUnc(pts[i].ch, pts[i].chUnc), 2) +
                                       sys * sys + pts[i].eUnc * pts[i].eUnc);
            EXPECT_LT(std::fabs(e - pts[i].e), 3 * u)
                << file << ": " << pts[i].e << " keV predicted " << e << " +- " << u;
            EXPECT_LT(
                std::fabs(cal.Channel(pts[i].e) - pts[i].ch),
                3 * cal.ChannelUnc(pts[i].e, std::hypot(pts[i].eUnc, sys)) + 3 * pts[i].chUnc);
        }
    }
}
