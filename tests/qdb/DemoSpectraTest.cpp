// The demo's spectrum synthesis and peak search: peaks found where the lines are, with the counts
// and widths that went in (the demo test runs the synthesis twice for the same lab).
#include <gtest/gtest.h>

#include <cmath>

#include "tools/qdb/DemoNuclides.h"
#include "tools/qdb/DemoSpectra.h"

using namespace qdbtool::demo;

namespace {

TEST(QdbDemoSpectra, FindsTheLinesWithTheirAreasAndWidths) {
    DetectorModel det;
    const double g2 = det.gain * det.gain;
    const double fwhmA = (det.fwhmA + det.fwhmB * det.offset) / g2, fwhmB = det.fwhmB / det.gain;
    std::vector<Emission> lines;
    for (const GammaLine& l : NuclideBySymbol("Eu-152").lines)
        lines.push_back({l.energy, 4000.0 * l.intensity});
    const auto counts = GenerateSpectrum(det, lines, 1.0, 11);
    const auto peaks = SearchPeaks(counts, fwhmA, fwhmB, 6.0, 40);
    ASSERT_FALSE(peaks.empty());
    for (size_t i = 1; i < peaks.size(); ++i) EXPECT_LT(peaks[i - 1].pos, peaks[i].pos);

    for (const Emission& e : lines) {
        const double ch = det.Channel(e.energy);
        const FoundPeak* best = nullptr;
        for (const FoundPeak& p : peaks)
            if (!best || std::fabs(p.pos - ch) < std::fabs(best->pos - ch)) best = &p;
        ASSERT_NE(best, nullptr);
        SCOPED_TRACE(e.energy);
        EXPECT_LT(std::fabs(best->pos - ch), 4 * best->posUnc + 0.05);
        // The window holds 99.5 % of the peak; the background step adds a little.
        EXPECT_NEAR(best->area, 0.995 * e.expectedCounts,
                    4 * best->areaUnc + 0.02 * e.expectedCounts);
        const double fwhm = det.FwhmKeV(e.energy) / det.gain;
        EXPECT_NEAR(best->fwhm, fwhm, 0.12 * fwhm);
        EXPECT_GT(best->posUnc, 0);
        EXPECT_GT(best->areaUnc, std::sqrt(best->area) * 0.99);
    }
}

}  // namespace
