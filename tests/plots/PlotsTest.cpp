// Plots checked where it matters, in their pixels: peak marks where the axis puts their channel
// (also in a range, and per overlaid spectrum in its own colour), a one-channel spike surviving
// decimation, zeros on a log axis, room for labels only when there are any; calibration points
// and residuals where their panels put them; clear errors; qdb plot on the demo lab writing SVG
// that parses, with efficiencies that reproduce the stored fit residuals and their chi-square.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QXmlStreamReader>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/plots/Axis.h"
#include "quantora/plots/CalibrationPlots.h"
#include "quantora/plots/LabPlotData.h"
#include "quantora/plots/PlotFile.h"
#include "quantora/plots/PlotFrame.h"
#include "quantora/plots/RangeText.h"
#include "quantora/plots/SpectrumPlot.h"
#include "tests/qdb/QdbRun.h"

namespace {

namespace fs = std::filesystem;
using namespace quantora::plots;
using quantora::Format;

SpectrumSeries Synthetic(int channels, double background, std::vector<int> zeros = {},
                         std::vector<std::pair<int, double>> spikes = {}) {
    SpectrumSeries s;
    s.name = "synthetic";
    s.liveTime = 100;
    s.counts.assign(channels, background);
    for (int z : zeros) s.counts[z] = 0;
    for (auto [ch, v] : spikes) {
        s.counts[ch] = v;
        PeakMark m;
        m.channel = ch, m.channelUnc = 0.1, m.area = v, m.areaUnc = 1, m.fwhm = 1.5,
        m.fwhmUnc = 0.1;
        s.peaks.push_back(m);
    }
    s.energyOf = [](double ch) { return 2.0 + 0.25 * ch; };
    s.channelOf = [](double e) { return (e - 2.0) / 0.25; };
    return s;
}

struct Rendered {
    QImage image;
    SpectrumLayout layout;
};

Rendered Render(const std::vector<SpectrumSeries>& s, int w, int h, SpectrumOptions opt) {
    opt.antialias = false;
    Rendered r{QImage(w, h, QImage::Format_RGB32), {}};
    QPainter p(&r.image);
    r.layout = DrawSpectrum(p, QRectF(0, 0, w, h), s, opt);
    return r;
}

SpectrumOptions Options(bool log, bool energy, double lo = NAN, double hi = NAN) {
    SpectrumOptions opt;
    opt.logY = log, opt.energyAxis = energy, opt.xLo = lo, opt.xHi = hi;
    return opt;
}

// Columns (and the topmost row per column) that hold a pixel of exactly `color`.
std::map<int, int> ColumnsOf(const QImage& img, const QColor& color) {
    std::map<int, int> top;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == color.rgb() && !top.count(x)) top[x] = y;
    return top;
}

TEST(SpectrumPixels, MarksSpikesAndZerosLandWhereTheAxesSay) {
    struct Case {
        int channels, w, h;
        bool log, energy;
        std::vector<int> zeros;
        std::vector<std::pair<int, double>> spikes;
        double lo = NAN, hi = NAN;  // x range in axis units
    };
    const Case cases[] = {
        {16384, 800, 500, true, false, {}, {{9001, 1e5}}},
        {16384, 1600, 1000, false, true, {}, {{9001, 1e5}, {200, 3e4}}},
        {16384, 800, 500, false, false, {}, {{16383, 500}}},
        {4096, 800, 500, true, true, {0, 1, 2, 1000, 1001, 4095}, {{1500, 800}, {3000, 50}}},
        {1024, 1600, 1000, true, false, {0, 511}, {{300, 9e3}, {700, 2e3}}},
        {64, 800, 500, true, true, {5, 6, 7}, {{20, 400}, {40, 90}}},  // fewer channels than pixels
        {200, 800, 500, true, false, {}, {}},
        // A range: marks only for the spikes inside it (energy 2 + channel / 4 keV).
        {16384, 800, 500, true, true, {}, {{100, 900}, {180, 300}, {9001, 1e5}}, 20, 60},
        {4096, 800, 500, false, false, {}, {{10, 50}, {3000, 80}}, 2500.5, 3100},
        // Decimated in a range, with a spike left of it that must not reach its first column.
        {16384, 400, 300, false, false, {}, {{50, 1e5}, {9001, 300}}, 2000, 16000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Format("%d channels %dx%d log=%d energy=%d range %g:%g", c.channels, c.w, c.h,
                            c.log, c.energy, c.lo, c.hi));
        SpectrumSeries s = Synthetic(c.channels, c.log ? 0 : 10, c.zeros, c.spikes);
        if (c.spikes.empty()) s.counts.assign(c.channels, 0.0);  // nothing but zeros
        const SpectrumOptions opt = Options(c.log, c.energy, c.lo, c.hi);
        const Rendered r = Render({s}, c.w, c.h, opt);
        const Panel& panel = r.layout.panel;
        EXPECT_GT(panel.y.Lo(), c.log ? 0.0 : -1.0);

        // Every pixel of the trace lies inside the data rectangle, none above the highest count
        // in view.
        double highest = c.log ? 0 : 10;
        for (auto [ch, v] : c.spikes) {
            const double x = panel.x.Map(AxisValueOfChannel(s, opt, ch));
            if (x >= panel.rect.left() && x <= panel.rect.right()) highest = std::max(highest, v);
        }
        const auto trace = ColumnsOf(r.image, SeriesColor(0));
        ASSERT_FALSE(trace.empty());
        for (auto [x, y] : trace) {
            EXPECT_GE(x, panel.rect.left() - 1);
            EXPECT_LE(x, panel.rect.right() + 1);
            EXPECT_GE(y, std::max(panel.rect.top(), panel.y.Map(highest)) - 2) << "column " << x;
        }
        // Each spike's mark sits in the column its channel maps to, and the trace reaches the
        // spike's height there; no mark stands anywhere else.
        const auto marks = ColumnsOf(r.image, kPeakMarkColor);
        std::set<int> expected;
        size_t inRange = 0;
        for (auto [ch, v] : c.spikes) {
            const double x = panel.x.Map(AxisValueOfChannel(s, opt, ch));
            if (x < panel.rect.left() || x > panel.rect.right()) continue;
            ++inRange;
            const int col = static_cast<int>(std::floor(x));
            expected.insert(col);
            EXPECT_TRUE(marks.count(col)) << "no mark at x " << x << " for channel " << ch;
            int best = c.h;
            for (int dx = -1; dx <= 1; ++dx)
                if (trace.count(col + dx)) best = std::min(best, trace.at(col + dx));
            EXPECT_NEAR(best, panel.y.Map(v), 2.0) << "spike at channel " << ch << " lost";
        }
        for (auto [x, y] : marks)
            EXPECT_TRUE(expected.count(x) || expected.count(x - 1) || expected.count(x + 1))
                << "stray mark at x " << x;
        EXPECT_EQ(r.layout.marks.size(), inRange);
    }
}

// Peak labels need room above the data: without a peak in view the data reach to the top of the
// frame. Zoomed into a crowded stretch, every peak keeps its label.
TEST(SpectrumPixels, LabelsAndHeadroom) {
    std::vector<std::pair<int, double>> crowded;
    for (int ch = 100; ch < 220; ch += 8) crowded.push_back({ch, 2000.0 + 37 * ch});
    struct Case {
        const char* what;
        std::vector<std::pair<int, double>> spikes;
        SpectrumOptions opt;
        bool allLabelled, headroom;
    };
    const Case cases[] = {
        {"crowded, whole spectrum", crowded, Options(true, true), false, true},
        {"crowded, zoomed", crowded, Options(true, true, 20, 60), true, true},
        {"crowded, linear zoomed", crowded, Options(false, false, 90, 230), true, true},
        {"no peaks, log", {}, Options(true, false), true, false},
        {"no peaks, linear", {}, Options(false, true), true, false},
        {"peaks out of range, log", crowded, Options(true, false, 1000, 16000), true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpectrumSeries s = Synthetic(16384, 10, {}, c.spikes);
        s.counts[12000] = 5e4;  // the highest count, away from the peaks
        const Rendered r = Render({s}, 800, 500, c.opt);
        const QRectF& rect = r.layout.panel.rect;
        size_t labelled = 0;
        for (const SpectrumLayout::MarkSpot& m : r.layout.marks) labelled += m.labelled;
        EXPECT_EQ(labelled == r.layout.marks.size(), c.allLabelled) << labelled;
        int top = r.image.height();
        for (auto [x, y] : ColumnsOf(r.image, SeriesColor(0))) top = std::min(top, y);
        const double share = (top - rect.top()) / rect.height();
        if (c.headroom)
            EXPECT_GT(share, 0.2);
        else
            EXPECT_LT(share, 0.06);
    }
}

// Overlaid spectra: colours that never repeat, and each spectrum's peaks marked in a colour of
// its own, over its own peaks only.
TEST(SpectrumPixels, OverlaysKeepTheirColoursAndMarks) {
    std::vector<QColor> palette;
    for (int i = 0; i < 64; ++i) palette.push_back(SeriesColor(i));
    for (size_t i = 0; i < palette.size(); ++i)
        for (size_t j = 0; j < i; ++j) {
            const double d = std::hypot(palette[i].red() - palette[j].red(),
                                        palette[i].green() - palette[j].green(),
                                        palette[i].blue() - palette[j].blue());
            EXPECT_GT(d, i < 12 ? 50.0 : 0.0) << "series " << j << " and " << i;
        }

    constexpr int kSeries = 8;
    std::vector<SpectrumSeries> spectra;
    for (int k = 0; k < kSeries; ++k) {
        spectra.push_back(Synthetic(2048, 5 + k, {}, {{100 + 150 * k, 500.0 + 50 * k}}));
        spectra.back().name = Format("spectrum %d", k);
    }
    const SpectrumOptions opt = Options(false, false);
    const Rendered r = Render(spectra, 1600, 1000, opt);
    const Panel& panel = r.layout.panel;
    ASSERT_EQ(r.layout.marks.size(), static_cast<size_t>(kSeries));
    EXPECT_TRUE(ColumnsOf(r.image, kPeakMarkColor).empty());
    for (int k = 0; k < kSeries; ++k) {
        SCOPED_TRACE(Format("series %d", k));
        EXPECT_FALSE(ColumnsOf(r.image, SeriesColor(k)).empty());
        const auto marks = ColumnsOf(r.image, PeakMarkColor(k, spectra.size()));
        ASSERT_FALSE(marks.empty());
        const double x = panel.x.Map(spectra[k].peaks[0].channel);
        for (auto [col, y] : marks) EXPECT_NEAR(col + 0.5, x, 2.0);
    }
}

// Whether a pixel of exactly `color` lies within a pixel of `at`.
bool InkNear(const QImage& img, QPointF at, const QColor& color) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QPoint p(static_cast<int>(std::floor(at.x())) + dx,
                           static_cast<int>(std::floor(at.y())) + dy);
            if (img.valid(p) && img.pixel(p) == color.rgb()) return true;
        }
    return false;
}

// Efficiency and FWHM plots: every point (and its residual) where its panel's axes put it, in
// the units the plot claims; the efficiency's 1-sigma band as tall as the curve's relative
// uncertainty.
TEST(CalibrationPixels, PointsResidualsAndBands) {
    const std::vector<double> energies = {59.5, 122, 245, 344, 662, 779, 964, 1112, 1408};
    std::vector<EffPoint> effPoints;
    std::vector<double> eff, effUnc;
    for (size_t i = 0; i < energies.size(); ++i) {
        const double e = energies[i];
        eff.push_back(0.04 * std::pow(e / 100, -0.8) * (i % 2 ? 1.03 : 0.97));
        effUnc.push_back(eff.back() * 0.025);
        effPoints.push_back({e, eff.back(), effUnc.back()});
    }
    EffCalibration effCal;
    effCal.Fit(energies.data(), eff.data(), effUnc.data(), static_cast<int>(energies.size()), 2,
               true);

    // Channel, FWHM and its uncertainty; the last point's error bar reaches above the curve.
    const std::vector<std::array<double, 3>> widths = {
        {200, 2.1, 0.1}, {900, 2.6, 0.1}, {1800, 3.1, 0.1}, {2600, 3.5, 0.1}, {3900, 4.1, 1.5}};
    FwhmCalibrClass fwhm;
    for (size_t i = 0; i < widths.size(); ++i)
        fwhm.Set(static_cast<int>(i), widths[i][0], widths[i][1], 0.05, widths[i][2], -1);
    ECalibration ecal;
    const double lines[][2] = {{240, 122.06}, {1325, 661.66}, {2346, 1173.2}, {2666, 1332.5}};
    for (int i = 0; i < 4; ++i)
        ecal.LinearPart.Set(i, lines[i][0], lines[i][1], 0.1, 0.01, -1, "", true);
    ecal.LinearPart.CalcCoeff();
    ASSERT_TRUE(ecal.LinearPart.IsValid());

    struct Spot {
        size_t panel;
        double x, y;
        double barTop = NAN;  // top of the point's error bar, which must be in view
    };
    struct Case {
        const char* what;
        std::function<CalibrationLayout(QPainter&, const QRectF&)> draw;
        std::vector<Spot> spots;
        double bandAt = 0;  // energy where the residual panel's band is measured; 0: none
    };
    std::vector<Case> cases(2);
    cases[0] = {"efficiency",
                [&](QPainter& p, const QRectF& r) {
                    return DrawEfficiency(p, r, effCal, effPoints, "eff");
                },
                {},
                420};
    for (const EffPoint& pt : effPoints) {
        const double fit = effCal.Efficiency(pt.energy);
        cases[0].spots.push_back({0, pt.energy, pt.eff});
        cases[0].spots.push_back({1, pt.energy, 100 * (pt.eff - fit) / fit});
    }
    cases[1] = {"FWHM in keV",
                [&](QPainter& p, const QRectF& r) {
                    return DrawFwhmCalibration(p, r, fwhm, "fwhm", &ecal);
                },
                {},
                0};
    double a, b;
    ecal.LinearPart.GetParams(&a, &b, nullptr, nullptr, nullptr);
    for (auto [ch, w, u] : widths) cases[1].spots.push_back({0, a + b * ch, b * w, b * (w + u)});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QImage img(1200, 750, QImage::Format_RGB32);
        QPainter p(&img);
        const CalibrationLayout layout = c.draw(p, QRectF(0, 0, 1200, 750));
        p.end();
        for (const Spot& s : c.spots) {
            ASSERT_LT(s.panel, layout.panels.size());
            EXPECT_TRUE(InkNear(img, layout.panels[s.panel].At(s.x, s.y), SeriesColor(0)))
                << "no point at " << s.x << ", " << s.y << " in panel " << s.panel;
            if (!std::isnan(s.barTop)) {
                EXPECT_GE(layout.panels[s.panel].y.Map(s.barTop),
                          layout.panels[s.panel].rect.top() - 1)
                    << "error bar cut at " << s.x;
            }
        }
        if (c.bandAt <= 0) continue;
        // The band is the fit colour at its alpha over white, in a column between the curve's
        // relative uncertainty above and below zero, and nowhere else in that column.
        const Panel& res = layout.panels.at(1);
        const double half = 100 * effCal.EfficiencyUnc(c.bandAt) / effCal.Efficiency(c.bandAt);
        const double top = res.y.Map(half), bottom = res.y.Map(-half);
        EXPECT_GT(bottom - top, 10) << "a band too thin to see";
        const QColor fit = SeriesColor(1);
        auto banded = [&](QRgb px) {
            auto near = [](int v, int c) { return std::abs(v - (c * 90 + 255 * 165) / 255) <= 4; };
            return near(qRed(px), fit.red()) && near(qGreen(px), fit.green()) &&
                   near(qBlue(px), fit.blue());
        };
        const int x = static_cast<int>(res.x.Map(c.bandAt));
        int inside = 0, outside = 0;
        for (int y = static_cast<int>(res.rect.top()); y < res.rect.bottom(); ++y) {
            if (!banded(img.pixel(x, y))) continue;
            (y >= top - 2 && y <= bottom + 2 ? inside : outside)++;
        }
        EXPECT_GT(inside, 0.6 * (bottom - top));
        EXPECT_EQ(outside, 0);
    }
    // Residuals all zero (points on the line, without uncertainties) keep zero inside their panel.
    ECalibration exact;
    for (int i = 1; i <= 3; ++i)
        exact.LinearPart.Set(i - 1, 100.0 * i, 10.0 * i, 0, 0, -1, "", true);
    exact.LinearPart.CalcCoeff();
    QImage img(800, 500, QImage::Format_RGB32);
    QPainter p(&img);
    const Axis flat = DrawECalibration(p, QRectF(0, 0, 800, 500), exact, "exact").panels.at(1).y;
    EXPECT_LT(flat.Lo(), 0);
    EXPECT_GT(flat.Hi(), 0);
}

TEST(Plots, BadInputGivesAClearError) {
    quantora::plots::HeadlessGui gui;
    const std::string dir = fs::temp_directory_path() / Format("plots-%d-", getpid());
    SpectrumSeries uncalibrated = Synthetic(100, 5), noLiveTime = Synthetic(100, 5);
    uncalibrated.energyOf = nullptr;
    noLiveTime.liveTime = 0;
    SpectrumOptions energy, normalise;
    energy.energyAxis = true;
    normalise.normalise = true;
    const PlotDrawing nothing = [](QPainter&, const QRectF&) {};
    using P = QPainter&;
    using R = const QRectF&;
    // Parsing a range text, as a drawing that draws nothing.
    auto range = [](const char* text) -> PlotDrawing {
        return [text](P, R) {
            double lo, hi;
            ParsePlotRange(text, &lo, &hi);
        };
    };
    const std::pair<PlotDrawing, const char*> cases[] = {
        {[](P p, R r) { DrawSpectrum(p, r, {Synthetic(0, 0)}, {}); },
         "'synthetic' has no channels"},
        {[&](P p, R r) { DrawSpectrum(p, r, {uncalibrated}, energy); },
         "has no energy calibration"},
        {[&](P p, R r) { DrawSpectrum(p, r, {noLiveTime}, normalise); }, "has no live time"},
        {[](P p, R r) { DrawSpectrum(p, r, {Synthetic(100, 5)}, Options(false, false, 50, 10)); },
         "range 50:10 is empty"},
        {[](P p, R r) { DrawSpectrum(p, r, {Synthetic(100, 5)}, Options(false, true, 30, 90)); },
         "range 30:90 keV lies outside the spectrum (1.875 to 26.875 keV)"},
        {[](P p, R r) { DrawSpectrum(p, r, {Synthetic(100, 5)}, Options(false, false, 0, NAN)); },
         "is not a pair of numbers"},
        {range("20-400"), "malformed range '20-400'"},
        {range("1:inf"), "malformed range"},
        {range("400:20"), "'400:20' is empty"},
        {[](P p, R r) { DrawFwhmCalibration(p, r, FwhmCalibrClass(), "t"); },
         "FWHM calibration is not valid"},
        {[&](P, R) { SavePlot(dir + "x.pdf", 800, 500, nothing); }, "unknown picture format"},
        {[&](P, R) { SavePlot(dir + "x.png", 800, 50000, nothing); }, "out of range"},
        {[&](P, R) { SavePlot("/nonexistent/dir/x.png", 800, 500, nothing); }, "cannot write"},
    };
    for (const auto& [draw, message] : cases) {
        QImage img(400, 300, QImage::Format_RGB32);
        QPainter p(&img);
        try {
            draw(p, QRectF(0, 0, 400, 300));
            ADD_FAILURE() << "no error, expected: " << message;
        } catch (const Exception& e) {
            EXPECT_NE(e.Message.find(message), std::string::npos) << e.Message;
        }
    }
    EXPECT_FALSE(fs::exists(dir + "x.pdf"));
}

// Major tick labels, powers of ten written as on paper.
TEST(Plots, AxisLabels) {
    // Minor ticks divide a major step of 2 in quarters, one of 1 or 5 in fifths.
    const struct {
        double lo, hi;
        bool log;
        std::vector<std::string> labels;
        int minorPerStep;  // minor ticks between two labels; 0: not checked
    } cases[] = {{0.5, 2e3, true, {"1", "10", "100", "1000"}, 0},
                 {1e-4, 1, true, {"10⁻⁴", "10⁻³", "10⁻²", "10⁻¹", "10⁰"}, 0},
                 {1, 1e6, true, {"10⁰", "10¹", "10²", "10³", "10⁴", "10⁵", "10⁶"}, 0},
                 {0, 10, false, {"0", "2", "4", "6", "8", "10"}, 3},
                 {0, 3.5, false, {"0", "1", "2", "3"}, 4},
                 {0, 25, false, {"0", "5", "10", "15", "20", "25"}, 4},
                 {-0.02, 0.07, false, {"-0.02", "0.00", "0.02", "0.04", "0.06"}, 3}};
    for (const auto& c : cases) {
        std::vector<std::string> labels;
        int minors = 0, between = -1;
        for (const quantora::plots::Tick& t : quantora::plots::Axis(c.lo, c.hi, c.log).Ticks(6)) {
            if (!t.major) {
                ++minors;
                continue;
            }
            if (labels.size() == 1) between = minors;
            labels.push_back(t.label);
            minors = 0;
        }
        EXPECT_EQ(labels, c.labels) << c.lo << ".." << c.hi;
        if (c.minorPerStep > 0) {
            EXPECT_EQ(between, c.minorPerStep) << c.lo << ".." << c.hi;
        }
    }
}

// A white image with a panel of 0..10 on both axes placed on it (with room for axis labels when
// `labelled`), drawn on by `draw`; the panel is handed back through `out` when given.
QImage Framed(int w, int h, bool labelled, Panel* out,
              const std::function<void(PlotCanvas&, Panel&)>& draw) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    PlotCanvas canvas(p, QRectF(0, 0, w, h), false);
    Panel panel{{}, Axis(0, 10, false), Axis(0, 10, false)};
    canvas.PlacePanel(panel, QRectF(0, 0, w, h), labelled, labelled);
    draw(canvas, panel);
    p.end();
    if (out) *out = panel;
    return img;
}

// The frame is drawn round the data rectangle with its x labels apart; a legend box lands in the
// corner it is given.
TEST(Plots, FrameAndLegendCorners) {
    for (Corner corner :
         {Corner::TopLeft, Corner::TopRight, Corner::BottomLeft, Corner::BottomRight}) {
        Panel panel;
        const QImage img = Framed(400, 300, true, &panel, [&](PlotCanvas& canvas, Panel& pl) {
            canvas.DrawAxes(pl, "x", "y", true);
            canvas.DrawLegend(pl, {{"legend", Qt::blue}}, corner);
        });
        const QRectF& r = panel.rect;
        const auto frame = ColumnsOf(img, QColor(30, 30, 30));
        EXPECT_NEAR(frame.at(static_cast<int>(r.center().x())), r.top(), 1.0);
        const auto legend = ColumnsOf(img, QColor(160, 160, 160));
        ASSERT_FALSE(legend.empty());
        const bool left = corner == Corner::TopLeft || corner == Corner::BottomLeft;
        const bool top = corner == Corner::TopLeft || corner == Corner::TopRight;
        EXPECT_EQ(legend.begin()->first < r.center().x(), left) << static_cast<int>(corner);
        EXPECT_EQ(legend.begin()->second < r.center().y(), top) << static_cast<int>(corner);
        // Below the ticks, within the frame's width: the labels 2, 4, 6 and 8 apart, and the title.
        int inked = 0;
        for (int x = static_cast<int>(r.left()) + 5, inside = 0; x < r.right() - 5; ++x) {
            int ink = 0;
            for (int y = static_cast<int>(r.bottom()) + 5; y < img.height(); ++y)
                ink |= img.pixel(x, y) != QColor(Qt::white).rgb();
            inked += ink && !inside;
            inside = ink;
        }
        EXPECT_GE(inked, 5) << static_cast<int>(corner);
    }
    // A legend's swatches: a line spans the swatch, a marker is a dot, a band a block.
    {
        const QColor line(200, 0, 0), marker(0, 160, 0), band(0, 0, 220);
        const QImage img = Framed(400, 300, true, nullptr, [&](PlotCanvas& canvas, Panel& pl) {
            canvas.DrawLegend(pl,
                              {{"line", line, LegendEntry::Line},
                               {"marker", marker, LegendEntry::Marker},
                               {"band", band, LegendEntry::Band}},
                              Corner::TopLeft);
        });
        const auto extent = [&](const QColor& c) {
            int x0 = img.width(), x1 = -1, y0 = img.height(), y1 = -1;
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (img.pixel(x, y) == c.rgb())
                        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y),
                        y1 = std::max(y1, y);
            return std::pair{x1 - x0 + 1, y1 - y0 + 1};
        };
        const auto [lw, lh] = extent(line);
        const auto [mw, mh] = extent(marker);
        const auto [bw, bh] = extent(band);
        EXPECT_GT(lw, 2 * mw);  // the line is wider than the dot
        EXPECT_GT(mh, lh);      // and thinner
        EXPECT_GE(bw, lw - 2);  // the band as wide as the line, and thicker
        EXPECT_GT(bh, lh);
    }
    // A note of no lines draws nothing; one line draws its box.
    for (const QStringList& note : {QStringList{}, QStringList{"note"}}) {
        const QImage img = Framed(200, 150, false, nullptr, [&](PlotCanvas& canvas, Panel& pl) {
            canvas.DrawNote(pl, note);
        });
        bool inked = false;
        for (int y = 0; y < img.height() && !inked; ++y)
            for (int x = 0; x < img.width() && !inked; ++x)
                inked = img.pixel(x, y) != QColor(Qt::white).rgb();
        EXPECT_EQ(inked, !note.isEmpty()) << note.size();
    }
}

TEST(QdbPlot, DemoLabPicturesAndEfficiencyPoints) {
    using quantora::test::Quoted;
    using quantora::test::RunQdb;
    const quantora::test::ScratchDir scratch;
    const fs::path& dir = scratch.path;
    const std::string db = (dir / "lab.db").string(), d = dir.string() + "/";
    const auto demo = RunQdb("demo " + Quoted(db));
    ASSERT_EQ(demo.code, 0) << demo.out;
    EXPECT_GT(QImage(QString::fromStdString(d + "lab-efficiency.png")).width(), 0);
    const struct {
        std::string args;
        int code;
        const char* says;
    } runs[] = {
        {"spectrum " + Quoted(db) + " 7,8 " + Quoted(d + "s.svg") + " --log --energy --library 1",
         0, "wrote"},
        {"ecal " + Quoted(db) + " --spectrum 7 " + Quoted(d + "e.png") + " --size 800x500", 0,
         "wrote"},
        {"fwhm " + Quoted(db) + " --spectrum 7 " + Quoted(d + "f.svg"), 0, "wrote"},
        {"eff " + Quoted(db) + " --analysis 2 " + Quoted(d + "a.svg"), 0, "wrote"},
        {"eff " + Quoted(db) + " --analysis 1 " + Quoted(d + "a1.svg"), 0, "wrote"},
        {"spectrum " + Quoted(db) + " 7,8 " + Quoted(d + "r.png") + " --energy --range 20:400", 0,
         "wrote"},
        {"spectrum " + Quoted(db) + " 7,999 " + Quoted(d + "m.png"), 3,
         "no spectrum with SPECTRUM_ID = 999"},
        {"spectrum " + Quoted(db) + " 7 " + Quoted(d + "m.png") + " --range 400", 1,
         "malformed range '400'"},
        {"spectrum " + Quoted(db) + " 7 " + Quoted(d + "m.png") + " --range 1e7:2e7", 1,
         "lies outside the spectrum"},
    };
    for (const auto& r : runs) quantora::test::ExpectQdb("plot " + r.args, r.code, {r.says});
    EXPECT_FALSE(fs::exists(d + "m.png"));
    // Every picture is parsable SVG or a PNG of the size asked for.
    for (const char* svg : {"s.svg", "f.svg", "a.svg"}) {
        QXmlStreamReader xml(QByteArray::fromStdString(quantora::test::ReadText(d + svg)));
        int elements = 0;
        QString root;
        while (!xml.atEnd())
            if (xml.readNext() == QXmlStreamReader::StartElement && !elements++)
                root = xml.name().toString();
        EXPECT_FALSE(xml.hasError()) << svg << ": " << xml.errorString().toStdString();
        EXPECT_EQ(root, "svg");
        EXPECT_GT(elements, 20) << svg;
    }
    EXPECT_EQ(QImage(QString::fromStdString(d + "e.png")).size(), QSize(800, 500));

    // The efficiencies recomputed from source, line and live time give back the residuals the
    // analysis stored for its points.
    OpenDatabase("plots_demo", "sqlite:" + db);
    const EffAnalysisData a = LoadEffAnalysis("plots_demo", 1);
    TQuery q;
    q.SetDatabaseName("plots_demo");
    q.SetSQL(
        "SELECT R.E, EP.CHI FROM EFFPEAK EP JOIN EFFMEASUREMENT EM ON EM.EFFMEASUREMENT_ID = "
        "EP.EFFMEASUREMENT_ID JOIN RADIATION R ON R.RADIATION_ID = EP.RADIATION_ID WHERE "
        "EM.EFFANALYSIS_ID = 1 ORDER BY R.E");
    size_t i = 0;
    double chi2 = 0;
    for (q.Open(); !q.Eof(); q.Next(), ++i) {
        ASSERT_LT(i, a.points.size());
        const EffPoint& p = a.points[i];
        EXPECT_DOUBLE_EQ(p.energy, q.Fields()[0]->AsFloat());
        EXPECT_NEAR((p.eff - a.cal.Efficiency(p.energy)) / p.effUnc, q.Fields()[1]->AsFloat(),
                    1e-6);
        chi2 += std::pow(q.Fields()[1]->AsFloat(), 2);
    }
    EXPECT_EQ(i, a.points.size());
    EXPECT_GT(i, 5u);
    // The efficiency picture states the chi-square of those residuals and its degrees of freedom.
    const std::string svg = quantora::test::ReadText(d + "a1.svg");
    const size_t at = svg.find("dof = ");
    ASSERT_NE(at, std::string::npos);
    double shown = 0;
    int dof = 0;
    ASSERT_EQ(std::sscanf(svg.c_str() + at, "dof = %lf/%d", &shown, &dof), 2);
    EXPECT_NEAR(shown, chi2, chi2 * 0.006);
    EXPECT_EQ(dof, static_cast<int>(i) - (a.cal.Pol.Degree + 1));
    // Peaks stored without an energy get theirs from the spectrum's calibration; they carry the
    // nuclide and the further values their evaluation stored, and their width in keV.
    q.Close();
    for (const char* sql :
         {"UPDATE PEAK SET E = NULL, PEAKEVALPEAK_ID = 900",
          "INSERT INTO PEAKEVALPEAK (PEAKEVALPEAK_ID, CMT) VALUES (900, 'Cs-137')",
          "INSERT INTO PEAKPARAMVALUE (PEAKPARAMVALUE_ID, PEAKEVALPEAK_ID, CMT) VALUES (901, 900, "
          "'decision_threshold=12.5')"}) {
        q.SetSQL(sql);
        q.ExecSQL();
    }
    const SpectrumSeries s = LoadSpectrumSeries("plots_demo", 7, nullptr);
    ASSERT_FALSE(s.peaks.empty());
    for (const PeakMark& m : s.peaks) {
        EXPECT_NEAR(m.energy, s.energyOf(m.channel), 1e-9);
        EXPECT_NEAR(m.fwhmKeV,
                    s.energyOf(m.channel + m.fwhm / 2) - s.energyOf(m.channel - m.fwhm / 2), 1e-9);
        EXPECT_GT(m.height, 0);
        EXPECT_EQ(m.nuclide, "Cs-137");
        EXPECT_EQ(m.values, std::vector<std::string>{"decision_threshold=12.5"});
    }
    CloseDatabase("plots_demo");
}

}  // namespace
