// The spectrum window driven offscreen by simulated wheel, drag, key and hover input.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWheelEvent>

#include "quantora/plots/SpectrumView.h"

namespace {

using namespace quantora::plots;

void Wheel(QWidget& w, QPointF at, int notches) {
    QWheelEvent e(at, w.mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&w, &e);
}

TEST(SpectrumView, WheelDragKeysReadoutAndHover) {
    SpectrumSeries s;
    s.name = "view";
    s.counts.assign(4096, 50.0);
    s.counts[1765] = 5000;
    s.energyOf = [](double ch) { return 0.36 + 0.375 * ch; };
    s.channelOf = [](double e) { return (e - 0.36) / 0.375; };
    s.peaks.push_back({1765.0, 0.05, 662.235, 0.03, 4900, 80, 3.1, 0.1, "Cs-137"});
    SpectrumView view({s}, false);
    view.resize(900, 560);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    view.repaint();
    ASSERT_TRUE(view.EnergyAxis());
    const auto full = view.XRange();
    const Axis& x = view.Layout().panel.x;
    const QPointF mid = view.Layout().panel.rect.center();

    // Wheel towards the screen: narrower by the zoom factor, the energy under the cursor stays.
    const double under = x.Inverse(mid.x() + 100);
    Wheel(view, mid + QPointF(100, 0), 2);
    auto [lo, hi] = view.XRange();
    EXPECT_NEAR(hi - lo, (full.second - full.first) * 0.64, 1e-6 * full.second);
    EXPECT_NEAR(view.Layout().panel.x.Map(under), mid.x() + 100, 0.5);
    // Away from the screen, far: never beyond the whole spectrum.
    Wheel(view, mid, -30);
    EXPECT_EQ(view.XRange(), full);

    // Drag zooms to the dragged range; L toggles the count axis, Home shows everything.
    const Axis before = view.Layout().panel.x;
    const QPoint a(static_cast<int>(mid.x()) - 150, static_cast<int>(mid.y()));
    const QPoint b = a + QPoint(120, 0);
    QTest::mousePress(&view, Qt::LeftButton, {}, a);
    QTest::mouseMove(&view, b);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, b);
    std::tie(lo, hi) = view.XRange();
    EXPECT_NEAR(lo, before.Inverse(a.x()), 1e-6 * full.second);
    EXPECT_NEAR(hi, before.Inverse(b.x()), 1e-6 * full.second);
    QTest::keyClick(&view, Qt::Key_L);
    EXPECT_TRUE(view.Layout().panel.y.Log());
    QTest::keyClick(&view, Qt::Key_Home);
    EXPECT_EQ(view.XRange(), full);

    // The cursor readout, and the fit values of the peak under the cursor.
    const Axis& now = view.Layout().panel.x;
    const int px = static_cast<int>(now.Map(s.energyOf(1000)));
    QTest::mouseMove(&view, QPoint(px, static_cast<int>(mid.y())));
    const QString channel = QString("channel %1").arg(s.channelOf(now.Inverse(px)), 0, 'f', 1);
    EXPECT_TRUE(view.Readout().contains(channel)) << view.Readout().toStdString();
    EXPECT_TRUE(view.HoverText().isEmpty());
    ASSERT_EQ(view.Layout().marks.size(), 1u);
    QTest::mouseMove(&view, view.Layout().marks[0].rect.center().toPoint());
    EXPECT_TRUE(view.HoverText().contains("energy 662.235 +- 0.030 keV"))
        << view.HoverText().toStdString();
    EXPECT_TRUE(view.HoverText().contains("Cs-137"));
}

}  // namespace
