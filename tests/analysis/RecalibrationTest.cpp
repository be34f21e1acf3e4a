// Energy and width recalibration from an evaluation's peaks against lines of known energy: the
// file calibration exact, a few keV off or absent; one line per peak, the larger peak keeping a
// line two peaks could claim; an outlier left out; too few lines, or lines met by chance, a note,
// not a calibration.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "quantora/analysis/Polynomial.h"
#include "quantora/analysis/Recalibration.h"

namespace qa = quantora::analysis;

namespace {

// The detector's true calibration, keV over channel.
double TrueEnergy(double ch) {
    return 1.0 + 0.35 * ch + 2e-7 * ch * ch;
}
double TrueChannel(double e) {
    return (-0.35 + std::sqrt(0.35 * 0.35 + 8e-7 * (e - 1.0))) / 4e-7;
}

const std::vector<qa::ReferenceLine> kLines = {
    {121.7817, 0.0003, 28.53, 0}, {244.6974, 0.0008, 7.55, 1}, {344.2785, 0.0012, 26.59, 2},
    {778.9045, 0.0024, 12.93, 3}, {964.057, 0.005, 14.51, 4},  {1112.076, 0.003, 13.67, 5},
    {1408.013, 0.003, 20.87, 6}};

constexpr double kWidthA = 4.0, kWidthB = 0.002;  // FWHM^2 in channels

// One peak per line, each alone in its region; a smaller peak 1.5 channels above the first line
// shares its region, and the 1112 keV peak sits 1.2 keV off its line.
qa::PeakEvaluationResult Peaks() {
    qa::PeakEvaluationResult r;
    r.widthA = kWidthA, r.widthB = kWidthB;
    auto add = [&r](double ch, double area, int region) {
        qa::FittedPeak p;
        p.channel = ch, p.channelUnc = 0.02, p.area = area, p.areaUnc = std::sqrt(area);
        p.fwhm = std::sqrt(kWidthA + kWidthB * ch), p.fwhmUnc = 0.02 * p.fwhm;
        p.region = region;
        r.peaks.push_back(p);
    };
    for (size_t i = 0; i < kLines.size(); ++i) {
        const bool shifted = kLines[i].energy > 1100 && kLines[i].energy < 1200;
        const double ch = TrueChannel(kLines[i].energy + (shifted ? 1.2 : 0.0));
        r.regions.push_back({});
        r.regions.back().peakCount = i == 0 ? 2 : 1;
        add(ch, 20000.0 - 1000.0 * static_cast<double>(i), static_cast<int>(i));
        if (i == 0) add(ch + 1.5, 3000, 0);
    }
    return r;
}

}  // namespace

TEST(Recalibration, PeaksMeetTheirLinesOneToOneWhateverTheFileCalibration) {
    const PeakEvalCalibration setting;
    const qa::PeakEvaluationResult r = Peaks();
    struct Case {
        const char* what;
        std::vector<double> coeffs;
    };
    const Case cases[] = {
        {"exact", {1.0, 0.35, 2e-7}},
        {"5 keV and 0.4 % off", {6.0, 0.35 * 1.004, 2e-7}},
        {"none", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const qa::Recalibration cal = qa::Recalibrate(r, c.coeffs, kLines, setting);
        ASSERT_TRUE(cal.energyValid) << (cal.notes.empty() ? "" : cal.notes.back());
        // Every line matched once, to the larger of the two peaks at 122 keV (peak 0, not 1).
        ASSERT_EQ(cal.matches.size(), kLines.size());
        for (const qa::LineMatch& m : cal.matches) {
            const int expected = m.line == 0 ? 0 : m.line + 1;
            EXPECT_EQ(m.peak, expected) << "line " << m.line;
            EXPECT_EQ(m.used, kLines[static_cast<size_t>(m.line)].energy != 1112.076)
                << "line " << m.line;
        }
        for (double ch : {0.0, 500.0, 2000.0, 4000.0})
            EXPECT_NEAR(qa::Poly(cal.energyCoeffs, ch), TrueEnergy(ch), 0.01) << "channel " << ch;
        EXPECT_LT(cal.rmsKeV, 0.6);  // the outlier's residual counts in the rms, not the fit
        // Widths: the width model at the single, well-measured peaks only.
        ASSERT_EQ(cal.fwhm.GetPointCount(), static_cast<int>(kLines.size()) - 1);
        for (const FwhmCalibrPoint& p : cal.fwhm.Points)
            EXPECT_NEAR(p.Fwhm, std::sqrt(kWidthA + kWidthB * p.ChPos), 1e-12);
    }
}

// Too few lines, or lines met only by chance (each within the tolerance of a peak, but scattered
// about it as a library's dense lines fall): a note, and no energy calibration.
TEST(Recalibration, TooFewOrChanceLinesGiveANoteAndNoEnergyCalibration) {
    const PeakEvalCalibration setting;
    const qa::PeakEvaluationResult r = Peaks();
    const std::vector<double> coeffs = {1.0, 0.35, 2e-7};
    const struct {
        size_t lines;
        double jitterKeV;  // alternately added to and taken from each line's energy
        const char* note;
    } cases[] = {{0, 0, "holds no lines"},
                 {2, 0, "2 peak(s) matched a library line"},
                 {kLines.size(), 1.4, "the library's lines do not explain the peaks"}};
    for (const auto& c : cases) {
        std::vector<qa::ReferenceLine> lines(kLines.begin(), kLines.begin() + c.lines);
        for (size_t i = 0; i < lines.size(); ++i)
            lines[i].energy += i % 2 ? -c.jitterKeV : c.jitterKeV;
        const qa::Recalibration cal = qa::Recalibrate(r, coeffs, lines, setting);
        EXPECT_FALSE(cal.energyValid);
        ASSERT_FALSE(cal.notes.empty());
        EXPECT_NE(cal.notes.back().find(c.note), std::string::npos) << cal.notes.back();
    }
}
