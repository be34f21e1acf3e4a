// The spectrum window driven headless by simulated mouse and keys: a left drag zooms, arrow keys
// and a right drag pan without leaving the spectra, Home shows everything, L toggles log; the
// readout gives every overlaid spectrum's counts at its own channel; resting on a peak mark shows
// the peak's fit values and nuclide.
#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

#include "quantora/base/Format.h"
#include "quantora/plots/SpectrumView.h"

namespace {

using namespace quantora::plots;
using quantora::Format;

// 1000 channels whose counts are `base` plus the channel number, so a count names its channel;
// energy = offset + 0.5 keV per channel.
SpectrumSeries Ramp(const char* name, double base, double offset) {
    SpectrumSeries s;
    s.name = name;
    for (int i = 0; i < 1000; ++i) s.counts.push_back(base + i);
    s.energyOf = [offset](double ch) { return offset + 0.5 * ch; };
    s.channelOf = [offset](double e) { return (e - offset) / 0.5; };
    return s;
}

TEST(SpectrumWindow, ZoomPanReadoutAndPeakValues) {
    std::vector<SpectrumSeries> spectra = {Ramp("first", 100000, 0), Ramp("second", 200000, 10)};
    PeakMark peak;
    peak.channel = 400, peak.channelUnc = 0.02, peak.energy = 200, peak.energyUnc = 0.01;
    peak.area = 5e4, peak.areaUnc = 300, peak.fwhm = 3.2, peak.fwhmUnc = 0.1, peak.fwhmKeV = 1.6;
    peak.height = 1.4e4, peak.heightUnc = 90, peak.background = 2500, peak.nuclide = "Cs-137";
    peak.values = {"decision_threshold=12.5", "line_energy=661.657"};
    spectra[0].peaks = {peak};
    spectra[0].counts[400] = 4e5;

    SpectrumView view(spectra, false);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.repaint();
    ASSERT_TRUE(view.EnergyAxis());
    const auto full = view.XRange();
    EXPECT_DOUBLE_EQ(full.first, -0.25);
    EXPECT_DOUBLE_EQ(full.second, 509.75);
    auto at = [&](double keV) {
        const Panel& p = view.Layout().panel;
        return QPoint(static_cast<int>(std::lround(p.x.Map(keV))),
                      static_cast<int>(std::lround(p.rect.center().y())));
    };
    auto expectRange = [&](double lo, double hi, const char* after) {
        // Within the width of a pixel of the range before the step.
        const double tolerance = (full.second - full.first) / view.Layout().panel.rect.width();
        EXPECT_NEAR(view.XRange().first, lo, tolerance) << after;
        EXPECT_NEAR(view.XRange().second, hi, tolerance) << after;
    };

    QTest::mousePress(&view, Qt::LeftButton, {}, at(100));
    QTest::mouseMove(&view, at(300));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, at(300));
    expectRange(100, 300, "left drag");
    QTest::keyClick(&view, Qt::Key_Right);
    expectRange(120, 320, "right arrow");
    QTest::keyClick(&view, Qt::Key_Left);
    QTest::keyClick(&view, Qt::Key_Left);
    expectRange(80, 280, "left arrow twice");
    QTest::mousePress(&view, Qt::RightButton, {}, at(200));
    QTest::mouseMove(&view, at(250));
    QTest::mouseRelease(&view, Qt::RightButton, {}, at(250));
    expectRange(30, 230, "right drag");
    for (int i = 0; i < 20; ++i) QTest::keyClick(&view, Qt::Key_Left);
    expectRange(full.first, full.first + 200, "panning to the start");
    QTest::keyClick(&view, Qt::Key_Home);
    expectRange(full.first, full.second, "Home");
    QTest::keyClick(&view, Qt::Key_L);
    EXPECT_TRUE(view.LogY());

    // Every spectrum's counts, each at its own channel of the energy under the cursor.
    QTest::mouseMove(&view, at(150));
    const double keV = view.Layout().panel.x.Inverse(at(150).x());
    const std::string readout = view.Readout().toStdString();
    for (auto [name, base, offset] : {std::tuple("first", 100000, 0), {"second", 200000, 10}}) {
        const long ch = std::lround((keV - offset) / 0.5);
        EXPECT_NE(readout.find(Format("%s: channel", name)), std::string::npos) << readout;
        EXPECT_NE(readout.find(Format("counts %ld", base + ch)), std::string::npos) << readout;
    }

    // The peak's mark tells everything about the peak; away from it, nothing.
    ASSERT_EQ(view.Layout().marks.size(), 1u);
    QTest::mouseMove(&view, view.Layout().marks[0].rect.center().toPoint());
    const std::string tip = view.HoverText().toStdString();
    for (const char* says :
         {"nuclide Cs-137", "channel 400.00 +- 0.02", "energy 200.000 +- 0.010 keV",
          "area 50000 +- 300", "FWHM 3.20 +- 0.10 channels (1.600 keV)",
          "height 14000.0 +- 90.0 counts", "continuum 2500 counts", "decision threshold 12.5",
          "line energy 661.657"})
        EXPECT_NE(tip.find(says), std::string::npos) << "no '" << says << "' in\n" << tip;
    QTest::mouseMove(&view, at(450));
    EXPECT_TRUE(view.HoverText().isEmpty());
}

TEST(SpectrumWindow, ReadoutOfOneSpectrumHasNoSeriesName) {
    SpectrumView view({Ramp("only", 100000, 0)}, false);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.repaint();
    const Panel& p = view.Layout().panel;
    const QPoint at(static_cast<int>(std::lround(p.x.Map(150))),
                    static_cast<int>(std::lround(p.rect.center().y())));
    QTest::mouseMove(&view, at);
    const double keV = p.x.Inverse(at.x());
    EXPECT_EQ(view.Readout().toStdString(),
              Format("energy %.2f keV   channel %.1f, counts %ld", keV, keV / 0.5,
                     100000 + std::lround(keV / 0.5)));
}

}  // namespace
