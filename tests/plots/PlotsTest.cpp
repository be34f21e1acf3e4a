// Plots checked where it matters, in their pixels: peak marks where the axis puts their channel,
// a one-channel spike surviving decimation, zeros on a log axis; clear errors; qdb plot on the
// demo lab writing SVG that parses, with efficiencies that reproduce the stored fit residuals.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QImage>
#include <QXmlStreamReader>
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
        s.peaks.push_back({static_cast<double>(ch), 0.1, 0, 0, v, 1, 1.5, 0.1, ""});
    }
    s.energyOf = [](double ch) { return 2.0 + 0.25 * ch; };
    s.channelOf = [](double e) { return (e - 2.0) / 0.25; };
    return s;
}

struct Rendered {
    QImage image;
    SpectrumLayout layout;
};

Rendered Render(const SpectrumSeries& s, int w, int h, bool log, bool energy) {
    SpectrumOptions opt;
    opt.logY = log, opt.energyAxis = energy, opt.antialias = false;
    Rendered r{QImage(w, h, QImage::Format_RGB32), {}};
    QPainter p(&r.image);
    r.layout = DrawSpectrum(p, QRectF(0, 0, w, h), {s}, opt);
    return r;
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
    };
    const Case cases[] = {
        {16384, 800, 500, true, false, {}, {{9001, 1e5}}},
        {16384, 1600, 1000, false, true, {}, {{9001, 1e5}, {200, 3e4}}},
        {16384, 800, 500, false, false, {}, {{16383, 500}}},
        {4096, 800, 500, true, true, {0, 1, 2, 1000, 1001, 4095}, {{1500, 800}, {3000, 50}}},
        {1024, 1600, 1000, true, false, {0, 511}, {{300, 9e3}, {700, 2e3}}},
        {64, 800, 500, true, true, {5, 6, 7}, {{20, 400}, {40, 90}}},  // fewer channels than pixels
        {200, 800, 500, true, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(
            Format("%d channels %dx%d log=%d energy=%d", c.channels, c.w, c.h, c.log, c.energy));
        SpectrumSeries s = Synthetic(c.channels, c.log ? 0 : 10, c.zeros, c.spikes);
        if (c.spikes.empty()) s.counts.assign(c.channels, 0.0);  // nothing but zeros
        SpectrumOptions opt;
        opt.energyAxis = c.energy;
        const Rendered r = Render(s, c.w, c.h, c.log, c.energy);
        const Panel& panel = r.layout.panel;
        EXPECT_GT(panel.y.Lo(), c.log ? 0.0 : -1.0);

        // Every pixel of the trace lies inside the data rectangle.
        const auto trace = ColumnsOf(r.image, SeriesColor(0));
        ASSERT_FALSE(trace.empty());
        for (auto [x, y] : trace) {
            EXPECT_GE(x, panel.rect.left() - 1);
            EXPECT_LE(x, panel.rect.right() + 1);
            EXPECT_GE(y, panel.rect.top() - 1);
        }
        // Each spike's mark sits in the column its channel maps to, and the trace reaches the
        // spike's height there; no mark stands anywhere else.
        const auto marks = ColumnsOf(r.image, kPeakMarkColor);
        std::set<int> expected;
        for (auto [ch, v] : c.spikes) {
            const double x = panel.x.Map(AxisValueOfChannel(s, opt, ch));
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
        EXPECT_EQ(r.layout.marks.size(), c.spikes.size());
    }
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
    const std::pair<PlotDrawing, const char*> cases[] = {
        {[](P p, R r) { DrawSpectrum(p, r, {Synthetic(0, 0)}, {}); },
         "'synthetic' has no channels"},
        {[&](P p, R r) { DrawSpectrum(p, r, {uncalibrated}, energy); },
         "has no energy calibration"},
        {[&](P p, R r) { DrawSpectrum(p, r, {noLiveTime}, normalise); }, "has no live time"},
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
    const struct {
        double lo, hi;
        bool log;
        std::vector<std::string> labels;
    } cases[] = {{0.5, 2e3, true, {"1", "10", "100", "1000"}},
                 {1e-4, 1, true, {"10⁻⁴", "10⁻³", "10⁻²", "10⁻¹", "10⁰"}},
                 {1, 1e6, true, {"10⁰", "10¹", "10²", "10³", "10⁴", "10⁵", "10⁶"}},
                 {0, 10, false, {"0", "2", "4", "6", "8", "10"}},
                 {0, 3.5, false, {"0", "1", "2", "3"}},
                 {-0.02, 0.07, false, {"-0.02", "0.00", "0.02", "0.04", "0.06"}}};
    for (const auto& c : cases) {
        std::vector<std::string> labels;
        for (const quantora::plots::Tick& t : quantora::plots::Axis(c.lo, c.hi, c.log).Ticks(6))
            if (t.major) labels.push_back(t.label);
        EXPECT_EQ(labels, c.labels) << c.lo << ".." << c.hi;
    }
}

// The frame is drawn round the data rectangle with its x labels apart; a legend box lands in the
// corner it is given.
TEST(Plots, FrameAndLegendCorners) {
    for (Corner corner :
         {Corner::TopLeft, Corner::TopRight, Corner::BottomLeft, Corner::BottomRight}) {
        QImage img(400, 300, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        PlotCanvas canvas(p, QRectF(0, 0, 400, 300), false);
        Panel panel{{}, Axis(0, 10, false), Axis(0, 10, false)};
        canvas.PlacePanel(panel, QRectF(0, 0, 400, 300), true, true);
        canvas.DrawAxes(panel, "x", "y", true);
        canvas.DrawLegend(panel, {{"legend", Qt::blue}}, corner);
        p.end();
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
    // A note of no lines draws nothing; one line draws its box.
    for (const QStringList& note : {QStringList{}, QStringList{"note"}}) {
        QImage img(200, 150, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        PlotCanvas canvas(p, QRectF(0, 0, 200, 150), false);
        Panel panel{{}, Axis(0, 10, false), Axis(0, 10, false)};
        canvas.PlacePanel(panel, QRectF(0, 0, 200, 150), false, false);
        canvas.DrawNote(panel, note);
        p.end();
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
        {"spectrum " + Quoted(db) + " 7,999 " + Quoted(d + "m.png"), 1,
         "no spectrum with SPECTRUM_ID = 999"},
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
    for (q.Open(); !q.Eof(); q.Next(), ++i) {
        ASSERT_LT(i, a.points.size());
        const EffPoint& p = a.points[i];
        EXPECT_DOUBLE_EQ(p.energy, q.Fields()[0]->AsFloat());
        EXPECT_NEAR((p.eff - a.cal.Efficiency(p.energy)) / p.effUnc, q.Fields()[1]->AsFloat(),
                    1e-6);
    }
    EXPECT_EQ(i, a.points.size());
    EXPECT_GT(i, 5u);
    // Peaks stored without an energy get theirs from the spectrum's calibration.
    q.Close();
    q.SetSQL("UPDATE PEAK SET E = NULL");
    q.ExecSQL();
    const SpectrumSeries s = LoadSpectrumSeries("plots_demo", 7, nullptr);
    ASSERT_FALSE(s.peaks.empty());
    for (const PeakMark& m : s.peaks) EXPECT_NEAR(m.energy, s.energyOf(m.channel), 1e-9);
    CloseDatabase("plots_demo");
}

}  // namespace
